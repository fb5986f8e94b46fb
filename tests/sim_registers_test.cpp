// The simulated cameras' registers, as the feature classes and CBcam see them through requests.
#include <cstring>

#include "sim_support.h"

namespace {

using namespace simtest;
namespace drv = Bcam::driver;

class SimRegisters : public SimTest {};

struct FieldCase {
    const char* what;
    const std::string* camera;
    std::uint32_t feature, before, quadlet, mask, after;
};

TEST_F(SimRegisters, FeatureSetChangesOnlyTheMaskedField) {
    const FieldCase cases[] = {
        {"value", &kColour, drv::kHue, drv::kCtlOnOff | 100, 200, 0x001, drv::kCtlOnOff | 200},
        {"bits above the value dropped", &kMono, drv::kBrightness, 7, 0xFFFFF0C8, 0x001, 200},
        {"U/B alone", &kColour, drv::kWhiteBalance, drv::kCtlOnOff | 512u << 12 | 512, 300u << 12,
         0x040, drv::kCtlOnOff | 300u << 12 | 512},
        {"V/R alone, U/B bits dropped", &kColour, drv::kWhiteBalance, 512u << 12 | 512,
         0x00FFF000 | 400, 0x080, 512u << 12 | 400},
        {"trigger mode", &kColour, drv::kTrigger, drv::kCtlOnOff | 5, 0x00030000, 0x200,
         drv::kCtlOnOff | 0x00030000 | 5},
        {"trigger polarity", &kColour, drv::kTrigger, 0x00010000, 1u << 24, 0x004,
         1u << 24 | 0x00010000},
        {"trigger parameter, mode bits dropped", &kColour, drv::kTrigger, 0x00020000, 0xFFFF0123,
         0x400, 0x00020123},
        {"switched off, value kept", &kColour, drv::kHue, drv::kCtlOnOff | 99, 0, 0x008, 99},
        {"automatic mode", &kMono, drv::kShutter, drv::kCtlOnOff | 500, drv::kCtlAutoMode, 0x002,
         drv::kCtlOnOff | drv::kCtlAutoMode | 500},
        {"a field without its capability is read-only", &kMono, drv::kBrightness, 128,
         drv::kCtlAutoMode, 0x002, 128},
        {"one push clears itself", &kMono, drv::kShutter, 500, 1u << 26, 0x010, 500},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(c.what);
        sim::EditCamera(*c.camera, [&](sim::CameraDesc& d) { d.feature(c.feature).control = c.before; });
        Device dev(*c.camera);
        ASSERT_TRUE(dev.Valid());
        EXPECT_EQ(dev.Transmit(drv::kFeatureSet, {c.feature, c.quadlet, c.mask}), 0u);
        EXPECT_EQ(dev.Control(c.feature), c.after);
        EXPECT_EQ(sim::Camera(*c.camera).feature(c.feature).control, c.after);
    }
}

struct RefusalCase {
    const char* what;
    const std::string* camera;
    std::uint32_t code;
    std::vector<std::uint32_t> in;
    std::uint32_t error;
};

TEST_F(SimRegisters, RefusedSetsLeaveTheCameraAsItWas) {
    const RefusalCase cases[] = {
        {"value above the maximum", &kMono, drv::kFeatureSet, {drv::kBrightness, 256, 0x001}, 87},
        {"value below the minimum", &kMono, drv::kFeatureSet, {drv::kShutter, 0, 0x001}, 87},
        {"feature the camera lacks", &kMono, drv::kFeatureSet, {drv::kHue, 1, 0x001}, sim::kNotSupported},
        {"mask of another feature kind", &kMono, drv::kFeatureSet, {drv::kBrightness, 1, 0x040}, 87},
        {"no mask", &kMono, drv::kFeatureSet, {drv::kBrightness, 1, 0}, 87},
        {"trigger mode the camera lacks", &kMono, drv::kFeatureSet, {drv::kTrigger, 0x00020000, 0x200}, 87},
        {"no such feature code", &kMono, drv::kFeatureSet, {70, 1, 0x001}, 87},
        {"get of a missing feature", &kMono, drv::kFeatureGet, {drv::kWhiteBalance, 0}, sim::kNotSupported},
        {"unsupported frame rate", &kMono, drv::kSetVideoMode, {0, 6, 5}, 87},
        {"unsupported format", &kMono, drv::kSetVideoMode, {1, 0, 0}, 87},
        {"format 0 mode 7", &kColour, drv::kSetVideoMode, {0, 7, 1}, 87},
        {"missing Format 7 mode", &kColour, drv::kSetVideoMode, {7, 2, 0}, 87},
        {"test image the camera lacks", &kMono, drv::kTestImageSet, {5u << 13}, 87},
        {"Format 7 region past the sensor", &kColour, drv::kF7ImageSet, {0, 0, 0, 1604, 1200, 12}, 87},
        {"Format 7 size off the unit", &kColour, drv::kF7ImageSet, {0, 0, 0, 641, 480, 12}, 87},
        {"Format 7 position off the unit", &kColour, drv::kF7ImageSet, {0, 3, 0, 0, 0, 3}, 87},
        {"Format 7 unknown field mask", &kColour, drv::kF7ImageSet, {0, 0, 0, 640, 480, 5}, 87},
        {"Format 7 coding the mode lacks", &kColour, drv::kF7ColorCodingSet, {0, 1}, 87},
        {"Format 7 packet off its unit", &kColour, drv::kF7BytePerPacketSet, {0, 2001}, 87},
        {"Format 7 packet above the maximum", &kColour, drv::kF7BytePerPacketSet, {0, 4004}, 87},
        {"Format 7 mode the camera lacks", &kColour, drv::kF7ColorCodingSet, {3, 0}, sim::kNotSupported},
        {"Format 7 on a camera without it", &kMono, drv::kF7BytePerPacketSet, {0, 400}, sim::kNotSupported},
        {"unknown shot action", &kMono, drv::kShot, {3, 0}, 87},
        {"resources without packets", &kMono, drv::kAllocateResources, {0, 1, 307200}, 87},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.what);
        const sim::CameraDesc before = sim::Camera(*c.camera);
        Device dev(*c.camera);
        std::uint32_t out[4] = {};
        EXPECT_EQ(dev.Transmit(c.code, c.in, out, sizeof out), c.error);
        const sim::CameraDesc after = sim::Camera(*c.camera);
        for (std::uint32_t f = 51; f <= 63; ++f) EXPECT_EQ(after.feature(f).control, before.feature(f).control);
        EXPECT_EQ(after.format, before.format);
        EXPECT_EQ(after.mode, before.mode);
        EXPECT_EQ(after.testImage, before.testImage);
        for (int m = 0; m < 8; ++m) {
            EXPECT_EQ(after.format7[m].width, before.format7[m].width);
            EXPECT_EQ(after.format7[m].coding, before.format7[m].coding);
            EXPECT_EQ(after.format7[m].bytesPerPacket, before.format7[m].bytesPerPacket);
        }
    }
}

struct ReplyCase {
    const char* what;
    const std::string* camera;
    std::uint32_t code;
    std::vector<std::uint32_t> in;
    std::uint32_t reply;
};

TEST_F(SimRegisters, InquiriesAnswerOneBitPerValueFromTheTop) {
    const ReplyCase cases[] = {
        {"mono formats", &kMono, drv::kFormatInquiry, {}, 0x80000000},
        {"colour formats 0, 1, 2 and 7", &kColour, drv::kFormatInquiry, {}, 0xE1000000},
        {"mono format 0 modes 5, 6", &kMono, drv::kModeInquiry, {0}, 0x06000000},
        {"mono format 1 none", &kMono, drv::kModeInquiry, {1}, 0},
        {"colour format 2 modes 0, 1, 3, 4", &kColour, drv::kModeInquiry, {2}, 0xD8000000},
        {"colour format 7 modes 0, 1", &kColour, drv::kModeInquiry, {7}, 0xC0000000},
        {"mono 0/5 rates 1..5", &kMono, drv::kFrameRateInquiry, {0, 5}, 0x7C000000},
        {"mono 0/6 rates 1..4", &kMono, drv::kFrameRateInquiry, {0, 6}, 0x78000000},
        {"colour 2/4 rates 0, 1", &kColour, drv::kFrameRateInquiry, {2, 4}, 0xC0000000},
        {"format 7 has no rates", &kColour, drv::kFrameRateInquiry, {7, 0}, 0},
        {"missing feature reads as absent", &kMono, drv::kFeatureInquiry, {drv::kWhiteBalance}, 0},
        {"mono gain: presence, read-out, auto, manual, 0..255", &kMono, drv::kFeatureInquiry,
         {drv::kGain}, 0x8B0000FF},
        {"mono shutter: abs, one push, on/off, 1..4095", &kMono, drv::kFeatureInquiry,
         {drv::kShutter}, 0xDF001FFF},
        {"colour trigger: on/off, polarity, modes 0..3", &kColour, drv::kFeatureInquiry,
         {drv::kTrigger}, 0x8E00F000},
        {"mono trigger: modes 0, 1, no polarity", &kMono, drv::kFeatureInquiry, {drv::kTrigger}, 0x8C00C000},
        {"mono test images 1..4, live selected", &kMono, drv::kTestImageGet, {}, 0x80F00000},
        {"colour test images 1..7", &kColour, drv::kTestImageGet, {}, 0x80FE0000},
        {"colour Format 7 mode 1 coding Mono8", &kColour, drv::kF7ColorCodingGet, {1}, 0},
    };
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(c.what);
        Device dev(*c.camera);
        std::uint32_t reply = 0xDEADBEEF;
        EXPECT_EQ(dev.Read(c.code, c.in, &reply), 0u);
        EXPECT_EQ(reply, c.reply);
    }
}

TEST_F(SimRegisters, VideoModeSetIsReadBack) {
    struct Case {
        const std::string* camera;
        std::uint32_t format, mode, rate;
    } cases[] = {{&kMono, 0, 6, 1}, {&kColour, 2, 4, 0}, {&kColour, 1, 0, 4},
                 {&kColour, 7, 1, 0xFFFFFFFF}};
    for (const Case& c : cases) {
        Device dev(*c.camera);
        EXPECT_EQ(dev.Transmit(drv::kSetVideoMode, {c.format, c.mode, c.rate}), 0u);
        drv::VideoModeRecord got{};
        EXPECT_EQ(dev.Transmit(drv::kGetVideoMode, {}, &got, sizeof got), 0u);
        EXPECT_EQ(got.format, c.format);
        EXPECT_EQ(got.mode, c.mode);
        EXPECT_EQ(got.rate, c.rate);
    }
}

TEST_F(SimRegisters, WrongRecordSizesAreRefused) {
    struct Case {
        const char* what;
        std::uint32_t code, inWords, outSize, error;
    } cases[] = {
        {"feature get with one word", drv::kFeatureGet, 1, 4, 87},
        {"feature set with two words", drv::kFeatureSet, 2, 0, 87},
        {"format inquiry with input", drv::kFormatInquiry, 1, 4, 87},
        {"feature inquiry without room", drv::kFeatureInquiry, 1, 2, 122},
        {"camera string into 100 bytes", drv::kCameraString, 1, 100, 122},
        {"driver version into 19 bytes", drv::kDriverVersion, 0, 19, 122},
        {"Format 7 inquiry into 52 bytes", drv::kF7Inquiry, 1, 52, 122},
        {"unknown control code", 0x80102100, 0, 0, 1},
        {"larger output is fine", drv::kGetVideoMode, 0, 64, 0},
    };
    Device dev(kColour);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint32_t> in(c.inWords, drv::kBrightness);
        std::vector<std::uint8_t> out(c.outSize + 1);
        EXPECT_EQ(dev.Transmit(c.code, in, out.data(), c.outSize), c.error);
    }
}

TEST_F(SimRegisters, TestImageSelectionAndCamerasWithout) {
    Device dev(kMono);
    EXPECT_EQ(dev.Transmit(drv::kTestImageSet, {3u << 13}), 0u);
    std::uint32_t q = 0;
    EXPECT_EQ(dev.Read(drv::kTestImageGet, {}, &q), 0u);
    EXPECT_EQ(q, 0x80F00000u | 3u << 13);
    EXPECT_EQ(dev.Transmit(drv::kTestImageSet, {0}), 0u);
    EXPECT_EQ(sim::Camera(kMono).testImage, 0u);

    sim::EditCamera(kMono, [](sim::CameraDesc& d) { d.hasTestImages = false; });
    EXPECT_EQ(dev.Read(drv::kTestImageGet, {}, &q), 0xEFE00018u);
    EXPECT_EQ(dev.Transmit(drv::kTestImageSet, {0}), 0xEFE00018u);
}

TEST_F(SimRegisters, IdentityStringsAndDriverVersion) {
    Device dev(kColour);
    drv::NodeIdOut id{};
    EXPECT_EQ(dev.Transmit(drv::kNodeId, {}, &id, sizeof id), 0u);
    EXPECT_EQ(id.high, 0x00305300u);
    EXPECT_EQ(id.low, 0x00A20002u);
    struct Case {
        std::uint32_t selector;
        const char* text;
    } cases[] = {{0, "Fennex Simulation"}, {1, "SIM-1600C"}, {2, "2.0.1"}};
    for (const Case& c : cases) {
        char text[256];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(dev.Transmit(drv::kCameraString, {c.selector}, text, sizeof text), 0u);
        EXPECT_STREQ(text, c.text);
    }
    char text[256];
    EXPECT_EQ(dev.Transmit(drv::kCameraString, {3}, text, sizeof text), 87u);
    char version[20];
    EXPECT_EQ(dev.Transmit(drv::kDriverVersion, {}, version, sizeof version), 0u);
    EXPECT_STREQ(version, "1.6.2.0");
}

TEST_F(SimRegisters, FormatSevenRegionColourAndPacket) {
    Device dev(kColour);
    drv::F7InquiryOut inq{};
    EXPECT_EQ(dev.Transmit(drv::kF7Inquiry, {0}, &inq, sizeof inq), 0u);
    EXPECT_EQ(inq.words[0], 1600u);
    EXPECT_EQ(inq.words[1], 1200u);

    struct Step {
        std::vector<std::uint32_t> set;
        drv::F7ImageOut image;
    } steps[] = {
        // A move cuts the size to what is left of the sensor.
        {{0, 16, 8, 0, 0, 3}, {16, 8, 1584, 1192}},
        {{0, 0, 0, 640, 480, 12}, {16, 8, 640, 480}},
        {{0, 0, 0, 0, 0, 3}, {0, 0, 640, 480}},
        {{0, 960, 720, 640, 480, 15}, {960, 720, 640, 480}},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(dev.Transmit(drv::kF7ImageSet, s.set), 0u);
        drv::F7ImageOut got{};
        EXPECT_EQ(dev.Transmit(drv::kF7ImageGet, {0}, &got, sizeof got), 0u);
        EXPECT_EQ(got.left, s.image.left);
        EXPECT_EQ(got.top, s.image.top);
        EXPECT_EQ(got.width, s.image.width);
        EXPECT_EQ(got.height, s.image.height);
    }
    EXPECT_EQ(dev.Transmit(drv::kF7ColorCodingSet, {0, 4}), 0u);
    std::uint32_t coding = 9;
    EXPECT_EQ(dev.Read(drv::kF7ColorCodingGet, {0}, &coding), 0u);
    EXPECT_EQ(coding, 4u);
    EXPECT_EQ(dev.Transmit(drv::kF7BytePerPacketSet, {0, 2400}), 0u);
    drv::F7PacketOut packet{};
    EXPECT_EQ(dev.Transmit(drv::kF7PacketGet, {0}, &packet, sizeof packet), 0u);
    EXPECT_EQ(packet.words[5], 2400u);
    EXPECT_EQ(packet.words[3], 640u * 480 * 3);  // bytes per frame in RGB8
    EXPECT_EQ(packet.words[4], (640u * 480 * 3 + 2399) / 2400);
}

TEST_F(SimRegisters, RequestsAreLoggedWithTheirWords) {
    Device dev(kMono);
    sim::ClearRequests();
    EXPECT_EQ(dev.Transmit(drv::kFeatureSet, {drv::kBrightness, 5000 & 0xFFF, 1}), 87u);
    std::uint32_t q;
    dev.Read(drv::kFeatureInquiry, {drv::kGain}, &q);
    const std::vector<sim::Request> log = sim::Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].camera, kMono);
    EXPECT_EQ(log[0].code, drv::kFeatureSet);
    EXPECT_EQ(log[0].in, (std::vector<std::uint32_t>{63, 904, 1}));
    EXPECT_FALSE(log[0].overlapped);
    EXPECT_EQ(log[1].outSize, 4u);
    EXPECT_EQ(sim::Requests(drv::kFeatureInquiry, kColour).size(), 0u);
    EXPECT_EQ(sim::Requests(drv::kFeatureInquiry, kMono).size(), 1u);

    // Switched off, the log keeps what it has and takes nothing new until a reset.
    sim::RecordRequests(false);
    dev.Read(drv::kFeatureInquiry, {drv::kGain}, &q);
    EXPECT_EQ(sim::Requests().size(), 2u);
    sim::Reset();
    Device again(kMono);
    again.Read(drv::kFeatureInquiry, {drv::kGain}, &q);
    EXPECT_EQ(sim::Requests(drv::kFeatureInquiry, kMono).size(), 1u);
}

TEST_F(SimRegisters, ClosedAndUnpluggedHandlesFail) {
    Device gone(kMono), closed(kColour);
    closed.Close();
    std::uint32_t q;
    ASSERT_TRUE(sim::Unplug(kMono, sim::Removal::Surprise));
    EXPECT_EQ(gone.Read(drv::kFeatureInquiry, {drv::kGain}, &q), 1167u);
    pf::Overlapped ov{};
    EXPECT_FALSE(sim::Driver().IoControl(closed.Handle(), drv::kFormatInquiry, nullptr, 0, &q, 4, &ov));
    EXPECT_EQ(pf::LastError(), 6u);
    EXPECT_EQ(sim::CameraNames(), std::vector<std::string>{kColour});
    EXPECT_FALSE(pf::IsValidHandle(sim::Driver().OpenDevice(sim::InterfacePath(kMono))));
    EXPECT_EQ(pf::LastError(), 2u);
}

TEST_F(SimRegisters, InjectedFailureHitsOnlyTheNamedRequest) {
    Device dev(kMono);
    sim::InjectFault(sim::Fault(drv::kFeatureGet, 0x1F).On(kMono));
    std::uint32_t q;
    EXPECT_EQ(dev.Read(drv::kFeatureInquiry, {drv::kGain}, &q), 0u);
    EXPECT_EQ(dev.Read(drv::kFeatureGet, {drv::kGain, 0}, &q), 0x1Fu);
    EXPECT_EQ(dev.Read(drv::kFeatureGet, {drv::kGain, 0}, &q), 0u);  // once only

    sim::InjectFault(sim::Fault(drv::kFeatureGet, 1784).Late());
    EXPECT_EQ(dev.Read(drv::kFeatureGet, {drv::kGain, 0}, &q), 1784u);
}

TEST_F(SimRegisters, HungRequestEndsWithCancelIo) {
    Device dev(kMono);
    sim::InjectFault(sim::Fault(drv::kFeatureGet).Hang());
    std::uint32_t q;
    // The caller's time-out path: no completion, so it cancels the handle's I/O.
    EXPECT_EQ(dev.Transmit(drv::kFeatureGet, {drv::kGain, 0}, &q, 4, 50), 121u);
    EXPECT_EQ(sim::Requests(sim::kCancelIo, kMono).size(), 1u);
    EXPECT_EQ(dev.Read(drv::kFeatureGet, {drv::kGain, 0}, &q), 0u);
}

}  // namespace
