// Restores arbitrary bytes, written to a configuration file, into the simulator's default
// colour camera. Whatever the file holds, a restore ends normally or with a BcamException.
#include "bcam/cbcam.h"
#include "driver/backend_choice.h"
#include "fuzz_support.h"
#include "sim/sim.h"

namespace {
Bcam::CBcam* g_pCamera = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("FENNEX_DRIVER", "sim", 1);
    setenv("FENNEX_SIM_PACE", "fast", 1);
    fennex::driver::ChooseBackendByEnvironment();
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
    return fuzz::ReadAsFile(fuzz::ScratchFile(".cfg"), data, size,
                            [](const std::string& file) { g_pCamera->RestoreConfiguration(file); });
}
