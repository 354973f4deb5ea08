// main_window.cpp -- the main window, its GL view and menu bar, and the calls that
// work on any window (show, visibility, destroy, focus, mouse capture).
//
// Drawing: the application draws whenever it likes (draw_frame: make_gl_current,
// then GL calls into the view's framebuffer) and then presents. A present outside
// paintGL marks the frame fresh and asks for a repaint; the repaint then only shows
// the framebuffer as it is (PartialUpdate keeps it) instead of asking for the frame
// again. A paint that Qt needs on its own (expose, resize) asks with MSG_PAINT.
#include "qt_internal.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QOpenGLWidget>
#include <QScreen>
#include <QWheelEvent>

#include <cmath>
#include <cstring>

// ---------------------------------------------------------------------------------
// Event packing
// ---------------------------------------------------------------------------------
uintptr_t mouse_key_flags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    uintptr_t flags = 0;
    if (buttons & Qt::LeftButton) flags |= MK_LBUTTON;
    if (buttons & Qt::RightButton) flags |= MK_RBUTTON;
    if (modifiers & Qt::ShiftModifier) flags |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier) flags |= MK_CONTROL;
    return flags;
}

intptr_t pack_position(QPointF position, double pixelRatio)
{
    int x = int(std::floor(position.x() * pixelRatio));
    int y = int(std::floor(position.y() * pixelRatio));
    return intptr_t((uint32_t(y) & 0xFFFFu) << 16 | (uint32_t(x) & 0xFFFFu));
}

uint32_t virtual_key(int qtKey)
{
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return uint32_t(qtKey);   // same codes as the Windows virtual keys
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 0x70 + uint32_t(qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Tab:       return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter:     return 0x0D;
    case Qt::Key_Shift:     return 0x10;
    case Qt::Key_Control:   return 0x11;
    case Qt::Key_Alt:       return 0x12;
    case Qt::Key_Pause:     return 0x13;
    case Qt::Key_Escape:    return 0x1B;
    case Qt::Key_Space:     return 0x20;
    case Qt::Key_PageUp:    return 0x21;
    case Qt::Key_PageDown:  return 0x22;
    case Qt::Key_End:       return 0x23;
    case Qt::Key_Home:      return 0x24;
    case Qt::Key_Left:      return 0x25;
    case Qt::Key_Up:        return 0x26;
    case Qt::Key_Right:     return 0x27;
    case Qt::Key_Down:      return 0x28;
    case Qt::Key_Insert:    return 0x2D;
    case Qt::Key_Delete:    return 0x2E;
    case Qt::Key_Plus:      return 0xBB;
    case Qt::Key_Comma:     return 0xBC;
    case Qt::Key_Minus:     return 0xBD;
    case Qt::Key_Period:    return 0xBE;
    default:                return 0;
    }
}

// ---------------------------------------------------------------------------------
// Widgets: each event is one forward to the window procedure
// ---------------------------------------------------------------------------------
// The window manager adds its frame some time after the window is shown; once the
// frame is known, the client size is set (once) so that the outer size is the one
// asked for. Without a window manager there is no frame and nothing to do.
static void fit_outer_size(QWidget *main)
{
    QSize outer = main->property("tallymapOuterSize").toSize();
    if (!outer.isValid()) return;
    QSize frame = main->frameGeometry().size() - main->geometry().size();
    if (frame.width() <= 0 && frame.height() <= 0) return;
    main->setProperty("tallymapOuterSize", QVariant());
    main->resize(qMax(outer.width() - frame.width(), 1), qMax(outer.height() - frame.height(), 1));
}

class MainWindow final : public QMainWindow {
public:
    explicit MainWindow(PlatformWindow *window) : owner(window) {}
    PlatformWindow *const owner;
protected:
    // the window stays: the procedure decides (the shell runs Quit)
    void closeEvent(QCloseEvent *event) override { event->ignore(); deliver(owner, MSG_CLOSE, 0, 0); }
    void moveEvent(QMoveEvent *event) override { QMainWindow::moveEvent(event); fit_outer_size(this); }
};

class GlView final : public QOpenGLWidget {
public:
    GlView(PlatformWindow *window, QWidget *parent) : QOpenGLWidget(parent), owner(window)
    {
        setUpdateBehavior(QOpenGLWidget::PartialUpdate);
        setFocusPolicy(Qt::StrongFocus);
        setMouseTracking(true);   // moves without a button held arrive too
    }
    PlatformWindow *const owner;
    bool frameFresh = false;   // the framebuffer holds a presented frame not yet shown
    bool painting = false;     // inside paintGL: the frame is being composed now

protected:
    void initializeGL() override { deliver(owner, MSG_GLINIT, 0, 0); }
    void resizeGL(int width, int height) override
    {
        frameFresh = false;   // a new framebuffer: whatever was presented is gone
        double ratio = devicePixelRatioF();
        uint32_t w = uint32_t(std::lround(width * ratio)) & 0xFFFFu;
        uint32_t h = uint32_t(std::lround(height * ratio)) & 0xFFFFu;
        deliver(owner, MSG_SIZE, 0, intptr_t(h << 16 | w));
    }
    void paintGL() override
    {
        if (frameFresh) {
            frameFresh = false;
            return;
        }
        painting = true;
        deliver(owner, MSG_PAINT, 0, 0);
        painting = false;
    }
    void mousePressEvent(QMouseEvent *event) override { forward_button(event, true); }
    void mouseReleaseEvent(QMouseEvent *event) override { forward_button(event, false); }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        deliver(owner, MSG_MOUSEMOVE, mouse_key_flags(event->buttons(), event->modifiers()),
                pack_position(event->position(), devicePixelRatioF()));
    }
    void wheelEvent(QWheelEvent *event) override
    {
        int delta = qBound(-32768, event->angleDelta().y(), 32767);
        deliver(owner, MSG_MOUSEWHEEL,
                uintptr_t(uint16_t(int16_t(delta))) << 16 | mouse_key_flags(event->buttons(), event->modifiers()),
                pack_position(event->position(), devicePixelRatioF()));
    }
    void keyReleaseEvent(QKeyEvent *event) override
    {
        if (event->isAutoRepeat()) return;   // one key-up per key, as a held key gives
        deliver(owner, MSG_KEYUP, virtual_key(event->key()), 0);
    }

private:
    void forward_button(QMouseEvent *event, bool down)
    {
        uint32_t message;
        if (event->button() == Qt::LeftButton) message = down ? MSG_LBUTTONDOWN : MSG_LBUTTONUP;
        else if (event->button() == Qt::RightButton) message = down ? MSG_RBUTTONDOWN : MSG_RBUTTONUP;
        else return;
        deliver(owner, message, mouse_key_flags(event->buttons(), event->modifiers()),
                pack_position(event->position(), devicePixelRatioF()));
    }
};

static GlView *gl_view(WindowHandle window)
{
    if (!window || window->kind != WINDOW_MAIN || !window->proc) return nullptr;
    return static_cast<GlView *>(window->glView.data());
}

// ---------------------------------------------------------------------------------
// Main window, GL view, drawing
// ---------------------------------------------------------------------------------
WindowHandle create_main_window(const char *title, int width, int height, WindowProc proc)
{
    PlatformWindow *window = new_platform_window(WINDOW_MAIN, proc);
    MainWindow *widget = new MainWindow(window);
    widget->setWindowTitle(from_text(title));
    widget->resize(qMax(width, 1), qMax(height, 1));
    widget->setProperty("tallymapOuterSize", QSize(width, height));
    window->widget = widget;
    return window;
}

void create_gl_view(WindowHandle mainWindow)
{
    if (!mainWindow || mainWindow->kind != WINDOW_MAIN || mainWindow->glView) return;
    auto *main = static_cast<MainWindow *>(mainWindow->widget.data());
    if (!main) return;
    GlView *view = new GlView(mainWindow, main);
    // panels already floating over a plain central area move onto the view
    if (QWidget *old = main->takeCentralWidget()) {
        for (QObject *child : old->children())
            if (auto *panel = qobject_cast<QWidget *>(child); panel && !panel->isWindow()) {
                bool shown = !panel->isHidden();
                panel->setParent(view);
                panel->setVisible(shown);
            }
        old->deleteLater();
    }
    main->setCentralWidget(view);
    mainWindow->glView = view;
}

void make_gl_current(WindowHandle mainWindow)
{
    if (GlView *view = gl_view(mainWindow)) view->makeCurrent();   // binds its framebuffer too
}

void present_gl(WindowHandle mainWindow)
{
    GlView *view = gl_view(mainWindow);
    if (!view || view->painting) return;   // inside paintGL the frame is shown anyway
    view->frameFresh = true;
    view->update();
}

void recompose_gl_view(QWidget *widget, QRect area)
{
    // the framebuffer keeps the last frame (PartialUpdate); only a frame that is
    // there can be shown again, and inside paintGL the frame is being made anyway
    auto *view = dynamic_cast<GlView *>(widget);
    if (!view || view->painting || !view->isValid()) return;
    view->frameFresh = true;
    view->update();
    // Qt repaints a GL view's own updates into its texture only: the window's
    // raster layer, where the panel was drawn, must be told about the area too
    if (QWidget *outer = view->parentWidget())
        outer->update(QRect(view->mapTo(outer, area.topLeft()), area.size()));
}

double gl_pixel_ratio(WindowHandle mainWindow)
{
    GlView *view = gl_view(mainWindow);
    return view ? view->devicePixelRatioF() : 1.0;
}

// ---------------------------------------------------------------------------------
// Menus
// ---------------------------------------------------------------------------------
static QString escape_ampersands(QString text)
{
    return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}

void set_menu_bar(WindowHandle mainWindow, const MenuItem *items, int count)
{
    if (!mainWindow || mainWindow->kind != WINDOW_MAIN || !mainWindow->widget) return;
    auto *main = static_cast<QMainWindow *>(mainWindow->widget.data());
    QMenuBar *bar = new QMenuBar(main);
    QMenu *menu = nullptr;
    const char *menuTitle = nullptr;
    for (int i = 0; items && i < count; ++i) {
        const MenuItem &item = items[i];
        QString title = from_text(item.title);
        if (!menu || !menuTitle || std::strcmp(menuTitle, item.title ? item.title : "") != 0) {
            // the mnemonic opens the menu with Alt + its first letter
            menu = bar->addMenu(QLatin1Char('&') + escape_ampersands(title));
            menuTitle = item.title ? item.title : "";
        }
        QAction *action = menu->addAction(escape_ampersands(from_text(item.text)));
        if (item.shortcut && *item.shortcut) {
            action->setShortcut(QKeySequence(from_text(item.shortcut)));
            action->setShortcutContext(Qt::ApplicationShortcut);
        }
        uint32_t id = item.id;
        QObject::connect(action, &QAction::triggered, action,
                         [mainWindow, id] { deliver(mainWindow, MSG_COMMAND, make_command(id, NOTIFY_CLICKED), 0); });
    }
    main->setMenuBar(bar);   // replaces (and deletes) an earlier bar
}

// ---------------------------------------------------------------------------------
// Any window
// ---------------------------------------------------------------------------------
static QWidget *live_widget(WindowHandle window)
{
    return window && window->proc ? window->widget.data() : nullptr;
}

void show_window(WindowHandle window, int command)
{
    QWidget *widget = live_widget(window);
    if (!widget) return;
    if (command == SW_HIDE) {
        widget->hide();
        return;
    }
    widget->show();
    if (window->kind == WINDOW_MAIN) {
        fit_outer_size(widget);
    } else {
        widget->raise();
        if (window->kind == WINDOW_POPUP) widget->activateWindow();
    }
}

int is_window_visible(WindowHandle window)
{
    QWidget *widget = live_widget(window);
    return widget && widget->isVisible() ? 1 : 0;
}

void destroy_window(WindowHandle window)
{
    QWidget *widget = live_widget(window);
    if (!widget) return;
    if (window->kind == WINDOW_MAIN) deliver(window, MSG_DESTROY, 0, 0);
    // nothing more reaches this window or the panels inside it, not even the focus
    // changes of hiding; the widgets go once the current handler has returned
    retire_window_tree(window);
    if (QWidget *grabber = QWidget::mouseGrabber(); grabber && (grabber == widget || widget->isAncestorOf(grabber)))
        grabber->releaseMouse();
    widget->hide();
    widget->deleteLater();
}

void set_focus(WindowHandle window)
{
    QWidget *widget = live_widget(window);
    if (!widget) return;
    if (window->kind == WINDOW_MAIN && window->glView) widget = window->glView;
    widget->setFocus(Qt::OtherFocusReason);
}

void capture_mouse(WindowHandle window)
{
    QWidget *widget = live_widget(window);
    if (!widget) return;
    if (window->kind == WINDOW_MAIN && window->glView) widget = window->glView;
    if (widget->isVisible()) widget->grabMouse();
}

void release_mouse()
{
    if (QWidget *grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
}

// ---------------------------------------------------------------------------------
// Test access
// ---------------------------------------------------------------------------------
QWidget *platform_widget(WindowHandle window) { return window ? window->widget.data() : nullptr; }

QOpenGLWidget *platform_gl_view(WindowHandle window) { return window ? window->glView.data() : nullptr; }
