// Showing stored text on a terminal or in JSON, shared by the command-line programs:
// code page 932 bytes as UTF-8 (with U+FFFD for bytes that are no character), JSON
// string literals of UTF-8 text, and memo text as indented lines that cannot act on
// the terminal.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace tallimor {

// Code page 932 bytes as UTF-8 for display: every byte that does not start a valid
// code becomes U+FFFD and the conversion goes on after it. Sets *lossy when that
// happened (it is left alone otherwise).
std::string DisplayUtf8(std::string_view cp932, bool* lossy);

// A JSON string literal of UTF-8 text: quotes, backslashes and control characters
// escaped, every other byte (UTF-8 sequences included) as it is.
std::string JsonUtf8(std::string_view utf8);

// Writes a memo's UTF-8 text as lines starting with "      | ", one per memo line;
// control characters other than tab are shown as \xNN.
void WriteMemoLines(std::string_view utf8, std::ostream& out);

}  // namespace tallimor
