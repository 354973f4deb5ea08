// text_image.cpp -- text drawn into an RGB picture with the UI font, for the names the
// GL scene shows beside the campus markers. QtGui only: it needs a QGuiApplication on
// any platform (the offscreen one included, so no X server) but no widget and no window.
#include "platform.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <clocale>
#include <cstdio>
#include <cstring>

// A console program's standard error carries its own lines only: Qt's notices (such
// as a missing runtime folder) are dropped, its critical messages kept.
static void console_messages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
}

void text_platform_init()
{
    if (QCoreApplication::instance()) return;
    qInstallMessageHandler(console_messages);
    static char name[] = "tallymap";
    static char platformOption[] = "-platform";
    static char platform[] = "offscreen";
    static char *argv[] = {name, platformOption, platform, nullptr};
    static int argc = 3;   // the application keeps a reference to it
    new QGuiApplication(argc, argv);
    std::setlocale(LC_NUMERIC, "C");   // the application takes the user's; numbers keep C's
}

int render_text(const char *text, unsigned char *rgb, int width, int height)
{
    if (!rgb || width <= 0 || height <= 0) return 0;
    std::memset(rgb, 255, size_t(width) * size_t(height) * 3);
    // fonts exist only inside a GUI application
    if (!text || !*text || !qobject_cast<QGuiApplication *>(QCoreApplication::instance())) return 0;

    QImage image(width, height, QImage::Format_RGB888);
    image.fill(Qt::white);
    const QString line = QString::fromUtf8(text);
    const QFont font = QGuiApplication::font();
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, 0, width, height), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, line);
    painter.end();

    // QImage rows run top down; the caller's run bottom up
    for (int y = 0; y < height; ++y)
        std::memcpy(rgb + size_t(height - 1 - y) * size_t(width) * 3, image.constScanLine(y), size_t(width) * 3);
    return QFontMetrics(font).horizontalAdvance(line);
}
