// bench_startup.cpp -- start-up and memory of the viewer against a bare Qt window with
// a GL view. Every measurement runs in a fresh child process (the toolkit starts once
// per process); the parent alternates viewer, bare and floor runs and prints the
// medians as rows.
//
// Two floors: the bare window only clears its GL view. The same-work floor is the
// plainest Qt program that shows the viewer's first picture: the same menu bar, the
// three visible panels with the same controls and list contents (the 307 field lines
// read from the field file), and a GL view of the same size that reads the base map
// with fread, uploads it and the band texture and draws the map as one textured quad
// with the viewer's fixed-function state. Each clock stops once the first frame is
// drawn in the GL view and every widget of the first picture exists: the floor makes
// its panels before showing the window, the viewer after (Qt draws the view's first
// frame while the window is shown), so its time ends when start-up has returned.
// Neither waits for the window to be put on the screen.
//
//   bench_startup                 the whole benchmark
//   bench_startup viewer-start    child: ms from start-up to the first presented frame,
//                                 then the CPU ms the process has used by then
//   bench_startup bare-start      child: the same for the bare window
//   bench_startup floor-start     child: the same for the same-work floor
//   bench_startup viewer-rss      child: VmRSS in kB after loading 300 ZIP codes
//   bench_startup bare-rss        child: VmRSS in kB of the bare window
//   bench_startup viewer-log      child: ms per ZIP report appended to a log at its cap
//
// Index
//   [SECTION] The bare window
//   [SECTION] The same-work floor
//   [SECTION] The viewer
//   [SECTION] The parent
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QOpenGLWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QSurfaceFormat>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include <GL/gl.h>
#include <unistd.h>

#include "app_windows.h"
#include "camera.h"
#include "gis_panel.h"
#include "info_panel.h"
#include "platform.h"
#include "query_panel.h"
#include "report.h"
#include "scene.h"
#include "shell.h"
#include "timeline_panel.h"
#include "zip_table.h"

#include "bench_support.h"
#include "study_area.h"

constexpr int RUNS       = 7;
constexpr int START_RUNS = 15;     // start-up is timed in its own alternating runs
constexpr int SETTLE_MS  = 1000;   // events processed before memory is read

// CPU time of the whole process (the GL driver's threads too), which other programs
// on a shared machine stretch much less than the time on the clock.
static double process_cpu_ms()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static long resident_kb()
{
    FILE *status = std::fopen("/proc/self/status", "r");
    if (!status) return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1) break;
    std::fclose(status);
    return kb;
}

// ---------------------------------------------------------------------------------
// [SECTION] The bare window: a main window of the same size with a GL view that clears.
// ---------------------------------------------------------------------------------
class BareView : public QOpenGLWidget {
public:
    int frames = 0;
protected:
    void initializeGL() override { glClearColor(0.5f, 0.5f, 0.5f, 1.0f); }
    void paintGL() override { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); ++frames; }
};

static int bare_child(bool memory)
{
    BenchClock::time_point start = BenchClock::now();
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    static int argc = 1;
    static char name[] = "bare";
    static char *argv[] = {name, nullptr};
    QApplication application(argc, argv);
    BareView view;
    view.setWindowTitle("bare");
    view.resize(1024, 768);
    view.show();
    while (view.frames == 0 && elapsed_ms(start) < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    if (view.frames == 0) return 1;   // no time at all rather than the time-out's
    double ms = elapsed_ms(start);
    if (memory) {
        BenchClock::time_point settle = BenchClock::now();
        while (elapsed_ms(settle) < SETTLE_MS) QApplication::processEvents(QEventLoop::AllEvents, 10);
        std::printf("%ld\n", resident_kb());
    } else {
        std::printf("%.3f %.3f\n", ms, process_cpu_ms());
    }
    return 0;
}

// ---------------------------------------------------------------------------------
// [SECTION] The same-work floor: plain Qt widgets and plain GL 1.1, nothing of the
// viewer's code but its tables (menu, panel templates, map extent and camera constants).
// ---------------------------------------------------------------------------------
class FloorView : public QOpenGLWidget {
public:
    int frames = 0;
protected:
    void initializeGL() override
    {
        glDisable(GL_CULL_FACE);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glClearColor(0.498f, 0.498f, 0.498f, 1.0f);

        static unsigned char band[STRIPE_SIZE][STRIPE_SIZE][3];
        for (int row = 0; row < STRIPE_SIZE; ++row)
            std::memset(band[row], row < STRIPE_BAND ? 255 : 0, sizeof band[row]);
        glBindTexture(GL_TEXTURE_2D, STRIPE_TEXTURE);
        glTexImage2D(GL_TEXTURE_2D, 0, 3, STRIPE_SIZE, STRIPE_SIZE, 0, GL_RGB, GL_UNSIGNED_BYTE, band);
        texture_parameters();

        // a 24-bit bitmap whose rows need no padding (1024 x 1024), bottom row first
        FILE *file = std::fopen("data/maps/basemap.bmp", "rb");
        unsigned char header[54] = {};
        if (!file || std::fread(header, 1, sizeof header, file) != sizeof header) std::exit(1);
        int32_t width, height;
        uint32_t offset;
        std::memcpy(&offset, header + 10, 4);
        std::memcpy(&width, header + 18, 4);
        std::memcpy(&height, header + 22, 4);
        size_t bytes = size_t(width) * size_t(height) * 3;
        auto *pixels = static_cast<unsigned char *>(std::malloc(bytes));
        std::fseek(file, long(offset), SEEK_SET);
        if (!pixels || std::fread(pixels, 1, bytes, file) != bytes) std::exit(1);
        std::fclose(file);
        for (size_t i = 0; i < bytes; i += 3) std::swap(pixels[i], pixels[i + 2]);   // BGR to RGB
        glBindTexture(GL_TEXTURE_2D, MAP_TEXTURE);
        glTexImage2D(GL_TEXTURE_2D, 0, 3, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
        texture_parameters();
        std::free(pixels);
    }
    void resizeGL(int width, int height) override
    {
        glViewport(0, 0, width, height);
        double aspect = double(width) / height;
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glFrustum(-aspect, aspect, -1.0, 1.0, FRUSTUM_NEAR, FRUSTUM_FAR);
    }
    void paintGL() override
    {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(0.0f, 0.0f, -500.0f);
        glScalef(WORLD_SCALE, WORLD_SCALE, 0.0001f);
        glTranslatef(-PIVOT_X, -PIVOT_Y, -PIVOT_Z);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, MAP_TEXTURE);
        glBegin(GL_QUADS);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        glTexCoord2f(0.0f, 0.0f); glVertex3f(MAP_WEST, MAP_SOUTH, 0.0f);
        glTexCoord2f(1.0f, 0.0f); glVertex3f(MAP_EAST, MAP_SOUTH, 0.0f);
        glTexCoord2f(1.0f, 1.0f); glVertex3f(MAP_EAST, MAP_NORTH, 0.0f);
        glTexCoord2f(0.0f, 1.0f); glVertex3f(MAP_WEST, MAP_NORTH, 0.0f);
        glEnd();
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_BLEND);
        glDisable(GL_DEPTH_TEST);
        ++frames;
    }
private:
    static void texture_parameters()
    {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    }
};

// A panel as a plain framed child of the view: a caption line, then the template's
// controls at its positions (dialog units from the font, as any dialog would).
static QWidget *floor_panel(const DialogTemplate &panel, QWidget *view, QComboBox **combos)
{
    QFontMetrics metrics(QApplication::font());
    int unitX = (metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
    int unitY = metrics.height();
    auto pixels = [&](int x, int y, int w, int h) {
        return QRect(x * unitX / 4, y * unitY / 8, w * unitX / 4, h * unitY / 8);
    };
    QRect area = pixels(panel.x, panel.y, panel.width, panel.height);
    int caption = metrics.height() + 4;
    auto *frame = new QFrame(view);
    frame->setFrameStyle(QFrame::WinPanel | QFrame::Raised);
    frame->setAutoFillBackground(true);
    frame->setGeometry(area.x(), area.y(), area.width() + 4, area.height() + caption + 4);
    auto *title = new QLabel(QString::fromUtf8(panel.caption), frame);
    title->setGeometry(2, 2, area.width(), caption);
    title->setBackgroundRole(QPalette::Highlight);
    title->setForegroundRole(QPalette::HighlightedText);
    title->setAutoFillBackground(true);
    auto *close = new QToolButton(title);
    close->setIcon(frame->style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    close->setAutoRaise(true);
    close->setGeometry(area.width() - caption + 1, 1, caption - 2, caption - 2);
    auto *client = new QWidget(frame);
    client->setGeometry(2, 2 + caption, area.width(), area.height());
    for (int i = 0; i < panel.controlCount; ++i) {
        const ControlTemplate &c = panel.controls[i];
        QString text = QString::fromUtf8(c.text ? c.text : "");
        QWidget *widget = nullptr;
        switch (c.kind) {
        case CTL_GROUPBOX:    widget = new QGroupBox(text, client); break;
        case CTL_LISTBOX: {
            auto *list = new QListWidget(client);
            list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            widget = list;
            break;
        }
        case CTL_COMBOBOX:    widget = *combos++ = new QComboBox(client); break;
        case CTL_BUTTON:      widget = new QPushButton(text, client); break;
        case CTL_RADIOBUTTON: widget = new QPushButton(text, client); static_cast<QPushButton *>(widget)->setCheckable(true); break;
        case CTL_CHECKBOX:    widget = new QCheckBox(text, client); break;
        case CTL_STATIC: {
            auto *label = new QLabel(text, client);
            label->setAlignment(c.style & STYLE_CENTRE ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
            if (c.style & STYLE_SUNKEN) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            widget = label;
            break;
        }
        case CTL_PROGRESS:    widget = new QProgressBar(client); static_cast<QProgressBar *>(widget)->setTextVisible(false); break;
        default:              break;
        }
        if (!widget) continue;
        QRect rect = pixels(c.x, c.y, c.width, c.height);
        if (c.kind == CTL_COMBOBOX) rect.setHeight(widget->sizeHint().height());
        widget->setGeometry(rect);
        widget->setObjectName(QString::number(c.id));
    }
    return frame;
}

static void floor_combo(QComboBox *combo, std::initializer_list<const char *> items)
{
    for (const char *item : items) combo->addItem(QString::fromUtf8(item));
}

static int floor_child()
{
    BenchClock::time_point start = BenchClock::now();
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    static int argc = 1;
    static char name[] = "floor";
    static char *argv[] = {name, nullptr};
    QApplication application(argc, argv);

    QMainWindow window;
    window.setWindowTitle("floor");
    window.resize(1024, 768);
    QMenu *menu = nullptr;
    for (const MenuItem &item : mainMenu) {
        if (!menu || menu->title() != QLatin1String(item.title)) menu = window.menuBar()->addMenu(item.title);
        QAction *action = menu->addAction(item.text);
        if (item.shortcut) action->setShortcut(QKeySequence(QString::fromUtf8(item.shortcut)));
    }
    auto *view = new FloorView;
    window.setCentralWidget(view);

    QComboBox *gis[3], *query[1], *timeline[1];
    floor_panel(gisTemplate, view, gis);
    floor_combo(gis[0], {"Basemap", "School District"});
    floor_combo(gis[1], {"10000:1", "1000:1", "100:1", "10:1"});
    floor_combo(gis[2], {"Normalized", "1-10", "1-100", "1-1000"});
    QWidget *queryPanel = floor_panel(queryTemplate, view, query);
    auto *fields = queryPanel->findChild<QListWidget *>(QString::number(IDC_FIELD_LIST));
    if (FILE *file = std::fopen("data/ui/fields.ui", "r")) {   // "label,code" per line
        char line[256];
        while (std::fgets(line, sizeof line, file)) {
            char *comma = std::strrchr(line, ',');
            if (comma) *comma = '\0';
            line[std::strcspn(line, "\r\n")] = '\0';
            fields->addItem(QString::fromUtf8(line));
        }
        std::fclose(file);
    }
    fields->setCurrentRow(0);
    floor_combo(query[0], {"OFF", "Corvale - University Park", "Corvale - Victoria"});
    QWidget *timelinePanel = floor_panel(timelineTemplate, view, timeline);
    floor_combo(timeline[0], {"Day", "Month", "Year"});
    timelinePanel->findChild<QLabel *>(QString::number(IDC_DATE_TEXT))->setText("January,1,1990");
    timelinePanel->findChild<QPushButton *>(QString::number(IDC_PAUSE))->setChecked(true);

    window.show();
    while (view->frames == 0 && elapsed_ms(start) < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    if (view->frames == 0) std::_Exit(1);   // no time at all rather than the time-out's
    std::printf("%.3f %.3f\n", elapsed_ms(start), process_cpu_ms());
    std::fflush(stdout);
    std::_Exit(0);
}

// ---------------------------------------------------------------------------------
// [SECTION] The viewer, started in-process as the program starts it.
// ---------------------------------------------------------------------------------
static void quiet_message(const char *, const char *, WindowHandle) {}
static int answer_csv(WindowHandle, const char *, const char *, char *path, int size)
{
    std::snprintf(path, size_t(size), "%s", "bench/zips.csv");
    return 1;
}
static int cancel_file(WindowHandle, const char *, const char *, char *, int) { return 0; }

// The log filled to its cap, then LOG_REPORTS more reports, each the real text of one
// of the 300 ZIP codes: every one of them has to drop the oldest lines.
constexpr int LOG_REPORTS = 300;

static void time_log_reports()
{
    handle_menu_command(1);
    char text[REPORT_TEXT_SIZE];
    for (int i = 0; i < 40; ++i) {   // 40 reports of 8 lines: past the 199-line cap
        format_zip_report(i, text);
        append_info(text);
    }
    BenchClock::time_point start = BenchClock::now();
    for (int i = 0; i < LOG_REPORTS; ++i) {
        format_zip_report(i % BENCH_ZIPS, text);
        append_info(text);
    }
    std::printf("%.4f\n", elapsed_ms(start) / LOG_REPORTS);
}

static int viewer_child(bool memory, bool log = false)
{
    ModalHandler handler = {quiet_message, answer_csv, cancel_file};
    set_modal_handler(&handler);
    static char name[] = "tallymap";
    static char *argv[] = {name, nullptr};
    BenchClock::time_point start = BenchClock::now();
    start_application(1, argv);
    while (shellState.frames == 0 && elapsed_ms(start) < 20000) process_events(1);
    if (shellState.frames == 0) std::_Exit(1);   // no time at all rather than the time-out's
    double ms = elapsed_ms(start);
    if (log) {
        time_log_reports();
    } else if (memory) {
        handle_menu_command(1);   // load the 300 ZIP codes of bench/zips.csv
        if (zipTable.count != BENCH_ZIPS) std::fprintf(stderr, "loaded %u ZIP codes\n", zipTable.count);
        BenchClock::time_point settle = BenchClock::now();
        while (elapsed_ms(settle) < SETTLE_MS) process_events(10);
        std::printf("%ld\n", resident_kb());
    } else {
        std::printf("%.3f %.3f\n", ms, process_cpu_ms());
    }
    std::fflush(stdout);
    std::_Exit(0);   // the measurement is taken; skip the tear-down
}

// ---------------------------------------------------------------------------------
// [SECTION] The parent: the runs in a working directory with the base map and 300 ZIP codes.
// ---------------------------------------------------------------------------------
// The child's first number; its second (the start-up children's CPU time) into second.
// NaN for a number the child did not print.
static double run_child(const char *self, const char *mode, std::vector<double> *second = nullptr)
{
    std::string command = std::string("'") + self + "' " + mode;
    FILE *child = popen(command.c_str(), "r");
    double value = NAN, more = NAN;
    if (!child || std::fscanf(child, "%lf", &value) != 1) value = NAN;
    else if (std::fscanf(child, "%lf", &more) != 1) more = NAN;
    if (child) pclose(child);
    if (second) second->push_back(more);
    return value;
}

int main(int argc, char **argv)
{
    if (argc > 1) {
        std::string mode = argv[1];
        if (mode == "viewer-start") return viewer_child(false);
        if (mode == "viewer-rss")   return viewer_child(true);
        if (mode == "viewer-log")   return viewer_child(false, true);
        if (mode == "bare-start")   return bare_child(false);
        if (mode == "bare-rss")     return bare_child(true);
        if (mode == "floor-start")  return floor_child();
        std::fprintf(stderr, "unknown mode %s\n", argv[1]);
        return 2;
    }
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return 1;
    self[length] = '\0';
    std::string root = make_working_directory();
    if (chdir(root.c_str()) != 0) return 1;

    std::vector<double> viewerCpu, floorCpu, bareCpu;   // CPU ms of the same runs
    const auto start = alternate(START_RUNS, {[&] { return run_child(self, "viewer-start", &viewerCpu); },
                                              [&] { return run_child(self, "floor-start", &floorCpu); },
                                              [&] { return run_child(self, "bare-start", &bareCpu); }});
    const auto after = alternate(RUNS, {[&] { return run_child(self, "viewer-log"); },
                                        [&] { return run_child(self, "viewer-rss"); },
                                        [&] { return run_child(self, "bare-rss"); }});
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);   // the maps symlink goes, not its target

    for (const std::vector<double> &runs : start)
        if (long failed = std::count_if(runs.begin(), runs.end(), [](double ms) { return std::isnan(ms); }))
            std::printf("start to first frame: %ld of %d runs drew no frame; the medians below are of the others\n",
                        failed, START_RUNS);
    const double vMs = median(start[0]), fMs = median(start[1]), bMs = median(start[2]);
    const double vKb = median(after[1]), bKb = median(after[2]);
    std::printf("start to first frame: tallymap %.1f ms, same-work floor %.1f ms, bare window %.1f ms"
                " (medians of %d)\n", vMs, fMs, bMs, START_RUNS);
    const double vCpu = median(viewerCpu), fCpu = median(floorCpu), bCpu = median(bareCpu);
    std::printf("the same runs' CPU time: tallymap %.1f ms, same-work floor %.1f ms, bare window %.1f ms\n",
                vCpu, fCpu, bCpu);
    std::printf("resident memory: tallymap with %d ZIP codes %.0f kB, bare window %.0f kB\n",
                BENCH_ZIPS, vKb, bKb);
    print_row("tallymap start to first frame / same-work Qt floor", ratio(vMs, fMs), "x", "<= 1.2");
    print_row("tallymap start to first frame / bare Qt GL window (clears only)", ratio(vMs, bMs), "x");
    print_row("tallymap start-up CPU time (all threads) / same-work Qt floor, same runs", ratio(vCpu, fCpu), "x");
    print_row("tallymap start to first frame", vMs, "ms");
    print_row("tallymap VmRSS with 300 ZIP codes - bare Qt GL window", (vKb - bKb) / 1024.0, "MB", "<= 15");
    print_row("append_info of a ZIP report, log at its 199-line cap", median(after[0]), "ms", "<= 2");
    return 0;
}
