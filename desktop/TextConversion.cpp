// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Conversion between Qt strings and code page 932 over the project's own code page 932
// tables, strict in the direction of the stored bytes.
#include "desktop/TextConversion.h"

#include "text/CodePage932.h"
#include "text/ShownText.h"

namespace tallimor {

std::optional<std::string> ToCp932(const QString& text) {
  std::u16string_view utf16(reinterpret_cast<const char16_t*>(text.utf16()),
                            static_cast<size_t>(text.size()));
  Converted<std::string> converted = CodePage932::FromUtf16(utf16);
  if (!converted.ok()) return std::nullopt;
  return std::move(converted.text);
}

QString FromCp932(std::string_view bytes) {
  QString shown;
  DecodeCp932Runs(
      bytes, [&](std::string_view utf8) { shown += QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); },
      [&](unsigned char) { shown += QChar(0xFFFD); });
  return shown;
}

}  // namespace tallimor
