// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The CSV writer and its strict reader. The reader walks the bytes once with a small
// state machine; it never allocates more than the fields it has read.
#include "exchange/CsvMemoFormat.h"

#include <array>
#include <string>

namespace tallimor {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::array<std::string_view, 3> kColumns = {"category", "text", "private"};

std::string Quoted(std::string_view text) {
  std::string field = "\"";
  for (const char c : text) {
    if (c == '"') field.push_back('"');
    field.push_back(c);
  }
  field.push_back('"');
  return field;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Reads one row starting at `at`; leaves `at` after its row end. `line` counts the
// line breaks passed. False with *fault set for a malformed row.
bool ReadRow(std::string_view bytes, std::size_t& at, std::size_t& line, std::vector<std::string>* fields,
             ImportFault* fault) {
  fields->assign(1, std::string());
  bool quoted = false;      // inside a quoted field
  bool wasQuoted = false;   // the current field was quoted and has been closed
  while (at < bytes.size()) {
    const char c = bytes[at];
    if (quoted) {
      if (c == '"') {
        if (at + 1 < bytes.size() && bytes[at + 1] == '"') {
          fields->back().push_back('"');
          at += 2;
          continue;
        }
        quoted = false;
        wasQuoted = true;
        ++at;
        continue;
      }
      if (c == '\n') {
        // A CR LF inside a field is a line end of the memo: LF. Every CR before the LF
        // goes, so that no field read holds a CR LF and a field written reads back whole.
        while (!fields->back().empty() && fields->back().back() == '\r') fields->back().pop_back();
        ++line;
      }
      fields->back().push_back(c);
      ++at;
      continue;
    }
    if (c == ',') {
      fields->emplace_back();
      wasQuoted = false;
      ++at;
      continue;
    }
    if (c == '\n' || (c == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n')) {
      at += c == '\n' ? 1 : 2;
      ++line;
      return true;
    }
    if (c == '"') {
      if (!fields->back().empty() || wasQuoted) {
        *fault = ImportFault::kCsvBadQuote;
        return false;
      }
      quoted = true;
      ++at;
      continue;
    }
    if (wasQuoted) {
      *fault = ImportFault::kCsvBadQuote;
      return false;
    }
    fields->back().push_back(c);
    ++at;
  }
  if (quoted) {
    *fault = ImportFault::kCsvUnclosedQuote;
    return false;
  }
  return true;
}

bool ReadPrivate(std::string_view field, bool* value) {
  const std::string word = Lower(Trimmed(field));
  if (word == "true" || word == "1") {
    *value = true;
    return true;
  }
  if (word == "false" || word == "0" || word.empty()) {
    *value = false;
    return true;
  }
  return false;
}

}  // namespace

void WriteCsvMemos(const std::vector<ExchangeMemo>& memos, std::ostream& out) {
  out << kColumns[0] << ',' << kColumns[1] << ',' << kColumns[2] << '\n';
  for (const ExchangeMemo& memo : memos) {
    out << Quoted(memo.category) << ',' << Quoted(memo.text) << ',' << (memo.isPrivate ? "true" : "false") << '\n';
  }
}

bool ReadCsvMemos(std::string_view bytes, std::vector<ExchangeMemo>* memos, ImportProblem* problem) {
  memos->clear();
  *problem = ImportProblem{};
  auto fail = [&](ImportFault fault, std::size_t memo, std::size_t line) {
    memos->clear();
    *problem = ImportProblem{fault, memo, line, 0};
    return false;
  };
  if (bytes.size() > kMaxImportFileBytes) return fail(ImportFault::kFileTooLarge, 0, 0);
  if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) bytes.remove_prefix(kByteOrderMark.size());

  std::size_t at = 0;
  std::size_t line = 1;
  std::vector<std::string> fields;
  ImportFault fault = ImportFault::kNone;
  if (!ReadRow(bytes, at, line, &fields, &fault)) return fail(fault, 0, line);
  std::array<std::size_t, kColumns.size()> column{};
  std::array<bool, kColumns.size()> seen{};
  if (fields.size() != kColumns.size()) return fail(ImportFault::kCsvNoHeader, 0, 1);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::string name = Lower(Trimmed(fields[i]));
    std::size_t which = 0;
    while (which < kColumns.size() && kColumns[which] != name) ++which;
    if (which == kColumns.size() || seen[which]) return fail(ImportFault::kCsvNoHeader, 0, 1);
    seen[which] = true;
    column[which] = i;
  }

  while (at < bytes.size()) {
    const std::size_t rowLine = line;
    if (!ReadRow(bytes, at, line, &fields, &fault)) return fail(fault, memos->size() + 1, line);
    if (fields.size() == 1 && fields[0].empty()) continue;  // an empty line between rows
    const std::size_t number = memos->size() + 1;
    if (number > kMaxImportedMemos) return fail(ImportFault::kTooManyMemos, number, rowLine);
    if (fields.size() != kColumns.size()) return fail(ImportFault::kCsvFieldCount, number, rowLine);
    ExchangeMemo memo;
    memo.category = std::move(fields[column[0]]);
    if (Trimmed(memo.category).empty()) memo.category = kUnfiledCategoryName;
    memo.text = std::move(fields[column[1]]);
    if (!ReadPrivate(fields[column[2]], &memo.isPrivate)) return fail(ImportFault::kCsvBadPrivate, number, rowLine);
    memos->push_back(std::move(memo));
  }
  return true;
}

}  // namespace tallimor
