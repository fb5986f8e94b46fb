// Every test on the simulated cameras starts from the built-in two, paced as fast as possible.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bcam/cbcam.h"
#include "bcam/driver_contract.h"
#include "errors/driver_version_check.h"
#include "platform/last_error.h"
#include "sim/sim.h"

namespace simtest {

inline const std::string kMono = "MONO&SIM640#0030530000A10001";
inline const std::string kColour = "COLR&SIM1600#0030530000A20002";

class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        sim::SetPace(sim::Pace::Fast);
        // An earlier test's successful check must not hide this test's driver release.
        Bcam::CDriverVersionCheck::ResetCache();
    }
    void TearDown() override { sim::Reset(); }
};

// One request through the device object, as the feature classes send theirs: the driver's
// error (0 on success).
inline std::uint32_t Send(Bcam::CBcam& camera, std::uint32_t code, const std::vector<std::uint32_t>& in,
                          void* out = nullptr, std::uint32_t outSize = 0) {
    const auto inSize = static_cast<std::uint32_t>(in.size() * 4);
    return camera.TryTransmit(code, in.data(), inSize, out, outSize, 5000) ? 0
                                                                          : fennex::platform::LastError();
}

}  // namespace simtest
