#include "fixture.h"

#include "platform/sync.h"

namespace fennex::test {
namespace {

using namespace fennex::platform;

TEST(PlatformEvent, SignalStateFollowsSetResetAndWaits) {
    using enum WaitResult;
    enum Op { Set, SetTagged, Reset, Wait };
    const struct {
        const char* name;
        bool manualReset;
        std::vector<std::pair<Op, WaitResult>> steps;  // the result: of a Wait
    } cases[] = {
        {"auto-reset is consumed by one wait; set twice is one signal", false,
         {{Wait, Timeout}, {Set, {}}, {Set, {}}, {Wait, Signaled}, {Wait, Timeout}}},
        {"manual-reset stays signalled until reset", true,
         {{Set, {}}, {Wait, Signaled}, {Wait, Signaled}, {Reset, {}}, {Wait, Timeout}}},
        {"bit 0 of the handle is ignored by set", true, {{SetTagged, {}}, {Wait, Signaled}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Event event(c.manualReset, false);
        ASSERT_TRUE(event.Valid());
        for (const auto& [op, expected] : c.steps) {
            const auto tagged = reinterpret_cast<std::uintptr_t>(event.Native()) | 1;
            switch (op) {
                case Set: ASSERT_TRUE(event.Set()); break;
                case SetTagged: ASSERT_TRUE(SetEventHandle(reinterpret_cast<Handle>(tagged))); break;
                case Reset: ASSERT_TRUE(event.Reset()); break;
                case Wait: EXPECT_EQ(event.Wait(0), expected); break;
            }
        }
    }
}

// A thread that notes its id, waits for the gate, then notes its last error and sets its own.
struct Probe {
    Event gate{true, false};
    std::uint32_t id = 0, errorBefore = 0, errorAfter = 0;
    static std::uint32_t Main(void* arg) {
        auto* p = static_cast<Probe*>(arg);
        p->id = CurrentThreadId();
        p->gate.Wait(kInfinite);
        p->errorBefore = LastError();
        SetLastError(1234);
        p->errorAfter = LastError();
        return 0;
    }
};

TEST(PlatformThread, JoinIsBoundedAndIdAndLastErrorAreTheThreadsOwn) {
    Probe probe;
    Thread thread;
    EXPECT_TRUE(thread.Join(0)) << "a thread never started counts as ended";
    ASSERT_TRUE(thread.Start(Probe::Main, &probe));
    EXPECT_FALSE(thread.Join(20));  // blocked on the gate
    EXPECT_TRUE(thread.Running());
    SetLastError(err::kFileNotFound);
    ASSERT_TRUE(probe.gate.Set());
    ASSERT_TRUE(thread.Join(5000));
    EXPECT_FALSE(thread.Running());
    EXPECT_EQ(thread.Id(), probe.id);
    EXPECT_NE(thread.Id(), CurrentThreadId());
    EXPECT_EQ(probe.errorBefore, 0u);
    EXPECT_EQ(probe.errorAfter, 1234u);
    EXPECT_EQ(LastError(), err::kFileNotFound);
}

}  // namespace
}  // namespace fennex::test
