// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// list: every record of the memo database in database order, deleted ones included,
// with the memo text deciphered, as a listing or as JSON.
#include "protect/PasswordInfo.h"
#include "tools/common/TextOutput.h"
#include "tools/tallimor-handheld/HandheldCommand.h"
#include "tools/tallimor-handheld/HandheldSession.h"

namespace tallimor {
namespace {

// The words for the attributes of a record, for the listing.
std::string AttributeWords(std::uint8_t attributes) {
  std::string words;
  auto add = [&words](const char* word) { words += std::string(words.empty() ? "" : " ") + word; };
  if (attributes & 0x80) add((attributes & 0x08) ? "archived" : "deleted");
  if (attributes & 0x40) add("dirty");
  if (attributes & 0x20) add("busy");
  if (attributes & 0x10) add("private");
  return words;
}

int RunList(HandheldSession& s, const CommandLine& line) {
  const int status = s.OpenMemo(true);
  if (status != kExitOk) return status;
  const MemoDatabase& memo = s.memo();
  const HandheldDatabase& db = memo.database();
  const bool json = line.Has("json");
  std::size_t undecodable = 0;
  if (json) s.out() << "[";
  for (std::size_t i = 0; i < db.count(); ++i) {
    const PdbRecord& record = *db.RecordAt(i);
    const std::uint8_t attributes = MemoDatabase::ReportedAttributes(record);
    std::string text = s.MemoUtf8(record, &undecodable);
    if (json) {
      s.out() << (i == 0 ? "\n  " : ",\n  ") << "{\"id\": " << record.uniqueId << ", \"index\": " << i
              << ", \"category\": " << record.category() << ", \"attributes\": " << unsigned(attributes)
              << ", \"text\": " << JsonUtf8(text) << "}";
    } else {
      s.out() << "memo " << record.uniqueId << "  index " << i;
      if (record.hasCategory()) {
        s.out() << "  category " << record.category() << " "
                << JsonUtf8(HandheldSession::CategoryName(memo.categories(), record.category()));
      }
      const std::string words = AttributeWords(attributes);
      s.out() << (words.empty() ? "" : "  ") << words << "\n";
      WriteMemoLines(text, s.out());
    }
    WipeSecret(text);
  }
  if (json) s.out() << (db.count() == 0 ? "]\n" : "\n]\n");
  else if (db.count() == 0) s.out() << "(no memos)\n";
  s.NoteUndecodable(undecodable);
  return kExitOk;
}

}  // namespace

const HandheldCommand kListCommand{
    {"list",
     "list the memos",
     "Lists every record of the memo database in database order, deleted ones included,\n"
     "with the memo text deciphered as UTF-8. --json prints one array:\n"
     "  [{\"id\", \"index\", \"category\", \"attributes\", \"text\"}]\n"
     "where \"category\" is the category index (0 for a deleted memo, which keeps none) and\n"
     "\"attributes\" the attribute byte as the Sync Manager reports it: 0x80 deleted,\n"
     "0x40 changed (dirty), 0x20 busy, 0x10 private, 0x08 archived (with 0x80).\n",
     {{'j', "json", nullptr, "print one JSON array"}},
     {}},
    RunList};

}  // namespace tallimor
