// printing.cpp -- the print job behind print_begin, print_draw_image and print_end:
// Qt's print dialog on a fresh QPrinter, one QPainter page, one image drawn smoothly
// scaled. On Linux every page goes out as PDF: into the file the user chose, or to
// CUPS, which receives the document when the painter ends.
//
// Where a Windows printer needs a pixel format, StartDoc/StartPage and a GL context on
// its device context, a QPrinter needs only a QPainter: begin starts the job and its
// first page, end finishes both. The main window's GL context is never given up.
#include "qt_internal.h"

#include <QEvent>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include <cstring>
#include <memory>

// The job from print_begin to print_end; empty between jobs.
struct QtPrintJob {
    std::unique_ptr<QPrinter> printer;      // made per job, so each starts from the default printer
    std::unique_ptr<QPainter> painter;      // active from the page's start to its end
    QString                   outputFile;   // the PDF file printed into; empty for a printer
    int                       pageHeight;   // printable height in device pixels
    bool                      failed;       // a drawing failed: the job does not count as printed
};

static QtPrintJob         job;
static PrintDialogHandler platformDialog;   // qt_print_dialog, registered by platform_init
static PrintDialogHandler testAnswer;       // a test's answer to the dialog; null: the platform's

// Longest PDF path a dialog answer may hold.
constexpr int PRINT_PATH_SIZE = 4096;

// The dialog's options leave out page ranges, yet Qt 6.4 still shows its print range
// group when the dialog shows; the document has one page, so the group goes then.
class PageRangeHider final : public QObject {
public:
    using QObject::QObject;
protected:
    bool eventFilter(QObject *dialog, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            if (auto *group = dialog->findChild<QWidget *>(QStringLiteral("gbPrintRange"))) group->hide();
        return false;
    }
};

// Qt's dialog on the job's printer. The printer comes back set up as the user chose,
// print to file included, so outputFile stays empty.
int qt_print_dialog(WindowHandle owner, char *outputFile, int size)
{
    QPrintDialog dialog(job.printer.get(), owner_widget(owner));
    // no page ranges, no selection, no current page; print to file stays offered
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize |
                      QAbstractPrintDialog::PrintCollateCopies);
    dialog.setMinMax(1, 1);
    PageRangeHider hider(&dialog);
    dialog.installEventFilter(&hider);
    copy_text(QString(), outputFile, size);
    return dialog.exec() == QDialog::Accepted;
}

void register_platform_print_dialog(PrintDialogHandler dialog)
{
    platformDialog = dialog;
}

PrintDialogHandler set_print_dialog_handler(PrintDialogHandler handler)
{
    PrintDialogHandler previous = testAnswer;
    testAnswer = handler;
    return previous;
}

// The painter goes before the printer it paints on.
static void release_job()
{
    job.painter.reset();
    job.printer.reset();
    job = QtPrintJob{};
}

// A finished PDF ends in "%%EOF". A file cut short (a full disk) or a device that
// takes nothing (/dev/full) does not, and Qt's PDF writer reports neither.
static bool pdf_complete(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const qint64 size = file.size();
    if (size > 64 && !file.seek(size - 64)) return false;
    return file.read(64).contains("%%EOF");
}

int print_begin(WindowHandle owner, const char *documentName, int *pageWidth, int *pageHeight)
{
    if (job.printer) print_end();   // a job nobody ended goes before a new one starts
    job.printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    job.printer->setDocName(from_text(documentName));

    char chosen[PRINT_PATH_SIZE] = "";
    PrintDialogHandler dialog = testAnswer ? testAnswer : platformDialog;
    const int accepted = dialog ? dialog(owner, chosen, int(sizeof chosen)) : 0;
    if (!accepted) {
        release_job();
        return PRINT_CANCELLED;
    }
    chosen[sizeof chosen - 1] = '\0';
    if (chosen[0]) {
        job.printer->setOutputFormat(QPrinter::PdfFormat);
        job.printer->setOutputFileName(from_text(chosen));
    }
    job.outputFile = job.printer->outputFileName();

    // the job and its first page start here; a file that cannot be made fails here
    job.painter = std::make_unique<QPainter>();
    if (!job.painter->begin(job.printer.get())) {
        release_job();
        return PRINT_FAILED;
    }
    const int width = job.printer->width(), height = job.printer->height();
    if (width <= 0 || height <= 0) {
        print_end();
        return PRINT_FAILED;
    }
    job.pageHeight = height;
    if (pageWidth) *pageWidth = width;
    if (pageHeight) *pageHeight = height;
    return PRINT_READY;
}

int print_draw_image(const unsigned char *rgb, int imageWidth, int imageHeight,
                     double x, double y, double width, double height)
{
    if (!job.painter || !job.painter->isActive()) return 0;
    QImage image;
    if (rgb && imageWidth > 0 && imageHeight > 0) image = QImage(imageWidth, imageHeight, QImage::Format_RGB888);
    if (image.isNull()) {   // nothing to draw, or no memory for it
        job.failed = true;
        return 0;
    }
    // our rows run bottom first, a QImage's top first; its rows are padded to 4 bytes
    const size_t rowBytes = size_t(imageWidth) * 3;
    for (int row = 0; row < imageHeight; ++row)
        std::memcpy(image.scanLine(imageHeight - 1 - row), rgb + size_t(row) * rowBytes, rowBytes);
    // Linear filtering where the page is rasterised here; a PDF carries no filter and
    // the viewer or printer smooths. Lossless: JPEG would blur the map's thin lines.
    job.painter->setRenderHint(QPainter::SmoothPixmapTransform);
    job.painter->setRenderHint(QPainter::LosslessImageRendering);
    // the painter's y runs down from the top of the printable area
    job.painter->drawImage(QRectF(x, job.pageHeight - y - height, width, height), image);
    return 1;
}

int print_end()
{
    if (!job.printer) return 0;
    const bool ended = job.painter && job.painter->isActive() && job.painter->end();
    const bool written = job.outputFile.isEmpty() || pdf_complete(job.outputFile);
    const bool printed = ended && written && !job.failed;
    release_job();
    return printed ? 1 : 0;
}
