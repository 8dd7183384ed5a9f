// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The Sync Manager's raw record: the form in which a record crosses between the
// handheld and the conduit. The fields, their order and widths are those of the
// handheld's 28-byte raw record image; the record bytes are reached through a
// native pointer. The one definition, shared by the store and the handheld library.
#pragma once

#include <cstdint>

namespace tallimor {

// Handheld record attribute bits as the Sync Manager reports them.
inline constexpr std::uint8_t kRawAttrDeleted = 0x80;
inline constexpr std::uint8_t kRawAttrDirty = 0x40;
inline constexpr std::uint8_t kRawAttrBusy = 0x20;  // never read or written by the store
inline constexpr std::uint8_t kRawAttrPrivate = 0x10;
inline constexpr std::uint8_t kRawAttrArchived = 0x08;

struct RawRecordInfo {
  std::uint8_t handle = 0;          // handheld database handle
  std::uint32_t recordId = 0;       // unique record id; resource type for resources
  std::uint16_t recordIndex = 0;    // index of the record in the handheld database
  std::uint8_t attributes = 0;      // kRawAttr* bits
  std::int16_t category = 0;        // category index 0 to 15; resource id for resources
  std::uint32_t conduitField = 0;   // the caller's; never touched
  std::uint32_t recordSize = 0;     // bytes of record data in `data`
  std::uint16_t bufferSize = 0;     // capacity of `data`
  std::uint8_t* data = nullptr;     // record data, owned by whoever filled the structure
  std::uint32_t reserved = 0;
};

}  // namespace tallimor
