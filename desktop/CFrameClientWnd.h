// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The child window that fills the main frame's client area: it creates the main view,
// measures it once so the frame knows its minimum size, keeps the view filling the
// area and passes the focus on to it.
#pragma once

#include <QFrame>
#include <QSize>

namespace tallimor {

class CDesktopApp;
class CMainDlgView;

class CFrameClientWnd : public QFrame {
  Q_OBJECT

 public:
  CFrameClientWnd(CDesktopApp& app, QWidget* parent);

  CFrameClientWnd(const CFrameClientWnd&) = delete;
  CFrameClientWnd& operator=(const CFrameClientWnd&) = delete;

  CMainDlgView* View() const { return view_; }

  // The main view's size as measured right after creating it.
  QSize MeasuredViewSize() const { return measured_; }

  // Offers a command to the main view; true when it handled it.
  bool OnCommand(int command);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;

 private:
  CMainDlgView* view_;  // the main view, a child of this window
  QSize measured_;      // the view's size when it was created
};

}  // namespace tallimor
