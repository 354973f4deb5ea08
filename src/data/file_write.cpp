// file_write.cpp -- a file written whole or not at all (see file_write.h).
#include "file_write.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string_view>

// The first failure wins: a later close must not hide the write that failed.
static int failed(int &error, int number)
{
    if (error == 0) error = number ? number : EIO;
    return 0;
}

// ".NAME" + mark + this process, beside target.
static std::string name_beside(const std::string &target, const char *mark)
{
    const size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return folder + "." + name + mark + std::to_string(long(getpid()));
}

std::string temporary_name_of(const std::string &target) { return name_beside(target, TEMPORARY_MARK); }

std::string backup_name_of(const std::string &target) { return name_beside(target, BACKUP_MARK); }

// True when name is ".NAME" + mark + a process number.
static bool is_name_beside(const std::string &name, std::string_view mark)
{
    const size_t at = name.rfind(mark);
    if (name.size() < 2 || name[0] != '.' || at == std::string::npos || at == 0) return false;
    const std::string_view pid = std::string_view(name).substr(at + mark.size());
    if (pid.empty()) return false;
    for (char c : pid)
        if (c < '0' || c > '9') return false;
    return true;
}

bool is_temporary_name(const std::string &name)
{
    return is_name_beside(name, TEMPORARY_MARK) || is_name_beside(name, BACKUP_MARK);
}

// ---------------------------------------------------------------------------------
// The temporaries a signal removes: a fixed list that a signal handler can read. A
// place is taken (1) while its path is copied in and read by the handler only once it
// is listed (2); writes run on more than one thread (tallyrender's frame writer).
// ---------------------------------------------------------------------------------
constexpr int    LISTED_WRITES = 8;      // under way at once: a film, a frame, a model, and spare
constexpr size_t LISTED_PATH   = 4224;   // the longest path a command line gives, and its mark

struct ListedWrite {
    std::atomic<int> state;               // 0 free, 1 being filled, 2 listed
    char             path[LISTED_PATH];   // the temporary file
};

static ListedWrite listedWrites[LISTED_WRITES];
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler reads the states");

static int list_temporary(const std::string &path)
{
    if (path.size() >= LISTED_PATH) return -1;
    for (int i = 0; i < LISTED_WRITES; ++i) {
        int expected = 0;
        if (!listedWrites[i].state.compare_exchange_strong(expected, 1)) continue;
        std::memcpy(listedWrites[i].path, path.c_str(), path.size() + 1);
        listedWrites[i].state.store(2, std::memory_order_release);
        return i;
    }
    return -1;   // more at once than the list holds: that one is not removed by a signal
}

static void unlist_temporary(FileWrite &write)
{
    if (write.listed >= 0) listedWrites[write.listed].state.store(0, std::memory_order_release);
    write.listed = -1;
}

static void remove_listed_and_die(int signal)
{
    for (ListedWrite &w : listedWrites)
        if (w.state.load(std::memory_order_acquire) == 2) unlink(w.path);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void remove_temporaries_on_signals()
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old = {};
        if (sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        struct sigaction action = {};
        action.sa_handler = remove_listed_and_die;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
}

void begin_file_write(FileWrite &write, const std::string &target)
{
    unlist_temporary(write);
    write.target = target;
    write.temporary = temporary_name_of(target);
    write.listed = list_temporary(write.temporary);
}

void abandon_file_write(FileWrite &write)
{
    std::remove(write.temporary.c_str());
    unlist_temporary(write);
}

static std::string folder_of(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int finish_file_write(FileWrite &write, bool written, int &error, bool durable)
{
    if (!written) {
        const int saved = errno;   // the writer's failure, before the removal touches errno
        abandon_file_write(write);
        return failed(error, saved);
    }
    if (durable) {   // the bytes must be on the disk before the name points at them
        const int fd = open(write.temporary.c_str(), O_RDONLY | O_CLOEXEC);
        const bool synced = fd >= 0 && fsync(fd) == 0;
        const int saved = errno;
        if (fd >= 0) close(fd);
        if (!synced) {
            abandon_file_write(write);
            return failed(error, saved);
        }
    }
    if (std::rename(write.temporary.c_str(), write.target.c_str()) != 0) {
        const int saved = errno;
        abandon_file_write(write);
        return failed(error, saved);
    }
    unlist_temporary(write);
    return durable ? sync_folder(folder_of(write.target), error) : 1;
}

int write_bytes_to(const std::string &path, const void *bytes, size_t size, int &error, bool durable)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) return failed(error, errno);
    bool ok = std::fwrite(bytes, 1, size, file) == size || failed(error, errno);
    if (std::fflush(file) != 0 && ok) ok = failed(error, errno);
    if (durable && ok && fsync(fileno(file)) != 0) ok = failed(error, errno);
    if (std::fclose(file) != 0 && ok) ok = failed(error, errno);
    return ok ? 1 : 0;
}

int write_file_bytes(const std::string &target, const void *bytes, size_t size, int &error, bool durable)
{
    FileWrite write;
    begin_file_write(write, target);
    const bool written = write_bytes_to(write.temporary, bytes, size, error, false);
    return finish_file_write(write, written, error, durable);
}

int sync_folder(const std::string &folder, int &error)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return failed(error, errno);
    const bool synced = fsync(fd) == 0;
    const int saved = errno;
    close(fd);
    return synced ? 1 : failed(error, saved);
}
