// tables_test.cpp -- the table reader on memory: the cell forms census downloads and
// spreadsheets write, the line and field every message names, and what a row adds.
#include "tables.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <utility>
#include <string>

static Diagnostics read_text(const std::string &text, TableKind kind, TableSet &set)
{
    Diagnostics diag;
    read_table("t.csv", text.data(), text.size(), kind, set, diag);
    return diag;
}

TEST(TableCells, ZipCellsAreOneToFiveDigitsAfterACensusPrefix)
{
    struct Case { const char *cell; int result; uint32_t zip; };
    const Case cases[] = {
        {"77002", 1, 77002},          {" 07001 ", 1, 7001},     {"ZCTA5 77002", 1, 77002},
        {"860Z200US77002", 1, 77002}, {"8600000US07001", 1, 7001}, {"zcta5 77002", 1, 77002},
        {"7", 1, 7},                  {"Geography", -1, 0},
        // Each of these once became another ZIP code (5, 4, 2, 77002) or was cut short.
        {"77002.5", 0, 0},   {"7.7002e4", 0, 0},  {"770 02", 0, 0},     {"-77002", 0, 0},    {"+77002", 0, 0},
        {"000077002", 0, 0}, {"0770021", 0, 0},   {"77002-1234", 0, 0}, {"00000", 0, 0},     {"", 0, 0},
        {"77002 x", 0, 0},   {"ZIP 77002", 0, 0}, {"860Z200US", 0, 0},  {"0400000US48", 0, 0},   // a state's GEO_ID
    };
    for (const Case &c : cases) {
        uint32_t zip = 0;
        const char *why = "";
        EXPECT_EQ(parse_zip_cell(c.cell, zip, why), c.result) << c.cell;
        if (c.result == 1) {
            EXPECT_EQ(zip, c.zip) << c.cell;
        }
    }
}

TEST(TableCells, NumbersAreDecimalPointSinglePrecisionAndFinite)
{
    float f = 0;
    const char *why = "";
    EXPECT_EQ(parse_float_cell(" 1234.5 ", f, why), 1);
    EXPECT_EQ(f, 1234.5f);
    EXPECT_EQ(parse_float_cell("-3", f, why), 1);   // kept: census files mark missing figures so
    EXPECT_EQ(f, -3.0f);
    for (const char *bad : {"1,5", "nan", "inf", "1e39", "12 apples", "", "0x10"})
        EXPECT_EQ(parse_float_cell(bad, f, why), 0) << bad;
    uint64_t w = 0;
    EXPECT_EQ(parse_whole_cell("65535", 65535, w, why), 1);
    EXPECT_EQ(w, 65535u);
    for (const char *bad : {"65536", "-1", "2.5", "many"}) EXPECT_EQ(parse_whole_cell(bad, 65535, w, why), 0) << bad;
    // Shortest text that reads back to the same float, not the float's full decimal expansion.
    EXPECT_EQ(float_text(29.756845f), "29.756845");
    EXPECT_EQ(float_text(1234.0f), "1234");
}

TEST(TableCells, NumbersIgnoreTheProcessLocale)
{
    // A decimal-comma locale in force: a reader or writer that went through the C
    // library's locale-dependent functions would stop at the point or write a comma.
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE.UTF-8 locale here";
    float f = 0;
    const char *why = "";
    EXPECT_EQ(parse_float_cell("1234.5", f, why), 1);
    EXPECT_EQ(f, 1234.5f);
    EXPECT_EQ(parse_float_cell("1234,5", f, why), 0);
    TableSet set;
    Diagnostics diag = read_text("zip,longitude,latitude\n77002,-95.3656526,29.756845\n", TABLE_ZIPS, set);
    EXPECT_EQ(diag.errors, 0);
    ASSERT_EQ(set.zips.size(), 1u);
    EXPECT_EQ(double_text(set.zips[0].longitude), "-95.3656526");
    EXPECT_EQ(float_text(0.25f), "0.25");
    std::setlocale(LC_ALL, "C");
}

TEST(TableReader, MessagesNameTheLineWhereTheRecordStartsAndTheField)
{
    TableSet set;
    // Line 3 holds a quoted line end, so the record on line 4 is the third and its
    // year (field 3 after the reordered columns) is wrong.
    Diagnostics diag = read_text("Population,zip,YEAR,households,families\n"
                                 "\"12\n\",77002,1990,1,1\n"
                                 "5,77003,2021,1,1\n",
                                 TABLE_CENSUS, set);
    ASSERT_EQ(diag.errors, 2);   // "12\n" is no number; 2021 is beyond the census years
    EXPECT_EQ(diag.lines[0].rfind("tallydata: t.csv:2:1: error:", 0), 0u) << diag.lines[0];
    EXPECT_EQ(diag.lines[1].rfind("tallydata: t.csv:4:3: error:", 0), 0u) << diag.lines[1];
}

TEST(TableReader, RowsAddOnlyTheCellsGiven)
{
    TableSet set;
    Diagnostics diag = read_text("zip,year,population,households\n77002,2000,5,\n", TABLE_CENSUS, set);
    EXPECT_EQ(diag.errors, 0);
    EXPECT_EQ(diag.warnings, 1);   // one households cell is empty (a census table of some series is usual)
    const CensusUpdate &u = set.census.at(77002);
    EXPECT_TRUE(u.seriesGiven[0][2000 - FIT_FIRST_YEAR]);
    EXPECT_EQ(u.series[0][2000 - FIT_FIRST_YEAR], 5.0f);
    EXPECT_FALSE(u.seriesGiven[1][2000 - FIT_FIRST_YEAR]);
    EXPECT_FALSE(u.seriesGiven[0][0]);

    diag = read_text("zip,campus,year,students\n1,2,max,40\n1,2,2006,41\n", TABLE_ENROLLMENT, set);
    EXPECT_EQ(diag.errors, 0);
    EXPECT_EQ(set.enrollment.at(1).students[1][ENROLL_MAX], 40);
    EXPECT_EQ(set.enrollment.at(1).students[1][16], 41);
    EXPECT_FALSE(set.enrollment.at(1).given[0][16]);
}

TEST(TableReader, NulBytesLongCellsAndColumnsPastTheFieldListAreNamed)
{
    // A NUL anywhere, header or cell, is an error on its line and field; nothing is read.
    for (const auto &[text, place] : {std::pair{std::string("zip\0x,f0\n77002,1\n", 18), "t.csv:1:1:"},
                                      std::pair{std::string("zip,f0,f1\n77002,1,2\n77003,3,1\0002\n", 32), "t.csv:3:3:"}}) {
        TableSet set;
        Diagnostics diag = read_text(text, TABLE_DETAIL, set);
        ASSERT_EQ(diag.errors, 1) << place;
        EXPECT_EQ(diag.lines[0].rfind(std::string("tallydata: ") + place + " error: a NUL byte", 0), 0u) << diag.lines[0];
        EXPECT_TRUE(set.census.empty());
    }
    // A cell of 1 MB is read; one byte more is refused on the line where it starts, at
    // once however long it goes on.
    const size_t limit = size_t(1) << 20;
    for (size_t size : {limit, limit + 1, 16 * limit}) {
        TableSet set;
        const std::string text = "zip,f0\n77002,1\n77003,\"" + std::string(size, 'x') + "\"\n";
        Diagnostics diag = read_text(text, TABLE_DETAIL, set);
        ASSERT_EQ(diag.errors, 1) << size;
        EXPECT_EQ(diag.lines.back().find(size == limit ? "t.csv:3:2: error: not a number" : "t.csv:3: error: a cell longer than 1 MB"),
                  11u) << size << diag.lines.back().substr(0, 80);
    }
    // f307 is past the last line of the field list: another column, named, not read into
    // the row (21 columns before it, more than the errors a file shows).
    std::string header = "zip", row = "77002";
    for (int f = 0; f <= 20; ++f) header += ",f" + std::to_string(f), row += "," + std::to_string(f);
    TableSet set;
    Diagnostics diag = read_text(header + ",f307\n" + row + ",99\n", TABLE_DETAIL, set);
    EXPECT_EQ(diag.errors, 0);
    ASSERT_EQ(diag.lines.size(), 2u);
    EXPECT_EQ(diag.lines[0], "tallydata: t.csv:1:23: warning: column f307 is past the last line of the field list "
                             "(f0 to f306): ignored");
    EXPECT_EQ(set.census.at(77002).detail[20], 20.0f);
    EXPECT_FALSE(set.census.at(77002).detailGiven[21]);
}

TEST(TableReader, EveryPrefixOfATableIsHandled)
{
    const std::string text = "\xEF\xBB\xBFzip,f0,f1\r\nlabel,\"a, \"\"b\"\"\",c\r\n77002,1.5,-2\r\n\r\n77003,,3e2\r\n";
    for (size_t n = 0; n <= text.size(); ++n) {
        TableSet set;
        Diagnostics diag;
        read_table("t.csv", text.data(), n, TABLE_DETAIL, set, diag);
    }
    TableSet set;
    Diagnostics diag = read_text(text, TABLE_DETAIL, set);
    EXPECT_EQ(diag.errors, 0);
    EXPECT_EQ(set.census.at(77002).detail[1], -2.0f);
    EXPECT_EQ(set.census.at(77003).detail[1], 300.0f);
    EXPECT_FALSE(set.census.at(77003).detailGiven[0]);
}
