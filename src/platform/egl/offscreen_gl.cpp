// offscreen_gl.cpp -- the offscreen EGL context and its framebuffer, and the platform's
// GL-view calls over them.
#include "offscreen_gl.h"
#include "platform.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <cstdio>

struct OffscreenGl {
    EGLDisplay display;        // the surfaceless Mesa display; EGL_NO_DISPLAY when closed
    EGLContext context;        // compatibility context, current while open
    GLuint     framebuffer;    // our framebuffer object, bound while open
    GLuint     colourBuffer;   // RGBA8 renderbuffer, width x height
    GLuint     depthBuffer;    // 24-bit depth renderbuffer of the same size
    int        width, height;  // the framebuffer's size in pixels
};

static OffscreenGl offscreen = {EGL_NO_DISPLAY, EGL_NO_CONTEXT, 0, 0, 0, 0, 0};

// Framebuffer-object entry points, fetched from EGL (libGL exports only GL 1.x for sure).
static PFNGLGENFRAMEBUFFERSPROC         genFramebuffers;
static PFNGLBINDFRAMEBUFFERPROC         bindFramebuffer;
static PFNGLDELETEFRAMEBUFFERSPROC      deleteFramebuffers;
static PFNGLGENRENDERBUFFERSPROC        genRenderbuffers;
static PFNGLBINDRENDERBUFFERPROC        bindRenderbuffer;
static PFNGLDELETERENDERBUFFERSPROC     deleteRenderbuffers;
static PFNGLRENDERBUFFERSTORAGEPROC     renderbufferStorage;
static PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer;
static PFNGLCHECKFRAMEBUFFERSTATUSPROC  checkFramebufferStatus;

static int fail(const char *reason)
{
    std::fprintf(stderr, "offscreen GL: %s (EGL error 0x%x)\n", reason, eglGetError());
    close_offscreen_gl();
    return 0;
}

template <typename Proc>
static bool fetch(Proc &proc, const char *name)
{
    proc = reinterpret_cast<Proc>(eglGetProcAddress(name));
    return proc != nullptr;
}

int open_offscreen_gl(int width, int height)
{
    if (offscreen.context != EGL_NO_CONTEXT) {
        if (offscreen.width != width || offscreen.height != height) close_offscreen_gl();
        else {
            eglMakeCurrent(offscreen.display, EGL_NO_SURFACE, EGL_NO_SURFACE, offscreen.context);
            return 1;
        }
    }
    if (width <= 0 || height <= 0) return fail("no framebuffer of that size");
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return fail("no eglGetPlatformDisplayEXT");
    offscreen.display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (offscreen.display == EGL_NO_DISPLAY) return fail("no surfaceless display");
    EGLint major = 0, minor = 0;
    if (!eglInitialize(offscreen.display, &major, &minor)) return fail("eglInitialize failed");
    if (!eglBindAPI(EGL_OPENGL_API)) return fail("no desktop OpenGL");

    const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configCount = 0;
    // Surfaceless contexts may also be made without a config (EGL_KHR_no_config_context).
    eglChooseConfig(offscreen.display, configAttributes, &config, 1, &configCount);
    const EGLint contextAttributes[] = {
        EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    offscreen.context = eglCreateContext(offscreen.display, configCount > 0 ? config : EGL_NO_CONFIG_KHR,
                                         EGL_NO_CONTEXT, contextAttributes);
    if (offscreen.context == EGL_NO_CONTEXT) return fail("no compatibility context");
    if (!eglMakeCurrent(offscreen.display, EGL_NO_SURFACE, EGL_NO_SURFACE, offscreen.context))
        return fail("eglMakeCurrent failed");

    if (!fetch(genFramebuffers, "glGenFramebuffers") || !fetch(bindFramebuffer, "glBindFramebuffer") ||
        !fetch(deleteFramebuffers, "glDeleteFramebuffers") || !fetch(genRenderbuffers, "glGenRenderbuffers") ||
        !fetch(bindRenderbuffer, "glBindRenderbuffer") || !fetch(deleteRenderbuffers, "glDeleteRenderbuffers") ||
        !fetch(renderbufferStorage, "glRenderbufferStorage") ||
        !fetch(framebufferRenderbuffer, "glFramebufferRenderbuffer") ||
        !fetch(checkFramebufferStatus, "glCheckFramebufferStatus"))
        return fail("no framebuffer objects");

    genRenderbuffers(1, &offscreen.colourBuffer);
    bindRenderbuffer(GL_RENDERBUFFER, offscreen.colourBuffer);
    renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    genRenderbuffers(1, &offscreen.depthBuffer);
    bindRenderbuffer(GL_RENDERBUFFER, offscreen.depthBuffer);
    renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    genFramebuffers(1, &offscreen.framebuffer);
    bindFramebuffer(GL_FRAMEBUFFER, offscreen.framebuffer);
    framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, offscreen.colourBuffer);
    framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, offscreen.depthBuffer);
    if (checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return fail("incomplete framebuffer");
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glViewport(0, 0, width, height);
    offscreen.width = width;
    offscreen.height = height;
    return 1;
}

void close_offscreen_gl()
{
    if (offscreen.display == EGL_NO_DISPLAY) return;
    if (offscreen.context != EGL_NO_CONTEXT) {
        eglMakeCurrent(offscreen.display, EGL_NO_SURFACE, EGL_NO_SURFACE, offscreen.context);
        if (offscreen.framebuffer) deleteFramebuffers(1, &offscreen.framebuffer);
        if (offscreen.colourBuffer) deleteRenderbuffers(1, &offscreen.colourBuffer);
        if (offscreen.depthBuffer) deleteRenderbuffers(1, &offscreen.depthBuffer);
        eglMakeCurrent(offscreen.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(offscreen.display, offscreen.context);
    }
    eglTerminate(offscreen.display);
    offscreen = {EGL_NO_DISPLAY, EGL_NO_CONTEXT, 0, 0, 0, 0, 0};
}

void read_offscreen_pixel(int x, int y, unsigned char rgb[3])
{
    unsigned char rgba[4] = {0, 0, 0, 0};
    glFinish();
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    rgb[0] = rgba[0];
    rgb[1] = rgba[1];
    rgb[2] = rgba[2];
}

void read_offscreen_frame(unsigned char *rgb)
{
    glFinish();
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, offscreen.width, offscreen.height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
}

// ---------------------------------------------------------------------------------
// The platform's GL-view calls, over the offscreen context
// ---------------------------------------------------------------------------------
// The view is the framebuffer opened before; without one it stays without OpenGL.
void create_gl_view(WindowHandle) {}

int make_gl_current(WindowHandle)
{
    if (offscreen.context == EGL_NO_CONTEXT) return 0;
    // already current: nothing to do, as with the toolkit's own context
    if (eglGetCurrentContext() != offscreen.context)
        eglMakeCurrent(offscreen.display, EGL_NO_SURFACE, EGL_NO_SURFACE, offscreen.context);
    return 1;
}

void present_gl(WindowHandle) { glFinish(); }

double gl_pixel_ratio(WindowHandle) { return 1.0; }
