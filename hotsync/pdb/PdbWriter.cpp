// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Serialization of the Palm database file format (big-endian throughout). The
// layout follows what handhelds and desktop tools write: entries, two NUL pad
// bytes, app info, sort info, then records or resources in entry order.
#include "hotsync/pdb/PdbWriter.h"

#include "store/AtomicFile.h"
#include "store/ByteOrder.h"

namespace tallimor {
namespace {

Result Fail(std::string* error, Result code, const std::string& text) {
  if (error) *error = text;
  return code;
}

}  // namespace

Result PdbWriter::Serialize(const PdbFile& file, std::vector<std::uint8_t>* out, std::string* error) {
  if (out == nullptr) return Fail(error, kErrNullArgument, "no output buffer");
  const PdbHeader& h = file.header;
  if (h.name.size() > kPdbMaxNameLength) {
    return Fail(error, kErrTooLong, "the database name \"" + h.name + "\" is longer than 31 bytes");
  }
  if (h.name.find('\0') != std::string::npos) {
    return Fail(error, kErrTooLong, "the database name holds a NUL byte");
  }
  const bool resources = file.isResourceDatabase();
  if (resources ? !file.records.empty() : !file.resources.empty()) {
    return Fail(error, kErrNotSupported,
                resources ? "a resource database cannot hold records" : "a record database cannot hold resources");
  }
  const std::size_t count = resources ? file.resources.size() : file.records.size();
  if (count > kPdbMaxEntries) {
    return Fail(error, kErrTooLong, std::to_string(count) + " entries are more than the 65,535 a database holds");
  }
  auto tooLarge = [&](const std::string& what, std::size_t length) {
    return Fail(error, kErrTooLong,
                what + " is " + std::to_string(length) + " bytes, more than the 65,535 a handheld can hold");
  };
  if (file.appInfo && file.appInfo->size() > kPdbMaxBlockSize) return tooLarge("the app info block", file.appInfo->size());
  if (file.sortInfo && file.sortInfo->size() > kPdbMaxBlockSize) return tooLarge("the sort info block", file.sortInfo->size());

  const std::size_t entrySize = resources ? 10 : 8;
  std::size_t offset = kPdbHeaderSize + count * entrySize + 2;
  std::uint32_t appInfoOffset = 0;
  std::uint32_t sortInfoOffset = 0;
  if (file.appInfo) {
    appInfoOffset = static_cast<std::uint32_t>(offset);
    offset += file.appInfo->size();
  }
  if (file.sortInfo) {
    sortInfoOffset = static_cast<std::uint32_t>(offset);
    offset += file.sortInfo->size();
  }
  // Every offset fits in 32 bits: at most 65,537 blocks of at most 65,535 bytes
  // after a list of under 700 KB stays below 4 GiB.
  std::vector<std::uint32_t> offsets(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t length = resources ? file.resources[i].data.size() : file.records[i].data.size();
    if (length > kPdbMaxBlockSize) {
      return tooLarge((resources ? "resource " : "record ") + std::to_string(i), length);
    }
    if (!resources && file.records[i].uniqueId > kPdbMaxUniqueId) {
      return Fail(error, kErrTooLong,
                  "record " + std::to_string(i) + " has unique id " + std::to_string(file.records[i].uniqueId) +
                      ", which does not fit in 24 bits");
    }
    offsets[i] = static_cast<std::uint32_t>(offset);
    offset += length;
  }

  std::vector<std::uint8_t>& bytes = *out;
  bytes.clear();
  bytes.reserve(offset);
  bytes.insert(bytes.end(), h.name.begin(), h.name.end());
  bytes.resize(32, 0);
  PutFixed16BE(bytes, h.attributes);
  PutFixed16BE(bytes, h.version);
  PutFixed32BE(bytes, h.creationDate);
  PutFixed32BE(bytes, h.modificationDate);
  PutFixed32BE(bytes, h.backupDate);
  PutFixed32BE(bytes, h.modificationNumber);
  PutFixed32BE(bytes, appInfoOffset);
  PutFixed32BE(bytes, sortInfoOffset);
  PutFixed32BE(bytes, h.type);
  PutFixed32BE(bytes, h.creator);
  PutFixed32BE(bytes, h.uniqueIdSeed);
  PutFixed32BE(bytes, 0);  // no second record list
  PutFixed16BE(bytes, static_cast<std::uint16_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    if (resources) {
      PutFixed32BE(bytes, file.resources[i].type);
      PutFixed16BE(bytes, file.resources[i].id);
      PutFixed32BE(bytes, offsets[i]);
    } else {
      PutFixed32BE(bytes, offsets[i]);
      bytes.push_back(file.records[i].attributes);
      const std::uint32_t id = file.records[i].uniqueId;
      bytes.push_back(static_cast<std::uint8_t>(id >> 16));
      bytes.push_back(static_cast<std::uint8_t>(id >> 8));
      bytes.push_back(static_cast<std::uint8_t>(id));
    }
  }
  PutFixed16BE(bytes, 0);
  if (file.appInfo) bytes.insert(bytes.end(), file.appInfo->begin(), file.appInfo->end());
  if (file.sortInfo) bytes.insert(bytes.end(), file.sortInfo->begin(), file.sortInfo->end());
  for (std::size_t i = 0; i < count; ++i) {
    const auto& data = resources ? file.resources[i].data : file.records[i].data;
    bytes.insert(bytes.end(), data.begin(), data.end());
  }
  return kOk;
}

Result PdbWriter::WriteFile(const std::string& path, const PdbFile& file, std::string* error) {
  std::vector<std::uint8_t> bytes;
  const Result result = Serialize(file, &bytes, error);
  if (result != kOk) return result;
  return AtomicFile::Write(path, bytes.data(), bytes.size(), error);
}

}  // namespace tallimor
