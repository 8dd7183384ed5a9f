// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Showing text on a terminal or in JSON, shared by the command-line programs: JSON
// string literals of UTF-8 text, and memo text as indented lines that cannot act on
// the terminal. Stored code page 932 text is made UTF-8 first by text/ShownText.h.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace tallimor {

// A JSON string literal of UTF-8 text: quotes, backslashes and control characters
// escaped, every other byte (UTF-8 sequences included) as it is.
std::string JsonUtf8(std::string_view utf8);
// A JSON string literal of raw bytes that need not be UTF-8: as JsonUtf8, and every
// byte outside printable ASCII as \u00XX.
std::string JsonBytes(std::string_view bytes);

// Writes a memo's UTF-8 text as lines starting with "      | ", one per memo line;
// control characters other than tab are shown as \xHH.
void WriteMemoLines(std::string_view utf8, std::ostream& out);

}  // namespace tallimor
