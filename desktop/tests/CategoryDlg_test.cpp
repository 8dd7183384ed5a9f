// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The category dialogs: the editor's sorted list without the unfiled category, New with
// its id and index and the 15-category limit, Rename with the changed mark, Delete with
// the memos moved or deleted, the messages without a selection, OK and the filter; the
// name dialog's 15-byte limit in code page 932 bytes and its refusals; the delete
// dialog's choice.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

#include "desktop/CDeleteCategoryDlg.h"
#include "desktop/CEditCategoryDlg.h"
#include "desktop/CInputCategoryNameDlg.h"
#include "desktop/CMainDlgView.h"
#include "desktop/CMainFrame.h"
#include "protect/CProtectedRecordFile.h"
#include "desktop/resources/CommandIds.h"
#include "desktop/tests/ViewTestSupport.h"
#include "store/CPCategoryTable.h"

namespace tallimor::test {
namespace {

class CategoryDlgTest : public ViewSandbox {
 protected:
  std::unique_ptr<CEditCategoryDlg> Editor() {
    auto editor = std::make_unique<CEditCategoryDlg>(*app_, app_->MainFrame());
    editor->show();
    DrainEvents();
    return editor;
  }
  static Texts Names(const CEditCategoryDlg& editor) {
    Texts names;
    for (int i = 0; i < editor.CategoryList()->count(); ++i)
      names.push_back(editor.CategoryList()->item(i)->text().toStdString());
    return names;
  }
  static std::string Selected(const CEditCategoryDlg& editor) {
    auto items = editor.CategoryList()->selectedItems();
    return items.isEmpty() ? "" : items.first()->text().toStdString();
  }
  // Answers the name dialog with `name` typed into it.
  static std::shared_ptr<bool> TypeName(const QString& name) {
    return WhenShown<CInputCategoryNameDlg>([name](CInputCategoryNameDlg* dialog) {
      dialog->NameEdit()->selectAll();
      TypeText(dialog->NameEdit(), name);
      dialog->accept();
    });
  }
  const CPCategory* CategoryAt(int index) const { return Store()->CategoryAt(index); }
};

TEST_F(CategoryDlgTest, TheListShowsTheUserCategoriesSortedWithoutUnfiled) {
  RecordFileFixture file = UsualFile();
  file.categories = {"Unfiled", "travel", "Business", "personal"};
  Open(file);
  auto editor = Editor();
  EXPECT_EQ(Names(*editor), (Texts{"Business", "personal", "travel"}));
  EXPECT_EQ(editor->CategoryList()->item(0)->data(Qt::UserRole).toInt(), 2);
  EXPECT_EQ(Selected(*editor), "");
  EXPECT_EQ(app_->OpenDialogCount(), 1);
  editor.reset();
  EXPECT_EQ(app_->OpenDialogCount(), 0);
}

TEST_F(CategoryDlgTest, NewTakesTheFirstFreeIndexAndTheNextDesktopId) {
  Open(UsualFile());
  Store()->Categories()->At(2)->SetId(200);
  auto editor = Editor();
  auto ran = TypeName(QStringLiteral("Hobby"));
  editor->OnNew();
  EXPECT_TRUE(*ran);
  ASSERT_NE(CategoryAt(4), nullptr);
  EXPECT_STREQ(CategoryAt(4)->Name(), "Hobby");
  EXPECT_EQ(CategoryAt(4)->Id(), 201);
  EXPECT_TRUE(Store()->Categories()->IsDirty());
  EXPECT_EQ(Names(*editor), (Texts{"Business", "Hobby", "Personal", "Travel"}));
  EXPECT_EQ(Selected(*editor), "Hobby");
}

TEST_F(CategoryDlgTest, ANewCategoryAmongHandheldIdsGets128) {
  Open(UsualFile());
  auto editor = Editor();
  auto ran = TypeName(QStringLiteral("Desk"));
  editor->OnNew();
  EXPECT_TRUE(*ran);
  EXPECT_EQ(CategoryAt(4)->Id(), 128);
  // A cancelled name dialog adds nothing.
  ran = WhenShown<CInputCategoryNameDlg>([](CInputCategoryNameDlg* dialog) { dialog->reject(); });
  editor->OnNew();
  EXPECT_TRUE(*ran);
  EXPECT_EQ(CategoryAt(5), nullptr);
}

TEST_F(CategoryDlgTest, FifteenCategoriesRefuseNewUntilOneIsDeleted) {
  RecordFileFixture file = UsualFile();
  file.categories = {"Unfiled"};
  for (int i = 1; i <= 15; ++i) file.categories.push_back("C" + std::to_string(i));
  Open(file);
  auto editor = Editor();
  auto asked = WhenShown<CInputCategoryNameDlg>([](CInputCategoryNameDlg* dialog) { dialog->reject(); }, 300);
  editor->OnNew();
  SpinUntil([] { return false; }, 350);
  EXPECT_FALSE(*asked);  // no name dialog
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, 138);
  EXPECT_EQ(messages_[0].captionId, 142);
  EXPECT_EQ(messages_[0].flags, kMbIconExclamation);

  editor->CategoryList()->setCurrentRow(editor->CategoryList()->count() - 1);  // "C9", index 9
  ASSERT_EQ(editor->SelectedIndex(), 9);
  auto deleted = WhenShown<CDeleteCategoryDlg>([](CDeleteCategoryDlg* dialog) { dialog->accept(); });
  editor->OnDelete();
  EXPECT_TRUE(*deleted);
  EXPECT_EQ(CategoryAt(9), nullptr);
  auto named = TypeName(QStringLiteral("Fresh"));
  editor->OnNew();
  EXPECT_TRUE(*named);
  EXPECT_STREQ(CategoryAt(9)->Name(), "Fresh");
}

TEST_F(CategoryDlgTest, DeleteMovesTheMemosToUnfiledOrDeletesThem) {
  Open(UsualFile());
  auto editor = Editor();
  editor->CategoryList()->setCurrentRow(0);  // Business: memos 1 and 4
  auto moved = WhenShown<CDeleteCategoryDlg>([](CDeleteCategoryDlg* dialog) {
    EXPECT_TRUE(dialog->MoveButton()->isChecked());
    dialog->accept();
  });
  editor->OnDelete();
  EXPECT_TRUE(*moved);
  EXPECT_EQ(CategoryAt(1), nullptr);
  for (int index : {1, 4}) {
    EXPECT_EQ(Store()->RecordAt(index)->Category(), 0);
    EXPECT_EQ(Store()->RecordAt(index)->Status(), kStatusModified);
  }
  EXPECT_EQ(Names(*editor), (Texts{"Personal", "Travel"}));
  EXPECT_EQ(Selected(*editor), "");

  editor->CategoryList()->setCurrentRow(0);  // Personal: memo 3
  auto removed = WhenShown<CDeleteCategoryDlg>([](CDeleteCategoryDlg* dialog) {
    QTest::mouseClick(dialog->DeleteButton(), Qt::LeftButton);
    dialog->accept();
  });
  editor->OnDelete();
  EXPECT_TRUE(*removed);
  EXPECT_EQ(Store()->RecordAt(3)->Status(), kStatusDeleted | kStatusModified);
  editor->reject();
  editor.reset();
  // The view's list, rebuilt after the editor, no longer shows the deleted memo.
  app_->SetLastCategory(-1);
  View()->RebuildMemoList();
  EXPECT_EQ(Rows(), (std::vector<std::int32_t>{0, 1, 2, 4}));
  EXPECT_EQ(Column(1)[1], "Unfiled");
}

TEST_F(CategoryDlgTest, DeleteAndRenameNeedASelection) {
  Open(UsualFile());
  auto editor = Editor();
  editor->OnDelete();
  editor->OnRename();
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0].textId, 143);
  EXPECT_EQ(messages_[0].captionId, 128);
  EXPECT_EQ(messages_[1].textId, 144);
  EXPECT_EQ(messages_[1].captionId, 128);
  EXPECT_NE(CategoryAt(1), nullptr);
}

TEST_F(CategoryDlgTest, CancellingTheDeleteDialogKeepsTheCategory) {
  Open(UsualFile());
  auto editor = Editor();
  editor->CategoryList()->setCurrentRow(1);
  auto ran = WhenShown<CDeleteCategoryDlg>([](CDeleteCategoryDlg* dialog) { dialog->reject(); });
  editor->OnDelete();
  EXPECT_TRUE(*ran);
  EXPECT_NE(CategoryAt(2), nullptr);
  EXPECT_FALSE(Store()->RecordAt(3)->IsModified());
}

TEST_F(CategoryDlgTest, RenameMarksTheCategoryChangedAndSelectsTheNewName) {
  Open(UsualFile());
  auto editor = Editor();
  editor->CategoryList()->setCurrentRow(2);  // Travel
  QString shown;
  auto ran = WhenShown<CInputCategoryNameDlg>([&shown](CInputCategoryNameDlg* dialog) {
    shown = dialog->windowTitle() + "|" + dialog->NameEdit()->text() + "|" + dialog->NameEdit()->selectedText();
    TypeText(dialog->NameEdit(), QStringLiteral("旅行"));
    dialog->accept();
  });
  editor->OnRename();
  EXPECT_TRUE(*ran);
  EXPECT_EQ(shown, QStringLiteral("カテゴリー名の変更|Travel|Travel"));
  EXPECT_EQ(std::string(CategoryAt(3)->Name()), Cp932("旅行"));
  EXPECT_TRUE(CategoryAt(3)->IsChanged());
  EXPECT_EQ(CategoryAt(3)->Id(), 3);
  EXPECT_EQ(Selected(*editor), "旅行");
}

TEST_F(CategoryDlgTest, OkWithASelectionSetsTheFilterAndWithoutOneCancels) {
  Open(UsualFile());
  app_->SetLastCategory(-1);
  {
    auto editor = Editor();
    editor->accept();
    EXPECT_EQ(editor->result(), QDialog::Rejected);
    EXPECT_EQ(app_->GetLastCategory(), -1);
  }
  auto ran = WhenShown<CEditCategoryDlg>([](CEditCategoryDlg* editor) {
    editor->CategoryList()->setCurrentRow(1);  // Personal
    QTest::keyClick(editor, Qt::Key_Return);    // Enter is OK
  });
  View()->OnCommand(kCmdCategories);
  EXPECT_TRUE(*ran);
  EXPECT_EQ(app_->GetLastCategory(), 2);
  EXPECT_EQ(Rows(), (std::vector<std::int32_t>{3}));

  // Escape cancels; changes made meanwhile stand.
  ran = WhenShown<CEditCategoryDlg>([](CEditCategoryDlg* editor) {
    auto named = TypeName(QStringLiteral("Later"));
    editor->OnNew();
    editor->CategoryList()->setCurrentRow(0);
    QTest::keyClick(editor, Qt::Key_Escape);
  });
  View()->OnCommand(kCmdCategories);
  EXPECT_TRUE(*ran);
  EXPECT_EQ(app_->GetLastCategory(), 2);
  EXPECT_STREQ(CategoryAt(4)->Name(), "Later");
  EXPECT_NE(View()->CategoryCombo()->findText(QStringLiteral("Later")), -1);
}

// The three dialogs' captions and control texts, character for character: full-width
// colons, the mnemonics and the "..." of the buttons that open another dialog.
TEST_F(CategoryDlgTest, CaptionsAndControlTextsReadExactly) {
  Open(UsualFile());
  auto editor = Editor();
  EXPECT_EQ(editor->windowTitle(), QStringLiteral("カテゴリの編集"));
  EXPECT_EQ(ControlTexts(*editor), (Texts{"OK", "新規(&N)...", "削除(&D)...", "名前の変更(&E)..."}));

  CDeleteCategoryDlg remove(app_->MainFrame());
  EXPECT_EQ(remove.windowTitle(), QStringLiteral("カテゴリの削除"));
  EXPECT_EQ(ControlTexts(remove),
            (Texts{"データを [未分類] に移動(&M)", "すべてのデータを削除(&D)", "OK", "キャンセル"}));

  // The label is the same in both modes; only the caption tells them apart.
  for (bool newMode : {true, false}) {
    CInputCategoryNameDlg name(*app_, app_->MainFrame());
    EXPECT_EQ(name.windowTitle(), QStringLiteral("カテゴリー"));
    name.SetNewMode(newMode);
    name.SetCategory(*CategoryAt(1));
    name.show();
    EXPECT_EQ(name.windowTitle(), newMode ? QStringLiteral("新規カテゴリー") : QStringLiteral("カテゴリー名の変更"));
    EXPECT_EQ(ControlTexts(name), (Texts{"新規カテゴリー名(&E)：", "OK", "キャンセル"}));
  }
}

TEST_F(CategoryDlgTest, TheNameTakesFifteenBytesOfCodePage932) {
  Open(UsualFile());
  CInputCategoryNameDlg dialog(*app_, app_->MainFrame());
  dialog.SetNewMode(true);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("新規カテゴリー"));
  QLineEdit* edit = dialog.NameEdit();
  TypeText(edit, QStringLiteral("abcdefghijklmnop"));
  EXPECT_EQ(edit->text(), QStringLiteral("abcdefghijklmno"));
  edit->clear();
  TypeText(edit, QStringLiteral("あいうえおかき"));  // 14 bytes
  TypeText(edit, QStringLiteral("く"));              // would be 16
  EXPECT_EQ(edit->text(), QStringLiteral("あいうえおかき"));
  TypeText(edit, QStringLiteral("ｱ"));              // half-width kana: one byte
  EXPECT_EQ(edit->text(), QStringLiteral("あいうえおかきｱ"));
  dialog.accept();
  EXPECT_EQ(std::string(dialog.Category().Name()), Cp932("あいうえおかきｱ"));
}

TEST_F(CategoryDlgTest, EmptyAndUnstorableNamesAreRefusedBlanksAreNot) {
  Open(UsualFile());
  for (bool newMode : {true, false}) {
    CInputCategoryNameDlg dialog(*app_, app_->MainFrame());
    dialog.SetNewMode(newMode);
    dialog.show();
    dialog.NameEdit()->clear();
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    TypeText(dialog.NameEdit(), QStringLiteral("\u00E9t\u00E9"));
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    dialog.NameEdit()->setText(QStringLiteral("   "));
    dialog.accept();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_STREQ(dialog.Category().Name(), "   ");
  }
  ASSERT_EQ(messages_.size(), 4u);
  EXPECT_EQ(messages_[0].textId, 145);
  EXPECT_EQ(messages_[0].captionId, 142);
  EXPECT_EQ(messages_[1].textId, 180);
  EXPECT_EQ(messages_[2].textId, 145);
  EXPECT_EQ(messages_[2].captionId, 146);
}

}  // namespace
}  // namespace tallimor::test
