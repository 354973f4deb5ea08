// fail_calls.c -- preloaded into a program under test to make one system call fail as a
// failing or full disk makes it fail, or to kill the program at one: TALLYMAP_FAIL_RENAME=N
// fails the Nth rename of the process with EIO, TALLYMAP_KILL_AT_RENAME=N kills the
// process (SIGKILL) instead of its Nth rename, TALLYMAP_FAIL_SYNCFS=1 fails every syncfs
// with ENOSPC. Every other call goes through to the C library.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <stdlib.h>

// The call's number N in the variable name: set and equal to calls.
static int is_call(const char *name, int calls)
{
    const char *n = getenv(name);
    return n && atoi(n) == calls;
}

int rename(const char *from, const char *to)
{
    static int renames;   // calls so far
    int (*real)(const char *, const char *);
    *(void **)&real = dlsym(RTLD_NEXT, "rename");   // POSIX's way to a function from dlsym
    ++renames;
    if (is_call("TALLYMAP_KILL_AT_RENAME", renames)) raise(SIGKILL);
    if (is_call("TALLYMAP_FAIL_RENAME", renames)) {
        errno = EIO;
        return -1;
    }
    return real(from, to);
}

int syncfs(int fd)
{
    int (*real)(int);
    *(void **)&real = dlsym(RTLD_NEXT, "syncfs");
    if (getenv("TALLYMAP_FAIL_SYNCFS")) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd);
}
