// test_modal.cpp -- Qt's message box and file dialogs, registered by platform_init
// and answered from inside their own loops, in which timers keep ticking.
#include "platform_support.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>

#include <string>

namespace {

std::vector<std::string> boxes;   // "caption|text" of every box the test handler got

void record_box(const char *text, const char *caption, WindowHandle)
{
    boxes.push_back(std::string(caption) + "|" + text);
}

// What a user does: type the name into the dialog's name field.
void type_name(QFileDialog *dialog, const char *name)
{
    if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) edit->setText(QString::fromUtf8(name));
}

class Modal : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform_init(0, nullptr);
        recorded().clear();
        boxes.clear();
        main = create_main_window("Tallymap 1.0a", 1024, 768, record_proc);
        show_window(main, SW_SHOW);
        qtHandler = set_modal_handler(nullptr);
    }
    void TearDown() override
    {
        set_modal_handler(nullptr);
        destroy_window(main);
        process_events(0);
    }
    WindowHandle main = nullptr;
    ModalHandler qtHandler{};
};

TEST_F(Modal, QtMessageBoxHasOneOkButtonAndTimersTickInside)
{
    start_timer(main, 1, 20);
    QString title, text;
    int buttons = 0, ticksWhileOpen = 0;
    answer_next_modal<QMessageBox>([&](QMessageBox *box) {
        title = box->windowTitle();
        text = box->text();
        buttons = int(box->buttons().size());
        // ticks keep coming while the box is open (on a busy machine they come late)
        int before = count_messages(main, MSG_TIMER);
        for (int waited = 0; count_messages(main, MSG_TIMER) - before < 3 && waited < 3000; waited += 20)
            process_events(20);
        ticksWhileOpen = count_messages(main, MSG_TIMER) - before;
        box->button(QMessageBox::Ok)->click();
    });
    message_box("The chosen CSV cannot be opened", "ERROR", main);   // through Qt's registered handler
    EXPECT_EQ(title, QStringLiteral("ERROR"));
    EXPECT_EQ(text, QStringLiteral("The chosen CSV cannot be opened"));
    EXPECT_EQ(buttons, 1);
    EXPECT_GE(ticksWhileOpen, 3);
    stop_timer(main, 1);
}

TEST_F(Modal, OpenDialogTakesAMissingFileAndReturnsItsAbsolutePath)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QStringList filters;
    bool native = true;
    QFileDialog::FileMode mode = QFileDialog::ExistingFile;
    QString directory;
    answer_next_modal<QFileDialog>([&](QFileDialog *dialog) {
        filters = dialog->nameFilters();
        native = !dialog->testOption(QFileDialog::DontUseNativeDialog);
        mode = dialog->fileMode();
        directory = dialog->directory().absolutePath();
        type_name(dialog, "missing.csv");
        static_cast<QDialog *>(dialog)->accept();   // as the Open or Save button does
    });
    char path[256] = {};
    QByteArray start = dir.path().toUtf8();
    EXPECT_EQ(platform_open_file(main, start.constData(), ".csv", path, sizeof path), 1);
    EXPECT_EQ(QString::fromUtf8(path), dir.path() + QStringLiteral("/missing.csv"));
    EXPECT_EQ(filters, (QStringList{QStringLiteral(".csv (*.csv)"), QStringLiteral("All files (*)")}));
    EXPECT_FALSE(native);
    EXPECT_EQ(mode, QFileDialog::AnyFile);
    EXPECT_EQ(directory, QDir(dir.path()).absolutePath());

    // cancelled: 0, the buffer as it was
    answer_next_modal<QFileDialog>([](QFileDialog *dialog) { dialog->reject(); });
    std::snprintf(path, sizeof path, "kept");
    EXPECT_EQ(platform_open_file(main, start.constData(), ".csv", path, sizeof path), 0);
    EXPECT_STREQ(path, "kept");
}

TEST_F(Modal, SaveDialogAddsNoSuffixAndRefusesAPathTooLong)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray start = dir.path().toUtf8();
    bool confirms = false;
    QString suffix = QStringLiteral("unset");
    answer_next_modal<QFileDialog>([&](QFileDialog *dialog) {
        confirms = !dialog->testOption(QFileDialog::DontConfirmOverwrite) && dialog->acceptMode() == QFileDialog::AcceptSave;
        suffix = dialog->defaultSuffix();
        type_name(dialog, "report");
        static_cast<QDialog *>(dialog)->accept();   // as the Open or Save button does
    });
    char path[256] = {};
    EXPECT_EQ(platform_save_file(main, start.constData(), ".csv", path, sizeof path), 1);
    EXPECT_EQ(QString::fromUtf8(path), dir.path() + QStringLiteral("/report"));
    EXPECT_TRUE(confirms);
    EXPECT_TRUE(suffix.isEmpty());

    // a path that does not fit: a message box says so, and nothing is returned
    ModalHandler test = {record_box, qtHandler.openFile, qtHandler.saveFile};
    set_modal_handler(&test);
    answer_next_modal<QFileDialog>([](QFileDialog *dialog) {
        type_name(dialog, "report");
        static_cast<QDialog *>(dialog)->accept();   // as the Open or Save button does
    });
    char shortPath[8] = "kept";
    EXPECT_EQ(platform_save_file(main, start.constData(), ".csv", shortPath, sizeof shortPath), 0);
    EXPECT_STREQ(shortPath, "kept");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("too long"), std::string::npos);
}

}   // namespace
