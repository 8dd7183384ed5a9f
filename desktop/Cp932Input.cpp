// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Code page 932 input limits. Lengths come from the strict converter itself, so that a
// limit counts exactly the bytes that will be stored; only a text that cannot be
// converted whole is counted character by character.
#include "desktop/Cp932Input.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <memory>

#include "text/CodePage932.h"

namespace tallimor {
namespace {

std::u16string_view Utf16Of(const QString& text) {
  return std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                             static_cast<std::size_t>(text.size()));
}

// Bytes of one character (one or two UTF-16 units).
int CharacterLength(QStringView character) {
  if (character.size() == 1 && character[0].unicode() < 0x80) return 1;
  Converted<std::string> bytes = CodePage932::FromUtf16(
      std::u16string_view(reinterpret_cast<const char16_t*>(character.utf16()),
                          static_cast<std::size_t>(character.size())));
  return bytes.ok() ? static_cast<int>(bytes.text.size()) : 2;
}

// The UTF-16 length of the character that starts at `at`.
qsizetype CharacterUnits(QStringView text, qsizetype at) {
  return text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate() ? 2 : 1;
}

}  // namespace

int Cp932Length(const QString& text, int lineBreakBytes) {
  const int breaks = static_cast<int>(text.count(QLatin1Char('\n')));
  Converted<std::string> whole = CodePage932::FromUtf16(Utf16Of(text));
  if (whole.ok()) return static_cast<int>(whole.text.size()) + breaks * (lineBreakBytes - 1);
  int length = 0;
  for (qsizetype at = 0; at < text.size();) {
    qsizetype units = CharacterUnits(text, at);
    length += text[at] == QLatin1Char('\n') ? lineBreakBytes
                                             : CharacterLength(QStringView(text).mid(at, units));
    at += units;
  }
  return length;
}

StoreText ConvertForStore(const QString& text) {
  StoreText result;
  Converted<std::string> converted = CodePage932::FromUtf16(Utf16Of(text));
  if (converted.ok()) {
    result.ok = true;
    result.bytes = std::move(converted.text);
    return result;
  }
  const auto at = static_cast<qsizetype>(converted.errorOffset);
  if (at < text.size()) result.offending = text.mid(at, CharacterUnits(text, at));
  return result;
}

QString DescribeOffending(const QString& character) {
  if (character.isEmpty()) return {};
  const char32_t code = character.toUcs4().value(0);
  const QString hex = QString::number(static_cast<uint>(code), 16).toUpper().rightJustified(4, QLatin1Char('0'));
  return QStringLiteral("使用できない文字：「%1」（U+%2）").arg(character, hex);
}

CCp932LengthValidator::CCp932LengthValidator(int maxBytes, QObject* parent)
    : QValidator(parent), maxBytes_(maxBytes) {}

QValidator::State CCp932LengthValidator::validate(QString& input, int& pos) const {
  int length = Cp932Length(input);
  if (length <= maxBytes_) return Acceptable;
  // What was just typed or pasted ends at the cursor: it is cut from its end, a whole
  // character at a time, until the text fits, as the memo editor cuts a paste. Typing
  // at the limit so loses the one character typed, which is a refusal.
  while (length > maxBytes_ && pos > 0) {
    const int width = pos >= 2 && input[pos - 1].isLowSurrogate() && input[pos - 2].isHighSurrogate() ? 2 : 1;
    length -= Cp932Length(input.mid(pos - width, width));
    input.remove(pos - width, width);
    pos -= width;
  }
  return length <= maxBytes_ ? Acceptable : Invalid;
}

void LimitCp932Bytes(QPlainTextEdit* edit, int maxBytes) {
  QTextDocument* document = edit->document();
  auto busy = std::make_shared<bool>(false);
  QObject::connect(document, &QTextDocument::contentsChange, edit,
                   [edit, document, maxBytes, busy](int position, int, int added) {
    if (*busy || added <= 0) return;
    // Line breaks are CR LF in the memo text the control stands for: two bytes each.
    int excess = Cp932Length(edit->toPlainText(), 2) - maxBytes;
    if (excess <= 0) return;
    const int end = std::min(position + added, document->characterCount() - 1);
    int cut = end;
    while (cut > position && excess > 0) {
      QChar last = document->characterAt(cut - 1);
      int units = 1;
      if (last.isLowSurrogate() && cut - 2 >= position &&
          document->characterAt(cut - 2).isHighSurrogate())
        units = 2;
      QString character;
      for (int i = cut - units; i < cut; ++i) character += document->characterAt(i);
      const bool lineBreak = character == QChar(QChar::ParagraphSeparator) ||
                             character == QLatin1Char('\n');
      excess -= lineBreak ? 2 : CharacterLength(character);
      cut -= units;
    }
    *busy = true;
    QTextCursor cursor(document);
    cursor.setPosition(cut);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    *busy = false;
  });
}

}  // namespace tallimor
