// Reads arbitrary bytes as a simulator camera description. Whatever the file holds, reading it
// ends with a description or with a BcamException.
#include <cstddef>
#include <cstdint>
#include <string>

#include "errors/exception.h"
#include "fuzz_support.h"
#include "sim/description.h"

namespace {
std::string g_File;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_File = fuzz::ScratchFile(".ini");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!fuzz::WriteBytes(g_File, data, size)) return 0;
    try {
        sim::detail::ReadDescription(g_File);
    } catch (const Bcam::BcamException&) {
        // A bad description is refused: the expected outcome.
    }
    return 0;
}
