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
    const std::string port = "QUENTARO AS : MUXNAME MUX.0." + tag;  // as the ports name theirs
    const std::string longName = "long" + tag + std::string(230, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {port, port},
        {longName, longName},
        {"Local\\local" + tag, "local" + tag},
        {"plain" + tag, "Local\\plain" + tag},
    };
    for (const auto& [first, second] : cases) {
        SCOPED_TRACE(first);
        auto create = [](const std::string& name, std::uint32_t error) {
            Handle handle = CreateNamedMutex(name.c_str());
            EXPECT_NE(handle, nullptr);
            EXPECT_EQ(LastError(), error);
            return handle;
        };
        Handle created = create(first, err::kSuccess);
        Handle again = create(second, err::kAlreadyExists);
        EXPECT_TRUE(CloseNamedMutex(created));
        EXPECT_TRUE(CloseNamedMutex(create(first, err::kAlreadyExists)));  // one handle left
        EXPECT_TRUE(CloseNamedMutex(again));
        EXPECT_TRUE(CloseNamedMutex(create(second, err::kSuccess)));  // none left
    }
}

}  // namespace
}  // namespace fennex::test
