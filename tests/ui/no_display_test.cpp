// no_display_test.cpp -- the viewer started where no window can open: one line on
// standard error and exit status 1, instead of the toolkit's abort; and the check
// refuses nothing but X without a display, so offscreen and minimal set-ups still run.
#include <gtest/gtest.h>

#include "platform.h"
#include "scratch_folder.h"

#include <cstdlib>

namespace {

using NoDisplay = ScratchFolderTest;

TEST_F(NoDisplay, ViewerSaysSoInOneLineAndExitsWithOne)
{
    const ProgramRun run = shell(in_folder(dir, "env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_SESSION_TYPE -u QT_QPA_PLATFORM " +
                                                    quoted(TALLYMAP_PATH)));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "no X display: set DISPLAY, or use tallyrender for pictures without a window\n");
    EXPECT_EQ(run.out, "");
}

TEST(DisplayCheck, RefusesOnlyXWithoutADisplay)
{
    const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    ASSERT_NE(display, "") << "runs under an X server";
    unsetenv("XDG_SESSION_TYPE");
    char name[] = "tallymap", platform[] = "-platform", offscreen[] = "offscreen";
    char *plain[] = {name, nullptr}, *offscreenOption[] = {name, platform, offscreen, nullptr};

    setenv("QT_QPA_PLATFORM", "xcb", 1);
    EXPECT_EQ(display_available(1, plain), 1);                    // the test's X server
    setenv("DISPLAY", ":4093", 1);                                // no server there
    EXPECT_EQ(display_available(1, plain), 0);
    EXPECT_EQ(display_available(3, offscreenOption), 1);          // Qt's own option wins
    unsetenv("DISPLAY");
    EXPECT_EQ(display_available(1, plain), 0);
    unsetenv("QT_QPA_PLATFORM");                                  // Qt's default is X
    EXPECT_EQ(display_available(1, plain), 0);
    for (const char *other : {"offscreen", "minimal", "wayland;xcb"}) {
        setenv("QT_QPA_PLATFORM", other, 1);
        EXPECT_EQ(display_available(1, plain), 1) << other;
    }
    setenv("DISPLAY", display.c_str(), 1);
}

}  // namespace
