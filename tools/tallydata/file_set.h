// file_set.h -- a set of files put in place whole or not at all, one command at a time
// per data folder, and on the disk before the command says it is done.
//
// The lock: every command holds an exclusive flock on DATA/.tallydata.lock from before
// it reads the folder to its exit, so a second import (or an export or check, which
// would read a half-written set) waits for it. A folder that cannot hold a lock file
// (read-only, such as the installed data) is read without one: nobody writes there.
//
// The set: every new file is written under a temporary name beside its target and
// every target that exists gets a backup name (a hard link) beside it; all of them are
// flushed to the disk (one syncfs per file system); then the journal DATA/.tallydata-journal
// lists the set and is flushed (the commit point); then the renames; then the folders
// are flushed and the backups and the journal removed. A failure before the commit
// point removes what was written; a failed rename puts the backups back. A kill at any
// instant leaves a journal, and the next command on the folder finishes the set (every
// rename can be done again) or, when a rename cannot be done, undoes it, before anything
// else and with one line saying so. The journal is written first with the state
// "writing" too, so that the temporary files of a set killed before its commit point
// are found wherever they lie (the study CSV may lie outside the data folder).
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
    std::filesystem::path              journal;   // the locked folder that keeps the journal; empty:
                                                  // none, and a kill can leave the set half in place
    std::vector<std::filesystem::path> folders;   // made (with their parents) when missing
    std::vector<PendingCopy>           copies;
    std::vector<PendingFile>           files;
};

// Puts the set in place. Every failure is reported to diag (as an error naming what
// failed, and that nothing was changed); returns 1 when every file is in place and flushed.
// SIGINT, SIGTERM and SIGHUP before the commit point undo the set (see interrupting_signal).
int commit_file_set(const FileSet &set, Diagnostics &diag);

// The signal that made commit_file_set give up, or 0. The caller dies of it once it has
// released the folder, so that a shell sees the interruption.
int interrupting_signal();

// The lock on a data folder, from take_data_folder to release_data_folder (or the exit).
struct FolderLock {
    std::filesystem::path              folder;    // the locked folder
    int                                fd = -1;   // the open lock file; -1 when no lock is held
    bool                               writable = false;   // the folder takes writes: leftovers can go
    std::vector<std::filesystem::path> made;      // folders made to hold the lock file, parents first
};

enum LockMode {
    LOCK_TO_WRITE,   // the folder is made when missing; one that cannot hold the lock file is an error
    LOCK_TO_READ,    // a missing folder, or one that cannot hold a lock file, is read without a lock
};

// Takes the lock on folder, waiting for another tallydata (one line on diag.echo) unless
// noWait, which refuses instead; then finishes or undoes a set that an interrupted
// tallydata left, and removes leftover temporary files, each with a warning. Returns 1
// when the command may go on, 0 after reporting why not.
int take_data_folder(const std::filesystem::path &folder, LockMode mode, bool noWait, FolderLock &lock,
                     Diagnostics &diag);

// Gives the lock back. After a failed command, the folders made for the lock file are
// removed again (the lock file first) when nothing else was put in them.
void release_data_folder(FolderLock &lock, bool failed);

// The safety a set is put in place with. The benchmark's baseline program turns it off
// to measure what it costs; tallydata never does.
struct FileSetSafety {
    bool lock    = true;   // take_data_folder locks the folder and recovers what it finds
    bool journal = true;   // commit_file_set keeps backups of the files it replaces, and a
                           // journal when the set names its folder
    bool flush   = true;   // commit_file_set flushes the files and folders to the disk
};
extern FileSetSafety fileSetSafety;

// Reads a whole file. Returns 1 with its bytes, 0 when it does not exist, -1 (with
// errno kept) when it exists but cannot be read.
int read_whole_file(const std::filesystem::path &path, std::string &bytes);

// The stored census or enrollment file at path decoded into record, unless replace
// (which reads none): 1 read, 0 none read, -1 unreadable (reported). A file of another
// size than its layout is named with its size, read or not: the set replaces it by one
// of the layout's size.
int read_stored_zone_file(const std::filesystem::path &path, ZoneFileKind kind, bool replace, ZipRecord &record,
                          Diagnostics &diag);
