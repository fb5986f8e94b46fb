// The two driver backends and the choice between them.
#pragma once

#include <string>

#include "bcam/driver_backend.h"

namespace Bcam {

#ifdef _WIN32
// The bcam kernel driver: SetupAPI, overlapped device I/O, completion ports, device
// notifications, the service's registry entry and the driver file's version resource.
DriverBackend& KernelBackend();
#endif

// The backend a FENNEX_DRIVER value names ("sim", "kernel"; empty: the platform's default).
// Anything else raises BcamException 0x80070057 with a context naming variable and value.
DriverBackend& BackendNamed(const std::string& value);

}  // namespace Bcam
