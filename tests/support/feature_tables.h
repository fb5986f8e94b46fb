// The table tests that every feature family fills with its own rows, on the colour camera:
// requests sent, quadlets decoded, failures raised, and the keys that Save and Restore touch.
// The TEST_Ps live in feature_tables.cpp.
#pragma once

#include "fixture.h"

namespace fennex::test {

using Call = std::function<void(Bcam::CBcam&)>;

// --- the shared tables (every row runs on the colour camera after its setup)

// A call sends exactly these requests.
struct RequestRow {
    const char* name;
    Edit setup;
    Call call;
    std::vector<Words> sent;
};
class RequestTable : public SimTest<RequestRow> {};

// A read returns this value from the registers as set up.
struct ReadRow {
    const char* name;
    Edit setup;
    std::function<std::uint32_t(Bcam::CBcam&)> read;
    std::uint32_t expected;
};
class ReadTable : public SimTest<ReadRow> {};

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
class FailureTable : public SimTest<FailureRow> {};

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

struct RowName {
    template <class Info>
    std::string operator()(const Info& info) const {
        if constexpr (requires { info.param.row; }) return info.param.row.name;
        else return info.param.name;
    }
};

}  // namespace fennex::test
