// gis_panel.cpp -- the GIS panel: its template, its dialog procedure and its commands.
// Lists act on a selection change only; the boxes on a change of their state (a click
// or the space bar), never on a focus change: with an unreadable map, a focus change
// that asked for the map again would open one error box after another.
#include "gis_panel.h"

#include "overlay.h"
#include "scene.h"

static const ControlTemplate gisControls[] = {
    {IDC_MAP_LABEL,         CTL_STATIC,   "Map",               7,   6, 81,  8, STYLE_CENTRE},
    {IDC_MAP,               CTL_COMBOBOX, nullptr,             7,  17, 81, 43, STYLE_TABSTOP},
    {IDC_OVERLAY_GROUP,     CTL_GROUPBOX, "Overlay",           7,  30, 81, 80, STYLE_CENTRE},
    {IDC_UNIVERSITIES,      CTL_CHECKBOX, "Universities",     12,  41, 69, 10,
                                                      STYLE_LEFTTEXT | STYLE_VCENTRE | STYLE_TABSTOP},
    {IDC_UNIVERSITY_LABELS, CTL_CHECKBOX, "University Labels", 12, 53, 69, 10,
                                                      STYLE_LEFTTEXT | STYLE_VCENTRE | STYLE_TABSTOP},
    {IDC_HEIGHT_LABEL,      CTL_STATIC,   "Height Scale",      5, 115, 81,  8, STYLE_CENTRE},
    {IDC_HEIGHT_SCALE,      CTL_COMBOBOX, nullptr,             7, 125, 81, 75, STYLE_TABSTOP},
    {IDC_COLOUR_LABEL,      CTL_STATIC,   "Color Range",       5, 140, 81,  8, STYLE_CENTRE},
    {IDC_COLOUR_RANGE,      CTL_COMBOBOX, nullptr,             7, 150, 81, 75, STYLE_TABSTOP},
};

const DialogTemplate gisTemplate = {
    IDD_GIS, "GIS Panel", 40, 40, 93, 171, true, false,
    gisControls, int(sizeof gisControls / sizeof gisControls[0]),
};

// The list's selected item (as unsigned: "none" masks like any other number).
static unsigned selected_item(WindowHandle window, int id)
{
    return unsigned(ctl_get_selection(window, id));
}

static void fill_list(WindowHandle window, int id, const char *const *items, int count, unsigned selected)
{
    for (int i = 0; i < count; ++i) ctl_add_item(window, id, items[i]);
    ctl_set_selection(window, id, int(selected));
}

void init_gis_panel(WindowHandle window)
{
    fill_list(window, IDC_MAP, MAP_NAMES, 2, map_choice(displaySettings));
    fill_list(window, IDC_HEIGHT_SCALE, HEIGHT_SCALE_NAMES, 4, height_index(displaySettings));
    fill_list(window, IDC_COLOUR_RANGE, COLOUR_RANGE_NAMES, 4, colour_index(displaySettings));
}

// A box's new state into its overlay bit. Ticking reads the campus file again, so that
// a file put right since the last tick is seen; then the map is asked for again.
static void set_overlay(WindowHandle window, int id, uint8_t bit)
{
    bool ticked = (ctl_is_checked(window, id) & 1) != 0;
    displaySettings.overlayFlags = uint8_t(ticked ? displaySettings.overlayFlags | bit
                                                  : displaySettings.overlayFlags & ~bit);
    if (ticked) load_campuses();
    make_map();
}

intptr_t gis_panel_command(WindowHandle window, uintptr_t wParam)
{
    int id = int(command_id(wParam));
    uint32_t notification = command_notification(wParam);
    bool chosen = notification == NOTIFY_SELCHANGE;
    bool clicked = notification == NOTIFY_CLICKED;
    switch (id) {
    case IDC_MAP:
        if (chosen) {
            set_map_choice(selected_item(window, id));
            make_map();
        }
        return 1;
    case IDC_HEIGHT_SCALE:
        if (chosen) {
            set_height_index(selected_item(window, id));
            rebuild_scene();
        }
        return 1;
    case IDC_COLOUR_RANGE:
        if (chosen) {
            set_colour_index(selected_item(window, id));
            rebuild_scene();
        }
        return 1;
    case IDC_UNIVERSITIES:      if (clicked) set_overlay(window, id, OVERLAY_UNIVERSITIES); return 1;
    case IDC_UNIVERSITY_LABELS: if (clicked) set_overlay(window, id, OVERLAY_LABELS);       return 1;
    default:                    return 0;
    }
}

intptr_t gis_panel_proc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t)
{
    if (message == MSG_INITDIALOG) {
        init_gis_panel(window);
        return 1;
    }
    if (message != MSG_COMMAND) return 0;
    if (wParam == uintptr_t(ID_CANCEL)) {
        show_window(window, SW_HIDE);
        return 1;
    }
    return gis_panel_command(window, wParam);
}
