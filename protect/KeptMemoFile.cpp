// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a file of kept memos with the store's own reader, keyed with the previous
// password. The reader is a protected store of its own that is never marked changed,
// so it writes nothing when it goes; a file read only in part is refused as a whole,
// since merging part of it and then removing it would lose the rest.
#include "protect/KeptMemoFile.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "protect/CProtectedRecordFile.h"
#include "protect/StoredMemo.h"
#include "store/FileDirectory.h"
#include "store/FileSystem.h"

namespace tallimor {
namespace {

constexpr char kKeptPrefix[] = "record";
constexpr char kKeptSuffix[] = ".OLD";

// The order the conduit writes kept files in: record.OLD is 1, record-N.OLD is N;
// any other name sorts after them (0).
unsigned long KeptFileNumber(const std::string& name) {
  const std::string middle =
      name.substr(sizeof kKeptPrefix - 1, name.size() - (sizeof kKeptPrefix - 1) - (sizeof kKeptSuffix - 1));
  if (middle.empty()) return 1;
  if (middle.size() < 2 || middle.size() > 10 || middle[0] != '-' || middle[1] == '0') return 0;
  unsigned long number = 0;
  for (std::size_t i = 1; i < middle.size(); ++i) {
    if (middle[i] < '0' || middle[i] > '9') return 0;
    number = number * 10 + static_cast<unsigned long>(middle[i] - '0');
  }
  return number >= 2 ? number : 0;
}

bool IsKeptFileName(const std::string& name) {
  const std::size_t prefix = sizeof kKeptPrefix - 1;
  const std::size_t suffix = sizeof kKeptSuffix - 1;
  return name.size() >= prefix + suffix && name.compare(0, prefix, kKeptPrefix) == 0 &&
         name.compare(name.size() - suffix, suffix, kKeptSuffix) == 0;
}

// Load results after which every record of the file was read: only the category table
// may be missing, and the memos then all go to Unfiled.
bool ReadWhole(Result loaded) {
  return loaded == kOk || loaded == kErrNoAppInfoForCategories || loaded == kErrCategoryTableShort;
}

const std::string kNoName;

}  // namespace

std::vector<std::string> KeptMemoFile::FindBeside(const std::string& dataPath) {
  std::vector<std::string> found;
  const std::string directory = DirectoryOf(dataPath);
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return found;
  std::vector<std::pair<unsigned long, std::string>> named;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (!IsKeptFileName(name)) continue;
    const std::string path = directory + "/" + name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    const unsigned long number = KeptFileNumber(name);
    named.emplace_back(number == 0 ? ~0UL : number, name);
  }
  ::closedir(dir);
  std::sort(named.begin(), named.end());
  for (const auto& [number, name] : named) found.push_back(directory + "/" + name);
  return found;
}

KeptMemoFile::KeptMemoFile(std::string path) : path_(std::move(path)) {}

KeptMemoFile::~KeptMemoFile() {
  WipeMemos();
  WipeSecret(info_.digest.data(), info_.digest.size());
}

void KeptMemoFile::WipeMemos() {
  for (KeptMemo& memo : memos_) WipeSecret(memo.text);
  memos_.clear();
}

Result KeptMemoFile::Inspect() {
  info_ = PasswordInfo{};
  CProtectedRecordFile probe(path_, nullptr);
  const Result loaded = probe.Load();
  probe.SetDirty(false);
  if (!ReadWhole(loaded)) return kErrKeptFileUnreadable;
  if (const InfoBlock* appInfo = probe.AppInfo()) info_ = ReadPasswordInfo(appInfo->Data(), appInfo->Used());
  return kOk;
}

bool KeptMemoFile::CheckPassword(const char* password) const {
  return !info_.IsSet() || PasswordMatches(password, info_.digest);
}

Result KeptMemoFile::Read(const char* password) {
  WipeMemos();
  for (std::string& name : categoryNames_) name.clear();
  // The digest is taken from the file as it is now, not from an earlier look.
  const Result inspected = Inspect();
  if (inspected != kOk) return inspected;
  if (!CheckPassword(password)) return kErrKeptPasswordWrong;

  CProtectedRecordFile kept(path_, NeedsPassword() ? (password == nullptr ? "" : password) : nullptr);
  const Result loaded = kept.Load();
  // Nothing here changes the kept store; it must never write the file back.
  kept.SetDirty(false);
  if (CPCategoryTable* table = kept.Categories()) table->SetDirty(false);
  if (!ReadWhole(loaded)) return kErrKeptFileUnreadable;
  // The file read the second time must be the one whose digest was checked.
  const InfoBlock* appInfo = kept.AppInfo();
  PasswordInfo now = appInfo ? ReadPasswordInfo(appInfo->Data(), appInfo->Used()) : PasswordInfo{};
  const bool sameDigest = now.digest == info_.digest;
  WipeSecret(now.digest.data(), now.digest.size());
  if (!sameDigest) return kErrKeptFileUnreadable;

  try {
    if (const CPCategoryTable* table = kept.Categories()) {
      for (std::int32_t index = 0; index < kCategoryCount; ++index) {
        const CPCategory* category = table->At(index);
        if (category != nullptr && category->Name() != nullptr) categoryNames_[static_cast<std::size_t>(index)] = category->Name();
      }
    }
    memos_.reserve(static_cast<std::size_t>(kept.RecordCount()));
    for (CPRecord* record = kept.FirstRecord(); record != nullptr; record = kept.NextRecord()) {
      KeptMemo memo;
      memo.id = record->Id();
      memo.category = record->Category();
      memo.status = record->Status();
      memo.isPrivate = record->IsPrivate();
      memo.text = std::string(StoredMemoText(*record));
      memos_.push_back(std::move(memo));
    }
  } catch (const std::bad_alloc&) {
    WipeMemos();
    return kErrOutOfMemory;
  }
  return kOk;
}

const std::string& KeptMemoFile::CategoryName(std::int32_t index) const {
  if (index < 0 || index >= kCategoryCount) return kNoName;
  return categoryNames_[static_cast<std::size_t>(index)];
}

Result KeptMemoFile::Remove() {
  if (FileSystem::Default()->RemoveFile(path_, nullptr) != kOk) return kErrWrite;
  return kOk;
}

std::string KeptMemoFile::FileName() const {
  const std::size_t slash = path_.rfind('/');
  return slash == std::string::npos ? path_ : path_.substr(slash + 1);
}

}  // namespace tallimor
