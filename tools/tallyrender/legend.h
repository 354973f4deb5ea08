// legend.h -- the legend tallyrender adds to a picture: the date, the field, the
// campus, the enrollment colour ramp with its range, and a reference column.
#pragma once
#include "image.h"

// Draws the legend into the lower left corner of image (RGB, bottom row first) from
// the state the picture was drawn with. The text comes from render_text; without a
// font the text lines stay empty and the ramp and column still show.
void draw_legend(RgbImage &image);
