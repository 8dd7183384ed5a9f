// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Meanings of the shared result codes, kept as one table in code order so that a
// reader can hold it against the list of constants.
#include "store/ResultCodes.h"

#include "store/CodeMeaning.h"

namespace tallimor {
namespace {

constexpr CodeMeaning kMeanings[] = {
    {kOk, "success"},
    {kErrBufferTooSmall, "the caller's buffer is too small"},
    {kErrOutOfMemory, "out of memory"},
    {kErrNoNameBuffer, "the output buffer for a category name is missing"},
    {kErrTooLong, "too long: a category name was cut to 15 bytes, or application data is larger than the app info area"},
    {kErrBadCategoryIndex, "category index above 15, or no category at that index"},
    {kErrNoCategoryName, "category name missing or empty"},
    {kErrCategoryNotFound, "category to delete not found"},
    {kErrNullArgument, "a required argument is missing"},
    {kErrBadIterationMode, "unknown iteration mode"},
    {kErrNotSupported, "operation not supported by this manager"},
    {kErrAlreadyOpen, "handheld database already open"},
    {kErrNoAppInfoForCategories, "no app info block, or an empty one, from which to load categories"},
    {kErrNoMatch, "no (further) record matches"},
    {kErrNoCategorySupport, "categories not supported by the handheld manager"},
    {kErrNoRecordList, "the handheld manager has no record list"},
    {kErrUnknownSyncType, "unknown sync type when opening the desktop file"},
    {kErrSyncTypeTooLarge, "sync type above 7"},
    {kErrNotOpen, "handheld database not open"},
    {kErrOpenFailed, "the file could not be opened or created"},
    {kErrRecordNotFound, "the record to change or delete was not found"},
    {kErrReadEof, "a read returned no bytes (end of file)"},
    {kErrReadFailed, "a read call failed"},
    {kErrReadShort, "a read returned fewer bytes than asked for"},
    {kErrFileNotOpen, "the file is not open"},
    {kErrNoFileName, "no file name"},
    {kErrReadHeader, "the header could not be read"},
    {kErrReadAppInfo, "the app info block could not be read"},
    {kErrReadSortInfo, "the sort info block could not be read"},
    {kErrReadRecordHeader, "a record header could not be read"},
    {kErrWrite, "the file could not be opened for writing, or a write failed"},
    {kErrNoAppInfo, "there is no app info block"},
    {kErrNoSortInfo, "there is no sort info block"},
    {kErrDesktopFileMissing, "the desktop file is missing for a fast or slow synchronization"},
    {kErrHandheldDbMissing, "the handheld database is missing"},
    {kErrFirstSyncTypeChanged, "first synchronization: the sync type was changed"},
    {kErrBackupFailed, "the backup copy failed"},
    {kErrReorderUnknownId, "a record id in a reorder list is unknown"},
    {kErrReorderCountMismatch, "a reorder list does not match the record count"},
    {kErrCategoryTableFull, "category table full, no free index, or no id could be given"},
    {kErrCategoryTableShort, "app info data shorter than the 276-byte category table"},
    {kErrCategoryIdExists, "a category with that id exists already"},
    {kErrNoCategoryAtIndex, "no category at that index, or no category table"},
    {kErrRecordCategoryIndex, "category index above 15 in a record-level category operation"},
    {kErrFileChanged, "the file was changed by another program since it was read; it was not written over"},
    {kErrMassDeleteRefused, "the HotSync would delete many memos only because the other side lacks them; nothing was changed"},
};

}  // namespace

const char* ResultMeaning(Result result) { return FindCodeMeaning(kMeanings, result, "unknown result"); }

}  // namespace tallimor
