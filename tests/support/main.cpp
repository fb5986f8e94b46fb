#include "driver/backend_choice.h"
#include "fixture.h"

namespace {

// A fault that deadlocks a test would stall the whole run with nothing to go by: once a test
// has run for kHungAfter, the suite stops and names it.
class HangGuard : public testing::EmptyTestEventListener {
public:
    static constexpr std::chrono::seconds kHungAfter{180};

    HangGuard() : watcher_([this] { Watch(); }) {}
    ~HangGuard() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        watcher_.join();
    }
    void OnTestStart(const testing::TestInfo& test) override {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = std::string(test.test_suite_name()) + "." + test.name();
        deadline_ = std::chrono::steady_clock::now() + kHungAfter;
    }
    void OnTestEnd(const testing::TestInfo&) override {
        std::lock_guard<std::mutex> lock(mutex_);
        running_.clear();
    }

private:
    void Watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!wake_.wait_for(lock, std::chrono::seconds(1), [this] { return done_; })) {
            if (running_.empty() || std::chrono::steady_clock::now() < deadline_) continue;
            std::fprintf(stderr, "\n%s has run for %lld s: taken as hung, the suite stops\n",
                         running_.c_str(), static_cast<long long>(kHungAfter.count()));
            std::fflush(nullptr);
            std::_Exit(1);
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::string running_;
    std::chrono::steady_clock::time_point deadline_;
    bool done_ = false;
    std::thread watcher_;  // last: it starts once the rest is made
};

}  // namespace

int main(int argc, char** argv) {
    // The suite runs on the simulated cameras everywhere, also as a Windows build under Wine
    // (where the default backend is the kernel driver), and so do the programs it starts.
    if (!std::getenv("FENNEX_DRIVER")) fennex::test::SetEnvironment("FENNEX_DRIVER", "sim");
    fennex::driver::ChooseBackendByEnvironment();
    testing::InitGoogleTest(&argc, argv);
    HangGuard guard;
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    listeners.Append(&guard);
    const int status = RUN_ALL_TESTS();
    listeners.Release(&guard);
    return status;
}
