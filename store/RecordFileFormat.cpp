// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The record file's structures and the whole-file reader and writer. Reading and
// writing go through small buffers of their own, so that a file of many small
// records costs few system calls; every length read from the file is checked
// against what the file still holds before it is used.
#include "store/RecordFileFormat.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "store/ByteOrder.h"
#include "store/FileSystem.h"

namespace tallimor {
namespace {

// Record image header fields.
constexpr std::size_t kImageTotalLengthAt = 0;
constexpr std::size_t kImageTagAt = 4;
constexpr std::size_t kImageDataOffsetAt = 8;
constexpr std::size_t kImageIdAt = 16;
constexpr std::size_t kImageFlagsAt = 24;
constexpr std::size_t kImageCategoryAt = 28;
constexpr std::size_t kImageDataLengthAt = 36;

// Info block header fields.
constexpr std::size_t kBlockTotalLengthAt = 0;
constexpr std::size_t kBlockTagAt = 4;
constexpr std::size_t kBlockDataOffsetAt = 8;
constexpr std::size_t kBlockNameAt = 12;
constexpr std::size_t kBlockCapacityAt = 44;
constexpr std::size_t kBlockUsedAt = 48;
constexpr std::size_t kBlockReservedAt = 52;

constexpr std::size_t kIoBufferSize = 64 * 1024;

// Reads exact byte counts from a descriptor through a buffer, telling end of
// file (nothing read), a short read and a failed read apart.
class BufferedReader {
 public:
  BufferedReader(int fd, std::uint64_t remaining) : fd_(fd), remaining_(remaining) {}

  bool Init() {
    try {
      buffer_.resize(kIoBufferSize);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

  // Bytes the file holds beyond what has been consumed (as its size said at the start).
  std::uint64_t Remaining() const { return remaining_ > consumed_ ? remaining_ - consumed_ : 0; }

  Result ReadExactly(std::uint8_t* out, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
      if (begin_ == end_) {
        if (n - done >= buffer_.size()) {
          // Large requests go straight to the caller's memory.
          const ssize_t got = ReadSome(out + done, n - done);
          if (got < 0) return kErrReadFailed;
          if (got == 0) return done == 0 ? kErrReadEof : kErrReadShort;
          done += static_cast<std::size_t>(got);
          consumed_ += static_cast<std::uint64_t>(got);
          continue;
        }
        const ssize_t got = ReadSome(buffer_.data(), buffer_.size());
        if (got < 0) return kErrReadFailed;
        if (got == 0) return done == 0 ? kErrReadEof : kErrReadShort;
        begin_ = 0;
        end_ = static_cast<std::size_t>(got);
      }
      const std::size_t take = std::min(n - done, end_ - begin_);
      std::memcpy(out + done, buffer_.data() + begin_, take);
      begin_ += take;
      done += take;
      consumed_ += take;
    }
    return kOk;
  }

 private:
  ssize_t ReadSome(std::uint8_t* out, std::size_t n) {
    for (;;) {
      const ssize_t got = ::read(fd_, out, n);
      if (got >= 0 || errno != EINTR) return got;
    }
  }

  int fd_;
  std::uint64_t remaining_;      // file size from the starting position
  std::uint64_t consumed_ = 0;   // bytes handed to the caller
  std::vector<std::uint8_t> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

// Writes through a buffer; the first failure sticks and is reported by Flush.
class BufferedWriter {
 public:
  explicit BufferedWriter(int fd) : fd_(fd) {}

  bool Init() {
    try {
      buffer_.reserve(kIoBufferSize);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

  void Write(const std::uint8_t* bytes, std::size_t n) {
    if (failed_) return;
    if (buffer_.size() + n > buffer_.capacity()) Drain();
    if (n >= buffer_.capacity()) {
      WriteAll(bytes, n);
    } else {
      buffer_.insert(buffer_.end(), bytes, bytes + n);
    }
  }

  Result Flush() {
    Drain();
    return failed_ ? kErrWrite : kOk;
  }

 private:
  void Drain() {
    WriteAll(buffer_.data(), buffer_.size());
    buffer_.clear();
  }

  void WriteAll(const std::uint8_t* bytes, std::size_t n) {
    if (!failed_ && n > 0) failed_ = FileSystem::Default()->WriteAll(fd_, bytes, n) != kOk;
  }

  int fd_;
  std::vector<std::uint8_t> buffer_;
  bool failed_ = false;
};

// Reads one info block of `length` bytes; `failure` is the block's read error code.
Result ReadInfoBlock(BufferedReader& reader, std::uint32_t length, Result failure,
                     std::unique_ptr<InfoBlock>& block) {
  if (length < kInfoBlockHeaderSize || length > reader.Remaining()) return failure;
  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(length);
  } catch (const std::bad_alloc&) {
    return failure;
  }
  if (reader.ReadExactly(bytes.data(), length) != kOk) return failure;
  block = InfoBlock::FromBytes(bytes.data(), length);
  return block ? kOk : failure;
}

}  // namespace

void RecordFileHeader::Encode(std::uint8_t* out) const {
  std::memset(out, 0, kRecordFileHeaderSize);
  EncodeFixed32LE(out + 0, length);
  EncodeFixed16LE(out + 4, version);
  std::memcpy(out + 6, name, kDatabaseNameSize);
  EncodeFixed16LE(out + 38, zero38);
  EncodeFixed32LE(out + 40, dbVersion);
  EncodeFixed32LE(out + 44, creator);
  EncodeFixed32LE(out + 48, type);
  EncodeFixed16LE(out + 52, flags);
  EncodeFixed16LE(out + 54, zero54);
  EncodeFixed32LE(out + 56, modDate);
  EncodeFixed32LE(out + 60, modNumber);
  EncodeFixed32LE(out + 64, createDate);
  EncodeFixed32LE(out + 68, backupDate);
  EncodeFixed32LE(out + 72, static_cast<std::uint32_t>(recordCount));
  EncodeFixed32LE(out + 76, appInfoLength);
  EncodeFixed32LE(out + 80, sortInfoLength);
}

RecordFileHeader RecordFileHeader::Decode(const std::uint8_t* in) {
  RecordFileHeader h;
  h.length = DecodeFixed32LE(in + 0);
  h.version = DecodeFixed16LE(in + 4);
  std::memcpy(h.name, in + 6, kDatabaseNameSize);
  h.zero38 = DecodeFixed16LE(in + 38);
  h.dbVersion = DecodeFixed32LE(in + 40);
  h.creator = DecodeFixed32LE(in + 44);
  h.type = DecodeFixed32LE(in + 48);
  h.flags = DecodeFixed16LE(in + 52);
  h.zero54 = DecodeFixed16LE(in + 54);
  h.modDate = DecodeFixed32LE(in + 56);
  h.modNumber = DecodeFixed32LE(in + 60);
  h.createDate = DecodeFixed32LE(in + 64);
  h.backupDate = DecodeFixed32LE(in + 68);
  h.recordCount = static_cast<std::int32_t>(DecodeFixed32LE(in + 72));
  h.appInfoLength = DecodeFixed32LE(in + 76);
  h.sortInfoLength = DecodeFixed32LE(in + 80);
  return h;
}

std::unique_ptr<InfoBlock> InfoBlock::Create(std::uint32_t capacity, const char* name) {
  if (capacity > UINT32_MAX - kInfoBlockHeaderSize) return nullptr;
  std::unique_ptr<InfoBlock> block(new (std::nothrow) InfoBlock);
  if (!block) return nullptr;
  try {
    block->bytes_.resize(kInfoBlockHeaderSize + capacity, 0);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  std::uint8_t* b = block->bytes_.data();
  EncodeFixed32LE(b + kBlockTotalLengthAt, kInfoBlockHeaderSize + capacity);
  EncodeFixed16LE(b + kBlockTagAt, static_cast<std::uint16_t>(kBlockTag));
  EncodeFixed32LE(b + kBlockDataOffsetAt, kInfoBlockHeaderSize);
  EncodeFixed32LE(b + kBlockCapacityAt, capacity);
  block->SetName(name);
  return block;
}

std::unique_ptr<InfoBlock> InfoBlock::FromBytes(const std::uint8_t* bytes, std::uint32_t size) {
  if (bytes == nullptr || size < kInfoBlockHeaderSize) return nullptr;
  std::unique_ptr<InfoBlock> block(new (std::nothrow) InfoBlock);
  if (!block) return nullptr;
  try {
    block->bytes_.assign(bytes, bytes + size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  EncodeFixed32LE(block->bytes_.data() + kBlockTotalLengthAt, size);
  return block;
}

std::uint16_t InfoBlock::Tag() const { return DecodeFixed16LE(bytes_.data() + kBlockTagAt); }
std::uint32_t InfoBlock::DataOffset() const { return DecodeFixed32LE(bytes_.data() + kBlockDataOffsetAt); }

std::string InfoBlock::Name() const {
  const char* name = reinterpret_cast<const char*>(bytes_.data() + kBlockNameAt);
  return std::string(name, strnlen(name, kDatabaseNameSize - 1));
}

void InfoBlock::SetName(const char* name) {
  std::uint8_t* field = bytes_.data() + kBlockNameAt;
  std::memset(field, 0, kDatabaseNameSize);
  if (name != nullptr) std::memcpy(field, name, strnlen(name, kDatabaseNameSize - 1));
}

std::uint32_t InfoBlock::Capacity() const {
  return std::min(DecodeFixed32LE(bytes_.data() + kBlockCapacityAt), Size() - kInfoBlockHeaderSize);
}

std::uint32_t InfoBlock::Used() const {
  return std::min(DecodeFixed32LE(bytes_.data() + kBlockUsedAt), Capacity());
}

void InfoBlock::SetUsed(std::uint32_t used) {
  EncodeFixed32LE(bytes_.data() + kBlockUsedAt, std::min(used, Capacity()));
}

std::uint32_t InfoBlock::Reserved() const { return DecodeFixed32LE(bytes_.data() + kBlockReservedAt); }
void InfoBlock::SetReserved(std::uint32_t value) { EncodeFixed32LE(bytes_.data() + kBlockReservedAt, value); }

Result InfoBlock::Resize(std::uint32_t capacity) {
  if (capacity > UINT32_MAX - kInfoBlockHeaderSize) return kErrOutOfMemory;
  const std::uint32_t used = Used();
  try {
    bytes_.resize(kInfoBlockHeaderSize + capacity, 0);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  EncodeFixed32LE(bytes_.data() + kBlockTotalLengthAt, Size());
  EncodeFixed32LE(bytes_.data() + kBlockCapacityAt, capacity);
  EncodeFixed32LE(bytes_.data() + kBlockUsedAt, std::min(used, capacity));
  return kOk;
}

std::uint16_t StoredFlagsOf(const CPRecord& record) {
  std::uint16_t stored = 0;
  if (record.IsModified()) stored |= kStoredModified;
  if (record.IsDeleted()) stored |= kStoredDeleted;
  if (record.IsArchived()) stored |= kStoredArchived;
  if (record.IsNew()) stored |= kStoredNew;
  if (record.IsPrivate()) stored |= kStoredPrivate;
  return stored;
}

void ApplyStoredFlags(std::uint16_t stored, CPRecord& record) {
  std::uint32_t status = 0;
  if (stored & kStoredModified) status |= kStatusModified;
  if (stored & kStoredDeleted) status |= kStatusDeleted;
  if (stored & kStoredArchived) status |= kStatusArchived;
  if (stored & kStoredNew) status |= kStatusNew;
  record.SetStatus(status);
  record.SetPrivate((stored & kStoredPrivate) != 0);
}

Result EncodeRecordImage(const CPRecord& record, StoredFlagsPolicy policy, std::uint8_t* out,
                         std::uint32_t capacity, std::uint32_t& length) {
  const std::uint32_t dataLength = record.DataLength();
  if (dataLength > kMaxRecordDataLength) return kErrWrite;
  const std::uint32_t total = kRecordImageHeaderSize + dataLength;
  if (out == nullptr || capacity < total) return kErrBufferTooSmall;
  std::memset(out, 0, kRecordImageHeaderSize);
  EncodeFixed32LE(out + kImageTotalLengthAt, total);
  EncodeFixed32LE(out + kImageTagAt, kBlockTag);
  EncodeFixed32LE(out + kImageDataOffsetAt, kRecordImageHeaderSize);
  EncodeFixed32LE(out + kImageIdAt, record.Id());
  std::uint16_t stored = 0;
  if (policy == StoredFlagsPolicy::kFromRecord) stored = StoredFlagsOf(record);
  if (policy == StoredFlagsPolicy::kPrivateOnly && record.IsPrivate()) stored = kStoredPrivate;
  EncodeFixed16LE(out + kImageFlagsAt, stored);
  EncodeFixed32LE(out + kImageCategoryAt, static_cast<std::uint32_t>(record.Category()));
  EncodeFixed32LE(out + kImageDataLengthAt, dataLength);
  if (dataLength > 0) std::memcpy(out + kRecordImageHeaderSize, record.Data(), dataLength);
  length = total;
  return kOk;
}

Result DecodeRecordImage(const std::uint8_t* image, std::uint32_t length, CPRecord& record) {
  if (image == nullptr || length < kRecordImageHeaderSize || length > kRecordBufferSize) {
    return kErrReadRecordHeader;
  }
  const std::uint32_t dataOffset = DecodeFixed32LE(image + kImageDataOffsetAt);
  if (dataOffset < kRecordImageHeaderSize || dataOffset > length) return kErrReadRecordHeader;
  record.Reset();
  record.SetId(DecodeFixed32LE(image + kImageIdAt));
  const std::int32_t category = static_cast<std::int32_t>(DecodeFixed32LE(image + kImageCategoryAt));
  record.SetCategory(category >= 0 && category <= 15 ? category : 0);
  ApplyStoredFlags(DecodeFixed16LE(image + kImageFlagsAt), record);
  return record.SetData(length - dataOffset, image + dataOffset);
}

Result ReadRecordFile(int fd, RecordFileContents& contents, const RecordSink& sink) {
  contents.header.reset(new (std::nothrow) RecordFileHeader);
  contents.appInfo.reset();
  contents.sortInfo.reset();
  if (!contents.header) return kErrOutOfMemory;

  struct stat st {};
  if (::fstat(fd, &st) != 0) return kErrReadFailed;
  const off_t position = ::lseek(fd, 0, SEEK_CUR);
  std::uint64_t remaining = 0;
  if (S_ISREG(st.st_mode) && position >= 0 && st.st_size > position) {
    remaining = static_cast<std::uint64_t>(st.st_size - position);
  }
  BufferedReader reader(fd, remaining);
  if (!reader.Init()) return kErrOutOfMemory;

  std::uint8_t headerBytes[kRecordFileHeaderSize];
  Result result = reader.ReadExactly(headerBytes, sizeof headerBytes);
  if (result == kErrReadEof) return kOk;  // an empty file is an empty database
  if (result != kOk) return kErrReadHeader;
  *contents.header = RecordFileHeader::Decode(headerBytes);
  const RecordFileHeader& header = *contents.header;

  if (header.appInfoLength > 0) {
    result = ReadInfoBlock(reader, header.appInfoLength, kErrReadAppInfo, contents.appInfo);
    if (result != kOk) return result;
  }
  if (header.sortInfoLength > 0) {
    result = ReadInfoBlock(reader, header.sortInfoLength, kErrReadSortInfo, contents.sortInfo);
    if (result != kOk) return result;
  }

  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kRecordBufferSize]);
  if (!buffer) return kErrOutOfMemory;
  for (std::int32_t read = 0; read < header.recordCount; ++read) {
    if (reader.ReadExactly(buffer.get(), kRecordImageHeaderSize) != kOk) {
      return kErrReadRecordHeader;
    }
    const std::uint32_t total = DecodeFixed32LE(buffer.get() + kImageTotalLengthAt);
    if (total < kRecordImageHeaderSize || total > kRecordBufferSize) return kErrReadRecordHeader;
    result = reader.ReadExactly(buffer.get() + kRecordImageHeaderSize,
                                total - kRecordImageHeaderSize);
    if (result != kOk) return result;
    std::unique_ptr<CPRecord> record(new (std::nothrow) CPRecord);
    if (!record) return kErrOutOfMemory;
    result = DecodeRecordImage(buffer.get(), total, *record);
    if (result != kOk) return result;
    result = sink(std::move(record));
    if (result != kOk) return result;
  }
  return kOk;
}

Result WriteRecordFile(int fd, const RecordFileHeader& header, const InfoBlock* appInfo,
                       const InfoBlock* sortInfo, std::int32_t recordCount,
                       const RecordSource& source, StoredFlagsPolicy policy) {
  BufferedWriter writer(fd);
  if (!writer.Init()) return kErrOutOfMemory;
  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kRecordBufferSize]);
  if (!buffer) return kErrOutOfMemory;

  RecordFileHeader written = header;
  written.recordCount = recordCount;
  written.appInfoLength = appInfo ? appInfo->Size() : 0;
  written.sortInfoLength = sortInfo ? sortInfo->Size() : 0;
  std::uint8_t headerBytes[kRecordFileHeaderSize];
  written.Encode(headerBytes);
  writer.Write(headerBytes, sizeof headerBytes);
  if (appInfo) writer.Write(appInfo->Bytes(), appInfo->Size());
  if (sortInfo) writer.Write(sortInfo->Bytes(), sortInfo->Size());

  std::int32_t count = 0;
  for (const CPRecord* record = source(); record != nullptr; record = source()) {
    if (++count > recordCount) return kErrWrite;
    std::uint32_t length = 0;
    const Result result = EncodeRecordImage(*record, policy, buffer.get(), kRecordBufferSize, length);
    if (result != kOk) return kErrWrite;
    writer.Write(buffer.get(), length);
  }
  if (count != recordCount) return kErrWrite;
  return writer.Flush();
}

}  // namespace tallimor
