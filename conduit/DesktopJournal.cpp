// DesktopJournal: the journal beside record.dat, its marks, and the recovery that
// the next HotSync runs first.
#include "conduit/DesktopJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "conduit/CPDesktopDatabase.h"
#include "store/FileDirectory.h"
#include "store/RecordFileFormat.h"

namespace tallimor {
namespace {

// Seconds from 1904-01-01, the Palm epoch, to 1970-01-01.
constexpr std::uint64_t kPalmEpochOffset = 2082844800u;
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
  // Non-blocking, so that a FIFO put in a file's place cannot hold the HotSync up.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return kErrOpenFailed;
  struct stat st {};
  std::uint8_t header[kRecordFileHeaderSize];
  ssize_t got = -1;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    do {
      got = ::pread(fd, header, sizeof header, 0);
    } while (got < 0 && errno == EINTR);
  }
  ::close(fd);
  if (got != static_cast<ssize_t>(sizeof header)) return kErrReadHeader;
  *mark = static_cast<std::uint32_t>(header[kBackupDateAt]) |
          static_cast<std::uint32_t>(header[kBackupDateAt + 1]) << 8 |
          static_cast<std::uint32_t>(header[kBackupDateAt + 2]) << 16 |
          static_cast<std::uint32_t>(header[kBackupDateAt + 3]) << 24;
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
  if (!written && !CPDesktopDatabase::CopyWhole(path_, desktopPath_, false)) return kErrWrite;
  if (!CPDesktopDatabase::CopyWhole(desktopPath_, backupPath, false)) return kErrBackupFailed;
  *outcome = Outcome::kRolledForward;
  return Remove();
}

Result DesktopJournal::Remove() {
  if (::unlink(path_.c_str()) != 0 && errno != ENOENT) return kErrWrite;
  SyncDirectoryOf(path_);
  return kOk;
}

}  // namespace tallimor
