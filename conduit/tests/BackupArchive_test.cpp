// Tests of the backup copy and the archive files: their paths by the extension
// rule, when the backup is read and how it is replaced, and how archives are
// created, extended and protected from being written over when they could not
// be read; every written file is compared with independently built bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "conduit/ArchiveDatabaseManager.h"
#include "conduit/BackupDatabaseManager.h"
#include "conduit/tests/DesktopFileFixture.h"

namespace tallimor {
namespace {

using namespace tallimor::testing;

constexpr std::uint32_t kCategories = kCapCategories | kCapAppInfo;

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

TEST_F(BackupArchivePaths, FileNameExtensionIsReplacedInTheSameDirectory) {
  BackupDatabaseManager backup(&log_, kCategories, "TallimorDB", "record.dat", dir_.c_str(), kSyncFast);
  EXPECT_EQ(backup.DesktopPath(), PathOf("record.dat"));
  EXPECT_EQ(backup.Path(), PathOf("record.BAK"));
  ArchiveDatabaseManager single(&log_, kCategories, "TallimorDB", "record.dat", dir_.c_str());
  EXPECT_EQ(single.Path(), PathOf("record.ARC"));
  EXPECT_EQ(single.SyncType(), kSyncFast);
  ArchiveDatabaseManager category(&log_, kCategories, "TallimorDB", "Business", dir_.c_str());
  EXPECT_EQ(category.Path(), PathOf("Business.ARC"));
  BackupDatabaseManager generic(&log_, kCategories, "TallimorDB", nullptr, dir_.c_str(), kSyncFast);
  EXPECT_EQ(generic.Path(), PathOf("GenericDB.BAK"));
}

TEST_F(BackupArchivePaths, DotOnlyInADirectoryNameAppendsTheExtension) {
  const std::string dotted = PathOf("a.b");
  BackupDatabaseManager backup(&log_, kCategories, "TallimorDB", "record", dotted.c_str(), kSyncFast);
  EXPECT_EQ(backup.Path(), dotted + "/record.BAK");
  EXPECT_EQ(CPDesktopDatabase::WithExtension("memo.v1.dat", ".BAK"), "memo.v1.BAK");
  EXPECT_EQ(CPDesktopDatabase::WithExtension("record", ".ARC"), "record.ARC");
  EXPECT_EQ(CPDesktopDatabase::WithExtension("x.y/", ".ARC"), "x.y/.ARC");
  EXPECT_EQ(CPDesktopDatabase::WithExtension("", ".BAK"), ".BAK");
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

TEST_F(BackupDatabase, MissingOrUnopenableBackupIsNoError) {
  {
    BackupDatabaseManager backup = Backup(kSyncSlow);
    EXPECT_EQ(backup.OpenForSyncType(), kOk);
    EXPECT_EQ(backup.ReadForSync(), kOk);
    EXPECT_EQ(backup.StoredRecordCount(), 0);
  }
  std::filesystem::create_directory(PathOf("record.BAK"));
  BackupDatabaseManager backup = Backup(kSyncSlow);
  EXPECT_EQ(backup.OpenForSyncType(), kOk);
  EXPECT_EQ(backup.StoredRecordCount(), 0);
}

TEST_F(BackupDatabase, DamagedBackupFailsSlowSync) {
  Bytes file = FileBytes(Records(10, 2));
  file[72] = 3;
  WriteFileBytes(PathOf("record.BAK"), file);
  BackupDatabaseManager backup = Backup(kSyncSlow);
  EXPECT_EQ(backup.OpenForSyncType(), kErrReadRecordHeader);
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
  CPRecord added;
  added.SetId(50);
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

TEST_F(BackupDatabase, CopyCanRefuseAnExistingDestination) {
  WriteFileBytes(PathOf("record.dat"), FileBytes(Records(1, 1)));
  WriteFileBytes(PathOf("other.dat"), FileBytes({}));
  BackupDatabaseManager backup = Backup(kSyncFast);
  EXPECT_FALSE(backup.CopyFile(PathOf("record.dat"), PathOf("other.dat"), true));
  EXPECT_EQ(ReadFileBytes(PathOf("other.dat")), FileBytes({}));
  EXPECT_TRUE(backup.CopyFile(PathOf("record.dat"), PathOf("other.dat"), false));
  EXPECT_EQ(ReadFileBytes(PathOf("other.dat")), FileBytes(Records(1, 1)));
}

// ---------------------------------------------------------------- archives

using ArchiveDatabase = BackupArchiveTest;

TEST_F(ArchiveDatabase, NewArchiveIsCreatedAndWrittenWithTheArchivedRecords) {
  ArchiveDatabaseManager archive(&log_, kCategories, "TallimorDB", "Business", dir_.c_str());
  EXPECT_FALSE(archive.FileExists());
  ASSERT_EQ(archive.OpenForSyncType(), kOk);
  EXPECT_EQ(Files(), std::vector<std::string>{"Business.ARC"});
  HeaderFields h;
  ASSERT_EQ(archive.SetDatabaseInfo("TallimorDB", h.flags, h.type, h.creator,
                                    static_cast<std::uint16_t>(h.dbVersion), h.modNumber, h.createDate,
                                    h.modDate, h.backupDate),
            kOk);
  CPRecord archived;
  archived.SetId(70);
  archived.SetCategory(1);
  archived.SetStatus(kStatusArchived | kStatusDeleted);
  const std::string text = "kept";
  archived.SetData(4, reinterpret_cast<const std::uint8_t*>(text.data()));
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
  CPRecord more;
  more.SetId(12);
  more.SetCategory(1);
  const std::string text = "memo 2";
  more.SetData(6, reinterpret_cast<const std::uint8_t*>(text.data()));
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

TEST_F(ArchiveDatabase, FailedArchiveWriteIsLoggedAndLeavesNoFile) {
  {
    ArchiveDatabaseManager archive(&log_, kCategories, "TallimorDB", "Personal", dir_.c_str());
    ASSERT_EQ(archive.OpenForSyncType(), kOk);
    HeaderFields h;
    archive.SetDatabaseInfo("TallimorDB", 0, h.type, h.creator, 1, 0, 0, 0, 0);
    CPRecord huge;
    huge.SetId(5);
    const std::string big(kMaxRecordDataLength + 1, 'q');
    huge.SetData(static_cast<std::uint32_t>(big.size()), reinterpret_cast<const std::uint8_t*>(big.data()));
    ASSERT_EQ(archive.AddRecord(huge), kOk);
    EXPECT_EQ(archive.FinishSync(), kErrWrite);
  }
  EXPECT_TRUE(Files().empty());
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{{17, " -- Could not save the local database. Error Code 1120"}}));
}

TEST_F(ArchiveDatabase, ArchiveOfARunThatNeverFinishedLeavesNoFile) {
  {
    ArchiveDatabaseManager archive(&log_, kCategories, "TallimorDB", "Business", dir_.c_str());
    ASSERT_EQ(archive.OpenForSyncType(), kOk);
    EXPECT_EQ(Files(), std::vector<std::string>{"Business.ARC"});
  }
  EXPECT_TRUE(Files().empty());
}

}  // namespace
}  // namespace tallimor
