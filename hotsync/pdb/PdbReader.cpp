// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Parsing of the Palm database file format. Layout (all big-endian): a 78-byte
// header, a list of 8-byte record entries (offset, attributes, 24-bit unique id) or
// 10-byte resource entries (type, id, offset), usually two pad bytes, then the app
// info block, the sort info block and the records, each running up to the next.
#include "hotsync/pdb/PdbReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "store/ByteOrder.h"
#include "store/FileSystem.h"

namespace tallimor {
namespace {

Result Fail(std::string* error, Result code, const std::string& text) {
  if (error) *error = text;
  return code;
}

// One block of the file body: where it starts, and what to call it in messages.
struct Block {
  std::uint32_t offset;
  std::string what;
  Result code;
};

}  // namespace

Result PdbReader::ParseHeader(const std::uint8_t* bytes, std::size_t size, PdbHeader* out, std::string* error) {
  if (out == nullptr || (bytes == nullptr && size != 0)) return Fail(error, kErrNullArgument, "no buffer");
  if (size < kPdbHeaderSize) {
    return Fail(error, kErrReadHeader,
                "the file is " + std::to_string(size) + " bytes, shorter than the 78-byte header");
  }
  const std::uint8_t* nul = static_cast<const std::uint8_t*>(std::memchr(bytes, 0, 32));
  if (nul == nullptr) return Fail(error, kErrReadHeader, "the database name is not NUL-terminated");
  PdbHeader h;
  h.name.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(nul - bytes));
  h.attributes = DecodeFixed16BE(bytes + 32);
  h.version = DecodeFixed16BE(bytes + 34);
  h.creationDate = DecodeFixed32BE(bytes + 36);
  h.modificationDate = DecodeFixed32BE(bytes + 40);
  h.backupDate = DecodeFixed32BE(bytes + 44);
  h.modificationNumber = DecodeFixed32BE(bytes + 48);
  h.type = DecodeFixed32BE(bytes + 60);
  h.creator = DecodeFixed32BE(bytes + 64);
  h.uniqueIdSeed = DecodeFixed32BE(bytes + 68);
  *out = std::move(h);
  return kOk;
}

Result PdbReader::Parse(const std::uint8_t* bytes, std::size_t size, PdbFile* out, std::string* error) {
  if (out == nullptr || (bytes == nullptr && size != 0)) return Fail(error, kErrNullArgument, "no buffer");
  PdbFile file;
  const Result header = ParseHeader(bytes, size, &file.header, error);
  if (header != kOk) return header;
  const std::uint32_t appInfoOffset = DecodeFixed32BE(bytes + 52);
  const std::uint32_t sortInfoOffset = DecodeFixed32BE(bytes + 56);
  const std::uint32_t nextRecordList = DecodeFixed32BE(bytes + 72);
  const std::size_t count = DecodeFixed16BE(bytes + 76);
  if (nextRecordList != 0) {
    return Fail(error, kErrReadHeader, "the record list continues in a second list, which is not supported");
  }

  const bool resources = file.isResourceDatabase();
  const std::size_t entrySize = resources ? 10 : 8;
  const std::size_t listEnd = kPdbHeaderSize + count * entrySize;
  if (listEnd > size) {
    return Fail(error, kErrReadRecordHeader,
                "the list of " + std::to_string(count) + (resources ? " resources" : " records") +
                    " ends at byte " + std::to_string(listEnd) + ", past the end of the " +
                    std::to_string(size) + "-byte file");
  }

  // The body blocks in file order; each runs up to the start of the next one.
  std::vector<Block> blocks;
  blocks.reserve(count + 2);
  if (appInfoOffset != 0) blocks.push_back({appInfoOffset, "the app info block", kErrReadAppInfo});
  if (sortInfoOffset != 0) blocks.push_back({sortInfoOffset, "the sort info block", kErrReadSortInfo});
  if (resources) file.resources.resize(count); else file.records.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* e = bytes + kPdbHeaderSize + i * entrySize;
    if (resources) {
      file.resources[i].type = DecodeFixed32BE(e);
      file.resources[i].id = DecodeFixed16BE(e + 4);
      blocks.push_back({DecodeFixed32BE(e + 6), "resource " + std::to_string(i), kErrReadRecordHeader});
    } else {
      file.records[i].attributes = e[4];
      file.records[i].uniqueId = (std::uint32_t(e[5]) << 16) | (std::uint32_t(e[6]) << 8) | e[7];
      blocks.push_back({DecodeFixed32BE(e), "record " + std::to_string(i), kErrReadRecordHeader});
    }
  }

  std::size_t previous = listEnd;
  for (std::size_t b = 0; b < blocks.size(); ++b) {
    const Block& block = blocks[b];
    if (block.offset < listEnd) {
      return Fail(error, block.code,
                  block.what + " starts at byte " + std::to_string(block.offset) +
                      ", inside the header and entry list");
    }
    if (block.offset > size) {
      return Fail(error, block.code,
                  block.what + " starts at byte " + std::to_string(block.offset) + ", past the end of the " +
                      std::to_string(size) + "-byte file");
    }
    if (block.offset < previous) {
      return Fail(error, block.code,
                  block.what + " starts at byte " + std::to_string(block.offset) +
                      ", before the block ahead of it in the file (blocks overlap or are out of order)");
    }
    previous = block.offset;
    const std::size_t end = (b + 1 < blocks.size()) ? std::max<std::size_t>(blocks[b + 1].offset, block.offset)
                                                   : size;
    // A following block that starts past the end is reported when its turn comes.
    const std::size_t clampedEnd = std::min(end, size);
    const std::size_t length = clampedEnd - block.offset;
    if (length > kPdbMaxBlockSize) {
      return Fail(error, block.code,
                  block.what + " is " + std::to_string(length) + " bytes, more than the 65,535 a handheld can hold");
    }
    std::vector<std::uint8_t> data(bytes + block.offset, bytes + clampedEnd);
    if (block.code == kErrReadAppInfo) {
      file.appInfo = std::move(data);
    } else if (block.code == kErrReadSortInfo) {
      file.sortInfo = std::move(data);
    } else {
      const std::size_t index = b - (appInfoOffset != 0 ? 1 : 0) - (sortInfoOffset != 0 ? 1 : 0);
      if (resources) file.resources[index].data = std::move(data);
      else file.records[index].data = std::move(data);
    }
  }

  *out = std::move(file);
  return kOk;
}

Result PdbReader::ReadHeader(const std::string& path, PdbHeader* out, std::string* error) {
  const int fd = FileSystem::Default()->OpenRegular(path);
  if (fd < 0) return Fail(error, kErrOpenFailed, path + ": " + OpenFault(errno));
  std::uint8_t bytes[kPdbHeaderSize];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::read(fd, bytes + got, sizeof bytes - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  std::string detail;
  const Result result = ParseHeader(bytes, got, out, &detail);
  if (result != kOk && error) *error = path + ": " + detail;
  return result;
}

Result PdbReader::ReadFile(const std::string& path, PdbFile* out, std::string* error) {
  if (out == nullptr) return Fail(error, kErrNullArgument, "no output");
  // A named pipe in place of a database is refused, not waited on.
  const int fd = FileSystem::Default()->OpenRegular(path);
  if (fd < 0) return Fail(error, kErrOpenFailed, path + ": " + OpenFault(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    return Fail(error, kErrOpenFailed, path + ": " + std::strerror(err));
  }
  if (static_cast<std::uint64_t>(st.st_size) > kMaxFileSize) {
    ::close(fd);
    return Fail(error, kErrReadFailed,
                path + ": " + std::to_string(st.st_size) + " bytes is too large for a handheld database");
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.st_size));
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int err = errno;
      ::close(fd);
      return Fail(error, kErrReadFailed, path + ": " + std::strerror(err));
    }
    if (n == 0) break;  // the file shrank under us: parse what is there
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  bytes.resize(got);
  std::string detail;
  const Result result = Parse(bytes.data(), bytes.size(), out, &detail);
  if (result != kOk && error) *error = path + ": " + detail;
  return result;
}

}  // namespace tallimor
