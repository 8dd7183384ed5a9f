// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The conduit's log messages: which string, which arguments and which activity
// code each failure or notice gets, and the header that heads a conduit's first
// error in a HotSync run.
#include "conduit/SyncLog.h"

#include <cstdio>
#include <string>

#include "conduit/ConduitStrings.h"
#include "conduit/WsprintfA.h"
#include "hotsync/log/HsLog.h"
#include "store/CPRecord.h"

namespace tallimor {
namespace {

bool Handheld(std::int32_t flag) { return flag == SyncLog::kHandheld; }

}  // namespace

SyncLog::SyncLog(const char* conduitName)
    : conduitName_(conduitName != nullptr ? conduitName : "") {}

SyncLog::~SyncLog() = default;

void SyncLog::add(const char* text, std::int32_t activity) { LogAddEntry(text, activity, 0); }

void SyncLog::addDescribed(std::int32_t id, const char* description, Result error,
                           std::int32_t activity) {
  char entry[kFormatSize];
  FormatWsprintfA(entry, sizeof entry, loadMessage(id), {description, error});
  add(entry, activity);
}

void SyncLog::addWithText(std::int32_t id, const char* text, std::int32_t activity) {
  char entry[kFormatSize];
  FormatWsprintfA(entry, sizeof entry, loadMessage(id), {text});
  add(entry, activity);
}

void SyncLog::addFatal(Result error) {
  std::int32_t activity = kActivityText;
  std::string format = loadMessage(messageForError(error, &activity));
  // "%l." has no conversion letter, so wsprintfA would print "Fatal Error ." and
  // drop the one number the entry exists to report; it is read as "%ld".
  const std::size_t bare = format.find("%l.");
  if (bare != std::string::npos) format.replace(bare, 3, "%ld.");
  char entry[kFormatSize];
  FormatWsprintfA(entry, sizeof entry, format.c_str(), {error});
  add(entry, activity);
}

void SyncLog::logFatal(Result error, std::int32_t a, std::int32_t b) {
  (void)a;
  (void)b;
  writeHeader();
  addFatal(error);
}

void SyncLog::logFatalCode(Result error) {
  writeHeader();
  addFatal(error);
}

void SyncLog::logStart() {
  add("", kActivityConduitStart);
  add("", kActivityConduitEnded);
  add("", kActivityConduitStart);
}

void SyncLog::logEnd(std::int32_t failed) {
  add(conduitName_.c_str(), failed != 0 ? kActivityConduitFailed : kActivityConduitEnded);
}

void SyncLog::logFatalRecord(Result error, const CPRecord& record, std::int32_t full) {
  (void)full;
  writeHeader();
  describeRecord(record);
  addFatal(error);
}

void SyncLog::writeHeader() {
  if (LogConduitHasEntries() != 0) return;
  const std::string header = "-- " + conduitName_;
  add(header.c_str(), kActivityText);
}

void SyncLog::logAddFailed(Result error, const CPRecord& record, std::int32_t flag) {
  writeHeader();
  const char* description = describeRecord(record);
  if (Handheld(flag)) {
    addDescribed(kStrHandheldAddFailed, description, error, kActivityHandheldAddFailed);
  } else {
    addDescribed(kStrDesktopAddFailed, description, error, kActivityDesktopAddFailed);
  }
}

void SyncLog::logReadFailed(Result error, const CPRecord& record, std::int32_t flag) {
  writeHeader();
  const char* description = describeRecord(record);
  if (Handheld(flag)) {
    addDescribed(kStrHandheldReadFailed, description, error, kActivityHandheldReadFailed);
  } else {
    addDescribed(kStrDesktopReadFailed, description, error, kActivityText);
  }
}

void SyncLog::logCreateFailed(Result error, const char* description, std::int32_t flag) {
  writeHeader();
  addDescribed(Handheld(flag) ? kStrHandheldCreateFailed : kStrDesktopCreateFailed, description,
               error, kActivityText);
}

void SyncLog::logPurgeFailed(Result error, std::int32_t flag) {
  if (Handheld(flag)) {
    addWithText(kStrHandheldPurgeFailed, hexText(error), kActivityHandheldPurgeFailed);
  } else {
    addWithText(kStrDesktopPurgeFailed, hexText(error), kActivityDesktopFailed);
  }
}

void SyncLog::logSaveFailed(Result error) {
  addWithText(kStrDesktopSaveFailed, hexText(error), kActivityDesktopSaveFailed);
}

void SyncLog::logCloseFailed(Result error, std::int32_t flag) {
  if (Handheld(flag)) {
    addWithText(kStrRemoteCloseFailed, hexText(error), kActivityDesktopFailed);
  } else {
    addWithText(kStrLocalCloseFailed, hexText(error), kActivityDesktopSaveFailed);
  }
}

void SyncLog::logResetFlagsFailed(Result error, std::int32_t flag) {
  if (Handheld(flag)) {
    addWithText(kStrHandheldResetFailed, hexText(error), kActivityHandheldResetFailed);
  } else {
    addWithText(kStrDesktopResetFailed, hexText(error), kActivityDesktopFailed);
  }
}

void SyncLog::logModifiedBoth(const CPRecord& record) {
  addWithText(kStrModifiedBoth, describeRecord(record), kActivityModifiedBoth);
}

void SyncLog::logModifiedDeleted(const CPRecord& record) {
  addWithText(kStrModifiedDeleted, describeRecord(record), kActivityModifiedDeleted);
}

void SyncLog::logCategoryDeleted(const char* name, std::int32_t flag) {
  addWithText(Handheld(flag) ? kStrHandheldCategoryDeleted : kStrDesktopCategoryDeleted, name,
              kActivityCategoryDeleted);
}

void SyncLog::logMoveFailed(const char* name, std::int32_t flag) {
  addWithText(Handheld(flag) ? kStrHandheldMoveFailed : kStrDesktopMoveFailed, name,
              kActivityMoveFailed);
}

void SyncLog::logCategoryLimit(const char* name, std::int32_t flag) {
  addWithText(Handheld(flag) ? kStrHandheldCategoryLimit : kStrDesktopCategoryLimit, name,
              kActivityCategoryLimit);
}

void SyncLog::describeDatabase(char* buffer, std::size_t capacity, const char* name,
                               std::uint32_t creator, std::uint32_t type, std::uint16_t flags,
                               std::uint16_t version) {
  const char* creatorText = hexText(creator);
  if (longDescription_) {
    FormatWsprintfA(buffer, capacity, loadMessage(kStrDatabaseLong),
                    {name, creatorText, type, std::int32_t{flags}, std::int32_t{version}});
  } else {
    FormatWsprintfA(buffer, capacity, loadMessage(kStrDatabaseShort), {name, creatorText});
  }
}

void SyncLog::logText(const char* text) {
  writeHeader();
  add(text, kActivityText);
}

void SyncLog::logTextError(const char* text) {
  writeHeader();
  add(text, kActivityDesktopFailed);
}

const char* SyncLog::describeRecord(const CPRecord& record) {
  description_[0] = '\0';
  std::uint32_t size = sizeof description_;
  if (record.Describe(description_, size) == kErrBufferTooSmall) description_[0] = '\0';
  return description_;
}

const char* SyncLog::loadMessage(std::int32_t id) {
  LoadConduitString(id, format_, static_cast<int>(sizeof format_));
  return format_;
}

std::int32_t SyncLog::messageForError(Result error, std::int32_t* activity) {
  (void)error;
  if (activity != nullptr) *activity = kActivityText;
  return kStrFatalError;
}

std::int32_t SyncLog::messageForErrorAlt(Result error, std::int32_t* activity) {
  return SyncLog::messageForError(error, activity);
}

const char* SyncLog::hexText(std::uint32_t value) {
  std::snprintf(number_, sizeof number_, "%x", static_cast<unsigned>(value));
  return number_;
}

}  // namespace tallimor
