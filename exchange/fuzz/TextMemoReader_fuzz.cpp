// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the plain text memo reader (see MemoReaderFuzz.h for what must hold).
#include "exchange/TextMemoFormat.h"
#include "exchange/fuzz/MemoReaderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tallimor::FuzzMemoReader(data, size, tallimor::ReadTextMemos, tallimor::WriteTextMemos);
}
