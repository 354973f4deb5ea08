// shell.cpp -- start-up, the main window's procedure, the menu commands, the playback
// timer and Quit. Every path that changes what is shown ends with draw_frame and
// present_frame; changes of the values go through rebuild_scene first.
#include "shell.h"

#include "app_windows.h"
#include "about_box.h"
#include "camera.h"
#include "data_commands.h"
#include "dates.h"
#include "file_dialogs.h"
#include "gis_panel.h"
#include "info_panel.h"
#include "navigation.h"
#include "query_panel.h"
#include "scene.h"
#include "selection.h"
#include "snapshot.h"
#include "timeline_panel.h"

#include <cstdio>

ShellState shellState;

constexpr int GL_INIT_WAIT_MS = 10000;   // how long start-up waits for the GL view

// On standard error, instead of the toolkit's abort, when no window can be opened.
static const char *const NO_DISPLAY =
    "no X display: set DISPLAY, or use tallyrender for pictures without a window";
static const char *const NO_GL_VIEW =
    "The 3-D view is not available: OpenGL could not be started on this display. "
    "Loading, exporting, the Time and Query menus and the panels still work.";

const MenuItem mainMenu[MAIN_MENU_ITEMS] = {
    {"File",     "Load Data..",         CMD_LOAD_DATA,        "Ctrl+O"},
    {"File",     "Export CSV..",        CMD_EXPORT_CSV,       "Ctrl+E"},
    {"File",     "Save Snapshot..",     CMD_SAVE_SNAPSHOT,    "Ctrl+S"},
    {"File",     "Print..",             CMD_PRINT,            "Ctrl+P"},
    {"File",     "Quit",                CMD_QUIT,             "Ctrl+Q"},
    {"Location", "Default Location",    CMD_DEFAULT_LOCATION, nullptr},
    {"Location", "Saved Location",      CMD_SAVED_LOCATION,   nullptr},
    {"Time",     "Default Time",        CMD_DEFAULT_TIME,     nullptr},
    {"Time",     "Census 1990",         CMD_CENSUS_1990,      nullptr},
    {"Time",     "Census 2000",         CMD_CENSUS_2000,      nullptr},
    {"Time",     "Census 2007",         CMD_CENSUS_2007,      nullptr},
    {"Time",     "Census 2012",         CMD_CENSUS_2012,      nullptr},
    {"Time",     "Saved Time",          CMD_SAVED_TIME,       nullptr},
    {"Query",    "Default Query",       CMD_DEFAULT_QUERY,    nullptr},
    {"Query",    "Saved Query",         CMD_SAVED_QUERY,      nullptr},
    {"Panel",    "Show GIS Panel",      CMD_SHOW_GIS,         nullptr},
    {"Panel",    "Show Query Panel",    CMD_SHOW_QUERY,       nullptr},
    {"Panel",    "Show Timeline Panel", CMD_SHOW_TIMELINE,    nullptr},
    {"Panel",    "Show Info Panel",     CMD_SHOW_INFO,        nullptr},
    {"Help",     "About..",             CMD_ABOUT,            nullptr},
};

// ---------------------------------------------------------------------------------
// Start-up
// ---------------------------------------------------------------------------------

// Every scene rebuild shows its date in the Timeline panel, once the panel exists.
static void show_date_in_timeline_panel()
{
    show_timeline_date(appWindows.timelinePanel);
}

void build_menus()
{
    set_menu_bar(appWindows.mainWindow, mainMenu, MAIN_MENU_ITEMS);
    appWindows.menuBar = 1;
}

// The GL view initialises when it is first shown; its MSG_GLINIT runs init_gl_state,
// which builds the first scene while no panel exists. Without OpenGL MSG_GLFAIL comes
// instead.
static void wait_for_gl()
{
    for (int waited = 0; !shellState.glReady && !shellState.glFailed && waited < GL_INIT_WAIT_MS; ++waited)
        process_events(1);
}

// Said once, when the viewer is up (or at once, should the view fail later).
static void report_no_gl_view()
{
    message_box(NO_GL_VIEW, "Error", nullptr);
}

int start_application(int argc, char **argv)
{
    platform_init(argc, argv);
    set_date_display(show_date_in_timeline_panel);

    appWindows.mainWindow = create_main_window("Tallymap 1.0a", 1024, 768, main_window_proc);
    create_gl_context();
    // The menu bar goes on before the window is shown: the GL view draws its first
    // frame as soon as it is initialised, and a menu bar attached after that would
    // shrink the fresh view and make it draw again (about 6 MB more resident memory).
    // Nothing in the menus depends on the GL state.
    build_menus();
    show_window(appWindows.mainWindow, SW_SHOW);
    start_timer(appWindows.mainWindow, PLAYBACK_TIMER, PLAYBACK_PERIOD);
    wait_for_gl();

    init_file_dialogs(appWindows.mainWindow);

    // The tool windows in their creation order. Each handle is stored once its
    // dialog's initialisation has run.
    WindowHandle main = appWindows.mainWindow;
    appWindows.gisPanel      = create_dialog(&gisTemplate, main, gis_panel_proc);
    appWindows.queryPanel    = create_dialog(&queryTemplate, main, query_panel_proc);
    appWindows.timelinePanel = create_dialog(&timelineTemplate, main, timeline_panel_proc);
    appWindows.infoPanel     = create_dialog(&infoTemplate, main, info_panel_proc);
    appWindows.aboutBox      = create_dialog(&aboutTemplate, main, about_box_proc);
    shellState.running = 1;
    if (shellState.glFailed) report_no_gl_view();
    return shellState.glReady;
}

int run_application(int argc, char **argv)
{
    if (!display_available(argc, argv)) {
        std::fprintf(stderr, "%s\n", NO_DISPLAY);
        return 1;
    }
    start_application(argc, argv);
    return run_message_loop();
}

// ---------------------------------------------------------------------------------
// The main window
// ---------------------------------------------------------------------------------

void redraw()
{
    if (!shellState.glReady) return;   // no picture without the GL view
    draw_frame();
    present_frame();
    ++shellState.frames;
}

intptr_t main_window_proc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == MSG_GLINIT) {
        init_gl_state();
        shellState.glReady = 1;
        return 0;
    }
    if (message == MSG_GLFAIL) {
        shellState.glFailed = 1;
        if (shellState.running) report_no_gl_view();
        return 0;
    }
    // Until the GL state and the first scene exist (or are known never to come) there
    // is nothing to draw and nothing to act on: the first scene is built first.
    if (!shellState.glReady && !shellState.glFailed && message != MSG_DESTROY &&
        message != MSG_SIZE && message != MSG_CLOSE)
        return 0;
    switch (message) {
    case MSG_DESTROY:     on_destroy();                        break;
    case MSG_SIZE:        set_projection(lParam);              break;
    case MSG_PAINT:       on_paint(window);                    break;
    case MSG_KEYUP:       on_key_up(wParam);                   break;
    case MSG_COMMAND:     handle_menu_command(wParam);         break;
    case MSG_TIMER:       on_timer(wParam);                    break;
    case MSG_MOUSEMOVE:   on_mouse_move(wParam, lParam);       break;
    case MSG_LBUTTONDOWN: on_left_button_down(wParam, lParam); break;
    case MSG_RBUTTONDOWN: on_right_button_down(wParam, lParam); break;
    case MSG_LBUTTONUP:
    case MSG_RBUTTONUP:   on_button_up(lParam);                break;
    case MSG_MOUSEWHEEL:  on_mouse_wheel(int16_t(wParam >> 16)); break;
    case MSG_CLOSE:       quit_command();                      break;
    default:              break;
    }
    return 0;
}

void on_paint(WindowHandle)
{
    redraw();
}

void on_key_up(uintptr_t)
{
    redraw();
}

void on_timer(uintptr_t timerId)
{
    if (timerId != PLAYBACK_TIMER) return;
    if (timeline.playMode == 1) {
        step_date_back(timeline.currentDate, timeline.stepUnit);
        rebuild_scene();
    } else if (timeline.playMode == 3) {
        step_date_forward(timeline.currentDate, timeline.stepUnit);
        rebuild_scene();
    }
    redraw();   // twice a second even while paused
}

void on_destroy()
{
    appWindows.renderContext = 0;
    shellState.running = 0;
    post_quit(0);
}

// ---------------------------------------------------------------------------------
// Menu commands
// ---------------------------------------------------------------------------------

static void show_panel(WindowHandle panel)
{
    if (panel) show_window(panel, SW_SHOW);
}

// The census dates keep the reserved bits 0-1 of the current date.
static void set_current_date(unsigned day, unsigned month, unsigned year)
{
    timeline.currentDate = PackedDate((timeline.currentDate & 3u) | pack_date(day, month, year));
    rebuild_scene();
}

void handle_menu_command(uintptr_t wParam)
{
    switch (command_id(wParam)) {
    case CMD_LOAD_DATA:        load_data_command();                  break;
    case CMD_EXPORT_CSV:       export_csv_command();                 break;
    case CMD_ABOUT:            show_panel(appWindows.aboutBox);      break;
    case CMD_SAVE_SNAPSHOT:    save_snapshot_command();              break;
    case CMD_PRINT:            print_command();                      break;
    case CMD_QUIT:             quit_command();                       return;   // nothing is drawn after Quit
    case CMD_SHOW_GIS:         show_panel(appWindows.gisPanel);      break;
    case CMD_SHOW_QUERY:       show_panel(appWindows.queryPanel);    break;
    case CMD_SHOW_TIMELINE:    show_panel(appWindows.timelinePanel); break;
    case CMD_SHOW_INFO:        show_panel(appWindows.infoPanel);     break;
    case CMD_DEFAULT_LOCATION:
        for (int i = 0; i < 3; ++i) viewState.centre[i] = viewState.defaultCentre[i];
        break;
    case CMD_DEFAULT_TIME:
    case CMD_CENSUS_1990:
        timeline.currentDate = timeline.minDate;
        rebuild_scene();
        break;
    case CMD_CENSUS_2000:      set_current_date(15, 6, 2000);        break;
    case CMD_CENSUS_2007:      set_current_date(8, 10, 2007);        break;
    case CMD_CENSUS_2012:
        timeline.currentDate = timeline.maxDate;
        rebuild_scene();
        break;
    case CMD_DEFAULT_QUERY:
        querySelection.field = 0;
        refresh_query_panel(appWindows.queryPanel);
        rebuild_scene();
        break;
    default: break;   // the "Saved" items and unknown ids only redraw
    }
    redraw();
}

void quit_command()
{
    WindowHandle mainWindow = appWindows.mainWindow;
    if (!mainWindow) return;
    stop_timer(mainWindow, PLAYBACK_TIMER);
    release_scene();
    WindowHandle *dialogs[] = {&appWindows.gisPanel, &appWindows.queryPanel,
                               &appWindows.timelinePanel, &appWindows.infoPanel,
                               &appWindows.aboutBox};
    for (WindowHandle *dialog : dialogs) {
        if (*dialog) destroy_window(*dialog);
        *dialog = nullptr;
    }
    destroy_window(mainWindow);   // on_destroy runs inside
    appWindows.mainWindow = nullptr;
}
