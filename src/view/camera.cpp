// camera.cpp -- rendering context, fixed GL state, projection and frame drawing.
#include "camera.h"
#include "app_windows.h"
#include "overlay.h"
#include "platform.h"
#include "scene.h"

#include <GL/gl.h>

ViewState viewState = {
    {PIVOT_X, PIVOT_Y, PIVOT_Z}, {PIVOT_X, PIVOT_Y, PIVOT_Z}, 500.0f, 0.0f, 0.0f, 0, 0};

void centre_view_on(float longitude, float latitude)
{
    // world = (model - P) x 100 + P, in double from the single-precision inputs
    viewState.centre[0] = static_cast<float>((double(longitude) - PIVOT_X) * WORLD_SCALE + PIVOT_X);
    viewState.centre[1] = static_cast<float>((double(latitude) - PIVOT_Y) * WORLD_SCALE + PIVOT_Y);
}

void create_gl_context()
{
    create_gl_view(appWindows.mainWindow);
    appWindows.renderContext = 1;
}

void init_gl_state()
{
    make_gl_current(appWindows.mainWindow);
    glDisable(GL_CULL_FACE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    // No framebuffer object of the view exists yet; Qt makes one on every resize, each
    // with its own read buffer, so capture_view chooses the buffer when it reads.
    glReadBuffer(GL_FRONT);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glClearColor(0.498f, 0.498f, 0.498f, 1.0f);
    glPointSize(3.0f);
    glLineWidth(2.0f);

    make_stripe_texture();
    make_label_texture();   // a third fixed name, for the campus names
    make_map();
    rebuild_scene();
}

void set_projection(intptr_t lParam)
{
    int16_t width = static_cast<int16_t>(lParam & 0xFFFF);
    int16_t height = static_cast<int16_t>((lParam >> 16) & 0xFFFF);
    viewState.viewportWidth = width;
    viewState.viewportHeight = height;

    // The GL view reports its size in device pixels, as it does mouse positions.
    make_gl_current(appWindows.mainWindow);
    glViewport(0, 0, width, height);
    // A minimised window (a side of 0) has no aspect: use a square frustum until the
    // next size message, rather than dividing by zero.
    float aspect = (width > 0 && height > 0) ? static_cast<float>(static_cast<double>(width) / height) : 1.0f;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-aspect, aspect, -1.0, 1.0, FRUSTUM_NEAR, FRUSTUM_FAR);
}

void draw_frame()
{
    make_gl_current(appWindows.mainWindow);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // V = T(0,0,-distance) Rx(-tilt) Rz(-rotation) T(-centre) T(P) S(100,100,hs) T(-P)
    glTranslatef(0.0f, 0.0f, -viewState.distance);
    glRotatef(-viewState.tilt, 1.0f, 0.0f, 0.0f);
    glRotatef(-viewState.rotation, 0.0f, 0.0f, 1.0f);
    glTranslatef(-viewState.centre[0], -viewState.centre[1], -viewState.centre[2]);
    glTranslatef(PIVOT_X, PIVOT_Y, PIVOT_Z);
    glScalef(WORLD_SCALE, WORLD_SCALE, displaySettings.heightScale);
    glTranslatef(-PIVOT_X, -PIVOT_Y, -PIVOT_Z);
    draw_scene();
}

void present_frame()
{
    present_gl(appWindows.mainWindow);
}
