// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The text format of a user's HotSync log: one line per entry, runs bracketed by
// marker lines. The writer and the reader live here together so that what one
// writes the other reads back byte for byte; nothing else parses the log.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tallimor {

// One entry: when it was added, its activity code and its text (code page 932 bytes).
struct LogEntry {
  std::string time;  // "YYYY-MM-DD HH:MM:SS", local time
  std::int32_t activity = -1;
  std::string text;
};

// One HotSync run of the log, in the order its entries were added.
struct LogRun {
  std::string started;  // time of the start marker; empty for entries found before any marker
  std::string ended;    // time of the end marker; empty while the run has none
  bool completed = false;  // the end marker said the run completed
  std::vector<LogEntry> entries;
};

// Lines of the log file:
//   === HotSync started 2024-05-01 12:34:56 ===
//   2024-05-01 12:34:56  -1 -- Generic Conduit
//   === HotSync ended 2024-05-01 12:35:02 (completed) ===      or "(failed)"
// The activity code is right-aligned in three columns and followed by one space and
// the text (no space when the text is empty). The text is stored as code page 932;
// control bytes, a backslash and a lead byte without its trail byte are written as
// \n, \r, \t, \\ or \xHH, so every entry stays on one line and a viewer that decodes
// code page 932 shows the text as the conduit wrote it.
class LogFormat {
 public:
  // Longest entry text kept, in bytes; the library takes texts of at most 512 bytes
  // with their terminating NUL.
  static constexpr std::size_t kMaxText = 511;

  // The current local time as written in the log.
  static std::string Now();

  // The line (with its newline) of one entry. Text beyond kMaxText bytes is cut
  // at a character boundary.
  static std::string EntryLine(std::string_view time, std::int32_t activity,
                               std::string_view text);
  static std::string RunStartLine(std::string_view time);
  static std::string RunEndLine(std::string_view time, bool completed);

  // Escapes code page 932 text for one line, and the inverse. Unescape accepts any
  // bytes: an escape it does not know is kept as it stands.
  static std::string Escape(std::string_view text);
  static std::string Unescape(std::string_view line);

  // Parses one entry line (without its newline); false when the line is not an entry.
  static bool ParseEntry(std::string_view line, LogEntry* entry);

  // Parses a whole log (or the tail of one) into runs. Lines that are neither
  // markers nor entries are skipped; entries before the first start marker, or
  // after an end marker, form a run of their own with an empty start time.
  // Never fails.
  static std::vector<LogRun> Parse(std::string_view data);

  // Whether byte b may be the second byte of a code page 932 double-byte character.
  static bool IsTrailByte(unsigned char b);

  LogFormat() = delete;
};

}  // namespace tallimor
