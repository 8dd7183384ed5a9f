// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Counting, printing and the run's budget for the reliability suite.
#include "tests/reliability/Tally.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace tallimor::reliability {
namespace {

std::vector<std::pair<std::string, std::unique_ptr<Tally>>>& Groups() {
  static std::vector<std::pair<std::string, std::unique_ptr<Tally>>> groups;
  return groups;
}

int& ScaleSetting() {
  static int scale = [] {
    const char* text = std::getenv("TALLIMOR_RELIABILITY_SCALE");
    const int value = text != nullptr ? std::atoi(text) : 1;
    return value < 1 ? 1 : value;
  }();
  return scale;
}

// What a group of two programs at once shows: the damage the second program could do,
// how often it met the HotSync, then the rest of the damage when some was found.
void PrintConcurrentLine(const std::string& name, const Tally& t) {
  const Counts& c = t.counts;
  std::printf("reliability: %s trials %ld, survived %ld, memos lost %ld, duplicated %ld, never agreed %ld, "
              "refused %ld, started during the HotSync %ld",
              name.c_str(), t.trials, t.survived, c.lost, c.duplicated, c.neverAgreed, t.refused, t.overlapped);
  if (c.resurrected > 0) std::printf(", resurrected %ld", c.resurrected);
  if (c.archivedTwice > 0) std::printf(", archived twice %ld", c.archivedTwice);
  if (c.keyMixed > 0) std::printf(", key-mixed %ld", c.keyMixed);
  if (c.notConverged > 0) std::printf(", not converged %ld", c.notConverged);
  if (c.garbled > 0) std::printf(", garbled %ld", c.garbled);
  if (c.attributesWrong > 0) std::printf(", category, private flag or archive wrong %ld", c.attributesWrong);
  if (c.falseSuccess > 0) std::printf(", success reported too early %ld", c.falseSuccess);
  if (t.trials > t.survived) std::printf(", failed %ld", t.trials - t.survived);
  std::printf("\n");
}

// The counts every line shows, then those shown only when something was found.
void PrintCounts(const Counts& c) {
  std::printf("memos lost %ld, duplicated %ld, resurrected %ld, archived twice %ld, key-mixed %ld, "
              "not converged %ld",
              c.lost, c.duplicated, c.resurrected, c.archivedTwice, c.keyMixed, c.notConverged);
  if (c.neverAgreed > 0) std::printf(", never agreed %ld", c.neverAgreed);
  if (c.garbled > 0) std::printf(", garbled %ld", c.garbled);
  if (c.attributesWrong > 0) std::printf(", category, private flag or archive wrong %ld", c.attributesWrong);
  if (c.falseSuccess > 0) std::printf(", success reported too early %ld", c.falseSuccess);
}

}  // namespace

void Counts::Add(const Counts& o) {
  lost += o.lost;
  duplicated += o.duplicated;
  resurrected += o.resurrected;
  archivedTwice += o.archivedTwice;
  keyMixed += o.keyMixed;
  garbled += o.garbled;
  attributesWrong += o.attributesWrong;
  falseSuccess += o.falseSuccess;
  notConverged += o.notConverged;
  neverAgreed += o.neverAgreed;
}

long Counts::Total() const {
  return lost + duplicated + resurrected + archivedTwice + keyMixed + garbled + attributesWrong + falseSuccess +
         notConverged + neverAgreed;
}

Tally& Group(const std::string& name) {
  for (auto& [groupName, tally] : Groups()) {
    if (groupName == name) return *tally;
  }
  Groups().emplace_back(name, std::make_unique<Tally>());
  return *Groups().back().second;
}

bool PrintSummary() {
  Tally total;
  for (const auto& [name, tally] : Groups()) {
    if (tally->trials == 0 && tally->skipped == 0) continue;  // none chosen for a replay
    total.trials += tally->trials;
    total.survived += tally->survived;
    total.faults += tally->faults;
    total.injected += tally->injected;
    total.skipped += tally->skipped;
    total.counts.Add(tally->counts);
    if (tally->concurrent) {
      PrintConcurrentLine(name, *tally);
      continue;
    }
    std::printf("reliability: %s trials %ld, survived %ld, faults survived %ld of %ld, ", name.c_str(),
                tally->trials, tally->survived, tally->faults, tally->injected);
    PrintCounts(tally->counts);
    if (tally->skipped > 0) std::printf(", skipped %ld", tally->skipped);
    if (tally->leftovers > 0) {
      std::printf(", temporaries left %ld (still there after the next save %ld)", tally->leftovers,
                  tally->leftAfterSave);
    }
    if (tally->midRun > 0) std::printf(", killed mid-run %ld", tally->midRun);
    std::printf("\n");
  }
  std::printf("reliability: total trials %ld, survived %ld, ", total.trials, total.survived);
  PrintCounts(total.counts);
  std::printf(", faults survived %ld of %ld", total.faults, total.injected);
  if (total.skipped > 0) std::printf(", skipped %ld", total.skipped);
  std::printf(" (scale %d, seed %llu)\n", Scale(), static_cast<unsigned long long>(Seed()));
  std::fflush(stdout);
  return total.counts.Total() == 0 && total.survived == total.trials;
}

int Scale() { return ScaleSetting(); }

void SetScaleFromArguments(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--scale=", 8) == 0) {
      const int value = std::atoi(argv[i] + 8);
      ScaleSetting() = value < 1 ? 1 : value;
    }
  }
}

std::uint64_t Seed() {
  static const std::uint64_t seed = [] {
    const char* text = std::getenv("TALLIMOR_RELIABILITY_SEED");
    if (text != nullptr && *text != '\0') return static_cast<std::uint64_t>(std::strtoull(text, nullptr, 10));
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
  }();
  return seed;
}

std::mt19937_64 Generator(const std::string& stream) {
  // std::hash is not the same from one library to the next; a replay needs the same
  // stream on every machine, so the stream's name is folded in by hand (FNV-1a).
  std::uint64_t hash = 1469598103934665603ULL;
  for (unsigned char c : stream) hash = (hash ^ c) * 1099511628211ULL;
  return std::mt19937_64(Seed() ^ hash);
}

}  // namespace tallimor::reliability
