// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures of the HotSync action dialog, one per action: the desktop computer on
// the left, the handheld on the right, and arrows showing which way the data goes.
// They are drawn rather than loaded, on the dialog's button face colour, so that they
// blend with the dialog in every colour scheme.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QSize>

namespace tallimor {

// The size of every picture, in device-independent pixels.
QSize ActionPictureSize();

// The picture of bitmap `bitmapId` (103 synchronize, 104 desktop overwrites handheld,
// 105 handheld overwrites desktop, 106 do nothing) on a background of `face`. Any
// other id gives the background alone.
QPixmap DrawActionPicture(int bitmapId, const QColor& face);

}  // namespace tallimor
