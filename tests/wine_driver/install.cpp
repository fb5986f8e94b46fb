// Makes the root device of the test driver's bus, once per Wine prefix: its service "bcam"
// then serves it whenever the service starts. Exit 0 when the device exists or was made.
#include <windows.h>
#include <setupapi.h>
#include <devguid.h>

#include <cstdio>

int main() {
    HDEVINFO set = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_SYSTEM, nullptr);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    const char hardwareId[] = "root\\fennexsimbus\0", service[] = "bcam";
    // A fixed instance: made in an earlier run, the prefix still has it.
    const bool made = SetupDiCreateDeviceInfoA(set, "ROOT\\FENNEXSIMBUS\\0000",
                                               &GUID_DEVCLASS_SYSTEM, nullptr, nullptr, 0, &device);
    if (!made && GetLastError() == ERROR_DEVINST_ALREADY_EXISTS) return 0;
    const bool ok =
        made &&
        SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID,
                                          reinterpret_cast<const BYTE*>(hardwareId),
                                          sizeof hardwareId) &&
        SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_SERVICE,
                                          reinterpret_cast<const BYTE*>(service), sizeof service) &&
        SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device);
    if (!ok) std::fprintf(stderr, "installing the bus device failed: error %lu\n", GetLastError());
    SetupDiDestroyDeviceInfoList(set);
    return ok ? 0 : 1;
}
