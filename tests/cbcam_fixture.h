// Shared set-up of the device-object tests: the built-in simulated cameras, fast frames.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "bcam/cbcam.h"
#include "errors/driver_version_check.h"
#include "errors/exception.h"
#include "sim/sim.h"

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

// The code and context of what `call` raises; code 0 when it raises nothing.
struct Raised {
    std::uint32_t code = 0;
    std::string context;
    std::string description;
};

inline Raised RaisedBy(const std::function<void()>& call) {
    try {
        call();
    } catch (const Bcam::BcamException& e) {
        return {e.Error(), e.Context(), e.Description()};
    }
    return {};
}

}  // namespace fennex::test
