// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The log library calls. The open run is found through the environment (see
// HotSyncLog::kRunVariable) rather than a variable of this library, because the
// conduit may carry its own copy of the library; the file itself is the one record
// of what the run holds, so the header question is answered by reading it.
#include "hotsync/log/HsLog.h"

#include <sys/stat.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "hotsync/log/HotSyncLog.h"
#include "hotsync/log/LogFormat.h"
#include "store/CodeMeaning.h"

namespace tallimor {
namespace {

constexpr CodeMeaning kActivityNames[] = {
    {kActivityText, "text"},
    {kActivityModifiedBoth, "modified on both sides"},
    {kActivityModifiedDeleted, "modified on one side, deleted on the other"},
    {kActivityCategoryLimit, "category limit"},
    {kActivityCategoryDeleted, "category deleted"},
    {kActivityMoveFailed, "records not moved"},
    {kActivityHandheldReadFailed, "handheld read failed"},
    {kActivityHandheldAddFailed, "handheld add failed"},
    {kActivityHandheldPurgeFailed, "handheld purge failed"},
    {kActivityDesktopAddFailed, "desktop add failed"},
    {kActivityDesktopSaveFailed, "desktop save or close failed"},
    {kActivityHandheldResetFailed, "handheld flag reset failed"},
    {kActivityConduitStart, "conduit started"},
    {kActivityConduitEnded, "conduit ended"},
    {kActivityConduitFailed, "conduit failed"},
    {kActivityDesktopFailed, "desktop failure"},
};

// The run named in the environment: the log file and the offset of its start marker.
bool OpenRun(std::string* path, std::uint64_t* start) {
  const char* value = std::getenv(HotSyncLog::kRunVariable);
  if (value == nullptr) return false;
  const char* end = value + std::strlen(value);
  const auto [p, error] = std::from_chars(value, end, *start);
  if (error != std::errc() || p == end || *p != ':' || p + 1 == end) return false;
  path->assign(p + 1, end);
  return true;
}

// What has been read of the open run's file for the header question. The scan
// goes on from where it stopped, so asking before every error stays linear in the
// size of the run.
struct HeaderScan {
  std::string path;
  std::uint64_t start = 0;
  std::uint64_t scanned = 0;  // offset up to which whole lines have been seen
  bool hasEntries = false;
  ino_t inode = 0;            // the file scanned; another file at the path starts over
};

void Take(HeaderScan& scan, const LogEntry& entry) {
  if (entry.activity == kActivityConduitStart) {
    scan.hasEntries = false;
  } else if (entry.activity != kActivityConduitEnded &&
             entry.activity != kActivityConduitFailed) {
    scan.hasEntries = true;
  }
}

}  // namespace

const char* ActivityName(std::int32_t activity) { return FindCodeMeaning(kActivityNames, activity, "other"); }

void LogAddEntry(const char* text, std::int32_t activity, std::int32_t reserved) {
  (void)reserved;
  const std::string_view body = text == nullptr ? std::string_view()
                                                : std::string_view(text, strnlen(text, 512));
  std::string path;
  std::uint64_t start = 0;
  if (!OpenRun(&path, &start)) {
    if (!body.empty()) {
      std::fprintf(stderr, "HotSync log (no run open): %s\n", LogFormat::Escape(body).c_str());
    }
    return;
  }
  // Logging never fails towards its caller: a lost entry is not worth a failed sync.
  (void)HotSyncLog::AppendLine(path, LogFormat::EntryLine(LogFormat::Now(), activity, body));
}

std::int16_t LogConduitHasEntries() {
  static HeaderScan scan;
  std::string path;
  std::uint64_t start = 0;
  if (!OpenRun(&path, &start)) return 1;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  if (scan.path != path || scan.start != start || scan.inode != st.st_ino ||
      static_cast<std::uint64_t>(st.st_size) < scan.scanned) {
    scan = HeaderScan{path, start, start, false, st.st_ino};
  }

  constexpr std::uint64_t kChunk = 1u << 20;
  std::string data;
  for (;;) {
    if (HotSyncLog::ReadFrom(path, scan.scanned, kChunk, &data) != kOk || data.empty()) break;
    const std::size_t lastEol = data.rfind('\n');
    if (lastEol == std::string::npos) {
      if (data.size() < kChunk) break;  // a line still being written
      scan.scanned += data.size();      // a line longer than any entry: skip it
      continue;
    }
    std::string_view lines(data.data(), lastEol + 1);
    while (!lines.empty()) {
      const std::size_t eol = lines.find('\n');
      LogEntry entry;
      if (LogFormat::ParseEntry(lines.substr(0, eol), &entry)) Take(scan, entry);
      lines.remove_prefix(eol + 1);
    }
    scan.scanned += lastEol + 1;
  }
  return scan.hasEntries ? 1 : 0;
}

}  // namespace tallimor
