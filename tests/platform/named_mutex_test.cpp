#include <random>

#include "fixture.h"
#include "platform/named_mutex.h"

namespace fennex::test {
namespace {

using namespace fennex::platform;

// A name exists exactly while some handle to it is open: creating it again opens it and says
// so with 183. "Local\" names the same namespace as no prefix.
TEST(PlatformNamedMutex, ExistsExactlyWhileAHandleIsHeld) {
    std::random_device random;
    const std::string tag = std::to_string(random()) + std::to_string(random());
    const struct {
        std::string first, second;
    } cases[] = {
        {"QUENTARO AS : MUXNAME MUX.0." + tag, "QUENTARO AS : MUXNAME MUX.0." + tag},  // as the ports
        {"long" + tag + std::string(230, 'x'), "long" + tag + std::string(230, 'x')},
        {"Local\\local" + tag, "local" + tag},
        {"plain" + tag, "Local\\plain" + tag},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        Handle created = CreateNamedMutex(c.first.c_str());
        ASSERT_NE(created, nullptr);
        EXPECT_EQ(LastError(), err::kSuccess);
        Handle second = CreateNamedMutex(c.second.c_str());
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(LastError(), err::kAlreadyExists);
        EXPECT_TRUE(CloseNamedMutex(created));
        Handle third = CreateNamedMutex(c.first.c_str());
        EXPECT_EQ(LastError(), err::kAlreadyExists) << "one handle left";
        EXPECT_TRUE(CloseNamedMutex(third));
        EXPECT_TRUE(CloseNamedMutex(second));
        Handle again = CreateNamedMutex(c.second.c_str());
        EXPECT_EQ(LastError(), err::kSuccess) << "no handle left";
        EXPECT_TRUE(CloseNamedMutex(again));
    }
}

}  // namespace
}  // namespace fennex::test
