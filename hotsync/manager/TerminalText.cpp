// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Stored text for the terminal: the project's one way of showing code page 932 text
// that may not decode, with control characters shown by value as well.
#include "hotsync/manager/TerminalText.h"

#include "text/ShownText.h"

namespace tallimor {

std::string TerminalText(std::string_view cp932) { return ShowCp932AsUtf8(cp932, ControlCharacters::kEscape); }

}  // namespace tallimor
