// The choice of the process's driver backend.
#include "bcam/driver_backend.h"

#include <cstdlib>
#include <string>

#include "bcam/backends.h"
#include "errors/error_codes.h"
#include "errors/exception.h"
#include "sim/sim.h"

namespace Bcam {

DriverBackend& BackendNamed(const std::string& value) {
#ifdef _WIN32
    const std::string name = value.empty() ? "kernel" : value;
    if (name == "kernel") return KernelBackend();
#else
    const std::string name = value.empty() ? "sim" : value;
#endif
    if (name == "sim") return sim::Driver();
#ifdef _WIN32
    const char* expected = "expected \"sim\" or \"kernel\"";
#else
    const char* expected = "expected \"sim\" (there is no kernel driver on this system)";
#endif
    throw BcamException(codes::kInvalidArg, "FENNEX_DRIVER=" + name + ": " + expected);
}

DriverBackend& Backend() {
    // Chosen once; a failed choice (a bad value, a bad camera description) is raised again on
    // every call rather than remembered.
    static DriverBackend& backend = [] () -> DriverBackend& {
        const char* value = std::getenv("FENNEX_DRIVER");
        return BackendNamed(value ? value : "");
    }();
    return backend;
}

}  // namespace Bcam
