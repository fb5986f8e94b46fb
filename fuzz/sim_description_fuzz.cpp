// Reads arbitrary bytes as a simulator camera description. Whatever the file holds, reading it
// ends with a description or with a BcamException.
#include "fuzz_support.h"
#include "sim/description.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::ReadAsFile(fuzz::ScratchFile(".ini"), data, size,
                            [](const std::string& file) { sim::detail::ReadDescription(file); });
}
