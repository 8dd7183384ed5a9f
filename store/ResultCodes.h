// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The numeric results shared by the record store and the conduit. Every operation
// returns one of these as a 32-bit signed value, 0 for success. Sync Manager results
// are passed through unchanged and are not listed here.
#pragma once

#include <cstdint>

namespace tallimor {

using Result = std::int32_t;

inline constexpr Result kOk = 0;
inline constexpr Result kErrBufferTooSmall = 4353;       // needed size written back
inline constexpr Result kErrOutOfMemory = 4354;
inline constexpr Result kErrNoNameBuffer = 4355;
inline constexpr Result kErrTooLong = 4356;              // name cut to 15 bytes; app data too large
inline constexpr Result kErrBadCategoryIndex = 4357;     // above 15, or nothing at that index
inline constexpr Result kErrNoCategoryName = 4359;
inline constexpr Result kErrCategoryNotFound = 4360;
inline constexpr Result kErrNullArgument = 4361;
inline constexpr Result kErrBadIterationMode = 4363;
inline constexpr Result kErrNotSupported = 4364;
inline constexpr Result kErrAlreadyOpen = 4365;
inline constexpr Result kErrNoAppInfoForCategories = 4366;
inline constexpr Result kErrNoMatch = 4367;
inline constexpr Result kErrNoCategorySupport = 4368;
inline constexpr Result kErrNoRecordList = 4369;
inline constexpr Result kErrUnknownSyncType = 4370;
inline constexpr Result kErrSyncTypeTooLarge = 4371;
inline constexpr Result kErrNotOpen = 4372;
inline constexpr Result kErrOpenFailed = 4373;
inline constexpr Result kErrRecordNotFound = 4374;
inline constexpr Result kErrReadEof = 4375;
inline constexpr Result kErrReadFailed = 4376;
inline constexpr Result kErrReadShort = 4377;
inline constexpr Result kErrFileNotOpen = 4378;
inline constexpr Result kErrNoFileName = 4379;
inline constexpr Result kErrReadHeader = 4380;
inline constexpr Result kErrReadAppInfo = 4381;
inline constexpr Result kErrReadSortInfo = 4382;
inline constexpr Result kErrReadRecordHeader = 4383;
inline constexpr Result kErrWrite = 4384;
inline constexpr Result kErrNoAppInfo = 4385;
inline constexpr Result kErrNoSortInfo = 4386;
inline constexpr Result kErrDesktopFileMissing = 4387;
inline constexpr Result kErrHandheldDbMissing = 4388;
inline constexpr Result kErrFirstSyncTypeChanged = 4389;
inline constexpr Result kErrBackupFailed = 4390;
inline constexpr Result kErrReorderUnknownId = 4391;
inline constexpr Result kErrReorderCountMismatch = 4392;
inline constexpr Result kErrCategoryTableFull = -2000;
inline constexpr Result kErrCategoryTableShort = -2001;
inline constexpr Result kErrCategoryIdExists = -2002;
inline constexpr Result kErrNoCategoryAtIndex = -2003;
inline constexpr Result kErrRecordCategoryIndex = -2004;

// Codes of the conduit's safety checks, outside the ranges above.
// The HotSync would delete many memos of one side only because the other side lacks
// them; it stopped before changing anything.
inline constexpr Result kErrMassDeleteRefused = -4100;
// The file was changed by another program since it was read here; it was not
// written over, so that nothing the other program wrote is lost.
inline constexpr Result kErrFileChanged = -4101;

// One line of English saying what a result means, for command-line programs and logs.
// Unknown codes (Sync Manager results among them) give "unknown result".
const char* ResultMeaning(Result result);

}  // namespace tallimor
