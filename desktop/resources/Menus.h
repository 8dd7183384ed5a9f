// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Menu 128, tool bar 128 and accelerator table 128 of the main frame, kept as data: the
// frame builds its menu bar, tool bar and shortcuts from these tables, and tests walk
// them. Texts are UTF-8 with "&" marking the mnemonic and "\t" before the key hint.
#pragma once

#include <span>

namespace tallimor {

// One menu entry; command 0 is a separator.
struct MenuEntry {
  int command;
  const char* text;
};

// One drop-down menu of the menu bar.
struct MenuPopup {
  const char* text;
  std::span<const MenuEntry> entries;
};

// One tool bar button; command 0 is a separator. `icon` names an image in the
// program's resources.
struct ToolBarButton {
  int command;
  const char* icon;
};

// One accelerator: a key in Qt's portable key-sequence text and the command it sends.
struct Accelerator {
  const char* key;
  int command;
};

// Menu 128, in menu-bar order.
std::span<const MenuPopup> MainMenu();

// Tool bar 128, left to right.
std::span<const ToolBarButton> MainToolBar();

// Accelerator table 128.
std::span<const Accelerator> MainAccelerators();

// Menu 142, the memo list's pop-ups: the first for a right click on a memo ("項目あり"),
// the second for one beside the memos ("項目なし").
std::span<const MenuEntry> MemoItemPopup();
std::span<const MenuEntry> MemoListPopup();

}  // namespace tallimor
