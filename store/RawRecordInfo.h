// The Sync Manager's raw record: the form in which a record crosses between the
// handheld and the conduit. The fields, their order and widths are the handheld
// platform's; the record bytes are reached through a native pointer.
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
  std::uint32_t recordId = 0;       // unique record id
  std::uint16_t recordIndex = 0;    // index of the record in the handheld database
  std::uint8_t attributes = 0;      // kRawAttr* bits
  std::int16_t category = 0;        // category index 0 to 15
  std::int32_t conduitField = 0;    // reserved for the conduit; not used by the store
  std::uint32_t recordSize = 0;     // bytes of record data in `bytes`
  std::uint16_t bufferSize = 0;     // capacity of `bytes`
  std::uint8_t* bytes = nullptr;    // record data, owned by whoever filled the structure
  std::uint32_t reserved = 0;
};

}  // namespace tallimor
