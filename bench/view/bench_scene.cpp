// bench_scene.cpp -- the cost of one picture change: rebuild_scene then draw_frame (and
// glFinish, so the drawing is really done) with 300 ZIP codes, on an offscreen 1024 x 768
// EGL context (Mesa llvmpipe). The two halves are timed alone as well. Also make_map of
// the bundled 1024 x 1024 base map (read and upload), which every tick of a GIS panel
// box asks for; run from the repository root. Prints one row per target.
#include "app_windows.h"
#include "camera.h"
#include "dates.h"
#include "egl_context.h"
#include "picking.h"
#include "platform.h"
#include "scene.h"
#include "selection.h"
#include "values.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>
#include "bench_support.h"
#include "recording_reporter.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int ZIPS = 300;

// 300 ZIP codes on a 20 x 15 grid over the map, values 1,000 to 60,000 by a population
// field, and enrollment for campus 1 in the current year (1995), so every column has a
// colour of its own and several bands.
void fill_study_area()
{
    std::memset(&zipTable, 0, sizeof zipTable);
    seriesCode[0] = 0;
    querySelection = {0, 1, -1};
    timeline.minDate = 0x0084;
    timeline.maxDate = 0xB67C;
    timeline.currentDate = pack_date(15, 6, 1995);
    for (int i = 0; i < ZIPS; ++i) {
        ZipRecord &zip = zipTable.records[i];
        zip.zip = 77001 + i;
        zip.longitude = MAP_WEST + (0.5f + i % 20) * (MAP_WIDTH / 20);
        zip.latitude = MAP_SOUTH + (0.5f + i / 20) * (MAP_HEIGHT / 15);
        for (int k = 0; k < 4; ++k) zip.population.census[k] = 1000.0f + 200.0f * k;
        zip.detail[0] = 1000.0f + float((i * 7919) % 59000);
        zip.enrollment[0][5] = static_cast<uint16_t>(i % 50);
        zip.enrollment[0][ENROLL_MAX] = 50;
    }
    zipTable.count = ZIPS;
}

bool setUp = false;

bool set_up_gl()
{
    if (setUp) return true;
    appWindows.mainWindow = nullptr;
    create_gl_context();
    if (!open_offscreen_gl()) return false;
    fill_study_area();
    init_gl_state();
    set_projection(OFFSCREEN_WIDTH | (OFFSCREEN_HEIGHT << 16));
    setUp = true;
    return true;
}

void BM_RebuildAndDraw(benchmark::State &state)
{
    if (!set_up_gl()) { state.SkipWithError("no offscreen OpenGL context"); return; }
    for (auto _ : state) {
        rebuild_scene();
        draw_frame();
        glFinish();
    }
}

void BM_Rebuild(benchmark::State &state)
{
    if (!set_up_gl()) { state.SkipWithError("no offscreen OpenGL context"); return; }
    for (auto _ : state) {
        rebuild_scene();
        glFinish();
    }
}

void BM_Draw(benchmark::State &state)
{
    if (!set_up_gl()) { state.SkipWithError("no offscreen OpenGL context"); return; }
    for (auto _ : state) {
        draw_frame();
        glFinish();
    }
}

// One left-drag message: a date step, the rebuild and the frame. Measured twice: CPU
// time of the thread that handles the message, and of the whole process, which adds
// the software renderer's rasterising threads.
void BM_LeftDragMessage(benchmark::State &state)
{
    if (!set_up_gl()) { state.SkipWithError("no offscreen OpenGL context"); return; }
    for (auto _ : state) {
        step_date_forward(timeline.currentDate, STEP_DAY);
        rebuild_scene();
        draw_frame();
        glFinish();
    }
}

void BM_LeftDragMessageAllThreads(benchmark::State &state) { BM_LeftDragMessage(state); }

// A pick over the 300 ZIP codes from a tilted, turned view.
void BM_PickZip(benchmark::State &state)
{
    if (!set_up_gl()) { state.SkipWithError("no offscreen OpenGL context"); return; }
    viewState.tilt = 50.0f;
    viewState.rotation = 30.0f;
    viewState.distance = 200.0f;
    int16_t x = 0;
    for (auto _ : state) {
        int32_t index = -1;
        benchmark::DoNotOptimize(pick_zip(x, 384, index));
        x = int16_t((x + 37) % OFFSCREEN_WIDTH);
    }
    viewState.tilt = viewState.rotation = 0.0f;
    viewState.distance = 500.0f;
}

void BM_MakeMap(benchmark::State &state)
{
    if (!set_up_gl()) { state.SkipWithError("no offscreen OpenGL context"); return; }
    for (auto _ : state) {
        make_map();
        glFinish();
    }
}

BENCHMARK(BM_RebuildAndDraw)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LeftDragMessage)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_LeftDragMessageAllThreads)->Unit(benchmark::kMillisecond)->Repetitions(3)->MeasureProcessCPUTime();
BENCHMARK(BM_PickZip)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Rebuild)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Draw)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MakeMap)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char **argv)
{
    RecordingReporter reporter;
    run_recorded(argc, argv, reporter);

    print_row("rebuild_scene + draw_frame, 300 ZIPs, 1024x768", reporter.real_time("BM_RebuildAndDraw"), "ms", "<= 2");
    print_row("make_map, 1024x1024 base map (read + upload)", reporter.real_time("BM_MakeMap"), "ms", "< 30");
    print_row("left-drag message, 300 ZIPs: CPU of the message's thread",
              reporter.best_cpu_seconds("BM_LeftDragMessage") * 1e3, "ms", "<= 2");
    print_row("left-drag message, 300 ZIPs: CPU of all threads",
              reporter.best_cpu_seconds("BM_LeftDragMessageAllThreads") * 1e3, "ms");
    print_row("left-drag message, 300 ZIPs: wall time", reporter.real_time("BM_LeftDragMessage"), "ms");
    print_row("pick_zip over 300 ZIPs", reporter.real_time("BM_PickZip"), "us", "<= 20");
    if (setUp) release_scene();
    close_offscreen_gl();
    return 0;
}
