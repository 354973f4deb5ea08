// legend.cpp -- a white box with a black frame in the picture's lower left corner:
//     June,15,2000
//     Total households
//     Enrollment: Corvale - University Park
//     [red .. yellow .. green]  0 .. each ZIP code's maximum
//     [column with one band]    one band: 10000
// drawn on the captured pixels, after the frame, so the scene itself is untouched.
#include "legend.h"

#include "dates.h"
#include "field_list.h"
#include "platform.h"
#include "scene.h"
#include "selection.h"

#include <cstdio>
#include <cstring>

constexpr int LINE_HEIGHT = 20;    // text rows per line, the ramp and the column included
constexpr int TEXT_HEIGHT = 18;    // pixels render_text draws a line into
constexpr int TEXT_WIDTH  = 360;   // widest text drawn
constexpr int PADDING     = 6;     // box edge to its content
constexpr int RAMP_WIDTH  = 120;   // colour ramp, pixels
constexpr int SWATCH      = 14;    // ramp and column height, pixels
constexpr int LINES       = 5;

static const char *const CAMPUS_NAMES[3] = {"OFF", "Corvale - University Park", "Corvale - Victoria"};
static const char *const RANGE_ENDS[4]   = {"0 .. each ZIP code's maximum", "0 .. 10", "0 .. 100", "0 .. 1000"};

// A picture being drawn on: clipped writes, y counted from the bottom row.
struct Canvas {
    RgbImage &image;
    void put(int x, int y, unsigned char r, unsigned char g, unsigned char b)
    {
        if (x < 0 || y < 0 || x >= image.width || y >= image.height) return;
        unsigned char *p = image.pixels + (size_t(y) * size_t(image.width) + size_t(x)) * 3;
        p[0] = r;
        p[1] = g;
        p[2] = b;
    }
    void fill(int x0, int y0, int width, int height, unsigned char r, unsigned char g, unsigned char b)
    {
        for (int y = y0; y < y0 + height; ++y)
            for (int x = x0; x < x0 + width; ++x) put(x, y, r, g, b);
    }
    void frame(int x0, int y0, int width, int height)
    {
        fill(x0, y0, width, 1, 0, 0, 0);
        fill(x0, y0 + height - 1, width, 1, 0, 0, 0);
        fill(x0, y0, 1, height, 0, 0, 0);
        fill(x0 + width - 1, y0, 1, height, 0, 0, 0);
    }
};

// Black-on-white text whose lower left corner is at (x, y); returns its width.
static int draw_text(Canvas &canvas, int x, int y, const char *text)
{
    static unsigned char rgb[TEXT_WIDTH * TEXT_HEIGHT * 3];
    int width = render_text(text, rgb, TEXT_WIDTH, TEXT_HEIGHT);
    if (width > TEXT_WIDTH) width = TEXT_WIDTH;
    for (int row = 0; row < TEXT_HEIGHT; ++row)
        for (int column = 0; column < width; ++column) {
            const unsigned char *p = rgb + (size_t(row) * TEXT_WIDTH + size_t(column)) * 3;
            canvas.put(x + column, y + row, p[0], p[1], p[2]);
        }
    return width;
}

static unsigned char byte(float component) { return static_cast<unsigned char>(component * 255.0f + 0.5f); }

void draw_legend(RgbImage &image)
{
    if (!image.pixels) return;
    Canvas canvas{image};
    char date[DATE_TEXT_SIZE], band[64], campus[80];
    format_date(timeline.currentDate, date);
    const unsigned field = querySelection.field;
    const char *label = int(field) < fieldList.count ? fieldList.label[field] : "";
    while (*label == ' ') ++label;   // the field file indents labels under their headings
    std::snprintf(campus, sizeof campus, "Enrollment: %s", CAMPUS_NAMES[querySelection.campus % 3]);
    std::snprintf(band, sizeof band, "one band: %.0f (%s)", 1.0 / double(displaySettings.heightScale),
                  HEIGHT_SCALE_NAMES[height_index(displaySettings)]);

    // widths first, for the box; render_text reports them without drawing outside
    static unsigned char scratch[TEXT_WIDTH * TEXT_HEIGHT * 3];
    const char *texts[LINES] = {date, label, campus, RANGE_ENDS[colour_index(displaySettings)], band};
    int width = 0;
    for (int i = 0; i < LINES; ++i) {
        int needed = render_text(texts[i], scratch, TEXT_WIDTH, TEXT_HEIGHT);
        if (i >= 3) needed += RAMP_WIDTH + PADDING;   // beside the ramp or the column
        if (needed > width) width = needed;
    }
    if (width > TEXT_WIDTH + RAMP_WIDTH + PADDING) width = TEXT_WIDTH + RAMP_WIDTH + PADDING;
    const int boxWidth = width + 2 * PADDING, boxHeight = LINES * LINE_HEIGHT + 2 * PADDING;
    const int x0 = PADDING, y0 = PADDING;
    canvas.fill(x0, y0, boxWidth, boxHeight, 255, 255, 255);
    canvas.frame(x0, y0, boxWidth, boxHeight);

    // lines from the top: date, field, campus as text
    const int left = x0 + PADDING;
    auto lineBottom = [&](int line) { return y0 + PADDING + (LINES - 1 - line) * LINE_HEIGHT; };
    for (int line = 0; line < 3; ++line) draw_text(canvas, left, lineBottom(line), texts[line]);

    // the ramp, red through yellow to green, as the columns' sides show it
    const int rampY = lineBottom(3) + (LINE_HEIGHT - SWATCH) / 2;
    for (int x = 0; x < RAMP_WIDTH; ++x) {
        ColumnColour c = enrollment_ramp(float(x) / float(RAMP_WIDTH - 1));
        canvas.fill(left + x, rampY, 1, SWATCH, byte(c.red), byte(c.green), byte(c.blue));
    }
    canvas.frame(left, rampY, RAMP_WIDTH, SWATCH);
    draw_text(canvas, left + RAMP_WIDTH + PADDING, lineBottom(3), texts[3]);

    // a reference column: white, with its black band in the top eighth as on the sides
    const int columnY = lineBottom(4) + (LINE_HEIGHT - SWATCH) / 2, columnWidth = SWATCH;
    const int columnX = left + (RAMP_WIDTH - columnWidth) / 2;
    canvas.fill(columnX, columnY, columnWidth, SWATCH, 232, 232, 232);
    canvas.fill(columnX, columnY + SWATCH - SWATCH / 8, columnWidth, SWATCH / 8, 0, 0, 0);
    canvas.frame(columnX, columnY, columnWidth, SWATCH);
    draw_text(canvas, left + RAMP_WIDTH + PADDING, lineBottom(4), texts[4]);
}
