// A driver handle with its completion port, driven as the device object drives its own: on the
// simulated driver natively, and on the kernel backend against the test driver under Wine.
#pragma once

#include "fixture.h"
#include "platform/completion_port.h"
#include "platform/sync.h"

namespace fennex::test {

using Reply = std::pair<std::uint32_t, std::vector<std::uint8_t>>;  // error, output

// One open handle of a backend, with its completion port.
class Device {
public:
    Device(Bcam::DriverBackend& backend, const std::string& path)
        : backend_(backend), handle_(backend.OpenDevice(path)) {
        if (platform::IsValidHandle(handle_)) port_ = backend.CreateCompletionPort(handle_, 1);
    }
    ~Device() {
        Close();
        // The driver ends a closed handle's requests after the close: their buffers must live
        // until then.
        std::uint32_t error = 0;
        while (queued_ > 0 && Next(&error)) {
        }
        if (port_) platform::ClosePort(port_);
    }
    bool Open() const { return port_ != nullptr; }
    void Close() {
        if (platform::IsValidHandle(handle_)) backend_.CloseDevice(handle_);
        handle_ = platform::InvalidHandleValue();
    }
    void CancelIo() { backend_.CancelIo(handle_); }

    // A request sent as the device object sends its own: its event keeps it off the port.
    Reply Request(std::uint32_t code, const Words& in, std::uint32_t outSize) {
        std::vector<std::uint8_t> out(outSize, 0xCD);
        platform::Event done(true, false);
        platform::Overlapped ov{};
        const auto event = reinterpret_cast<std::uintptr_t>(done.Native());
        ov.hEvent = reinterpret_cast<platform::Handle>(event | 1);
        if (!Submit(code, in, outSize ? out.data() : nullptr, outSize, &ov))
            return {platform::LastError(), {}};
        if (done.Wait(5000) != platform::WaitResult::Signaled) {
            ADD_FAILURE() << "request " << std::hex << code << " never completed";
            CancelIo();
            done.Wait(5000);
        }
        std::uint32_t bytes = 0;
        if (!backend_.OverlappedResult(handle_, &ov, &bytes, false))
            return {platform::LastError(), {}};
        out.resize(bytes);
        return {0, out};
    }
    // An overlapped request whose completion goes to the port; false when refused at once.
    bool Submit(std::uint32_t code, const Words& in, void* out, std::uint32_t outSize,
                platform::Overlapped* ov) {
        const bool accepted = backend_.IoControl(handle_, code, in.empty() ? nullptr : in.data(),
                                                 static_cast<std::uint32_t>(in.size() * 4), out,
                                                 outSize, ov) ||
                              platform::LastError() == 997;
        if (accepted && !ov->hEvent) ++queued_;
        return accepted;
    }
    // The next completion on the port (null on time-out) and its error.
    platform::Overlapped* Next(std::uint32_t* error, std::uint32_t timeoutMs = 5000) {
        std::uint32_t bytes = 0;
        std::uintptr_t key = 0;
        platform::Overlapped* ov = nullptr;
        const bool ok = platform::DequeueCompletion(port_, &bytes, &key, &ov, timeoutMs);
        *error = ok ? 0 : platform::LastError();
        if (ov) --queued_;
        return ov;
    }

private:
    Bcam::DriverBackend& backend_;
    platform::Handle handle_;
    platform::Handle port_ = nullptr;
    std::atomic<int> queued_{0};  // requests whose completion is still to come through the port
};

}  // namespace fennex::test
