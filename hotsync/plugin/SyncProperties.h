// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The sync properties that the HotSync manager hands to OpenConduit: the action of
// this HotSync, where the user's desktop file lives, which handheld databases to
// synchronize, and whether this is the handheld's first HotSync with this desktop.
// Fields keep the manager's order and widths; pointers are native. The synchronizer
// keeps its own copy, so the pointed-to names and descriptors need only outlive it.
#pragma once

#include <cstdint>

#include "hotsync/handheld/SyncManager.h"  // DbDescriptor

namespace tallimor {

// Most databases one HotSync names without a descriptor list.
inline constexpr int kSyncMaxRemoteNames = 16;
// Capacity of the two path fields, with the NUL.
inline constexpr int kSyncPathSize = 256;

// Values of SyncPropertiesRecord::firstSync that the conduit tells apart; any other
// value is an ordinary HotSync.
// The handheld's categories all count as changed (none is dropped or renamed from
// the desktop): the desktop side is new to this handheld.
inline constexpr std::int32_t kFirstSyncNewDesktop = 1;
// No category of either side is dropped, the desktop's count as changed (and in
// slow synchronization the handheld's too): the handheld is new to this desktop.
inline constexpr std::int32_t kFirstSyncNewHandheld = 2;

// Bits of SyncPropertiesRecord::options.
// The user allows this HotSync to delete many memos of one side that the other side
// lacks (the conduit otherwise stops before such a HotSync changes anything).
inline constexpr std::uint32_t kSyncOptionAllowMassDelete = 0x0001;

struct SyncPropertiesRecord {
  std::int32_t syncType = 0;                      // the action: kSync* (0 to 7)
  char localDirectory[kSyncPathSize] = {};        // the conduit's directory of this user
  char localFileName[kSyncPathSize] = {};         // the desktop file, e.g. "record.dat"
  char reserved1[kSyncPathSize] = {};             // not used by the conduit
  const char* remoteNames[kSyncMaxRemoteNames] = {};  // database names (without descriptors)
  DbDescriptor** remoteDescriptors = nullptr;     // remoteCount descriptors, or null
  std::int16_t remoteCount = 0;                   // databases to synchronize
  std::uint16_t reserved2 = 0;
  std::uint32_t creator = 0;                      // creator id (without descriptors)
  std::uint16_t reserved3 = 0;
  std::uint32_t type = 0;                         // database type (without descriptors)
  std::uint8_t reserved4[8] = {};
  std::int32_t firstSync = 0;                     // kFirstSync*, or 0
  std::uint32_t options = 0;                      // kSyncOption* of this HotSync
  std::uint8_t reserved5[264] = {};
};

}  // namespace tallimor
