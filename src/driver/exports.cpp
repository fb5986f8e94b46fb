// The host functions and the tables behind them (configure, which runs the dialogs, is in
// ui/dialog.cpp). No exception leaves this file.
#include <array>
#include <list>
#include <string>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "driver/backend_choice.h"
#include "driver/debug_messages.h"
#include "driver/port_table.h"
#include "fennex/fennex.h"
#include "platform/last_error.h"
#include "platform/named_mutex.h"
#include "platform/win32_errors.h"

namespace fennex::driver {

namespace {

// The library's application object. Made on the first call of any host function and
// destroyed at unload, before the camera class library's own process state.
class Library {
public:
    Library() {
        ChooseBackendByEnvironment();
        Build();
    }
    ~Library() {
        Release();
        try {
            Bcam::CBcam::StopNotifications();
        } catch (...) {
            // unloading: nothing left to tell
        }
    }

    void Build() {
        std::list<std::string> names;
        try {
            names = Bcam::CBcam::DeviceNames();
        } catch (const Bcam::BcamException& e) {
            // No cameras rather than a host that cannot load us.
            ReportException("", e);
        } catch (const std::exception&) {
            // out of memory while listing: no cameras
        }
        HeldLock lock(portsLock);
        try {
            for (const std::string& name : names) {
                if (count >= kMaxCameras) break;
                cameras[count] = std::make_unique<GrabPort>(name);
                names_[count] = cameras[count]->Name();
                ++count;
            }
        } catch (const std::exception&) {
            // out of memory: the cameras made so far are the table
        }
        released = false;
    }

    // Closes every port and destroys the cameras. The port lock is held only to empty the
    // tables: a port's close and destruction wait for a grab thread that may be in a host
    // callback, and a callback that calls us meanwhile must be answered (and is refused).
    void Release() {
        std::array<GrabPort*, kMaxPorts> open{};
        std::array<std::unique_ptr<GrabPort>, kMaxCameras> gone;
        {
            HeldLock lock(portsLock);
            released = true;
            for (int port = 0; port < kMaxPorts; ++port) open[port] = TakePortLocked(port);
            for (int i = 0; i < count; ++i) {
                names_[i] = nullptr;
                gone[i] = std::move(cameras[i]);
            }
            count = 0;
        }
        for (int port = 0; port < kMaxPorts; ++port)
            if (open[port]) open[port]->Close(port);
        for (std::unique_ptr<GrabPort>& camera : gone) camera.reset();
    }

    // Empties the port's slot and closes this process's mutex of it; the caller closes the
    // GrabPort handed back (null for a port that was not open) with the lock let go.
    GrabPort* TakePortLocked(int port) {
        GrabPort* grabPort = ports[port].exchange(nullptr, std::memory_order_acq_rel);
        if (grabPort && mutexes[port]) {
            platform::CloseNamedMutex(mutexes[port]);
            mutexes[port] = nullptr;
        }
        return grabPort;
    }

    // Tables under portsLock; cameras and count are read without it once built.
    std::array<std::unique_ptr<GrabPort>, kMaxCameras> cameras;
    int count = 0;
    bool released = false;  // being unloaded: the tables are going
    std::array<const char*, kMaxCameras> names_{};
    // Read by every host function without a lock; changed under portsLock.
    std::array<std::atomic<GrabPort*>, kMaxPorts> ports{};
    std::array<platform::Handle, kMaxPorts> mutexes{};  // under portsLock
    std::mutex portsLock;
};

std::atomic<Library*> g_library{nullptr};
std::once_flag g_once;
std::mutex g_systemPathLock;
char g_systemPath[256];

Library& TheLibrary() {
    // Every row read comes through here: once made, the library is found without the once-call.
    if (Library* library = g_library.load(std::memory_order_acquire)) return *library;
    // A failed enumeration is reported while the table is built; the host hears of it once
    // the table stands, so that its procedure may ask for the table.
    MessageHold hold;
    std::call_once(g_once, [] {
        static Library library;
        g_library.store(&library, std::memory_order_release);
    });
    return *g_library.load(std::memory_order_acquire);
}

std::string SystemPath() {
    std::lock_guard<std::mutex> lock(g_systemPathLock);
    return g_systemPath;
}

void MutexName(int port, char (&name)[40]) {
    std::snprintf(name, sizeof name, "QUENTARO AS : MUXNAME MUX.0.%02d", port);
}

// The port's GrabPort, or null for a port that is not open or out of range.
GrabPort* PortOf(int port) {
    if (port < 0 || port >= kMaxPorts) return nullptr;
    return TheLibrary().ports[port].load(std::memory_order_acquire);
}

bool AgreesInFour(const char* a, const char* b) { return std::strncmp(a, b, 4) == 0; }

bool IsContinuousName(const char* name) {
    static const char kName[] = "continous";
    for (std::size_t i = 0;; ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kName[i]) return false;
        if (!c) return true;
    }
}

}  // namespace

void EnsureCameraTable() { TheLibrary(); }

int FindCamera(const char* name) {
    Library& library = TheLibrary();
    if (!name) return -1;
    for (int i = 0; i < kMaxCameras; ++i)
        if (library.cameras[i] && AgreesInFour(library.cameras[i]->Name(), name)) return i;
    return -1;
}

void FindOpenPort(const char* name, GrabPort** out) {
    if (!out) return;
    *out = nullptr;
    if (!name) return;
    for (int port = 0; port < kMaxPorts; ++port) {
        GrabPort* grabPort = PortOf(port);
        if (grabPort && AgreesInFour(grabPort->Name(), name)) {
            *out = grabPort;
            return;
        }
    }
}

void SaveOpenCameras() {
    try {
        Library& library = TheLibrary();
        const std::string path = SystemPath();
        HeldLock lock(library.portsLock);
        if (library.released) return;
        for (int i = 0; i < kMaxCameras; ++i)
            if (library.cameras[i] && library.cameras[i]->IsOpen())
                library.cameras[i]->SaveSettings(path.c_str());
    } catch (...) {
        // nothing may leave a host function
    }
}

void RebuildCameraTableForTesting() {
    Library& library = TheLibrary();
    library.Release();
    MessageHold hold;
    library.Build();
}

}  // namespace fennex::driver

using namespace fennex::driver;

extern "C" {

FENNEX_API int FENNEX_CALL setSystemPath(const char* path) {
    EnsureCameraTable();
    std::lock_guard<std::mutex> lock(g_systemPathLock);
    std::size_t n = 0;
    if (path)
        while (n < sizeof g_systemPath - 1 && path[n]) ++n;
    std::memcpy(g_systemPath, path ? path : "", n);
    g_systemPath[n] = '\0';
    return 1;
}

FENNEX_API void FENNEX_CALL setDebugMsgProc(DebugMsgProc proc) {
    SetDebugProcedure(proc);
    EnsureCameraTable();
}

FENNEX_API int FENNEX_CALL getCVLMaxNoOfGrabbers(void) {
    EnsureCameraTable();
    return 1;
}

FENNEX_API int FENNEX_CALL getCVLMaxNoOfPorts(void) {
    EnsureCameraTable();
    return kMaxPorts;
}

FENNEX_API int FENNEX_CALL getCVLNoOfSupportedCameras(void) { return TheLibrary().count; }

FENNEX_API const char** FENNEX_CALL getCVLCameraConfigNames(void) {
    return TheLibrary().names_.data();
}

FENNEX_API int FENNEX_CALL openCVLPort(int, int port, const char* cameraName, int* size) {
    try {
        Library& library = TheLibrary();
        if (port < 0 || port >= kMaxPorts || !cameraName) return 0;
        HeldLock lock(library.portsLock);
        if (library.released || library.ports[port].load(std::memory_order_acquire)) return 0;
        const int slot = FindCamera(cameraName);
        if (slot < 0) return 0;
        // The port is taken in one step before the device is touched: of processes racing for
        // it, the one that made the mutex wins. (This process holds none for a port it has not
        // open.) A mutex that cannot be made at all leaves the port unguarded, as before.
        char name[40];
        MutexName(port, name);
        fennex::platform::Handle mutex = fennex::platform::CreateNamedMutex(name);
        if (mutex && fennex::platform::LastError() == fennex::platform::err::kAlreadyExists) {
            fennex::platform::CloseNamedMutex(mutex);
            DebugPrint("%s is open by other process\n", cameraName);
            return 0;
        }
        library.mutexes[port] = mutex;
        GrabPort& grabPort = *library.cameras[slot];
        grabPort.Open(port);
        library.ports[port].store(&grabPort, std::memory_order_release);
        grabPort.RestoreSettings(SystemPath().c_str());
        // Buffers are made for the mode the file chose, once: the size told is that of the
        // frames to come.
        grabPort.FitToVideoMode();
        if (size) {
            size[0] = static_cast<int>(grabPort.Width());
            size[1] = static_cast<int>(grabPort.Height());
        }
        return 1;
    } catch (...) {
        return 0;
    }
}

FENNEX_API void FENNEX_CALL closeCVLPort(int, int port) {
    try {
        Library& library = TheLibrary();
        if (port < 0 || port >= kMaxPorts) return;
        GrabPort* grabPort = nullptr;
        {
            HeldLock lock(library.portsLock);
            grabPort = library.TakePortLocked(port);
        }
        if (grabPort) grabPort->Close(port);
    } catch (...) {
    }
}

FENNEX_API int FENNEX_CALL doCVLGrab(int, int port) {
    try {
        GrabPort* grabPort = PortOf(port);
        if (!grabPort) return 0;
        if (grabPort->Continuous()) return 1;  // the grab thread re-arms by itself
        return grabPort->Arm() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

FENNEX_API int FENNEX_CALL getCVLGrabRow(int, int port, unsigned char* dest, int row, int first,
                                         int last) {
    try {
        GrabPort* grabPort = PortOf(port);
        if (!grabPort) return 0;
        // The copy starts at the row's first pixel; the count is bounded by the end of the
        // frame, and a negative count copies nothing.
        const long long count = static_cast<long long>(last) - first + 1;
        const int n = count <= 0 ? 0 : count > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(count);
        // A close on another thread may overtake the look at the port table.
        return grabPort->GetRow(row, dest, n) == GrabPort::RowRead::Closed ? 0 : 1;
    } catch (...) {
        return 0;
    }
}

FENNEX_API int FENNEX_CALL setCompleteCallback(int, int port, CompleteCallback callback) {
    GrabPort* grabPort = PortOf(port);
    if (!grabPort) return 0;
    grabPort->SetCompleteCallback(callback);
    return 1;
}

FENNEX_API int FENNEX_CALL getPropertyRange(int, int port, const char* name, int* min, int* max) {
    try {
        GrabPort* grabPort = PortOf(port);
        if (!grabPort || !name) return 0;
        return grabPort->GetPropertyRange(name, min, max) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

FENNEX_API int FENNEX_CALL getProperty(int, int port, const char* name, int* value) {
    try {
        GrabPort* grabPort = PortOf(port);
        if (!grabPort || !name || !value) return 0;
        if (IsContinuousName(name)) {
            *value = grabPort->Continuous() ? 1 : 0;
            return 1;
        }
        return grabPort->GetProperty(name, value) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

FENNEX_API int FENNEX_CALL setProperty(int, int port, const char* name, int value) {
    try {
        GrabPort* grabPort = PortOf(port);
        if (!grabPort || !name) return 0;
        if (IsContinuousName(name)) return grabPort->SetContinuous(value != 0) ? 1 : 0;
        return grabPort->SetProperty(name, value) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

}  // extern "C"
