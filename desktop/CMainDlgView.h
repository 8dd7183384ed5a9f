// The main view: the child dialog (template 130) that fills the frame's client area
// and shows the current user's memos. The frame forwards commands and the enabling
// queries to it; the program posts it the reload message after a user's file is opened,
// after a HotSync and after a restore. Its controls come with the views; until then it
// is the empty template with the reload, new-record and command entry points in place.
#pragma once

#include <QWidget>
#include <cstdint>

namespace tallimor {

class CDesktopApp;

class CMainDlgView : public QWidget {
  Q_OBJECT

 public:
  CMainDlgView(CDesktopApp& app, QWidget* parent);

  CMainDlgView(const CMainDlgView&) = delete;
  CMainDlgView& operator=(const CMainDlgView&) = delete;

  // The size of template 130 in pixels; the frame never lets its client area get smaller.
  QSize sizeHint() const override;

  // Offers a command of menu 128, the accelerators or the pop-ups; true when handled.
  bool OnCommand(int command);

  // Enabling queries of the frame's update handlers.
  bool HasCurrentMemo() const;  // a memo is current in the list
  bool ListHasItems() const;    // the memo list is not empty
  bool CanUndo() const;         // the undo list is not empty

  // Number of reload messages handled so far.
  int ReloadCount() const { return reloadCount_; }

 signals:
  // The view rebuilt itself from the store (message 1124 handled).
  void reloaded();
  // Something that the frame's enabling rules look at has changed.
  void commandStateChanged();

 protected:
  bool event(QEvent* event) override;

 private:
  // Message 1124: forget the undo list, rebuild the category combo and the memo list.
  void OnReload();
  // Message 1125: nothing.
  std::intptr_t OnNewRecord() { return 0; }

  CDesktopApp& app_;     // the program: store, settings, dialogs count
  int reloadCount_ = 0;  // reload messages handled
};

}  // namespace tallimor
