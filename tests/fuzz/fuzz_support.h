// fuzz_support.h -- what the libFuzzer harnesses share: a scratch working directory
// holding data/ui, data/zips and data/enroll (the readers look below it),
// a file writer, a silent message box, and a check that aborts (a finding).
#pragma once
#include "platform.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>

// A finding: libFuzzer reports the abort with the input that caused it.
#define FUZZ_CHECK(condition) \
    do { if (!(condition)) { std::fprintf(stderr, "check failed: %s\n", #condition); std::abort(); } } while (0)

inline void write_bytes(const std::string &path, const void *data, size_t size)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);
}

inline void ignore_message(const char *, const char *, WindowHandle) {}

// Makes a fresh scratch folder (in memory where the system has one) with data/ui,
// data/zips and data/enroll, makes it the working directory until the run ends (it is removed then),
// and silences message boxes.
inline void enter_scratch_directory()
{
    static std::string scratch = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    scratch += "/tallymap-fuzz-XXXXXX";
    FUZZ_CHECK(mkdtemp(scratch.data()) != nullptr);
    for (const char *folder : {"/data", "/data/ui", "/data/zips", "/data/enroll"})
        FUZZ_CHECK(mkdir((scratch + folder).c_str(), 0755) == 0);
    FUZZ_CHECK(chdir(scratch.c_str()) == 0);
    std::atexit([] { std::error_code ignored; std::filesystem::remove_all(scratch, ignored); });
    static const ModalHandler silent = {ignore_message, nullptr, nullptr};
    set_modal_handler(&silent);
}
