// app_harness.cpp -- the in-process viewer of the UI tests (see app_harness.h).
#include "app_harness.h"
#include "app_windows.h"
#include "camera.h"
#include "scene.h"
#include "selection.h"
#include "shell.h"
#include "timeline_panel.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <sys/stat.h>

#include "app_windows.h"
#include "platform.h"
#include "shell.h"

ModalLog modalLog;

static void note_timer()
{
    modalLog.timerPeriods.push_back(timer_period(appWindows.mainWindow, PLAYBACK_TIMER));
}

static void record_message(const char *text, const char *caption, WindowHandle owner)
{
    note_timer();
    modalLog.messages.push_back(std::string(caption) + ": " + text);
    modalLog.messageOwners.push_back(owner);
}

static int next_answer(char *path, int size)
{
    if (modalLog.fileAnswers.empty()) return 0;
    std::string chosen = modalLog.fileAnswers.front();
    modalLog.fileAnswers.pop_front();
    if (chosen.empty()) return 0;
    std::snprintf(path, size_t(size), "%s", chosen.c_str());
    return 1;
}

static int answer_file(const char *kind, const char *startDirectory, const char *extension,
                       char *path, int size)
{
    note_timer();
    modalLog.dialogs.push_back(std::string(kind) + " " + extension + " in " + startDirectory);
    return next_answer(path, size);
}

// The print dialog's answer is the PDF file to print into.
static int answer_print(WindowHandle, char *outputFile, int size)
{
    note_timer();
    modalLog.dialogs.push_back("print");
    return next_answer(outputFile, size);
}

static int answer_open(WindowHandle, const char *start, const char *ext, char *path, int size)
{
    return answer_file("open", start, ext, path, size);
}

static int answer_save(WindowHandle, const char *start, const char *ext, char *path, int size)
{
    return answer_file("save", start, ext, path, size);
}

static void write_bytes(const std::string &path, const void *bytes, size_t size)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) { std::perror(path.c_str()); std::abort(); }
    if (std::fwrite(bytes, 1, size, file) != size || std::fclose(file) != 0) std::abort();
}

static std::string make_sample_directory()
{
    char pattern[] = "/tmp/tallymap-ui-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    std::string root = pattern;
    for (const char *folder : {"/data", "/data/ui", "/data/zips", "/data/enroll", "/in", "/out"})
        mkdir((root + folder).c_str(), 0755);
    if (symlink(TALLYMAP_SOURCE_DIR "/data/maps", (root + "/data/maps").c_str()) != 0) std::abort();

    float zone[322] = {1000, 1500, 2000, 2200, 0,    // population
                       400, 500, 600, 700, 0,        // households
                       300, 300, 300, 300, 0};       // families
    zone[15] = 50;                                   // detail[0]
    zone[17] = 60;                                   // detail[2]
    zone[18] = 30;                                   // detail[3]
    write_bytes(root + "/data/zips/77001.zc", zone, sizeof zone);
    uint16_t enrollment[36] = {};
    for (int year = 0; year < 17; ++year) enrollment[year] = uint16_t(10 + year);
    write_bytes(root + "/data/enroll/77001.enr", enrollment, sizeof enrollment);

    const char fields[] = "Total population,0\nHOUSEHOLDS,-1\nHouseholds,1\nFamilies,2\n";
    write_bytes(root + "/data/ui/fields.ui", fields, sizeof fields - 1);

    const char csv[] = "ZIP,X,LON,LAT,TRAVEL,TRAFFIC\n77001,3,-95.36,29.75,12,20\n77002,4,-95.40,29.80,15,25\n";
    write_bytes(root + "/in/zips.csv", csv, sizeof csv - 1);
    return root;
}

static std::string sampleRoot;

// The symlink to the repository's maps is removed, never followed.
static void remove_sample_directory()
{
    std::error_code ignored;
    if (!sampleRoot.empty()) std::filesystem::remove_all(sampleRoot, ignored);
}

const std::string &sample_directory()
{
    if (sampleRoot.empty()) {
        sampleRoot = make_sample_directory();
        std::atexit(remove_sample_directory);
    }
    return sampleRoot;
}

int start_viewer_once()
{
    static int started = -1;
    if (started >= 0) return started;
    ModalHandler handler = {record_message, answer_open, answer_save};
    set_modal_handler(&handler);
    set_print_dialog_handler(answer_print);
    if (chdir(sample_directory().c_str()) != 0) std::abort();
    static char name[] = "tallymap";
    static char *argv[] = {name, nullptr};
    started = start_application(1, argv);
    return started;
}

void pause_by_days()
{
    ctl_click(appWindows.timelinePanel, IDC_PAUSE);
    ctl_choose(appWindows.timelinePanel, IDC_STEP_UNIT, 0);
}

void reset_query_and_camera()
{
    querySelection = {0, 0, -1};
    displaySettings.heightScale = 0.0001f;
    viewState.rotation = viewState.tilt = 0.0f;
    viewState.distance = 500.0f;
    handle_menu_command(CMD_DEFAULT_LOCATION);
}

std::string read_file(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) return "<missing>";
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}
