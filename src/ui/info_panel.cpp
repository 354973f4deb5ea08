// info_panel.cpp -- the Info panel: its template and procedure, the ZIP report that a
// pick or the Query panel's ZIP list asks for, the capped log and its saving.
#include "info_panel.h"

#include "app_windows.h"
#include "file_dialogs.h"
#include "report.h"
#include "scene.h"
#include "selection.h"
#include "zip_table.h"

#include <cstdio>

constexpr int INFO_TEXT_SIZE = 52224;   // the log as read back: 52,223 characters at most

static const ControlTemplate infoControls[] = {
    {IDC_INFO_LOG,   CTL_EDIT,   nullptr, 7, 7, 178, 97,
     STYLE_MULTILINE | STYLE_READONLY | STYLE_VSCROLL | STYLE_BORDER},
    {IDC_INFO_CLEAR, CTL_BUTTON, "Clear", 15, 112, 50, 14, STYLE_TABSTOP},
    {IDC_INFO_SAVE,  CTL_BUTTON, "Save", 127, 112, 50, 14, STYLE_TABSTOP},
};

const DialogTemplate infoTemplate = {
    IDD_INFO, "Info Panel", 15, 15, 192, 132, false, false,
    infoControls, int(sizeof infoControls / sizeof infoControls[0]),
};

void report_zip(int32_t index)
{
    if (index < 0 || uint32_t(index) >= loaded_zip_count()) index = -1;
    querySelection.selectedZip = index;
    rebuild_scene();
    if (index == -1) return;
    char text[REPORT_TEXT_SIZE];
    format_zip_report(index, text);
    append_info(text);
}

void append_info(const char *text)
{
    WindowHandle panel = appWindows.infoPanel;
    if (!panel) return;
    ctl_append_text(panel, IDC_INFO_LOG, text);
    ctl_append_text(panel, IDC_INFO_LOG, "\r\n");
    // oldest lines first; the final empty line always stays, so this ends
    while (ctl_line_count(panel, IDC_INFO_LOG) >= INFO_LINE_LIMIT)
        if (!ctl_remove_first_line(panel, IDC_INFO_LOG)) break;
    ctl_scroll_to_end(panel, IDC_INFO_LOG);
    show_window(panel, SW_SHOW);
}

// The log's lines end in CR LF (the control hands them back as LF alone). Every CR
// becomes a blank, so each saved line ends in a blank before its line end.
static int write_log(const char *path, const char *log)
{
    FILE *file = std::fopen(path, "w");
    if (!file) return 0;
    bool ok = true;
    for (const char *c = log; ok && *c; ++c) {
        if (*c == '\n') ok = std::fputs(" \n", file) >= 0;
        else ok = std::fputc(*c == '\r' ? ' ' : *c, file) != EOF;
    }
    if (std::fflush(file) != 0 || std::ferror(file)) ok = false;
    if (std::fclose(file) != 0) ok = false;
    return ok ? 1 : 0;
}

void save_info()
{
    char path[FILE_PATH_SIZE];
    if (!save_file_dialog(path, ".txt")) return;
    static char log[INFO_TEXT_SIZE];
    ctl_get_text(appWindows.infoPanel, IDC_INFO_LOG, log, INFO_TEXT_SIZE);
    if (!write_log(path, log)) {
        message_box("Can't write the log file!", "Error", nullptr);
        return;
    }
    message_box("Save complete", "Info", nullptr);
}

intptr_t info_panel_command(WindowHandle window, uintptr_t wParam)
{
    bool clicked = command_notification(wParam) == NOTIFY_CLICKED;
    switch (command_id(wParam)) {
    case IDC_INFO_CLEAR: if (clicked) ctl_set_text(window, IDC_INFO_LOG, ""); return 1;
    case IDC_INFO_SAVE:  if (clicked) save_info();                            return 1;
    default:             return 0;
    }
}

intptr_t info_panel_proc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t)
{
    if (message == MSG_INITDIALOG) return 1;
    if (message != MSG_COMMAND) return 0;
    if (wParam == uintptr_t(ID_CANCEL)) {
        show_window(window, SW_HIDE);
        return 1;
    }
    return info_panel_command(window, wParam);
}
