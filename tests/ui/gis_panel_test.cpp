// gis_panel_test.cpp -- the GIS panel in the running viewer: its lists, the settings
// each choice stores, its results for every control and notification, the boxes acting
// on clicks only (one message per click with an unreadable map), and a height scale or
// colour range seen in the GL view at the next timer tick.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

#include <GL/gl.h>

#include "app_harness.h"
#include "app_windows.h"
#include "frame_probe.h"
#include "gis_panel.h"
#include "overlay.h"
#include "selection.h"
#include "shell.h"

namespace {

namespace fs = std::filesystem;

const std::string NO_MAP = "ERROR!: make_map() - can't read map!";

std::vector<std::string> items_of(int id)
{
    std::vector<std::string> items;
    for (int i = 0; i < ctl_item_count(appWindows.gisPanel, id); ++i) {
        char text[32] = "";
        ctl_get_item_text(appWindows.gisPanel, id, i, text, sizeof text);
        items.push_back(text);
    }
    return items;
}

// packed, overlayFlags and the two factors, to compare in one expectation
std::string settings()
{
    const DisplaySettings &s = displaySettings;
    return std::to_string(s.packed) + " " + std::to_string(s.overlayFlags) + " " + std::to_string(s.heightScale) +
           " " + std::to_string(s.colourScale);
}

class GisPanel : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(start_viewer_once(), 1) << "the GL view never initialised"; }

    // Each test runs in a folder of its own with the campus file and no map at all,
    // so that every time the map is asked for, a message says so.
    void SetUp() override
    {
        char pattern[] = "/tmp/tallymap-gis-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        fs::create_directories(folder / "data/ui");
        fs::copy_file(TALLYMAP_SOURCE_DIR "/data/ui/campuses.ui", folder / "data/ui/campuses.ui");
        ASSERT_EQ(chdir(folder.c_str()), 0);
        // the start-up choices, set quietly
        for (int id : {IDC_MAP, IDC_HEIGHT_SCALE, IDC_COLOUR_RANGE}) ctl_set_selection(panel(), id, 0);
        for (int id : {IDC_UNIVERSITIES, IDC_UNIVERSITY_LABELS}) ctl_set_checked(panel(), id, 0);
        displaySettings = {0, 0, 0.0001f, 1.0f};
        modalLog = ModalLog();
    }
    void TearDown() override
    {
        EXPECT_EQ(chdir(sample_directory().c_str()), 0);
        fs::remove_all(folder);
    }
    static WindowHandle panel() { return appWindows.gisPanel; }
    fs::path folder;
};

TEST_F(GisPanel, EachChoiceStoresItsIndexWithItsFactorAndKeepsTheOtherBits)
{
    EXPECT_TRUE(is_window_visible(panel()));
    EXPECT_EQ(items_of(IDC_MAP), (std::vector<std::string>{"Basemap", "School District"}));
    EXPECT_EQ(items_of(IDC_HEIGHT_SCALE), (std::vector<std::string>{"10000:1", "1000:1", "100:1", "10:1"}));
    EXPECT_EQ(items_of(IDC_COLOUR_RANGE), (std::vector<std::string>{"Normalized", "1-10", "1-100", "1-1000"}));
    for (int id : {IDC_MAP, IDC_HEIGHT_SCALE, IDC_COLOUR_RANGE}) EXPECT_EQ(ctl_get_selection(panel(), id), 0);
    EXPECT_EQ(ctl_is_checked(panel(), IDC_UNIVERSITIES) + ctl_is_checked(panel(), IDC_UNIVERSITY_LABELS), 0);
    EXPECT_EQ(settings(), "0 0 0.000100 1.000000");

    // (list, item) -> packed = map + 8 x height index + 32 x colour index, and the factors
    const struct { int id, item; const char *expected; } steps[] = {
        {IDC_MAP, 1, "1 0 0.000100 1.000000"},          {IDC_HEIGHT_SCALE, 2, "17 0 0.010000 1.000000"},
        {IDC_COLOUR_RANGE, 3, "113 0 0.010000 0.001000"}, {IDC_HEIGHT_SCALE, 3, "121 0 0.100000 0.001000"},
        {IDC_HEIGHT_SCALE, 1, "105 0 0.001000 0.001000"}, {IDC_COLOUR_RANGE, 1, "41 0 0.001000 0.100000"},
        {IDC_COLOUR_RANGE, 2, "73 0 0.001000 0.010000"},  {IDC_COLOUR_RANGE, 0, "9 0 0.001000 1.000000"},
        {IDC_MAP, 0, "8 0 0.001000 1.000000"},
    };
    for (const auto &step : steps) {
        ctl_choose(panel(), step.id, step.item);
        EXPECT_EQ(settings(), step.expected) << step.id << " item " << step.item;
    }
    EXPECT_EQ(displaySettings.colourScale, 1.0f);   // "Normalized" after "1-100": exactly 1
    EXPECT_EQ(displaySettings.heightScale, 0.001f);
    EXPECT_EQ(modalLog.messages, std::vector<std::string>{NO_MAP}) << "only \"Basemap\" read a map";

    // closed and shown again, the panel keeps its choices
    EXPECT_EQ(gis_panel_proc(panel(), MSG_COMMAND, ID_CANCEL, 0), 1);
    EXPECT_FALSE(is_window_visible(panel()));
    handle_menu_command(CMD_SHOW_GIS);
    EXPECT_TRUE(is_window_visible(panel()));
    EXPECT_EQ(ctl_get_selection(panel(), IDC_HEIGHT_SCALE), 1);
}

TEST_F(GisPanel, ResultsForEveryControlAndNotification)
{
    ctl_set_selection(panel(), IDC_COLOUR_RANGE, 3);
    ctl_set_checked(panel(), IDC_UNIVERSITIES, 1);
    // the lists' other notifications (opening, closing, focus) and the boxes' focus
    // changes change nothing and ask for no map: no error box steals the focus
    for (uint32_t notification : {0u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u})
        for (int id : {IDC_MAP, IDC_HEIGHT_SCALE, IDC_COLOUR_RANGE})
            EXPECT_EQ(gis_panel_command(panel(), make_command(id, notification)), 1) << id << " " << notification;
    for (uint32_t notification : {1u, 6u, 7u})
        for (int id : {IDC_UNIVERSITIES, IDC_UNIVERSITY_LABELS})
            EXPECT_EQ(gis_panel_command(panel(), make_command(id, notification)), 1) << id << " " << notification;
    for (int id : {int(IDC_MAP_LABEL), int(IDC_HEIGHT_LABEL), int(IDC_COLOUR_LABEL), int(IDC_OVERLAY_GROUP), 1, 9999})
        EXPECT_EQ(gis_panel_command(panel(), make_command(id, NOTIFY_SELCHANGE)), 0) << id;
    EXPECT_EQ(gis_panel_proc(panel(), MSG_TIMER, 1, 0), 0);
    EXPECT_EQ(settings(), "0 0 0.000100 1.000000");
    EXPECT_TRUE(modalLog.messages.empty());

    // what acts: a list's selection change, a box's click
    EXPECT_EQ(gis_panel_proc(panel(), MSG_COMMAND, make_command(IDC_COLOUR_RANGE, NOTIFY_SELCHANGE), 0), 1);
    EXPECT_EQ(gis_panel_command(panel(), make_command(IDC_UNIVERSITIES, NOTIFY_CLICKED)), 1);
    EXPECT_EQ(settings(), "96 1 0.000100 0.001000");
}

TEST_F(GisPanel, BoxesActOnClicksOnlyAndAskForTheMapOncePerClick)
{
    ctl_click(panel(), IDC_UNIVERSITY_LABELS);
    EXPECT_EQ(displaySettings.overlayFlags, OVERLAY_LABELS);
    EXPECT_EQ(campusTable.count, 2u);
    EXPECT_EQ(modalLog.messages, std::vector<std::string>{NO_MAP});
    ctl_click(panel(), IDC_UNIVERSITIES);
    EXPECT_EQ(displaySettings.overlayFlags, OVERLAY_UNIVERSITIES | OVERLAY_LABELS);
    ctl_click(panel(), IDC_UNIVERSITY_LABELS);   // unticking asks for the map too
    EXPECT_EQ(displaySettings.overlayFlags, OVERLAY_UNIVERSITIES);
    EXPECT_EQ(modalLog.messages, (std::vector<std::string>{NO_MAP, NO_MAP, NO_MAP}));

    // without the campus file: its own message first, no campuses, the box ticked
    fs::remove(folder / "data/ui/campuses.ui");
    modalLog = ModalLog();
    ctl_click(panel(), IDC_UNIVERSITY_LABELS);
    EXPECT_EQ(modalLog.messages, (std::vector<std::string>{"ERROR!: load_campuses() - can't read campuses!", NO_MAP}));
    EXPECT_EQ(campusTable.count, 0u);
    EXPECT_EQ(displaySettings.overlayFlags, OVERLAY_UNIVERSITIES | OVERLAY_LABELS);
}

// Waits for the next frame the timer draws, reads a pixel of the GL view and tells
// whether it is (red, green, blue), give or take 3.
testing::AssertionResult next_tick_shows(Pixel at, int red, int green, int blue)
{
    uint32_t frames = shellState.frames;
    for (int waited = 0; shellState.frames == frames && waited < 3000; waited += 10) process_events(10);
    unsigned char c[4] = {0, 0, 0, 0};
    make_gl_current(appWindows.mainWindow);
    glReadPixels(at.x, at.y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, c);
    bool near = std::abs(c[0] - red) <= 3 && std::abs(c[1] - green) <= 3 && std::abs(c[2] - blue) <= 3;
    return (near && shellState.frames != frames ? testing::AssertionSuccess() : testing::AssertionFailure())
           << "frames " << frames << " -> " << shellState.frames << ", seen " << int(c[0]) << "," << int(c[1])
           << "," << int(c[2]);
}

TEST_F(GisPanel, HeightScaleAndColourRangeShowAtTheNextTick)
{
    // 77001 at (-95.36, 29.75): value 25 on 1 January 1990, enrollment 10 for campus 1
    // beside a stored maximum of 0, which "Normalized" takes as full: green
    ASSERT_EQ(chdir(sample_directory().c_str()), 0);
    modalLog.fileAnswers = {sample_directory() + "/in/zips.csv"};
    handle_menu_command(CMD_LOAD_DATA);
    querySelection.campus = 1;
    const double lon = -95.36, lat = 29.75;
    viewState = {{float((lon - PIVOT_X) * 100 + PIVOT_X), float((lat - PIVOT_Y) * 100 + PIVOT_Y), 0.13f},
                 {PIVOT_X, PIVOT_Y, 0.0f}, 10.0f, 0.0f, 60.0f, viewState.viewportWidth, viewState.viewportHeight};
    // the south face (0.09 darker) at 13 value units: 0.13 world units up at "100:1"
    ctl_choose(panel(), IDC_HEIGHT_SCALE, 2);
    const Pixel face = model_to_pixel(lon, lat - 0.0025, 13, viewState.viewportWidth, viewState.viewportHeight);
    EXPECT_TRUE(next_tick_shows(face, 0, 232, 0));
    // at "10000:1" the column is 0.0125 world units tall: the sight line passes over it
    ctl_choose(panel(), IDC_HEIGHT_SCALE, 0);
    EXPECT_FALSE(next_tick_shows(face, 0, 232, 0));
    // "1-100": 10 students make r = 0.1 and the colour (1, 0.2, 0)
    ctl_choose(panel(), IDC_HEIGHT_SCALE, 2);
    ctl_choose(panel(), IDC_COLOUR_RANGE, 2);
    EXPECT_TRUE(next_tick_shows(face, 232, 28, 0));
    ctl_choose(panel(), IDC_COLOUR_RANGE, 0);
    EXPECT_TRUE(next_tick_shows(face, 0, 232, 0));
}

}  // namespace
