// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The program's resource tables against the texts and layouts that users see: the
// strings are compared with literals typed from the product's text, not taken from the
// table, and the menu, tool bar and accelerator tables are walked row by row.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "desktop/resources/CommandIds.h"
#include "desktop/resources/Menus.h"
#include "desktop/resources/StringTable.h"

namespace tallimor {
namespace {

TEST(DesktopStrings, MessagesReadExactly) {
  struct Expected {
    int id;
    const char* text;
  } expected[] = {
      {128, "Tallimor デスクトップ"},
      {129, "                "},
      {130, "HotSync が開始されました"},
      {131, "HotSync が正常に終了しました"},
      {132, "ユーザを変更します"},
      {133, "HotSync が異常終了しました"},
      {134, "カテゴリの変更"},
      {135, "データ編集中は HotSync 機能を実行できません。ダイアログを閉じて、HotSync "
            "ボタンをもう一度押してください。"},
      {136, "保存していない変更はすべて失われます。最後に保存した状態に戻しますか？"},
      {138, "カテゴリーは最大 15 種類まで設定できます。"},
      {141, "メモを入力してください。"},
      {142, "新規カテゴリー"},
      {143, "削除する前にカテゴリーを選択してください。"},
      {144, "名前を変更する前にカテゴリーを選択してください。"},
      {145, "カテゴリー名を入力してください。"},
      {146, "カテゴリー名の変更"},
      {147, "選択したメモを削除しますか？"},
      {148, "メモの削除"},
      {149, "パスワードが違いました。もう一度入力しなおしてみてください。"},
      {57344, "Tallimor"},
      {57643, "直前に行った動作を元に戻す\n元に戻す"},
      {57635, "選択範囲を切り取ってクリップボードに保存\n切り取り"},
      {57634, "選択範囲をコピーしてクリップボードに保存\n保存"},
      {57637, "クリップボードの内容を貼り付け\n貼り付け"},
      {137, "選択したデータを削除します"},
      {57642, "ファイル内のすべてを選択\nすべて選択"},
      {139, "新規にメモを作成します"},
      {140, "選択したメモを編集します"},
      {161, "カテゴリを編集します"},
  };
  for (const Expected& e : expected) {
    EXPECT_EQ(LoadString(e.id), e.text) << "string " << e.id;
  }
  EXPECT_EQ(LoadString(129).size(), 16u);
}

TEST(DesktopStrings, IdsAreUniqueAndUnknownIdsAreEmpty) {
  std::vector<int> ids;
  for (int i = 0; i < StringTableSize(); ++i) ids.push_back(StringTableIdAt(i));
  for (size_t i = 1; i < ids.size(); ++i) EXPECT_LT(ids[i - 1], ids[i]) << "row " << i;
  for (int id : ids) EXPECT_FALSE(LoadString(id).empty()) << id;
  EXPECT_TRUE(LoadString(0).empty());
  EXPECT_TRUE(LoadString(150).empty());
  EXPECT_TRUE(LoadString(99999).empty());
  EXPECT_EQ(StringTableIdAt(-1), -1);
  EXPECT_EQ(StringTableIdAt(StringTableSize()), -1);
}

TEST(DesktopResources, MainMenuHasEveryEntryInOrder) {
  std::vector<std::pair<std::string, std::vector<std::pair<int, std::string>>>> expected = {
      {"ファイル(&F)",
       {{57603, "すべて保存(&S)\tCtrl+S"}, {159, "復元(&R)"}, {0, ""}, {3602, "バックアップを開く(&B)..."},
        {3601, "インポート(&I)..."}, {3600, "エクスポート(&E)..."}, {0, ""}, {57665, "終了(&X)"}}},
      {"編集(&E)",
       {{57643, "元に戻す(&U)\tCtrl+Z"}, {0, ""}, {57635, "切り取り(&T)\tCtrl+X"},
        {57634, "コピー(&C)\tCtrl+C"}, {57637, "貼り付け(&P)\tCtrl+V"}, {137, "削除(&D)\tDEL"},
        {0, ""}, {57642, "すべて選択(&A)\tCtrl+A"}, {0, ""},
        {139, "新規メモ(&N)...\tCtrl+N"}, {140, "メモの編集(&I)..."}}},
      {"表示(&V)", {{59392, "ツール バー(&T)"}, {59393, "ステータス バー(&S)"}}},
      {"ツール(&T)",
       {{161, "カテゴリ(&C)..."}, {132, "ユーザ(&U)..."}, {0, ""}, {3550, "オプション(&O)..."}}},
      {"ヘルプ(&H)", {{57664, "バージョン情報 Tallimor(&A)..."}}},
  };
  auto menu = MainMenu();
  ASSERT_EQ(menu.size(), expected.size());
  for (size_t p = 0; p < menu.size(); ++p) {
    EXPECT_EQ(std::string(menu[p].text), expected[p].first);
    ASSERT_EQ(menu[p].entries.size(), expected[p].second.size()) << expected[p].first;
    for (size_t e = 0; e < menu[p].entries.size(); ++e) {
      const MenuEntry& entry = menu[p].entries[e];
      EXPECT_EQ(entry.command, expected[p].second[e].first);
      EXPECT_EQ(entry.text ? std::string(entry.text) : std::string(), expected[p].second[e].second);
      // Every command shows a prompt in the status bar while it is highlighted.
      if (entry.command != 0) EXPECT_FALSE(LoadString(entry.command).empty()) << entry.command;
    }
  }
}

TEST(DesktopResources, ToolBarAndAcceleratorsMatchTheirTables) {
  std::vector<int> buttons;
  for (const ToolBarButton& b : MainToolBar()) buttons.push_back(b.command);
  EXPECT_EQ(buttons, (std::vector<int>{57603, 0, 57635, 57634, 57637, 57643, 0, 57664}));

  std::set<std::pair<std::string, int>> accelerators;
  for (const Accelerator& a : MainAccelerators()) accelerators.insert({a.key, a.command});
  std::set<std::pair<std::string, int>> expected = {
      {"Ctrl+C", 57634}, {"Ctrl+Ins", 57634},    {"Ctrl+X", 57635},  {"Shift+Del", 57635},
      {"Ctrl+V", 57637}, {"Shift+Ins", 57637},   {"Ctrl+Z", 57643},  {"Alt+Backspace", 57643},
      {"Del", 137},      {"Ctrl+N", 139},        {"Ctrl+S", 57603},  {"Ctrl+A", 57642},
      {"F6", 57680},     {"Shift+F6", 57681},    {"Ctrl+F", 3500},
  };
  EXPECT_EQ(accelerators, expected);
  EXPECT_EQ(MainAccelerators().size(), expected.size());
}

}  // namespace
}  // namespace tallimor
