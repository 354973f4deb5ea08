// timeline_panel.h -- the Timeline panel (dialog 106): play mode, step unit, single
// steps by day, month or year, and the current date as a bar and as text. It holds no
// state; everything it sets and shows lives in the TimelineState record.
#pragma once
#include "platform.h"

enum : int {
    IDD_TIMELINE       = 106,
    IDC_PLAY_FORWARD   = 1018,   // ">"   playMode 3
    IDC_PAUSE          = 1019,   // "| |" playMode 2
    IDC_PLAY_BACKWARD  = 1020,   // "<"   playMode 1
    IDC_DATE_PROGRESS  = 1023,   // raw PackedDate between minDate and maxDate
    IDC_STEP_UNIT      = 1029,   // "Day", "Month", "Year": stepUnit of playback
    IDC_DAY_LABEL      = 1032,
    IDC_DAY_FORWARD    = 1033,
    IDC_DAY_BACK       = 1034,
    IDC_MONTH_LABEL    = 1035,
    IDC_MONTH_FORWARD  = 1036,
    IDC_MONTH_BACK     = 1037,
    IDC_YEAR_LABEL     = 1038,
    IDC_YEAR_FORWARD   = 1039,
    IDC_YEAR_BACK      = 1040,
    IDC_DATE_TEXT      = 1044,   // the current date, such as "June,15,2000"
};

extern const DialogTemplate timelineTemplate;

intptr_t timeline_panel_proc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
void     init_timeline_panel(WindowHandle window);
// Shows the current date in the bar and the text; nothing while window is null.
void     show_timeline_date(WindowHandle window);
// Current date back to minDate, progress range set, date shown, scene rebuilt. Acts on
// the panel being initialised while appWindows.timelinePanel is still null.
void     reset_timeline();
// 1 when the id is one of the panel's acting controls, else 0.
intptr_t timeline_panel_command(WindowHandle window, uintptr_t wParam);
