// cellprint_test.cpp -- runs the built cellprint on census files made here and checks
// its standard output, standard error and exit status.
#include <gtest/gtest.h>

#include "program_run.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path temp_dir()
{
    // one folder per test process, removed when the process ends
    struct TempDir {
        fs::path path = fs::temp_directory_path() / ("tallymap-cellprint-" + std::to_string(getpid()));
        TempDir() { fs::create_directories(path); }
        ~TempDir() { std::error_code ec; fs::remove_all(path, ec); }
    };
    static const TempDir dir;
    return dir.path;
}

// args is appended to the command line as given (already quoted); standard output
// goes to stdoutPath (not read back: it may be a device), by default a file that is.
ProgramRun run_cellprint(const std::string &args, fs::path stdoutPath = {})
{
    const fs::path out = stdoutPath.empty() ? temp_dir() / "stdout.txt" : stdoutPath;
    return run_program(std::string("'") + CELLPRINT_PATH + "' " + args, out, temp_dir() / "stderr.txt",
                       stdoutPath.empty());
}

std::string census_file(const std::string &name, const std::vector<float> &values, size_t bytes)
{
    std::vector<unsigned char> data(bytes, 0);
    for (size_t i = 0; i < values.size() && 4 * i + 3 < bytes; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &values[i], 4);
        for (int b = 0; b < 4; ++b) data[4 * i + b] = uint8_t(bits >> (8 * b));   // little-endian
    }
    const fs::path path = temp_dir() / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(data.data()), long(data.size()));
    return path.string();
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

}  // namespace

TEST(Cellprint, FullFilePrintsEveryValueInFileOrder)
{
    std::vector<float> values(322);
    for (size_t i = 0; i < values.size(); ++i) values[i] = float(i) * 0.25f;
    values[0] = 1234.5f;
    values[4] = -7.125f;             // reserved value of the population series
    values[15] = 3e9f;               // first detail value: fixed notation, no exponent
    values[321] = INFINITY;
    const std::string path = census_file("full.zc", values, 1288 + 10);   // tail ignored

    const ProgramRun r = run_cellprint("'" + path + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const auto out = lines(r.out);
    ASSERT_EQ(out.size(), 322u);
    EXPECT_EQ(out[0], "1234.500000");
    EXPECT_EQ(out[1], "0.250000");
    EXPECT_EQ(out[4], "-7.125000");
    EXPECT_EQ(out[15], "3000000000.000000");
    EXPECT_EQ(out[320], "80.000000");
    EXPECT_EQ(out[321], "inf");
}

TEST(Cellprint, ShortFilesPrintZerosForWhatIsMissing)
{
    const std::string empty = census_file("empty.zc", {}, 0);
    ProgramRun r = run_cellprint("'" + empty + "'");
    EXPECT_EQ(r.status, 0);
    auto out = lines(r.out);
    ASSERT_EQ(out.size(), 322u);
    for (const std::string &line : out) EXPECT_EQ(line, "0.000000");

    const std::string twenty = census_file("twenty.zc", {1, 2, 3, 4, 5}, 20);
    r = run_cellprint("'" + twenty + "'");
    EXPECT_EQ(r.status, 0);
    out = lines(r.out);
    ASSERT_EQ(out.size(), 322u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(out[i], std::to_string(i + 1) + ".000000");
    for (size_t i = 5; i < out.size(); ++i) EXPECT_EQ(out[i], "0.000000") << i;
}

TEST(Cellprint, MissingFileFolderOrArgument)
{
    // a file that cannot be opened: nothing printed, status 0
    ProgramRun r = run_cellprint("'" + (temp_dir() / "no-such.zc").string() + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");

    // a folder is no file: the same
    r = run_cellprint("'" + temp_dir().string() + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");

    // no file named: one usage line on standard error, status 2
    r = run_cellprint("");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "usage: cellprint <census file>\n");
}

// Output that cannot be written is no success: a message and status 1, unlike a file
// that cannot be opened.
TEST(Cellprint, FailedOutputIsReported)
{
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const std::string path = census_file("full-disk.zc", {1, 2, 3}, 1288);
    ProgramRun r = run_cellprint("'" + path + "'", "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "cellprint: cannot write the output\n");

    r = run_cellprint("'" + (temp_dir() / "no-such.zc").string() + "'", "/dev/full");
    EXPECT_EQ(r.status, 0);   // nothing was to be written
    EXPECT_EQ(r.err, "");
}
