// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The conduit's string resources: every text the conduit shows or logs, by its
// resource id, and the loading of one into a caller's buffer as LoadStringA does.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tallimor {

// Ids of the conduit's strings.
inline constexpr std::int32_t kStrConduitName = 1;
inline constexpr std::int32_t kStrHandheldPurgeFailed = 3316;
inline constexpr std::int32_t kStrHandheldMoveFailed = 3320;
inline constexpr std::int32_t kStrHandheldCategoryLimit = 3323;
inline constexpr std::int32_t kStrHandheldCategoryDeleted = 3325;
inline constexpr std::int32_t kStrModifiedBoth = 3328;
inline constexpr std::int32_t kStrModifiedDeleted = 3334;
inline constexpr std::int32_t kStrHandheldResetFailed = 3348;
inline constexpr std::int32_t kStrFatalError = 3362;
inline constexpr std::int32_t kStrDesktopPurgeFailed = 3363;
inline constexpr std::int32_t kStrDesktopSaveFailed = 3364;
inline constexpr std::int32_t kStrDesktopResetFailed = 3365;
inline constexpr std::int32_t kStrRemoteCloseFailed = 3366;
inline constexpr std::int32_t kStrLocalCloseFailed = 3367;
inline constexpr std::int32_t kStrDesktopCategoryDeleted = 3368;
inline constexpr std::int32_t kStrDesktopMoveFailed = 3369;
inline constexpr std::int32_t kStrDesktopCategoryLimit = 3370;
inline constexpr std::int32_t kStrDatabaseLong = 3371;
inline constexpr std::int32_t kStrDatabaseShort = 3372;
inline constexpr std::int32_t kStrDesktopCreateFailed = 3373;
inline constexpr std::int32_t kStrHandheldCreateFailed = 3374;
inline constexpr std::int32_t kStrDesktopAddFailed = 3375;
inline constexpr std::int32_t kStrHandheldAddFailed = 3376;
inline constexpr std::int32_t kStrDesktopReadFailed = 3377;
inline constexpr std::int32_t kStrHandheldReadFailed = 3378;
inline constexpr std::int32_t kStrRecordById = 3379;
inline constexpr std::int32_t kStrRecordByIndex = 3380;
inline constexpr std::int32_t kStrJournalRolledForward = 3390;
inline constexpr std::int32_t kStrJournalRolledBack = 3391;
inline constexpr std::int32_t kStrFirstSyncMerged = 3392;
inline constexpr std::int32_t kStrPasswordChangedKept = 3393;
inline constexpr std::int32_t kStrPasswordChanged = 3394;
inline constexpr std::int32_t kStrMassDeleteRefused = 3395;
inline constexpr std::int32_t kStrBackupSetAside = 3396;
inline constexpr std::int32_t kStrRecordTooLong = 3397;
inline constexpr std::int32_t kStrHandheldAppInfoShort = 3398;
inline constexpr std::int32_t kStrDesktopFileInUse = 3399;
inline constexpr std::int32_t kStrCurrentSettings = 8004;
inline constexpr std::int32_t kStrActionSynchronize = 8005;
inline constexpr std::int32_t kStrActionDesktopOverwrites = 8006;
inline constexpr std::int32_t kStrActionHandheldOverwrites = 8007;
inline constexpr std::int32_t kStrActionNothing = 8008;
inline constexpr std::int32_t kStrActionGroup = 8009;

// One string resource.
struct ConduitString {
  std::int32_t id;
  const char* text;
};

// The whole table, in id order, and its size.
extern const ConduitString kConduitStrings[];
extern const std::size_t kConduitStringCount;

// The text of string id, or nullptr when the conduit has no such string.
const char* FindConduitString(std::int32_t id);

// Copies string id into buffer of capacity bytes as LoadStringA does: at most
// capacity - 1 bytes (never half a double-byte character) and a NUL. Returns the
// number of bytes copied; 0 when there is no such string (buffer then holds "")
// or the capacity is 0 (nothing is written).
int LoadConduitString(std::int32_t id, char* buffer, int capacity);

}  // namespace tallimor
