// Placement of Qt windows. Rectangles are stored with exclusive right and bottom
// edges, as the window system's placement record holds them.
#include "desktop/WidgetPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace tallimor {

WindowPlacement PlacementOf(const QWidget& window) {
  WindowPlacement placement;
  if (window.isMaximized()) placement.flags |= kPlacementRestoreToMaximized;
  placement.showCommand = window.isMaximized()   ? kShowMaximized
                          : window.isMinimized() ? kShowMinimized
                                                 : kShowNormal;
  const QRect normal = window.normalGeometry().isValid() ? window.normalGeometry() : window.geometry();
  placement.left = normal.left();
  placement.top = normal.top();
  placement.right = normal.left() + normal.width();
  placement.bottom = normal.top() + normal.height();
  return placement;
}

void ApplyPlacement(QWidget& window, const WindowPlacement& placement) {
  QRect normal(placement.left, placement.top, placement.right - placement.left,
               placement.bottom - placement.top);
  if (normal.width() <= 0 || normal.height() <= 0) return;
  bool visible = false;
  for (QScreen* screen : QGuiApplication::screens())
    visible = visible || screen->availableGeometry().intersects(normal);
  if (!visible && QGuiApplication::primaryScreen() != nullptr)
    normal.moveTopLeft(QGuiApplication::primaryScreen()->availableGeometry().topLeft());
  window.setGeometry(normal);
}

}  // namespace tallimor
