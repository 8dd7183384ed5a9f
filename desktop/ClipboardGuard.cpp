// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The clipboard guard. Whether the clipboard still holds the program's copy is decided
// by the data object: the clipboard hands back the very object the program set for
// as long as nobody replaced it, and deletes it when somebody does. On X11 the
// clipboard is also asked whether this program still owns it.
#include "desktop/ClipboardGuard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace tallimor {
namespace {

QMimeData* Hinted(const QString& text) {
  auto* data = new QMimeData;
  data->setText(text);
  data->setData(QString::fromLatin1(ClipboardGuard::kHintFormat),
                QByteArray(ClipboardGuard::kHintSecret));
  return data;
}

bool HasHint(const QMimeData* data) {
  return data != nullptr && data->hasFormat(QString::fromLatin1(ClipboardGuard::kHintFormat));
}

// True when `mode` still holds `ours`, put there by this program.
bool StillHolds(QClipboard::Mode mode, const QMimeData* ours) {
  if (ours == nullptr) return false;
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard->mimeData(mode) != ours) return false;
  // Platforms that track ownership (X11) lose it the moment another program takes
  // the clipboard, before the data object goes.
  const bool tracked = QGuiApplication::platformName() == QLatin1String("xcb");
  if (!tracked) return true;
  return mode == QClipboard::Clipboard ? clipboard->ownsClipboard() : clipboard->ownsSelection();
}

}  // namespace

ClipboardGuard::ClipboardGuard(QObject* parent) : QObject(parent) {
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, [this] { ClearCopy(); });
  QClipboard* clipboard = QGuiApplication::clipboard();
  connect(clipboard, &QClipboard::changed, this,
          [this](QClipboard::Mode mode) { OnClipboardChanged(static_cast<int>(mode)); });
}

ClipboardGuard::~ClipboardGuard() = default;

void ClipboardGuard::SetClearAfter(int milliseconds) {
  clearAfterMs_ = milliseconds > 0 ? milliseconds : 0;
  if (clearAfterMs_ == 0) timer_.stop();
}

void ClipboardGuard::Put(const QString& text, Origin origin) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  origin_ = origin;
  QMimeData* onClipboard = Hinted(text);
  clipboard_ = onClipboard;
  clipboard->setMimeData(onClipboard, QClipboard::Clipboard);
  if (clipboard->supportsSelection()) {
    QMimeData* onSelection = Hinted(text);
    selection_ = onSelection;
    clipboard->setMimeData(onSelection, QClipboard::Selection);
  } else {
    selection_.clear();
  }
  if (origin == Origin::kCopy && clearAfterMs_ > 0) timer_.start(clearAfterMs_);
  else timer_.stop();
}

bool ClipboardGuard::ClearCopy() {
  timer_.stop();
  if (origin_ != Origin::kCopy) return false;
  bool cleared = false;
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (StillHolds(QClipboard::Clipboard, clipboard_)) {
    clipboard->clear(QClipboard::Clipboard);
    cleared = true;
  }
  if (StillHolds(QClipboard::Selection, selection_)) {
    clipboard->clear(QClipboard::Selection);
    cleared = true;
  }
  clipboard_.clear();
  selection_.clear();
  return cleared;
}

QMimeData* ClipboardGuard::WithHint(const QMimeData& data) {
  auto* copy = new QMimeData;
  for (const QString& format : data.formats()) copy->setData(format, data.data(format));
  copy->setData(QString::fromLatin1(kHintFormat), QByteArray(kHintSecret));
  return copy;
}

void ClipboardGuard::OnClipboardChanged(int mode) {
  const auto which = static_cast<QClipboard::Mode>(mode);
  QClipboard* clipboard = QGuiApplication::clipboard();
  // Only this program's own data, only without the hint: the program's Put carries
  // it, and another program's data is none of ours to change.
  const bool owned = which == QClipboard::Clipboard ? clipboard->ownsClipboard()
                                                    : which == QClipboard::Selection && clipboard->ownsSelection();
  if (!owned || HasHint(clipboard->mimeData(which))) return;
  // Replaced once the change has been taken in: setting data from within the signal
  // would run into the clipboard's own bookkeeping of that change.
  QTimer::singleShot(0, this, [which] {
    QClipboard* board = QGuiApplication::clipboard();
    const bool stillOwned =
        which == QClipboard::Clipboard ? board->ownsClipboard() : board->ownsSelection();
    const QMimeData* data = board->mimeData(which);
    if (!stillOwned || data == nullptr || HasHint(data)) return;
    board->setMimeData(WithHint(*data), which);
  });
}

}  // namespace tallimor
