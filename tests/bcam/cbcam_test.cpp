// Opening and closing a camera device object, and the request primitives on it.
#include "fixture.h"

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

}  // namespace
}  // namespace fennex::test
