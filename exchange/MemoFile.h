// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
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

#include "exchange/ExchangeMemo.h"
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
  // For an archive "<category>.ARC": the index of that category in the category table
  // of the record.dat beside it (then `categories`), which its records are filed in;
  // -1 when the file is no archive or no such category stands there.
  int archiveCategory = -1;
};

// Reads the file at `path` into `out`: a record file when it starts with the record
// file header's length (84, little-endian) or is empty, else a Palm database file. The
// file is only read, without taking its lock: both kinds are only ever replaced whole,
// so a reader sees one complete version. A category table is looked for when the app
// info data holds at least its 276 bytes. Returns the first error (the read's, else
// the table's); kErrOpenFailed when the file cannot be opened or is not a regular file.
// A Palm database that cannot be parsed, or is a resource database, gives its error
// (kErrRead*) with the reason in `openError` and no header.
//
// An archive holds no category table and its records lost their category index when
// they were archived; the file's name is the category's file name. So for a record
// file named *.ARC without a table, the table of the record.dat beside it is read
// (only read), and where one of its categories has that file name, that table becomes
// the file's and `archiveCategory` names the category.
Result ReadMemoFile(const std::string& path, MemoFile& out);

// The exchange form of record `i` of `file`, whose memos are filled in: filed in the
// archive's category where `archiveCategory` names one, else in the record's own.
// Sets *lossy as MakeExchangeMemo.
ExchangeMemo MemoFileExchangeMemo(const MemoFile& file, std::size_t i, bool* lossy);

}  // namespace tallimor
