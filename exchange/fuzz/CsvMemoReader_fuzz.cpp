// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the CSV memo reader (see MemoReaderFuzz.h for what must hold).
#include "exchange/CsvMemoFormat.h"
#include "exchange/fuzz/MemoReaderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tallimor::FuzzMemoReader(data, size, tallimor::ReadCsvMemos, tallimor::WriteCsvMemos);
}
