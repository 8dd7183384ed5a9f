// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The views' test fixtures. Record files come from the independent writer of the GUI
// tests; the program is started and logged in as a user would be.
#include "desktop/tests/ViewTestSupport.h"

#include <QAction>
#include <QClipboard>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QMenu>
#include <QTest>
#include <QTreeView>

#include "desktop/CMainDlgView.h"
#include "desktop/CMainFrame.h"
#include "protect/CProtectedRecordFile.h"
#include "protect/StoredMemo.h"
#include "desktop/TextConversion.h"
#include "text/CodePage932.h"

namespace tallimor::test {

void ViewSandbox::SetUp() {
  DesktopSandbox::SetUp();
  QGuiApplication::clipboard()->clear();
}

RecordFileFixture ViewSandbox::UsualFile() {
  RecordFileFixture fixture;
  fixture.categories = {"Unfiled", "Business", "Personal", "Travel"};
  fixture.password = kViewPassword;
  fixture.hint = "hint";
  fixture.memos = {{11, 0, "alpha"},
                   {12, 1, "beta\nsecond line"},
                   {13, 0, "gamma"},
                   {14, 2, "\nstarts blank"},
                   {15, 1, "epsilon"}};
  return fixture;
}

void ViewSandbox::Open(RecordFileFixture fixture) {
  user_ = AddUser("Hanako", 4242, &fixture);
  app_ = StartLoggedIn(user_, fixture.password);
  ASSERT_NE(app_->MainFrame(), nullptr);
  app_->MainFrame()->resize(900, 600);
  SpinUntil([this] { return View()->ReloadCount() > 0; });
}

CMainDlgView* ViewSandbox::View() const { return app_->MainView(); }
CProtectedRecordFile* ViewSandbox::Store() const { return app_->GetStore(); }

std::string ViewSandbox::MemoAt(std::int32_t index) const {
  const CPRecord* record = Store()->RecordAt(index);
  return record == nullptr ? std::string("<none>") : std::string(StoredMemoText(*record));
}

std::vector<std::string> ViewSandbox::Column(int column) const {
  std::vector<std::string> texts;
  QAbstractItemModel* model = View()->MemoList()->model();
  for (int row = 0; row < model->rowCount(); ++row)
    texts.push_back(model->index(row, column).data().toString().toStdString());
  return texts;
}

std::vector<std::int32_t> ViewSandbox::Rows() const {
  std::vector<std::int32_t> rows;
  const int count = View()->MemoList()->model()->rowCount();
  for (int row = 0; row < count; ++row) rows.push_back(View()->RecordIndexAtRow(row));
  return rows;
}

void ViewSandbox::SelectRows(const std::vector<int>& rows) const {
  QTreeView* list = View()->MemoList();
  list->selectionModel()->clearSelection();
  for (int row : rows)
    list->selectionModel()->select(list->model()->index(row, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QPoint ViewSandbox::RowPoint(int row, int column) const {
  QTreeView* list = View()->MemoList();
  return list->visualRect(list->model()->index(row, column)).center();
}

bool ViewSandbox::Enabled(int command) const {
  app_->MainFrame()->UpdateCommandUI();
  QAction* action = app_->MainFrame()->Action(command);
  return action != nullptr && action->isEnabled();
}

std::shared_ptr<bool> WhenUp(std::function<QWidget*()> find, std::function<void(QWidget*)> act,
                             int ms) {
  auto ran = std::make_shared<bool>(false);
  auto* timer = new QTimer();
  // The deadline is wall time, checked before anything is looked for: a loaded machine
  // delivers fewer ticks, and a watcher that counted them would outlive its time and
  // take hold of a window meant for a later watcher.
  auto since = std::make_shared<QElapsedTimer>();
  since->start();
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, find, act, ran, since, ms] {
    if (since->elapsed() > ms) {
      timer->stop();
      timer->deleteLater();
      return;
    }
    QWidget* window = find();
    if (window == nullptr || !window->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    *ran = true;
    act(window);
  });
  timer->start();
  return ran;
}

std::shared_ptr<bool> WhenMenuShown(std::function<void(QMenu*)> act, int ms) {
  return WhenUp([] { return static_cast<QWidget*>(qobject_cast<QMenu*>(QApplication::activePopupWidget())); },
                [act](QWidget* menu) { act(static_cast<QMenu*>(menu)); }, ms);
}

void TypeText(QWidget* widget, const QString& text) {
  for (char32_t character : text.toUcs4()) {
    if (character < 0x80) {
      QTest::keyClick(widget, static_cast<char>(character));
      continue;
    }
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString::fromUcs4(&character, 1), Qt::NoModifier);
  }
}

std::string Utf8(const std::string& cp932) { return FromCp932(cp932).toStdString(); }

std::string Cp932(const char* utf8) { return CodePage932::FromUtf8(utf8).text; }

}  // namespace tallimor::test
