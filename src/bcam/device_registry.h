// Process-wide state shared by every CBcam and the notification thread (cbcam.cpp,
// notifications.cpp). Not for use outside the device layer.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>

#include "platform/types.h"
#include "platform/window.h"

namespace Bcam {

class CBcam;

namespace registry {

using fennex::platform::Handle;

// The open device map (handle -> object), and the devices closed by a removal query whose
// removal may still be refused (old handle -> object). The notification thread finds objects
// here; a Pin keeps the found object from being destroyed until the pin ends.
class DeviceRegistry {
public:
    class Pin {
    public:
        Pin() = default;
        Pin(DeviceRegistry* registry, CBcam* device) : m_Registry(registry), m_Device(device) {}
        Pin(Pin&& other) noexcept : m_Registry(other.m_Registry), m_Device(other.m_Device) {
            other.m_Device = nullptr;
        }
        Pin& operator=(Pin&&) = delete;
        ~Pin();
        explicit operator bool() const { return m_Device != nullptr; }
        CBcam* operator->() const { return m_Device; }

    private:
        DeviceRegistry* m_Registry = nullptr;
        CBcam* m_Device = nullptr;
    };

    void InsertOpen(Handle device, CBcam* object);
    void EraseOpen(Handle device);
    bool Empty() const;
    std::size_t Size() const;
    Pin FindOpen(Handle device);

    void InsertRemoved(Handle oldDevice, CBcam* object);
    void EraseRemoved(Handle oldDevice);
    Pin FindRemoved(Handle oldDevice);

    // Called by a dying object once it is in neither map: waits until no pin holds it.
    void WaitUnpinned(const CBcam* object);

private:
    Pin PinLocked(std::map<Handle, CBcam*>& map, Handle device);

    mutable std::mutex m_Lock;
    std::condition_variable m_Unpinned;
    std::map<Handle, CBcam*> m_Open;
    std::map<Handle, CBcam*> m_Removed;
    std::map<const CBcam*, int> m_Pins;
};

DeviceRegistry& Devices();

// Open's notification start-up: starts the notification thread when needed and registers its
// window as the client window when none is registered.
void EnsureNotificationClient();
// The window that receives the broadcasts (null when none).
fennex::platform::Hwnd ClientWindow();
// Constructs the process-wide state before the first CBcam so that it outlives every CBcam
// (statics are destroyed in the reverse order of their construction).
void TouchProcessState();

}  // namespace registry
}  // namespace Bcam
