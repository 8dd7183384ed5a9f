// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The project's INI texts (the HotSync users file, the emulated handheld's identity,
// the desktop profile) as the lines they are made of. Reading keeps every line and
// its line end, so that a program that edits one value can write the rest back byte
// for byte; the line helpers say what a line is, the same way for every reader. What
// a section or key means, and which lines are faults, stays with each format's class.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tallimor {

class IniDocument {
 public:
  struct Line {
    std::string text;    // without its line end
    std::string ending;  // "\n", "\r\n", or "" for a last line without one
  };

  // What a "[name]" line says: the name between the brackets, blanks around it
  // removed, and whether the line is closed with nothing but a comment after the ']'.
  struct SectionLine {
    std::string_view name;
    bool wellFormed = true;
  };

  IniDocument() = default;
  // Splits `text` into lines at each '\n'; a '\r' before it belongs to the line end.
  // A UTF-8 byte order mark at the start is set aside and written back by Text().
  explicit IniDocument(std::string_view text);

  // The text again, with every edit made to the lines.
  std::string Text() const;

  bool byteOrderMark() const { return byteOrderMark_; }
  const std::vector<Line>& lines() const { return lines_; }
  std::vector<Line>& lines() { return lines_; }

  // `text` without the blanks (space, tab, carriage return) at its ends.
  static std::string_view Trim(std::string_view text);
  // Whether a trimmed line is a comment ('#' or ';' first).
  static bool IsComment(std::string_view trimmed);
  // Whether a line starts a section ('[' first once trimmed).
  static bool IsSectionLine(std::string_view text);
  // Reads a section line. REQUIRES: IsSectionLine(text).
  static SectionLine ReadSectionLine(std::string_view text);
  // Splits a "key = value" line, both trimmed; false for blank lines, comments,
  // section lines and lines without '='.
  static bool KeyLine(std::string_view text, std::string_view* key, std::string_view* value);

 private:
  bool byteOrderMark_ = false;  // whether the text started with one
  std::vector<Line> lines_;
};

}  // namespace tallimor
