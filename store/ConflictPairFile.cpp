// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The pair file: a strict reader of its text (numbers only where numbers belong, no
// value past 32 bits, a bounded number of lines), a writer through AtomicFile.
#include "store/ConflictPairFile.h"

#include <cerrno>
#include <charconv>
#include <fstream>
#include <iterator>

#include "store/AtomicFile.h"

namespace tallimor {
namespace {

// Largest file read: every pair at its longest, with room to spare.
constexpr std::size_t kMaxFileSize = 64 + ConflictPairFile::kMaxPairs * 40;

bool ReadNumber(std::string_view* text, std::uint32_t* value) {
  const char* begin = text->data();
  const char* end = begin + text->size();
  if (begin == end || *begin < '0' || *begin > '9') return false;
  const auto [stop, error] = std::from_chars(begin, end, *value);
  if (error != std::errc()) return false;
  text->remove_prefix(static_cast<std::size_t>(stop - begin));
  return true;
}

bool ParsePair(std::string_view line, ConflictPair* pair) {
  if (!ReadNumber(&line, &pair->mark) || line.empty() || line.front() != ' ') return false;
  line.remove_prefix(1);
  if (!ReadNumber(&line, &pair->handheldId) || line.empty() || line.front() != ' ') return false;
  line.remove_prefix(1);
  return ReadNumber(&line, &pair->desktopId) && line.empty();
}

}  // namespace

std::string ConflictPairFile::PathBeside(const std::string& recordPath) {
  const std::size_t dot = recordPath.rfind('.');
  const std::size_t slash = recordPath.rfind('/');
  const bool inFileName = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (inFileName ? recordPath.substr(0, dot) : recordPath) + kExtension;
}

std::string ConflictPairFile::Format(const std::vector<ConflictPair>& pairs) {
  std::string text = std::string(kFirstLine) + "\n";
  for (const ConflictPair& pair : pairs) {
    text += std::to_string(pair.mark) + " " + std::to_string(pair.handheldId) + " " +
            std::to_string(pair.desktopId) + "\n";
  }
  return text;
}

bool ConflictPairFile::Parse(std::string_view text, std::vector<ConflictPair>* pairs) {
  pairs->clear();
  const std::size_t firstEnd = text.find('\n');
  if (text.substr(0, firstEnd) != kFirstLine) return false;
  text.remove_prefix(firstEnd == std::string_view::npos ? text.size() : firstEnd + 1);
  while (!text.empty() && pairs->size() < kMaxPairs) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ConflictPair pair;
    if (ParsePair(line, &pair)) pairs->push_back(pair);
  }
  return true;
}

Result ConflictPairFile::Read(std::vector<ConflictPair>* pairs) const {
  pairs->clear();
  std::ifstream in(path_, std::ios::binary);
  if (!in) return errno == ENOENT ? kOk : kErrOpenFailed;
  std::string text;
  text.resize(kMaxFileSize + 1);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) return kErrOpenFailed;
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > kMaxFileSize) text.resize(kMaxFileSize);  // the pairs beyond are dropped
  return Parse(text, pairs) ? kOk : kErrReadHeader;
}

Result ConflictPairFile::Write(const std::vector<ConflictPair>& pairs) const {
  std::string error;
  if (pairs.empty()) return AtomicFile::Remove(path_, &error);
  const std::string text = Format(pairs);
  return AtomicFile::Write(path_, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                           &error);
}

}  // namespace tallimor
