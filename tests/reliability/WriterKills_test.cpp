// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Writers killed mid-save: a child process saves successive versions of a file through
// the project's own writer, for ever, telling the parent after each save that returned;
// the parent kills it with SIGKILL after a pseudo-random delay and reads the file back
// with the project's own reader. The file must hold one whole version: the last one
// whose save returned, or the one being saved when the kill came; never a mix, a torn
// tail or nothing. Then a save in the parent must still work with whatever temporary the
// killed writer left beside the file. Files: record.dat (protected memos, enciphered),
// the handheld's memo database (.pdb, written as the Sync Manager's database close does)
// and the users file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "protect/CProtectedRecordFile.h"
#include "protect/StoredMemo.h"
#include "hotsync/handheld/Handheld.h"
#include "hotsync/users/UsersFile.h"
#include "tests/reliability/Tally.h"
#include "tests/reliability/World.h"
#include "tests/support/TempDir.h"
#include "tools/tallimor-handheld/MemoDatabase.h"

namespace tallimor::reliability {
namespace {

namespace fs = std::filesystem;

// The items (memo texts, users) of version `version`: their number and lengths change
// from version to version, so a file cut short or left with an older tail shows.
std::vector<std::string> VersionItems(long version) {
  std::vector<std::string> items;
  const long count = 2 + version % 6;
  for (long i = 0; i < count; ++i) {
    std::string text = "v" + std::to_string(version) + " item " + std::to_string(i) + " ";
    const long filler = (version * 37 + i * 101) % 1500;
    for (long j = 0; j < filler; ++j) text += static_cast<char>('a' + (version + i + j) % 26);
    items.push_back(text);
  }
  std::sort(items.begin(), items.end());
  return items;
}

// One writer and its reader. Open() runs in the child before its saves.
class Writer {
 public:
  virtual ~Writer() = default;
  virtual bool Open(std::string* error) = 0;
  virtual bool Save(long version, std::string* error) = 0;
  // The items of the file as the project's reader reads them.
  virtual bool Read(std::vector<std::string>* items, std::string* error) = 0;
  // The directory the file lives in and the names that belong there.
  virtual std::string Directory() const = 0;
  virtual std::vector<std::string> OwnNames() const = 0;
  // The items the reader gives for version `version`.
  virtual std::vector<std::string> Expected(long version) const { return VersionItems(version); }

  // The version the items read back are, or -1 when they are no whole version.
  long VersionOf(const std::vector<std::string>& items) const {
    if (items.empty() || items.front().size() < 2 || items.front()[0] != 'v') return -1;
    const long version = std::atol(items.front().c_str() + 1);
    return items == Expected(version) ? version : -1;
  }
};

class RecordFileWriter : public Writer {
 public:
  explicit RecordFileWriter(std::string path) : path_(std::move(path)) {}
  bool Open(std::string* error) override {
    file_ = std::make_unique<CProtectedRecordFile>(path_, kPassword);
    if (file_->Load() == kOk) return true;
    *error = "cannot load " + path_;
    return false;
  }
  // The desktop program's way: the store stays loaded, memos go and come, Save.
  bool Save(long version, std::string* error) override {
    std::vector<std::int32_t> indexes;
    for (CPRecord* record = file_->FirstRecord(); record != nullptr; record = file_->NextRecord()) {
      indexes.push_back(record->Index());
    }
    for (std::int32_t index : indexes) file_->RemoveRecord(index);
    for (const std::string& text : VersionItems(version)) {
      CPRecord* record = file_->AddEmptyRecord();
      if (record == nullptr || StoreMemo(*record, text) != kOk) {
        *error = "cannot make a memo";
        return false;
      }
    }
    const Result saved = file_->Save();
    if (saved == kOk) return true;
    *error = "save failed with " + std::to_string(saved);
    return false;
  }
  bool Read(std::vector<std::string>* items, std::string* error) override {
    const SideMemos memos = ReadDesktopMemos(path_, Keyring{});
    *error = memos.error;
    *items = Texts(memos.live);
    return memos.ok;
  }
  std::string Directory() const override { return fs::path(path_).parent_path(); }
  std::vector<std::string> OwnNames() const override { return {"record.dat"}; }

 private:
  std::string path_;
  std::unique_ptr<CProtectedRecordFile> file_;
};

class MemoDatabaseWriter : public Writer {
 public:
  explicit MemoDatabaseWriter(std::string directory) : directory_(std::move(directory)) {}
  bool Open(std::string* error) override {
    return Handheld::Open(directory_, &handheld_, error) == kSyncErrNone;
  }
  // The handheld's way: the database is opened, changed in memory and closed, which
  // writes the .pdb.
  bool Save(long version, std::string* error) override {
    std::unique_ptr<HandheldDatabase> db;
    std::unique_ptr<MemoDatabase> memos;
    if (handheld_->LoadDatabase(kMemoDatabase, &db, error) != kSyncErrNone ||
        MemoDatabase::Adopt(std::move(db), &memos, error) != kOk || !memos->Unlock(kPassword)) {
      return false;
    }
    std::vector<std::uint32_t> ids;
    memos->database().ForEachRecord([&](const PdbRecord& record) { ids.push_back(record.uniqueId); });
    for (std::uint32_t id : ids) memos->database().DeleteRecord(id);
    for (const std::string& text : VersionItems(version)) {
      std::uint32_t id = 0;
      if (memos->AddMemo(text, 0, false, &id, error) != kOk) return false;
    }
    return handheld_->SaveDatabase(kMemoDatabase, memos->database(), error) == kSyncErrNone;
  }
  bool Read(std::vector<std::string>* items, std::string* error) override {
    const SideMemos memos = ReadHandheldMemos(directory_, Keyring{});
    *error = memos.error;
    *items = Texts(memos.live);
    return memos.ok;
  }
  std::string Directory() const override { return directory_; }
  std::vector<std::string> OwnNames() const override {
    return {"handheld.ini", std::string(kMemoDatabase) + ".pdb"};
  }

 private:
  std::string directory_;
  std::unique_ptr<Handheld> handheld_;
};

class UsersWriter : public Writer {
 public:
  explicit UsersWriter(std::string path) : path_(std::move(path)) {}
  bool Open(std::string*) override { return true; }
  bool Save(long version, std::string* error) override {
    std::vector<HotSyncUser> users;
    std::uint32_t id = 1;
    for (const std::string& item : VersionItems(version)) {
      HotSyncUser user;
      user.id = id++;
      // A user name is short: the item's head names the user, its whole text is kept
      // as the name of a value's section, where it round-trips escaped.
      user.name = item.substr(0, std::min<std::size_t>(item.size(), UsersFile::kMaxNameBytes));
      user.directory = "User" + std::to_string(user.id);
      user.values.push_back({item.substr(0, UsersFile::kMaxKeyBytes), "Version", static_cast<std::int32_t>(version)});
      users.push_back(user);
    }
    if (UsersFile::Save(path_, users) == kOk) return true;
    *error = "cannot save " + path_;
    return false;
  }
  bool Read(std::vector<std::string>* items, std::string* error) override {
    std::vector<HotSyncUser> users;
    if (UsersFile::Load(path_, &users) != kOk) {
      *error = "cannot load " + path_;
      return false;
    }
    // Back to the items: every user whole (name, directory, value) or the item is off.
    items->clear();
    for (const HotSyncUser& user : users) {
      if (user.values.size() != 1 || user.directory != "User" + std::to_string(user.id) ||
          user.values[0].section.compare(0, user.name.size(), user.name) != 0) {
        items->push_back("a torn user " + user.name);
        continue;
      }
      items->push_back(user.values[0].section);
      const long version = std::atol(user.name.c_str() + 1);
      if (user.values[0].value != version) items->back() += " (wrong value)";
    }
    std::sort(items->begin(), items->end());
    return true;
  }
  std::string Directory() const override { return fs::path(path_).parent_path(); }
  std::vector<std::string> OwnNames() const override { return {"users.ini"}; }
  std::vector<std::string> Expected(long version) const override {
    std::vector<std::string> items;
    for (const std::string& item : VersionItems(version)) items.push_back(item.substr(0, UsersFile::kMaxKeyBytes));
    std::sort(items.begin(), items.end());
    return items;
  }

 private:
  std::string path_;
};

class WriterKills : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    base_ = testing::TempDir("reliability-writers").Release();
    std::string error;
    // Real files to start from: those a HotSync left.
    ASSERT_TRUE(MakeTemplateWorld(base_ + "/template", &error)) << error;
  }
  static void TearDownTestSuite() { testing::TempDir::RemoveTree(base_); }

  // Runs the kill trials of `writer` under `group`.
  void KillWhileSaving(Writer& writer, const std::string& group) {
    Tally& tally = Group(group);
    std::mt19937_64 random = Generator(group);
    std::string error;
    ASSERT_TRUE(writer.Open(&error)) << error;
    ASSERT_TRUE(writer.Save(0, &error)) << error;
    long current = 0;  // the version on disk
    const long trials = 60L * Scale();
    for (long trial = 0; trial < trials; ++trial) {
      ++tally.trials;
      ++tally.injected;
      int progress[2];
      ASSERT_EQ(pipe2(progress, O_CLOEXEC), 0);
      const pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        close(progress[0]);
        std::string why;
        if (!writer.Open(&why)) _exit(3);
        for (long version = current + 1;; ++version) {
          if (!writer.Save(version, &why)) _exit(4);
          if (write(progress[1], &version, sizeof version) != sizeof version) _exit(5);
        }
      }
      close(progress[1]);
      // Anywhere from before the first save to some saves in.
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
      kill(pid, SIGKILL);
      int status = 0;
      waitpid(pid, &status, 0);
      long returned = current;  // the last version whose save returned
      for (long version; read(progress[0], &version, sizeof version) == sizeof version;) returned = version;
      close(progress[0]);
      if (!WIFSIGNALED(status)) {
        ADD_FAILURE() << group << " trial " << trial << ": the writer stopped by itself (status "
                      << status << ")";
      }

      std::vector<std::string> items;
      const bool read = writer.Read(&items, &error);
      const long found = read ? writer.VersionOf(items) : -1;
      if (found != returned && found != returned + 1) {
        tally.counts.lost += static_cast<long>(VersionItems(returned).size());
        ADD_FAILURE() << group << " trial " << trial << ": after version " << returned
                      << " had been saved the file holds "
                      << (read ? (found < 0 ? "no whole version: " + Join(items) : "version " + std::to_string(found))
                               : "nothing readable: " + error);
        return;  // the next trials would start from a broken file
      }
      // Whatever the killed writer left must not stand in the way of the next save.
      const std::vector<std::string> own = writer.OwnNames();
      std::vector<fs::path> left;
      for (const auto& entry : fs::directory_iterator(writer.Directory())) {
        if (std::find(own.begin(), own.end(), entry.path().filename()) == own.end()) left.push_back(entry.path());
      }
      tally.leftovers += static_cast<long>(left.size());
      current = found + 1;
      std::vector<std::string> again;
      if (!writer.Open(&error) || !writer.Save(current, &error) || !writer.Read(&again, &error) ||
          writer.VersionOf(again) != current) {
        ++tally.counts.lost;
        ADD_FAILURE() << group << " trial " << trial << ": saving after the kill failed: " << error;
        return;
      }
      for (const fs::path& path : left) {
        if (fs::exists(path)) ++tally.leftAfterSave;
        fs::remove(path);  // keeps the directory small
      }
      ++tally.survived;
      ++tally.faults;
    }
  }

  static std::string base_;
};

std::string WriterKills::base_;

TEST_F(WriterKills, RecordFileHoldsOneWholeVersion) {
  const World world = CopyWorld(World{base_ + "/template"}, base_ + "/record");
  fs::create_directories(base_ + "/record-only");
  const std::string path = base_ + "/record-only/record.dat";
  fs::copy_file(world.recordFile(), path);
  RecordFileWriter writer(path);
  KillWhileSaving(writer, "record.dat kill");
}

TEST_F(WriterKills, MemoDatabaseHoldsOneWholeVersion) {
  const World world = CopyWorld(World{base_ + "/template"}, base_ + "/pdb");
  MemoDatabaseWriter writer(world.handheld());
  KillWhileSaving(writer, ".pdb kill");
}

TEST_F(WriterKills, UsersFileHoldsOneWholeVersion) {
  fs::create_directories(base_ + "/users");
  const std::string path = base_ + "/users/users.ini";
  fs::copy_file(World{base_ + "/template"}.usersFile(), path);
  UsersWriter writer(path);
  KillWhileSaving(writer, "users.ini kill");
}

}  // namespace
}  // namespace tallimor::reliability
