// file_dialogs.h -- the open and save dialogs for the one file the user reads and the
// files the user writes. Both remember the folder of the chosen file as the start of
// the next dialog and put the working directory back to where it was at start-up,
// because the program's data files are opened by paths relative to it.
#pragma once
#include "platform.h"

constexpr int FILE_PATH_SIZE = 256;   // every path buffer: at most 255 characters

struct FileDialogState {
    char         startDirectory[FILE_PATH_SIZE];   // working directory at start-up; never changes
    char         lastDirectory[FILE_PATH_SIZE];    // folder of the last chosen file, ending in '/';
                                                   // at start-up the working directory (no '/')
    char         filter[FILE_PATH_SIZE];           // extension of the current dialog, such as ".csv"
    char         fileName[FILE_PATH_SIZE];         // the path the dialog returned, as chosen
    char         fileTitle[FILE_PATH_SIZE];        // that path's last component (nothing reads it)
    WindowHandle owner;                            // the main window: owner of every dialog
};

extern FileDialogState fileDialogs;

// Once, at start-up, before any dialog: takes the working directory as start and
// last directory.
void init_file_dialogs(WindowHandle owner);
// path: the caller's FILE_PATH_SIZE buffer. 1 = a file was chosen and its path is in
// path; 0 = cancelled (path, lastDirectory and the working directory untouched), or a
// path too long for the buffer, refused with a message.
int open_file_dialog(char *path, const char *extension);
// As open_file_dialog; the extension is appended when the chosen name does not end in
// it (compared case-sensitively). A name too long to take it is refused the same way.
int save_file_dialog(char *path, const char *extension);
