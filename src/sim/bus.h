// The simulated bus: the cameras present in enumeration order, the interface sets enumerated
// from them, and the device-change registrations with their broadcasts.
//
// Its lock guards those lists alone. It may be taken inside the device table's lock, never the
// other way round; inside it only the hooks' locks are taken. Broadcasts are collected under it
// and sent with no lock held, so a window procedure may open or close devices.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/window.h"
#include "sim/camera_state.h"
#include "sim/hooks.h"

namespace sim::detail {

namespace pf = fennex::platform;

// Handle values are multiples of four, as the system's are, and never reused.
std::uintptr_t NewId();
inline pf::Handle ToHandle(std::uintptr_t id) { return reinterpret_cast<pf::Handle>(id); }
inline std::uintptr_t FromHandle(pf::Handle h) { return reinterpret_cast<std::uintptr_t>(h); }
// Sets the thread's last error; false.
bool Fail(std::uint32_t error);

// Raises BcamException for a name without '#' (87) or one given twice (183).
void CheckNames(const std::vector<CameraDesc>& cameras);

// A broadcast to send once every lock is released.
struct Broadcast {
    std::uintptr_t registration;
    pf::Hwnd window;
    std::uint32_t event;
    std::uintptr_t device;  // handle broadcasts
    std::string path;       // interface broadcasts
};

class Bus {
public:
    explicit Bus(Hooks& hooks) : hooks_(hooks) {}

    // The cameras present. Replace() drops the interface sets too and returns the cameras it
    // replaced; Plug() checks the name and returns the arrival broadcasts.
    std::vector<std::shared_ptr<CameraState>> Replace(std::vector<std::shared_ptr<CameraState>> cameras);
    std::vector<Broadcast> Plug(std::shared_ptr<CameraState> camera);
    bool Remove(const CameraState& camera);
    std::shared_ptr<CameraState> Find(const std::string& name);
    std::shared_ptr<CameraState> FindByPath(const std::string& path);
    std::vector<std::string> Names();
    std::size_t Index(const CameraState& camera);  // the isochronous channel it is given

    // Enumeration, as the setup API does it.
    pf::Handle OpenInterfaceSet();
    bool EnumInterface(pf::Handle set, std::uint32_t index);
    bool InterfaceDetail(pf::Handle set, std::uint32_t index, std::uint32_t bufferSize,
                         std::uint32_t* required, std::string* path);
    void CloseInterfaceSet(pf::Handle set);

    // A registration for a camera's handle (`device`), or for an interface class (`camera`
    // null; `otherClass` when no simulated device belongs to it). A handle registration stays
    // bound to its camera after the handle is closed, as a system registration is bound to the
    // device, until it is cancelled.
    pf::Handle Register(pf::Hwnd window, std::shared_ptr<CameraState> camera, std::uintptr_t device,
                        bool otherClass);
    bool Unregister(pf::Handle registration);
    std::vector<Broadcast> ToHandles(const CameraState& camera, std::uint32_t event);
    std::vector<Broadcast> ToInterfaces(std::uint32_t event, const std::string& path);
    // Sends each broadcast whose registration still stands when its turn comes.
    void Send(const std::vector<Broadcast>& list);

private:
    struct Registration {
        pf::Hwnd window;
        std::shared_ptr<CameraState> camera;  // null: the interface class
        std::uintptr_t device = 0;
        bool otherClass = false;
    };
    void InterfacesLocked(std::uint32_t event, const std::string& path, std::vector<Broadcast>* out);

    Hooks& hooks_;
    std::mutex mu_;
    std::vector<std::shared_ptr<CameraState>> cameras_;
    std::map<std::uintptr_t, std::vector<std::string>> sets_;
    std::map<std::uintptr_t, Registration> registrations_;
};

}  // namespace sim::detail
