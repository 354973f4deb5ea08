// timeline_panel.cpp -- the Timeline panel: its template, its dialog procedure, and
// the two calls that keep it current (show_timeline_date at every scene rebuild,
// reset_timeline at start-up and after every load). Panel commands change the
// timeline and rebuild the scene; they draw nothing.
#include "timeline_panel.h"

#include "app_windows.h"
#include "dates.h"
#include "scene.h"

static const ControlTemplate timelineControls[] = {
    {IDC_PLAY_FORWARD,  CTL_RADIOBUTTON, ">",   47,  7,  20, 12, STYLE_PUSHLIKE | STYLE_GROUP},
    {IDC_PAUSE,         CTL_RADIOBUTTON, "| |", 27,  7,  20, 12, STYLE_PUSHLIKE},
    {IDC_PLAY_BACKWARD, CTL_RADIOBUTTON, "<",    7,  7,  20, 12, STYLE_PUSHLIKE},
    {IDC_DATE_PROGRESS, CTL_PROGRESS,    nullptr, 67, 7, 180, 12, 0},
    {IDC_STEP_UNIT,     CTL_COMBOBOX,    nullptr, 246, 7, 40, 52, STYLE_TABSTOP},
    {IDC_DAY_LABEL,     CTL_STATIC,      "Day",   10, 26, 20, 10, STYLE_CENTRE | STYLE_VCENTRE},
    {IDC_DAY_FORWARD,   CTL_BUTTON,      "+",     30, 26, 10, 10, STYLE_TABSTOP},
    {IDC_DAY_BACK,      CTL_BUTTON,      "-",     40, 26, 10, 10, STYLE_TABSTOP},
    {IDC_MONTH_LABEL,   CTL_STATIC,      "Month", 60, 26, 20, 10, STYLE_VCENTRE},
    {IDC_MONTH_FORWARD, CTL_BUTTON,      "+",     80, 26, 10, 10, STYLE_TABSTOP},
    {IDC_MONTH_BACK,    CTL_BUTTON,      "-",     90, 26, 10, 10, STYLE_TABSTOP},
    {IDC_YEAR_LABEL,    CTL_STATIC,      "Year", 110, 26, 20, 10, STYLE_CENTRE | STYLE_VCENTRE},
    {IDC_YEAR_FORWARD,  CTL_BUTTON,      "+",    130, 26, 10, 10, STYLE_TABSTOP},
    {IDC_YEAR_BACK,     CTL_BUTTON,      "-",    140, 26, 10, 10, STYLE_TABSTOP},
    {IDC_DATE_TEXT,     CTL_STATIC,      "Day,January,1,1990", 166, 24, 120, 14,
                                                  STYLE_CENTRE | STYLE_VCENTRE | STYLE_SUNKEN},
};

const DialogTemplate timelineTemplate = {
    IDD_TIMELINE, "Timeline Panel", 0, 0, 291, 42, true, false,
    timelineControls, int(sizeof timelineControls / sizeof timelineControls[0]),
};

// The panel whose MSG_INITDIALOG is running: its handle is stored in appWindows only
// when create_dialog returns, and reset_timeline must reach it before that.
static WindowHandle initialisingPanel;

static WindowHandle timeline_window()
{
    return appWindows.timelinePanel ? appWindows.timelinePanel : initialisingPanel;
}

void show_timeline_date(WindowHandle window)
{
    if (!window) return;
    char text[DATE_TEXT_SIZE];
    ctl_set_position(window, IDC_DATE_PROGRESS, timeline.currentDate);
    format_date(timeline.currentDate, text);
    ctl_set_text(window, IDC_DATE_TEXT, text);
}

void reset_timeline()
{
    WindowHandle window = timeline_window();
    timeline.currentDate = timeline.minDate;
    ctl_set_range(window, IDC_DATE_PROGRESS, timeline.minDate, timeline.maxDate);
    show_timeline_date(window);
    rebuild_scene();
}

void init_timeline_panel(WindowHandle window)
{
    ctl_add_item(window, IDC_STEP_UNIT, "Day");
    ctl_add_item(window, IDC_STEP_UNIT, "Month");
    ctl_add_item(window, IDC_STEP_UNIT, "Year");
    ctl_set_selection(window, IDC_STEP_UNIT, 0);
    ctl_check_radio(window, IDC_PLAY_FORWARD, IDC_PLAY_BACKWARD, IDC_PAUSE);
    initialisingPanel = window;
    reset_timeline();
    initialisingPanel = nullptr;
}

// A step button: one unit of its own, whatever the unit combo shows.
static void step_current_date(bool forward, unsigned unit)
{
    if (forward) step_date_forward(timeline.currentDate, unit);
    else         step_date_back(timeline.currentDate, unit);
    rebuild_scene();
}

intptr_t timeline_panel_command(WindowHandle window, uintptr_t wParam)
{
    uint32_t id = command_id(wParam);
    uint32_t notification = command_notification(wParam);
    bool clicked = notification == NOTIFY_CLICKED;
    switch (id) {
    case IDC_PLAY_FORWARD:  if (clicked) timeline.playMode = 3; return 1;
    case IDC_PAUSE:         if (clicked) timeline.playMode = 2; return 1;
    case IDC_PLAY_BACKWARD: if (clicked) timeline.playMode = 1; return 1;
    case IDC_STEP_UNIT:
        if (notification == NOTIFY_SELCHANGE)
            timeline.stepUnit = uint8_t(ctl_get_selection(window, IDC_STEP_UNIT));
        return 1;
    case IDC_DAY_FORWARD:   if (clicked) step_current_date(true,  STEP_DAY);   return 1;
    case IDC_DAY_BACK:      if (clicked) step_current_date(false, STEP_DAY);   return 1;
    case IDC_MONTH_FORWARD: if (clicked) step_current_date(true,  STEP_MONTH); return 1;
    case IDC_MONTH_BACK:    if (clicked) step_current_date(false, STEP_MONTH); return 1;
    case IDC_YEAR_FORWARD:  if (clicked) step_current_date(true,  STEP_YEAR);  return 1;
    case IDC_YEAR_BACK:     if (clicked) step_current_date(false, STEP_YEAR);  return 1;
    default:                return 0;
    }
}

intptr_t timeline_panel_proc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t)
{
    if (message == MSG_INITDIALOG) {
        init_timeline_panel(window);
        return 1;
    }
    if (message != MSG_COMMAND) return 0;
    if (wParam == uintptr_t(ID_CANCEL)) {
        show_window(window, SW_HIDE);
        return 1;
    }
    return timeline_panel_command(window, wParam);
}
