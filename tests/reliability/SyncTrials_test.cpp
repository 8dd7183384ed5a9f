// Whole HotSyncs that go wrong, through the real `hotsync` program and conduit: for
// each action (fast, slow, and both overwrites) every Sync Manager call of the run is
// made to fail in turn, first as a lost link and then as a storage failure, and the
// program itself is killed at random moments of the run. After each, a clean HotSync
// with the same action must leave every memo that a fault-free run of the same
// starting state keeps (deciphered, on the side it belongs to, and nothing garbled),
// and a further HotSync must change nothing on either side.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "tests/reliability/Tally.h"
#include "tests/reliability/World.h"

namespace tallimor::reliability {
namespace {

namespace fs = std::filesystem;

class SyncTrials : public ::testing::TestWithParam<const char*> {
 protected:
  static void SetUpTestSuite() {
    PrepareEnvironment();
    char pattern[] = "/tmp/tallimor-reliability-sync-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    base_ = pattern;
    std::string error;
    templateReady_ = MakeTemplateWorld(base_ + "/template", &error);
    ASSERT_TRUE(templateReady_) << error;
  }
  static void TearDownTestSuite() { fs::remove_all(base_); }

  void SetUp() override {
    ASSERT_TRUE(templateReady_);
    action_ = GetParam();
    // The fault-free reference of this action.
    const World reference = CopyWorld(Template(), base_ + "/reference");
    const auto started = std::chrono::steady_clock::now();
    const testing::ProcessResult run = RunHotSync(reference, action_);
    // Only to spread the kills of the killed-run trials over the run; no check uses it.
    runTime_ = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    reference_ = ReadWorld(reference);
    ASSERT_TRUE(reference_.ok()) << reference_.Describe();
    known_ = TemplateTexts();
    // The reference itself converges: a further HotSync changes nothing.
    ASSERT_EQ(RunHotSync(reference, "fast", "", Run::kPlain).status, 0);
    ASSERT_EQ(ReadWorld(reference), reference_) << ReadWorld(reference).Describe();
  }

  static World Template() { return World{base_ + "/template"}; }

  // Recovers `world` after a run that went wrong and checks it; true when it survived.
  bool RecoverAndCheck(const World& world, const std::string& trial, Tally& tally) {
    ++tally.trials;
    const testing::ProcessResult recovery = RunHotSync(world, action_, "", Run::kPlain);
    if (recovery.status != 0) {
      ADD_FAILURE() << trial << ": the clean HotSync after it failed:\n" << recovery.out << recovery.err;
      ++tally.notConverged;
      return false;
    }
    const WorldMemos after = ReadWorld(world);
    if (!after.ok()) {
      ADD_FAILURE() << trial << ": a side cannot be read:\n" << after.Describe();
      ++tally.memosLost;
      return false;
    }
    bool survived = true;
    const std::vector<std::vector<std::string>> expected = {
        reference_.desktop.live, reference_.desktop.archived, reference_.handheld.live};
    const std::vector<std::vector<std::string>> actual = {
        after.desktop.live, after.desktop.archived, after.handheld.live};
    const char* const sides[] = {"desktop", "desktop archive", "handheld"};
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const std::vector<std::string> lost = Missing(expected[i], actual[i]);
      const std::vector<std::string> extra = Missing(actual[i], expected[i]);
      tally.memosLost += static_cast<long>(lost.size());
      tally.extraCopies += static_cast<long>(extra.size());
      if (!extra.empty() && std::getenv("TALLIMOR_RELIABILITY_VERBOSE") != nullptr) {
        std::printf("%s: beyond the reference on the %s: %s\n", trial.c_str(), sides[i], Join(extra).c_str());
      }
      if (!lost.empty()) {
        ADD_FAILURE() << trial << ": lost on the " << sides[i] << ": " << Join(lost) << "\n"
                      << after.Describe();
        survived = false;
      }
      const std::vector<std::string> strange = Missing(extra, known_);
      if (!strange.empty()) {
        ADD_FAILURE() << trial << ": memos no one wrote on the " << sides[i] << ": " << Join(strange);
        survived = false;
      }
    }
    if (after.desktop.live != after.handheld.live) {
      ADD_FAILURE() << trial << ": the sides differ after the clean HotSync\n" << after.Describe();
      survived = false;
    }
    const testing::ProcessResult further = RunHotSync(world, "fast", "", Run::kPlain);
    const WorldMemos settled = ReadWorld(world);
    if (further.status != 0 || !(settled == after)) {
      ADD_FAILURE() << trial << ": a further HotSync still changed something (status "
                    << further.status << ")\nbefore:\n" << after.Describe() << "\nafter:\n"
                    << settled.Describe();
      ++tally.notConverged;
      survived = false;
    }
    if (survived) ++tally.survived;
    return survived;
  }

  // Fails every call of the run in turn with `kind`; `calls` the calls a run makes
  // (0: find out, by going on until runs no longer meet the fault), returned. With
  // `stride` above 1 only every stride-th call fails, from a call the seed picks, so
  // that runs with other seeds cover the others.
  std::uint32_t FailEveryCall(const char* kind, std::uint32_t calls, std::uint32_t stride = 1) {
    Tally& tally = Group(std::string(action_) + " HotSync, " + kind + " fault at " +
                         (stride == 1 ? std::string("each call") : "one call in " + std::to_string(stride)));
    std::mt19937_64 random = Generator(std::string("stride ") + action_ + kind);
    std::uint32_t cleanInARow = 0;
    const std::uint32_t kLimit = 1000;  // far beyond any run of the template
    std::uint32_t call = 1 + static_cast<std::uint32_t>(random() % stride);
    for (; call <= kLimit; call += stride) {
      if (calls != 0 && call > calls + 1) break;
      const World world = CopyWorld(Template(), base_ + "/trial");
      const std::string fault = "call=" + std::to_string(call) + ",kind=" + kind;
      const testing::ProcessResult faulted = RunHotSync(world, action_, fault);
      if (faulted.status != 0 && faulted.status != 1) {
        ADD_FAILURE() << fault << ": the program ended with status " << faulted.status << "\n" << faulted.err;
      }
      RecoverAndCheck(world, std::string(action_) + " with " + fault, tally);
      // A lost link from a call on that the run never makes leaves the run whole: two
      // such runs in a row mean the calls are all covered.
      cleanInARow = faulted.status == 0 ? cleanInARow + 1 : 0;
      if (calls == 0 && cleanInARow == 2) break;
    }
    EXPECT_LE(call, kLimit) << "the runs never stopped meeting the fault";
    return calls != 0 ? calls : call - 2;
  }

  static std::string base_;
  static bool templateReady_;
  const char* action_ = "";
  WorldMemos reference_;
  std::vector<std::string> known_;
  std::chrono::steady_clock::duration runTime_{};
};

std::string SyncTrials::base_;
bool SyncTrials::templateReady_ = false;

TEST_P(SyncTrials, FaultAtEveryCallLosesNothing) {
  const std::uint32_t calls = FailEveryCall("comm", 0);
  EXPECT_GT(calls, 0u);
  // A lost link at every call; a storage failure at every third call by default
  // (a longer run covers them all).
  FailEveryCall("storage", calls, Scale() > 1 ? 1 : 3);
}

// Starts hotsync on `world` and waits until it has written its unfinished mark, i.e.
// the conduit is about to run, or has ended. Returns the process, or -1 when it ended
// first (its status in *status).
pid_t StartUntilConduit(const World& world, const char* action, int* status) {
  const pid_t pid = StartHotSync(world, action);
  const std::string mark = world.root() + "/YamadaT/HotSync.unfinished";
  while (!fs::exists(mark)) {
    int raw = 0;
    if (waitpid(pid, &raw, WNOHANG) == pid) {
      *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return pid;
}

TEST_P(SyncTrials, KilledRunLosesNothing) {
  Tally& tally = Group(std::string(action_) + " HotSync, program killed");
  std::mt19937_64 random = Generator(std::string("kill ") + action_);
  // How long the conduit part of a run lasts, while the mark is there; only to spread
  // the kills over it, no check uses it.
  std::chrono::microseconds conduitTime{1000};
  {
    const World world = CopyWorld(Template(), base_ + "/trial");
    int status = 0;
    const pid_t pid = StartUntilConduit(world, action_, &status);
    if (pid > 0) {
      const auto marked = std::chrono::steady_clock::now();
      while (fs::exists(world.root() + "/YamadaT/HotSync.unfinished")) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
      conduitTime = std::max(conduitTime, std::chrono::duration_cast<std::chrono::microseconds>(
                                              std::chrono::steady_clock::now() - marked));
      status = testing::WaitProcess(pid);
    }
    ASSERT_EQ(status, 0);
  }
  // Half the kills anywhere in the whole run and a little past it (some runs then end
  // first), half once the conduit runs, where the files are written.
  const auto window = std::chrono::duration_cast<std::chrono::microseconds>(runTime_) * 5 / 4;
  const long kills = Scale() > 1 ? 10L * Scale() : 4L;
  for (long trial = 0; trial < kills; ++trial) {
    const World world = CopyWorld(Template(), base_ + "/trial");
    const bool inConduit = trial % 2 == 1;
    const auto span = inConduit ? conduitTime * 5 / 4 : window;
    const auto delay = std::chrono::microseconds(
        static_cast<long>(random() % static_cast<std::uint64_t>(span.count() + 1)));
    int status = 0;
    const pid_t pid = inConduit ? StartUntilConduit(world, action_, &status) : StartHotSync(world, action_);
    if (pid > 0) {
      std::this_thread::sleep_for(delay);
      kill(pid, SIGKILL);
      status = testing::WaitProcess(pid);
    }
    if (status != 0 && status != 128 + SIGKILL) {
      ADD_FAILURE() << "the program ended with status " << status;
    }
    if (fs::exists(world.root() + "/YamadaT/HotSync.unfinished")) ++tally.midRun;
    RecoverAndCheck(world, std::string(action_) + " killed " + std::to_string(delay.count()) + " us after " +
                               (inConduit ? "the conduit started" : "the start"),
                    tally);
  }
}

INSTANTIATE_TEST_SUITE_P(Actions, SyncTrials,
                         ::testing::Values("fast", "slow", "handheld-to-desktop", "desktop-to-handheld"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name;
                           for (const char* c = info.param; *c != '\0'; ++c) {
                             if (*c != '-') name += *c;
                           }
                           return name;
                         });

}  // namespace
}  // namespace tallimor::reliability
