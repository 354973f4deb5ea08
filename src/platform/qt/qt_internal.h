// qt_internal.h -- what the Qt platform files share: the record behind a WindowHandle,
// the one delivery path into a window procedure, text conversion, and the widget
// classes that forward their events. Tests of the platform layer include it to reach
// the widgets; nothing outside src/platform/qt and tests/platform does.
#pragma once
#include "platform.h"

#include <QPointer>
#include <QString>
#include <QOpenGLWidget>
#include <QWidget>

#include <memory>
#include <vector>

class QTimer;
class QButtonGroup;

enum WindowKind : uint8_t {
    WINDOW_MAIN,    // the QMainWindow
    WINDOW_PANEL,   // a tool panel floating over the main window's client area
    WINDOW_POPUP,   // a top-level dialog owned by its parent (the About box)
};

// One control of a dialog, as the template made it.
struct ControlEntry {
    int               id;          // control id from the template
    ControlKind       kind;        // what the template asked for
    uint32_t          style;       // STYLE_* bits from the template
    QPointer<QWidget> widget;      // the Qt widget; null once deleted with its dialog
    QButtonGroup     *radioGroup;  // radio buttons: the exclusive group of their run
    int               minimum;     // progress bar: the range as the caller set it,
    int               maximum;     //   maximum never below minimum
    int               position;    // progress bar: the position, kept inside the range
};

struct WindowTimer {
    uint32_t         id;      // the caller's timer id, sent as MSG_TIMER's wParam
    QPointer<QTimer> timer;   // owned by the window's widget
};

// The record a WindowHandle points to. Records live until the process ends, so a
// handle never dangles; a destroyed window keeps its record with proc cleared, and
// events still queued for its widgets reach nobody.
struct PlatformWindow {
    WindowKind                kind;       // main window, panel or pop-up
    WindowProc                proc;       // null before MSG_INITDIALOG and after destroy
    QPointer<QWidget>         widget;     // QMainWindow, panel frame or QDialog
    QPointer<QOpenGLWidget>   glView;     // main window: its GL view (a GlView), once created
    QPointer<QWidget>         client;     // dialogs: the widget the controls live in
    std::vector<ControlEntry> controls;   // dialogs: in template order
    std::vector<WindowTimer>  timers;     // timers started on this window
};

// Creates a record that lives until the process ends.
PlatformWindow *new_platform_window(WindowKind kind, WindowProc proc);
// Calls the window's procedure; 0 when the window is null or destroyed.
intptr_t deliver(PlatformWindow *window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Clears the procedure and stops the timers of window and of every window whose
// widget lies inside its widget, so that nothing more reaches them.
void retire_window_tree(PlatformWindow *window);

// The widget that owns modal windows of owner; null for no owner or a destroyed one.
QWidget *owner_widget(WindowHandle owner);

// The print dialog on the job's printer (printing.cpp), which platform_init registers
// as the platform's own, as it does the message box and the file dialogs.
int  qt_print_dialog(WindowHandle owner, char *outputFile, int size);
void register_platform_print_dialog(PrintDialogHandler dialog);

// Caller text to Qt: UTF-8, or Latin-1 when the bytes are not valid UTF-8.
QString from_text(const char *text);
// Qt text into a caller buffer of size bytes as UTF-8, cut at a character boundary,
// always terminated; returns the bytes copied (0 when size < 1).
int copy_text(const QString &text, char *buffer, int size);

// Dialog units to pixels from the application font: base units as the Windows
// dialog manager computes them (average width of A..Za..z, and the font height).
QSize dialog_base_units();
QRect dialog_rect_to_pixels(int x, int y, int width, int height);

// Key flags (MK_*) and a packed y << 16 | x position in device pixels.
uintptr_t mouse_key_flags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
intptr_t  pack_position(QPointF position, double pixelRatio);
// Windows-like virtual key code of a Qt key; 0 for keys without one.
uint32_t  virtual_key(int qtKey);

// Shows the GL view's last frame again over area (view coordinates) that a panel
// left, moved or hidden: a recomposition, the procedure is not asked to draw.
// No-op for other widgets.
void recompose_gl_view(QWidget *view, QRect area);

// Test access to the widgets behind a handle.
QWidget       *platform_widget(WindowHandle window);
QOpenGLWidget *platform_gl_view(WindowHandle window);
QWidget       *platform_control(WindowHandle dialog, int id);
QWidget       *platform_close_box(WindowHandle panel);
QWidget       *platform_caption(WindowHandle panel);
