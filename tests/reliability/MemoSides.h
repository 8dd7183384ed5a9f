// What each side of a HotSync holds, read with the project's own readers: the memos of
// the desktop file (record.dat, deciphered by the protected record store) and of the
// handheld's memo database (deciphered by the handheld memo database), as sorted lists
// of texts, and the comparisons the reliability trials make between such lists.
#pragma once

#include <string>
#include <vector>

namespace tallimor::reliability {

inline constexpr const char* kPassword = "secret";
inline constexpr const char* kMemoDatabase = "TallimorDB";

struct SideMemos {
  bool ok = false;
  std::string error;                  // why the side could not be read
  std::vector<std::string> live;      // texts of memos neither deleted nor archived, sorted
  std::vector<std::string> archived;  // texts of archived memos, sorted
};

// The memos of a protected record file.
SideMemos ReadDesktopMemos(const std::string& recordFile);
// The memos of the memo database of the emulated handheld in `directory`.
SideMemos ReadHandheldMemos(const std::string& directory);

// Texts of `expected` missing from `actual`, counting repeats (both sorted).
std::vector<std::string> Missing(const std::vector<std::string>& expected,
                                 const std::vector<std::string>& actual);

// "a", "b" for diagnostics.
std::string Join(const std::vector<std::string>& texts);

}  // namespace tallimor::reliability
