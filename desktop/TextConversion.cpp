// Conversion between Qt strings and code page 932 through the C library's iconv, strict
// in the direction of the stored bytes.
#include "desktop/TextConversion.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace tallimor {
namespace {

// Runs iconv over `input`; false when a character cannot be converted.
bool Convert(const char* to, const char* from, std::string_view input, std::string* output,
             bool replaceInvalid) {
  iconv_t cd = ::iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  output->clear();
  std::vector<char> buffer(input.size() * 4 + 16);
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  bool ok = true;
  while (inLeft > 0) {
    char* out = buffer.data();
    size_t outLeft = buffer.size();
    size_t n = ::iconv(cd, &in, &inLeft, &out, &outLeft);
    output->append(buffer.data(), buffer.size() - outLeft);
    if (n != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    if (!replaceInvalid) {
      ok = false;
      break;
    }
    output->append("\xEF\xBF\xBD");  // U+FFFD in UTF-8
    ++in;
    --inLeft;
  }
  ::iconv_close(cd);
  return ok;
}

}  // namespace

std::optional<std::string> ToCp932(const QString& text) {
  QByteArray utf8 = text.toUtf8();
  std::string bytes;
  if (!Convert("CP932", "UTF-8", std::string_view(utf8.constData(), utf8.size()), &bytes, false))
    return std::nullopt;
  return bytes;
}

QString FromCp932(std::string_view bytes) {
  std::string utf8;
  Convert("UTF-8", "CP932", bytes, &utf8, true);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace tallimor
