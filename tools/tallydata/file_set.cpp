// file_set.cpp -- all-or-nothing writing of a set of files (see file_set.h).
#include "file_set.h"
#include "file_write.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace fs = std::filesystem;

int read_whole_file(const fs::path &path, std::string &bytes)
{
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) return errno == ENOENT ? 0 : -1;
    bytes.clear();
    char buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, got);
    bool failed = std::ferror(file);
    int saved = errno;
    std::fclose(file);
    if (failed) { errno = saved ? saved : EIO; return -1; }
    return 1;
}

int commit_file_set(const FileSet &set, Diagnostics &diag)
{
    std::vector<fs::path> made;         // folders this call made, parents first
    std::vector<fs::path> temporaries;  // written so far, removed on failure
    std::vector<fs::path> finals;       // what each temporary becomes
    std::string failure;
    int error = 0;

    auto undo = [&] {
        std::error_code ignored;
        for (const fs::path &t : temporaries) fs::remove_all(t, ignored);
        for (auto it = made.rbegin(); it != made.rend(); ++it) fs::remove(*it, ignored);
    };

    for (const fs::path &folder : set.folders) {
        std::vector<fs::path> missing;
        for (fs::path p = folder; !p.empty(); p = p.parent_path()) {
            std::error_code ec;
            if (fs::exists(p, ec)) break;
            if (ec) {   // neither there nor missing: a link loop, a folder that cannot be searched
                failure = p.string();
                error = ec.value();
                break;
            }
            missing.push_back(p);
            if (p == p.parent_path()) break;
        }
        for (auto it = missing.rbegin(); it != missing.rend() && failure.empty(); ++it) {
            std::error_code ec;
            if (fs::create_directory(*it, ec)) made.push_back(*it);
            else if (ec) { failure = it->string(); error = ec.value(); }
        }
        if (!failure.empty()) break;
    }
    for (const PendingCopy &copy : set.copies) {
        if (!failure.empty()) break;
        fs::path temporary = temporary_name_of(copy.to.string());
        std::error_code ec;
        temporaries.push_back(temporary);
        finals.push_back(copy.to);
        fs::copy(copy.from, temporary, fs::copy_options::recursive, ec);
        if (ec) { failure = copy.to.string(); error = ec.value(); }
    }
    for (const PendingFile &file : set.files) {
        if (!failure.empty()) break;
        fs::path temporary = temporary_name_of(file.path.string());
        temporaries.push_back(temporary);
        finals.push_back(file.path);
        if (!write_bytes_to(temporary, file.bytes.data(), file.bytes.size(), error, false)) failure = file.path.string();
    }
    if (!failure.empty()) {
        undo();
        report(diag, true, failure.c_str(), 0, 0, "cannot be written (%s); nothing was changed", std::strerror(error));
        return 0;
    }

    for (size_t i = 0; i < temporaries.size(); ++i) {
        if (std::rename(temporaries[i].c_str(), finals[i].c_str()) == 0) continue;
        int saved = errno;
        std::error_code ignored;
        for (size_t k = i; k < temporaries.size(); ++k) fs::remove_all(temporaries[k], ignored);
        report(diag, true, finals[i].c_str(), 0, 0,
               "cannot be put in place (%s); %zu of %zu files were already replaced", std::strerror(saved), i,
               temporaries.size());
        return 0;
    }
    return 1;
}
