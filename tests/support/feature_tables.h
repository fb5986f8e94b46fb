// The two table tests that every feature family fills with its own rows, on the colour camera:
// what a call returns, sends or raises, and the keys that Save and Restore touch.
// The TEST_Ps live in feature_tables.cpp.
#pragma once

#include <type_traits>

#include "fixture.h"

namespace fennex::test {

// A call on the camera and what it returns (a bool as 0 or 1, a write as 0).
struct Call : std::function<std::uint32_t(Bcam::CBcam&)> {
    template <class F>
    Call(F f)
        : std::function<std::uint32_t(Bcam::CBcam&)>([f](Bcam::CBcam& c) -> std::uint32_t {
              if constexpr (std::is_void_v<std::invoke_result_t<F&, Bcam::CBcam&>>) {
                  f(c);
                  return 0;
              } else {
                  return static_cast<std::uint32_t>(f(c));
              }
          }) {}
};

// After `setup`, `call` returns `value` and sends exactly `sent`, or raises `error` with
// `context`. With `fault`, the next request of that control code fails with 31. `sent` goes
// unchecked when empty, except for a refusal without a fault: that sends exactly `sent`.
struct CallRow {
    const char* name;
    Edit setup;
    Call call;
    std::uint32_t value = 0;
    std::vector<Words> sent = {};
    std::uint32_t error = 0;
    const char* context = "";
    std::uint32_t fault = 0;
};
class CallTable : public SimTest<CallRow> {};

// Save into an empty bag logs `saveLog` (and ends with `saveError`); Restore from `stored`
// (when given, else from what Save wrote) into the camera after `beforeRestore` logs
// `restoreLog`, sends the writes `restoreWrites` and ends with `restoreError`.
struct PersistRow {
    const char* name;
    Edit setup;
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
    Edit beforeRestore;
};
class PersistTable : public SimTest<PersistCase> {};

// Rows of one feature family: the same Save/Restore pair for each row.
inline std::vector<PersistCase> PersistRows(Persist save, Persist restore, Edit beforeRestore,
                                            std::vector<PersistRow> rows) {
    std::vector<PersistCase> cases;
    for (PersistRow& row : rows) cases.push_back({std::move(row), save, restore, beforeRestore});
    return cases;
}

// The trigger's registers, and a write to them, as the trigger's and the trigger page's rows
// give them.
inline Edit Trigger(std::uint32_t inquiry, std::uint32_t control = 0) {
    return Registers(drv::kTrigger, inquiry, control);
}
inline Words TriggerSet(std::uint32_t quadlet, std::uint32_t mask) {
    return FeatureSet(drv::kTrigger, quadlet, mask);
}

struct RowName {
    template <class Info>
    std::string operator()(const Info& info) const {
        if constexpr (requires { info.param.row; }) return info.param.row.name;
        else return info.param.name;
    }
};

}  // namespace fennex::test
