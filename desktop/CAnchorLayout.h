// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CAnchorLayout: keeps a dialog's controls tied to its right and bottom edges when the
// dialog is resized. Each registered control remembers its distances to the parent's
// client edges; Apply moves or stretches it so that the anchored distances stay. The
// main view and the memo edit dialog each own one.
#pragma once

#include <QPointer>
#include <QWidget>
#include <vector>

namespace tallimor {

class CAnchorLayout {
 public:
  // Anchor flags of Register.
  static constexpr unsigned kAnchorRight = 0x02;   // the right edge follows the parent's
  static constexpr unsigned kAnchorBottom = 0x08;  // the bottom edge follows the parent's
  static constexpr unsigned kKeepWidth = 0x10;     // with kAnchorRight: move, keep the width
  static constexpr unsigned kKeepHeight = 0x20;    // with kAnchorBottom: move, keep the height

  CAnchorLayout() = default;
  ~CAnchorLayout() = default;
  CAnchorLayout(const CAnchorLayout&) = delete;
  CAnchorLayout& operator=(const CAnchorLayout&) = delete;

  // Takes the control's present distances to its parent's client edges under `flags`,
  // replacing an earlier entry of the same control. Flags 0 removes the entry (true if
  // there was one). False for a missing control or one without a parent.
  bool Register(QWidget* control, unsigned flags);

  // Moves the registered controls of `parent` so that their anchored edges keep their
  // distances to its client edges. Called from the owner's resize handler.
  void Apply(QWidget* parent);

  // Number of registered controls.
  int Count() const { return static_cast<int>(entries_.size()); }

 private:
  struct Entry {
    QPointer<QWidget> control;  // the control; null once it is destroyed
    int left = 0;               // offsets from the parent's client left and top
    int top = 0;
    int rightMargin = 0;        // from the control's right edge to the client's right edge
    int bottomMargin = 0;       // from the control's bottom edge to the client's bottom edge
    unsigned flags = 0;         // kAnchor* and kKeep*
  };

  std::vector<Entry> entries_;  // in registration order
};

}  // namespace tallimor
