#include "driver/grab_port.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "bcam/bcam_utility.h"
#include "driver/debug_messages.h"
#include "errors/exception.h"
#include "platform/last_error.h"
#include "platform/profile.h"
#include "platform/sync.h"

namespace fennex::driver {

using Bcam::BcamException;

// Everything a port needs between its first open and its last close. The grab thread holds a
// reference, so the buffers live as long as anything can still touch them.
//
// Frames alternate between two slots. The slot being written is marked `writing`; a reader
// announces the slot it copies from and backs off when that slot is being written; the writer
// waits for the readers of a slot before it reuses it. Row copies are short, so the grab thread
// never waits for long.
struct GrabSession {
    GrabPort* port = nullptr;
    std::uint32_t width = 0, height = 0, rawSize = 0;
    FrameConversion convert = nullptr;  // null: 8-bit frames land in the slots themselves
    std::vector<std::uint8_t> raw;      // grab target of frames that are converted
    std::array<std::vector<std::uint8_t>, 2> slots;
    std::atomic<int> current{0};
    std::atomic<int> next{1};
    std::array<std::atomic<bool>, 2> writing{};
    std::atomic<bool> stopping{false};
    std::atomic<std::uint32_t> threadId{0};
    platform::Thread thread;
    std::shared_ptr<GrabSession> keepAlive;  // the grab thread's reference, taken at its start

    bool Direct() const { return convert == nullptr; }
    std::uint8_t* GrabTarget(int slot) { return Direct() ? slots[slot].data() : raw.data(); }

    void Reserve(int slot) {
        writing[slot].store(true, std::memory_order_relaxed);
        WaitForFrameReaders(this, slot);
    }
    void Publish(int slot) {
        writing[slot].store(false, std::memory_order_release);
        current.store(slot, std::memory_order_release);
        next.store(1 - slot, std::memory_order_relaxed);
    }
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
constexpr std::uint32_t kPortClosedUnderWaiter = 735;  // ERROR_ABANDONED_WAIT_0

}  // namespace

GrabPort::GrabPort(const std::string& deviceName) : deviceName_(deviceName) {
    // The name field holds 127 characters and its terminator; a longer device name is cut.
    const std::size_t n = std::min(deviceName.size(), kNameSize - 1);
    std::memcpy(name_.data(), deviceName.data(), n);
    name_[n] = '\0';
    namePointer_ = name_.data();
}

GrabPort::~GrabPort() {
    {
        std::lock_guard<std::mutex> lock(lifecycle_);
        if (openCount_ > 1) openCount_ = 1;
    }
    Close();
    // A grab thread that outlived its port's close (its host callback was still running) works
    // on this object until it ends.
    for (int i = 0; i < 500 && !lingering_.expired(); ++i) platform::SleepMs(10);
}

std::uint32_t GrabPort::OpenCount() const {
    std::lock_guard<std::mutex> lock(lifecycle_);
    return openCount_;
}

void GrabPort::ReportError(const BcamException& e) const { ReportException(Name(), e); }

void GrabPort::Open() {
    std::lock_guard<std::mutex> lock(lifecycle_);
    if (openCount_ == 0) OpenDevice();
    ++openCount_;
}

bool GrabPort::OpenDevice() {
    std::shared_ptr<GrabSession> session;
    bool resources = false;
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

        std::uint32_t format = 0, mode = 0, rate = 0;
        GetVideoMode(&format, &mode, &rate);
        std::uint32_t width = 0, height = 0;
        Bcam::VideoColorMode colorMode;
        if (format == Bcam::kFormatSeven) {
            // Format 7 frames have the size and coding of the camera's current Format 7 mode.
            Bcam::CFormatSeven& seven = FormatSeven[mode];
            const Bcam::CSize size = seven.ImageSize();
            width = size.cx;
            height = size.cy;
            colorMode = static_cast<Bcam::VideoColorMode>(seven.ColorCoding());
        } else {
            const auto size = Bcam::BcamUtility::ImageSize(format, mode);
            width = size.width;
            height = size.height;
            colorMode = Bcam::BcamUtility::ColorMode(format, mode);
        }
        const std::uint32_t bitsPerPixel = Bcam::BcamUtility::BitsPerPixel(colorMode);
        const std::uint64_t pixels = static_cast<std::uint64_t>(width) * height;
        const std::uint64_t rawSize = pixels * bitsPerPixel / 8;
        if (pixels == 0 || rawSize > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
            throw BcamException(kInvalidArgument, "GrabPort::Open()",
                                {static_cast<std::uintptr_t>(width)});

        session = std::make_shared<GrabSession>();
        session->port = this;
        session->width = width;
        session->height = height;
        session->rawSize = static_cast<std::uint32_t>(rawSize);
        if (colorMode != Bcam::VideoColorMode::Mono8) {
            session->convert = ConversionForColorMode(static_cast<std::uint32_t>(colorMode));
            session->raw.resize(session->rawSize);
        }
        for (auto& slot : session->slots) slot.resize(static_cast<std::size_t>(pixels));

        AllocateResources(1, session->rawSize, 0);
        resources = true;
        armed_.store(false, std::memory_order_release);
        continuous_.store(false, std::memory_order_release);
        ContinuousShot = false;

        session->keepAlive = session;
        if (!session->thread.Start(GrabThread, session.get())) {
            session->keepAlive.reset();
            throw BcamException(platform::LastError(), "GrabPort::Open()");
        }
        width_.store(width, std::memory_order_release);
        height_.store(height, std::memory_order_release);
        session_.Exchange(std::move(session));
        return true;
    } catch (const BcamException& e) {
        ReportError(e);
    } catch (const std::bad_alloc&) {
        ReportError(BcamException(kOutOfMemory, "GrabPort::Open()"));
    }
    // A camera that cannot grab is not left half open: the port opens without it, and a grab
    // on it is refused by the closed device.
    try {
        if (resources) FreeResources();
        CBcam::Close();
    } catch (const BcamException& e) {
        ReportError(e);
    }
    width_.store(0, std::memory_order_release);
    height_.store(0, std::memory_order_release);
    return false;
}

void GrabPort::Close() {
    std::lock_guard<std::mutex> lock(lifecycle_);
    if (openCount_ == 0) return;
    if (--openCount_ != 0) return;

    std::shared_ptr<GrabSession> session = session_.Exchange(nullptr);
    width_.store(0, std::memory_order_release);
    height_.store(0, std::memory_order_release);
    if (!session) return;  // the open had failed and closed the device already
    session->stopping.store(true, std::memory_order_release);

    // Each step has its own handler: a refusal of one must not leave the thread running on
    // buffers that are about to go, or the device open.
    try {
        ContinuousShot = false;
    } catch (const BcamException& e) {
        ReportError(e);
    }
    const bool onGrabThread =
        session->threadId.load(std::memory_order_acquire) == platform::CurrentThreadId();
    try {
        Notify(Bcam::kFunctionStop, session.get());
    } catch (const BcamException& e) {
        ReportError(e);
    }
    // From inside the host's completion callback the thread cannot be waited for: it ends
    // when the callback returns. A thread still in a slow callback after 200 ms is left to end
    // by itself; it keeps the buffers alive, and the pending grab is cancelled so that the
    // driver is done with them.
    const bool ended = !onGrabThread && session->thread.Join(200);
    if (!ended) {
        lingering_ = session;
        try {
            if (armed_.load(std::memory_order_acquire) && IsOpen()) Cancel();
        } catch (const BcamException& e) {
            ReportError(e);
        }
    }
    try {
        FreeResources();
    } catch (const BcamException& e) {
        ReportError(e);
    }
    try {
        CBcam::Close();
    } catch (const BcamException& e) {
        ReportError(e);
    }
    armed_.store(false, std::memory_order_release);
}

bool GrabPort::Arm() {
    if (armed_.exchange(true, std::memory_order_acq_rel)) {
        DebugPrint("%s already armed\n", Name());
        return false;
    }
    try {
        const std::shared_ptr<GrabSession> session = session_.Load();
        if (!session) {
            // No buffers: the port opened without its camera, which refuses the grab.
            GrabImageAsync(nullptr, 0, nullptr, true);
        } else {
            const int slot = session->next.load(std::memory_order_relaxed);
            if (session->Direct()) session->Reserve(slot);
            GrabImageAsync(session->GrabTarget(slot), session->rawSize, session.get(), true);
        }
    } catch (const BcamException& e) {
        ReportError(e);
        return false;  // armed stays set: the port grabs no more until it is closed
    }
    return true;
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
            port.WaitForCompletion(&code, &error, &context, platform::kInfinite);
            if (code == 0 && context == nullptr && error != 0) {
                if (error == kPortClosedUnderWaiter) break;
                continue;
            }
            if (context != session.get()) continue;  // not this open's (one-shot requests)
            if (code == Bcam::kFunctionStop) break;
            if (code != Bcam::kFunctionGrab) continue;
            port.OnGrabComplete(*session);
            if (port.continuous_.load(std::memory_order_acquire) &&
                !session->stopping.load(std::memory_order_acquire))
                port.Arm();
        }
    } catch (const BcamException&) {
        // The device went away under the thread; its port is being closed.
    }
    FrameRead::LeaveThread();  // the host's row reads in the callbacks used it
    return 1;
}

void GrabPort::OnGrabComplete(GrabSession& session) {
    const int slot = session.next.load(std::memory_order_relaxed);
    if (!session.Direct()) {
        session.Reserve(slot);
        session.convert(session.raw.data(), session.slots[slot].data(),
                        static_cast<std::int32_t>(session.width),
                        static_cast<std::int32_t>(session.height));
    }
    session.Publish(slot);
    // Cleared only now, so that the next grab cannot refill the raw buffer under the
    // conversion.
    armed_.store(false, std::memory_order_release);
    if (session.stopping.load(std::memory_order_acquire)) return;
    if (const CompleteCallback callback = completeCallback_.load(std::memory_order_acquire))
        callback(0, portNumber_.load(std::memory_order_relaxed));
}

bool GrabPort::GetRow(int row, std::uint8_t* dest, int count) const {
    FrameRead read;
    GrabSession* session = session_.Live();
    for (;;) {
        if (!session) return false;
        read.Announce(session);
        GrabSession* const live = session_.Live();
        if (live == session) break;
        session = live;  // replaced meanwhile
    }
    if (row < 0 || static_cast<std::uint32_t>(row) >= session->height) return false;
    if (count <= 0 || !dest) return true;
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), session->width);
    const std::size_t offset = static_cast<std::size_t>(row) * session->width;
    for (;;) {
        const int slot = session->current.load(std::memory_order_acquire);
        read.AnnounceSlot(slot);
        if (!session->writing[slot].load(std::memory_order_acquire)) {
            std::memcpy(dest, session->slots[slot].data() + offset, n);
            return true;
        }
        // That frame is being replaced; the newer one is published in a moment.
        std::this_thread::yield();
    }
}

bool GrabPort::SetContinuous(bool on) {
    try {
        ContinuousShot = on;
    } catch (const BcamException& e) {
        ReportError(e);
        return false;
    }
    continuous_.store(on, std::memory_order_release);
    if (on) Arm();
    return true;
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
