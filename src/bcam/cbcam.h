// CBcam: the camera device object. Owns the driver handle and the completion port; carries the
// feature members; offers the request primitives the features use.
#pragma once

#include <cstdint>
#include <list>
#include <string>

#include "bcam/features.h"
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
    // OneShot and ContinuousShot (shots.h) come here.
    CFormatSevenModes FormatSeven{*this};
    CInfo Info{*this};
    // --- end of feature members.

    static std::list<std::string> DeviceNames();

    void Open(const std::string& deviceNameOrPath, Hwnd window = nullptr);
    void Close();
    bool IsOpen() const;

    std::uint32_t AllocateResources(std::uint32_t bufferCount, std::uint32_t bufferSize,
                                    std::uint32_t bytesPerPacket = 0);
    void FreeResources();
    void GrabImageAsync(void* buffer, std::uint32_t bufferSize, void* context, bool oneShot);
    void WaitForCompletion(std::int32_t* functionCode, std::uint32_t* error, void** context,
                           std::uint32_t timeoutMs);
    void Notify(std::int32_t functionCode, void* context);
    void Cancel();

    void SetVideoMode(std::uint32_t format, std::uint32_t mode, std::uint32_t rate);
    void GetVideoMode(std::uint32_t* format, std::uint32_t* mode, std::uint32_t* rate);
    bool IsVideoModeSupported(std::uint32_t format, std::uint32_t mode = 0xFFFFFFFFu,
                              std::uint32_t rate = 0xFFFFFFFFu);

    // Request primitives. Transmit raises with `context` on failure; TryTransmit returns it.
    void Transmit(const char* context, std::uint32_t code, const void* in, std::uint32_t inSize,
                  void* out, std::uint32_t outSize, std::uint32_t timeoutMs = 0xFFFFFFFFu);
    bool TryTransmit(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                     std::uint32_t outSize, std::uint32_t timeoutMs = 0xFFFFFFFFu);
    bool TransmitAsync(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                       std::uint32_t outSize, BcamOL* record);
    static BcamOL* GetBcamOL(std::int32_t functionCode, void* context);

    // Device notifications.
    static void RegisterClient(Hwnd window);
    static void UnregisterClient();
    Handle RegisterDeviceNotifications(Hwnd window);
    static void UnregisterDeviceNotification(Handle registration);
    void Reopen();

    // The name under which the device was opened (empty while never opened).
    std::string DeviceName() const;

    // Configuration file (settings/configuration.cpp). The file forms make the file anew or
    // open it; the bag forms work on the "BCAM" bag and its sibling sections.
    void SaveConfiguration(const std::string& fileName);
    void SaveConfiguration(CPropertyBagPtr bag);
    void RestoreConfiguration(const std::string& fileName);
    void RestoreConfiguration(CPropertyBagPtr bag);

private:
    // Implementation state is private to cbcam.cpp and notifications.cpp.
    Handle m_hDevice;
    std::string m_DeviceName;
    Handle m_hNotification;
    Handle m_hNotification2;
    Handle m_hCompletionPort;
    std::uint32_t m_InstanceNumber;
    std::uint32_t m_ResourceWord1;
    std::uint32_t m_ResourceWord3;
};

}  // namespace Bcam
