// A CBcam opened on one of the simulator's built-in cameras, and the table tests that every
// feature family fills with its own rows: requests sent, quadlets decoded, failures raised,
// and the keys that Save and Restore touch. The TEST_Ps live in feature_tables_test.cpp.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bcam/cbcam.h"
#include "bcam/driver_contract.h"
#include "settings_test_support.h"
#include "sim/sim.h"

namespace fennex_test {

// Built-in cameras: 0 the mono camera, 1 the colour camera (white balance, Format 7, polarity).
inline constexpr int kMonoCamera = 0;
inline constexpr int kColourCamera = 1;

using Words = std::vector<std::uint32_t>;
using Setup = std::function<void(sim::CameraDesc&)>;
using Call = std::function<void(Bcam::CBcam&)>;

inline void OpenSimCamera(Bcam::CBcam& camera, std::string& name, int index) {
    sim::Reset();
    sim::SetPace(sim::Pace::Fast);
    name = sim::CameraNames().at(index);
    camera.Open(name);
    sim::ClearRequests();
}

// The requests a camera has received since the log was last cleared, as {code, words...}.
inline std::vector<Words> SentTo(const std::string& name) {
    std::vector<Words> sent;
    for (const sim::Request& r : sim::Requests()) {
        if (r.camera != name) continue;
        Words words{r.code};
        words.insert(words.end(), r.in.begin(), r.in.end());
        sent.push_back(words);
    }
    return sent;
}

// Only the requests of one control code, without the code itself.
inline std::vector<Words> SentTo(const std::string& name, std::uint32_t code) {
    std::vector<Words> sent;
    for (const sim::Request& r : sim::Requests(code, name)) sent.push_back(r.in);
    return sent;
}

// Only the requests that change the camera.
inline std::vector<Words> WritesTo(const std::string& name) {
    namespace drv = Bcam::driver;
    std::vector<Words> writes;
    for (const Words& w : SentTo(name))
        if (w[0] == drv::kFeatureSet || w[0] == drv::kTestImageSet || w[0] == drv::kSetVideoMode ||
            w[0] == drv::kF7ImageSet || w[0] == drv::kF7ColorCodingSet ||
            w[0] == drv::kF7BytePerPacketSet)
            writes.push_back(w);
    return writes;
}

inline Words FeatureSet(std::uint32_t feature, std::uint32_t quadlet, std::uint32_t mask) {
    return {Bcam::driver::kFeatureSet, feature, quadlet, mask};
}

// The next request of this control code fails with `error`.
inline void FailNext(std::uint32_t code, std::uint32_t error = 31) {
    sim::InjectFault(sim::Fault(code, error));
}

// A feature's registers: its inquiry quadlet and its status/control quadlet.
inline Setup Registers(std::uint32_t feature, std::uint32_t inquiry, std::uint32_t control) {
    return [=](sim::CameraDesc& d) { d.feature(feature) = {inquiry, control}; };
}

template <class Param = int>
class SimCameraTest : public testing::TestWithParam<Param> {
protected:
    void Open(int index, const Setup& setup = {}) {
        OpenSimCamera(camera_, name_, index);
        if (setup) sim::EditCamera(name_, setup);
        sim::ClearRequests();
    }
    void TearDown() override { camera_.Close(); }

    Bcam::CBcam camera_;
    std::string name_;
};

// --- the shared tables (every row runs on the colour camera after its setup)

// A call sends exactly these requests.
struct RequestRow {
    const char* name;
    Setup setup;
    Call call;
    std::vector<Words> sent;
};
class RequestTable : public SimCameraTest<RequestRow> {};

// A read returns this value from the registers as set up.
struct ReadRow {
    const char* name;
    Setup setup;
    std::function<std::uint32_t(Bcam::CBcam&)> read;
    std::uint32_t expected;
};
class ReadTable : public SimCameraTest<ReadRow> {};

// A call raises this code with this context; `fault` (0: none) is a control code whose next
// request fails with 31. `sent` is the number of requests that went out before (-1: any).
struct FailureRow {
    const char* name;
    std::uint32_t fault;
    Call call;
    std::uint32_t error;
    const char* context;
    int sent = -1;
};
class FailureTable : public SimCameraTest<FailureRow> {};

// Save into an empty bag logs `saveLog` (and ends with `saveError`); Restore from `stored`
// (when given, else from what Save wrote) into the camera after `beforeRestore` logs
// `restoreLog`, sends the writes `restoreWrites` and ends with `restoreError`.
struct PersistRow {
    const char* name;
    Setup setup;
    std::vector<std::string> saveLog;
    std::uint32_t saveError;
    std::map<std::string, std::string> stored;
    std::vector<std::string> restoreLog;
    std::vector<Words> restoreWrites;
    std::uint32_t restoreError;
};
using Persist = std::function<void(Bcam::CBcam&, Bcam::CPropertyBagPtr)>;
struct PersistCase {
    PersistRow row;
    Persist save, restore;
    Setup beforeRestore;
};
class PersistTable : public SimCameraTest<PersistCase> {};

// Rows of one feature family: the same Save/Restore pair for each row.
inline std::vector<PersistCase> PersistRows(Persist save, Persist restore, Setup beforeRestore,
                                            std::vector<PersistRow> rows) {
    std::vector<PersistCase> cases;
    for (PersistRow& row : rows) cases.push_back({std::move(row), save, restore, beforeRestore});
    return cases;
}

struct RowName {
    template <class Info>
    std::string operator()(const Info& info) const {
        if constexpr (requires { info.param.row; }) return info.param.row.name;
        else return info.param.name;
    }
};

}  // namespace fennex_test
