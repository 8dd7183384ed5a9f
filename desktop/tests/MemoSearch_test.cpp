// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The memo search: the find field's text filters the list within the category filter,
// folded so that case and full-width or half-width forms do not matter; the counter and
// the current memo follow what is shown; the commands that work on rows see only those
// shown; new and edited memos and a reload are searched as they are now; and the field
// itself (Ctrl+F, its own editing keys, Escape).
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include "desktop/CEditRecordDlg.h"
#include "desktop/CFindField.h"
#include "desktop/CMainDlgView.h"
#include "desktop/CMainFrame.h"
#include "desktop/CWindowMessageEvent.h"
#include "desktop/FoldedMemos.h"
#include "desktop/resources/CommandIds.h"
#include "desktop/tests/ViewTestSupport.h"
#include "protect/CProtectedRecordFile.h"
#include "protect/StoredMemo.h"
#include "text/SearchFolding.h"

namespace tallimor::test {
namespace {

class MemoSearchTest : public ViewSandbox {
 protected:
  void SetUp() override {
    ViewSandbox::SetUp();
    RecordFileFixture fixture;
    fixture.categories = {"Unfiled", "Business", "Personal"};
    fixture.password = kViewPassword;
    fixture.memos = {{21, 0, "Meeting notes\nroom 3"},
                     {22, 1, Cp932("ﾊﾟｽﾜｰﾄﾞ: tallimor")},
                     {23, 1, Cp932("会議の議事録")},
                     {24, 0, Cp932("ＭＥＥＴＩＮＧ　全角")},
                     {25, 2, Cp932("パスワード変更")},
                     {26, 0, "grocery list"}};
    Open(fixture);
    PickCategory(-1);
  }
  void Search(const char* utf8) { View()->SetSearchText(QString::fromUtf8(utf8)); }
  void PickCategory(std::int32_t value) {
    View()->OnCategorySelected(View()->CategoryCombo()->findData(value));
  }
  void Command(int command) { app_->MainFrame()->OnCommand(command); }
  QString Counter() const { return app_->MainFrame()->PaneText(kPanePosition); }
};

TEST_F(MemoSearchTest, ShowsTheMemosOfTheFilterHoldingTheTextInAnyWidthOrCase) {
  Search("meeting");  // ASCII against ASCII and full-width capitals
  EXPECT_EQ(Rows(), (Indexes{0, 3}));
  Search("ｍｅｅｔｉｎｇ 全角");  // full-width typed, ideographic space stored
  EXPECT_EQ(Rows(), (Indexes{3}));
  Search("パスワード");  // full-width typed, half-width stored (voiced marks joined)
  EXPECT_EQ(Rows(), (Indexes{1, 4}));
  Search("ﾊﾟｽ");
  EXPECT_EQ(Rows(), (Indexes{1, 4}));
  Search("議事");
  EXPECT_EQ(Rows(), (Indexes{2}));
  Search("ROOM 3");  // the text after the first line is searched too
  EXPECT_EQ(Rows(), (Indexes{0}));

  // Within the category filter, and kept when the filter changes.
  Search("パスワード");
  PickCategory(1);
  EXPECT_EQ(Rows(), (Indexes{1}));
  EXPECT_EQ(Counter(), QStringLiteral("1 / 1"));
  PickCategory(2);
  EXPECT_EQ(Rows(), (Indexes{4}));
  PickCategory(0);
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(Counter(), QString());
  EXPECT_FALSE(Enabled(kCmdSelectAll));

  Search("");
  EXPECT_EQ(Rows(), (Indexes{0, 3, 5}));
  PickCategory(-1);
  Search("no such text");
  EXPECT_TRUE(Rows().empty());
  Search("");
  EXPECT_EQ(Rows(), (Indexes{0, 1, 2, 3, 4, 5}));
}

TEST_F(MemoSearchTest, TheCurrentMemoStaysWhileShownAndStopsBeingCurrentOnceNot) {
  SelectRows({2});
  ASSERT_EQ(View()->CurrentRecordIndex(), 2);
  Search("議");
  EXPECT_EQ(Rows(), (Indexes{2}));
  EXPECT_EQ(View()->CurrentRecordIndex(), 2);
  EXPECT_EQ(View()->SelectedRows(), (std::vector<int>{0}));
  EXPECT_EQ(Counter(), QStringLiteral("1 / 1"));  // counts what is shown
  EXPECT_EQ(View()->DetailPane()->toPlainText(), QStringLiteral("会議の議事録"));

  Search("e");
  EXPECT_EQ(Rows(), (Indexes{0, 3, 5}));
  EXPECT_EQ(View()->CurrentListIndex(), -1);
  EXPECT_EQ(View()->CurrentRecordIndex(), -1);
  EXPECT_EQ(Counter(), QString());
  EXPECT_TRUE(View()->DetailPane()->toPlainText().isEmpty());
  EXPECT_FALSE(View()->EditButton()->isEnabled());
  EXPECT_FALSE(Enabled(kCmdDelete));

  // Picking a shown memo counts it among the shown ones.
  SelectRows({2});
  EXPECT_EQ(View()->CurrentRecordIndex(), 5);
  EXPECT_EQ(Counter(), QStringLiteral("3 / 3"));
  Search("");
  EXPECT_EQ(View()->CurrentRecordIndex(), 5);
  EXPECT_EQ(Counter(), QStringLiteral("6 / 6"));
}

TEST_F(MemoSearchTest, RowCommandsActOnlyOnTheShownMemos) {
  Search("パスワード");
  Command(kCmdSelectAll);
  EXPECT_EQ(View()->SelectedRows(), (std::vector<int>{0, 1}));
  answer_ = kIdOk;
  SelectRows({0, 1});
  Command(kCmdDelete);
  for (std::int32_t i = 0; i < 6; ++i)
    EXPECT_EQ(Store()->RecordAt(i)->IsDeleted(), i == 1 || i == 4) << i;
  EXPECT_TRUE(Rows().empty());
  Command(kCmdUndo);
  EXPECT_EQ(Rows(), (Indexes{1, 4}));  // brought back, and still searched

  Search("meeting");
  SelectRows({0, 1});
  Command(kCmdMoveToCategory0 + 2);
  EXPECT_EQ(Store()->RecordAt(0)->Category(), 2);
  EXPECT_EQ(Store()->RecordAt(3)->Category(), 2);
  EXPECT_EQ(Store()->RecordAt(5)->Category(), 0);  // not shown, not moved
  EXPECT_EQ(Rows(), (Indexes{0, 3}));              // "すべて": they stay

  Command(kCmdSelectAll);
  Command(kCmdCut);
  EXPECT_TRUE(Store()->RecordAt(0)->IsDeleted());
  EXPECT_TRUE(Store()->RecordAt(3)->IsDeleted());
  EXPECT_FALSE(Store()->RecordAt(5)->IsDeleted());
  Search("");
  EXPECT_EQ(Rows(), (Indexes{1, 2, 4, 5}));
}

TEST_F(MemoSearchTest, PastedAndEditedMemosAreSearchedAsTheyAreNow) {
  Search("ﾒﾓ");
  EXPECT_TRUE(Rows().empty());
  QGuiApplication::clipboard()->setText(QStringLiteral("新しいメモ\fother text"));
  Command(kCmdPaste);
  const std::int32_t memo = Store()->HighWater() - 2;
  ASSERT_EQ(MemoAt(memo), Cp932("新しいメモ"));
  EXPECT_EQ(Rows(), (Indexes{memo}));  // the other one is stored but not shown
  Search("other");
  EXPECT_EQ(Rows(), (Indexes{memo + 1}));

  // An edit that takes the text away hides the memo; one that brings it shows it.
  Search("grocery");
  SelectRows({0});
  auto ran = WhenShown<CEditRecordDlg>([](CEditRecordDlg* dialog) {
    dialog->TextEdit()->setPlainText(QStringLiteral("shopping list"));
    dialog->accept();
  });
  View()->EditMemo();
  ASSERT_TRUE(*ran);
  EXPECT_TRUE(Rows().empty());
  Search("SHOPPING");
  EXPECT_EQ(Rows(), (Indexes{5}));
  ran = WhenShown<CEditRecordDlg>([](CEditRecordDlg* dialog) {
    dialog->TextEdit()->setPlainText(QStringLiteral("more shopping"));
    dialog->accept();
  });
  View()->NewMemo();
  ASSERT_TRUE(*ran);
  EXPECT_EQ(Rows().size(), 2u);
}

TEST_F(MemoSearchTest, AReloadKeepsTheTextAndSearchesTheMemosAsReadAnew) {
  Search("room");
  EXPECT_EQ(Rows(), (Indexes{0}));
  // What a HotSync does to the memos in memory: read anew, then the reload message.
  StoreMemo(*Store()->RecordAt(5), "room booking");
  const int reloads = View()->ReloadCount();
  PostWindowMessage(View(), kWmUserReload);
  SpinUntil([&] { return View()->ReloadCount() > reloads; });
  EXPECT_EQ(View()->SearchText(), QStringLiteral("room"));
  EXPECT_EQ(Rows(), (Indexes{0, 5}));
  EXPECT_EQ(Counter(), QStringLiteral("1 / 2"));
}

TEST_F(MemoSearchTest, TheFoldedCopiesAreMadeForTheStoreAndWipedWhenForgotten) {
  FoldedMemos folded;
  folded.FoldAll(*Store());
  EXPECT_TRUE(folded.IsFor(Store()));
  EXPECT_EQ(folded.Count(), 6u);
  EXPECT_TRUE(folded.Contains(*Store(), 1, SearchFolding::FoldUnicode(U"パスワード")));
  EXPECT_FALSE(folded.Contains(*Store(), 1, SearchFolding::FoldUnicode(U"会議")));
  EXPECT_FALSE(folded.Contains(*Store(), 99, "a"));  // no record there
  folded.Forget();
  EXPECT_FALSE(folded.IsFor(Store()));
  EXPECT_EQ(folded.Count(), 0u);
  // Copies of another store are never taken for this one's.
  CProtectedRecordFile other(DataPath(user_), kViewPassword);
  ASSERT_EQ(other.Load(), kOk);
  folded.FoldAll(other);
  EXPECT_FALSE(folded.IsFor(Store()));
}

TEST_F(MemoSearchTest, CtrlFFocusesTheFieldWhichKeepsItsEditingKeysAndEscapeEmptiesIt) {
  CMainFrame* frame = app_->MainFrame();
  frame->show();
  // Hidden by the user, the find bar comes back with Ctrl+F.
  auto* bar = frame->findChild<QToolBar*>(QStringLiteral("FindBar"));
  ASSERT_NE(bar, nullptr);
  bar->hide();
  QApplication::setActiveWindow(frame);
  QTreeView* list = View()->MemoList();
  list->setFocus();
  QTest::keyClick(list, Qt::Key_F, Qt::ControlModifier);
  CFindField* field = frame->FindField();
  EXPECT_TRUE(bar->isVisible());
  ASSERT_TRUE(field->hasFocus());
  TypeText(field, QStringLiteral("list"));
  EXPECT_EQ(Rows(), (Indexes{5}));
  // Delete and Ctrl+A edit the field; no memo is deleted, none asked about.
  QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(field, Qt::Key_Delete);
  EXPECT_TRUE(messages_.empty());
  EXPECT_FALSE(Store()->RecordAt(5)->IsDeleted());
  EXPECT_EQ(field->text(), QString());
  EXPECT_EQ(Rows().size(), 6u);

  TypeText(field, QStringLiteral("ＲＯＯＭ"));
  EXPECT_EQ(Rows(), (Indexes{0}));
  // Return takes the user on to the memos found; Ctrl+F comes back with the text selected.
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_TRUE(list->hasFocus());
  QTest::keyClick(list, Qt::Key_F, Qt::ControlModifier);
  ASSERT_TRUE(field->hasFocus());
  EXPECT_EQ(field->selectedText(), QStringLiteral("ＲＯＯＭ"));
  QTest::keyClick(field, Qt::Key_Escape);
  EXPECT_EQ(field->text(), QString());
  EXPECT_EQ(View()->SearchText(), QString());
  EXPECT_EQ(Rows().size(), 6u);
}

// The folding agrees with Unicode's compatibility forms (as Qt composes them) for every
// full-width ASCII and half-width katakana character and voiced pair, Latin in lower case.
TEST(SearchFoldingAgainstQt, FullAndHalfWidthFormsFoldAsTheirCompatibilityForm) {
  auto check = [](const QString& text) {
    const QString expected = text.normalized(QString::NormalizationForm_KC).toLower();
    EXPECT_EQ(SearchFolding::FoldUnicode(text.toStdU32String()), expected.toStdString())
        << text.toStdString();
  };
  for (char32_t c = 0xFF01; c <= 0xFF5E; ++c) check(QString::fromUcs4(&c, 1));
  for (char32_t c = 0xFF61; c <= 0xFF9D; ++c) {
    check(QString::fromUcs4(&c, 1));
    for (char32_t mark : {char32_t{0xFF9E}, char32_t{0xFF9F}}) {
      const char32_t pair[] = {c, mark};
      const QString text = QString::fromUcs4(pair, 2);
      // Only pairs that compose to one character: a mark that stays apart is folded to
      // the spacing mark code page 932 stores, where the compatibility form combines.
      if (text.normalized(QString::NormalizationForm_KC).size() == 1) check(text);
    }
  }
  check(QStringLiteral("\u3000"));
}

}  // namespace
}  // namespace tallimor::test
