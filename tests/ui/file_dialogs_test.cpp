// file_dialogs_test.cpp -- the path rules of the open and save dialogs, answered by a
// test handler: extension append, remembered folder, restored working directory,
// cancel, and paths too long for the buffer or for their extension.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>
#include <unistd.h>

#include "file_dialogs.h"

namespace {

// What the next dialog answers, and what the dialogs and message boxes were given.
struct Answers {
    bool        cancel = false;
    bool        tooLong = false;       // the platform found the path too long for the buffer
    std::string path;                  // the full path the user "chooses"
    std::string wanderTo;              // a folder the dialog changes into, as a user browsing would
    std::string startSeen, extensionSeen;
    std::vector<std::string> messages; // "caption: text"
} answers;

int answer(const char *startDirectory, const char *extension, char *path, int size)
{
    answers.startSeen = startDirectory;
    answers.extensionSeen = extension;
    if (!answers.wanderTo.empty() && chdir(answers.wanderTo.c_str()) != 0) return 0;
    if (answers.cancel) return 0;
    if (answers.tooLong) return -1;
    std::snprintf(path, size_t(size), "%s", answers.path.c_str());
    return 1;
}

void record_message(const char *text, const char *caption, WindowHandle owner)
{
    answers.messages.push_back(std::string(caption) + ": " + text + (owner ? " (owned)" : ""));
}
int open_answer(WindowHandle, const char *start, const char *ext, char *path, int size)
{
    return answer(start, ext, path, size);
}
int save_answer(WindowHandle, const char *start, const char *ext, char *path, int size)
{
    return answer(start, ext, path, size);
}

std::string working_directory()
{
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
}

class FileDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        answers = Answers();
        ModalHandler handler = {record_message, open_answer, save_answer};
        set_modal_handler(&handler);
        start = working_directory();
        init_file_dialogs(nullptr);
        std::memset(path, '#', sizeof path);
        path[sizeof path - 1] = '\0';
    }
    void TearDown() override
    {
        set_modal_handler(nullptr);
        ASSERT_EQ(chdir(start.c_str()), 0);
    }
    std::string save(const std::string &chosen, const char *extension = ".csv")
    {
        answers.path = chosen;
        return save_file_dialog(path, extension) ? std::string(path) : std::string("<refused>");
    }

    std::string start;
    char        path[FILE_PATH_SIZE];
};

TEST_F(FileDialogs, SaveAppendsTheExtensionUnlessTheNameEndsInItExactly)
{
    EXPECT_EQ(save("/tmp/out/report"), "/tmp/out/report.csv");
    EXPECT_EQ(save("/tmp/out/report.csv"), "/tmp/out/report.csv");
    EXPECT_EQ(save("/tmp/out/REPORT.CSV"), "/tmp/out/REPORT.CSV.csv");
    EXPECT_EQ(save("/tmp/out/view.csv", ".bmp"), "/tmp/out/view.csv.bmp");
    EXPECT_EQ(answers.extensionSeen, ".bmp");
    // The dialog's own record keeps the name as chosen.
    EXPECT_STREQ(fileDialogs.fileName, "/tmp/out/view.csv");
    EXPECT_TRUE(answers.messages.empty());
}

TEST_F(FileDialogs, NextDialogStartsInTheLastFolderWhileTheWorkingDirectoryIsPutBack)
{
    EXPECT_EQ(std::string(fileDialogs.lastDirectory), start);   // no trailing '/' at first
    answers.path = "/tmp/maps/zips";   // the open dialog appends nothing
    answers.wanderTo = "/tmp";
    ASSERT_EQ(open_file_dialog(path, ".csv"), 1);
    EXPECT_STREQ(path, "/tmp/maps/zips");
    EXPECT_EQ(answers.startSeen, start);
    EXPECT_STREQ(fileDialogs.lastDirectory, "/tmp/maps/");
    EXPECT_EQ(working_directory(), start);

    EXPECT_EQ(save("/tmp/shots/view", ".bmp"), "/tmp/shots/view.bmp");
    EXPECT_EQ(answers.startSeen, "/tmp/maps/");
    EXPECT_STREQ(fileDialogs.lastDirectory, "/tmp/shots/");
    EXPECT_EQ(working_directory(), start);
}

TEST_F(FileDialogs, CancelLeavesPathAndFolderAsTheyWere)
{
    char before[FILE_PATH_SIZE];
    std::memcpy(before, path, sizeof path);
    answers.cancel = true;
    EXPECT_EQ(open_file_dialog(path, ".csv"), 0);
    EXPECT_EQ(save_file_dialog(path, ".csv"), 0);
    EXPECT_EQ(std::memcmp(before, path, sizeof path), 0);
    EXPECT_EQ(std::string(fileDialogs.lastDirectory), start);
    EXPECT_TRUE(answers.messages.empty());
}

// However the path turns out too long, the user reads one message: the same text and
// caption, no owner window.
TEST_F(FileDialogs, PathTooLongIsRefusedWithOneMessageWhereverItIsFound)
{
    std::string folder = "/tmp/";
    std::string fits(FILE_PATH_SIZE - 1 - 4 - folder.size(), 'a');   // 255 with ".csv"
    EXPECT_EQ(save(folder + fits), folder + fits + ".csv");
    EXPECT_EQ(save(folder + fits + ".csv"), folder + fits + ".csv");     // 255, already ends in it
    EXPECT_TRUE(answers.messages.empty());

    char before[FILE_PATH_SIZE];
    std::memcpy(before, path, sizeof path);
    answers.wanderTo = "/";
    EXPECT_EQ(save("/var/" + fits + "a"), "<refused>");   // no room for the extension
    answers.tooLong = true;                                 // no room for the path itself
    EXPECT_EQ(save("/var/x"), "<refused>");
    EXPECT_EQ(open_file_dialog(path, ".csv"), 0);
    EXPECT_EQ(std::memcmp(before, path, sizeof path), 0);
    EXPECT_EQ(answers.messages, std::vector<std::string>(3, "Error: The chosen path is too long."));
    EXPECT_STREQ(fileDialogs.lastDirectory, "/tmp/");
    EXPECT_EQ(working_directory(), start);
}

}   // namespace
