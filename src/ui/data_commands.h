// data_commands.h -- the File menu's "Load Data.." and "Export CSV.." actions.
#pragma once

// Command 1: asks for a CSV, loads it, resets the timeline, rebuilds, confirms.
void load_data_command();
// Command 2: asks for a file name and writes the current values as CSV.
void export_csv_command();
