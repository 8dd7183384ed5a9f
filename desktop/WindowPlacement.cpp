// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and writing the ten-integer window placement. The reader follows scanf's "%i"
// conversion so that strings written by earlier versions (or by hand, in hex) still
// parse, but refuses numbers that do not fit instead of wrapping them.
#include "desktop/WindowPlacement.h"

#include <array>
#include <cctype>
#include <climits>
#include <cstdio>

namespace tallimor {
namespace {

// Reads one "%i" number at `pos`, advancing it. Nothing when no digits are there.
std::optional<int> ReadInteger(std::string_view text, size_t& pos) {
  while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  unsigned base = 10;
  if (pos < text.size() && text[pos] == '0') {
    base = 8;
    if (pos + 2 < text.size() && (text[pos + 1] == 'x' || text[pos + 1] == 'X') &&
        std::isxdigit(static_cast<unsigned char>(text[pos + 2]))) {
      base = 16;
      pos += 2;
    }
  }
  auto digitValue = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
  };
  long long value = 0;
  size_t start = pos;
  while (pos < text.size() && digitValue(text[pos]) < static_cast<int>(base)) {
    value = value * base + digitValue(text[pos]);
    if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
    ++pos;
  }
  if (pos == start) return std::nullopt;
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) return std::nullopt;
  return static_cast<int>(value);
}

}  // namespace

bool WindowPlacement::ShowsMaximized() const {
  return showCommand == kShowMaximized ||
         (showCommand == kShowMinimized && (flags & kPlacementRestoreToMaximized) != 0);
}

std::optional<WindowPlacement> ParseWindowPlacement(std::string_view text) {
  std::array<int, 10> values{};
  size_t pos = 0;
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) {
      if (pos >= text.size() || text[pos] != ':') return std::nullopt;
      ++pos;
    }
    std::optional<int> value = ReadInteger(text, pos);
    if (!value) return std::nullopt;
    values[i] = *value;
  }
  WindowPlacement p;
  p.flags = values[0];
  p.showCommand = values[1];
  p.minX = values[2];
  p.minY = values[3];
  p.maxX = values[4];
  p.maxY = values[5];
  p.left = values[6];
  p.top = values[7];
  p.right = values[8];
  p.bottom = values[9];
  return p;
}

std::string FormatWindowPlacement(const WindowPlacement& p) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, "%i:%i:%i:%i:%i:%i:%i:%i:%i:%i", p.flags, p.showCommand,
                p.minX, p.minY, p.maxX, p.maxY, p.left, p.top, p.right, p.bottom);
  return buffer;
}

}  // namespace tallimor
