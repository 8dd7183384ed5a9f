// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Worker threads take the next trial by index; results are read only after every
// worker has joined, so the tallies and GoogleTest see them from the main thread.
#include "tests/reliability/TrialPool.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "tests/reliability/ReferenceRuns.h"

namespace tallimor::reliability {
namespace {

namespace fs = std::filesystem;

// A damaged trial's notes are many when one fault breaks everything; the first ones
// name the fault, the rest repeat it.
constexpr std::size_t kNotesShown = 12;
// Trials reported in full per group; the rest get one line each, up to kTrialsListed.
constexpr long kTrialsInFull = 6;
constexpr long kTrialsListed = 60;

std::string CurrentTest() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "*";
}

std::string Replay(const std::string& trial) {
  return "replay: TALLIMOR_RELIABILITY_SEED=" + std::to_string(Seed()) + " TALLIMOR_RELIABILITY_TRIAL='" + trial +
         "' tallimor_reliability_tests --gtest_filter='" + CurrentTest() + "'";
}

}  // namespace

void Trial::Add(const Verdict& verdict, const std::string& when) {
  counts_.Add(verdict.counts());
  for (const std::string& note : verdict.notes()) failures_.push_back(when.empty() ? note : when + ": " + note);
}

void Trial::Fail(const std::string& why) { failures_.push_back(why); }

TrialPool::TrialPool(std::string group, bool concurrent) : group_(std::move(group)), concurrent_(concurrent) {}

void TrialPool::Add(const std::string& name, std::function<void(Trial&)> body) {
  entries_.push_back({name, std::move(body)});
}

int TrialPool::Jobs() {
  const char* text = std::getenv("TALLIMOR_RELIABILITY_JOBS");
  const int jobs = text != nullptr ? std::atoi(text) : 2;
  return jobs < 1 ? 1 : jobs;
}

long TrialPool::Run() {
  const char* only = std::getenv("TALLIMOR_RELIABILITY_TRIAL");
  std::vector<std::size_t> chosen;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (only == nullptr || *only == '\0' || entries_[i].name == only) chosen.push_back(i);
  }
  const std::string base = ReferenceRuns::MakeScratch("trials");
  if (base.empty()) {
    ADD_FAILURE() << group_ << ": cannot make a directory for the trials";
    return static_cast<long>(chosen.size());
  }
  const bool keep = std::getenv("TALLIMOR_RELIABILITY_KEEP") != nullptr;

  std::vector<std::unique_ptr<Trial>> trials(chosen.size());
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t k = next++; k < chosen.size(); k = next++) {
      const Entry& entry = entries_[chosen[k]];
      const std::string dir = base + "/" + std::to_string(k);
      fs::create_directories(dir);
      trials[k] = std::make_unique<Trial>(entry.name, dir);
      entry.body(*trials[k]);
      // A damaged world stays for inspection when asked; the others go at once, so
      // that a long run does not fill the disk.
      if (!(keep && !trials[k]->Survived())) fs::remove_all(dir);
    }
  };
  std::vector<std::thread> workers;
  const int jobs = std::min<int>(Jobs(), static_cast<int>(std::max<std::size_t>(chosen.size(), 1)));
  for (int i = 1; i < jobs; ++i) workers.emplace_back(work);
  work();
  for (std::thread& worker : workers) worker.join();
  if (!keep) fs::remove_all(base);

  Tally& tally = Group(group_);
  tally.concurrent = concurrent_;
  long damaged = 0;
  std::string skipReason;
  for (const std::unique_ptr<Trial>& trial : trials) {
    if (!trial->skipped_.empty()) {
      ++tally.skipped;
      skipReason = trial->skipped_;
      continue;
    }
    ++tally.trials;
    tally.counts.Add(trial->counts_);
    tally.midRun += trial->midRun_;
    tally.refused += trial->refused_;
    tally.overlapped += trial->overlapped_;
    tally.injected += trial->faults_;
    if (trial->Survived()) {
      ++tally.survived;
      tally.faults += trial->faults_;
      continue;
    }
    ++damaged;
    if (damaged <= kTrialsInFull) {
      std::string notes;
      for (std::size_t i = 0; i < trial->failures_.size() && i < kNotesShown; ++i) {
        notes += "\n    " + trial->failures_[i];
      }
      if (trial->failures_.size() > kNotesShown) {
        notes += "\n    ... and " + std::to_string(trial->failures_.size() - kNotesShown) + " more";
      }
      if (!trial->world_.empty()) notes += "\n  the world then:\n" + trial->world_;
      ADD_FAILURE() << group_ << " / " << trial->name_ << ":" << notes << "\n  " << Replay(trial->name_);
    } else if (damaged <= kTrialsListed) {
      ADD_FAILURE() << group_ << " / " << trial->name_ << ": "
                    << (trial->failures_.empty() ? "" : trial->failures_.front());
    }
  }
  if (damaged > kTrialsListed) {
    ADD_FAILURE() << group_ << ": " << damaged - kTrialsListed << " more damaged trials not listed";
  }
  if (!skipReason.empty()) {
    std::printf("reliability: %s skipped: %s\n", group_.c_str(), skipReason.c_str());
    std::fflush(stdout);
  }
  return damaged;
}

}  // namespace tallimor::reliability
