// film.cpp -- tallyrender's film writer: RGB pictures converted to 4:2:0 by libswscale,
// encoded by libavcodec (libx264 for MP4, libvpx-vp9 for WebM) and muxed by
// libavformat. The MP4 is rewritten at the end so that its index comes before the
// media data ("faststart"): a player can start while the file is still arriving.
//
// Colours: the pictures are full-range RGB; the film holds limited range ("tv") with
// the BT.601 matrix (SMPTE 170M), BT.709 primaries and transfer, and records all of it
// in the stream (H.264 VUI, VP9 header, MP4 'colr', WebM Colour) so that no player has
// to guess. BT.601 because our flat, saturated colours keep more of themselves through
// 4:2:0 with it than with BT.709's matrix, and because it is what FFmpeg's own tools
// convert RGB with: a film and a bitmap converted by them agree. The conversion is
// libswscale's bicubic one, again as those tools do it.
//
// The libraries' own log lines are kept, not printed: a failure is one line of ours,
// with the libraries' last complaint added when there is one.
#include "film.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/cpu.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

// The encoder settings of each quality level.
struct QualityPlan {
    const char *x264Preset;    // libx264's speed preset
    double      x264Crf;       // libx264's constant rate factor, 0..51: lower is finer
    const char *vp9Deadline;   // libvpx-vp9's mode: "good" (slower, finer) or "realtime"
    int         vp9Crf;        // libvpx-vp9's constant quality level, 0..63: lower is finer
    int         vp9CpuUsed;    // libvpx-vp9's speed within its mode, higher is faster
};

// normal: the columns' flat bands, their edges and the base map's thin lines show no
// blocking at 1024 x 768 (its frames lie 39 to 45 dB from the pictures taken through
// 4:2:0 alone), and 100 frames encode within twice the time of writing them as
// bitmaps on two cores: x264's "faster" preset and VP9's realtime mode at speed 7 keep
// up with the drawing, while "medium" and VP9's "good" mode took two to six times as
// long for 5 to 10 % fewer bytes. high: finer (43 to 50 dB), 1.2 to 1.6 times normal's
// bytes, VP9 in its slower "good" mode. small: 0.6 times normal's bytes for e-mail
// (35 to 39 dB), the thinnest columns' edges softened; x264's "medium" preset finds
// the extra savings at little cost.
static const QualityPlan qualityPlans[3] = {
    {"medium", 16.0, "good", 24, 5},       // FILM_HIGH
    {"faster", 21.0, "realtime", 32, 7},   // FILM_NORMAL
    {"medium", 28.0, "realtime", 42, 7},   // FILM_SMALL
};

// Everything of the one film being written; all zero when none is open.
struct FilmState {
    AVFormatContext *format;      // the container and its file
    AVCodecContext  *encoder;     // H.264 or VP9
    AVStream        *stream;      // the one video stream
    SwsContext      *converter;   // RGB24 bottom-up to YUV 4:2:0, BT.601, limited range
    AVFrame         *picture;     // the 4:2:0 picture handed to the encoder
    AVPacket        *packet;      // what the encoder hands back
    int64_t          frames;      // pictures added so far: the next picture's timestamp
    int              width, height;
};

static FilmState film;

// ---------------------------------------------------------------------------------
// The library's log: the last error kept, nothing printed
// ---------------------------------------------------------------------------------
static std::mutex logLock;            // the encoders log from their own threads
static char       libraryMessage[256];

static void keep_library_message(void *, int level, const char *format, va_list args)
{
    if (level > AV_LOG_ERROR) return;
    std::lock_guard<std::mutex> hold(logLock);
    std::vsnprintf(libraryMessage, sizeof libraryMessage, format, args);
    size_t length = std::strlen(libraryMessage);
    while (length > 0 && (libraryMessage[length - 1] == '\n' || libraryMessage[length - 1] == '\r'))
        libraryMessage[--length] = '\0';
}

// A one-line reason: what failed, the library's error code in words, and its last
// log line when there is one.
static int refuse(char *error, int size, int code, const char *what)
{
    char reason[AV_ERROR_MAX_STRING_SIZE] = "";
    if (code < 0) av_strerror(code, reason, sizeof reason);
    std::lock_guard<std::mutex> hold(logLock);
    std::snprintf(error, size_t(size), "%s%s%s%s%s", what, reason[0] ? ": " : "", reason,
                  libraryMessage[0] ? " (" : "", libraryMessage);
    if (libraryMessage[0] && std::strlen(error) + 1 < size_t(size)) std::strcat(error, ")");
    libraryMessage[0] = '\0';
    return 0;
}

// ---------------------------------------------------------------------------------
// Opening
// ---------------------------------------------------------------------------------
static void release_film()
{
    avcodec_free_context(&film.encoder);
    if (film.format) {
        if (film.format->pb) avio_closep(&film.format->pb);
        avformat_free_context(film.format);
    }
    sws_freeContext(film.converter);
    av_frame_free(&film.picture);
    av_packet_free(&film.packet);
    film = FilmState{};
}

static bool set_encoder_options(int container, const QualityPlan &plan)
{
    void *options = film.encoder->priv_data;
    if (container == FILM_MP4)
        return av_opt_set(options, "preset", plan.x264Preset, 0) >= 0 &&
               av_opt_set_double(options, "crf", plan.x264Crf, 0) >= 0;
    // VP9: constant quality (no bit rate), rows encoded in parallel so that every core
    // works on each picture.
    film.encoder->bit_rate = 0;
    film.encoder->thread_count = av_cpu_count();
    return av_opt_set_int(options, "crf", plan.vp9Crf, 0) >= 0 &&
           av_opt_set(options, "deadline", plan.vp9Deadline, 0) >= 0 &&
           av_opt_set_int(options, "cpu-used", plan.vp9CpuUsed, 0) >= 0 &&
           av_opt_set_int(options, "row-mt", 1, 0) >= 0 &&
           av_opt_set_int(options, "tile-columns", 2, 0) >= 0;
}

int film_open(const char *path, int container, int width, int height, int fps, int quality, char *error, int size)
{
    release_film();
    av_log_set_callback(keep_library_message);
    libraryMessage[0] = '\0';
    if (container != FILM_MP4 && container != FILM_WEBM) return refuse(error, size, 0, "no film container");
    if (quality < FILM_HIGH || quality > FILM_SMALL) quality = FILM_NORMAL;
    if (container == FILM_MP4 && (width % 2 || height % 2)) return refuse(error, size, 0, "H.264 needs even sizes");
    const QualityPlan &plan = qualityPlans[quality];
    film.width = width;
    film.height = height;

    // "file:" keeps a name with a colon from being taken for a protocol.
    char url[4200];
    if (std::snprintf(url, sizeof url, "file:%s", path) >= int(sizeof url))
        return refuse(error, size, 0, "the film's name is too long");
    int code = avformat_alloc_output_context2(&film.format, nullptr, container == FILM_MP4 ? "mp4" : "webm", url);
    if (code < 0) return release_film(), refuse(error, size, code, "no muxer");
    const char *codecName = container == FILM_MP4 ? "libx264" : "libvpx-vp9";
    const AVCodec *codec = avcodec_find_encoder_by_name(codecName);
    if (!codec) return release_film(), refuse(error, size, 0, container == FILM_MP4 ? "no H.264 encoder (libx264)"
                                                                                    : "no VP9 encoder (libvpx)");
    film.encoder = avcodec_alloc_context3(codec);
    film.stream = avformat_new_stream(film.format, nullptr);
    film.picture = av_frame_alloc();
    film.packet = av_packet_alloc();
    if (!film.encoder || !film.stream || !film.picture || !film.packet)
        return release_film(), refuse(error, size, AVERROR(ENOMEM), "cannot start the encoder");

    AVCodecContext *e = film.encoder;
    e->width = width;
    e->height = height;
    e->pix_fmt = AV_PIX_FMT_YUV420P;
    e->time_base = AVRational{1, fps};
    e->framerate = AVRational{fps, 1};
    e->gop_size = 5 * fps;   // a key frame every five seconds: seeking stays quick
    e->colorspace = AVCOL_SPC_SMPTE170M;
    e->color_range = AVCOL_RANGE_MPEG;
    e->color_primaries = AVCOL_PRI_BT709;
    e->color_trc = AVCOL_TRC_BT709;
    e->sample_aspect_ratio = AVRational{1, 1};
    if (film.format->oformat->flags & AVFMT_GLOBALHEADER) e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (!set_encoder_options(container, plan))
        return release_film(), refuse(error, size, 0, "the encoder refused its settings");
    if ((code = avcodec_open2(e, codec, nullptr)) < 0)
        return release_film(), refuse(error, size, code, "the encoder cannot start");
    if ((code = avcodec_parameters_from_context(film.stream->codecpar, e)) < 0)
        return release_film(), refuse(error, size, code, "the encoder cannot start");
    film.stream->time_base = e->time_base;
    film.stream->avg_frame_rate = e->framerate;
    film.stream->sample_aspect_ratio = e->sample_aspect_ratio;

    film.picture->format = e->pix_fmt;
    film.picture->width = width;
    film.picture->height = height;
    film.picture->colorspace = e->colorspace;
    film.picture->color_range = e->color_range;
    if ((code = av_frame_get_buffer(film.picture, 0)) < 0)
        return release_film(), refuse(error, size, code, "no memory for a picture");
    film.converter = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, AV_PIX_FMT_YUV420P,
                                    SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!film.converter) return release_film(), refuse(error, size, 0, "no colour converter");
    // source: full range (the RGB coefficients are not used); target: BT.601, limited
    sws_setColorspaceDetails(film.converter, sws_getCoefficients(SWS_CS_SMPTE170M), 1,
                             sws_getCoefficients(SWS_CS_SMPTE170M), 0, 0, 1 << 16, 1 << 16);

    // Each packet goes to the file as it comes: the MP4 muxer would otherwise hold the
    // media data in a growing buffer, and a full disk would show only at the end.
    film.format->flush_packets = 1;
    AVDictionary *muxerOptions = nullptr;
    if (container == FILM_MP4) av_dict_set(&muxerOptions, "movflags", "+faststart", 0);
    if ((code = avio_open(&film.format->pb, url, AVIO_FLAG_WRITE)) < 0) {
        av_dict_free(&muxerOptions);
        return release_film(), refuse(error, size, code, "cannot create the file");
    }
    code = avformat_write_header(film.format, &muxerOptions);
    av_dict_free(&muxerOptions);
    if (code < 0) return release_film(), refuse(error, size, code, "cannot write the film's header");
    return 1;
}

// ---------------------------------------------------------------------------------
// Frames
// ---------------------------------------------------------------------------------
// Every packet the encoder has ready, into the file; with no picture (nullptr) the
// encoder is drained to its end.
static int encode(const AVFrame *picture, char *error, int size)
{
    int code = avcodec_send_frame(film.encoder, picture);
    if (code < 0) return refuse(error, size, code, "the encoder failed");
    for (;;) {
        code = avcodec_receive_packet(film.encoder, film.packet);
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return 1;
        if (code < 0) return refuse(error, size, code, "the encoder failed");
        if (film.packet->duration == 0) film.packet->duration = 1;   // one frame, so the last one counts too
        av_packet_rescale_ts(film.packet, film.encoder->time_base, film.stream->time_base);
        film.packet->stream_index = film.stream->index;
        code = av_interleaved_write_frame(film.format, film.packet);   // takes the packet's data
        if (code < 0) return refuse(error, size, code, "cannot write the film");
    }
}

int film_add_frame(const unsigned char *rgb, char *error, int size)
{
    if (!film.format) return refuse(error, size, 0, "no film is open");
    int code = av_frame_make_writable(film.picture);   // the encoder may still hold the last one
    if (code < 0) return refuse(error, size, code, "no memory for a picture");
    // The rows come bottom first: start at the top row and walk back up the buffer.
    const int stride = film.width * 3;
    const uint8_t *source[1] = {rgb + size_t(film.height - 1) * size_t(stride)};
    const int sourceStride[1] = {-stride};
    sws_scale(film.converter, source, sourceStride, 0, film.height, film.picture->data, film.picture->linesize);
    film.picture->pts = film.frames++;
    return encode(film.picture, error, size);
}

// ---------------------------------------------------------------------------------
// Closing
// ---------------------------------------------------------------------------------
int film_close(char *error, int size)
{
    if (!film.format) return refuse(error, size, 0, "no film is open");
    int ok = encode(nullptr, error, size);
    if (ok) {
        int code = av_write_trailer(film.format);   // the MP4's index, moved to the front
        if (code >= 0) code = film.format->pb->error;
        if (code < 0) ok = refuse(error, size, code, "cannot finish the film");
    }
    if (ok) {
        int code = avio_closep(&film.format->pb);
        if (code < 0) ok = refuse(error, size, code, "cannot close the film");
    }
    release_film();
    return ok;
}

void film_abort() { release_film(); }
