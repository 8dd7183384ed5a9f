// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a password for a command-line program, never from its arguments: from the
// terminal with echo off when standard input is one, else the first line of standard
// input. The bytes are read one at a time straight from the descriptor, so no stdio
// buffer keeps a copy and nothing after the first line is consumed.
#pragma once

#include <string>

namespace tallimor {

// Reads the password into `password` (without its line end). `prompt` is written to
// stderr first when standard input is a terminal; the terminal's echo is restored
// afterwards, also when the program is interrupted meanwhile. False with `error` set
// when nothing could be read (standard input empty or closed) or the line is longer than
// 1,024 bytes. The caller wipes `password` (WipeSecret) when done with it.
bool ReadPassword(const char* prompt, std::string* password, std::string* error);

// ReadPassword, then the typed UTF-8 turned into the code page 932 bytes that the digest
// and the cipher see. False with `error` set when nothing could be read or the text is
// not representable in code page 932; every intermediate copy is wiped. The caller
// wipes `cp932` (WipeSecret) when done with it.
bool ReadCodePage932Password(const char* prompt, std::string* cp932, std::string* error);

}  // namespace tallimor
