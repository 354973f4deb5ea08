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

static const char *const MAP_ITEMS[2]    = {"Basemap", "School District"};
static const char *const HEIGHT_ITEMS[4] = {"10000:1", "1000:1", "100:1", "10:1"};
static const char *const COLOUR_ITEMS[4] = {"Normalized", "1-10", "1-100", "1-1000"};

// Bits of DisplaySettings.packed: mapChoice 0-2, heightIndex 3-4, colourIndex 5-6.
constexpr unsigned MAP_SHIFT = 0, MAP_MASK = 7;
constexpr unsigned HEIGHT_SHIFT = 3, HEIGHT_MASK = 3;
constexpr unsigned COLOUR_SHIFT = 5, COLOUR_MASK = 3;

// The list's selected item, masked, into its bits of packed, keeping every other bit;
// returns the index.
static unsigned store_index(WindowHandle window, int id, unsigned shift, unsigned mask)
{
    unsigned index = unsigned(ctl_get_selection(window, id)) & mask;
    unsigned others = displaySettings.packed & ~(mask << shift);
    displaySettings.packed = uint8_t(others | (index << shift));
    return index;
}

static void fill_list(WindowHandle window, int id, const char *const *items, int count, unsigned selected)
{
    for (int i = 0; i < count; ++i) ctl_add_item(window, id, items[i]);
    ctl_set_selection(window, id, int(selected));
}

void init_gis_panel(WindowHandle window)
{
    fill_list(window, IDC_MAP, MAP_ITEMS, 2, map_choice(displaySettings));
    fill_list(window, IDC_HEIGHT_SCALE, HEIGHT_ITEMS, 4, height_index(displaySettings));
    fill_list(window, IDC_COLOUR_RANGE, COLOUR_ITEMS, 4, colour_index(displaySettings));
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
            store_index(window, id, MAP_SHIFT, MAP_MASK);
            make_map();
        }
        return 1;
    case IDC_HEIGHT_SCALE:
        if (chosen) {
            displaySettings.heightScale = HEIGHT_SCALES[store_index(window, id, HEIGHT_SHIFT, HEIGHT_MASK)];
            rebuild_scene();
        }
        return 1;
    case IDC_COLOUR_RANGE:
        if (chosen) {
            displaySettings.colourScale = COLOUR_SCALES[store_index(window, id, COLOUR_SHIFT, COLOUR_MASK)];
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
