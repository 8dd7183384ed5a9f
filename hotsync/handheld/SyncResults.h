// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Result codes of the emulated handheld's Sync Manager library. 16387 (not found /
// no more) is the code that callers test for; the others name each failure apart.
// Communications errors carry bit 0x2000, as callers test with (code & 0x2000).
#pragma once

#include <cstddef>

#include "store/ResultCodes.h"

namespace tallimor {

inline constexpr Result kSyncErrNone = 0;
inline constexpr Result kSyncErrNotConnected = 0x4001;       // no handheld attached, or the conduit's connection is not open
inline constexpr Result kSyncErrBadArgument = 0x4002;        // null pointer, bad name, mode, category or size
inline constexpr Result kSyncErrNotFound = 0x4003;           // 16387: no such database or record, or no more records
inline constexpr Result kSyncErrExists = 0x4004;             // a database of that name already exists
inline constexpr Result kSyncErrBadHandle = 0x4005;          // no database is open under that handle
inline constexpr Result kSyncErrReadOnly = 0x4006;           // a change to a database not opened for writing
inline constexpr Result kSyncErrDatabaseFull = 0x4007;       // 65,535 records already
inline constexpr Result kSyncErrTooLarge = 0x4008;           // record or block above 65,520 bytes
inline constexpr Result kSyncErrBufferTooSmall = 0x4009;     // the caller's buffer cannot hold it; size written back
inline constexpr Result kSyncErrStorage = 0x400A;            // a file of the handheld could not be written or removed
inline constexpr Result kSyncErrCorruptDatabase = 0x400B;    // a .pdb file of the handheld cannot be read
inline constexpr Result kSyncErrDatabaseOpen = 0x400C;       // the database is open already
inline constexpr Result kSyncErrWrongDatabaseKind = 0x400D;  // a record operation on a resource database or back
inline constexpr Result kSyncErrTooManyOpen = 0x400E;        // every handle is in use
inline constexpr Result kSyncErrAlreadyConnected = 0x400F;   // the conduit's connection is open already
inline constexpr Result kSyncErrBusy = 0x4010;               // another program is using the handheld
inline constexpr Result kSyncErrCommLost = 0x2001;           // communications: the link to the handheld is gone

// The largest record or block the Sync Manager moves in one call.
inline constexpr std::size_t kSyncMaxRecordSize = 65520;

// True for a communications error (bit 0x2000 set; -1 is not one).
constexpr bool SyncIsCommsError(Result code) { return code != -1 && (code & 0x2000) != 0; }

// One line of English saying what a Sync Manager result means ("unknown result" otherwise).
const char* SyncResultMeaning(Result code);

}  // namespace tallimor
