// panels_test.cpp -- the Query panel, the Info panel and the About box in the running
// viewer: the lists and what choosing in them does, the ZIP report in the capped log,
// saving the log, and the About box's picture and ways to close.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QOpenGLWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include <unistd.h>

#include "about_box.h"
#include "app_harness.h"
#include "app_windows.h"
#include "camera.h"
#include "dates.h"
#include "info_panel.h"
#include "qt_internal.h"
#include "query_panel.h"
#include "scene.h"
#include "selection.h"
#include "shell.h"
#include "timeline_panel.h"
#include "values.h"
#include "zip_table.h"

namespace {

std::vector<std::string> items(WindowHandle window, int id)
{
    std::vector<std::string> texts;
    for (int i = 0; i < ctl_item_count(window, id); ++i) {
        char text[256] = "";
        ctl_get_item_text(window, id, i, text, sizeof text);
        texts.push_back(text);
    }
    return texts;
}

std::string log_text()
{
    static char text[60000];
    ctl_get_text(appWindows.infoPanel, IDC_INFO_LOG, text, sizeof text);
    return text;
}

QPlainTextEdit *log_edit()
{
    return qobject_cast<QPlainTextEdit *>(platform_control(appWindows.infoPanel, IDC_INFO_LOG));
}

// Lines of the newest report: those after the last empty line but one.
int last_report_lines()
{
    std::string text = log_text();
    text.resize(text.size() - 2);   // the report's own line end, then the empty line
    return int(std::count(text.begin() + long(text.rfind("Date: ")), text.end(), '\n')) + 1;
}

void write_csv(const std::string &name, int lines)
{
    std::string csv = "ZIP,X,LON,LAT,TRAVEL,TRAFFIC\n";
    for (int i = 0; i < lines; ++i) csv += std::to_string(77001 + i) + ",0,-95.4,29.8,1,2\n";
    FILE *file = std::fopen((sample_directory() + "/in/" + name).c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs(csv.c_str(), file);
    std::fclose(file);
}

void load(const std::string &name)
{
    modalLog.fileAnswers = {sample_directory() + "/in/" + name};
    handle_menu_command(1);
    ASSERT_EQ(modalLog.messages.back(), "Info: Load complete");
}

class Panels : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(start_viewer_once(), 1) << "the GL view never initialised"; }

    // Paused on 1 January 1990 with the two sample ZIP codes loaded, field 0, no
    // campus, no selection, the default camera, and an empty, hidden log.
    void SetUp() override
    {
        ASSERT_NE(query(), nullptr);
        ctl_click(appWindows.timelinePanel, IDC_PAUSE);
        reset_query_and_camera();
        load("zips.csv");
        ctl_click(appWindows.infoPanel, IDC_INFO_CLEAR);
        show_window(appWindows.infoPanel, SW_HIDE);
        modalLog = ModalLog();
    }

    static WindowHandle query() { return appWindows.queryPanel; }
};

// -------------------------------------------------------------------------------
// Query panel
// -------------------------------------------------------------------------------

TEST_F(Panels, QueryPanelListsTheFieldFileTheCampusesAndTheLoadedZipCodes)
{
    EXPECT_EQ(items(query(), IDC_FIELD_LIST),
              (std::vector<std::string>{"Total population", "HOUSEHOLDS", "Households", "Families"}));
    EXPECT_EQ(items(query(), IDC_CAMPUS),
              (std::vector<std::string>{"OFF", "Corvale - University Park", "Corvale - Victoria"}));
    EXPECT_EQ(items(query(), IDC_ZIP_LIST), (std::vector<std::string>{"77001", "77002"}));
    EXPECT_EQ(ctl_get_selection(query(), IDC_FIELD_LIST), 0);
    EXPECT_EQ(ctl_get_selection(query(), IDC_CAMPUS), 0);
    EXPECT_EQ(ctl_get_selection(query(), IDC_ZIP_LIST), -1);
}

TEST_F(Panels, HeadingsAreRefusedAndFieldsRescaleTheValues)
{
    ASSERT_EQ(valueTable.values[0], 25u);   // 50 x 1000/2000
    ctl_choose(query(), IDC_FIELD_LIST, 1);
    EXPECT_EQ(querySelection.field, 0);
    EXPECT_EQ(ctl_get_selection(query(), IDC_FIELD_LIST), 0);
    EXPECT_EQ(items(query(), IDC_ZIP_LIST).size(), 2u);
    ctl_choose(query(), IDC_FIELD_LIST, 2);
    EXPECT_EQ(valueTable.values[0], 40u);   // 60 x 400/600, households
    ctl_choose(query(), IDC_FIELD_LIST, 3);
    EXPECT_EQ(valueTable.values[0], 30u);   // 30 x 300/300, families

    ctl_choose(query(), IDC_CAMPUS, 2);
    ctl_choose(query(), IDC_ZIP_LIST, 1);
    handle_menu_command(41);   // "Default Query"
    EXPECT_EQ(querySelection.field, 0);
    EXPECT_EQ(ctl_get_selection(query(), IDC_FIELD_LIST), 0);
    EXPECT_EQ(valueTable.values[0], 25u);
    EXPECT_EQ(querySelection.campus, 2);
    EXPECT_EQ(querySelection.selectedZip, 1);
    EXPECT_EQ(ctl_get_selection(query(), IDC_ZIP_LIST), 1);
}

TEST_F(Panels, ChoosingAZipCodeCentresTheViewOnItAndReportsIt)
{
    viewState.rotation = 12.0f;
    viewState.tilt = 34.0f;
    viewState.distance = 56.0f;
    ctl_choose(query(), IDC_ZIP_LIST, 0);
    EXPECT_EQ(querySelection.selectedZip, 0);
    // The pivot's coordinates as single-precision constants, the arithmetic in double.
    EXPECT_EQ(viewState.centre[0], float((double(-95.36f) + double(95.4877f)) * 100.0 - double(95.4877f)));
    EXPECT_EQ(viewState.centre[1], float((double(29.75f) - double(29.837934f)) * 100.0 + double(29.837934f)));
    EXPECT_EQ(viewState.centre[2], 0.0f);
    EXPECT_EQ(viewState.rotation, 12.0f);
    EXPECT_EQ(viewState.tilt, 34.0f);
    EXPECT_EQ(viewState.distance, 56.0f);
    EXPECT_TRUE(is_window_visible(appWindows.infoPanel));
    const std::string report = log_text();
    EXPECT_EQ(report, "Date: January,1,1990\n"
                          "Total for 10-county area: 25\n"
                          "Total for zip code 77001: 25, 100.00%\n"
                          "Travel time from zip code 77001: 12 mins.\n"
                          "Travel time from zip code 77001 in traffic: 20 mins.\n"
                          "\n");

    // A report of nothing clears the selection and leaves the log.
    show_window(appWindows.infoPanel, SW_HIDE);
    report_zip(-1);
    report_zip(2);
    EXPECT_EQ(querySelection.selectedZip, -1);
    EXPECT_FALSE(is_window_visible(appWindows.infoPanel));
    EXPECT_EQ(log_text(), report);
}

TEST_F(Panels, LoadRefillsTheZipListAndDropsASelectionBeyondIt)
{
    write_csv("ten.csv", 10);
    write_csv("three.csv", 3);
    load("ten.csv");
    ctl_choose(query(), IDC_ZIP_LIST, 5);
    load("three.csv");
    EXPECT_EQ(items(query(), IDC_ZIP_LIST), (std::vector<std::string>{"77001", "77002", "77003"}));
    EXPECT_EQ(querySelection.selectedZip, -1);
    EXPECT_EQ(ctl_get_selection(query(), IDC_ZIP_LIST), -1);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(scene_scratch().columns[i].lidAlpha, 1.0f);

    load("ten.csv");
    ctl_choose(query(), IDC_ZIP_LIST, 1);
    load("three.csv");
    EXPECT_EQ(querySelection.selectedZip, 1);
    EXPECT_EQ(ctl_get_selection(query(), IDC_ZIP_LIST), 1);
}

// A user cannot empty a list: Ctrl + click or Ctrl + Space on the chosen entry, or a
// click below the last entry, leaves it chosen and reports nothing.
TEST_F(Panels, ListsCannotBeLeftWithNothingChosen)
{
    ctl_choose(query(), IDC_FIELD_LIST, 2);
    ctl_choose(query(), IDC_ZIP_LIST, 1);
    const std::string log = log_text();
    for (int id : {IDC_ZIP_LIST, IDC_FIELD_LIST}) {
        auto *list = qobject_cast<QListWidget *>(platform_control(query(), id));
        ASSERT_NE(list, nullptr);
        const int chosen = ctl_get_selection(query(), id);
        const QPoint entry = list->visualItemRect(list->item(chosen)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, entry);
        EXPECT_EQ(ctl_get_selection(query(), id), chosen) << id << " after Ctrl + click";
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
        EXPECT_EQ(ctl_get_selection(query(), id), chosen) << id << " after Ctrl + Space";
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(4, list->viewport()->height() - 2));
        EXPECT_EQ(ctl_get_selection(query(), id), chosen) << id << " after a click below the entries";
    }
    EXPECT_EQ(querySelection.selectedZip, 1);
    EXPECT_EQ(querySelection.field, 2);
    EXPECT_EQ(log_text(), log);   // nothing reported again
    EXPECT_LT(scene_scratch().columns[0].lidAlpha, 1.0f);   // the other column stays translucent
}

TEST_F(Panels, OffAfterACampusDropsTheEnrollmentLines)
{
    ctl_choose(query(), IDC_CAMPUS, 1);
    ctl_choose(query(), IDC_ZIP_LIST, 0);
    EXPECT_EQ(last_report_lines(), 8);
    ctl_choose(query(), IDC_CAMPUS, 0);
    EXPECT_EQ(querySelection.campus, 0);
    ctl_choose(query(), IDC_ZIP_LIST, 1);
    ctl_choose(query(), IDC_ZIP_LIST, 0);
    EXPECT_EQ(last_report_lines(), 5);
}

// The south face of 77001, seen level from 10 world units away at height scale 0.1.
QRgb south_face_pixel()
{
    viewState.tilt = 90.0f;
    viewState.distance = 10.0f;
    displaySettings.heightScale = 0.1f;
    centre_view_on(zipTable.records[0].longitude, zipTable.records[0].latitude);
    viewState.centre[2] = 1.25f;   // half of the column's 2.5 scaled units
    rebuild_scene();
    draw_frame();   // as the next tick would
    present_frame();
    QOpenGLWidget *view = platform_gl_view(appWindows.mainWindow);
    QImage frame = view->grabFramebuffer();
    return frame.pixel(frame.width() / 2, frame.height() / 2);
}

TEST_F(Panels, ChosenCampusColoursTheColumnsOnScreen)
{
    // 77001's campus-1 enrollment is 10 with a stored maximum of 0: saturated green.
    QRgb off = south_face_pixel();
    EXPECT_NEAR(qRed(off), 232, 2);     // white, darkened by 0.09
    EXPECT_NEAR(qGreen(off), 232, 2);
    EXPECT_NEAR(qBlue(off), 232, 2);
    ctl_choose(query(), IDC_CAMPUS, 1);
    EXPECT_EQ(querySelection.campus, 1);
    QRgb green = south_face_pixel();
    EXPECT_NEAR(qRed(green), 0, 2);
    EXPECT_NEAR(qGreen(green), 232, 2);
    EXPECT_NEAR(qBlue(green), 0, 2);
}

// Without a field file the viewer says so once and goes on with empty lists; a load
// still fills the ZIP list. (ctest runs every test in a process of its own.)
TEST(QueryPanelWithoutFields, SaysSoOnceAndGoesOn)
{
    if (appWindows.mainWindow) GTEST_SKIP() << "the viewer already started in this process";
    ASSERT_EQ(unlink((sample_directory() + "/data/ui/fields.ui").c_str()), 0);
    ASSERT_EQ(start_viewer_once(), 1);
    EXPECT_EQ(modalLog.messages, std::vector<std::string>{"ERROR!: init_query() - can't read fields!"});
    EXPECT_EQ(ctl_item_count(appWindows.queryPanel, IDC_FIELD_LIST), 0);
    EXPECT_EQ(ctl_item_count(appWindows.queryPanel, IDC_CAMPUS), 0);
    load("zips.csv");
    EXPECT_EQ(items(appWindows.queryPanel, IDC_ZIP_LIST), (std::vector<std::string>{"77001", "77002"}));
}

// Before any load: no ZIP codes, line 0 chosen although it is a heading, "OFF".
TEST(QueryPanelAtStartUp, ShowsLineZeroEvenAHeadingAndNoZipCodes)
{
    if (appWindows.mainWindow) GTEST_SKIP() << "the viewer already started in this process";
    FILE *fields = std::fopen((sample_directory() + "/data/ui/fields.ui").c_str(), "wb");
    ASSERT_NE(fields, nullptr);
    std::fputs("POPULATION,-1\nTotal population,0\n", fields);
    ASSERT_EQ(std::fclose(fields), 0);
    ASSERT_EQ(start_viewer_once(), 1);
    EXPECT_EQ(ctl_item_count(appWindows.queryPanel, IDC_ZIP_LIST), 0);
    EXPECT_EQ(ctl_get_selection(appWindows.queryPanel, IDC_FIELD_LIST), 0);
    EXPECT_EQ(querySelection.field, 0);
    EXPECT_EQ(ctl_get_selection(appWindows.queryPanel, IDC_CAMPUS), 0);
    EXPECT_EQ(querySelection.campus, 0);
    EXPECT_EQ(querySelection.selectedZip, -1);
}

// -------------------------------------------------------------------------------
// Info panel
// -------------------------------------------------------------------------------

TEST_F(Panels, LogKeepsFewerThan199DisplayedLinesDroppingTheOldest)
{
    // Each block is one long line that wraps in the narrow log, then its line end.
    const std::string tail(150, 'w');
    for (int i = 0; i < 200; ++i) {
        append_info(("block " + std::to_string(i) + " " + tail).c_str());
        ASSERT_LT(ctl_line_count(appWindows.infoPanel, IDC_INFO_LOG), 199) << "after block " << i;
    }
    std::string text = log_text();
    EXPECT_EQ(text.rfind("block 199 " + tail + "\n"), text.size() - tail.size() - 11);
    EXPECT_EQ(text.rfind("block ", 0), 0u);   // whole lines go, oldest first
    // Counted as displayed, far fewer logical lines stay than 199.
    size_t logical = size_t(std::count(text.begin(), text.end(), '\n'));
    EXPECT_LT(logical, 199u / 2);
    EXPECT_GT(ctl_line_count(appWindows.infoPanel, IDC_INFO_LOG), 180);

    ctl_click(appWindows.infoPanel, IDC_INFO_CLEAR);
    EXPECT_EQ(log_text(), "");
    report_zip(1);
    EXPECT_EQ(log_text().rfind("Date: January,1,1990\n", 0), 0u);
}

// One-line blocks land on the edge of the cap: 198 lines as the control counts them
// (197 blocks and the empty line after the last), never 199.
TEST_F(Panels, LogCapHoldsAtItsEdgeWithOneLineBlocks)
{
    int most = 0;
    for (int i = 0; i < 260; ++i) {
        append_info(("line " + std::to_string(i)).c_str());
        const int lines = ctl_line_count(appWindows.infoPanel, IDC_INFO_LOG);
        ASSERT_LT(lines, 199) << "after block " << i;
        most = std::max(most, lines);
    }
    EXPECT_EQ(most, 198);
    EXPECT_EQ(log_text().rfind("line 63\n", 0), 0u);   // 260 - 197: the oldest kept
}

// Each append shows the newest report at the bottom of the log, and the read-only log
// keeps no undo history: thousands of reports and trimmed lines cost nothing more.
TEST_F(Panels, LogShowsTheNewestReportAndKeepsNoHistory)
{
    QPlainTextEdit *edit = log_edit();
    ASSERT_NE(edit, nullptr);
    const QScrollBar *bar = edit->verticalScrollBar();
    for (int i = 0; i < 3000; ++i) {
        report_zip(i % 2);
        if (i % 100 == 0 || i < 40) {
            ASSERT_EQ(bar->value(), bar->maximum()) << "after report " << i;
            QTextCursor newest(edit->document()->lastBlock().previous());   // the report's last line
            const QRect shown = edit->cursorRect(newest);
            ASSERT_GE(shown.top(), 0) << "after report " << i;
            ASSERT_LE(shown.bottom(), edit->viewport()->height()) << "after report " << i;
        }
    }
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(edit->document()->availableUndoSteps(), 0);
    EXPECT_EQ(edit->document()->availableRedoSteps(), 0);
}

TEST_F(Panels, SaveWritesEachLineWithATrailingBlankAndNeverClaimsAFailedSave)
{
    append_info("Two\r\nlines");
    const std::string out = sample_directory() + "/out/";
    modalLog.fileAnswers = {out + "log", out + "named.txt", ""};
    for (int i = 0; i < 3; ++i) ctl_click(appWindows.infoPanel, IDC_INFO_SAVE);
    EXPECT_EQ(read_file(out + "log.txt"), "Two \nlines \n");
    EXPECT_EQ(read_file(out + "named.txt"), "Two \nlines \n");
    EXPECT_EQ(modalLog.messages, (std::vector<std::string>{"Info: Save complete", "Info: Save complete"}));

    modalLog.messages.clear();
    ASSERT_EQ(symlink("/dev/full", (out + "full.txt").c_str()), 0);
    modalLog.fileAnswers = {out + "full", sample_directory() + "/missing/log"};
    ctl_click(appWindows.infoPanel, IDC_INFO_SAVE);
    ctl_click(appWindows.infoPanel, IDC_INFO_SAVE);
    EXPECT_EQ(modalLog.messages, (std::vector<std::string>{"Error: Can't write the log file!",
                                                           "Error: Can't write the log file!"}));
    unlink((out + "full.txt").c_str());
}

// -------------------------------------------------------------------------------
// About box
// -------------------------------------------------------------------------------

TEST_F(Panels, AboutBoxShowsOurPictureAndHidesOnOkEnterEscapeAndClose)
{
    auto *picture = qobject_cast<QLabel *>(platform_control(appWindows.aboutBox, IDC_ABOUT_PICTURE));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->pixmap().size(), QSize(322, 115));
    QWidget *box = platform_widget(appWindows.aboutBox);
    auto shown = [] { handle_menu_command(6); return is_window_visible(appWindows.aboutBox) != 0; };

    ASSERT_TRUE(shown());
    ASSERT_TRUE(shown());   // a second "About.." leaves it shown
    ctl_click(appWindows.aboutBox, IDC_ABOUT_OK);
    EXPECT_FALSE(is_window_visible(appWindows.aboutBox));
    ASSERT_TRUE(shown());
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_FALSE(is_window_visible(appWindows.aboutBox));
    ASSERT_TRUE(shown());
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_FALSE(is_window_visible(appWindows.aboutBox));
    ASSERT_TRUE(shown());
    box->close();
    EXPECT_FALSE(is_window_visible(appWindows.aboutBox));
}

}   // namespace
