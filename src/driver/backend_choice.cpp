#include "driver/backend_choice.h"

#include <cstdlib>

#include "bcam/backends.h"
#include "errors/error_codes.h"
#include "errors/exception.h"
#include "sim/sim.h"

namespace fennex::driver {

Bcam::DriverBackend& BackendNamed(const std::string& value) {
#ifdef _WIN32
    const std::string name = value.empty() ? "kernel" : value;
    if (name == "kernel") return Bcam::KernelBackend();
    const char* expected = "expected \"sim\" or \"kernel\"";
#else
    const std::string name = value.empty() ? "sim" : value;
    const char* expected = "expected \"sim\" (there is no kernel driver on this system)";
#endif
    if (name == "sim") return sim::Driver();
    throw Bcam::BcamException(Bcam::codes::kInvalidArg, "FENNEX_DRIVER=" + name + ": " + expected);
}

void ChooseBackendByEnvironment() {
    Bcam::SetBackendChooser([]() -> Bcam::DriverBackend& {
        const char* value = std::getenv("FENNEX_DRIVER");
        return BackendNamed(value ? value : "");
    });
}

}  // namespace fennex::driver
