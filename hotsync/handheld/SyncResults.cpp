// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Meanings of the Sync Manager result codes, one row per code in code order.
#include "hotsync/handheld/SyncResults.h"

#include "store/CodeMeaning.h"

namespace tallimor {
namespace {

constexpr CodeMeaning kMeanings[] = {
    {kSyncErrNone, "success"},
    {kSyncErrCommLost, "communications error: the link to the handheld was lost"},
    {kSyncErrNotConnected, "no handheld is connected, or the conduit's connection is not open"},
    {kSyncErrBadArgument, "an argument is missing or out of range"},
    {kSyncErrNotFound, "not found, or no more records"},
    {kSyncErrExists, "a database of that name already exists on the handheld"},
    {kSyncErrBadHandle, "no database is open under that handle"},
    {kSyncErrReadOnly, "the database is not open for writing"},
    {kSyncErrDatabaseFull, "the database already holds 65,535 records"},
    {kSyncErrTooLarge, "a record or block is larger than 65,520 bytes"},
    {kSyncErrBufferTooSmall, "the caller's buffer is too small"},
    {kSyncErrStorage, "the handheld's storage could not be written"},
    {kSyncErrCorruptDatabase, "a database file of the handheld is damaged"},
    {kSyncErrDatabaseOpen, "the database is already open"},
    {kSyncErrWrongDatabaseKind, "the operation does not apply to this kind of database"},
    {kSyncErrTooManyOpen, "too many databases are open"},
    {kSyncErrAlreadyConnected, "the conduit's connection is already open"},
    {kSyncErrBusy, "another program is using the handheld"},
};

}  // namespace

const char* SyncResultMeaning(Result code) { return FindCodeMeaning(kMeanings, code, "unknown result"); }

}  // namespace tallimor
