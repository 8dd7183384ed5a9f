// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the Palm database reader: any bytes must parse or be refused with a
// reason, never crash; whatever parses must write out and read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "hotsync/pdb/PdbReader.h"
#include "hotsync/pdb/PdbWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tallimor;
  PdbFile file;
  std::string error;
  if (PdbReader::Parse(data, size, &file, &error) != kOk) {
    if (error.empty()) std::abort();
    return 0;
  }
  std::vector<std::uint8_t> bytes;
  if (PdbWriter::Serialize(file, &bytes, &error) != kOk) std::abort();
  PdbFile again;
  if (PdbReader::Parse(bytes.data(), bytes.size(), &again, &error) != kOk) std::abort();
  if (again.records.size() != file.records.size() || again.resources.size() != file.resources.size() ||
      again.appInfo != file.appInfo || again.sortInfo != file.sortInfo || again.header.name != file.header.name) {
    std::abort();
  }
  for (std::size_t i = 0; i < file.records.size(); ++i) {
    if (again.records[i].data != file.records[i].data || again.records[i].attributes != file.records[i].attributes ||
        again.records[i].uniqueId != file.records[i].uniqueId) {
      std::abort();
    }
  }
  return 0;
}
