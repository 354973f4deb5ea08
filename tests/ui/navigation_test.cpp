// navigation_test.cpp -- the mouse over the running viewer: right drags turn, tilt and
// zoom within their limits, left drags step the date one unit a message, Ctrl + left
// click selects or clears, Ctrl + right click recentres, the wheel zooms, and a real
// Ctrl + click through the Qt view picks the ZIP code under the pointer.
#include <gtest/gtest.h>

#include <QImage>
#include <QOpenGLWidget>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <string>

#include "app_harness.h"
#include "app_windows.h"
#include "camera.h"
#include "dates.h"
#include "info_panel.h"
#include "navigation.h"
#include "picking.h"
#include "qt_internal.h"
#include "query_panel.h"
#include "scene.h"
#include "selection.h"
#include "shell.h"
#include "timeline_panel.h"
#include "values.h"
#include "zip_table.h"

namespace {

intptr_t at(int x, int y) { return intptr_t((uint32_t(uint16_t(y)) << 16) | uint16_t(x)); }

// A drag: press, then one move message per point, then release.
void drag(uintptr_t flags, int x0, int y0, std::initializer_list<std::pair<int, int>> points, bool right = false)
{
    if (right) on_right_button_down(flags, at(x0, y0));
    else on_left_button_down(flags, at(x0, y0));
    for (auto [x, y] : points) on_mouse_move(flags, at(x, y));
    on_button_up(at(0, 0));
}

class Mouse : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(start_viewer_once(), 1) << "the GL view never initialised"; }

    // Paused on 1 January 1990 stepping by days, the two sample ZIP codes loaded, no
    // selection, the default camera.
    void SetUp() override
    {
        pause_by_days();
        modalLog.fileAnswers = {sample_directory() + "/in/zips.csv"};
        handle_menu_command(1);
        reset_query_and_camera();
        modalLog = ModalLog();
    }
    void TearDown() override { release_mouse(); }
};

TEST_F(Mouse, RightDragsTurnTiltAndZoomWithinTheirLimits)
{
    // No button held: nothing is recorded, nothing drawn.
    dragState = {7, 8};
    uint32_t frames = shellState.frames;
    on_mouse_move(MK_SHIFT | MK_CONTROL, at(300, 300));
    EXPECT_EQ(dragState.lastX, 7);
    EXPECT_EQ(shellState.frames, frames);

    drag(MK_RBUTTON, 100, 100, {{130, 90}, {150, 120}}, true);   // one pixel, one degree
    EXPECT_EQ(viewState.rotation, -50.0f);
    EXPECT_EQ(viewState.tilt, -20.0f);
    EXPECT_EQ(shellState.frames, frames + 4);   // the press, two moves and the release

    viewState.rotation = viewState.tilt = 0.0f;
    drag(MK_RBUTTON, 0, 500, {{100, 500}, {200, 500}, {250, 200}, {250, -100}}, true);
    EXPECT_EQ(viewState.rotation, -180.0f);   // stops, never wraps
    EXPECT_EQ(viewState.tilt, 90.0f);

    drag(MK_RBUTTON | MK_SHIFT, 0, 700, {{0, 400}, {0, 100}}, true);   // up 600 from 500
    EXPECT_EQ(viewState.distance, 10.0f);
    EXPECT_EQ(viewState.tilt, 90.0f);
    drag(MK_RBUTTON | MK_SHIFT | MK_CONTROL, 0, 0, {{5, 40}}, true);   // Ctrl changes nothing here
    EXPECT_EQ(viewState.distance, 50.0f);
    EXPECT_EQ(viewState.rotation, -180.0f);

    // Both buttons: turn and tilt only, the date stays.
    viewState.rotation = viewState.tilt = 0.0f;
    drag(MK_LBUTTON | MK_RBUTTON, 0, 0, {{10, 0}, {20, 0}});
    EXPECT_EQ(viewState.rotation, -20.0f);
    EXPECT_EQ(timeline.currentDate, pack_date(1, 1, 1990));
}

TEST_F(Mouse, LeftDragStepsTheDateOneUnitAMessage)
{
    drag(MK_LBUTTON, 0, 0, {{1, 0}, {200, 0}, {200, 50}});   // two steps, however far
    EXPECT_EQ(timeline.currentDate, pack_date(3, 1, 1990));
    char text[DATE_TEXT_SIZE] = "";
    ctl_get_text(appWindows.timelinePanel, IDC_DATE_TEXT, text, sizeof text);
    EXPECT_STREQ(text, "January,3,1990");

    ctl_choose(appWindows.timelinePanel, IDC_STEP_UNIT, 1);
    drag(MK_LBUTTON, 100, 0, {{90, 0}});
    EXPECT_EQ(timeline.currentDate, pack_date(3, 12, 2021));   // back a month, wrapping

    // A vertical drag rebuilds and redraws but keeps the date.
    valueTable.areaTotal = 12345;
    uint32_t frames = shellState.frames;
    on_left_button_down(0, at(5, 5));
    on_mouse_move(MK_LBUTTON, at(5, 60));
    EXPECT_EQ(timeline.currentDate, pack_date(3, 12, 2021));
    EXPECT_NE(valueTable.areaTotal, 12345u);
    EXPECT_EQ(shellState.frames, frames + 1);

    // With Shift or Ctrl the left button only records the position.
    for (uintptr_t key : {uintptr_t(MK_SHIFT), uintptr_t(MK_CONTROL)}) {
        on_mouse_move(MK_LBUTTON | key, at(300, 60));
        EXPECT_EQ(dragState.lastX, 300);
        on_mouse_move(MK_LBUTTON | key, at(5, 60));
    }
    EXPECT_EQ(timeline.currentDate, pack_date(3, 12, 2021));
    EXPECT_EQ(shellState.frames, frames + 1);
    on_button_up(at(5, 60));
}

TEST_F(Mouse, WheelZoomsAsATwentyPixelShiftDrag)
{
    on_mouse_wheel(-WHEEL_NOTCH);   // towards the user: the eye moves away
    EXPECT_EQ(viewState.distance, 520.0f);
    on_mouse_wheel(3 * WHEEL_NOTCH);
    EXPECT_EQ(viewState.distance, 460.0f);
    viewState.distance = 15.0f;
    on_mouse_wheel(WHEEL_NOTCH);
    EXPECT_EQ(viewState.distance, 10.0f);
}

// Straight down on 77002 from 20 world units: its lid fills the middle of the view.
QRgb middle_pixel()
{
    draw_frame();
    present_frame();
    QImage frame = platform_gl_view(appWindows.mainWindow)->grabFramebuffer();
    return frame.pixel(frame.width() / 2, frame.height() / 2);
}

TEST_F(Mouse, CtrlClicksSelectClearAndRecentre)
{
    viewState.distance = 20.0f;
    centre_view_on(zipTable.records[1].longitude, zipTable.records[1].latitude);
    const float middleX = float(viewState.viewportWidth / 2), middleY = float(viewState.viewportHeight / 2);
    QRgb opaque = middle_pixel();

    on_left_button_down(MK_LBUTTON | MK_CONTROL, at(int(middleX), int(middleY)));
    on_button_up(at(int(middleX), int(middleY)));
    EXPECT_EQ(querySelection.selectedZip, 1);
    EXPECT_EQ(ctl_get_selection(appWindows.queryPanel, IDC_ZIP_LIST), 1);
    EXPECT_TRUE(is_window_visible(appWindows.infoPanel));

    // Select the other one: 77002's lid turns translucent over the map.
    report_zip(0);
    QRgb translucent = middle_pixel();
    EXPECT_GT(qRed(translucent) - qRed(opaque), 40);

    // A click on empty map clears the selection; every column is opaque again.
    on_left_button_down(MK_LBUTTON | MK_CONTROL, at(5, 5));
    EXPECT_EQ(querySelection.selectedZip, -1);
    EXPECT_EQ(ctl_get_selection(appWindows.queryPanel, IDC_ZIP_LIST), -1);
    EXPECT_EQ(middle_pixel(), opaque);

    // Ctrl + right click recentres on 77002 and keeps the camera and the selection.
    viewState.rotation = 20.0f;
    viewState.tilt = 30.0f;
    viewState.centre[0] += 1.0f;
    int hitX = -1;   // a pixel over 77002 from this view, found along the middle row
    for (int x = 0; x < viewState.viewportWidth && hitX < 0; ++x) {
        int32_t index = -1;
        if (pick_zip(int16_t(x), int16_t(middleY), index) && index == 1) hitX = x;
    }
    ASSERT_GE(hitX, 0);
    on_right_button_down(MK_RBUTTON | MK_CONTROL, at(hitX, int(middleY)));
    on_button_up(at(hitX, int(middleY)));
    EXPECT_EQ(viewState.centre[0], float((double(-95.40f) + double(95.4877f)) * 100.0 - double(95.4877f)));
    EXPECT_EQ(viewState.centre[1], float((double(29.80f) - double(29.837934f)) * 100.0 + double(29.837934f)));
    EXPECT_EQ(viewState.rotation, 20.0f);
    EXPECT_EQ(viewState.tilt, 30.0f);
    EXPECT_EQ(viewState.distance, 20.0f);
    EXPECT_EQ(querySelection.selectedZip, -1);
}

// With no ZIP codes loaded a Ctrl + left click clears a left-over selection and the
// Query panel's list; a Ctrl + right click leaves the centre and draws one frame.
TEST_F(Mouse, CtrlClicksWithNoZipCodesLoaded)
{
    FILE *empty = std::fopen((sample_directory() + "/in/none.csv").c_str(), "wb");
    ASSERT_NE(empty, nullptr);
    std::fputs("ZIP,X,LON,LAT,TRAVEL,TRAFFIC\n", empty);
    ASSERT_EQ(std::fclose(empty), 0);
    modalLog.fileAnswers = {sample_directory() + "/in/none.csv"};
    handle_menu_command(CMD_LOAD_DATA);
    ASSERT_EQ(zipTable.count, 0u);
    querySelection.selectedZip = 1;   // what an earlier table left
    ctl_add_item(appWindows.queryPanel, IDC_ZIP_LIST, "77002");
    ctl_set_selection(appWindows.queryPanel, IDC_ZIP_LIST, 0);
    show_window(appWindows.infoPanel, SW_HIDE);

    const int middleX = viewState.viewportWidth / 2, middleY = viewState.viewportHeight / 2;
    uint32_t frames = shellState.frames;
    on_left_button_down(MK_LBUTTON | MK_CONTROL, at(middleX, middleY));
    EXPECT_EQ(shellState.frames, frames + 1);
    EXPECT_EQ(querySelection.selectedZip, -1);
    EXPECT_EQ(ctl_item_count(appWindows.queryPanel, IDC_ZIP_LIST), 0);
    EXPECT_FALSE(is_window_visible(appWindows.infoPanel));
    on_button_up(at(middleX, middleY));

    const float centre[3] = {viewState.centre[0], viewState.centre[1], viewState.centre[2]};
    frames = shellState.frames;
    on_right_button_down(MK_RBUTTON | MK_CONTROL, at(middleX, middleY));
    EXPECT_EQ(shellState.frames, frames + 1);
    EXPECT_EQ(viewState.centre[0], centre[0]);
    EXPECT_EQ(viewState.centre[1], centre[1]);
    EXPECT_EQ(viewState.centre[2], centre[2]);
    on_button_up(at(middleX, middleY));
}

TEST_F(Mouse, CtrlClickThroughTheViewPicksTheZipCodeUnderThePointer)
{
    // 77001 straight below the middle of the view from 30 units: its pick plane
    // (value 25, plus 10) projects onto the middle pixel.
    viewState.distance = 30.0f;
    centre_view_on(zipTable.records[0].longitude, zipTable.records[0].latitude);
    draw_frame();
    present_frame();
    QOpenGLWidget *view = platform_gl_view(appWindows.mainWindow);
    const double ratio = view->devicePixelRatioF();
    QPoint middle(int(viewState.viewportWidth / 2 / ratio), int(viewState.viewportHeight / 2 / ratio));
    QTest::mouseClick(view, Qt::LeftButton, Qt::ControlModifier, middle);
    EXPECT_EQ(querySelection.selectedZip, 0);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);   // released with the button
    std::string log(2000, '\0');
    log.resize(size_t(ctl_get_text(appWindows.infoPanel, IDC_INFO_LOG, log.data(), int(log.size()))));
    EXPECT_NE(log.find("Total for zip code 77001: 25,"), std::string::npos);
}

}   // namespace
