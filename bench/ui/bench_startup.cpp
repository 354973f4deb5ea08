// bench_startup.cpp -- start-up and memory of the viewer against a bare Qt window with
// a GL view. Every measurement runs in a fresh child process (the toolkit starts once
// per process); the parent alternates viewer and bare runs and prints the medians as
// RATIO lines.
//
//   bench_startup                 the whole benchmark
//   bench_startup viewer-start    child: ms from start-up to the first presented frame
//   bench_startup bare-start      child: the same for the bare window
//   bench_startup viewer-rss      child: VmRSS in kB after loading 300 ZIP codes
//   bench_startup bare-rss        child: VmRSS in kB of the bare window
//   bench_startup viewer-log      child: ms per ZIP report appended to a log at its cap
//
// With the same 300 ZIP codes it also times tallyrender: its start to the first picture
// written, against the viewer's start to its first frame, and 100 frames of 1024 x 768
// against writing the same frames' bytes with write_bmp alone.
#include <QApplication>
#include <QOpenGLWidget>
#include <QSurfaceFormat>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include <GL/gl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app_windows.h"
#include "image.h"
#include "info_panel.h"
#include "platform.h"
#include "report.h"
#include "shell.h"
#include "zip_table.h"

#include "study_area.h"

using Clock = std::chrono::steady_clock;

constexpr int RUNS       = 7;
constexpr int SETTLE_MS  = 1000;   // events processed before memory is read

static double elapsed_ms(Clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
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
// The bare window: a main window of the same size with a GL view that clears.
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
    Clock::time_point start = Clock::now();
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
    double ms = elapsed_ms(start);
    if (memory) {
        Clock::time_point settle = Clock::now();
        while (elapsed_ms(settle) < SETTLE_MS) QApplication::processEvents(QEventLoop::AllEvents, 10);
        std::printf("%ld\n", resident_kb());
    } else {
        std::printf("%.3f\n", ms);
    }
    return 0;
}

// ---------------------------------------------------------------------------------
// The viewer, started in-process as the program starts it.
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
    Clock::time_point start = Clock::now();
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
    Clock::time_point start = Clock::now();
    start_application(1, argv);
    while (shellState.frames == 0 && elapsed_ms(start) < 20000) process_events(1);
    double ms = elapsed_ms(start);
    if (log) {
        time_log_reports();
    } else if (memory) {
        handle_menu_command(1);   // load the 300 ZIP codes of bench/zips.csv
        if (zipTable.count != BENCH_ZIPS) std::fprintf(stderr, "loaded %u ZIP codes\n", zipTable.count);
        Clock::time_point settle = Clock::now();
        while (elapsed_ms(settle) < SETTLE_MS) process_events(10);
        std::printf("%ld\n", resident_kb());
    } else {
        std::printf("%.3f\n", ms);
    }
    std::fflush(stdout);
    std::_Exit(0);   // the measurement is taken; skip the tear-down
}

// ---------------------------------------------------------------------------------
// The parent: the runs in a working directory with the base map and 300 ZIP codes.
// ---------------------------------------------------------------------------------
static double run_child(const char *self, const char *mode)
{
    std::string command = std::string("'") + self + "' " + mode;
    FILE *child = popen(command.c_str(), "r");
    double value = -1;
    if (!child || std::fscanf(child, "%lf", &value) != 1) value = -1;
    if (child) pclose(child);
    return value;
}

static double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// ---------------------------------------------------------------------------------
// tallyrender, as a user runs it
// ---------------------------------------------------------------------------------
constexpr int FILM_FRAMES = 100;

// ms of a whole tallyrender run with these arguments; -1 when it failed.
static double time_tallyrender(const std::string &arguments)
{
    std::string command = "env -u DISPLAY '" TALLYRENDER_PATH "' " + arguments + " 2>/dev/null";
    Clock::time_point start = Clock::now();
    int status = std::system(command.c_str());
    return status == 0 ? elapsed_ms(start) : -1;
}

// ms for write_bmp to write FILM_FRAMES frames of the film's first frame.
static double time_bmp_writes(const std::string &frame, const std::string &folder)
{
    RgbImage image{};
    if (!read_bmp(frame.c_str(), image)) return -1;
    Clock::time_point start = Clock::now();
    char path[512];
    for (int i = 1; i <= FILM_FRAMES; ++i) {
        std::snprintf(path, sizeof path, "%s/copy_%05d.bmp", folder.c_str(), i);
        if (!write_bmp(path, image)) return -1;
    }
    double ms = elapsed_ms(start);
    free_image(image);
    return ms;
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
        std::fprintf(stderr, "unknown mode %s\n", argv[1]);
        return 2;
    }
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return 1;
    self[length] = '\0';
    std::string root = make_working_directory();
    if (chdir(root.c_str()) != 0) return 1;

    std::vector<double> viewerMs, bareMs, viewerKb, bareKb, logMs, renderStartMs, filmMs, writeMs;
    for (int run = 0; run < RUNS; ++run) {
        renderStartMs.push_back(time_tallyrender("--snapshot first.bmp"));
        std::filesystem::remove_all("film");
        filmMs.push_back(time_tallyrender("--load bench/zips.csv --view 20,50,250 --frames film --step day --count " +
                                          std::to_string(FILM_FRAMES)));
        writeMs.push_back(time_bmp_writes("film/frame_00001.bmp", "film"));
        logMs.push_back(run_child(self, "viewer-log"));
        viewerMs.push_back(run_child(self, "viewer-start"));
        bareMs.push_back(run_child(self, "bare-start"));
        viewerKb.push_back(run_child(self, "viewer-rss"));
        bareKb.push_back(run_child(self, "bare-rss"));
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);   // the maps symlink goes, not its target

    double vMs = median(viewerMs), bMs = median(bareMs);
    double vKb = median(viewerKb), bKb = median(bareKb);
    std::printf("start to first frame: tallymap %.1f ms, bare window %.1f ms (medians of %d)\n",
                vMs, bMs, RUNS);
    std::printf("resident memory: tallymap with %d ZIP codes %.0f kB, bare window %.0f kB\n",
                BENCH_ZIPS, vKb, bKb);
    std::printf("RATIO | tallymap start to first frame / bare Qt GL window | %.2f x | <= 1.2 x\n",
                bMs > 0 ? vMs / bMs : 0.0);
    std::printf("RATIO | tallymap VmRSS with 300 ZIP codes - bare Qt GL window | %+.1f MB | <= +15 MB\n",
                (vKb - bKb) / 1024.0);
    std::printf("RATIO | append_info of a ZIP report, log at its 199-line cap | %.3f ms | <= 2 ms\n",
                median(logMs));
    double film = median(filmMs), writes = median(writeMs);
    std::printf("RATIO | tallyrender, 100 frames of 1024x768, 300 ZIPs: frames per second | %.1f | (report)\n",
                film > 0 ? 1000.0 * FILM_FRAMES / film : 0.0);
    std::printf("RATIO | tallyrender 100 frames / write_bmp of the same 100 frames | %.2f x | <= 2 x\n",
                writes > 0 ? film / writes : 0.0);
    std::printf("RATIO | tallyrender start to first picture written / tallymap start to first frame | %.2f x | (report)\n",
                vMs > 0 ? median(renderStartMs) / vMs : 0.0);
    return 0;
}
