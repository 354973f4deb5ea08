// camera.h -- the main window's GL context, the fixed rendering state, the perspective
// projection that follows the window's size, and the orbiting camera that draws a frame.
#pragma once
#include <cstdint>

// The map pivot: the middle of the base map, about which the frame scales the model
// by 100 horizontally and by heightScale vertically. World x = 100 (lon - P.x) + P.x.
constexpr float PIVOT_X = -95.4877f;
constexpr float PIVOT_Y = 29.837934f;
constexpr float PIVOT_Z = 0.0f;
constexpr float WORLD_SCALE = 100.0f;   // world units per degree, about the pivot

// Frustum: x -aspect..aspect, y -1..1 at the near plane.
constexpr double FRUSTUM_NEAR = 4.0;
constexpr double FRUSTUM_FAR  = 256000.0;

struct ViewState {
    float   centre[3];          // world point the camera orbits and looks at; recentring writes it
    float   defaultCentre[3];   // what "Default Location" restores; never changed
    float   distance;           // eye to centre in world units, at least 10; the mouse zooms it
    float   rotation;           // degrees about the vertical axis, -180..180; the mouse turns it
    float   tilt;               // degrees about the x axis, -90..90; the mouse tilts it
    int16_t viewportWidth;      // client width in pixels from the last size message
    int16_t viewportHeight;     // client height in pixels from the last size message
};

extern ViewState viewState;   // centre = defaultCentre = pivot, distance 500, rotation 0, tilt 0

// Moves the centre onto the world position of a model point (lon, lat): the ZIP code
// it belongs to is then what the camera orbits. z, rotation, tilt and distance stay.
void centre_view_on(float longitude, float latitude);

// Gives the main window its GL view and context (renderContext = 1), left current.
void create_gl_context();
// Sets the fixed rendering state, then makes both textures and the first scene.
void init_gl_state();
// The size message's parameter: client width in the low 16 bits, height in the high 16.
void set_projection(intptr_t lParam);
// Clears and draws the scene from the camera of viewState.
void draw_frame();
// Shows the frame drawn last.
void present_frame();
