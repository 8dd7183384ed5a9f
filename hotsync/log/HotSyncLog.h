// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The HotSync log file of one user, as the HotSync program keeps it: it opens and
// closes a run, lists the entries of the run, and reads the whole log back. The
// entries themselves are added through the log library calls of HsLog.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hotsync/log/LogFormat.h"
#include "store/ResultCodes.h"

namespace tallimor {

class HotSyncLog {
 public:
  // Name of the log file in the user's HotSync directory.
  static constexpr const char* kFileName = "HotSync.log";
  // Environment variable that names the open run ("<offset>:<path>") to the log
  // library, so that every copy of it in this process, and any process started
  // from it, adds its entries to the same run.
  static constexpr const char* kRunVariable = "TALLIMOR_HOTSYNC_LOG";
  // Most bytes read from the end of the log by ReadRuns; older runs are not shown.
  static constexpr std::uint64_t kMaxRead = 8u << 20;

  // The log of the user whose HotSync directory is userDirectory ("<root><user
  // directory>", with or without a trailing '/'). Nothing is opened yet.
  explicit HotSyncLog(std::string_view userDirectory);
  // Ends an open run as failed.
  ~HotSyncLog();

  HotSyncLog(const HotSyncLog&) = delete;
  HotSyncLog& operator=(const HotSyncLog&) = delete;

  const std::string& path() const { return path_; }
  bool running() const { return running_; }

  // Appends the start marker of a run and directs the log library's entries to it.
  // REQUIRES: no run of this object is open. The user directory must exist.
  Result BeginRun();
  // Appends the end marker (completed or failed) and stops directing entries here.
  // Does nothing without an open run.
  Result EndRun(bool completed);

  // The entries added since the last BeginRun, in order; empty before any run.
  Result RunEntries(std::vector<LogEntry>* entries) const;
  // Every run in the log file, oldest first; a missing file gives no runs and 0.
  // At most the last kMaxRead bytes are read.
  Result ReadRuns(std::vector<LogRun>* runs) const;

  // Appends one whole line with a single write to the end of the file, creating it
  // (mode 0600) if needed, so that lines of concurrent writers never interleave
  // and earlier runs are never touched. Sets *offset (if given) to where it went.
  static Result AppendLine(const std::string& path, std::string_view line,
                           std::uint64_t* offset = nullptr);
  // Reads up to maxBytes of the file from offset on into *data (cleared first).
  // A missing file or an offset at or past the end gives no bytes and 0.
  static Result ReadFrom(const std::string& path, std::uint64_t offset,
                         std::uint64_t maxBytes, std::string* data);

 private:
  std::string path_;             // <user directory>/HotSync.log
  std::uint64_t runStart_ = 0;   // file offset of the open (or last) run's start marker
  bool running_ = false;         // a run is open
  bool hadRun_ = false;          // BeginRun succeeded at least once
};

}  // namespace tallimor
