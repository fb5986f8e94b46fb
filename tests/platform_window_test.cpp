#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/last_error.h"
#include "platform/sync.h"
#include "platform/win32_errors.h"
#include "platform/window.h"

namespace fennex::platform {
namespace {

constexpr std::uint32_t kEcho = 0x8001;     // returns wParam * 2
constexpr std::uint32_t kQuit = 0x8002;     // ends the loop
constexpr std::uint32_t kDestroy = 0x8003;  // the window destroys itself

struct Seen {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::uint32_t thread;
};

// What the test procedures saw; procedures are plain functions, so this is shared.
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
};
Journal g_journal;

std::intptr_t FENNEX_CALLBACK RecordingProc(Hwnd window, std::uint32_t message, std::uintptr_t wParam,
                                            std::intptr_t lParam) {
    switch (message) {
        case kEcho: g_journal.Add(message, wParam); return static_cast<std::intptr_t>(wParam * 2);
        case kQuit: g_journal.Add(message, wParam); PostQuit(0); return 0;
        case kDestroy:
        case kWmClose: DestroyWindowHandle(window); return 0;
        case kWmDestroy: g_journal.Add(message, wParam); PostQuit(0); return 0;
        default: return CallPreviousWindowProc(g_journal.previous, window, message, wParam, lParam);
    }
}

std::intptr_t FENNEX_CALLBACK OtherProc(Hwnd, std::uint32_t message, std::uintptr_t wParam, std::intptr_t) {
    if (message == kEcho) return static_cast<std::intptr_t>(wParam + 1000);
    return 0;
}

// A thread that owns one window with RecordingProc and serves it until the loop ends.
struct WindowThread {
    Event ready{true, false};
    Hwnd window = nullptr;
    int loopResult = -1;
    bool runLoop = true;
    Thread thread;

    static std::uint32_t Main(void* arg) {
        auto* self = static_cast<WindowThread*>(arg);
        self->window = CreateMessageOnlyWindow("FennexTestWindow");
        if (self->window) g_journal.previous = ReplaceWindowProc(self->window, RecordingProc);
        self->ready.Set();
        if (self->window && self->runLoop) self->loopResult = RunMessageLoop();
        return 0;
    }
    bool Start() {
        g_journal.Take();
        return thread.Start(Main, this) && ready.Wait(5000) == WaitResult::Signaled && window != nullptr;
    }
    ~WindowThread() {
        if (thread.Running() && IsWindowHandle(window)) PostMessageTo(window, kQuit, 0, 0);
        thread.Join(5000);
    }
};

TEST(PlatformWindow, SendFromAnotherThreadRunsOnTheWindowThread) {
    WindowThread w;
    ASSERT_TRUE(w.Start());
    EXPECT_TRUE(IsWindowHandle(w.window));
    EXPECT_NE(g_journal.previous, nullptr) << "a new window has a procedure to go back to";
    const std::vector<std::uintptr_t> values = {0, 1, 21, 0x7FFF};
    for (std::uintptr_t v : values) EXPECT_EQ(SendMessageTo(w.window, kEcho, v, 0), static_cast<std::intptr_t>(v * 2));
    const auto seen = g_journal.Take();
    ASSERT_EQ(seen.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(seen[i].wParam, values[i]);
        EXPECT_EQ(seen[i].thread, w.thread.Id());
    }
    // Only the owning thread may destroy the window.
    EXPECT_FALSE(DestroyWindowHandle(w.window));
    EXPECT_TRUE(IsWindowHandle(w.window));
}

TEST(PlatformWindow, PostedMessagesArriveInOrderBeforeTheQuit) {
    WindowThread w;
    ASSERT_TRUE(w.Start());
    for (std::uintptr_t v = 1; v <= 5; ++v) ASSERT_TRUE(PostMessageTo(w.window, kEcho, v, 0));
    ASSERT_TRUE(PostMessageTo(w.window, kQuit, 99, 0));
    ASSERT_TRUE(w.thread.Join(5000));
    EXPECT_EQ(w.loopResult, 0);
    const auto seen = g_journal.Take();
    ASSERT_EQ(seen.size(), 6u);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(seen[i].wParam, i + 1);
    EXPECT_EQ(seen[5].message, kQuit);
}

TEST(PlatformWindow, DestroyingSendsWmDestroyAndEndsTheWindow) {
    struct Case {
        const char* name;
        std::uint32_t message;  // posted to make the window go
    };
    const std::vector<Case> cases = {
        {"destroyed by its own thread", kDestroy},
        {"closed", kWmClose},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowThread w;
        ASSERT_TRUE(w.Start());
        ASSERT_TRUE(PostMessageTo(w.window, c.message, 0, 0));
        ASSERT_TRUE(w.thread.Join(5000));
        EXPECT_EQ(w.loopResult, 0);
        const auto seen = g_journal.Take();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].message, kWmDestroy);
        EXPECT_EQ(seen[0].thread, w.thread.Id());
        EXPECT_FALSE(IsWindowHandle(w.window));
        SetLastError(0);
        EXPECT_EQ(SendMessageTo(w.window, kEcho, 1, 0), 0);
        EXPECT_EQ(LastError(), err::kInvalidWindowHandle);
        EXPECT_FALSE(PostMessageTo(w.window, kEcho, 1, 0));
        EXPECT_EQ(LastError(), err::kInvalidWindowHandle);
    }
}

TEST(PlatformWindow, AWindowEndsWithItsThread) {
    WindowThread w;
    w.runLoop = false;
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(w.thread.Join(5000));
    EXPECT_FALSE(IsWindowHandle(w.window));
}

TEST(PlatformWindow, ReplacingTheProcedureReturnsThePreviousOne) {
    // On the calling thread: sends call the procedure directly, no loop needed.
    Hwnd window = CreateMessageOnlyWindow("FennexTestLocal");
    ASSERT_NE(window, nullptr);
    const WindowProc original = ReplaceWindowProc(window, RecordingProc);
    ASSERT_NE(original, nullptr);
    g_journal.previous = original;
    g_journal.Take();
    EXPECT_EQ(SendMessageTo(window, kEcho, 4, 0), 8);
    EXPECT_EQ(ReplaceWindowProc(window, OtherProc), RecordingProc);
    EXPECT_EQ(SendMessageTo(window, kEcho, 4, 0), 1004);
    EXPECT_EQ(ReplaceWindowProc(window, RecordingProc), OtherProc);
    EXPECT_EQ(SendMessageTo(window, kEcho, 5, 0), 10);
    // What the procedure does not handle goes on to the original one, which answers 0.
    EXPECT_EQ(SendMessageTo(window, 0x8010, 5, 0), 0);
    EXPECT_TRUE(IsWindowHandle(window));
    const auto seen = g_journal.Take();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].thread, CurrentThreadId());
    EXPECT_TRUE(DestroyWindowHandle(window));
    EXPECT_EQ(g_journal.Take().size(), 1u);  // WM_DESTROY
    // The quit that the procedure posted on WM_DESTROY ends this thread's next loop at once.
    EXPECT_EQ(RunMessageLoop(), 0);
    SetLastError(0);
    EXPECT_EQ(ReplaceWindowProc(window, OtherProc), nullptr);
    EXPECT_EQ(LastError(), err::kInvalidWindowHandle);
}

TEST(PlatformWindow, NonWindowsAreRefused) {
    for (Hwnd h : {Hwnd{nullptr}, reinterpret_cast<Hwnd>(std::uintptr_t{0x7FF0})}) {
        EXPECT_FALSE(IsWindowHandle(h));
        EXPECT_FALSE(PostMessageTo(h, kEcho, 0, 0));
        EXPECT_EQ(LastError(), err::kInvalidWindowHandle);
        EXPECT_EQ(SendMessageTo(h, kEcho, 1, 0), 0);
    }
}

}  // namespace
}  // namespace fennex::platform
