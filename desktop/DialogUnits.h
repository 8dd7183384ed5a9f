// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Dialog units to pixels. The program's dialogs are laid out in dialog units of their
// font, as their templates give them: a horizontal unit is a quarter of the font's
// average character width, a vertical unit an eighth of its height.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QString>
#include <QRect>
#include <QSize>

namespace tallimor {

// The font of the program's windows: the desktop's font at its size, with Japanese
// fonts to fall back on for the characters it lacks.
QFont DialogFont();

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  int X(int units) const;   // horizontal units to pixels
  int Y(int units) const;   // vertical units to pixels
  QRect Rect(int x, int y, int width, int height) const;
  QSize Size(int width, int height) const;

  // A label's rectangle: the template's, widened to the text's width when this font
  // needs more room, keeping its right edge next to the control it names.
  QRect LabelRect(const QFontMetrics& metrics, const QString& text, int x, int y, int width,
                  int height) const;

 private:
  int baseX_;  // average character width in pixels
  int baseY_;  // character height in pixels
};

}  // namespace tallimor
