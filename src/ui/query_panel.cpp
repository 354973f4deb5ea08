// query_panel.cpp -- the Query panel: its template, its dialog procedure and the
// refresh that every change of the selection or the table calls. Choosing a field or
// a campus rebuilds the scene; choosing a ZIP code recentres the view on it and reports
// it. Nothing here draws: the main window shows the change at its next tick.
#include "query_panel.h"

#include "camera.h"
#include "data_paths.h"
#include "field_list.h"
#include "info_panel.h"
#include "scene.h"
#include "selection.h"
#include "zip_table.h"

#include <cstdio>

static const char *const CAMPUS_NAMES[3] = {"OFF", "Corvale - University Park", "Corvale - Victoria"};

static const ControlTemplate queryControls[] = {
    {IDC_DEMOGRAPHIC_BOX,  CTL_GROUPBOX, "Demographic", 5, 5, 200, 120, STYLE_CENTRE},
    {IDC_FIELD_LIST,       CTL_LISTBOX,  nullptr, 10, 20, 190, 100, STYLE_VSCROLL | STYLE_BORDER | STYLE_TABSTOP},
    {IDC_SELECTION_BOX,    CTL_GROUPBOX, "Selection", 210, 5, 45, 120, STYLE_CENTRE},
    {IDC_ZIP_LIST,         CTL_LISTBOX,  nullptr, 215, 20, 35, 100, STYLE_VSCROLL | STYLE_BORDER | STYLE_TABSTOP},
    {IDC_ENROLLMENT_LABEL, CTL_STATIC,   "Enrollment", 20, 130, 33, 8, 0},
    {IDC_CAMPUS,           CTL_COMBOBOX, nullptr, 60, 130, 171, 68, STYLE_TABSTOP},
};

const DialogTemplate queryTemplate = {
    IDD_QUERY, "Query Panel", 20, 20, 257, 150, true, false,
    queryControls, int(sizeof queryControls / sizeof queryControls[0]),
};

void init_query(WindowHandle window)
{
    char path[PATH_SIZE];
    if (!data_path(path, "ui/fields.ui") || !read_field_list(path)) {
        message_box("init_query() - can't read fields!", "ERROR!", nullptr);
        return;   // no fields, no campuses, no refresh for the rest of the run
    }
    for (int line = 0; line < fieldList.count; ++line) ctl_add_item(window, IDC_FIELD_LIST, fieldList.label[line]);
    for (const char *name : CAMPUS_NAMES) ctl_add_item(window, IDC_CAMPUS, name);
    refresh_query_panel(window);
    ctl_set_focus(window, IDC_FIELD_LIST);
}

void refresh_query_panel(WindowHandle window)
{
    if (!window) return;
    ctl_set_selection(window, IDC_FIELD_LIST, querySelection.field);
    ctl_set_selection(window, IDC_CAMPUS, querySelection.campus);
    ctl_reset_items(window, IDC_ZIP_LIST);
    char text[16];
    uint32_t count = loaded_zip_count();
    for (uint32_t i = 0; i < count; ++i) {
        std::snprintf(text, sizeof text, "%u", zipTable.records[i].zip);
        ctl_add_item(window, IDC_ZIP_LIST, text);
    }
    if (querySelection.selectedZip != -1) ctl_set_selection(window, IDC_ZIP_LIST, querySelection.selectedZip);
}

// A heading cannot be chosen: the list goes back to the field shown.
static void choose_field(WindowHandle window)
{
    int line = ctl_get_selection(window, IDC_FIELD_LIST);
    if (line < 0 || line >= fieldList.count || seriesCode[line] == SERIES_HEADING) {
        refresh_query_panel(window);
        return;
    }
    querySelection.field = uint16_t(line);
    rebuild_scene();
}

static void choose_zip(WindowHandle window)
{
    int index = ctl_get_selection(window, IDC_ZIP_LIST);
    if (index >= 0 && uint32_t(index) < loaded_zip_count()) {
        querySelection.selectedZip = index;
        const ZipRecord &record = zipTable.records[index];
        centre_view_on(record.longitude, record.latitude);
    }
    report_zip(index);   // an index outside the table only clears the selection
}

static void choose_campus(WindowHandle window)
{
    int campus = ctl_get_selection(window, IDC_CAMPUS);
    if (campus < 0 || campus > 2) return;
    querySelection.campus = uint8_t(campus);
    rebuild_scene();
}

intptr_t query_panel_command(WindowHandle window, uintptr_t wParam)
{
    bool changed = command_notification(wParam) == NOTIFY_SELCHANGE;
    switch (command_id(wParam)) {
    case IDC_FIELD_LIST: if (changed) choose_field(window);  return 1;
    case IDC_ZIP_LIST:   if (changed) choose_zip(window);    return 1;
    case IDC_CAMPUS:     if (changed) choose_campus(window); return 0;
    default:             return 0;
    }
}

intptr_t query_panel_proc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t)
{
    if (message == MSG_INITDIALOG) {
        init_query(window);
        return 1;
    }
    if (message != MSG_COMMAND) return 0;
    if (wParam == uintptr_t(ID_CANCEL)) {
        show_window(window, SW_HIDE);
        return 1;
    }
    return query_panel_command(window, wParam);
}
