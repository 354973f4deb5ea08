// platform.h -- the platform services the viewer uses, as plain C-style calls over
// opaque handles: the main window and its GL view, dialogs built from templates,
// controls addressed by id, menus, the playback timer, message boxes, file dialogs
// and the message loop. Only src/platform/qt includes Qt; everything else sees this.
//
// Modal services (message boxes, file dialogs) go through a handler that tests can
// replace, so that no test ever blocks on a modal window.
#pragma once
#include <cstdint>

// ---------------------------------------------------------------------------------
// Handles and procedures
// ---------------------------------------------------------------------------------
typedef struct PlatformWindow *WindowHandle;   // main window, panel or About box

// A window or dialog procedure. For dialogs the result says whether the message was
// handled; for the main window it is ignored.
typedef intptr_t (*WindowProc)(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// ---------------------------------------------------------------------------------
// Messages (the values the Windows API gives them)
// ---------------------------------------------------------------------------------
enum : uint32_t {
    MSG_DESTROY       = 2,     // the main window is being destroyed
    MSG_SIZE          = 5,     // lParam: client width (low 16 bits), height (high 16 bits)
    MSG_PAINT         = 15,    // the GL view needs its frame
    MSG_CLOSE         = 16,    // the main window's close box: the window stays until the
                               // procedure destroys it (the shell runs Quit)
    MSG_KEYUP         = 257,   // wParam: key code
    MSG_INITDIALOG    = 272,   // a dialog's controls exist; sent inside create_dialog
    MSG_COMMAND       = 273,   // wParam: notification << 16 | id
    MSG_TIMER         = 275,   // wParam: timer id
    MSG_MOUSEMOVE     = 512,   // wParam: key flags; lParam: y << 16 | x (signed 16-bit each)
    MSG_LBUTTONDOWN   = 513,
    MSG_LBUTTONUP     = 514,
    MSG_RBUTTONDOWN   = 516,
    MSG_RBUTTONUP     = 517,
    MSG_MOUSEWHEEL    = 522,   // wParam: delta << 16 | key flags, delta 120 a notch, positive away
                               // from the user; lParam: y << 16 | x of the pointer
    MSG_GLINIT        = 1024,  // the GL view's context exists and is current (first thing
                               // in its initialisation; GL objects made here keep their names)
    MSG_GLFAIL        = 1025,  // the GL view can have no OpenGL context: it never initialises
                               // and never draws (sent once, instead of MSG_GLINIT)
};

enum : uint32_t { MK_LBUTTON = 1, MK_RBUTTON = 2, MK_SHIFT = 4, MK_CONTROL = 8 };

// Notifications in the high 16 bits of MSG_COMMAND's wParam.
enum : uint32_t {
    NOTIFY_CLICKED   = 0,   // button or menu item
    NOTIFY_SELCHANGE = 1,   // list box or combo box selection changed by the user
    NOTIFY_SETFOCUS  = 6,   // check boxes and buttons also report focus changes
    NOTIFY_KILLFOCUS = 7,
};

constexpr int ID_CANCEL = 2;   // close box or Esc on a panel: the cancel command

enum : int { SW_HIDE = 0, SW_SHOW = 5 };

inline uint32_t command_id(uintptr_t wParam)           { return static_cast<uint32_t>(wParam & 0xFFFF); }
inline uint32_t command_notification(uintptr_t wParam) { return static_cast<uint32_t>((wParam >> 16) & 0xFFFF); }
inline uintptr_t make_command(uint32_t id, uint32_t notification) { return (uintptr_t(notification) << 16) | id; }

// ---------------------------------------------------------------------------------
// Application and message loop
// ---------------------------------------------------------------------------------
// Creates the application object and requests a compatibility-profile GL context
// with a depth buffer. Call once, before any window. Afterwards the C library reads
// and writes numbers with a decimal point whatever the user's locale.
void platform_init(int argc, char **argv);
// 0 when the application would open an X display (Qt's xcb plugin, its default) and
// none opens, which would make platform_init abort the program; else 1. The plugin is
// the one Qt takes from -platform on argv or QT_QPA_PLATFORM; -display names the display.
int  display_available(int argc, char **argv);
// Runs the message loop until post_quit; returns the code given to post_quit.
int  run_message_loop();
void post_quit(int code);
// Processes pending events once (tests use it to let timers and paints run).
void process_events(int milliseconds);

// ---------------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------------
// The main window (outer size width x height), not yet shown. Its procedure receives
// MSG_SIZE, MSG_PAINT, MSG_KEYUP, MSG_COMMAND (menu items), MSG_TIMER, the mouse
// messages, MSG_GLINIT or MSG_GLFAIL, and MSG_DESTROY.
WindowHandle create_main_window(const char *title, int width, int height, WindowProc proc);
// Gives the main window its GL view (central widget); its context comes with it.
// Without OpenGL the view is a plain area and MSG_GLFAIL reaches the window.
void create_gl_view(WindowHandle mainWindow);
// Makes the GL view's context current. 1 when it is current, 0 when the view has no
// context (not initialised yet, or no OpenGL): then no GL call may be made.
int  make_gl_current(WindowHandle mainWindow);
// Shows what was drawn into the GL view since the last present.
void present_gl(WindowHandle mainWindow);
// Device pixel ratio of the GL view (1 on Xvfb).
double gl_pixel_ratio(WindowHandle mainWindow);

void show_window(WindowHandle window, int command);   // SW_SHOW or SW_HIDE
int  is_window_visible(WindowHandle window);
// Destroys a window. For the main window MSG_DESTROY reaches its procedure first.
void destroy_window(WindowHandle window);
void set_focus(WindowHandle window);
void capture_mouse(WindowHandle window);
void release_mouse();

// Timers on a window arrive as MSG_TIMER with the id; they keep ticking in nested
// modal loops.
void start_timer(WindowHandle window, uint32_t id, uint32_t milliseconds);
void stop_timer(WindowHandle window, uint32_t id);

// ---------------------------------------------------------------------------------
// Menus
// ---------------------------------------------------------------------------------
// One entry per item; consecutive entries with the same title form one pop-up menu.
struct MenuItem {
    const char *title;   // pop-up title, such as "File"
    const char *text;    // item text, such as "Load Data.."
    uint32_t    id;      // command id sent as MSG_COMMAND (notification 0)
    const char *shortcut;// key sequence such as "Ctrl+O", or nullptr
};
void set_menu_bar(WindowHandle mainWindow, const MenuItem *items, int count);

// ---------------------------------------------------------------------------------
// Dialogs from templates
// ---------------------------------------------------------------------------------
enum ControlKind : uint8_t {
    CTL_GROUPBOX,      // frame with a caption
    CTL_LISTBOX,       // single selection; NOTIFY_SELCHANGE on a user's choice
    CTL_COMBOBOX,      // drop-down list; NOTIFY_SELCHANGE on a user's choice
    CTL_BUTTON,        // push button; NOTIFY_CLICKED
    CTL_RADIOBUTTON,   // automatic radio button (push-like with STYLE_PUSHLIKE); NOTIFY_CLICKED
    CTL_CHECKBOX,      // automatic check box; NOTIFY_CLICKED, NOTIFY_SETFOCUS, NOTIFY_KILLFOCUS
    CTL_STATIC,        // text label
    CTL_EDIT,          // text edit (multi-line with STYLE_MULTILINE)
    CTL_PROGRESS,      // progress bar
    CTL_PICTURE,       // the About picture: its text names an image file or Qt resource
};

enum : uint32_t {
    STYLE_CENTRE    = 1u << 0,   // centred text
    STYLE_VCENTRE   = 1u << 1,   // vertically centred text
    STYLE_SUNKEN    = 1u << 2,   // sunken frame
    STYLE_TABSTOP   = 1u << 3,   // Tab stops here; in a template without any, Tab reaches every control
    STYLE_PUSHLIKE  = 1u << 4,   // radio button drawn as a push button
    STYLE_MULTILINE = 1u << 5,
    STYLE_READONLY  = 1u << 6,
    STYLE_VSCROLL   = 1u << 7,
    STYLE_BORDER    = 1u << 8,
    STYLE_GROUP     = 1u << 9,   // starts a radio group
    STYLE_DEFAULT   = 1u << 10,  // the default push button: Enter in its dialog clicks it
    STYLE_LEFTTEXT  = 1u << 11,  // check box: text on the left, box on the right
};

// Positions and sizes in dialog units; they convert to pixels from the UI font.
struct ControlTemplate {
    int         id;
    ControlKind kind;
    const char *text;      // initial text or nullptr
    int16_t     x, y, width, height;
    uint32_t    style;
};

struct DialogTemplate {
    int                    id;         // template id, such as 106
    const char            *caption;
    int16_t                x, y, width, height;   // dialog units, inside the parent's client area
    bool                   visible;    // shown at creation
    bool                   popup;      // top-level window owned by the parent, centred on
                                       // the screen (the About box); else a tool panel
    const ControlTemplate *controls;   // in template order, which is the Tab order
    int                    controlCount;
};

// Creates the dialog as a child tool panel of parent (or a pop-up owned by it), sends
// MSG_INITDIALOG to proc before returning, and returns the handle. A tool panel has a
// tool-window caption with a close box, can be dragged by its caption inside the
// parent, and sends MSG_COMMAND with ID_CANCEL on its close box and on Esc.
WindowHandle create_dialog(const DialogTemplate *dialog, WindowHandle parent, WindowProc proc);

// ---------------------------------------------------------------------------------
// Controls by id (all no-ops for a null window or an unknown id)
// ---------------------------------------------------------------------------------
void ctl_add_item(WindowHandle dialog, int id, const char *text);        // list or combo
void ctl_reset_items(WindowHandle dialog, int id);
int  ctl_item_count(WindowHandle dialog, int id);
void ctl_set_selection(WindowHandle dialog, int id, int index);          // -1 clears; no notification
int  ctl_get_selection(WindowHandle dialog, int id);                     // -1 none
void ctl_set_text(WindowHandle dialog, int id, const char *text);        // an edit takes \r\n or \n
int  ctl_get_text(WindowHandle dialog, int id, char *text, int size);    // returns the length; \n ends lines
int  ctl_is_checked(WindowHandle dialog, int id);
void ctl_set_checked(WindowHandle dialog, int id, int checked);
void ctl_check_radio(WindowHandle dialog, int firstId, int lastId, int checkId);
void ctl_set_range(WindowHandle dialog, int id, int minimum, int maximum);   // progress bar; a maximum
                                                                             // below minimum counts as minimum
void ctl_set_position(WindowHandle dialog, int id, int position);            // clamped to the range
int  ctl_get_position(WindowHandle dialog, int id);
// Multi-line edit: lines as displayed (a wrapped line counts once per displayed line;
// the empty line after a final line end counts as one).
int  ctl_line_count(WindowHandle dialog, int id);
void ctl_append_text(WindowHandle dialog, int id, const char *text);         // at the end; \r\n or \n
int  ctl_remove_first_line(WindowHandle dialog, int id);                     // through its line end; 0 if none
void ctl_scroll_to_end(WindowHandle dialog, int id);
void ctl_set_focus(WindowHandle dialog, int id);
// Test access: the text of an item of a list or combo, and a simulated user action
// (click on a button, choice of an item) that sends the notification as a user would.
int  ctl_get_item_text(WindowHandle dialog, int id, int index, char *text, int size);
void ctl_click(WindowHandle dialog, int id);
void ctl_choose(WindowHandle dialog, int id, int index);

// ---------------------------------------------------------------------------------
// Text as a picture (for the GL scene; needs no window, works without an X server)
// ---------------------------------------------------------------------------------
// Draws text (UTF-8) in the UI font, black on white, from the left edge and vertically
// centred, into a width x height RGB image: 3 bytes a pixel, rows without gaps, bottom
// row first. Returns the width in pixels the whole text needs (what lies beyond width
// is cut), or 0 when there is no text or no GUI application to draw it.
int render_text(const char *text, unsigned char *rgb, int width, int height);
// Gives render_text its fonts in a program that has no GUI application of its own: a
// QtGui application on Qt's offscreen platform (no window, no X server). Does nothing
// when an application exists already.
void text_platform_init();

// ---------------------------------------------------------------------------------
// Modal services, with a handler that tests install
// ---------------------------------------------------------------------------------
// A message box with one OK button, the caption and text as given; owner may be null.
void message_box(const char *text, const char *caption, WindowHandle owner);

// A file dialog for one extension (such as ".csv"), starting in startDirectory.
// Returns 1 with the chosen full path in path (size bytes), 0 when cancelled, -1 when
// the chosen path does not fit in size bytes (path untouched; the caller tells the user).
// The save dialog asks before replacing an existing file of the name as typed.
int platform_open_file(WindowHandle owner, const char *startDirectory, const char *extension,
                       char *path, int size);
int platform_save_file(WindowHandle owner, const char *startDirectory, const char *extension,
                       char *path, int size);

// The services behind those calls. Qt's implementation is registered by
// platform_init; a test installs its own to answer without blocking.
struct ModalHandler {
    void (*messageBox)(const char *text, const char *caption, WindowHandle owner);
    int  (*openFile)(WindowHandle owner, const char *startDirectory, const char *extension,
                     char *path, int size);
    int  (*saveFile)(WindowHandle owner, const char *startDirectory, const char *extension,
                     char *path, int size);
};
// Installs handler (copied); null puts back the platform's own. Returns the previous one.
ModalHandler set_modal_handler(const ModalHandler *handler);

// ---------------------------------------------------------------------------------
// Printing: one page, drawn as one image
// ---------------------------------------------------------------------------------
enum : int { PRINT_FAILED = -1, PRINT_CANCELLED = 0, PRINT_READY = 1 };

// Shows the print dialog owned by owner: it starts from the system's default printer
// every time, offers no page ranges and no selection, and always offers printing into
// a PDF file (the only way to print where no printer is installed). Then starts the
// job named documentName and its one page. PRINT_READY with the printable area's size
// in device pixels; PRINT_CANCELLED when the dialog was cancelled; PRINT_FAILED when
// the job or its page could not be started. Only PRINT_READY leaves a job open.
int print_begin(WindowHandle owner, const char *documentName, int *pageWidth, int *pageHeight);
// Draws an RGB image (3 bytes per pixel, rows without gaps, bottom row first) into
// the rectangle x, y, width, height of the page, smoothly (linearly) scaled. Device
// pixels, from the lower left corner of the printable area; the image's bottom row
// lands at the rectangle's bottom. Returns 0 when no page is open, and when the image
// cannot be drawn (null pixels included), which also fails the job at its end.
int print_draw_image(const unsigned char *rgb, int imageWidth, int imageHeight,
                     double x, double y, double width, double height);
// Ends the page and the job. Returns 1 when the job was handed on whole (to the
// printer, or into the PDF file, which is then complete); 0 when there was no job,
// a drawing failed or the output could not be finished. Nothing stays open.
int print_end();

// The print dialog behind print_begin: 1 = print, with outputFile (size bytes) holding
// the PDF file to print into, or "" for the printer as the dialog set it up; 0 =
// cancelled. A test installs its own answer; null puts back the platform's dialog.
// Returns the previous handler (null for the platform's).
typedef int (*PrintDialogHandler)(WindowHandle owner, char *outputFile, int size);
PrintDialogHandler set_print_dialog_handler(PrintDialogHandler handler);

// The running period in ms of a timer started on window; 0 when it is stopped or was
// never started.
uint32_t timer_period(WindowHandle window, uint32_t id);
