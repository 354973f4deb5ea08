// fail_calls.c -- preloaded into a program under test to make one system call fail as a
// failing or full disk makes it fail: TALLYMAP_FAIL_RENAME=N fails the Nth rename of the
// process with EIO, TALLYMAP_FAIL_SYNCFS=1 fails every syncfs with ENOSPC. Every other
// call goes through to the C library.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>

int rename(const char *from, const char *to)
{
    static int renames;   // calls so far
    int (*real)(const char *, const char *);
    *(void **)&real = dlsym(RTLD_NEXT, "rename");   // POSIX's way to a function from dlsym
    const char *fail = getenv("TALLYMAP_FAIL_RENAME");
    if (fail && ++renames == atoi(fail)) {
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
