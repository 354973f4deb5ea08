// shell_test.cpp -- the shell's promises that nothing else shows: every menu command
// but Quit draws at once, playback ticks every 500 ms, and the play buttons go the way
// their labels point.
#include <gtest/gtest.h>

#include <string>

#include "app_harness.h"
#include "app_windows.h"
#include "dates.h"
#include "shell.h"
#include "timeline_panel.h"

namespace {

class Shell : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(start_viewer_once(), 1) << "the GL view never initialised"; }
    void SetUp() override
    {
        pause_by_days();
        timeline.currentDate = pack_date(1, 6, 2000);
        modalLog = ModalLog();   // file dialogs answer "cancel"
    }
};

// Snapshot and Print are left out: they wait for the view with the event loop running,
// where paints draw too.
TEST_F(Shell, EveryMenuCommandButQuitDrawsOnce)
{
    for (const MenuItem &item : mainMenu) {
        if (item.id == CMD_QUIT || item.id == CMD_SAVE_SNAPSHOT || item.id == CMD_PRINT) continue;
        uint32_t frames = shellState.frames;
        handle_menu_command(make_command(item.id, NOTIFY_CLICKED));
        EXPECT_EQ(shellState.frames, frames + 1) << item.text;
    }
}

TEST_F(Shell, PlaybackTicksEvery500Milliseconds)
{
    EXPECT_EQ(timer_period(appWindows.mainWindow, PLAYBACK_TIMER), 500u);
}

TEST_F(Shell, PlayButtonsGoTheWayTheirLabelsPoint)
{
    auto button_labelled = [](const char *label) {
        for (int id : {IDC_PLAY_BACKWARD, IDC_PAUSE, IDC_PLAY_FORWARD}) {
            char text[8] = "";
            ctl_get_text(appWindows.timelinePanel, id, text, sizeof text);
            if (std::string(text) == label) return id;
        }
        return 0;
    };
    ctl_click(appWindows.timelinePanel, button_labelled(">"));
    on_timer(PLAYBACK_TIMER);
    EXPECT_EQ(timeline.currentDate, pack_date(2, 6, 2000));
    ctl_click(appWindows.timelinePanel, button_labelled("<"));
    on_timer(PLAYBACK_TIMER);
    on_timer(PLAYBACK_TIMER);
    EXPECT_EQ(timeline.currentDate, pack_date(31, 5, 2000));
    ctl_click(appWindows.timelinePanel, button_labelled("| |"));
    on_timer(PLAYBACK_TIMER);
    EXPECT_EQ(timeline.currentDate, pack_date(31, 5, 2000));
}

}   // namespace
