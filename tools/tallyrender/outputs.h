// outputs.h -- the files tallyrender writes, chosen by their names: one row per file
// extension says what kind of output it is (a picture, a film, a model) and which
// writer makes it; a new format is one row and its writer. Also the names of the
// timeline's frames: a folder (DIR/frame_00001.bmp ...) or a pattern with one number
// field (out/f_%03d.png). Nothing here touches the disk but make_frames_folder.
#pragma once
#include "image.h"

constexpr int RENDER_PATH_SIZE = 4096;   // paths given on the command line

// Writes a one-line reason, formatted, into error (size bytes) and returns 0, so that a
// check ends in one line: return refuse(error, size, "...", ...).
int refuse(char *error, int size, const char *format, ...) __attribute__((format(printf, 3, 4)));

enum OutputKind { OUTPUT_PICTURE, OUTPUT_FILM, OUTPUT_MODEL };

struct OutputFormat {
    const char *extension;   // with its dot, lower case; matched in any letter case
    OutputKind  kind;        // what the file holds
    int         film;        // FilmContainer of a film; FILM_NONE for any other kind
    // Writes a picture to path (a temporary name: the caller renames it), every write
    // checked; 1 done, 0 failed with errno set. frame: one of a series, where speed
    // counts for more than the last bytes. Null for films and models.
    int (*writePicture)(const char *path, const RgbImage &image, bool frame);
};

// The row of path's extension when it is of that kind; null otherwise (no extension,
// another kind's, or none known).
const OutputFormat *output_format(const char *path, OutputKind kind);

// The extensions of one kind for a message: ".bmp or .png" (size bytes).
void known_extensions(OutputKind kind, char *text, int size);

// Where the frames of --frames go: DIR/frame_00001.bmp ..., or the names of a pattern.
struct FrameNames {
    char                folder[RENDER_PATH_SIZE];   // made when missing; "" the current folder
    char                prefix[RENDER_PATH_SIZE];   // the file name before the number ("%%" now '%')
    char                suffix[RENDER_PATH_SIZE];   // the file name after it, with the extension
    int                 digits;                     // least digits of the number, zero-padded
    const OutputFormat *format;                     // the pictures' format; null: no frames
};

// Reads --frames' value: a pattern, whose file name holds one field %d or %0Nd (N 1 to
// 9; "%%" is a percent sign) and ends in a picture extension, or else a folder for
// frame_NNNNN.bmp files. 1 when it is usable; 0 with a one-line reason in error (size
// bytes) for two fields, any other '%' sequence, an extension that is no picture's, and
// a file name (a picture's extension, or a '%') without a field.
int parse_frame_names(const char *value, FrameNames &names, char *error, int size);

// The file of frame number (from 1) into path (size bytes); 0 when it does not fit.
int frame_file_name(const FrameNames &names, int number, char *path, int size);

// Makes the frames' folder when it is missing. 1 when it is a folder now; 0 with the
// system's reason in error (size bytes) otherwise.
int make_frames_folder(const FrameNames &names, char *error, int size);
