// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop record file format (record.dat), shared by the desktop program's
// CPRecordFile and the conduit's desktop-file manager: the 84-byte header, the
// info blocks (app info and sort info), the record images, and the reader and
// writer of a whole file. All integers are little-endian. The two writers differ
// only in the stored flags of the record images (StoredFlagsPolicy).
//
// Decisions on input that the format does not describe:
// - A record image whose total length is below 40 or above 65,520 (the record
//   buffer) stops the read with kErrReadRecordHeader; so does a data offset
//   outside 40..total length. The records before it are kept.
// - An info block shorter than its own 56-byte header, or longer than the rest of
//   the file, stops the read with kErrReadAppInfo / kErrReadSortInfo before
//   anything is allocated for it. An info block's capacity and used length are
//   never trusted beyond the bytes the block really has.
// - A record category outside 0..15 reads as 0 (Unfiled).
// - A record that cannot be stored while reading stops the read with its error:
//   going on would leave the store without it, and a later save would drop it
//   from the file without a word.
// - Writing a record whose data is above 65,480 bytes (it does not fit the
//   record buffer) fails the whole write with kErrWrite; nothing is cut short.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/CPRecord.h"
#include "store/ResultCodes.h"

namespace tallimor {

inline constexpr std::uint32_t kRecordFileHeaderSize = 84;
inline constexpr std::uint32_t kInfoBlockHeaderSize = 56;
inline constexpr std::uint32_t kRecordImageHeaderSize = 40;
inline constexpr std::uint32_t kBlockTag = 4098;  // 0x1002, in info blocks and record images
// One record image is built and read in a buffer of this size.
inline constexpr std::uint32_t kRecordBufferSize = 65520;
inline constexpr std::uint32_t kMaxRecordDataLength = kRecordBufferSize - kRecordImageHeaderSize;
inline constexpr std::uint32_t kDatabaseNameSize = 32;  // bytes, with the NUL

// Stored flags of a record image; a different bit order from the status bits.
inline constexpr std::uint16_t kStoredModified = 0x01;
inline constexpr std::uint16_t kStoredDeleted = 0x02;
inline constexpr std::uint16_t kStoredArchived = 0x04;
inline constexpr std::uint16_t kStoredNew = 0x08;
inline constexpr std::uint16_t kStoredPrivate = 0x10;

// What a writer stores as a record's flags: its status bits and private flag (the
// desktop program, and the conduit's journals of unfinished work), the private flag
// alone (the conduit, which writes after a finished sync: no status is left, but a
// private memo must stay private through the desktop file), or 0 for every record.
enum class StoredFlagsPolicy { kFromRecord, kPrivateOnly, kZero };

// The 84-byte file header. Offsets 6 to 68 hold the handheld database's
// description, which the store carries without interpreting it.
struct RecordFileHeader {
  std::uint32_t length = kRecordFileHeaderSize;  // 0: header length, always 84
  std::uint16_t version = 0;                     // 4: 1 when made from the handheld's description
  char name[kDatabaseNameSize] = {};             // 6: database name, NUL-terminated
  std::uint16_t zero38 = 0;                      // 38: carried as read
  std::uint32_t dbVersion = 0;                   // 40
  std::uint32_t creator = 0;                     // 44: four characters as a 32-bit value
  std::uint32_t type = 0;                        // 48: four characters as a 32-bit value
  std::uint16_t flags = 0;                       // 52: database attribute flags
  std::uint16_t zero54 = 0;                      // 54: carried as read
  std::uint32_t modDate = 0;                     // 56
  std::uint32_t modNumber = 0;                   // 60
  std::uint32_t createDate = 0;                  // 64
  std::uint32_t backupDate = 0;                  // 68
  std::int32_t recordCount = 0;                  // 72: recomputed on every write
  std::uint32_t appInfoLength = 0;               // 76: recomputed on every write
  std::uint32_t sortInfoLength = 0;              // 80: recomputed on every write

  // Writes the 84 bytes of the header into `out`.
  void Encode(std::uint8_t* out) const;
  // Reads a header from 84 bytes.
  static RecordFileHeader Decode(const std::uint8_t* in);
};

// An app info or sort info block: a 56-byte block header followed by the data
// area. The block is kept as the bytes of the file, so that fields the store does
// not interpret travel unchanged; accessors clamp capacity and used length to the
// bytes that the block really holds.
class InfoBlock {
 public:
  // A zeroed block of 56 + capacity bytes with total length, tag 4098, data
  // offset 56, the name (at most 31 bytes; nullptr for none) and the capacity
  // filled in; used length 0. nullptr when memory is short.
  static std::unique_ptr<InfoBlock> Create(std::uint32_t capacity, const char* name);
  // A block holding a copy of `size` bytes read from a file; its total length
  // field is set to `size`. nullptr when size is below 56 or memory is short.
  static std::unique_ptr<InfoBlock> FromBytes(const std::uint8_t* bytes, std::uint32_t size);

  InfoBlock(const InfoBlock&) = delete;
  InfoBlock& operator=(const InfoBlock&) = delete;

  // The whole block as it is written to a file.
  const std::uint8_t* Bytes() const { return bytes_.data(); }
  std::uint32_t Size() const { return static_cast<std::uint32_t>(bytes_.size()); }

  std::uint16_t Tag() const;
  std::uint32_t DataOffset() const;  // as stored; the data area is always at 56
  // The block name up to its first NUL (at most 31 bytes).
  std::string Name() const;
  void SetName(const char* name);
  // The capacity field, limited to the bytes that follow the block header.
  std::uint32_t Capacity() const;
  // The used length field, limited to Capacity().
  std::uint32_t Used() const;
  // Sets the used length (limited to Capacity()).
  void SetUsed(std::uint32_t used);
  std::uint32_t Reserved() const;
  void SetReserved(std::uint32_t value);
  // The data area of Capacity() bytes.
  std::uint8_t* Data() { return bytes_.data() + kInfoBlockHeaderSize; }
  const std::uint8_t* Data() const { return bytes_.data() + kInfoBlockHeaderSize; }
  // Makes the data area `capacity` bytes long, keeping the block header and the
  // first bytes of the data (new bytes are 0); the used length is limited to the
  // new capacity. kErrOutOfMemory leaves the block as it was.
  Result Resize(std::uint32_t capacity);

 private:
  InfoBlock() = default;
  std::vector<std::uint8_t> bytes_;  // the block as stored, at least 56 bytes
};

// The stored flags for a record's status bits and private flag.
std::uint16_t StoredFlagsOf(const CPRecord& record);
// Sets the record's status bits and private flag from stored flags (other bits ignored).
void ApplyStoredFlags(std::uint16_t stored, CPRecord& record);

// Builds the image of `record` (40-byte header and data) into `out` of `capacity`
// bytes and sets `length` to 40 + data length. kErrWrite when the data is above
// kMaxRecordDataLength; kErrBufferTooSmall when the image does not fit.
Result EncodeRecordImage(const CPRecord& record, StoredFlagsPolicy policy, std::uint8_t* out,
                         std::uint32_t capacity, std::uint32_t& length);
// Builds `record` from an image of `length` bytes: id, category, data (taken from
// the image's own data offset), status bits and private flag; index -1, no marks.
// kErrReadRecordHeader for a length outside 40..65,520 or a bad data offset;
// kErrOutOfMemory.
Result DecodeRecordImage(const std::uint8_t* image, std::uint32_t length, CPRecord& record);

// What a file read finds besides its records. A read that fails keeps here what
// it read before the failure. An empty file gives the default header (version 0).
struct RecordFileContents {
  std::unique_ptr<RecordFileHeader> header;
  std::unique_ptr<InfoBlock> appInfo;
  std::unique_ptr<InfoBlock> sortInfo;
};

// Receives each record read, in file order; a non-zero result stops the read.
using RecordSink = std::function<Result(std::unique_ptr<CPRecord> record)>;
// Gives the records to write, in the order to write them; nullptr after the last.
using RecordSource = std::function<const CPRecord*()>;

// Reads a whole record file from the open descriptor `fd` (from its current
// position): header, blocks, then the header's record count of images, each
// handed to `sink`. Lengths and counts are checked against the file's size before
// anything is allocated for them. Results: 0; kErrReadHeader, kErrReadAppInfo,
// kErrReadSortInfo, kErrReadRecordHeader, kErrReadEof / kErrReadFailed /
// kErrReadShort (record data), kErrOutOfMemory, or the sink's result.
Result ReadRecordFile(int fd, RecordFileContents& contents, const RecordSink& sink);

// Writes a whole record file to `fd`: `header` with its record count and block
// lengths replaced by the real ones, the app info and sort info blocks (either
// may be nullptr), then `recordCount` record images from `source`. kErrWrite when
// a write fails, a record is too large, or `source` gives a different number of
// records; kErrOutOfMemory.
Result WriteRecordFile(int fd, const RecordFileHeader& header, const InfoBlock* appInfo,
                       const InfoBlock* sortInfo, std::int32_t recordCount,
                       const RecordSource& source, StoredFlagsPolicy policy);

}  // namespace tallimor
