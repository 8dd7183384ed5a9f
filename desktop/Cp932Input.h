// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Input controls that collect code page 932 text: counting a text's bytes the way the
// stored form will hold it, refusing input that would pass a byte limit (the 15-byte
// category names, the 32,767-byte memo text), and the strict conversion that turns a
// control's text into stored bytes or names the character that has no code.
#pragma once

#include <QString>
#include <QValidator>
#include <string>

class QPlainTextEdit;

namespace tallimor {

// Bytes that `text` takes in code page 932. A character without a code counts as two
// bytes (it is refused when the text is stored). Each "\n" counts `lineBreakBytes`.
int Cp932Length(const QString& text, int lineBreakBytes = 1);

// The outcome of converting a control's text for storing.
struct StoreText {
  bool ok = false;
  std::string bytes;  // code page 932 bytes, when ok
  QString offending;  // the first character without a code, when not ok
};

// `text` as code page 932 bytes, converted strictly.
StoreText ConvertForStore(const QString& text);

// The sentence that names a character without a code, for the message that refuses it.
QString DescribeOffending(const QString& character);

// A line edit validator that keeps the text within `maxBytes` bytes of code page 932:
// text typed or pasted beyond the limit is cut at a character boundary, as far as
// needed (a character typed at the limit is thus refused).
class CCp932LengthValidator : public QValidator {
 public:
  CCp932LengthValidator(int maxBytes, QObject* parent);
  State validate(QString& input, int& pos) const override;

 private:
  int maxBytes_;  // the limit
};

// Limits a multi-line edit to `maxBytes` bytes of text with CR LF line breaks: text
// typed, pasted or dropped beyond the limit is cut off at a character boundary, as far
// as needed. Text already in the control stays; call after filling it.
void LimitCp932Bytes(QPlainTextEdit* edit, int maxBytes);

}  // namespace tallimor
