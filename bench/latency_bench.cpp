// Latency of one grab: from doCVLGrab on a host thread to the start of the completion callback
// on the grab thread, median and 99th percentile, and how long doCVLGrab itself keeps the host,
// in single-shot mode with the simulated driver delivering at once. Beside it, in the same run,
// bare hand-offs of the same shape between threads (the host wakes a waiting thread, which calls
// a callback; or that thread wakes a second, which calls it), and the simulated camera's own
// time to paint one frame, which every grab includes and a kernel driver does not add.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/port_table.h"
#include "host_port.h"
#include "fennex/fennex.h"
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

// Percentile `q` of the samples (ns), in microseconds.
double Percentile(std::vector<std::int64_t>& samples, double q) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    return Microseconds(
        samples[std::min(samples.size() - 1, static_cast<std::size_t>(q * samples.size()))]);
}

// Times `start` (which must lead to one Stamp call) per iteration: from its call to the
// callback (median and 99th percentile), and how long it kept the calling thread (median).
template <typename Start>
void Sample(benchmark::State& state, Start&& start) {
    std::vector<std::int64_t> samples, calls;
    samples.reserve(1 << 16);
    calls.reserve(1 << 16);
    for (auto _ : state) {
        const std::uint64_t seen = g_calls.load(std::memory_order_acquire);
        g_start = Clock::now();
        start();
        const Clock::time_point returned = Clock::now();
        AwaitCall(seen);
        const std::int64_t ns =
            g_endNs.load(std::memory_order_relaxed) - g_start.time_since_epoch().count();
        state.SetIterationTime(static_cast<double>(ns) / 1e9);
        if (samples.size() < samples.capacity()) {
            samples.push_back(ns);
            calls.push_back((returned - g_start).count());
        }
    }
    state.counters["median_us"] = Percentile(samples, 0.5);
    state.counters["p99_us"] = Percentile(samples, 0.99);
    state.counters["call_us"] = Percentile(calls, 0.5);
}

// What the simulated camera spends painting one frame of its current mode, on average.
double SimulatorFrameUs(const std::string& camera) {
    bench::CameraPainter painter(camera);
    if (!painter.Paints()) return 0;
    constexpr int kFrames = 200;
    const auto begin = Clock::now();
    for (int i = 0; i < kFrames; ++i) painter.PaintNext();
    return Microseconds((Clock::now() - begin).count()) / kFrames;
}

void GrabToCallback(benchmark::State& state, const std::string& camera, std::uint32_t format,
                    std::uint32_t mode) {
    int size[2] = {0, 0};
    if (!bench::OpenPort(state, camera, format, mode, Stamp, size)) return;
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

// A hop's signal: a count that the waiting thread waits to see change. Blocking, as the
// simulated driver's thread and the grab thread (in its completion port) wait: a mutex and a
// condition variable. Spinning: std::atomic wait, which spins a while before it sleeps, so that
// a hand-off soon after the last one wakes nobody up.
struct BlockingSignal {
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t count = 0;
    void Raise() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++count;
        }
        changed.notify_one();
    }
    std::uint64_t Wait(std::uint64_t seen) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return count != seen; });
        return count;
    }
};
struct SpinningSignal {
    std::atomic<std::uint64_t> count{0};
    void Raise() {
        count.fetch_add(1, std::memory_order_release);
        count.notify_one();
    }
    std::uint64_t Wait(std::uint64_t seen) {
        count.wait(seen, std::memory_order_acquire);
        return count.load(std::memory_order_acquire);
    }
};

// The reference: the host wakes a thread that waits for work, and that thread calls the
// callback. Nothing else: no driver, no frame, no conversion. With two hops the first thread
// wakes a second, which calls the callback, as a grab goes from the host to the driver's
// thread and from there to the grab thread.
template <typename Signal>
void BareHandOff(benchmark::State& state) {
    const auto hops = static_cast<std::size_t>(state.range(0));
    std::vector<Signal> signals(hops);
    std::atomic<bool> stop{false};
    std::vector<std::thread> workers;
    for (std::size_t hop = 0; hop < hops; ++hop)
        workers.emplace_back([&, hop] {
            for (std::uint64_t seen = 0;;) {
                seen = signals[hop].Wait(seen);
                if (stop.load(std::memory_order_acquire)) return;
                if (hop + 1 == hops)
                    Stamp(0, 0);
                else
                    signals[hop + 1].Raise();
            }
        });
    Sample(state, [&] { signals[0].Raise(); });
    stop.store(true, std::memory_order_release);
    for (auto& signal : signals) signal.Raise();
    for (auto& worker : workers) worker.join();
}

const std::string kMono = "MONO&SIM640#0030530000A10001";
const std::string kColour = "COLR&SIM1600#0030530000A20002";

BENCHMARK_TEMPLATE(BareHandOff, BlockingSignal)->Arg(1)->Arg(2)->UseManualTime()->MinTime(1.0);
BENCHMARK_TEMPLATE(BareHandOff, SpinningSignal)->Arg(1)->Arg(2)->UseManualTime()->MinTime(1.0);
BENCHMARK_CAPTURE(GrabToCallback, mono8_640x480, kMono, 0, 5)->UseManualTime()->MinTime(1.0);
BENCHMARK_CAPTURE(GrabToCallback, yuv422_640x480, kColour, 0, 3)->UseManualTime()->MinTime(1.0);
BENCHMARK_CAPTURE(GrabToCallback, rgb8_1600x1200, kColour, 2, 4)->UseManualTime()->MinTime(1.0);

}  // namespace
