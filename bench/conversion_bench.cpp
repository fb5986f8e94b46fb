// Each conversion beside memcpy of its raw bytes and beside libyuv's nearest kernel.
// libyuv's RGB24 is B, G, R in memory and it weighs the colours: it stands here only for speed.
#include <benchmark/benchmark.h>

#include <libyuv/convert.h>
#include <libyuv/planar_functions.h>

#include <cstring>
#include <random>

#include "driver/pixel_conversion.h"
#include "large_page_buffer.h"

namespace {

using namespace fennex::driver;
using fennex::bench::Buffer;

struct Frame {
    Buffer raw, row;
    Frame(std::uint32_t colorMode, int width, int height)
        : raw(RawFrameBytes(colorMode, static_cast<std::size_t>(width) * height)),
          row(static_cast<std::size_t>(width) * height) {
        std::mt19937 random(7);
        for (auto& b : raw) b = static_cast<std::uint8_t>(random());
    }
};

void Finish(benchmark::State& state, const Frame& frame) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frame.raw.size()));
    state.counters["pixels"] = benchmark::Counter(
        static_cast<double>(state.iterations() * frame.row.size()),
        benchmark::Counter::kIsRate);
}

template <std::uint32_t Mode>
void Fennex(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    Frame frame(Mode, width, height);
    const FrameConversion convert = ConversionForColorMode(Mode);
    for (auto _ : state) {
        convert(frame.raw.data(), frame.row.data(), width, height);
        benchmark::DoNotOptimize(frame.row.data());
        benchmark::ClobberMemory();
    }
    Finish(state, frame);
    state.SetLabel(ActiveKernels().name);
}

template <std::uint32_t Mode>
void Memcpy(benchmark::State& state) {
    Frame frame(Mode, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    Buffer copy(frame.raw.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), frame.raw.data(), frame.raw.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    Finish(state, frame);
}

void LibyuvUYVYToY(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    Frame frame(kYuv422, width, height);
    for (auto _ : state) {
        libyuv::UYVYToY(frame.raw.data(), width * 2, frame.row.data(), width, width, height);
        benchmark::DoNotOptimize(frame.row.data());
        benchmark::ClobberMemory();
    }
    Finish(state, frame);
}

void LibyuvRGB24ToJ400(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    Frame frame(kRgb8, width, height);
    for (auto _ : state) {
        libyuv::RGB24ToJ400(frame.raw.data(), width * 3, frame.row.data(), width, width, height);
        benchmark::DoNotOptimize(frame.row.data());
        benchmark::ClobberMemory();
    }
    Finish(state, frame);
}

void Sizes(benchmark::internal::Benchmark* b) { b->Args({640, 480})->Args({1600, 1200}); }

BENCHMARK(Fennex<kYuv422>)->Name("yuv422/fennex")->Apply(Sizes);
BENCHMARK(LibyuvUYVYToY)->Name("yuv422/libyuv_UYVYToY")->Apply(Sizes);
BENCHMARK(Memcpy<kYuv422>)->Name("yuv422/memcpy")->Apply(Sizes);
BENCHMARK(Fennex<kRgb8>)->Name("rgb8/fennex")->Apply(Sizes);
BENCHMARK(LibyuvRGB24ToJ400)->Name("rgb8/libyuv_RGB24ToJ400")->Apply(Sizes);
BENCHMARK(Memcpy<kRgb8>)->Name("rgb8/memcpy")->Apply(Sizes);
BENCHMARK(Fennex<kYuv444>)->Name("yuv444/fennex")->Apply(Sizes);
BENCHMARK(LibyuvRGB24ToJ400)->Name("yuv444/libyuv_RGB24ToJ400")->Apply(Sizes);
BENCHMARK(Memcpy<kYuv444>)->Name("yuv444/memcpy")->Apply(Sizes);
BENCHMARK(Fennex<kYuv411>)->Name("yuv411/fennex")->Apply(Sizes);
BENCHMARK(LibyuvUYVYToY)->Name("yuv411/libyuv_UYVYToY")->Apply(Sizes);
BENCHMARK(Memcpy<kYuv411>)->Name("yuv411/memcpy")->Apply(Sizes);
BENCHMARK(Fennex<kMono16>)->Name("mono16/fennex")->Apply(Sizes);
BENCHMARK(LibyuvUYVYToY)->Name("mono16/libyuv_UYVYToY")->Apply(Sizes);
BENCHMARK(Memcpy<kMono16>)->Name("mono16/memcpy")->Apply(Sizes);
BENCHMARK(Fennex<kRgb16>)->Name("rgb16/fennex")->Apply(Sizes);
BENCHMARK(Memcpy<kRgb16>)->Name("rgb16/memcpy")->Apply(Sizes);
BENCHMARK(Fennex<kMono8>)->Name("mono8/fennex_copy")->Apply(Sizes);
BENCHMARK(Memcpy<kMono8>)->Name("mono8/memcpy")->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
