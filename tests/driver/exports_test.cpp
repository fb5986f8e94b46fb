// The library as a host uses it: the fifteen functions on the simulated cameras.

#include "driver/grab_port.h"
#include "fixture.h"
#include "platform/named_mutex.h"

namespace fennex::test {
namespace {

std::size_t GrabRequests(const std::string& camera) {
    return sim::Requests(drv::kGrabImage, camera).size();
}

TEST_F(ExportsTest, WithoutCamerasTheTableIsEmptyAndNothingOpens) {
    const struct {
        const char* what;
        std::function<void()> setup;
    } cases[] = {
        {"no cameras attached", [] { sim::SetCameras({}); }},
        {"enumeration fails", [] { sim::InjectFault(sim::Fault(sim::kOpOpenInterfaceSet, 5)); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        c.setup();
        fennex::driver::RebuildCameraTableForTesting();
        EXPECT_EQ(getCVLNoOfSupportedCameras(), 0);
        const char** names = getCVLCameraConfigNames();
        for (int i = 0; i < FENNEX_MAX_PORTS; ++i) EXPECT_EQ(names[i], nullptr) << i;
        int size[2] = {7, 7};
        EXPECT_EQ(openCVLPort(0, 0, kMono.c_str(), size), 0);
        EXPECT_EQ(openCVLPort(0, 0, "", size), 0);
        EXPECT_EQ(size[0], 7);
    }
}

TEST_F(ExportsTest, CamerasAreListedInEnumerationOrder) {
    EXPECT_EQ(getCVLMaxNoOfGrabbers(), 1);
    EXPECT_EQ(getCVLMaxNoOfPorts(), 20);
    ASSERT_EQ(getCVLNoOfSupportedCameras(), 2);
    const char** names = getCVLCameraConfigNames();
    EXPECT_EQ(names[0], kMono);
    EXPECT_EQ(names[1], kColour);
    for (int i = 2; i < FENNEX_MAX_PORTS; ++i) EXPECT_EQ(names[i], nullptr);
}

TEST_F(ExportsTest, CameraNamesAgreeInTheirFirstFourCharacters) {
    sim::CameraDesc first = sim::DefaultCameras()[0], second = sim::DefaultCameras()[0];
    first.name = "SAME&ONE#1";
    second.name = "SAME&TWO#2";
    sim::CameraDesc shorty = sim::DefaultCameras()[0];
    shorty.name = "A#1";
    sim::SetCameras({first, second, shorty});
    fennex::driver::RebuildCameraTableForTesting();
    const struct {
        const char* asked;
        const char* opened;  // null: refused
    } cases[] = {
        {"SAME&TWO#2", "SAME&ONE#1"},  // indistinguishable: the first one wins
        {"same&ONE#1", nullptr},  // case matters
        {"SAM", nullptr},
        {"A#1", "A#1"},  // a short name agrees only with itself
        {"A#", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.asked);
        sim::ClearRequests();
        int size[2] = {0, 0};
        const int opened = openCVLPort(0, 5, c.asked, size);
        EXPECT_EQ(opened, c.opened ? 1 : 0);
        if (c.opened) {
            fennex::driver::GrabPort* port = nullptr;
            fennex::driver::FindOpenPort(c.asked, &port);
            ASSERT_NE(port, nullptr);
            EXPECT_STREQ(port->Name(), c.opened);
            EXPECT_FALSE(sim::Requests(drv::kGetVideoMode, c.opened).empty());
        }
        closeCVLPort(0, 5);
    }
}

TEST_F(ExportsTest, PortsOutsideTheTableOrNotOpenAreRefused) {
    int size[2], value = 0, min = 0, max = 0;
    unsigned char row[8];
    for (int port : {-1, 20, 3}) {
        SCOPED_TRACE(port);
        if (port != 3) {
            EXPECT_EQ(openCVLPort(0, port, kMono.c_str(), size), 0);
        }
        EXPECT_EQ(doCVLGrab(0, port), 0);
        EXPECT_EQ(getCVLGrabRow(0, port, row, 0, 0, 7), 0);
        EXPECT_EQ(setCompleteCallback(0, port, Completions::Callback), 0);
        EXPECT_EQ(getPropertyRange(0, port, "Gain", &min, &max), 0);
        EXPECT_EQ(getProperty(0, port, "Gain", &value), 0);
        EXPECT_EQ(setProperty(0, port, "Gain", 1), 0);
        closeCVLPort(0, port);
    }
}

TEST_F(ExportsTest, AGrabDeliversThePictureRowByRow) {
    int size[2] = {0, 0};
    OpenPort(2, kMono, size);
    EXPECT_EQ(size[0], 640);
    EXPECT_EQ(size[1], 480);
    // an open port cannot be opened again
    EXPECT_EQ(openCVLPort(0, 2, kMono.c_str(), size), 0);
    EXPECT_EQ(openCVLPort(0, 2, kColour.c_str(), size), 0);
    const auto frame = GrabFrame(2, size[0], size[1]);
    EXPECT_EQ(frame, ExpectedFrame(kMono, size[0], size[1]));

    const int width = size[0], last = size[1] - 1, pixels = size[0] * size[1];
    // Every call answers 1; rows outside the frame leave the destination untouched.
    const struct {
        int row, first, lastPixel;
        int copied;
    } cases[] = {
        {last, 0, 9, 10}, {last, 5, 9, 5},      // first only enters the count
        {0, 0, pixels - 1, pixels},             // the whole frame in one call
        {last - 1, 0, 2 * width + 50, 2 * width},  // bounded by the end of the frame
        {last, 9, 0, 0},                        // a negative count copies nothing
        {last, -2147483647 - 1, 2147483647, width},
        {size[1], 0, width - 1, 0}, {-1, 0, width - 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.row) + ": " + std::to_string(c.first) + ".." +
                     std::to_string(c.lastPixel));
        std::vector<unsigned char> dest(static_cast<std::size_t>(pixels) + 200, 0xCD);
        EXPECT_EQ(getCVLGrabRow(0, 2, dest.data(), c.row, c.first, c.lastPixel), 1);
        const std::size_t start = static_cast<std::size_t>(c.row < 0 ? 0 : c.row) * width;
        for (int i = 0; i < static_cast<int>(dest.size()); ++i)
            ASSERT_EQ(dest[i], i < c.copied ? frame[start + i] : 0xCD) << "byte " << i;
    }
}

// The description files shipped for users: every camera of each opens on its own port and
// delivers its picture.
TEST_F(ExportsTest, TheShippedCameraFilesGiveCamerasThatGrab) {
    const struct {
        const char* file;
        int cameras;
        int width, height;  // of the first camera's current mode
    } cases[] = {
        {"format7.ini", 1, 640, 512},
        {"yuv411.ini", 1, 640, 480},
        {"trigger.ini", 1, 640, 480},
        {"rig.ini", 8, 640, 480},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        sim::LoadDescription(std::string(FENNEX_SOURCE_DIR) + "/examples/cameras/" + c.file);
        fennex::driver::RebuildCameraTableForTesting();
        ASSERT_EQ(getCVLNoOfSupportedCameras(), c.cameras);
        const char** names = getCVLCameraConfigNames();
        for (int port = 0; port < c.cameras; ++port) {
            int size[2] = {0, 0};
            OpenPort(port, names[port], size);
            if (port == 0) {
                EXPECT_EQ(size[0], c.width);
                EXPECT_EQ(size[1], c.height);
            }
            const auto frame = GrabFrame(port, size[0], size[1]);  // before the picture it sent
            EXPECT_EQ(frame, ExpectedFrame(names[port], size[0], size[1])) << names[port];
        }
        for (int port = 0; port < c.cameras; ++port) closeCVLPort(0, port);
    }
}

TEST_F(ExportsTest, ASecondGrabBeforeTheFirstCompletesIsRefused) {
    OpenPort(0, kMono);
    sim::HoldGrabs(kMono, true);
    EXPECT_EQ(doCVLGrab(0, 0), 1);
    EXPECT_EQ(doCVLGrab(0, 0), 0);
    EXPECT_TRUE(TheMessages().Contains(kMono + " already armed\n"));
    EXPECT_EQ(GrabRequests(kMono), 1u);
}

TEST_F(ExportsTest, ContinuousModeIsAPseudoPropertyInAnyCase) {
    OpenPort(0, kMono);
    int value = 7, min = 0, max = 0;
    EXPECT_EQ(getProperty(0, 0, "continous", &value), 1);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(getPropertyRange(0, 0, "continous", &min, &max), 0);
    EXPECT_EQ(getPropertyRange(0, 0, "CONTINOUS", &min, &max), 0);
    sim::HoldGrabs(kMono, true);  // keep the first grab pending to count requests exactly
    EXPECT_EQ(setProperty(0, 0, "CONTINOUS", 5), 1);
    EXPECT_EQ(getProperty(0, 0, "Continous", &value), 1);
    EXPECT_EQ(value, 1);
    EXPECT_TRUE(sim::Camera(kMono).continuous);
    EXPECT_EQ(doCVLGrab(0, 0), 1);  // queues nothing in continuous mode
    EXPECT_EQ(GrabRequests(kMono), 1u);
    EXPECT_EQ(setProperty(0, 0, "continous", 0), 1);
    EXPECT_FALSE(sim::Camera(kMono).continuous);
    EXPECT_EQ(getProperty(0, 0, "continous", &value), 1);
    EXPECT_EQ(value, 0);
    // "continous" is compared as a whole word
    EXPECT_EQ(getProperty(0, 0, "continousX", &value), 0);
}

TEST_F(ExportsTest, ARefusedContinuousSwitchLeavesThePortAsItWas) {
    OpenPort(0, kMono);
    sim::InjectFault(sim::Fault(drv::kShot).On(kMono));
    TheMessages().Take();
    EXPECT_EQ(setProperty(0, 0, "continous", 1), 0);
    EXPECT_TRUE(TheMessages().Contains("ERROR: " + kMono + " - "));
    int value = 7;
    EXPECT_EQ(getProperty(0, 0, "continous", &value), 1);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(GrabRequests(kMono), 0u);
}

TEST_F(ExportsTest, PropertiesAreFoundByTheirNamePrefix) {
    OpenPort(0, kMono);
    OpenPort(1, kColour);
    const struct {
        int port;
        const char* name;
        bool present;
    } cases[] = {
        {0, "Gain", true},          {0, "gainvalue", true},       {0, "Shutter2", true},
        {0, "BRIGHTNESS", true},    {0, "Gamma", true},           {0, "Hue", false},
        {0, "Gai", false},          {0, "", false},               {1, "saturationX", true},
        {1, "Hue", true},           {1, "WhiteBalanceUB", true},  {1, "whitebalancevr", true},
        {1, "WhiteBalance", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.port) + " " + c.name);
        int min = -1, max = -1, value = -1;
        EXPECT_EQ(getPropertyRange(0, c.port, c.name, &min, &max), c.present ? 1 : 0);
        EXPECT_EQ(getProperty(0, c.port, c.name, &value), c.present ? 1 : 0);
        if (!c.present) {
            EXPECT_EQ(min, -1);
            EXPECT_EQ(value, -1);
            EXPECT_EQ(setProperty(0, c.port, c.name, 1), 0);
            continue;
        }
        EXPECT_LE(min, max);
        EXPECT_GE(value, min);
        EXPECT_LE(value, max);
        const int wanted = min + (max - min) / 3;
        EXPECT_EQ(setProperty(0, c.port, c.name, wanted), 1);
        EXPECT_EQ(getProperty(0, c.port, c.name, &value), 1);
        EXPECT_EQ(value, wanted);
    }
}

// A longer system path is cut to 255 characters (the sanitizer build sees any overrun). No file
// name fits under so long a path: configure reports that, and still succeeds.
TEST_F(ExportsTest, ALongSystemPathIsCutAndItsFilesReported) {
    setSystemPath((directory_ + std::string(300, 'x')).c_str());
    OpenPort(0, kMono);
    TheMessages().Take();  // the open's report of the missing file
    EXPECT_EQ(ConfigureAndClose(), 1);
    EXPECT_TRUE(TheMessages().Contains("ERROR: " + kMono + " - "));
}

TEST_F(ExportsTest, SettingsAreSavedByConfigureAndRestoredOnOpen) {
    OpenPort(0, kMono);
    const std::string file = fennex::driver::GrabPort::SettingsPath(directory_.c_str(), kMono.c_str());
    EXPECT_FALSE(std::filesystem::exists(file));
    int min = 0, max = 0;
    ASSERT_EQ(getPropertyRange(0, 0, "Gain", &min, &max), 1);
    const int wanted = max - 1;
    EXPECT_EQ(setProperty(0, 0, "Gain", wanted), 1);
    EXPECT_EQ(ConfigureAndClose(), 1);
    ASSERT_TRUE(std::filesystem::exists(file));
    // only the open camera is saved
    EXPECT_FALSE(std::filesystem::exists(
        fennex::driver::GrabPort::SettingsPath(directory_.c_str(), kColour.c_str())));
    closeCVLPort(0, 0);
    TheMessages().Take();

    sim::EditCamera(kMono, [&](sim::CameraDesc& d) {
        d.feature(drv::kGain).control = (d.feature(drv::kGain).control & ~0xFFFu) |
                                             static_cast<std::uint32_t>(min);
    });
    OpenPort(0, kMono);
    int gain = 0;
    EXPECT_EQ(getProperty(0, 0, "Gain", &gain), 1);
    EXPECT_EQ(gain, wanted);  // the camera was set to the minimum meanwhile
    ExpectNoErrorLines();

    // A save that fails half-way reports it and leaves the previous file as it was.
    auto contents = [&] {
        std::ifstream in(file, std::ios::binary);
        return std::string{std::istreambuf_iterator<char>(in), {}};
    };
    const std::string saved = contents();
    EXPECT_EQ(setProperty(0, 0, "Gain", min), 1);
    sim::InjectFault(sim::Fault(drv::kFeatureGet).On(kMono));
    EXPECT_EQ(ConfigureAndClose(), 1);
    EXPECT_TRUE(TheMessages().Contains("ERROR: " + kMono + " - "));
    EXPECT_EQ(contents(), saved);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory_), {}), 1) << "left behind";
}

// The callback names the latest open that is still open.
TEST_F(ExportsTest, ACameraOpenOnSeveralPortsStaysOpenUntilTheLastClose) {
    int a[2], b[2];
    OpenPort(0, kMono, a);
    OpenPort(7, kMono, b);
    OpenPort(9, kMono, b);
    EXPECT_EQ(a[0], b[0]);
    EXPECT_EQ(a[1], b[1]);
    const struct {
        int close, grabOn, named;
    } steps[] = {{9, 0, 7}, {0, 7, 7}, {7, -1, -1}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.close);
        closeCVLPort(0, step.close);
        EXPECT_EQ(doCVLGrab(0, step.close), 0);
        if (step.grabOn < 0) break;
        const int seen = TheCompletions().Count(step.named);
        EXPECT_EQ(doCVLGrab(0, step.grabOn), 1);
        EXPECT_TRUE(TheCompletions().WaitBeyond(step.named, seen));
    }
    EXPECT_EQ(TheCompletions().Count(9), 0);
    EXPECT_EQ(sim::Requests(drv::kFreeResources, kMono).size(), 1u);
}

// A configuration file, or a change through the camera object on an open port, may select
// another video mode: the port's buffers and resources follow before its next grab, and a
// reopen tells the host the new size. Rows read with the old size are cut to the frame.
TEST_F(ExportsTest, APortFollowsTheVideoModeThatItsFileOrItsCameraSelects) {
    const struct {
        const char* what;
        std::string camera;
        std::uint32_t format, mode, coding;
        int width, height;
    } cases[] = {
        {"Mono16", kMono, 0, 6, 0, 640, 480},
        {"Format 7 mode 1, Mono16", kColour, 7, 1, 5, 400, 300},
        {"Format 7 mode 0, RGB", kColour, 7, 0, 4, 320, 200},
        {"VGA RGB", kColour, 0, 4, 0, 640, 480},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int before[2];
        OpenPort(0, c.camera, before);
        TheMessages().Take();  // no file yet
        fennex::driver::GrabPort* port = nullptr;
        fennex::driver::FindOpenPort(c.camera.c_str(), &port);
        ASSERT_NE(port, nullptr);
        if (c.format == 7) {
            port->SetVideoMode(7, c.mode, 0xFFFFFFFFu);
            port->FormatSeven[c.mode].ColorCoding = c.coding;
            port->FormatSeven[c.mode].ImageSize = Bcam::CSize{static_cast<std::uint32_t>(c.width),
                                                              static_cast<std::uint32_t>(c.height)};
        } else {
            port->SetVideoMode(c.format, c.mode, 1);
        }
        // the host still reads with the size it was told: its first row is the frame's start
        const std::vector<std::uint8_t> old = GrabFrame(0, before[0], before[1]);
        const auto expected = ExpectedFrame(c.camera, c.width, c.height);
        const std::size_t seen = std::min<std::size_t>(before[0], expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + seen, old.begin()));
        EXPECT_EQ(ConfigureAndClose(), 1);
        closeCVLPort(0, 0);

        sim::SetVideoMode(c.camera, 0, c.camera == kMono ? 5 : 1);  // the file alone brings the mode back
        int size[2];
        OpenPort(0, c.camera, size);
        EXPECT_EQ(size[0], c.width);
        EXPECT_EQ(size[1], c.height);
        const auto frame = GrabFrame(0, size[0], size[1]);
        EXPECT_EQ(frame, ExpectedFrame(c.camera, size[0], size[1]));
        // a second port restores the same file: the stream it shares is left as it is
        const std::size_t allocations = sim::Requests(drv::kAllocateResources, c.camera).size();
        OpenPort(1, c.camera, size);
        EXPECT_EQ(size[0], c.width);
        GrabFrame(1, size[0], size[1]);
        EXPECT_EQ(sim::Requests(drv::kAllocateResources, c.camera).size(), allocations);
        closeCVLPort(0, 1);
        closeCVLPort(0, 0);
        ExpectNoErrorLines();
    }
}

// A camera that cannot be opened gives an empty port; one that opens but cannot stream (no
// bandwidth, say) stays open: its properties and settings work, its grabs are refused with an
// error line each time, and once it can stream again its grabs work.
TEST_F(ExportsTest, APortThatCannotStreamReportsAndRefusesItsGrabs) {
    const struct {
        const char* what;
        std::uint32_t fault;
        bool deviceOpens;
    } cases[] = {
        {"the device does not open", sim::kOpOpenDevice, false},
        {"no isochronous resources", drv::kAllocateResources, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::InjectFault(sim::Fault(c.fault, 5).On(kMono).Times(3));  // open, two grabs
        int size[2] = {9, 9};
        EXPECT_EQ(openCVLPort(0, 0, kMono.c_str(), size), 1);
        EXPECT_EQ(size[0], 0);
        EXPECT_EQ(size[1], 0);
        EXPECT_TRUE(TheMessages().Contains("ERROR: " + kMono + " - "));
        unsigned char row[4] = {1, 2, 3, 4};
        EXPECT_EQ(getCVLGrabRow(0, 0, row, 0, 0, 3), 1);
        EXPECT_EQ(row[0], 1);
        for (int attempt = 0; attempt < 2; ++attempt) {
            TheMessages().Take();
            EXPECT_EQ(doCVLGrab(0, 0), 0);
            EXPECT_TRUE(TheMessages().Contains("ERROR: " + kMono + " - "));
        }
        int gain = -1;
        EXPECT_EQ(getProperty(0, 0, "Gain", &gain), c.deviceOpens ? 1 : 0);
        EXPECT_EQ(setProperty(0, 0, "Gain", 10), c.deviceOpens ? 1 : 0);
        TheMessages().Take();
        EXPECT_EQ(ConfigureAndClose(), 1);
        EXPECT_FALSE(TheMessages().Contains("ERROR: "));
        EXPECT_EQ(std::filesystem::exists(fennex::driver::GrabPort::SettingsPath(directory_.c_str(),
                                                                              kMono.c_str())),
                  c.deviceOpens);
        if (c.deviceOpens) {
            ASSERT_EQ(setCompleteCallback(0, 0, Completions::Callback), 1);
            const auto frame = GrabFrame(0, 640, 480);  // the fault has run out
            EXPECT_EQ(frame, ExpectedFrame(kMono, 640, 480));
        }
        closeCVLPort(0, 0);
        sim::ClearFaults();
        TheMessages().Take();
    }
}

// The callback still comes for a grab that failed, after an error line, and the rows keep the
// last good frame; for frames that land in the rows directly and for converted ones.
TEST_F(ExportsTest, AFailedGrabIsReportedAndKeepsTheLastGoodFrame) {
    for (const std::string& camera : {kMono, kColour}) {
        SCOPED_TRACE(camera);
        int size[2];
        OpenPort(0, camera, size);
        const auto good = GrabFrame(0, size[0], size[1]);
        sim::InjectFault(sim::Fault(drv::kGrabImage, 1167).On(camera).Late());
        TheMessages().Take();
        const auto kept = GrabFrame(0, size[0], size[1]);
        EXPECT_EQ(kept, good);
        EXPECT_TRUE(TheMessages().Contains("ERROR: " + camera + " - "));
        const auto next = GrabFrame(0, size[0], size[1]);
        EXPECT_EQ(next, ExpectedFrame(camera, size[0], size[1]));  // the next grab works
        closeCVLPort(0, 0);
    }
}

// Continuous grabbing at the camera's own pace and as fast as it goes, through a refused removal
// (which closes the device for a moment) or without one: the stream goes on, and once switched
// off the grab armed last comes in and the port takes single grabs again.
TEST_F(ExportsTest, ContinuousGrabbingGoesOnThroughARefusedRemovalAndEndsWhenSwitchedOff) {
    const struct {
        const char* what;
        sim::Pace pace;
        bool removal;
    } cases[] = {
        {"fast", sim::Pace::Fast, false},
        {"fast, a refused removal", sim::Pace::Fast, true},
        {"the camera's pace", sim::Pace::RealTime, false},
        {"the camera's pace, a refused removal", sim::Pace::RealTime, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SetPace(c.pace);
        OpenPort(0, kMono);
        TheMessages().Take();  // no file yet
        ASSERT_EQ(setProperty(0, 0, "continous", 1), 1);
        ASSERT_TRUE(TheCompletions().WaitBeyond(0, TheCompletions().Count(0) + 2));
        if (c.removal) {
            EXPECT_FALSE(sim::Unplug(kMono, sim::Removal::Refused));
            EXPECT_TRUE(TheCompletions().WaitBeyond(0, TheCompletions().Count(0) + 2));
            int value = 0;
            EXPECT_EQ(getProperty(0, 0, "continous", &value), 1);
            EXPECT_EQ(value, 1);
        }
        // switched off between two frames, while the next grab waits for the stream
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(setProperty(0, 0, "continous", 0), 1);
        int seen = 0;
        EXPECT_TRUE(WaitUntil([&] {
            seen = TheCompletions().Count(0);
            return doCVLGrab(0, 0) == 1;
        }));
        EXPECT_TRUE(TheCompletions().WaitBeyond(0, seen));
        closeCVLPort(0, 0);
        // (a request that meets the device closed by the removal is reported)
        for (const auto& line : TheMessages().Take()) {
            if (!c.removal) {
                EXPECT_EQ(line.find("ERROR: "), std::string::npos) << line;
            }
        }
    }
}

// What fails below the host functions reaches the host as an error line naming the camera;
// the messages of the set-up are dropped first, so that each line comes from the call.
TEST_F(ExportsTest, FailuresAreReportedWithTheCameraName) {
    int size[2] = {0, 0}, value = 0;
    const struct {
        const char* what;
        std::function<void()> before;
        std::function<int()> call;
        int result;
    } cases[] = {
        {"a failing property request fails",
         [&] {
             OpenPort(0, kMono);
             sim::InjectFault(sim::Fault(drv::kFeatureInquiry).On(kMono));
         },
         [&] { return getProperty(0, 0, "Gain", &value); }, 0},
        {"a missing configuration file, the open succeeds", [] {},
         [&] { return openCVLPort(0, 0, kMono.c_str(), size); }, 1},
        {"an unwritable configuration, configure still succeeds",
         [&] {
             OpenPort(0, kMono);
             setSystemPath((directory_ + "/no/such/dir").c_str());
         },
         [] { return ConfigureAndClose(); }, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.before();
        TheMessages().Take();
        EXPECT_EQ(c.call(), c.result);
        EXPECT_TRUE(TheMessages().Contains("ERROR: " + kMono + " - "));
        closeCVLPort(0, 0);
        setSystemPath(directory_.c_str());
        sim::ClearFaults();
    }
    EXPECT_EQ(size[0], 640);
}

// --- the library among processes

// Another process holds a port while the port's mutex exists under its name.
TEST_F(ExportsTest, APortWhoseMutexExistsIsRefused) {
    const platform::Handle held = platform::CreateNamedMutex("QUENTARO AS : MUXNAME MUX.0.07");
    ASSERT_NE(held, nullptr);
    int size[2];
    EXPECT_EQ(openCVLPort(0, 7, kMono.c_str(), size), 0);
    EXPECT_TRUE(TheMessages().Contains(kMono + " is open by other process\n"));
    OpenPort(17, kMono);
    EXPECT_TRUE(platform::CloseNamedMutex(held));
    OpenPort(7, kMono);
}


TEST_F(ExportsTest, APortHeldByAnotherProcessIsRefusedUntilItsHolderDies) {
    const std::string crashFile = directory_ + platform::PathSeparator() + "crash";
    std::FILE* holder = StartProgram("helper-port-holder", Quoted(kMono) + " 3 " + Quoted(crashFile));
    ASSERT_NE(holder, nullptr);
    char line[64] = {};
    ASSERT_NE(std::fgets(line, sizeof line, holder), nullptr);
    ASSERT_STREQ(line, "ready\n");

    int size[2];
    const std::string asked = "MONOasked";
    EXPECT_EQ(openCVLPort(0, 3, asked.c_str(), size), 0);
    EXPECT_TRUE(TheMessages().Contains(asked + " is open by other process\n"));
    OpenPort(4, kMono);  // other ports stay free

    std::ofstream(crashFile) << "now";
    EndProgram(holder);
    EXPECT_EQ(openCVLPort(0, 3, kMono.c_str(), size), 1);
}

// Of holders started to race for one port, exactly one gets it.
TEST_F(ExportsTest, OfProcessesRacingForAPortExactlyOneWins) {
    const std::string crashFile = directory_ + platform::PathSeparator() + "crash";
    const std::string goFile = directory_ + platform::PathSeparator() + "go";
    std::vector<std::FILE*> holders;
    for (int i = 0; i < 4; ++i) {
        holders.push_back(StartProgram("helper-port-holder",
                                       Quoted(kMono) + " 6 " + Quoted(crashFile) + " " + Quoted(goFile)));
        ASSERT_NE(holders.back(), nullptr);
    }
    std::ofstream(goFile) << "go";
    int ready = 0, refused = 0;
    for (std::FILE* holder : holders) {
        char line[64] = {};
        if (std::fgets(line, sizeof line, holder)) {
            ready += std::string(line) == "ready\n";
            refused += std::string(line) == "refused\n";
        }
    }
    std::ofstream(crashFile) << "now";
    for (std::FILE* holder : holders) EndProgram(holder);
    EXPECT_EQ(ready, 1);
    EXPECT_EQ(refused, 3);
}

// exit() with a port grabbing, from the completion callback or from another thread (also while a
// callback calls the library and stays on): the process ends at once rather than waiting for
// the thread that is ending it or for the callback.
TEST_F(ExportsTest, EndingTheProcessWithAPortGrabbingIsQuick) {
    for (const char* where : {"callback", "main", "blocked"}) {
        SCOPED_TRACE(where);
        std::FILE* program = StartProgram("helper-exit", Quoted(kMono) + " " + where);
        ASSERT_NE(program, nullptr);
        char line[64] = {};
        long long exitingAt = 0;
        ASSERT_NE(std::fgets(line, sizeof line, program), nullptr);
        ASSERT_EQ(std::sscanf(line, "exiting %lld", &exitingAt), 1) << line;
        EXPECT_EQ(EndProgram(program), 0);
        const long long endedAt = std::chrono::duration_cast<std::chrono::microseconds>(
                                      std::chrono::steady_clock::now().time_since_epoch())
                                      .count();
        EXPECT_LT(endedAt - exitingAt, 1000000) << "microseconds from exit() to the end";
    }
}

#if !defined(_WIN32)
// The library loaded by name, used, and unloaded, twice, and a third time while a callback
// calls the library during the unload: each unload ends at once and takes it out of the
// process. (The sanitizer build's leak check runs in the helper as well.)
TEST_F(ExportsTest, TheLibraryUnloadsAfterUseAndReloadsClean) {
    const ProgramRun run = RunProgram(
        "helper-unload", Quoted(BuildFile(std::string("..") + platform::PathSeparator() + "libfennex.so")) +
                             " " + Quoted(kMono) + " " + Quoted(directory_) + " 2>&1");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "grabbed unloaded\ngrabbed unloaded\ngrabbed unloaded\n");
}
#endif

}  // namespace
}  // namespace fennex::test
