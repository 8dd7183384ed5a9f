// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The main view: the category combo and the memo list rebuilt from the store by record
// order and filter, the detail pane and the counter, the selection following clicks and
// keys, Enter and Escape, the filter combo and its editor entry, the splitter, and the
// reload after a HotSync.
#include <QComboBox>
#include <QHeaderView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <fstream>

#include "desktop/CEditCategoryDlg.h"
#include "desktop/CEditRecordDlg.h"
#include "desktop/CMainDlgView.h"
#include "desktop/CMainFrame.h"
#include "protect/CProtectedRecordFile.h"
#include "desktop/CWindowMessageEvent.h"
#include "protect/StoredMemo.h"
#include "desktop/resources/CommandIds.h"
#include "desktop/tests/ViewTestSupport.h"
#include "notifier/HotSyncNotification.h"

namespace tallimor::test {
namespace {

class MainDlgViewTest : public ViewSandbox {
 protected:
  QString Counter() const { return app_->MainFrame()->PaneText(kPanePosition); }
  std::vector<std::pair<std::string, int>> ComboEntries() const {
    std::vector<std::pair<std::string, int>> entries;
    QComboBox* combo = View()->CategoryCombo();
    for (int i = 0; i < combo->count(); ++i)
      entries.emplace_back(combo->itemText(i).toStdString(), combo->itemData(i).toInt());
    return entries;
  }
  void Click(int row, int column = 0) {
    QTest::mouseClick(View()->MemoList()->viewport(), Qt::LeftButton, {}, RowPoint(row, column));
  }
};

TEST_F(MainDlgViewTest, ComboListsCategoriesSortedBetweenTheFixedEntries) {
  RecordFileFixture file = UsualFile();
  file.categories = {"Unfiled", "zeta", "Alpha", "mid", "alpha"};
  Open(file);
  using E = std::vector<std::pair<std::string, int>>;
  EXPECT_EQ(ComboEntries(), (E{{"すべて", -1}, {"Alpha", 2}, {"alpha", 4}, {"mid", 3}, {"zeta", 1},
                               {"未分類", 0}, {"カテゴリの編集...", -2}}));
  // Without a "LastCategory" the setting reads -1: "すべて".
  EXPECT_EQ(View()->CategoryCombo()->currentIndex(), 0);
}

TEST_F(MainDlgViewTest, LabelsButtonsAndColumnsReadExactly) {
  Open(UsualFile());
  EXPECT_EQ(ControlTexts(*View()), (Texts{"カテゴリ：", "詳細の非表示(&A)", "新規メモ(&N)", "メモの編集(&E)"}));
  QAbstractItemModel* model = View()->MemoList()->model();
  EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("内容"));
  EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("カテゴリ"));
  // The details button exists but is never offered.
  QPushButton* details = View()->findChild<QPushButton*>(QStringLiteral("DetailsButton"));
  ASSERT_NE(details, nullptr);
  EXPECT_TRUE(details->isHidden());
  EXPECT_FALSE(details->isEnabled());
}

TEST_F(MainDlgViewTest, AllShowsEveryMemoNotDeletedInRecordOrderWithTheFirstCurrent) {
  Open(UsualFile());
  Store()->MarkDeleted(2, true);
  app_->SetLastCategory(-1);
  View()->RebuildMemoList();
  EXPECT_EQ(Rows(), (Indexes{0, 1, 3, 4}));
  // The first line only, an empty one for a memo that starts with a line break.
  EXPECT_EQ(Column(0), (Texts{"alpha", "beta", "", "epsilon"}));
  EXPECT_EQ(Column(1), (Texts{"Unfiled", "Business", "Personal", "Business"}));
  EXPECT_EQ(View()->CurrentListIndex(), 0);
  EXPECT_EQ(View()->CurrentRecordIndex(), 0);
  EXPECT_EQ(View()->SelectedRows(), (std::vector<int>{0}));
  EXPECT_EQ(View()->DetailPane()->toPlainText(), QStringLiteral("alpha"));
  EXPECT_EQ(Counter(), QStringLiteral("1 / 4"));
  EXPECT_TRUE(View()->EditButton()->isEnabled());
  EXPECT_TRUE(Enabled(kCmdDelete));
  EXPECT_TRUE(Enabled(kCmdSelectAll));
  EXPECT_FALSE(Enabled(kCmdUndo));
}

TEST_F(MainDlgViewTest, DetailPaneShowsTheWholeMemoLineByLine) {
  Open(UsualFile());
  Click(1);
  EXPECT_EQ(View()->CurrentRecordIndex(), 1);
  EXPECT_EQ(View()->DetailPane()->document()->blockCount(), 2);
  EXPECT_EQ(View()->DetailPane()->toPlainText(), QStringLiteral("beta\nsecond line"));
  EXPECT_EQ(Counter(), QStringLiteral("2 / 5"));
}

TEST_F(MainDlgViewTest, FilterShowsOneCategoryAndAnUnknownOneFallsBackToUnfiled) {
  Open(UsualFile());
  app_->SetLastCategory(1);
  PostWindowMessage(View(), kWmUserReload);
  DrainEvents();
  EXPECT_EQ(View()->CategoryCombo()->currentText(), QStringLiteral("Business"));
  EXPECT_EQ(Rows(), (Indexes{1, 4}));

  // A category that is gone (deleted on the handheld): unfiled, and the setting follows.
  app_->SetLastCategory(9);
  PostWindowMessage(View(), kWmUserReload);
  DrainEvents();
  EXPECT_EQ(app_->GetLastCategory(), 0);
  EXPECT_EQ(View()->CategoryCombo()->currentText(), QStringLiteral("未分類"));
  EXPECT_EQ(Rows(), (Indexes{0, 2}));
}

TEST_F(MainDlgViewTest, AnEmptyFilterLeavesNothingCurrent) {
  Open(UsualFile());
  app_->SetLastCategory(3);  // Travel: no memos
  PostWindowMessage(View(), kWmUserReload);
  DrainEvents();
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(View()->CurrentListIndex(), -1);
  EXPECT_EQ(View()->CurrentRecordIndex(), -1);
  EXPECT_TRUE(View()->DetailPane()->toPlainText().isEmpty());
  EXPECT_EQ(Counter(), QString());
  EXPECT_FALSE(View()->EditButton()->isEnabled());
  for (int command : {kCmdDelete, kCmdEditMemo, kCmdCopy, kCmdCut, kCmdSelectAll})
    EXPECT_FALSE(Enabled(command)) << command;
  EXPECT_TRUE(Enabled(kCmdNewMemo));
}

TEST_F(MainDlgViewTest, PickingAFilterStoresItAndRebuildsTheList) {
  Open(UsualFile());
  QComboBox* combo = View()->CategoryCombo();
  combo->setFocus();
  // The keyboard moves the closed combo's selection as a user's choice does.
  QTest::keyClick(combo, Qt::Key_Down);  // すべて -> Business
  EXPECT_EQ(app_->GetLastCategory(), 1);
  EXPECT_EQ(Rows(), (Indexes{1, 4}));
  EXPECT_EQ(View()->CurrentRecordIndex(), 1);
  EXPECT_EQ(Counter(), QStringLiteral("1 / 2"));
  View()->OnCategorySelected(combo->findData(0));
  EXPECT_EQ(app_->GetLastCategory(), 0);
  EXPECT_EQ(Rows(), (Indexes{0, 2}));
}

TEST_F(MainDlgViewTest, TheEditorEntryRunsTheCategoryEditorAndFiltersOnItsChoice) {
  Open(UsualFile());
  auto ran = WhenShown<CEditCategoryDlg>([](CEditCategoryDlg* editor) {
    // Personal is the second of Business, Personal, Travel.
    editor->CategoryList()->setCurrentRow(1);
    editor->accept();
  });
  QComboBox* combo = View()->CategoryCombo();
  View()->OnCategorySelected(combo->findData(-2));
  EXPECT_TRUE(*ran);
  EXPECT_EQ(app_->GetLastCategory(), 2);
  EXPECT_EQ(combo->currentText(), QStringLiteral("Personal"));
  EXPECT_EQ(Rows(), (Indexes{3}));

  // Cancelled: the filter stays, and the combo shows it rather than the editor entry.
  ran = WhenShown<CEditCategoryDlg>([](CEditCategoryDlg* editor) { editor->reject(); });
  View()->OnCategorySelected(combo->findData(-2));
  EXPECT_TRUE(*ran);
  EXPECT_EQ(app_->GetLastCategory(), 2);
  EXPECT_EQ(combo->currentText(), QStringLiteral("Personal"));
}

TEST_F(MainDlgViewTest, ClicksAndArrowKeysFollowTheSelection) {
  Open(UsualFile());
  QTreeView* list = View()->MemoList();
  Click(3);
  EXPECT_EQ(View()->CurrentListIndex(), 3);
  EXPECT_EQ(View()->DetailPane()->toPlainText(), QStringLiteral("\nstarts blank"));
  EXPECT_EQ(Counter(), QStringLiteral("4 / 5"));

  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(View()->CurrentListIndex(), 4);
  EXPECT_EQ(View()->DetailPane()->toPlainText(), QStringLiteral("epsilon"));
  // Down on the last memo keeps it current, as the list keeps it selected.
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(View()->CurrentListIndex(), 4);
  EXPECT_EQ(Counter(), QStringLiteral("5 / 5"));
  QTest::keyClick(list, Qt::Key_Home);
  EXPECT_EQ(View()->CurrentListIndex(), 0);
  QTest::keyClick(list, Qt::Key_Up);
  EXPECT_EQ(View()->CurrentListIndex(), 0);
  EXPECT_EQ(View()->DetailPane()->toPlainText(), QStringLiteral("alpha"));
  QTest::keyClick(list, Qt::Key_End);
  EXPECT_EQ(View()->CurrentListIndex(), 4);

  // A click beside the memos selects nothing: nothing is current.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(5, list->viewport()->height() - 3));
  EXPECT_EQ(View()->CurrentListIndex(), -1);
  EXPECT_TRUE(View()->DetailPane()->toPlainText().isEmpty());
  EXPECT_EQ(Counter(), QString());
  EXPECT_FALSE(View()->EditButton()->isEnabled());
  EXPECT_FALSE(Enabled(kCmdEditMemo));
}

TEST_F(MainDlgViewTest, ExtendingTheSelectionShowsItsFirstMemo) {
  Open(UsualFile());
  Click(1);
  QTest::mouseClick(View()->MemoList()->viewport(), Qt::LeftButton, Qt::ShiftModifier, RowPoint(3));
  EXPECT_EQ(View()->SelectedRows(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(View()->CurrentListIndex(), 1);
  QTest::mouseClick(View()->MemoList()->viewport(), Qt::LeftButton, Qt::ControlModifier, RowPoint(1));
  EXPECT_EQ(View()->CurrentListIndex(), 2);
}

TEST_F(MainDlgViewTest, DoubleClicksEditTheMemoOrWriteANewOne) {
  Open(UsualFile());
  QTreeView* list = View()->MemoList();
  QString shown;
  auto ran = WhenShown<CEditRecordDlg>([&shown](CEditRecordDlg* dialog) {
    shown = dialog->TextEdit()->toPlainText();
    dialog->reject();
  });
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowPoint(1));
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, RowPoint(1));
  EXPECT_TRUE(*ran);
  EXPECT_EQ(shown, QStringLiteral("beta\nsecond line"));

  ran = WhenShown<CEditRecordDlg>([&shown](CEditRecordDlg* dialog) {
    shown = dialog->TextEdit()->toPlainText();
    dialog->reject();
  });
  // A double click begins with a click, which leaves nothing selected there.
  const QPoint beside(5, list->viewport()->height() - 3);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, beside);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, beside);
  EXPECT_TRUE(*ran);
  EXPECT_EQ(shown, QString());
  EXPECT_EQ(Store()->RecordCount(), 5);  // cancelled: nothing added
  // Afterwards the list is rebuilt: the first memo is current again.
  EXPECT_EQ(View()->CurrentListIndex(), 0);
}

TEST_F(MainDlgViewTest, EnterAndEscapeDoNothing) {
  Open(UsualFile());
  Click(2);
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    QTest::keyClick(View()->MemoList(), key);
    QTest::keyClick(View(), key);
    DrainEvents();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(app_->MainFrame()->isVisible());
    EXPECT_TRUE(View()->isVisible());
    EXPECT_EQ(View()->CurrentListIndex(), 2);
  }
  EXPECT_TRUE(messages_.empty());
}

TEST_F(MainDlgViewTest, AHotSyncThatEndsNormallyReloadsTheListsAndForgetsUndo) {
  Open(UsualFile());
  answer_ = kIdOk;
  Click(0);
  View()->OnCommand(kCmdDelete);
  ASSERT_TRUE(View()->CanUndo());
  CMainFrame* frame = app_->MainFrame();
  ASSERT_EQ(frame->OnHotSyncNotify(kHotSyncStarted), 0);

  // The conduit writes what the handheld holds: a new category and a new memo.
  RecordFileFixture synced = UsualFile();
  synced.categories.push_back("Handheld");
  synced.memos = {{12, 1, "beta\nsecond line"}, {21, 4, "written on the handheld"}};
  std::vector<std::uint8_t> bytes = BuildRecordFile(synced);
  std::ofstream(DataPath(user_), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

  ASSERT_EQ(frame->OnHotSyncNotify(kHotSyncEndedNormally), 0);
  DrainEvents();
  EXPECT_FALSE(View()->CanUndo());
  EXPECT_EQ(Column(0), (Texts{"beta", "written on the handheld"}));
  EXPECT_EQ(Column(1), (Texts{"Business", "Handheld"}));
  EXPECT_NE(View()->CategoryCombo()->findText(QStringLiteral("Handheld")), -1);
  EXPECT_EQ(Counter(), QStringLiteral("1 / 2"));
}

TEST_F(MainDlgViewTest, TheSplitterClampsEachPaneToOneHundredPixels) {
  Open(UsualFile());
  CMainDlgView* view = View();
  QTreeView* list = view->MemoList();
  QPlainTextEdit* detail = view->DetailPane();
  const QRect gap = view->SplitterGap();
  ASSERT_GT(gap.width(), 0);
  EXPECT_EQ(gap.left(), list->geometry().right() + 1);
  EXPECT_EQ(gap.right(), detail->geometry().left() - 1);
  const int listRight = list->geometry().right();
  const int detailRight = detail->geometry().right();

  // The splitter cursor over the gap, the arrow elsewhere.
  QTest::mouseMove(view, gap.center());
  EXPECT_EQ(view->cursor().shape(), Qt::BitmapCursor);
  QTest::mouseMove(view, QPoint(gap.center().x(), view->height() - 2));
  EXPECT_NE(view->cursor().shape(), Qt::BitmapCursor);

  QTest::mousePress(view, Qt::LeftButton, {}, gap.center());
  QTest::mouseMove(view, QPoint(-5000, gap.center().y()));
  QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(-5000, gap.center().y()));
  EXPECT_EQ(list->width(), 100);
  EXPECT_EQ(detail->geometry().right(), detailRight);  // only its left edge moved
  EXPECT_EQ(view->SplitterGap().left(), list->geometry().right() + 1);

  QTest::mousePress(view, Qt::LeftButton, {}, view->SplitterGap().center());
  QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(view->width() + 5000, gap.center().y()));
  EXPECT_EQ(detail->width(), 100);
  EXPECT_EQ(detail->geometry().right(), detailRight);
  EXPECT_GT(list->geometry().right(), listRight);

  // The anchors keep the new split: widening the window widens the list only.
  const int detailWidth = detail->width();
  const int listWidth = list->width();
  const int rightMargin = view->width() - (detail->x() + detail->width());
  app_->MainFrame()->resize(app_->MainFrame()->width() + 120, app_->MainFrame()->height());
  DrainEvents();
  EXPECT_EQ(detail->width(), detailWidth);
  EXPECT_EQ(list->width(), listWidth + 120);
  EXPECT_EQ(view->width() - (detail->x() + detail->width()), rightMargin);
}

}  // namespace
}  // namespace tallimor::test
