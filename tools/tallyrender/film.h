// film.h -- a film file made of RGB pictures, encoded through FFmpeg's libraries:
// H.264 (4:2:0) in MP4 with its index before the media data, or VP9 (4:2:0) in WebM.
// The streams record their colours: limited range, the BT.601 matrix, BT.709
// primaries and transfer. One film at a time; every
// function returns 1 on success and 0 with a one-line reason in error (size bytes).
#pragma once

enum FilmContainer { FILM_NONE = -1, FILM_MP4 = 0, FILM_WEBM = 1 };
enum FilmQuality   { FILM_HIGH = 0, FILM_NORMAL = 1, FILM_SMALL = 2 };

// Creates path (a temporary name is fine: the container is given, not guessed) for
// pictures of width x height played at fps frames per second. H.264 needs even sides.
int film_open(const char *path, int container, int width, int height, int fps, int quality, char *error,
              int size);

// Encodes one picture of the size given to film_open: RGB, 3 bytes a pixel, rows
// without gaps, the bottom row first (as OpenGL reads them back).
int film_add_frame(const unsigned char *rgb, char *error, int size);

// Drains the encoder, writes the index and closes the file. Everything is released
// whatever the outcome; on failure the file is incomplete and the caller removes it.
int film_close(char *error, int size);

// Releases everything without finishing the file (after a failure).
void film_abort();
