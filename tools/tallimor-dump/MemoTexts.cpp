// Deciphering memo copies for tallimor-dump with the same cipher, byte order and password
// check as the desktop program's protected store, and showing them as UTF-8.
#include "tools/tallimor-dump/MemoTexts.h"

#include <string>
#include <string_view>
#include <vector>

#include "crypto/CBlowfish.h"
#include "desktop/PasswordInfo.h"
#include "desktop/StoredMemo.h"
#include "text/CodePage932.h"

namespace tallimor {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Code page 932 bytes as UTF-8 for display: every byte that does not start a valid code
// becomes U+FFFD and the conversion goes on after it. Sets `lossy` when that happened.
std::string DisplayUtf8(std::string_view bytes, bool* lossy) {
  std::string out;
  while (!bytes.empty()) {
    Converted<std::string> converted = CodePage932::ToUtf8(bytes);
    if (converted.ok()) {
      out += converted.text;
      break;
    }
    const std::size_t good = converted.errorOffset;
    if (good > 0) out += CodePage932::ToUtf8(bytes.substr(0, good)).text;
    out += kReplacement;
    *lossy = true;
    bytes.remove_prefix(good + 1 < bytes.size() ? good + 1 : bytes.size());
  }
  return out;
}

}  // namespace

MemoTextsResult FillMemoTexts(const char* password, DumpedFile& file, std::size_t* undecodable) {
  *undecodable = 0;
  file.hasTexts = false;
  file.texts.clear();
  const InfoBlock* appInfo = file.contents.appInfo.get();
  if (appInfo == nullptr) return MemoTextsResult::kNoPasswordInfo;

  PasswordInfo info = ReadPasswordInfo(appInfo->Data(), appInfo->Used());
  const bool protectedFile = info.IsSet();
  CBlowfish cipher;
  if (protectedFile) {
    const bool matches = PasswordMatches(password, info.digest);
    WipeSecret(info.digest.data(), info.digest.size());
    if (!matches) return MemoTextsResult::kWrongPassword;
    cipher.SetKey(password);
  }

  file.texts.reserve(file.records.size());
  std::vector<std::uint8_t> plain;
  for (const auto& record : file.records) {
    const std::uint8_t* data = record->Data();
    plain.assign(data, data + (data ? record->DataLength() : 0));
    if (protectedFile) cipher.DecryptBytes(plain.data(), plain.size());
    bool lossy = false;
    file.texts.push_back(DisplayUtf8(StoredMemoText(plain.data(), plain.size()), &lossy));
    if (lossy) ++*undecodable;
  }
  WipeSecret(plain.data(), plain.size());
  file.hasTexts = true;
  return protectedFile ? MemoTextsResult::kProtected : MemoTextsResult::kNotProtected;
}

}  // namespace tallimor
