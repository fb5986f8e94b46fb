// The grab port: continuous grabbing while host threads read rows and properties, closing
// from the callback, and its names and file paths.

#include "driver/frame_readers.h"
#include "fixture.h"

namespace fennex::test {
namespace {

// Test image 2 is (x + y + frame) mod 256 whatever the other settings, so that every row tells
// its frame, and a row mixed from two frames shows.
bool RowIsWhole(const std::uint8_t* row, int y, int width, int* frame = nullptr) {
    const int f = (row[0] - y + 512) % 256;
    for (int x = 0; x < width; ++x)
        if (row[x] != static_cast<std::uint8_t>(x + y + f)) return false;
    if (frame) *frame = f;
    return true;
}

// Reads the announced 640 x 480 frame in the callback, each row over a filler no frame row can
// be: a row answered with 1 must be a row of that frame, one answered with 0 ends the read (the
// port was closed under it).
constexpr std::uint8_t kFiller = 0xA5;
struct Announced {
    std::atomic<int> frames{0}, broken{0};
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(640 * 480);
};
Announced* g_announced = nullptr;

void FENNEX_CALL ReadAnnounced(int, int port) {
    Announced& a = *g_announced;
    int frame0 = -1;
    bool whole = true;
    for (int y = 0; y < 480 && whole; ++y) {
        std::uint8_t* row = a.buffer.data() + static_cast<std::size_t>(y) * 640;
        std::memset(row, kFiller, 640);
        if (getCVLGrabRow(0, port, row, y, 0, 639) == 0) break;
        int f = -1;
        whole = RowIsWhole(row, y, 640, &f) && (frame0 < 0 || f == frame0);
        frame0 = f;
    }
    if (!whole) ++a.broken;
    ++a.frames;
}

// Host threads that read rows of port 0 until stopped: each row read is whole, or (where that
// may be) left as it was.
struct RowReaders {
    std::atomic<bool> stop{false};
    std::atomic<int> read{0}, torn{0};
    std::vector<std::thread> threads;
    RowReaders(int count, bool untouchedMayBe) {
        for (int t = 0; t < count; ++t)
            threads.emplace_back([this, t, untouchedMayBe] {
                std::vector<std::uint8_t> row(640);
                for (int y = t * 97; !stop.load(); y = (y + 31) % 480, ++read) {
                    std::fill(row.begin(), row.end(), kFiller);
                    const bool copied = getCVLGrabRow(0, 0, row.data(), y, 0, 639) == 1 &&
                                        std::count(row.begin(), row.end(), kFiller) != 640;
                    if (copied ? !RowIsWhole(row.data(), y, 640) : !untouchedMayBe) ++torn;
                }
            });
    }
    ~RowReaders() { Stop(); }
    int Stop() {
        stop = true;
        for (auto& t : threads)
            if (t.joinable()) t.join();
        return torn.load();
    }
};

// Host threads read rows and read and write properties (and ask for grabs) while the port grabs
// continuously; every request record comes back at the close.
TEST_F(ExportsTest, ConcurrencyContinuousFramesStayWholeWhileHostThreadsRead) {
    sim::EditCamera(kMono, [](sim::CameraDesc& d) { d.testImage = 2; });
    Announced announced;
    g_announced = &announced;
    OpenPort(0, kMono);
    ASSERT_EQ(setCompleteCallback(0, 0, ReadAnnounced), 1);
    ASSERT_EQ(setProperty(0, 0, "continous", 1), 1);

    // Host threads start once the first frame is there: before it the rows hold no picture.
    ASSERT_TRUE(WaitUntil([&] { return announced.frames.load() >= 1; }));
    RowReaders readers(2, false);
    std::atomic<int> propertyFailures{0};
    std::thread properties([&] {
        int value = 0, shutter = 0;
        while (!readers.stop.load()) {
            if (!getProperty(0, 0, "Shutter", &shutter) || !setProperty(0, 0, "Shutter", shutter) ||
                !getProperty(0, 0, "continous", &value) || value != 1)
                ++propertyFailures;
            EXPECT_EQ(doCVLGrab(0, 0), 1);
        }
    });
    EXPECT_TRUE(WaitUntil([&] { return announced.frames.load() >= 40; }));
    EXPECT_EQ(readers.Stop(), 0);
    properties.join();
    EXPECT_EQ(announced.broken.load(), 0);
    EXPECT_EQ(propertyFailures.load(), 0);
    EXPECT_GT(readers.read.load(), 0);
    EXPECT_EQ(setProperty(0, 0, "continous", 0), 1);
    closeCVLPort(0, 0);
    EXPECT_EQ(RecordsLeft(), 0);
    g_announced = nullptr;
}

// A reader copying whole frames while the writer refills far faster than it copies (a frame is
// told by its first and last byte): the copies go on ending, each holding one frame.
TEST(ConcurrencyFramePair, CopiesEndWholeWhileRefillsOvertakeThem) {
    constexpr std::size_t kBytes = 1 << 20;
    fennex::driver::FramePair pair;
    pair.Resize(kBytes);
    std::atomic<bool> stop{false};
    std::atomic<int> refills{0}, copies{0}, mixed{0};
    std::thread writer([&] {
        for (std::uint8_t frame = 1; !stop.load(std::memory_order_relaxed); ++frame, ++refills) {
            std::uint8_t* buffer = pair.BeginRefill();
            buffer[0] = buffer[kBytes - 1] = frame;
            pair.Publish();
        }
    });
    std::thread reader([&] {
        std::vector<std::uint8_t> copy(kBytes);
        for (; !stop.load(std::memory_order_relaxed); ++copies) {
            pair.Copy(0, copy.data(), kBytes);
            if (copy.front() != copy.back()) ++mixed;
        }
    });
    EXPECT_TRUE(WaitUntil([&] { return copies.load() >= 200 && refills.load() >= 100000; },
                          std::chrono::seconds(10)));
    stop = true;
    writer.join();
    reader.join();
    EXPECT_EQ(mixed.load(), 0);
}

// Host threads read rows while the port is closed and opened again under them: a read copies a
// whole row of one frame, or nothing (before the first frame of an open), and never
// touches buffers of a closed port.
TEST_F(ExportsTest, ConcurrencyRowReadsWhileThePortClosesAndOpens) {
    sim::EditCamera(kMono, [](sim::CameraDesc& d) { d.testImage = 2; });
    OpenPort(0, kMono);
    GrabFrame(0, 640, 480);
    RowReaders readers(2, true);
    for (int i = 0; i < 10; ++i) {
        closeCVLPort(0, 0);
        OpenPort(0, kMono);
        GrabFrame(0, 640, 480);
    }
    EXPECT_EQ(readers.Stop(), 0);
    EXPECT_GT(readers.read.load(), 0);
}

// The camera is removed while the port grabs continuously (refused, normal and surprise
// removals in turn; after the last two the host closes the port, plugs the camera back and opens
// it again), or its mode is changed, and a host thread reads rows: the rows a callback reads are
// the frame it was given, and the stream goes on after every refused removal and mode change.
TEST_F(ExportsTest, ConcurrencyTheAnnouncedFrameStaysReadableThroughRemovals) {
    for (const sim::Pace pace : {sim::Pace::Fast, sim::Pace::RealTime}) {
        SCOPED_TRACE(pace == sim::Pace::Fast ? "fast" : "at the camera's pace");
        sim::SetPace(pace);
        sim::EditCamera(kMono, [](sim::CameraDesc& d) { d.testImage = 2; });
        const sim::CameraDesc camera = sim::Camera(kMono);
        Announced announced;
        g_announced = &announced;
        auto start = [&] {
            OpenPort(0, kMono);
            ASSERT_EQ(setCompleteCallback(0, 0, ReadAnnounced), 1);
            ASSERT_EQ(setProperty(0, 0, "continous", 1), 1);
        };
        start();
        RowReaders reader(1, true);
        const int rounds = pace == sim::Pace::Fast ? 80 : 16;
        for (int round = 0; round < rounds; ++round) {
            const int seen = announced.frames.load();
            const bool twoMore = WaitUntil([&] { return announced.frames.load() >= seen + 2; });
            EXPECT_TRUE(twoMore) << "round " << round;
            if (!twoMore) break;
            if (round % 4 == 3) {  // Mono8 and Mono16 in turn: the port's buffers are made anew
                fennex::driver::GrabPort* port = nullptr;
                fennex::driver::FindOpenPort(kMono.c_str(), &port);
                EXPECT_NE(port, nullptr);
                if (!port) break;
                port->SetVideoMode(0, round % 8 == 3 ? 6 : 5, 4);
                continue;
            }
            const sim::Removal removal = round % 4 == 0   ? sim::Removal::Refused
                                         : round % 4 == 1 ? sim::Removal::Normal
                                                          : sim::Removal::Surprise;
            if (sim::Unplug(kMono, removal)) {
                closeCVLPort(0, 0);
                sim::Plug(camera);
                start();
            }
        }
        EXPECT_EQ(reader.Stop(), 0);
        closeCVLPort(0, 0);
        EXPECT_EQ(announced.broken.load(), 0);
        g_announced = nullptr;
    }
}

// Hosts that read rows from threads that come and go (pooled or short-lived): each thread's
// reader record comes back when it ends, so that none is left borrowing one for every row.
TEST_F(ExportsTest, ConcurrencyReadingThreadsThatEndGiveTheirRecordsBack) {
    OpenPort(0, kMono);
    GrabFrame(0, 640, 480);
    const std::size_t kept = fennex::driver::FrameRead::RecordsKept();
    for (int i = 0; i < 60; ++i) {
        std::thread([&] {
            std::vector<std::uint8_t> row(640);
            EXPECT_EQ(getCVLGrabRow(0, 0, row.data(), 0, 0, 639), 1);
        }).join();
        ASSERT_LE(fennex::driver::FrameRead::RecordsKept(), kept) << "after thread " << i;
    }
}

std::atomic<int> g_closedFromCallback{0};
void FENNEX_CALL CloseFromCallback(int, int port) {
    closeCVLPort(0, port);
    ++g_closedFromCallback;
}

TEST_F(ExportsTest, ConcurrencyClosingFromTheCompletionCallbackDoesNotDeadlock) {
    for (bool continuous : {false, true}) {
        SCOPED_TRACE(continuous);
        g_closedFromCallback = 0;
        OpenPort(0, kMono);
        ASSERT_EQ(setCompleteCallback(0, 0, CloseFromCallback), 1);
        ASSERT_EQ(continuous ? setProperty(0, 0, "continous", 1) : doCVLGrab(0, 0), 1);
        WaitUntil([] { return g_closedFromCallback.load() != 0; });
        EXPECT_EQ(g_closedFromCallback.load(), 1);
        EXPECT_EQ(doCVLGrab(0, 0), 0);  // the port is closed
        EXPECT_FALSE(sim::Camera(kMono).continuous);  // and its camera streams no more
        // and can be opened again at once
        OpenPort(0, kMono);
        const auto frame = GrabFrame(0, 640, 480);
        EXPECT_EQ(frame, ExpectedFrame(kMono, 640, 480));
        closeCVLPort(0, 0);
    }
}

// A debug procedure and a callback that call back into the library while it reports or
// announces: nothing is locked against them.
std::function<void()> g_reentry;  // set before host code runs, run by its first call only
std::atomic<int> g_reentered{0};
std::atomic<bool> g_reentryDone{false};
void Reenter() {
    if (g_reentered.fetch_add(1) != 0) return;
    g_reentry();
    g_reentryDone.store(true, std::memory_order_release);
}
void FENNEX_CALL ReenteringDebugProc(const char* text) {
    Messages::Receive(text);
    Reenter();
}
void FENNEX_CALL ReenteringCallback(int, int) { Reenter(); }

TEST_F(ExportsTest, ConcurrencyHostCodeMayCallBackIntoTheLibrary) {
    const DialogCloser closer;  // configure shows its dialog where there is one
    int size[2] = {0, 0};
    const struct {
        const char* what;
        std::function<void()> setup, call, reentry;
    } cases[] = {
        {"open reports a missing file; the procedure closes another port",
         [&] { OpenPort(1, kColour); }, [&] { openCVLPort(0, 0, kMono.c_str(), size); },
         [] { closeCVLPort(0, 1); getCVLNoOfSupportedCameras(); }},
        {"the table is built while enumeration fails; the procedure asks for it",
         [] { sim::InjectFault(sim::Fault(sim::kOpOpenInterfaceSet, 5)); },
         [] { fennex::driver::RebuildCameraTableForTesting(); },
         [] { getCVLNoOfSupportedCameras(); getCVLCameraConfigNames(); }},
        {"configure reports an unwritable file; the procedure closes the port",
         [&] {
             OpenPort(0, kMono);
             setSystemPath((directory_ + "/no/such/dir").c_str());
         },
         [] { configure(); }, [] { closeCVLPort(0, 0); }},
        {"the callback configures, closes and opens",
         [&] {
             OpenPort(0, kMono);
             ASSERT_EQ(setCompleteCallback(0, 0, ReenteringCallback), 1);
         },
         [] { doCVLGrab(0, 0); },
         [&] {
             configure();
             closeCVLPort(0, 0);
             openCVLPort(0, 0, kMono.c_str(), size);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.setup();
        g_reentered = 0;
        g_reentryDone = false;
        g_reentry = c.reentry;
        setDebugMsgProc(ReenteringDebugProc);
        c.call();
        EXPECT_TRUE(WaitUntil([] { return g_reentryDone.load(std::memory_order_acquire); }));
        setDebugMsgProc(Messages::Receive);
        g_reentry = nullptr;
        sim::ClearFaults();
        setSystemPath(directory_.c_str());
        for (int port = 0; port < 2; ++port) closeCVLPort(0, port);
        fennex::driver::RebuildCameraTableForTesting();
    }
}

std::atomic<bool> g_slowCallbackRunning{false};
void FENNEX_CALL SlowCallback(int, int) {
    g_slowCallbackRunning = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    g_slowCallbackRunning = false;
}

TEST_F(ExportsTest, ConcurrencyClosingWhileTheCallbackStillRunsKeepsItsBuffers) {
    OpenPort(0, kMono);
    ASSERT_EQ(setCompleteCallback(0, 0, SlowCallback), 1);
    ASSERT_EQ(doCVLGrab(0, 0), 1);
    ASSERT_TRUE(WaitUntil([] { return g_slowCallbackRunning.load(); }));
    closeCVLPort(0, 0);  // waits 200 ms, then leaves the thread to end by itself
    OpenPort(0, kMono);
    const auto frame = GrabFrame(0, 640, 480);
    EXPECT_EQ(frame, ExpectedFrame(kMono, 640, 480));
    closeCVLPort(0, 0);
    WaitUntil([] { return !g_slowCallbackRunning.load(); });
}

TEST(GrabPort, ConfigurationFileIsNamedAfterTheCameraInTheSystemPath) {
    const std::string sep(1, platform::PathSeparator());
    const struct {
        std::string systemPath, expected;
    } cases[] = {
        {"cams", "cams" + sep + "Cam1.cfg"},
        {"cams" + sep, "cams" + sep + "Cam1.cfg"},
        {"", "Cam1.cfg"},
        {sep, sep + "Cam1.cfg"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fennex::driver::GrabPort::SettingsPath(c.systemPath.c_str(), "Cam1"), c.expected);
}

TEST(GrabPort, LongDeviceNamesAreCutToTheNameField) {
    const std::string longName(300, 'L');
    fennex::driver::GrabPort port(longName);
    EXPECT_EQ(std::string(port.Name()), longName.substr(0, 127));
}

}  // namespace
}  // namespace fennex::test
