// A CBcam opened on one of the simulator's built-in cameras, with the request log cleared, so
// that a test sees exactly the requests that its own calls sent.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bcam/cbcam.h"
#include "bcam/driver_contract.h"
#include "sim/sim.h"

namespace fennex_test {

// Built-in cameras: 0 the mono camera, 1 the colour camera (white balance, Format 7, polarity).
inline constexpr int kMonoCamera = 0;
inline constexpr int kColourCamera = 1;

inline void OpenSimCamera(Bcam::CBcam& camera, std::string& name, int index) {
    sim::Reset();
    sim::SetPace(sim::Pace::Fast);
    name = sim::CameraNames().at(index);
    camera.Open(name);
    sim::ClearRequests();
}

// The requests a camera has received since the log was last cleared, as {code, words...}.
inline std::vector<std::vector<std::uint32_t>> SentTo(const std::string& name) {
    std::vector<std::vector<std::uint32_t>> sent;
    for (const sim::Request& r : sim::Requests()) {
        if (r.camera != name) continue;
        std::vector<std::uint32_t> words{r.code};
        words.insert(words.end(), r.in.begin(), r.in.end());
        sent.push_back(words);
    }
    return sent;
}

// Only the requests of one control code, without the code itself.
inline std::vector<std::vector<std::uint32_t>> SentTo(const std::string& name, std::uint32_t code) {
    std::vector<std::vector<std::uint32_t>> sent;
    for (const sim::Request& r : sim::Requests(code, name)) sent.push_back(r.in);
    return sent;
}

// The next request of this control code fails with `error`.
inline void FailNext(std::uint32_t code, std::uint32_t error = 31) {
    sim::InjectFault(sim::Fault(code, error));
}

template <class Param = int>
class SimCameraTest : public testing::TestWithParam<Param> {
protected:
    void Open(int index) { OpenSimCamera(camera_, name_, index); }
    void TearDown() override { camera_.Close(); }

    void EditFeature(std::uint32_t code, std::uint32_t inquiry, std::uint32_t control) {
        sim::EditCamera(name_, [&](sim::CameraDesc& d) {
            d.feature(code).inquiry = inquiry;
            d.feature(code).control = control;
        });
    }
    sim::Feature Feature(std::uint32_t code) { return sim::Camera(name_).feature(code); }

    Bcam::CBcam camera_;
    std::string name_;
};

}  // namespace fennex_test
