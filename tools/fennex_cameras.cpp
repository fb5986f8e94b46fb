// fennex-cameras: lists the cameras of the chosen driver backend (FENNEX_DRIVER), with their
// device name, interface path, vendor and model.
#include <cstdint>
#include <cstdio>
#include <string>

#include "bcam/driver_backend.h"
#include "bcam/driver_contract.h"
#include "bcam/enumeration.h"
#include "driver/backend_choice.h"
#include "errors/exception.h"
#include "platform/last_error.h"
#include "platform/sync.h"

namespace {

namespace pf = fennex::platform;

// One camera string, read as a synchronous request; empty when the camera does not answer.
std::string CameraString(Bcam::DriverBackend& backend, pf::Handle device, std::uint32_t selector) {
    pf::Event done(true, false);
    if (!done.Valid()) return {};
    pf::Overlapped ov{};
    ov.hEvent = reinterpret_cast<pf::Handle>(reinterpret_cast<std::uintptr_t>(done.Native()) | 1);
    char text[Bcam::driver::kCameraStringSize] = {};
    if (!backend.IoControl(device, Bcam::driver::kCameraString, &selector, sizeof selector, text,
                           sizeof text, &ov) &&
        pf::LastError() != 997)
        return {};
    if (done.Wait(2000) != pf::WaitResult::Signaled) {
        backend.CancelIo(device);
        done.Wait(2000);
        return {};
    }
    std::uint32_t bytes = 0;
    if (!backend.OverlappedResult(device, &ov, &bytes, false)) return {};
    text[sizeof text - 1] = '\0';
    return text;
}

}  // namespace

int main() {
    try {
        fennex::driver::ChooseBackendByEnvironment();
        Bcam::DriverBackend& backend = Bcam::Backend();
        const auto names = Bcam::CBcamDevMgr::DeviceNames(backend);
        std::printf("%zu camera(s)\n", names.size());
        for (const std::string& name : names) {
            const std::string path = Bcam::DevicePathFromName(name);
            std::string vendor = "?", model = "?";
            const pf::Handle device = backend.OpenDevice(path);
            if (pf::IsValidHandle(device)) {
                vendor = CameraString(backend, device, Bcam::driver::kStringVendor);
                model = CameraString(backend, device, Bcam::driver::kStringModel);
                backend.CloseDevice(device);
            } else {
                vendor = "(cannot open: error " + std::to_string(pf::LastError()) + ")";
                model.clear();
            }
            std::printf("%s\n  path:   %s\n  vendor: %s\n  model:  %s\n", name.c_str(),
                        path.c_str(), vendor.c_str(), model.c_str());
        }
        return 0;
    } catch (const Bcam::BcamException& e) {
        std::fprintf(stderr, "fennex-cameras: 0x%08X %s (%s)\n", static_cast<unsigned>(e.Error()),
                     e.Description().c_str(), e.Context().c_str());
        return 1;
    }
}
