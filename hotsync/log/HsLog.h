// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The HotSync log library as a conduit calls it: add an entry to the run that the
// HotSync program has open, and ask whether the running conduit has entries yet
// (which decides whether its header line goes in front of its first error).
#pragma once

#include <cstdint>

namespace tallimor {

// Activity codes of log entries. The log stores them with each entry; only the
// conduit start code and the two end codes mean anything to the log itself.
inline constexpr std::int32_t kActivityText = -1;
inline constexpr std::int32_t kActivityModifiedBoth = 0;
inline constexpr std::int32_t kActivityModifiedDeleted = 2;
inline constexpr std::int32_t kActivityCategoryLimit = 3;
inline constexpr std::int32_t kActivityCategoryDeleted = 4;
inline constexpr std::int32_t kActivityMoveFailed = 7;
inline constexpr std::int32_t kActivityHandheldReadFailed = 8;
inline constexpr std::int32_t kActivityHandheldAddFailed = 9;
inline constexpr std::int32_t kActivityHandheldPurgeFailed = 10;
inline constexpr std::int32_t kActivityDesktopAddFailed = 13;
inline constexpr std::int32_t kActivityDesktopSaveFailed = 17;
inline constexpr std::int32_t kActivityHandheldResetFailed = 18;
inline constexpr std::int32_t kActivityConduitStart = 19;    // opens a conduit's part of the run
inline constexpr std::int32_t kActivityConduitEnded = 20;    // also the second start entry
inline constexpr std::int32_t kActivityConduitFailed = 21;
inline constexpr std::int32_t kActivityDesktopFailed = 22;

// A short English name of an activity code, for people reading the log.
const char* ActivityName(std::int32_t activity);

// Adds an entry with the text (NUL-terminated code page 932, at most 512 bytes with
// the NUL; a null text is empty) to the open run. reserved is always 0. Without an
// open run the entry goes to standard error when it has text. Never fails.
void LogAddEntry(const char* text, std::int32_t activity, std::int32_t reserved);

// 0 while the running conduit's part of the run (since the run's start or the last
// conduit start entry) holds no entry other than start and end entries; otherwise 1.
// Without an open run: 1, so no header is written to standard error.
std::int16_t LogConduitHasEntries();

}  // namespace tallimor
