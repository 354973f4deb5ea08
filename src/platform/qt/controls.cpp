// controls.cpp -- the controls of a dialog addressed by id. Programmatic changes
// notify nobody (signals are blocked around them); ctl_click and ctl_choose act as
// the user would and send the notification.
#include "qt_internal.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QPlainTextDocumentLayout>
#include <QSignalBlocker>
#include <QTextBlock>

static ControlEntry *find_control(WindowHandle dialog, int id)
{
    if (!dialog || !dialog->proc) return nullptr;
    for (ControlEntry &entry : dialog->controls)
        if (entry.id == id) return entry.widget ? &entry : nullptr;
    return nullptr;
}

template <typename T> static T *control_as(WindowHandle dialog, int id)
{
    ControlEntry *entry = find_control(dialog, id);
    return entry ? qobject_cast<T *>(entry->widget.data()) : nullptr;
}

QWidget *platform_control(WindowHandle dialog, int id)
{
    ControlEntry *entry = find_control(dialog, id);
    return entry ? entry->widget.data() : nullptr;
}

// ---------------------------------------------------------------------------------
// Lists and combo boxes
// ---------------------------------------------------------------------------------
void ctl_add_item(WindowHandle dialog, int id, const char *text)
{
    if (auto *list = control_as<QListWidget>(dialog, id)) {
        QSignalBlocker block(list);
        list->addItem(from_text(text));
    } else if (auto *combo = control_as<QComboBox>(dialog, id)) {
        QSignalBlocker block(combo);
        int selected = combo->currentIndex();
        combo->addItem(from_text(text));
        combo->setCurrentIndex(selected);   // adding selects nothing
    }
}

void ctl_reset_items(WindowHandle dialog, int id)
{
    if (auto *list = control_as<QListWidget>(dialog, id)) {
        QSignalBlocker block(list);
        list->clear();
    } else if (auto *combo = control_as<QComboBox>(dialog, id)) {
        QSignalBlocker block(combo);
        combo->clear();
    }
}

int ctl_item_count(WindowHandle dialog, int id)
{
    if (auto *list = control_as<QListWidget>(dialog, id)) return list->count();
    if (auto *combo = control_as<QComboBox>(dialog, id)) return combo->count();
    return 0;
}

void ctl_set_selection(WindowHandle dialog, int id, int index)
{
    if (auto *list = control_as<QListWidget>(dialog, id)) {
        QSignalBlocker block(list);   // the list's own signals: the view still follows
        if (index >= 0 && index < list->count()) {
            list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
            list->scrollToItem(list->item(index));
        } else {
            list->clearSelection();
            list->setCurrentRow(-1);
        }
    } else if (auto *combo = control_as<QComboBox>(dialog, id)) {
        QSignalBlocker block(combo);
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
    }
}

int ctl_get_selection(WindowHandle dialog, int id)
{
    if (auto *list = control_as<QListWidget>(dialog, id)) {
        const QModelIndexList selected = list->selectionModel()->selectedIndexes();
        return selected.isEmpty() ? -1 : selected.first().row();
    }
    if (auto *combo = control_as<QComboBox>(dialog, id)) return combo->currentIndex();
    return -1;
}

int ctl_get_item_text(WindowHandle dialog, int id, int index, char *text, int size)
{
    QString item;
    if (auto *list = control_as<QListWidget>(dialog, id)) {
        if (index < 0 || index >= list->count()) return copy_text(QString(), text, size);
        item = list->item(index)->text();
    } else if (auto *combo = control_as<QComboBox>(dialog, id)) {
        if (index < 0 || index >= combo->count()) return copy_text(QString(), text, size);
        item = combo->itemText(index);
    }
    return copy_text(item, text, size);
}

void ctl_choose(WindowHandle dialog, int id, int index)
{
    ControlEntry *entry = find_control(dialog, id);
    if (!entry || (entry->kind != CTL_LISTBOX && entry->kind != CTL_COMBOBOX)) return;
    if (index < 0 || index >= ctl_item_count(dialog, id)) return;
    ctl_set_selection(dialog, id, index);
    deliver(dialog, MSG_COMMAND, make_command(uint32_t(id) & 0xFFFF, NOTIFY_SELCHANGE), 0);
}

// ---------------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------------
void ctl_set_text(WindowHandle dialog, int id, const char *text)
{
    ControlEntry *entry = find_control(dialog, id);
    if (!entry) return;
    QWidget *widget = entry->widget;
    QString value = from_text(text);
    QSignalBlocker block(widget);
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        if (entry->kind == CTL_PICTURE) label->setPixmap(QPixmap(value));
        else label->setText(value);
    } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        button->setText(value);
    } else if (auto *box = qobject_cast<QGroupBox *>(widget)) {
        box->setTitle(value);
    } else if (auto *edit = qobject_cast<QPlainTextEdit *>(widget)) {
        edit->setPlainText(value.replace(QLatin1String("\r\n"), QLatin1String("\n")));
    } else if (auto *line = qobject_cast<QLineEdit *>(widget)) {
        line->setText(value);
    }
}

int ctl_get_text(WindowHandle dialog, int id, char *text, int size)
{
    ControlEntry *entry = find_control(dialog, id);
    QString value;
    if (entry) {
        QWidget *widget = entry->widget;
        if (auto *label = qobject_cast<QLabel *>(widget)) value = label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(widget)) value = button->text();
        else if (auto *box = qobject_cast<QGroupBox *>(widget)) value = box->title();
        else if (auto *edit = qobject_cast<QPlainTextEdit *>(widget)) value = edit->toPlainText();
        else if (auto *line = qobject_cast<QLineEdit *>(widget)) value = line->text();
        else if (auto *combo = qobject_cast<QComboBox *>(widget)) value = combo->currentText();
        else if (auto *list = qobject_cast<QListWidget *>(widget)) {
            int row = ctl_get_selection(dialog, id);
            if (row >= 0) value = list->item(row)->text();
        }
    }
    return copy_text(value, text, size);
}

int ctl_line_count(WindowHandle dialog, int id)
{
    if (auto *edit = control_as<QPlainTextEdit>(dialog, id)) {
        // each paragraph laid out at the edit's width; layouts are kept, so only the
        // paragraphs changed since the last count cost anything
        QTextDocument *document = edit->document();
        auto *layout = qobject_cast<QPlainTextDocumentLayout *>(document->documentLayout());
        int lines = 0;
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
            if (layout) layout->ensureBlockLayout(block);
            lines += qMax(1, block.lineCount());
        }
        return lines;
    }
    if (control_as<QLineEdit>(dialog, id)) return 1;
    return 0;
}

void ctl_append_text(WindowHandle dialog, int id, const char *text)
{
    auto *edit = control_as<QPlainTextEdit>(dialog, id);
    if (!edit) return;
    QSignalBlocker block(edit);
    QTextCursor cursor(edit->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(from_text(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
}

int ctl_remove_first_line(WindowHandle dialog, int id)
{
    auto *edit = control_as<QPlainTextEdit>(dialog, id);
    if (!edit) return 0;
    QSignalBlocker block(edit);
    QTextCursor cursor(edit->document()->firstBlock());
    if (!cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor)) return 0;
    cursor.removeSelectedText();
    return 1;
}

void ctl_scroll_to_end(WindowHandle dialog, int id)
{
    if (auto *edit = control_as<QPlainTextEdit>(dialog, id)) {
        QSignalBlocker block(edit);
        edit->moveCursor(QTextCursor::End);
        edit->ensureCursorVisible();
        edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
    }
}

void ctl_set_focus(WindowHandle dialog, int id)
{
    if (ControlEntry *entry = find_control(dialog, id)) entry->widget->setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------------------------
// Buttons
// ---------------------------------------------------------------------------------
int ctl_is_checked(WindowHandle dialog, int id)
{
    auto *button = control_as<QAbstractButton>(dialog, id);
    return button && button->isChecked() ? 1 : 0;
}

// Sets one button's state, even the last checked one of an exclusive group.
static void set_button_checked(ControlEntry *entry, bool checked)
{
    auto *button = qobject_cast<QAbstractButton *>(entry->widget.data());
    if (!button || !button->isCheckable()) return;
    QSignalBlocker block(button);
    QButtonGroup *group = entry->radioGroup;
    if (group && !checked) group->setExclusive(false);
    button->setChecked(checked);
    if (group && !checked) group->setExclusive(true);
}

void ctl_set_checked(WindowHandle dialog, int id, int checked)
{
    if (ControlEntry *entry = find_control(dialog, id)) set_button_checked(entry, checked != 0);
}

void ctl_check_radio(WindowHandle dialog, int firstId, int lastId, int checkId)
{
    if (!dialog || !dialog->proc) return;
    for (ControlEntry &entry : dialog->controls)
        if (entry.widget && entry.id >= firstId && entry.id <= lastId && entry.id != checkId)
            set_button_checked(&entry, false);
    if (ControlEntry *entry = find_control(dialog, checkId); entry && checkId >= firstId && checkId <= lastId)
        set_button_checked(entry, true);
}

void ctl_click(WindowHandle dialog, int id)
{
    if (auto *button = control_as<QAbstractButton>(dialog, id)) button->click();
}

// ---------------------------------------------------------------------------------
// Progress bar: the position always shows inside the range (Qt ignores values
// outside it, which would leave the bar where it was)
// ---------------------------------------------------------------------------------
static void show_progress(ControlEntry *entry)
{
    auto *bar = qobject_cast<QProgressBar *>(entry->widget.data());
    if (!bar) return;
    if (entry->maximum > entry->minimum) {
        bar->setRange(entry->minimum, entry->maximum);
        bar->setValue(entry->position);
    } else {
        bar->setRange(0, 1);   // an empty range would make Qt's bar a busy indicator
        bar->setValue(0);
    }
}

void ctl_set_range(WindowHandle dialog, int id, int minimum, int maximum)
{
    ControlEntry *entry = find_control(dialog, id);
    if (!entry || entry->kind != CTL_PROGRESS) return;
    entry->minimum = minimum;
    entry->maximum = qMax(minimum, maximum);
    entry->position = qBound(entry->minimum, entry->position, entry->maximum);
    show_progress(entry);
}

void ctl_set_position(WindowHandle dialog, int id, int position)
{
    ControlEntry *entry = find_control(dialog, id);
    if (!entry || entry->kind != CTL_PROGRESS) return;
    entry->position = qBound(entry->minimum, position, entry->maximum);
    show_progress(entry);
}

int ctl_get_position(WindowHandle dialog, int id)
{
    ControlEntry *entry = find_control(dialog, id);
    return entry && entry->kind == CTL_PROGRESS ? entry->position : 0;
}
