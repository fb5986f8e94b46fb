#include "driver/grab_port.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <vector>

#include "bcam/bcam_utility.h"
#include "driver/debug_messages.h"
#include "errors/exception.h"
#include "platform/last_error.h"
#include "platform/library.h"
#include "platform/profile.h"
#include "platform/sync.h"

namespace fennex::driver {

using Bcam::BcamException;

// What the buffers and resources of a port are made for: the frames of the camera's mode, and
// the packets its isochronous resources were allocated with.
struct FrameLayout {
    std::uint32_t width = 0, height = 0, colorMode = 0, rawSize = 0, bytesPerPacket = 0;
    bool operator==(const FrameLayout&) const = default;
};

// Everything a port needs between its first open and its last close. The grab thread holds a
// reference, so the buffers live as long as anything can still touch them.
struct GrabSession {
    GrabPort* port = nullptr;
    FrameLayout layout;
    // The camera's count of mode changes when its layout was last seen to hold.
    std::atomic<std::uint32_t> modeChanges{0};
    FrameConversion convert = nullptr;  // null: 8-bit frames land in `frames` themselves
    std::vector<std::uint8_t> raw;      // grab target of frames that are converted
    FramePair frames;                   // the 8-bit frames that rows are read from
    std::atomic<bool> stopping{false};
    // The grab thread is in the host's callback (set before it looks at `stopping`).
    std::atomic<bool> inCallback{false};
    // A grab whose shot was refused is cancelled by Arm; its completion is not news to the host.
    std::atomic<bool> cancelled{false};
    std::atomic<std::uint32_t> threadId{0};
    std::uint32_t openSerial = 0;  // the device's open whose completion port the thread waits on
    std::shared_ptr<std::mutex> callbacks;  // the port's, see GrabPort::callbacks_
    platform::Thread thread;
    std::shared_ptr<GrabSession> keepAlive;  // the grab thread's reference, taken at its start

    bool Direct() const { return convert == nullptr; }
};

namespace {

constexpr const char* kPropertyNames[] = {"Undef",      "Gain",    "Brightness",
                                          "Gamma",      "Hue",     "Saturation",
                                          "Shutter",    "WhiteBalanceUB", "WhiteBalanceVR"};
constexpr int kWhiteBalanceUB = 7;
constexpr int kWhiteBalanceVR = 8;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr std::uint32_t kInvalidArgument = 0x80070057u;
constexpr std::uint32_t kOutOfMemory = 0x8007000Eu;
constexpr std::uint32_t kDeviceNotOpen = 0xCFF00004u;
constexpr std::uint32_t kInvalidData = 13;  // ERROR_INVALID_DATA
constexpr std::uint32_t kPortClosedUnderWaiter = 735;  // ERROR_ABANDONED_WAIT_0
// How long a close, and the library's unload, wait for a stopped grab thread that is still in
// the host's callback.
constexpr std::uint32_t kStoppedThreadCloseMs = 200;
constexpr std::uint32_t kStoppedThreadUnloadMs = 5000;

bool OnThreadOf(const GrabSession& session) {
    return session.threadId.load(std::memory_order_acquire) == platform::CurrentThreadId();
}

}  // namespace

bool AnnouncedFrame::Publish(const std::shared_ptr<GrabSession>& session) {
    std::shared_ptr<GrabSession> old;
    {
        // Under the lock that Clear takes (a close sets the flag before it clears), so that a
        // stopped session neither comes back nor changes its announced frame.
        std::lock_guard<std::mutex> lock(mutex_);
        if (session->stopping.load(std::memory_order_acquire)) return false;
        session->frames.Publish();
        if (session_ == session) return true;  // its next frame, as a rule
        old = std::exchange(session_, session);
        live_.store(session.get(), std::memory_order_release);
    }
    if (old) WaitForFrameReaders(old.get());
    return true;
}

void AnnouncedFrame::Clear() {
    std::shared_ptr<GrabSession> old;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        old = std::exchange(session_, nullptr);
        live_.store(nullptr, std::memory_order_release);
    }
    if (old) WaitForFrameReaders(old.get());
}

GrabPort::GrabPort(const std::string& deviceName) : deviceName_(deviceName) {
    // The name field holds 127 characters and its terminator; a longer device name is cut.
    const std::size_t n = std::min(deviceName.size(), kNameSize - 1);
    std::memcpy(name_.data(), deviceName.data(), n);
    name_[n] = '\0';
    namePointer_ = name_.data();
}

GrabPort::~GrabPort() {
    {
        HeldLock lock(lifecycle_);
        ports_.clear();
        CloseDeviceLocked();
    }
    // The notification thread may be reopening this camera after a refused removal.
    WaitForNotifications();
    // A stopped thread still in the host's callback touches nothing of this port when the
    // callback returns, but it returns into the library's code: when the library alone is being
    // unloaded, that code must stay until then. (A callback that calls the library meanwhile is
    // answered at once.) A process that is ending does not wait for it.
    AwaitStoppedThreads(kStoppedThreadUnloadMs, platform::UnloadingFromRunningProcess());
}

void GrabPort::AwaitStoppedThreads(std::uint32_t timeoutMs, bool inCallbackToo) {
    std::vector<std::weak_ptr<GrabSession>> stopped;
    {
        std::lock_guard<std::mutex> lock(lifecycle_);
        stopped.swap(stopped_);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<std::weak_ptr<GrabSession>> running;
    for (std::weak_ptr<GrabSession>& weak : stopped) {
        const std::shared_ptr<GrabSession> session = weak.lock();
        if (!session) continue;  // its thread has ended
        // From inside the host's completion callback the thread cannot be waited for: it ends
        // when the callback returns. (Also when the process ends from inside the callback.)
        if (!OnThreadOf(*session) && (inCallbackToo || !session->inCallback.load())) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (session->thread.Join(static_cast<std::uint32_t>(std::max<long long>(left.count(), 0))))
                continue;
        }
        running.push_back(std::move(weak));
    }
    if (running.empty()) return;
    std::lock_guard<std::mutex> lock(lifecycle_);
    stopped_.insert(stopped_.end(), running.begin(), running.end());
}

std::uint32_t GrabPort::OpenCount() const {
    std::lock_guard<std::mutex> lock(lifecycle_);
    return static_cast<std::uint32_t>(ports_.size());
}

void GrabPort::ReportError(const BcamException& e) const { ReportException(Name(), e); }

void GrabPort::Open(int port) {
    HeldLock lock(lifecycle_);
    if (ports_.empty()) OpenDeviceLocked();
    ports_.push_back(port);
    open_.store(true, std::memory_order_release);
    portNumber_.store(port, std::memory_order_relaxed);
}

void GrabPort::OpenDeviceLocked() {
    try {
        CBcam::Open(deviceName_, nullptr);
        auto automaticOff = [this](auto& feature) {
            if (!feature.IsSupported(Bcam::inqPresence)) return;
            try {
                feature.AutoMode = false;
            } catch (const BcamException& e) {
                ReportError(e);
            }
        };
        automaticOff(Shutter);
        automaticOff(Gain);
        automaticOff(Brightness);
        automaticOff(WhiteBalance);
        automaticOff(Hue);
        automaticOff(Gamma);
        armed_.store(false, std::memory_order_release);
        continuous_.store(false, std::memory_order_release);
        ContinuousShot = false;
    } catch (const BcamException& e) {
        ReportError(e);
    }
}

FrameLayout GrabPort::MeasureLayout() {
    std::uint32_t format = 0, mode = 0, rate = 0;
    GetVideoMode(&format, &mode, &rate);
    FrameLayout layout;
    Bcam::VideoColorMode colorMode;
    if (format == Bcam::kFormatSeven) {
        // Format 7 frames have the size and coding of the camera's current Format 7 mode.
        Bcam::CFormatSeven& seven = FormatSeven[mode];
        const Bcam::CSize size = seven.ImageSize();
        layout.width = size.cx;
        layout.height = size.cy;
        colorMode = static_cast<Bcam::VideoColorMode>(seven.ColorCoding());
        layout.bytesPerPacket = seven.BytePerPacket();
    } else {
        const auto size = Bcam::BcamUtility::ImageSize(format, mode);
        layout.width = size.width;
        layout.height = size.height;
        colorMode = Bcam::BcamUtility::ColorMode(format, mode);
        layout.bytesPerPacket = Bcam::BcamUtility::BytePerPacket(format, mode, rate);
    }
    layout.colorMode = static_cast<std::uint32_t>(colorMode);
    const std::uint32_t bitsPerPixel = Bcam::BcamUtility::BitsPerPixel(colorMode);
    const std::uint64_t pixels = static_cast<std::uint64_t>(layout.width) * layout.height;
    const std::uint64_t rawSize = pixels * bitsPerPixel / 8;
    if (pixels == 0 || rawSize > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        throw BcamException(kInvalidArgument, "GrabPort::Open()",
                            {static_cast<std::uintptr_t>(layout.width)});
    layout.rawSize = static_cast<std::uint32_t>(rawSize);
    return layout;
}

void GrabPort::StartStreamingLocked() {
    bool resources = false;
    try {
        // Taken first: a change that comes while the port is sized is seen at the next grab.
        const std::uint32_t modeChanges = VideoModeChanges();
        const FrameLayout layout = MeasureLayout();

        auto session = std::make_shared<GrabSession>();
        session->port = this;
        // Taken before the thread starts: a removal's reopen after this point ends the thread.
        session->openSerial = OpenSerial();
        session->callbacks = callbacks_;
        session->layout = layout;
        session->modeChanges.store(modeChanges, std::memory_order_relaxed);
        if (layout.colorMode != static_cast<std::uint32_t>(Bcam::VideoColorMode::Mono8)) {
            session->convert = ConversionForColorMode(layout.colorMode);
            session->raw.resize(layout.rawSize);
        }
        session->frames.Resize(static_cast<std::size_t>(layout.width) * layout.height);

        AllocateResources(1, layout.rawSize, 0);
        resources = true;
        session->keepAlive = session;
        if (!session->thread.Start(GrabThread, session.get())) {
            session->keepAlive.reset();
            throw BcamException(platform::LastError(), "GrabPort::Open()");
        }
        width_.store(layout.width, std::memory_order_release);
        height_.store(layout.height, std::memory_order_release);
        session_.Exchange(std::move(session));
        return;
    } catch (const BcamException& e) {
        ReportError(e);
    } catch (const std::bad_alloc&) {
        ReportError(BcamException(kOutOfMemory, "GrabPort::Open()"));
    }
    // The camera cannot stream; it stays open for its properties and settings, and its grabs
    // are refused.
    if (resources) {
        try {
            FreeResources();
        } catch (const BcamException& e) {
            ReportError(e);
        }
    }
    width_.store(0, std::memory_order_release);
    height_.store(0, std::memory_order_release);
}

void GrabPort::StopStreamingLocked(const std::shared_ptr<GrabSession>& session, bool deviceLost) {
    session->stopping.store(true);
    if (!deviceLost) {
        try {
            Notify(Bcam::kFunctionStop, session.get());
        } catch (const BcamException& e) {
            ReportError(e);
        }
    }
    // A thread in our own code ends at once, before its pending grab is cancelled below. One in
    // the host's callback may be calling the library: it is waited for once the lock is let go
    // (AwaitStoppedThreads), and, being stopped, arms nothing when the callback returns. It
    // keeps the buffers alive until it ends.
    if (OnThreadOf(*session) || session->inCallback.load() ||
        !session->thread.Join(kStoppedThreadCloseMs)) {
        std::erase_if(stopped_, [](const std::weak_ptr<GrabSession>& weak) { return weak.expired(); });
        stopped_.push_back(session);
    }
    if (!deviceLost) {
        // A pending grab is ended so that the driver is done with the buffers; the thread
        // passes over its completion, being stopped.
        try {
            if (armed_.load(std::memory_order_acquire) && IsOpen()) Cancel();
        } catch (const BcamException& e) {
            ReportError(e);
        }
        try {
            FreeResources();
        } catch (const BcamException& e) {
            ReportError(e);
        }
    }
    armed_.store(false, std::memory_order_release);
}

void GrabPort::RestartStreamingLocked(bool deviceLost) {
    const std::shared_ptr<GrabSession> old = session_.Exchange(nullptr);
    if (old) StopStreamingLocked(old, deviceLost);
    StartStreamingLocked();
}

void GrabPort::CloseDeviceLocked() {
    open_.store(false, std::memory_order_release);
    std::shared_ptr<GrabSession> session = session_.Exchange(nullptr);
    width_.store(0, std::memory_order_release);
    height_.store(0, std::memory_order_release);
    if (IsOpen()) {
        try {
            ContinuousShot = false;
        } catch (const BcamException& e) {
            ReportError(e);
        }
    }
    if (session) StopStreamingLocked(session, !IsOpen());
    // Once every session is stopping, none can announce again.
    announced_.Clear();
    // Each step has its own handler: a refusal of one must not leave the device open.
    try {
        CBcam::Close();
    } catch (const BcamException& e) {
        ReportError(e);
    }
    armed_.store(false, std::memory_order_release);
}

void GrabPort::Close(int port) {
    {
        HeldLock lock(lifecycle_);
        const auto it = std::find(ports_.rbegin(), ports_.rend(), port);
        if (it == ports_.rend()) return;
        ports_.erase(std::next(it).base());
        if (!ports_.empty()) {
            portNumber_.store(ports_.back(), std::memory_order_relaxed);
            return;
        }
        CloseDeviceLocked();
    }
    // No callback after the close, unless a slow one is still running: that one is left to
    // end by itself.
    AwaitStoppedThreads(kStoppedThreadCloseMs, true);
}

void GrabPort::FitToVideoMode(bool lookAtCamera) {
    HeldLock lock(lifecycle_);
    if (ports_.empty() || !IsOpen() || armed_.load(std::memory_order_acquire)) return;
    // A mode set again as it was (a second open restores the same file) keeps the stream.
    if (const std::shared_ptr<GrabSession> session = session_.Load()) {
        try {
            if (LayoutHolds(*session, lookAtCamera)) return;
        } catch (const BcamException&) {
            // the camera cannot tell: set up anew, which reports what fails
        }
    }
    RestartStreamingLocked(false);
}

bool GrabPort::LayoutHolds(GrabSession& session, bool lookAtCamera) {
    // Taken first: a change that comes while the layout is measured is seen at the next look.
    const std::uint32_t modeChanges = VideoModeChanges();
    if (!lookAtCamera && session.modeChanges.load(std::memory_order_acquire) == modeChanges)
        return true;
    if (!(MeasureLayout() == session.layout)) return false;
    session.modeChanges.store(modeChanges, std::memory_order_release);  // spares the next look
    return true;
}

void GrabPort::OnReopened() {
    {
        HeldLock lock(lifecycle_);
        if (ports_.empty()) return;
        // The old thread has ended with the old handle; the driver dropped its resources.
        RestartStreamingLocked(true);
        if (continuous_.load(std::memory_order_acquire)) {
            try {
                ContinuousShot = true;
            } catch (const BcamException& e) {
                ReportError(e);
            }
        }
    }
    if (continuous_.load(std::memory_order_acquire)) Arm();
}

bool GrabPort::Arm() {
    // A grab refused at once may have met a mode change that was not counted yet (the count
    // moves when the change request has returned): the port is fitted to what the camera says
    // and the grab tried once more.
    for (bool refitted = false;; refitted = true) {
        std::shared_ptr<GrabSession> session;
        if (!armed_.load(std::memory_order_acquire)) {
            session = session_.Load();
            if (refitted || !session ||
                session->modeChanges.load(std::memory_order_acquire) != VideoModeChanges())
                FitToVideoMode(refitted);
        }
        if (armed_.exchange(true, std::memory_order_acq_rel)) {
            DebugPrint("%s already armed\n", Name());
            return false;
        }
        // The session looked at above is taken again only when it is no longer the current one
        // (held, its address names no other).
        if (!session || session_.Live() != session.get()) session = session_.Load();
        if (!session) {
            // Nothing to grab into: the set-up's failure has been reported; a closed device says
            // so.
            armed_.store(false, std::memory_order_release);
            if (!IsOpen()) ReportError(BcamException(kDeviceNotOpen, "GrabPort::Arm()"));
            return false;
        }
        std::uint8_t* const target =
            session->Direct() ? session->frames.BeginRefill() : session->raw.data();
        bool queued = false;
        try {
            // On the session's own open only: a thread that re-arms while a refused removal
            // opens the device again must not leave its buffers with the next open.
            GrabImageAsync(target, session->layout.rawSize, session.get(), false,
                           session->openSerial);
            queued = true;
            OneShot.SetAsync(nullptr);
        } catch (const BcamException& e) {
            if (!queued) {
                // Refused: nothing is outstanding, so the next grab may try again.
                if (session->Direct()) session->frames.Withdraw();
                armed_.store(false, std::memory_order_release);
                if (!refitted) continue;
                ReportError(e);
            } else {
                ReportError(e);
                WithdrawGrab(*session);  // the grab waits for a shot that will not come
            }
            return false;
        }
        return true;
    }
}

void GrabPort::WithdrawGrab(GrabSession& session) {
    // Its cancelled completion frees the port.
    session.cancelled.store(true, std::memory_order_release);
    try {
        Cancel();
    } catch (const BcamException&) {
        // the device is gone; closing the port ends the grab
    }
}

std::uint32_t GrabPort::GrabThread(void* arg) {
    const std::shared_ptr<GrabSession> session =
        std::move(static_cast<GrabSession*>(arg)->keepAlive);
    session->threadId.store(platform::CurrentThreadId(), std::memory_order_release);
    GrabPort& port = *session->port;
    try {
        while (!session->stopping.load(std::memory_order_acquire)) {
            std::int32_t code = 0;
            std::uint32_t error = 0;
            void* context = nullptr;
            // Only its own open's port: after a refused removal the device is opened again, and
            // the next session's completions are not this thread's to take.
            port.WaitForCompletion(&code, &error, &context, platform::kInfinite,
                                   session->openSerial);
            if (code == 0 && context == nullptr && error != 0) {
                if (error == kPortClosedUnderWaiter) break;
                continue;
            }
            if (context != session.get()) continue;  // not this session's (one-shot requests)
            if (code == Bcam::kFunctionStop) break;
            if (code != Bcam::kFunctionGrab) continue;
            port.OnGrabComplete(session, error);
            // Once stopped, the port may be gone by the time the host's callback returns.
            if (!session->stopping.load(std::memory_order_acquire) &&
                port.continuous_.load(std::memory_order_acquire) &&
                port.session_.Live() == session.get())
                port.Arm();
        }
    } catch (const BcamException&) {
        // The device went away under the thread; its port is being closed.
    }
    return 1;
}

void GrabPort::OnGrabComplete(const std::shared_ptr<GrabSession>& grabbed, std::uint32_t error) {
    GrabSession& session = *grabbed;
    // The mode changed while the grab was pending: a frame of another size or coding is not
    // read as one of this layout.
    if (error == 0) {
        try {
            if (!LayoutHolds(session)) error = kInvalidData;
        } catch (const BcamException& e) {
            error = e.Error();
        }
    }
    // A refill was begun: by Arm for frames that land in the rows directly, here for converted
    // ones.
    const bool refilling = session.Direct() || error == 0;
    if (error == 0 && !session.Direct())
        session.convert(session.raw.data(), session.frames.BeginRefill(),
                        static_cast<std::int32_t>(session.layout.width),
                        static_cast<std::int32_t>(session.layout.height));
    // A callback of an earlier session (a removal or a re-size replaced it) may still be reading
    // the frame it was given: this frame is published and announced once it has returned.
    // Waiting for it counts as being in the callback (a stop does not wait for this thread
    // under its lock, nor at the process's end), so a stop that comes meanwhile is looked for
    // before anything of the port is touched again.
    session.inCallback.store(true);
    std::lock_guard<std::mutex> announcing(*session.callbacks);
    session.inCallback.store(false);
    if (session.stopping.load()) {
        if (refilling) session.frames.Withdraw();
        return;
    }
    const bool announced = error == 0 && announced_.Publish(grabbed);
    if (!announced && refilling) session.frames.Withdraw();  // the rows keep the last good frame
    // Cleared only now, so that the next grab cannot refill the buffer under the conversion or
    // before its frame is published.
    armed_.store(false, std::memory_order_release);
    if (session.stopping.load(std::memory_order_acquire)) return;
    if (error != 0) {
        if (session.cancelled.exchange(false, std::memory_order_acq_rel)) return;
        ReportError(BcamException(error, "GrabPort::OnGrabComplete()"));
    }
    if (const CompleteCallback callback = completeCallback_.load(std::memory_order_acquire)) {
        // Either a stop sees the thread in the callback and does not wait for it under its lock,
        // or the thread sees the stop and calls no callback.
        session.inCallback.store(true);
        if (!session.stopping.load()) callback(0, portNumber_.load(std::memory_order_relaxed));
        session.inCallback.store(false, std::memory_order_release);
    }
}

GrabPort::RowRead GrabPort::GetRow(int row, std::uint8_t* dest, int count) const {
    FrameRead read;
    GrabSession* session = announced_.Live();
    for (;;) {
        if (!session)
            return open_.load(std::memory_order_acquire) ? RowRead::NoSuchRow : RowRead::Closed;
        read.Announce(session);
        GrabSession* const live = announced_.Live();
        if (live == session) break;
        session = live;  // replaced meanwhile
    }
    if (row < 0 || static_cast<std::uint32_t>(row) >= session->layout.height)
        return RowRead::NoSuchRow;
    if (count <= 0 || !dest) return RowRead::Copied;
    // Hosts read several rows, or the whole frame, in one call: the copy ends with the frame.
    const std::size_t offset = static_cast<std::size_t>(row) * session->layout.width;
    const std::size_t frame = static_cast<std::size_t>(session->layout.width) * session->layout.height;
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), frame - offset);
    session->frames.Copy(offset, dest, n);
    return RowRead::Copied;
}

bool GrabPort::SetContinuous(bool on) {
    try {
        ContinuousShot = on;
    } catch (const BcamException& e) {
        ReportError(e);
        return false;
    }
    const bool wasOn = continuous_.exchange(on, std::memory_order_acq_rel);
    if (on)
        Arm();
    else if (wasOn && Armed())
        FinishStreamedGrab();
    return true;
}

void GrabPort::FinishStreamedGrab() {
    // The grab armed last while the camera streamed waits for the stream's next frame, and its
    // own shot was ignored as a streaming camera ignores it; the stream has stopped now. One
    // shot brings its frame, so the port is back to single grabs within a frame's time. (A
    // shot that finds the grab done meanwhile is lost on the bus.)
    try {
        OneShot.SetAsync(nullptr);
    } catch (const BcamException& e) {
        ReportError(e);
        if (const std::shared_ptr<GrabSession> session = session_.Load()) WithdrawGrab(*session);
    }
}

int GrabPort::PropertyIndex(const char* name) {
    if (!name) return 0;
    for (int i = 0; i < static_cast<int>(std::size(kPropertyNames)); ++i) {
        const char* entry = kPropertyNames[i];
        std::size_t k = 0;
        while (entry[k] && Lower(name[k]) == Lower(entry[k])) ++k;
        if (!entry[k]) return i;
    }
    return 0;
}

namespace {

// The scalar feature of a by-name index 1 to 6.
Bcam::CScalarProperty& Scalar(GrabPort& port, int index) {
    switch (index) {
        case 1: return port.Gain;
        case 2: return port.Brightness;
        case 3: return port.Gamma;
        case 4: return port.Hue;
        case 5: return port.Saturation;
        default: return port.Shutter;
    }
}

}  // namespace

bool GrabPort::GetPropertyRange(const char* name, int* min, int* max) {
    const int index = PropertyIndex(name);
    if (index == 0 || !min || !max) return false;
    try {
        std::uint32_t low = 0, high = 0;
        if (index == kWhiteBalanceUB || index == kWhiteBalanceVR) {
            if (!WhiteBalance.IsSupported(Bcam::inqPresence)) return false;
            low = WhiteBalance.Raw.Min();
            high = WhiteBalance.Raw.Max();
        } else {
            Bcam::CScalarProperty& feature = Scalar(*this, index);
            if (!feature.IsSupported(Bcam::inqPresence)) return false;
            low = feature.Raw.Min();
            high = feature.Raw.Max();
        }
        *min = static_cast<int>(low);
        *max = static_cast<int>(high);
        return true;
    } catch (const BcamException& e) {
        ReportError(e);
        return false;
    }
}

bool GrabPort::GetProperty(const char* name, int* value) {
    const int index = PropertyIndex(name);
    if (index == 0 || !value) return false;
    try {
        std::uint32_t v = 0;
        if (index == kWhiteBalanceUB || index == kWhiteBalanceVR) {
            if (!WhiteBalance.IsSupported(Bcam::inqPresence)) return false;
            v = index == kWhiteBalanceUB ? WhiteBalance.Raw.UB() : WhiteBalance.Raw.VR();
        } else {
            Bcam::CScalarProperty& feature = Scalar(*this, index);
            if (!feature.IsSupported(Bcam::inqPresence)) return false;
            v = feature.Raw();
        }
        *value = static_cast<int>(v);
        return true;
    } catch (const BcamException& e) {
        ReportError(e);
        return false;
    }
}

bool GrabPort::SetProperty(const char* name, int value) {
    const int index = PropertyIndex(name);
    if (index == 0) return false;
    const auto v = static_cast<std::uint32_t>(value);
    try {
        if (index == kWhiteBalanceUB || index == kWhiteBalanceVR) {
            if (!WhiteBalance.IsSupported(Bcam::inqPresence)) return false;
            if (index == kWhiteBalanceUB)
                WhiteBalance.Raw.UB = v;
            else
                WhiteBalance.Raw.VR = v;
        } else {
            Bcam::CScalarProperty& feature = Scalar(*this, index);
            if (!feature.IsSupported(Bcam::inqPresence)) return false;
            feature.Raw = v;
        }
        return true;
    } catch (const BcamException& e) {
        ReportError(e);
        return false;
    }
}

std::string GrabPort::SettingsPath(const char* systemPath, const char* name) {
    const char separator = platform::PathSeparator();
    std::string path = systemPath ? systemPath : "";
    if (!path.empty() && path.back() != separator) path += separator;
    path += name;
    path += ".cfg";
    return path;
}

void GrabPort::RestoreSettings(const char* systemPath) {
    try {
        RestoreConfiguration(SettingsPath(systemPath, Name()));
    } catch (const BcamException& e) {
        ReportError(e);
    }
}

void GrabPort::SaveSettings(const char* systemPath) {
    try {
        SaveConfiguration(SettingsPath(systemPath, Name()));
    } catch (const BcamException& e) {
        ReportError(e);
    }
}

}  // namespace fennex::driver
