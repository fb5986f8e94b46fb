#include <gtest/gtest.h>

#include "feature_tables.h"

namespace fennex::test {

TEST_P(RequestTable, SendsExactlyTheseRequests) {
    Open(kColour, GetParam().setup);
    GetParam().call(camera_);
    EXPECT_EQ(SentTo(name_), GetParam().sent);
}

TEST_P(ReadTable, DecodesTheRegisters) {
    Open(kColour, GetParam().setup);
    EXPECT_EQ(GetParam().read(camera_), GetParam().expected);
}

TEST_P(FailureTable, RaisesWithCodeAndContext) {
    const FailureRow& row = GetParam();
    Open(kColour);
    if (row.fault) FailNext(row.fault);
    const Raised caught = RaisedBy([&] { row.call(camera_); });
    EXPECT_TRUE(caught.thrown);
    EXPECT_EQ(caught.code, row.error);
    EXPECT_EQ(caught.context, row.context);
    if (row.sent >= 0) {
        EXPECT_EQ(SentTo(name_).size(), static_cast<std::size_t>(row.sent));
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
