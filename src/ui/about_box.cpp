// about_box.cpp -- the About box's template and procedure. The picture is our own
// rendering of the sample study area, compiled into the program as a resource.
#include "about_box.h"

static const ControlTemplate aboutControls[] = {
    {IDC_ABOUT_OK,      CTL_BUTTON,   "OK", 94, 245, 50, 14, STYLE_TABSTOP | STYLE_DEFAULT},
    {IDC_ABOUT_PICTURE, CTL_PICTURE,  ":/tallymap/about.png", 6, 6, 217, 73, STYLE_CENTRE | STYLE_VCENTRE},
    {1038, CTL_GROUPBOX, "Contact information", 27, 85, 81, 153, 0},
    {1039, CTL_GROUPBOX, "Quick reference", 129, 85, 77, 153, 0},
    {1040, CTL_STATIC, "CEO/Inquiries", 34, 106, 66, 8, STYLE_CENTRE},
    {1041, CTL_STATIC, "Tallymap project", 34, 116, 66, 8, STYLE_CENTRE},
    {1042, CTL_STATIC, "see README.md", 32, 126, 71, 8, STYLE_CENTRE},
    {1043, CTL_STATIC, "COO/Information", 33, 147, 66, 8, STYLE_CENTRE},
    {1044, CTL_STATIC, "Sample data", 34, 157, 66, 8, STYLE_CENTRE},
    {1045, CTL_STATIC, "README.md", 32, 167, 71, 8, STYLE_CENTRE},
    {1046, CTL_STATIC, "CTO/Tech. Support", 34, 188, 66, 8, STYLE_CENTRE},
    {1047, CTL_STATIC, "Set-up and tests", 34, 198, 66, 8, STYLE_CENTRE},
    {1048, CTL_STATIC, "README.md", 34, 208, 66, 8, STYLE_CENTRE},
    {1049, CTL_STATIC, "Pan view:", 134, 100, 66, 8, STYLE_CENTRE},
    {1050, CTL_STATIC, "Right mouse", 134, 110, 66, 8, STYLE_CENTRE},
    {1051, CTL_STATIC, "Zoom view:", 134, 128, 66, 8, STYLE_CENTRE},
    {1052, CTL_STATIC, "Shift + Right mouse", 134, 138, 66, 8, STYLE_CENTRE},
    {1053, CTL_STATIC, "Move view:", 134, 156, 66, 8, STYLE_CENTRE},
    {1054, CTL_STATIC, "Ctrl + Right mouse", 134, 166, 66, 8, STYLE_CENTRE},
    {1055, CTL_STATIC, "Control timeline:", 134, 184, 66, 8, STYLE_CENTRE},
    {1056, CTL_STATIC, "Left mouse", 134, 194, 66, 8, STYLE_CENTRE},
    {1057, CTL_STATIC, "Make selection", 134, 211, 66, 8, STYLE_CENTRE},
    {1058, CTL_STATIC, "Ctrl + Left mouse", 134, 221, 66, 8, STYLE_CENTRE},
};

const DialogTemplate aboutTemplate = {
    IDD_ABOUT, "About Tallymap 1.0", 0, 0, 231, 265, false, true,
    aboutControls, int(sizeof aboutControls / sizeof aboutControls[0]),
};

intptr_t about_box_proc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t)
{
    if (message == MSG_INITDIALOG) return 1;
    if (message != MSG_COMMAND) return 0;
    if (wParam == uintptr_t(ID_CANCEL) || wParam == uintptr_t(IDC_ABOUT_OK)) show_window(window, SW_HIDE);
    return 1;
}
