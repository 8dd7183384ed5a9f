// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the memo texts the program puts on the clipboard from lingering: every text
// it puts there (the clipboard and, on X11, the selection) carries the hint by which
// clipboard managers know a secret and keep it out of their history, and a copy can
// be cleared a while after it was made and when the program ends or locks. Only what
// the program put there is ever cleared: another program's text is left alone, and so
// is the text of a cut, whose memos are marked deleted and can come back only through
// the clipboard.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QMimeData;

namespace tallimor {

class ClipboardGuard : public QObject {
  Q_OBJECT

 public:
  // How a text reached the clipboard.
  enum class Origin {
    kCopy,  // a copy: may be cleared by the timer, at exit and at a lock
    kCut,   // a cut: never cleared by the program
  };

  // The format clipboard managers read the hint from, and the hint's value.
  static constexpr const char* kHintFormat = "x-kde-passwordManagerHint";
  static constexpr const char* kHintSecret = "secret";

  explicit ClipboardGuard(QObject* parent = nullptr);
  ~ClipboardGuard() override;

  ClipboardGuard(const ClipboardGuard&) = delete;
  ClipboardGuard& operator=(const ClipboardGuard&) = delete;

  // Clears a copy `milliseconds` after it was made; 0 turns that off (a copy already
  // waiting then stays).
  void SetClearAfter(int milliseconds);
  int ClearAfter() const { return clearAfterMs_; }

  // Puts `text` on the clipboard and the selection with the secret hint. A copy starts
  // the clearing timer when it is on; a cut stops it, since it replaces the copy.
  void Put(const QString& text, Origin origin);

  // Clears the clipboard and the selection where they still hold the last copy the
  // program made. A cut's text, or another program's, stays. True when it cleared.
  bool ClearCopy();

  // True while a copy waits to be cleared.
  bool ClearPending() const { return timer_.isActive(); }

  // New data the program's own text controls put on the clipboard (a copy from the
  // memo pane or the memo edit dialog) is given the hint too; never cleared, since a
  // control's cut cannot be told from its copy.
  static QMimeData* WithHint(const QMimeData& data);

 private:
  void OnClipboardChanged(int mode);

  QPointer<QMimeData> clipboard_;  // the data put on the clipboard, while it is there
  QPointer<QMimeData> selection_;  // the same on the selection
  Origin origin_ = Origin::kCopy;  // how the data above got there
  QTimer timer_;                   // clears a copy
  int clearAfterMs_ = 0;           // 0: a copy is not cleared by time
};

}  // namespace tallimor
