// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The plain text writer and reader, line by line; the "%%" escape is the only rule.
#include "exchange/TextMemoFormat.h"

#include <string>

namespace tallimor {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kHeader = "%% ";
constexpr std::string_view kPrivateHeader = "%%* ";
constexpr std::string_view kEscaped = "%%";

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

void WriteTextMemos(const std::vector<ExchangeMemo>& memos, std::ostream& out) {
  for (const ExchangeMemo& memo : memos) {
    out << (memo.isPrivate ? kPrivateHeader : kHeader) << memo.category << '\n';
    std::string_view text = memo.text;
    while (true) {
      const std::size_t end = text.find('\n');
      const std::string_view line = text.substr(0, end);
      if (StartsWith(line, kEscaped)) out << '%';
      out << line << '\n';
      if (end == std::string_view::npos) break;
      text.remove_prefix(end + 1);
    }
  }
}

bool ReadTextMemos(std::string_view bytes, std::vector<ExchangeMemo>* memos, ImportProblem* problem) {
  memos->clear();
  *problem = ImportProblem{};
  auto fail = [&](ImportFault fault, std::size_t memo, std::size_t line) {
    memos->clear();
    *problem = ImportProblem{fault, memo, line, 0};
    return false;
  };
  if (bytes.size() > kMaxImportFileBytes) return fail(ImportFault::kFileTooLarge, 0, 0);
  if (StartsWith(bytes, kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());

  ExchangeMemo* memo = nullptr;
  bool firstLine = true;  // of the current memo: no line end goes before it
  std::size_t lineNumber = 0;
  while (!bytes.empty()) {
    ++lineNumber;
    const std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    // Every CR at a line end goes, not only that of a CR LF: a line read never ends in
    // CR, so what is written again reads back the same.
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    const bool isPrivate = StartsWith(line, kPrivateHeader);
    if (isPrivate || StartsWith(line, kHeader)) {
      if (memos->size() >= kMaxImportedMemos) return fail(ImportFault::kTooManyMemos, memos->size() + 1, lineNumber);
      line.remove_prefix(isPrivate ? kPrivateHeader.size() : kHeader.size());
      memo = &memos->emplace_back();
      memo->category = line.empty() ? std::string(kUnfiledCategoryName) : std::string(line);
      memo->isPrivate = isPrivate;
      firstLine = true;
      continue;
    }
    if (memo == nullptr) return fail(ImportFault::kTextNoHeader, 0, lineNumber);
    if (StartsWith(line, "%%%")) line.remove_prefix(1);
    if (!firstLine) memo->text.push_back('\n');
    memo->text.append(line);
    firstLine = false;
  }
  return true;
}

}  // namespace tallimor
