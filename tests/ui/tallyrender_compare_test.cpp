// tallyrender_compare_test.cpp -- the batch renderer against the running viewer: for
// one state (date, field, campus, selection, scale, camera) and size, tallyrender's
// picture equals the viewer's "Save Snapshot.." byte for byte, and its report equals
// the report the viewer appends to its log.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app_harness.h"
#include "app_windows.h"
#include "camera.h"
#include "gis_panel.h"
#include "info_panel.h"
#include "query_panel.h"
#include "scene.h"
#include "selection.h"
#include "shell.h"
#include "snapshot.h"

namespace {

std::string output_of(const std::string &command)
{
    std::string output;
    char buffer[512];
    if (FILE *pipe = popen(command.c_str(), "r")) {
        while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
        if (pclose(pipe) != 0) output += "<failed>";
    }
    return output;
}

TEST(Tallyrender, DrawsAndReportsExactlyAsTheViewer)
{
    ASSERT_EQ(start_viewer_once(), 1) << "the GL view never initialised";
    const std::string root = sample_directory();
    modalLog.fileAnswers = {root + "/in/zips.csv"};
    handle_menu_command(1);                            // Load Data..
    handle_menu_command(34);                           // Census 2000: 15 June 2000
    ctl_choose(appWindows.queryPanel, IDC_FIELD_LIST, 2);   // Households
    ctl_choose(appWindows.queryPanel, IDC_CAMPUS, 1);
    ctl_choose(appWindows.gisPanel, IDC_HEIGHT_SCALE, 2);   // 100:1
    ctl_choose(appWindows.queryPanel, IDC_ZIP_LIST, 0);     // selects and recentres on 77001
    viewState.rotation = 25.0f;
    viewState.tilt = 60.0f;
    viewState.distance = 40.0f;

    captureWait = 0;
    modalLog.fileAnswers = {root + "/out/viewer.bmp"};
    handle_menu_command(7);                            // Save Snapshot..
    ASSERT_EQ(modalLog.messages.back(), "Info: Save complete");

    char size[32];
    std::snprintf(size, sizeof size, "%dx%d", viewState.viewportWidth, viewState.viewportHeight);
    const std::string common = "env -u DISPLAY '" TALLYRENDER_PATH "' --data '" + root + "/data' --load '" + root +
                               "/in/zips.csv' --date 2000-06-15 --field 2 --campus 1 --height-scale 100 "
                               "--select 77001 --centre -95.36,29.75 --view 25,60,40 ";
    ASSERT_EQ(output_of(common + "--size " + size + " --snapshot '" + root + "/out/render.bmp'"), "");
    EXPECT_EQ(read_file(root + "/out/render.bmp"), read_file(root + "/out/viewer.bmp"));

    char text[8192] = "";
    ctl_get_text(appWindows.infoPanel, IDC_INFO_LOG, text, sizeof text);
    const std::string report = output_of(common + "--report 77001");
    EXPECT_EQ(report + "\n", text);   // the log adds the line end after each report
    EXPECT_NE(report.find("Enrollment for zip code 77001: 20,"), std::string::npos) << report;
}

}   // namespace
