// egl_context.h -- the offscreen GL view of the GL tests and the scene benchmark, at
// the main window's client size the tests assume.
#pragma once
#include "offscreen_gl.h"

constexpr int OFFSCREEN_WIDTH  = 1024;
constexpr int OFFSCREEN_HEIGHT = 768;

inline int open_offscreen_gl() { return open_offscreen_gl(OFFSCREEN_WIDTH, OFFSCREEN_HEIGHT); }
