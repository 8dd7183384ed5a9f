// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The memo edit dialog. The text control shows the memo with CR LF line breaks and is
// limited to 32,767 bytes of code page 932; OK converts strictly, so a character that
// code page 932 cannot hold is refused with a message instead of being stored as "?".
#include "desktop/CEditRecordDlg.h"

#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>

#include "desktop/CDesktopApp.h"
#include "desktop/CEditCategoryDlg.h"
#include "desktop/CProfile.h"
#include "protect/CProtectedRecordFile.h"
#include "desktop/CWindowMessageEvent.h"
#include "desktop/CategoryLists.h"
#include "desktop/Cp932Input.h"
#include "desktop/DialogUnits.h"
#include "desktop/MemoCommands.h"
#include "protect/StoredMemo.h"
#include "desktop/TextConversion.h"
#include "desktop/WidgetPlacement.h"
#include "desktop/resources/StringTable.h"

namespace tallimor {
namespace {

constexpr char kPositionSection[] = "Position";
constexpr char kPlacementKey[] = "EditRecord";

}  // namespace

CEditRecordDlg::CEditRecordDlg(CDesktopApp& app, QWidget* parent) : QDialog(parent), app_(app) {
  app_.DialogOpened(0);
  setObjectName(QStringLiteral("EditRecordDlg"));
  setWindowTitle(QStringLiteral("メモの編集"));
  setSizeGripEnabled(true);
  setFont(DialogFont());
  DialogUnits du(font());
  resize(du.Size(224, 142));

  frame_ = new QGroupBox(this);
  frame_->setGeometry(du.Rect(7, 0, 119, 135));
  text_ = new QPlainTextEdit(this);
  text_->setObjectName(QStringLiteral("MemoText"));
  text_->setGeometry(du.Rect(15, 12, 101, 115));
  text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  text_->setTabChangesFocus(true);

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setGeometry(du.Rect(137, 4, 80, 14));
  ok_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("キャンセル"), this);
  cancel_->setGeometry(du.Rect(137, 25, 80, 14));
  new_ = new QPushButton(QStringLiteral("新規(&N)"), this);
  new_->setGeometry(du.Rect(137, 44, 80, 14));
  new_->setEnabled(false);
  connect(ok_, &QPushButton::clicked, this, &CEditRecordDlg::accept);
  connect(cancel_, &QPushButton::clicked, this, &CEditRecordDlg::reject);
  connect(new_, &QPushButton::clicked, this, &CEditRecordDlg::OnNewButton);

  label_ = new QLabel(QStringLiteral("カテゴリ(&C)："), this);
  label_->setGeometry(du.LabelRect(QFontMetrics(font()), label_->text(), 137, 111, 80, 8));
  category_ = new QComboBox(this);
  category_->setObjectName(QStringLiteral("CategoryCombo"));
  category_->setGeometry(du.X(137), du.Y(123), du.X(80), category_->sizeHint().height());
  category_->setMaxVisibleItems(12);
  label_->setBuddy(category_);
  connect(category_, &QComboBox::activated, this, &CEditRecordDlg::OnCategorySelected);
}

CEditRecordDlg::~CEditRecordDlg() { app_.DialogOpened(1); }

int CEditRecordDlg::exec() {
  InitDialog();
  return QDialog::exec();
}

void CEditRecordDlg::showEvent(QShowEvent* event) {
  InitDialog();
  QDialog::showEvent(event);
}

void CEditRecordDlg::InitDialog() {
  if (initialised_) return;
  minimumSize_ = size();
  using A = CAnchorLayout;
  (void)(anchors_.Register(text_, A::kAnchorRight | A::kAnchorBottom) &&
         anchors_.Register(frame_, A::kAnchorRight | A::kAnchorBottom) &&
         anchors_.Register(ok_, A::kAnchorRight | A::kKeepWidth | A::kKeepHeight) &&
         anchors_.Register(cancel_, A::kAnchorRight | A::kKeepWidth | A::kKeepHeight) &&
         anchors_.Register(new_, A::kAnchorRight | A::kKeepWidth | A::kKeepHeight) &&
         anchors_.Register(label_, A::kAnchorRight | A::kAnchorBottom | A::kKeepWidth | A::kKeepHeight) &&
         anchors_.Register(category_, A::kAnchorRight | A::kAnchorBottom | A::kKeepWidth | A::kKeepHeight));
  setMinimumSize(minimumSize_);

  std::optional<WindowPlacement> placement =
      ParseWindowPlacement(app_.Profile().GetString(kPositionSection, kPlacementKey));
  if (placement) {
    ApplyPlacement(*this, *placement);
    if (placement->showCommand == kShowMaximized) setWindowState(windowState() | Qt::WindowMaximized);
  }
  setWindowIcon(QIcon(QStringLiteral(":/tallimor/icon160.png")));

  CProtectedRecordFile* store = app_.GetStore();
  if (recordIndex_ == -1) {
    categoryIndex_ = app_.GetLastCategory();
  } else if (const CPRecord* record = store == nullptr ? nullptr : store->RecordAt(recordIndex_)) {
    text_->setPlainText(FromCp932(LfToCrLf(StoredMemoText(*record))));
    // The caret at the end, the view left at the top.
    QTextCursor end = text_->textCursor();
    end.movePosition(QTextCursor::End);
    text_->setTextCursor(end);
    text_->verticalScrollBar()->setValue(0);
    categoryIndex_ = record->Category();
  }
  FillCategoryCombo();
  LimitCp932Bytes(text_, kMaxTextBytes);
  text_->setFocus();
  initialised_ = true;
}

void CEditRecordDlg::FillCategoryCombo() {
  tallimor::FillCategoryCombo(category_, app_.GetStore(), false);
  category_->setCurrentIndex(category_->findData(categoryIndex_ == -1 ? 0 : categoryIndex_));
}

void CEditRecordDlg::OnCategorySelected(int position) {
  if (position < 0) return;
  const std::int32_t value = CategoryData(category_, position);
  if (value != kCategoryEditEntry) {
    categoryIndex_ = value;
    return;
  }
  {
    CEditCategoryDlg editor(app_, this);
    editor.exec();
  }
  FillCategoryCombo();
}

void CEditRecordDlg::OnNewButton() {
  if (parentWidget() != nullptr) PostWindowMessage(parentWidget(), kWmUserNewRecord);
}

void CEditRecordDlg::accept() {
  const QString text = text_->toPlainText();
  if (text.isEmpty()) {
    app_.ShowMessage(kIdsEnterMemo, kIdsAppTitle, kMbOk | kMbIconInformation);
    return;
  }
  StoreText converted = ConvertForStore(text);
  if (!converted.ok) {
    app_.ShowMessage(kIdsMemoNotCp932, kIdsAppTitle, kMbOk | kMbIconExclamation,
                     DescribeOffending(converted.offending));
    return;
  }
  CProtectedRecordFile* store = app_.GetStore();
  if (store == nullptr) return;
  app_.Profile().WriteString(kPositionSection, kPlacementKey, FormatWindowPlacement(PlacementOf(*this)));

  CPRecord* record = recordIndex_ == -1 ? store->AddEmptyRecord() : store->RecordAt(recordIndex_);
  if (record == nullptr) return;
  // The control's line breaks are the memo's LF already; a CR LF typed in another way
  // (pasted text) becomes LF too.
  StoreMemo(*record, CrLfToLf(converted.bytes));
  savedIndex_ = record->Index();
  record->SetCategory(categoryIndex_ == -1 ? 0 : categoryIndex_);
  // A new memo carries the new status already; there is no record at index -1.
  store->MarkModified(recordIndex_, true);
  QDialog::accept();
}

void CEditRecordDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  anchors_.Apply(this);
}

}  // namespace tallimor
