// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The anchor layout. Rectangles are taken in the parent's client coordinates with
// exclusive right and bottom edges (x + width, y + height), so a margin of 0 means the
// control touches the client edge. All controls are placed before any of them is
// repainted, as one batch, and their stacking order is left alone.
#include "desktop/CAnchorLayout.h"

#include <algorithm>

namespace tallimor {

bool CAnchorLayout::Register(QWidget* control, unsigned flags) {
  if (control == nullptr || control->parentWidget() == nullptr) return false;
  auto found = std::find_if(entries_.begin(), entries_.end(),
                            [control](const Entry& entry) { return entry.control == control; });
  if (flags == 0) {
    if (found == entries_.end()) return false;
    entries_.erase(found);
    return true;
  }
  const QRect client = control->parentWidget()->rect();
  const QRect rect = control->geometry();
  Entry entry;
  entry.control = control;
  entry.left = rect.x();
  entry.top = rect.y();
  entry.rightMargin = client.width() - (rect.x() + rect.width());
  entry.bottomMargin = client.height() - (rect.y() + rect.height());
  entry.flags = flags;
  if (found != entries_.end()) *found = entry;
  else entries_.push_back(entry);
  return true;
}

void CAnchorLayout::Apply(QWidget* parent) {
  if (parent == nullptr) return;
  const QRect client = parent->rect();
  std::vector<std::pair<QWidget*, QRect>> moves;
  moves.reserve(entries_.size());
  for (const Entry& entry : entries_) {
    QWidget* control = entry.control;
    if (control == nullptr || control->parentWidget() != parent) continue;
    const QRect rect = control->geometry();
    int left = rect.x();
    int top = rect.y();
    int right = rect.x() + rect.width();
    int bottom = rect.y() + rect.height();
    if (entry.flags & kAnchorRight) {
      right = client.width() - entry.rightMargin;
      if (entry.flags & kKeepWidth) left = right - rect.width();
    }
    if (entry.flags & kAnchorBottom) {
      bottom = client.height() - entry.bottomMargin;
      if (entry.flags & kKeepHeight) top = bottom - rect.height();
    }
    moves.emplace_back(control, QRect(left, top, std::max(0, right - left), std::max(0, bottom - top)));
  }
  // One batch: nothing is painted until every control stands in its new place.
  const bool updates = parent->updatesEnabled();
  parent->setUpdatesEnabled(false);
  for (auto& [control, rect] : moves) control->setGeometry(rect);
  parent->setUpdatesEnabled(updates);
}

}  // namespace tallimor
