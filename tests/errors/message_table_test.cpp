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

class RaisedCodeTest : public testing::TestWithParam<std::uint32_t> {};

TEST_P(RaisedCodeTest, HasAText) {
    Bcam::BcamException e(GetParam(), "ctx");
    EXPECT_NE(e.Description(), "<no message found>") << std::hex << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    LibraryAndDriverCodes, RaisedCodeTest,
    testing::Values(codes::kSystemCallFailed, codes::kClientWhileOpen,
                    codes::kUnregisterWhileOpen, codes::kDeviceNotOpen, codes::kBadInquiry,
                    codes::kBadVideoFormat, codes::kBadVideoMode, codes::kBadColorMode,
                    codes::kBadColorCoding, codes::kTestImageUnavailable, codes::kSectionExists,
                    codes::kSectionMissing, codes::kKeyMissing, codes::kBadValueText,
                    codes::kWrongModel, codes::kAlreadyOpen, codes::kWrongDriverRelease,
                    codes::kDriverNoTestImage, codes::kDriverNotSupported,
                    codes::kDriverNoTestImage | codes::kCustomerBit,
                    codes::kDriverNotSupported | codes::kCustomerBit, codes::kInvalidArg,
                    codes::kOutOfMemory, codes::kNotImplemented, 82u));

class ModuleTextTest : public testing::TestWithParam<TableEntry> {};

TEST_P(ModuleTextTest, ModuleReturnsTheTableText) {
    std::string text;
    ASSERT_TRUE(fennex::platform::MessageFromModule("BcamError.dll", GetParam().code, text));
    EXPECT_EQ(text, GetParam().text);
}

// A text that the merge refuses would show its insert marks to the user forever.
TEST_P(ModuleTextTest, TextMergesWithTwoArguments) {
    std::vector<fennex::platform::MessagePiece> pieces;
    ASSERT_TRUE(fennex::platform::ParseMessageText(GetParam().text, pieces)) << GetParam().text;
    const char* first = "1";
    const char* second = "2";
    // Numbers and strings alike: numeric inserts print the pointer value, which is harmless.
    std::uintptr_t args[] = {reinterpret_cast<std::uintptr_t>(first),
                             reinterpret_cast<std::uintptr_t>(second)};
    std::string merged;
    EXPECT_TRUE(fennex::platform::MergeInserts(GetParam().text, args, 2, merged)) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(BcamErrorMc, ModuleTextTest, testing::ValuesIn(kTable),
                         [](const testing::TestParamInfo<TableEntry>& info) {
                             char name[16];
                             std::snprintf(name, sizeof name, "Code%08X",
                                           static_cast<unsigned>(info.param.code));
                             return std::string(name);
                         });

}  // namespace
}  // namespace fennex::test
