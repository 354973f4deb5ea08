// modal.cpp -- routes message boxes and file dialogs to the installed handler: the
// platform's own (registered by the Qt layer), or a test's. Plain C++, no Qt, so the
// data and ui layers and their tests link without the toolkit.
#include "platform.h"
#include "modal_default.h"

#include <cstdio>

static ModalHandler platformHandler;   // registered by platform_init; empty without a GUI
static ModalHandler activeHandler;     // what the calls use: a test's, or platformHandler
static bool         testInstalled;     // activeHandler came from set_modal_handler

void register_platform_modal(const ModalHandler *handler)
{
    platformHandler = *handler;
    if (!testInstalled) activeHandler = platformHandler;
}

ModalHandler set_modal_handler(const ModalHandler *handler)
{
    ModalHandler previous = activeHandler;
    testInstalled = handler != nullptr;
    activeHandler = handler ? *handler : platformHandler;
    return previous;
}

void message_box(const char *text, const char *caption, WindowHandle owner)
{
    if (activeHandler.messageBox) { activeHandler.messageBox(text, caption, owner); return; }
    std::fprintf(stderr, "%s: %s\n", caption, text);   // no GUI: the message must not be lost
}

int platform_open_file(WindowHandle owner, const char *startDirectory, const char *extension,
                       char *path, int size)
{
    if (!activeHandler.openFile) return 0;
    return activeHandler.openFile(owner, startDirectory, extension, path, size);
}

int platform_save_file(WindowHandle owner, const char *startDirectory, const char *extension,
                       char *path, int size)
{
    if (!activeHandler.saveFile) return 0;
    return activeHandler.saveFile(owner, startDirectory, extension, path, size);
}
