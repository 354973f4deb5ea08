// gis_panel.h -- the GIS panel (dialog 103): the map under the columns, the height
// scale, the colour range and the two university overlay boxes. It owns the writing of
// DisplaySettings (scene.h): each list choice stores its index with its factor, a map
// choice or a box asks for the map again, a scale or range rebuilds the scene. It
// draws nothing: the next timer tick shows the change.
#pragma once
#include "platform.h"

enum : int {
    IDD_GIS               = 103,
    IDC_MAP_LABEL         = 1003,   // "Map"
    IDC_MAP               = 1004,   // "Basemap", "School District": mapChoice
    IDC_HEIGHT_LABEL      = 1005,   // "Height Scale"
    IDC_HEIGHT_SCALE      = 1006,   // "10000:1" .. "10:1": heightIndex and heightScale
    IDC_COLOUR_LABEL      = 1007,   // "Color Range"
    IDC_COLOUR_RANGE      = 1008,   // "Normalized" .. "1-1000": colourIndex and colourScale
    IDC_UNIVERSITIES      = 1012,   // overlayFlags bit 0
    IDC_UNIVERSITY_LABELS = 1014,   // overlayFlags bit 1
    IDC_OVERLAY_GROUP     = 1024,   // "Overlay"
};

extern const DialogTemplate gisTemplate;

intptr_t gis_panel_proc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Fills the three lists and selects the current choices; the boxes start unticked.
void     init_gis_panel(WindowHandle window);
// 1 for the panel's lists and boxes, whatever the notification; 0 for any other id.
intptr_t gis_panel_command(WindowHandle window, uintptr_t wParam);
