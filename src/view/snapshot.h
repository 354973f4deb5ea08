// snapshot.h -- "Save Snapshot.." and "Print..": the view drawn afresh and read back
// into an image, then written as a 24-bit bitmap or printed on one page, scaled to
// fit. Both stop the playback timer for the whole action and start it again at 500 ms
// on every way out.
#pragma once
#include "image.h"
#include "platform.h"

#include <cstdint>

constexpr uint32_t    CAPTURE_WAIT_MS     = 501;   // pause before a capture, timer stopped
constexpr const char *PRINT_DOCUMENT_NAME = "Tallymap1.0 printout";

// The page of the last print; overwritten by the next.
struct PrintJob {
    int32_t pageWidth;    // printable width of the page in device pixels
    int32_t pageHeight;   // printable height of the page in device pixels
};

extern PrintJob printJob;
// How long capture_view waits (ms): CAPTURE_WAIT_MS. Benchmarks set 0 to time the
// capture alone; nothing else changes it.
extern uint32_t captureWait;

// Where the printed image lands: scaled by s and centred in the printable area,
// touching two opposite edges. Device pixels from the area's lower left corner.
struct PagePlacement {
    float s;        // device pixels per view pixel: the smaller of the two quotients
    float x0, y0;   // lower left corner of the image
    float width;    // the captured width times s (not the texture's)
    float height;   // the captured height times s
};

// width and height are the captured image's, both at least 1. Every named value is
// kept in single precision, the arithmetic between them is done in double.
inline PagePlacement place_on_page(int32_t pageWidth, int32_t pageHeight, int32_t width, int32_t height)
{
    const double across = double(pageWidth) / width;
    const double down = double(pageHeight) / height;
    PagePlacement place;
    place.s = float(across < down ? across : down);   // on a tie both are the same
    place.width = float(width * double(place.s));
    place.height = float(height * double(place.s));
    place.x0 = float((pageWidth - width * double(place.s)) * 0.5);
    place.y0 = float((pageHeight - height * double(place.s)) * 0.5);
    return place;
}

// Stops the playback timer, waits captureWait ms with the event loop running, draws
// and presents a fresh frame, shows the visible tool windows again and reads the
// view's own framebuffer into image (RGB, bottom row first, viewport size). Returns 0
// with image empty when the image cannot be allocated (a zero or huge client size) or
// the main window went away during the wait. Leaves the timer stopped.
int  capture_view(RgbImage &image);
// Menu command 7: capture, ask for a ".bmp" name, write it; "Save complete" or an
// "Error" message.
void save_snapshot_command();
// Menu command 8: capture, the print dialog, one page; "Print spooled" or an "Error"
// message owned by the main window.
void print_command();
// The print dialog and the start of the job and its page. 1 = page ready (printJob
// holds its size); 0 = cancelled (no message) or failed ("Error", owned by owner).
int  open_print_page(WindowHandle owner);
// Prints image on the page open_print_page opened and ends the job: its resampled
// texture (at most 1024 x 1024) stretched over the captured size times s. Returns 1
// when the job went out whole; the job is closed either way.
int  print_image(const RgbImage &image);
