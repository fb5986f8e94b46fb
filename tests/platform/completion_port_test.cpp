#include "fixture.h"

#include "platform/completion_port.h"
#include "platform/sync.h"

namespace fennex::test {
namespace {

using namespace fennex::platform;

// Closes the port at the end of a test, whatever happens in between.
struct PortGuard {
    Handle port = CreatePort();
    ~PortGuard() {
        if (port) ClosePort(port);
    }
};

// Once the posted completions are taken, a wait times out with 258 and no record.
TEST(PlatformCompletionPort, CompletionsComeOutInOrderWithKeyBytesAndOutcome) {
    struct Posted {
        std::uint32_t bytes;
        std::uintptr_t key;
        int record;           // index into the records, -1 for none
        std::uint32_t error;  // 0: posted; else completed with that error
    };
    const std::vector<std::vector<Posted>> cases = {
        {{1, 100, 0, 0}, {2, 200, 1, 0}, {5, 9, -1, 0}, {0, 100, 3, 0}},
        {{4, 1, 0, 0}, {0, 1, 1, err::kOperationAborted}, {0, 3, 2, 0xEFE00018u}, {640, 4, 3, 0}},
    };
    for (const auto& posts : cases) {
        PortGuard guard;
        ASSERT_NE(guard.port, nullptr);
        Overlapped records[4]{};
        // A record reused after a failure must still come out as a success when posted.
        records[0].Internal = 5;
        auto recordOf = [&](const Posted& p) { return p.record < 0 ? nullptr : &records[p.record]; };
        for (std::size_t i = 0; i < posts.size(); ++i) {
            const Posted& p = posts[i];
            // The last one completes as a driver request does, the others are posted.
            ASSERT_TRUE(p.error != 0 || i + 1 == posts.size()
                            ? CompleteRequest(guard.port, p.bytes, p.key, recordOf(p), p.error)
                            : PostCompletion(guard.port, p.bytes, p.key, recordOf(p)));
        }
        for (const Posted& p : posts) {
            std::uint32_t bytes = 0xDEAD;
            std::uintptr_t key = 0xDEAD;
            Overlapped* record = nullptr;
            SetLastError(0);
            EXPECT_EQ(DequeueCompletion(guard.port, &bytes, &key, &record, 1000), p.error == 0);
            if (p.error != 0) {
                EXPECT_EQ(LastError(), p.error);
            }
            EXPECT_EQ(bytes, p.bytes);
            EXPECT_EQ(key, p.key);
            EXPECT_EQ(record, recordOf(p));
        }
        for (std::uint32_t timeout : {0u, 20u}) {
            Overlapped dummy{};
            Overlapped* record = &dummy;
            SetLastError(0);
            EXPECT_FALSE(DequeueCompletion(guard.port, nullptr, nullptr, &record, timeout));
            EXPECT_EQ(LastError(), err::kWaitTimeout);
            EXPECT_EQ(record, nullptr);
        }
    }
}

// Posts and takes interleaved so that the queue wraps around and grows while it holds
// completions: every completion still comes out once, in the order it went in.
TEST(PlatformCompletionPort, OrderHoldsWhileTheQueueWrapsAndGrows) {
    const std::vector<std::pair<int, int>> steps = {{5, 3}, {10, 4}, {1, 9}, {30, 20}, {0, 10}};
    PortGuard guard;
    std::uintptr_t posted = 0, taken = 0;
    for (const auto& [posts, takes] : steps) {
        for (int i = 0; i < posts; ++i) ASSERT_TRUE(PostCompletion(guard.port, 0, ++posted, nullptr));
        for (int i = 0; i < takes; ++i) {
            std::uintptr_t key = 0;
            ASSERT_TRUE(DequeueCompletion(guard.port, nullptr, &key, nullptr, 1000));
            EXPECT_EQ(key, ++taken);
        }
    }
    EXPECT_FALSE(DequeueCompletion(guard.port, nullptr, nullptr, nullptr, 0));
}

// A thread in an infinite wait on a port, started and given time to block in it (the outcome
// does not depend on that).
struct Waiter {
    explicit Waiter(Handle p) : port(p) {
        EXPECT_TRUE(thread.Start(Main, this));
        EXPECT_EQ(started.Wait(5000), WaitResult::Signaled);
        SleepMs(10);
    }
    static std::uint32_t Main(void* arg) {
        auto* w = static_cast<Waiter*>(arg);
        w->started.Set();
        w->ok = DequeueCompletion(w->port, nullptr, &w->key, &w->record, kInfinite);
        w->error = w->ok ? 0 : LastError();
        return 0;
    }
    Handle port;
    Event started{true, false};
    bool ok = false;
    std::uintptr_t key = 0;
    Overlapped dummy{};
    Overlapped* record = &dummy;
    std::uint32_t error = 0;
    Thread thread;
};

TEST(PlatformCompletionPort, PostFromAnotherThreadWakesAnInfiniteWait) {
    PortGuard guard;
    Waiter waiter(guard.port);
    Overlapped record{};
    ASSERT_TRUE(PostCompletion(guard.port, 0, 42, &record));
    ASSERT_TRUE(waiter.thread.Join(5000));
    EXPECT_TRUE(waiter.ok);
    EXPECT_EQ(waiter.key, 42u);
    EXPECT_EQ(waiter.record, &record);
}

TEST(PlatformCompletionPort, ClosingThePortReleasesAWaiter) {
#ifdef _WIN32
    // Windows releases the waiter with 735 as well, but Wine leaves it waiting for ever.
    GTEST_SKIP() << "not run under Wine";
#endif
    Waiter waiter(CreatePort());
    ASSERT_TRUE(ClosePort(waiter.port));
    ASSERT_TRUE(waiter.thread.Join(5000)) << "the waiter hangs on a closed port";
    EXPECT_FALSE(waiter.ok);
    EXPECT_EQ(waiter.record, nullptr);
    // 735 when the wait had begun, 6 when the port was gone before it.
    EXPECT_TRUE(waiter.error == err::kAbandonedWait0 || waiter.error == err::kInvalidHandle)
        << waiter.error;
}

}  // namespace
}  // namespace fennex::test
