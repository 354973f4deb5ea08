// png_writer.h -- RGB images as PNG files, or as PNG bytes in memory (the model's textures),
// through libpng. A PNG made here holds the image's own pixels and nothing else: 8-bit
// RGB, no alpha, not interlaced, no gamma, colour-space or time chunk, so that every
// reader (a browser, an image viewer, a glTF viewer's texture loader) shows exactly the
// bytes of the bitmap of the same image. No GL, no Qt.
#pragma once
#include "image.h"

#include <vector>

// How hard zlib works.
enum PngEffort {
    PNG_FAST,    // frames of a film-like series: zlib level 1, run-length only, every row filtered by Up
    PNG_SMALL,   // a single picture or texture: libpng's defaults (level 6, filter chosen per row)
};

// Writes image (rows bottom first, as read back from GL) to path, replacing any file
// of that name. 1 when it is complete (written, flushed and closed); 0 when the image
// cannot be written (no pixels, channels other than 3) or the file could not be
// created, written or closed, with errno set to the system's reason (EIO when there is
// none). A partial file stays behind: the caller, which chose the name, removes it.
int write_png(const char *path, const RgbImage &image, PngEffort effort);

// The same PNG as bytes, into bytes (replaced). 1 done; 0 when the image cannot be
// written or the memory is not there.
int encode_png(const RgbImage &image, PngEffort effort, std::vector<unsigned char> &bytes);
