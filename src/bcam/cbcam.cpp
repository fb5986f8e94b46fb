// The camera device object: open and close, the request primitives, the grab queue.
//
// How the object stays safe while host threads, a grab thread and the notification thread use
// it at once:
//  - m_Lock guards the handle, the port, the name and the registrations. It is held only to
//    read or swap them, never across a driver call or a wait.
//  - Every request takes a Use: under m_Lock it copies the handle and the port and counts
//    itself in m_Uses. Close first swaps handle and port out (new requests then see a closed
//    object), then waits for the running Uses to end, cancelling the handle's I/O so that a
//    request blocked in the driver comes back. Only then are handle and port closed, so no
//    request ever works on a closed (and possibly reused) handle. The wait is bounded: a
//    driver that ignores the cancel cannot hold Close forever.
//  - WaitForCompletion blocks in the port for as long as its caller asks, so Close does not
//    wait for it: after draining the port, Close wakes each waiter with an empty packet (the
//    waiter reports 735, ERROR_ABANDONED_WAIT_0, as the system does when a port is closed
//    under a waiter) and closes the port once they have left it.
//  - Every BcamOL handed to the driver or the port is counted in m_InFlight until it is
//    dequeued, so Close knows when every record has come back and has been released. A port
//    whose driver still holds records after Close's grace is kept until they have come back.
//  - m_OpenCloseLock serialises Open, Close and Reopen of one object (a host thread and the
//    notification thread may both close it). Close's waits are bounded, so holding it there
//    blocks the other side only briefly.
//  - The open device map lives in the registry (device_registry.h) under its own lock. The
//    notification thread pins an object it finds there; the destructor waits for such pins,
//    so an object is never freed under the notification thread.
#include "bcam/cbcam.h"

#include <chrono>
#include <new>
#include <optional>
#include <vector>

#include "bcam/bcam_utility.h"
#include "bcam/device_registry.h"
#include "bcam/driver_backend.h"
#include "bcam/driver_contract.h"
#include "bcam/enumeration.h"
#include "errors/driver_version_check.h"
#include "errors/error_codes.h"
#include "errors/exception.h"
#include "platform/completion_port.h"
#include "platform/last_error.h"
#include "platform/sync.h"
#include "platform/win32_errors.h"

namespace Bcam {

namespace plat = fennex::platform;
namespace err = fennex::platform::err;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint32_t kNoMoreBit29 = 0xDFFFFFFFu;

// How long Close waits for running requests to come back after cancelling them, for
// cancelled overlapped requests to reach the port, and for waiters to leave the port.
constexpr auto kUseGrace = std::chrono::milliseconds(2000);
constexpr auto kCancelRetry = std::chrono::milliseconds(100);
constexpr auto kCompletionGrace = std::chrono::milliseconds(1000);
constexpr std::uint32_t kCompletionPollMs = 20;
constexpr auto kWaiterGrace = std::chrono::milliseconds(1000);
// How long a synchronous request that timed out and was cancelled may take to come back.
constexpr std::uint32_t kCancelledRequestGraceMs = 10000;

std::atomic<std::uint32_t> g_InstanceCounter{0};
std::atomic<std::int64_t> g_RecordsInUse{0};

Handle None() { return plat::InvalidHandleValue(); }

// The event and overlapped record of one synchronous request. On the heap, so that a request
// the driver never gives back (even after a cancel) can be left with them instead of writing
// into a dead stack frame.
struct SyncRequest {
    plat::Event event{true, false};
    Overlapped ov{};
};

// Released records are kept here for the next request, so that grabbing for hours takes
// nothing from the heap: a grab and its shot take one record each, and even twenty ports keep
// only a few dozen in flight. The pool itself is never destroyed, because records still come
// back while the library unloads; at unload it hands its records back to the heap and keeps
// none from then on, so that an unloaded library leaves no memory behind.
class RecordPool {
public:
    BcamOL* Take() {
        std::lock_guard guard(m_Lock);
        return m_Count ? m_Free[--m_Count] : nullptr;
    }
    bool Keep(BcamOL* record) {
        std::lock_guard guard(m_Lock);
        if (m_Drained || m_Count == kCapacity) return false;
        m_Free[m_Count++] = record;
        return true;
    }
    void Drain() {
        std::lock_guard guard(m_Lock);
        m_Drained = true;
        while (m_Count) delete m_Free[--m_Count];
    }

private:
    static constexpr std::size_t kCapacity = 64;
    std::mutex m_Lock;
    BcamOL* m_Free[kCapacity] = {};
    std::size_t m_Count = 0;
    bool m_Drained = false;
};

// Completion ports of closed devices whose driver still holds some of their requests: a
// driver may end them only after the handle's close has returned (Wine's does). Such a port is
// kept until every record has come back through it; the next open or close of any device
// collects what has arrived meanwhile.
class LatePorts {
public:
    void Keep(Handle port, std::int64_t outstanding) {
        std::lock_guard guard(m_Lock);
        m_Ports.push_back({port, outstanding});
    }
    // Releases the records that have come back; closes the ports that have all of theirs.
    void Collect() {
        std::lock_guard guard(m_Lock);
        std::erase_if(m_Ports, [](Kept& late) {
            for (;;) {
                std::uint32_t bytes = 0;
                std::uintptr_t key = 0;
                Overlapped* record = nullptr;
                const bool ok = plat::DequeueCompletion(late.port, &bytes, &key, &record, 0);
                if (record) {
                    --late.outstanding;
                    CBcam::ReleaseBcamOL(reinterpret_cast<BcamOL*>(record));
                } else if (!ok) {
                    break;  // nothing more queued
                }
            }
            if (late.outstanding > 0) return false;
            plat::ClosePort(late.port);
            return true;
        });
    }
    // At unload: what has come back is released; records a driver still holds stay its own.
    void CloseAll() {
        Collect();
        std::lock_guard guard(m_Lock);
        for (const Kept& late : m_Ports) plat::ClosePort(late.port);
        m_Ports.clear();
        m_Ports.shrink_to_fit();
    }

private:
    struct Kept {
        Handle port;
        std::int64_t outstanding;
    };
    std::mutex m_Lock;
    std::vector<Kept> m_Ports;
};

LatePorts& Late() {
    alignas(LatePorts) static unsigned char storage[sizeof(LatePorts)];
    static LatePorts& ports = *::new (storage) LatePorts;
    return ports;
}

RecordPool& Records() {
    alignas(RecordPool) static unsigned char storage[sizeof(RecordPool)];
    static RecordPool& pool = *::new (storage) RecordPool;
    static struct Drain {
        ~Drain() {
            Late().CloseAll();
            pool.Drain();
        }
    } drain;
    return pool;
}

}  // namespace

void BcamOLDeleter::operator()(BcamOL* record) const { CBcam::ReleaseBcamOL(record); }

// A request's hold on the handle and port of the moment.
class CBcam::Use {
public:
    // With `openSerial`, the handle of that open only: none once it has been closed.
    explicit Use(CBcam& owner, std::uint32_t openSerial = 0) : m_Owner(owner) {
        std::lock_guard guard(owner.m_Lock);
        m_Device = openSerial == 0 || openSerial == owner.m_OpenSerial ? owner.m_hDevice : None();
        m_Port = owner.m_hCompletionPort;
        ++owner.m_Uses;
    }
    ~Use() {
        std::lock_guard guard(m_Owner.m_Lock);
        if (--m_Owner.m_Uses == 0) m_Owner.m_Idle.notify_all();
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

    Handle Device() const { return m_Device; }
    Handle Port() const { return m_Port; }
    // Raises the closed-device error unless the handle is open.
    Handle OpenDevice(const char* context) const {
        if (!plat::IsValidHandle(m_Device)) throw BcamException(codes::kDeviceNotOpen, context);
        return m_Device;
    }

private:
    CBcam& m_Owner;
    Handle m_Device;
    Handle m_Port;
};

// A thread blocked in the port; Close wakes it before closing the port.
class CBcam::Waiter {
public:
    Waiter(CBcam& owner, std::uint32_t openSerial) : m_Owner(owner) {
        std::lock_guard guard(owner.m_Lock);
        if (openSerial == 0 || openSerial == owner.m_OpenSerial) m_Port = owner.m_hCompletionPort;
        if (m_Port) ++owner.m_Waiters;
    }
    ~Waiter() {
        if (!m_Port) return;
        std::lock_guard guard(m_Owner.m_Lock);
        if (--m_Owner.m_Waiters == 0) m_Owner.m_Idle.notify_all();
    }
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;

    Handle Port() const { return m_Port; }

private:
    CBcam& m_Owner;
    Handle m_Port = nullptr;
};

CBcam::CBcam()
    : m_hDevice(None()),
      m_hNotification(None()),
      m_hNotification2(None()),
      m_hCompletionPort(nullptr),
      m_hRemovalNotification(None()),
      m_hRemovedDevice(None()),
      m_ResourceWord1(0xFFFFFFFFu),
      m_ResourceWord3(0),
      m_InstanceNumber(++g_InstanceCounter) {
    registry::TouchProcessState();
}

CBcam::~CBcam() {
    {
        std::lock_guard guard(m_OpenCloseLock);
        m_Dying = true;
        try {
            CloseLocked(false);
        } catch (...) {
            // A destructor reports nothing; the object is closed as far as it got.
        }
    }
    registry::Devices().WaitUnpinned(this);
}

// ---- records

BcamOL* CBcam::GetBcamOL(std::int32_t functionCode, void* context) {
    BcamOL* record = Records().Take();
    if (record) {
        *record = BcamOL{};  // overlapped all zero, no event
    } else {
        record = new (std::nothrow) BcamOL{};
        if (!record) throw BcamException(codes::kOutOfMemory, "GetBcamOL");
    }
    record->functionCode = functionCode;
    record->context = context;
    ++g_RecordsInUse;
    return record;
}

void CBcam::ReleaseBcamOL(BcamOL* record) {
    if (!record) return;
    --g_RecordsInUse;
    if (!Records().Keep(record)) delete record;
}

std::int64_t CBcam::BcamOLsInUse() { return g_RecordsInUse.load(); }

std::size_t CBcam::OpenDeviceCount() { return registry::Devices().Size(); }

// ---- open and close

bool CBcam::IsOpen() const {
    std::lock_guard guard(m_Lock);
    return plat::IsValidHandle(m_hDevice);
}

std::uint32_t CBcam::OpenSerial() const {
    std::lock_guard guard(m_Lock);
    return m_OpenSerial;
}

std::string CBcam::DeviceName() const {
    std::lock_guard guard(m_Lock);
    return m_DeviceName;
}

void CBcam::Open(const std::string& deviceNameOrPath, Hwnd window) {
    std::lock_guard guard(m_OpenCloseLock);
    OpenLocked(deviceNameOrPath, window);
}

void CBcam::OpenLocked(const std::string& deviceNameOrPath, Hwnd window) {
    Late().Collect();
    CDriverVersionCheck::Match(Backend());
    const std::string path = DevicePathFromName(deviceNameOrPath);
    const std::string name = DeviceNameFromPath(deviceNameOrPath);

    if (IsOpen()) {
        if (DeviceName() == name) throw BcamException(codes::kAlreadyOpen, "CBcam::Open");
        CloseLocked(false);
    }

    registry::EnsureNotificationClient();

    // A removal that was pending for an earlier handle no longer concerns this object.
    DropRemovalNotification();

    const Handle device = Backend().OpenDevice(path);
    if (!plat::IsValidHandle(device)) throw BcamException(plat::LastError(), deviceNameOrPath);

    registry::Devices().InsertOpen(device, this);
    {
        std::lock_guard lock(m_Lock);
        m_hDevice = device;
        m_DeviceName = name;
        ++m_OpenSerial;
    }

    // A failure from here on leaves the device open; the next Open or Close cleans up.
    const Handle notification = RegisterDeviceNotifications(registry::ClientWindow());
    {
        std::lock_guard lock(m_Lock);
        m_hNotification = notification;
    }
    if (window) {
        const Handle second = RegisterDeviceNotifications(window);
        std::lock_guard lock(m_Lock);
        m_hNotification2 = second;
    }

    const Handle port = Backend().CreateCompletionPort(device, m_InstanceNumber);
    if (!port) throw BcamException(plat::LastError(), deviceNameOrPath);
    std::lock_guard lock(m_Lock);
    m_hCompletionPort = port;
}

void CBcam::Close() {
    std::lock_guard guard(m_OpenCloseLock);
    CloseLocked(false);
}

void CBcam::CloseLocked(bool keepForRemoval) {
    Late().Collect();
    Handle device;
    Handle port;
    Handle notification;
    Handle notification2;
    std::string name;
    {
        std::unique_lock lock(m_Lock);
        device = m_hDevice;
        port = m_hCompletionPort;
        notification = m_hNotification;
        notification2 = m_hNotification2;
        name = m_DeviceName;
        m_hDevice = None();
        m_hCompletionPort = nullptr;
        m_hNotification = None();
        m_hNotification2 = None();

        if (device != None()) registry::Devices().EraseOpen(device);

        // Let running requests finish; cancelling brings back the ones blocked in the driver.
        const auto deadline = Clock::now() + kUseGrace;
        while (m_Uses > 0 && Clock::now() < deadline) {
            if (plat::IsValidHandle(device)) {
                lock.unlock();
                Backend().CancelIo(device);
                lock.lock();
            }
            m_Idle.wait_until(lock, std::min(deadline, Clock::now() + kCancelRetry),
                              [this] { return m_Uses == 0; });
        }
    }

    std::uint32_t error = 0;
    std::optional<BcamException> unregisterFailure;
    auto unregister = [&unregisterFailure](Handle registration) {
        try {
            UnregisterDeviceNotification(registration);
        } catch (const BcamException& e) {
            if (!unregisterFailure) unregisterFailure = e;
        }
    };

    if (device != None()) {
        // Closing the handle ends its pending requests; their records reach the port.
        if (!Backend().CloseDevice(device)) error = plat::LastError();
        if (keepForRemoval && plat::IsValidHandle(notification)) {
            {
                std::lock_guard lock(m_Lock);
                m_hRemovalNotification = notification;
                m_hRemovedDevice = device;
            }
            registry::Devices().InsertRemoved(device, this);
        } else {
            unregister(notification);
        }
        unregister(notification2);
    }
    if (!keepForRemoval) {
        try {
            DropRemovalNotification();
        } catch (const BcamException& e) {
            if (!unregisterFailure) unregisterFailure = e;
        }
    }

    if (port) {
        // Release every queued record. Requests ended by closing the handle may reach the
        // port a moment later; wait for them while records are still out, within a grace, and
        // keep the port for those that come later still.
        auto releaseOne = [this, port](std::uint32_t timeoutMs) {
            std::uint32_t bytes = 0;
            std::uintptr_t key = 0;
            Overlapped* record = nullptr;
            const bool ok = plat::DequeueCompletion(port, &bytes, &key, &record, timeoutMs);
            if (record) {
                --m_InFlight;
                ReleaseBcamOL(reinterpret_cast<BcamOL*>(record));
                return true;
            }
            return ok;  // an empty packet: go on; a time-out or a failure: nothing queued
        };
        const auto deadline = Clock::now() + kCompletionGrace;
        for (;;) {
            const bool expectMore = m_InFlight.load() > 0 && Clock::now() < deadline;
            if (!releaseOne(expectMore ? kCompletionPollMs : 0) && !expectMore) break;
        }

        std::unique_lock lock(m_Lock);
        for (int i = 0; i < m_Waiters; ++i) plat::PostCompletion(port, 0, m_InstanceNumber, nullptr);
        m_Idle.wait_for(lock, kWaiterGrace, [this] { return m_Waiters == 0; });
        lock.unlock();

        if (const std::int64_t outstanding = m_InFlight.exchange(0); outstanding > 0)
            Late().Keep(port, outstanding);
        else if (!plat::ClosePort(port))
            error = plat::LastError();
    }

    if (error != 0) throw BcamException(error, "CBcam::Close(" + name + ")");
    if (unregisterFailure) throw *unregisterFailure;
}

void CBcam::Reopen() {
    {
        std::lock_guard guard(m_OpenCloseLock);
        if (m_Dying || !ReopenLocked()) return;
    }
    OnReopened();
}

void CBcam::WaitForNotifications() { registry::Devices().WaitUnpinned(this); }

// A device that is still open stays as it is: it is in use and keeps its registrations (opening
// it again would only be refused as already open, after its notification had been cancelled).
bool CBcam::ReopenLocked() {
    if (IsOpen()) return false;
    const std::string name = DeviceName();
    if (name.empty()) return false;
    DropRemovalNotification();
    OpenLocked(name, nullptr);
    return true;
}

void CBcam::CloseForRemoval() {
    std::lock_guard guard(m_OpenCloseLock);
    CloseLocked(true);
}

void CBcam::RemovalCompleted() {
    std::lock_guard guard(m_OpenCloseLock);
    DropRemovalNotification();
}

void CBcam::DropRemovalNotification() {
    Handle registration;
    Handle oldDevice;
    {
        std::lock_guard lock(m_Lock);
        registration = m_hRemovalNotification;
        oldDevice = m_hRemovedDevice;
        m_hRemovalNotification = None();
        m_hRemovedDevice = None();
    }
    if (oldDevice != None()) registry::Devices().EraseRemoved(oldDevice);
    UnregisterDeviceNotification(registration);
}

// ---- resources and grabbing

std::uint32_t CBcam::AllocateResources(std::uint32_t bufferCount, std::uint32_t bufferSize,
                                       std::uint32_t bytesPerPacket) {
    std::uint32_t format = 0;
    std::uint32_t mode = 0;
    std::uint32_t rate = 0;
    GetVideoMode(&format, &mode, &rate);
    if (bytesPerPacket == 0) {
        bytesPerPacket = format == kFormatSeven ? FormatSeven[mode].BytePerPacket()
                                                : BcamUtility::BytePerPacket(format, mode, rate);
    }
    const driver::AllocateIn in{bytesPerPacket, bufferCount, bufferSize};
    driver::AllocateOut out{};
    Transmit("CBcam::AllocateResources()", driver::kAllocateResources, &in, sizeof in, &out,
             sizeof out);
    std::lock_guard lock(m_Lock);
    m_ResourceWord1 = out.word1;
    m_ResourceWord3 = out.word3;
    return out.word2;
}

void CBcam::FreeResources() {
    {
        std::lock_guard lock(m_Lock);
        m_ResourceWord1 = 0xFFFFFFFFu;
    }
    Transmit("CBcam::FreeResources()", driver::kFreeResources, nullptr, 0, nullptr, 0);
}

void CBcam::GrabImageAsync(void* buffer, std::uint32_t bufferSize, void* context, bool oneShot,
                           std::uint32_t openSerial) {
    BcamOLPtr record{GetBcamOL(kFunctionGrab, context)};
    if (!TransmitAsync(driver::kGrabImage, nullptr, 0, buffer, bufferSize, record.get(),
                       openSerial)) {
        const std::uint32_t error = plat::LastError();
        if (error != err::kIoPending) throw BcamException(error, "CBcam::GrabImageAsync()");
    }
    record.release();  // the request's now, until WaitForCompletion dequeues it
    if (oneShot) OneShot.SetAsync(nullptr);
}

void CBcam::WaitForCompletion(std::int32_t* functionCode, std::uint32_t* error, void** context,
                              std::uint32_t timeoutMs, std::uint32_t openSerial) {
    if (error) *error = 0;
    if (context) *context = nullptr;

    Overlapped* record = nullptr;
    std::uint32_t failure = 0;
    {
        Waiter waiter(*this, openSerial);
        if (!waiter.Port()) {
            // Closed (perhaps by the notification thread a moment ago), or that open's port is
            // gone: answer as to a waiter whose port was closed under it, so that a thread
            // waiting in a loop ends.
            failure = err::kAbandonedWait0;
        } else {
            std::uint32_t bytes = 0;
            std::uintptr_t key = 0;
            const bool ok = plat::DequeueCompletion(waiter.Port(), &bytes, &key, &record, timeoutMs);
            if (!ok) failure = plat::LastError();
            else if (!record) failure = err::kAbandonedWait0;  // Close woke us: the port is going away
            if (record) --m_InFlight;
        }
    }

    if (failure != 0 && error) *error = failure & kNoMoreBit29;
    if (record) {
        BcamOLPtr done{reinterpret_cast<BcamOL*>(record)};
        if (context) *context = done->context;
        if (functionCode) *functionCode = done->functionCode;
    }
}

void CBcam::Notify(std::int32_t functionCode, void* context) {
    BcamOLPtr record{GetBcamOL(functionCode, context)};
    std::uint32_t failure = err::kInvalidHandle;
    {
        Use use(*this);
        if (use.Port()) {
            ++m_InFlight;
            if (plat::PostCompletion(use.Port(), 0, m_InstanceNumber, &record->ov)) {
                record.release();
                return;
            }
            failure = plat::LastError();
            --m_InFlight;
        }
    }
    throw BcamException(failure, "CBcam::Notify()");
}

void CBcam::Cancel() {
    if (!IsOpen()) throw BcamException(codes::kDeviceNotOpen, "CBcam::Cancel()");
    Transmit("CBcam::Cancel()", driver::kCancelGrabs, nullptr, 0, nullptr, 0);
}

// ---- video modes

void CBcam::SetVideoMode(std::uint32_t format, std::uint32_t mode, std::uint32_t rate) {
    const driver::VideoModeRecord in{format, mode, rate};
    Transmit("CBcam::SetVideoMode()", driver::kSetVideoMode, &in, sizeof in, nullptr, 0);
}

void CBcam::GetVideoMode(std::uint32_t* format, std::uint32_t* mode, std::uint32_t* rate) {
    driver::VideoModeRecord out{};
    Transmit("CBcam::GetVideoMode()", driver::kGetVideoMode, nullptr, 0, &out, sizeof out);
    if (format) *format = out.format;
    if (mode) *mode = out.mode;
    if (rate) *rate = out.rate;
}

bool CBcam::IsVideoModeSupported(std::uint32_t format, std::uint32_t mode, std::uint32_t rate) {
    constexpr const char* kContext = "CBcam::IsVideoModeSupported()";
    constexpr std::uint32_t kAll = 0xFFFFFFFFu;
    // Inquiry replies carry value 0 in bit 31; values past 31 have no bit and are unsupported.
    auto has = [](std::uint32_t reply, std::uint32_t value) {
        return value < 32 && (reply >> (31 - value) & 1u) != 0;
    };
    std::uint32_t reply = 0;
    Transmit(kContext, driver::kFormatInquiry, nullptr, 0, &reply, sizeof reply);
    if (!has(reply, format)) return false;
    if (mode == kAll) return true;
    const std::uint32_t modeIn[1] = {format};
    Transmit(kContext, driver::kModeInquiry, modeIn, sizeof modeIn, &reply, sizeof reply);
    if (!has(reply, mode)) return false;
    if (rate == kAll) return true;
    const std::uint32_t rateIn[2] = {format, mode};
    Transmit(kContext, driver::kFrameRateInquiry, rateIn, sizeof rateIn, &reply, sizeof reply);
    return has(reply, rate);
}

// ---- request primitives

void CBcam::Transmit(const char* context, std::uint32_t code, const void* in, std::uint32_t inSize,
                     void* out, std::uint32_t outSize, std::uint32_t timeoutMs) {
    if (!TryTransmit(code, in, inSize, out, outSize, timeoutMs))
        throw BcamException(plat::LastError(), context);
}

namespace {

bool ChangesVideoMode(std::uint32_t code) {
    switch (code) {
    case driver::kSetVideoMode:
    case driver::kF7ImageSet:
    case driver::kF7ColorCodingSet:
    case driver::kF7BytePerPacketSet:
        return true;
    default:
        return false;
    }
}

}  // namespace

bool CBcam::TryTransmit(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                        std::uint32_t outSize, std::uint32_t timeoutMs) {
    // Counted whatever the result: a refused change may still have reached the camera.
    struct ModeChange {
        std::atomic<std::uint32_t>* counter;
        ~ModeChange() {
            if (counter) counter->fetch_add(1, std::memory_order_acq_rel);
        }
    } modeChange{ChangesVideoMode(code) ? &m_VideoModeChanges : nullptr};
    std::uint32_t kept = 0;
    {
        Use use(*this);
        const Handle device = use.OpenDevice("CBcam::Transmit()");
        auto request = std::make_unique<SyncRequest>();
        if (!request->event.Valid()) return false;
        // Bit 0 of the event keeps the completion off the completion port.
        request->ov.hEvent =
            reinterpret_cast<Handle>(reinterpret_cast<std::uintptr_t>(request->event.Native()) | 1u);

        if (!Backend().IoControl(device, code, in, inSize, out, outSize, &request->ov) &&
            plat::LastError() != err::kIoPending) {
            kept = plat::LastError();
        } else {
            switch (request->event.Wait(timeoutMs)) {
            case plat::WaitResult::Signaled: {
                std::uint32_t bytes = 0;
                if (!Backend().OverlappedResult(device, &request->ov, &bytes, false))
                    kept = plat::LastError();
                break;
            }
            case plat::WaitResult::Timeout:
                Backend().CancelIo(device);
                kept = err::kSemTimeout;
                // The driver owns the record until the cancelled request has come back.
                if (request->event.Wait(kCancelledRequestGraceMs) != plat::WaitResult::Signaled)
                    static_cast<void>(request.release());
                break;
            case plat::WaitResult::Failed:
                kept = plat::LastError();
                break;
            }
        }
    }
    plat::SetLastError(kept);
    return kept == 0;
}

bool CBcam::TransmitAsync(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                          std::uint32_t outSize, BcamOL* record, std::uint32_t openSerial) {
    bool ok = false;
    std::uint32_t error = 0;
    {
        Use use(*this, openSerial);
        const Handle device = use.OpenDevice("CBcam::Transmit()");
        ++m_InFlight;  // before the driver can complete it
        ok = Backend().IoControl(device, code, in, inSize, out, outSize, &record->ov);
        if (!ok) {
            error = plat::LastError();
            if (error != err::kIoPending) --m_InFlight;  // refused: the caller keeps the record
        }
    }
    if (!ok) plat::SetLastError(error);
    return ok;
}

}  // namespace Bcam
