// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The rows of menu 128, tool bar 128, accelerator table 128 and the pop-ups of menu 142,
// one entry a line in the order they are shown.
#include "desktop/resources/Menus.h"

#include "desktop/resources/CommandIds.h"

namespace tallimor {
namespace {

constexpr MenuEntry kFileMenu[] = {
    {kCmdSaveAll, "すべて保存(&S)\tCtrl+S"},
    {kCmdRestore, "復元(&R)"},
    {0, nullptr},
    {kCmdOpenBackup, "バックアップを開く(&B)..."},
    {kCmdImport, "インポート(&I)..."},
    {kCmdExport, "エクスポート(&E)..."},
    {0, nullptr},
    {kCmdExit, "終了(&X)"},
};

constexpr MenuEntry kEditMenu[] = {
    {kCmdUndo, "元に戻す(&U)\tCtrl+Z"},
    {0, nullptr},
    {kCmdCut, "切り取り(&T)\tCtrl+X"},
    {kCmdCopy, "コピー(&C)\tCtrl+C"},
    {kCmdPaste, "貼り付け(&P)\tCtrl+V"},
    {kCmdDelete, "削除(&D)\tDEL"},
    {0, nullptr},
    {kCmdSelectAll, "すべて選択(&A)\tCtrl+A"},
    {0, nullptr},
    {kCmdNewMemo, "新規メモ(&N)...\tCtrl+N"},
    {kCmdEditMemo, "メモの編集(&I)..."},
};

constexpr MenuEntry kViewMenu[] = {
    {kCmdViewToolBar, "ツール バー(&T)"},
    {kCmdViewStatusBar, "ステータス バー(&S)"},
};

constexpr MenuEntry kToolsMenu[] = {
    {kCmdCategories, "カテゴリ(&C)..."},
    {kCmdUser, "ユーザ(&U)..."},
    {0, nullptr},
    {kCmdPreferences, "オプション(&O)..."},
};

constexpr MenuEntry kHelpMenu[] = {
    {kCmdAbout, "バージョン情報 Tallimor(&A)..."},
};

constexpr MenuPopup kMainMenu[] = {
    {"ファイル(&F)", kFileMenu},
    {"編集(&E)", kEditMenu},
    {"表示(&V)", kViewMenu},
    {"ツール(&T)", kToolsMenu},
    {"ヘルプ(&H)", kHelpMenu},
};

constexpr ToolBarButton kMainToolBar[] = {
    {kCmdSaveAll, ":/tallimor/toolbar/save.png"},
    {0, nullptr},
    {kCmdCut, ":/tallimor/toolbar/cut.png"},
    {kCmdCopy, ":/tallimor/toolbar/copy.png"},
    {kCmdPaste, ":/tallimor/toolbar/paste.png"},
    {kCmdUndo, ":/tallimor/toolbar/undo.png"},
    {0, nullptr},
    {kCmdAbout, ":/tallimor/toolbar/about.png"},
};

constexpr Accelerator kMainAccelerators[] = {
    {"Ctrl+C", kCmdCopy},
    {"Ctrl+Ins", kCmdCopy},
    {"Ctrl+X", kCmdCut},
    {"Shift+Del", kCmdCut},
    {"Ctrl+V", kCmdPaste},
    {"Shift+Ins", kCmdPaste},
    {"Ctrl+Z", kCmdUndo},
    {"Alt+Backspace", kCmdUndo},
    {"Del", kCmdDelete},
    {"Ctrl+N", kCmdNewMemo},
    {"Ctrl+S", kCmdSaveAll},
    {"Ctrl+A", kCmdSelectAll},
    {"Ctrl+F", kCmdFind},
    {"F6", kCmdNextPane},
    {"Shift+F6", kCmdPrevPane},
};

constexpr MenuEntry kMemoItemPopup[] = {
    {kCmdCut, "切り取り(&T)\tCtrl+X"},
    {kCmdCopy, "コピー(&C)\tCtrl+C"},
    {kCmdPaste, "貼り付け(&P)\tCtrl+V"},
    {kCmdDelete, "削除(&D)\tDEL"},
    {0, nullptr},
    {kCmdSelectAll, "すべて選択(&A)\tCtrl+A"},
    {0, nullptr},
    {kCmdNewMemo, "新規メモ(&N)...\tCtrl+N"},
    {kCmdEditMemo, "メモの編集(&I)..."},
};

constexpr MenuEntry kMemoListPopup[] = {
    {kCmdSelectAll, "すべて選択(&A)\tCtrl+A"},
    {kCmdNewMemo, "新規メモ(&N)...\tCtrl+N"},
    {kCmdPaste, "貼り付け(&P)\tCtrl+V"},
};

}  // namespace

std::span<const MenuPopup> MainMenu() { return kMainMenu; }
std::span<const ToolBarButton> MainToolBar() { return kMainToolBar; }
std::span<const Accelerator> MainAccelerators() { return kMainAccelerators; }
std::span<const MenuEntry> MemoItemPopup() { return kMemoItemPopup; }
std::span<const MenuEntry> MemoListPopup() { return kMemoListPopup; }

}  // namespace tallimor
