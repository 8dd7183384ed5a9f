// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Line splitting and line reading shared by the project's INI formats.
#include "store/IniDocument.h"

namespace tallimor {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}  // namespace

IniDocument::IniDocument(std::string_view text) {
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    byteOrderMark_ = true;
    text.remove_prefix(kByteOrderMark.size());
  }
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t eol = text.find('\n', pos);
    Line line;
    if (eol == std::string_view::npos) {
      eol = text.size();
    } else {
      line.ending = "\n";
    }
    std::string_view body = text.substr(pos, eol - pos);
    pos = eol + 1;
    if (!line.ending.empty() && !body.empty() && body.back() == '\r') {
      body.remove_suffix(1);
      line.ending = "\r\n";
    }
    line.text = std::string(body);
    lines_.push_back(std::move(line));
  }
}

std::string IniDocument::Text() const {
  std::string text = byteOrderMark_ ? std::string(kByteOrderMark) : std::string();
  for (const Line& line : lines_) text += line.text + line.ending;
  return text;
}

std::string_view IniDocument::Trim(std::string_view text) {
  while (!text.empty() && Blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && Blank(text.back())) text.remove_suffix(1);
  return text;
}

bool IniDocument::IsComment(std::string_view trimmed) {
  return !trimmed.empty() && (trimmed.front() == '#' || trimmed.front() == ';');
}

bool IniDocument::IsSectionLine(std::string_view text) {
  const std::string_view line = Trim(text);
  return !line.empty() && line.front() == '[';
}

IniDocument::SectionLine IniDocument::ReadSectionLine(std::string_view text) {
  const std::string_view line = Trim(text);
  const std::size_t close = line.find(']');
  SectionLine section;
  section.wellFormed = close != std::string_view::npos;
  section.name = Trim(line.substr(1, section.wellFormed ? close - 1 : line.size() - 1));
  if (section.wellFormed) {
    const std::string_view after = Trim(line.substr(close + 1));
    if (!after.empty() && !IsComment(after)) section.wellFormed = false;
  }
  return section;
}

bool IniDocument::KeyLine(std::string_view text, std::string_view* key, std::string_view* value) {
  const std::string_view line = Trim(text);
  const std::size_t equals = line.find('=');
  if (line.empty() || IsComment(line) || line.front() == '[' || equals == std::string_view::npos) {
    return false;
  }
  *key = Trim(line.substr(0, equals));
  *value = Trim(line.substr(equals + 1));
  return true;
}

}  // namespace tallimor
