// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The wsprintfA-compatible formatter. Each conversion is parsed into a spec, its
// digits or text are produced, and the field is padded to its width; output
// beyond the buffer (or wsprintfA's own 1024-byte limit) is cut, never overrun.
#include "conduit/WsprintfA.h"

#include <algorithm>
#include <cstring>

#include "store/Cp932Bytes.h"

namespace tallimor {
namespace {

struct Spec {
  bool left = false;
  bool prefix = false;
  bool zero = false;
  std::size_t width = 0;
  std::size_t precision = 0;
  bool hasPrecision = false;
  bool shortNumber = false;
  char type = 0;
};

// Reads "[-#0]*[width][.precision][h|l|w]" after a '%'; stops at the type letter.
const char* ParseSpec(const char* p, Spec* spec) {
  for (;; ++p) {
    if (*p == '-') {
      spec->left = true;
    } else if (*p == '#') {
      spec->prefix = true;
    } else if (*p == '0') {
      spec->zero = true;
    } else {
      break;
    }
  }
  while (*p >= '0' && *p <= '9') {
    spec->width = std::min<std::size_t>(spec->width * 10 + static_cast<std::size_t>(*p - '0'),
                                        kWsprintfMax);
    ++p;
  }
  if (*p == '.') {
    spec->hasPrecision = true;
    ++p;
    while (*p >= '0' && *p <= '9') {
      spec->precision = std::min<std::size_t>(
          spec->precision * 10 + static_cast<std::size_t>(*p - '0'), kWsprintfMax);
      ++p;
    }
  }
  if (*p == 'h') {
    spec->shortNumber = true;
    ++p;
  } else if (*p == 'l' || *p == 'w') {
    ++p;
  }
  spec->type = *p;
  return p;
}

std::string Digits(std::uint32_t value, unsigned base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string out;
  do {
    out.insert(out.begin(), digits[value % base]);
    value /= base;
  } while (value != 0);
  return out;
}

// The text of one numeric conversion without padding to the width; sign and
// prefix are returned apart so that zero padding goes between them and the digits.
void Number(const Spec& spec, std::uint32_t raw, std::string* lead, std::string* digits) {
  if (spec.type == 'd' || spec.type == 'i') {
    const std::int32_t value = spec.shortNumber ? static_cast<std::int16_t>(raw)
                                                : static_cast<std::int32_t>(raw);
    const std::uint32_t magnitude =
        value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    if (value < 0) *lead = "-";
    *digits = Digits(magnitude, 10, false);
  } else {
    const std::uint32_t value = spec.shortNumber ? static_cast<std::uint16_t>(raw) : raw;
    const bool hex = spec.type == 'x' || spec.type == 'X';
    if (hex && spec.prefix && value != 0) *lead = spec.type == 'X' ? "0X" : "0x";
    *digits = Digits(value, hex ? 16 : 10, spec.type == 'X');
  }
  if (spec.hasPrecision && digits->size() < spec.precision) {
    digits->insert(0, spec.precision - digits->size(), '0');
  }
}

}  // namespace

int FormatWsprintfA(char* buffer, std::size_t capacity, const char* format,
                    std::initializer_list<WsprintfArg> args) {
  if (buffer == nullptr || capacity == 0) return 0;
  std::string out;
  const WsprintfArg* next = args.begin();
  auto take = [&]() -> const WsprintfArg* { return next != args.end() ? next++ : nullptr; };

  for (const char* p = format == nullptr ? "" : format; *p != '\0' && out.size() < kWsprintfMax;
       ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    if (p[1] == '%') {
      out += '%';
      ++p;
      continue;
    }
    Spec spec;
    const char* type = ParseSpec(p + 1, &spec);
    std::string lead;
    std::string body;
    bool numeric = false;
    switch (spec.type) {
      case 'c':
      case 'C': {
        const WsprintfArg* arg = take();
        if (arg != nullptr) {
          const char c = arg->isText() ? (arg->text() ? arg->text()[0] : '\0')
                                       : static_cast<char>(arg->number());
          if (c != '\0') body = c;
        }
        break;
      }
      case 's':
      case 'S': {
        const WsprintfArg* arg = take();
        if (arg != nullptr && arg->isText()) {
          const char* text = arg->text() != nullptr ? arg->text() : "(null)";
          const std::size_t limit = spec.hasPrecision ? spec.precision : kWsprintfMax;
          body.assign(text, Cp932PrefixLength(text, limit));
        } else if (arg != nullptr) {
          body = std::to_string(static_cast<std::int32_t>(arg->number()));
        }
        break;
      }
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X': {
        const WsprintfArg* arg = take();
        if (arg != nullptr) {
          numeric = true;
          Number(spec, arg->isText() ? 0 : arg->number(), &lead, &body);
        }
        break;
      }
      default:
        // Not a conversion: nothing is printed, no argument is taken, and the
        // character is left to be copied as text (or, at the end, ends the loop).
        p = type - 1;
        continue;
    }
    p = type;
    const std::size_t length = lead.size() + body.size();
    const std::size_t pad = spec.width > length ? spec.width - length : 0;
    if (spec.left) {
      out += lead + body;
      out.append(pad, ' ');
    } else if (spec.zero && numeric) {
      out += lead;
      out.append(pad, '0');
      out += body;
    } else {
      out.append(pad, ' ');
      out += lead + body;
    }
  }

  const std::size_t limit = std::min(capacity, kWsprintfMax) - 1;
  const std::size_t n = out.size() <= limit ? out.size() : Cp932PrefixLength(out.c_str(), limit);
  std::memcpy(buffer, out.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

}  // namespace tallimor
