// app_harness.h -- runs the real viewer in-process for the UI tests: a small data set
// in a temporary working directory, the start-up without the message loop, and a modal
// handler that answers file dialogs and the print dialog from a queue and records every
// message box.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform.h"

struct ModalLog {
    std::deque<std::string>   fileAnswers;     // next answers of file and print dialogs; "" cancels
    std::vector<std::string>  messages;        // "caption: text", in order
    std::vector<WindowHandle> messageOwners;   // the owner of each message box
    std::vector<std::string>  dialogs;         // "open .csv in <start>" / "save .csv in <start>" / "print"
    std::vector<uint32_t>     timerPeriods;    // the playback timer's period (0 stopped) while
                                               // each dialog or message box was up, in order
};

extern ModalLog modalLog;

// The working directory the viewer runs in: data/ui/fields.ui (0 "Total population",
// 1 the heading "HOUSEHOLDS", 2 "Households", 3 "Families"), data/zips/77001.zc
// (population 1000, 1500, 2000, 2200; households 400, 500, 600, 700; families 300 each;
// detail 50, 0, 60, 30) and data/enroll/77001.enr (campus 1: 10 + year, maximum 0);
// 77002 has no files; data/maps is the repository's. Also holds in/zips.csv listing
// 77001 (-95.36, 29.75, 12 and 20 minutes) and 77002.
const std::string &sample_directory();
// Installs the modal handler and runs start_application once per process, in
// sample_directory(). Returns 1 when the GL view came up.
int start_viewer_once();
// Playback paused, stepping by days.
void pause_by_days();
// Field 0, no campus, no selection, "10000:1", and the default camera looking at the
// default centre (Location > "Default Location").
void reset_query_and_camera();
// Reads a whole file; "<missing>" when it cannot be opened.
std::string read_file(const std::string &path);
