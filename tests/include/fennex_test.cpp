// The public header alone is enough for a host: nothing else is included here.
#include "fixture.h"

#include <type_traits>

extern "C" int fennex_public_header_c_size(void);  // public_header_c.c: the header compiled as C

namespace fennex::test {
namespace {

template <class Declared, class Pointer>
constexpr bool Same = std::is_same_v<Declared, Pointer>;

// A host that looks the functions up by name casts them to these types; they must be the
// functions' own types, or the calls go wrong.
static_assert(Same<decltype(&setSystemPath), setSystemPathFn>);
static_assert(Same<decltype(&setDebugMsgProc), setDebugMsgProcFn>);
static_assert(Same<decltype(&configure), configureFn>);
static_assert(Same<decltype(&getCVLMaxNoOfGrabbers), getCVLMaxNoOfGrabbersFn>);
static_assert(Same<decltype(&getCVLMaxNoOfPorts), getCVLMaxNoOfPortsFn>);
static_assert(Same<decltype(&getCVLNoOfSupportedCameras), getCVLNoOfSupportedCamerasFn>);
static_assert(Same<decltype(&getCVLCameraConfigNames), getCVLCameraConfigNamesFn>);
static_assert(Same<decltype(&openCVLPort), openCVLPortFn>);
static_assert(Same<decltype(&closeCVLPort), closeCVLPortFn>);
static_assert(Same<decltype(&doCVLGrab), doCVLGrabFn>);
static_assert(Same<decltype(&getCVLGrabRow), getCVLGrabRowFn>);
static_assert(Same<decltype(&setCompleteCallback), setCompleteCallbackFn>);
static_assert(Same<decltype(&getPropertyRange), getPropertyRangeFn>);
static_assert(Same<decltype(&getProperty), getPropertyFn>);
static_assert(Same<decltype(&setProperty), setPropertyFn>);

TEST(PublicHeader, CompilesAsCWithTheSameTypes) {
    // The C unit reports the sum of sizes of the host types it saw.
    EXPECT_EQ(fennex_public_header_c_size(),
              static_cast<int>(sizeof(DebugMsgProc) + sizeof(CompleteCallback) + FENNEX_MAX_PORTS));
}

}  // namespace
}  // namespace fennex::test
