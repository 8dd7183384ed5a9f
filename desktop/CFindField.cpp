// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The find field: a line edit that Escape empties and that keeps its editing keys.
#include "desktop/CFindField.h"

#include <QFontMetrics>
#include <QKeyEvent>

#include "desktop/resources/CommandIds.h"
#include "desktop/resources/StringTable.h"

namespace tallimor {
namespace {

// Wide enough for a dozen full-width characters, and no wider: the tool bar stays small.
constexpr int kFieldWidthChars = 12;

}  // namespace

CFindField::CFindField(QWidget* parent) : QLineEdit(parent) {
  setObjectName(QStringLiteral("FindField"));
  const QString prompt = QString::fromUtf8(LoadString(kCmdFind));
  setPlaceholderText(QString::fromUtf8(LoadString(kIdsFindPlaceholder)));
  setAccessibleName(prompt.section(QLatin1Char('\n'), 1));
  setToolTip(prompt.section(QLatin1Char('\n'), 1));
  setStatusTip(prompt.section(QLatin1Char('\n'), 0, 0));
  setClearButtonEnabled(true);
  setFixedWidth(QFontMetrics(font()).horizontalAdvance(QStringLiteral("検")) * kFieldWidthChars);
}

bool CFindField::EditsWith(const QKeyEvent& key) {
  for (QKeySequence::StandardKey standard :
       {QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Paste, QKeySequence::Undo,
        QKeySequence::Redo, QKeySequence::SelectAll, QKeySequence::Delete}) {
    if (key.matches(standard)) return true;
  }
  switch (key.key()) {
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
    case Qt::Key_Insert:
      return true;
    default:
      return false;
  }
}

void CFindField::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    clear();
    event->accept();
    return;
  }
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Down:
      event->accept();
      emit moveToList();
      return;
    default:
      break;
  }
  QLineEdit::keyPressEvent(event);
}

}  // namespace tallimor
