// Latency of one grab: from doCVLGrab on a host thread to the start of the completion callback
// on the grab thread, median and 99th percentile, in single-shot mode with the simulated driver
// delivering at once. Beside it, in the same run, a bare hand-off of the same shape between two
// threads (the host wakes a waiting thread, which calls a callback), and the simulated camera's
// own time to paint one frame, which every grab includes and a kernel driver does not add.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "driver/port_table.h"
#include "fennex/fennex.h"
#include "sim/camera.h"
#include "sim/sim.h"

namespace {

using Clock = std::chrono::steady_clock;

// One sample per iteration: start time set by the host, end time set by the callback.
Clock::time_point g_start;
std::atomic<std::int64_t> g_endNs{0};
std::atomic<std::uint64_t> g_calls{0};

void FENNEX_CALL Stamp(int, int) {
    g_endNs.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    g_calls.fetch_add(1, std::memory_order_release);
    g_calls.notify_all();
}

void AwaitCall(std::uint64_t seen) {
    for (std::uint64_t now; (now = g_calls.load(std::memory_order_acquire)) == seen;)
        g_calls.wait(now, std::memory_order_acquire);
}

double Microseconds(std::int64_t ns) { return static_cast<double>(ns) / 1000.0; }

// Median and 99th percentile of the samples (ns), as counters in microseconds.
void Report(benchmark::State& state, std::vector<std::int64_t>& samples) {
    if (samples.empty()) return;
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) {
        return samples[std::min(samples.size() - 1, static_cast<std::size_t>(q * samples.size()))];
    };
    state.counters["median_us"] = Microseconds(at(0.5));
    state.counters["p99_us"] = Microseconds(at(0.99));
}

// Times `start` (which must lead to one Stamp call) per iteration.
template <typename Start>
void Sample(benchmark::State& state, Start&& start) {
    std::vector<std::int64_t> samples;
    samples.reserve(1 << 16);
    for (auto _ : state) {
        const std::uint64_t seen = g_calls.load(std::memory_order_acquire);
        g_start = Clock::now();
        start();
        AwaitCall(seen);
        const std::int64_t ns =
            g_endNs.load(std::memory_order_relaxed) - g_start.time_since_epoch().count();
        state.SetIterationTime(static_cast<double>(ns) / 1e9);
        if (samples.size() < samples.capacity()) samples.push_back(ns);
    }
    Report(state, samples);
}

// What the simulated camera spends painting one frame of its current mode, on average.
double SimulatorFrameUs(const std::string& camera) {
    const sim::CameraDesc desc = sim::Camera(camera);
    sim::detail::Geometry geometry;
    if (!sim::detail::CurrentGeometry(desc, &geometry)) return 0;
    std::vector<std::uint8_t> frame(geometry.bytes);
    sim::detail::FramePainter painter;
    constexpr int kFrames = 200;
    const auto begin = Clock::now();
    for (int i = 0; i < kFrames; ++i) {
        painter.Paint(geometry, sim::detail::ParamsOf(desc, static_cast<std::uint32_t>(i)), frame.data());
        benchmark::DoNotOptimize(frame.data());
    }
    return Microseconds((Clock::now() - begin).count()) / kFrames;
}

void GrabToCallback(benchmark::State& state, const std::string& camera, std::uint32_t format,
                    std::uint32_t mode) {
    sim::Reset();
    sim::RecordRequests(false);
    sim::SetPace(sim::Pace::Fast);
    sim::EditCamera(camera, [&](sim::CameraDesc& d) {
        d.format = format;
        d.mode = mode;
        for (std::uint32_t rate = 0; rate < 6; ++rate)
            if (d.rates[format][mode] & (1u << (31 - rate))) {
                d.rate = rate;
                break;
            }
    });
    fennex::driver::RebuildCameraTableForTesting();
    const std::string path = std::filesystem::temp_directory_path().string();
    setSystemPath(path.c_str());
    int size[2] = {0, 0};
    if (!openCVLPort(0, 0, camera.c_str(), size) || size[0] <= 0) {
        state.SkipWithError("camera did not open");
        return;
    }
    setCompleteCallback(0, 0, Stamp);
    for (int i = 0; i < 20; ++i) {  // warm up
        const std::uint64_t seen = g_calls.load();
        doCVLGrab(0, 0);
        AwaitCall(seen);
    }
    Sample(state, [] { doCVLGrab(0, 0); });
    state.counters["sim_frame_us"] = SimulatorFrameUs(camera);
    state.SetLabel(std::to_string(size[0]) + " x " + std::to_string(size[1]));
    closeCVLPort(0, 0);
}

// The reference: the host wakes a thread that waits for work, and that thread calls the
// callback. Nothing else: no driver, no frame, no conversion.
void BareHandOff(benchmark::State& state) {
    std::atomic<std::uint64_t> work{0};
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        std::uint64_t done = 0;
        for (;;) {
            work.wait(done, std::memory_order_acquire);
            if (stop.load(std::memory_order_acquire)) return;
            done = work.load(std::memory_order_acquire);
            Stamp(0, 0);
        }
    });
    Sample(state, [&] {
        work.fetch_add(1, std::memory_order_release);
        work.notify_one();
    });
    stop.store(true, std::memory_order_release);
    work.fetch_add(1, std::memory_order_release);
    work.notify_one();
    worker.join();
}

const std::string kMono = "MONO&SIM640#0030530000A10001";
const std::string kColour = "COLR&SIM1600#0030530000A20002";

BENCHMARK(BareHandOff)->UseManualTime()->MinTime(1.0);
BENCHMARK_CAPTURE(GrabToCallback, mono8_640x480, kMono, 0, 5)->UseManualTime()->MinTime(1.0);
BENCHMARK_CAPTURE(GrabToCallback, yuv422_640x480, kColour, 0, 3)->UseManualTime()->MinTime(1.0);
BENCHMARK_CAPTURE(GrabToCallback, rgb8_1600x1200, kColour, 2, 4)->UseManualTime()->MinTime(1.0);

}  // namespace
