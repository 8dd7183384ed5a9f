// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Command identifiers of the desktop program: the ids that menu 128, tool bar 128,
// accelerator table 128 and the main view's pop-up menus carry. The frame routes every
// command by these numbers, and the string table keeps each command's status prompt
// under the same id.
#pragma once

namespace tallimor {

inline constexpr int kCmdUser = 132;               // Tools > User...: run the user dialog
inline constexpr int kCmdDelete = 137;             // delete the selected memos
inline constexpr int kCmdNewMemo = 139;            // write a new memo
inline constexpr int kCmdEditMemo = 140;           // edit the current memo
inline constexpr int kCmdRestore = 159;            // go back to the last saved state
inline constexpr int kCmdCategories = 161;         // edit the categories
inline constexpr int kCmdFind = 3500;             // Ctrl+F: to the tool bar's find field
inline constexpr int kCmdExport = 3600;           // File > Export...: write the memos to a file
inline constexpr int kCmdImport = 3601;           // File > Import...: add the memos of a file
inline constexpr int kCmdOpenBackup = 3602;       // File > Open backup...: show a file read-only
inline constexpr int kCmdMoveToCategory0 = 200;    // 200 + k moves the selection to category k
inline constexpr int kCmdMoveToCategory15 = 215;
inline constexpr int kCmdPreferences = 3550;       // Tools > Options...: the preferences dialog
inline constexpr int kCmdSaveAll = 57603;          // write the store and read it back
inline constexpr int kCmdCopy = 57634;
inline constexpr int kCmdCut = 57635;
inline constexpr int kCmdPaste = 57637;
inline constexpr int kCmdSelectAll = 57642;
inline constexpr int kCmdUndo = 57643;
inline constexpr int kCmdAbout = 57664;
inline constexpr int kCmdExit = 57665;
inline constexpr int kCmdNextPane = 57680;
inline constexpr int kCmdPrevPane = 57681;
inline constexpr int kCmdViewToolBar = 59392;      // also the tool bar's bar id
inline constexpr int kCmdViewStatusBar = 59393;    // also the status bar's bar id

}  // namespace tallimor
