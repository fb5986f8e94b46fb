#include "driver/backend_choice.h"
#include "fixture.h"

namespace {

// A fault that deadlocks a test would stall the whole run with nothing to go by: a test that
// has run for three minutes stops the suite, named. The watcher lives as long as the process.
class HangGuard : public testing::EmptyTestEventListener {
public:
    HangGuard() {
        std::thread([this] {
            for (;; std::this_thread::sleep_for(std::chrono::seconds(1))) {
                const testing::TestInfo* test = running_.load();
                if (test && Clock::now() - started_.load() > std::chrono::minutes(3)) {
                    std::fprintf(stderr, "\n%s.%s has run for three minutes: the suite stops\n",
                                 test->test_suite_name(), test->name());
                    std::fflush(nullptr);
                    std::_Exit(1);
                }
            }
        }).detach();
    }
    void OnTestStart(const testing::TestInfo& test) override {
        started_ = Clock::now();
        running_ = &test;
    }
    void OnTestEnd(const testing::TestInfo&) override { running_ = nullptr; }

private:
    using Clock = std::chrono::steady_clock;
    std::atomic<const testing::TestInfo*> running_{nullptr};
    std::atomic<Clock::time_point> started_{};
};

}  // namespace

int main(int argc, char** argv) {
    // The suite runs on the simulated cameras everywhere, also as a Windows build under Wine
    // (where the default backend is the kernel driver), and so do the programs it starts.
    if (!std::getenv("FENNEX_DRIVER")) fennex::test::SetEnvironment("FENNEX_DRIVER", "sim");
    fennex::driver::ChooseBackendByEnvironment();
    testing::InitGoogleTest(&argc, argv);
    static HangGuard& guard = *new HangGuard;  // never destroyed under its watcher
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    listeners.Append(&guard);
    const int status = RUN_ALL_TESTS();
    listeners.Release(&guard);
    return status;
}
