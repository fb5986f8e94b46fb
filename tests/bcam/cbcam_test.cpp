// The camera device object: opening and closing, the request primitives, and grabbing with
// its resources, requests, completions and records in every pixel coding.
#include "fixture.h"

#include "bcam/bcam_utility.h"

namespace fennex::test {
namespace {

class CBcamOpen : public SimCameras {};

// A request the camera is sure to see, to learn which camera the object talks to.
std::size_t VideoModeReadsBy(const std::string& camera) {
    return sim::Requests(drv::kGetVideoMode, camera).size();
}

TEST_F(CBcamOpen, ByNameOrPathStoresTheShortNameAndClosesInEveryState) {
    CBcam never;
    EXPECT_NO_THROW(never.Close());
    struct Row {
        const char* what;
        std::string given;
    };
    const Row rows[] = {{"short name", kMono}, {"interface path", sim::InterfacePath(kMono)}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CBcam camera;
        camera.Open(row.given);
        EXPECT_TRUE(camera.IsOpen());
        EXPECT_EQ(camera.DeviceName(), kMono);
        EXPECT_EQ(CBcam::OpenDeviceCount(), 1u);
        sim::ClearRequests();
        camera.GetVideoMode(nullptr, nullptr, nullptr);
        EXPECT_EQ(VideoModeReadsBy(kMono), 1u);
        camera.Close();
        EXPECT_NO_THROW(camera.Close());
        EXPECT_FALSE(camera.IsOpen());
        EXPECT_EQ(camera.DeviceName(), kMono);
        EXPECT_EQ(CBcam::OpenDeviceCount(), 0u);
    }
}

TEST_F(CBcamOpen, SameNameIsRefusedAndTheDeviceStaysOpen) {
    CBcam camera;
    camera.Open(kMono);
    for (const std::string& again : {kMono, sim::InterfacePath(kMono)}) {
        const auto raised = RaisedBy([&] { camera.Open(again); });
        EXPECT_EQ(raised.code, codes::kAlreadyOpen);
        EXPECT_EQ(raised.context, "CBcam::Open");
        EXPECT_TRUE(camera.IsOpen());
        sim::ClearRequests();
        camera.GetVideoMode(nullptr, nullptr, nullptr);
        EXPECT_EQ(VideoModeReadsBy(kMono), 1u);
    }
    EXPECT_EQ(CBcam::OpenDeviceCount(), 1u);
}

TEST_F(CBcamOpen, AnotherNameClosesTheFirstDevice) {
    CBcam camera;
    camera.Open(kMono);
    camera.Open(kColour);
    EXPECT_EQ(camera.DeviceName(), kColour);
    EXPECT_EQ(CBcam::OpenDeviceCount(), 1u);
    sim::ClearRequests();
    camera.GetVideoMode(nullptr, nullptr, nullptr);
    EXPECT_EQ(VideoModeReadsBy(kColour), 1u);
    EXPECT_EQ(VideoModeReadsBy(kMono), 0u);
    // No handle is left on the first camera: nothing keeps it from being removed, as a handle
    // left open would.
    const fennex::platform::Handle stray = sim::Driver().OpenDevice(sim::InterfacePath(kColour));
    EXPECT_FALSE(sim::Unplug(kColour, sim::Removal::Normal));
    sim::Driver().CloseDevice(stray);
    EXPECT_TRUE(sim::Unplug(kMono, sim::Removal::Normal));
}

TEST_F(CBcamOpen, FailedOpenNamesTheGivenTextAndLeavesNothingBehind) {
    struct Row {
        const char* what;
        std::string name;
        std::uint32_t op;  // 0: no fault
        std::uint32_t error;
    };
    const Row rows[] = {{"device", kMono, sim::kOpOpenDevice, 2},
                        {"completion port", kMono, sim::kOpCreateCompletionPort, 8},
                        {"unknown camera", "NONE&SUCH#0", 0, 2}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.op) sim::InjectFault(sim::Fault(row.op, row.error));
        CBcam camera;
        const auto raised = RaisedBy([&] { camera.Open(row.name); });
        EXPECT_EQ(raised.code, row.error);
        EXPECT_EQ(raised.context, row.name);  // the name as it was passed
        camera.Close();
        EXPECT_FALSE(camera.IsOpen());
        EXPECT_EQ(CBcam::OpenDeviceCount(), 0u);
        sim::ClearFaults();
    }
    EXPECT_EQ(RecordsLeft(), 0);
    // The attempts left the camera free.
    EXPECT_TRUE(sim::Unplug(kMono, sim::Removal::Normal));
}

TEST_F(CBcamOpen, RequestsOnAClosedObjectAreRefused) {
    CBcam camera;
    camera.Open(kMono);
    camera.Close();
    std::uint32_t word = 0;
    std::vector<std::uint8_t> buffer(640 * 480);
    struct Row {
        const char* what;
        std::function<void()> call;
        std::uint32_t code;
        const char* context;
    };
    const Row rows[] = {
        {"Transmit", [&] { camera.Transmit("X", drv::kGetVideoMode, nullptr, 0, &word, 4); },
         codes::kDeviceNotOpen, "CBcam::Transmit()"},
        {"GrabImageAsync",
         [&] { camera.GrabImageAsync(buffer.data(), std::uint32_t(buffer.size()), nullptr, true); },
         codes::kDeviceNotOpen, "CBcam::Transmit()"},
        {"Cancel", [&] { camera.Cancel(); }, codes::kDeviceNotOpen, "CBcam::Cancel()"},
        {"Notify", [&] { camera.Notify(1, nullptr); }, 6, "CBcam::Notify()"},
    };
    sim::ClearRequests();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto raised = RaisedBy(row.call);
        EXPECT_EQ(raised.code, row.code);
        EXPECT_EQ(raised.context, row.context);
    }
    EXPECT_TRUE(sim::Requests().empty());
    EXPECT_EQ(RecordsLeft(), 0);
}

TEST_F(CBcamOpen, NotificationsComeOutInOrderWithTheirContext) {
    CBcam camera;
    camera.Open(kMono);
    int first = 0;
    camera.Notify(Bcam::kFunctionStop, nullptr);
    camera.Notify(77, &first);
    struct Expected {
        std::int32_t code;
        void* context;
    };
    for (const Expected& expected : {Expected{Bcam::kFunctionStop, nullptr}, Expected{77, &first}}) {
        std::int32_t code = 0;
        std::uint32_t error = 1;
        void* context = reinterpret_cast<void*>(1);
        camera.WaitForCompletion(&code, &error, &context, 1000);
        EXPECT_EQ(code, expected.code);
        EXPECT_EQ(error, 0u);
        EXPECT_EQ(context, expected.context);
    }
    EXPECT_EQ(RecordsLeft(), 0);
    // The queue is empty now: the wait times out without touching the code.
    std::int32_t code = 1234;
    std::uint32_t error = 0;
    void* context = &first;
    camera.WaitForCompletion(&code, &error, &context, 0);
    EXPECT_EQ(error, 258u);
    EXPECT_EQ(context, nullptr);
    EXPECT_EQ(code, 1234);
}

TEST_F(CBcamOpen, SynchronousRequestThatTimesOutIsCancelled) {
    CBcam camera;
    camera.Open(kMono);
    sim::InjectFault(sim::Fault(drv::kGetVideoMode).Hang());
    sim::ClearRequests();
    drv::VideoModeRecord out{};
    EXPECT_FALSE(camera.TryTransmit(drv::kGetVideoMode, nullptr, 0, &out, sizeof out, 50));
    EXPECT_EQ(fennex::platform::LastError(), 121u);
    const auto log = sim::Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].code, drv::kGetVideoMode);
    EXPECT_FALSE(log[0].overlapped);  // a synchronous request never reaches the port
    EXPECT_EQ(log[1].code, sim::kCancelIo);
    // The object still works afterwards and nothing stray reached the queue.
    std::uint32_t format = 9;
    camera.GetVideoMode(&format, nullptr, nullptr);
    EXPECT_EQ(format, 0u);
    std::uint32_t error = 0;
    camera.WaitForCompletion(nullptr, &error, nullptr, 0);
    EXPECT_EQ(error, 258u);
}

TEST_F(CBcamOpen, FailedRequestRaisesTheDriverErrorWithTheCallersContext) {
    CBcam camera;
    camera.Open(kMono);
    struct Row {
        const char* what;
        std::uint32_t code;
        bool atCompletion;
        std::function<void()> call;
        const char* context;
    };
    const Row rows[] = {
        {"set video mode", drv::kSetVideoMode, false, [&] { camera.SetVideoMode(0, 5, 4); },
         "CBcam::SetVideoMode()"},
        {"inquiry", drv::kFormatInquiry, false, [&] { camera.IsVideoModeSupported(0); },
         "CBcam::IsVideoModeSupported()"},
        {"continuous", drv::kShot, false, [&] { camera.ContinuousShot = false; },
         "CBcam::CContinuousShot::operator=()"},
        {"failed at completion", drv::kGetVideoMode, true,
         [&] { camera.GetVideoMode(nullptr, nullptr, nullptr); }, "CBcam::GetVideoMode()"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::Fault fault(row.code);
        if (row.atCompletion) fault.Late();
        sim::InjectFault(fault);
        const auto raised = RaisedBy(row.call);
        EXPECT_EQ(raised.code, 31u);
        EXPECT_EQ(raised.context, row.context);
        sim::ClearFaults();
    }
}

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
        const char* what;
        const std::string& camera;
        std::uint32_t format, mode, rate;
        std::uint32_t width = 0, height = 0, coding = 0;  // Format 7 only
        bool realTime = false;
    };
    const Row rows[] = {
        {"the mono camera in Mono8, paced at 60 fps", kMono, 0, 5, 5, 0, 0, 0, true},
        {"the colour camera as it starts", kColour, 0, 3, 3},
        {"RGB8 1600 x 1200", kColour, 2, 4, 1},
        {"YUV444 160 x 120", all, 0, 0, 3},
        {"YUV411 640 x 480", all, 0, 2, 3},
        {"Format 7 RGB16", all, 7, 2, 0, 320, 200, 6},
        {"Format 7 Mono16", kColour, 7, 1, 0, 800, 600, 5},
    };
    sim::Plug(AllCodings());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
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
        CBcam camera;
        camera.Open(row.camera);
        std::uint32_t width = row.width, height = row.height, coding = row.coding;
        if (row.format != 7) {
            camera.SetVideoMode(row.format, row.mode, row.rate);
            std::uint32_t format = 9, mode = 9, rate = 9;
            camera.GetVideoMode(&format, &mode, &rate);
            EXPECT_EQ(rate, row.rate);
            const auto size = BcamUtility::ImageSize(format, mode);
            width = size.width;
            height = size.height;
            coding = static_cast<std::uint32_t>(BcamUtility::ColorMode(format, mode));
        }
        const std::uint32_t bytes =
            width * height * BcamUtility::BitsPerPixel(static_cast<Bcam::VideoColorMode>(coding)) / 8;
        camera.AllocateResources(1, bytes);

        std::vector<std::uint8_t> frame(bytes + 16, 0xA5);
        const sim::FrameParams first = GrabOne(camera, row.camera, frame);
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
        const sim::FrameParams second = GrabOne(camera, row.camera, frame);
        EXPECT_EQ(second.frame, first.frame + 1);
        EXPECT_EQ(WrongPixels(frame, coding, width, height, second), 0);
        camera.FreeResources();
        camera.Close();
        EXPECT_EQ(RecordsLeft(), 0);
    }
}

TEST_F(CBcamGrab, SettingsShowInThePicture) {
    CBcam camera;
    camera.Open(kMono);
    camera.AllocateResources(1, 640 * 480);
    std::vector<std::uint8_t> frame(640 * 480);
    auto mean = [&] {
        EXPECT_EQ(WrongPixels(frame, 0, 640, 480, GrabOne(camera, kMono, frame)), 0);
        std::uint64_t sum = 0;
        for (std::uint8_t v : frame) sum += v;
        return sum / frame.size();
    };
    struct Step {
        const char* what;
        std::function<void()> set;
        int direction;  // against the previous frame
    } steps[] = {
        {"darker", [&] { camera.Brightness.Raw = 0; }, -1},
        {"brighter", [&] { camera.Brightness.Raw = 255; }, +1},
        {"more gain", [&] { camera.Gain.Raw = 255; }, +1},
    };
    std::uint64_t previous = mean();
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.set();
        const std::uint64_t now = mean();
        if (s.direction > 0) {
            EXPECT_GT(now, previous);
        } else {
            EXPECT_LT(now, previous);
        }
        previous = now;
    }
    // A test image replaces the live picture.
    camera.TestImage = 3;
    GrabOne(camera, kMono, frame);
    EXPECT_EQ(frame[5 * 640 + 200], 200);
    EXPECT_EQ(frame[479 * 640 + 639], 639 & 0xFF);
}

TEST_F(CBcamGrab, ContinuousShotAndTriggerFillGrabsInOrderAndCancelEndsThemWith995) {
    CBcam camera;
    camera.Open(kColour);  // 640 x 480 YUV 4:2:2
    const std::uint32_t bytes = 640 * 480 * 2;
    camera.AllocateResources(1, bytes);
    std::vector<std::vector<std::uint8_t>> frames(4, std::vector<std::uint8_t>(bytes));
    int tags[4] = {};
    // A grab queued while the camera streams as fast as it goes is filled before the queueing
    // call returns; a one-shot meanwhile is ignored, no frame is spent on it.
    camera.ContinuousShot = true;
    const std::uint32_t sent = sim::FrameCount(kColour);
    camera.GrabImageAsync(frames[0].data(), bytes, &tags[0], true);
    std::int32_t code = 0;
    std::uint32_t error = 1;
    void* done = nullptr;
    camera.WaitForCompletion(&code, &error, &done, 0);
    EXPECT_EQ(code, Bcam::kFunctionGrab);
    EXPECT_EQ(done, &tags[0]);
    camera.WaitForCompletion(&code, &error, nullptr, 0);
    EXPECT_EQ(code, Bcam::kFunctionOneShot);
    EXPECT_EQ(sim::FrameCount(kColour), sent + 1);
    camera.ContinuousShot = false;

    for (int i = 0; i < 4; ++i) camera.GrabImageAsync(frames[i].data(), bytes, &tags[i], false);
    camera.ContinuousShot = true;
    for (int i = 0; i < 4; ++i) {
        camera.WaitForCompletion(&code, &error, &done, 5000);
        EXPECT_EQ(error, 0u);
        EXPECT_EQ(code, Bcam::kFunctionGrab);
        EXPECT_EQ(done, &tags[i]);
    }
    // Each frame is the next one: pixel (0, 0) is the frame number mod 256 in the live pattern.
    for (int i = 1; i < 4; ++i) EXPECT_EQ(frames[i][1], (frames[i - 1][1] + 1) & 0xFF);
    camera.ContinuousShot = false;
    EXPECT_FALSE(sim::Camera(kColour).continuous);

    // With the trigger on, each frame also waits for a trigger pulse.
    camera.Trigger.OnOff = true;
    camera.ContinuousShot = true;
    camera.GrabImageAsync(frames[0].data(), bytes, &tags[0], false);
    camera.WaitForCompletion(nullptr, &error, nullptr, 50);
    EXPECT_EQ(error, 258u);
    sim::FireTrigger(kColour);
    camera.WaitForCompletion(nullptr, &error, &done, 5000);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(done, &tags[0]);
    camera.ContinuousShot = false;

    // Grabs that no shot fills end with 995 when cancelled, still in order.
    for (int i = 0; i < 3; ++i) camera.GrabImageAsync(frames[i].data(), bytes, &tags[i], false);
    camera.Cancel();
    for (int i = 0; i < 3; ++i) {
        camera.WaitForCompletion(nullptr, &error, &done, 5000);
        EXPECT_EQ(error, 995u);
        EXPECT_EQ(done, &tags[i]);
    }
    EXPECT_EQ(RecordsLeft(), 0);
}

TEST_F(CBcamGrab, RefusedRequestsReleaseTheirRecords) {
    CBcam camera;
    camera.Open(kMono);
    std::vector<std::uint8_t> frame(640 * 480);
    const auto size = std::uint32_t(frame.size());

    // No isochronous resources yet: the driver refuses the grab at once.
    auto raised = RaisedBy([&] { camera.GrabImageAsync(frame.data(), size, nullptr, false); });
    EXPECT_EQ(raised.code, sim::kNoResources);
    EXPECT_EQ(raised.context, "CBcam::GrabImageAsync()");
    EXPECT_EQ(RecordsLeft(), 0);

    camera.AllocateResources(1, size);
    raised = RaisedBy([&] { camera.GrabImageAsync(frame.data(), 16, nullptr, false); });
    EXPECT_EQ(raised.code, 122u);
    EXPECT_EQ(RecordsLeft(), 0);
    // Neither refusal reached the completion port.
    std::uint32_t error = 0;
    camera.WaitForCompletion(nullptr, &error, nullptr, 0);
    EXPECT_EQ(error, 258u);

    // A refused shot after a queued grab: the shot's record goes, the grab's stays queued
    // until Close.
    sim::HoldGrabs(kMono, true);
    sim::InjectFault(sim::Fault(drv::kShot));
    raised = RaisedBy([&] { camera.GrabImageAsync(frame.data(), size, nullptr, true); });
    EXPECT_EQ(raised.code, 31u);
    EXPECT_EQ(raised.context, "CBcam::COneShot::SetAsync()");
    EXPECT_EQ(RecordsLeft(), 1);
    camera.Close();
    EXPECT_EQ(RecordsLeft(), 0);
}

// Also when the driver ends the pending requests only after the close has returned: their
// records come back with the next open or close.
TEST_F(CBcamGrab, CloseWithGrabsPendingReleasesEveryRecord) {
    for (const bool endedLater : {false, true}) {
        SCOPED_TRACE(endedLater ? "ended after the close" : "ended by the close");
        CBcam camera;
        camera.Open(kMono);
        camera.AllocateResources(1, 640 * 480);
        std::vector<std::vector<std::uint8_t>> frames(3, std::vector<std::uint8_t>(640 * 480));
        sim::HoldGrabs(kMono, true);
        for (auto& frame : frames)
            camera.GrabImageAsync(frame.data(), std::uint32_t(frame.size()), nullptr, true);
        camera.Notify(Bcam::kFunctionStop, nullptr);
        EXPECT_EQ(RecordsLeft(), 7);
        if (endedLater) sim::InjectFault(sim::Fault(sim::kOpCloseDevice).On(kMono).Late());
        camera.Close();
        if (endedLater) {
            EXPECT_EQ(RecordsLeft(), 3);  // the grabs', still with the driver
            sim::EndClosedRequests();
            camera.Open(kMono);
            camera.Close();
        }
        EXPECT_EQ(RecordsLeft(), 0);
    }
}

TEST_F(CBcamGrab, PacketSizeFollowsTheCurrentMode) {
    struct Row {
        const char* what;
        bool colourCamera;
        std::uint32_t format, mode, rate;
        std::uint32_t given;     // 0: from the mode
        std::uint32_t expected;  // 0: the camera's Format 7 packet size
        std::uint32_t code = 0;  // a refusal: nothing is sent
        const char* context = "";
    };
    const Row rows[] = {
        {"mono 640 x 480 at 30 fps", false, 0, 5, 4, 0, 1280},
        {"given packet size wins", false, 0, 5, 4, 512, 512},
        {"format 7 mode 0", true, 7, 0, 0, 0, 0},
        {"format 7 mode 9", false, 7, 9, 0, 0, 0, codes::kBadVideoMode, "Mode not defined"},
        {"format 3", false, 3, 0, 3, 0, 0, codes::kBadVideoFormat, "BcamUtility::BytePerPacket()"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string& name = row.colourCamera ? kColour : kMono;
        sim::EditCamera(name, [&](sim::CameraDesc& c) {
            c.format = row.format;
            c.mode = row.mode;
            c.rate = row.rate;
        });
        CBcam camera;
        camera.Open(name);
        sim::ClearRequests();
        const auto raised = RaisedBy([&] { camera.AllocateResources(2, 1000, row.given); });
        EXPECT_EQ(raised.code, row.code);
        EXPECT_EQ(raised.context, row.context);
        const auto sent = sim::Requests(drv::kAllocateResources, name);
        if (row.code) {
            EXPECT_TRUE(sent.empty());
            continue;
        }
        ASSERT_EQ(sent.size(), 1u);
        const std::uint32_t expected =
            row.expected ? row.expected : sim::Camera(name).format7[row.mode].bytesPerPacket;
        EXPECT_NE(expected, 0u);
        EXPECT_EQ(sent[0].in, (std::vector<std::uint32_t>{expected, 2, 1000}));
        camera.FreeResources();
    }
}

}  // namespace
}  // namespace fennex::test
