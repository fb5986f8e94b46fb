// Grabbing from the simulated cameras: resources, grab requests through the completion port,
// frames in every pixel coding, cancellation.
#include <memory>

#include "sim/camera.h"
#include "sim_support.h"
#include "test_support.h"

namespace {

using namespace simtest;
using fennex::test::BitsPerPixelOf;
using fennex::test::LumaAt;
namespace drv = Bcam::driver;

constexpr std::uint32_t kWait = 5000;

// A camera with the codings the built-in ones lack: YUV 4:4:4 and 4:1:1 modes, and a Format 7
// mode that offers every coding.
sim::CameraDesc AllCodings() {
    sim::CameraDesc c = sim::DefaultCameras()[1];
    c.name = "ALLC&CODINGS#1";
    c.AddMode(0, 0, {1, 2, 3, 4, 5});
    c.AddMode(0, 2, {1, 2, 3, 4});
    c.format7[2] = c.format7[0];
    c.format7[2].codings = 0xFE000000;
    return c;
}

// Sets a mode up, grabs one frame with a one-shot, returns it.
struct Grabbed {
    std::vector<std::uint8_t> frame;
    std::uint32_t bytes = 0;
    sim::FrameParams params;
};

void Allocate(Device& dev, std::uint32_t bufferSize) {
    drv::AllocateOut out{};
    ASSERT_EQ(dev.Transmit(drv::kAllocateResources, {1000, 1, bufferSize}, &out, sizeof out), 0u);
}

// Queues a grab and asks for one shot; returns the grab's completion.
Grabbed GrabOne(Device& dev, const std::string& camera, std::uint32_t size) {
    Grabbed g;
    g.frame.assign(size, 0xA5);
    pf::Overlapped grab{}, shot{};
    std::uint32_t error = 0;
    EXPECT_FALSE(dev.Async(drv::kGrabImage, {}, g.frame.data(), size, &grab, &error));
    EXPECT_EQ(error, 997u);
    EXPECT_TRUE(dev.Async(drv::kShot, {drv::kShotOne, 0}, nullptr, 0, &shot, &error));
    bool sawGrab = false, sawShot = false;
    for (int i = 0; i < 2; ++i) {
        std::uint32_t bytes = 0;
        std::uintptr_t key = 0;
        pf::Overlapped* done = dev.Dequeue(kWait, &error, &bytes, &key);
        EXPECT_EQ(error, 0u);
        EXPECT_EQ(key, dev.Key());
        if (done == &grab) sawGrab = true, g.bytes = bytes;
        if (done == &shot) sawShot = true;
    }
    EXPECT_TRUE(sawGrab && sawShot);
    g.params = sim::LastFrameParams(camera);
    return g;
}

class SimGrab : public SimTest {};

TEST_F(SimGrab, EachModeDeliversItsFrameInItsPixelCoding) {
    struct Case {
        const char* what;
        std::string camera;
        std::uint32_t format, mode, rate;
        std::uint32_t f7Coding;  // format 7 only
        std::uint32_t width, height, coding;
    } cases[] = {
        {"Mono8", kMono, 0, 5, 4, 0, 640, 480, 0},
        {"Mono16", kMono, 0, 6, 2, 0, 640, 480, 5},
        {"YUV422 320x240", kColour, 0, 1, 5, 0, 320, 240, 2},
        {"RGB8 640x480", kColour, 0, 4, 3, 0, 640, 480, 4},
        {"YUV422 800x600", kColour, 1, 0, 0, 0, 800, 600, 2},
        {"RGB8 1600x1200", kColour, 2, 4, 1, 0, 1600, 1200, 4},
        {"YUV444 160x120", "ALLC&CODINGS#1", 0, 0, 3, 0, 160, 120, 3},
        {"YUV411 640x480", "ALLC&CODINGS#1", 0, 2, 3, 0, 640, 480, 1},
        {"Format 7 RGB16", "ALLC&CODINGS#1", 7, 2, 0, 6, 320, 200, 6},
        {"Format 7 YUV411", "ALLC&CODINGS#1", 7, 2, 0, 1, 320, 200, 1},
        {"Format 7 Mono8", "ALLC&CODINGS#1", 7, 2, 0, 0, 320, 200, 0},
        {"Format 7 binned Mono16", kColour, 7, 1, 0, 5, 800, 600, 5},
    };
    sim::Plug(AllCodings());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Device dev(c.camera);
        ASSERT_TRUE(dev.Valid());
        ASSERT_EQ(dev.Transmit(drv::kSetVideoMode, {c.format, c.mode, c.rate}), 0u);
        if (c.format == 7) {
            ASSERT_EQ(dev.Transmit(drv::kF7ColorCodingSet, {c.mode, c.f7Coding}), 0u);
            if (c.mode == 2) {
                ASSERT_EQ(dev.Transmit(drv::kF7ImageSet, {2, 0, 0, c.width, c.height, 12}), 0u);
            }
        }
        const std::uint32_t size = c.width * c.height * BitsPerPixelOf(c.coding) / 8;
        Allocate(dev, size);
        const Grabbed g = GrabOne(dev, c.camera, size + 16);
        EXPECT_EQ(g.bytes, size);
        EXPECT_EQ(g.frame[size], 0xA5) << "wrote past the frame";
        int wrong = 0;
        for (std::uint32_t y = 0; y < c.height; y += 7)
            for (std::uint32_t x = 0; x < c.width; x += 3)
                if (LumaAt(c.coding, g.frame.data(), y * c.width + x) != sim::ExpectedLuma(g.params, x, y))
                    ++wrong;
        EXPECT_EQ(wrong, 0);
        const std::uint8_t* f = g.frame.data();
        const sim::Colour px = sim::ExpectedColour(g.params, 8, 1);
        const std::uint32_t i = c.width + 8;  // pixel (8, 1)
        switch (c.coding) {
        case 4: EXPECT_EQ(f[3 * i], px.r); EXPECT_EQ(f[3 * i + 2], px.b); break;
        case 6: EXPECT_EQ(f[6 * i], px.r); EXPECT_EQ(f[6 * i + 1], px.r); break;
        case 3: EXPECT_EQ(f[3 * i], px.u); EXPECT_EQ(f[3 * i + 2], px.v); break;
        case 2: EXPECT_EQ(f[2 * i], px.u); EXPECT_EQ(f[2 * i + 2], px.v); break;
        case 1: EXPECT_EQ(f[i / 4 * 6], px.u); EXPECT_EQ(f[i / 4 * 6 + 3], px.v); break;
        case 5: EXPECT_EQ(f[2 * i + 1], px.y); break;
        default: break;
        }
    }
}

TEST_F(SimGrab, SettingsShowInThePicture) {
    Device dev(kMono);
    Allocate(dev, 640 * 480);
    auto mean = [&] {
        const Grabbed g = GrabOne(dev, kMono, 640 * 480);
        std::uint64_t sum = 0;
        for (std::uint8_t v : g.frame) sum += v;
        return sum / g.frame.size();
    };
    struct Step {
        const char* what;
        std::vector<std::uint32_t> set;
        int direction;  // against the previous frame
    } steps[] = {
        {"darker", {drv::kBrightness, 0, 1}, -1},
        {"brighter", {drv::kBrightness, 255, 1}, +1},
        {"more gain", {drv::kGain, 255, 1}, +1},
        {"less gain", {drv::kGain, 0, 1}, -1},
    };
    std::uint64_t previous = mean();
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        ASSERT_EQ(dev.Transmit(drv::kFeatureSet, s.set), 0u);
        const std::uint64_t now = mean();
        if (s.direction > 0) EXPECT_GT(now, previous); else EXPECT_LT(now, previous);
        previous = now;
    }
    // A test image replaces the live picture.
    ASSERT_EQ(dev.Transmit(drv::kTestImageSet, {3u << 13}), 0u);
    const Grabbed g = GrabOne(dev, kMono, 640 * 480);
    EXPECT_EQ(g.frame[5 * 640 + 200], 200);
    EXPECT_EQ(g.frame[479 * 640 + 639], 639 & 0xFF);
    // The moving test image follows the frame counter only.
    ASSERT_EQ(dev.Transmit(drv::kTestImageSet, {2u << 13}), 0u);
    const Grabbed moving = GrabOne(dev, kMono, 640 * 480);
    EXPECT_EQ(moving.params.testImage, 2u);
    for (std::uint32_t i : {0u, 641u, 5000u, 307199u})
        EXPECT_EQ(moving.frame[i], (i % 640 + i / 640 + moving.params.frame) & 0xFF) << i;
}

TEST_F(SimGrab, RefusedGrabsNeverReachThePort) {
    struct Case {
        const char* what;
        bool allocate, free;
        std::uint32_t bufferSize;
        std::uint32_t error;
    } cases[] = {
        {"no resources", false, false, 640 * 480, sim::kNoResources},
        {"buffer one byte short", true, false, 640 * 480 - 1, 122},
        {"resources freed again", true, true, 640 * 480, sim::kNoResources},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Device dev(kMono);
        if (c.allocate) Allocate(dev, 640 * 480);
        if (c.free) {
            EXPECT_EQ(dev.Transmit(drv::kFreeResources, {}), 0u);
        }
        std::vector<std::uint8_t> buffer(c.bufferSize);
        pf::Overlapped grab{};
        std::uint32_t error = 0;
        EXPECT_FALSE(dev.Async(drv::kGrabImage, {}, buffer.data(), c.bufferSize, &grab, &error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(dev.Dequeue(0, &error), nullptr);
        EXPECT_EQ(error, 258u);
    }
}

TEST_F(SimGrab, PendingGrabsEndWith995) {
    enum class How { CancelRequest, CancelIo, Close };
    for (How how : {How::CancelRequest, How::CancelIo, How::Close}) {
        SCOPED_TRACE(static_cast<int>(how));
        auto dev = std::make_unique<Device>(kMono);
        Allocate(*dev, 640 * 480);
        sim::HoldGrabs(kMono, true);
        std::vector<std::uint8_t> buffers(3 * 640 * 480);
        pf::Overlapped grabs[3] = {};
        std::uint32_t error = 0;
        for (int i = 0; i < 3; ++i)
            dev->Async(drv::kGrabImage, {}, &buffers[i * 640 * 480], 640 * 480, &grabs[i], &error);
        pf::Overlapped shot{};
        dev->Async(drv::kShot, {drv::kShotContinuous, 0}, nullptr, 0, &shot, &error);
        EXPECT_EQ(dev->Dequeue(kWait, &error), &shot);

        const pf::Handle port = dev->Port();
        switch (how) {
        case How::CancelRequest: EXPECT_EQ(dev->Transmit(drv::kCancelGrabs, {}), 0u); break;
        case How::CancelIo: EXPECT_TRUE(sim::Driver().CancelIo(dev->Handle())); break;
        case How::Close: dev->Close(); break;
        }
        for (int i = 0; i < 3; ++i) {
            std::uint32_t n = 0;
            std::uintptr_t key = 0;
            pf::Overlapped* done = nullptr;
            EXPECT_FALSE(pf::DequeueCompletion(port, &n, &key, &done, kWait));
            EXPECT_EQ(pf::LastError(), 995u);
            EXPECT_EQ(done, &grabs[i]);  // in the order they were queued
        }
        EXPECT_EQ(dev->Dequeue(0, &error), nullptr);
        sim::HoldGrabs(kMono, false);
    }
}

TEST_F(SimGrab, ContinuousShotFillsGrabsInOrder) {
    Device dev(kColour);  // 640 x 480 YUV422
    const std::uint32_t size = 640 * 480 * 2;
    Allocate(dev, size);
    std::vector<std::uint8_t> buffers(4 * size);
    pf::Overlapped grabs[4] = {}, start{}, stop{};
    std::uint32_t error = 0;
    for (int i = 0; i < 4; ++i) dev.Async(drv::kGrabImage, {}, &buffers[i * size], size, &grabs[i], &error);
    dev.Async(drv::kShot, {drv::kShotContinuous, 0}, nullptr, 0, &start, &error);
    std::vector<pf::Overlapped*> order;
    for (int i = 0; i < 5; ++i) {
        pf::Overlapped* done = dev.Dequeue(kWait, &error);
        EXPECT_EQ(error, 0u);
        if (done != &start) order.push_back(done);
    }
    EXPECT_EQ(order, (std::vector<pf::Overlapped*>{&grabs[0], &grabs[1], &grabs[2], &grabs[3]}));
    // Each frame is the next one: pixel (0, 0) is frame mod 256 in the live pattern.
    for (int i = 1; i < 4; ++i) EXPECT_EQ(buffers[i * size + 1], (buffers[(i - 1) * size + 1] + 1) & 0xFF);
    dev.Async(drv::kShot, {drv::kShotStop, 0}, nullptr, 0, &stop, &error);
    EXPECT_EQ(dev.Dequeue(kWait, &error), &stop);
    EXPECT_FALSE(sim::Camera(kColour).continuous);
}

TEST_F(SimGrab, FramesWaitForTheirShotOrTrigger) {
    Device dev(kColour);
    const std::uint32_t size = 640 * 480 * 2;
    Allocate(dev, size);
    std::vector<std::uint8_t> buffer(size);
    std::uint32_t error = 0;

    // A one-shot with no grab queued is lost; the grab after it waits for a shot of its own.
    pf::Overlapped lost{};
    dev.Async(drv::kShot, {drv::kShotOne, 0}, nullptr, 0, &lost, &error);
    EXPECT_EQ(dev.Dequeue(kWait, &error), &lost);
    EXPECT_EQ(sim::FrameCount(kColour), 1u);
    pf::Overlapped grab{};
    dev.Async(drv::kGrabImage, {}, buffer.data(), size, &grab, &error);
    EXPECT_EQ(dev.Dequeue(50, &error), nullptr);

    // With the trigger on, continuous shot waits for a trigger pulse.
    ASSERT_EQ(dev.Transmit(drv::kFeatureSet, {drv::kTrigger, drv::kCtlOnOff, 0x008}), 0u);
    pf::Overlapped start{};
    dev.Async(drv::kShot, {drv::kShotContinuous, 0}, nullptr, 0, &start, &error);
    EXPECT_EQ(dev.Dequeue(kWait, &error), &start);
    EXPECT_EQ(dev.Dequeue(50, &error), nullptr);
    sim::FireTrigger(kColour);
    EXPECT_EQ(dev.Dequeue(kWait, &error), &grab);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(sim::FrameCount(kColour), 2u);
}

TEST_F(SimGrab, PacedByTheFrameRateEveryGrabStillCompletes) {
    sim::SetPace(sim::Pace::RealTime);
    Device dev(kMono);
    ASSERT_EQ(dev.Transmit(drv::kSetVideoMode, {0, 5, 5}), 0u);  // 60 fps
    Allocate(dev, 640 * 480);
    for (int i = 0; i < 3; ++i) {
        const Grabbed g = GrabOne(dev, kMono, 640 * 480);
        EXPECT_EQ(g.bytes, 640u * 480);
        EXPECT_EQ(g.params.frame, static_cast<std::uint32_t>(i));
    }
}

TEST_F(SimGrab, OnlyOverlappedRequestsReachThePort) {
    Device dev(kMono);
    std::uint32_t reply = 0, error = 0;
    EXPECT_EQ(dev.Read(drv::kFormatInquiry, {}, &reply), 0u);
    EXPECT_EQ(dev.Dequeue(0, &error), nullptr);  // the synchronous one signalled its event only

    pf::Overlapped ov{};
    EXPECT_TRUE(dev.Async(drv::kFormatInquiry, {}, &reply, 4, &ov, &error));  // done at once
    std::uint32_t bytes = 0;
    EXPECT_EQ(dev.Dequeue(kWait, &error, &bytes), &ov);  // and still posted
    EXPECT_EQ(bytes, 4u);

    sim::InjectFault(sim::Fault(drv::kGrabImage, 1784).Late());
    Allocate(dev, 640 * 480);
    std::vector<std::uint8_t> buffer(640 * 480);
    pf::Overlapped grab{};
    EXPECT_FALSE(dev.Async(drv::kGrabImage, {}, buffer.data(), 640 * 480, &grab, &error));
    EXPECT_EQ(error, 997u);
    EXPECT_EQ(dev.Dequeue(kWait, &error), &grab);
    EXPECT_EQ(error, 1784u);
}

}  // namespace

namespace {

TEST(SimPattern, LumaFollowsItsDocumentedFormula) {
    struct Case {
        sim::FrameParams p;
        std::uint32_t x, y;
        int luma;
    } cases[] = {
        {{5, 0, 128, 0, 0}, 10, 20, 35},        // (x + y + frame) mod 256
        {{5, 0, 128, 0, 0}, 200, 60, 9},        // wraps
        {{5, 0, 0, 0, 0}, 10, 20, 0},           // darkest brightness, cut at 0
        {{5, 0, 256, 0, 0}, 10, 20, 99},        // brightest: +64
        {{5, 0, 128, 256, 0}, 10, 20, 70},      // full gain doubles
        {{0, 0, 128, 256, 0}, 100, 100, 255},   // and is cut at 255
        {{9, 1, 0, 256, 0}, 300, 0, 44},        // test images ignore the settings
        {{9, 2, 128, 0, 0}, 1, 1, 11},
        {{9, 3, 128, 0, 0}, 257, 9, 1},
        {{9, 4, 128, 0, 0}, 9, 258, 2},
        {{9, 5, 128, 0, 0}, 0, 0, 255},
        {{9, 5, 128, 0, 0}, 16, 0, 0},
        {{9, 5, 128, 0, 0}, 16, 16, 255},
        {{9, 6, 128, 0, 0}, 3, 4, 128},
        {{9, 7, 128, 0, 0}, 5, 3, 6},
    };
    for (const Case& c : cases) EXPECT_EQ(sim::ExpectedLuma(c.p, c.x, c.y), c.luma) << c.x << "," << c.y;
}

TEST(SimPattern, ColourAveragesToTheLumaAndAnswersToWhiteBalance) {
    for (int wb : {-256, 0, 256})
        for (std::uint32_t x = 0; x < 600; x += 13)
            for (std::uint32_t y = 0; y < 300; y += 17) {
                const sim::FrameParams p{x, 0, 128, 0, wb};
                const sim::Colour c = sim::ExpectedColour(p, x, y);
                ASSERT_EQ(c.y, sim::ExpectedLuma(p, x, y));
                ASSERT_EQ((c.r + c.g + c.b) / 3, c.y);
            }
    // More red than blue with V/R above U/B.
    const sim::Colour warm = sim::ExpectedColour({0, 6, 128, 0, 256}, 256, 0);
    const sim::Colour cold = sim::ExpectedColour({0, 6, 128, 0, -256}, 256, 0);
    EXPECT_GT(warm.r, cold.r);
    EXPECT_LT(warm.b, cold.b);
}

}  // namespace

// One painter through a run of frames whose settings, size and coding change between them: each
// frame has the bytes that painting it afresh gives, so no frame shows rows of an earlier one.
TEST(SimPattern, FramesPaintedInARunMatchFreshlyPaintedFrames) {
    struct Step {
        std::uint32_t width, height, coding;
        sim::FrameParams params;
    };
    const auto params = [](std::uint32_t frame, std::uint32_t testImage, int gain, int wb) {
        sim::FrameParams p;
        p.frame = frame;
        p.testImage = testImage;
        p.gain = gain;
        p.whiteBalance = wb;
        return p;
    };
    const std::vector<Step> steps = {
        {64, 300, 0, params(0, 0, 0, 0)},     {64, 300, 0, params(1, 0, 0, 0)},
        {64, 300, 0, params(255, 0, 0, 0)},   {64, 300, 0, params(256, 0, 64, 0)},
        {64, 300, 0, params(257, 2, 64, 0)},  {64, 300, 0, params(258, 5, 64, 0)},
        {64, 300, 0, params(259, 0, 64, 0)},  {72, 300, 0, params(260, 0, 64, 0)},
        {72, 20, 4, params(261, 0, 64, 0)},   {72, 20, 4, params(262, 0, 64, 96)},
        {72, 20, 1, params(263, 0, 64, 96)},  {72, 20, 2, params(264, 0, 64, 96)},
        {72, 20, 3, params(265, 0, 64, 96)},  {72, 20, 5, params(266, 0, 64, 96)},
        {72, 20, 6, params(7000, 2, 0, -40)},
    };
    sim::detail::FramePainter painter;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        SCOPED_TRACE(i);
        sim::detail::Geometry g;
        g.width = s.width;
        g.height = s.height;
        g.coding = s.coding;
        g.bytes = s.width * s.height * fennex::test::BitsPerPixelOf(s.coding) / 8;
        std::vector<std::uint8_t> fresh(g.bytes, 0xEE), run(g.bytes, 0x11);
        sim::detail::RenderFrame(g, s.params, fresh.data());
        painter.Paint(g, s.params, run.data());
        EXPECT_EQ(run, fresh);
    }
}
