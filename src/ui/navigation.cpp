// navigation.cpp -- the main window's mouse handlers. One pixel of a right drag is one
// degree of turn or tilt, or one world unit of distance with Shift; one message of a
// left drag is one date step of the Timeline panel's unit, however far the mouse went.
// Every message with a button held redraws at once.
#include "navigation.h"

#include "app_windows.h"
#include "camera.h"
#include "dates.h"
#include "info_panel.h"
#include "picking.h"
#include "platform.h"
#include "query_panel.h"
#include "scene.h"
#include "shell.h"
#include "zip_table.h"

DragState dragState;

static int16_t position_x(intptr_t position) { return static_cast<int16_t>(position & 0xFFFF); }
static int16_t position_y(intptr_t position) { return static_cast<int16_t>((position >> 16) & 0xFFFF); }

static void record_position(intptr_t position)
{
    dragState.lastX = position_x(position);
    dragState.lastY = position_y(position);
}

static float clamp(float value, float limit)
{
    return value < -limit ? -limit : value > limit ? limit : value;
}

static void zoom_by(float change)
{
    viewState.distance += change;
    if (viewState.distance < MIN_DISTANCE) viewState.distance = MIN_DISTANCE;
}

void on_mouse_move(uintptr_t flags, intptr_t position)
{
    if (!(flags & (MK_LBUTTON | MK_RBUTTON))) return;
    const int16_t x = position_x(position), y = position_y(position);
    const int16_t dx = static_cast<int16_t>(x - dragState.lastX);
    const int16_t dy = static_cast<int16_t>(y - dragState.lastY);
    record_position(position);

    if (flags & MK_RBUTTON) {
        if (flags & MK_SHIFT) {
            zoom_by(dy);   // down moves the eye away
        } else {
            viewState.tilt = clamp(viewState.tilt - dy, TILT_LIMIT);
            viewState.rotation = clamp(viewState.rotation - dx, ROTATION_LIMIT);
        }
        redraw();
    }
    if ((flags & (MK_LBUTTON | MK_RBUTTON | MK_SHIFT | MK_CONTROL)) == MK_LBUTTON) {
        if (dx > 0) step_date_forward(timeline.currentDate, timeline.stepUnit);
        if (dx < 0) step_date_back(timeline.currentDate, timeline.stepUnit);
        rebuild_scene();
        redraw();
    }
}

static void take_focus_and_capture(intptr_t position)
{
    set_focus(appWindows.mainWindow);
    capture_mouse(appWindows.mainWindow);
    record_position(position);
}

void on_left_button_down(uintptr_t flags, intptr_t position)
{
    take_focus_and_capture(position);
    if (!(flags & MK_CONTROL)) return;
    int32_t index = -1;
    if (!pick_zip(position_x(position), position_y(position), index)) index = -1;
    report_zip(index);   // a miss clears the selection
    refresh_query_panel(appWindows.queryPanel);
    redraw();
}

void on_right_button_down(uintptr_t flags, intptr_t position)
{
    take_focus_and_capture(position);
    int32_t index = -1;
    if ((flags & MK_CONTROL) && pick_zip(position_x(position), position_y(position), index)) {
        const ZipRecord &zip = zipTable.records[index];
        centre_view_on(zip.longitude, zip.latitude);
    }
    redraw();
}

void on_button_up(intptr_t position)
{
    release_mouse();
    record_position(position);
    redraw();
}

void on_mouse_wheel(int delta)
{
    // towards the user (a negative delta) moves the eye away
    zoom_by(static_cast<float>(-double(delta) * WHEEL_NOTCH_ZOOM / WHEEL_NOTCH));
    redraw();
}
