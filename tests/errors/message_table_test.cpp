// The message table: every code the library raises has a text, and the texts the message
// module returns are exactly those of BcamError.mc (natively the built-in table; under Wine the
// DLL that windmc made from the same file).
#include "fixture.h"

#include "platform/message.h"
#include "platform/message_inserts.h"

namespace fennex::test {
namespace {

struct TableEntry {
    std::uint32_t code;
    const char* text;
};

constexpr TableEntry kTable[] = {
#include "bcam_error_table.inc"
};

TEST(BcamErrorTable, EveryRaisedCodeHasAText) {
    using namespace codes;
    for (std::uint32_t code :
         {kSystemCallFailed, kClientWhileOpen, kUnregisterWhileOpen, kDeviceNotOpen, kBadInquiry,
          kBadVideoFormat, kBadVideoMode, kBadColorMode, kBadColorCoding, kTestImageUnavailable,
          kSectionExists, kSectionMissing, kKeyMissing, kBadValueText, kWrongModel, kAlreadyOpen,
          kWrongDriverRelease, kDriverNoTestImage, kDriverNotSupported, kDriverNoTestImage | kCustomerBit,
          kDriverNotSupported | kCustomerBit, kInvalidArg, kOutOfMemory, kNotImplemented, 82u})
        EXPECT_NE(Bcam::BcamException(code, "ctx").Description(), "<no message found>") << std::hex << code;
}

// A text that the merge refuses would show its insert marks to the user forever.
TEST(BcamErrorTable, ModuleReturnsEachTextOfTheMcFileAndEachMerges) {
    // Numbers and strings alike: numeric inserts print the pointer value, which is harmless.
    const char* const values[] = {"1", "2"};
    const std::uintptr_t args[] = {reinterpret_cast<std::uintptr_t>(values[0]),
                                   reinterpret_cast<std::uintptr_t>(values[1])};
    for (const TableEntry& entry : kTable) {
        std::string text, merged;
        EXPECT_TRUE(fennex::platform::MessageFromModule("BcamError.dll", entry.code, text)) << entry.text;
        EXPECT_EQ(text, entry.text);
        EXPECT_TRUE(fennex::platform::MergeInserts(entry.text, args, 2, merged)) << entry.text;
    }
}

}  // namespace
}  // namespace fennex::test
