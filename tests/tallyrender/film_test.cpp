// film_test.cpp -- tallyrender's films, checked with FFmpeg's own command-line tools
// as a user's player would read them: the container and codec of each extension, the
// frame count and duration, every frame against the bitmap drawn for the same date,
// the MP4's index before its media data, the refusals, a full disk, another locale.
#include <gtest/gtest.h>

#include "scratch_folder.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class TallyrenderFilm : public ScratchFolderTest {
protected:
    // tallyrender from the repository's root, with no display.
    ProgramRun render(const std::string &args, const std::string &environment = "")
    {
        return shell("env -u DISPLAY -u WAYLAND_DISPLAY " + environment + " '" TALLYRENDER_PATH "' " + args);
    }

    // ffprobe's key=value lines of the film's stream and container, frames counted.
    std::map<std::string, std::string> probe(const std::string &film)
    {
        ProgramRun r = shell("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                             "stream=codec_name,pix_fmt,color_space,color_range,nb_read_frames:"
                             "format=format_name,duration -of default=noprint_wrappers=1 '" + film + "'");
        EXPECT_EQ(r.status, 0) << r.err;
        std::map<std::string, std::string> fields;
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);)
            if (size_t equals = line.find('='); equals != std::string::npos)
                fields[line.substr(0, equals)] = line.substr(equals + 1);
        return fields;
    }

    // Every frame of a video or picture as RGB bytes, by ffmpeg through the filters given.
    std::string decode(const std::string &input, const std::string &filters = "")
    {
        const std::string raw = at("decoded.rgb");
        ProgramRun r = shell("ffmpeg -v error -y -i '" + input + "' " + (filters.empty() ? "" : "-vf " + filters) +
                             " -f rawvideo -pix_fmt rgb24 '" + raw + "'");
        EXPECT_EQ(r.status, 0) << r.err;
        std::string bytes = slurp(raw);
        fs::remove(raw);
        return bytes;
    }
};

const std::string LOAD = " --load examples/inner_core.csv ";
// Columns that grow from year to year, with their enrollment colours and the legend.
const std::string PICTURE = LOAD + "--field 76 --campus 1 --height-scale 1000 --view 25,60,120 --legend ";

// The PSNR of picture `a` (frame at byte aAt) against `reference`, over every pixel, or
// only over the strongly coloured ones (channels 100 or more apart: the columns' sides,
// the legend's ramp), where a wrong colour matrix shows.
double psnr(const std::string &a, size_t aAt, const std::string &reference, bool colouredOnly = false)
{
    double sum = 0, count = 0;
    for (size_t i = 0; i + 2 < reference.size(); i += 3) {
        const int r = uint8_t(reference[i]), g = uint8_t(reference[i + 1]), b = uint8_t(reference[i + 2]);
        if (colouredOnly && std::max({r, g, b}) - std::min({r, g, b}) < 100) continue;
        for (size_t c = 0; c < 3; ++c) {
            const double d = double(uint8_t(a[aAt + i + c])) - double(uint8_t(reference[i + c]));
            sum += d * d;
        }
        count += 3;
    }
    return count == 0 ? 0.0 : sum == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * count / sum);
}

// The offset of the first top-level MP4 box of this type, or -1.
long long box_offset(const std::string &mp4, const char *type)
{
    size_t at = 0;
    while (at + 8 <= mp4.size()) {
        uint64_t size = 0;
        for (int i = 0; i < 4; ++i) size = size << 8 | uint8_t(mp4[at + size_t(i)]);
        if (mp4.compare(at + 4, 4, type) == 0) return (long long)at;
        if (size == 1 && at + 16 <= mp4.size()) {   // a 64-bit size follows the type
            size = 0;
            for (int i = 8; i < 16; ++i) size = size << 8 | uint8_t(mp4[at + size_t(i)]);
        }
        if (size < 8) return -1;
        at += size;
    }
    return -1;
}

// Written together with --frames, the film holds exactly those pictures in their order:
// each decoded frame is closer to the bitmap of its own date than to any other, and at
// least 36 dB (32 dB on its coloured pixels alone) from that bitmap taken through 4:2:0
// and back by ffmpeg (the film cannot keep the thin columns' full colour; ffmpeg is
// started from RGB, as tallyrender's pictures are, not from the bitmap's BGR order,
// whose conversion in ffmpeg blurs colour more).
// WebM takes odd sizes; the frame rates make durations of whole and of broken ms.
TEST_F(TallyrenderFilm, FilmsHoldTheFramesAsDrawnAtTheirRate)
{
    struct Case {
        const char *name, *size, *codec, *format;
        int fps;
    };
    const Case cases[] = {
        {"film.mp4", "160x120", "h264", "mp4", 10},
        {"film.webm", "161x121", "vp9", "webm", 12},
    };
    const int COUNT = 7, CHECKED[] = {1, 4, 7};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(at("frames"));
        ProgramRun r = render(PICTURE + "--date 1990-06-30 --step year --count 7 --size " + c.size + " --fps " +
                              std::to_string(c.fps) + " --frames " + at("frames") + " --film " + at(c.name));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("frame 7 of 7, June,30,1996"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), COUNT) << r.err;   // a line a frame: fewer than 10

        std::map<std::string, std::string> p = probe(at(c.name));
        EXPECT_EQ(p["codec_name"], c.codec);
        EXPECT_NE(p["format_name"].find(c.format), std::string::npos) << p["format_name"];
        EXPECT_EQ(p["pix_fmt"], "yuv420p");
        EXPECT_EQ(p["color_space"], "smpte170m");
        EXPECT_EQ(p["color_range"], "tv");
        EXPECT_EQ(p["nb_read_frames"], std::to_string(COUNT));
        EXPECT_NEAR(std::stod(p["duration"]), double(COUNT) / c.fps, 0.001);

        int width = 0, height = 0;
        std::sscanf(c.size, "%dx%d", &width, &height);
        const size_t frameBytes = size_t(width) * size_t(height) * 3;
        const std::string film = decode(at(c.name));
        ASSERT_EQ(film.size(), frameBytes * COUNT);
        std::string references[COUNT + 1];
        for (int k : CHECKED) {
            char bitmap[64];
            std::snprintf(bitmap, sizeof bitmap, "frames/frame_%05d.bmp", k);
            references[k] = decode(at(bitmap), "format=rgb24,format=yuv420p,format=rgb24");
            ASSERT_EQ(references[k].size(), frameBytes);
        }
        for (int k : CHECKED) {
            const size_t offset = frameBytes * size_t(k - 1);
            const double own = psnr(film, offset, references[k]);
            EXPECT_GE(own, 36.0) << "frame " << k;
            // a matrix other than the one the stream records costs the coloured pixels 12 dB
            EXPECT_GE(psnr(film, offset, references[k], true), 32.0) << "frame " << k;
            for (int other : CHECKED) {
                if (other != k) { EXPECT_GT(own, psnr(film, offset, references[other]) + 3) << k << " against " << other; }
            }
        }
    }
    // the MP4's index comes first, so that it plays while it downloads
    const std::string mp4 = slurp(at("film.mp4"));
    const long long moov = box_offset(mp4, "moov"), mdat = box_offset(mp4, "mdat");
    ASSERT_GE(moov, 0);
    ASSERT_GE(mdat, 0);
    EXPECT_LT(moov, mdat);
    for (const auto &entry : fs::directory_iterator(dir))   // no temporary file left
        EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos) << entry.path();
}

TEST_F(TallyrenderFilm, RefusesBadFilmsBeforeDrawingAnything)
{
    const std::string frames = " --step month --count 2";
    const char *bad[][2] = {   // the film's name, the options after it
        {"x.avi", ""}, {"x", ""}, {"mp4", ""}, {"x.mp4.tmp", ""}, {"x.mp4", "--fps 0"}, {"x.mp4", "--fps 61"},
        {"x.mp4", "--fps 2.5"}, {"x.mp4", "--quality best"}, {"x.mp4", "--size 161x120"}, {"x.mp4", "--size 160x121"},
    };
    for (const auto &args : bad) {
        ProgramRun r = render(LOAD + "--film " + at(args[0]) + " " + args[1] + frames);
        EXPECT_EQ(r.status, 2) << args[0] << " " << args[1];
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args[0] << " " << args[1] << ": " << r.err;
    }
    ProgramRun odd = render(LOAD + "--film " + at("x.mp4") + " --size 33x21" + frames);
    EXPECT_NE(odd.err.find("H.264 needs even sizes"), std::string::npos) << odd.err;
    EXPECT_EQ(render(LOAD + "--film " + at("x.mp4") + " --count 2").status, 2);               // no --step
    EXPECT_EQ(render(LOAD + "--fps 12 --snapshot " + at("x.bmp")).status, 2);                 // --fps without --film
    EXPECT_EQ(render(LOAD + "--quality small --frames " + at("f") + frames).status, 2);       // nor --quality
    EXPECT_TRUE(fs::is_empty(dir));
}

// A disk that fills up during the film: exit 1 naming the frame, no temporary file,
// and the film of that name from before kept as it was. The small disk is a tmpfs
// mounted in a mount namespace of the test's own.
TEST_F(TallyrenderFilm, AFullDiskKeepsTheFilmThatWasThere)
{
    const std::string unshare = getuid() == 0 ? "unshare -m" : "unshare -rm";
    if (shell(unshare + " true").status != 0) GTEST_SKIP() << "no mount namespace here";
    fs::create_directories(at("disk"));
    const std::string disk = at("disk"), film = disk + "/film.mp4";
    const std::string script = "mount -t tmpfs -o size=16k tmpfs '" + disk + "' && printf old > '" + film +
                               "' && { env -u DISPLAY '" TALLYRENDER_PATH "' " + PICTURE +
                               " --size 640x480 --step month --count 60 --film '" + film + "' 2>'" + at("err") +
                               "'; echo \\$? > '" + at("status") + "'; ls -A '" + disk + "' > '" + at("listing") +
                               "'; cat '" + film + "' > '" + at("kept") + "'; }";
    ProgramRun r = shell(unshare + " sh -c \"" + script + "\"");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(at("status")), "1\n");
    const std::string err = slurp(at("err"));
    EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
    int frame = 0;   // the film stops at the frame whose data found the disk full, long before its end
    ASSERT_EQ(std::sscanf(err.c_str() + err.rfind("tallyrender: "), "tallyrender: frame %d (", &frame), 1) << err;
    EXPECT_LT(frame, 60);
    EXPECT_EQ(slurp(at("listing")), "film.mp4\n");
    const std::string kept = slurp(at("kept"));
    EXPECT_TRUE(kept == "old") << kept.size() << " bytes";
}

// Under a decimal-comma locale (the legend starts QtGui, which takes the user's locale)
// the film is the same byte for byte; a colon in the name is no protocol.
TEST_F(TallyrenderFilm, AGermanLocaleMakesTheSameFilm)
{
    const std::string args = PICTURE + "--size 160x120 --date 2000-01-31 --step month --count 4 --fps 7 --film ";
    ASSERT_EQ(render(args + at("c.mp4"), "LC_ALL=C LANG=C").status, 0);
    ProgramRun german = render(args + "'" + at("de:1.mp4") + "'", "LC_ALL= LANG=de_DE.UTF-8");
    ASSERT_EQ(german.status, 0) << german.err;
    EXPECT_EQ(slurp(at("de:1.mp4")), slurp(at("c.mp4")));
}

}   // namespace
