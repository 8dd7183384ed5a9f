// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the handheld database with sequences of writes, deletions, purges,
// category moves and flag resets, checking it against a plain list: same records
// in the same order, ids unique, non-zero and 24-bit, and a file that reads back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "hotsync/handheld/HandheldDatabase.h"
#include "hotsync/pdb/PdbReader.h"
#include "hotsync/pdb/PdbWriter.h"

namespace {

using tallimor::PdbRecord;

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tallimor;
  PdbHeader header;
  header.name = "Fuzz";
  header.uniqueIdSeed = size > 0 ? 0xFFFFF0u + data[0] % 32 : 1;
  HandheldDatabase db(header);
  std::vector<PdbRecord> model;
  std::size_t at = 1;
  auto next = [&]() -> std::uint32_t { return at < size ? data[at++] : 0; };
  while (at < size) {
    const std::uint32_t op = next() % 8;
    const std::uint32_t arg = next();
    const std::uint32_t arg2 = next();
    switch (op) {
      case 0:
      case 1: {  // write: id 0 (new), a small id (kept or replaced), or a wide one
        PdbRecord r;
        r.uniqueId = op == 0 ? 0 : (arg2 & 0x80 ? 0x1000000u + arg : arg);
        r.attributes = static_cast<std::uint8_t>(arg2 & 0xDF);
        r.data.assign(arg % 8, static_cast<std::uint8_t>(arg2));
        std::uint32_t id = 0;
        std::size_t index = 0;
        Check(db.WriteRecord(r, &id, &index) == kSyncErrNone);
        r.uniqueId = id;
        auto found = std::find_if(model.begin(), model.end(), [id](const PdbRecord& m) { return m.uniqueId == id; });
        if (found != model.end()) {
          Check(static_cast<std::size_t>(found - model.begin()) == index);
          *found = r;
        } else {
          Check(index == model.size());
          model.push_back(r);
        }
        break;
      }
      case 2: {  // delete by id (of an existing record when there is one)
        const std::uint32_t id = model.empty() ? arg : model[arg % model.size()].uniqueId;
        const auto found = std::find_if(model.begin(), model.end(), [id](const PdbRecord& m) { return m.uniqueId == id; });
        Check(db.DeleteRecord(id) == (found == model.end() ? kSyncErrNotFound : kSyncErrNone));
        if (found != model.end()) model.erase(found);
        break;
      }
      case 3:
        Check(db.PurgeDeleted() == static_cast<std::size_t>(std::count_if(model.begin(), model.end(), [](const PdbRecord& m) {
                return m.deleted() || m.archived();
              })));
        model.erase(std::remove_if(model.begin(), model.end(), [](const PdbRecord& m) { return m.deleted() || m.archived(); }),
                    model.end());
        break;
      case 4: {
        const int category = static_cast<int>(arg % 16);
        db.PurgeCategory(category);
        model.erase(std::remove_if(model.begin(), model.end(),
                                   [category](const PdbRecord& m) { return m.hasCategory() && m.category() == category; }),
                    model.end());
        break;
      }
      case 5: {
        const int from = static_cast<int>(arg % 16), to = static_cast<int>(arg2 % 16);
        db.ChangeCategory(from, to);
        for (PdbRecord& m : model) {
          if (m.hasCategory() && m.category() == from) m.attributes = static_cast<std::uint8_t>((m.attributes & 0xF0) | to);
        }
        break;
      }
      case 6:
        db.ResetSyncFlags();
        model.erase(std::remove_if(model.begin(), model.end(), [](const PdbRecord& m) { return m.deleted() || m.archived(); }),
                    model.end());
        for (PdbRecord& m : model) m.attributes &= static_cast<std::uint8_t>(~kPdbRecDirty);
        break;
      default:
        break;
    }
    Check(db.count() == model.size());
  }
  for (std::size_t i = 0; i < model.size(); ++i) {
    const PdbRecord* r = db.RecordAt(i);
    Check(r != nullptr && r->uniqueId == model[i].uniqueId && r->attributes == model[i].attributes &&
          r->data == model[i].data);
    Check(r->uniqueId != 0 && r->uniqueId <= kPdbMaxUniqueId);
    Check(db.IndexOfId(r->uniqueId) == i);
  }
  std::vector<std::uint8_t> bytes;
  Check(PdbWriter::Serialize(db.ToFile(), &bytes, nullptr) == kOk);
  PdbFile back;
  Check(PdbReader::Parse(bytes.data(), bytes.size(), &back, nullptr) == kOk);
  Check(back.records.size() == model.size());
  return 0;
}
