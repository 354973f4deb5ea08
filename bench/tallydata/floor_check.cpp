// floor_check.cpp -- the floor that `tallydata check` is measured against: the viewer's
// own read_records of a Load Data CSV with its census and enrollment files, nothing more.
//
//   floor_check STUDY.csv        (the data directory is ./data)
//
// Exit 0 when the CSV was read, 1 otherwise.
#include "platform.h"
#include "zip_table.h"

#include <cstdio>

static void print_message(const char *text, const char *caption, WindowHandle)
{
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: floor_check STUDY.csv\n");
        return 1;
    }
    static const ModalHandler printed = {print_message, nullptr, nullptr};
    set_modal_handler(&printed);
    if (!read_records(argv[1])) return 1;
    std::printf("floor_check: %u ZIP codes\n", unsigned(zipTable.count));
    return 0;
}
