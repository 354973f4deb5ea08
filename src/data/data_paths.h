// data_paths.h -- where the program's data files live: one data directory, "./data"
// below the working directory for the viewer, for the loader, the base map, the field
// file and the campus file alike. The batch renderer may point it elsewhere.
#pragma once
#include "zip_table.h"

// The data directory, without a trailing '/'; "./data" unless set_data_directory
// changed it.
extern char dataDirectory[PATH_SIZE];

// 1 when path fits (it must leave room for the files below it); 0 leaves it unchanged.
int set_data_directory(const char *path);
// The path of a file below the data directory: dataDirectory, '/', then relative
// formatted with its arguments, into out (PATH_SIZE bytes). 0 (and an empty out) when
// the whole path does not fit.
int data_path(char *out, const char *relative, ...);

// Why the file at path cannot be opened for reading, in the system's words ("No such
// file or directory", "Is a directory"), or null when it can. For the console programs,
// whose users need the reason rather than the loader's message.
const char *open_failure(const char *path);
