// soak_playback.cpp -- the playback soak: the real viewer, run in-process from the
// repository root (where ./data is), loads 300 ZIP codes and plays forward by day with
// the playback timer driven every millisecond instead of every 500, for 100 000 ticks
// (or the count given as the only argument). Every 10th tick chooses the next ZIP code
// in the Query panel's list, as a user walking it with the arrow keys does: 10 000
// reports in the Info panel's capped log over the whole run.
// It reports the resident memory after the first 1 000 ticks and at the end, and the
// GL errors of the view's context after every tick. Exit status 0 when the two
// figures differ by at most 1 MB and no GL error occurred, else 1.
//
// A test-only program (scripts/run-soak runs it under Xvfb): the viewer itself takes
// no options and no settings, so the fast timer and the counting live here.
#include <GL/gl.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "app_windows.h"
#include "qt_internal.h"
#include "query_panel.h"
#include "shell.h"
#include "timeline_panel.h"
#include "zip_table.h"

namespace {

constexpr int      SOAK_ZIPS        = 300;
constexpr uint32_t SOAK_TICKS       = 100000;   // unless the command line names another count
constexpr uint32_t WARM_TICKS       = 1000;
constexpr uint32_t FAST_PERIOD_MS   = 1;
constexpr uint32_t TICKS_PER_REPORT = 10;
constexpr long     ALLOWED_GROWTH   = 1024 * 1024;   // bytes

struct Soak {
    WindowProc  shellProc;   // the main window's own procedure
    uint32_t    ticks;       // playback ticks handled
    uint32_t    glErrors;    // errors read from the view's context after the ticks
    long        warmRss;     // resident bytes after WARM_TICKS, heap trimmed
    long        warmRawRss;  // the same, untrimmed
    std::string csvPath;     // the 300 ZIP codes
    int         messages;    // message boxes other than "Load complete"
    uint32_t    reportEvery; // ticks between progress lines
    uint32_t    zipReports;  // ZIP codes chosen in the Query panel's list
} soak;

// Resident bytes of the process. Display lists are compiled anew on every tick, and the
// allocator keeps the freed top of its heap in 1 MB steps for a while; trimmed first,
// the figure counts memory held rather than the allocator's slack (both are reported).
long resident_bytes(bool trimmed)
{
    if (trimmed) malloc_trim(0);
    long pages = 0, resident = 0;
    std::ifstream statm("/proc/self/statm");
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

intptr_t counting_proc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    intptr_t result = soak.shellProc(window, message, wParam, lParam);
    if (message == MSG_TIMER && wParam == PLAYBACK_TIMER) {
        ++soak.ticks;
        if (soak.ticks % TICKS_PER_REPORT == 0) {
            ctl_choose(appWindows.queryPanel, IDC_ZIP_LIST, int(soak.zipReports % SOAK_ZIPS));
            ++soak.zipReports;
        }
        if (make_gl_current(window))
            while (glGetError() != GL_NO_ERROR) ++soak.glErrors;
        if (soak.ticks == WARM_TICKS) {
            soak.warmRawRss = resident_bytes(false);
            soak.warmRss = resident_bytes(true);
        }
        if (soak.ticks % soak.reportEvery == 0)
            std::fprintf(stderr, "soak: tick %u, resident %.2f MB, main heap in use %.2f MB\n", soak.ticks,
                         resident_bytes(false) / 1048576.0, mallinfo2().uordblks / 1048576.0);
    }
    return result;
}

void count_message(const char *text, const char *caption, WindowHandle)
{
    if (std::string(text) != "Load complete") {
        std::fprintf(stderr, "soak: message \"%s: %s\"\n", caption, text);
        ++soak.messages;
    }
}

int answer_open(WindowHandle, const char *, const char *, char *path, int size)
{
    std::snprintf(path, size_t(size), "%s", soak.csvPath.c_str());
    return 1;
}

// The first 300 ZIP areas of the sample extent, at their real positions.
std::string write_zip_list()
{
    std::ifstream in("tools/make-sample-data/zcta_in_extent.csv");
    std::string line, zip, latitude, longitude;
    std::getline(in, line);   // header: zip,latitude,longitude,...
    std::ostringstream csv;
    csv << "ZIP,ID,LONGITUDE,LATITUDE,TRAVEL,TRAFFIC\n";
    int written = 0;
    while (written < SOAK_ZIPS && std::getline(in, line)) {
        std::istringstream fields(line);
        std::getline(fields, zip, ',');
        std::getline(fields, latitude, ',');
        std::getline(fields, longitude, ',');
        csv << zip << ',' << written << ',' << longitude << ',' << latitude << ",20,30\n";
        ++written;
    }
    if (written < SOAK_ZIPS) return "";
    char path[] = "/tmp/tallymap-soak-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return "";
    close(fd);
    std::ofstream(path) << csv.str();
    return path;
}

}   // namespace

int main(int argc, char **argv)
{
    const uint32_t ticks = argc > 1 ? uint32_t(std::strtoul(argv[1], nullptr, 10)) : SOAK_TICKS;
    soak.reportEvery = ticks >= 10 ? ticks / 10 : 1;
    soak.csvPath = write_zip_list();
    if (soak.csvPath.empty()) {
        std::fputs("soak: run me in the repository root (tools/make-sample-data/zcta_in_extent.csv)\n", stderr);
        return 1;
    }
    ModalHandler answers = {count_message, answer_open, nullptr};
    set_modal_handler(&answers);
    if (!start_application(1, argv)) {
        std::fputs("soak: the GL view never initialised\n", stderr);
        return 1;
    }
    handle_menu_command(CMD_LOAD_DATA);
    std::remove(soak.csvPath.c_str());
    if (zipTable.count != uint32_t(SOAK_ZIPS)) {
        std::fprintf(stderr, "soak: %u ZIP codes loaded, not %d\n", zipTable.count, SOAK_ZIPS);
        return 1;
    }

    WindowHandle main = appWindows.mainWindow;
    soak.shellProc = main->proc;
    main->proc = counting_proc;
    ctl_choose(appWindows.timelinePanel, IDC_STEP_UNIT, 0);   // by day
    ctl_click(appWindows.timelinePanel, IDC_PLAY_FORWARD);
    start_timer(main, PLAYBACK_TIMER, FAST_PERIOD_MS);         // the same timer, restarted
    while (soak.ticks < ticks) process_events(100);
    const long endRawRss = resident_bytes(false);
    const long endRss = resident_bytes(true);
    handle_menu_command(CMD_QUIT);
    run_message_loop();

    const long growth = endRss - soak.warmRss;
    std::printf("soak: %u ticks, 300 ZIP codes, day steps, %u ZIP reports; resident after %u ticks %.2f MB, "
                "at the end %.2f MB (%+.3f MB; untrimmed %.2f and %.2f MB); GL errors %u; "
                "messages %d\n",
                soak.ticks, soak.zipReports, WARM_TICKS, soak.warmRss / 1048576.0, endRss / 1048576.0,
                growth / 1048576.0, soak.warmRawRss / 1048576.0, endRawRss / 1048576.0,
                soak.glErrors, soak.messages);
    return (growth <= ALLOWED_GROWTH && growth >= -ALLOWED_GROWTH && soak.glErrors == 0 &&
            soak.messages == 0) ? 0 : 1;
}
