// file_write.h -- a file written whole or not at all, for the console programs. The
// bytes go to a temporary name in the target's own folder (".NAME.partial-PID", hidden,
// so a viewer listing the folder never offers it), every write, the flush and the
// close are checked, and the file takes the target's name only when it is complete. A
// failure removes the temporary file, so an older file of that name stays as it was.
//
// Writers that create their file from a path (the bitmap and PNG writers, the film
// encoder) write to FileWrite.temporary between begin_file_write and finish_file_write;
// bytes already in memory go through write_file_bytes. A set of files that must change
// together is written with write_bytes_to and renamed by its owner (tallydata).
//
// Every operation returns 1 on success and 0 on failure with the system's error number
// in error (EIO when the system gave none).
#pragma once
#include <cstddef>
#include <string>

// Marks every temporary name: a leftover of an interrupted run is found by it.
constexpr char TEMPORARY_MARK[] = ".partial-";
// Marks a backup name: a second name of a file that a set of files replaces, kept until
// the whole set is in place (tallydata's file sets).
constexpr char BACKUP_MARK[] = ".backup-";

struct FileWrite {
    std::string target;      // where the file goes
    std::string temporary;   // where it is written until complete: beside target
    int         listed = -1; // its place among the temporaries a signal removes; -1 none
};

// The hidden temporary name beside target, marked with this process.
std::string temporary_name_of(const std::string &target);

// The hidden backup name beside target, marked with this process (".NAME.backup-PID").
std::string backup_name_of(const std::string &target);

// True when name (a file name without folder) is a temporary or backup name these
// helpers make.
bool is_temporary_name(const std::string &name);

// Names the temporary file of target, and lists it for removal by a signal; nothing is
// created yet.
void begin_file_write(FileWrite &write, const std::string &target);

// Ends a write: when written is true, the temporary file takes the target's name
// (flushed to the disk first when durable); otherwise, or when the rename fails, the
// temporary file is removed. error keeps the first failure.
int finish_file_write(FileWrite &write, bool written, int &error, bool durable = false);

// Removes the temporary file (after the writer failed, or to give up).
void abandon_file_write(FileWrite &write);

// From now on SIGINT, SIGTERM and SIGHUP remove the temporary files of the writes under
// way (begun, not yet finished or abandoned) before the program dies of the signal as
// it would have. A signal the program ignores stays ignored. For programs that handle
// none of these signals themselves.
void remove_temporaries_on_signals();

// Writes size bytes to target whole or not at all.
int write_file_bytes(const std::string &target, const void *bytes, size_t size, int &error, bool durable = false);

// Creates (or truncates) path and writes size bytes into it, every step checked;
// durable flushes the file to the disk (fsync) before it is closed. On failure the
// partial file stays: the caller, which chose the name, removes it.
int write_bytes_to(const std::string &path, const void *bytes, size_t size, int &error, bool durable);

// Flushes a folder's entries (new names, renames) to the disk.
int sync_folder(const std::string &folder, int &error);
