// Which driver backend the library runs on: the choice belongs to the layer that composes the
// library, so that the class library depends on the backend interface alone.
#pragma once

#include <string>

#include "bcam/driver_backend.h"

namespace fennex::driver {

// The backend a FENNEX_DRIVER value names ("sim", "kernel"; empty: the platform's default,
// "kernel" on Windows and "sim" elsewhere). Anything else raises BcamException 0x80070057
// with a context naming variable and value.
Bcam::DriverBackend& BackendNamed(const std::string& value);

// Makes FENNEX_DRIVER, read on first use, the class library's choice of backend. Every program
// that uses the class library calls this before its first camera call.
void ChooseBackendByEnvironment();

}  // namespace fennex::driver
