// Small helpers shared by the test files.
#pragma once

#include <cstdlib>

namespace fennex::test {

// True when the Windows build runs under Wine (Wine sets WINECONFIGDIR in every process it
// starts). Used only where Wine is known to answer differently from Windows.
inline bool RunningUnderWine() {
#ifdef _WIN32
    return std::getenv("WINECONFIGDIR") != nullptr;
#else
    return false;
#endif
}

}  // namespace fennex::test
