// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The template world that the fault, kill and disk trials start from, made once per
// run of the suite, and for each action what a fault-free run of it leaves there: the
// reference those trials are judged by, with what measuring such a run learnt (how many
// Sync Manager calls it makes, how long it and its conduit part last). Main thread only.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "tests/reliability/TrialPool.h"
#include "tests/reliability/TrialSteps.h"
#include "tests/reliability/World.h"

namespace tallimor::reliability {

struct Reference {
  Judging judging;                                // the world a fault-free run leaves
  std::uint32_t calls = 0;                        // Sync Manager calls of a run
  std::chrono::microseconds runTime{0};           // a whole run (only to spread kills)
  std::chrono::microseconds conduitTime{1000};    // the part with the unfinished mark
};

class ReferenceRuns {
 public:
  // The template world (made on first use); false with *error when it cannot be made.
  static bool Template(World* world, std::string* error);
  // The reference of `action` (made on first use).
  static bool For(const std::string& action, const Reference** reference, std::string* error);
  // Removes the worlds; at the end of the suite.
  static void Cleanup();

  // A fresh directory for trials and worlds: under $TALLIMOR_RELIABILITY_DIR, else in
  // memory (/dev/shm) where there is such a file system, else /tmp. Worlds in memory
  // make the programs' flushes cheap; nothing the trials check depends on them.
  static std::string MakeScratch(const std::string& purpose);
};

// The fixture of the trials on the template world, one action per parameter.
class TemplateTrials : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override;
  // Adds a trial that copies the template world, does `harm` to the copy (runs that
  // meet faults or kills), then recovers it and judges it by the reference.
  void AddTrial(TrialPool& pool, const std::string& name, std::function<void(Trial&, const World&)> harm) const;

  std::string action_;
  World template_;
  const Reference* reference_ = nullptr;
};

}  // namespace tallimor::reliability
