// file_dialogs.cpp -- open and save dialogs over the platform's file dialog: the
// extension rule, the remembered folder and the restored working directory. Returns 1
// when a file was chosen, 0 on cancel or refusal.
#include "file_dialogs.h"

#include <cstring>
#include <unistd.h>

FileDialogState fileDialogs;

// Copies text into a FILE_PATH_SIZE buffer; 0 (and dst untouched) when it does not fit.
static int copy_path(char *dst, const char *text)
{
    size_t length = std::strlen(text);
    if (length >= FILE_PATH_SIZE) return 0;
    std::memcpy(dst, text, length + 1);
    return 1;
}

// The chosen file's folder, with its trailing '/', becomes the next start folder. A
// path without any '/' names no folder and leaves the last one as it was.
static void remember_folder(const char *path)
{
    const char *slash = std::strrchr(path, '/');
    copy_path(fileDialogs.fileTitle, slash ? slash + 1 : path);
    if (!slash) return;
    size_t length = size_t(slash - path) + 1;
    std::memcpy(fileDialogs.lastDirectory, path, length);
    fileDialogs.lastDirectory[length] = '\0';
}

// The data files are opened relative to the start-up directory; nothing can be done
// about a failure here, the next relative open will report it.
static void restore_working_directory()
{
    if (chdir(fileDialogs.startDirectory) != 0) return;
}

// A chosen path that does not fit, by itself or with its extension: one message,
// wherever it was found.
static int refuse_long_path()
{
    restore_working_directory();
    message_box("The chosen path is too long.", "Error", nullptr);
    return 0;
}

// Shows the platform's dialog into fileName: 1 chosen, 0 cancelled or refused.
static int run_dialog(bool save)
{
    int chosen = (save ? platform_save_file : platform_open_file)(
        fileDialogs.owner, fileDialogs.lastDirectory, fileDialogs.filter, fileDialogs.fileName,
        FILE_PATH_SIZE);
    if (chosen < 0) return refuse_long_path();
    if (chosen == 0) return 0;
    fileDialogs.fileName[FILE_PATH_SIZE - 1] = '\0';
    return 1;
}

// Copies the extension into the shared filter and clears the proposed name.
static int prepare_dialog(const char *extension)
{
    if (!copy_path(fileDialogs.filter, extension)) return 0;
    fileDialogs.fileName[0] = '\0';
    return 1;
}

void init_file_dialogs(WindowHandle owner)
{
    std::memset(&fileDialogs, 0, sizeof fileDialogs);
    if (!getcwd(fileDialogs.lastDirectory, FILE_PATH_SIZE)) fileDialogs.lastDirectory[0] = '\0';
    std::memcpy(fileDialogs.startDirectory, fileDialogs.lastDirectory, FILE_PATH_SIZE);
    fileDialogs.owner = owner;
}

int open_file_dialog(char *path, const char *extension)
{
    if (!prepare_dialog(extension) || !run_dialog(false)) return 0;
    std::memcpy(path, fileDialogs.fileName, std::strlen(fileDialogs.fileName) + 1);
    remember_folder(fileDialogs.fileName);
    restore_working_directory();
    return 1;
}

int save_file_dialog(char *path, const char *extension)
{
    if (!prepare_dialog(extension) || !run_dialog(true)) return 0;

    size_t nameLength = std::strlen(fileDialogs.fileName);
    size_t extLength  = std::strlen(fileDialogs.filter);
    bool hasExtension = nameLength >= extLength &&
        std::memcmp(fileDialogs.fileName + nameLength - extLength, fileDialogs.filter, extLength) == 0;
    size_t total = nameLength + (hasExtension ? 0 : extLength);
    if (total >= FILE_PATH_SIZE) return refuse_long_path();   // no room for the extension
    std::memcpy(path, fileDialogs.fileName, nameLength);
    if (!hasExtension) std::memcpy(path + nameLength, fileDialogs.filter, extLength);
    path[total] = '\0';

    remember_folder(fileDialogs.fileName);
    restore_working_directory();
    return 1;
}
