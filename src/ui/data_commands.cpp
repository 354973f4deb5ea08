// data_commands.cpp -- the load and export actions of the File menu: they tie the
// file dialogs to read_records and write_values, reset the timeline after a load and
// tell the user how it went. The shell redraws after either returns.
#include "data_commands.h"

#include "app_windows.h"
#include "file_dialogs.h"
#include "platform.h"
#include "query_panel.h"
#include "scene.h"
#include "selection.h"
#include "timeline_panel.h"
#include "values.h"
#include "zip_table.h"

static_assert(FILE_PATH_SIZE == PATH_SIZE, "the dialogs fill the loader's path buffers");

void load_data_command()
{
    char path[FILE_PATH_SIZE];
    if (!open_file_dialog(path, ".csv")) return;
    if (!read_records(path)) {
        message_box("Can't load data file!!", "Error", nullptr);
        return;
    }
    // A selection beyond the new table would leave every column translucent with
    // nothing selected; one still inside it is kept.
    if (querySelection.selectedZip >= 0 && uint32_t(querySelection.selectedZip) >= loaded_zip_count())
        querySelection.selectedZip = -1;
    // No moment shows the new table with the old date.
    reset_timeline();
    refresh_query_panel(appWindows.queryPanel);
    rebuild_scene();
    message_box("Load complete", "Info", nullptr);
}

void export_csv_command()
{
    char path[FILE_PATH_SIZE];
    if (!save_file_dialog(path, ".csv")) return;
    if (!write_values(path)) {
        message_box("Can't write the CSV file!", "Error", nullptr);
        return;
    }
    message_box("Save complete", "Info", nullptr);
}
