// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Writer and reader of the HotSync log's lines. The escaping is aware of code page
// 932 double-byte characters: a trail byte may be 0x5C ('\'), which must not be
// mistaken for the start of an escape, so a lead byte is always copied together
// with its trail byte, and a lead byte that has none is escaped.
#include "hotsync/log/LogFormat.h"

#include "store/Cp932Bytes.h"
#include "text/ShownText.h"

#include <algorithm>
#include <charconv>
#include <ctime>

namespace tallimor {
namespace {

constexpr std::string_view kStartPrefix = "=== HotSync started ";
constexpr std::string_view kEndPrefix = "=== HotSync ended ";
constexpr std::string_view kMarkerSuffix = " ===";
constexpr std::string_view kCompleted = " (completed)";
constexpr std::string_view kFailed = " (failed)";
constexpr std::size_t kTimeLength = 19;  // "YYYY-MM-DD HH:MM:SS"

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "YYYY-MM-DD HH:MM:SS" with digits where digits belong.
bool IsTime(std::string_view s) {
  if (s.size() != kTimeLength) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char expected = i == 4 || i == 7 ? '-' : i == 10 ? ' ' : i == 13 || i == 16 ? ':' : '0';
    if (expected == '0' ? !IsDigit(s[i]) : s[i] != expected) return false;
  }
  return true;
}

// The length of text that keeps at most max bytes without splitting a character.
std::size_t CutLength(std::string_view text, std::size_t max) {
  std::size_t i = 0;
  while (i < text.size()) {
    const bool pair = IsCp932LeadByte(static_cast<unsigned char>(text[i])) &&
                      i + 1 < text.size() &&
                      LogFormat::IsTrailByte(static_cast<unsigned char>(text[i + 1]));
    const std::size_t width = pair ? 2 : 1;
    if (i + width > max) break;
    i += width;
  }
  return i;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// A marker line is its prefix, a middle and " ==="; the two must not overlap,
// or "=== HotSync ended ===" would leave a middle of negative length.
bool IsMarker(std::string_view line, std::string_view prefix) {
  return line.size() >= prefix.size() + kMarkerSuffix.size() && StartsWith(line, prefix) &&
         EndsWith(line, kMarkerSuffix);
}

}  // namespace

bool LogFormat::IsTrailByte(unsigned char b) {
  return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

std::string LogFormat::Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(buffer, n);
}

std::string LogFormat::Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (IsCp932LeadByte(b) && i + 1 < text.size() &&
        IsTrailByte(static_cast<unsigned char>(text[i + 1]))) {
      out += text[i];
      out += text[++i];
    } else if (b == '\\') {
      out += "\\\\";
    } else if (b == '\n') {
      out += "\\n";
    } else if (b == '\r') {
      out += "\\r";
    } else if (b == '\t') {
      out += "\\t";
    } else if (b < 0x20 || b == 0x7F || IsCp932LeadByte(b)) {
      AppendByteEscape(out, b);
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string LogFormat::Unescape(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto b = static_cast<unsigned char>(line[i]);
    if (IsCp932LeadByte(b) && i + 1 < line.size()) {
      out += line[i];
      out += line[++i];
      continue;
    }
    if (b != '\\' || i + 1 >= line.size()) {
      out += line[i];
      continue;
    }
    const char e = line[i + 1];
    if (e == '\\' || e == 'n' || e == 'r' || e == 't') {
      out += e == '\\' ? '\\' : e == 'n' ? '\n' : e == 'r' ? '\r' : '\t';
      ++i;
    } else if (e == 'x' && i + 3 < line.size() && HexDigitValue(line[i + 2]) >= 0 &&
               HexDigitValue(line[i + 3]) >= 0) {
      out += static_cast<char>(HexDigitValue(line[i + 2]) * 16 + HexDigitValue(line[i + 3]));
      i += 3;
    } else {
      out += line[i];  // not an escape this writer makes: keep it
    }
  }
  return out;
}

std::string LogFormat::EntryLine(std::string_view time, std::int32_t activity,
                                 std::string_view text) {
  const std::string number = std::to_string(activity);
  std::string line(time);
  line += ' ';
  const std::size_t pad = number.size() < 3 ? 3 - number.size() : 0;
  line.append(pad, ' ');
  line += number;
  const std::string_view kept = text.substr(0, CutLength(text, kMaxText));
  if (!kept.empty()) {
    line += ' ';
    line += Escape(kept);
  }
  line += '\n';
  return line;
}

std::string LogFormat::RunStartLine(std::string_view time) {
  std::string line(kStartPrefix);
  line += time;
  line += kMarkerSuffix;
  line += '\n';
  return line;
}

std::string LogFormat::RunEndLine(std::string_view time, bool completed) {
  std::string line(kEndPrefix);
  line += time;
  line += completed ? kCompleted : kFailed;
  line += kMarkerSuffix;
  line += '\n';
  return line;
}

bool LogFormat::ParseEntry(std::string_view line, LogEntry* entry) {
  if (line.size() < kTimeLength + 2 || !IsTime(line.substr(0, kTimeLength)) ||
      line[kTimeLength] != ' ') {
    return false;
  }
  std::size_t i = kTimeLength;
  while (i < line.size() && line[i] == ' ') ++i;
  std::int32_t activity = 0;
  const char* first = line.data() + i;
  const char* last = line.data() + line.size();
  const auto [end, error] = std::from_chars(first, last, activity);
  if (error != std::errc() || end == first) return false;
  std::string_view rest(end, static_cast<std::size_t>(last - end));
  if (!rest.empty()) {
    if (rest.front() != ' ') return false;
    rest.remove_prefix(1);
  }
  entry->time.assign(line.substr(0, kTimeLength));
  entry->activity = activity;
  entry->text = Unescape(rest);
  return true;
}

std::vector<LogRun> LogFormat::Parse(std::string_view data) {
  std::vector<LogRun> runs;
  std::size_t pos = 0;
  while (pos < data.size()) {
    std::size_t eol = data.find('\n', pos);
    if (eol == std::string_view::npos) eol = data.size();
    std::string_view line = data.substr(pos, eol - pos);
    pos = eol + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    if (IsMarker(line, kStartPrefix)) {
      std::string_view time = line.substr(kStartPrefix.size());
      time.remove_suffix(kMarkerSuffix.size());
      LogRun run;
      run.started.assign(IsTime(time) ? time : std::string_view("?"));
      runs.push_back(std::move(run));
      continue;
    }
    if (IsMarker(line, kEndPrefix)) {
      std::string_view rest = line.substr(kEndPrefix.size());
      rest.remove_suffix(kMarkerSuffix.size());
      if (runs.empty()) runs.emplace_back();
      LogRun& run = runs.back();
      run.completed = EndsWith(rest, kCompleted);
      const std::string_view time = rest.substr(0, std::min(rest.size(), kTimeLength));
      run.ended.assign(IsTime(time) ? time : std::string_view("?"));
      continue;
    }
    LogEntry entry;
    if (!ParseEntry(line, &entry)) continue;
    // Entries after an end marker belong to no run that was started; they get a
    // run of their own rather than being passed off as part of the ended one.
    if (runs.empty() || !runs.back().ended.empty()) runs.emplace_back();
    runs.back().entries.push_back(std::move(entry));
  }
  return runs;
}

}  // namespace tallimor
