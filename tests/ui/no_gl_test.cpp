// no_gl_test.cpp -- the viewer on a display without OpenGL (the test's environment
// turns off Qt's GL integration for X): one message says the 3-D view is missing, and
// everything that needs no GL still works, down to a clean Quit.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <string>
#include <vector>

#include "app_harness.h"
#include "app_windows.h"
#include "dates.h"
#include "qt_internal.h"
#include "shell.h"
#include "timeline_panel.h"
#include "values.h"
#include "zip_table.h"

namespace {

std::string date_text()
{
    char text[32] = "";
    ctl_get_text(appWindows.timelinePanel, IDC_DATE_TEXT, text, sizeof text);
    return text;
}

TEST(NoOpenGl, OneMessageThenEveryCommandWithoutGlWorks)
{
    ASSERT_EQ(start_viewer_once(), 0) << "this display was meant to have no OpenGL";
    ASSERT_EQ(modalLog.messages.size(), 1u);
    EXPECT_EQ(modalLog.messages[0].rfind("Error: The 3-D view is not available", 0), 0u) << modalLog.messages[0];
    modalLog = ModalLog();

    // What the X server shows: the window is drawn without OpenGL too (a GL view in it
    // would leave all of it black), the view's area in the clear grey (0.498 of full).
    QWidget *main = platform_widget(appWindows.mainWindow);
    QWidget *panel = platform_widget(appWindows.queryPanel);
    process_events(300);
    QImage shown = main->screen()->grabWindow(main->winId()).toImage();
    EXPECT_EQ(shown.pixel(main->width() - 20, main->height() - 20) & 0xFFFFFFu, 0x7F7F7Fu);
    EXPECT_NE(shown.pixel(panel->mapTo(main, panel->rect().center())) & 0xFFFFFFu, 0u);

    // The panels and the Time menu: the date display follows.
    ASSERT_NE(appWindows.timelinePanel, nullptr);
    EXPECT_TRUE(is_window_visible(appWindows.timelinePanel));
    handle_menu_command(CMD_CENSUS_2000);
    EXPECT_EQ(date_text(), "June,15,2000");
    ctl_click(appWindows.timelinePanel, IDC_YEAR_FORWARD);
    EXPECT_EQ(date_text(), "June,15,2001");
    handle_menu_command(CMD_SHOW_TIMELINE);
    handle_menu_command(CMD_DEFAULT_QUERY);

    // Load and export: the values are those of the date shown.
    modalLog.fileAnswers = {sample_directory() + "/in/zips.csv"};
    handle_menu_command(CMD_LOAD_DATA);
    ASSERT_EQ(modalLog.messages, std::vector<std::string>{"Info: Load complete"});
    EXPECT_EQ(zipTable.count, 2u);
    EXPECT_EQ(date_text(), "January,1,1990");
    handle_menu_command(CMD_CENSUS_2012);
    modalLog.fileAnswers = {sample_directory() + "/out/no-gl.csv"};
    handle_menu_command(CMD_EXPORT_CSV);
    EXPECT_EQ(modalLog.messages.back(), "Info: Save complete");
    EXPECT_EQ(read_file(sample_directory() + "/out/no-gl.csv"), "ZIP,VALUE\r\n77001,55\r\n77002,0\r\n");

    // Playback still steps the date on the timer.
    ctl_click(appWindows.timelinePanel, IDC_PLAY_FORWARD);
    on_timer(PLAYBACK_TIMER);
    EXPECT_EQ(date_text(), "January,1,2013");
    EXPECT_EQ(shellState.frames, 0u);   // nothing to draw into

    handle_menu_command(CMD_QUIT);
    EXPECT_EQ(appWindows.mainWindow, nullptr);
    EXPECT_EQ(run_message_loop(), 0);
    EXPECT_EQ(modalLog.messages.size(), 2u);   // nothing more to say
}

}   // namespace
