// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The read-only backup window: a list, a read-only text view and copy and export.
#include "desktop/CBackupWindow.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/CMemoExchange.h"
#include "desktop/resources/StringTable.h"
#include "exchange/KeePassXmlFormat.h"

namespace tallimor {
namespace {

QString Str(int id) { return QString::fromUtf8(LoadString(id)); }

}  // namespace

CBackupWindow::CBackupWindow(CDesktopApp& app, const QString& path, std::vector<ExchangeMemo> memos,
                             std::vector<std::string> categories, QWidget* parent)
    : QDialog(parent), app_(app), memos_(std::move(memos)), categories_(std::move(categories)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(Str(kIdsReadOnlyTitle).arg(QFileInfo(path).fileName()));
  list_ = new QListWidget(this);
  for (const ExchangeMemo& memo : memos_) {
    list_->addItem(QStringLiteral("[%1] %2").arg(QString::fromStdString(memo.category),
                                                  QString::fromStdString(KeePassTitle(memo.text))));
  }
  text_ = new QPlainTextEdit(this);
  text_->setReadOnly(true);
  copy_ = new QPushButton(Str(kIdsBackupCopy), this);
  export_ = new QPushButton(Str(kIdsBackupExport), this);
  QPushButton* close = new QPushButton(Str(kIdsBackupClose), this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(copy_);
  buttons->addWidget(export_);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* panes = new QHBoxLayout;
  panes->addWidget(list_, 1);
  panes->addWidget(text_, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(panes);
  layout->addLayout(buttons);
  resize(720, 420);

  connect(list_, &QListWidget::currentRowChanged, this, &CBackupWindow::OnCurrentRowChanged);
  connect(copy_, &QPushButton::clicked, this, &CBackupWindow::OnCopy);
  connect(export_, &QPushButton::clicked, this, [this] { CMemoExchange::Export(app_, this, memos_, categories_); });
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  if (!memos_.empty()) list_->setCurrentRow(0);
  copy_->setEnabled(!memos_.empty());
}

void CBackupWindow::OnCurrentRowChanged(int row) {
  const bool valid = row >= 0 && static_cast<std::size_t>(row) < memos_.size();
  text_->setPlainText(valid ? QString::fromStdString(memos_[static_cast<std::size_t>(row)].text) : QString());
}

void CBackupWindow::OnCopy() {
  // The chosen text when there is a selection in the memo, else the whole memo.
  const QString selected = text_->textCursor().selectedText().replace(QChar::ParagraphSeparator, '\n');
  QGuiApplication::clipboard()->setText(selected.isEmpty() ? text_->toPlainText() : selected);
}

}  // namespace tallimor
