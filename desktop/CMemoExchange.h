// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CMemoExchange: the File menu's export, import and backup commands of the desktop
// program. Export writes the open memos (or a backup window's) as KeePass 2 XML, CSV or
// text, replacing an existing file only after asking, and atomically; import reads a
// CSV or text export, checks every memo and adds them all or none to the open store;
// opening a backup asks for its password and shows it in a read-only CBackupWindow.
// The formats and checks are exchange/'s; this class only asks, tells and writes.
#pragma once

#include <string>
#include <vector>

#include "exchange/ExchangeMemo.h"

class QWidget;

namespace tallimor {

class CDesktopApp;

class CMemoExchange {
 public:
  CMemoExchange() = delete;

  // Runs command kCmdExport, kCmdImport or kCmdOpenBackup; false for any other.
  static bool OnCommand(CDesktopApp& app, int command);

  // Asks for a file and a format and writes `memos` (categories in index order) there.
  static void Export(CDesktopApp& app, QWidget* parent, const std::vector<ExchangeMemo>& memos,
                     const std::vector<std::string>& categories);
  // The live memos of the open store, in record order, with its category names.
  static std::vector<ExchangeMemo> StoreMemos(CDesktopApp& app, std::vector<std::string>* categories);
  // Asks for a file and adds its memos to the open store.
  static void Import(CDesktopApp& app);
  // Asks for a backup file and its password and shows it read-only.
  static void OpenBackup(CDesktopApp& app);
};

}  // namespace tallimor
