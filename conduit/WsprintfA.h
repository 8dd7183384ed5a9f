// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// A formatter that writes what wsprintfA writes, for the conduit's message texts,
// whose placeholders ("%1s", "%2u", "%4d") are wsprintfA's: the digit is a
// minimum field width, not an argument position. Arguments are typed values
// rather than a C variable argument list, so a wrong argument cannot crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace tallimor {

// One argument: a 32-bit number (taken as wsprintfA takes its 32-bit stack slot)
// or a NUL-terminated text (null prints "(null)").
class WsprintfArg {
 public:
  WsprintfArg(std::int32_t number) : number_(static_cast<std::uint32_t>(number)) {}
  WsprintfArg(std::uint32_t number) : number_(number) {}
  WsprintfArg(const char* text) : text_(text), isText_(true) {}
  WsprintfArg(const std::string& text) : text_(text.c_str()), isText_(true) {}

  bool isText() const { return isText_; }
  std::uint32_t number() const { return number_; }
  const char* text() const { return text_; }

 private:
  std::uint32_t number_ = 0;
  const char* text_ = nullptr;
  bool isText_ = false;
};

// Largest output of wsprintfA, with its NUL.
inline constexpr std::size_t kWsprintfMax = 1024;

// Formats into buffer of capacity bytes (at most kWsprintfMax are used) and returns
// the number of bytes written without the NUL; the output always ends in a NUL
// when capacity > 0 and is cut at a character boundary when it does not fit.
// Conversions: %[-][#][0][width][.precision][h|l]type with type c, C, d, i, u, x, X,
// s, S, and %% for '%'. '-' aligns left, '0' pads numbers with zeros, '#' puts 0x
// (0X) before non-zero hexadecimal numbers, precision is the most characters of a
// text or the fewest digits of a number, 'h' takes a number as 16 bits. Any other
// type letter prints nothing and takes no argument, and that character is written
// as text ("%l." writes "."). A missing argument prints nothing; a number given to
// %s prints in decimal and a text given to a number conversion prints as 0.
int FormatWsprintfA(char* buffer, std::size_t capacity, const char* format,
                    std::initializer_list<WsprintfArg> args);

}  // namespace tallimor
