// The library as a host uses it: the fifteen functions on the simulated cameras.

#include "driver/grab_port.h"
#include "fixture.h"
#include "platform/named_mutex.h"

namespace fennex::test {
namespace {

using fennex::driver::GrabPort;

// An error line naming the camera came since the last Take().
bool Reported(const std::string& camera) {
    return TheMessages().Contains("ERROR: " + camera + " - ");
}
std::size_t Count(std::uint32_t request, const std::string& camera) {
    return sim::Requests(request, camera).size();
}
std::string ReadLine(std::FILE* program) {
    char line[64] = {};
    return std::fgets(line, sizeof line, program) ? line : "";
}

// The table lists the cameras in enumeration order, the built-in ones or those of the
// description files shipped for users, and every camera opens on its own port and delivers its
// picture. Without cameras (none attached, or enumeration fails) the table is empty and nothing
// opens.
TEST_F(ExportsTest, TheTableListsTheCamerasInEnumerationOrderAndEachGrabs) {
    EXPECT_EQ(getCVLMaxNoOfGrabbers(), 1);
    EXPECT_EQ(getCVLMaxNoOfPorts(), 20);
    EXPECT_STREQ(getCVLCameraConfigNames()[0], kMono.c_str());
    EXPECT_STREQ(getCVLCameraConfigNames()[1], kColour.c_str());
    const auto shipped = [](const char* file) {
        return [=] {
            sim::LoadDescription(std::string(FENNEX_SOURCE_DIR "/examples/cameras/") + file);
        };
    };
    const struct {
        std::function<void()> setup;
        int cameras;
    } cases[] = {
        {[] {}, 2},
        {[] { sim::SetCameras({}); }, 0},
        {[] { sim::InjectFault(sim::Fault(sim::kOpOpenInterfaceSet, 5)); }, 0},
        {shipped("format7.ini"), 1},
        {shipped("yuv411.ini"), 1},
        {shipped("trigger.ini"), 1},
        {shipped("rig.ini"), 8},
    };
    for (const auto& c : cases) {
        sim::Reset();
        sim::SetPace(sim::Pace::Fast);
        c.setup();
        fennex::driver::RebuildCameraTableForTesting();
        ASSERT_EQ(getCVLNoOfSupportedCameras(), c.cameras);
        const char** names = getCVLCameraConfigNames();
        for (int port = 0; port < FENNEX_MAX_PORTS; ++port) {
            EXPECT_EQ(names[port] == nullptr, port >= c.cameras) << port;
            if (port >= c.cameras) continue;
            int size[2] = {0, 0};
            OpenPort(port, names[port], size);
            const auto frame = GrabFrame(port, size[0], size[1]);  // before the picture it sent
            EXPECT_EQ(frame, ExpectedFrame(names[port], size[0], size[1])) << names[port];
        }
        int size[2] = {7, 7};
        EXPECT_EQ(openCVLPort(0, 0, kMono.c_str(), size), 0);  // open already, or no such camera
        EXPECT_EQ(size[0], 7);
        for (int port = 0; port < c.cameras; ++port) closeCVLPort(0, port);
    }
}

TEST_F(ExportsTest, CameraNamesAgreeInTheirFirstFourCharacters) {
    SetMonoCameras({"SAME&ONE#1", "SAME&TWO#2", "A#1"});
    fennex::driver::RebuildCameraTableForTesting();
    const struct {
        const char* asked;
        const char* opened;  // null: refused
    } cases[] = {
        {"SAME&TWO#2", "SAME&ONE#1"},  // indistinguishable: the first one wins
        {"same&ONE#1", nullptr},       // case matters
        {"SAM", nullptr},
        {"", nullptr},
        {"A#1", "A#1"},  // a short name agrees only with itself
        {"A#", nullptr},
    };
    for (const auto& c : cases) {
        sim::ClearRequests();
        int size[2] = {0, 0};
        EXPECT_EQ(openCVLPort(0, 5, c.asked, size), c.opened ? 1 : 0) << c.asked;
        if (c.opened) {
            EXPECT_NE(Count(drv::kGetVideoMode, c.opened), 0u) << c.asked;
        }
        closeCVLPort(0, 5);
    }
}

TEST_F(ExportsTest, PortsOutsideTheTableOrNotOpenAreRefused) {
    int size[2], value = 0, min = 0, max = 0;
    unsigned char row[8];
    for (int port : {-1, 20, 3}) {
        EXPECT_EQ(openCVLPort(0, port, port == 3 ? "XXXX" : kMono.c_str(), size), 0);
        // every answer is 0
        EXPECT_EQ(doCVLGrab(0, port) + getCVLGrabRow(0, port, row, 0, 0, 7) +
                      setCompleteCallback(0, port, Completions::Callback) +
                      getPropertyRange(0, port, "Gain", &min, &max) +
                      getProperty(0, port, "Gain", &value) + setProperty(0, port, "Gain", 1),
                  0)
            << port;
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
    const auto frame = GrabFrame(2, 640, 480);
    EXPECT_EQ(frame, ExpectedFrame(kMono, 640, 480));

    const int width = 640, last = 479, pixels = 640 * 480;
    // Every call answers 1; rows outside the frame leave the destination untouched.
    const struct {
        int row, first, lastPixel, copied;
    } cases[] = {
        {last, 0, 9, 10}, {last, 5, 9, 5},         // first only enters the count
        {0, 0, pixels - 1, pixels},                // the whole frame in one call
        {last - 1, 0, 2 * width + 50, 2 * width},  // bounded by the end of the frame
        {last, 9, 0, 0},                           // a negative count copies nothing
        {last, -2147483647 - 1, 2147483647, width},
        {480, 0, width - 1, 0}, {-1, 0, width - 1, 0},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> dest(static_cast<std::size_t>(pixels) + 200, 0xCD);
        EXPECT_EQ(getCVLGrabRow(0, 2, dest.data(), c.row, c.first, c.lastPixel), 1);
        const std::size_t start = static_cast<std::size_t>(c.row < 0 ? 0 : c.row) * width;
        for (int i = 0; i < static_cast<int>(dest.size()); ++i)
            ASSERT_EQ(dest[i], i < c.copied ? frame[start + i] : 0xCD) << c.row << " byte " << i;
    }
}

// "continous", in any case and as a whole word, switches continuous grabbing; a grab asked for
// meanwhile queues nothing, and a second single grab before the first completes is refused.
TEST_F(ExportsTest, ContinuousModeIsAPseudoPropertyInAnyCase) {
    OpenPort(0, kMono);
    int value = 7, min = 0, max = 0;
    EXPECT_EQ(getProperty(0, 0, "continous", &value), 1);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(getPropertyRange(0, 0, "CONTINOUS", &min, &max), 0);
    EXPECT_EQ(getProperty(0, 0, "continousX", &value), 0);
    sim::HoldGrabs(kMono, true);  // keep the first grab pending to count requests exactly
    EXPECT_EQ(setProperty(0, 0, "CONTINOUS", 5), 1);
    EXPECT_EQ(getProperty(0, 0, "Continous", &value), 1);
    EXPECT_EQ(value, 1);
    EXPECT_TRUE(sim::Camera(kMono).continuous);
    EXPECT_EQ(doCVLGrab(0, 0), 1);
    EXPECT_EQ(Count(drv::kGrabImage, kMono), 1u);
    EXPECT_EQ(setProperty(0, 0, "continous", 0), 1);
    EXPECT_FALSE(sim::Camera(kMono).continuous);
    EXPECT_EQ(getProperty(0, 0, "continous", &value), 1);
    EXPECT_EQ(value, 0);

    OpenPort(1, kColour);
    sim::HoldGrabs(kColour, true);
    EXPECT_EQ(doCVLGrab(0, 1), 1);
    EXPECT_EQ(doCVLGrab(0, 1), 0);
    EXPECT_TRUE(TheMessages().Contains(kColour + " already armed\n"));
    EXPECT_EQ(Count(drv::kGrabImage, kColour), 1u);
}

// A shot the camera refuses fails its grab or the switch to continuous grabbing with one error
// line, and the port is left as it was: no callback comes, and the next grab works.
TEST_F(ExportsTest, ARefusedShotLeavesThePortAsItWas) {
    OpenPort(0, kMono);
    TheMessages().Take();
    sim::InjectFault(sim::Fault(drv::kShot).On(kMono).Times(2));
    EXPECT_EQ(setProperty(0, 0, "continous", 1), 0);
    int value = 7;
    EXPECT_EQ(getProperty(0, 0, "continous", &value), 1);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Count(drv::kGrabImage, kMono), 0u);
    EXPECT_EQ(doCVLGrab(0, 0), 0);
    EXPECT_TRUE(WaitUntil([] { return doCVLGrab(0, 0) == 1; }));  // once the grab is withdrawn
    EXPECT_TRUE(TheCompletions().WaitBeyond(0, 0));
    const auto lines = TheMessages().Take();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("ERROR: " + kMono, 0) == 0; }),
              2);
    EXPECT_EQ(TheCompletions().Count(0), 1);
}

TEST_F(ExportsTest, PropertiesAreFoundByTheirNamePrefix) {
    OpenPort(0, kMono);
    OpenPort(1, kColour);
    const struct {
        int port;
        const char* name;
        bool present;
    } cases[] = {
        {0, "Gain", true},       {0, "gainvalue", true},      {0, "Shutter2", true},
        {0, "BRIGHTNESS", true}, {0, "Gamma", true},          {0, "Hue", false},
        {0, "Gai", false},       {0, "", false},              {1, "saturationX", true},
        {1, "Hue", true},        {1, "WhiteBalanceUB", true}, {1, "whitebalancevr", true},
        {1, "WhiteBalance", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int min = -1, max = -1, value = -1;
        EXPECT_EQ(getPropertyRange(0, c.port, c.name, &min, &max), c.present ? 1 : 0);
        EXPECT_EQ(getProperty(0, c.port, c.name, &value), c.present ? 1 : 0);
        const int wanted = c.present ? min + (max - min) / 3 : 1;
        EXPECT_EQ(setProperty(0, c.port, c.name, wanted), c.present ? 1 : 0);
        if (!c.present) {
            EXPECT_EQ(min + value, -2);  // untouched
            continue;
        }
        EXPECT_TRUE(min <= value && value <= max) << min << " " << value << " " << max;
        EXPECT_EQ(getProperty(0, c.port, c.name, &value), 1);
        EXPECT_EQ(value, wanted);
    }
}

TEST_F(ExportsTest, SettingsAreSavedByConfigureAndRestoredOnOpen) {
    OpenPort(0, kMono);
    const std::string file = scratch_.File(kMono + ".cfg");
    int min = 0, max = 0;
    ASSERT_EQ(getPropertyRange(0, 0, "Gain", &min, &max), 1);
    EXPECT_EQ(setProperty(0, 0, "Gain", max - 1), 1);
    EXPECT_EQ(ConfigureAndClose(), 1);
    ASSERT_TRUE(std::filesystem::exists(file));
    // only the open camera is saved
    EXPECT_FALSE(std::filesystem::exists(scratch_.File(kColour + ".cfg")));
    closeCVLPort(0, 0);
    sim::EditCamera(kMono, [&](sim::CameraDesc& d) {
        d.feature(drv::kGain).control = (d.feature(drv::kGain).control & ~0xFFFu) | min;
    });
    TheMessages().Take();
    OpenPort(0, kMono);
    int gain = 0;
    EXPECT_EQ(getProperty(0, 0, "Gain", &gain), 1);
    EXPECT_EQ(gain, max - 1);  // the camera was set to the minimum meanwhile
    ExpectNoErrorLines();

    // A save that fails half-way reports it and leaves the previous file as it was.
    const std::string saved = ReadFile(file);
    EXPECT_EQ(setProperty(0, 0, "Gain", min), 1);
    sim::InjectFault(sim::Fault(drv::kFeatureGet).On(kMono));
    EXPECT_EQ(ConfigureAndClose(), 1);
    EXPECT_TRUE(Reported(kMono));
    EXPECT_EQ(ReadFile(file), saved);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory_), {}), 1);
}

// The callback names the latest open that is still open.
TEST_F(ExportsTest, ACameraOpenOnSeveralPortsStaysOpenUntilTheLastClose) {
    OpenPort(0, kMono);
    OpenPort(7, kMono);
    int size[2] = {0, 0};
    OpenPort(9, kMono, size);
    EXPECT_EQ(size[0], 640);
    const struct {
        int close, grabOn, named;
    } steps[] = {{9, 0, 7}, {0, 7, 7}, {7, -1, -1}};
    for (const auto& step : steps) {
        closeCVLPort(0, step.close);
        EXPECT_EQ(doCVLGrab(0, step.close), 0);
        if (step.grabOn < 0) break;
        const int seen = TheCompletions().Count(step.named);
        EXPECT_EQ(doCVLGrab(0, step.grabOn), 1);
        EXPECT_TRUE(TheCompletions().WaitBeyond(step.named, seen)) << step.close;
    }
    EXPECT_EQ(TheCompletions().Count(9), 0);
    EXPECT_EQ(Count(drv::kFreeResources, kMono), 1u);
}

// A configuration file, or a change through the camera object on an open port, may select
// another video mode: the port's buffers and resources follow before its next grab, and a
// reopen tells the host the new size. Rows read with the old size are cut to the frame.
TEST_F(ExportsTest, APortFollowsTheVideoModeThatItsFileOrItsCameraSelects) {
    const struct {
        std::string camera;
        std::uint32_t format, mode, coding;
        int width, height;
    } cases[] = {
        {kMono, 0, 6, 0, 640, 480},    // Mono16
        {kColour, 7, 1, 5, 400, 300},  // Format 7 mode 1, Mono16
        {kColour, 7, 0, 4, 320, 200},  // Format 7 mode 0, RGB
        {kColour, 0, 4, 0, 640, 480},  // VGA RGB
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format * 10 + c.mode);
        int before[2];
        OpenPort(0, c.camera, before);
        TheMessages().Take();  // no file yet
        GrabPort* port = nullptr;
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
        EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + std::min(before[0], c.width),
                               old.begin()));
        EXPECT_EQ(ConfigureAndClose(), 1);
        closeCVLPort(0, 0);

        sim::SetVideoMode(c.camera, 0, c.camera == kMono ? 5 : 1);  // the file alone brings it back
        int size[2];
        OpenPort(0, c.camera, size);
        EXPECT_EQ(size[0], c.width);
        EXPECT_EQ(size[1], c.height);
        const auto frame = GrabFrame(0, size[0], size[1]);
        EXPECT_EQ(frame, ExpectedFrame(c.camera, size[0], size[1]));
        // a second port restores the same file: the stream it shares is left as it is
        const std::size_t allocations = Count(drv::kAllocateResources, c.camera);
        OpenPort(1, c.camera, size);
        EXPECT_EQ(size[0], c.width);
        GrabFrame(1, size[0], size[1]);
        EXPECT_EQ(Count(drv::kAllocateResources, c.camera), allocations);
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
        std::uint32_t fault;
        bool deviceOpens;
    } cases[] = {{sim::kOpOpenDevice, false}, {drv::kAllocateResources, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.deviceOpens);
        sim::InjectFault(sim::Fault(c.fault, 5).On(kMono).Times(3));  // open, two grabs
        int size[2] = {9, 9};
        EXPECT_EQ(openCVLPort(0, 0, kMono.c_str(), size), 1);
        EXPECT_EQ(size[0] + size[1], 0);
        EXPECT_TRUE(Reported(kMono));
        unsigned char row[4] = {1, 2, 3, 4};
        EXPECT_EQ(getCVLGrabRow(0, 0, row, 0, 0, 3), 1);
        EXPECT_EQ(row[0], 1);
        for (int attempt = 0; attempt < 2; ++attempt) {
            TheMessages().Take();
            EXPECT_EQ(doCVLGrab(0, 0), 0);
            EXPECT_TRUE(Reported(kMono));
        }
        int gain = -1;
        EXPECT_EQ(getProperty(0, 0, "Gain", &gain), c.deviceOpens ? 1 : 0);
        EXPECT_EQ(setProperty(0, 0, "Gain", 10), c.deviceOpens ? 1 : 0);
        TheMessages().Take();
        EXPECT_EQ(ConfigureAndClose(), 1);
        EXPECT_FALSE(TheMessages().Contains("ERROR: "));
        EXPECT_EQ(std::filesystem::exists(scratch_.File(kMono + ".cfg")), c.deviceOpens);
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
        EXPECT_EQ(GrabFrame(0, size[0], size[1]), good);
        EXPECT_TRUE(Reported(camera));
        const auto frame = GrabFrame(0, size[0], size[1]);
        EXPECT_EQ(frame, ExpectedFrame(camera, size[0], size[1]));
        closeCVLPort(0, 0);
    }
}

// Continuous grabbing at the camera's own pace and as fast as it goes, through a refused removal
// (which closes the device for a moment) or without one: the stream goes on, and once switched
// off the grab armed last comes in and the port takes single grabs again.
TEST_F(ExportsTest, ContinuousGrabbingGoesOnThroughARefusedRemovalAndEndsWhenSwitchedOff) {
    for (const sim::Pace pace : {sim::Pace::Fast, sim::Pace::RealTime}) {
        for (const bool removal : {false, true}) {
            SCOPED_TRACE(std::to_string(pace == sim::Pace::Fast) + std::to_string(removal));
            sim::SetPace(pace);
            OpenPort(0, kMono);
            TheMessages().Take();  // no file yet
            ASSERT_EQ(setProperty(0, 0, "continous", 1), 1);
            ASSERT_TRUE(TheCompletions().WaitBeyond(0, TheCompletions().Count(0) + 2));
            if (removal) {
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
            if (!removal) ExpectNoErrorLines();
        }
    }
}

// What fails below the host functions reaches the host as an error line naming the camera,
// and the call answers as it would otherwise. A system path longer than 255 characters is cut
// (the sanitizer build sees any overrun); no file name fits under it.
TEST_F(ExportsTest, FailuresAreReportedWithTheCameraName) {
    int size[2] = {0, 0}, value = 0;
    const auto configureIn = [&](const std::string& path) {
        OpenPort(0, kMono);
        setSystemPath(path.c_str());
    };
    const struct {
        std::function<void()> before;
        std::function<int()> call;
        int result;
    } cases[] = {
        {[&] {
             OpenPort(0, kMono);
             sim::InjectFault(sim::Fault(drv::kFeatureInquiry).On(kMono));
         },
         [&] { return getProperty(0, 0, "Gain", &value); }, 0},
        {[&] {
             OpenPort(0, kMono);
             sim::InjectFault(sim::Fault(drv::kFeatureInquiry).On(kMono));
         },
         [&] { return getPropertyRange(0, 0, "Gain", &value, &value); }, 0},
        {[&] {
             OpenPort(0, kMono);
             sim::InjectFault(sim::Fault(drv::kShot).On(kMono));
         },
         [] { closeCVLPort(0, 0); return 1; }, 1},  // switching continuous grabbing off
        {[] {}, [&] { return openCVLPort(0, 0, kMono.c_str(), size); }, 1},  // no file
        {[&] { configureIn(directory_ + "/no/such/dir"); }, ConfigureAndClose, 1},
        {[&] { configureIn(directory_ + std::string(300, 'x')); }, ConfigureAndClose, 1},
    };
    for (const auto& c : cases) {
        c.before();
        TheMessages().Take();
        EXPECT_EQ(c.call(), c.result);
        EXPECT_TRUE(Reported(kMono));
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
    std::FILE* holder = StartProgram("helper-exit", Quoted(kMono) + " hold 3 " + Quoted(crashFile));
    ASSERT_NE(holder, nullptr);
    ASSERT_EQ(ReadLine(holder), "ready\n");

    int size[2];
    EXPECT_EQ(openCVLPort(0, 3, "MONOasked", size), 0);
    EXPECT_TRUE(TheMessages().Contains("MONOasked is open by other process\n"));
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
        holders.push_back(StartProgram(
            "helper-exit", Quoted(kMono) + " hold 6 " + Quoted(crashFile) + " " + Quoted(goFile)));
        ASSERT_NE(holders.back(), nullptr);
    }
    std::ofstream(goFile) << "go";
    std::vector<std::string> answers;
    for (std::FILE* holder : holders) answers.push_back(ReadLine(holder));
    std::ofstream(crashFile) << "now";
    for (std::FILE* holder : holders) EndProgram(holder);
    EXPECT_EQ(std::count(answers.begin(), answers.end(), "ready\n"), 1);
    EXPECT_EQ(std::count(answers.begin(), answers.end(), "refused\n"), 3);
}

// exit() with a port grabbing, from the completion callback or from another thread (also while a
// callback calls the library and stays on): the process ends at once rather than waiting for
// the thread that is ending it or for the callback.
TEST_F(ExportsTest, EndingTheProcessWithAPortGrabbingIsQuick) {
    for (const char* where : {"callback", "main", "blocked"}) {
        SCOPED_TRACE(where);
        std::FILE* program = StartProgram("helper-exit", Quoted(kMono) + " " + where);
        ASSERT_NE(program, nullptr);
        const std::string line = ReadLine(program);
        long long exitingAt = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "exiting %lld", &exitingAt), 1) << line;
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
