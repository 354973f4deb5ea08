// data_paths.cpp -- the data directory and the paths below it.
#include "data_paths.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

char dataDirectory[PATH_SIZE] = "./data";

// The longest name below the directory: "enroll/4294967295.enr" and the '/' before it.
static constexpr size_t LONGEST_NAME = 22;

int set_data_directory(const char *path)
{
    size_t length = std::strlen(path);
    while (length > 1 && path[length - 1] == '/') --length;   // "dir/" and "dir" alike
    if (length == 0 || length + LONGEST_NAME >= size_t(PATH_SIZE)) return 0;
    std::memcpy(dataDirectory, path, length);
    dataDirectory[length] = '\0';
    return 1;
}

int data_path(char *out, const char *relative, ...)
{
    char name[PATH_SIZE];
    va_list args;
    va_start(args, relative);
    int nameLength = std::vsnprintf(name, sizeof name, relative, args);
    va_end(args);
    int length = nameLength < 0 ? -1 : std::snprintf(out, PATH_SIZE, "%s/%s", dataDirectory, name);
    if (length < 0 || length >= PATH_SIZE || nameLength >= PATH_SIZE) {
        out[0] = '\0';
        return 0;
    }
    return 1;
}

const char *open_failure(const char *path)
{
    struct stat info;
    if (stat(path, &info) != 0) return std::strerror(errno);
    if (S_ISDIR(info.st_mode)) return std::strerror(EISDIR);   // opens here, fails when read
    FILE *file = std::fopen(path, "rb");
    if (!file) return std::strerror(errno);
    std::fclose(file);
    return nullptr;
}
