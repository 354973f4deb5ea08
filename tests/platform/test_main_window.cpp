// test_main_window.cpp -- the main window: GL initialisation order, what a frame
// drawn outside paintGL leaves on screen, mouse and key forwarding, menus, the close
// box, destruction, timers and the message loop.
#include "platform_support.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>

#include <GL/gl.h>

#include <array>

namespace {

// The shell's part in these tests: GL names 10 and 11 made in MSG_GLINIT, and the
// paint handler drawing blue.
intptr_t gl_proc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == MSG_GLINIT) {
        glNewList(10, GL_COMPILE);
        glEndList();
        GLuint texture = 11;
        glBindTexture(GL_TEXTURE_2D, texture);
        glBindTexture(GL_TEXTURE_2D, 0);
    } else if (message == MSG_PAINT) {
        make_gl_current(window);
        glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        present_gl(window);
    }
    return record_proc(window, message, wParam, lParam);
}

uint32_t centre_pixel(WindowHandle window)
{
    QOpenGLWidget *view = platform_gl_view(window);
    make_gl_current(window);
    GLubyte rgba[4] = {};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(view->width() / 2, view->height() / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return uint32_t(rgba[0]) << 16 | uint32_t(rgba[1]) << 8 | rgba[2];
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform_init(0, nullptr);
        recorded().clear();
    }
    void TearDown() override
    {
        if (main) destroy_window(main);
        process_events(0);
    }
    // Tests that read the screen use a small window in its far corner, clear of
    // other tests' windows, so that what the X server shows there is this window.
    void make_shown(WindowProc proc, bool inCorner = false)
    {
        main = create_main_window("Tallymap 1.0a", inCorner ? 300 : 1024, inCorner ? 200 : 768, proc);
        create_gl_view(main);
        if (inCorner) platform_widget(main)->move(960, 800);
        show_window(main, SW_SHOW);
        ASSERT_TRUE(wait_until([&] { return count_messages(main, MSG_PAINT) > 0; }));
        process_events(100);
    }
    uint32_t on_screen(QPoint at)
    {
        QWidget *top = platform_widget(main);
        return top->screen()->grabWindow(top->winId()).toImage().pixel(at) & 0xFFFFFFu;
    }
    WindowHandle main = nullptr;
};

TEST_F(MainWindowTest, GlInitComesFirstWithACompatibilityContext)
{
    make_shown(gl_proc);
    EXPECT_EQ(platform_widget(main)->frameGeometry().size(), QSize(1024, 768));
    ASSERT_FALSE(recorded().empty());
    EXPECT_EQ(recorded().front().message, MSG_GLINIT);   // before any size or paint
    EXPECT_EQ(count_messages(main, MSG_GLINIT), 1);

    QOpenGLWidget *view = platform_gl_view(main);
    intptr_t size = 0;
    for (const Message &m : recorded())
        if (m.message == MSG_SIZE) size = m.lParam;
    EXPECT_EQ(size, intptr_t(view->height()) << 16 | view->width());

    EXPECT_NE(view->format().profile(), QSurfaceFormat::CoreProfile);
    EXPECT_GE(view->format().depthBufferSize(), 24);
    make_gl_current(main);
    EXPECT_TRUE(glIsList(10));   // the names made in MSG_GLINIT are still ours
    EXPECT_TRUE(glIsTexture(11));
}

TEST_F(MainWindowTest, FrameDrawnOutsidePaintIsWhatTheWindowShows)
{
    make_shown(gl_proc, true);
    EXPECT_EQ(centre_pixel(main), 0x0000FFu);   // the paint handler's blue

    int paints = count_messages(main, MSG_PAINT);
    make_gl_current(main);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    present_gl(main);
    process_events(200);
    EXPECT_EQ(count_messages(main, MSG_PAINT), paints);   // shown without drawing again
    EXPECT_EQ(centre_pixel(main), 0xFF0000u);

    QOpenGLWidget *view = platform_gl_view(main);
    QPoint inView = view->mapTo(platform_widget(main), view->rect().center());
    wait_until([&] { return on_screen(inView) == 0xFF0000u; }, 1000);
    EXPECT_EQ(on_screen(inView), 0xFF0000u);

    // a repaint Qt needs on its own asks the procedure for the frame
    view->update();
    ASSERT_TRUE(wait_until([&] { return count_messages(main, MSG_PAINT) > paints; }));
    EXPECT_EQ(centre_pixel(main), 0x0000FFu);
    QImage grabbed = view->grabFramebuffer();
    EXPECT_EQ(grabbed.pixel(grabbed.rect().center()) & 0xFFFFFFu, 0x0000FFu);
}

// A panel dragged or hidden over the view must not leave its image behind on the
// screen until the next frame.
TEST_F(MainWindowTest, PanelLeavesNoImageBehindOnTheView)
{
    make_shown(gl_proc, true);
    static const ControlTemplate label[] = {{1044, CTL_STATIC, "date", 2, 2, 40, 10, STYLE_SUNKEN}};
    static const DialogTemplate tmpl = {106, "Timeline Panel", 2, 2, 60, 20, true, false, label, 1};
    WindowHandle panel = create_dialog(&tmpl, main, record_proc);
    process_events(200);

    QWidget *frame = platform_widget(panel);
    QPoint oldSpot = frame->mapTo(platform_widget(main), QPoint(5, frame->height() - 5));
    ASSERT_NE(on_screen(oldSpot), 0x0000FFu);   // the panel is there
    int paints = count_messages(main, MSG_PAINT);
    frame->move(frame->parentWidget()->width() - frame->width(), frame->parentWidget()->height() - frame->height());
    wait_until([&] { return on_screen(oldSpot) == 0x0000FFu; }, 1000);
    EXPECT_EQ(on_screen(oldSpot), 0x0000FFu);
    QPoint newSpot = frame->mapTo(platform_widget(main), QPoint(5, frame->height() - 5));
    show_window(panel, SW_HIDE);
    wait_until([&] { return on_screen(newSpot) == 0x0000FFu; }, 1000);
    EXPECT_EQ(on_screen(newSpot), 0x0000FFu);
    EXPECT_EQ(count_messages(main, MSG_PAINT), paints);   // shown again, not drawn again
}

TEST_F(MainWindowTest, MouseAndKeysArriveAsWindowsMessages)
{
    make_shown(record_proc);
    QOpenGLWidget *view = platform_gl_view(main);
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held,
                    Qt::KeyboardModifiers modifiers) {
        QMouseEvent event(type, QPointF(at), QPointF(view->mapToGlobal(at)), button, held, modifiers);
        QApplication::sendEvent(view, &event);
    };
    recorded().clear();
    send(QEvent::MouseButtonPress, {10, 20}, Qt::LeftButton, Qt::LeftButton, Qt::ControlModifier);
    send(QEvent::MouseMove, {300, 5}, Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
    send(QEvent::MouseButtonRelease, {301, 6}, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    send(QEvent::MouseButtonPress, {7, 8}, Qt::RightButton, Qt::RightButton | Qt::LeftButton, Qt::NoModifier);
    send(QEvent::MouseButtonRelease, {7, 8}, Qt::RightButton, Qt::NoButton, Qt::NoModifier);
    send(QEvent::MouseMove, {-3, 4}, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(view, &repeat);
    QKeyEvent key(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier);
    QApplication::sendEvent(view, &key);
    QKeyEvent left(QEvent::KeyRelease, Qt::Key_Left, Qt::NoModifier);
    QApplication::sendEvent(view, &left);

    std::vector<std::array<intptr_t, 3>> input;
    for (const Message &m : recorded())
        if (m.message != MSG_PAINT && m.message != MSG_TIMER) input.push_back({m.message, intptr_t(m.wParam), m.lParam});
    std::vector<std::array<intptr_t, 3>> expected = {
        {MSG_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, 20 << 16 | 10}, {MSG_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, 5 << 16 | 300},
        {MSG_LBUTTONUP, 0, 6 << 16 | 301}, {MSG_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, 8 << 16 | 7},
        {MSG_RBUTTONUP, 0, 8 << 16 | 7},
        {MSG_MOUSEMOVE, 0, 4 << 16 | 0xFFFD},   // x -3 as a signed 16-bit field
        {MSG_KEYUP, 0x41, 0},                   // the auto-repeat release is dropped
        {MSG_KEYUP, 0x25, 0}};
    EXPECT_EQ(input, expected);
}

TEST_F(MainWindowTest, MenuItemsDeliverTheirIds)
{
    make_shown(record_proc);
    const MenuItem items[] = {
        {"File", "Load Data..", 1, "Ctrl+O"}, {"File", "Quit", 10, nullptr},
        {"Time", "Census 2012", 36, nullptr}, {"Time", "Saved Time", 32, nullptr},
        {"Help", "Save & Share", 6, nullptr},
    };
    set_menu_bar(main, items, 5);
    QMenuBar *bar = static_cast<QMainWindow *>(platform_widget(main))->menuBar();
    QList<QAction *> menus = bar->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[1]->text(), QStringLiteral("&Time"));   // Alt+T opens it
    QList<QAction *> file = menus[0]->menu()->actions();
    ASSERT_EQ(file.size(), 2);
    EXPECT_EQ(file[0]->text(), QStringLiteral("Load Data.."));
    EXPECT_EQ(file[0]->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    EXPECT_EQ(file[0]->shortcutContext(), Qt::ApplicationShortcut);
    EXPECT_EQ(menus[2]->menu()->actions()[0]->text(), QStringLiteral("Save && Share"));   // shown as "Save & Share"

    recorded().clear();
    menus[1]->menu()->actions()[1]->trigger();
    file[1]->trigger();
    menus[2]->menu()->actions()[0]->trigger();
    EXPECT_EQ(commands_of(main), (std::vector<uintptr_t>{32, 10, 6}));
}

TEST_F(MainWindowTest, CloseBoxAsksAndDestroyEndsAllMessages)
{
    make_shown(record_proc);
    static const ControlTemplate button[] = {{1033, CTL_BUTTON, "+", 5, 5, 20, 12, 0}};
    static const DialogTemplate tmpl = {106, "Timeline Panel", 0, 0, 100, 30, true, false, button, 1};
    WindowHandle panel = create_dialog(&tmpl, main, record_proc);
    start_timer(main, 1, 10);
    start_timer(panel, 2, 10);

    platform_widget(main)->close();
    EXPECT_EQ(count_messages(main, MSG_CLOSE), 1);
    EXPECT_TRUE(is_window_visible(main));   // the procedure decides

    QPointer<QWidget> widget = platform_widget(main);
    QPointer<QWidget> panelWidget = platform_widget(panel);
    QMetaObject::invokeMethod(platform_control(panel, 1033), "click", Qt::QueuedConnection);
    destroy_window(main);
    ASSERT_FALSE(recorded().empty());
    EXPECT_EQ(recorded().back().message, MSG_DESTROY);
    size_t after = recorded().size();
    process_events(100);
    EXPECT_EQ(recorded().size(), after);
    EXPECT_TRUE(widget.isNull());
    EXPECT_TRUE(panelWidget.isNull());
    main = nullptr;
}

TEST_F(MainWindowTest, TimersTickByIdUntilStopped)
{
    main = create_main_window("Tallymap 1.0a", 1024, 768, record_proc);
    start_timer(main, 1, 20);
    start_timer(main, 7, 30);
    process_events(250);
    int ticks[8] = {};
    for (const Message &m : recorded())
        if (m.message == MSG_TIMER) ++ticks[m.wParam < 8 ? m.wParam : 0];
    EXPECT_GE(ticks[1], 4);
    EXPECT_GE(ticks[7], 3);
    EXPECT_EQ(ticks[1] + ticks[7], count_messages(main, MSG_TIMER));
    stop_timer(main, 1);
    stop_timer(main, 7);
    int total = count_messages(main, MSG_TIMER);
    process_events(100);
    EXPECT_EQ(count_messages(main, MSG_TIMER), total);
    start_timer(main, 7, 10);   // the same id again starts it again
    process_events(100);
    EXPECT_GT(count_messages(main, MSG_TIMER), total);
}

TEST_F(MainWindowTest, MessageLoopReturnsTheQuitCode)
{
    QTimer::singleShot(20, [] { post_quit(7); });
    EXPECT_EQ(run_message_loop(), 7);
    post_quit(3);   // posted before the loop runs: the loop ends at once
    EXPECT_EQ(run_message_loop(), 3);
}

}   // namespace
