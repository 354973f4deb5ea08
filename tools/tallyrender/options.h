// options.h -- tallyrender's command line: what to load, the state to draw, and what to
// write. Every value is checked here, before anything is read or written.
#pragma once
#include <cstdint>

#include "dates.h"
#include "outputs.h"

constexpr int MAX_RENDER_SIDE  = 6144;   // widest picture the bitmap writer takes
constexpr int MAX_FRAMES       = 99999;  // frame_00001.bmp .. frame_99999.bmp
constexpr int MAX_FPS          = 60;     // film frames per second

struct RenderOptions {
    char       dataDirectory[RENDER_PATH_SIZE];   // default "./data"
    char       loadPath[RENDER_PATH_SIZE];        // Load Data CSV; "" none
    bool       hasDate;
    PackedDate date;                              // 1 January 1990 unless given
    int        field;                             // field-file line; -1 not given (line 0)
    int        campus;                            // 0, 1 or 2
    int        heightIndex;                       // 0 "10000:1" .. 3 "10:1"
    int        colourIndex;                       // 0 "Normalized" .. 3 "1-1000"
    bool       hasView;
    float      rotation, tilt, distance;          // as the mouse leaves them
    bool       hasCentre;
    float      centreLongitude, centreLatitude;   // the point the view turns about
    int64_t    selectZip;                         // -1 none
    int        width, height;                     // picture size, default 1024 x 768
    char       snapshotPath[RENDER_PATH_SIZE];    // "" none
    const OutputFormat *snapshotFormat;           // the snapshot's picture format
    char       exportPath[RENDER_PATH_SIZE];      // "" none
    int64_t    reportZip;                         // -1 none
    char       framesValue[RENDER_PATH_SIZE];     // --frames as given; "" none
    FrameNames frames;                            // its frames' names; frames.format null: none
    int        stepUnit;                          // DateStepUnit of the frames
    int        frameCount;                        // frames to write
    char       filmPath[RENDER_PATH_SIZE];        // "" none; .mp4 or .webm
    const OutputFormat *filmFormat;               // the film's row: its container
    char       modelPath[RENDER_PATH_SIZE];       // "" none; .glb
    int        fps;                               // film frames or model keys per second, 1..60 (default 10)
    int        filmQuality;                       // FilmQuality (default FILM_NORMAL)
    bool       legend;                            // a legend in every picture
    bool       help;                              // --help: usage, nothing else
    bool       version;                           // --version: the version, nothing else
};

// The words of --step, in DateStepUnit order.
extern const char *const STEP_UNIT_NAMES[3];

// Fills options from the arguments. 1 when they are all valid; 0 with a one-line
// reason in error (size bytes) otherwise.
int parse_options(int argc, char **argv, RenderOptions &options, char *error, int size);

// The usage text of --help.
const char *usage_text();
