// Shared set-up of the device-object tests: the built-in simulated cameras, fast frames.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "bcam/cbcam.h"
#include "errors/driver_version_check.h"
#include "errors/exception.h"
#include "sim/sim.h"
#include "test_support.h"

namespace fennex::test {

class SimCameras : public testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        sim::SetPace(sim::Pace::Fast);
        Bcam::CDriverVersionCheck::ResetCache();
        const auto cameras = sim::DefaultCameras();
        mono = cameras.at(0).name;
        colour = cameras.at(1).name;
        recordsBefore = Bcam::CBcam::BcamOLsInUse();
    }
    void TearDown() override {
        sim::ClearFaults();
        sim::Reset();
    }

    // Records made during the test and not released again.
    std::int64_t RecordsLeft() const { return Bcam::CBcam::BcamOLsInUse() - recordsBefore; }

    std::string mono;
    std::string colour;
    std::int64_t recordsBefore = 0;
};

}  // namespace fennex::test
