// dialogs.cpp -- dialogs built from templates: the tool panel (a framed child of the
// main window's client area with a small caption strip and close box, dragged by
// its caption), the pop-up dialog, and the controls of both, created in template
// order and reporting (id, notification) to the dialog's procedure.
#include "qt_internal.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QToolButton>

static void send_command(PlatformWindow *dialog, int id, uint32_t notification)
{
    deliver(dialog, MSG_COMMAND, make_command(uint32_t(id) & 0xFFFF, notification), 0);
}

// ---------------------------------------------------------------------------------
// Tool panel widgets
// ---------------------------------------------------------------------------------
class ToolPanel final : public QFrame {
public:
    ToolPanel(PlatformWindow *window, QWidget *parent) : QFrame(parent), owner(window)
    {
        setFrameStyle(QFrame::WinPanel | QFrame::Raised);
        setAutoFillBackground(true);   // opaque over the GL view
    }
    PlatformWindow *const owner;
protected:
    // keys end here: they belong to the panel, never to the view below it
    // Esc is the cancel command; Enter clicks the push button that has the focus,
    // elsewhere it is the OK command (id 1), as in a dialog
    void keyPressEvent(QKeyEvent *event) override
    {
        const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (event->key() == Qt::Key_Escape && plain) {
            send_command(owner, ID_CANCEL, NOTIFY_CLICKED);
        } else if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && plain) {
            auto *button = qobject_cast<QPushButton *>(focusWidget());
            if (button && isAncestorOf(button)) button->click();
            else send_command(owner, 1, NOTIFY_CLICKED);
        }
        event->accept();
    }
    void keyReleaseEvent(QKeyEvent *event) override { event->accept(); }
    void mousePressEvent(QMouseEvent *event) override { raise(); event->accept(); }
    // the view below shows the uncovered area again only if told
    void moveEvent(QMoveEvent *event) override
    {
        QFrame::moveEvent(event);
        recompose_gl_view(parentWidget(), QRect(event->oldPos(), size()));
    }
    void hideEvent(QHideEvent *event) override
    {
        QFrame::hideEvent(event);
        recompose_gl_view(parentWidget(), geometry());
    }
};

// The caption strip: caption text on the left, close box on the right; dragging it
// moves the panel, kept inside its parent's area.
class CaptionStrip final : public QWidget {
public:
    CaptionStrip(const QString &text, QWidget *owner) : QWidget(owner), caption(text), panel(owner) {}
    const QString caption;
protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Highlight));
        painter.setPen(palette().color(QPalette::HighlightedText));
        QRect textArea = rect().adjusted(3, 0, -height(), 0);
        painter.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         fontMetrics().elidedText(caption, Qt::ElideRight, textArea.width()));
    }
    void mousePressEvent(QMouseEvent *event) override
    {
        panel->raise();
        if (event->button() != Qt::LeftButton) return;
        dragging = true;
        grabOffset = event->globalPosition().toPoint() - panel->pos();
    }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (!dragging || !panel->parentWidget()) return;
        QPoint target = event->globalPosition().toPoint() - grabOffset;
        QSize area = panel->parentWidget()->size();
        target.setX(qBound(0, target.x(), qMax(0, area.width() - panel->width())));
        target.setY(qBound(0, target.y(), qMax(0, area.height() - panel->height())));
        panel->move(target);
    }
    void mouseReleaseEvent(QMouseEvent *) override { dragging = false; }
private:
    QWidget *const panel;
    bool    dragging = false;
    QPoint  grabOffset;   // global press position minus the panel's position
};

// The pop-up: a top-level dialog whose Esc and close button are the cancel command.
class PopupDialog final : public QDialog {
public:
    PopupDialog(PlatformWindow *window, QWidget *parent) : QDialog(parent), owner(window) {}
    PlatformWindow *const owner;
    void reject() override { send_command(owner, ID_CANCEL, NOTIFY_CLICKED); }
protected:
    void closeEvent(QCloseEvent *event) override
    {
        event->ignore();   // the procedure hides the box
        send_command(owner, ID_CANCEL, NOTIFY_CLICKED);
    }
};

// Check boxes also report focus changes.
class FocusNotifier final : public QObject {
public:
    FocusNotifier(PlatformWindow *window, int control, QObject *parent) : QObject(parent), owner(window), id(control) {}
protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::FocusIn) send_command(owner, id, NOTIFY_SETFOCUS);
        else if (event->type() == QEvent::FocusOut) send_command(owner, id, NOTIFY_KILLFOCUS);
        return false;
    }
private:
    PlatformWindow *const owner;
    const int id;
};

// A check box with its text on the left: the text from the control's left edge, the
// box at its right edge, the whole control a click target. (A right-to-left layout
// would put the box on the right but push the text against it, to the right edge.)
class LeftTextCheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;
protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QRect whole = option.rect;
        QRect indicator = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
        indicator.moveRight(whole.right());
        const int spacing = style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this);
        option.rect = indicator;
        painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, option);
        option.rect = QRect(whole.left(), whole.top(), indicator.left() - spacing - whole.left(), whole.height());
        painter.drawControl(QStyle::CE_CheckBoxLabel, option);
        if (option.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = painter.fontMetrics().boundingRect(option.rect, Qt::AlignLeft | Qt::AlignVCenter, option.text);
            painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }
    bool hitButton(const QPoint &position) const override { return rect().contains(position); }
};

// ---------------------------------------------------------------------------------
// Controls
// ---------------------------------------------------------------------------------
static Qt::Alignment text_alignment(uint32_t style)
{
    Qt::Alignment horizontal = (style & STYLE_CENTRE) ? Qt::AlignHCenter : Qt::AlignLeft;
    Qt::Alignment vertical = (style & STYLE_VCENTRE) ? Qt::AlignVCenter : Qt::AlignTop;
    return horizontal | vertical;
}

static QWidget *make_control(PlatformWindow *dialog, const ControlTemplate &control, QWidget *client,
                             QButtonGroup *radioGroup)
{
    const int id = control.id;
    const uint32_t style = control.style;
    const QString text = from_text(control.text);
    switch (control.kind) {
    case CTL_GROUPBOX: {
        auto *box = new QGroupBox(text, client);
        if (style & STYLE_CENTRE) box->setAlignment(Qt::AlignHCenter);
        box->setFocusPolicy(Qt::NoFocus);
        return box;
    }
    case CTL_LISTBOX: {
        auto *list = new QListWidget(client);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setVerticalScrollBarPolicy((style & STYLE_VSCROLL) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);   // long items are cut, as in a list box
        // Only the user's changes notify: programmatic ones block the list's signals.
        // A list box cannot be emptied by the user: a Ctrl + click or Ctrl + Space on
        // the chosen entry, or a click below the entries, takes the selection away in
        // Qt; it is put back and nobody hears of it.
        QObject::connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, list,
                         [dialog, id, list](const QItemSelection &, const QItemSelection &deselected) {
                             if (list->signalsBlocked()) return;
                             if (list->selectionModel()->hasSelection()) {
                                 send_command(dialog, id, NOTIFY_SELCHANGE);
                             } else if (!deselected.isEmpty()) {
                                 QSignalBlocker block(list);
                                 list->setCurrentIndex(deselected.indexes().first());
                                 list->selectionModel()->select(deselected, QItemSelectionModel::Select);
                             }
                         });
        return list;
    }
    case CTL_COMBOBOX: {
        auto *combo = new QComboBox(client);
        combo->setEditable(false);
        QObject::connect(combo, &QComboBox::activated, combo,
                         [dialog, id] { send_command(dialog, id, NOTIFY_SELCHANGE); });
        return combo;
    }
    case CTL_BUTTON: {
        auto *button = new QPushButton(text, client);
        button->setAutoDefault(false);
        button->setDefault(style & STYLE_DEFAULT);
        QObject::connect(button, &QPushButton::clicked, button, [dialog, id] { send_command(dialog, id, NOTIFY_CLICKED); });
        return button;
    }
    case CTL_RADIOBUTTON: {
        QAbstractButton *button;
        if (style & STYLE_PUSHLIKE) {
            auto *push = new QPushButton(text, client);
            push->setAutoDefault(false);
            button = push;
        } else {
            button = new QRadioButton(text, client);
        }
        button->setCheckable(true);
        radioGroup->addButton(button);
        QObject::connect(button, &QAbstractButton::clicked, button, [dialog, id] { send_command(dialog, id, NOTIFY_CLICKED); });
        return button;
    }
    case CTL_CHECKBOX: {
        QCheckBox *box = (style & STYLE_LEFTTEXT) ? new LeftTextCheckBox(text, client) : new QCheckBox(text, client);
        QObject::connect(box, &QCheckBox::clicked, box, [dialog, id] { send_command(dialog, id, NOTIFY_CLICKED); });
        box->installEventFilter(new FocusNotifier(dialog, id, box));
        return box;
    }
    case CTL_STATIC: {
        auto *label = new QLabel(client);
        label->setTextFormat(Qt::PlainText);
        label->setText(text);
        label->setAlignment(text_alignment(style));
        if (style & STYLE_SUNKEN) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        else if (style & STYLE_BORDER) label->setFrameStyle(QFrame::Box | QFrame::Plain);
        return label;
    }
    case CTL_EDIT: {
        if (style & STYLE_MULTILINE) {
            auto *edit = new QPlainTextEdit(client);
            edit->setTabChangesFocus(true);
            edit->setReadOnly(style & STYLE_READONLY);
            // a log the user cannot edit has nothing to undo: a history would keep
            // every appended and trimmed line until the text is replaced
            if (style & STYLE_READONLY) edit->setUndoRedoEnabled(false);
            edit->setVerticalScrollBarPolicy((style & STYLE_VSCROLL) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
            edit->setPlainText(text);
            return edit;
        }
        auto *line = new QLineEdit(text, client);
        line->setReadOnly(style & STYLE_READONLY);
        return line;
    }
    case CTL_PROGRESS: {
        auto *bar = new QProgressBar(client);
        bar->setTextVisible(false);
        bar->setRange(0, 100);
        bar->setValue(0);
        return bar;
    }
    case CTL_PICTURE: {
        auto *picture = new QLabel(client);
        picture->setAlignment(text_alignment(style));
        QPixmap pixmap(text);   // a resource (":/...") or a file; nothing shows without one
        if (!pixmap.isNull()) picture->setPixmap(pixmap);
        if (style & STYLE_SUNKEN) picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        return picture;
    }
    }
    return nullptr;
}

// The UI font is wider than the one the templates were laid out for: a label or check
// box whose text does not fit grows to it (to the right, on both sides when centred,
// to the left when its box is on the right) rather than losing letters.
static void widen_to_text(QRect &rect, const QWidget *control, uint32_t style)
{
    int needed = control->sizeHint().width();
    if (needed <= rect.width()) return;
    int extra = needed - rect.width();
    if (style & STYLE_CENTRE) rect.adjust(-extra / 2, 0, extra - extra / 2, 0);
    else if (style & STYLE_LEFTTEXT) rect.setLeft(rect.left() - extra);
    else rect.setWidth(needed);
}

static bool takes_focus(ControlKind kind)
{
    return kind == CTL_LISTBOX || kind == CTL_COMBOBOX || kind == CTL_BUTTON || kind == CTL_RADIOBUTTON ||
           kind == CTL_CHECKBOX || kind == CTL_EDIT;
}

// Creates the controls in template order. Radio buttons in a run of consecutive radio
// controls form one exclusive group (STYLE_GROUP starts a new one). Tab visits the
// controls in template order; when the template marks tab stops, only those.
static void make_controls(PlatformWindow *dialog, const DialogTemplate &tmpl, QWidget *client)
{
    bool anyTabStop = false;
    for (int i = 0; i < tmpl.controlCount; ++i)
        if (tmpl.controls[i].style & STYLE_TABSTOP) anyTabStop = true;

    QButtonGroup *group = nullptr;
    QWidget *previous = nullptr;
    for (int i = 0; tmpl.controls && i < tmpl.controlCount; ++i) {
        const ControlTemplate &control = tmpl.controls[i];
        if (control.kind != CTL_RADIOBUTTON) group = nullptr;
        else if (!group || (control.style & STYLE_GROUP)) {
            group = new QButtonGroup(client);
            group->setExclusive(true);
        }
        QWidget *widget = make_control(dialog, control, client, group);
        if (!widget) continue;
        QRect rect = dialog_rect_to_pixels(control.x, control.y, control.width, control.height);
        if (control.kind == CTL_COMBOBOX)   // the template height includes the dropped list
            rect.setHeight(qMin(rect.height(), widget->sizeHint().height()));
        if (control.kind == CTL_PICTURE && rect.isEmpty())
            rect.setSize(widget->sizeHint());
        if (control.kind == CTL_STATIC || control.kind == CTL_CHECKBOX) widen_to_text(rect, widget, control.style);
        widget->setGeometry(rect);
        // a hidden dialog gets its resize events only when first shown; a multi-line
        // edit needs its width now, to count its wrapped lines
        if (auto *edit = qobject_cast<QPlainTextEdit *>(widget)) {
            QResizeEvent resize(rect.size(), QSize());
            QApplication::sendEvent(edit, &resize);
        }
        if (takes_focus(control.kind)) {
            if (anyTabStop && !(control.style & STYLE_TABSTOP)) widget->setFocusPolicy(Qt::ClickFocus);
            if (previous) QWidget::setTabOrder(previous, widget);
            previous = widget;
        }
        dialog->controls.push_back(ControlEntry{control.id, control.kind, control.style, widget,
                                                control.kind == CTL_RADIOBUTTON ? group : nullptr, 0, 100, 0});
    }
}

// ---------------------------------------------------------------------------------
// Dialog creation
// ---------------------------------------------------------------------------------
// The area a panel floats in: the main window's GL view, or its central widget
// (made when there is none).
static QWidget *panel_area(WindowHandle parent)
{
    if (!parent || !parent->proc || !parent->widget) return nullptr;
    if (parent->kind == WINDOW_MAIN) {
        if (parent->glView) return parent->glView;
        auto *main = static_cast<QMainWindow *>(parent->widget.data());
        if (!main->centralWidget()) main->setCentralWidget(new QWidget(main));
        return main->centralWidget();
    }
    return parent->client ? parent->client.data() : parent->widget.data();
}

static QWidget *make_panel(PlatformWindow *window, const DialogTemplate &tmpl, WindowHandle parent)
{
    QWidget *area = panel_area(parent);
    auto *panel = new ToolPanel(window, area);
    if (!area) panel->setWindowFlags(Qt::Tool);
    const int frame = panel->frameWidth();
    const int captionHeight = QFontMetrics(QApplication::font()).height() + 4;
    const QRect rect = dialog_rect_to_pixels(tmpl.x, tmpl.y, tmpl.width, tmpl.height);

    auto *caption = new CaptionStrip(from_text(tmpl.caption), panel);
    caption->setObjectName(QStringLiteral("caption"));
    caption->setGeometry(frame, frame, rect.width(), captionHeight);
    auto *close = new QToolButton(caption);
    close->setObjectName(QStringLiteral("closeBox"));
    close->setFocusPolicy(Qt::NoFocus);
    close->setAutoRaise(true);
    QIcon icon = panel->style()->standardIcon(QStyle::SP_TitleBarCloseButton);
    if (icon.isNull()) close->setText(QString(QChar(0x00D7)));
    else close->setIcon(icon);
    close->setGeometry(rect.width() - captionHeight + 1, 1, captionHeight - 2, captionHeight - 2);
    QObject::connect(close, &QToolButton::clicked, close, [window] { send_command(window, ID_CANCEL, NOTIFY_CLICKED); });

    auto *client = new QWidget(panel);
    client->setGeometry(frame, frame + captionHeight, rect.width(), rect.height());
    window->client = client;
    panel->setGeometry(rect.x(), rect.y(), rect.width() + 2 * frame, rect.height() + captionHeight + 2 * frame);
    return panel;
}

static QWidget *make_popup(PlatformWindow *window, const DialogTemplate &tmpl, WindowHandle parent)
{
    QWidget *owner = parent && parent->proc ? parent->widget.data() : nullptr;
    auto *popup = new PopupDialog(window, owner);
    popup->setModal(false);
    popup->setWindowTitle(from_text(tmpl.caption));
    const QRect rect = dialog_rect_to_pixels(tmpl.x, tmpl.y, tmpl.width, tmpl.height);
    popup->setFixedSize(rect.size());
    QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen) popup->move(screen->availableGeometry().center() - QPoint(rect.width() / 2, rect.height() / 2));
    window->client = popup;
    return popup;
}

WindowHandle create_dialog(const DialogTemplate *dialog, WindowHandle parent, WindowProc proc)
{
    if (!dialog) return nullptr;
    // no procedure until the controls exist: creation notifies nobody
    PlatformWindow *window = new_platform_window(dialog->popup ? WINDOW_POPUP : WINDOW_PANEL, nullptr);
    QWidget *widget = dialog->popup ? make_popup(window, *dialog, parent) : make_panel(window, *dialog, parent);
    window->widget = widget;
    widget->setObjectName(QStringLiteral("dialog%1").arg(dialog->id));
    make_controls(window, *dialog, window->client);
    window->proc = proc;
    deliver(window, MSG_INITDIALOG, 0, 0);
    if (!window->proc) return window;   // the procedure destroyed it
    if (dialog->visible) {
        widget->show();
        widget->raise();
    } else {
        widget->hide();
    }
    return window;
}

QWidget *platform_close_box(WindowHandle panel)
{
    return panel && panel->widget ? panel->widget->findChild<QWidget *>(QStringLiteral("closeBox")) : nullptr;
}

QWidget *platform_caption(WindowHandle panel)
{
    return panel && panel->widget ? panel->widget->findChild<QWidget *>(QStringLiteral("caption")) : nullptr;
}
