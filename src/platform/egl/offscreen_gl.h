// offscreen_gl.h -- the GL view of programs without a window: a compatibility-profile
// context on Mesa's surfaceless EGL platform, drawing into a framebuffer object of the
// viewer's format (8-bit RGBA colour, 24-bit depth), so that neither a toolkit nor an
// X server is needed. The batch renderer draws its pictures here, the GL tests and
// benchmarks their frames. The .cpp also provides the platform's GL-view calls
// (create_gl_view, make_gl_current, present_gl, gl_pixel_ratio) over this context.
#pragma once

// Creates the context and a width x height framebuffer and makes them current. 1 done
// (or already open at that size), 0 when EGL or the framebuffer could not be had (the
// reason goes to standard error).
int  open_offscreen_gl(int width, int height);
// Releases the framebuffer and the context.
void close_offscreen_gl();
// The colour of framebuffer pixel (x, y), y counted from the bottom row.
void read_offscreen_pixel(int x, int y, unsigned char rgb[3]);
// Reads the whole framebuffer, bottom row first, 3 bytes per pixel, rows without gaps:
// width x height x 3 bytes.
void read_offscreen_frame(unsigned char *rgb);
