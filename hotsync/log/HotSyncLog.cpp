// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Run control and reading of a user's HotSync log. Every line is appended with
// one O_APPEND write, so a run never disturbs the runs before it, and the open
// run is named in the environment so that the log library, wherever it is
// linked, writes to the same file.
#include "hotsync/log/HotSyncLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "store/FileSystem.h"

namespace tallimor {
namespace {

// Closes a descriptor when the scope ends.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// A run is read whole unless it is absurdly long; what lies beyond is not shown.
constexpr std::uint64_t kMaxRunRead = 64u << 20;

std::string RunValue(std::uint64_t start, const std::string& path) {
  return std::to_string(start) + ":" + path;
}

}  // namespace

HotSyncLog::HotSyncLog(std::string_view userDirectory) : path_(userDirectory) {
  if (!path_.empty() && path_.back() != '/') path_ += '/';
  path_ += kFileName;
}

HotSyncLog::~HotSyncLog() {
  if (running_) EndRun(false);
}

Result HotSyncLog::AppendLine(const std::string& path, std::string_view line,
                              std::uint64_t* offset) {
  // Without blocking: a named pipe in the log's place is refused, never waited on.
  FileSystem* fs = FileSystem::Default();
  Fd fd(fs->OpenForAppend(path));
  if (fd.get() < 0) return kErrOpenFailed;
  if (fs->WriteAll(fd.get(), line.data(), line.size()) != kOk) return kErrWrite;
  if (offset != nullptr) {
    // With O_APPEND the file position is the end of what this call wrote, whatever
    // other writers did meanwhile.
    const off_t end = ::lseek(fd.get(), 0, SEEK_CUR);
    if (end < 0) return kErrWrite;
    *offset = static_cast<std::uint64_t>(end) - line.size();
  }
  return kOk;
}

Result HotSyncLog::ReadFrom(const std::string& path, std::uint64_t offset,
                            std::uint64_t maxBytes, std::string* data) {
  data->clear();
  Fd fd(FileSystem::Default()->OpenRegular(path));
  if (fd.get() < 0) return errno == ENOENT ? kOk : kErrOpenFailed;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return kErrReadFailed;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (offset >= size) return kOk;
  const std::uint64_t want = std::min(size - offset, maxBytes);
  data->resize(want);
  std::uint64_t got = 0;
  while (got < want) {
    const ssize_t n = ::pread(fd.get(), data->data() + got, want - got,
                              static_cast<off_t>(offset + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      data->clear();
      return kErrReadFailed;
    }
    if (n == 0) break;  // the file shrank meanwhile
    got += static_cast<std::uint64_t>(n);
  }
  data->resize(got);
  return kOk;
}

Result HotSyncLog::BeginRun() {
  if (running_) return kErrAlreadyOpen;
  std::uint64_t start = 0;
  const Result r = AppendLine(path_, LogFormat::RunStartLine(LogFormat::Now()), &start);
  if (r != kOk) return r;
  runStart_ = start;
  running_ = true;
  hadRun_ = true;
  ::setenv(kRunVariable, RunValue(runStart_, path_).c_str(), 1);
  return kOk;
}

Result HotSyncLog::EndRun(bool completed) {
  if (!running_) return kOk;
  running_ = false;
  const char* current = std::getenv(kRunVariable);
  if (current != nullptr && RunValue(runStart_, path_) == current) ::unsetenv(kRunVariable);
  return AppendLine(path_, LogFormat::RunEndLine(LogFormat::Now(), completed));
}

Result HotSyncLog::RunEntries(std::vector<LogEntry>* entries) const {
  entries->clear();
  if (!hadRun_) return kOk;
  std::string data;
  const Result r = ReadFrom(path_, runStart_, kMaxRunRead, &data);
  if (r != kOk) return r;
  std::vector<LogRun> runs = LogFormat::Parse(data);
  // The data starts at this run's start marker, so its entries are the first run's.
  if (!runs.empty()) *entries = std::move(runs.front().entries);
  return kOk;
}

Result HotSyncLog::ReadRuns(std::vector<LogRun>* runs) const {
  runs->clear();
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0) return errno == ENOENT ? kOk : kErrOpenFailed;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  const std::uint64_t from = size > kMaxRead ? size - kMaxRead : 0;
  std::string data;
  const Result r = ReadFrom(path_, from, kMaxRead, &data);
  if (r != kOk) return r;
  std::string_view view(data);
  if (from > 0) {
    // Reading began inside a line: start at the next whole one.
    const std::size_t eol = view.find('\n');
    view.remove_prefix(eol == std::string_view::npos ? view.size() : eol + 1);
  }
  *runs = LogFormat::Parse(view);
  return kOk;
}

}  // namespace tallimor
