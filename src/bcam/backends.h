// The driver backends that the class library itself provides.
#pragma once

#include "bcam/driver_backend.h"

namespace Bcam {

#ifdef _WIN32
// The bcam kernel driver: SetupAPI, overlapped device I/O, completion ports, device
// notifications, the service's registry entry and the driver file's version resource.
DriverBackend& KernelBackend();
#endif

}  // namespace Bcam
