// The kernel-driver backend (Windows only): SetupAPI, overlapped device I/O, completion ports,
// device notifications, the service registry entry and the driver file's version resource.
#pragma once

#include "bcam/driver_backend.h"

namespace Bcam {

#ifdef _WIN32
DriverBackend& KernelBackend();
#endif

}  // namespace Bcam
