// locale_test.cpp -- the viewer run in-process under a decimal-comma locale: the test's
// environment sets LANG and LC_ALL to de_DE.UTF-8, which Qt applies when the application
// starts. The numbers of the files the viewer reads and of the texts it writes keep the
// C conventions all the same. Each check looks at what a decimal comma would break; a
// new reader or writer of numbers gets its check here.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <langinfo.h>
#include <locale.h>
#include <string>

#include "app_harness.h"
#include "overlay.h"
#include "report.h"
#include "shell.h"
#include "values.h"
#include "zip_table.h"

namespace {

class DecimalCommaLocale : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(start_viewer_once(), 1) << "the GL view never initialised"; }
    void SetUp() override { modalLog = ModalLog(); }
};

// Without the locale installed every other check here would pass for the wrong reason.
TEST_F(DecimalCommaLocale, TheUsersLocaleIsInForce)
{
    std::string ctype = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(ctype.find("de_DE"), std::string::npos)
        << "LC_CTYPE is " << ctype << ": de_DE.UTF-8 is not installed (scripts/install-deps makes it)";
    locale_t german = newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", nullptr);
    ASSERT_NE(german, nullptr);
    EXPECT_STREQ(nl_langinfo_l(RADIXCHAR, german), ",");
    freelocale(german);
}

TEST_F(DecimalCommaLocale, LoadReadsPositionsAndTravelTimes)
{
    modalLog.fileAnswers = {sample_directory() + "/in/zips.csv"};
    handle_menu_command(CMD_LOAD_DATA);
    ASSERT_EQ(modalLog.messages, std::vector<std::string>{"Info: Load complete"});
    ASSERT_EQ(zipTable.count, 2u);
    const ZipRecord &first = zipTable.records[0], &second = zipTable.records[1];
    EXPECT_EQ(first.longitude, -95.36f);
    EXPECT_EQ(first.latitude, 29.75f);
    EXPECT_EQ(first.travelMinutes, 12u);
    EXPECT_EQ(first.trafficMinutes, 20u);
    EXPECT_EQ(second.longitude, -95.40f);
    EXPECT_EQ(second.latitude, 29.80f);
    EXPECT_EQ(second.travelMinutes, 15u);
    EXPECT_EQ(second.trafficMinutes, 25u);
}

// The ZIP report writes each share with "%.2f%%": 123 of 1000 is 12.30%, never 12,30%.
TEST_F(DecimalCommaLocale, ReportSharesHaveADecimalPoint)
{
    modalLog.fileAnswers = {sample_directory() + "/in/zips.csv"};
    handle_menu_command(CMD_LOAD_DATA);
    ASSERT_EQ(zipTable.count, 2u);
    valueTable.values[0] = 123;
    valueTable.areaTotal = 1000;
    char report[REPORT_TEXT_SIZE];
    ASSERT_GT(format_zip_report(0, report), 0);
    EXPECT_NE(std::string(report).find("Total for zip code 77001: 123, 12.30%\r\n"), std::string::npos)
        << report;
}

// The campus overlay reads its positions with the C library as well.
TEST_F(DecimalCommaLocale, CampusPositionsAreRead)
{
    const std::string path = sample_directory() + "/in/campuses.ui";
    FILE *file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("Corvale - University Park,-95.4000,29.7600\nCorvale - Victoria,-97.0561,28.3854\n", file);
    ASSERT_EQ(std::fclose(file), 0);
    CampusTable campuses{};
    ASSERT_EQ(read_campuses(path.c_str(), campuses), 1);
    EXPECT_EQ(campuses.campuses[0].longitude, -95.4f);
    EXPECT_EQ(campuses.campuses[1].latitude, 28.3854f);
}

}   // namespace
