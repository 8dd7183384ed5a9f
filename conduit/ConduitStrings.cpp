// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The conduit's string table, one row a resource in id order, with the texts
// exactly as the conduit ships them (the double spaces and the unusual "%l." of
// 3362 included: SyncLog knows about the latter).
#include "conduit/ConduitStrings.h"

#include <cstring>

#include "store/Cp932Bytes.h"

namespace tallimor {

const ConduitString kConduitStrings[] = {
    {kStrConduitName, "Generic Conduit"},
    {kStrHandheldPurgeFailed, "Could not purge the deleted records on Palm organizer. %s"},
    {kStrHandheldMoveFailed, "Could not move the Palm organizer records in category '%s' to 'Unfiled'."},
    {kStrHandheldCategoryLimit, "Only 15 categories are allowed.  All records in remote category %s were changed to 'Unfiled'."},
    {kStrHandheldCategoryDeleted, "-- Remote category %s has been deleted. The records in this category have been moved to 'Unfiled'."},
    {kStrModifiedBoth, "The following record was modified on both Palm organizer and the Desktop: %s. This record will be duplicated on each platform. Delete the unwanted record and HotSync again."},
    {kStrModifiedDeleted, "The following record, %s,  was modified on one platform and deleted on the other. The modified version will appear on both platforms."},
    {kStrHandheldResetFailed, "Could not clear Palm organizer's status flags. Error Code %s"},
    {kStrFatalError, "Fatal Error %l."},
    {kStrDesktopPurgeFailed, "Could not purge the deleted records on Desktop. Error Code %s"},
    {kStrDesktopSaveFailed, " -- Could not save the local database. Error Code %s"},
    {kStrDesktopResetFailed, " -- Could not clear Desktop's Database's status flags. Error Code %s"},
    {kStrRemoteCloseFailed, " -- Could not close remote database. Error Code %s"},
    {kStrLocalCloseFailed, " -- Could not close local database. Error Code %s"},
    {kStrDesktopCategoryDeleted, "-- Local category %s has been deleted. The records in this category have been moved to 'Unfiled'."},
    {kStrDesktopMoveFailed, "Could not move the local records in category '%s' to 'Unfiled'."},
    {kStrDesktopCategoryLimit, "Only 15 categories are allowed.  All records in local category %s were changed to 'Unfiled'."},
    {kStrDatabaseLong, "DB Name %1s, Creator ID %2s, Type %3u, Flags %4d, Version %5d"},
    {kStrDatabaseShort, "DB Name %1s, Creator ID %2s"},
    {kStrDesktopCreateFailed, " -- Failed to create PC Database: %1s, Error %2u"},
    {kStrHandheldCreateFailed, " -- Failed to create HH Database: %1s, Error %2u"},
    {kStrDesktopAddFailed, " -- PC failed to add record: %1s, Error %2u"},
    {kStrHandheldAddFailed, " -- HH failed to add record: %1s, Error %2u"},
    {kStrDesktopReadFailed, " -- PC failed to read record: %1s, Error %2u"},
    {kStrHandheldReadFailed, " -- HH failed to read record: %1s, Error %2u"},
    {kStrRecordById, "Record ID %u"},
    {kStrRecordByIndex, "Record Index %u"},
    {kStrJournalRolledForward, "-- The last HotSync ended after Palm organizer took its changes but before the Desktop did; the Desktop's changes have been completed now."},
    {kStrJournalRolledBack, "-- The last HotSync ended before Palm organizer took its changes; they are made again now."},
    {kStrFirstSyncMerged, "-- First HotSync of this Palm organizer with records on the Desktop: %u records were added to Palm organizer and %u to the Desktop; no record was deleted."},
    {kStrPasswordChangedKept, "-- The password was changed on Palm organizer. %u records changed on the Desktop under the old password were kept aside in %s and not sent. Open Tallimor with the new password and type the old one when asked to bring them back, then HotSync again."},
    {kStrPasswordChanged, "-- The password was changed on Palm organizer; the Desktop takes the new password."},
    {kStrMassDeleteRefused, "-- This HotSync would delete %u of the %u records on the Desktop only because Palm organizer lacks them. Nothing was changed. If they were deleted on purpose, HotSync again with 'hotsync sync --allow-mass-delete'."},
    {kStrBackupSetAside, "-- The backup copy %s could not be read (%s); it was set aside as %s and this HotSync compares without it."},
    {kStrRecordTooLong, "-- Record ID %u of %u bytes is longer than the Desktop file can hold (%u bytes); it stays on Palm organizer only."},
    {kStrHandheldAppInfoShort, "-- The Palm organizer database %s is damaged: its application information holds %u bytes, fewer than the %u bytes of the category table. Nothing was synchronized."},
    {kStrDesktopFileInUse, "-- The Desktop file %s is in use by another program. Nothing was synchronized; HotSync again when that program has saved."},
    {kStrCurrentSettings, "%s's Current Settings:"},
    {kStrActionSynchronize, "Synchronize the files."},
    {kStrActionDesktopOverwrites, "Desktop overwrites Palm organizer."},
    {kStrActionHandheldOverwrites, "Palm organizer overwrites Desktop."},
    {kStrActionNothing, "Do Nothing."},
    {kStrActionGroup, "HotSync Action for Generic Conduit"},
};

const std::size_t kConduitStringCount = sizeof kConduitStrings / sizeof kConduitStrings[0];

const char* FindConduitString(std::int32_t id) {
  for (std::size_t i = 0; i < kConduitStringCount; ++i) {
    if (kConduitStrings[i].id == id) return kConduitStrings[i].text;
  }
  return nullptr;
}

int LoadConduitString(std::int32_t id, char* buffer, int capacity) {
  if (buffer == nullptr || capacity <= 0) return 0;
  const char* text = FindConduitString(id);
  if (text == nullptr) {
    buffer[0] = '\0';
    return 0;
  }
  const std::size_t n = Cp932PrefixLength(text, static_cast<std::size_t>(capacity) - 1);
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

}  // namespace tallimor
