// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: menu 128, tool bar 128, accelerator table 128, the two-pane status
// bar, and the client window holding the main view. It listens on the program's message
// socket under the window class "Tallimor-Vexa", where the HotSync notifier reaches it:
// it refuses a HotSync while a dialog is open, writes the user's data back before the
// conduit runs, keeps the user out during the HotSync and reloads afterwards. It routes
// commands to the view and handles Save All and Restore itself.
#pragma once

#include <QMainWindow>
#include <QMap>
#include <QSize>
#include <cstdint>
#include <memory>

#include <QTimer>

#include "desktop/HotSyncRunWatch.h"
#include "desktop/WindowMessageListener.h"
#include "notifier/WindowMessage.h"
#include "store/ResultCodes.h"

class QAction;
class QLabel;
class QToolBar;

namespace tallimor {

class CDesktopApp;
class CFindField;
class CFrameClientWnd;
class CMainDlgView;

// The id of the status bar's position pane (the width of string 129).
inline constexpr int kPanePosition = 129;
inline constexpr int kPaneMessage = 0;

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  explicit CMainFrame(CDesktopApp& app);
  ~CMainFrame() override;

  CMainFrame(const CMainFrame&) = delete;
  CMainFrame& operator=(const CMainFrame&) = delete;

  // Starts listening for window messages under the window class and restores the saved
  // placement and bar state. An error of the socket (another program answers there, the
  // runtime directory is not private) means the frame cannot run.
  Result Create();

  CFrameClientWnd* ClientWnd() const { return client_; }
  CMainDlgView* View() const;

  // True when the saved placement asks for a maximised window.
  bool ShowsMaximizedAtStart() const { return startMaximized_; }

  // Texts of the status bar's panes: the message pane (kPaneMessage) and pane 129.
  void SetPaneText(int pane, const QString& text);
  QString PaneText(int pane) const;

  // Routes a command: first to the client window (and so the view), then the frame's
  // own, then the application's. True when someone handled it.
  bool OnCommand(int command);

  // Runs the update handlers: enables each command of the menus and the tool bar by
  // the view's state and the clipboard.
  void UpdateCommandUI();

  // The tool bar's find field, whose text filters the main view's memo list.
  CFindField* FindField() const { return findField_; }

  // The menu and tool bar action of a command, nullptr if there is none.
  QAction* Action(int command) const;

  // Message 5120: a HotSync notification code and the value the HotSync passed with
  // it (the user's id for codes 1 to 3); the result goes back to the notifier.
  std::int64_t OnHotSyncNotify(std::uint64_t code, std::int64_t value = 0);

  // A window message that arrived over the socket; its result is the reply.
  std::int64_t OnWindowMessage(const WindowMessage& message);

  // True between a HotSync's start (code 1, written back) and its end (code 2 or 3).
  bool HotSyncRunning() const { return hotSyncRunning_; }

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;

 private:
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  void OnSaveAll();
  void OnRestore();
  // Ctrl+F: brings the find bar up if it was hidden and puts the focus in the find field.
  void OnFind();
  // While a HotSync runs: ends it as an abnormal end when its lock has been let go
  // without an end code, i.e. the HotSync died.
  void CheckHotSyncAlive();
  // Starts watching the lock of the HotSync that has just started for user `userId`.
  void WatchHotSync(std::int64_t userId);
  void StopWatchingHotSync();
  void ScheduleCommandUI();
  // Enables or disables the window on top: the active modal dialog, else the frame.
  void EnableLastActivePopup(bool enable);
  void SavePlacement();
  void RestorePlacement();
  void SaveBarState();
  void LoadBarState();

  CDesktopApp& app_;                          // the program
  CFrameClientWnd* client_ = nullptr;         // client area, holds the main view
  QToolBar* toolBar_ = nullptr;               // tool bar 128
  QToolBar* findBar_ = nullptr;               // the bar of the find field
  CFindField* findField_ = nullptr;           // the find field
  QLabel* messagePane_ = nullptr;             // status bar's message pane
  QLabel* positionPane_ = nullptr;            // pane 129
  QMap<int, QAction*> actions_;               // command id -> action of menu and tool bar
  WindowMessageListener listener_;            // the message socket
  HotSyncRunWatch runWatch_;                  // the running HotSync's lock
  QTimer runWatchTimer_;                      // looks at runWatch_ while a HotSync runs
  QSize minimumClient_;                       // the main view's measured size
  bool created_ = false;                      // Create has finished
  bool startMaximized_ = false;               // the saved placement was maximised
  bool hotSyncRunning_ = false;               // between code 1 and code 2 or 3
  bool hotSyncObjected_ = false;              // code 1 was answered with an objection
  bool commandUiScheduled_ = false;           // an update of the enabling rules is queued
};

}  // namespace tallimor
