// file_set.h -- all-or-nothing writing of a set of files: each is written under a
// temporary name in its own folder, flushed and closed, and only when every one has
// been written are they renamed into place. A failure before the renames removes the
// temporary files and the folders made for them, so every existing file stays as it
// was; a failure during the renames says how many files were already replaced.
#pragma once
#include "tables.h"

#include <filesystem>
#include <string>
#include <vector>

struct PendingFile {
    std::filesystem::path path;          // where the file goes
    std::string           bytes;         // its whole contents
};

struct PendingCopy {
    std::filesystem::path from;          // a folder to copy whole
    std::filesystem::path to;            // where it goes; must not exist
};

struct FileSet {
    std::vector<std::filesystem::path> folders;   // made (with their parents) when missing
    std::vector<PendingCopy>           copies;
    std::vector<PendingFile>           files;
};

// Writes the set. Every failure is reported to diag (as an error naming what failed);
// returns 1 when every file is in place.
int commit_file_set(const FileSet &set, Diagnostics &diag);

// Reads a whole file. Returns 1 with its bytes, 0 when it does not exist, -1 (with
// errno kept) when it exists but cannot be read.
int read_whole_file(const std::filesystem::path &path, std::string &bytes);
