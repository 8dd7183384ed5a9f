// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Small helpers of the in-memory Palm database: time stamps, four-character codes
// and the record attribute byte.
#include "hotsync/pdb/PdbFile.h"

namespace tallimor {

std::uint32_t PalmTimeFromUnix(std::int64_t unixSeconds) {
  const std::int64_t palm = unixSeconds + kPalmEpochOffset;
  if (palm <= 0) return 0;
  if (palm > 0xFFFFFFFFll) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(palm);
}

std::int64_t UnixTimeFromPalm(std::uint32_t palmSeconds) {
  return static_cast<std::int64_t>(palmSeconds) - kPalmEpochOffset;
}

std::string FourCcText(std::uint32_t code) {
  std::string text(4, ' ');
  for (int i = 0; i < 4; ++i) {
    const auto byte = static_cast<unsigned char>((code >> (24 - 8 * i)) & 0xFF);
    text[static_cast<std::size_t>(i)] = (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '?';
  }
  return text;
}

std::uint8_t PdbRecord::MakeAttributes(bool isDeleted, bool isDirty, bool isBusy, bool isSecret,
                                       bool isArchived, int categoryIndex) {
  if (isArchived) isDeleted = true;
  std::uint8_t byte = 0;
  if (isDeleted) byte |= kPdbRecDelete;
  if (isDirty) byte |= kPdbRecDirty;
  if (isBusy) byte |= kPdbRecBusy;
  if (isSecret) byte |= kPdbRecSecret;
  if (isDeleted || isBusy) {
    if (isArchived) byte |= kPdbRecArchive;
  } else {
    byte |= static_cast<std::uint8_t>(categoryIndex & kPdbRecCategoryMask);
  }
  return byte;
}

}  // namespace tallimor
