// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
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
  // The profile may hold any ten integers: the size is worked out wide, and a rectangle
  // no window could have (empty, or larger than Qt allows a widget) is left alone.
  const long long width = static_cast<long long>(placement.right) - placement.left;
  const long long height = static_cast<long long>(placement.bottom) - placement.top;
  if (width <= 0 || height <= 0 || width > QWIDGETSIZE_MAX || height > QWIDGETSIZE_MAX) return;
  QRect normal(placement.left, placement.top, static_cast<int>(width), static_cast<int>(height));
  bool visible = false;
  for (QScreen* screen : QGuiApplication::screens())
    visible = visible || screen->availableGeometry().intersects(normal);
  if (!visible && QGuiApplication::primaryScreen() != nullptr)
    normal.moveTopLeft(QGuiApplication::primaryScreen()->availableGeometry().topLeft());
  window.setGeometry(normal);
}

}  // namespace tallimor
