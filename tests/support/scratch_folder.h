// scratch_folder.h -- a fixture for tests that run a built program: a folder of the
// running test's own for what the program writes, made empty before the test and
// removed after it, named after the process and the test so that tests running at
// once never share one.
#pragma once
#include "program_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

class ScratchFolderTest : public ::testing::Test {
protected:
    std::filesystem::path dir;   // the test's own folder

    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              ("tallymap-" + std::string(info->test_suite_name()) + "-" + std::to_string(getpid()) + "-" + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string at(const std::string &name) const { return (dir / name).string(); }

    // commandLine through the shell; its streams are collected in the folder and
    // removed again, so they never count among what the program wrote.
    ProgramRun shell(const std::string &commandLine)
    {
        const std::filesystem::path out = dir / "stdout.txt", err = dir / "stderr.txt";
        ProgramRun r = run_program(commandLine, out, err);
        std::filesystem::remove(out);
        std::filesystem::remove(err);
        return r;
    }
};
