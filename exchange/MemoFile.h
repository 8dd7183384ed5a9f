// MemoFile: a file of memos opened read-only, read once: a record file (record.dat,
// a backup record.BAK, an archive .ARC) or a handheld memo database (.pdb) such as a
// handheld backup. It holds the header, both info blocks, the category table found in
// the app info data and the records in file order, with the result of the read; a .pdb
// is laid out in the same terms, its records with the status bits their attributes
// stand for. tallimor-dump shows it; the desktop program's backup window shows its memos.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store/CPCategoryTable.h"
#include "store/CPRecord.h"
#include "store/RecordFileFormat.h"
#include "store/ResultCodes.h"

namespace tallimor {

enum class MemoFileKind {
  kRecordFile,     // record.dat, record.BAK, an .ARC: the desktop record file format
  kPalmDatabase,   // a standard Palm database file (.pdb), such as a handheld backup
};

struct MemoFile {
  MemoFileKind kind = MemoFileKind::kRecordFile;
  bool headerRead = false;                        // false when the header could not be read
  RecordFileContents contents;                    // header and blocks as read
  std::vector<std::unique_ptr<CPRecord>> records;  // in file order
  bool hasCategories = false;                     // app info data holds a category table
  CPCategoryTable categories;                     // loaded from the app info data
  Result readResult = kOk;                        // first error of the file read
  Result categoryResult = kOk;                    // error of loading the category table
  std::string openError;                          // why the file could not be opened
  bool hasTexts = false;                          // --password: texts holds the memos
  std::vector<std::string> texts;                 // each record's memo as UTF-8, file order
  std::vector<std::string> memos;                 // the same as code page 932, as stored
};

// Reads the file at `path` into `out`: a record file when it starts with the record
// file header's length (84, little-endian) or is empty, else a Palm database file. The
// file is only read, without taking its lock: both kinds are only ever replaced whole,
// so a reader sees one complete version. A category table is looked for when the app
// info data holds at least its 276 bytes. Returns the first error (the read's, else
// the table's); kErrOpenFailed when the file cannot be opened or is not a regular file.
// A Palm database that cannot be parsed, or is a resource database, gives its error
// (kErrRead*) with the reason in `openError` and no header.
Result ReadMemoFile(const std::string& path, MemoFile& out);

}  // namespace tallimor
