// Makes the root device of the test driver's bus, once per Wine prefix: its service "bcam"
// then serves it whenever the service starts. Exit 0 when the device exists or was made.
#include <windows.h>
#include <setupapi.h>
#include <devguid.h>

#include <cstdio>
#include <cstring>

namespace {

const char kHardwareId[] = "root\\fennexsimbus\0";

bool BusExists() {
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVCLASS_SYSTEM, "ROOT", nullptr, 0);
    if (set == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; !found && SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        char ids[256] = {};
        if (SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, nullptr,
                                              reinterpret_cast<BYTE*>(ids), sizeof ids - 2, nullptr))
            found = _stricmp(ids, kHardwareId) == 0;
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

}  // namespace

int main() {
    if (BusExists()) return 0;
    HDEVINFO set = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_SYSTEM, nullptr);
    if (set == INVALID_HANDLE_VALUE) return 1;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    const char service[] = "bcam";
    const bool ok =
        SetupDiCreateDeviceInfoA(set, "FennexSimBus", &GUID_DEVCLASS_SYSTEM, nullptr, nullptr,
                                 DICD_GENERATE_ID, &device) &&
        SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID,
                                          reinterpret_cast<const BYTE*>(kHardwareId), sizeof kHardwareId) &&
        SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_SERVICE,
                                          reinterpret_cast<const BYTE*>(service), sizeof service) &&
        SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device);
    if (!ok) std::fprintf(stderr, "installing the bus device failed: error %lu\n", GetLastError());
    SetupDiDestroyDeviceInfoList(set);
    return ok ? 0 : 1;
}
