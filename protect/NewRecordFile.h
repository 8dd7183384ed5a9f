// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The record.dat that the desktop program makes for a user who has had no HotSync yet.
// It is a real memo database from the start: the handheld memo database's name, creator
// and type, the Unfiled category, and the digest of the password the user typed, so that
// the next login checks that password and the handheld takes the database as its own.
// The file is put in place whole (written beside it, then linked to its name), and never
// over a file that is already there.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "protect/PasswordInfo.h"
#include "store/ResultCodes.h"

namespace tallimor {

// The memo database's identity, as the handheld and the conduit store it.
inline constexpr char kMemoDatabaseName[] = "TallimorDB";
// Four characters as the 32-bit value whose most significant byte is the first one.
inline constexpr std::uint32_t kMemoDatabaseCreator = 0x546C6D72;  // 'Tlmr'
inline constexpr std::uint32_t kMemoDatabaseType = 0x44415441;     // 'DATA'
inline constexpr std::uint16_t kMemoDatabaseAttributes = 0x0008;   // backed up at each HotSync
inline constexpr char kUnfiledCategoryName[] = "Unfiled";

// Handheld time: seconds since 1904-01-01, now.
std::uint32_t PalmTimeNow();

// The bytes of a record file holding no record: the 84-byte header (version 1, the
// identity above, created and modified at `palmNow`) and the app info block, whose data
// is the category table with only Unfiled (index 0, id 0), four zero bytes, `digest`
// (all zero: no password) and an empty hint. kErrOutOfMemory.
Result MakeNewRecordFileImage(const std::array<std::uint8_t, kPasswordDigestSize>& digest,
                              std::uint32_t palmNow, std::vector<std::uint8_t>* image);

// Puts `image` at `path` as a new file, private to the user: written and synced beside
// it, then linked to its name, so that no reader ever sees a part of it. kErrWrite when
// a file is already there (nothing is changed then) or the file cannot be made.
Result PlaceNewFile(const std::string& path, const std::vector<std::uint8_t>& image);

// Removes the file at `path` when it still holds exactly `image`: a file made by
// PlaceNewFile that nothing has been written into since.
void RemoveFileIfUnchanged(const std::string& path, const std::vector<std::uint8_t>& image);

}  // namespace tallimor
