// The frames a simulated camera sends: the geometry of its current mode, the parameters of each
// frame, and the painter that writes their pixels.
#include <algorithm>
#include <cstring>

#include "bcam/driver_contract.h"
#include "sim/frame.h"

namespace sim {

namespace drv = Bcam::driver;

namespace detail {

namespace {

struct FixedMode {
    std::uint32_t width, height, coding;
};

// The fixed-size modes of formats 0, 1 and 2 (format 0 has seven).
constexpr FixedMode kFixed[3][8] = {
    {{160, 120, 3}, {320, 240, 2}, {640, 480, 1}, {640, 480, 2}, {640, 480, 4}, {640, 480, 0},
     {640, 480, 5}, {0, 0, 0}},
    {{800, 600, 2}, {800, 600, 4}, {800, 600, 0}, {1024, 768, 2}, {1024, 768, 4}, {1024, 768, 0},
     {800, 600, 5}, {1024, 768, 5}},
    {{1280, 960, 2}, {1280, 960, 4}, {1280, 960, 0}, {1600, 1200, 2}, {1600, 1200, 4},
     {1600, 1200, 0}, {1280, 960, 5}, {1600, 1200, 5}},
};

// Bits per pixel of the colour codings 0..6.
constexpr std::uint32_t kBits[7] = {8, 12, 16, 24, 24, 16, 48};

constexpr std::uint32_t k12 = 0xFFF;

}  // namespace

std::uint32_t FrameBytes(std::uint32_t width, std::uint32_t height, std::uint32_t coding) {
    return static_cast<std::uint32_t>(std::uint64_t{width} * height * kBits[coding] / 8);
}

bool CurrentGeometry(const CameraDesc& camera, Geometry* g) {
    if (camera.format == 7) {
        if (camera.mode > 7) return false;
        const Format7Mode& f7 = camera.format7[camera.mode];
        if (!f7.present || f7.coding > 6 || f7.width == 0 || f7.height == 0 ||
            f7.bytesPerPacket == 0)
            return false;
        g->width = f7.width;
        g->height = f7.height;
        g->coding = f7.coding;
        g->bytes = FrameBytes(f7.width, f7.height, f7.coding);
        // One packet per 125 us isochronous cycle.
        g->periodUs = std::uint64_t{(g->bytes + f7.bytesPerPacket - 1) / f7.bytesPerPacket} * 125;
        return true;
    }
    if (camera.format > 2 || camera.mode > 7 || camera.rate > 5) return false;
    const FixedMode& m = kFixed[camera.format][camera.mode];
    if (m.width == 0) return false;
    g->width = m.width;
    g->height = m.height;
    g->coding = m.coding;
    g->bytes = FrameBytes(m.width, m.height, m.coding);
    // 1.875 fps at index 0, doubling with each index.
    g->periodUs = 8000000u / (15u << camera.rate);
    return true;
}

namespace {

int Level(const Feature& f, std::uint32_t value) {
    const int min = static_cast<int>((f.inquiry >> 12) & k12);
    const int max = static_cast<int>(f.inquiry & k12);
    if (max <= min) return 0;
    const int v = std::clamp(static_cast<int>(value), min, max);
    return (v - min) * 256 / (max - min);
}

bool Present(const Feature& f) { return (f.inquiry & drv::kInqPresence) != 0; }

}  // namespace

FrameParams ParamsOf(const CameraDesc& camera, std::uint32_t frame) {
    FrameParams p;
    p.frame = frame;
    p.testImage = camera.testImage;
    const Feature& brightness = camera.feature(drv::kBrightness);
    if (Present(brightness)) p.brightness = Level(brightness, brightness.control & k12);
    const Feature& gain = camera.feature(drv::kGain);
    if (Present(gain)) p.gain = Level(gain, gain.control & k12);
    const Feature& wb = camera.feature(drv::kWhiteBalance);
    if (Present(wb))
        p.whiteBalance = Level(wb, wb.control & k12) - Level(wb, (wb.control >> drv::kUbShift) & k12);
    return p;
}

namespace {

// ExpectedLuma and ExpectedColour, fast enough for full-size frames: the live image and the
// moving test image depend on (x + y + frame) mod 256 alone, so one table per frame serves them.
class Painter {
public:
    // The live image and the moving test image.
    static bool Moves(const FrameParams& p) { return p.testImage == 0 || p.testImage == 2; }

    explicit Painter(const FrameParams& p) : p_(p), table_(Moves(p)) {
        if (!table_) return;
        for (std::uint32_t b = 0; b < 256; ++b) {
            FrameParams at = p;
            at.frame = 0;
            lut_[b] = ExpectedLuma(at, b, 0);  // base b at frame 0 is pixel (b, 0)
        }
    }
    std::uint8_t Luma(std::uint32_t x, std::uint32_t y) const {
        return table_ ? lut_[(x + y + p_.frame) & 0xFF] : ExpectedLuma(p_, x, y);
    }
    Colour Pixel(std::uint32_t x, std::uint32_t y) const {
        const int l = Luma(x, y);
        const int limit = std::min(l, 255 - l);
        const int d = std::clamp(static_cast<int>((x / 8) % 64) - 32 + p_.whiteBalance / 8, -limit, limit);
        return {static_cast<std::uint8_t>(l), static_cast<std::uint8_t>(128 - d / 2),
                static_cast<std::uint8_t>(128 + d / 2), static_cast<std::uint8_t>(l + d),
                static_cast<std::uint8_t>(l), static_cast<std::uint8_t>(l - d)};
    }

private:
    FrameParams p_;
    bool table_;
    std::uint8_t lut_[256] = {};
};

// The bytes one row takes on the wire; 4:1:1 and 4:2:2 send whole pixel groups only.
std::size_t RowBytes(const Geometry& g) {
    switch (g.coding) {
    case 1: return std::size_t{g.width} / 4 * 6;
    case 2: return std::size_t{g.width} / 2 * 4;
    default: return std::size_t{g.width} * kBits[g.coding] / 8;
    }
}

void PaintRow(const Geometry& g, const Painter& paint, std::uint32_t y, std::uint8_t* out) {
    const std::uint32_t w = g.width;
    switch (g.coding) {
    case 0:  // Mono8
        for (std::uint32_t x = 0; x < w; ++x) *out++ = paint.Luma(x, y);
        break;
    case 5:  // Mono16, big-endian
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint8_t l = paint.Luma(x, y);
            *out++ = l;
            *out++ = l;
        }
        break;
    case 1:  // YUV 4:1:1: U Y0 Y1 V Y2 Y3
        for (std::uint32_t x = 0; x + 3 < w; x += 4) {
            const Colour c = paint.Pixel(x, y);
            *out++ = c.u;
            *out++ = c.y;
            *out++ = paint.Luma(x + 1, y);
            *out++ = c.v;
            *out++ = paint.Luma(x + 2, y);
            *out++ = paint.Luma(x + 3, y);
        }
        break;
    case 2:  // YUV 4:2:2: U Y0 V Y1
        for (std::uint32_t x = 0; x + 1 < w; x += 2) {
            const Colour c = paint.Pixel(x, y);
            *out++ = c.u;
            *out++ = c.y;
            *out++ = c.v;
            *out++ = paint.Luma(x + 1, y);
        }
        break;
    case 3:  // YUV 4:4:4: U Y V
        for (std::uint32_t x = 0; x < w; ++x) {
            const Colour c = paint.Pixel(x, y);
            *out++ = c.u;
            *out++ = c.y;
            *out++ = c.v;
        }
        break;
    case 4:  // RGB8
        for (std::uint32_t x = 0; x < w; ++x) {
            const Colour c = paint.Pixel(x, y);
            *out++ = c.r;
            *out++ = c.g;
            *out++ = c.b;
        }
        break;
    case 6:  // RGB16, big-endian: each 8-bit component times 257
        for (std::uint32_t x = 0; x < w; ++x) {
            const Colour c = paint.Pixel(x, y);
            for (std::uint8_t v : {c.r, c.g, c.b}) {
                *out++ = v;
                *out++ = v;
            }
        }
        break;
    default:
        break;
    }
}

void RenderFrame(const Geometry& g, const FrameParams& params, std::uint8_t* out) {
    const Painter paint(params);
    const std::size_t rowBytes = RowBytes(g);
    for (std::uint32_t y = 0; y < g.height; ++y) PaintRow(g, paint, y, out + y * rowBytes);
}

}  // namespace

void FramePainter::Paint(const Geometry& g, const FrameParams& params, std::uint8_t* out) {
    if (g.coding > 6) return;  // no such coding: CurrentGeometry never gives one
    if (!Painter::Moves(params)) {
        RenderFrame(g, params, out);
        return;
    }
    // Pixel (x, y) of frame f depends on x and (x + y + f) mod 256 alone, so row y of frame f
    // is row (y + f) mod 256 of frame 0.
    FrameParams still = params;
    still.frame = 0;
    const std::size_t rowBytes = RowBytes(g);
    if (rows_.empty() || g.width != width_ || g.coding != coding_ || !(still == still_)) {
        rows_.resize(256 * rowBytes);
        const Painter paint(still);
        for (std::uint32_t s = 0; s < 256; ++s) PaintRow(g, paint, s, rows_.data() + s * rowBytes);
        width_ = g.width;
        coding_ = g.coding;
        still_ = still;
    }
    for (std::uint32_t y = 0; y < g.height; ++y)
        std::memcpy(out + y * rowBytes, rows_.data() + ((y + params.frame) & 0xFF) * rowBytes,
                    rowBytes);
}

}  // namespace detail

std::uint8_t ExpectedLuma(const FrameParams& p, std::uint32_t x, std::uint32_t y) {
    switch (p.testImage) {
    case 1: return static_cast<std::uint8_t>(x + y);
    case 2: return static_cast<std::uint8_t>(x + y + p.frame);
    case 3: return static_cast<std::uint8_t>(x);
    case 4: return static_cast<std::uint8_t>(y);
    case 5: return ((x / 16 + y / 16) % 2 == 0) ? 255 : 0;
    case 6: return 128;
    case 7: return static_cast<std::uint8_t>(x ^ y);
    default: break;
    }
    const int base = static_cast<int>((x + y + p.frame) & 0xFF);
    const int v = base * (256 + p.gain) / 256 + (p.brightness - 128) / 2;
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

Colour ExpectedColour(const FrameParams& p, std::uint32_t x, std::uint32_t y) {
    const int l = ExpectedLuma(p, x, y);
    const int limit = std::min(l, 255 - l);
    const int d = std::clamp(static_cast<int>((x / 8) % 64) - 32 + p.whiteBalance / 8, -limit, limit);
    Colour c;
    c.y = static_cast<std::uint8_t>(l);
    c.u = static_cast<std::uint8_t>(128 - d / 2);
    c.v = static_cast<std::uint8_t>(128 + d / 2);
    c.r = static_cast<std::uint8_t>(l + d);
    c.g = static_cast<std::uint8_t>(l);
    c.b = static_cast<std::uint8_t>(l - d);
    return c;
}

}  // namespace sim
