// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// How stored code page 932 text is shown where it may not decode: on terminals, in
// the command-line programs' output, in the HotSync log and in the users file. One
// form everywhere: a byte that is no character shows as \xHH (upper-case hex), so
// the byte's value is kept and the text reads back unambiguously where the writer
// escapes a real backslash too. The desktop program builds its widgets' text on the
// same decode step (DecodeCp932Runs).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tallimor {

// Appends the four characters \xHH for `byte`, with upper-case hex digits.
void AppendByteEscape(std::string& out, unsigned char byte);

// The value of a hex digit of either case, or -1 for any other character; for the
// readers of text that AppendByteEscape wrote.
int HexDigitValue(char c);

// Walks `cp932` from the start: `decoded` is called with each longest run that
// decodes, as UTF-8, and `undecodable` with each byte that starts no character of
// the code page (a byte that is none, or a lead byte without its trail byte);
// decoding goes on with the byte after it. Nothing is dropped.
void DecodeCp932Runs(std::string_view cp932, const std::function<void(std::string_view utf8)>& decoded,
                     const std::function<void(unsigned char byte)>& undecodable);

// Whether control characters (below 0x20, and 0x7F) are kept, for text that is
// written out again in a form of its own (memo lines, JSON), or shown as \xHH, so
// that nothing printed can act on a terminal.
enum class ControlCharacters { kKeep, kEscape };

// `cp932` as UTF-8 with each undecodable byte shown as \xHH. When `undecodable` is
// not null, the number of such bytes is added to it.
std::string ShowCp932AsUtf8(std::string_view cp932, ControlCharacters controls = ControlCharacters::kKeep,
                            std::size_t* undecodable = nullptr);

}  // namespace tallimor
