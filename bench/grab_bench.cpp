// The grab path in frames per second: callback to callback in continuous mode, with the
// simulated driver delivering as fast as it can. Every allocation of the process while the
// grabs are timed (host thread, grab thread, the simulated driver's frame thread) is counted by
// a replaced operator new, to show what a grab costs the heap. The simulator's request log, a
// test aid that a kernel driver does not have, is switched off.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "bcam/bcam_utility.h"
#include "bcam/cbcam.h"
#include "driver/pixel_conversion.h"
#include "driver/port_table.h"
#include "fennex/fennex.h"
#include "host_port.h"
#include "large_page_buffer.h"
#include "sim/sim.h"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<std::uint64_t> g_allocations{0};
std::atomic<std::uint64_t> g_bytes{0};

std::atomic<std::uint64_t> g_frames{0};

void FENNEX_CALL OnFrame(int, int) {
    g_frames.fetch_add(1, std::memory_order_release);
    g_frames.notify_all();
}

std::uint64_t WaitBeyond(std::uint64_t seen) {
    for (;;) {
        const std::uint64_t now = g_frames.load(std::memory_order_acquire);
        if (now > seen) return now;
        g_frames.wait(now, std::memory_order_acquire);
    }
}

// One frame per iteration.
void CountFrames(benchmark::State& state) {
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Times `grab` once per iteration with the allocation counter running.
template <typename Grab>
void TimeGrabs(benchmark::State& state, Grab&& grab) {
    g_allocations = 0;
    g_bytes = 0;
    g_counting = true;
    for (auto _ : state) grab();
    g_counting = false;
    const double grabs = static_cast<double>(state.iterations());
    CountFrames(state);
    state.counters["allocs/grab"] = static_cast<double>(g_allocations.load()) / grabs;
    state.counters["heap bytes/grab"] = static_cast<double>(g_bytes.load()) / grabs;
}

// The floor: the same camera driven by CBcam alone on one thread (grab, one shot, wait), with
// no port, conversion or callback. What GrabPath adds to it is the host boundary's cost.
void CBcamFloor(benchmark::State& state, const std::string& camera, std::uint32_t format,
                std::uint32_t mode) {
    bench::StartSimulator(camera, format, mode);
    Bcam::CBcam device;
    std::vector<std::uint8_t> buffer;
    try {
        device.Open(camera);
        std::uint32_t f = 0, m = 0;
        device.GetVideoMode(&f, &m, nullptr);
        const auto size = Bcam::BcamUtility::ImageSize(f, m);
        buffer.resize(static_cast<std::size_t>(size.width) * size.height *
                      Bcam::BcamUtility::BitsPerPixel(Bcam::BcamUtility::ColorMode(f, m)) / 8);
        device.AllocateResources(1, static_cast<std::uint32_t>(buffer.size()));
        device.ContinuousShot = true;
    } catch (const Bcam::BcamException& e) {
        state.SkipWithError(e.Context().c_str());
        return;
    }
    auto grab = [&] {
        device.GrabImageAsync(buffer.data(), static_cast<std::uint32_t>(buffer.size()), &buffer, true);
        for (;;) {
            std::int32_t code = 0;
            std::uint32_t error = 0;
            void* context = nullptr;
            device.WaitForCompletion(&code, &error, &context, 5000);
            if (code == Bcam::kFunctionGrab || (error != 0 && context == nullptr && code == 0)) break;
        }
    };
    grab();
    TimeGrabs(state, grab);
    device.ContinuousShot = false;
    device.FreeResources();
    device.Close();
}

void GrabPath(benchmark::State& state, const std::string& camera, std::uint32_t format,
              std::uint32_t mode) {
    int size[2] = {0, 0};
    if (!bench::OpenPort(state, camera, format, mode, OnFrame, size)) return;
    setProperty(0, 0, "continous", 1);
    std::uint64_t seen = WaitBeyond(WaitBeyond(g_frames.load()));  // warmed up
    TimeGrabs(state, [&] { seen = WaitBeyond(seen); });
    state.SetLabel(std::to_string(size[0]) + " x " + std::to_string(size[1]));
    setProperty(0, 0, "continous", 0);
    closeCVLPort(0, 0);
}

// The bound that no grab path can beat: the driver's copy of a frame into the grab buffer
// (memcpy here) and the conversion of that buffer into rows.
void CopyAndConvert(benchmark::State& state, std::uint32_t colorMode, int width, int height) {
    namespace drv = fennex::driver;
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    // In large pages, as the conversion benchmarks measure.
    const fennex::bench::Buffer wire(drv::RawFrameBytes(colorMode, pixels)), raw(wire.size()),
        rows(pixels);
    const drv::FrameConversion convert = drv::ConversionForColorMode(colorMode);
    for (auto _ : state) {
        std::memcpy(raw.data(), wire.data(), raw.size());
        // An 8-bit frame is handed to the host as it is: the copy is the whole bound.
        if (colorMode != drv::kMono8) convert(raw.data(), rows.data(), width, height);
        benchmark::ClobberMemory();
    }
    CountFrames(state);
}

// What the simulated camera takes to paint one frame, which every grab above includes.
void SimulatorPaint(benchmark::State& state, const std::string& camera, std::uint32_t format,
                    std::uint32_t mode) {
    bench::StartSimulator(camera, format, mode);
    bench::CameraPainter painter(camera);
    if (!painter.Paints()) {
        state.SkipWithError("no frames in this mode");
        return;
    }
    for (auto _ : state) painter.PaintNext();
    CountFrames(state);
}

const std::string kMono = "MONO&SIM640#0030530000A10001";
const std::string kColour = "COLR&SIM1600#0030530000A20002";

BENCHMARK_CAPTURE(CopyAndConvert, mono8_640x480, fennex::driver::kMono8, 640, 480);
BENCHMARK_CAPTURE(CopyAndConvert, rgb8_1600x1200, fennex::driver::kRgb8, 1600, 1200);
BENCHMARK_CAPTURE(SimulatorPaint, mono8_640x480, kMono, 0, 5);
BENCHMARK_CAPTURE(SimulatorPaint, rgb8_1600x1200, kColour, 2, 4);
BENCHMARK_CAPTURE(CBcamFloor, mono8_640x480, kMono, 0, 5)->UseRealTime()->MinTime(1.0);
BENCHMARK_CAPTURE(CBcamFloor, rgb8_1600x1200, kColour, 2, 4)->UseRealTime()->MinTime(1.0);
BENCHMARK_CAPTURE(GrabPath, mono8_640x480, kMono, 0, 5)
    ->UseRealTime()->MinTime(1.0);
BENCHMARK_CAPTURE(GrabPath, rgb8_1600x1200, kColour, 2, 4)
    ->UseRealTime()->MinTime(1.0);

}  // namespace

// Counting allocator for this program. (GCC takes malloc/free inside replaced operators for a
// mismatch; they are the pair here.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
    if (g_counting.load(std::memory_order_relaxed)) {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
        g_bytes.fetch_add(size, std::memory_order_relaxed);
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
