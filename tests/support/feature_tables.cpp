#include <gtest/gtest.h>

#include "feature_tables.h"

namespace fennex::test {

TEST_P(CallTable, ReturnsSendsOrRaises) {
    const CallRow& row = GetParam();
    Open(kColour, row.setup);
    if (row.fault) FailNext(row.fault);
    std::uint32_t value = 0;
    const Raised caught = RaisedBy([&] { value = row.call(camera_); });
    EXPECT_EQ(value, row.value);
    EXPECT_EQ(caught.code, row.error);
    EXPECT_EQ(caught.context, row.context);
    EXPECT_EQ(RecordsLeft(), 0);
    if (!row.sent.empty() || (row.error && !row.fault)) {
        EXPECT_EQ(SentTo(name_), row.sent);
    }
}

TEST_P(PersistTable, SaveAndRestoreTouchWhatTheCameraCallsFor) {
    const PersistRow& row = GetParam().row;
    Open(kColour, row.setup);
    RecordingBag::Store store;
    const Raised saved = RaisedBy([&] { GetParam().save(camera_, RecordingBag::Make(store, "F")); });
    EXPECT_EQ(saved.code, row.saveError);
    EXPECT_EQ(store.log, row.saveLog);

    if (!row.stored.empty()) store.sections["F"] = row.stored;
    store.log.clear();
    if (GetParam().beforeRestore) sim::EditCamera(name_, GetParam().beforeRestore);
    sim::ClearRequests();
    const Raised restored =
        RaisedBy([&] { GetParam().restore(camera_, RecordingBag::Make(store, "F")); });
    EXPECT_EQ(restored.code, row.restoreError);
    EXPECT_EQ(store.log, row.restoreLog);
    EXPECT_EQ(WritesTo(name_), row.restoreWrites);
}

}  // namespace fennex::test
