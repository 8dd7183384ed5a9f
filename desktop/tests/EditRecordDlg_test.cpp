// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The memo edit dialog: line breaks between the control and the stored memo form, new
// memos and their category, the combo's editor entry, the empty-text and unstorable-text
// refusals, the 32,767-byte limit, the placement kept under "EditRecord", the minimum
// size and the anchored controls, and the open-dialog count that holds off a HotSync.
#include <QComboBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <string>

#include "desktop/CEditCategoryDlg.h"
#include "desktop/CEditRecordDlg.h"
#include "desktop/CMainDlgView.h"
#include "desktop/CMainFrame.h"
#include "desktop/CProfile.h"
#include "protect/CProtectedRecordFile.h"
#include "protect/StoredMemo.h"
#include "desktop/tests/ViewTestSupport.h"
#include "notifier/HotSyncNotification.h"

namespace tallimor::test {
namespace {

class EditRecordDlgTest : public ViewSandbox {
 protected:
  void SetUp() override {
    ViewSandbox::SetUp();
    Open(UsualFile());
  }
  std::unique_ptr<CEditRecordDlg> Dialog(std::int32_t index) {
    auto dialog = std::make_unique<CEditRecordDlg>(*app_, app_->MainFrame());
    dialog->SetRecordIndex(index);
    dialog->show();
    DrainEvents();
    return dialog;
  }
  std::string Placement() const { return CProfile(profile_).GetString("Position", "EditRecord"); }
};

TEST_F(EditRecordDlgTest, AnUnchangedMemoIsStoredBackWithItsSingleLf) {
  auto dialog = Dialog(1);
  EXPECT_EQ(dialog->TextEdit()->document()->blockCount(), 2);
  EXPECT_EQ(dialog->TextEdit()->toPlainText(), QStringLiteral("beta\nsecond line"));
  EXPECT_EQ(dialog->TextEdit()->textCursor().position(), 16);  // caret at the end
  EXPECT_EQ(dialog->CategoryCombo()->currentText(), QStringLiteral("Business"));
  EXPECT_FALSE(dialog->NewButton()->isEnabled());
  dialog->accept();
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  const CPRecord* record = Store()->RecordAt(1);
  const std::vector<std::uint8_t> expected = {'b', 'e', 't', 'a', '\n', 's', 'e', 'c', 'o', 'n', 'd',
                                              ' ', 'l', 'i', 'n', 'e', 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<std::uint8_t>(record->Data(), record->Data() + record->DataLength()), expected);
  EXPECT_TRUE(record->IsModified());
  EXPECT_EQ(record->Category(), 1);
}

TEST_F(EditRecordDlgTest, CaptionAndControlTextsReadExactly) {
  auto dialog = Dialog(0);
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("メモの編集"));
  // The frame around the text has no title.
  EXPECT_EQ(ControlTexts(*dialog), (Texts{"", "OK", "キャンセル", "新規(&N)", "カテゴリ(&C)："}));
}

TEST_F(EditRecordDlgTest, ANewMemoBegunUnderAllIsFiledAsUnfiled) {
  app_->SetLastCategory(-1);
  auto dialog = Dialog(-1);
  EXPECT_EQ(dialog->CategoryCombo()->currentText(), QStringLiteral("未分類"));
  EXPECT_TRUE(dialog->TextEdit()->toPlainText().isEmpty());
  TypeText(dialog->TextEdit(), QStringLiteral("first"));
  QTest::keyClick(dialog->TextEdit(), Qt::Key_Return);
  TypeText(dialog->TextEdit(), QStringLiteral("買い物"));
  EXPECT_TRUE(dialog->isVisible());  // Enter makes a line break, it does not close
  QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  ASSERT_NE(Store()->RecordAt(5), nullptr);
  EXPECT_EQ(MemoAt(5), "first\n" + Cp932("買い物"));
  EXPECT_EQ(Store()->RecordAt(5)->Category(), 0);
  EXPECT_EQ(Store()->RecordAt(5)->Status(), kStatusNew);
}

TEST_F(EditRecordDlgTest, ANewMemoBegunUnderACategoryIsFiledThere) {
  app_->SetLastCategory(3);
  auto dialog = Dialog(-1);
  EXPECT_EQ(dialog->CategoryCombo()->currentText(), QStringLiteral("Travel"));
  dialog->TextEdit()->setPlainText(QStringLiteral("tickets"));
  dialog->accept();
  EXPECT_EQ(Store()->RecordAt(5)->Category(), 3);
}

TEST_F(EditRecordDlgTest, PickingACategoryFilesTheMemoThere) {
  auto dialog = Dialog(0);
  QComboBox* combo = dialog->CategoryCombo();
  combo->setFocus();
  // Business, Personal, Travel, 未分類: one up from 未分類 is Travel.
  ASSERT_EQ(combo->currentText(), QStringLiteral("未分類"));
  QTest::keyClick(combo, Qt::Key_Up);
  EXPECT_EQ(dialog->CategoryIndex(), 3);
  dialog->accept();
  EXPECT_EQ(Store()->RecordAt(0)->Category(), 3);
}

TEST_F(EditRecordDlgTest, AnEmptyTextIsRefusedAndNothingIsStored) {
  auto dialog = Dialog(-1);
  dialog->accept();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, 141);
  EXPECT_EQ(messages_[0].captionId, 128);
  EXPECT_EQ(messages_[0].flags, kMbIconInformation);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(Store()->RecordCount(), 5);
  EXPECT_EQ(Placement(), "");
}

TEST_F(EditRecordDlgTest, TextThatCodePage932CannotHoldIsRefused) {
  auto dialog = Dialog(0);
  dialog->TextEdit()->setPlainText(QStringLiteral("caf\u00E9 \u00E0 la cr\u00E8me"));
  dialog->accept();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, 179);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(MemoAt(0), "alpha");
  EXPECT_FALSE(Store()->RecordAt(0)->IsModified());
}

TEST_F(EditRecordDlgTest, TheTextStopsAt32767BytesWithLineBreaksCountingTwo) {
  auto dialog = Dialog(-1);
  QPlainTextEdit* edit = dialog->TextEdit();
  edit->insertPlainText(QString(40000, QLatin1Char('a')));
  EXPECT_EQ(edit->toPlainText().size(), 32767);
  TypeText(edit, QStringLiteral("b"));
  EXPECT_EQ(edit->toPlainText().size(), 32767);

  edit->clear();
  edit->insertPlainText(QString(16383, QChar(0x3042)));  // 32,766 bytes
  QTest::keyClick(edit, Qt::Key_Return);                  // a CR LF does not fit
  EXPECT_EQ(edit->document()->blockCount(), 1);
  TypeText(edit, QStringLiteral("\u3044"));        // nor a double-byte character
  EXPECT_EQ(edit->toPlainText().size(), 16383);
  TypeText(edit, QStringLiteral("z"));             // one byte does
  EXPECT_EQ(edit->toPlainText().size(), 16384);
  dialog->accept();
  EXPECT_EQ(MemoAt(5).size(), 32767u);
}

TEST_F(EditRecordDlgTest, TheStoredPlacementIsRestoredAndWrittenByOk) {
  // Sizes above the template's minimum, which grows with the desktop's font.
  auto first = Dialog(0);
  const int width = first->MinimumSize().width() + 30;
  const int height = first->MinimumSize().height() + 30;
  first->reject();
  const auto placement = [](int left, int top, int right, int bottom) {
    return "0:1:-1:-1:-1:-1:" + std::to_string(left) + ":" + std::to_string(top) + ":" +
           std::to_string(right) + ":" + std::to_string(bottom);
  };
  const std::string stored = placement(10, 20, 10 + width, 20 + height);
  CProfile(profile_).WriteString("Position", "EditRecord", stored);
  auto dialog = Dialog(0);
  EXPECT_EQ(dialog->geometry(), QRect(10, 20, width, height));
  dialog->move(30, 40);
  dialog->reject();
  EXPECT_EQ(Placement(), stored);  // Cancel writes nothing

  auto again = Dialog(0);
  again->setGeometry(50, 60, width + 20, height + 10);
  again->accept();
  EXPECT_EQ(Placement(), placement(50, 60, 70 + width, 70 + height));
}

TEST_F(EditRecordDlgTest, AMalformedPlacementLeavesTheTemplateSize) {
  auto first = Dialog(0);
  const QSize templateSize = first->MinimumSize();
  first->reject();
  CProfile(profile_).WriteString("Position", "EditRecord", "1:2:3");
  auto dialog = Dialog(0);
  EXPECT_EQ(dialog->size(), templateSize);
}

TEST_F(EditRecordDlgTest, ResizingKeepsTheMinimumAndTheAnchoredDistances) {
  auto dialog = Dialog(0);
  const QSize minimum = dialog->MinimumSize();
  dialog->resize(minimum.width() - 50, minimum.height() - 50);
  DrainEvents();
  EXPECT_EQ(dialog->size(), minimum);

  QPlainTextEdit* text = dialog->TextEdit();
  QPushButton* ok = dialog->OkButton();
  QComboBox* combo = dialog->CategoryCombo();
  const QSize textSize = text->size();
  const int okRight = dialog->width() - ok->geometry().right();
  const QPoint okTop = ok->pos();
  const QPoint comboCorner(dialog->width() - combo->geometry().right(),
                           dialog->height() - combo->geometry().bottom());
  dialog->resize(minimum.width() + 200, minimum.height() + 100);
  DrainEvents();
  EXPECT_EQ(text->size(), textSize + QSize(200, 100));
  EXPECT_EQ(dialog->width() - ok->geometry().right(), okRight);
  EXPECT_EQ(ok->y(), okTop.y());
  EXPECT_EQ(QPoint(dialog->width() - combo->geometry().right(), dialog->height() - combo->geometry().bottom()),
            comboCorner);
}

TEST_F(EditRecordDlgTest, TheEditorEntryKeepsTheMemosCategoryWithTheEditedNames) {
  auto dialog = Dialog(4);  // epsilon, in Business
  auto ran = WhenShown<CEditCategoryDlg>([this](CEditCategoryDlg* editor) {
    Store()->RenameCategory(1, "Work");  // as the editor's rename does
    editor->reject();
  });
  QComboBox* combo = dialog->CategoryCombo();
  combo->setCurrentIndex(combo->findData(-2));
  emit combo->activated(combo->currentIndex());
  EXPECT_TRUE(*ran);
  EXPECT_EQ(combo->currentText(), QStringLiteral("Work"));
  EXPECT_EQ(dialog->CategoryIndex(), 1);
  EXPECT_EQ(combo->itemText(combo->count() - 1), QStringLiteral("カテゴリの編集..."));
}

TEST_F(EditRecordDlgTest, TheEditorsChoiceFiltersTheViewWhileItsComboStays) {
  // From the view: edit a memo, open the editor from the dialog and pick Travel there.
  View()->MemoList()->setFocus();
  auto editorRan = std::make_shared<bool>(false);
  auto ran = WhenShown<CEditRecordDlg>([editorRan](CEditRecordDlg* dialog) {
    auto inner = WhenShown<CEditCategoryDlg>([](CEditCategoryDlg* editor) {
      editor->CategoryList()->setCurrentRow(2);  // Travel
      editor->accept();
    });
    QComboBox* combo = dialog->CategoryCombo();
    combo->setCurrentIndex(combo->findData(-2));
    emit combo->activated(combo->currentIndex());
    *editorRan = *inner;
    dialog->reject();
  });
  View()->EditMemo();
  EXPECT_TRUE(*ran);
  EXPECT_TRUE(*editorRan);
  EXPECT_EQ(app_->GetLastCategory(), 3);
  EXPECT_TRUE(View()->MemoList()->model()->rowCount() == 0);  // Travel has no memos
  EXPECT_EQ(View()->CategoryCombo()->currentText(), QStringLiteral("すべて"));
}

TEST_F(EditRecordDlgTest, WhileOpenAHotSyncIsRefused) {
  {
    auto dialog = Dialog(0);
    EXPECT_EQ(app_->OpenDialogCount(), 1);
    EXPECT_EQ(app_->MainFrame()->OnHotSyncNotify(kHotSyncStartQuery), 1);
    DrainEvents();
  }
  EXPECT_EQ(app_->OpenDialogCount(), 0);
  EXPECT_EQ(app_->MainFrame()->OnHotSyncNotify(kHotSyncStartQuery), 0);
}

}  // namespace
}  // namespace tallimor::test
