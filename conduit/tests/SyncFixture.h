// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Test fixture for whole synchronizations: an emulated handheld and a desktop user
// directory in a temporary root, built from plain descriptions of their memos
// (independently of the conduit's code: the .pdb through the handheld library, the
// record file from its byte layout), a HotSync log run per synchronization, and
// readers that bring both sides and the archives back as plain descriptions.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "conduit/CPDesktopDatabase.h"  // the sync types
#include "hotsync/plugin/SyncProperties.h"
#include "conduit/Synchronizer.h"
#include "hotsync/handheld/Handheld.h"
#include "hotsync/handheld/SyncManager.h"
#include "hotsync/log/HotSyncLog.h"
#include "store/CPDatabase.h"
#include "store/LockedFile.h"
#include "store/RecordFileFormat.h"
#include "store/tests/RecordFileBytes.h"
#include "tests/support/TempDir.h"

namespace tallimor::testing {

namespace fs = std::filesystem;

inline constexpr const char* kMemoDb = "TallimorDB";
inline constexpr const char* kDesktopFile = "record.dat";

// Stored flags of a desktop record image.
inline constexpr std::uint16_t kPcModified = 0x01;
inline constexpr std::uint16_t kPcDeleted = 0x02;
inline constexpr std::uint16_t kPcArchived = 0x04;
inline constexpr std::uint16_t kPcNew = 0x08;

// A handheld record as the .pdb keeps it.
struct HhMemo {
  std::uint32_t id = 0;
  std::string data;
  int category = 0;
  bool dirty = false;
  bool deleted = false;
  bool archived = false;  // implies deleted
  bool secret = false;
};

// A desktop record as the record file keeps it.
struct PcMemo {
  std::uint32_t id = 0;
  std::string data;
  int category = 0;
  std::uint16_t flags = 0;  // kPc*
};

// Categories: names by index ("" = none) and ids by index.
struct Categories {
  std::vector<std::string> names{"Unfiled", "Business", "Personal"};
  std::vector<std::uint8_t> ids{0, 1, 2};
  std::uint16_t changed = 0;
};

// A live memo as both sides should end up holding it.
using MemoKey = std::tuple<std::uint32_t, std::string, int>;  // id, bytes, category

inline std::string AppData(const std::string& hint = "hint") {
  std::string data(4, '\0');
  data += std::string(16, '\x5a');  // the password digest
  data += hint;
  data.push_back('\0');
  return data;
}

// Memo bytes as the handheld stores enciphered memos: any byte value, NULs included.
inline std::string Bytes8(const std::string& tag) {
  std::string data = tag;
  data.push_back('\0');
  data += "\x81\x40\xff\x00\x7f";
  data.resize((data.size() + 7) / 8 * 8, '\0');
  return data;
}

class SyncFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = temp_.path();
    handheldDir_ = root_ + "/handheld";
    userDir_ = root_ + "/user";
    std::string error;
    ASSERT_EQ(Handheld::Create(handheldDir_, HandheldIdentity{"Taro", 1234}, &error), kOk) << error;
    fs::create_directories(userDir_);
    hotsyncLog_ = std::make_unique<HotSyncLog>(userDir_);
  }
  void TearDown() override {
    SyncDetachHandheld();
    hotsyncLog_.reset();
  }

  // ---- building the two sides

  void MakeHandheldDb(const std::vector<HhMemo>& memos, const Categories& categories = {},
                      const std::string& appData = AppData(), const char* name = kMemoDb) {
    PdbHeader header;
    header.name = name;
    header.attributes = kPdbAttrBackup;
    header.version = 1;
    header.type = FourCc("DATA");
    header.creator = FourCc("Tlmr");
    header.uniqueIdSeed = 0x800000;
    HandheldDatabase db(header);
    Bytes block = CategoryTableBytes(categories.names, categories.ids, categories.changed);
    block.insert(block.end(), appData.begin(), appData.end());
    ASSERT_EQ(db.SetAppInfo(block), kOk);
    for (const HhMemo& m : memos) {
      PdbRecord record;
      record.uniqueId = m.id;
      record.attributes = PdbRecord::MakeAttributes(m.deleted, m.dirty, false, m.secret, m.archived, m.category);
      record.data.assign(m.data.begin(), m.data.end());
      std::uint32_t id = 0;
      std::size_t index = 0;
      ASSERT_EQ(db.WriteRecord(std::move(record), &id, &index), kOk);
      ASSERT_EQ(id, m.id);
    }
    std::string error;
    ASSERT_EQ(OpenHandheld()->SaveDatabase(name, db, &error), kOk) << error;
  }

  static Bytes RecordFile(const std::vector<PcMemo>& memos, const Categories& categories,
                          const std::string& appData) {
    Bytes app = CategoryTableBytes(categories.names, categories.ids, categories.changed);
    app.insert(app.end(), appData.begin(), appData.end());
    Bytes file = Header(HeaderFields{}, static_cast<std::int32_t>(memos.size()),
                        56 + static_cast<std::uint32_t>(app.size()), 0);
    Append(file, InfoBlockBytes(kMemoDb, static_cast<std::uint32_t>(app.size()), app,
                                static_cast<std::uint32_t>(app.size())));
    for (const PcMemo& m : memos) Append(file, RecordImageBytes(m.id, m.flags, static_cast<std::uint32_t>(m.category), m.data));
    return file;
  }

  void MakeDesktopFile(const std::vector<PcMemo>& memos, const Categories& categories = {},
                       const std::string& appData = AppData(), const char* file = kDesktopFile) {
    WriteFileBytes(userDir_ + "/" + file, RecordFile(memos, categories, appData));
  }

  // The backup copy that the last HotSync left: the desktop file as it was then.
  void MakeBackup(const std::vector<PcMemo>& memos, const Categories& categories = {}) {
    MakeDesktopFile(memos, categories, AppData(), "record.BAK");
  }

  std::unique_ptr<Handheld> OpenHandheld() const {
    std::unique_ptr<Handheld> handheld;
    std::string error;
    EXPECT_EQ(Handheld::Open(handheldDir_, &handheld, &error), kOk) << error;
    return handheld;
  }

  // ---- running a HotSync

  SyncPropertiesRecord Properties(std::int32_t syncType, std::int32_t firstSync,
                                  const std::vector<std::string>& databases) {
    SyncPropertiesRecord p;
    p.syncType = syncType;
    std::snprintf(p.localDirectory, sizeof p.localDirectory, "%s", userDir_.c_str());
    std::snprintf(p.localFileName, sizeof p.localFileName, "%s", kDesktopFile);
    names_ = databases;
    for (std::size_t i = 0; i < names_.size() && i < 16; ++i) p.remoteNames[i] = names_[i].c_str();
    p.remoteCount = static_cast<std::int16_t>(names_.size());
    p.creator = FourCc("Tlmr");
    p.type = FourCc("DATA");
    p.firstSync = firstSync;
    p.options = options_;
    return p;
  }

  // One HotSync run of the conduit with the given action; `fault` (when not 0)
  // fails that Sync Manager call with `kind`. The run's log entries go to Log().
  Result Sync(std::int32_t syncType, std::int32_t firstSync = 0,
              const std::vector<std::string>& databases = {kMemoDb}, std::uint32_t fault = 0,
              SyncFaultKind kind = SyncFaultKind::kCommunications) {
    EXPECT_EQ(hotsyncLog_->BeginRun(), kOk);
    EXPECT_EQ(SyncAttachHandheld(handheldDir_.c_str()), kOk);
    if (fault != 0) SyncSetFault(fault, kind);
    Result result;
    {
      Synchronizer synchronizer(Properties(syncType, firstSync, databases), kCapCategories | kCapAppInfo);
      result = synchronizer.perform();
    }
    calls_ = SyncCallCount();
    SyncDetachHandheld();
    log_.clear();
    std::vector<LogEntry> entries;
    EXPECT_EQ(hotsyncLog_->RunEntries(&entries), kOk);
    for (const LogEntry& e : entries) log_.emplace_back(e.activity, e.text);
    EXPECT_EQ(hotsyncLog_->EndRun(result == kOk), kOk);
    return result;
  }

  // ---- reading back

  std::vector<HhMemo> HandheldMemos(const char* name = kMemoDb) const {
    std::unique_ptr<HandheldDatabase> db;
    std::string error;
    std::vector<HhMemo> memos;
    if (OpenHandheld()->LoadDatabase(name, &db, &error) != kOk) return memos;
    db->ForEachRecord([&](const PdbRecord& r) {
      HhMemo m;
      m.id = r.uniqueId;
      m.data.assign(r.data.begin(), r.data.end());
      m.category = r.category();
      m.dirty = r.dirty();
      m.deleted = r.deleted();
      m.archived = r.archived();
      m.secret = r.secret();
      memos.push_back(m);
    });
    return memos;
  }

  bool HandheldDbExists(const char* name = kMemoDb) const {
    return fs::exists(handheldDir_ + "/" + name + ".pdb");
  }

  // The handheld database's category names by index.
  std::vector<std::string> HandheldCategoryNames(const char* name = kMemoDb) const {
    std::unique_ptr<HandheldDatabase> db;
    std::string error;
    if (OpenHandheld()->LoadDatabase(name, &db, &error) != kOk || !db->appInfo()) return {};
    return NamesOf(db->appInfo()->data(), db->appInfo()->size());
  }

  std::string HandheldAppData(const char* name = kMemoDb) const {
    std::unique_ptr<HandheldDatabase> db;
    std::string error;
    if (OpenHandheld()->LoadDatabase(name, &db, &error) != kOk || !db->appInfo()) return {};
    const auto& block = *db->appInfo();
    return block.size() > 276 ? std::string(block.begin() + 276, block.end()) : std::string();
  }

  struct DesktopFile {
    bool present = false;
    Result read = kOk;
    std::vector<PcMemo> memos;
    std::vector<std::string> categoryNames;
    std::string appData;
  };

  DesktopFile ReadDesktop(const std::string& file = kDesktopFile) const {
    DesktopFile out;
    const std::string path = userDir_ + "/" + file;
    if (!fs::exists(path)) return out;
    out.present = true;
    LockedFile locked;
    if (locked.Open(path, LockedFile::Mode::kReadExisting) != kOk) {
      out.read = kErrOpenFailed;
      return out;
    }
    RecordFileContents contents;
    out.read = ReadRecordFile(locked.Descriptor(), contents, [&](std::unique_ptr<CPRecord> r) {
      PcMemo m;
      m.id = r->Id();
      if (r->DataLength() > 0) m.data.assign(reinterpret_cast<const char*>(r->Data()), r->DataLength());
      m.category = r->Category();
      m.flags = static_cast<std::uint16_t>(StoredFlagsOf(*r));
      out.memos.push_back(m);
      return kOk;
    });
    if (contents.appInfo && contents.appInfo->Used() >= 276) {
      out.categoryNames = NamesOf(contents.appInfo->Data(), contents.appInfo->Used());
      out.appData.assign(reinterpret_cast<const char*>(contents.appInfo->Data()) + 276,
                         contents.appInfo->Used() - 276);
    }
    return out;
  }

  // Every record of every archive file in the user directory, by file name.
  std::map<std::string, std::vector<PcMemo>> Archives() const {
    std::map<std::string, std::vector<PcMemo>> archives;
    for (const auto& entry : fs::directory_iterator(userDir_)) {
      const std::string name = entry.path().filename().string();
      if (entry.path().extension() == ".ARC") archives[name] = ReadDesktop(name).memos;
    }
    return archives;
  }

  std::set<std::string> ArchivedData() const {
    std::set<std::string> data;
    for (const auto& [file, memos] : Archives()) {
      for (const PcMemo& m : memos) data.insert(m.data);
    }
    return data;
  }

  static std::vector<std::string> NamesOf(const std::uint8_t* table, std::size_t size) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < 16 && 2 + 16 * (i + 1) <= size; ++i) {
      const char* name = reinterpret_cast<const char*>(table + 2 + 16 * i);
      names.emplace_back(name, strnlen(name, 16));
    }
    while (!names.empty() && names.back().empty()) names.pop_back();
    return names;
  }

  // The live memos of each side, as sorted (id, bytes, category) lists.
  std::vector<MemoKey> LiveHandheld(const char* name = kMemoDb) const {
    std::vector<MemoKey> keys;
    for (const HhMemo& m : HandheldMemos(name)) {
      if (!m.deleted) keys.emplace_back(m.id, m.data, m.category);
    }
    std::sort(keys.begin(), keys.end());
    return keys;
  }
  std::vector<MemoKey> LiveDesktop() const {
    std::vector<MemoKey> keys;
    for (const PcMemo& m : ReadDesktop().memos) {
      if ((m.flags & kPcDeleted) == 0) keys.emplace_back(m.id, m.data, m.category);
    }
    std::sort(keys.begin(), keys.end());
    return keys;
  }
  static std::multiset<std::string> DataOf(const std::vector<MemoKey>& keys) {
    std::multiset<std::string> data;
    for (const MemoKey& k : keys) data.insert(std::get<1>(k));
    return data;
  }

  // Log entries with that activity code whose text contains `part`.
  int LogCount(std::int32_t activity, const std::string& part = "") const {
    int count = 0;
    for (const auto& [a, text] : log_) count += a == activity && text.find(part) != std::string::npos ? 1 : 0;
    return count;
  }

  // ---- whole-directory snapshots, to run one starting state many times

  struct Snapshot {
    std::map<std::string, Bytes> handheld;
    std::map<std::string, Bytes> user;
  };
  static std::map<std::string, Bytes> FilesOf(const std::string& dir, bool skipLog) {
    std::map<std::string, Bytes> files;
    for (const auto& e : fs::directory_iterator(dir)) {
      const std::string name = e.path().filename().string();
      if (skipLog && name == HotSyncLog::kFileName) continue;
      if (name == Handheld::kLockFileName) continue;  // says who ran last, holds no data
      files[name] = ReadFileBytes(e.path().string());
    }
    return files;
  }
  static void RestoreFiles(const std::string& dir, const std::map<std::string, Bytes>& files, bool skipLog) {
    for (const auto& e : fs::directory_iterator(dir)) {
      const std::string name = e.path().filename().string();
      if (!(skipLog && name == HotSyncLog::kFileName) && name != Handheld::kLockFileName &&
          files.count(name) == 0) {
        fs::remove(e.path());
      }
    }
    for (const auto& [name, bytes] : files) WriteFileBytes(dir + "/" + name, bytes);
  }
  Snapshot Take() const { return Snapshot{FilesOf(handheldDir_, false), FilesOf(userDir_, true)}; }
  void Restore(const Snapshot& s) const {
    RestoreFiles(handheldDir_, s.handheld, false);
    RestoreFiles(userDir_, s.user, true);
  }

  // Memory-backed when the machine has it: every HotSync flushes several files.
  tallimor::testing::TempDir temp_{"sync", tallimor::testing::TempDir::MemoryParent()};
  std::string root_;
  std::string handheldDir_;
  std::string userDir_;
  std::unique_ptr<HotSyncLog> hotsyncLog_;
  std::vector<std::string> names_;
  std::vector<std::pair<std::int32_t, std::string>> log_;  // the last run's entries
  std::uint32_t calls_ = 0;                                 // Sync Manager calls of the last run
  std::uint32_t options_ = 0;                               // kSyncOption* of the next runs
};

}  // namespace tallimor::testing
