// bench_snapshot.cpp -- "Save Snapshot.." and "Print.." in the running viewer (under X)
// with the sample study area loaded and a 1024 x 768 view. The snapshot is timed from
// the menu command to the file written ("Save complete" shown), without the capture's
// fixed 501 ms wait and with the save dialog answered at once; the print from the
// print dialog's answer to "Print spooled", the PDF written. Prints medians as rows.
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

#include "app_windows.h"
#include "camera.h"
#include "platform.h"
#include "qt_internal.h"
#include "shell.h"
#include "snapshot.h"
#include "zip_table.h"

#include "bench_support.h"

constexpr int SNAPSHOT_RUNS = 21;
constexpr int PRINT_RUNS    = 7;
constexpr int VIEW_WIDTH    = 1024;
constexpr int VIEW_HEIGHT   = 768;

static std::string            outputFolder;     // where the bitmaps and PDFs go
static std::string            nextFile;         // the answer of the next save or print dialog
static BenchClock::time_point dialogAnswered;   // when the print dialog was answered
static BenchClock::time_point finished;         // when "Save complete" or "Print spooled" was shown
static int                    failures;         // messages other than the two successes

static void note_message(const char *text, const char *caption, WindowHandle)
{
    finished = BenchClock::now();
    if (std::strcmp(text, "Save complete") != 0 && std::strcmp(text, "Print spooled") != 0 &&
        std::strcmp(text, "Load complete") != 0) {
        std::fprintf(stderr, "%s: %s\n", caption, text);
        ++failures;
    }
}

static int answer_file(WindowHandle, const char *, const char *, char *path, int size)
{
    std::snprintf(path, size_t(size), "%s", nextFile.c_str());
    return 1;
}

static int answer_print(WindowHandle, char *outputFile, int size)
{
    std::snprintf(outputFile, size_t(size), "%s", nextFile.c_str());
    dialogAnswered = BenchClock::now();
    return 1;
}

static double ms_between(BenchClock::time_point from, BenchClock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Gives the GL view the size asked for: the main window grows by what is missing.
static bool size_view(int width, int height)
{
    QWidget *main = platform_widget(appWindows.mainWindow);
    for (int attempt = 0; attempt < 3; ++attempt) {
        main->resize(main->width() + width - viewState.viewportWidth,
                     main->height() + height - viewState.viewportHeight);
        for (int waited = 0; waited < 2000; waited += 10) {
            process_events(10);
            if (viewState.viewportWidth == width && viewState.viewportHeight == height) return true;
        }
    }
    return false;
}

int main()
{
    if (chdir(TALLYMAP_SOURCE_DIR) != 0) return 1;   // the viewer finds ./data there
    std::error_code ignored;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ignored)
        ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
    outputFolder = (base / ("tallymap-bench-snapshot-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(outputFolder);

    ModalHandler handler = {note_message, answer_file, answer_file};
    set_modal_handler(&handler);
    set_print_dialog_handler(answer_print);
    static char name[] = "tallymap";
    static char *argv[] = {name, nullptr};
    if (!start_application(1, argv)) return 1;
    nextFile = "examples/study_area.csv";
    handle_menu_command(CMD_LOAD_DATA);
    if (!size_view(VIEW_WIDTH, VIEW_HEIGHT)) {
        std::fprintf(stderr, "the view could not be made %d x %d\n", VIEW_WIDTH, VIEW_HEIGHT);
        return 1;
    }
    captureWait = 0;

    std::vector<double> snapshotMs, printMs;
    for (int run = 0; run < SNAPSHOT_RUNS; ++run) {
        nextFile = outputFolder + "/view" + std::to_string(run % 2) + ".bmp";
        const BenchClock::time_point start = BenchClock::now();
        handle_menu_command(CMD_SAVE_SNAPSHOT);
        snapshotMs.push_back(ms_between(start, finished));
        process_events(20);
    }
    for (int run = 0; run < PRINT_RUNS; ++run) {
        nextFile = outputFolder + "/page" + std::to_string(run % 2) + ".pdf";
        handle_menu_command(CMD_PRINT);
        printMs.push_back(ms_between(dialogAnswered, finished));
        process_events(20);
    }
    const auto pdfBytes = std::filesystem::file_size(outputFolder + "/page0.pdf", ignored);
    std::filesystem::remove_all(outputFolder, ignored);
    if (failures) return 1;

    std::printf("%u ZIP codes loaded, view %d x %d\n", zipTable.count, VIEW_WIDTH, VIEW_HEIGHT);
    std::printf("snapshot: median %.2f ms, fastest %.2f ms (%d runs)\n", median(snapshotMs),
                *std::min_element(snapshotMs.begin(), snapshotMs.end()), SNAPSHOT_RUNS);
    std::printf("print into PDF: median %.1f ms, fastest %.1f ms (%d runs), %ju bytes\n", median(printMs),
                *std::min_element(printMs.begin(), printMs.end()), PRINT_RUNS, uintmax_t(pdfBytes));
    print_row("Save Snapshot.. of a 1024 x 768 view, menu to file written (no wait, no dialog)", median(snapshotMs),
              "ms", "<= 30");
    print_row("Print.. one page into a PDF, dialog answered to job ended", median(printMs), "ms", "<= 1000");
    std::fflush(stdout);
    std::_Exit(0);   // the measurement is taken; skip the tear-down
}
