// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Fixtures of the main view's, the memo edit dialog's and the category dialogs' tests:
// a logged-in program on a record file with categories and memos, quick access to the
// view, the store and the frame's enabling state, and answering the modal dialogs that
// the views run (a test says what to do once the dialog is up).
#pragma once

#include <QApplication>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "desktop/CDesktopApp.h"
#include "desktop/tests/GuiTestSupport.h"

class QMenu;
class QWidget;
class QString;
class QPoint;

namespace tallimor {
class CMainDlgView;
class CProtectedRecordFile;
}  // namespace tallimor

namespace tallimor::test {

inline constexpr char kViewPassword[] = "memo pass";

using Texts = std::vector<std::string>;
using Indexes = std::vector<std::int32_t>;

class ViewSandbox : public DesktopSandbox {
 protected:
  void SetUp() override;

  // Adds the user with `fixture` (protected with kViewPassword unless it says
  // otherwise), starts the program logged in and lets the first reload run.
  void Open(RecordFileFixture fixture);
  // The usual file: categories Unfiled, Business (1), Personal (2), Travel (3) and five
  // memos: "alpha" (0), "beta\nsecond line" (1), "gamma" (0), "\nstarts blank" (2),
  // "epsilon" (1).
  static RecordFileFixture UsualFile();

  CMainDlgView* View() const;
  CProtectedRecordFile* Store() const;
  // The memo text of the record at `index`, as stored (LF line breaks).
  std::string MemoAt(std::int32_t index) const;
  // The texts of the list's rows in a column.
  std::vector<std::string> Column(int column) const;
  // The record indexes of the list's rows.
  std::vector<std::int32_t> Rows() const;
  // Selects exactly `rows` of the list, as Ctrl+clicks would.
  void SelectRows(const std::vector<int>& rows) const;
  // A row's centre in the list's viewport.
  QPoint RowPoint(int row, int column = 0) const;
  // Whether the frame's update handler enables `command` now.
  bool Enabled(int command) const;

  std::unique_ptr<CDesktopApp> app_;
  std::int32_t user_ = 0;
};

// Runs `act` on the first window that `find` returns (visible) within `ms`
// milliseconds, polling from the event loop, so it also runs inside the modal loops
// that the code under test starts. Returns a flag that tells whether it ran.
std::shared_ptr<bool> WhenUp(std::function<QWidget*()> find, std::function<void(QWidget*)> act,
                             int ms = 20000);

// Runs `act` on the first modal dialog of type D that comes up; `act` ends it (or
// leaves it to the test).
template <typename D>
std::shared_ptr<bool> WhenShown(std::function<void(D*)> act, int ms = 20000) {
  return WhenUp([] { return static_cast<QWidget*>(qobject_cast<D*>(QApplication::activeModalWidget())); },
                [act](QWidget* dialog) { act(static_cast<D*>(dialog)); }, ms);
}

// Runs `act` on the pop-up menu that comes up next (QMenu::exec).
std::shared_ptr<bool> WhenMenuShown(std::function<void(QMenu*)> act, int ms = 20000);

// Types `text` into `widget` key by key, as a keyboard (or an input method, for
// characters that no key makes) would.
void TypeText(QWidget* widget, const QString& text);

// The texts of a code page 932 string as UTF-8, for readable expectations.
std::string Utf8(const std::string& cp932);
// UTF-8 text as code page 932 bytes.
std::string Cp932(const char* utf8);

}  // namespace tallimor::test
