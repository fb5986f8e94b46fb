// Grabbing through the device object alone: resources, grab requests, completions, records.
#include <gtest/gtest.h>

#include <vector>

#include "bcam/bcam_utility.h"
#include "bcam/cbcam.h"
#include "bcam/driver_contract.h"
#include "cbcam_fixture.h"
#include "errors/error_codes.h"
#include "sim/sim.h"

namespace {

using Bcam::BcamUtility;
using Bcam::CBcam;
using Bcam::VideoColorMode;
using fennex::test::RaisedBy;
namespace driver = Bcam::driver;
namespace codes = Bcam::codes;

class CBcamGrab : public fennex::test::SimCameras {};

// Waits for the grab that carries `context`, passing over the one-shot completions.
void WaitForGrab(CBcam& camera, void* context, std::uint32_t* error) {
    for (int i = 0; i < 4; ++i) {
        std::int32_t code = 0;
        void* done = nullptr;
        camera.WaitForCompletion(&code, error, &done, 5000);
        if (*error != 0 || code == Bcam::kFunctionGrab) {
            EXPECT_EQ(done, context);
            return;
        }
        EXPECT_EQ(code, Bcam::kFunctionOneShot);
    }
    ADD_FAILURE() << "no grab completion";
}

TEST_F(CBcamGrab, EveryBuiltInCameraDeliversItsPattern) {
    for (const std::string& name : {mono, colour}) {
        SCOPED_TRACE(name);
        CBcam camera;
        camera.Open(name);
        std::uint32_t format = 0, mode = 0, rate = 0;
        camera.GetVideoMode(&format, &mode, &rate);
        const auto size = BcamUtility::ImageSize(format, mode);
        const VideoColorMode colorMode = BcamUtility::ColorMode(format, mode);
        const std::uint32_t bytes =
            size.width * size.height * BcamUtility::BitsPerPixel(colorMode) / 8;
        camera.AllocateResources(1, bytes);

        for (int shot = 0; shot < 2; ++shot) {
            std::vector<std::uint8_t> frame(bytes, 0xA5);
            int tag = shot;
            camera.GrabImageAsync(frame.data(), bytes, &tag, true);
            std::uint32_t error = 1;
            WaitForGrab(camera, &tag, &error);
            ASSERT_EQ(error, 0u);
            const sim::FrameParams params = sim::LastFrameParams(name);
            std::size_t wrong = 0;
            for (std::uint32_t y = 0; y < size.height; ++y)
                for (std::uint32_t x = 0; x < size.width; ++x)
                    if (fennex::test::LumaAt(static_cast<std::uint32_t>(colorMode), frame.data(),
                                             std::size_t(y) * size.width + x) !=
                        sim::ExpectedLuma(params, x, y))
                        ++wrong;
            EXPECT_EQ(wrong, 0u) << "frame " << params.frame;
        }
        camera.FreeResources();
        camera.Close();
        EXPECT_EQ(RecordsLeft(), 0);
    }
}

TEST_F(CBcamGrab, GrabRequestCarriesTheBufferAndTheShotFollows) {
    CBcam camera;
    camera.Open(mono);
    camera.AllocateResources(1, 640 * 480);
    std::vector<std::uint8_t> frame(640 * 480);
    sim::HoldGrabs(mono, true);
    sim::ClearRequests();
    camera.GrabImageAsync(frame.data(), std::uint32_t(frame.size()), nullptr, true);
    const auto log = sim::Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].code, driver::kGrabImage);
    EXPECT_TRUE(log[0].overlapped);
    EXPECT_EQ(log[0].outSize, frame.size());
    EXPECT_EQ(log[1].code, driver::kShot);
    EXPECT_TRUE(log[1].overlapped);
    EXPECT_EQ(log[1].in, (std::vector<std::uint32_t>{2, 0}));

    // Cancelled grabs come back failed, with their record released.
    camera.Cancel();
    bool sawGrab = false;
    for (int i = 0; i < 2; ++i) {
        std::int32_t code = 0;
        std::uint32_t error = 0;
        camera.WaitForCompletion(&code, &error, nullptr, 1000);
        if (code == Bcam::kFunctionGrab) {
            sawGrab = true;
            EXPECT_EQ(error, 995u);
        }
    }
    EXPECT_TRUE(sawGrab);
    EXPECT_EQ(RecordsLeft(), 0);
}

TEST_F(CBcamGrab, RefusedRequestsReleaseTheirRecords) {
    CBcam camera;
    camera.Open(mono);
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

    // A refused shot after a queued grab: the shot's record goes, the grab's stays queued
    // until Close.
    sim::HoldGrabs(mono, true);
    sim::InjectFault(sim::Fault(driver::kShot));
    raised = RaisedBy([&] { camera.GrabImageAsync(frame.data(), size, nullptr, true); });
    EXPECT_EQ(raised.code, 31u);
    EXPECT_EQ(raised.context, "CBcam::COneShot::SetAsync()");
    EXPECT_EQ(RecordsLeft(), 1);
    camera.Close();
    EXPECT_EQ(RecordsLeft(), 0);
}

// Released records are reused, so that grabbing takes nothing from the heap; a reused record
// must not carry the outcome or event of its last request into the next one.
TEST_F(CBcamGrab, AReusedRecordStartsClean) {
    int first = 0;
    Bcam::BcamOL* record = CBcam::GetBcamOL(Bcam::kFunctionGrab, &first);
    record->ov = {5, 640, 1, 2, reinterpret_cast<fennex::platform::Handle>(0x11)};
    CBcam::ReleaseBcamOL(record);
    Bcam::BcamOL* again = CBcam::GetBcamOL(Bcam::kFunctionOneShot, nullptr);
    EXPECT_EQ(again, record);
    EXPECT_EQ(again->ov.Internal, 0u);
    EXPECT_EQ(again->ov.InternalHigh, 0u);
    EXPECT_EQ(again->ov.Offset | again->ov.OffsetHigh, 0u);
    EXPECT_EQ(again->ov.hEvent, nullptr);
    EXPECT_EQ(again->functionCode, Bcam::kFunctionOneShot);
    EXPECT_EQ(again->context, nullptr);
    CBcam::ReleaseBcamOL(again);
    EXPECT_EQ(RecordsLeft(), 0);
}

TEST_F(CBcamGrab, CloseWithGrabsPendingReleasesEveryRecord) {
    CBcam camera;
    camera.Open(mono);
    camera.AllocateResources(1, 640 * 480);
    std::vector<std::vector<std::uint8_t>> frames(3, std::vector<std::uint8_t>(640 * 480));
    sim::HoldGrabs(mono, true);
    for (auto& frame : frames)
        camera.GrabImageAsync(frame.data(), std::uint32_t(frame.size()), nullptr, true);
    camera.Notify(Bcam::kFunctionStop, nullptr);
    EXPECT_EQ(RecordsLeft(), 7);
    camera.Close();
    EXPECT_EQ(RecordsLeft(), 0);
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
        {"mono 640 x 480 at 60 fps", false, 0, 5, 5, 0, 2560},
        {"800 x 600 RGB at 15 fps", true, 1, 1, 3, 0, 3000},
        {"1600 x 1200 RGB at 3.75 fps", true, 2, 4, 1, 0, 3000},
        {"given packet size wins", false, 0, 5, 4, 512, 512},
        {"format 7 mode 0", true, 7, 0, 0, 0, 0},
        {"format 7 mode 9", false, 7, 9, 0, 0, 0, codes::kBadVideoMode, "Mode not defined"},
        {"format 0 at 1.875 fps", false, 0, 5, 0, 0, 0, codes::kBadVideoMode,
         "BcamUtility::BytePerPacket()"},
        {"format 3", false, 3, 0, 3, 0, 0, codes::kBadVideoFormat, "BcamUtility::BytePerPacket()"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string& name = row.colourCamera ? colour : mono;
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
        const auto sent = sim::Requests(driver::kAllocateResources, name);
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
