// What a host sees when it runs many cameras at once and reads every row of every frame.
//
// Cameras: n described cameras of 640 x 480, every other one colour (YUV 4:2:2), each open on
// its own port in continuous mode, the callback copying every row into the host's frame. Paced
// at 30 frames per second, the process's CPU time and context switches per frame, beside one
// camera of each kind alone (a colour frame costs more than a mono one: the mean of the two is
// what one camera costs for the mix of any even count) and one of each kind together; as fast
// as the cameras go, the frames per second of all of them together.
//
// RowReads: the 480 row copies of one frame through getCVLGrabRow, beside 480 memcpy of the
// same rows.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>
#include <vector>

#include "driver/port_table.h"
#include "fennex/fennex.h"
#include "large_page_buffer.h"
#include "sim/sim.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr std::uint32_t kRate30 = 4;

std::atomic<std::uint64_t> g_frames{0};
std::array<std::vector<std::uint8_t>, FENNEX_MAX_PORTS> g_hostFrames;

// The host's callback: every row of the new frame into its own memory. No wake-up of the
// measuring thread, which would be counted as the frames' cost.
void FENNEX_CALL CopyFrame(int, int port) {
    std::uint8_t* frame = g_hostFrames[static_cast<std::size_t>(port)].data();
    for (int row = 0; row < kHeight; ++row)
        getCVLGrabRow(0, port, frame + row * kWidth, row, 0, kWidth - 1);
    g_frames.fetch_add(1, std::memory_order_relaxed);
}

// `count` cameras, mono and colour in turn, the first colour when `colourFirst`.
std::vector<sim::CameraDesc> DescribedCameras(int count, bool colourFirst) {
    const std::vector<sim::CameraDesc> kinds = sim::DefaultCameras();
    std::vector<sim::CameraDesc> cameras;
    for (int i = 0; i < count; ++i) {
        const bool colour = (i + (colourFirst ? 1 : 0)) % 2 != 0;
        sim::CameraDesc c = kinds[colour ? 1 : 0];
        // The host tells cameras apart by their first four characters.
        char name[64];
        std::snprintf(name, sizeof name, "%s%02d&SIM640#00305300%08d", colour ? "CO" : "MO", i, i);
        c.name = name;
        c.nodeId = 0x0030530000000000ull + static_cast<std::uint64_t>(i);
        c.format = 0;
        c.mode = colour ? 3 : 5;  // YUV 4:2:2 or Mono8, both 640 x 480
        c.rate = kRate30;
        c.AddMode(c.format, c.mode, {kRate30});
        cameras.push_back(c);
    }
    return cameras;
}

struct Usage {
    double cpuSeconds;
    double switches;
    std::uint64_t frames;
    std::chrono::steady_clock::time_point when;
};

Usage Now() {
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);  // every thread of the process
    return {static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) * 1e-9,
            static_cast<double>(usage.ru_nvcsw + usage.ru_nivcsw),
            g_frames.load(std::memory_order_relaxed), std::chrono::steady_clock::now()};
}

// Opens `count` cameras on ports 0.. in continuous mode; false (and the benchmark skipped) when
// one does not open.
bool OpenCameras(benchmark::State& state, int count, sim::Pace pace, bool colourFirst = false) {
    sim::SetCameras(DescribedCameras(count, colourFirst));
    sim::RecordRequests(false);
    sim::SetPace(pace);
    fennex::driver::RebuildCameraTableForTesting();
    setSystemPath(std::filesystem::temp_directory_path().string().c_str());
    const char* const* names = getCVLCameraConfigNames();
    for (int port = 0; port < count; ++port) {
        int size[2] = {0, 0};
        if (!openCVLPort(0, port, names[port], size) || size[0] != kWidth || size[1] != kHeight) {
            state.SkipWithError("a camera did not open");
            return false;
        }
        g_hostFrames[static_cast<std::size_t>(port)].assign(kWidth * kHeight, 0);
        setCompleteCallback(0, port, CopyFrame);
    }
    for (int port = 0; port < count; ++port) setProperty(0, port, "continous", 1);
    return true;
}

void CloseCameras(int count) {
    for (int port = 0; port < count; ++port) setProperty(0, port, "continous", 0);
    for (int port = 0; port < count; ++port) closeCVLPort(0, port);
}

// Each iteration is a 100 ms look at the running cameras; the counters are per frame of all of
// them. For figures, run with --benchmark_min_time=3 or more.
void Cameras(benchmark::State& state, sim::Pace pace) {
    const int count = static_cast<int>(state.range(0));
    if (!OpenCameras(state, count, pace, state.range(1) != 0)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // every stream running
    const Usage start = Now();
    for (auto _ : state) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const Usage end = Now();
    CloseCameras(count);

    const double frames = static_cast<double>(end.frames - start.frames);
    const double seconds = std::chrono::duration<double>(end.when - start.when).count();
    if (frames == 0) {
        state.SkipWithError("no frames");
        return;
    }
    state.counters["frames/s"] = frames / seconds;
    state.counters["CPU us/frame"] = (end.cpuSeconds - start.cpuSeconds) * 1e6 / frames;
    state.counters["switches/frame"] = (end.switches - start.switches) / frames;
    state.counters["cores"] = (end.cpuSeconds - start.cpuSeconds) / seconds;
}

void CamerasAtFrameRate(benchmark::State& state) { Cameras(state, sim::Pace::RealTime); }
void CamerasAsFastAsTheyGo(benchmark::State& state) { Cameras(state, sim::Pace::Fast); }

// One frame of the mono camera on port 0, read row by row as a host reads it.
void RowReads(benchmark::State& state) {
    if (!OpenCameras(state, 1, sim::Pace::Fast)) return;
    setProperty(0, 0, "continous", 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the last frame delivered
    const fennex::bench::Buffer dest(kWidth * kHeight);
    for (auto _ : state) {
        for (int row = 0; row < kHeight; ++row)
            getCVLGrabRow(0, 0, dest.data() + row * kWidth, row, 0, kWidth - 1);
        benchmark::ClobberMemory();
    }
    CloseCameras(1);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth * kHeight);
}

// The same rows by memcpy, from a frame held as the library holds one.
void RowMemcpy(benchmark::State& state) {
    const std::vector<std::uint8_t> frame(kWidth * kHeight, 7);
    const fennex::bench::Buffer dest(kWidth * kHeight);
    for (auto _ : state) {
        for (int row = 0; row < kHeight; ++row) {
            std::memcpy(dest.data() + row * kWidth, frame.data() + row * kWidth, kWidth);
            benchmark::ClobberMemory();  // one call per row, as the host makes them
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth * kHeight);
}

// Arguments: the number of cameras; 1 when the first is a colour camera.
BENCHMARK(CamerasAtFrameRate)
    ->ArgNames({"cameras", "colour_first"})
    ->Args({1, 0})->Args({1, 1})->Args({2, 0})->Args({20, 0})->UseRealTime();
BENCHMARK(CamerasAsFastAsTheyGo)
    ->ArgNames({"cameras", "colour_first"})
    ->Args({1, 0})->Args({1, 1})->Args({2, 0})->Args({4, 0})->Args({10, 0})->Args({20, 0})
    ->UseRealTime();
BENCHMARK(RowMemcpy);
BENCHMARK(RowReads);

}  // namespace
