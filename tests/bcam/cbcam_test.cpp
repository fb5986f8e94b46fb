// The camera device object: opening and closing, the request primitives, and grabbing with
// its resources, requests, completions and records in every pixel coding.
#include "feature_tables.h"

#include "bcam/bcam_utility.h"

namespace fennex::test {
namespace {

class CBcamOpen : public SimCameras {};

// The camera that the object's requests reach.
std::string Target(CBcam& camera) {
    sim::ClearRequests();
    camera.GetVideoMode(nullptr, nullptr, nullptr);
    const auto log = sim::Requests(drv::kGetVideoMode);
    return log.size() == 1 ? log[0].camera : "";
}

TEST_F(CBcamOpen, ByPathOrNameOnceAnotherNameClosesTheFirstAndCloseWorksInEveryState) {
    EXPECT_NO_THROW(camera_.Close());
    camera_.Open(sim::InterfacePath(kMono));
    EXPECT_EQ(camera_.DeviceName(), kMono);
    EXPECT_EQ(Target(camera_), kMono);
    for (const std::string& again : {kMono, sim::InterfacePath(kMono)}) {
        const Raised raised = RaisedBy([&] { camera_.Open(again); });
        EXPECT_EQ(raised.code, codes::kAlreadyOpen);
        EXPECT_EQ(raised.context, "CBcam::Open");
        EXPECT_EQ(Target(camera_), kMono);
    }
    camera_.Open(kColour);
    EXPECT_EQ(camera_.DeviceName(), kColour);
    EXPECT_EQ(Target(camera_), kColour);
    EXPECT_EQ(CBcam::OpenDeviceCount(), 1u);
    EXPECT_TRUE(sim::Unplug(kMono, sim::Removal::Normal));  // no handle left on it
    camera_.Close();
    EXPECT_NO_THROW(camera_.Close());
    EXPECT_FALSE(camera_.IsOpen());
    EXPECT_EQ(camera_.DeviceName(), kColour);
    EXPECT_EQ(CBcam::OpenDeviceCount(), 0u);
}

TEST_F(CBcamOpen, FailedOpenNamesTheGivenTextAndLeavesNothingBehind) {
    struct Row {
        std::string name;
        std::uint32_t op;  // 0: no fault
        std::uint32_t error;
    };
    const Row rows[] = {{kMono, sim::kOpOpenDevice, 2}, {kMono, sim::kOpCreateCompletionPort, 8},
                        {"NONE&SUCH#0", 0, 2}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.error);
        if (row.op) sim::InjectFault(sim::Fault(row.op, row.error));
        const Raised raised = RaisedBy([&] { camera_.Open(row.name); });
        EXPECT_EQ(raised.code, row.error);
        EXPECT_EQ(raised.context, row.name);  // the name as it was passed
        camera_.Close();
        EXPECT_EQ(CBcam::OpenDeviceCount(), 0u);
        sim::ClearFaults();
    }
    EXPECT_EQ(RecordsLeft(), 0);
    EXPECT_TRUE(sim::Unplug(kMono, sim::Removal::Normal));  // the attempts left it free
}

// Then the object still works, nothing stray reached the queue, and notifications come out
// in order with their context.
TEST_F(CBcamOpen, SynchronousRequestThatTimesOutIsCancelled) {
    Open(kMono);
    sim::InjectFault(sim::Fault(drv::kGetVideoMode).Hang());
    drv::VideoModeRecord out{};
    EXPECT_FALSE(camera_.TryTransmit(drv::kGetVideoMode, nullptr, 0, &out, sizeof out, 50));
    EXPECT_EQ(fennex::platform::LastError(), 121u);
    const auto log = sim::Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_FALSE(log[0].overlapped);  // a synchronous request never reaches the port
    EXPECT_EQ(log[1].code, sim::kCancelIo);

    std::uint32_t format = 9, error = 1;
    camera_.GetVideoMode(&format, nullptr, nullptr);
    EXPECT_EQ(format, 0u);
    int tag = 0;
    camera_.Notify(Bcam::kFunctionStop, nullptr);
    camera_.Notify(77, &tag);
    std::int32_t code = 0;
    void* context = &code;
    for (const auto& [expectedCode, expectedContext] :
         {std::pair<int, void*>{Bcam::kFunctionStop, nullptr}, std::pair<int, void*>{77, &tag}}) {
        camera_.WaitForCompletion(&code, &error, &context, 1000);
        EXPECT_EQ(code, expectedCode);
        EXPECT_EQ(error, 0u);
        EXPECT_EQ(context, expectedContext);
    }
    EXPECT_EQ(RecordsLeft(), 0);
    // The queue is empty now: the wait times out without touching the code.
    camera_.WaitForCompletion(&code, &error, &context, 0);
    EXPECT_EQ(error, 258u);
    EXPECT_EQ(context, nullptr);
    EXPECT_EQ(code, 77);
}

Edit Mode(std::uint32_t format, std::uint32_t mode, std::uint32_t rate) {
    return [=](sim::CameraDesc& d) { d.format = format, d.mode = mode, d.rate = rate; };
}
void Allocate(CBcam& c, std::uint32_t packet) { c.AllocateResources(2, 1000, packet); }
const Words kGetMode = {drv::kGetVideoMode};
// `call` once the object has been closed.
Call Closed(std::function<void(CBcam&)> call) {
    return [call](CBcam& c) {
        c.Close();
        call(c);
    };
}

// Probes, refusals of a closed object, failed requests with the caller's context, and the
// packet size of the current mode (the colour camera starts in 640 x 480 YUV 4:2:2 at 15 fps).
INSTANTIATE_TEST_SUITE_P(
    CBcam, CallTable,
    testing::Values(
        CallRow{"ProbeFormatOnly", {}, [](CBcam& c) { return c.IsVideoModeSupported(0); }, 1,
                {{drv::kFormatInquiry}}},
        CallRow{"ProbeUnsupportedFormatStopsAtOnce", {},
                [](CBcam& c) { return c.IsVideoModeSupported(3, 0, 3); }, 0, {{drv::kFormatInquiry}}},
        CallRow{"ProbeFormatAndMode", {}, [](CBcam& c) { return c.IsVideoModeSupported(0, 3); }, 1,
                {{drv::kFormatInquiry}, {drv::kModeInquiry, 0}}},
        CallRow{"ProbeUnsupportedRate", {}, [](CBcam& c) { return c.IsVideoModeSupported(0, 3, 0); }, 0,
                {{drv::kFormatInquiry}, {drv::kModeInquiry, 0}, {drv::kFrameRateInquiry, 0, 3}}},
        CallRow{"TransmitWhenClosed", {},
                Closed([](CBcam& c) { c.Transmit("X", drv::kGetVideoMode, nullptr, 0, nullptr, 0); }),
                0, {}, codes::kDeviceNotOpen, "CBcam::Transmit()"},
        CallRow{"GrabWhenClosed", {}, Closed([](CBcam& c) { c.GrabImageAsync(&c, 4, nullptr, true); }),
                0, {}, codes::kDeviceNotOpen, "CBcam::Transmit()"},
        CallRow{"CancelWhenClosed", {}, Closed([](CBcam& c) { c.Cancel(); }), 0, {}, codes::kDeviceNotOpen,
                "CBcam::Cancel()"},
        CallRow{"NotifyWhenClosed", {}, Closed([](CBcam& c) { c.Notify(1, nullptr); }), 0, {}, 6,
                "CBcam::Notify()"},
        CallRow{"SetVideoModeFails", {}, [](CBcam& c) { c.SetVideoMode(0, 5, 4); }, 0, {}, 31,
                "CBcam::SetVideoMode()", drv::kSetVideoMode},
        CallRow{"ContinuousShotFails", {}, [](CBcam& c) { c.ContinuousShot = false; }, 0, {}, 31,
                "CBcam::CContinuousShot::operator=()", drv::kShot},
        CallRow{"GetVideoModeFailsAtCompletion", {},
                [](CBcam& c) {
                    sim::InjectFault(sim::Fault(drv::kGetVideoMode).Late());
                    c.GetVideoMode(nullptr, nullptr, nullptr);
                },
                0, {kGetMode}, 31, "CBcam::GetVideoMode()"},
        CallRow{"PacketOfTheMode", {}, [](CBcam& c) { Allocate(c, 0); }, 0,
                {kGetMode, {drv::kAllocateResources, 1280, 2, 1000}}},
        CallRow{"GivenPacketWins", {}, [](CBcam& c) { Allocate(c, 512); }, 0,
                {kGetMode, {drv::kAllocateResources, 512, 2, 1000}}},
        CallRow{"PacketOfFormat7", Mode(7, 0, 0), [](CBcam& c) { Allocate(c, 0); }, 0,
                {kGetMode, {drv::kF7PacketGet, 0}, {drv::kAllocateResources, 4000, 2, 1000}}},
        CallRow{"NoPacketForFormat7Mode9", Mode(7, 9, 0), [](CBcam& c) { Allocate(c, 0); }, 0, {kGetMode},
                codes::kBadVideoMode, "Mode not defined"},
        CallRow{"NoPacketForFormat3", Mode(3, 0, 3), [](CBcam& c) { Allocate(c, 0); }, 0, {kGetMode},
                codes::kBadVideoFormat, "BcamUtility::BytePerPacket()"}),
    RowName());

// --- grabbing

using Bcam::BcamUtility;

class CBcamGrab : public SimCameras {};

// Grabs one frame with a one-shot into `frame` and returns what it was made of.
sim::FrameParams GrabOne(CBcam& camera, const std::string& name, std::vector<std::uint8_t>& frame) {
    int tag = 0;
    camera.GrabImageAsync(frame.data(), std::uint32_t(frame.size()), &tag, true);
    for (int i = 0; i < 2; ++i) {
        std::int32_t code = 0;
        std::uint32_t error = 1;
        void* done = nullptr;
        camera.WaitForCompletion(&code, &error, &done, 5000);
        EXPECT_EQ(error, 0u);
        if (code == Bcam::kFunctionGrab) {
            EXPECT_EQ(done, &tag);
        } else {
            EXPECT_EQ(code, Bcam::kFunctionOneShot);
        }
    }
    return sim::LastFrameParams(name);
}

// Pixels of a frame whose luminance is not the pattern's (every row, every seventh column).
int WrongPixels(const std::vector<std::uint8_t>& frame, std::uint32_t coding, std::uint32_t width,
                std::uint32_t height, const sim::FrameParams& params) {
    int wrong = 0;
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; x += 7)
            if (LumaAt(coding, frame.data(), std::size_t(y) * width + x) !=
                sim::ExpectedLuma(params, x, y))
                ++wrong;
    return wrong;
}

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

TEST_F(CBcamGrab, EachModeDeliversItsPatternInItsPixelCoding) {
    const std::string all = "ALLC&CODINGS#1";
    struct Row {
        const std::string& camera;
        std::uint32_t format, mode, rate;
        std::uint32_t width = 0, height = 0, coding = 0;  // Format 7 only
        bool realTime = false;
    };
    const Row rows[] = {
        {kMono, 0, 5, 5, 0, 0, 0, true},  // Mono8, paced at 60 fps
        {kColour, 0, 3, 3},               // YUV 4:2:2, the mode it starts in
        {kColour, 2, 4, 1},               // RGB8 1600 x 1200
        {all, 0, 0, 3},                   // YUV 4:4:4 160 x 120
        {all, 0, 2, 3},                   // YUV 4:1:1 640 x 480
        {all, 7, 2, 0, 320, 200, 6},      // RGB16
        {kColour, 7, 1, 0, 800, 600, 5},  // Mono16
    };
    sim::Plug(AllCodings());
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.format << "/" << row.mode);
        sim::SetPace(row.realTime ? sim::Pace::RealTime : sim::Pace::Fast);
        if (row.format == 7) {
            sim::EditCamera(row.camera, [&](sim::CameraDesc& d) {
                d.format = 7;
                d.mode = row.mode;
                d.format7[row.mode].width = row.width;
                d.format7[row.mode].height = row.height;
                d.format7[row.mode].coding = row.coding;
            });
        }
        Open(row.camera);
        std::uint32_t width = row.width, height = row.height, coding = row.coding;
        if (row.format != 7) {
            camera_.SetVideoMode(row.format, row.mode, row.rate);
            std::uint32_t format = 9, mode = 9, rate = 9;
            camera_.GetVideoMode(&format, &mode, &rate);
            EXPECT_EQ(rate, row.rate);
            const auto size = BcamUtility::ImageSize(format, mode);
            width = size.width;
            height = size.height;
            coding = static_cast<std::uint32_t>(BcamUtility::ColorMode(format, mode));
        }
        const std::uint32_t bytes =
            width * height * BcamUtility::BitsPerPixel(static_cast<Bcam::VideoColorMode>(coding)) / 8;
        camera_.AllocateResources(1, bytes);

        std::vector<std::uint8_t> frame(bytes + 16, 0xA5);
        const sim::FrameParams first = GrabOne(camera_, row.camera, frame);
        EXPECT_EQ(WrongPixels(frame, coding, width, height, first), 0);
        EXPECT_EQ(frame[bytes], 0xA5) << "wrote past the frame";
        // The colour of pixel (8, 1), in the coding's byte order.
        const std::uint8_t* f = frame.data();
        const sim::Colour px = sim::ExpectedColour(first, 8, 1);
        const std::uint32_t i = width + 8;
        switch (coding) {
        case 1: EXPECT_EQ(f[i / 4 * 6], px.u); EXPECT_EQ(f[i / 4 * 6 + 3], px.v); break;
        case 2: EXPECT_EQ(f[2 * i], px.u); EXPECT_EQ(f[2 * i + 2], px.v); break;
        case 3: EXPECT_EQ(f[3 * i], px.u); EXPECT_EQ(f[3 * i + 2], px.v); break;
        case 4: EXPECT_EQ(f[3 * i], px.r); EXPECT_EQ(f[3 * i + 2], px.b); break;
        case 5: EXPECT_EQ(f[2 * i + 1], px.y); break;
        case 6: EXPECT_EQ(f[6 * i], px.r); EXPECT_EQ(f[6 * i + 1], px.r); break;
        default: break;
        }
        // The next frame is the pattern moved on by one.
        const sim::FrameParams second = GrabOne(camera_, row.camera, frame);
        EXPECT_EQ(second.frame, first.frame + 1);
        EXPECT_EQ(WrongPixels(frame, coding, width, height, second), 0);
        camera_.Close();
        EXPECT_EQ(RecordsLeft(), 0);
    }
}

TEST_F(CBcamGrab, SettingsShowInThePicture) {
    Open(kMono);
    camera_.AllocateResources(1, 640 * 480);
    std::vector<std::uint8_t> frame(640 * 480);
    auto mean = [&] {
        EXPECT_EQ(WrongPixels(frame, 0, 640, 480, GrabOne(camera_, kMono, frame)), 0);
        std::uint64_t sum = 0;
        for (std::uint8_t v : frame) sum += v;
        return sum / frame.size();
    };
    const std::uint64_t start = mean();
    camera_.Brightness.Raw = 0;
    const std::uint64_t dark = mean();
    EXPECT_LT(dark, start);
    camera_.Brightness.Raw = 255;
    const std::uint64_t bright = mean();
    EXPECT_GT(bright, dark);
    camera_.Gain.Raw = 255;
    EXPECT_GT(mean(), bright);
    // A test image replaces the live picture.
    camera_.TestImage = 3;
    GrabOne(camera_, kMono, frame);
    EXPECT_EQ(frame[5 * 640 + 200], 200);
    EXPECT_EQ(frame[479 * 640 + 639], 639 & 0xFF);
}

TEST_F(CBcamGrab, ContinuousShotAndTriggerFillGrabsInOrderAndCancelEndsThemWith995) {
    Open(kColour);  // 640 x 480 YUV 4:2:2
    const std::uint32_t bytes = 640 * 480 * 2;
    camera_.AllocateResources(1, bytes);
    std::vector<std::vector<std::uint8_t>> frames(4, std::vector<std::uint8_t>(bytes));
    int tags[4] = {};
    // A grab queued while the camera streams as fast as it goes is filled before the queueing
    // call returns; a one-shot meanwhile is ignored, no frame is spent on it.
    camera_.ContinuousShot = true;
    const std::uint32_t sent = sim::FrameCount(kColour);
    camera_.GrabImageAsync(frames[0].data(), bytes, &tags[0], true);
    std::int32_t code = 0;
    std::uint32_t error = 1;
    void* done = nullptr;
    camera_.WaitForCompletion(&code, &error, &done, 0);
    EXPECT_EQ(code, Bcam::kFunctionGrab);
    EXPECT_EQ(done, &tags[0]);
    camera_.WaitForCompletion(&code, &error, nullptr, 0);
    EXPECT_EQ(code, Bcam::kFunctionOneShot);
    EXPECT_EQ(sim::FrameCount(kColour), sent + 1);
    camera_.ContinuousShot = false;

    for (int i = 0; i < 4; ++i) camera_.GrabImageAsync(frames[i].data(), bytes, &tags[i], false);
    camera_.ContinuousShot = true;
    for (int i = 0; i < 4; ++i) {
        camera_.WaitForCompletion(&code, &error, &done, 5000);
        EXPECT_EQ(error, 0u);
        EXPECT_EQ(code, Bcam::kFunctionGrab);
        EXPECT_EQ(done, &tags[i]);
    }
    // Each frame is the next one: pixel (0, 0) is the frame number mod 256 in the live pattern.
    for (int i = 1; i < 4; ++i) EXPECT_EQ(frames[i][1], (frames[i - 1][1] + 1) & 0xFF);
    camera_.ContinuousShot = false;
    EXPECT_FALSE(sim::Camera(kColour).continuous);

    // With the trigger on, each frame also waits for a trigger pulse.
    camera_.Trigger.OnOff = true;
    camera_.ContinuousShot = true;
    camera_.GrabImageAsync(frames[0].data(), bytes, &tags[0], false);
    camera_.WaitForCompletion(nullptr, &error, nullptr, 50);
    EXPECT_EQ(error, 258u);
    sim::FireTrigger(kColour);
    camera_.WaitForCompletion(nullptr, &error, &done, 5000);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(done, &tags[0]);
    camera_.ContinuousShot = false;

    // Grabs that no shot fills end with 995 when cancelled, still in order.
    for (int i = 0; i < 3; ++i) camera_.GrabImageAsync(frames[i].data(), bytes, &tags[i], false);
    camera_.Cancel();
    for (int i = 0; i < 3; ++i) {
        camera_.WaitForCompletion(nullptr, &error, &done, 5000);
        EXPECT_EQ(error, 995u);
        EXPECT_EQ(done, &tags[i]);
    }
    EXPECT_EQ(RecordsLeft(), 0);
}

TEST_F(CBcamGrab, RefusedRequestsReleaseTheirRecords) {
    Open(kMono);
    std::vector<std::uint8_t> frame(640 * 480);
    const auto size = std::uint32_t(frame.size());

    // No isochronous resources yet: the driver refuses the grab at once.
    auto raised = RaisedBy([&] { camera_.GrabImageAsync(frame.data(), size, nullptr, false); });
    EXPECT_EQ(raised.code, sim::kNoResources);
    EXPECT_EQ(raised.context, "CBcam::GrabImageAsync()");
    EXPECT_EQ(RecordsLeft(), 0);

    camera_.AllocateResources(1, size);
    raised = RaisedBy([&] { camera_.GrabImageAsync(frame.data(), 16, nullptr, false); });
    EXPECT_EQ(raised.code, 122u);
    EXPECT_EQ(RecordsLeft(), 0);
    // Neither refusal reached the completion port.
    std::uint32_t error = 0;
    camera_.WaitForCompletion(nullptr, &error, nullptr, 0);
    EXPECT_EQ(error, 258u);

    // A refused shot after a queued grab: the shot's record goes, the grab's stays queued
    // until Close.
    sim::HoldGrabs(kMono, true);
    sim::InjectFault(sim::Fault(drv::kShot));
    raised = RaisedBy([&] { camera_.GrabImageAsync(frame.data(), size, nullptr, true); });
    EXPECT_EQ(raised.code, 31u);
    EXPECT_EQ(raised.context, "CBcam::COneShot::SetAsync()");
    EXPECT_EQ(RecordsLeft(), 1);
    camera_.Close();
    EXPECT_EQ(RecordsLeft(), 0);
}

// Also when the driver ends the pending requests only after the close has returned: their
// records come back with the next open or close.
TEST_F(CBcamGrab, CloseWithGrabsPendingReleasesEveryRecord) {
    for (const bool endedLater : {false, true}) {
        SCOPED_TRACE(endedLater ? "ended after the close" : "ended by the close");
        Open(kMono);
        camera_.AllocateResources(1, 640 * 480);
        std::vector<std::vector<std::uint8_t>> frames(3, std::vector<std::uint8_t>(640 * 480));
        sim::HoldGrabs(kMono, true);
        for (auto& frame : frames)
            camera_.GrabImageAsync(frame.data(), std::uint32_t(frame.size()), nullptr, true);
        camera_.Notify(Bcam::kFunctionStop, nullptr);
        EXPECT_EQ(RecordsLeft(), 7);
        if (endedLater) sim::InjectFault(sim::Fault(sim::kOpCloseDevice).On(kMono).Late());
        camera_.Close();
        if (endedLater) {
            EXPECT_EQ(RecordsLeft(), 3);  // the grabs', still with the driver
            sim::EndClosedRequests();
            Open(kMono);
            camera_.Close();
        }
        EXPECT_EQ(RecordsLeft(), 0);
    }
}

}  // namespace
}  // namespace fennex::test
