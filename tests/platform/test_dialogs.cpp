// test_dialogs.cpp -- tool panels and pop-ups from templates: controls by id, which
// actions notify the procedure and which do not, cancel from Esc and the close box,
// progress clamping, radio groups, tab order, placement and dragging, destruction.
#include "platform_support.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <QTest>

#include <cstdlib>

namespace {

const ControlTemplate panelControls[] = {
    {1018, CTL_RADIOBUTTON, ">", 47, 7, 20, 12, STYLE_PUSHLIKE | STYLE_GROUP},
    {1019, CTL_RADIOBUTTON, "| |", 27, 7, 20, 12, STYLE_PUSHLIKE},
    {1020, CTL_RADIOBUTTON, "<", 7, 7, 20, 12, STYLE_PUSHLIKE},
    {1021, CTL_RADIOBUTTON, "North", 7, 60, 40, 10, STYLE_GROUP | STYLE_TABSTOP},
    {1022, CTL_RADIOBUTTON, "South", 50, 60, 40, 10, 0},
    {1023, CTL_PROGRESS, nullptr, 67, 7, 180, 12, 0},
    {1029, CTL_COMBOBOX, nullptr, 246, 7, 40, 52, STYLE_TABSTOP},
    {1033, CTL_BUTTON, "+", 30, 26, 10, 10, STYLE_TABSTOP},
    {1044, CTL_STATIC, "Day,January,1,1990", 166, 24, 120, 14, STYLE_CENTRE | STYLE_VCENTRE | STYLE_SUNKEN},
    {1047, CTL_LISTBOX, nullptr, 10, 75, 100, 40, STYLE_TABSTOP | STYLE_VSCROLL | STYLE_BORDER},
    {1050, CTL_CHECKBOX, "Roads", 120, 75, 50, 10, STYLE_TABSTOP},
    {1051, CTL_CHECKBOX, "Rails", 120, 90, 55, 10, STYLE_LEFTTEXT | STYLE_VCENTRE},
    {1060, CTL_EDIT, nullptr, 180, 75, 100, 40, STYLE_MULTILINE | STYLE_READONLY | STYLE_VSCROLL},
};
const DialogTemplate panelTemplate = {106, "Timeline Panel", 12, 20, 291, 120, true, false,
                                      panelControls, int(sizeof panelControls / sizeof panelControls[0])};

const ControlTemplate aboutControls[] = {
    {1, CTL_BUTTON, "OK", 10, 40, 40, 14, STYLE_TABSTOP},
    {1070, CTL_STATIC, "Tallymap 1.0", 10, 10, 100, 10, 0},
};
const DialogTemplate aboutTemplate = {108, "About Tallymap 1.0", 0, 0, 160, 60, false, true,
                                      aboutControls, 2};

// What MSG_INITDIALOG saw: the control's text (so the controls exist) and whether
// the panel was visible already.
char initText[64];
int  initVisible = -1;

intptr_t snapshot_proc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == MSG_INITDIALOG) {
        ctl_get_text(window, 1044, initText, sizeof initText);
        initVisible = is_window_visible(window);
        for (const char *unit : {"Day", "Month", "Year"}) ctl_add_item(window, 1029, unit);
    }
    return record_proc(window, message, wParam, lParam);
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform_init(0, nullptr);
        recorded().clear();
        initVisible = -1;
        main = create_main_window("Tallymap 1.0a", 1024, 768, record_proc);
        create_gl_view(main);
        show_window(main, SW_SHOW);
        panel = create_dialog(&panelTemplate, main, snapshot_proc);
        wait_until([&] { return is_window_visible(panel) != 0; });
        recorded().clear();
    }
    void TearDown() override
    {
        destroy_window(main);
        process_events(0);
    }
    WindowHandle main = nullptr;
    WindowHandle panel = nullptr;
};

TEST_F(Dialogs, InitDialogComesAfterTheControlsAndBeforeShowing)
{
    EXPECT_STREQ(initText, "Day,January,1,1990");
    EXPECT_EQ(initVisible, 0);
    EXPECT_TRUE(is_window_visible(panel));
    EXPECT_EQ(ctl_item_count(panel, 1029), 3);
    EXPECT_EQ(ctl_get_selection(panel, 1029), -1);   // adding items selects none
    // the panel floats over the GL view at its template position, caption strip above
    EXPECT_EQ(platform_widget(panel)->parentWidget(), platform_gl_view(main));
    EXPECT_EQ(platform_widget(panel)->pos(), dialog_rect_to_pixels(12, 20, 0, 0).topLeft());
    EXPECT_GE(platform_widget(panel)->height(), dialog_rect_to_pixels(0, 0, 291, 120).height() + platform_caption(panel)->height());

    DialogTemplate hidden = panelTemplate;
    hidden.visible = false;
    WindowHandle info = create_dialog(&hidden, main, record_proc);
    process_events(50);
    EXPECT_FALSE(is_window_visible(info));
}

TEST_F(Dialogs, UserActionsNotifyAndProgrammaticChangesDoNot)
{
    for (const char *zip : {"77002", "77003", "77004"}) ctl_add_item(panel, 1047, zip);
    ctl_set_selection(panel, 1047, 2);
    ctl_set_selection(panel, 1029, 1);
    ctl_check_radio(panel, 1018, 1020, 1019);
    ctl_set_checked(panel, 1050, 1);
    ctl_set_text(panel, 1044, "Monday,March,3,1995");
    ctl_set_range(panel, 1023, 132, 46716);
    ctl_set_position(panel, 1023, 500);
    ctl_reset_items(panel, 1029);
    ctl_add_item(panel, 1029, "Day");
    process_events(50);
    EXPECT_TRUE(commands_of(panel).empty());
    EXPECT_EQ(ctl_get_selection(panel, 1047), 2);
    EXPECT_EQ(ctl_get_selection(panel, 1029), -1);   // cleared by the reset

    ctl_click(panel, 1033);
    ctl_choose(panel, 1047, 0);
    ctl_choose(panel, 1029, 0);
    ctl_click(panel, 1018);
    ctl_click(panel, 1050);
    std::vector<uintptr_t> expected = {make_command(1033, NOTIFY_CLICKED), make_command(1047, NOTIFY_SELCHANGE),
                                       make_command(1029, NOTIFY_SELCHANGE), make_command(1018, NOTIFY_CLICKED),
                                       make_command(1050, NOTIFY_CLICKED)};
    EXPECT_EQ(commands_of(panel), expected);
    EXPECT_EQ(ctl_get_selection(panel, 1047), 0);
    EXPECT_FALSE(ctl_is_checked(panel, 1050));   // the click toggled it back

    // a real mouse click on a list item is a user's choice
    recorded().clear();
    auto *list = static_cast<QListWidget *>(platform_control(panel, 1047));
    QRect itemRect = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, itemRect.center());
    EXPECT_EQ(commands_of(panel), std::vector<uintptr_t>{make_command(1047, NOTIFY_SELCHANGE)});
    EXPECT_EQ(ctl_get_selection(panel, 1047), 1);
    char text[16];
    EXPECT_EQ(ctl_get_item_text(panel, 1047, 1, text, sizeof text), 5);
    EXPECT_STREQ(text, "77003");
}

TEST_F(Dialogs, EscapeAndCloseBoxSendCancel)
{
    ctl_set_focus(panel, 1033);
    QTest::keyClick(platform_control(panel, 1033), Qt::Key_Escape);
    ctl_set_focus(panel, 1047);
    QTest::keyClick(platform_control(panel, 1047), Qt::Key_Escape);
    QTest::mouseClick(platform_close_box(panel), Qt::LeftButton);
    EXPECT_EQ(commands_of(panel), (std::vector<uintptr_t>{ID_CANCEL, ID_CANCEL, ID_CANCEL}));
    EXPECT_TRUE(is_window_visible(panel));   // hiding is the procedure's business

    // Enter clicks the focused push button; elsewhere it is the OK command
    recorded().clear();
    QTest::keyClick(platform_control(panel, 1047), Qt::Key_Return);
    platform_control(panel, 1033)->setFocus();
    QTest::keyClick(platform_control(panel, 1033), Qt::Key_Return);
    EXPECT_EQ(commands_of(panel), (std::vector<uintptr_t>{1, make_command(1033, NOTIFY_CLICKED)}));
    // keys in a panel never reach the view below it
    QTest::keyClick(platform_control(panel, 1033), Qt::Key_A);
    EXPECT_EQ(count_messages(main, MSG_KEYUP), 0);
}

TEST_F(Dialogs, ProgressPositionIsClampedToTheRange)
{
    auto *bar = static_cast<QProgressBar *>(platform_control(panel, 1023));
    ctl_set_range(panel, 1023, 132, 46716);
    ctl_set_position(panel, 1023, 0x533C);
    EXPECT_EQ(ctl_get_position(panel, 1023), 0x533C);
    EXPECT_EQ(bar->value(), 0x533C);
    ctl_set_position(panel, 1023, 60000);
    EXPECT_EQ(ctl_get_position(panel, 1023), 46716);
    EXPECT_EQ(bar->value(), bar->maximum());
    ctl_set_position(panel, 1023, 5);
    EXPECT_EQ(bar->value(), bar->minimum());
    // narrowing the range pulls the position in
    ctl_set_position(panel, 1023, 40000);
    ctl_set_range(panel, 1023, 132, 1000);
    EXPECT_EQ(ctl_get_position(panel, 1023), 1000);
    // a reversed or empty range holds one position and never turns the bar busy
    ctl_set_range(panel, 1023, 50, 10);
    ctl_set_position(panel, 1023, 70);
    EXPECT_EQ(ctl_get_position(panel, 1023), 50);
    EXPECT_LT(bar->minimum(), bar->maximum());
}

TEST_F(Dialogs, RadioRunsAreExclusiveGroups)
{
    ctl_check_radio(panel, 1018, 1020, 1019);
    ctl_check_radio(panel, 1021, 1022, 1022);
    EXPECT_EQ(ctl_is_checked(panel, 1018) + ctl_is_checked(panel, 1019) * 2 + ctl_is_checked(panel, 1020) * 4, 2);
    ctl_click(panel, 1020);
    EXPECT_TRUE(ctl_is_checked(panel, 1020));
    EXPECT_FALSE(ctl_is_checked(panel, 1019));
    EXPECT_TRUE(ctl_is_checked(panel, 1022));   // the second group is untouched
    // a push-like button pressed again stays pressed
    ctl_click(panel, 1020);
    EXPECT_TRUE(ctl_is_checked(panel, 1020));
    // checking an id outside the range clears the whole range
    ctl_check_radio(panel, 1018, 1020, 1033);
    EXPECT_FALSE(ctl_is_checked(panel, 1018) || ctl_is_checked(panel, 1019) || ctl_is_checked(panel, 1020));
}

// Walks the focus chain as Tab does (Qt skips widgets that take no Tab focus); this
// needs no active window, so it holds while other tests own the display's focus.
TEST_F(Dialogs, TabVisitsTheTabStopsInTemplateOrder)
{
    const int ids[] = {1018, 1019, 1020, 1021, 1022, 1029, 1033, 1047, 1050, 1060};
    std::vector<int> order;
    QWidget *at = platform_control(panel, 1021);
    for (int steps = 0; order.size() < 4 && steps < 200; ++steps) {
        at = at->nextInFocusChain();
        if (!(at->focusPolicy() & Qt::TabFocus) || !at->isVisible()) continue;
        for (int id : ids)
            if (at == platform_control(panel, id)) order.push_back(id);
    }
    EXPECT_EQ(order, (std::vector<int>{1029, 1033, 1047, 1050}));

    // the check box reports the focus it gains and loses
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason), out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(platform_control(panel, 1050), &in);
    QApplication::sendEvent(platform_control(panel, 1050), &out);
    EXPECT_EQ(commands_of(panel), (std::vector<uintptr_t>{make_command(1050, NOTIFY_SETFOCUS),
                                                          make_command(1050, NOTIFY_KILLFOCUS)}));
}

// A check box with its text on the left reads as one: the text from the control's left
// edge, the box at its right edge, and a click anywhere on it ticks the box.
TEST_F(Dialogs, LeftTextCheckBoxStartsWithItsTextAndEndsWithItsBox)
{
    QWidget *box = platform_control(panel, 1051);
    ASSERT_NE(box, nullptr);
    const QImage image = box->grab().toImage();
    const QRgb background = image.pixel(image.width() / 2, 0);
    int first = -1, last = -1;   // columns holding anything but the background
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (std::abs(qGray(image.pixel(x, y)) - qGray(background)) > 10) {
                if (first < 0) first = x;
                last = x;
                break;
            }
    EXPECT_GE(first, 0);
    EXPECT_LE(first, 3) << "the text starts " << first << " pixels in";
    EXPECT_GE(last, image.width() - 4) << "the box ends " << image.width() - 1 - last << " pixels short";

    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(2, box->height() / 2));
    EXPECT_TRUE(ctl_is_checked(panel, 1051));
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(box->width() - 3, box->height() / 2));
    EXPECT_FALSE(ctl_is_checked(panel, 1051));
    EXPECT_EQ(commands_of(panel), std::vector<uintptr_t>(2, make_command(1051, NOTIFY_CLICKED)));
}

TEST_F(Dialogs, CaptionDragKeepsThePanelInsideTheView)
{
    QWidget *caption = platform_caption(panel);
    QWidget *frame = platform_widget(panel);
    QWidget *view = frame->parentWidget();
    auto send = [&](QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
        QPoint local = caption->mapFromGlobal(global);
        QMouseEvent event(type, QPointF(local), QPointF(global),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(caption, &event);
    };
    QPoint start = caption->mapToGlobal(QPoint(20, 5));
    send(QEvent::MouseButtonPress, start, Qt::LeftButton);
    send(QEvent::MouseMove, start + QPoint(30, 40), Qt::LeftButton);
    EXPECT_EQ(frame->pos(), dialog_rect_to_pixels(12, 20, 0, 0).topLeft() + QPoint(30, 40));
    send(QEvent::MouseMove, start - QPoint(5000, 5000), Qt::LeftButton);
    EXPECT_EQ(frame->pos(), QPoint(0, 0));
    send(QEvent::MouseMove, start + QPoint(5000, 5000), Qt::LeftButton);
    EXPECT_EQ(frame->geometry().bottomRight(), view->rect().bottomRight());
    send(QEvent::MouseButtonRelease, start, Qt::NoButton);
    EXPECT_TRUE(commands_of(panel).empty());
}

TEST_F(Dialogs, TextControlsKeepTextPlainAndBuffersBounded)
{
    ctl_set_text(panel, 1044, "<b>1 & 2</b>");
    char text[64];
    EXPECT_EQ(ctl_get_text(panel, 1044, text, sizeof text), 12);
    EXPECT_STREQ(text, "<b>1 & 2</b>");
    EXPECT_EQ(ctl_get_text(panel, 1044, text, 4), 3);   // cut to the buffer, terminated
    EXPECT_STREQ(text, "<b>");
    ctl_set_text(panel, 1044, "Z\xC3\xBCrich");         // never cut inside a character
    EXPECT_EQ(ctl_get_text(panel, 1044, text, 3), 1);
    EXPECT_STREQ(text, "Z");

    ctl_set_text(panel, 1060, "ZIP 77002\r\nPopulation 1234\r\nShare 12 %");
    EXPECT_EQ(ctl_line_count(panel, 1060), 3);
    EXPECT_EQ(ctl_get_text(panel, 1060, text, sizeof text), 36);
    EXPECT_STREQ(text, "ZIP 77002\nPopulation 1234\nShare 12 %");
    ctl_scroll_to_end(panel, 1060);
    EXPECT_TRUE(commands_of(panel).empty());
}

TEST_F(Dialogs, DestroyedPanelHearsNothingMore)
{
    QPointer<QWidget> widget = platform_widget(panel);
    start_timer(panel, 5, 10);
    QMetaObject::invokeMethod(platform_control(panel, 1033), "click", Qt::QueuedConnection);
    destroy_window(panel);
    process_events(100);
    EXPECT_EQ(count_messages(panel, MSG_TIMER), 0);
    EXPECT_TRUE(commands_of(panel).empty());
    EXPECT_TRUE(widget.isNull());
}

TEST_F(Dialogs, PopupIsCentredTopLevelAndCancelsOnEscape)
{
    WindowHandle about = create_dialog(&aboutTemplate, main, record_proc);
    EXPECT_FALSE(is_window_visible(about));
    show_window(about, SW_SHOW);
    ASSERT_TRUE(wait_until([&] { return is_window_visible(about) != 0; }));
    QWidget *dialog = platform_widget(about);
    EXPECT_TRUE(dialog->isWindow() && !dialog->isModal());
    EXPECT_EQ(dialog->parentWidget(), platform_widget(main));
    QPoint centre = dialog->screen()->availableGeometry().center();
    EXPECT_LE((dialog->geometry().center() - centre).manhattanLength(), 4);
    QTest::keyClick(platform_control(about, 1), Qt::Key_Escape);
    ctl_click(about, 1);
    EXPECT_EQ(commands_of(about), (std::vector<uintptr_t>{ID_CANCEL, make_command(1, NOTIFY_CLICKED)}));
    EXPECT_TRUE(is_window_visible(about));
}

}   // namespace
