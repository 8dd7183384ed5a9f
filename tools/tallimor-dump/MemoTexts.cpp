// Deciphering memo copies for tallimor-dump with the same cipher, byte order and password
// check as the desktop program's protected store, and showing them as UTF-8.
#include "tools/tallimor-dump/MemoTexts.h"

#include <string>
#include <string_view>
#include <vector>

#include "crypto/CBlowfish.h"
#include "protect/PasswordInfo.h"
#include "protect/StoredMemo.h"
#include "text/ShownText.h"
#include "tools/common/TextOutput.h"

namespace tallimor {
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
    std::size_t bytes = 0;
    file.texts.push_back(ShowCp932AsUtf8(StoredMemoText(plain.data(), plain.size()), ControlCharacters::kKeep, &bytes));
    if (bytes > 0) ++*undecodable;
  }
  WipeSecret(plain.data(), plain.size());
  file.hasTexts = true;
  return protectedFile ? MemoTextsResult::kProtected : MemoTextsResult::kNotProtected;
}

}  // namespace tallimor
