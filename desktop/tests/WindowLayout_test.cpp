// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// What the user sees of the windows' layout and text fields: the desktop's font with a
// Japanese fallback, the About box's notice shown whole, the category label clear of the
// window's edge, a click in the category column that does not scroll the memos' text
// away, and a category name pasted beyond its 15 bytes cut as the memo editor cuts.
#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeView>
#include <string>

#include "desktop/CAboutDlg.h"
#include "desktop/CInputCategoryNameDlg.h"
#include "desktop/CMainDlgView.h"
#include "desktop/CMainFrame.h"
#include "desktop/Cp932Input.h"
#include "desktop/DialogUnits.h"
#include "desktop/tests/GuiTestSupport.h"

namespace tallimor::test {
namespace {

class WindowLayoutTest : public DesktopSandbox {};

TEST_F(WindowLayoutTest, TheDesktopsFontWithJapaneseToFallBackOn) {
  const QFont system = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  const QFont font = DialogFont();
  ASSERT_FALSE(font.families().isEmpty());
  // The desktop's family as the font matcher resolves it draws the Latin text, even
  // where the desktop names only a generic family.
  const std::string desktop = QFontInfo(system).family().toStdString();
  EXPECT_EQ(font.families().first().toStdString(), desktop);
  EXPECT_EQ(QFontInfo(font).family().toStdString(), desktop);
  EXPECT_EQ(font.pointSizeF(), system.pointSizeF());
  EXPECT_TRUE(font.families().contains(QStringLiteral("IPAGothic")) ||
              font.families().contains(QStringLiteral("Noto Sans CJK JP")));
}

TEST_F(WindowLayoutTest, AboutBoxShowsItsNoticeWholeBesideTheButton) {
  for (int points : {9, 14, 20}) {
    QFont big = QApplication::font();
    big.setPointSize(points);
    QApplication::setFont(big);
    CAboutDlg dialog(nullptr);
    auto* notice = dialog.findChild<QLabel*>(QStringLiteral("NoticeLine"));
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->text().endsWith(QStringLiteral("パスワード付きメモ")));
    EXPECT_GE(notice->height(), notice->heightForWidth(notice->width())) << points << " pt";
    EXPECT_TRUE(dialog.rect().contains(notice->geometry())) << points << " pt";
    for (QPushButton* button : dialog.findChildren<QPushButton*>())
      EXPECT_FALSE(button->geometry().intersects(notice->geometry())) << points << " pt";
  }
  QApplication::setFont(DialogFont());
}

TEST_F(WindowLayoutTest, CategoryLabelKeepsItsMarginAndTheComboClearOfIt) {
  RecordFileFixture fixture;
  fixture.memos = {{1, 0, "memo"}};
  auto app = StartLoggedIn(AddUser("Taro", 3001, &fixture), nullptr);
  CMainDlgView* view = app->MainFrame()->View();
  auto* label = view->findChild<QLabel*>();
  ASSERT_NE(label, nullptr);
  EXPECT_GE(label->geometry().left(), DialogUnits(view->font()).X(7));
  EXPECT_GT(label->geometry().left(), 0);
  EXPECT_GT(view->CategoryCombo()->geometry().left(), label->geometry().right());
  EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
}

TEST_F(WindowLayoutTest, AClickInTheCategoryColumnDoesNotScrollSideways) {
  RecordFileFixture fixture;
  fixture.memos = {{1, 0, "first"}, {2, 0, "second"}};
  auto app = StartLoggedIn(AddUser("Taro", 3001, &fixture), nullptr);
  app->MainFrame()->resize(400, 400);
  DrainEvents();
  QTreeView* list = app->MainFrame()->View()->MemoList();
  ASSERT_GT(list->horizontalScrollBar()->maximum(), 0) << "the columns must be wider than the list";
  ASSERT_EQ(list->horizontalScrollBar()->value(), 0);
  const QModelIndex category = list->model()->index(1, 1);
  list->setCurrentIndex(category);
  list->scrollTo(category);
  EXPECT_EQ(list->horizontalScrollBar()->value(), 0);
  EXPECT_EQ(app->MainFrame()->View()->CurrentListIndex(), 1);
}

TEST_F(WindowLayoutTest, CategoryNamePastedBeyondItsLimitIsCutNotRefused) {
  auto app = StartApp();
  CInputCategoryNameDlg dialog(*app, nullptr);
  QLineEdit* name = dialog.NameEdit();
  name->insert(QStringLiteral("abcdefghijklmnopqrst"));  // 20 bytes
  EXPECT_EQ(name->text(), QStringLiteral("abcdefghijklmno"));
  name->clear();
  name->insert(QStringLiteral("ab"));
  name->insert(QStringLiteral("カテゴリの名前です"));  // 2 + 18 bytes: six of the nine fit
  EXPECT_EQ(Cp932Length(name->text()), 14);
  EXPECT_EQ(name->text(), QStringLiteral("abカテゴリの名"));
  name->insert(QStringLiteral("x"));  // the one byte left
  EXPECT_EQ(name->text(), QStringLiteral("abカテゴリの名x"));
  name->insert(QStringLiteral("y"));  // at the limit: refused
  EXPECT_EQ(name->text(), QStringLiteral("abカテゴリの名x"));
}

}  // namespace
}  // namespace tallimor::test
