// file_set.cpp -- a set of files put in place whole or not at all, under the data
// folder's lock (see file_set.h).
//
// Sections:
//   [SECTION] The journal
//   [SECTION] Writing, finishing and undoing a set
//   [SECTION] commit_file_set
//   [SECTION] The lock, and an interrupted set found under it
//   [SECTION] Reading a file, and a stored census or enrollment file
#include "file_set.h"
#include "file_write.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

FileSetSafety fileSetSafety;

namespace {

constexpr char LOCK_NAME[]    = ".tallydata.lock";
constexpr char JOURNAL_NAME[] = ".tallydata-journal";
constexpr char JOURNAL_HEAD[] = "tallydata journal 1";

// ============================================================================
// [SECTION] The journal
// ============================================================================
// The journal's text, a line each, every path written as LENGTH:BYTES (relative to the
// journal's folder when below it, else absolute):
//   tallydata journal 1
//   process PID
//   state writing | committed | undoing
//   made PATH                          a folder the set made
//   copy TARGET TEMPORARY              a folder copied whole; TARGET did not exist
//   create TARGET TEMPORARY            a new file; TARGET did not exist
//   replace TARGET TEMPORARY BACKUP    a new file; BACKUP is the old file's second name
//   end
// One name of a set, and how finishing and undoing treat it.
enum EntryKind {
    ENTRY_MADE,      // a folder the set made: removed on undo when empty
    ENTRY_COPY,      // a folder copied whole under a temporary name; its target did not exist
    ENTRY_CREATE,    // a new file under a temporary name; its target did not exist
    ENTRY_REPLACE,   // a new file under a temporary name; the old one has a backup name
};
constexpr const char *ENTRY_WORDS[] = {"made", "copy", "create", "replace"};

struct JournalEntry {
    EntryKind kind;
    fs::path  target;      // where it goes
    fs::path  temporary;   // where it is until it is renamed (not for ENTRY_MADE)
    fs::path  backup;      // the old file's second name (ENTRY_REPLACE only)
};

// Where a set stands; the journal says it, and the next command goes on from there.
enum SetState {
    SET_WRITING,     // temporary files and backups being made: undone by removing them
    SET_COMMITTED,   // all written and flushed: finished by renaming every temporary left
    SET_UNDOING,     // a rename failed: undone by putting every backup back
};
constexpr const char *STATE_WORDS[] = {"writing", "committed", "undoing"};

struct Journal {
    fs::path                  folder;      // where it is kept; relative names in it are below it
    long                      process = 0; // who wrote it, for the messages
    SetState                  state = SET_WRITING;
    std::vector<JournalEntry> entries;     // made folders (parents first), copies, files
};

// A path as the journal keeps it: below the folder relative to it, so the folder may be
// reached by another path next time; elsewhere (a study CSV) absolute.
std::string kept_path(const fs::path &folder, const fs::path &path)
{
    const fs::path relative = path.lexically_relative(folder);
    if (!relative.empty() && *relative.begin() != "..") return relative.string();
    std::error_code ec;   // no working folder (it was removed): the path as given
    const fs::path absolute = fs::absolute(path, ec);
    return ec ? path.string() : absolute.string();
}

// Every path is written as its length, a colon and its bytes: a name may hold any byte.
std::string journal_text(const Journal &j)
{
    std::string text = std::string(JOURNAL_HEAD) + "\nprocess " + std::to_string(j.process) + "\nstate " +
                       STATE_WORDS[j.state] + "\n";
    for (const JournalEntry &e : j.entries) {
        text += ENTRY_WORDS[e.kind];
        for (const fs::path *p : {&e.target, &e.temporary, &e.backup}) {
            if (p->empty()) continue;
            const std::string kept = kept_path(j.folder, *p);
            text += " " + std::to_string(kept.size()) + ":" + kept;
        }
        text += "\n";
    }
    return text + "end\n";
}

// Reads journal text: words, numbers and length-prefixed names, each to its end or not at all.
struct JournalReader {
    const std::string &text;
    size_t at = 0;

    bool literal(std::string_view expected)
    {
        if (text.compare(at, expected.size(), expected) != 0) return false;
        at += expected.size();
        return true;
    }
    // A word of the list, as its index.
    template <size_t N> bool one_of(const char *const (&words)[N], int &index)
    {
        for (size_t i = 0; i < N; ++i)
            if (literal(words[i])) return index = int(i), true;
        return false;
    }
    bool number(size_t &value)
    {
        constexpr size_t DIGITS = 18;   // within size_t; no name or process number is longer
        size_t digits = 0;
        value = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < DIGITS; ++at, ++digits)
            value = value * 10 + size_t(text[at] - '0');
        return digits > 0;
    }
    // " LENGTH:NAME", relative names below folder.
    bool name(const fs::path &folder, fs::path &path)
    {
        size_t size = 0;
        if (!literal(" ") || !number(size) || !literal(":") || size == 0 || size > text.size() - at) return false;
        const fs::path kept = text.substr(at, size);
        at += size;
        path = kept.is_absolute() ? kept : folder / kept;
        return true;
    }
};

// Reads journal text back into j (whose folder is set); 0 when it is not one whole journal.
int parse_journal(const std::string &text, Journal &j)
{
    JournalReader r{text};
    size_t process = 0;
    int state = 0;
    if (!r.literal(JOURNAL_HEAD) || !r.literal("\nprocess ") || !r.number(process) || !r.literal("\nstate ") ||
        !r.one_of(STATE_WORDS, state) || !r.literal("\n"))
        return 0;
    j.process = long(process);
    j.state = SetState(state);
    while (!r.literal("end\n")) {
        int kind = 0;
        if (!r.one_of(ENTRY_WORDS, kind)) return 0;
        JournalEntry e{EntryKind(kind), {}, {}, {}};
        if (!r.name(j.folder, e.target)) return 0;
        if (e.kind != ENTRY_MADE && !r.name(j.folder, e.temporary)) return 0;
        if (e.kind == ENTRY_REPLACE && !r.name(j.folder, e.backup)) return 0;
        if (!r.literal("\n")) return 0;
        j.entries.push_back(e);
    }
    return r.at == text.size();
}

// Writes the journal under a temporary name, flushes it, renames it into place and
// flushes its folder: once this returns 1, the state survives a power cut.
int write_journal(const Journal &j, int &error)
{
    const std::string text = journal_text(j);
    FileWrite write;
    begin_file_write(write, (j.folder / JOURNAL_NAME).string());
    const bool written = write_bytes_to(write.temporary, text.data(), text.size(), error, false);
    return finish_file_write(write, written, error, true);
}

// ============================================================================
// [SECTION] Writing, finishing and undoing a set
// ============================================================================
// The first failure wins: error keeps it, the caller names where.
bool fail(int &error, int number)
{
    if (error == 0) error = number ? number : EIO;
    return false;
}

bool exists_no_follow(const fs::path &p)
{
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
}

// Removes a name; one that is already gone is fine.
bool remove_name(const fs::path &p, int &error)
{
    return std::remove(p.c_str()) == 0 || errno == ENOENT || fail(error, errno);
}

bool remove_tree(const fs::path &p, int &error)
{
    std::error_code ec;
    fs::remove_all(p, ec);
    return !ec || fail(error, ec.value());
}

// Removes a folder the set made, unless something else was put in it meanwhile.
void remove_made_folder(const fs::path &p)
{
    std::error_code ignored;
    fs::remove(p, ignored);
}

// The folder a name lands in.
fs::path folder_of(const fs::path &p)
{
    return p.has_parent_path() ? p.parent_path() : fs::path(".");
}

// The open folders that the set's names land in, flushed before the set is done. They
// are opened before the first file is written: a write-back failure after that is
// reported by syncfs on them.
struct Folders {
    std::vector<int>      fds;     // each folder opened read-only, closed with the record
    std::vector<fs::path> paths;   // the same folders, in order: each is opened once, and named in messages
    Folders() = default;
    Folders(const Folders &) = delete;
    Folders &operator=(const Folders &) = delete;
    ~Folders()
    {
        for (int fd : fds) close(fd);
    }
};

// Opens the folders of the journal's names. skipMissing: a folder that is gone (a study
// CSV's, removed since) is left out, and its names count as done.
bool open_folders(const Journal &j, Folders &folders, int &error, fs::path &failed, bool skipMissing = false)
{
    for (const JournalEntry &e : j.entries) {
        const fs::path folder = folder_of(e.target);
        if (std::find(folders.paths.begin(), folders.paths.end(), folder) != folders.paths.end()) continue;
        const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0 && skipMissing && errno == ENOENT) continue;
        if (fd < 0) {
            failed = folder;
            return fail(error, errno);
        }
        folders.fds.push_back(fd);
        folders.paths.push_back(folder);
    }
    return true;
}

// Flushes every file system the set lies on, one syncfs each: the new files, their
// temporary names and the backups reach the disk before the journal says "committed".
bool sync_file_systems(const Folders &folders, int &error, fs::path &failed)
{
    if (!fileSetSafety.flush) return true;
    std::vector<dev_t> done;
    for (size_t i = 0; i < folders.fds.size(); ++i) {
        struct stat st;
        if (fstat(folders.fds[i], &st) != 0) return failed = folders.paths[i], fail(error, errno);
        if (std::find(done.begin(), done.end(), st.st_dev) != done.end()) continue;
        if (syncfs(folders.fds[i]) != 0) return failed = folders.paths[i], fail(error, errno);
        done.push_back(st.st_dev);
    }
    return true;
}

// Flushes the folders' entries: the renames reach the disk before the set is done.
bool sync_folders(const Folders &folders, int &error, fs::path &failed)
{
    if (!fileSetSafety.flush) return true;
    for (size_t i = 0; i < folders.fds.size(); ++i)
        if (fsync(folders.fds[i]) != 0) return failed = folders.paths[i], fail(error, errno);
    return true;
}

// Removes what a set made before its commit point; every target is still the old file.
bool remove_unwritten(const Journal &j, int &error)
{
    bool ok = true;
    for (auto e = j.entries.rbegin(); e != j.entries.rend(); ++e) {
        switch (e->kind) {
        case ENTRY_MADE:    remove_made_folder(e->target); break;
        case ENTRY_COPY:    ok = remove_tree(e->temporary, error) && ok; break;
        case ENTRY_CREATE:  ok = remove_name(e->temporary, error) && ok; break;
        case ENTRY_REPLACE: ok = remove_name(e->temporary, error) && remove_name(e->backup, error) && ok; break;
        }
    }
    return ok;
}

// Renames every temporary still there; one already renamed (gone: ENOENT) is done.
// Returns the index of the entry whose rename failed, or the number of entries.
size_t finish_renames(const Journal &j, int &error)
{
    for (size_t i = 0; i < j.entries.size(); ++i) {
        const JournalEntry &e = j.entries[i];
        if (e.kind == ENTRY_MADE || std::rename(e.temporary.c_str(), e.target.c_str()) == 0 || errno == ENOENT) continue;
        return fail(error, errno), i;
    }
    return j.entries.size();
}

// After the renames: the backups go (every rename is on the disk by now).
bool remove_backups(const Journal &j, int &error)
{
    bool ok = true;
    for (const JournalEntry &e : j.entries)
        if (e.kind == ENTRY_REPLACE) ok = remove_name(e.backup, error) && ok;
    return ok;
}

// Puts the old set back: a temporary still there was never renamed and goes; a new
// target without an old file goes; an old file comes back from its backup name. Each
// step can be done again after a kill.
bool undo_renames(const Journal &j, int &error)
{
    bool ok = true;
    for (auto e = j.entries.rbegin(); e != j.entries.rend(); ++e) {
        const bool renamed = e->kind != ENTRY_MADE && !exists_no_follow(e->temporary);
        switch (e->kind) {
        case ENTRY_MADE:   remove_made_folder(e->target); break;
        case ENTRY_COPY:   ok = remove_tree(renamed ? e->target : e->temporary, error) && ok; break;
        case ENTRY_CREATE: ok = remove_name(renamed ? e->target : e->temporary, error) && ok; break;
        case ENTRY_REPLACE:
            if (!renamed) ok = remove_name(e->temporary, error) && ok;
            // Not renamed, the backup and the target are one file and rename leaves both
            // names: the backup name goes after it either way.
            if (exists_no_follow(e->backup) && std::rename(e->backup.c_str(), e->target.c_str()) != 0)
                ok = fail(error, errno);
            else ok = remove_name(e->backup, error) && ok;
            break;
        }
    }
    return ok;
}

size_t file_count(const Journal &j)
{
    return size_t(std::count_if(j.entries.begin(), j.entries.end(),
                                [](const JournalEntry &e) { return e.kind == ENTRY_CREATE || e.kind == ENTRY_REPLACE; }));
}

// ============================================================================
// [SECTION] commit_file_set
// ============================================================================
volatile sig_atomic_t interruption = 0;   // the last SIGINT, SIGTERM or SIGHUP during a commit
int givenUpFor = 0;                       // the signal that made a commit give up

constexpr int INTERRUPTS[] = {SIGINT, SIGTERM, SIGHUP};

void note_interruption(int signal) { interruption = signal; }

// The interruptions are noted, not obeyed, while a set is put in place: before its
// commit point it gives up cleanly, after it it finishes.
struct NotedInterruptions {
    struct sigaction previous[std::size(INTERRUPTS)];
    NotedInterruptions()
    {
        interruption = 0;
        struct sigaction noted = {};
        noted.sa_handler = note_interruption;
        sigemptyset(&noted.sa_mask);
        noted.sa_flags = SA_RESTART;
        for (size_t i = 0; i < std::size(INTERRUPTS); ++i) {
            sigaction(INTERRUPTS[i], nullptr, &previous[i]);
            if (previous[i].sa_handler != SIG_IGN) sigaction(INTERRUPTS[i], &noted, nullptr);   // nohup stays nohup
        }
    }
    ~NotedInterruptions()
    {
        for (size_t i = 0; i < std::size(INTERRUPTS); ++i) sigaction(INTERRUPTS[i], &previous[i], nullptr);
    }
};

// Makes each missing folder of the set (parents first) and lists it in the journal.
bool make_folders(const FileSet &set, Journal &j, int &error, fs::path &failed)
{
    for (const fs::path &folder : set.folders) {
        std::vector<fs::path> missing;
        for (fs::path p = folder; !p.empty(); p = p.parent_path()) {
            std::error_code ec;
            if (fs::exists(p, ec)) break;
            if (ec) return failed = p, fail(error, ec.value());   // a link loop, a folder that cannot be searched
            missing.push_back(p);
            if (p == p.parent_path()) break;
        }
        for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
            std::error_code ec;
            if (fs::create_directory(*it, ec)) j.entries.push_back({ENTRY_MADE, *it, {}, {}});
            else if (ec) return failed = *it, fail(error, ec.value());
        }
    }
    return true;
}

// Lists every file of the set with its temporary name, and its backup name when the
// target exists. A target that is a folder is refused here, before anything is written.
bool list_files(const FileSet &set, Journal &j, int &error, fs::path &failed)
{
    for (const PendingCopy &copy : set.copies)
        j.entries.push_back({ENTRY_COPY, copy.to, temporary_name_of(copy.to.string()), {}});
    for (const PendingFile &file : set.files) {
        struct stat st;
        const std::string target = file.path.string();
        if (lstat(target.c_str(), &st) != 0) {
            if (errno != ENOENT) return failed = file.path, fail(error, errno);
            j.entries.push_back({ENTRY_CREATE, file.path, temporary_name_of(target), {}});
        } else if (S_ISDIR(st.st_mode)) {
            return failed = file.path, fail(error, EISDIR);
        } else {
            const fs::path backup = fileSetSafety.journal ? fs::path(backup_name_of(target)) : fs::path();
            j.entries.push_back({ENTRY_REPLACE, file.path, temporary_name_of(target), backup});
        }
    }
    return true;
}

// Copies a file, or a folder with everything in it, through the checked writer: a
// failure keeps the system's own reason (the standard library's copy reports a full
// disk as an I/O error).
bool copy_tree(const fs::path &from, const fs::path &to, int &error)
{
    std::error_code ec;
    if (fs::is_directory(from, ec)) {
        if (!fs::create_directory(to, ec)) return fail(error, ec ? ec.value() : EEXIST);
        for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec))
            if (!copy_tree(it->path(), to / it->path().filename(), error)) return false;
        return !ec || fail(error, ec.value());
    }
    std::string bytes;
    if (read_whole_file(from, bytes) != 1) return fail(error, errno);
    return write_bytes_to(to.string(), bytes.data(), bytes.size(), error, false);
}

// A second name for the old file: a hard link, or a copy where the file system has none.
bool make_backup(const JournalEntry &e, int &error)
{
    if (link(e.target.c_str(), e.backup.c_str()) == 0) return true;
    if (errno != EPERM && errno != EMLINK && errno != ENOTSUP && errno != EOPNOTSUPP) return fail(error, errno);
    return copy_tree(e.target, e.backup, error);
}

// Writes every temporary file and backup of the set; gives up at the first failure or
// interruption. The journal's entries and the set's copies and files are in one order.
bool write_set(const FileSet &set, const Journal &j, int &error, fs::path &failed)
{
    size_t copy = 0, file = 0;
    for (const JournalEntry &e : j.entries) {
        if (interruption) return fail(error, EINTR);
        if (e.kind == ENTRY_COPY) {
            if (!copy_tree(set.copies[copy++].from, e.temporary, error)) return failed = e.target, false;
        } else if (e.kind == ENTRY_CREATE || e.kind == ENTRY_REPLACE) {
            const std::string &bytes = set.files[file++].bytes;
            if (!write_bytes_to(e.temporary.string(), bytes.data(), bytes.size(), error, false))
                return failed = e.target, false;
            if (e.kind == ENTRY_REPLACE && !e.backup.empty() && !make_backup(e, error)) return failed = e.target, false;
        }
    }
    return true;
}

}  // namespace

int interrupting_signal() { return givenUpFor; }

int commit_file_set(const FileSet &set, Diagnostics &diag)
{
    NotedInterruptions noted;
    Journal j;
    j.folder = set.journal;
    j.process = long(getpid());
    const bool journaled = fileSetSafety.journal && !set.journal.empty();
    int error = 0;
    fs::path failed;
    Folders folders;

    // Up to the commit point, a failure removes what was written: nothing changed.
    const char *what = "cannot be written";
    bool ok = make_folders(set, j, error, failed) && list_files(set, j, error, failed);
    if (!ok && error == EISDIR) what = "is a folder, not a file";
    if (ok && journaled) ok = write_journal(j, error) || (failed = set.journal / JOURNAL_NAME, false);
    if (ok) ok = open_folders(j, folders, error, failed) && write_set(set, j, error, failed);
    if (ok && !(ok = sync_file_systems(folders, error, failed))) what = "cannot be flushed to the disk";
    if (ok && interruption) ok = fail(error, EINTR);
    if (ok && journaled) {
        j.state = SET_COMMITTED;
        ok = write_journal(j, error) || (failed = set.journal / JOURNAL_NAME, false);
    }
    if (!ok) {
        int ignored = 0;
        if (remove_unwritten(j, ignored) && journaled) remove_name(set.journal / JOURNAL_NAME, ignored);
        if (error == EINTR && interruption) {
            givenUpFor = interruption;
            report(diag, true, nullptr, 0, 0, "interrupted: nothing was changed");
        } else {
            report(diag, true, failed.c_str(), 0, 0, "%s (%s); nothing was changed", what, std::strerror(error));
        }
        return 0;
    }

    // The commit point is passed: the set is finished, whatever is interrupted now.
    const size_t stopped = finish_renames(j, error);
    if (stopped < j.entries.size()) {
        const int renameError = error;
        error = 0;
        j.state = SET_UNDOING;   // a kill during the undo is undone by the next command
        int unsaid = 0;
        if (journaled) write_journal(j, unsaid);
        bool undone = undo_renames(j, error) && sync_folders(folders, error, failed);
        if (undone && journaled) undone = remove_name(set.journal / JOURNAL_NAME, error);
        if (undone)
            report(diag, true, j.entries[stopped].target.c_str(), 0, 0,
                   "cannot be put in place (%s); every file was put back as it was", std::strerror(renameError));
        else if (journaled)
            report(diag, true, j.entries[stopped].target.c_str(), 0, 0,
                   "cannot be put in place (%s), and the files already replaced cannot all be put back (%s): "
                   "the next tallydata command on %s puts them back", std::strerror(renameError),
                   std::strerror(error), set.journal.c_str());
        else
            report(diag, true, j.entries[stopped].target.c_str(), 0, 0,
                   "cannot be put in place (%s), and the files already replaced cannot all be put back (%s)",
                   std::strerror(renameError), std::strerror(error));
        return 0;
    }
    if (!sync_folders(folders, error, failed)) {
        report(diag, true, failed.c_str(), 0, 0, "the files are in place, but the folder cannot be flushed to the disk (%s)",
               std::strerror(error));
        return 0;
    }
    int ignored = 0;   // a backup or journal left behind is removed by the next command
    if (remove_backups(j, ignored) && journaled) remove_name(set.journal / JOURNAL_NAME, ignored);
    return 1;
}

// ============================================================================
// [SECTION] The lock, and an interrupted set found under it
// ============================================================================
namespace {

bool same_file(int fd, const fs::path &path)
{
    struct stat held, named;
    return fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

// Where nobody can write, nobody needs a lock: a read-only folder, or one of another user.
bool cannot_write(int number) { return number == EROFS || number == EACCES || number == EPERM; }

// Makes folder and its missing parents, listing those made.
bool make_lock_folder(const fs::path &folder, FolderLock &lock, int &error)
{
    std::vector<fs::path> missing;
    for (fs::path p = folder; !p.empty(); p = p.parent_path()) {
        std::error_code ec;
        if (fs::exists(p, ec)) break;
        if (ec) return fail(error, ec.value());
        missing.push_back(p);
        if (p == p.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        std::error_code ec;
        if (fs::create_directory(*it, ec)) lock.made.push_back(*it);
        else if (ec) return fail(error, ec.value());
    }
    return true;
}

// Finishes or undoes the set a journal describes. Returns 1 when it is done and the
// journal removed.
int recover_set(Journal &j, Diagnostics &diag)
{
    int error = 0;
    fs::path failed;
    const fs::path journalPath = j.folder / JOURNAL_NAME;
    if (j.state == SET_WRITING) {
        if (remove_unwritten(j, error) && remove_name(journalPath, error)) {
            report(diag, false, j.folder.c_str(), 0, 0,
                   "undid the import that was interrupted (process %ld) before its files were written: "
                   "every file is as it was", j.process);
            return 1;
        }
    } else {
        Folders folders;
        bool done = open_folders(j, folders, error, failed, true);
        if (done && j.state == SET_COMMITTED) {
            if (finish_renames(j, error) == j.entries.size()) {
                if (sync_folders(folders, error, failed) && remove_backups(j, error) && remove_name(journalPath, error)) {
                    report(diag, false, j.folder.c_str(), 0, 0,
                           "finished the import that was interrupted (process %ld) while its files were put in "
                           "place: its %zu files are in place", j.process, file_count(j));
                    return 1;
                }
                done = false;
            } else {
                j.state = SET_UNDOING;
                error = 0;
                done = write_journal(j, error);
            }
        }
        if (done && j.state == SET_UNDOING && undo_renames(j, error) && sync_folders(folders, error, failed) &&
            remove_name(journalPath, error)) {
            report(diag, false, j.folder.c_str(), 0, 0,
                   "undid the import that was interrupted (process %ld) while its files were put in place: "
                   "every file is as it was", j.process);
            return 1;
        }
    }
    report(diag, true, journalPath.c_str(), 0, 0,
           "an interrupted import cannot be finished or undone (%s): nothing else is done here until it is",
           std::strerror(error ? error : EIO));
    return 0;
}

// Removes the temporary files and backups in the folder and its zips/ and enroll/ that
// no journal lists: a tallydata killed before it wrote one, or an older tallydata.
void remove_leftovers(const fs::path &folder, Diagnostics &diag)
{
    long removed = 0;
    for (const fs::path &where : {folder, folder / ZONE_FILE_LAYOUTS[ZONE_CENSUS].folder,
                                  folder / ZONE_FILE_LAYOUTS[ZONE_ENROLLMENT].folder}) {
        std::error_code ec;
        for (fs::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec)) {
            if (!is_temporary_name(it->path().filename().string())) continue;
            std::error_code gone;
            if (fs::remove_all(it->path(), gone) > 0 && !gone) ++removed;
        }
    }
    if (removed)
        report(diag, false, folder.c_str(), 0, 0, "removed %ld temporary file%s that an interrupted tallydata left",
               removed, removed == 1 ? "" : "s");
}

}  // namespace

int take_data_folder(const fs::path &folder, LockMode mode, bool noWait, FolderLock &lock, Diagnostics &diag)
{
    lock.folder = folder;
    if (!fileSetSafety.lock) return 1;
    const fs::path lockPath = folder / LOCK_NAME;
    const fs::path journalPath = folder / JOURNAL_NAME;
    bool told = false;
    for (;;) {
        int error = 0;
        if (mode == LOCK_TO_WRITE && !make_lock_folder(folder, lock, error)) {
            report(diag, true, folder.c_str(), 0, 0, "cannot be written (%s)", std::strerror(error));
            return 0;
        }
        std::error_code ec;
        if (mode == LOCK_TO_READ && !fs::is_directory(folder, ec)) return 1;   // the command says what is missing
        int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        lock.writable = fd >= 0;
        if (fd < 0 && mode == LOCK_TO_READ && cannot_write(errno)) fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            const int why = errno;
            if (mode == LOCK_TO_READ && (cannot_write(why) || why == ENOENT)) {
                if (!fs::exists(journalPath, ec)) return 1;
                report(diag, true, journalPath.c_str(), 0, 0,
                       "an interrupted import must be finished first, and cannot be from here (%s)", std::strerror(why));
                return 0;
            }
            report(diag, true, folder.c_str(), 0, 0, "cannot hold the lock file %s (%s)", LOCK_NAME, std::strerror(why));
            return 0;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK) {
                report(diag, true, lockPath.c_str(), 0, 0, "cannot be locked (%s)", std::strerror(errno));
                close(fd);
                return 0;
            }
            if (noWait) {
                report(diag, true, folder.c_str(), 0, 0, "another tallydata is working on this folder (--no-wait)");
                close(fd);
                return 0;
            }
            if (!told && diag.echo) std::fprintf(diag.echo, "tallydata: waiting for another tallydata on %s\n", folder.c_str());
            told = true;
            while (flock(fd, LOCK_EX) != 0)
                if (errno != EINTR) {
                    report(diag, true, lockPath.c_str(), 0, 0, "cannot be locked (%s)", std::strerror(errno));
                    close(fd);
                    return 0;
                }
        }
        // The holder before may have removed the lock file with the folder it made for
        // it: then the lock held is on a name that is gone, and the folder is taken anew.
        if (same_file(fd, lockPath)) {
            lock.fd = fd;
            break;
        }
        close(fd);
    }

    std::string text;
    const int got = read_whole_file(journalPath, text);
    if (got != 0 && !lock.writable) {
        report(diag, true, journalPath.c_str(), 0, 0,
               "an interrupted import must be finished first, and cannot be from here (%s)", std::strerror(EACCES));
        return 0;
    }
    if (got < 0) {
        report(diag, true, journalPath.c_str(), 0, 0, "cannot be read (%s)", std::strerror(errno));
        return 0;
    }
    if (got > 0) {
        Journal j;
        j.folder = folder;
        if (!parse_journal(text, j)) {
            report(diag, true, journalPath.c_str(), 0, 0,
                   "is not a whole journal of an interrupted import: compare the folder with your tables, "
                   "then remove it");
            return 0;
        }
        if (!recover_set(j, diag)) return 0;
    }
    if (lock.writable) remove_leftovers(folder, diag);
    return 1;
}

void release_data_folder(FolderLock &lock, bool failed)
{
    if (lock.fd < 0) return;
    if (failed && !lock.made.empty()) {
        // Still locked: a tallydata waiting on this lock file finds it gone and starts anew.
        std::remove((lock.folder / LOCK_NAME).c_str());
        for (auto it = lock.made.rbegin(); it != lock.made.rend(); ++it) remove_made_folder(*it);
    }
    close(lock.fd);
    lock.fd = -1;
}

// ============================================================================
// [SECTION] Reading a file, and a stored census or enrollment file
// ============================================================================
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

int read_stored_zone_file(const fs::path &path, ZoneFileKind kind, bool replace, ZipRecord &record, Diagnostics &diag)
{
    std::string stored;
    const int got = replace ? 0 : read_whole_file(path, stored);
    if (got < 0) {
        report(diag, true, path.c_str(), 0, 0, "cannot be read (%s)", std::strerror(errno));
        return -1;
    }
    const ZoneFileLayout &layout = ZONE_FILE_LAYOUTS[kind];
    std::error_code unsized;   // --replace reads nothing: the size is asked for, and none there has none
    const uintmax_t size = got > 0 ? stored.size() : replace ? fs::file_size(path, unsized) : layout.size;
    if (!unsized && size != layout.size)
        report(diag, false, path.c_str(), 0, 0, "holds %ju bytes, not the %zu of a %s file: replaced by one of %zu%s",
               size, layout.size, layout.what, layout.size, got > 0 ? ", with the values it holds" : "");
    const auto *image = reinterpret_cast<const unsigned char *>(stored.data());
    if (got > 0 && kind == ZONE_CENSUS) decode_zone_file(image, stored.size(), record);
    if (got > 0 && kind == ZONE_ENROLLMENT) decode_enrollment_file(image, stored.size(), record);
    return got;
}
