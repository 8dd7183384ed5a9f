// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The main frame. Menus, tool bar and accelerators are built from the resource tables;
// every command goes through OnCommand so that the view sees it first. HotSync
// notifications arrive over the message socket and are answered only after they have
// been handled completely, so the notifier's call is as synchronous as a sent message.
#include "desktop/CMainFrame.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <cstdint>
#include <string>

#include "desktop/CDesktopApp.h"
#include "desktop/CFindField.h"
#include "desktop/CFrameClientWnd.h"
#include "desktop/CMainDlgView.h"
#include "protect/CProtectedRecordFile.h"
#include "desktop/CWindowMessageEvent.h"
#include "desktop/WidgetPlacement.h"
#include "desktop/WindowPlacement.h"
#include "desktop/resources/CommandIds.h"
#include "desktop/resources/Menus.h"
#include "desktop/resources/StringTable.h"
#include "notifier/HotSyncNotification.h"

namespace tallimor {
namespace {

constexpr char kPositionSection[] = "Position";
constexpr char kPlacementKey[] = "MainFrame";
constexpr char kBarStateSection[] = "ContorlBars\\State";

QString Text(int id) { return QString::fromUtf8(LoadString(id)); }

// The status bar part of a command's prompt ("prompt\ntool tip").
QString PromptOf(int command) { return Text(command).section(QLatin1Char('\n'), 0, 0); }

// The tool tip part, or the whole prompt when it has none.
QString ToolTipOf(int command) {
  QString prompt = Text(command);
  qsizetype newline = prompt.indexOf(QLatin1Char('\n'));
  return newline < 0 ? prompt : prompt.mid(newline + 1);
}

// How often the lock of a running HotSync is looked at.
constexpr int kRunWatchMs = 250;

// How often a notice that waits for a pop-up to close looks again.
constexpr int kPopupPollMs = 100;

// A posted code 1 objection's notice, shown once the notifier has its answer.
constexpr int kNoticeSaveFailedHotSync = 1;
constexpr int kNoticePasswordChanged = 2;

}  // namespace

CMainFrame::CMainFrame(CDesktopApp& app)
    : app_(app), listener_([this](const WindowMessage& message) { return OnWindowMessage(message); }) {
  setObjectName(QStringLiteral("MainFrame"));
  setWindowTitle(Text(kIdsAppTitle));
  setWindowIcon(QIcon(QStringLiteral(":/tallimor/icon128.png")));
  client_ = new CFrameClientWnd(app_, this);
  setCentralWidget(client_);
  minimumClient_ = client_->MeasuredViewSize();
  int edge = client_->frameWidth() * 2;
  client_->setMinimumSize(minimumClient_ + QSize(edge, edge));
  CreateMenus();
  CreateToolBar();
  CreateStatusBar();
  connect(View(), &CMainDlgView::commandStateChanged, this, &CMainFrame::ScheduleCommandUI);
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
          &CMainFrame::ScheduleCommandUI);
  qApp->installEventFilter(this);
  runWatchTimer_.setInterval(kRunWatchMs);
  connect(&runWatchTimer_, &QTimer::timeout, this, &CMainFrame::CheckHotSyncAlive);
  UpdateCommandUI();
}

CMainFrame::~CMainFrame() {
  qApp->removeEventFilter(this);
  listener_.Close();
}

Result CMainFrame::Create() {
  Result result = listener_.Listen(kDesktopWindowClass);
  if (result != kOk) return result;
  RestorePlacement();
  LoadBarState();
  created_ = true;
  return kOk;
}

CMainDlgView* CMainFrame::View() const { return client_->View(); }

void CMainFrame::CreateMenus() {
  for (const MenuPopup& popup : MainMenu()) {
    QMenu* menu = menuBar()->addMenu(QString::fromUtf8(popup.text));
    for (const MenuEntry& entry : popup.entries) {
      if (entry.command == 0) {
        menu->addSeparator();
        continue;
      }
      // The key hint follows a tab in the text; the keys themselves are the
      // accelerator table's, applied by eventFilter, so actions carry no shortcut.
      QAction* action = menu->addAction(QString::fromUtf8(entry.text));
      action->setData(entry.command);
      action->setStatusTip(PromptOf(entry.command));
      int command = entry.command;
      connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
      actions_.insert(command, action);
    }
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
  }
  for (int bar : {kCmdViewToolBar, kCmdViewStatusBar}) actions_.value(bar)->setCheckable(true);
}

void CMainFrame::CreateToolBar() {
  toolBar_ = new QToolBar(this);
  toolBar_->setObjectName(QStringLiteral("ToolBar128"));
  toolBar_->setWindowTitle(QString::fromUtf8(LoadString(kCmdViewToolBar)).section(QLatin1Char('\n'), 1));
  toolBar_->setIconSize(QSize(16, 15));
  toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
  toolBar_->setMovable(true);
  for (const ToolBarButton& button : MainToolBar()) {
    if (button.command == 0) {
      toolBar_->addSeparator();
      continue;
    }
    QAction* action = new QAction(QIcon(QString::fromUtf8(button.icon)), ToolTipOf(button.command), toolBar_);
    action->setData(button.command);
    action->setStatusTip(PromptOf(button.command));
    int command = button.command;
    connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
    toolBar_->addAction(action);
    // Menu and tool bar share one enabled state per command through the update handler.
    connect(actions_.value(command), &QAction::changed, action, [action, this, command] {
      action->setEnabled(actions_.value(command)->isEnabled());
    });
  }
  addToolBar(Qt::TopToolBarArea, toolBar_);

  // The find field has a small bar of its own beside tool bar 128, which keeps its
  // buttons; the frame's tool bar menu shows and hides it, and Ctrl+F brings it back.
  findBar_ = new QToolBar(QString::fromUtf8(LoadString(kIdsFindBar)), this);
  findBar_->setObjectName(QStringLiteral("FindBar"));
  findBar_->setAllowedAreas(Qt::AllToolBarAreas);
  findField_ = new CFindField(findBar_);
  findBar_->addWidget(findField_);
  connect(findField_, &QLineEdit::textChanged, View(), &CMainDlgView::SetSearchText);
  connect(findField_, &CFindField::moveToList, this, [this] { View()->MemoList()->setFocus(); });
  addToolBar(Qt::TopToolBarArea, findBar_);
  connect(toolBar_, &QToolBar::visibilityChanged, this, [this](bool) {
    actions_.value(kCmdViewToolBar)->setChecked(!toolBar_->isHidden());
  });
}

void CMainFrame::CreateStatusBar() {
  messagePane_ = new QLabel(Text(kIdsIdle), this);
  messagePane_->setObjectName(QStringLiteral("MessagePane"));
  positionPane_ = new QLabel(this);
  positionPane_->setObjectName(QStringLiteral("PositionPane"));
  positionPane_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  positionPane_->setAlignment(Qt::AlignCenter);
  QFontMetrics metrics(positionPane_->font());
  positionPane_->setMinimumWidth(metrics.horizontalAdvance(Text(kIdsPositionPane)) +
                                 positionPane_->frameWidth() * 2 + 8);
  statusBar()->addWidget(messagePane_, 1);
  statusBar()->addPermanentWidget(positionPane_);
  actions_.value(kCmdViewStatusBar)->setChecked(true);
  actions_.value(kCmdViewToolBar)->setChecked(true);
}

void CMainFrame::SetPaneText(int pane, const QString& text) {
  if (pane == kPanePosition) positionPane_->setText(text);
  else if (pane == kPaneMessage) messagePane_->setText(text);
}

QString CMainFrame::PaneText(int pane) const {
  if (pane == kPanePosition) return positionPane_->text();
  if (pane == kPaneMessage) return messagePane_->text();
  return {};
}

QAction* CMainFrame::Action(int command) const { return actions_.value(command, nullptr); }

bool CMainFrame::OnCommand(int command) {
  bool handled = client_->OnCommand(command);
  if (!handled) {
    handled = true;
    switch (command) {
      case kCmdSaveAll: OnSaveAll(); break;
      case kCmdRestore: OnRestore(); break;
      case kCmdFind: OnFind(); break;
      case kCmdExit: close(); break;
      case kCmdViewToolBar: toolBar_->setVisible(toolBar_->isHidden()); break;
      case kCmdViewStatusBar:
        statusBar()->setVisible(statusBar()->isHidden());
        actions_.value(kCmdViewStatusBar)->setChecked(!statusBar()->isHidden());
        break;
      default: handled = app_.OnCommand(command); break;
    }
  }
  ScheduleCommandUI();
  return handled;
}

void CMainFrame::UpdateCommandUI() {
  commandUiScheduled_ = false;
  const CMainDlgView* view = View();
  bool current = view->HasCurrentMemo();
  for (int command : {kCmdDelete, kCmdEditMemo, kCmdCopy, kCmdCut})
    actions_.value(command)->setEnabled(current);
  const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
  actions_.value(kCmdPaste)->setEnabled(clip != nullptr && clip->hasText());
  actions_.value(kCmdSelectAll)->setEnabled(view->ListHasItems());
  actions_.value(kCmdUndo)->setEnabled(view->CanUndo());
}

void CMainFrame::ScheduleCommandUI() {
  if (commandUiScheduled_) return;
  commandUiScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    if (commandUiScheduled_) UpdateCommandUI();
  });
}

void CMainFrame::OnSaveAll() {
  if (app_.GetStore() == nullptr) return;
  Result saved = app_.SaveStore();
  if (saved != kOk) {
    // The memos stay in memory as they are: reading the file back now would drop them.
    // When another program got in the way, the user may have the file read anew with
    // the edits on top (the store is then saved and read back already).
    bool told = false;
    saved = app_.ResolveSaveConflict(saved, {}, &told);
    if (saved != kOk && !told) {
      app_.ShowMessage(kIdsSaveFailed, kIdsAppTitle, kMbOk | kMbIconExclamation,
                       CDesktopApp::SaveFailureDetail(saved));
    }
    return;
  }
  // The store holds ciphertext after writing, so it is read back before anyone looks.
  if (app_.ReloadStore() != kOk) {
    PostWindowMessage(View(), kWmUserReload);
    app_.ShowMessage(kIdsRestoreFailed, kIdsAppTitle, kMbOk | kMbIconExclamation);
  }
}

void CMainFrame::OnRestore() {
  if (app_.ShowMessage(kIdsRestoreConfirm, kIdsAppTitle, kMbOkCancel | kMbIconExclamation) != kIdOk)
    return;
  if (app_.GetStore() == nullptr) return;
  Result loaded = app_.ReloadStore();
  PostWindowMessage(View(), kWmUserReload);
  if (loaded != kOk) {
    app_.ShowMessage(kIdsRestoreFailed, kIdsAppTitle, kMbOk | kMbIconExclamation,
                     Text(kIdsSaveFailedDetail).arg(loaded));
  }
}

void CMainFrame::OnFind() {
  if (findBar_->isHidden()) findBar_->show();
  findField_->setFocus(Qt::ShortcutFocusReason);
  findField_->selectAll();
}

void CMainFrame::EnableLastActivePopup(bool enable) {
  QWidget* popup = app_.LastActivePopup();
  if (popup != nullptr) popup->setEnabled(enable);
}

std::int64_t CMainFrame::OnHotSyncNotify(std::uint64_t code, std::int64_t value) {
  switch (code) {
    case kHotSyncProbe:
      return kHotSyncProbeAnswer;

    case kHotSyncStartQuery:
      if (!app_.NoDialogOpen()) {
        PostWindowMessage(this, static_cast<int>(kHotSyncNotifyMessage),
                          static_cast<std::intptr_t>(kHotSyncRefusalNotice));
        return 1;
      }
      return 0;

    case kHotSyncStarted: {
      SetPaneText(kPaneMessage, Text(kIdsHotSyncStarted));
      hotSyncObjected_ = false;
      // A dialog opened after the start query was agreed to: a dialog may hold record
      // indexes that the HotSync is about to change, so the HotSync must not run now.
      if (!app_.NoDialogOpen()) {
        hotSyncObjected_ = true;
        PostWindowMessage(this, static_cast<int>(kHotSyncNotifyMessage),
                          static_cast<std::intptr_t>(kHotSyncRefusalNotice));
        return 1;
      }
      EnableLastActivePopup(false);
      if (app_.GetStore() != nullptr) {
        Result saved = app_.SaveStore();
        if (saved != kOk) {
          // The conduit would read a file without the user's edits, and reading the file
          // back would lose them: keep them, let the user work on, and object.
          hotSyncObjected_ = true;
          EnableLastActivePopup(true);
          PostWindowMessage(this, kWmHotSyncNotice, kNoticeSaveFailedHotSync, saved);
          return 1;
        }
        app_.ReloadStore();
      }
      hotSyncRunning_ = true;
      WatchHotSync(value);
      return 0;
    }

    case kHotSyncEndedNormally: {
      SetPaneText(kPaneMessage, Text(kIdsHotSyncEnded));
      // After an objection the file was not written, and the memory holds the only copy
      // of the user's edits: it is kept instead of being replaced by the file.
      if (app_.GetStore() != nullptr && !hotSyncObjected_) {
        app_.ReloadStore();
        // The user is asked for the new password once the notifier has its answer.
        if (app_.DropStoreIfKeyChanged())
          PostWindowMessage(this, kWmHotSyncNotice, kNoticePasswordChanged);
        app_.OfferConflictReviewAfterReload();  // memos the HotSync kept in both versions
        PostWindowMessage(View(), kWmUserReload);
      }
      hotSyncRunning_ = false;
      hotSyncObjected_ = false;
      StopWatchingHotSync();
      EnableLastActivePopup(true);
      return 0;
    }

    case kHotSyncEndedAbnormally:
      SetPaneText(kPaneMessage, Text(kIdsHotSyncFailed));
      hotSyncRunning_ = false;
      hotSyncObjected_ = false;
      StopWatchingHotSync();
      if (app_.NoDialogOpen()) EnableLastActivePopup(true);
      return 0;

    case kHotSyncRefusalNotice:
      // A box cannot take the input while a pop-up holds it: the notice waits until
      // the pop-up has closed, and the command chosen from it has run.
      if (CDesktopApp::PopupOpen()) {
        QTimer::singleShot(kPopupPollMs, this, [this] {
          PostWindowMessage(this, static_cast<int>(kHotSyncNotifyMessage),
                            static_cast<std::intptr_t>(kHotSyncRefusalNotice));
        });
        return 0;
      }
      app_.ShowMessage(kIdsHotSyncRefused, kIdsAppTitle, kMbOk | kMbIconExclamation);
      EnableLastActivePopup(true);
      return 0;

    default:
      return 0;
  }
}

std::int64_t CMainFrame::OnWindowMessage(const WindowMessage& message) {
  if (message.message == kHotSyncNotifyMessage) {
    // The notice shows a message box, and the sender waits for the reply: it is shown
    // once the reply has gone, as when the program posts it to itself.
    if (message.wParam == kHotSyncRefusalNotice) {
      PostWindowMessage(this, static_cast<int>(kHotSyncNotifyMessage),
                        static_cast<std::intptr_t>(kHotSyncRefusalNotice));
      return 0;
    }
    return OnHotSyncNotify(message.wParam, message.lParam);
  }
  if (message.message == static_cast<std::uint32_t>(kWmInstanceQuery)) {
    if (!app_.IsLoggedIn()) return 0;
    // Come forward once the asking program has its answer and has gone.
    QTimer::singleShot(0, &app_, [this] { app_.BringToFront(); });
    return 1;
  }
  return 0;
}

void CMainFrame::WatchHotSync(std::int64_t userId) {
  // The HotSync names its user; a HotSync of a user this program does not know (or an
  // older one that passes nothing) is looked for under the open user's directory.
  std::string path;
  if (userId >= 0 && userId <= INT32_MAX &&
      app_.GetUserDataPath(static_cast<std::int32_t>(userId), &path) == kOk &&
      runWatch_.Watch(HotSyncRunWatch::LockPathFor(path))) {
    runWatchTimer_.start();
    return;
  }
  if (const CProtectedRecordFile* store = app_.GetStore();
      store != nullptr && runWatch_.Watch(HotSyncRunWatch::LockPathFor(store->Path()))) {
    runWatchTimer_.start();
  }
}

void CMainFrame::StopWatchingHotSync() {
  runWatchTimer_.stop();
  runWatch_.Stop();
}

void CMainFrame::CheckHotSyncAlive() {
  if (!hotSyncRunning_) {
    StopWatchingHotSync();
    return;
  }
  // The end code is sent while the lock is held, so a lock let go before it came means
  // the HotSync has gone without sending one.
  if (runWatch_.Released()) OnHotSyncNotify(kHotSyncEndedAbnormally);
}

bool CMainFrame::event(QEvent* event) {
  if (event->type() == CWindowMessageEvent::Type()) {
    auto* message = static_cast<CWindowMessageEvent*>(event);
    switch (message->message()) {
      case static_cast<int>(kHotSyncNotifyMessage):
        OnHotSyncNotify(static_cast<std::uint64_t>(message->wParam()));
        break;
      case kWmUserNewRecord:
        PostWindowMessage(View(), kWmUserNewRecord);
        break;
      case kWmHotSyncNotice:
        if (message->wParam() == kNoticePasswordChanged) {
          app_.ShowMessage(kIdsPasswordChangedOnHandheld, kIdsAppTitle, kMbOk | kMbIconInformation);
          app_.RunUserDialog();
          break;
        }
        {
          // The HotSync has been refused already; the user may now have the file read
          // anew with the edits on top, and run the HotSync again. Not under a dialog
          // opened meanwhile: it may hold record indexes that a reload would change.
          const Result saved = static_cast<Result>(message->lParam());
          bool told = false;
          if (app_.NoDialogOpen())
            app_.ResolveSaveConflict(saved, Text(kIdsHotSyncStoppedForSave), &told);
          if (!told) {
            app_.ShowMessage(kIdsSaveFailedHotSync, kIdsAppTitle, kMbOk | kMbIconExclamation,
                             CDesktopApp::SaveFailureDetail(saved));
          }
        }
        break;
      default:
        break;
    }
    return true;
  }
  if (event->type() == QEvent::StatusTip) {
    // The fly-by prompt of a menu entry or button; the idle text when it goes away.
    QString tip = static_cast<QStatusTipEvent*>(event)->tip();
    messagePane_->setText(tip.isEmpty() ? Text(kIdsIdle) : tip);
    return true;
  }
  return QMainWindow::event(event);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  if (widget->window() != this || !isEnabled() || QApplication::activeModalWidget() != nullptr)
    return false;
  auto* key = static_cast<QKeyEvent*>(event);
  // Typing in the find field edits the field, not the memos.
  if (qobject_cast<CFindField*>(widget) != nullptr && CFindField::EditsWith(*key)) return false;
  Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
  QKeySequence pressed(QKeyCombination(modifiers, static_cast<Qt::Key>(key->key())));
  for (const Accelerator& accelerator : MainAccelerators()) {
    if (QKeySequence::fromString(QString::fromLatin1(accelerator.key), QKeySequence::PortableText) !=
        pressed)
      continue;
    // As with a grayed menu entry, a command that is disabled is not sent; nor does its
    // key reach the focused control, whose own handling of it (the list's copy of a
    // row's text) would do behind the user's back what the command refuses.
    UpdateCommandUI();
    QAction* action = Action(accelerator.command);
    if (action == nullptr || action->isEnabled()) OnCommand(accelerator.command);
    return true;
  }
  return false;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  // The conduit is working on the file between codes 1 and 2: writing it now would
  // collide with the HotSync.
  if (hotSyncRunning_ || !app_.QueryExit()) {
    event->ignore();
    return;
  }
  SavePlacement();
  SaveBarState();
  event->accept();
}

void CMainFrame::focusInEvent(QFocusEvent* event) {
  QMainWindow::focusInEvent(event);
  client_->setFocus();
}

void CMainFrame::SavePlacement() {
  app_.Profile().WriteString(kPositionSection, kPlacementKey, FormatWindowPlacement(PlacementOf(*this)));
}

void CMainFrame::RestorePlacement() {
  std::optional<WindowPlacement> placement =
      ParseWindowPlacement(app_.Profile().GetString(kPositionSection, kPlacementKey));
  if (!placement) {
    // No placement yet: a comfortable first size, half again the view's template.
    resize(sizeHint().expandedTo(minimumClient_ * 3 / 2));
    return;
  }
  ApplyPlacement(*this, *placement);
  startMaximized_ = placement->ShowsMaximized();
}

void CMainFrame::SaveBarState() {
  CProfile& profile = app_.Profile();
  profile.WriteString(kBarStateSection, "ToolBar", toolBar_->isHidden() ? "0" : "1");
  profile.WriteString(kBarStateSection, "StatusBar", statusBar()->isHidden() ? "0" : "1");
  profile.WriteString(kBarStateSection, "Layout", saveState().toHex().toStdString());
}

void CMainFrame::LoadBarState() {
  CProfile& profile = app_.Profile();
  std::optional<std::string> layout = profile.Find(kBarStateSection, "Layout");
  if (layout) restoreState(QByteArray::fromHex(QByteArray::fromStdString(*layout)));
  toolBar_->setVisible(profile.GetInt(kBarStateSection, "ToolBar", 1) != 0);
  bool statusVisible = profile.GetInt(kBarStateSection, "StatusBar", 1) != 0;
  statusBar()->setVisible(statusVisible);
  actions_.value(kCmdViewStatusBar)->setChecked(statusVisible);
  actions_.value(kCmdViewToolBar)->setChecked(!toolBar_->isHidden());
}

}  // namespace tallimor
