#include "fixture.h"

#include "platform/sync.h"

namespace fennex::test {
namespace {

using namespace fennex::platform;

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

TEST(PlatformEvent, SignalStateFollowsSetResetAndWaits) {
    using enum WaitResult;
    const std::vector<EventCase> cases = {
        {"auto-reset is consumed by one wait; set twice is one signal", false, false,
         {{Op::Wait, Timeout}, {Op::Set}, {Op::Set}, {Op::Wait, Signaled}, {Op::Wait, Timeout}}},
        {"manual-reset stays signalled until reset", true, false,
         {{Op::Set}, {Op::Wait, Signaled}, {Op::Wait, Signaled}, {Op::Reset}, {Op::Wait, Timeout}}},
        {"bit 0 of the handle is ignored by set", true, false, {{Op::SetTagged}, {Op::Wait, Signaled}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Event event(c.manualReset, c.initiallySignaled);
        ASSERT_TRUE(event.Valid());
        for (const Step& step : c.steps) {
            switch (step.op) {
                case Op::Set: ASSERT_TRUE(event.Set()); break;
                case Op::SetTagged: {
                    const auto tagged = reinterpret_cast<std::uintptr_t>(event.Native()) | 1;
                    ASSERT_TRUE(SetEventHandle(reinterpret_cast<Handle>(tagged)));
                    break;
                }
                case Op::Reset: ASSERT_TRUE(event.Reset()); break;
                case Op::Wait: EXPECT_EQ(event.Wait(0), step.expected); break;
            }
        }
    }
}

struct Gate {
    Event go{true, false};
    std::uint32_t seenId = 0;
};

std::uint32_t WaitForGate(void* arg) {
    auto* gate = static_cast<Gate*>(arg);
    gate->seenId = CurrentThreadId();
    gate->go.Wait(kInfinite);
    return 0;
}

TEST(PlatformThread, JoinIsBoundedAndTheThreadHasItsOwnId) {
    Gate gate;
    Thread thread;
    EXPECT_TRUE(thread.Join(0)) << "a thread never started counts as ended";
    ASSERT_TRUE(thread.Start(WaitForGate, &gate));
    EXPECT_FALSE(thread.Join(20));  // blocked on the gate
    EXPECT_TRUE(thread.Running());
    ASSERT_TRUE(gate.go.Set());
    ASSERT_TRUE(thread.Join(5000));
    EXPECT_FALSE(thread.Running());
    EXPECT_EQ(thread.Id(), gate.seenId);
    EXPECT_NE(thread.Id(), CurrentThreadId());
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
}  // namespace fennex::test
