// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The find field of the main frame's tool bar. The frame passes its text to the main
// view, which shows only the memos holding it as it is typed; Escape empties it. While
// it has the focus, the keys that edit a line of text (Delete, the clipboard keys, undo,
// select all) edit it instead of working on the memos as the frame's accelerators.
// Return or Down takes the user on to the memos found.
#pragma once

#include <QLineEdit>

class QKeyEvent;

namespace tallimor {

class CFindField : public QLineEdit {
  Q_OBJECT

 public:
  explicit CFindField(QWidget* parent);

  // True for a key that the field keeps for its own editing.
  static bool EditsWith(const QKeyEvent& key);

 signals:
  // Return, Enter or Down was pressed: the focus should move on to the memo list.
  void moveToList();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace tallimor
