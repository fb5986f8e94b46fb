// Restores arbitrary bytes, written to a configuration file, into the simulator's default
// colour camera. Whatever the file holds, a restore ends normally or with a BcamException.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "bcam/cbcam.h"
#include "driver/backend_choice.h"
#include "errors/exception.h"
#include "sim/sim.h"

namespace {

std::string g_File;
Bcam::CBcam* g_pCamera = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("FENNEX_DRIVER", "sim", 1);
    setenv("FENNEX_SIM_PACE", "fast", 1);
    fennex::driver::ChooseBackendByEnvironment();
    g_File = (std::filesystem::temp_directory_path() /
              ("fennex-fuzz-" + std::to_string(::getpid()) + ".cfg"))
                 .string();
    static Bcam::CBcam camera;  // lives for the whole run
    sim::Reset();
    camera.Open(sim::CameraNames().at(1));
    g_pCamera = &camera;
    std::atexit([] { std::remove(g_File.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(g_File.c_str(), "wb");
    if (!file) return 0;
    if (size) std::fwrite(data, 1, size, file);
    std::fclose(file);
    try {
        g_pCamera->RestoreConfiguration(g_File);
    } catch (const Bcam::BcamException&) {
        // Refusing a bad file is the expected outcome.
    }
    return 0;
}
