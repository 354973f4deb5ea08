// info_panel.h -- the Info panel (dialog 109), a running log of ZIP reports that can be
// cleared and saved, and report_zip, which selects a ZIP code and reports it there.
// The log is the text of the panel's edit control itself; no other copy exists.
#pragma once
#include "platform.h"

enum : int {
    IDD_INFO       = 109,
    IDC_INFO_LOG   = 1035,   // multi-line, read-only, word-wrapping
    IDC_INFO_CLEAR = 1045,
    IDC_INFO_SAVE  = 1046,
};

// The log keeps fewer lines than this, counting each line as the edit shows it: a
// wrapped line counts once per displayed line, the empty line after the last line end
// counts as one.
constexpr int INFO_LINE_LIMIT = 199;

extern const DialogTemplate infoTemplate;

intptr_t info_panel_proc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// 1 for "Clear" and "Save", 0 for every other id.
intptr_t info_panel_command(WindowHandle window, uintptr_t wParam);
// Makes index the selection (-1 or an index outside the table: none), rebuilds the
// scene, and for a ZIP code appends its report to the log.
void     report_zip(int32_t index);
// Appends text and a line end, drops the oldest lines beyond the limit, scrolls to the
// end and shows the panel.
void     append_info(const char *text);
// Asks for a file name and writes the log there as text.
void     save_info();
