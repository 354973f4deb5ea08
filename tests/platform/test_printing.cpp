// test_printing.cpp -- Qt's print dialog behind print_begin, answered from inside its
// own loop as a user would: printing into a PDF is offered, page ranges are not, and
// the job goes where the dialog said.
#include "platform_support.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPrintDialog>
#include <QTemporaryDir>

TEST(Printing, QtDialogOffersPdfWithoutPageRangesAndTheJobGoesWhereItSaid)
{
    platform_init(0, nullptr);
    WindowHandle main = create_main_window("Tallymap 1.0a", 1024, 768, record_proc);
    show_window(main, SW_SHOW);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("page.pdf"));
    int pdfEntry = -1;
    bool rangesOffered = true;
    QWidget *owner = nullptr;
    answer_next_modal<QPrintDialog>([&](QPrintDialog *dialog) {
        owner = dialog->parentWidget();
        auto *printers = dialog->findChild<QComboBox *>(QStringLiteral("printers"));
        pdfEntry = printers ? printers->findText(QStringLiteral("Print to File (PDF)")) : -1;
        if (printers) printers->setCurrentIndex(pdfEntry);
        auto *ranges = dialog->findChild<QWidget *>(QStringLiteral("gbPrintRange"));
        rangesOffered = ranges && !ranges->isHidden();
        if (auto *file = dialog->findChild<QLineEdit *>(QStringLiteral("filename"))) file->setText(pdf);
        dialog->accept();
    });
    int width = 0, height = 0;
    ASSERT_EQ(print_begin(main, "Tallymap1.0 printout", &width, &height), PRINT_READY);
    EXPECT_GE(pdfEntry, 0);
    EXPECT_FALSE(rangesOffered);
    EXPECT_EQ(owner, platform_widget(main));
    EXPECT_GT(height, width);   // a portrait page
    const unsigned char red[3] = {255, 0, 0};
    EXPECT_EQ(print_draw_image(red, 1, 1, 0, 0, width, height), 1);
    EXPECT_EQ(print_end(), 1);
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(5) == "%PDF-");

    // cancelled: no job is left to end
    answer_next_modal<QPrintDialog>([](QPrintDialog *dialog) { dialog->reject(); });
    EXPECT_EQ(print_begin(main, "Tallymap1.0 printout", &width, &height), PRINT_CANCELLED);
    EXPECT_EQ(print_end(), 0);
    destroy_window(main);
    process_events(0);
}
