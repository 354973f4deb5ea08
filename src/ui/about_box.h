// about_box.h -- the About box (dialog 108): a picture, where to find the project and
// its help, and a quick reference of the mouse gestures. Hidden until "About..".
#pragma once
#include "platform.h"

enum : int {
    IDD_ABOUT     = 108,
    IDC_ABOUT_OK  = 1036,   // the default button: OK and Enter hide the box
    IDC_ABOUT_PICTURE = 1037,
};

extern const DialogTemplate aboutTemplate;

// Hides the box on OK, Enter, Esc and the close box; every command counts as handled.
intptr_t about_box_proc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
