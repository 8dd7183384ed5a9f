// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Judging a world memo by memo: group by text, compare how often each text is where it
// should be, then its category and private flag.
#include "tests/reliability/Verdict.h"

#include <algorithm>
#include <map>
#include <utility>

namespace tallimor::reliability {
namespace {

std::string Quoted(const std::string& text) { return '"' + text + '"'; }

// Whether an actual memo's category and flag are right for the expected one.
bool SameAttributes(const Memo& expected, const Memo& actual, bool comparePrivacy, bool mayDropPrivacy) {
  if (expected.category != actual.category) return false;
  if (!comparePrivacy) return true;
  if (mayDropPrivacy) return !actual.isPrivate || expected.isPrivate;
  return expected.isPrivate == actual.isPrivate;
}

}  // namespace

Expected ExpectedFrom(const WorldMemos& reference) {
  Expected expected;
  expected.desktop = reference.desktop.live;
  expected.handheld = reference.handheld.live;
  expected.archives = reference.archives;
  expected.judgeSetAside = true;
  if (reference.hasSetAside) expected.setAside = Texts(reference.setAside.live);
  return expected;
}

bool Verdict::ExpectedLive(const Expected& expected, const std::string& text) {
  for (const std::vector<Memo>* side : {&expected.desktop, &expected.handheld}) {
    for (const Memo& memo : *side) {
      if (memo.text == text) return true;
    }
  }
  return false;
}

void Verdict::Judge(const Expected& expected, const WorldMemos& actual) {
  if (!actual.desktop.ok || !actual.handheld.ok) {
    // A side that cannot be read has lost every memo it should hold.
    if (!actual.desktop.ok) {
      counts_.lost += static_cast<long>(expected.desktop.size());
      Note("the desktop cannot be read: " + actual.desktop.error);
    }
    if (!actual.handheld.ok) {
      counts_.lost += static_cast<long>(expected.handheld.size());
      Note("the handheld cannot be read: " + actual.handheld.error);
    }
  }
  if (actual.desktop.ok) {
    JudgeMemos("desktop", expected.desktop, actual.desktop.live,
               expected.desktopPrivacyExact ? Privacy::kExact : Privacy::kMayDrop, expected);
    if (actual.desktop.digestKey != 0) {
      ++counts_.keyMixed;
      Note("record.dat's password digest is not the handheld's current password's");
    }
  }
  if (actual.handheld.ok) {
    JudgeMemos("handheld", expected.handheld, actual.handheld.live, Privacy::kExact, expected);
    if (actual.handheld.digestKey != 0) {
      ++counts_.keyMixed;
      Note("the handheld's password digest is not its current password's");
    }
  }
  if (!actual.archiveError.empty()) {
    ++counts_.lost;
    Note("an archive cannot be read: " + actual.archiveError);
  }
  JudgeArchives(expected, actual.archives);
  JudgeSetAside(expected, actual);
}

void Verdict::JudgeMemos(const std::string& where, const std::vector<Memo>& expected,
                         const std::vector<Memo>& actual, Privacy privacy, const Expected& all) {
  std::map<std::string, std::pair<std::vector<Memo>, std::vector<Memo>>> byText;
  for (const Memo& memo : expected) byText[memo.text].first.push_back(memo);
  for (const Memo& memo : actual) {
    if (memo.key == MemoKey::kGarbled) {
      ++counts_.garbled;
      Note(where + ": a memo nobody typed, under every password the handheld has had: " + memo.text);
      continue;
    }
    if (memo.key == MemoKey::kFormer) {
      ++counts_.keyMixed;
      Note(where + ": enciphered under a former password: " + memo.Describe());
    }
    byText[memo.text].second.push_back(memo);
  }
  for (auto& [text, memos] : byText) {
    auto& [want, have] = memos;
    const long e = static_cast<long>(want.size());
    const long a = static_cast<long>(have.size());
    if (a < e) {
      counts_.lost += e - a;
      Note(where + ": lost " + Quoted(text) + (a > 0 ? " (" + std::to_string(a) + " of " + std::to_string(e) + " left)" : ""));
    } else if (a > e && e > 0) {
      counts_.duplicated += a - e;
      Note(where + ": " + std::to_string(a) + " copies of " + Quoted(text) + ", " + std::to_string(e) + " expected");
    } else if (a > e && std::count(all.setAside.begin(), all.setAside.end(), text) != 0) {
      // A desktop change that belongs in record.OLD: under the former password it is
      // counted as key-mixed above; whether it was kept aside is judged there.
      Note(where + ": holds " + Join(have) + ", which should have been kept aside in record.OLD");
    } else if (a > e) {
      const bool typed = known_.count(text) != 0;
      (typed ? counts_.resurrected : counts_.garbled) += a;
      Note(where + (typed ? ": came back although the user deleted, archived or edited it away: "
                          : ": a text nobody typed: ") +
           Join(have) + (typed && ExpectedLive(all, text) ? " (it belongs on the other side only)" : ""));
    } else {
      std::sort(want.begin(), want.end());
      std::sort(have.begin(), have.end());
      for (std::size_t i = 0; i < want.size(); ++i) {
        if (!SameAttributes(want[i], have[i], privacy != Privacy::kIgnored, privacy == Privacy::kMayDrop)) {
          ++counts_.attributesWrong;
          Note(where + ": " + have[i].Describe() + " should be " + want[i].Describe());
        }
      }
    }
  }
}

void Verdict::JudgeArchives(const Expected& expected, const std::vector<ArchivedMemo>& actual) {
  std::map<std::pair<std::string, std::string>, std::pair<long, long>> counts;  // (file, text) -> want, have
  std::map<std::string, std::string> fileOf;                                      // text -> its archive
  for (const ArchivedMemo& archived : expected.archives) {
    ++counts[{archived.file, archived.memo.text}].first;
    fileOf[archived.memo.text] = archived.file;
  }
  for (const ArchivedMemo& archived : actual) {
    if (archived.memo.key == MemoKey::kGarbled) {
      ++counts_.garbled;
      Note(archived.file + ": a memo nobody typed: " + archived.memo.text);
      continue;
    }
    if (archived.memo.key == MemoKey::kFormer) {
      ++counts_.keyMixed;
      Note(archived.file + ": enciphered under a former password: " + archived.memo.Describe());
    }
    ++counts[{archived.file, archived.memo.text}].second;
  }
  for (const auto& [where, number] : counts) {
    const auto& [file, text] = where;
    const auto [want, have] = number;
    if (have < want) {
      counts_.lost += want - have;
      Note(file + ": lost the archived memo " + Quoted(text));
    } else if (have > want && want > 0) {
      counts_.archivedTwice += have - want;
      Note(file + ": " + std::to_string(have) + " copies of the archived memo " + Quoted(text));
    } else if (have > want) {
      if (fileOf.count(text) != 0) {
        counts_.attributesWrong += have;
        Note(file + ": holds " + Quoted(text) + ", which belongs in " + fileOf[text]);
      } else if (ExpectedLive(expected, text)) {
        counts_.duplicated += have;
        Note(file + ": holds a copy of the live memo " + Quoted(text));
      } else {
        counts_.resurrected += have;
        Note(file + ": holds " + Quoted(text) + ", which the user deleted or edited away, not archived");
      }
    }
  }
}

void Verdict::JudgeSetAside(const Expected& expected, const WorldMemos& actual) {
  if (!expected.judgeSetAside) return;
  std::map<std::string, std::pair<long, long>> counts;  // text -> want, have
  for (const std::string& text : expected.setAside) ++counts[text].first;
  if (actual.hasSetAside) {
    if (!actual.setAside.ok) {
      counts_.lost += static_cast<long>(expected.setAside.size());
      Note("record.OLD cannot be read: " + actual.setAside.error);
      return;
    }
    for (const Memo& memo : actual.setAside.live) {
      if (memo.key == MemoKey::kGarbled) {
        ++counts_.garbled;
        Note("record.OLD: a memo nobody typed: " + memo.text);
        continue;
      }
      ++counts[memo.text].second;
    }
    if (!expected.setAside.empty() && actual.setAside.digestKey < 1) {
      ++counts_.keyMixed;
      Note("record.OLD's password digest is not the former password's, which its memos are under");
    }
  }
  for (const auto& [text, number] : counts) {
    const auto [want, have] = number;
    if (have < want) {
      counts_.lost += want - have;
      Note("record.OLD: the desktop's change " + Quoted(text) + " was not kept aside");
    } else if (have > want) {
      counts_.duplicated += have - want;
      Note("record.OLD: " + Quoted(text) + " kept aside " + std::to_string(have) + " times, " +
           std::to_string(want) + " expected");
    }
  }
}

}  // namespace tallimor::reliability
