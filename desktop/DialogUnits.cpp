// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Base units from the font's metrics, computed the way the dialog manager does: the
// average width of the 52 Latin letters, rounded, and the font's height.
#include "desktop/DialogUnits.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

namespace tallimor {

QFont DialogFont() {
  // The desktop's own font and size; the Japanese fonts follow it for the characters it
  // lacks, so that the program's texts render on a desktop set to a Latin font. Without
  // a desktop theme that font is a generic name ("Sans Serif") that only the font
  // matcher resolves, to the desktop's default family: it is resolved first, since in a
  // list of families a name no font has is passed over, and the Japanese fonts would
  // then draw every character.
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  QStringList families{QFontInfo(font).family()};
  families << QStringLiteral("IPAGothic") << QStringLiteral("Noto Sans CJK JP")
           << QStringLiteral("Noto Sans CJK");
  font.setFamilies(families);
  return font;
}

DialogUnits::DialogUnits(const QFont& font) {
  QFontMetrics metrics(font);
  int width = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseX_ = (width / 26 + 1) / 2;
  baseY_ = metrics.height();
  if (baseX_ < 1) baseX_ = 1;
  if (baseY_ < 1) baseY_ = 1;
}

int DialogUnits::X(int units) const { return (units * baseX_ + 2) / 4; }
int DialogUnits::Y(int units) const { return (units * baseY_ + 4) / 8; }

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
  return QRect(X(x), Y(y), X(width), Y(height));
}

QRect DialogUnits::LabelRect(const QFontMetrics& metrics, const QString& text, int x, int y,
                            int width, int height) const {
  QRect rect = Rect(x, y, width, height);
  int needed = metrics.horizontalAdvance(text) + 2;
  if (needed > rect.width()) rect.setLeft(rect.right() + 1 - needed);
  if (rect.left() < 0) rect.moveLeft(0);
  if (metrics.height() > rect.height()) rect.setHeight(metrics.height());
  return rect;
}

QSize DialogUnits::Size(int width, int height) const { return QSize(X(width), Y(height)); }

}  // namespace tallimor
