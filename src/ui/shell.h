// shell.h -- the viewer's entry, main window, menus, message loop, playback timer and
// shut-down. Everything the program does happens inside a handler of the loop.
#pragma once
#include "app_windows.h"
#include "platform.h"

constexpr int      MAIN_MENU_ITEMS   = 20;

// Menu command ids, sent as MSG_COMMAND by the items of mainMenu.
enum MenuCommand : uint32_t {
    CMD_LOAD_DATA        = 1,    // File
    CMD_EXPORT_CSV       = 2,
    CMD_ABOUT            = 6,    // Help
    CMD_SAVE_SNAPSHOT    = 7,
    CMD_PRINT            = 8,
    CMD_QUIT             = 10,
    CMD_SHOW_GIS         = 11,   // Panel
    CMD_SHOW_QUERY       = 12,
    CMD_SHOW_TIMELINE    = 13,
    CMD_SHOW_INFO        = 14,
    CMD_DEFAULT_LOCATION = 21,   // Location
    CMD_SAVED_LOCATION   = 22,
    CMD_DEFAULT_TIME     = 31,   // Time
    CMD_SAVED_TIME       = 32,
    CMD_CENSUS_1990      = 33,
    CMD_CENSUS_2000      = 34,
    CMD_CENSUS_2007      = 35,
    CMD_CENSUS_2012      = 36,
    CMD_DEFAULT_QUERY    = 41,   // Query
    CMD_SAVED_QUERY      = 42,
};

struct ShellState {
    int      glReady;  // 1 once init_gl_state has run inside the GL view's initialisation
    int      glFailed; // 1 when the GL view can have no OpenGL context: the viewer runs on
                       // without a picture
    int      running;  // 1 from the end of start-up until on_destroy
    uint32_t frames;   // frames drawn and presented by the shell since start-up
};

extern ShellState shellState;
extern const MenuItem mainMenu[MAIN_MENU_ITEMS];   // the menu bar, in order

// The whole start-up without the message loop: windows, GL state and first scene,
// menus, file dialogs and the tool panels. Returns 1 when the GL view came up; without
// it a message says so and every command that needs no GL still works.
int  start_application(int argc, char **argv);
// start_application, then the message loop; returns the quit code (0). Without an X
// display to open it says so in one line on standard error and returns 1.
int  run_application(int argc, char **argv);

void     build_menus();
// draw_frame and present_frame: every change of the picture ends here.
void     redraw();
intptr_t main_window_proc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
void     handle_menu_command(uintptr_t wParam);
void     quit_command();
void     on_destroy();
void     on_paint(WindowHandle window);
void     on_key_up(uintptr_t key);
void     on_timer(uintptr_t timerId);
