// Restores arbitrary bytes, written to a configuration file, into the simulator's default
// colour camera. Whatever the file holds, a restore ends normally or with a BcamException.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "bcam/cbcam.h"
#include "driver/backend_choice.h"
#include "errors/exception.h"
#include "fuzz_support.h"
#include "sim/sim.h"

namespace {

std::string g_File;
Bcam::CBcam* g_pCamera = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("FENNEX_DRIVER", "sim", 1);
    setenv("FENNEX_SIM_PACE", "fast", 1);
    fennex::driver::ChooseBackendByEnvironment();
    g_File = fuzz::ScratchFile(".cfg");
    static Bcam::CBcam camera;  // lives for the whole run
    sim::Reset();
    // Reset() starts the request log for tests; here it would grow with every input, and an
    // input that leaves memory behind makes libFuzzer scan the whole heap for leaks each time.
    sim::RecordRequests(false);
    camera.Open(sim::CameraNames().at(1));
    g_pCamera = &camera;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!fuzz::WriteBytes(g_File, data, size)) return 0;
    try {
        g_pCamera->RestoreConfiguration(g_File);
    } catch (const Bcam::BcamException&) {
        // Refusing a bad file is the expected outcome.
    }
    return 0;
}
