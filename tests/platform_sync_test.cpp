#include <gtest/gtest.h>

#include <vector>

#include "platform/last_error.h"
#include "platform/sync.h"
#include "platform/win32_errors.h"

namespace fennex::platform {
namespace {

enum class Op { Set, SetTagged, Reset, Wait };

struct Step {
    Op op;
    WaitResult expected = WaitResult::Signaled;  // for Wait
};

struct EventCase {
    const char* name;
    bool manualReset;
    bool initiallySignaled;
    std::vector<Step> steps;
};

Handle Tagged(Handle h) {
    return reinterpret_cast<Handle>(reinterpret_cast<std::uintptr_t>(h) | 1);
}

TEST(PlatformEvent, SignalStateFollowsSetResetAndWaits) {
    using enum WaitResult;
    const std::vector<EventCase> cases = {
        {"auto-reset starts clear", false, false, {{Op::Wait, Timeout}}},
        {"auto-reset is consumed by one wait", false, false,
         {{Op::Set}, {Op::Wait, Signaled}, {Op::Wait, Timeout}}},
        {"auto-reset initially signalled", false, true, {{Op::Wait, Signaled}, {Op::Wait, Timeout}}},
        {"manual-reset stays signalled", true, false,
         {{Op::Set}, {Op::Wait, Signaled}, {Op::Wait, Signaled}}},
        {"manual-reset cleared by reset", true, true,
         {{Op::Wait, Signaled}, {Op::Reset}, {Op::Wait, Timeout}}},
        {"set twice is one signal", false, false,
         {{Op::Set}, {Op::Set}, {Op::Wait, Signaled}, {Op::Wait, Timeout}}},
        {"bit 0 of the handle is ignored by set", true, false,
         {{Op::SetTagged}, {Op::Wait, Signaled}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Event event(c.manualReset, c.initiallySignaled);
        ASSERT_TRUE(event.Valid());
        for (const Step& step : c.steps) {
            switch (step.op) {
                case Op::Set: ASSERT_TRUE(event.Set()); break;
                case Op::SetTagged: ASSERT_TRUE(SetEventHandle(Tagged(event.Native()))); break;
                case Op::Reset: ASSERT_TRUE(event.Reset()); break;
                case Op::Wait: EXPECT_EQ(event.Wait(0), step.expected); break;
            }
        }
    }
}

TEST(PlatformEvent, InvalidHandlesFail) {
    Handle closed = CreateEventHandle(true, true);
    ASSERT_TRUE(CloseEventHandle(closed));
    for (Handle h : {Handle{nullptr}, InvalidHandleValue(), closed}) {
        SetLastError(0);
        EXPECT_EQ(WaitEvent(h, 0), WaitResult::Failed);
        EXPECT_EQ(LastError(), err::kInvalidHandle);
        EXPECT_FALSE(SetEventHandle(h));
        EXPECT_FALSE(ResetEventHandle(h));
    }
}

struct Gate {
    Event go{true, false};
    std::uint32_t seenId = 0;
    std::uint32_t result = 0;
};

std::uint32_t WaitForGate(void* arg) {
    auto* gate = static_cast<Gate*>(arg);
    gate->seenId = CurrentThreadId();
    return gate->go.Wait(kInfinite) == WaitResult::Signaled ? gate->result : 99;
}

TEST(PlatformThread, JoinIsBoundedAndReportsTheExitCode) {
    for (std::uint32_t code : {0u, 7u, 0xFFFFu}) {
        SCOPED_TRACE(code);
        Gate gate;
        gate.result = code;
        Thread thread;
        // A thread never started counts as ended.
        EXPECT_FALSE(thread.Started());
        EXPECT_TRUE(thread.Join(0));
        EXPECT_FALSE(thread.Running());
        ASSERT_TRUE(thread.Start(WaitForGate, &gate));
        EXPECT_TRUE(thread.Started());
        EXPECT_FALSE(thread.Join(20));  // blocked on the gate
        EXPECT_TRUE(thread.Running());
        EXPECT_EQ(thread.ExitCode(), kStillActive);
        ASSERT_TRUE(gate.go.Set());
        ASSERT_TRUE(thread.Join(5000));
        EXPECT_FALSE(thread.Running());
        EXPECT_EQ(thread.ExitCode(), code);
        EXPECT_EQ(thread.Id(), gate.seenId);
        EXPECT_NE(thread.Id(), CurrentThreadId());
    }
}

TEST(PlatformThread, TerminateEndsTheThreadOnlyWhereTheSystemCan) {
    Gate gate;
    Thread thread;
    ASSERT_TRUE(thread.Start(WaitForGate, &gate));
#ifdef _WIN32
    EXPECT_TRUE(thread.Terminate(5));
    ASSERT_TRUE(thread.Join(5000));
    EXPECT_EQ(thread.ExitCode(), 5u);
#else
    EXPECT_FALSE(thread.Terminate(5));
    EXPECT_EQ(LastError(), err::kNotSupported);
    EXPECT_TRUE(thread.Running());
    gate.result = 3;
    gate.go.Set();
    ASSERT_TRUE(thread.Join(5000));
    EXPECT_EQ(thread.ExitCode(), 3u);
#endif
}

struct Counter {
    volatile std::int32_t value = 0;
    int rounds = 0;
};

std::uint32_t Hammer(void* arg) {
    auto* c = static_cast<Counter*>(arg);
    for (int i = 0; i < c->rounds; ++i) {
        InterlockedIncrement32(&c->value);
        InterlockedIncrement32(&c->value);
        InterlockedDecrement32(&c->value);
    }
    return 0;
}

TEST(PlatformInterlocked, CountersAreExactUnderContentionAndReturnTheNewValue) {
    Counter counter;
    EXPECT_EQ(InterlockedIncrement32(&counter.value), 1);
    EXPECT_EQ(InterlockedDecrement32(&counter.value), 0);
    EXPECT_EQ(InterlockedDecrement32(&counter.value), -1);
    counter.value = 0;
    counter.rounds = 20000;
    Thread a, b;
    ASSERT_TRUE(a.Start(Hammer, &counter));
    ASSERT_TRUE(b.Start(Hammer, &counter));
    ASSERT_TRUE(a.Join(10000));
    ASSERT_TRUE(b.Join(10000));
    EXPECT_EQ(counter.value, 40000);
}

struct ErrorProbe {
    std::uint32_t before = 0;
    std::uint32_t after = 0;
};

std::uint32_t ProbeLastError(void* arg) {
    auto* p = static_cast<ErrorProbe*>(arg);
    p->before = LastError();
    SetLastError(1234);
    p->after = LastError();
    return 0;
}

TEST(PlatformLastError, IsKeptPerThread) {
    SetLastError(err::kFileNotFound);
    ErrorProbe probe;
    Thread thread;
    ASSERT_TRUE(thread.Start(ProbeLastError, &probe));
    ASSERT_TRUE(thread.Join(5000));
    EXPECT_EQ(probe.before, 0u);
    EXPECT_EQ(probe.after, 1234u);
    EXPECT_EQ(LastError(), err::kFileNotFound);
}

}  // namespace
}  // namespace fennex::platform
