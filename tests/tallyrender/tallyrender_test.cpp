// tallyrender_test.cpp -- runs the built tallyrender on the sample data with no X server
// and checks what it writes, prints and returns: refusals before anything is written,
// the value CSV against figures worked out from the census files, frames that step
// the date as the timeline does, PNG pictures read back with libpng against the
// bitmaps, and what a failure keeps.
#include <gtest/gtest.h>
#include <png.h>

#include "scratch_folder.h"
#include "version.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class Tallyrender : public ScratchFolderTest {
protected:
    // Runs from the repository's root (./data, examples/) with no display at all.
    ProgramRun run(const std::string &args)
    {
        return shell("env -u DISPLAY -u WAYLAND_DISPLAY '" TALLYRENDER_PATH "' " + args);
    }
    std::vector<std::string> written() const
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::recursive_directory_iterator(dir)) names.push_back(entry.path().filename());
        return names;
    }
};

const std::string LOAD = " --load examples/inner_core.csv ";

// A picture read back: its size, its pixels as RGB from the top row down, and the
// types of the PNG chunks it came in.
struct Picture {
    int width = 0, height = 0;
    std::string rgb;
    std::vector<std::string> chunks;
    bool operator==(const Picture &other) const
    {
        return width == other.width && height == other.height && rgb == other.rgb;
    }
};

// A 24-bit bitmap as tallyrender writes it: 54 header bytes, rows bottom first, BGR,
// each padded to 4 bytes.
Picture read_bitmap(const std::string &bytes)
{
    Picture p;
    if (bytes.size() < 54) return p;
    std::memcpy(&p.width, bytes.data() + 18, 4);
    std::memcpy(&p.height, bytes.data() + 22, 4);
    const size_t row = (size_t(p.width) * 3 + 3) & ~size_t(3);
    if (bytes.size() < 54 + row * size_t(p.height)) return Picture{};
    for (int y = p.height - 1; y >= 0; --y)
        for (int x = 0; x < p.width; ++x)
            for (int c = 2; c >= 0; --c) p.rgb += bytes[54 + size_t(y) * row + size_t(x) * 3 + size_t(c)];
    return p;
}

// A PNG decoded by libpng, and the list of its chunks.
Picture read_png(const std::string &bytes)
{
    Picture p;
    for (size_t at = 8; at + 12 <= bytes.size();) {
        const uint32_t length = uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
                                uint32_t(uint8_t(bytes[at + 2])) << 8 | uint8_t(bytes[at + 3]);
        p.chunks.push_back(bytes.substr(at + 4, 4));
        at += 12 + size_t(length);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return p;
    image.format = PNG_FORMAT_RGB;
    p.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr)) p.rgb.clear();
    p.width = int(image.width);
    p.height = int(image.height);
    return p;
}

TEST_F(Tallyrender, RefusesBadCommandLinesBeforeWritingAnything)
{
    const std::string snapshot = " --snapshot " + at("x.bmp");
    const char *bad[] = {
        "--colour Red", "--date 2021-02-29", "--date 1989-12-31", "--date 2022-01-01", "--date 2000-6-15",
        "--field 307", "--field -1", "--field 1",   // line 1 of the sample field file is a heading
        "--campus 3", "--height-scale 5", "--colour-range 50", "--view 181,0,500", "--view 0,-91,500",
        "--view 0,0,9", "--view 0,0", "--centre west,north", "--size 0x10", "--size 7000x10", "--size 10",
        "--select 99999", "--report 12345", "--count 0", "--step week", "stray", "--legend=yes", "--s 1", "-x",
    };
    // output names: the extensions known, one number field in a frame pattern
    const char *names[] = {
        "--snapshot x.jpg", "--snapshot x", "--snapshot .png", "--snapshot x.png.tmp",
        "--frames f.png --step day --count 2", "--frames f_%d_%d.png --step day --count 2",
        "--frames f_%5d.png --step day --count 2", "--frames f_%s.png --step day --count 2",
        "--frames f_%03d.jpg --step day --count 2", "--frames f_%03d --step day --count 2",
        "--frames 50% --step day --count 2", "--frames f.BMP --step day --count 2",
        "--model x.gltf", "--model x", "--model x.glb.tmp", "--model x.glb --fps 5", "--snapshot x.bmp --step day --count 2",
        "--model x.glb --step day --count 11689",   // more keys than the days of the timeline
    };
    for (const char *args : names) {
        ProgramRun r = run(LOAD + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
    }
    EXPECT_NE(run(LOAD + "--snapshot x.jpg").err.find(".bmp or .png"), std::string::npos);
    EXPECT_NE(run(LOAD + "--model x.gltf").err.find(".glb"), std::string::npos);
    for (const char *args : bad) {
        ProgramRun r = run(std::string(args) + LOAD + snapshot);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
        EXPECT_EQ(r.err.rfind("tallyrender: ", 0), 0u) << args;
    }
    EXPECT_EQ(run(LOAD).status, 2);                                              // nothing to write
    EXPECT_EQ(run(LOAD + "--frames " + at("f") + " --count 2").status, 2);        // no --step
    // an unknown option is unknown wherever it stands; a known one given last lacks its value
    ProgramRun unknown = run(LOAD + snapshot + " --bogus");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown option '--bogus'"), std::string::npos) << unknown.err;
    ProgramRun last = run(LOAD + snapshot + " --date");
    EXPECT_NE(last.err.find("--date needs a value"), std::string::npos) << last.err;
    ProgramRun ambiguous = run(LOAD + snapshot + " --s 1");
    EXPECT_NE(ambiguous.err.find("ambiguous option '--s' (--select, --size, --snapshot, --step)"), std::string::npos)
        << ambiguous.err;
    EXPECT_TRUE(written().empty());

    ProgramRun version = run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("tallyrender ") + TALLYMAP_VERSION + "\n");
    EXPECT_EQ(run("-h").status, 0);   // what it lists: the manual-page test
}

// Failures to read name the file and the system's reason; for the data directory they
// say how to point at one.
TEST_F(Tallyrender, ReadFailuresSayWhichFileWhyAndWhatToDo)
{
    const std::string snapshot = " --snapshot " + at("x.bmp");
    ProgramRun missing = run("--load examples/no-such.csv" + snapshot);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "tallyrender: cannot load examples/no-such.csv: No such file or directory\n");

    const std::string nodata = at("nodata");
    ProgramRun noMap = run("--data " + nodata + LOAD + snapshot);
    EXPECT_EQ(noMap.status, 1);
    EXPECT_EQ(noMap.err.rfind("tallyrender: cannot read the base map " + nodata +
                                  "/maps/basemap.bmp: No such file or directory", 0), 0u) << noMap.err;
    EXPECT_NE(noMap.err.find("--data DIR"), std::string::npos) << noMap.err;
    EXPECT_NE(noMap.err.find("data/"), std::string::npos) << noMap.err;
    ProgramRun noFields = run("--data " + nodata + LOAD + "--field 2" + snapshot);
    EXPECT_EQ(noFields.status, 1);
    EXPECT_EQ(noFields.err.rfind("tallyrender: cannot read the field file " + nodata +
                                     "/ui/fields.ui: No such file or directory", 0), 0u) << noFields.err;
    EXPECT_NE(noFields.err.find("--data DIR"), std::string::npos) << noFields.err;

    fs::create_directories(dir / "empty/ui");
    std::ofstream(dir / "empty/ui/fields.ui").close();
    ProgramRun empty = run("--data " + at("empty") + LOAD + "--field 0" + snapshot);
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.err, "tallyrender: --field: the field file " + at("empty") + "/ui/fields.ui has no lines\n");
    std::vector<std::string> names = written();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"empty", "fields.ui", "ui"}));   // nothing written
}

// 31 December 2012 is the last node of the interpolation: each value is the 2007
// detail count carried by the population ratio 2012/2007, worked out here from the
// census files themselves.
TEST_F(Tallyrender, ExportAtTheLastCensusCarriesEachDetailByItsOwnRatio)
{
    ProgramRun r = run(LOAD + "--date 2012-12-31 --export " + at("values.csv"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream csv(slurp(at("values.csv")));
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "ZIP,VALUE\r");
    int rows = 0;
    while (std::getline(csv, line)) {
        unsigned zip = 0, value = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%u,%u", &zip, &value), 2) << line;
        std::ifstream zc("data/zips/" + std::to_string(zip) + ".zc", std::ios::binary);
        float counts[16] = {};
        zc.read(reinterpret_cast<char *>(counts), sizeof counts);
        const float ratio = float(double(counts[3]) / counts[2]);   // 2012 over 2007
        EXPECT_EQ(value, unsigned(std::floor(double(ratio) * counts[15] + 0.5))) << zip;
        ++rows;
    }
    EXPECT_EQ(rows, 25);
    EXPECT_EQ(written(), std::vector<std::string>{"values.csv"});   // no temporary left behind
}

// Frames step the date as the timeline does: the third frame by days from 27 February
// 2000, and by months from 31 December 1999, is 29 February 2000, whose snapshot the
// legend marks with its date.
TEST_F(Tallyrender, FramesStepTheDateAsTheTimelineDoes)
{
    const std::string picture = LOAD + "--legend --size 200x150 --field 0 --campus 1 --view 0,40,300 ";
    ASSERT_EQ(run(picture + "--date 2000-02-29 --snapshot " + at("leap.bmp")).status, 0);
    ASSERT_EQ(run(picture + "--date 2000-02-28 --snapshot " + at("before.bmp")).status, 0);
    ASSERT_NE(slurp(at("leap.bmp")), slurp(at("before.bmp")));

    ProgramRun days = run(picture + "--date 2000-02-27 --frames " + at("days") + " --step day --count 3");
    ASSERT_EQ(days.status, 0) << days.err;
    EXPECT_NE(days.err.find("frame 3 of 3, February,29,2000"), std::string::npos) << days.err;
    EXPECT_EQ(slurp(at("days/frame_00003.bmp")), slurp(at("leap.bmp")));
    EXPECT_EQ(slurp(at("days/frame_00002.bmp")), slurp(at("before.bmp")));
    EXPECT_FALSE(fs::exists(at("days/frame_00004.bmp")));

    ProgramRun months = run(picture + "--date 1999-12-31 --frames " + at("months") + " --step month --count 3");
    ASSERT_EQ(months.status, 0) << months.err;
    EXPECT_EQ(slurp(at("months/frame_00003.bmp")), slurp(at("leap.bmp")));
}

// The legend is drawn over the picture's lower left corner only: a black frame at
// (6, 6), white inside, the ramp starting red; the rest of the picture is untouched.
TEST_F(Tallyrender, LegendSitsInTheLowerLeftCorner)
{
    const std::string picture = LOAD + "--size 200x150 --campus 1 --view 0,40,300 --snapshot ";
    ASSERT_EQ(run(picture + at("plain.bmp")).status, 0);
    ASSERT_EQ(run(picture + at("legend.bmp") + " --legend").status, 0);
    const std::string plain = slurp(at("plain.bmp")), legend = slurp(at("legend.bmp"));
    ASSERT_EQ(plain.size(), legend.size());
    auto bgr = [](const std::string &bmp, int x, int y) {   // rows bottom first, 600 bytes each
        size_t at = 54 + size_t(y) * 600 + size_t(x) * 3;
        return std::vector<int>{uint8_t(bmp[at]), uint8_t(bmp[at + 1]), uint8_t(bmp[at + 2])};
    };
    EXPECT_EQ(bgr(legend, 6, 6), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(bgr(legend, 8, 8), (std::vector<int>{255, 255, 255}));
    const std::vector<int> rampStart = bgr(legend, 13, 40);   // red, hardly any green yet
    EXPECT_EQ(rampStart[2], 255);
    EXPECT_LT(rampStart[1], 10);
    EXPECT_EQ(rampStart[0], 0);
    for (int y = 120; y < 150; ++y)
        for (int x = 0; x < 200; x += 7) ASSERT_EQ(bgr(legend, x, y), bgr(plain, x, y)) << x << "," << y;
}

// A PNG holds the bitmap's pixels and nothing else (8-bit RGB, no gamma or colour
// chunks), as a snapshot and as frames named by a pattern, whose folder is made. An odd
// width: rows that are not a multiple of 4 bytes.
TEST_F(Tallyrender, PngPicturesHoldTheBitmapsPixels)
{
    const std::string picture = LOAD + "--size 161x121 --campus 1 --view 10,40,300 --legend --date 2001-11-30 ";
    ProgramRun png = run(picture + "--snapshot " + at("x.PNG") + " --frames '" + at("p/f%%_%03d.png") +
                         "' --step month --count 3");
    ASSERT_EQ(png.status, 0) << png.err;
    ProgramRun bmp = run(picture + "--snapshot " + at("x.bmp") + " --frames " + at("b") + " --step month --count 3");
    ASSERT_EQ(bmp.status, 0) << bmp.err;

    // IHDR, IDAT..., IEND: no other chunk
    auto image_chunks_only = [](const Picture &p) {
        return p.chunks.size() >= 3 && p.chunks.front() == "IHDR" && p.chunks.back() == "IEND" &&
               std::all_of(p.chunks.begin() + 1, p.chunks.end() - 1, [](const std::string &c) { return c == "IDAT"; });
    };
    const Picture snapshot = read_png(slurp(at("x.PNG")));
    EXPECT_TRUE(image_chunks_only(snapshot));
    const std::string header = slurp(at("x.PNG")).substr(16, 13);   // IHDR: width, height, depth, type, ...
    EXPECT_EQ(header.substr(8), std::string("\x08\x02\x00\x00\x00", 5));   // 8-bit RGB, not interlaced
    EXPECT_TRUE(snapshot == read_bitmap(slurp(at("x.bmp"))));
    EXPECT_EQ(snapshot.width, 161);
    for (const char *frame : {"1", "2", "3"}) {
        const Picture p = read_png(slurp(at(std::string("p/f%_00") + frame + ".png")));
        EXPECT_TRUE(p == read_bitmap(slurp(at(std::string("b/frame_0000") + frame + ".bmp")))) << frame;
        EXPECT_TRUE(image_chunks_only(p)) << frame;
    }
    EXPECT_FALSE(snapshot == read_png(slurp(at("p/f%_002.png"))));   // the dates differ, and so do the pictures
    std::vector<std::string> names = written();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"b", "f%_001.png", "f%_002.png", "f%_003.png", "frame_00001.bmp",
                                               "frame_00002.bmp", "frame_00003.bmp", "p", "x.PNG", "x.bmp"}));
}

// A disk that fills up: a PNG snapshot and a model fail whole (exit 1, the file and the
// system's reason named, no temporary file, the older file of that name kept); PNG
// frames, written on their own thread, stop at the frame that found the disk full and
// keep the ones before it. The small disk is a tmpfs in a mount namespace of the test's own.
TEST_F(Tallyrender, AFullDiskKeepsWhatWasThere)
{
    const std::string unshare = getuid() == 0 ? "unshare -m" : "unshare -rm";
    if (shell(unshare + " true").status != 0) GTEST_SKIP() << "no mount namespace here";
    fs::create_directories(at("disk"));
    const std::string disk = at("disk"), tallyrender = "env -u DISPLAY '" TALLYRENDER_PATH "' " + LOAD +
                                                       "--field 76 --campus 1 --height-scale 1000 --view 25,60,120 ";
    // each step's exit status and listing go to a file of the scratch folder, outside the disk
    auto step = [&](const std::string &name, const std::string &args) {
        return tallyrender + args + " 2>'" + at(name + ".err") + "'; echo \\$? > '" + at(name + ".status") +
               "'; ls -A '" + disk + "' > '" + at(name + ".listing") + "'";
    };
    const std::string script = "mount -t tmpfs -o size=64k tmpfs '" + disk + "' && printf old > '" + disk +
                               "/x.png' && " + step("snapshot", "--size 1024x768 --snapshot '" + disk + "/x.png'") +
                               " && cat '" + disk + "/x.png' > '" + at("kept") + "' && rm '" + disk + "/x.png' && " +
                               step("frames", "--size 320x240 --step month --count 20 --frames '" + disk + "/f_%02d.png'") +
                               " ; rm -f '" + disk + "'/f_* && printf old > '" + disk + "/m.glb' && " +
                               step("model", "--step month --count 100 --model '" + disk + "/m.glb'") + " && cat '" +
                               disk + "/m.glb' > '" + at("kept model") + "'";
    ProgramRun r = shell(unshare + " sh -c \"" + script + "\"");
    ASSERT_EQ(r.status, 0) << r.err;

    EXPECT_EQ(slurp(at("snapshot.status")), "1\n");
    EXPECT_EQ(slurp(at("snapshot.err")), "tallyrender: cannot write " + disk + "/x.png: No space left on device\n");
    EXPECT_EQ(slurp(at("snapshot.listing")), "x.png\n");
    EXPECT_EQ(slurp(at("kept")), "old");

    EXPECT_EQ(slurp(at("frames.status")), "1\n");
    const std::string err = slurp(at("frames.err"));
    const size_t last = err.rfind("tallyrender: frame ");
    int frame = 0, kept = 0;
    ASSERT_EQ(std::sscanf(err.c_str() + last, "tallyrender: frame %d (", &frame), 1) << err;
    EXPECT_GT(frame, 1);
    EXPECT_LT(frame, 20);
    char name[64];
    std::snprintf(name, sizeof name, "/f_%02d.png: No space left on device; ", frame);
    EXPECT_NE(err.find(name, last), std::string::npos) << err;
    ASSERT_EQ(std::sscanf(err.c_str() + err.find("; ", last) + 2, "%d frames kept", &kept), 1) << err;
    EXPECT_EQ(kept, frame - 1);
    std::string listing;
    for (int k = 1; k < frame; ++k) {
        std::snprintf(name, sizeof name, "f_%02d.png\n", k);
        listing += name;
    }
    EXPECT_EQ(slurp(at("frames.listing")), listing);

    EXPECT_EQ(slurp(at("model.status")), "1\n");
    EXPECT_EQ(slurp(at("model.err")), "tallyrender: cannot write " + disk + "/m.glb: No space left on device\n");
    EXPECT_EQ(slurp(at("model.listing")), "m.glb\n");
    EXPECT_EQ(slurp(at("kept model")), "old");
}

// A model alone, with values and a report, needs no OpenGL (here there is none to be
// had), and is the same, byte for byte, as the model written while the same dates are
// drawn: each date is computed once for everything that is written of it.
TEST_F(Tallyrender, ModelsNeedNoOpenGlAndEqualThoseWrittenWithPictures)
{
    const std::string noGl = "__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json ";
    const std::string state = LOAD + "--campus 1 --field 76 --date 2004-10-31 --size 200x150 --view 20,50,90 ";
    ProgramRun drawn = run(state + "--model " + at("drawn.glb") + " --frames " + at("f") + " --snapshot " +
                           at("s.png") + " --step month --count 4");
    ASSERT_EQ(drawn.status, 0) << drawn.err;
    ProgramRun alone = shell("env -u DISPLAY " + noGl + "'" TALLYRENDER_PATH "' " + state + "--model " + at("alone.glb") +
                             " --step month --count 4 --export " + at("v.csv") + " --report 77002");
    ASSERT_EQ(alone.status, 0) << alone.err;
    EXPECT_NE(alone.out.find("77002"), std::string::npos);
    const std::string model = slurp(at("alone.glb"));
    EXPECT_EQ(model.substr(0, 4), "glTF");
    EXPECT_EQ(model, slurp(at("drawn.glb")));

    ASSERT_EQ(run(state + "--model " + at("still-drawn.glb") + " --snapshot " + at("s.bmp")).status, 0);
    ASSERT_EQ(shell("env -u DISPLAY " + noGl + "'" TALLYRENDER_PATH "' " + state + "--model " + at("still.glb")).status, 0);
    EXPECT_EQ(slurp(at("still.glb")), slurp(at("still-drawn.glb")));
    EXPECT_NE(slurp(at("still.glb")), model);
    // the premise: pictures cannot be drawn here
    EXPECT_EQ(shell("env -u DISPLAY " + noGl + "'" TALLYRENDER_PATH "' " + state + "--snapshot " + at("x.bmp")).status, 1);
}

TEST_F(Tallyrender, FailuresSayWhereAndKeepWhatWasWritten)
{
    ProgramRun unwritable = run(LOAD + "--snapshot " + at("missing/x.bmp"));
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("cannot write"), std::string::npos);
    EXPECT_FALSE(fs::exists(at("missing")));
    // a model in a missing folder, or under a folder's name
    ProgramRun noFolder = run(LOAD + "--model " + at("missing/x.glb"));
    EXPECT_EQ(noFolder.status, 1);
    EXPECT_EQ(noFolder.err, "tallyrender: cannot write " + at("missing/x.glb") + ": No such file or directory\n");
    fs::create_directories(at("taken.glb"));
    ProgramRun taken = run(LOAD + "--model " + at("taken.glb"));
    EXPECT_EQ(taken.status, 1);
    EXPECT_EQ(taken.err, "tallyrender: cannot write " + at("taken.glb") + ": Is a directory\n");
    EXPECT_TRUE(fs::is_directory(at("taken.glb")));
    EXPECT_EQ(written(), std::vector<std::string>{"taken.glb"});

    // the second frame's name is taken by a folder: the set stops there
    fs::create_directories(at("frames/frame_00002.bmp"));
    ProgramRun frames = run(LOAD + "--size 64x48 --frames " + at("frames") + " --step year --count 5");
    EXPECT_EQ(frames.status, 1);
    EXPECT_NE(frames.err.find("frame 2 (January,1,1991)"), std::string::npos) << frames.err;
    EXPECT_TRUE(fs::is_regular_file(at("frames/frame_00001.bmp")));
    EXPECT_FALSE(fs::exists(at("frames/frame_00003.bmp")));
    // a folder that cannot be made below a file, or a file in the folder's place
    ProgramRun belowFile = run(LOAD + "--frames " + at("frames/frame_00001.bmp/sub") + " --step year --count 1");
    EXPECT_EQ(belowFile.status, 1);
    EXPECT_NE(belowFile.err.find("Not a directory"), std::string::npos) << belowFile.err;
    std::ofstream(at("plain")).close();
    ProgramRun onFile = run(LOAD + "--frames " + at("plain") + " --step year --count 1");
    EXPECT_EQ(onFile.status, 1);
    EXPECT_NE(onFile.err.find("is no folder"), std::string::npos) << onFile.err;

    // Interrupted (kill; a terminal's Ctrl-C and a logout alike) while a film and its
    // frames are written: it dies of the signal, the frames written stay, no hidden
    // partial file does. The signal goes once the first frame is there.
    ProgramRun interrupted = shell(
        "env -u DISPLAY " + quoted(TALLYRENDER_PATH) + LOAD + "--size 64x48 --step day --count 99999 --film " +
        quoted(at("cut/f.mp4")) + " --frames " + quoted(at("cut/f_%05d.png")) + " 2>/dev/null & p=$!; " +
        "for i in $(seq 100); do [ -e " + quoted(at("cut/f_00001.png")) + " ] && break; sleep 0.1; done; " +
        "kill -TERM $p; wait $p; echo $?");
    EXPECT_EQ(interrupted.out, "143\n");   // 128 + SIGTERM
    int kept = 0;
    for (const auto &entry : fs::directory_iterator(at("cut"))) {
        const std::string name = entry.path().filename();
        EXPECT_NE(name[0], '.') << name;
        kept += name.rfind("f_", 0) == 0;
    }
    EXPECT_GT(kept, 0);
    EXPECT_FALSE(fs::exists(at("cut/f.mp4")));

    // a snapshot's header says what it holds: the size asked for, 24 bits (the values
    // given after '=', the option abbreviated)
    ASSERT_EQ(run(LOAD + "--size=33x21 --snap=" + at("small.bmp")).status, 0);
    const std::string bmp = slurp(at("small.bmp"));
    ASSERT_EQ(bmp.size(), 54u + 21u * 100u);   // rows of 99 bytes padded to 100
    EXPECT_EQ(bmp[18], 33);
    EXPECT_EQ(bmp[22], 21);
    EXPECT_EQ(bmp[28], 24);
}

}   // namespace
