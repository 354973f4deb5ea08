// exit_test.cpp -- the two ways out of the viewer, each in its own process (ctest runs
// every test alone): Quit releases everything and the loop ends with 0; the close box
// does the same.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <QPointer>
#include <QTimer>

#include "app_harness.h"
#include "app_windows.h"
#include "qt_internal.h"
#include "scene.h"
#include "shell.h"

namespace {

// What the main window's destruction finds: the playback timer and the GL objects of
// the scene should both be gone by then.
struct AtDestroy {
    WindowProc       shellProc;      // the procedure being watched
    QPointer<QTimer> playback;       // the playback timer
    bool             seen;           // MSG_DESTROY arrived
    bool             timerRunning;   // the timer still ran then
    bool             sceneAlive;     // a texture or list of the scene still existed then
} atDestroy;

bool scene_objects_exist()
{
    return glIsTexture(MAP_TEXTURE) || glIsTexture(STRIPE_TEXTURE) || glIsList(PLANE_LIST) ||
           glIsList(SIDES_LIST);
}

intptr_t watch_destroy(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == MSG_DESTROY) {
        atDestroy.seen = true;
        atDestroy.timerRunning = atDestroy.playback && atDestroy.playback->isActive();
        atDestroy.sceneAlive = make_gl_current(window) && scene_objects_exist();
    }
    return atDestroy.shellProc(window, message, wParam, lParam);
}

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

TEST(Exit, QuitStopsPlaybackAndReleasesTheSceneBeforeTheWindowGoes)
{
    ASSERT_EQ(start_viewer_once(), 1);
    if (!shellState.running) GTEST_SKIP() << "the viewer already quit in this process";
    WindowHandle main = appWindows.mainWindow;
    for (const WindowTimer &timer : main->timers)
        if (timer.id == PLAYBACK_TIMER) atDestroy.playback = timer.timer;
    ASSERT_TRUE(atDestroy.playback && atDestroy.playback->isActive());
    ASSERT_TRUE(make_gl_current(main) && scene_objects_exist());
    atDestroy.shellProc = main->proc;
    main->proc = watch_destroy;

    handle_menu_command(CMD_QUIT);
    ASSERT_TRUE(atDestroy.seen);
    EXPECT_FALSE(atDestroy.timerRunning);
    EXPECT_FALSE(atDestroy.sceneAlive);
    EXPECT_EQ(run_message_loop(), 0);
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
