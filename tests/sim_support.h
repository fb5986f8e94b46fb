// Driving the simulated driver the way CBcam does: through the backend interface and the
// platform's events and completion ports.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bcam/driver_contract.h"
#include "errors/driver_version_check.h"
#include "platform/completion_port.h"
#include "platform/last_error.h"
#include "platform/sync.h"
#include "sim/sim.h"

namespace simtest {

namespace pf = fennex::platform;

// An open simulated device with its completion port.
class Device {
public:
    explicit Device(const std::string& name, std::uintptr_t key = 7) : key_(key) {
        handle_ = sim::Driver().OpenDevice(sim::InterfacePath(name));
        if (!pf::IsValidHandle(handle_)) return;
        port_ = sim::Driver().CreateCompletionPort(handle_, key);
    }
    ~Device() {
        Close();
        if (port_) pf::ClosePort(port_);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    bool Valid() const { return pf::IsValidHandle(handle_) && port_ != nullptr; }
    pf::Handle Handle() const { return handle_; }
    pf::Handle Port() const { return port_; }
    std::uintptr_t Key() const { return key_; }
    void Close() {
        if (pf::IsValidHandle(handle_)) sim::Driver().CloseDevice(handle_);
        handle_ = pf::InvalidHandleValue();
    }

    // A synchronous request as TryTransmit sends it: the error it ends with (0 on success).
    std::uint32_t Transmit(std::uint32_t code, const std::vector<std::uint32_t>& in,
                           void* out = nullptr, std::uint32_t outSize = 0,
                           std::uint32_t timeoutMs = 2000) {
        pf::Event done(true, false);
        pf::Overlapped ov{};
        ov.hEvent = reinterpret_cast<pf::Handle>(reinterpret_cast<std::uintptr_t>(done.Native()) | 1);
        const auto inSize = static_cast<std::uint32_t>(in.size() * 4);
        if (!sim::Driver().IoControl(handle_, code, in.empty() ? nullptr : in.data(), inSize, out,
                                     outSize, &ov)) {
            const std::uint32_t e = pf::LastError();
            if (e != 997) return e;
        }
        if (done.Wait(timeoutMs) != pf::WaitResult::Signaled) {
            sim::Driver().CancelIo(handle_);
            return 121;
        }
        std::uint32_t bytes = 0;
        return sim::Driver().OverlappedResult(handle_, &ov, &bytes, false) ? 0 : pf::LastError();
    }

    std::uint32_t Read(std::uint32_t code, const std::vector<std::uint32_t>& in, std::uint32_t* value) {
        return Transmit(code, in, value, 4);
    }
    std::uint32_t Inquiry(std::uint32_t feature) {
        std::uint32_t q = 0xDEADBEEF;
        EXPECT_EQ(Read(Bcam::driver::kFeatureInquiry, {feature}, &q), 0u);
        return q;
    }
    std::uint32_t Control(std::uint32_t feature) {
        std::uint32_t q = 0xDEADBEEF;
        EXPECT_EQ(Read(Bcam::driver::kFeatureGet, {feature, 0}, &q), 0u);
        return q;
    }

    // An overlapped request: the IoControl result and its error.
    bool Async(std::uint32_t code, const std::vector<std::uint32_t>& in, void* out,
               std::uint32_t outSize, pf::Overlapped* record, std::uint32_t* error) {
        const bool ok = sim::Driver().IoControl(handle_, code, in.empty() ? nullptr : in.data(),
                                                static_cast<std::uint32_t>(in.size() * 4), out,
                                                outSize, record);
        *error = ok ? 0 : pf::LastError();
        return ok;
    }

    // One completion from the port: the record (null on time-out) and its error.
    pf::Overlapped* Dequeue(std::uint32_t timeoutMs, std::uint32_t* error, std::uint32_t* bytes = nullptr,
                            std::uintptr_t* key = nullptr) {
        std::uint32_t n = 0;
        std::uintptr_t k = 0;
        pf::Overlapped* record = nullptr;
        *error = pf::DequeueCompletion(port_, &n, &k, &record, timeoutMs) ? 0 : pf::LastError();
        if (bytes) *bytes = n;
        if (key) *key = k;
        return record;
    }

private:
    pf::Handle handle_ = pf::InvalidHandleValue();
    pf::Handle port_ = nullptr;
    std::uintptr_t key_;
};

inline const std::string kMono = "MONO&SIM640#0030530000A10001";
inline const std::string kColour = "COLR&SIM1600#0030530000A20002";

// Every test starts from the built-in cameras, paced as fast as possible.
class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        sim::SetPace(sim::Pace::Fast);
        // An earlier test's successful check must not hide this test's driver release.
        Bcam::CDriverVersionCheck::ResetCache();
    }
    void TearDown() override { sim::Reset(); }
};

}  // namespace simtest
