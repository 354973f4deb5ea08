// app_windows.h -- the process-wide record of the viewer's windows. Written by the
// shell at start-up and Quit; read by the scene and camera (the GL view) and by the
// panels. Every handle is null until its creation step has returned.
#pragma once
#include "platform.h"

struct AppWindows {
    WindowHandle mainWindow;      // "Tallymap 1.0a"; owner of the GL view, timer and dialogs
    int          renderContext;   // 1 once create_gl_context has given the main window its GL view
    int          menuBar;         // 1 once build_menus has attached the menu bar
    WindowHandle gisPanel;        // dialog 103
    WindowHandle queryPanel;      // dialog 101
    WindowHandle timelinePanel;   // dialog 106
    WindowHandle infoPanel;       // dialog 109
    WindowHandle aboutBox;        // dialog 108
};

extern AppWindows appWindows;

// The playback timer of the main window: it steps the date in playback and redraws.
constexpr uint32_t PLAYBACK_TIMER  = 1;     // timer id
constexpr uint32_t PLAYBACK_PERIOD = 500;   // ms between ticks
