// application.cpp -- the application object, the message loop, timers, the window
// records and their delivery, and the modal services (message box, file dialogs)
// that platform_init registers as the platform's own.
#include "qt_internal.h"
#include "modal_default.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMessageBox>
#include <QStringDecoder>
#include <QSurfaceFormat>
#include <QTimer>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

static QApplication *application;   // created by platform_init, kept for the whole run
static bool          quitPosted;    // post_quit ran while no loop was running
static int           quitCode;      // the code given to post_quit
static bool          inMainLoop;    // run_message_loop is inside QApplication::exec

// ---------------------------------------------------------------------------------
// Window records and delivery
// ---------------------------------------------------------------------------------
static std::vector<std::unique_ptr<PlatformWindow>> &window_records()
{
    static std::vector<std::unique_ptr<PlatformWindow>> records;
    return records;
}

PlatformWindow *new_platform_window(WindowKind kind, WindowProc proc)
{
    auto record = std::make_unique<PlatformWindow>();
    record->kind = kind;
    record->proc = proc;
    window_records().push_back(std::move(record));
    return window_records().back().get();
}

intptr_t deliver(PlatformWindow *window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (!window || !window->proc) return 0;
    return window->proc(window, message, wParam, lParam);
}

static bool lies_inside(const QObject *object, const QObject *root)
{
    for (; object; object = object->parent())
        if (object == root) return true;
    return false;
}

static void retire(PlatformWindow *window)
{
    window->proc = nullptr;
    for (WindowTimer &timer : window->timers)
        if (timer.timer) timer.timer->stop();
}

void retire_window_tree(PlatformWindow *window)
{
    QWidget *root = window->widget;
    retire(window);
    if (!root) return;
    for (auto &record : window_records())
        if (record.get() != window && record->widget && lies_inside(record->widget, root))
            retire(record.get());
}

// ---------------------------------------------------------------------------------
// Text and units
// ---------------------------------------------------------------------------------
QString from_text(const char *text)
{
    if (!text) return QString();
    QByteArrayView bytes(text, qsizetype(std::strlen(text)));
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(bytes);
    if (!decoder.hasError()) return decoded;
    return QString::fromLatin1(bytes);
}

int copy_text(const QString &text, char *buffer, int size)
{
    if (!buffer || size < 1) return 0;
    QByteArray bytes = text.toUtf8();
    int length = int(qMin<qsizetype>(bytes.size(), size - 1));
    // never end inside a multi-byte character: back off over continuation bytes
    if (length < bytes.size())
        while (length > 0 && (uint8_t(bytes[length]) & 0xC0) == 0x80) --length;
    std::memcpy(buffer, bytes.constData(), size_t(length));
    buffer[length] = '\0';
    return length;
}

QSize dialog_base_units()
{
    QFontMetrics metrics(QApplication::font());
    int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize((letters / 26 + 1) / 2, metrics.height());
}

// Rounds like the dialog manager's MulDiv.
static int scale_units(int units, int base, int divisor)
{
    int64_t product = int64_t(units) * base;
    return int(product >= 0 ? (product + divisor / 2) / divisor : -((-product + divisor / 2) / divisor));
}

QRect dialog_rect_to_pixels(int x, int y, int width, int height)
{
    QSize base = dialog_base_units();
    return QRect(scale_units(x, base.width(), 4), scale_units(y, base.height(), 8),
                 scale_units(width, base.width(), 4), scale_units(height, base.height(), 8));
}

// ---------------------------------------------------------------------------------
// Modal services
// ---------------------------------------------------------------------------------
QWidget *owner_widget(WindowHandle owner)
{
    return owner && owner->proc ? owner->widget.data() : nullptr;
}

static void qt_message_box(const char *text, const char *caption, WindowHandle owner)
{
    QMessageBox box(QMessageBox::NoIcon, from_text(caption), from_text(text), QMessageBox::Ok,
                    owner_widget(owner));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

static int run_file_dialog(WindowHandle owner, const char *startDirectory, const char *extension,
                           char *path, int size, bool save)
{
    QFileDialog dialog(owner_widget(owner));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);   // an open dialog takes a name that does not exist
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setDefaultSuffix(QString());          // the caller appends the extension itself
    if (startDirectory && *startDirectory) dialog.setDirectory(from_text(startDirectory));
    QStringList filters;
    QString ext = from_text(extension);
    if (!ext.isEmpty()) filters << QStringLiteral("%1 (*%1)").arg(ext);
    filters << QStringLiteral("All files (*)");
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted) return 0;
    QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return 0;
    QString absolute = QDir::fromNativeSeparators(QFileInfo(chosen.first()).absoluteFilePath());
    QByteArray bytes = absolute.toUtf8();
    if (!path || size < 1 || bytes.size() >= size) return -1;   // the caller says so
    copy_text(absolute, path, size);
    return 1;
}

static int qt_open_file(WindowHandle owner, const char *startDirectory, const char *extension,
                        char *path, int size)
{
    return run_file_dialog(owner, startDirectory, extension, path, size, false);
}

static int qt_save_file(WindowHandle owner, const char *startDirectory, const char *extension,
                        char *path, int size)
{
    return run_file_dialog(owner, startDirectory, extension, path, size, true);
}

// ---------------------------------------------------------------------------------
// Application and message loop
// ---------------------------------------------------------------------------------
// The value after Qt's own option "-NAME" (or "--NAME") on the command line, or nullptr.
static const char *qt_option(int argc, char **argv, const char *name)
{
    for (int i = 1; argv && i + 1 < argc; ++i) {
        const char *option = argv[i];
        if (option[0] != '-') continue;
        option += option[1] == '-' ? 2 : 1;
        if (std::strcmp(option, name) == 0) return argv[i + 1];
    }
    return nullptr;
}

int display_available(int argc, char **argv)
{
    // the plugin Qt loads: its -platform option, QT_QPA_PLATFORM, else its default, X
    const char *platform = qt_option(argc, argv, "platform");
    if (!platform || !*platform) platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || !*platform) {
        const char *session = std::getenv("XDG_SESSION_TYPE");
        if (session && std::strcmp(session, "wayland") == 0) return 1;   // Qt may choose Wayland there
        platform = "xcb";
    }
    // "xcb" or "xcb:OPTIONS"; another plugin (offscreen, minimal) or a list to try in
    // turn ("wayland;xcb") is Qt's to find
    if (std::strncmp(platform, "xcb", 3) != 0 || (platform[3] != '\0' && platform[3] != ':')) return 1;
    xcb_connection_t *connection = xcb_connect(qt_option(argc, argv, "display"), nullptr);
    const int opened = !xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    return opened;
}

void platform_init(int argc, char **argv)
{
    if (!QApplication::instance()) {
#ifdef __GLIBC__
        // Large temporary buffers (the base map as read, snapshots) are mapped and go
        // back to the system when freed; by default the threshold grows with the first
        // such buffer and later ones stay in the heap for the rest of the run. Below a
        // megabyte the toolkit and the GL driver allocate often enough that mapping
        // each buffer costs start-up time (about a tenth at 128 KB).
        mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
#endif
        // before the application exists, so every GL view gets it: display lists need
        // a compatibility profile, and the scene needs depth
        QSurfaceFormat format;
        format.setRenderableType(QSurfaceFormat::OpenGL);
        format.setProfile(QSurfaceFormat::CompatibilityProfile);
        format.setDepthBufferSize(24);
        QSurfaceFormat::setDefaultFormat(format);

        static char  programName[] = "tallymap";
        static char *defaultArgv[] = {programName, nullptr};
        static int   storedArgc;   // QApplication keeps a reference to it
        storedArgc = argv ? argc : 1;
        application = new QApplication(storedArgc, argv ? argv : defaultArgv);
        application->setQuitOnLastWindowClosed(false);   // only post_quit ends the loop
        // The application takes the C library's locale from the environment. Numbers in
        // files and texts (scanned CSVs, "%.2f" shares) keep the C conventions whatever
        // the user's language; the widgets still speak it.
        std::setlocale(LC_NUMERIC, "C");
    }
    static const ModalHandler qtHandler = {qt_message_box, qt_open_file, qt_save_file};
    register_platform_modal(&qtHandler);
    register_platform_print_dialog(qt_print_dialog);
}

int run_message_loop()
{
    if (!quitPosted && QCoreApplication::instance()) {
        inMainLoop = true;
        quitCode = QCoreApplication::exec();
        inMainLoop = false;
    }
    quitPosted = false;
    // windows destroyed during the last handlers go now, not at process exit
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return quitCode;
}

void post_quit(int code)
{
    // like a quit message: a loop started later still ends at once. Qt is told only
    // while its loop runs: an exit asked for outside it would end every later loop,
    // modal ones included, before it starts.
    quitPosted = true;
    quitCode = code;
    if (inMainLoop) QCoreApplication::exit(code);
}

void process_events(int milliseconds)
{
    if (!QCoreApplication::instance()) return;
    if (milliseconds <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// ---------------------------------------------------------------------------------
// Timers
// ---------------------------------------------------------------------------------
void start_timer(WindowHandle window, uint32_t id, uint32_t milliseconds)
{
    if (!window || !window->proc || !window->widget) return;
    for (WindowTimer &entry : window->timers) {
        if (entry.id == id && entry.timer) {   // same id again: restart with the new period
            entry.timer->start(int(milliseconds));
            return;
        }
    }
    QTimer *timer = new QTimer(window->widget);
    QObject::connect(timer, &QTimer::timeout, timer, [window, id] { deliver(window, MSG_TIMER, id, 0); });
    timer->start(int(milliseconds));
    window->timers.push_back(WindowTimer{id, timer});
}

void stop_timer(WindowHandle window, uint32_t id)
{
    if (!window) return;
    for (WindowTimer &entry : window->timers)
        if (entry.id == id && entry.timer) entry.timer->stop();
}

uint32_t timer_period(WindowHandle window, uint32_t id)
{
    if (!window) return 0;
    for (const WindowTimer &entry : window->timers)
        if (entry.id == id && entry.timer && entry.timer->isActive()) return uint32_t(entry.timer->interval());
    return 0;
}
