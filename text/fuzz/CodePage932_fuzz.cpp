// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to every conversion direction. Whatever decodes must encode
// again to bytes that decode to the same text (duplicate codes may change the bytes,
// never the text), and the UTF-8 and UTF-16 paths must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/CodePage932.h"

using tallimor::CodePage932;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  const auto utf8 = CodePage932::ToUtf8(input);
  const auto utf16 = CodePage932::ToUtf16(input);
  if (utf8.ok() != utf16.ok() || utf8.errorOffset != utf16.errorOffset) std::abort();
  if (utf8.ok()) {
    const auto bytes = CodePage932::FromUtf8(utf8.text);
    if (!bytes.ok() || CodePage932::FromUtf16(utf16.text).text != bytes.text) std::abort();
    const auto again = CodePage932::ToUtf8(bytes.text);
    if (!again.ok() || again.text != utf8.text) std::abort();
  } else if (utf8.errorOffset >= size) {
    std::abort();
  }

  // The input read as UTF-8: stored bytes, once made, must be stable.
  const auto stored = CodePage932::FromUtf8(input);
  if (stored.ok()) {
    const auto text = CodePage932::ToUtf8(stored.text);
    if (!text.ok() || CodePage932::FromUtf8(text.text).text != stored.text) std::abort();
  } else if (stored.errorOffset >= size) {
    std::abort();
  }
  return 0;
}
