// CBcam: the camera device object. Owns the driver handle and the completion port; carries the
// feature members; offers the request primitives the features use.
//
// Threading: every operation may be called from any thread. Requests run beside each other;
// Open, Close and Reopen are serialised per object and may run on the notification thread
// while host threads use the object (see cbcam.cpp for how that stays safe).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "bcam/features.h"
#include "bcam/shots.h"
#include "platform/types.h"
#include "platform/window.h"
#include "settings/property_bag.h"

namespace Bcam {

using fennex::platform::Handle;
using fennex::platform::Hwnd;
using fennex::platform::Overlapped;

// The record that travels with every overlapped request; it belongs to the request until
// WaitForCompletion dequeues it.
struct BcamOL {
    Overlapped ov;               // first, so a dequeued Overlapped* is the BcamOL*
    std::int32_t functionCode;   // 21 grab, 22 one shot, -2 stop a grab thread, any for Notify
    void* context;
};

inline constexpr std::int32_t kFunctionGrab = 21;
inline constexpr std::int32_t kFunctionOneShot = 22;
inline constexpr std::int32_t kFunctionStop = -2;

// Releases a BcamOL made by CBcam::GetBcamOL.
struct BcamOLDeleter {
    void operator()(BcamOL* record) const;
};
// Owns a record until it is handed to a request (release()) or the request is refused.
using BcamOLPtr = std::unique_ptr<BcamOL, BcamOLDeleter>;

class CBcam {
public:
    CBcam();
    virtual ~CBcam();
    CBcam(const CBcam&) = delete;
    CBcam& operator=(const CBcam&) = delete;

    // --- feature members (see features.h) are declared here first, in their fixed order.
    CScalarProperty Shutter{*this, driver::kShutter};
    CScalarProperty Gain{*this, driver::kGain};
    CScalarProperty Brightness{*this, driver::kBrightness};
    CScalarProperty Hue{*this, driver::kHue};
    CScalarProperty Saturation{*this, driver::kSaturation};
    CScalarProperty Gamma{*this, driver::kGamma};
    CWhiteBalance WhiteBalance{*this};
    CTestImage TestImage{*this};
    CTrigger Trigger{*this};
    using COneShot = Bcam::COneShot;
    using CContinuousShot = Bcam::CContinuousShot;
    COneShot OneShot{*this};
    CContinuousShot ContinuousShot{*this};
    CFormatSevenModes FormatSeven{*this};
    CInfo Info{*this};
    // --- end of feature members.

    static std::list<std::string> DeviceNames();

    // Accepts the short device name or the interface path. Opening the name that is already
    // open raises 0xCFF00016 and leaves the device open; another name closes the first.
    void Open(const std::string& deviceNameOrPath, Hwnd window = nullptr);
    // Allowed in any state. Every BcamOL of the device's requests is released, also those that
    // the driver ends only after the close (they are collected by a later open or close).
    void Close();
    bool IsOpen() const;

    std::uint32_t AllocateResources(std::uint32_t bufferCount, std::uint32_t bufferSize,
                                    std::uint32_t bytesPerPacket = 0);
    void FreeResources();
    // The buffer must stay valid until the completion carrying `context` has been dequeued.
    // With `openSerial` (see OpenSerial) the grab is queued only on that open of the device;
    // once it has been closed (and perhaps opened again) it is refused as on a closed object.
    void GrabImageAsync(void* buffer, std::uint32_t bufferSize, void* context, bool oneShot,
                        std::uint32_t openSerial = 0);
    // *error is 258 on time-out, 735 when the object is (or becomes) closed; *functionCode is
    // written only when a record was dequeued. With `openSerial` (see OpenSerial) only that
    // open's port is waited on: once the object has been closed and opened again, 735 as well.
    void WaitForCompletion(std::int32_t* functionCode, std::uint32_t* error, void** context,
                           std::uint32_t timeoutMs, std::uint32_t openSerial = 0);
    // Tells this object's opens apart (0 before the first): a thread serving one open passes it
    // to WaitForCompletion and GrabImageAsync, so that it never takes the completions of a
    // later open nor queues its buffers there.
    std::uint32_t OpenSerial() const;
    void Notify(std::int32_t functionCode, void* context);
    void Cancel();

    void SetVideoMode(std::uint32_t format, std::uint32_t mode, std::uint32_t rate);
    // Outputs may be null; the request is sent all the same.
    void GetVideoMode(std::uint32_t* format, std::uint32_t* mode, std::uint32_t* rate);
    // Only the inquiries needed are sent; all bits set means "do not test".
    bool IsVideoModeSupported(std::uint32_t format, std::uint32_t mode = 0xFFFFFFFFu,
                              std::uint32_t rate = 0xFFFFFFFFu);

    // Request primitives. Transmit raises with `context` on failure; TryTransmit returns it.
    void Transmit(const char* context, std::uint32_t code, const void* in, std::uint32_t inSize,
                  void* out, std::uint32_t outSize, std::uint32_t timeoutMs = 0xFFFFFFFFu);
    bool TryTransmit(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                     std::uint32_t outSize, std::uint32_t timeoutMs = 0xFFFFFFFFu);
    // Issues an overlapped request carrying `record`; the result and the last error are the
    // driver's (false with 997 while pending). The record stays the caller's unless the
    // request was accepted (true, or false with 997).
    bool TransmitAsync(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                       std::uint32_t outSize, BcamOL* record, std::uint32_t openSerial = 0);
    static BcamOL* GetBcamOL(std::int32_t functionCode, void* context);
    static void ReleaseBcamOL(BcamOL* record);
    // Records made and not yet released, process-wide (resource accounting for tests).
    static std::int64_t BcamOLsInUse();
    // Number of open devices in the process.
    static std::size_t OpenDeviceCount();

    // Device notifications.
    static void RegisterClient(Hwnd window);
    static void UnregisterClient();
    Handle RegisterDeviceNotifications(Hwnd window);
    static void UnregisterDeviceNotification(Handle registration);
    void Reopen();
    // The notification thread's window, null while the thread is not running.
    static Hwnd NotificationWindow();
    // Stops the notification thread at library unload; also run by a static destructor.
    // Open devices are left as they are. A later Open starts the thread again.
    static void StopNotifications();

    // The name under which the device was opened (empty while never opened).
    std::string DeviceName() const;

    // Counts the requests that change the video mode, a Format 7 region, coding or packet
    // size, whoever sends them; a holder of frame buffers compares it to see that they may no
    // longer fit the frames.
    std::uint32_t VideoModeChanges() const { return m_VideoModeChanges.load(std::memory_order_acquire); }

    // Configuration file (settings/configuration.cpp). The file forms make the file anew or
    // open it; the bag forms work on the "BCAM" bag and its sibling sections.
    void SaveConfiguration(const std::string& fileName);
    void SaveConfiguration(CPropertyBagPtr bag);
    void RestoreConfiguration(const std::string& fileName);
    void RestoreConfiguration(CPropertyBagPtr bag);

protected:
    // Called after a refused removal has opened the device again (on the notification thread,
    // no lock of this object held). The device is back without resources or queued requests.
    virtual void OnReopened() {}
    // For a derived destructor: waits until the notification thread has let go of this object.
    void WaitForNotifications();

private:
    friend struct DeviceChangeHandler;

    void OpenLocked(const std::string& deviceNameOrPath, Hwnd window);
    // keepForRemoval: a device being removed keeps its handle notification so that a refused
    // removal can still reach it.
    void CloseLocked(bool keepForRemoval);
    // True when the device was closed and has been opened again.
    bool ReopenLocked();
    void CloseForRemoval();
    void RemovalCompleted();
    void DropRemovalNotification();

    // A request's hold on the handle and the port; Close waits for holds to end.
    class Use;
    class Waiter;

    // Serialises Open, Close and Reopen of this object.
    std::mutex m_OpenCloseLock;
    bool m_Dying = false;

    // m_Lock guards the fields below it.
    mutable std::mutex m_Lock;
    std::condition_variable m_Idle;
    Handle m_hDevice;
    std::string m_DeviceName;
    Handle m_hNotification;
    Handle m_hNotification2;
    Handle m_hCompletionPort;
    // Handle notification kept after a removal query closed the device, and its old handle.
    Handle m_hRemovalNotification;
    Handle m_hRemovedDevice;
    int m_Uses = 0;
    int m_Waiters = 0;
    std::uint32_t m_OpenSerial = 0;
    std::uint32_t m_ResourceWord1;
    std::uint32_t m_ResourceWord3;

    const std::uint32_t m_InstanceNumber;
    // Records handed to the driver or the port and not yet dequeued.
    std::atomic<std::int64_t> m_InFlight{0};
    std::atomic<std::uint32_t> m_VideoModeChanges{0};
};

}  // namespace Bcam
