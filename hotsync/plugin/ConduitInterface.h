// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// What the HotSync manager and a conduit library such as libTallimorC.so exchange: the
// records of the configuration calls, laid out byte for byte as the manager lays them
// out, the manager's conduit error numbers, and the six exports as a manager looks
// them up with dlsym. It is the platform's header, so a conduit depends on the platform
// and never the other way round; conduit/ConduitEntry.cpp implements the exports and
// the `hotsync` program calls them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "store/ResultCodes.h"

namespace tallimor {

struct SyncPropertiesRecord;

// The HotSync manager's conduit error numbers, as the configuration calls return them.
inline constexpr Result kCondErrUnknownInfoType = 4208;   // GetConduitInfo: no such info type
inline constexpr Result kCondErrNoOutput = 4209;          // output buffer missing
inline constexpr Result kCondErrInfoSize = 4211;          // size is not 4 for a 32-bit value
inline constexpr Result kCondErrNoInput = 4212;           // input (or configuration) record missing
inline constexpr Result kCondErrBadInput = 4213;          // input record of wrong version or size
inline constexpr Result kCondErrNoName = 4214;            // the conduit name could not be loaded
inline constexpr Result kCondErrNoInfoSize = 4215;        // GetConduitInfo: size pointer missing
inline constexpr Result kCondErrNoConfigSize = 4216;      // CfgConduit: size pointer missing
inline constexpr Result kCondErrConfigType = 4217;        // CfgConduit: unsupported configuration type
inline constexpr Result kCondErrConfigSize = 4218;        // configuration record of wrong size
inline constexpr Result kCondErrConfigVersion = 4219;     // configuration record of wrong version

// What GetConduitInfo is asked for.
inline constexpr std::int32_t kConduitInfoName = 0;              // input: ConduitRequestRecord
inline constexpr std::int32_t kConduitInfoDefaultAction = 1;     // 32-bit output
inline constexpr std::int32_t kConduitInfoFrameworkVersion = 2;  // 32-bit output
// The conduit's answers to info types 1 and 2.
inline constexpr std::uint32_t kConduitDefaultAction = 0x10000000;
inline constexpr std::uint32_t kConduitFrameworkVersion = 0;  // no shared GUI framework library

// GetConduitVersion: major 1, minor 2.
inline constexpr std::int32_t kConduitVersion = 0x0102;

// The one configuration type of CfgConduit.
inline constexpr std::int32_t kConduitConfigureAction = 0;

// How long a chosen action holds (the preference of the records below).
inline constexpr std::int32_t kSyncPreferenceDefault = 1;   // from now on
inline constexpr std::int32_t kSyncPreferenceNextOnly = 2;  // the next HotSync only

// The version and sizes the records must carry.
inline constexpr std::uint32_t kConduitRecordVersion = 1;
inline constexpr std::uint32_t kConduitRequestRecordSize = 80;
inline constexpr std::uint32_t kConduitConfigRecordSize = 352;

// Longest user name the records carry, with its NUL.
inline constexpr std::size_t kConduitUserNameSize = 64;

// The input of GetConduitInfo for the conduit name (80 bytes).
struct ConduitRequestRecord {
  std::uint32_t version;                  // 0: must be 1
  std::uint32_t size;                     // 4: must be 80
  std::uint32_t creator;                  // 8
  std::uint32_t userId;                   // 12
  char userName[kConduitUserNameSize];    // 16: NUL-terminated
};
static_assert(sizeof(ConduitRequestRecord) == 80);
static_assert(offsetof(ConduitRequestRecord, userName) == 16);

// The record of the action dialog (352 bytes): the manager fills it for CfgConduit and
// reads the chosen action and its preference back; ConfigureConduit builds one itself.
struct ConduitConfigRecord {
  std::uint32_t version;                  // 0: must be 1
  std::uint32_t size;                     // 4: must be 352
  std::uint32_t creator;                  // 8: 0 = no user context (current settings not shown)
  std::uint32_t userId;                   // 12
  char userName[kConduitUserNameSize];    // 16: NUL-terminated, code page 932
  char pathName[256];                     // 80
  std::int32_t defaultSyncType;           // 336: the permanent action
  std::int32_t nextSyncType;              // 340: the action of the next HotSync
  std::int32_t chosenSyncType;            // 344: written by the dialog on OK
  std::int32_t preference;                // 348: written on OK, kSyncPreference*
};
static_assert(sizeof(ConduitConfigRecord) == 352);
static_assert(offsetof(ConduitConfigRecord, userName) == 16);
static_assert(offsetof(ConduitConfigRecord, pathName) == 80);
static_assert(offsetof(ConduitConfigRecord, defaultSyncType) == 336);
static_assert(offsetof(ConduitConfigRecord, nextSyncType) == 340);
static_assert(offsetof(ConduitConfigRecord, chosenSyncType) == 344);
static_assert(offsetof(ConduitConfigRecord, preference) == 348);

// The manager's sync preference passed to ConfigureConduit (528 bytes); the conduit
// uses only the preference and the sync type.
struct SyncPreferenceRecord {
  char pathName[256];         // 0
  char registry[256];         // 256
  std::uint32_t key;          // 512: the manager's settings handle, unused here
  std::int32_t preference;    // 516: kSyncPreference*
  std::int32_t syncType;      // 520
  std::uint32_t reserved;     // 524
};
static_assert(sizeof(SyncPreferenceRecord) == 528);
static_assert(offsetof(SyncPreferenceRecord, preference) == 516);
static_assert(offsetof(SyncPreferenceRecord, syncType) == 520);

// The manager's progress callback: a line of text to show while the conduit runs.
using ConduitProgressFn = std::int32_t (*)(const char* text);

// The exports, as pointers a manager gets from dlsym.
using OpenConduitFn = std::int32_t (*)(ConduitProgressFn progress,
                                       SyncPropertiesRecord* properties);
using GetConduitNameFn = std::int32_t (*)(char* buffer, std::uint16_t capacity);
using GetConduitVersionFn = std::int32_t (*)();
using GetConduitInfoFn = std::int32_t (*)(std::int32_t infoType, void* input, void* output,
                                          std::uint32_t* size);
using ConfigureConduitFn = std::int32_t (*)(SyncPreferenceRecord* preference);
using CfgConduitFn = std::int32_t (*)(std::int32_t configType, void* record,
                                      std::uint32_t* size);

// The exports' names, in the order of their ordinals.
inline constexpr const char* kConduitExportNames[] = {
    "CfgConduit",     "ConfigureConduit",  "GetConduitInfo",
    "GetConduitName", "GetConduitVersion", "OpenConduit",
};

}  // namespace tallimor
