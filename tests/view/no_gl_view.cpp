// no_gl_view.cpp -- the platform's GL-view calls and text picture as no-ops, for the
// tests of view code that makes no GL call (the scene's geometry, picking) but links
// with the files that do.
#include "platform.h"

void make_gl_current(WindowHandle) {}
void create_gl_view(WindowHandle) {}
void present_gl(WindowHandle) {}
double gl_pixel_ratio(WindowHandle) { return 1.0; }
int render_text(const char *, unsigned char *, int, int) { return 0; }
