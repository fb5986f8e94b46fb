#include "exports_fixture.h"

#include <cstdio>
#include <filesystem>

#include "platform/profile.h"

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#include <thread>
#endif

namespace exports_test {

void Messages::Receive(const char* text) {
    Messages& m = TheMessages();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.lines.emplace_back(text);
}

Messages& TheMessages() {
    static Messages messages;
    return messages;
}

void Completions::Callback(int, int port) {
    Completions& c = TheCompletions();
    if (port < 0 || port >= FENNEX_MAX_PORTS) return;
    std::lock_guard<std::mutex> lock(c.mutex);
    ++c.count[port];
    c.cv.notify_all();
}

bool Completions::WaitBeyond(int port, int seen, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, timeout, [&] { return count[port] > seen; });
}

Completions& TheCompletions() {
    static Completions completions;
    return completions;
}

#ifdef _WIN32
struct DialogCloser::Thread {
    std::atomic<bool> done{false};
    std::thread closer{[this] {
        for (; !done; ::Sleep(20))
            if (HWND list = ::FindWindowA("#32770", "Bcam Configuration"))
                ::PostMessageA(list, WM_COMMAND, IDOK, 0);
    }};
    ~Thread() {
        done = true;
        closer.join();
    }
};
DialogCloser::DialogCloser() : thread_(std::make_unique<Thread>()) {}
#else
struct DialogCloser::Thread {};
DialogCloser::DialogCloser() = default;
#endif
DialogCloser::~DialogCloser() = default;

int ConfigureAndClose() {
    DialogCloser closer;
    return configure();
}

void ExportsTest::SetUp() {
    sim::Reset();
    sim::SetPace(sim::Pace::Fast);
    TheMessages().Take();
    {
        std::lock_guard<std::mutex> lock(TheCompletions().mutex);
        for (int& c : TheCompletions().count) c = 0;
    }
    setDebugMsgProc(Messages::Receive);
    setSystemPath(directory_.c_str());
    fennex::driver::RebuildCameraTableForTesting();
}

void ExportsTest::TearDown() {
    for (int port = 0; port < FENNEX_MAX_PORTS; ++port) closeCVLPort(0, port);
    setDebugMsgProc(nullptr);
}

void ExportsTest::OpenPort(int port, const std::string& camera, int* size) {
    int local[2];
    int* out = size ? size : local;
    out[0] = out[1] = 0;  // a failed open leaves the rest of the test an empty frame, not garbage
    ASSERT_EQ(openCVLPort(0, port, camera.c_str(), out), 1) << camera;
    ASSERT_EQ(setCompleteCallback(0, port, Completions::Callback), 1);
}

std::vector<std::uint8_t> ExportsTest::GrabFrame(int port, int width, int height) {
    const int seen = TheCompletions().Count(port);
    EXPECT_EQ(doCVLGrab(0, port), 1);
    EXPECT_TRUE(TheCompletions().WaitBeyond(port, seen)) << "no completion";
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * height);
    for (int row = 0; row < height; ++row)
        EXPECT_EQ(getCVLGrabRow(0, port, frame.data() + static_cast<std::size_t>(row) * width, row,
                                0, width - 1),
                  1);
    return frame;
}

void ExportsTest::SetMode(const std::string& camera, std::uint32_t format, std::uint32_t mode) {
    sim::EditCamera(camera, [&](sim::CameraDesc& d) {
        d.format = format;
        d.mode = mode;
        // the slowest rate the mode has, so that its packets fit the bus
        for (std::uint32_t rate = 0; rate < 6; ++rate)
            if (d.rates[format][mode] & (1u << (31 - rate))) {
                d.rate = rate;
                break;
            }
    });
}

std::vector<std::uint8_t> ExpectedFrame(const std::string& camera, int width, int height) {
    const sim::FrameParams params = sim::LastFrameParams(camera);
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame[static_cast<std::size_t>(y) * width + x] = sim::ExpectedLuma(
                params, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
    return frame;
}

}  // namespace exports_test
