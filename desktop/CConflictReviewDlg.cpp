// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The review dialog, laid out in dialog units of the program's dialog font: the pair's
// position and what a choice does at the top, the two versions in read-only panes side
// by side, each with its category and its "keep this one" button, then "keep both"
// and "later".
#include "desktop/CConflictReviewDlg.h"

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "desktop/DialogUnits.h"
#include "desktop/resources/StringTable.h"

namespace tallimor {
namespace {

QString Text(int id) { return QString::fromUtf8(LoadString(id)); }

}  // namespace

CConflictReviewDlg::CConflictReviewDlg(std::vector<ConflictReviewItem> items, Decide decide,
                                       QWidget* parent)
    : QDialog(parent), items_(std::move(items)), decide_(std::move(decide)) {
  setObjectName(QStringLiteral("ConflictReviewDlg"));
  setWindowTitle(Text(kIdsConflictTitle));
  setFont(DialogFont());
  DialogUnits du(font());
  setFixedSize(du.Size(320, 200));

  position_ = new QLabel(this);
  position_->setGeometry(du.Rect(7, 7, 306, 8));
  auto* explain = new QLabel(Text(kIdsConflictExplain), this);
  explain->setGeometry(du.Rect(7, 18, 306, 16));
  explain->setWordWrap(true);

  struct Side {
    int titleId;
    int buttonId;
    int x;
    QLabel** category;
    QPlainTextEdit** text;
    QPushButton** keep;
    ConflictChoice choice;
  } sides[] = {
      {kIdsConflictHandheld, kIdsConflictKeepHandheld, 7, &handheldCategory_, &handheldText_,
       &keepHandheld_, ConflictChoice::kKeepHandheld},
      {kIdsConflictDesktop, kIdsConflictKeepDesktop, 163, &desktopCategory_, &desktopText_,
       &keepDesktop_, ConflictChoice::kKeepDesktop},
  };
  for (const Side& side : sides) {
    auto* group = new QGroupBox(Text(side.titleId), this);
    group->setGeometry(du.Rect(side.x, 38, 150, 136));
    *side.category = new QLabel(this);
    (*side.category)->setGeometry(du.Rect(side.x + 6, 50, 138, 8));
    *side.text = new QPlainTextEdit(this);
    (*side.text)->setGeometry(du.Rect(side.x + 6, 61, 138, 90));
    (*side.text)->setReadOnly(true);
    *side.keep = new QPushButton(Text(side.buttonId), this);
    (*side.keep)->setGeometry(du.Rect(side.x + 44, 155, 62, 14));
    const ConflictChoice choice = side.choice;
    connect(*side.keep, &QPushButton::clicked, this, [this, choice] { Choose(choice); });
  }
  keepBoth_ = new QPushButton(Text(kIdsConflictKeepBoth), this);
  keepBoth_->setGeometry(du.Rect(196, 180, 56, 14));
  connect(keepBoth_, &QPushButton::clicked, this, [this] { Choose(ConflictChoice::kKeepBoth); });
  later_ = new QPushButton(Text(kIdsConflictLater), this);
  later_->setGeometry(du.Rect(257, 180, 56, 14));
  connect(later_, &QPushButton::clicked, this, &QDialog::reject);
  // Enter decides nothing by accident: no button is the default.
  for (QPushButton* button : {keepHandheld_, keepDesktop_, keepBoth_, later_}) button->setAutoDefault(false);

  Show(0);
}

void CConflictReviewDlg::Show(int item) {
  current_ = item;
  if (item >= static_cast<int>(items_.size())) return;
  const ConflictReviewItem& shown = items_[static_cast<std::size_t>(item)];
  position_->setText(Text(kIdsConflictPosition).arg(item + 1).arg(items_.size()));
  handheldCategory_->setText(Text(kIdsConflictCategory).arg(shown.handheldCategory));
  desktopCategory_->setText(Text(kIdsConflictCategory).arg(shown.desktopCategory));
  handheldText_->setPlainText(shown.handheldText);
  desktopText_->setPlainText(shown.desktopText);
}

void CConflictReviewDlg::Choose(ConflictChoice choice) {
  if (!decide_(current_, choice)) {
    reject();
    return;
  }
  if (current_ + 1 >= static_cast<int>(items_.size())) {
    accept();
    return;
  }
  Show(current_ + 1);
}

}  // namespace tallimor
