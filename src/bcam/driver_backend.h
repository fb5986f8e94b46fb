// The one interface through which the class library reaches the camera driver: the kernel
// driver on Windows, or the simulated driver. Everything above it is shared.
// Calls that fail return false (or an invalid handle) and leave the Win32 error in
// fennex::platform::LastError(), as the system calls they stand for.
#pragma once

#include <cstdint>
#include <string>

#include "errors/driver_version_check.h"
#include "platform/device_broadcast.h"
#include "platform/types.h"
#include "platform/window.h"

namespace Bcam {

using fennex::platform::Handle;
using fennex::platform::Hwnd;
using fennex::platform::Overlapped;

class DriverBackend : public DriverReleaseSource {
public:
    // --- enumeration of the camera interface class, present devices (SetupAPI shape)
    // SetupDiGetClassDevsA: InvalidHandleValue on failure.
    virtual Handle OpenInterfaceSet() = 0;
    // SetupDiEnumDeviceInterfaces: false with 259 past the last interface.
    virtual bool EnumInterface(Handle set, std::uint32_t index) = 0;
    // SetupDiGetDeviceInterfaceDetailA: with bufferSize 0 it fails with 122 and sets *required;
    // with a buffer of at least that size it yields the interface path.
    virtual bool InterfaceDetail(Handle set, std::uint32_t index, std::uint32_t bufferSize,
                                 std::uint32_t* required, std::string* path) = 0;
    virtual void CloseInterfaceSet(Handle set) = 0;

    // --- devices
    // CreateFileA: read/write, shared read/write, open-existing, overlapped.
    virtual Handle OpenDevice(const std::string& path) = 0;
    virtual bool CloseDevice(Handle device) = 0;
    // DeviceIoControl on an overlapped handle: true when done at once, false with 997 when
    // pending. Without bit 0 in record->hEvent the completion goes to the device's port.
    virtual bool IoControl(Handle device, std::uint32_t code, const void* in, std::uint32_t inSize,
                           void* out, std::uint32_t outSize, Overlapped* record) = 0;
    // GetOverlappedResult.
    virtual bool OverlappedResult(Handle device, Overlapped* record, std::uint32_t* bytes,
                                  bool wait) = 0;
    // CancelIo: ends every pending request of the handle.
    virtual bool CancelIo(Handle device) = 0;
    // CreateIoCompletionPort(device, NULL, key, 0): a new port associated with the device.
    // Null on failure. The port is served with the platform's completion-port calls.
    virtual Handle CreateCompletionPort(Handle device, std::uintptr_t key) = 0;

    // --- device-change broadcasts (RegisterDeviceNotificationA, DEVICE_NOTIFY_WINDOW_HANDLE)
    // `filter` is a DevBroadcastDeviceInterface or DevBroadcastHandle. Null on failure.
    virtual Handle RegisterNotification(Hwnd window, const fennex::platform::DevBroadcastHdr* filter) = 0;
    virtual bool UnregisterNotification(Handle registration) = 0;
};

// The class library knows no backend by name: the layer that composes the library names a
// chooser, which Backend() runs on first use. A chooser that raises is run again on the next
// call rather than remembered; once a backend is chosen it stays for the process.
using BackendChooser = DriverBackend& (*)();
void SetBackendChooser(BackendChooser chooser);

// The process's backend. Without a chooser it raises 0x80004001 with context "Bcam::Backend()".
DriverBackend& Backend();

}  // namespace Bcam
