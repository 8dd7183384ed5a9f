// Converts for display: whole-text conversion when the text is valid code page 932,
// otherwise ASCII with every other byte shown by its value.
#include "hotsync/manager/TerminalText.h"

#include <cstdio>

#include "text/CodePage932.h"

namespace tallimor {
namespace {

void AppendByte(std::string& out, unsigned char b) {
  char hex[5];
  std::snprintf(hex, sizeof hex, "\\x%02X", b);
  out += hex;
}

}  // namespace

std::string TerminalText(std::string_view cp932) {
  const Converted<std::string> converted = CodePage932::ToUtf8(cp932);
  std::string out;
  if (converted.ok()) {
    for (unsigned char b : converted.text) {
      if (b < 0x20 || b == 0x7F) {
        AppendByte(out, b);
      } else {
        out += static_cast<char>(b);
      }
    }
    return out;
  }
  for (unsigned char b : cp932) {
    if (b < 0x20 || b >= 0x7F) {
      AppendByte(out, b);
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

}  // namespace tallimor
