// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program's string table: every text that the user interface shows, kept
// under a numeric id as the program's resources number them. Code refers to texts only
// by id; the texts are UTF-8 here and reach the widgets unchanged.
#pragma once

#include <string_view>

namespace tallimor {

// Ids of the table's texts, named for their use. Command prompts live under the
// command's own id (see CommandIds.h).
inline constexpr int kIdsAppTitle = 128;           // caption of every message box
inline constexpr int kIdsPositionPane = 129;       // sizes the status bar's position pane
inline constexpr int kIdsHotSyncStarted = 130;
inline constexpr int kIdsHotSyncEnded = 131;
inline constexpr int kIdsHotSyncFailed = 133;
inline constexpr int kIdsChangeCategory = 134;
inline constexpr int kIdsHotSyncRefused = 135;
inline constexpr int kIdsRestoreConfirm = 136;
inline constexpr int kIdsCategoryLimit = 138;
inline constexpr int kIdsEnterMemo = 141;
inline constexpr int kIdsNewCategory = 142;
inline constexpr int kIdsSelectBeforeDelete = 143;
inline constexpr int kIdsSelectBeforeRename = 144;
inline constexpr int kIdsEnterCategoryName = 145;
inline constexpr int kIdsRenameCategory = 146;
inline constexpr int kIdsDeleteMemoConfirm = 147;
inline constexpr int kIdsDeleteMemoCaption = 148;
inline constexpr int kIdsWrongPassword = 149;
inline constexpr int kIdsSaveFailed = 170;         // Save All could not write the file
inline constexpr int kIdsSaveFailedHotSync = 171;  // HotSync start could not write the file
inline constexpr int kIdsSaveFailedExit = 172;     // exit could not write: give edits up?
inline constexpr int kIdsSaveFailedSwitch = 173;   // user switch could not write: give edits up?
inline constexpr int kIdsPasswordNotCp932 = 174;
inline constexpr int kIdsAboutVersion = 175;       // "%1" is the version
inline constexpr int kIdsRestoreFailed = 176;
inline constexpr int kIdsNoNotifySocket = 177;     // start-up could not open the HotSync socket
inline constexpr int kIdsSaveFailedDetail = 178;   // "%1" is the result code
inline constexpr int kIdsMemoNotCp932 = 179;       // the memo text has a character without a code
inline constexpr int kIdsCategoryNotCp932 = 180;   // the category name has one
inline constexpr int kIdsPasteNotCp932 = 181;      // the clipboard text has one
inline constexpr int kIdsSaveRefusedReadInPart = 182;  // detail: record.dat was read only in part
inline constexpr int kIdsConfirmPasswordCaption = 183;  // caption of the confirmation prompt
inline constexpr int kIdsConfirmNewPassword = 184;  // no data yet: type the password again
inline constexpr int kIdsPasswordMismatch = 185;    // the two passwords differ
inline constexpr int kIdsOldPasswordCaption = 186;  // caption of the previous password prompt
inline constexpr int kIdsEnterOldPassword = 187;    // kept memos wait for the previous password
inline constexpr int kIdsKeptFileName = 188;        // "%1" is the kept file's name
inline constexpr int kIdsOldPasswordHint = 189;     // "%1" is the previous password's hint
inline constexpr int kIdsOldPasswordWrong = 190;
inline constexpr int kIdsKeptMemosRestored = 191;
inline constexpr int kIdsKeptMemoCount = 192;       // "%1" is the number of memos
inline constexpr int kIdsKeptMemosNotRestored = 193;  // the merge could not be saved
inline constexpr int kIdsKeptFileUnreadable = 194;
inline constexpr int kIdsPasswordChangedOnHandheld = 195;  // a HotSync brought a new password
// A save met another program's work ("%1" names the program): reload with the edits?
inline constexpr int kIdsFileChangedReload = 196;  // the file was rewritten since it was read
inline constexpr int kIdsFileHeldReload = 197;     // the file is held open now
inline constexpr int kIdsWriterHotSync = 198;      // names for "%1"
inline constexpr int kIdsWriterTallimor = 199;
// 200 to 215 are the move-to-category commands.
inline constexpr int kIdsWriterUnknown = 216;
inline constexpr int kIdsHotSyncStoppedForSave = 217;  // detail: the HotSync was refused
inline constexpr int kIdsEditsKeptKeyChanged = 218;    // the file came under a new password
inline constexpr int kIdsReloadedWithEdits = 219;      // status text after the reload
inline constexpr int kIdsUserOpenElsewhere = 220;      // another program has the user open
inline constexpr int kIdsProcessId = 221;              // "%1" is the holder's process id
// The memo search (3500-3549; 3500 is the find command's prompt).
inline constexpr int kIdsFindPlaceholder = 3501;   // shown in the empty find field
inline constexpr int kIdsFindBar = 3502;           // the find field's tool bar
// 3550 to 3599: the clipboard, the lock, the preferences and the review of conflicts.
// 3550 is the preferences command's prompt (CommandIds.h).
inline constexpr int kIdsLocked = 3551;             // status text while the memos are locked away
inline constexpr int kIdsLockSaveFailed = 3552;     // the lock could not write the memos back
inline constexpr int kIdsPreferencesTitle = 3553;
inline constexpr int kIdsPrefClipboardGroup = 3554;
inline constexpr int kIdsPrefClearClipboard = 3555;
inline constexpr int kIdsPrefClearAfter = 3556;
inline constexpr int kIdsPrefSeconds = 3557;
inline constexpr int kIdsPrefLockGroup = 3558;
inline constexpr int kIdsPrefLockOnScreenLock = 3559;
inline constexpr int kIdsPrefIdleLock = 3560;
inline constexpr int kIdsPrefIdleAfter = 3561;
inline constexpr int kIdsPrefMinutes = 3562;
inline constexpr int kIdsPrefSaveFailed = 3563;     // Tallimor.ini could not be written
inline constexpr int kIdsConflictOffer = 3570;      // "%1" is the number of pairs
inline constexpr int kIdsConflictTitle = 3571;
inline constexpr int kIdsConflictHandheld = 3572;   // the handheld's version
inline constexpr int kIdsConflictDesktop = 3573;    // the desktop's version
inline constexpr int kIdsConflictKeepHandheld = 3574;
inline constexpr int kIdsConflictKeepDesktop = 3575;
inline constexpr int kIdsConflictKeepBoth = 3576;
inline constexpr int kIdsConflictLater = 3577;
inline constexpr int kIdsConflictPosition = 3578;   // "%1" of "%2"
inline constexpr int kIdsConflictExplain = 3579;
inline constexpr int kIdsConflictSaveFailed = 3580;  // the choice could not be saved
inline constexpr int kIdsConflictCategory = 3581;   // "%1" is the category's name
// Export, import and backups (3603-3649; 3600-3602 are the commands' prompts).
inline constexpr int kIdsExportCaption = 3603;
inline constexpr int kIdsImportCaption = 3604;
inline constexpr int kIdsBackupCaption = 3605;
inline constexpr int kIdsFilterKeePassXml = 3606;
inline constexpr int kIdsFilterCsv = 3607;
inline constexpr int kIdsFilterText = 3608;
inline constexpr int kIdsReplaceFile = 3609;         // "%1" is the file name
inline constexpr int kIdsExportFailed = 3610;        // the detail says why
inline constexpr int kIdsExported = 3611;            // "%1" is the number of memos
inline constexpr int kIdsImportUnreadable = 3612;    // the file could not be read
inline constexpr int kIdsImportRefused = 3613;       // "%1" is the memo's number in the file
inline constexpr int kIdsImportFault = 3614;         // 3614 + fault - 1: why, for each ImportFault
inline constexpr int kIdsImported = 3628;            // "%1" is the number of memos
inline constexpr int kIdsImportNoUser = 3629;
inline constexpr int kIdsFilterBackup = 3630;
inline constexpr int kIdsBackupPassword = 3631;
inline constexpr int kIdsBackupWrongPassword = 3632;
inline constexpr int kIdsBackupTakenByText = 3633;
inline constexpr int kIdsBackupUnreadable = 3634;    // the detail says why
inline constexpr int kIdsReadOnlyTitle = 3635;       // "%1" is the file name
inline constexpr int kIdsBackupCopy = 3636;
inline constexpr int kIdsBackupExport = 3637;
inline constexpr int kIdsBackupClose = 3638;
inline constexpr int kIdsImportLine = 3639;          // "%1" is the line of the file
inline constexpr int kIdsBackupCheckedBeside = 3640;
inline constexpr int kIdsExportReplaced = 3641;      // "%1" memos had control characters
inline constexpr int kIdsImportUnfiled = 3642;       // "%1" memos found no room for their category
inline constexpr int kIdsImportFileFormat = 3643;    // the file itself is not of the export's shape
inline constexpr int kIdsFilterImport = 3644;
inline constexpr int kIdsAppName = 57344;
inline constexpr int kIdsIdle = 57345;             // message pane text when nothing is going on

// The text stored under `id`; an empty view for an id the table does not hold.
std::string_view LoadString(int id);

// Every id of the table in ascending order, for tests that walk it.
int StringTableSize();
int StringTableIdAt(int position);

}  // namespace tallimor
