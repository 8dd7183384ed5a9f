// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the conduit's sync log against the HotSync log it writes to: the exact
// entry of every operation with its activity code, the header before a conduit's
// first error, and messages that would not fit the entry buffer.
#include "conduit/SyncLog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <utility>

#include "hotsync/log/HotSyncLog.h"
#include "hotsync/log/HsLog.h"
#include "store/CPRecord.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

namespace fs = std::filesystem;

using Entry = std::pair<std::int32_t, std::string>;  // activity, text

// "仕事" in code page 932.
const char kWork[] = "\x8e\x64\x8e\x96";

class SyncLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    log_ = std::make_unique<HotSyncLog>(dir_.string());
    ASSERT_EQ(log_->BeginRun(), kOk);
  }
  void TearDown() override {
    log_.reset();
  }
  std::vector<Entry> Entries() const {
    std::vector<LogEntry> entries;
    EXPECT_EQ(log_->RunEntries(&entries), kOk);
    std::vector<Entry> out;
    for (const LogEntry& e : entries) out.emplace_back(e.activity, e.text);
    return out;
  }
  static CPRecord RecordWithId(std::uint32_t id) {
    CPRecord record;
    record.SetId(id);
    return record;
  }

  tallimor::testing::TempDir temp_{"synclog"};  // removed after the test
  fs::path dir_;
  std::unique_ptr<HotSyncLog> log_;
  SyncLog sync_{"Generic Conduit"};
};

const Entry kHeader{-1, "-- Generic Conduit"};

using SyncLogStartAndEnd = SyncLogTest;
using SyncLogHeader = SyncLogTest;
using SyncLogRecordFailures = SyncLogTest;
using SyncLogErrorCodes = SyncLogTest;
using SyncLogNotices = SyncLogTest;
using SyncLogDescriptions = SyncLogTest;

TEST_F(SyncLogStartAndEnd, StartIsThreeEmptyEntriesWithoutHeader) {
  sync_.logStart();
  EXPECT_EQ(Entries(), (std::vector<Entry>{{19, ""}, {20, ""}, {19, ""}}));
}

TEST_F(SyncLogStartAndEnd, EndCarriesTheConduitNameAndTheOutcome) {
  sync_.logEnd(1);
  sync_.logEnd(0);
  sync_.logEnd(-7);
  EXPECT_EQ(Entries(), (std::vector<Entry>{
                           {21, "Generic Conduit"}, {20, "Generic Conduit"}, {21, "Generic Conduit"}}));
}

TEST_F(SyncLogHeader, HeadsOnlyTheFirstErrorOfEachConduitPart) {
  sync_.logStart();
  sync_.logText("first");
  sync_.logTextError("second");
  sync_.logEnd(1);
  sync_.logStart();
  sync_.logFatalCode(4354);
  EXPECT_EQ(Entries(), (std::vector<Entry>{{19, ""}, {20, ""}, {19, ""},
                                           kHeader, {-1, "first"}, {22, "second"},
                                           {21, "Generic Conduit"},
                                           {19, ""}, {20, ""}, {19, ""},
                                           kHeader, {-1, "Fatal Error 4354."}}));
}

TEST_F(SyncLogHeader, NoticesAreLoggedWithoutHeader) {
  sync_.logStart();
  sync_.logSaveFailed(4354);
  sync_.logCategoryDeleted("Work", SyncLog::kHandheld);
  const std::vector<Entry> entries = Entries();
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_NE(entries[3], kHeader);
  // The log already holds entries of this conduit, so a later error is not headed.
  sync_.logText("later");
  EXPECT_EQ(Entries().back(), (Entry{-1, "later"}));
  EXPECT_EQ(Entries().size(), 6u);
}

TEST_F(SyncLogRecordFailures, HandheldAddFailureNamesTheRecordAndTheErrorInDecimal) {
  sync_.logAddFailed(4354, RecordWithId(5), SyncLog::kHandheld);
  EXPECT_EQ(Entries(), (std::vector<Entry>{
                           kHeader, {9, " -- HH failed to add record: Record ID 5, Error 4354"}}));
}

TEST_F(SyncLogRecordFailures, DesktopFailuresAndRecordsKnownOnlyByIndex) {
  CPRecord byIndex;
  byIndex.SetIndex(7);
  sync_.logAddFailed(4354, byIndex, SyncLog::kDesktop);
  sync_.logReadFailed(5, RecordWithId(1), SyncLog::kHandheld);
  sync_.logReadFailed(-2000, byIndex, SyncLog::kDesktop);
  EXPECT_EQ(Entries(), (std::vector<Entry>{
                           kHeader,
                           {13, " -- PC failed to add record: Record Index 7, Error 4354"},
                           {8, " -- HH failed to read record: Record ID 1, Error  5"},
                           {-1, " -- PC failed to read record: Record Index 7, Error 4294965296"}}));
}

TEST_F(SyncLogRecordFailures, FatalErrorsShowTheErrorNumber) {
  sync_.logFatal(4354, 1, 2);
  sync_.logFatalCode(-2000);
  sync_.logFatalRecord(16387, RecordWithId(5), 1);
  EXPECT_EQ(Entries(), (std::vector<Entry>{kHeader,
                                           {-1, "Fatal Error 4354."},
                                           {-1, "Fatal Error -2000."},
                                           {-1, "Fatal Error 16387."}}));
  std::int32_t activity = 99;
  EXPECT_EQ(sync_.messageForError(4354, &activity), 3362);
  EXPECT_EQ(activity, -1);
  activity = 99;
  EXPECT_EQ(sync_.messageForErrorAlt(0, &activity), 3362);
  EXPECT_EQ(activity, -1);
}

TEST_F(SyncLogErrorCodes, PurgeFailuresWriteTheCodeInHexadecimalWithoutPrefix) {
  sync_.logPurgeFailed(4354, SyncLog::kDesktop);
  sync_.logPurgeFailed(4354, SyncLog::kHandheld);
  EXPECT_EQ(Entries(), (std::vector<Entry>{
                           {22, "Could not purge the deleted records on Desktop. Error Code 1102"},
                           {10, "Could not purge the deleted records on Palm organizer. 1102"}}));
}

TEST_F(SyncLogErrorCodes, SaveCloseAndFlagResetFailures) {
  sync_.logSaveFailed(4384);
  sync_.logCloseFailed(0x2005, SyncLog::kHandheld);
  sync_.logCloseFailed(-2000, SyncLog::kDesktop);
  sync_.logResetFlagsFailed(4354, SyncLog::kHandheld);
  sync_.logResetFlagsFailed(4354, SyncLog::kDesktop);
  EXPECT_EQ(Entries(),
            (std::vector<Entry>{
                {17, " -- Could not save the local database. Error Code 1120"},
                {22, " -- Could not close remote database. Error Code 2005"},
                {17, " -- Could not close local database. Error Code fffff830"},
                {18, "Could not clear Palm organizer's status flags. Error Code 1102"},
                {22, " -- Could not clear Desktop's Database's status flags. Error Code 1102"}}));
}

TEST_F(SyncLogNotices, ConflictsNameTheRecord) {
  sync_.logModifiedBoth(RecordWithId(5));
  sync_.logModifiedDeleted(RecordWithId(6));
  EXPECT_EQ(Entries(),
            (std::vector<Entry>{
                {0, "The following record was modified on both Palm organizer and the Desktop: "
                    "Record ID 5. This record will be duplicated on each platform. Delete the "
                    "unwanted record and HotSync again."},
                {2, "The following record, Record ID 6,  was modified on one platform and deleted "
                    "on the other. The modified version will appear on both platforms."}}));
}

TEST_F(SyncLogNotices, CategoryMessagesKeepCodePage932NamesAsTheyAre) {
  sync_.logCategoryDeleted(kWork, SyncLog::kHandheld);
  sync_.logCategoryDeleted("Home", SyncLog::kDesktop);
  sync_.logMoveFailed(kWork, SyncLog::kHandheld);
  sync_.logMoveFailed("Home", SyncLog::kDesktop);
  sync_.logCategoryLimit(kWork, SyncLog::kHandheld);
  sync_.logCategoryLimit("Home", SyncLog::kDesktop);
  const std::string work = kWork;
  EXPECT_EQ(Entries(),
            (std::vector<Entry>{
                {4, "-- Remote category " + work +
                        " has been deleted. The records in this category have been moved to 'Unfiled'."},
                {4, "-- Local category Home has been deleted. The records in this category have "
                    "been moved to 'Unfiled'."},
                {7, "Could not move the Palm organizer records in category '" + work +
                        "' to 'Unfiled'."},
                {7, "Could not move the local records in category 'Home' to 'Unfiled'."},
                {3, "Only 15 categories are allowed.  All records in remote category " + work +
                        " were changed to 'Unfiled'."},
                {3, "Only 15 categories are allowed.  All records in local category Home were "
                    "changed to 'Unfiled'."}}));
}

TEST_F(SyncLogNotices, AnOverlongNameIsCutAtACharacterBoundary) {
  std::string name;
  for (int i = 0; i < 400; ++i) name += "\x82\xa0";  // "あ" 400 times
  sync_.logCategoryDeleted(name.c_str(), SyncLog::kHandheld);
  const std::string text = Entries().at(0).second;
  const std::string prefix = "-- Remote category ";
  ASSERT_EQ(text.substr(0, prefix.size()), prefix);
  EXPECT_EQ(text.size(), 511u);
  EXPECT_EQ((text.size() - prefix.size()) % 2, 0u);  // whole characters only
}

TEST_F(SyncLogDescriptions, DatabaseDescriptionShortAndLong) {
  char buffer[512];
  sync_.describeDatabase(buffer, sizeof buffer, "TallimorDB", 0x544C6D72, 0x44415441, 8, 1);
  EXPECT_STREQ(buffer, "DB Name TallimorDB, Creator ID 544c6d72");
  sync_.setLongDescription(true);
  sync_.describeDatabase(buffer, sizeof buffer, "TallimorDB", 0x544C6D72, 0x44415441, 0x8008, 1);
  EXPECT_STREQ(buffer,
               "DB Name TallimorDB, Creator ID 544c6d72, Type 1145132097, Flags 32776, Version     1");
  sync_.describeDatabase(buffer, 12, "TallimorDB", 0xA, 0, 0, 0);
  EXPECT_STREQ(buffer, "DB Name Tal");
}

TEST_F(SyncLogDescriptions, CreateFailureCarriesTheDatabaseDescription) {
  char description[512];
  sync_.describeDatabase(description, sizeof description, "TallimorDB", 0xA, 0, 0, 0);
  sync_.logCreateFailed(4354, description, SyncLog::kHandheld);
  sync_.logCreateFailed(5, description, SyncLog::kDesktop);
  EXPECT_EQ(Entries(),
            (std::vector<Entry>{
                kHeader,
                {-1, " -- Failed to create HH Database: DB Name TallimorDB, Creator ID  a, Error 4354"},
                {-1, " -- Failed to create PC Database: DB Name TallimorDB, Creator ID  a, Error  5"}}));
}

TEST_F(SyncLogDescriptions, RecordsAndNumbers) {
  CPRecord none;  // id and index both -1: described by its id
  EXPECT_STREQ(sync_.describeRecord(none), "Record ID 4294967295");
  CPRecord indexed;
  indexed.SetIndex(3);
  EXPECT_STREQ(sync_.describeRecord(indexed), "Record Index 3");
  EXPECT_STREQ(sync_.hexText(0), "0");
  EXPECT_STREQ(sync_.hexText(0xFFFFFFFFu), "ffffffff");
  EXPECT_STREQ(sync_.loadMessage(3379), "Record ID %u");
  EXPECT_STREQ(sync_.loadMessage(1234), "");
}

TEST_F(SyncLogDescriptions, TextEntriesAndTheirActivities) {
  sync_.logText(nullptr);
  sync_.logTextError(std::string(600, 'x').c_str());
  const std::vector<Entry> entries = Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1], (Entry{-1, ""}));
  EXPECT_EQ(entries[2].first, 22);
  EXPECT_EQ(entries[2].second, std::string(511, 'x'));
}

}  // namespace
}  // namespace tallimor
