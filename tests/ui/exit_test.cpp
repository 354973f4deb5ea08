// exit_test.cpp -- the two ways out of the viewer, each in its own process (ctest runs
// every test alone): Quit releases everything and the loop ends with 0; the close box
// does the same.
#include <gtest/gtest.h>

#include "app_harness.h"
#include "app_windows.h"
#include "shell.h"

namespace {

TEST(Exit, QuitDestroysEveryWindowAndEndsTheLoopWithZero)
{
    ASSERT_EQ(start_viewer_once(), 1);
    if (!shellState.running) GTEST_SKIP() << "the viewer already quit in this process";
    ASSERT_NE(appWindows.timelinePanel, nullptr);
    handle_menu_command(10);
    EXPECT_EQ(appWindows.timelinePanel, nullptr);
    EXPECT_EQ(appWindows.mainWindow, nullptr);
    EXPECT_EQ(appWindows.renderContext, 0);
    EXPECT_EQ(run_message_loop(), 0);
    EXPECT_TRUE(modalLog.messages.empty());
}

TEST(Exit, CloseBoxEndsTheLoopWithZero)
{
    ASSERT_EQ(start_viewer_once(), 1);
    if (!shellState.running) GTEST_SKIP() << "the viewer already quit in this process";
    main_window_proc(appWindows.mainWindow, MSG_CLOSE, 0, 0);
    EXPECT_EQ(appWindows.mainWindow, nullptr);
    EXPECT_EQ(run_message_loop(), 0);
}

}   // namespace
