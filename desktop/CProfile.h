// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The program's profile, Tallimor.ini: an INI text of sections and keys read and written
// the way a private profile is (section and key names match without regard to case,
// every write reaches the file at once). The file is replaced atomically on each write.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "store/ResultCodes.h"

namespace tallimor {

class CProfile {
 public:
  // A profile kept in the file at `path`; the file and its directory are created by the
  // first write.
  explicit CProfile(std::string path);

  CProfile(const CProfile&) = delete;
  CProfile& operator=(const CProfile&) = delete;

  const std::string& Path() const { return path_; }

  // The value of `key` in `section`, blanks around it removed; nothing when the file,
  // the section or the key is missing.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;

  // Find, or `fallback` when the key is missing.
  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view fallback = {}) const;

  // The value read as atol reads it (leading blanks, optional sign, digits up to the
  // first other character; a text without digits reads as 0), saturated to 32 bits;
  // `fallback` when the key is missing.
  std::int32_t GetInt(std::string_view section, std::string_view key,
                      std::int32_t fallback) const;

  // Sets `key` in `section` to `value`, adding the section and key when missing and
  // keeping every other line of the file. 0, or kErrWrite when the file cannot be
  // replaced (or cannot be read, so that nothing in it is lost), and when a name or the
  // value holds a line break or a name could not be read back as written (blanks at
  // its ends, "]" in a section, "=" in a key, a key that starts with ";", "#" or "[").
  Result WriteString(std::string_view section, std::string_view key, std::string_view value);

  // Largest profile the program reads; a bigger file is neither read nor rewritten.
  static constexpr std::size_t kMaxFileSize = 1 << 20;

 private:
  std::string path_;  // the INI file
};

// atol's reading of `text`, saturated to 32 bits.
std::int32_t ParseAtol(std::string_view text);

}  // namespace tallimor
