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

}  // namespace

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
    std::printf("reliability: %s trials %ld, survived %ld, memos lost %ld, not converged %ld",
                name.c_str(), tally->trials, tally->survived, tally->memosLost, tally->notConverged);
    if (tally->leftovers > 0) {
      std::printf(", temporaries left %ld (still there after the next save %ld)", tally->leftovers,
                  tally->leftAfterSave);
    }
    if (tally->midRun > 0) std::printf(", killed mid-run %ld", tally->midRun);
    if (tally->extraCopies > 0) std::printf(", extra copies %ld", tally->extraCopies);
    std::printf("\n");
    total.trials += tally->trials;
    total.survived += tally->survived;
    total.memosLost += tally->memosLost;
    total.notConverged += tally->notConverged;
  }
  std::printf("reliability: total trials %ld, survived %ld, memos lost %ld, not converged %ld "
              "(scale %d, seed %llu)\n",
              total.trials, total.survived, total.memosLost, total.notConverged, Scale(),
              static_cast<unsigned long long>(Seed()));
  std::fflush(stdout);
  return total.memosLost == 0 && total.notConverged == 0 && total.survived == total.trials;
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
  return std::mt19937_64(Seed() ^ std::hash<std::string>{}(stream));
}

}  // namespace tallimor::reliability
