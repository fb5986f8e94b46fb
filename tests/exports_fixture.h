// Shared set-up for the tests that drive the library through its fifteen host functions on the
// simulated cameras.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "driver/debug_messages.h"
#include "driver/port_table.h"
#include "fennex/fennex.h"
#include "sim/sim.h"
#include "test_support.h"

namespace exports_test {

inline const std::string kMono = "MONO&SIM640#0030530000A10001";
inline const std::string kColour = "COLR&SIM1600#0030530000A20002";

struct Messages {
    std::mutex mutex;
    std::vector<std::string> lines;
    static void FENNEX_CALL Receive(const char* text);
    std::vector<std::string> Take() {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(lines, {});
    }
    bool Contains(const std::string& part) {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto& l : lines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
};
Messages& TheMessages();

// Counts completion callbacks per port.
struct Completions {
    std::mutex mutex;
    std::condition_variable cv;
    int count[FENNEX_MAX_PORTS] = {};
    static void FENNEX_CALL Callback(int grabber, int port);
    // Waits until port's count exceeds `seen`; false after the time-out.
    bool WaitBeyond(int port, int seen, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    int Count(int port) {
        std::lock_guard<std::mutex> lock(mutex);
        return count[port];
    }
};
Completions& TheCompletions();

class ExportsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens `camera` on `port` and installs the counting callback; the frame size comes back.
    void OpenPort(int port, const std::string& camera, int* size = nullptr);
    // One grab, waited for; the frame as the host reads it.
    std::vector<std::uint8_t> GrabFrame(int port, int width, int height);
    // Sets the current video mode of a simulated camera.
    static void SetMode(const std::string& camera, std::uint32_t format, std::uint32_t mode);

    fennex::test::ScratchDirectory scratch_;  // the system path of the test
    std::string directory_ = scratch_.Path().string();
};

// Closes the list dialog of `configure` with Close as soon as it appears, in this process or
// another, for as long as it lives (on Windows; elsewhere configure shows no dialog).
class DialogCloser {
public:
    DialogCloser();
    ~DialogCloser();

private:
    struct Thread;
    std::unique_ptr<Thread> thread_;
};
// `configure` as a host calls it, its dialog closed at once, as by a user who only wants the
// files saved.
int ConfigureAndClose();

// The picture the simulated camera sent in its latest frame, as 8-bit grey.
std::vector<std::uint8_t> ExpectedFrame(const std::string& camera, int width, int height);

}  // namespace exports_test
