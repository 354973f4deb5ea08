// egl_context.h -- an offscreen OpenGL context for the GL tests and the scene benchmark:
// a compatibility context on Mesa's surfaceless EGL platform drawing into our own
// framebuffer object (colour + depth), so neither Qt nor an X server is needed.
// The .cpp also defines the platform's GL-view calls (create_gl_view, make_gl_current,
// present_gl, gl_pixel_ratio) over this context, in place of the Qt layer.
#pragma once

constexpr int OFFSCREEN_WIDTH  = 1024;   // the main window's client size the tests assume
constexpr int OFFSCREEN_HEIGHT = 768;

// Creates the context and its framebuffer and makes them current. 1 done (or already
// open), 0 when EGL or the framebuffer could not be had (the reason goes to stderr).
int  open_offscreen_gl();
// Releases the framebuffer and the context.
void close_offscreen_gl();
// The colour of framebuffer pixel (x, y), y counted from the bottom row.
void read_offscreen_pixel(int x, int y, unsigned char rgb[3]);
// Reads the whole framebuffer, bottom row first, 3 bytes per pixel; rgb holds
// OFFSCREEN_WIDTH * OFFSCREEN_HEIGHT * 3 bytes.
void read_offscreen_frame(unsigned char *rgb);
