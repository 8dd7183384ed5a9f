// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Text of the HotSync data (user names, log entries: code page 932 bytes) made safe to
// print on a UTF-8 terminal.
#pragma once

#include <string>
#include <string_view>

namespace tallimor {

// `cp932` as UTF-8. Control characters, and every byte that is not valid code page
// 932, are written as \xHH (text/ShownText.h), so that nothing printed can act on the
// terminal and nothing is silently dropped; the characters around such a byte still
// show as themselves.
std::string TerminalText(std::string_view cp932);

}  // namespace tallimor
