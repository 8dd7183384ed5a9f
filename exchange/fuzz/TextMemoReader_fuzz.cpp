// Fuzzes the plain text memo reader: any bytes must read or be refused with a fault, never
// crash; whatever reads must write out and read back the same memos.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include "exchange/TextMemoFormat.h"
#include "exchange/MemoImport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tallimor;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<ExchangeMemo> memos;
  ImportProblem problem;
  if (!ReadTextMemos(bytes, &memos, &problem)) {
    if (problem.fault == ImportFault::kNone || !memos.empty()) std::abort();
    return 0;
  }
  std::ostringstream out;
  WriteTextMemos(memos, out);
  std::vector<ExchangeMemo> again;
  if (!ReadTextMemos(out.str(), &again, &problem) || again.size() != memos.size()) std::abort();
  for (std::size_t i = 0; i < memos.size(); ++i) {
    if (again[i].text != memos[i].text || again[i].category != memos[i].category ||
        again[i].isPrivate != memos[i].isPrivate) {
      std::abort();
    }
  }
  MemoImport import;
  if (!import.Prepare(memos, &problem) && (problem.memo == 0 || problem.memo > memos.size())) std::abort();
  return 0;
}
