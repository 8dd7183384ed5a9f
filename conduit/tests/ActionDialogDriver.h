// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Works the conduit's HotSync action dialog as a user would, from a timer that fires
// once the modal dialog is up: for tests that call the library's configuration calls
// (directly, or through the HotSync program) and must answer its dialog.
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTimer>

namespace tallimor::testing {

// What the dialog showed before the user acted.
struct ActionDialogSeen {
  QString checked;     // the text of the checked action button
  QStringList labels;  // the texts of every label, in the dialog's order
  bool shown = false;
};

// Once the next modal dialog is up: records what it shows into *seen, clicks the
// action button with text `action`, sets "Set as default" to `asDefault`, and presses
// OK or Cancel.
inline void AnswerActionDialog(const QString& action, bool asDefault, bool ok, ActionDialogSeen* seen) {
  QTimer::singleShot(0, [=] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr) return;
    seen->shown = true;
    for (QRadioButton* button : dialog->findChildren<QRadioButton*>()) {
      if (button->isChecked()) seen->checked = button->text();
    }
    for (QLabel* label : dialog->findChildren<QLabel*>()) seen->labels.append(label->text());
    for (QRadioButton* button : dialog->findChildren<QRadioButton*>()) {
      if (button->text() == action) button->click();
    }
    dialog->findChild<QCheckBox*>()->setChecked(asDefault);
    auto* box = dialog->findChild<QDialogButtonBox*>();
    box->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
  });
}

}  // namespace tallimor::testing
