// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The frame's client window. It paints nothing of its own beyond its sunken edge; the
// main view covers all of it.
#include "desktop/CFrameClientWnd.h"

#include <QResizeEvent>

#include "desktop/CMainDlgView.h"

namespace tallimor {

CFrameClientWnd::CFrameClientWnd(CDesktopApp& app, QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("FrameClientWnd"));
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setFocusPolicy(Qt::StrongFocus);
  view_ = new CMainDlgView(app, this);
  measured_ = view_->size();
  view_->move(contentsRect().topLeft());
}

bool CFrameClientWnd::OnCommand(int command) { return view_->OnCommand(command); }

void CFrameClientWnd::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  view_->setGeometry(contentsRect());
}

void CFrameClientWnd::focusInEvent(QFocusEvent* event) {
  QFrame::focusInEvent(event);
  view_->setFocus();
}

}  // namespace tallimor
