// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// DesktopJournal: the journal beside record.dat, its marks, and the recovery that
// the next HotSync runs first.
#include "conduit/DesktopJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <vector>

#include "conduit/CPDesktopDatabase.h"
#include "conduit/KeptAsideFile.h"
#include "hotsync/pdb/PdbFile.h"  // kPalmEpochOffset
#include "hotsync/plugin/SyncTypes.h"
#include "store/ByteOrder.h"
#include "store/CPRecord.h"
#include "store/FileSystem.h"
#include "store/RecordFileFormat.h"

namespace tallimor {
namespace {

// Where a record file's header keeps its last backup date.
constexpr std::size_t kBackupDateAt = 68;

}  // namespace

DesktopJournal::DesktopJournal(const std::string& desktopPath)
    : desktopPath_(desktopPath), path_(CPDesktopDatabase::WithExtension(desktopPath, kExtension)) {}

bool DesktopJournal::Exists() const {
  struct stat st {};
  return ::lstat(path_.c_str(), &st) == 0;
}

Result DesktopJournal::ReadMark(const std::string& path, std::uint32_t* mark) {
  if (mark == nullptr) return kErrNullArgument;
  // A FIFO put in a file's place is refused, so that it cannot hold the HotSync up.
  const int fd = FileSystem::Default()->OpenRegular(path);
  if (fd < 0) return kErrOpenFailed;
  std::uint8_t header[kRecordFileHeaderSize];
  ssize_t got = -1;
  do {
    got = ::pread(fd, header, sizeof header, 0);
  } while (got < 0 && errno == EINTR);
  ::close(fd);
  if (got != static_cast<ssize_t>(sizeof header)) return kErrReadHeader;
  *mark = DecodeFixed32LE(header + kBackupDateAt);
  return kOk;
}

std::uint32_t DesktopJournal::NextMark(std::uint32_t handheldMark, std::uint32_t desktopMark) {
  const std::uint64_t now = static_cast<std::uint64_t>(std::time(nullptr)) + kPalmEpochOffset;
  std::uint32_t mark = static_cast<std::uint32_t>(now);
  mark = std::max(mark, handheldMark + 1);
  mark = std::max(mark, desktopMark + 1);
  return mark == 0 ? 1 : mark;  // 0 stamps nothing
}

Result DesktopJournal::Recover(bool handheldKnown, std::uint32_t handheldMark,
                               const std::string& backupPath, Outcome* outcome) {
  *outcome = Outcome::kNone;
  if (!Exists()) return kOk;
  std::uint32_t mark = 0;
  const bool readable = ReadMark(path_, &mark) == kOk && mark != 0;
  if (!readable || !handheldKnown || handheldMark != mark) {
    *outcome = Outcome::kRolledBack;
    return Remove();
  }
  // The handheld committed. record.dat may already be the journal's contents, and
  // may since have been changed by the desktop program: it is then left alone.
  std::uint32_t desktopMark = 0;
  const bool written = ReadMark(desktopPath_, &desktopMark) == kOk && desktopMark == mark;
  if (!written) {
    const Result rolled = RollForward();
    if (rolled != kOk) return rolled;
  }
  // The backup is what both sides held at the commit, the journal: later desktop
  // changes on it would make the handheld's copies look changed since.
  if (!CPDesktopDatabase::CopyWhole(path_, backupPath, false)) return kErrBackupFailed;
  *outcome = Outcome::kRolledForward;
  return Remove();
}

namespace {

// A memo's contents as the merge compares them: category and bytes.
bool SameMemo(const CPRecord& a, const CPRecord& b) {
  return a.Category() == b.Category() && a.DataLength() == b.DataLength() &&
         (a.DataLength() == 0 || std::memcmp(a.Data(), b.Data(), a.DataLength()) == 0);
}

// Opens and reads the record file `fileName` in `directory`, keeping it open (locked).
Result ReadHeld(CPDesktopDatabase& database) {
  Result result = database.OpenForSyncType();
  if (result == kOk) result = database.ReadForSync();
  return result;
}

}  // namespace

Result DesktopJournal::RollForward() {
  const std::size_t slash = path_.rfind('/');
  const std::string directory = slash == std::string::npos ? std::string(".") : path_.substr(0, slash);
  const std::string journalName = path_.substr(slash == std::string::npos ? 0 : slash + 1);
  const std::string desktopName = desktopPath_.substr(desktopPath_.rfind('/') + 1);
  // Read with a sync type that never writes on its own.
  constexpr std::uint32_t kCapabilities = kCapCategories | kCapAppInfo;
  CPDesktopDatabase journal(nullptr, kCapabilities, "", journalName.c_str(), directory.c_str(),
                            kSyncDesktopToHandheld4);
  CPDesktopDatabase desktop(nullptr, kCapabilities, "", desktopName.c_str(), directory.c_str(),
                            kSyncDesktopToHandheld4);
  if (ReadHeld(journal) != kOk) return kErrWrite;
  if (ReadHeld(desktop) != kOk) {
    // No desktop file to keep anything of: the journal becomes it whole.
    journal.CloseHandle();
    desktop.CloseHandle();
    return CPDesktopDatabase::CopyWhole(path_, desktopPath_, false) ? kOk : kErrWrite;
  }
  // Under another password (the interrupted HotSync brought the handheld's new one)
  // the desktop's changes cannot join the journal's memos: they are kept aside with
  // the others of that HotSync, enciphered as they are.
  const InfoBlock* desktopInfo = desktop.AppInfo();
  const InfoBlock* journalInfo = journal.AppInfo();
  const bool sameKey =
      desktopInfo == nullptr || journalInfo == nullptr ||
      KeptAsideFile::DigestOf(desktopInfo->Data(), desktopInfo->Used()) ==
          KeptAsideFile::DigestOf(journalInfo->Data(), journalInfo->Used());
  const Result merged = sameKey ? MergeLaterChanges(desktop, journal) : KeepLaterChangesAside(desktop, journal);
  if (merged != kOk) return merged;
  journal.CloseHandle();
  return journal.WriteOver(desktop, StoredFlagsPolicy::kFromRecord);
}

Result DesktopJournal::KeepLaterChangesAside(CPDesktopDatabase& desktop, CPDesktopDatabase& journal) {
  std::vector<CPRecord> changed;
  for (std::int32_t slot = 0; slot < desktop.HighWaterMark(); ++slot) {
    const CPRecord* later = desktop.RecordAt(slot);
    if (later == nullptr || later->Status() == 0 || (later->IsDeleted() && !later->IsArchived())) continue;
    changed.push_back(*later);
  }
  if (changed.empty()) return kOk;
  const InfoBlock& info = *desktop.AppInfo();
  DbBlockInfo block;
  const std::string name = info.Name();
  std::snprintf(block.name, sizeof block.name, "%s", name.c_str());
  block.data = const_cast<std::uint8_t*>(info.Data());
  block.bytesRead = static_cast<std::uint16_t>(info.Used());
  block.bufferSize = block.bytesRead;
  block.reserved = info.Reserved();
  DbDescriptor database{};
  if (const RecordFileHeader* header = journal.Header()) {
    std::snprintf(database.name, sizeof database.name, "%s", header->name);
    database.flags = header->flags;
    database.type = header->type;
    database.creator = header->creator;
  }
  const std::size_t slash = desktopPath_.rfind('/');
  const std::string directory = slash == std::string::npos ? std::string(".") : desktopPath_.substr(0, slash);
  std::string kept;
  return KeptAsideFile(directory, desktopPath_.substr(slash + 1)).Keep(block, database, changed, &kept);
}

Result DesktopJournal::MergeLaterChanges(CPDesktopDatabase& desktop, CPDesktopDatabase& journal) {
  // The desktop file is as the interrupted HotSync read it, plus whatever the desktop
  // program saved since. Its marked changes are put on top of the journal, except those
  // the journal holds already (the HotSync carried them): so a change made before the
  // HotSync is not made twice, and one made after it is not lost.
  const auto holdsMemo = [&journal](const CPRecord& memo) {
    for (std::int32_t slot = 0; slot < journal.HighWaterMark(); ++slot) {
      const CPRecord* held = journal.RecordAt(slot);
      if (held != nullptr && !held->IsDeleted() && SameMemo(*held, memo)) return true;
    }
    return false;
  };
  for (std::int32_t slot = 0; slot < desktop.HighWaterMark(); ++slot) {
    const CPRecord* later = desktop.RecordAt(slot);
    if (later == nullptr || later->Status() == 0) continue;
    const std::int32_t at = later->Id() != 0 ? journal.FindSlotById(later->Id()) : -1;
    const CPRecord* current = at >= 0 ? journal.RecordAt(at) : nullptr;
    CPRecord change(*later);
    Result result = kOk;
    if (later->IsDeleted() || later->IsArchived()) {
      // Only the memo the user saw is deleted: a newer version from the handheld stays.
      if (current == nullptr || !SameMemo(*current, *later)) continue;
      CPRecord gone(*current);
      result = journal.DeleteRecord(gone);
      if (result == kOk) result = journal.AddRecord(change);
    } else if (holdsMemo(*later)) {
      continue;  // carried by the HotSync already
    } else if (current != nullptr) {
      CPRecord replaced(*current);
      change.SetStatus(kStatusModified);
      result = journal.DeleteRecord(replaced);
      if (result == kOk) result = journal.AddRecord(change);
    } else {
      change.SetId(0);
      change.SetStatus(kStatusNew);
      result = journal.AddRecord(change);
    }
    if (result != kOk) return result;
  }
  return kOk;
}

Result DesktopJournal::Remove() {
  if (FileSystem::Default()->RemoveFile(path_, nullptr) != kOk) return kErrWrite;
  return kOk;
}

}  // namespace tallimor
