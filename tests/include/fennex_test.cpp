// The public header alone is enough for a host: nothing else of ours is needed to call it.
#include <gtest/gtest.h>

#include <type_traits>

#include "fennex/fennex.h"

extern "C" int fennex_public_header_c_size(void);  // fennex_c.c: the header compiled as C

// A host that looks the functions up by name casts them to these types; they must be the
// functions' own types, or the calls go wrong.
#define FENNEX_SAME_TYPE(function) \
    static_assert(std::is_same_v<decltype(&function), function##Fn>, #function)
FENNEX_SAME_TYPE(setSystemPath);
FENNEX_SAME_TYPE(setDebugMsgProc);
FENNEX_SAME_TYPE(configure);
FENNEX_SAME_TYPE(getCVLMaxNoOfGrabbers);
FENNEX_SAME_TYPE(getCVLMaxNoOfPorts);
FENNEX_SAME_TYPE(getCVLNoOfSupportedCameras);
FENNEX_SAME_TYPE(getCVLCameraConfigNames);
FENNEX_SAME_TYPE(openCVLPort);
FENNEX_SAME_TYPE(closeCVLPort);
FENNEX_SAME_TYPE(doCVLGrab);
FENNEX_SAME_TYPE(getCVLGrabRow);
FENNEX_SAME_TYPE(setCompleteCallback);
FENNEX_SAME_TYPE(getPropertyRange);
FENNEX_SAME_TYPE(getProperty);
FENNEX_SAME_TYPE(setProperty);

namespace fennex::test {
namespace {

TEST(PublicHeader, CompilesAsCWithTheSameTypes) {
    EXPECT_EQ(fennex_public_header_c_size(),
              static_cast<int>(sizeof(DebugMsgProc) + sizeof(CompleteCallback) + FENNEX_MAX_PORTS));
}

}  // namespace
}  // namespace fennex::test
