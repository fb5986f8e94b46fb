// Prints the message texts that Bcam::BcamException finds for error codes: a few typical ones,
// or the codes given on the command line (hexadecimal with 0x, or decimal).
//
//   fennex-messages                 the library's own codes, a driver status, Win32 errors
//   fennex-messages 0xEFE00019 2    just these
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "errors/error_codes.h"
#include "errors/exception.h"

namespace {

void Print(const Bcam::BcamException& e, std::uint32_t raised) {
    std::string text = e.Description();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (raised != e.Error())
        std::printf("0x%08X -> 0x%08X  %s\n", static_cast<unsigned>(raised),
                    static_cast<unsigned>(e.Error()), text.c_str());
    else
        std::printf("0x%08X  %s\n", static_cast<unsigned>(raised), text.c_str());
}

bool ParseCode(const char* text, std::uint32_t& code) {
    errno = 0;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || text[0] == '-' || value > 0xFFFFFFFFull)
        return false;
    code = static_cast<std::uint32_t>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    namespace codes = Bcam::codes;
    std::vector<std::uint32_t> requested;
    for (int i = 1; i < argc; ++i) {
        std::uint32_t code = 0;
        if (!ParseCode(argv[i], code)) {
            std::fprintf(stderr, "fennex-messages: '%s' is not a 32-bit error code\n", argv[i]);
            return 2;
        }
        requested.push_back(code);
    }
    if (!requested.empty()) {
        for (std::uint32_t code : requested) Print(Bcam::BcamException(code, ""), code);
        return 0;
    }

    std::printf("Message module: %s\n\n", Bcam::MessageModuleName().c_str());
    const std::uint32_t plain[] = {codes::kDeviceNotOpen, codes::kSectionMissing,
                                   codes::kWrongModel, codes::kAlreadyOpen};
    for (std::uint32_t code : plain) Print(Bcam::BcamException(code, ""), code);
    Print(Bcam::BcamException(codes::kBadVideoMode, "", {9}), codes::kBadVideoMode);
    const char* required = "1.6";
    const char* found = "2.6";
    Print(Bcam::BcamException(codes::kWrongDriverRelease, "",
                              {reinterpret_cast<std::uintptr_t>(required),
                               reinterpret_cast<std::uintptr_t>(found)}),
          codes::kWrongDriverRelease);
    // Driver status codes arrive with the customer bit set.
    const std::uint32_t driver = codes::kDriverNotSupported | codes::kCustomerBit;
    Print(Bcam::BcamException(driver, ""), driver);
    const std::uint32_t system[] = {2u, 121u, codes::kInvalidArg, 0x1234ABCDu};
    for (std::uint32_t code : system) Print(Bcam::BcamException(code, ""), code);
    return 0;
}
