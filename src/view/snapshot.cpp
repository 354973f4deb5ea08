// snapshot.cpp -- the view captured into an image, saved as a bitmap or printed on
// one page. A capture reads the GL view's own framebuffer, so panels floating over
// the view never show in a snapshot.
#include "snapshot.h"

#include "app_windows.h"
#include "camera.h"
#include "file_dialogs.h"

#include <GL/gl.h>

PrintJob printJob;
uint32_t captureWait = CAPTURE_WAIT_MS;

static const char CAPTURE_FAILED[]    = "Can't capture the view!";
static const char SNAPSHOT_FAILED[]   = "Can't write the snapshot file!";
static const char PRINT_FAILED_TEXT[] = "Can't print the view!";

// A snapshot or print is under way. Its wait and dialogs run nested event loops in
// which the menu shortcuts still work; a second command then does nothing.
static bool commandRunning;

static void restart_playback_timer()
{
    start_timer(appWindows.mainWindow, PLAYBACK_TIMER, PLAYBACK_PERIOD);
}

// Reads the frame where draw_frame drew it. The view's framebuffer object is made
// anew on every resize and carries its own read buffer, so it is chosen here: the
// buffer drawn into, which is the frame just drawn whether or not it was shown yet.
static void read_frame(RgbImage &image)
{
    make_gl_current(appWindows.mainWindow);
    GLint drawBuffer = GL_BACK;
    glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
    glReadBuffer(GLenum(drawBuffer));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);   // rows without gaps: a 1001-pixel row is 3003 bytes
    glReadPixels(0, 0, image.width, image.height, GL_RGB, GL_UNSIGNED_BYTE, image.pixels);
}

int capture_view(RgbImage &image)
{
    image = RgbImage{};
    stop_timer(appWindows.mainWindow, PLAYBACK_TIMER);
    if (captureWait) process_events(int(captureWait));   // paints go on, ticks do not
    if (!appWindows.mainWindow || !appWindows.renderContext) return 0;   // quit meanwhile
    // the client size is in device pixels, as the framebuffer is
    if (!alloc_image(viewState.viewportWidth, viewState.viewportHeight, 3, image)) return 0;
    draw_frame();
    present_frame();
    const WindowHandle tools[] = {appWindows.queryPanel, appWindows.gisPanel, appWindows.timelinePanel,
                                  appWindows.infoPanel, appWindows.aboutBox};
    for (WindowHandle tool : tools)   // hidden ones stay hidden
        if (tool && is_window_visible(tool)) show_window(tool, SW_SHOW);
    read_frame(image);
    return 1;
}

// After a failed capture: a message, unless the program is quitting.
static void report_capture_failure()
{
    if (appWindows.mainWindow) message_box(CAPTURE_FAILED, "Error", nullptr);
}

void save_snapshot_command()
{
    if (commandRunning) return;
    commandRunning = true;
    RgbImage image{};
    char path[FILE_PATH_SIZE];
    if (!capture_view(image)) {
        report_capture_failure();
    } else if (save_file_dialog(path, ".bmp")) {
        if (write_bmp(path, image)) message_box("Save complete", "Info", nullptr);
        else message_box(SNAPSHOT_FAILED, "Error", nullptr);
    }
    free_image(image);
    restart_playback_timer();
    commandRunning = false;
}

int open_print_page(WindowHandle owner)
{
    int pageWidth = 0, pageHeight = 0;
    const int status = print_begin(owner, PRINT_DOCUMENT_NAME, &pageWidth, &pageHeight);
    if (status == PRINT_FAILED) message_box(PRINT_FAILED_TEXT, "Error", owner);
    if (status != PRINT_READY) return 0;
    printJob.pageWidth = pageWidth;
    printJob.pageHeight = pageHeight;
    return 1;
}

int print_image(const RgbImage &image)
{
    const PagePlacement place = place_on_page(printJob.pageWidth, printJob.pageHeight, image.width, image.height);
    // The page gets one texture of at most 1024 x 1024 pixels stretched by s, never
    // the scene at printer resolution. A texture that cannot be made leaves null
    // pixels, which the drawing refuses; either failure fails the job at its end.
    RgbImage texture{};
    resample_image(image, texture);
    print_draw_image(texture.pixels, texture.width, texture.height, place.x0, place.y0, place.width,
                     place.height);
    free_image(texture);
    return print_end();
}

void print_command()
{
    if (commandRunning) return;
    commandRunning = true;
    RgbImage image{};
    if (!capture_view(image)) {
        report_capture_failure();
    } else if (open_print_page(appWindows.mainWindow)) {
        if (print_image(image)) message_box("Print spooled", "Info", nullptr);
        else message_box(PRINT_FAILED_TEXT, "Error", appWindows.mainWindow);
    }
    free_image(image);
    restart_playback_timer();
    commandRunning = false;
}
