#include "driver/backend_choice.h"
#include "fixture.h"

int main(int argc, char** argv) {
    // The suite runs on the simulated cameras everywhere, also as a Windows build under Wine
    // (where the default backend is the kernel driver), and so do the programs it starts.
    if (!std::getenv("FENNEX_DRIVER")) fennex::test::SetEnvironment("FENNEX_DRIVER", "sim");
    fennex::driver::ChooseBackendByEnvironment();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
