// query_panel.h -- the Query panel (dialog 101): the census field shown by the column
// heights, the ZIP code selected, and the campus whose enrollment colours the sides.
// It owns no state of its own: the choices live in querySelection, the field labels
// and series codes in fieldList and seriesCode.
#pragma once
#include "platform.h"

enum : int {
    IDD_QUERY            = 101,
    IDC_DEMOGRAPHIC_BOX  = 1026,
    IDC_FIELD_LIST       = 1047,   // the field file's labels, in file order
    IDC_SELECTION_BOX    = 1027,
    IDC_ZIP_LIST         = 1048,   // one entry per loaded ZIP code, in table order
    IDC_ENROLLMENT_LABEL = 1049,
    IDC_CAMPUS           = 1050,   // "OFF" and the two campuses; item index = campus
};

extern const DialogTemplate queryTemplate;

intptr_t query_panel_proc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Reads the field file, fills the field list and the campus combo, refreshes.
void     init_query(WindowHandle window);
// Puts the field, campus and ZIP selections back from querySelection and refills the
// ZIP list from the table; nothing while window is null.
void     refresh_query_panel(WindowHandle window);
// 1 for the field and ZIP lists, 0 for every other id.
intptr_t query_panel_command(WindowHandle window, uintptr_t wParam);
