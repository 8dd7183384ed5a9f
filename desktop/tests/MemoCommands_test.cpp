// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The memo commands on the store and the list: delete with its question and undo, cut,
// copy and paste through the clipboard with the form-feed format and the 32,767-byte
// pieces, select all, moving to a category, the pop-up menus with their enabling, and
// the keys that reach the commands through the frame.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include "desktop/CMainDlgView.h"
#include "desktop/CMainFrame.h"
#include "protect/CProtectedRecordFile.h"
#include "protect/StoredMemo.h"
#include "desktop/resources/CommandIds.h"
#include "desktop/tests/ViewTestSupport.h"
#include "store/CPRecordFile.h"

namespace tallimor::test {
namespace {

class MemoCommandsTest : public ViewSandbox {
 protected:
  void SetUp() override {
    ViewSandbox::SetUp();
    Open(UsualFile());
  }
  // Sends a command as the menu bar does: through the frame and its enabling rules.
  void Command(int command) { app_->MainFrame()->OnCommand(command); }
  std::uint32_t StatusOf(std::int32_t index) const { return Store()->RecordAt(index)->Status(); }
  std::string ClipboardUtf8() const { return QGuiApplication::clipboard()->text().toStdString(); }
  // The store as it lies on disk after Save All, read by a store of its own.
  std::unique_ptr<CProtectedRecordFile> SavedStore() {
    Command(kCmdSaveAll);
    auto disk = std::make_unique<CProtectedRecordFile>(DataPath(user_), kViewPassword);
    EXPECT_EQ(disk->Load(), kOk);
    return disk;
  }
  // The record indexes added after the five of the usual file.
  Indexes Added() const {
    Indexes added;
    for (std::int32_t i = 5; i < Store()->HighWater(); ++i)
      if (Store()->RecordAt(i) != nullptr) added.push_back(i);
    return added;
  }
};

TEST_F(MemoCommandsTest, DeleteAsksThenUndoBringsBackEveryDeletedMemo) {
  SelectRows({1, 3});
  answer_ = kIdCancel;
  Command(kCmdDelete);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, 147);
  EXPECT_EQ(messages_[0].captionId, 148);
  EXPECT_EQ(messages_[0].flags, kMbOkCancel | kMbIconQuestion);
  EXPECT_EQ(Rows(), (Indexes{0, 1, 2, 3, 4}));  // declined: nothing changes
  EXPECT_FALSE(Store()->RecordAt(1)->IsDeleted());

  answer_ = kIdOk;
  Command(kCmdDelete);
  EXPECT_EQ(Rows(), (Indexes{0, 2, 4}));
  EXPECT_TRUE(Store()->RecordAt(1)->IsDeleted());
  EXPECT_TRUE(Store()->RecordAt(3)->IsDeleted());
  EXPECT_EQ(View()->UndoList(), (std::deque<std::int32_t>{1, 3}));
  EXPECT_TRUE(Enabled(kCmdUndo));
  SelectRows({0});
  Command(kCmdDelete);
  EXPECT_EQ(View()->UndoList(), (std::deque<std::int32_t>{1, 3, 0}));

  // Deleted memos reach the file with the deleted status, for the next HotSync.
  EXPECT_EQ(SavedStore()->RecordAt(3)->Status() & kStatusDeleted, kStatusDeleted);

  Command(kCmdUndo);
  EXPECT_EQ(Rows(), (Indexes{0, 1, 2, 3, 4}));
  EXPECT_FALSE(Store()->RecordAt(0)->IsDeleted());
  EXPECT_FALSE(Store()->RecordAt(3)->IsDeleted());
  EXPECT_FALSE(View()->CanUndo());
  EXPECT_FALSE(Enabled(kCmdUndo));
}

TEST_F(MemoCommandsTest, DeleteWithoutACurrentMemoAsksNothing) {
  QTreeView* list = View()->MemoList();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(5, list->viewport()->height() - 3));
  ASSERT_EQ(View()->CurrentRecordIndex(), -1);
  View()->Delete();
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(Rows().size(), 5u);
  // The Delete key is the frame's accelerator; with the command disabled nothing happens.
  QTest::keyClick(list, Qt::Key_Delete);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(MemoCommandsTest, TheDeleteKeyDeletesTheCurrentMemoAfterTheQuestion) {
  View()->MemoList()->setFocus();
  QTest::keyClick(View()->MemoList(), Qt::Key_Delete);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(Rows(), (Indexes{1, 2, 3, 4}));
  // The deleted memo was current: the view no longer offers to edit it.
  EXPECT_EQ(View()->CurrentRecordIndex(), -1);
  EXPECT_FALSE(View()->EditButton()->isEnabled());
}

TEST_F(MemoCommandsTest, CopyPutsTheMemosWithCrLfAndOneFormFeedBetween) {
  // alpha (one line), beta (two lines), epsilon (one line).
  SelectRows({4, 0, 1});
  Command(kCmdCopy);
  EXPECT_EQ(ClipboardUtf8(), "alpha\fbeta\r\nsecond line\fepsilon");
  EXPECT_EQ(Store()->RecordCount(), 5);
  EXPECT_TRUE(Enabled(kCmdPaste));

  // Paste makes three new memos with the same texts and LF line breaks, filed under
  // unfiled because the filter is "すべて"; the rows are appended, not selected.
  Command(kCmdPaste);
  ASSERT_EQ(Added(), (Indexes{5, 6, 7}));
  EXPECT_EQ(MemoAt(5), "alpha");
  EXPECT_EQ(MemoAt(6), "beta\nsecond line");
  EXPECT_EQ(MemoAt(7), "epsilon");
  for (std::int32_t index : Added()) {
    EXPECT_EQ(Store()->RecordAt(index)->Category(), 0);
    EXPECT_TRUE(Store()->RecordAt(index)->IsNew());
    EXPECT_EQ(Store()->RecordAt(index)->DataLength() % 8, 0u);
  }
  EXPECT_EQ(Rows(), (Indexes{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(Column(0)[6], "beta");
  EXPECT_EQ(Column(1)[6], "Unfiled");
  EXPECT_EQ(View()->SelectedRows(), (std::vector<int>{0, 1, 4}));
  EXPECT_EQ(View()->CurrentRecordIndex(), 0);
  EXPECT_EQ(app_->MainFrame()->PaneText(kPanePosition), QStringLiteral("1 / 8"));

  // And they reach the file enciphered with the user's password.
  auto disk = SavedStore();
  EXPECT_EQ(std::string(StoredMemoText(*disk->RecordAt(6))), "beta\nsecond line");
}

TEST_F(MemoCommandsTest, PasteIgnoresEmptyPiecesBetweenFormFeeds) {
  QGuiApplication::clipboard()->setText(QStringLiteral("\f\fx\f"));
  Command(kCmdPaste);
  ASSERT_EQ(Added(), (Indexes{5}));
  EXPECT_EQ(MemoAt(5), "x");
  EXPECT_EQ(Store()->RecordAt(5)->DataLength(), 8u);
}

TEST_F(MemoCommandsTest, PasteFilesUnderTheFilteredCategory) {
  app_->SetLastCategory(2);
  View()->RebuildMemoList();
  QGuiApplication::clipboard()->setText(QStringLiteral("one\ftwo"));
  Command(kCmdPaste);
  ASSERT_EQ(Added(), (Indexes{5, 6}));
  EXPECT_EQ(Store()->RecordAt(5)->Category(), 2);
  EXPECT_EQ(Store()->RecordAt(6)->Category(), 2);
  EXPECT_EQ(Rows(), (Indexes{3, 5, 6}));
  EXPECT_EQ(Column(1), (Texts{"Personal", "Personal", "Personal"}));
}

TEST_F(MemoCommandsTest, PasteCutsLongTextsIntoPiecesOfAtMost32767Bytes) {
  QGuiApplication::clipboard()->setText(QString(2 * 32767 + 10, QLatin1Char('k')));
  Command(kCmdPaste);
  ASSERT_EQ(Added(), (Indexes{5, 6, 7}));
  EXPECT_EQ(MemoAt(5).size(), 32767u);
  EXPECT_EQ(MemoAt(6).size(), 32767u);
  EXPECT_EQ(MemoAt(7), std::string(10, 'k'));
  EXPECT_EQ(Store()->RecordAt(5)->DataLength(), 32768u);
}

TEST_F(MemoCommandsTest, PasteNeverTearsADoubleByteCharacter) {
  // 20,000 "あ" are 40,000 bytes: 16,383 characters fit a piece, the rest follow.
  QGuiApplication::clipboard()->setText(QString(20000, QChar(0x3042)));
  Command(kCmdPaste);
  ASSERT_EQ(Added(), (Indexes{5, 6}));
  EXPECT_EQ(MemoAt(5).size(), 32766u);
  EXPECT_EQ(MemoAt(6).size(), 40000u - 32766u);
  EXPECT_EQ(MemoAt(5).substr(0, 2), Cp932("あ"));
  EXPECT_EQ(MemoAt(6).substr(0, 2), Cp932("あ"));
}

TEST_F(MemoCommandsTest, PasteRefusesTextThatCodePage932CannotHold) {
  QGuiApplication::clipboard()->setText(QStringLiteral("fine\fnot fine \U0001F600"));
  Command(kCmdPaste);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, 181);
  EXPECT_EQ(messages_[0].flags, kMbIconExclamation);
  EXPECT_EQ(Store()->RecordCount(), 5);  // not even the first memo
  EXPECT_EQ(Rows().size(), 5u);
}

TEST_F(MemoCommandsTest, PasteOfJapaneseTextStoresCodePage932) {
  QGuiApplication::clipboard()->setText(QStringLiteral("買い物\r\n牛乳"));
  Command(kCmdPaste);
  ASSERT_EQ(Added(), (Indexes{5}));
  EXPECT_EQ(MemoAt(5), Cp932("買い物\n牛乳"));
  EXPECT_EQ(Column(0)[5], "買い物");
}

TEST_F(MemoCommandsTest, CutCopiesAndDeletesWithoutUndo) {
  SelectRows({2});
  Command(kCmdCut);
  EXPECT_EQ(ClipboardUtf8(), "gamma");
  EXPECT_TRUE(Store()->RecordAt(2)->IsDeleted());
  EXPECT_EQ(Rows(), (Indexes{0, 1, 3, 4}));
  EXPECT_TRUE(messages_.empty());
  EXPECT_FALSE(View()->CanUndo());
  Command(kCmdUndo);
  EXPECT_TRUE(Store()->RecordAt(2)->IsDeleted());

  // Cut then paste: the memo comes back as a new one.
  Command(kCmdPaste);
  EXPECT_EQ(MemoAt(5), "gamma");
}

TEST_F(MemoCommandsTest, SelectAllSelectsEveryRowAndKeepsTheCurrentMemo) {
  View()->MemoList()->clearFocus();
  Command(kCmdSelectAll);
  EXPECT_EQ(View()->SelectedRows(), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(View()->CurrentListIndex(), 0);
  Command(kCmdCopy);
  EXPECT_EQ(ClipboardUtf8(), "alpha\fbeta\r\nsecond line\fgamma\f\r\nstarts blank\fepsilon");
}

TEST_F(MemoCommandsTest, MovingOutOfTheFilteredCategoryRemovesTheRows) {
  app_->SetLastCategory(1);
  View()->RebuildMemoList();
  ASSERT_EQ(Rows(), (Indexes{1, 4}));
  SelectRows({1});
  Command(kCmdMoveToCategory0 + 3);
  EXPECT_EQ(Store()->RecordAt(4)->Category(), 3);
  EXPECT_TRUE(Store()->RecordAt(4)->IsModified());
  EXPECT_EQ(Rows(), (Indexes{1}));
  // Within "すべて" only the category column changes.
  app_->SetLastCategory(-1);
  View()->RebuildMemoList();
  SelectRows({0, 2});
  Command(kCmdMoveToCategory0 + 2);
  EXPECT_EQ(Rows(), (Indexes{0, 1, 2, 3, 4}));
  EXPECT_EQ(Column(1), (Texts{"Personal", "Business", "Personal", "Personal", "Travel"}));
  EXPECT_EQ(StatusOf(0), kStatusModified);
  auto disk = SavedStore();
  EXPECT_EQ(disk->RecordAt(4)->Category(), 3);
  EXPECT_EQ(disk->RecordAt(2)->Category(), 2);
}

TEST_F(MemoCommandsTest, TheItemMenuOffersTheCommandsAndTheCategories) {
  std::unique_ptr<QMenu> menu = View()->BuildContextMenu(RowPoint(1));
  std::vector<std::pair<int, std::string>> entries;
  for (QAction* action : menu->actions())
    entries.emplace_back(action->isSeparator() ? 0 : action->data().toInt(),
                         action->isSeparator() ? "" : action->text().toStdString());
  using E = std::vector<std::pair<int, std::string>>;
  EXPECT_EQ(entries, (E{{kCmdCut, "切り取り(&T)\tCtrl+X"}, {kCmdCopy, "コピー(&C)\tCtrl+C"},
                        {kCmdPaste, "貼り付け(&P)\tCtrl+V"}, {kCmdDelete, "削除(&D)\tDEL"}, {0, ""},
                        {kCmdSelectAll, "すべて選択(&A)\tCtrl+A"}, {0, ""},
                        {kCmdNewMemo, "新規メモ(&N)...\tCtrl+N"}, {kCmdEditMemo, "メモの編集(&I)..."},
                        {0, "カテゴリの変更"}}));
  // The clipboard is empty: paste is greyed as on the menu bar.
  EXPECT_FALSE(menu->actions()[2]->isEnabled());
  EXPECT_TRUE(menu->actions()[0]->isEnabled());
  QMenu* categories = menu->actions().back()->menu();
  ASSERT_NE(categories, nullptr);
  entries.clear();
  for (QAction* action : categories->actions())
    entries.emplace_back(action->data().toInt(), action->text().toStdString());
  EXPECT_EQ(entries, (E{{200 + 1, "Business"}, {200 + 2, "Personal"}, {200 + 3, "Travel"}, {200, "未分類"}}));

  std::unique_ptr<QMenu> empty = View()->BuildContextMenu(QPoint(5, View()->MemoList()->viewport()->height() - 3));
  ASSERT_EQ(empty->actions().size(), 3);
  EXPECT_EQ(empty->actions()[0]->data().toInt(), kCmdSelectAll);
  EXPECT_EQ(empty->actions()[1]->data().toInt(), kCmdNewMemo);
  EXPECT_EQ(empty->actions()[2]->data().toInt(), kCmdPaste);
}

TEST_F(MemoCommandsTest, ARightClickOnTheCategoryColumnMovesTheMemoThroughThePopup) {
  QTreeView* list = View()->MemoList();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowPoint(2));
  QStringList offered;
  auto ran = WhenMenuShown([&offered](QMenu* menu) {
    for (QAction* action : menu->actions()) offered << action->text();
    menu->actions()[2]->trigger();  // Travel
    menu->close();
  });
  const QPoint at = RowPoint(2, 1);
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
  QApplication::sendEvent(list->viewport(), &event);
  EXPECT_TRUE(*ran);
  EXPECT_EQ(offered, (QStringList{"Business", "Personal", "Travel", "未分類"}));
  EXPECT_EQ(Store()->RecordAt(2)->Category(), 3);
  EXPECT_EQ(Column(1)[2], "Travel");
}

TEST_F(MemoCommandsTest, ARightClickOnTheContentOpensTheListMenu) {
  QTreeView* list = View()->MemoList();
  SelectRows({3});
  auto ran = WhenMenuShown([](QMenu* menu) {
    for (QAction* action : menu->actions())
      if (action->data().toInt() == kCmdCopy) action->trigger();
    menu->close();
  });
  const QPoint at = RowPoint(3, 0);
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
  QApplication::sendEvent(list->viewport(), &event);
  EXPECT_TRUE(*ran);
  // The right click made the selected memo current first.
  EXPECT_EQ(View()->CurrentRecordIndex(), 3);
  EXPECT_EQ(ClipboardUtf8(), "\r\nstarts blank");
}

TEST_F(MemoCommandsTest, AcceleratorsReachTheCommands) {
  QTreeView* list = View()->MemoList();
  list->setFocus();
  QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(View()->SelectedRows().size(), 5u);
  SelectRows({1});
  QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(ClipboardUtf8(), "beta\r\nsecond line");
  QTest::keyClick(list, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(MemoAt(5), "beta\nsecond line");
  SelectRows({0});
  QTest::keyClick(list, Qt::Key_X, Qt::ControlModifier);
  EXPECT_TRUE(Store()->RecordAt(0)->IsDeleted());
}

}  // namespace
}  // namespace tallimor::test
