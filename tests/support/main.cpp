#include <gtest/gtest.h>

#include <cstdlib>

#include "driver/backend_choice.h"

int main(int argc, char** argv) {
    // The suite runs on the simulated cameras everywhere, also as a Windows build under Wine
    // (where the default backend is the kernel driver), and so do the programs it starts.
    if (!std::getenv("FENNEX_DRIVER")) {
#ifdef _WIN32
        _putenv_s("FENNEX_DRIVER", "sim");
#else
        setenv("FENNEX_DRIVER", "sim", 0);
#endif
    }
    fennex::driver::ChooseBackendByEnvironment();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
