// app_test.cpp -- the viewer run in-process under X: start-up state, the Time and
// Location menus, the Timeline panel's play, unit and step controls driven as a user
// would, and the load and export commands with their dialogs and messages.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>
#include <unistd.h>

#include "app_harness.h"
#include "app_windows.h"
#include "camera.h"
#include "dates.h"
#include "file_dialogs.h"
#include "selection.h"
#include "shell.h"
#include "timeline_panel.h"
#include "values.h"
#include "zip_table.h"

namespace {

constexpr PackedDate JAN_1_1990  = 0x0084;
constexpr PackedDate DEC_31_2012 = 0xB67C;

std::string panel_text(int id)
{
    char text[64] = "";
    ctl_get_text(appWindows.timelinePanel, id, text, sizeof text);
    return text;
}

class Viewer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(start_viewer_once(), 1) << "the GL view never initialised"; }

    // Every test starts paused, stepping by days, on 1 January 1990, with nothing logged.
    void SetUp() override
    {
        ASSERT_NE(appWindows.timelinePanel, nullptr);
        pause_by_days();
        handle_menu_command(31);
        modalLog = ModalLog();
    }

    WindowHandle panel() const { return appWindows.timelinePanel; }
};

// -------------------------------------------------------------------------------
// Start-up
// -------------------------------------------------------------------------------

TEST_F(Viewer, StartsWithMenusAndTheGisQueryAndTimelinePanels)
{
    std::string menus;
    for (const MenuItem &item : mainMenu)
        menus += std::string(item.title) + ":" + item.text + "=" + std::to_string(item.id) + "|";
    EXPECT_EQ(menus,
        "File:Load Data..=1|File:Export CSV..=2|File:Save Snapshot..=7|File:Print..=8|File:Quit=10|"
        "Location:Default Location=21|Location:Saved Location=22|Time:Default Time=31|"
        "Time:Census 1990=33|Time:Census 2000=34|Time:Census 2007=35|Time:Census 2012=36|"
        "Time:Saved Time=32|Query:Default Query=41|Query:Saved Query=42|Panel:Show GIS Panel=11|"
        "Panel:Show Query Panel=12|Panel:Show Timeline Panel=13|Panel:Show Info Panel=14|"
        "Help:About..=6|");
    EXPECT_EQ(appWindows.menuBar, 1);
    EXPECT_EQ(appWindows.renderContext, 1);
    EXPECT_TRUE(is_window_visible(appWindows.mainWindow));
    EXPECT_TRUE(is_window_visible(panel()));
    EXPECT_TRUE(is_window_visible(appWindows.gisPanel));
    EXPECT_TRUE(is_window_visible(appWindows.queryPanel));
    EXPECT_FALSE(is_window_visible(appWindows.infoPanel));
    EXPECT_FALSE(is_window_visible(appWindows.aboutBox));
    // The file dialogs start where the viewer started.
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_STREQ(fileDialogs.startDirectory, cwd);
}

TEST_F(Viewer, TimelinePanelShowsPauseDayAndTheFirstDate)
{
    EXPECT_EQ(ctl_is_checked(panel(), IDC_PAUSE), 1);
    EXPECT_EQ(ctl_is_checked(panel(), IDC_PLAY_FORWARD), 0);
    EXPECT_EQ(ctl_is_checked(panel(), IDC_PLAY_BACKWARD), 0);
    EXPECT_EQ(panel_text(IDC_PAUSE), "| |");
    ASSERT_EQ(ctl_item_count(panel(), IDC_STEP_UNIT), 3);
    const char *units[] = {"Day", "Month", "Year"};
    for (int i = 0; i < 3; ++i) {
        char text[16] = "";
        ctl_get_item_text(panel(), IDC_STEP_UNIT, i, text, sizeof text);
        EXPECT_STREQ(text, units[i]);
    }
    EXPECT_EQ(ctl_get_selection(panel(), IDC_STEP_UNIT), 0);
    EXPECT_EQ(panel_text(IDC_DATE_TEXT), "January,1,1990");
    EXPECT_EQ(ctl_get_position(panel(), IDC_DATE_PROGRESS), JAN_1_1990);
    EXPECT_EQ(timeline.playMode, 2);
    EXPECT_EQ(timeline.stepUnit, 0);
}

// -------------------------------------------------------------------------------
// Menus
// -------------------------------------------------------------------------------

TEST_F(Viewer, TimeMenuSetsTheCensusDatesWithoutTouchingPlayback)
{
    ctl_click(panel(), IDC_PLAY_FORWARD);
    timeline.currentDate = pack_date(3, 3, 1995);
    handle_menu_command(34);
    EXPECT_EQ(timeline.currentDate, 0x533C);
    EXPECT_EQ(panel_text(IDC_DATE_TEXT), "June,15,2000");
    EXPECT_EQ(ctl_get_position(panel(), IDC_DATE_PROGRESS), 0x533C);
    handle_menu_command(35);
    EXPECT_EQ(timeline.currentDate, 0x8D20);
    EXPECT_EQ(panel_text(IDC_DATE_TEXT), "October,8,2007");
    handle_menu_command(36);
    EXPECT_EQ(timeline.currentDate, DEC_31_2012);
    handle_menu_command(33);
    EXPECT_EQ(timeline.currentDate, JAN_1_1990);
    handle_menu_command(36);
    handle_menu_command(31);
    EXPECT_EQ(timeline.currentDate, JAN_1_1990);
    EXPECT_EQ(panel_text(IDC_DATE_TEXT), "January,1,1990");
    // The "Saved" items and unknown ids change nothing.
    for (uint32_t id : {22u, 32u, 42u, 99u}) handle_menu_command(make_command(id, 0));
    EXPECT_EQ(timeline.currentDate, JAN_1_1990);
    EXPECT_EQ(timeline.playMode, 3);
}

TEST_F(Viewer, DefaultLocationAndDefaultQueryRestoreOnlyTheirOwnState)
{
    ViewState moved = viewState;
    moved.centre[0] = -90.0f;
    moved.centre[1] = 31.0f;
    moved.centre[2] = 5.0f;
    moved.rotation = 30.0f;
    moved.tilt = -20.0f;
    moved.distance = 123.0f;
    viewState = moved;
    handle_menu_command(21);
    EXPECT_EQ(viewState.centre[0], -95.4877f);
    EXPECT_EQ(viewState.centre[1], 29.837934f);
    EXPECT_EQ(viewState.centre[2], 0.0f);
    EXPECT_EQ(viewState.rotation, 30.0f);
    EXPECT_EQ(viewState.tilt, -20.0f);
    EXPECT_EQ(viewState.distance, 123.0f);

    querySelection = {5, 2, 1};
    handle_menu_command(41);
    EXPECT_EQ(querySelection.field, 0);
    EXPECT_EQ(querySelection.campus, 2);
    EXPECT_EQ(querySelection.selectedZip, 1);
    querySelection = {0, 0, -1};
    handle_menu_command(41);
}

// -------------------------------------------------------------------------------
// Timeline panel
// -------------------------------------------------------------------------------

TEST_F(Viewer, PlaybackForwardByYearAdvancesOnTimerTicksUntilPaused)
{
    ctl_choose(panel(), IDC_STEP_UNIT, 2);
    EXPECT_EQ(timeline.stepUnit, 2);
    ctl_click(panel(), IDC_PLAY_FORWARD);
    EXPECT_EQ(timeline.playMode, 3);
    EXPECT_EQ(ctl_is_checked(panel(), IDC_PAUSE), 0);
    EXPECT_EQ(timeline.currentDate, JAN_1_1990);   // the first step waits for a tick

    // Each tick moves exactly one year; watch two of them.
    std::vector<PackedDate> seen = {JAN_1_1990};
    for (int waited = 0; seen.size() < 3 && waited < 5000; waited += 20) {
        process_events(20);
        if (timeline.currentDate != seen.back()) seen.push_back(timeline.currentDate);
    }
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1], pack_date(1, 1, 1991));
    EXPECT_EQ(seen[2], pack_date(1, 1, 1992));
    char expected[DATE_TEXT_SIZE];
    format_date(timeline.currentDate, expected);
    EXPECT_EQ(panel_text(IDC_DATE_TEXT), expected);
    EXPECT_EQ(ctl_get_position(panel(), IDC_DATE_PROGRESS), timeline.currentDate);

    ctl_click(panel(), IDC_PAUSE);
    PackedDate paused = timeline.currentDate;
    process_events(700);
    EXPECT_EQ(timeline.currentDate, paused);
    uint32_t frames = shellState.frames;
    on_timer(1);   // a paused tick still redraws
    EXPECT_EQ(shellState.frames, frames + 1);
    EXPECT_EQ(timeline.currentDate, paused);

    // Only timer 1 steps.
    timeline.playMode = 3;
    on_timer(2);
    EXPECT_EQ(timeline.currentDate, paused);
    timeline.playMode = 2;
}

TEST_F(Viewer, StepButtonsUseTheirOwnUnitWhateverTheComboShows)
{
    ctl_choose(panel(), IDC_STEP_UNIT, 2);
    ctl_click(panel(), IDC_MONTH_FORWARD);
    EXPECT_EQ(timeline.currentDate, pack_date(1, 2, 1990));
    EXPECT_EQ(panel_text(IDC_DATE_TEXT), "February,1,1990");
    ctl_click(panel(), IDC_YEAR_FORWARD);
    EXPECT_EQ(timeline.currentDate, pack_date(1, 2, 1991));
    ctl_click(panel(), IDC_DAY_FORWARD);
    EXPECT_EQ(timeline.currentDate, pack_date(2, 2, 1991));
    ctl_click(panel(), IDC_DAY_BACK);
    ctl_click(panel(), IDC_MONTH_BACK);
    ctl_click(panel(), IDC_YEAR_BACK);
    EXPECT_EQ(timeline.currentDate, JAN_1_1990);
    EXPECT_EQ(timeline.playMode, 2);   // steps never start playback

    handle_menu_command(36);
    ctl_click(panel(), IDC_DAY_FORWARD);
    EXPECT_EQ(panel_text(IDC_DATE_TEXT), "January,1,2013");
    EXPECT_EQ(ctl_get_position(panel(), IDC_DATE_PROGRESS), DEC_31_2012);   // pinned at the end

    // Playing backward by day from the first date wraps to the last date there is.
    handle_menu_command(31);
    ctl_choose(panel(), IDC_STEP_UNIT, 0);
    ctl_click(panel(), IDC_PLAY_BACKWARD);
    on_timer(1);
    EXPECT_EQ(panel_text(IDC_DATE_TEXT), "December,31,2021");
}

TEST_F(Viewer, ClosedPanelHidesAndComesBackUnchanged)
{
    ctl_choose(panel(), IDC_STEP_UNIT, 1);
    ctl_click(panel(), IDC_PLAY_BACKWARD);
    EXPECT_EQ(timeline_panel_proc(panel(), MSG_COMMAND, ID_CANCEL, 0), 1);
    EXPECT_FALSE(is_window_visible(panel()));
    // Still kept current while hidden.
    handle_menu_command(34);
    EXPECT_EQ(panel_text(IDC_DATE_TEXT), "June,15,2000");
    handle_menu_command(13);
    EXPECT_TRUE(is_window_visible(panel()));
    EXPECT_EQ(ctl_is_checked(panel(), IDC_PLAY_BACKWARD), 1);
    EXPECT_EQ(ctl_get_selection(panel(), IDC_STEP_UNIT), 1);
    // A focus change is no click.
    timeline_panel_command(panel(), make_command(IDC_PLAY_FORWARD, NOTIFY_SETFOCUS));
    EXPECT_EQ(timeline.playMode, 1);
}

// -------------------------------------------------------------------------------
// Load and export
// -------------------------------------------------------------------------------

TEST_F(Viewer, LoadThenExportRoundTrip)
{
    const std::string root = sample_directory();
    ctl_choose(panel(), IDC_STEP_UNIT, 2);
    ctl_click(panel(), IDC_PLAY_FORWARD);
    handle_menu_command(35);

    modalLog.fileAnswers = {root + "/in/zips.csv"};
    handle_menu_command(1);
    ASSERT_EQ(modalLog.messages, std::vector<std::string>{"Info: Load complete"});
    ASSERT_EQ(zipTable.count, 2u);
    EXPECT_EQ(zipTable.records[0].zip, 77001u);
    EXPECT_EQ(timeline.currentDate, JAN_1_1990);   // reset, playback still running
    EXPECT_EQ(timeline.playMode, 3);
    EXPECT_EQ(panel_text(IDC_DATE_TEXT), "January,1,1990");
    EXPECT_EQ(valueTable.values[0], 25u);
    ctl_click(panel(), IDC_PAUSE);

    // Saved without an extension, in the folder the CSV came from.
    modalLog.fileAnswers = {root + "/out/values"};
    handle_menu_command(2);
    EXPECT_EQ(modalLog.messages.back(), "Info: Save complete");
    EXPECT_EQ(modalLog.dialogs.back(), "save .csv in " + root + "/in/");
    EXPECT_EQ(read_file(root + "/out/values.csv"), "ZIP,VALUE\r\n77001,25\r\n77002,0\r\n");
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(std::string(cwd), root);

    // A later date exports the values on screen.
    handle_menu_command(36);
    modalLog.fileAnswers = {root + "/out/later.csv"};
    handle_menu_command(2);
    EXPECT_EQ(read_file(root + "/out/later.csv"), "ZIP,VALUE\r\n77001,55\r\n77002,0\r\n");
}

TEST_F(Viewer, FailedLoadShowsBothMessagesAndKeepsTableAndDate)
{
    modalLog.fileAnswers = {sample_directory() + "/in/zips.csv"};
    handle_menu_command(1);
    handle_menu_command(34);
    modalLog = ModalLog();

    modalLog.fileAnswers = {sample_directory() + "/in/missing.csv"};
    handle_menu_command(1);
    EXPECT_EQ(modalLog.messages, (std::vector<std::string>{"ERROR: read_records(): fopen error",
                                                           "Error: Can't load data file!!"}));
    EXPECT_EQ(zipTable.count, 2u);
    EXPECT_EQ(timeline.currentDate, 0x533C);
}

TEST_F(Viewer, CancelledDialogsAndUnwritableExportsNeverClaimSuccess)
{
    handle_menu_command(34);
    modalLog.fileAnswers = {"", ""};
    handle_menu_command(1);
    handle_menu_command(2);
    EXPECT_TRUE(modalLog.messages.empty());
    EXPECT_EQ(modalLog.dialogs.size(), 2u);
    EXPECT_EQ(timeline.currentDate, 0x533C);

    modalLog.fileAnswers = {sample_directory() + "/no-such-folder/values"};
    handle_menu_command(2);
    ASSERT_EQ(modalLog.messages.size(), 1u);
    EXPECT_EQ(modalLog.messages[0], "Error: Can't write the CSV file!");
    EXPECT_EQ(read_file(sample_directory() + "/no-such-folder/values.csv"), "<missing>");
}

}   // namespace
