// data_fixture.h -- what the data tests share: a known starting state for the
// process-wide records, a scratch working directory with data/zips and data/enroll,
// little-endian fixture writers, and a message-box recorder.
#pragma once
#include "data_paths.h"
#include "dates.h"
#include "field_list.h"
#include "platform.h"
#include "selection.h"
#include "values.h"
#include "zip_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// Every message box a test provoked: text, caption, and whether it had an owner.
struct ShownMessage {
    std::string text, caption;
    bool owned;
};
inline std::vector<ShownMessage> shownMessages;

inline void record_message(const char *text, const char *caption, WindowHandle owner)
{
    shownMessages.push_back({text, caption, owner != nullptr});
}

inline void reset_data_state()
{
    std::memset(&zipTable, 0, sizeof zipTable);
    clear_values();
    timeline = {0x0084, 0xB67C, 0x0084, 2, 0};
    querySelection = {0, 0, -1};
    std::memset(seriesCode, 0, sizeof seriesCode);
    std::memset(&fieldList, 0, sizeof fieldList);
    set_data_directory("./data");
}

inline std::string read_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const fs::path &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Little-endian bytes of floats and 16-bit integers, whatever the host.
inline std::string le_floats(const std::vector<float> &values)
{
    std::string bytes;
    for (float v : values) {
        uint32_t bits = std::bit_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
    }
    return bytes;
}
inline std::string le_u16(const std::vector<uint16_t> &values)
{
    std::string bytes;
    for (uint16_t v : values) {
        bytes.push_back(static_cast<char>(v & 0xFF));
        bytes.push_back(static_cast<char>(v >> 8));
    }
    return bytes;
}

// A test that starts from the initial records, in a scratch working directory that
// holds data/zips and data/enroll; the previous directory is put back afterwards.
class DataTest : public ::testing::Test {
protected:
    fs::path previousDir, scratch;

    void SetUp() override
    {
        reset_data_state();
        shownMessages.clear();
        ModalHandler recorder{record_message, nullptr, nullptr};
        set_modal_handler(&recorder);
        previousDir = fs::current_path();
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        scratch = fs::temp_directory_path() /
                  ("tallymap-data-" + std::to_string(::getpid()) + "-" + info->name());
        fs::remove_all(scratch);
        fs::create_directories(scratch / "data" / "zips");
        fs::create_directories(scratch / "data" / "enroll");
        fs::current_path(scratch);
    }
    void TearDown() override
    {
        fs::current_path(previousDir);
        fs::remove_all(scratch);
        set_modal_handler(nullptr);
        reset_data_state();
    }

    void write_zone(uint32_t zip, const std::string &bytes)
    {
        write_file(scratch / "data" / "zips" / (std::to_string(zip) + ".zc"), bytes);
    }
    void write_enrollment(uint32_t zip, const std::string &bytes)
    {
        write_file(scratch / "data" / "enroll" / (std::to_string(zip) + ".enr"), bytes);
    }
    // Writes a CSV into the scratch folder and loads it.
    int load(const std::string &csv, const char *name = "load.csv")
    {
        write_file(scratch / name, csv);
        return read_records(name);
    }
};
