#include "fixture.h"

#include "platform/sync.h"
#include "platform/window.h"

namespace fennex::test {
namespace {

using namespace fennex::platform;

constexpr std::uint32_t kEcho = 0x8001;  // returns wParam * 2
constexpr std::uint32_t kQuit = 0x8002;  // ends the loop

struct Seen {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::uint32_t thread;
};

// What the test procedure saw; procedures are plain functions, so this is shared.
struct Journal {
    std::mutex mutex;
    std::vector<Seen> seen;
    std::atomic<WindowProc> previous{nullptr};

    void Add(std::uint32_t message, std::uintptr_t wParam) {
        std::lock_guard lock(mutex);
        seen.push_back({message, wParam, CurrentThreadId()});
    }
    std::vector<Seen> Take() {
        std::lock_guard lock(mutex);
        return std::exchange(seen, {});
    }
} g_journal;

std::intptr_t FENNEX_CALLBACK RecordingProc(Hwnd window, std::uint32_t message, std::uintptr_t wParam,
                                            std::intptr_t lParam) {
    switch (message) {
        case kEcho: g_journal.Add(message, wParam); return static_cast<std::intptr_t>(wParam * 2);
        case kWmClose: DestroyWindowHandle(window); return 0;
        case kQuit:
        case kWmDestroy: g_journal.Add(message, wParam); PostQuit(0); return 0;
        default: return CallPreviousWindowProc(g_journal.previous, window, message, wParam, lParam);
    }
}

// A thread that owns one window with RecordingProc and, unless told not to, serves it until
// the loop ends.
struct WindowThread {
    explicit WindowThread(bool runLoop) : runLoop(runLoop) {
        g_journal.Take();
        EXPECT_TRUE(thread.Start(Main, this));
        EXPECT_EQ(ready.Wait(5000), WaitResult::Signaled);
        EXPECT_NE(window, nullptr);
    }
    ~WindowThread() {
        if (thread.Running() && IsWindowHandle(window)) PostMessageTo(window, kQuit, 0, 0);
        thread.Join(5000);
    }
    static std::uint32_t Main(void* arg) {
        auto* self = static_cast<WindowThread*>(arg);
        self->window = CreateMessageOnlyWindow("FennexTestWindow");
        if (self->window) g_journal.previous = ReplaceWindowProc(self->window, RecordingProc);
        self->ready.Set();
        if (self->window && self->runLoop) self->loopResult = RunMessageLoop();
        return 0;
    }
    bool runLoop;
    Event ready{true, false};
    Hwnd window = nullptr;
    int loopResult = -1;
    Thread thread;
};

TEST(PlatformWindow, SendFromAnotherThreadRunsOnTheWindowThreadUntilItCloses) {
    WindowThread w(true);
    EXPECT_NE(g_journal.previous, nullptr) << "a new window has a procedure to go back to";
    EXPECT_EQ(SendMessageTo(w.window, kEcho, 21, 0), 42);
    // Only the owning thread may destroy the window.
    EXPECT_FALSE(DestroyWindowHandle(w.window));
    EXPECT_TRUE(IsWindowHandle(w.window));

    ASSERT_TRUE(PostMessageTo(w.window, kWmClose, 0, 0));
    ASSERT_TRUE(w.thread.Join(5000));
    EXPECT_EQ(w.loopResult, 0);
    const auto seen = g_journal.Take();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].wParam, 21u);
    EXPECT_EQ(seen[1].message, kWmDestroy);
    for (const Seen& s : seen) EXPECT_EQ(s.thread, w.thread.Id());
    EXPECT_FALSE(IsWindowHandle(w.window));
    SetLastError(0);
    EXPECT_EQ(SendMessageTo(w.window, kEcho, 1, 0), 0);
    EXPECT_EQ(LastError(), err::kInvalidWindowHandle);
    EXPECT_FALSE(PostMessageTo(w.window, kEcho, 1, 0));
    EXPECT_EQ(LastError(), err::kInvalidWindowHandle);
}

TEST(PlatformWindow, AWindowEndsWithItsThread) {
    WindowThread w(false);
    ASSERT_TRUE(w.thread.Join(5000));
    EXPECT_FALSE(IsWindowHandle(w.window));
}

}  // namespace
}  // namespace fennex::test
