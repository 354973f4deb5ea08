// navigation.h -- the mouse over the map: the right button turns and tilts the view
// (with Shift it zooms), the left button steps the date, Ctrl + left click selects and
// reports a ZIP code, Ctrl + right click recentres on one, and the wheel zooms.
#pragma once
#include <cstdint>

struct DragState {
    int16_t lastX;   // client position of the last mouse message a handler recorded
    int16_t lastY;
};

extern DragState dragState;

constexpr float TILT_LIMIT      = 90.0f;    // degrees either way; never wraps
constexpr float ROTATION_LIMIT  = 180.0f;   // degrees either way; never wraps
constexpr float MIN_DISTANCE    = 10.0f;    // the eye never comes closer to the centre
constexpr int   WHEEL_NOTCH     = 120;      // wheel delta of one notch
constexpr float WHEEL_NOTCH_ZOOM = 20.0f;   // one notch zooms as a 20-pixel Shift + right drag

// flags: MK_* key and button flags; position: y << 16 | x, signed 16-bit client pixels.
void on_mouse_move(uintptr_t flags, intptr_t position);
void on_left_button_down(uintptr_t flags, intptr_t position);
void on_right_button_down(uintptr_t flags, intptr_t position);
void on_button_up(intptr_t position);
// delta: signed wheel movement, WHEEL_NOTCH per notch, positive away from the user.
void on_mouse_wheel(int delta);
