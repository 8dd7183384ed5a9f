// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the four action pictures with QPainter: a monitor and a handheld, joined by
// arrows in the direction the records travel (both ways, one way, or a broken link).
#include "conduit/ActionPicture.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>

namespace tallimor {
namespace {

constexpr int kWidth = 80;
constexpr int kHeight = 40;

const QColor kOutline(0, 0, 0);
const QColor kMonitorScreen(0, 128, 128);
const QColor kHandheldBody(96, 96, 96);
const QColor kHandheldScreen(168, 200, 160);
const QColor kArrow(0, 0, 160);
const QColor kBroken(160, 0, 0);

void DrawDesktop(QPainter& p) {
  p.setPen(QPen(kOutline, 1));
  p.setBrush(QColor(208, 208, 208));
  p.drawRect(QRectF(2.5, 4.5, 28, 21));      // monitor
  p.setBrush(kMonitorScreen);
  p.drawRect(QRectF(5.5, 7.5, 22, 15));      // its screen
  p.setBrush(QColor(208, 208, 208));
  p.drawRect(QRectF(12.5, 25.5, 8, 4));      // neck
  p.drawRect(QRectF(6.5, 29.5, 20, 5));      // base
}

void DrawHandheld(QPainter& p) {
  p.setPen(QPen(kOutline, 1));
  p.setBrush(kHandheldBody);
  p.drawRoundedRect(QRectF(61.5, 3.5, 16, 32), 3, 3);
  p.setBrush(kHandheldScreen);
  p.drawRect(QRectF(64.5, 6.5, 10, 14));
  p.setBrush(QColor(208, 208, 208));
  p.drawEllipse(QRectF(66.5, 25.5, 6, 6));  // the HotSync button
}

// An arrow along y from x0 to x1 (the head at x1).
void DrawArrow(QPainter& p, qreal x0, qreal x1, qreal y) {
  p.setPen(QPen(kArrow, 2, Qt::SolidLine, Qt::FlatCap));
  const qreal head = x1 > x0 ? -5 : 5;
  p.drawLine(QPointF(x0, y), QPointF(x1 + head, y));
  p.setPen(Qt::NoPen);
  p.setBrush(kArrow);
  p.drawPolygon(QPolygonF({QPointF(x1, y), QPointF(x1 + head, y - 4), QPointF(x1 + head, y + 4)}));
}

void DrawBrokenLink(QPainter& p) {
  p.setPen(QPen(kOutline, 1, Qt::DashLine));
  p.drawLine(QPointF(34, 19.5), QPointF(58, 19.5));
  p.setPen(QPen(kBroken, 2));
  p.drawLine(QPointF(42, 13), QPointF(50, 26));
  p.drawLine(QPointF(50, 13), QPointF(42, 26));
}

}  // namespace

QSize ActionPictureSize() { return {kWidth, kHeight}; }

QPixmap DrawActionPicture(int bitmapId, const QColor& face) {
  QPixmap picture(kWidth, kHeight);
  picture.fill(face);
  if (bitmapId < 103 || bitmapId > 106) return picture;
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  DrawDesktop(p);
  DrawHandheld(p);
  switch (bitmapId) {
    case 103:  // synchronize: both ways
      DrawArrow(p, 34, 58, 14);
      DrawArrow(p, 58, 34, 25);
      break;
    case 104:  // desktop overwrites handheld
      DrawArrow(p, 34, 58, 19.5);
      break;
    case 105:  // handheld overwrites desktop
      DrawArrow(p, 58, 34, 19.5);
      break;
    default:  // do nothing
      DrawBrokenLink(p);
      break;
  }
  return picture;
}

}  // namespace tallimor
