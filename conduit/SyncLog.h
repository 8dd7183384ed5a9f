// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// SyncLog turns the conduit's failures and notices into entries of the HotSync
// log: each message comes from the conduit's string table, is formatted as
// wsprintfA formats it, and is added with its activity code. The synchronizer owns
// one and hands it to every database manager it creates. Logging never fails
// towards its callers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "store/ResultCodes.h"

namespace tallimor {

class CPRecord;

class SyncLog {
 public:
  // The side flag of the operations below: 1 the handheld, anything else the desktop.
  static constexpr std::int32_t kHandheld = 1;
  static constexpr std::int32_t kDesktop = 0;
  // Sizes of the buffers of the log.
  static constexpr std::size_t kFormatSize = 512;
  static constexpr std::size_t kDescriptionSize = 256;

  // A log for the conduit of that name (copied; null is taken as empty).
  explicit SyncLog(const char* conduitName);

  SyncLog(const SyncLog&) = delete;
  SyncLog& operator=(const SyncLog&) = delete;

  // Virtual operations, in slot order. "Header" means writeHeader runs first.

  virtual ~SyncLog();
  // Header; "Fatal Error <error>." (messageForError's message and activity).
  // a and b have no effect.
  virtual void logFatal(Result error, std::int32_t a, std::int32_t b);
  // The same with only the error.
  virtual void logFatalCode(Result error);
  // Three entries with empty text and activities 19, 20, 19, without the header.
  virtual void logStart();
  // The conduit name with activity 21 when failed is non-zero, else 20.
  virtual void logEnd(std::int32_t failed);
  // Header; the record is described; then as logFatalCode. full has no effect.
  virtual void logFatalRecord(Result error, const CPRecord& record, std::int32_t full);
  // "-- <conduit name>" with activity -1, unless the conduit already has entries
  // in this run (the log's header query), so that it heads the first error only.
  virtual void writeHeader();
  // Header; " -- HH failed to add record: <record>, Error <error>" (activity 9) or
  // the PC form (activity 13).
  virtual void logAddFailed(Result error, const CPRecord& record, std::int32_t flag);
  // Header; " -- HH failed to read record: ..." (activity 8) or the PC form (-1).
  virtual void logReadFailed(Result error, const CPRecord& record, std::int32_t flag);
  // Header; " -- Failed to create HH Database: <description>, Error <error>" or the
  // PC form, activity -1. description comes from describeDatabase.
  virtual void logCreateFailed(Result error, const char* description, std::int32_t flag);
  // The error in hexadecimal: handheld 3316 (activity 10), desktop 3363 (22).
  virtual void logPurgeFailed(Result error, std::int32_t flag);
  // " -- Could not save the local database. Error Code <hex>", activity 17.
  virtual void logSaveFailed(Result error);
  // Remote close 3366 (activity 22) or local close 3367 (17), error in hexadecimal.
  virtual void logCloseFailed(Result error, std::int32_t flag);
  // Handheld 3348 (activity 18) or desktop 3365 (22), error in hexadecimal.
  virtual void logResetFlagsFailed(Result error, std::int32_t flag);
  // The record modified on both sides (3328, activity 0).
  virtual void logModifiedBoth(const CPRecord& record);
  // The record modified on one side and deleted on the other (3334, activity 2).
  virtual void logModifiedDeleted(const CPRecord& record);
  // Category deleted: handheld 3325, desktop 3368; activity 4.
  virtual void logCategoryDeleted(const char* name, std::int32_t flag);
  // Records not moved to Unfiled: handheld 3320, desktop 3369; activity 7.
  virtual void logMoveFailed(const char* name, std::int32_t flag);
  // Category limit: handheld 3323, desktop 3370; activity 3.
  virtual void logCategoryLimit(const char* name, std::int32_t flag);
  // Writes the description of a database into buffer of capacity bytes (no
  // entry): the long form 3371 with name, creator (hexadecimal), type, flags and
  // version when longDescription() is set, else the short form 3372.
  virtual void describeDatabase(char* buffer, std::size_t capacity, const char* name,
                                std::uint32_t creator, std::uint32_t type, std::uint16_t flags,
                                std::uint16_t version);
  // Header; the text with activity -1.
  virtual void logText(const char* text);
  // Header; the text with activity 22.
  virtual void logTextError(const char* text);
  // The record's own description ("Record ID %u" or "Record Index %u") in the
  // description buffer, which is returned; "" if the record gives none.
  virtual const char* describeRecord(const CPRecord& record);
  // Loads string id into the format buffer, which is returned ("" for no such string).
  virtual const char* loadMessage(std::int32_t id);
  // The message for an error: always 3362, with *activity set to -1.
  virtual std::int32_t messageForError(Result error, std::int32_t* activity);
  // The same.
  virtual std::int32_t messageForErrorAlt(Result error, std::int32_t* activity);
  // value as lower-case hexadecimal digits without prefix, in the number buffer.
  virtual const char* hexText(std::uint32_t value);

  // The database description form for describeDatabase (set by the owner; short
  // when clear).
  void setLongDescription(bool on) { longDescription_ = on; }
  bool longDescription() const { return longDescription_; }
  const std::string& conduitName() const { return conduitName_; }

 private:
  // Adds one entry to the HotSync log.
  void add(const char* text, std::int32_t activity);
  // Adds string id formatted with a description and an error (" ...: %1s, Error %2u").
  void addDescribed(std::int32_t id, const char* description, Result error,
                    std::int32_t activity);
  // Adds string id formatted with one text argument.
  void addWithText(std::int32_t id, const char* text, std::int32_t activity);
  // Adds the fatal error entry for error.
  void addFatal(Result error);

  std::string conduitName_;                 // copied at construction
  char format_[kFormatSize] = {};           // the last loaded string
  char description_[kDescriptionSize] = {};  // the last record description
  char number_[16] = {};                    // the last hexadecimal number
  bool longDescription_ = false;            // describeDatabase uses the long form
};

}  // namespace tallimor
