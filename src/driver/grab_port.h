// GrabPort: one camera as the host sees it. The camera device object, its frame buffers, its
// grab thread, the host's completion callback and the count of ports that have it open.
//
// Threading: the host may call every operation from any thread; the grab thread runs the
// conversion, the completion callback and, in continuous mode, Arm. Open and Close are
// serialised per port. Frames are handed from the grab thread to readers through two frame
// slots: the frame announced by a callback stays intact until the next callback, and the grab
// thread waits only for row copies still running on a slot it is about to reuse. Row reads take
// no lock (frame_readers.h).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "bcam/cbcam.h"
#include "driver/frame_readers.h"
#include "driver/pixel_conversion.h"
#include "errors/exception.h"
#include "fennex/fennex.h"

namespace fennex::driver {

struct GrabSession;

// The current open's session, shared by host threads and the grab thread. Its lock is held only
// to copy or swap the pointer, never across other work, so no caller waits for long. (A plain
// lock rather than std::atomic<std::shared_ptr>: the thread sanitizer reports the standard
// library's internal lock of that type as a data race now and then.) Row readers use the bare
// pointer instead, announced as a FrameRead; a session is handed back only when no row read is
// left in it.
class SessionSlot {
public:
    std::shared_ptr<GrabSession> Load() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return session_;
    }
    GrabSession* Live() const { return live_.load(std::memory_order_acquire); }
    // Puts `session` in and hands back what was there, to be released outside the lock.
    std::shared_ptr<GrabSession> Exchange(std::shared_ptr<GrabSession> session) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            session_.swap(session);
            live_.store(session_.get(), std::memory_order_release);
        }
        if (session) WaitForFrameReaders(session.get(), -1);
        return session;
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<GrabSession> session_;
    std::atomic<GrabSession*> live_{nullptr};
};

class GrabPort : public Bcam::CBcam {
public:
    static constexpr std::size_t kNameSize = 128;

    // `deviceName` is the camera's device name; the host sees it cut to the name field.
    explicit GrabPort(const std::string& deviceName);
    ~GrabPort() override;

    const char* Name() const { return name_.data(); }
    // The camera's name field, for the host's name table.
    const char* const* NameSlot() const { return &namePointer_; }

    void SetPortNumber(int port) { portNumber_.store(port, std::memory_order_relaxed); }
    int PortNumber() const { return portNumber_.load(std::memory_order_relaxed); }
    std::uint32_t OpenCount() const;

    // Failures are reported as "ERROR: " lines; the open counts all the same.
    void Open();
    void Close();

    // Queues one grab; false (and a message) when one is already pending or the camera refuses.
    bool Arm();
    bool Armed() const { return armed_.load(std::memory_order_acquire); }

    // Copies up to `count` bytes of row `row` of the latest frame, from its first pixel, and no
    // more than the row holds. False for a row outside the frame (dest untouched).
    bool GetRow(int row, std::uint8_t* dest, int count) const;

    std::uint32_t Width() const { return width_.load(std::memory_order_acquire); }
    std::uint32_t Height() const { return height_.load(std::memory_order_acquire); }

    void SetCompleteCallback(CompleteCallback callback) {
        completeCallback_.store(callback, std::memory_order_release);
    }

    bool Continuous() const { return continuous_.load(std::memory_order_acquire); }
    // The host's "continous" property: switches the camera's continuous shot and the port's
    // re-arming, and arms a first grab when switched on. False (reported) when the camera
    // refuses the change.
    bool SetContinuous(bool on);

    bool GetPropertyRange(const char* name, int* min, int* max);
    bool GetProperty(const char* name, int* value);
    bool SetProperty(const char* name, int value);

    void RestoreSettings(const char* systemPath);
    void SaveSettings(const char* systemPath);
    // systemPath + separator (unless empty or already there) + name + ".cfg".
    static std::string SettingsPath(const char* systemPath, const char* name);

    // Index in the property name table of the first entry that `name` begins with (ignoring
    // case); 0 ("Undef") when none does.
    static int PropertyIndex(const char* name);

private:
    static std::uint32_t GrabThread(void* arg);
    void OnGrabComplete(GrabSession& session);
    void ReportError(const Bcam::BcamException& e) const;
    bool OpenDevice();

    std::atomic<bool> continuous_{false};
    std::atomic<int> portNumber_{0};
    std::uint32_t openCount_ = 0;  // guarded by lifecycle_
    std::array<char, kNameSize> name_{};
    const char* namePointer_;
    std::string deviceName_;
    std::atomic<std::uint32_t> width_{0};
    std::atomic<std::uint32_t> height_{0};
    std::atomic<bool> armed_{false};
    std::atomic<CompleteCallback> completeCallback_{nullptr};

    // Buffers and thread of the current open; shared with the grab thread, which keeps them
    // alive for as long as it runs.
    SessionSlot session_;
    // A session whose thread had not ended when its port closed; waited for at destruction.
    std::weak_ptr<GrabSession> lingering_;
    mutable std::mutex lifecycle_;
};

}  // namespace fennex::driver
