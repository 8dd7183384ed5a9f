// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the backup copy and the archive files: their paths by the extension
// rule, when the backup is read and how it is replaced, and how archives are
// created, extended and protected from being written over when they could not
// be read; every written file is compared with independently built bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "conduit/ArchiveDatabaseManager.h"
#include "conduit/BackupDatabaseManager.h"
#include "conduit/tests/DesktopFileFixture.h"
#include "store/tests/FaultInjectingFileSystem.h"

namespace tallimor {
namespace {

using namespace tallimor::testing;

constexpr std::uint32_t kCategories = kCapCategories | kCapAppInfo;

// `count` record images with ids from `firstId`, texts "memo 0", "memo 1", ...
std::vector<Bytes> Records(std::uint32_t firstId, int count) {
  std::vector<Bytes> records;
  for (int i = 0; i < count; ++i) {
    records.push_back(RecordImageBytes(firstId + static_cast<std::uint32_t>(i), 0, 1, "memo " + std::to_string(i)));
  }
  return records;
}

class BackupArchiveTest : public DesktopFileFixture {
 protected:
  BackupDatabaseManager Backup(std::int32_t syncType, const char* fileName = "record.dat") {
    return BackupDatabaseManager(&log_, kCategories, "TallimorDB", fileName, dir_.c_str(), syncType);
  }
};

// ---------------------------------------------------------------- paths

using BackupArchivePaths = BackupArchiveTest;

TEST_F(BackupArchivePaths, ExtensionOfTheFileNameIsReplacedElseAppended) {
  BackupDatabaseManager backup(&log_, kCategories, "TallimorDB", "record.dat", dir_.c_str(), kSyncFast);
  EXPECT_EQ(backup.DesktopPath(), PathOf("record.dat"));
  EXPECT_EQ(backup.Path(), PathOf("record.BAK"));
  EXPECT_EQ(ArchiveDatabaseManager(&log_, kCategories, "TallimorDB", "record.dat", dir_.c_str()).Path(),
            PathOf("record.ARC"));
  EXPECT_EQ(ArchiveDatabaseManager(&log_, kCategories, "TallimorDB", "Business", dir_.c_str()).Path(),
            PathOf("Business.ARC"));
  // The only dot is in a directory name: the extension goes after the whole path.
  const std::string dotted = PathOf("a.b");
  EXPECT_EQ(BackupDatabaseManager(&log_, kCategories, "TallimorDB", "record", dotted.c_str(), kSyncFast).Path(),
            dotted + "/record.BAK");
  EXPECT_EQ(CPDesktopDatabase::WithExtension("memo.v1.dat", ".BAK"), "memo.v1.BAK");
  EXPECT_EQ(CPDesktopDatabase::WithExtension("x.y/", ".ARC"), "x.y/.ARC");
}

// ---------------------------------------------------------------- backup

using BackupDatabase = BackupArchiveTest;

TEST_F(BackupDatabase, SlowSyncReadsTheBackupsRecords) {
  WriteFileBytes(PathOf("record.BAK"), FileBytes(Records(10, 3)));
  BackupDatabaseManager backup = Backup(kSyncSlow);
  ASSERT_EQ(backup.OpenForSyncType(), kOk);
  EXPECT_FALSE(backup.IsFileOpen());
  EXPECT_EQ(backup.StoredRecordCount(), 3);
  CPRecord r;
  ASSERT_EQ(backup.GetRecordById(11, r), kOk);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.Data()), r.DataLength()), "memo 1");
  EXPECT_EQ(backup.ReadForSync(), kOk);
  EXPECT_EQ(backup.StoredRecordCount(), 3) << "read once";
}

TEST_F(BackupDatabase, MissingUnopenableOrDamagedBackupIsNoErrorAndADamagedOneIsSetAside) {
  {
    BackupDatabaseManager backup = Backup(kSyncSlow);
    EXPECT_EQ(backup.OpenForSyncType(), kOk);
    EXPECT_EQ(backup.ReadForSync(), kOk);
    EXPECT_EQ(backup.StoredRecordCount(), 0);
  }
  std::filesystem::create_directory(PathOf("record.BAK"));
  {
    BackupDatabaseManager backup = Backup(kSyncSlow);
    EXPECT_EQ(backup.OpenForSyncType(), kOk);
    EXPECT_EQ(backup.StoredRecordCount(), 0);
  }
  // A backup that opens but cannot be read would fail every slow HotSync: it is set
  // aside under a name that says so, logged, and read as no backup.
  std::filesystem::remove(PathOf("record.BAK"));
  Bytes damaged = FileBytes(Records(10, 2));
  damaged[72] = 3;
  WriteFileBytes(PathOf("record.BAK"), damaged);
  {
    BackupDatabaseManager backup = Backup(kSyncSlow);
    EXPECT_EQ(backup.OpenForSyncType(), kOk);
    EXPECT_EQ(backup.StoredRecordCount(), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(PathOf("record.BAK")));
  EXPECT_EQ(ReadFileBytes(PathOf("record.BAK.damaged")), damaged);
  // A second damaged copy does not replace the first one set aside.
  WriteFileBytes(PathOf("record.BAK"), damaged);
  EXPECT_EQ(Backup(kSyncSlow).OpenForSyncType(), kOk);
  EXPECT_TRUE(std::filesystem::exists(PathOf("record.BAK.damaged-2")));
}

TEST_F(BackupDatabase, FastSyncNeverReadsTheBackupButReplacesItWithTheNewDesktopFile) {
  WriteFileBytes(PathOf("record.dat"), FileBytes(Records(10, 2)));
  WriteFileBytes(PathOf("record.BAK"), Bytes{'n', 'o', 't', ' ', 'a', ' ', 'f', 'i', 'l', 'e'});

  CPDesktopDatabase desktop(&log_, kCategories, "TallimorDB", "record.dat", dir_.c_str(), kSyncFast);
  BackupDatabaseManager backup = Backup(kSyncFast);
  ASSERT_EQ(desktop.OpenForSyncType(), kOk);
  ASSERT_EQ(backup.OpenForSyncType(), kOk);
  ASSERT_EQ(desktop.ReadForSync(), kOk);
  ASSERT_EQ(backup.ReadForSync(), kOk);
  EXPECT_EQ(backup.StoredRecordCount(), 0);
  CPRecord added = MakeRecord(50, 0, "");
  ASSERT_EQ(desktop.AddCleanRecord(added), kOk);
  ASSERT_EQ(desktop.FinishSync(), kOk);
  ASSERT_EQ(backup.FinishSync(), kOk);

  std::vector<Bytes> expected = Records(10, 2);
  expected.push_back(RecordImageBytes(50, 0, 0, ""));
  EXPECT_EQ(ReadFileBytes(PathOf("record.dat")), FileBytes(expected));
  EXPECT_EQ(ReadFileBytes(PathOf("record.BAK")), FileBytes(expected));
  EXPECT_EQ(Files(), (std::vector<std::string>{"record.BAK", "record.dat"}));
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(BackupDatabase, FailedCopyKeepsTheOldBackup) {
  const Bytes old = FileBytes(Records(10, 1));
  WriteFileBytes(PathOf("record.BAK"), old);
  {
    BackupDatabaseManager backup = Backup(kSyncSlow);
    ASSERT_EQ(backup.OpenForSyncType(), kOk);
    EXPECT_EQ(backup.FinishSync(), kErrBackupFailed);  // there is no desktop file to copy
  }
  EXPECT_EQ(ReadFileBytes(PathOf("record.BAK")), old);
  EXPECT_EQ(Files(), std::vector<std::string>{"record.BAK"});

  std::filesystem::remove(PathOf("record.BAK"));
  BackupDatabaseManager backup = Backup(kSyncFast);
  EXPECT_EQ(backup.FinishSync(), kErrBackupFailed);
  EXPECT_TRUE(Files().empty()) << "no empty backup is left behind";
}

// Each call of the copy that ends a HotSync is failed in turn: the backup is the old
// one or a whole copy of the desktop file, and nothing else is left beside them.
TEST_F(BackupDatabase, AFailingCallAnywhereInTheCopyKeepsTheOldBackup) {
  const Bytes desktop = FileBytes(Records(10, 3));
  const Bytes old = FileBytes(Records(10, 1));
  WriteFileBytes(PathOf("record.dat"), desktop);
  FaultInjectingFileSystem faults;
  auto copy = [&] {
    WriteFileBytes(PathOf("record.BAK"), old);
    BackupDatabaseManager backup = Backup(kSyncSlow);
    if (backup.OpenForSyncType() != kOk) return kErrOpenFailed;
    return backup.FinishSync();
  };
  faults.FailCall(FileCall::kAny, 0, EIO);
  ASSERT_EQ(copy(), kOk);
  const int calls = faults.Calls();
  for (int nth = 1; nth <= calls; ++nth) {
    faults.FailCall(FileCall::kAny, nth, EIO);
    const Result result = copy();
    EXPECT_EQ(ReadFileBytes(PathOf("record.BAK")), result == kOk ? desktop : old) << "call " << nth;
    EXPECT_EQ(ReadFileBytes(PathOf("record.dat")), desktop);
    EXPECT_EQ(Files(), (std::vector<std::string>{"record.BAK", "record.dat"})) << "call " << nth;
  }
}

TEST_F(BackupDatabase, ADamagedBackupThatCannotBeMovedAsideStaysAndIsLoggedSo) {
  Bytes damaged = FileBytes(Records(10, 2));
  damaged[72] = 3;
  WriteFileBytes(PathOf("record.BAK"), damaged);
  FaultInjectingFileSystem faults;
  faults.FailCall(FileCall::kRename, 1, EACCES);
  {
    BackupDatabaseManager backup = Backup(kSyncSlow);
    EXPECT_EQ(backup.OpenForSyncType(), kOk);
    EXPECT_EQ(backup.StoredRecordCount(), 0);
  }
  EXPECT_EQ(ReadFileBytes(PathOf("record.BAK")), damaged);
  EXPECT_EQ(Files(), std::vector<std::string>{"record.BAK"});
  const std::vector<LogLine> lines = LogLines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                          [](const LogLine& line) { return line.second.find("(not moved)") != std::string::npos; }));
}

// ---------------------------------------------------------------- archives

using ArchiveDatabase = BackupArchiveTest;

TEST_F(ArchiveDatabase, NewArchiveIsCreatedAndWrittenWithTheArchivedRecords) {
  ArchiveDatabaseManager archive(&log_, kCategories, "TallimorDB", "Business", dir_.c_str());
  EXPECT_FALSE(archive.FileExists());
  ASSERT_EQ(archive.OpenForSyncType(), kOk);
  EXPECT_EQ(Files(), std::vector<std::string>{"Business.ARC"});
  HeaderFields h;
  ASSERT_EQ(archive.SetDatabaseInfo("TallimorDB", h.flags, h.type, h.creator, 3, h.modNumber, h.createDate,
                                    h.modDate, h.backupDate),
            kOk);
  CPRecord archived = MakeRecord(70, 1, "kept", kStatusArchived | kStatusDeleted);
  ASSERT_EQ(archive.AddRecord(archived), kOk);
  ASSERT_EQ(archive.FinishSync(), kOk);
  EXPECT_FALSE(archive.FileExists());
  EXPECT_FALSE(archive.IsFileOpen());
  EXPECT_EQ(ReadFileBytes(PathOf("Business.ARC")), FileBytes({RecordImageBytes(70, 0, 1, "kept")}, {}, {}, h));
}

TEST_F(ArchiveDatabase, ExistingArchiveKeepsItsRecordsAndGainsNewOnes) {
  HeaderFields h;
  h.modNumber = 99;
  WriteFileBytes(PathOf("record.ARC"), FileBytes(Records(10, 2), {}, {}, h));
  ArchiveDatabaseManager archive(&log_, kCategories, "TallimorDB", "record.dat", dir_.c_str());
  EXPECT_TRUE(archive.FileExists());
  ASSERT_EQ(archive.OpenForSyncType(), kOk);
  EXPECT_EQ(archive.StoredRecordCount(), 2);
  CPRecord more = MakeRecord(12, 1, "memo 2");
  ASSERT_EQ(archive.AddRecord(more), kOk);
  ASSERT_EQ(archive.FinishSync(), kOk);
  EXPECT_EQ(ReadFileBytes(PathOf("record.ARC")), FileBytes(Records(10, 3), {}, {}, h));
}

TEST_F(ArchiveDatabase, DamagedArchiveIsNeverWrittenOver) {
  Bytes damaged = FileBytes(Records(10, 1));
  damaged[72] = 3;
  WriteFileBytes(PathOf("Ideas.ARC"), damaged);
  ArchiveDatabaseManager archive(&log_, kCategories, "TallimorDB", "Ideas", dir_.c_str());
  EXPECT_EQ(archive.OpenForSyncType(), kErrReadRecordHeader);
  CPRecord r;
  r.SetId(99);
  ASSERT_EQ(archive.AddRecord(r), kOk);
  EXPECT_EQ(archive.FinishSync(), kErrReadRecordHeader);
  EXPECT_EQ(ReadFileBytes(PathOf("Ideas.ARC")), damaged);
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{{17, " -- Could not save the local database. Error Code 111f"}}));
}

TEST_F(ArchiveDatabase, UnfinishedOrFailedArchiveLeavesNoFile) {
  {
    ArchiveDatabaseManager archive(&log_, kCategories, "TallimorDB", "Business", dir_.c_str());
    ASSERT_EQ(archive.OpenForSyncType(), kOk);
    EXPECT_EQ(Files(), std::vector<std::string>{"Business.ARC"});
  }  // destroyed without finishing
  EXPECT_TRUE(Files().empty());
  {
    ArchiveDatabaseManager archive(&log_, kCategories, "TallimorDB", "Personal", dir_.c_str());
    ASSERT_EQ(archive.OpenForSyncType(), kOk);
    HeaderFields h;
    archive.SetDatabaseInfo("TallimorDB", 0, h.type, h.creator, 1, 0, 0, 0, 0);
    CPRecord huge = MakeRecord(5, 0, std::string(kMaxRecordDataLength + 1, 'q'));
    ASSERT_EQ(archive.AddRecord(huge), kOk);
    EXPECT_EQ(archive.FinishSync(), kErrWrite);
  }
  EXPECT_TRUE(Files().empty());
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{{17, " -- Could not save the local database. Error Code 1120"}}));
}

}  // namespace
}  // namespace tallimor
