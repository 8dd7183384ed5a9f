// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// A test helper that imports a CSV or text export into a record file the way the
// desktop program's import does, so that scripts can check that an export read back
// gives the same memos. Usage: tallimor_import_into_store [--clear] csv|text FILE STORE,
// the password (UTF-8) on the first line of standard input. --clear removes the
// store's records first. Exit 0, 1 for an error (with the reason on stderr), 2 for usage.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "exchange/CsvMemoFormat.h"
#include "exchange/MemoImport.h"
#include "exchange/TextMemoFormat.h"
#include "protect/CProtectedRecordFile.h"
#include "text/CodePage932.h"

int main(int argc, char** argv) {
  using namespace tallimor;
  std::vector<std::string> args(argv + 1, argv + argc);
  const bool clear = !args.empty() && args[0] == "--clear";
  if (clear) args.erase(args.begin());
  if (args.size() != 3 || (args[0] != "csv" && args[0] != "text")) {
    std::cerr << "usage: tallimor_import_into_store [--clear] csv|text FILE STORE\n";
    return 2;
  }
  std::string password;
  std::getline(std::cin, password);
  const Converted<std::string> key = CodePage932::FromUtf8(password);
  std::ifstream in(args[1], std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::vector<ExchangeMemo> memos;
  ImportProblem problem;
  MemoImport import;
  const bool read = args[0] == "csv" ? ReadCsvMemos(bytes.str(), &memos, &problem)
                                     : ReadTextMemos(bytes.str(), &memos, &problem);
  if (!in || !key.ok() || !read || !import.Prepare(memos, &problem)) {
    std::cerr << "memo " << problem.memo << " line " << problem.line << ": " << ImportFaultMeaning(problem.fault)
              << "\n";
    return 1;
  }
  CProtectedRecordFile store(args[2], key.text.c_str());
  if (store.CheckPassword(key.text.c_str()) != 1 || store.Load() != kOk) {
    std::cerr << "the store cannot be opened with that password\n";
    store.DiscardEdits();
    return 1;
  }
  if (clear) {
    for (std::int32_t slot = 0; slot < store.HighWater(); ++slot) store.RemoveRecord(slot);
  }
  ImportCounts counts;
  Result result = import.Apply(store, &counts);
  if (result == kOk) result = store.Save();
  if (result != kOk) {
    std::cerr << "error " << result << "\n";
    store.DiscardEdits();
    return 1;
  }
  std::cout << counts.memos << " memos, " << counts.categoriesAdded << " categories added\n";
  return 0;
}
