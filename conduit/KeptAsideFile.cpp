// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// KeptAsideFile: choosing the file by digest, and merging records into it.
#include "conduit/KeptAsideFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "conduit/CPDesktopDatabase.h"
#include "hotsync/plugin/SyncTypes.h"
#include "store/CPDatabase.h"
#include "store/RecordFileFormat.h"

namespace tallimor {
namespace {

// The most kept-aside files one desktop file may have waiting.
constexpr int kMostFiles = 64;

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// The digest of the app info block `database` holds, or none when it has no block.
std::vector<std::uint8_t> DigestHeld(CPDesktopDatabase& database) {
  const InfoBlock* block = database.AppInfo();
  if (block == nullptr) return KeptAsideFile::DigestOf(nullptr, 0);
  return KeptAsideFile::DigestOf(block->Data(), block->Used());
}

// True when `database` holds a record equal to `record` in id, category, private
// flag, status and bytes.
bool Holds(CPDesktopDatabase& database, const CPRecord& record) {
  CPRecord held;
  for (Result r = database.FirstRecord(held); r == kOk; r = database.NextRecord(held)) {
    if (held.Id() == record.Id() && held.Status() == record.Status() && held.Compare(record) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

KeptAsideFile::KeptAsideFile(std::string directory, std::string fileName)
    : directory_(std::move(directory)), fileName_(std::move(fileName)) {}

std::vector<std::uint8_t> KeptAsideFile::DigestOf(const std::uint8_t* data, std::uint32_t length) {
  std::vector<std::uint8_t> digest(kDigestSize, 0);
  if (data != nullptr && length >= kDigestOffset + kDigestSize) {
    std::memcpy(digest.data(), data + kDigestOffset, kDigestSize);
  }
  return digest;
}

std::string KeptAsideFile::NameFor(int n) const {
  const std::string kept = CPDesktopDatabase::WithExtension(fileName_, kExtension);
  if (n == 1) return kept;
  const std::string stem = CPDesktopDatabase::WithExtension(fileName_, "");
  return stem + "-" + std::to_string(n) + kExtension;
}

Result KeptAsideFile::Keep(const DbBlockInfo& appInfo, const DbDescriptor& database,
                           const std::vector<CPRecord>& records, std::string* path) {
  const char* databaseName = database.name;
  const std::vector<std::uint8_t> digest = DigestOf(appInfo.data, appInfo.bytesRead);
  const std::uint32_t capabilities = kCapCategories | kCapAppInfo;
  for (int n = 1; n <= kMostFiles; ++n) {
    const std::string name = NameFor(n);
    *path = CPDesktopDatabase::ComposePath(directory_.c_str(), name.c_str());
    // Read with a sync type that never writes the file: it is written below, whole.
    CPDesktopDatabase kept(nullptr, capabilities, databaseName, name.c_str(), directory_.c_str(),
                           kSyncDesktopToHandheld4);
    const auto makeFresh = [&]() {
      const Result made = kept.SetDatabaseInfo(databaseName, database.flags, database.type, database.creator,
                                               database.version, database.modificationNumber,
                                               database.creationDate, database.modificationDate,
                                               database.backupDate);
      return made == kOk ? kept.SetAppInfo(appInfo) : made;
    };
    bool fresh = !Exists(*path);
    if (fresh) {
      const Result made = makeFresh();
      if (made != kOk) return made;
    } else {
      Result read = kept.OpenForSyncType();
      if (read == kOk) read = kept.ReadForSync();
      // An empty file (left by an earlier version's writer killed half way) holds
      // nothing to keep: it is made anew.
      if (read == kOk && kept.StoredRecordCount() == 0 && kept.AppInfo() == nullptr) {
        kept.CloseHandle();
        const Result made = makeFresh();
        if (made != kOk) return made;
        fresh = true;
      } else {
        // A file that cannot be read whole is never written over: the next name is tried.
        if (read != kOk || DigestHeld(kept) != digest) continue;
        kept.CloseHandle();  // held since the read; written below through a path of its own
      }
    }
    for (const CPRecord& record : records) {
      if (!fresh && Holds(kept, record)) continue;
      CPRecord copy(record);
      const Result added = kept.AddRecord(copy);
      if (added != kOk) return added;
    }
    return kept.WriteCopy(*path, StoredFlagsPolicy::kFromRecord);
  }
  return kErrWrite;
}

}  // namespace tallimor
