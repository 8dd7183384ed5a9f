// Conversion between Qt strings and code page 932 over the project's own code page 932
// tables, strict in the direction of the stored bytes.
#include "desktop/TextConversion.h"

#include "text/CodePage932.h"

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
  // Each undecodable byte shows as U+FFFD; decoding goes on after it.
  while (!bytes.empty()) {
    Converted<std::u16string> converted = CodePage932::ToUtf16(bytes);
    if (converted.ok()) {
      shown += QString::fromUtf16(converted.text.data(), static_cast<qsizetype>(converted.text.size()));
      break;
    }
    size_t good = converted.errorOffset;
    Converted<std::u16string> prefix = CodePage932::ToUtf16(bytes.substr(0, good));
    shown += QString::fromUtf16(prefix.text.data(), static_cast<qsizetype>(prefix.text.size()));
    shown += QChar(0xFFFD);
    bytes.remove_prefix(good + 1);
  }
  return shown;
}

}  // namespace tallimor
