#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/last_error.h"
#include "platform/named_mutex.h"
#include "platform/win32_errors.h"

namespace fennex::test {
namespace {

using namespace fennex::platform;

bool Exists(const std::string& name) {
    Handle h = OpenNamedMutex(name.c_str());
    if (!h) return false;
    CloseNamedMutex(h);
    return true;
}

TEST(PlatformNamedMutex, ExistsExactlyWhileAHandleIsHeld) {
    std::random_device random;
    const std::string tag = std::to_string(random()) + std::to_string(random());
    const std::vector<std::string> names = {
        "QUENTARO AS : MUXNAME MUX.0." + tag,  // spaces, colon and dots, as the ports use
        "long" + tag + std::string(230, 'x'),  // longer than a file name may be
    };
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        SetLastError(0);
        EXPECT_EQ(OpenNamedMutex(name.c_str()), nullptr);
        EXPECT_EQ(LastError(), err::kFileNotFound);

        Handle created = CreateNamedMutex(name.c_str());
        ASSERT_NE(created, nullptr);
        Handle second = CreateNamedMutex(name.c_str());  // opens the existing one
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(LastError(), err::kAlreadyExists);

        EXPECT_TRUE(CloseNamedMutex(created));
        EXPECT_TRUE(Exists(name)) << "one handle left";
        EXPECT_TRUE(CloseNamedMutex(second));
        EXPECT_FALSE(Exists(name));
    }
}

}  // namespace
}  // namespace fennex::test
