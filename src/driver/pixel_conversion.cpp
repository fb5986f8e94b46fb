#include "driver/pixel_conversion.h"

#include <array>
#include <climits>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define FENNEX_X86 1
#endif

namespace fennex::driver {

namespace {

// ---- reference kernels ------------------------------------------------------------------

void Yuv444Ref(const std::uint8_t* raw, std::uint8_t* row, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) row[i] = raw[3 * i + 1];
}

void Yuv422Ref(const std::uint8_t* raw, std::uint8_t* row, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) row[i] = raw[2 * i + 1];
}

void Yuv411Ref(const std::uint8_t* raw, std::uint8_t* row, std::size_t count) {
    const std::size_t pairs = count / 2;
    for (std::size_t k = 0; k < pairs; ++k) {
        row[2 * k] = raw[3 * k + 1];
        row[2 * k + 1] = raw[3 * k + 2];
    }
    // A 4:1:1 frame carries its luminance in pairs; an odd last pixel has no bytes of its own.
    if (count & 1) row[count - 1] = 0;
}

void Rgb8Ref(const std::uint8_t* raw, std::uint8_t* row, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned sum = raw[3 * i] + raw[3 * i + 1] + raw[3 * i + 2];
        row[i] = static_cast<std::uint8_t>(sum / 3);
    }
}

void Mono16Ref(const std::uint8_t* raw, std::uint8_t* row, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) row[i] = raw[2 * i];
}

void Rgb16Ref(const std::uint8_t* raw, std::uint8_t* row, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned sum = raw[6 * i] + raw[6 * i + 2] + raw[6 * i + 4];
        row[i] = static_cast<std::uint8_t>(sum / 3);
    }
}

void CopyRef(const std::uint8_t* raw, std::uint8_t* row, std::size_t count) {
    if (count) std::memcpy(row, raw, count);
}

constexpr RowKernels kReference{"reference", Yuv444Ref, Yuv422Ref, Yuv411Ref, Rgb8Ref,
                                Mono16Ref,   Rgb16Ref,  CopyRef};

#if FENNEX_X86

// A pshufb mask that moves byte src[d] of a block to position d when it lies in the 16 bytes
// starting at `base`, and zeroes position d otherwise; OR-ing the shuffles of every 16-byte
// piece of the block gathers the whole output vector.
using Mask = std::array<std::int8_t, 16>;
constexpr Mask Pick(const std::array<int, 16>& src, int base) {
    Mask m{};
    for (int d = 0; d < 16; ++d)
        m[d] = (src[d] >= base && src[d] < base + 16) ? static_cast<std::int8_t>(src[d] - base)
                                                      : static_cast<std::int8_t>(-128);
    return m;
}
template <int Stride, int Offset>
constexpr std::array<int, 16> Strided() {
    std::array<int, 16> s{};
    for (int d = 0; d < 16; ++d) s[d] = Stride * d + Offset;
    return s;
}
// Pixel j's Y of a 4:1:1 block: bytes 3k + 1 and 3k + 2 of each three.
constexpr std::array<int, 16> Yuv411Source() {
    std::array<int, 16> s{};
    for (int d = 0; d < 16; ++d) s[d] = 3 * (d / 2) + 1 + (d % 2);
    return s;
}
// Byte pairs (first, second) per pixel, laid out for pmaddubsw: pixel j at bytes 2j and 2j + 1;
// `second` < 0 leaves the high byte zero.
constexpr std::array<int, 16> Pairs(int stride, int first, int second) {
    std::array<int, 16> s{};
    for (int j = 0; j < 8; ++j) {
        s[2 * j] = stride * j + first;
        s[2 * j + 1] = second < 0 ? -1000 : stride * j + second;
    }
    return s;
}

#define FENNEX_SSE2 __attribute__((target("sse2")))
#define FENNEX_SSSE3 __attribute__((target("ssse3")))
#define FENNEX_AVX2 __attribute__((target("avx2")))

FENNEX_SSE2 inline __m128i Load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
FENNEX_SSE2 inline void Store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
FENNEX_SSE2 inline __m128i MaskVector(const Mask& m) { return Load(m.data()); }

// The AVX2 kernels run the 16-byte algorithm on two blocks at once, one per 128-bit lane
// (pshufb works within lanes), so the same masks serve both widths.
FENNEX_AVX2 inline __m256i LoadPair(const std::uint8_t* low, const std::uint8_t* high) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(Load(low)), Load(high), 1);
}
FENNEX_AVX2 inline __m256i MaskPair(const Mask& m) {
    return _mm256_broadcastsi128_si256(MaskVector(m));
}
FENNEX_AVX2 inline void Store32(void* p, __m256i v) {
    _mm256_storeu_si256(static_cast<__m256i*>(p), v);
}

FENNEX_SSE2 void Yuv422Sse2(const std::uint8_t* raw, std::uint8_t* row,
                                                 std::size_t count) {
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_srli_epi16(Load(raw + 2 * i), 8);
        const __m128i b = _mm_srli_epi16(Load(raw + 2 * i + 16), 8);
        Store(row + i, _mm_packus_epi16(a, b));
    }
    Yuv422Ref(raw + 2 * i, row + i, count - i);
}

FENNEX_SSE2 void Mono16Sse2(const std::uint8_t* raw, std::uint8_t* row,
                                                 std::size_t count) {
    const __m128i low = _mm_set1_epi16(0x00FF);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_and_si128(Load(raw + 2 * i), low);
        const __m128i b = _mm_and_si128(Load(raw + 2 * i + 16), low);
        Store(row + i, _mm_packus_epi16(a, b));
    }
    Mono16Ref(raw + 2 * i, row + i, count - i);
}

FENNEX_SSSE3 void Yuv444Ssse3(const std::uint8_t* raw, std::uint8_t* row,
                                                   std::size_t count) {
    static constexpr auto kSrc = Strided<3, 1>();
    static constexpr Mask kA = Pick(kSrc, 0), kB = Pick(kSrc, 16), kC = Pick(kSrc, 32);
    const __m128i ma = MaskVector(kA), mb = MaskVector(kB), mc = MaskVector(kC);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const std::uint8_t* p = raw + 3 * i;
        const __m128i y = _mm_or_si128(
            _mm_or_si128(_mm_shuffle_epi8(Load(p), ma), _mm_shuffle_epi8(Load(p + 16), mb)),
            _mm_shuffle_epi8(Load(p + 32), mc));
        Store(row + i, y);
    }
    Yuv444Ref(raw + 3 * i, row + i, count - i);
}

FENNEX_SSSE3 void Yuv411Ssse3(const std::uint8_t* raw, std::uint8_t* row,
                                                   std::size_t count) {
    // 16 pixels come from 24 bytes: the first 16 and the 16 from byte 8 (overlapping).
    static constexpr auto kSrc = Yuv411Source();
    static constexpr Mask kA = Pick(kSrc, 0);
    static constexpr Mask kB = [] {
        Mask m = Pick(kSrc, 8);
        for (int d = 0; d < 16; ++d)
            if (kSrc[d] < 16) m[d] = -128;  // already taken from the first load
        return m;
    }();
    const __m128i ma = MaskVector(kA), mb = MaskVector(kB);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const std::uint8_t* p = raw + 3 * (i / 2);
        Store(row + i, _mm_or_si128(_mm_shuffle_epi8(Load(p), ma),
                                    _mm_shuffle_epi8(Load(p + 8), mb)));
    }
    Yuv411Ref(raw + 3 * (i / 2), row + i, count - i);
}

// Sum of three bytes per pixel for 8 pixels (pixels First to First + 7 of a block at `block`,
// `Stride` bytes apart), divided by 3: (first + second) by pmaddubsw on byte pairs, plus the
// third as words, then a multiply-high by 21846 / 65536, which equals division by 3 for every
// sum up to 765. Only the 16-byte pieces that hold those pixels are loaded.
constexpr bool Any(const Mask& m) {
    for (auto v : m)
        if (v >= 0) return true;
    return false;
}
template <int Stride, int R, int G, int B, int First, int Piece>
FENNEX_SSSE3 inline void Gather(const std::uint8_t* block, __m128i& rg,
                                                    __m128i& bw) {
    static constexpr Mask kRg = Pick(Pairs(Stride, Stride * First + R, Stride * First + G), 16 * Piece);
    static constexpr Mask kB = Pick(Pairs(Stride, Stride * First + B, -1), 16 * Piece);
    if constexpr (Any(kRg) || Any(kB)) {
        const __m128i v = Load(block + 16 * Piece);
        rg = _mm_or_si128(rg, _mm_shuffle_epi8(v, MaskVector(kRg)));
        bw = _mm_or_si128(bw, _mm_shuffle_epi8(v, MaskVector(kB)));
    }
}
template <int Stride, int R, int G, int B, int First>
FENNEX_SSSE3 inline __m128i AverageOf8(const std::uint8_t* block) {
    __m128i rg = _mm_setzero_si128(), bw = _mm_setzero_si128();
    Gather<Stride, R, G, B, First, 0>(block, rg, bw);
    Gather<Stride, R, G, B, First, 1>(block, rg, bw);
    Gather<Stride, R, G, B, First, 2>(block, rg, bw);
    const __m128i sum = _mm_add_epi16(_mm_maddubs_epi16(rg, _mm_set1_epi8(1)), bw);
    return _mm_mulhi_epu16(sum, _mm_set1_epi16(21846));
}

FENNEX_SSSE3 void Rgb8Ssse3(const std::uint8_t* raw, std::uint8_t* row,
                                                 std::size_t count) {
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const std::uint8_t* p = raw + 3 * i;  // 48 bytes
        Store(row + i, _mm_packus_epi16(AverageOf8<3, 0, 1, 2, 0>(p), AverageOf8<3, 0, 1, 2, 8>(p)));
    }
    Rgb8Ref(raw + 3 * i, row + i, count - i);
}

FENNEX_SSSE3 void Rgb16Ssse3(const std::uint8_t* raw, std::uint8_t* row,
                                                  std::size_t count) {
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const std::uint8_t* p = raw + 6 * i;  // 96 bytes, 48 per half
        Store(row + i,
              _mm_packus_epi16(AverageOf8<6, 0, 2, 4, 0>(p), AverageOf8<6, 0, 2, 4, 0>(p + 48)));
    }
    Rgb16Ref(raw + 6 * i, row + i, count - i);
}

// 4:2:2 carries Y in the high byte of each 16-bit word, Mono16 its most significant byte in
// the low one: the same pass with another byte kept. Two 32-pixel blocks per round keep
// two loads and stores in flight.
template <bool HighByte>
FENNEX_AVX2 inline __m256i ByteOfWords(const std::uint8_t* p) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    return HighByte ? _mm256_srli_epi16(v, 8) : _mm256_and_si256(v, _mm256_set1_epi16(0x00FF));
}
template <bool HighByte>
FENNEX_AVX2 inline void Pack32(const std::uint8_t* raw, std::uint8_t* row) {
    const __m256i packed =
        _mm256_packus_epi16(ByteOfWords<HighByte>(raw), ByteOfWords<HighByte>(raw + 32));
    Store32(row, _mm256_permute4x64_epi64(packed, 0xD8));  // packus works per lane
}
template <bool HighByte>
FENNEX_AVX2 void WordBytesAvx2(const std::uint8_t* raw, std::uint8_t* row, std::size_t count) {
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        Pack32<HighByte>(raw + 2 * i, row + i);
        Pack32<HighByte>(raw + 2 * i + 64, row + i + 32);
    }
    if (i + 32 <= count) {
        Pack32<HighByte>(raw + 2 * i, row + i);
        i += 32;
    }
    if (HighByte)
        Yuv422Sse2(raw + 2 * i, row + i, count - i);
    else
        Mono16Sse2(raw + 2 * i, row + i, count - i);
}
FENNEX_AVX2 void Yuv422Avx2(const std::uint8_t* raw, std::uint8_t* row, std::size_t count) {
    WordBytesAvx2<true>(raw, row, count);
}
FENNEX_AVX2 void Mono16Avx2(const std::uint8_t* raw, std::uint8_t* row, std::size_t count) {
    WordBytesAvx2<false>(raw, row, count);
}

FENNEX_AVX2 void Yuv444Avx2(const std::uint8_t* raw, std::uint8_t* row, std::size_t count) {
    static constexpr auto kSrc = Strided<3, 1>();
    static constexpr Mask kA = Pick(kSrc, 0), kB = Pick(kSrc, 16), kC = Pick(kSrc, 32);
    const __m256i ma = MaskPair(kA), mb = MaskPair(kB), mc = MaskPair(kC);
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const std::uint8_t* p = raw + 3 * i;  // two blocks of 48 bytes
        const __m256i y = _mm256_or_si256(
            _mm256_or_si256(_mm256_shuffle_epi8(LoadPair(p, p + 48), ma),
                            _mm256_shuffle_epi8(LoadPair(p + 16, p + 64), mb)),
            _mm256_shuffle_epi8(LoadPair(p + 32, p + 80), mc));
        Store32(row + i, y);
    }
    Yuv444Ssse3(raw + 3 * i, row + i, count - i);
}

FENNEX_AVX2 void Yuv411Avx2(const std::uint8_t* raw, std::uint8_t* row, std::size_t count) {
    // 32 pixels come from 48 bytes, the low lane's block in bytes 0..23, the high lane's in
    // 24..47. Two plain loads, at bytes 0 and 16, give each lane its whole block: the low
    // lane sees bytes 0..15 and 16..31, the high lane 16..31 and 32..47, so each lane has its
    // own pair of masks (block-relative bases 0 and 16 low, -8 and 8 high) and no lane
    // crossing is needed.
    static constexpr auto kSrc = Yuv411Source();
    static constexpr Mask kLow0 = Pick(kSrc, 0), kLow1 = Pick(kSrc, 16);
    static constexpr Mask kHigh0 = Pick(kSrc, -8), kHigh1 = Pick(kSrc, 8);
    const __m256i m0 = _mm256_setr_m128i(MaskVector(kLow0), MaskVector(kHigh0));
    const __m256i m1 = _mm256_setr_m128i(MaskVector(kLow1), MaskVector(kHigh1));
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const std::uint8_t* p = raw + 3 * (i / 2);
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 16));
        Store32(row + i, _mm256_or_si256(_mm256_shuffle_epi8(a, m0), _mm256_shuffle_epi8(b, m1)));
    }
    Yuv411Ssse3(raw + 3 * (i / 2), row + i, count - i);
}

template <int Stride, int R, int G, int B, int First, int Piece>
FENNEX_AVX2 inline void GatherPair(const std::uint8_t* low, const std::uint8_t* high, __m256i& rg,
                                   __m256i& bw) {
    static constexpr Mask kRg = Pick(Pairs(Stride, Stride * First + R, Stride * First + G), 16 * Piece);
    static constexpr Mask kB = Pick(Pairs(Stride, Stride * First + B, -1), 16 * Piece);
    if constexpr (Any(kRg) || Any(kB)) {
        const __m256i v = LoadPair(low + 16 * Piece, high + 16 * Piece);
        rg = _mm256_or_si256(rg, _mm256_shuffle_epi8(v, MaskPair(kRg)));
        bw = _mm256_or_si256(bw, _mm256_shuffle_epi8(v, MaskPair(kB)));
    }
}
template <int Stride, int R, int G, int B, int First>
FENNEX_AVX2 inline __m256i AverageOf8Pair(const std::uint8_t* low, const std::uint8_t* high) {
    __m256i rg = _mm256_setzero_si256(), bw = _mm256_setzero_si256();
    GatherPair<Stride, R, G, B, First, 0>(low, high, rg, bw);
    GatherPair<Stride, R, G, B, First, 1>(low, high, rg, bw);
    GatherPair<Stride, R, G, B, First, 2>(low, high, rg, bw);
    const __m256i sum = _mm256_add_epi16(_mm256_maddubs_epi16(rg, _mm256_set1_epi8(1)), bw);
    return _mm256_mulhi_epu16(sum, _mm256_set1_epi16(21846));
}

FENNEX_AVX2 void Rgb8Avx2(const std::uint8_t* raw, std::uint8_t* row, std::size_t count) {
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const std::uint8_t* p = raw + 3 * i;  // two blocks of 48 bytes
        Store32(row + i, _mm256_packus_epi16(AverageOf8Pair<3, 0, 1, 2, 0>(p, p + 48),
                                             AverageOf8Pair<3, 0, 1, 2, 8>(p, p + 48)));
    }
    Rgb8Ssse3(raw + 3 * i, row + i, count - i);
}

FENNEX_AVX2 void Rgb16Avx2(const std::uint8_t* raw, std::uint8_t* row, std::size_t count) {
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const std::uint8_t* p = raw + 6 * i;  // two blocks of 96 bytes
        Store32(row + i, _mm256_packus_epi16(AverageOf8Pair<6, 0, 2, 4, 0>(p, p + 96),
                                             AverageOf8Pair<6, 0, 2, 4, 0>(p + 48, p + 144)));
    }
    Rgb16Ssse3(raw + 6 * i, row + i, count - i);
}

constexpr RowKernels kSse2{"sse2", Yuv444Ref, Yuv422Sse2, Yuv411Ref, Rgb8Ref,
                           Mono16Sse2, Rgb16Ref, CopyRef};
constexpr RowKernels kSsse3{"ssse3", Yuv444Ssse3, Yuv422Sse2, Yuv411Ssse3, Rgb8Ssse3,
                            Mono16Sse2, Rgb16Ssse3, CopyRef};
constexpr RowKernels kAvx2{"avx2", Yuv444Avx2, Yuv422Avx2, Yuv411Avx2, Rgb8Avx2,
                           Mono16Avx2, Rgb16Avx2, CopyRef};

#endif  // FENNEX_X86

struct KernelSets {
    const RowKernels* sets[4];
    std::size_t count = 0;
    KernelSets() {
        sets[count++] = &kReference;
#if FENNEX_X86
        __builtin_cpu_init();
        if (__builtin_cpu_supports("sse2")) sets[count++] = &kSse2;
        if (__builtin_cpu_supports("ssse3")) sets[count++] = &kSsse3;
        if (__builtin_cpu_supports("avx2")) sets[count++] = &kAvx2;
#endif
    }
};

const KernelSets& Sets() {
    static const KernelSets sets;  // the CPU is asked once
    return sets;
}

// The pixel count of a frame, or 0 when there is nothing to write.
std::size_t PixelCount(std::int32_t width, std::int32_t height) {
    const long long n = static_cast<long long>(width) * height;
    if (n <= 0 || n > INT32_MAX) return 0;
    return static_cast<std::size_t>(n);
}

}  // namespace

const RowKernels& ReferenceKernels() { return kReference; }

std::size_t AvailableKernelSets(const RowKernels* const** sets) {
    const KernelSets& s = Sets();
    if (sets) *sets = s.sets;
    return s.count;
}

const RowKernels& ActiveKernels() {
    const KernelSets& s = Sets();
    return *s.sets[s.count - 1];
}

#define FENNEX_FRAME_FUNCTION(Name, member)                                                  \
    void Name(const std::uint8_t* raw, std::uint8_t* row, std::int32_t width,                \
              std::int32_t height) {                                                         \
        if (const std::size_t n = PixelCount(width, height)) ActiveKernels().member(raw, row, n); \
    }
FENNEX_FRAME_FUNCTION(ConvertYuv444ToMono8, yuv444)
FENNEX_FRAME_FUNCTION(ConvertYuv422ToMono8, yuv422)
FENNEX_FRAME_FUNCTION(ConvertYuv411ToMono8, yuv411)
FENNEX_FRAME_FUNCTION(ConvertRgb8ToMono8, rgb8)
FENNEX_FRAME_FUNCTION(ConvertMono16ToMono8, mono16)
FENNEX_FRAME_FUNCTION(ConvertRgb16ToMono8, rgb16)
FENNEX_FRAME_FUNCTION(CopyMono8, copy)
#undef FENNEX_FRAME_FUNCTION

FrameConversion ConversionForColorMode(std::uint32_t colorMode) {
    switch (colorMode) {
        case kMono8: return CopyMono8;
        case kYuv411: return ConvertYuv411ToMono8;
        case kYuv422: return ConvertYuv422ToMono8;
        case kYuv444: return ConvertYuv444ToMono8;
        case kRgb8: return ConvertRgb8ToMono8;
        case kMono16: return ConvertMono16ToMono8;
        case kRgb16: return ConvertRgb16ToMono8;
        default: return nullptr;
    }
}

std::size_t RawFrameBytes(std::uint32_t colorMode, std::size_t pixels) {
    static constexpr unsigned kBits[] = {8, 12, 16, 24, 24, 16, 48};
    if (colorMode > kRgb16) return 0;
    return pixels * kBits[colorMode] / 8;
}

}  // namespace fennex::driver
