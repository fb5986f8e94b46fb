// Shared set-up of the device-object tests: the built-in simulated cameras, fast frames.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "bcam/cbcam.h"
#include "sim/sim.h"
#include "sim_support.h"
#include "test_support.h"

namespace fennex::test {

// The built-in cameras by name, and the request records in use when the test began.
class SimCameras : public simtest::SimTest {
protected:
    void SetUp() override {
        simtest::SimTest::SetUp();
        const auto cameras = sim::DefaultCameras();
        mono = cameras.at(0).name;
        colour = cameras.at(1).name;
        recordsBefore = Bcam::CBcam::BcamOLsInUse();
    }

    // Records made during the test and not released again.
    std::int64_t RecordsLeft() const { return Bcam::CBcam::BcamOLsInUse() - recordsBefore; }

    std::string mono;
    std::string colour;
    std::int64_t recordsBefore = 0;
};

}  // namespace fennex::test
