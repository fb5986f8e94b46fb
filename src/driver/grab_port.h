// GrabPort: one camera as the host sees it. The camera device object, its frame buffers, its
// grab thread, the host's completion callback and the count of ports that have it open.
//
// Threading: the host may call every operation from any thread; the grab thread runs the
// conversion, the completion callback and, in continuous mode, Arm. Open and Close are
// serialised per port. Frames are handed from the grab thread to readers through a FramePair
// (frame_readers.h): the frame announced by a callback stays intact until the next callback or
// the last close, also when a removal or a mode change replaces the port's buffers meanwhile; a
// row copy that a refill overtook is made again from the newer frame.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bcam/cbcam.h"
#include "driver/frame_readers.h"
#include "driver/pixel_conversion.h"
#include "errors/exception.h"
#include "fennex/fennex.h"

namespace fennex::driver {

struct GrabSession;
struct FrameLayout;

// The current open's session, shared by host threads and the grab thread. Its lock is held only
// to copy or swap the pointer, never across other work, so no caller waits for long. (A plain
// lock rather than std::atomic<std::shared_ptr>: the thread sanitizer reports the standard
// library's internal lock of that type as a data race now and then.)
class SessionSlot {
public:
    std::shared_ptr<GrabSession> Load() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return session_;
    }
    GrabSession* Live() const { return live_.load(std::memory_order_acquire); }
    // Puts `session` in and hands back what was there, to be released outside the lock.
    std::shared_ptr<GrabSession> Exchange(std::shared_ptr<GrabSession> session) {
        std::lock_guard<std::mutex> lock(mutex_);
        session_.swap(session);
        live_.store(session_.get(), std::memory_order_release);
        return session;
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<GrabSession> session_;
    std::atomic<GrabSession*> live_{nullptr};
};

// The session whose frame the host was told of last: rows are read from its latest frame. It
// stays through removals, re-sizes and restarts until the next announcement or the last close,
// so a callback reads the frame it was given whatever the camera does meanwhile. Row readers
// use the bare pointer, announced as a FrameRead; a session is let go only when no row read is
// left in it.
class AnnouncedFrame {
public:
    GrabSession* Live() const { return live_.load(std::memory_order_acquire); }
    // Publishes the frame just refilled in `session` and makes the session the announced one;
    // false, publishing nothing, when it is being stopped (a close or a restart came first, and
    // its frame is no longer news).
    bool Publish(const std::shared_ptr<GrabSession>& session);
    // The last close: nothing is announced any more.
    void Clear();

private:
    std::mutex mutex_;
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

    // The host port of the latest open that is still open: the one the callback names.
    int PortNumber() const { return portNumber_.load(std::memory_order_relaxed); }
    std::uint32_t OpenCount() const;

    // Opens the camera for host port `port`; the first open opens the device. Its buffers,
    // resources and grab thread are made by FitToVideoMode, once the mode is known. Failures
    // are reported as "ERROR: " lines and the open counts all the same; a device that opened
    // but cannot stream stays open for its properties and settings. Close(port) ends that
    // port's open; the last one closes the device.
    void Open(int port);
    void Close(int port);

    // Re-sizes buffers and isochronous resources to the camera's current video mode when the
    // mode (or a Format 7 region, coding or packet size) has been changed since they were made,
    // or sets them up when they are missing. A grab outstanding defers it to the next grab.
    // Arm runs it by itself; openCVLPort runs it after the configuration file. `lookAtCamera`:
    // asks the camera even when no change has been counted.
    void FitToVideoMode(bool lookAtCamera = false);

    // Queues one grab; false (and a message) when one is already pending or the camera refuses.
    bool Arm();
    bool Armed() const { return armed_.load(std::memory_order_acquire); }

    // Copies up to `count` bytes of the announced frame from the first pixel of row `row` on,
    // and no more than the frame holds from there. NoSuchRow for a row outside the frame and
    // before the first frame; Closed once the last open has ended (dest untouched for both).
    enum class RowRead { Copied, NoSuchRow, Closed };
    RowRead GetRow(int row, std::uint8_t* dest, int count) const;

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

protected:
    // After a refused removal: buffers, resources and grab thread anew, continuous mode as it
    // was.
    void OnReopened() override;

private:
    static std::uint32_t GrabThread(void* arg);
    void OnGrabComplete(const std::shared_ptr<GrabSession>& session, std::uint32_t error);
    // Switching continuous mode off: the grab armed last is brought in.
    void FinishStreamedGrab();
    // Ends a queued grab that no shot will bring in; its completion is not news to the host.
    void WithdrawGrab(GrabSession& session);
    void ReportError(const Bcam::BcamException& e) const;
    // The frames and packets of the camera's current mode, asked of the camera.
    FrameLayout MeasureLayout();
    // True when the camera's mode, whatever was changed since the session's last look, still
    // sends frames of the session's layout. Throws when the camera cannot tell.
    bool LayoutHolds(GrabSession& session, bool lookAtCamera = false);
    // The steps below run under lifecycle_.
    void OpenDeviceLocked();
    // Sizes buffers and resources for the current video mode and starts a grab thread; a
    // failure is reported and leaves the port without them.
    void StartStreamingLocked();
    // Ends the session's thread, its pending grab and its resources; `deviceLost`: the device
    // was closed under it, so there is nothing left to stop on the camera. The caller keeps
    // the session until then.
    void StopStreamingLocked(const std::shared_ptr<GrabSession>& session, bool deviceLost);
    // Stops the current session, if any, and starts anew for the current video mode.
    void RestartStreamingLocked(bool deviceLost);
    void CloseDeviceLocked();
    // Waits, with no lock held, up to `timeoutMs` for the threads of stopped sessions to end:
    // not for the calling thread's own, and for one in the host's callback only when
    // `inCallbackToo`. Those still running are waited for next time.
    void AwaitStoppedThreads(std::uint32_t timeoutMs, bool inCallbackToo);

    std::atomic<bool> continuous_{false};
    std::atomic<int> portNumber_{0};
    std::vector<int> ports_;  // host ports holding an open, oldest first; guarded by lifecycle_
    std::array<char, kNameSize> name_{};
    const char* namePointer_;
    std::string deviceName_;
    std::atomic<std::uint32_t> width_{0};
    std::atomic<std::uint32_t> height_{0};
    std::atomic<bool> armed_{false};
    std::atomic<CompleteCallback> completeCallback_{nullptr};
    // Some host port holds an open (ports_ is not empty), for row readers that take no lock.
    std::atomic<bool> open_{false};

    // Buffers and thread of the current streaming set-up; shared with the grab thread, which
    // keeps them alive for as long as it runs.
    SessionSlot session_;
    AnnouncedFrame announced_;
    // Held by a grab thread from announcing a frame until the host's callback returns: the
    // callbacks of a port come one at a time, also from the threads of successive sessions.
    // Each session holds it too: a thread leaving a callback touches nothing of the port.
    std::shared_ptr<std::mutex> callbacks_ = std::make_shared<std::mutex>();
    // Sessions stopped whose threads may still run; guarded by lifecycle_.
    std::vector<std::weak_ptr<GrabSession>> stopped_;
    mutable std::mutex lifecycle_;
};

}  // namespace fennex::driver
