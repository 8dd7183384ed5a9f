// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// posix_spawn with three pipes, drained with poll while the input is written, so that a
// child that writes much before it reads cannot deadlock the test. Spawning, unlike
// fork, does not copy the test's page tables, which under AddressSanitizer are large
// enough to make every fork cost more than the program it starts; and it is safe from a
// process with threads.
#include "tests/support/Subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <thread>

extern char** environ;

namespace tallimor::testing {
namespace {

using Clock = std::chrono::steady_clock;

// How long the output of a child killed for its timeout is still read: a grandchild
// outside its group may hold the pipes open for ever.
constexpr std::chrono::milliseconds kDrainAfterKill{1000};

std::optional<std::vector<std::string>>& BaseEnvironment() {
  static std::optional<std::vector<std::string>> base;
  return base;
}

// Owns the strings that an argv or envp array points into.
struct CStrings {
  std::vector<std::string> storage;
  std::vector<char*> pointers;
  void Finish() {
    pointers.clear();
    for (std::string& s : storage) pointers.push_back(s.data());
    pointers.push_back(nullptr);
  }
};

CStrings Arguments(const std::string& program, const std::vector<std::string>& arguments) {
  CStrings argv;
  argv.storage.push_back(program);
  argv.storage.insert(argv.storage.end(), arguments.begin(), arguments.end());
  argv.Finish();
  return argv;
}

CStrings Variables(const Environment& settings) {
  std::vector<std::string> current;
  if (!BaseEnvironment()) {
    for (char** entry = environ; *entry != nullptr; ++entry) current.emplace_back(*entry);
  }
  const std::vector<std::string>& base = BaseEnvironment() ? *BaseEnvironment() : current;
  CStrings envp;
  for (const std::string& entry : base) {
    const std::string name = entry.substr(0, entry.find('='));
    bool overridden = false;
    for (const EnvSetting& setting : settings) overridden = overridden || setting.name == name;
    if (!overridden) envp.storage.push_back(entry);
  }
  for (const EnvSetting& setting : settings) {
    if (!setting.unset) envp.storage.push_back(setting.name + "=" + setting.value);
  }
  envp.Finish();
  return envp;
}

int StatusOf(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

void CloseAll(std::initializer_list<int> fds) {
  for (int fd : fds) {
    if (fd >= 0) close(fd);
  }
}

// A child that dies on a closed pipe must not take the test with it.
void IgnoreBrokenPipes() {
  static std::once_flag once;
  std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

// Spawns with the file actions given; -1 when the program cannot be started.
pid_t Spawn(const std::string& program, const std::vector<std::string>& arguments, const SubprocessOptions& options,
            posix_spawn_file_actions_t* actions, std::string* why) {
  CStrings argv = Arguments(program, arguments);
  CStrings envp = Variables(options.environment);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (options.ownGroup) {
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
  }
  pid_t pid = -1;
  const int error =
      posix_spawnp(&pid, program.c_str(), actions, &attributes, argv.pointers.data(), envp.pointers.data());
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    if (why != nullptr) *why = "cannot start " + program + ": " + std::strerror(error);
    return -1;
  }
  return pid;
}

}  // namespace

void Subprocess::CaptureBaseEnvironment() {
  std::vector<std::string> base;
  for (char** entry = environ; *entry != nullptr; ++entry) base.emplace_back(*entry);
  BaseEnvironment() = std::move(base);
  IgnoreBrokenPipes();
}

ProcessResult Subprocess::Run(const std::string& program, const std::vector<std::string>& arguments,
                              const std::string& input, const Environment& environment) {
  SubprocessOptions options;
  options.input = input;
  options.environment = environment;
  return Run(program, arguments, options);
}

ProcessResult Subprocess::Run(const std::string& program, const std::vector<std::string>& arguments,
                              const SubprocessOptions& options) {
  IgnoreBrokenPipes();
  ProcessResult result;
  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    CloseAll({in[0], in[1], out[0], out[1], err[0], err[1]});
    result.err = "cannot make pipes";
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  Subprocess child(Spawn(program, arguments, options, &actions, &result.err), options.ownGroup);
  posix_spawn_file_actions_destroy(&actions);
  CloseAll({in[0], out[1], err[1]});
  if (!child.started()) {
    CloseAll({in[1], out[0], err[0]});
    return result;
  }

  const bool timed = options.timeout.count() > 0;
  auto deadline = Clock::now() + options.timeout;
  std::size_t written = 0;
  int inFd = in[1];
  if (options.input.empty()) {
    close(inFd);
    inFd = -1;
  } else {
    // poll promises room for one pipe buffer only: a blocking write of more would wait
    // for a child that is itself waiting for its output to be read.
    fcntl(inFd, F_SETFL, fcntl(inFd, F_GETFL) | O_NONBLOCK);
  }
  std::string* sinks[2] = {&result.out, &result.err};
  int fds[2] = {out[0], err[0]};
  while (fds[0] >= 0 || fds[1] >= 0) {
    int wait = -1;
    if (timed) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) {
        if (result.timedOut) break;  // killed, and the pipes are still held open
        result.timedOut = true;
        child.Signal(SIGKILL);
        deadline = Clock::now() + kDrainAfterKill;
        continue;
      }
      wait = static_cast<int>(left.count());
    }
    pollfd polled[3] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}, {inFd, POLLOUT, 0}};
    const int ready = poll(polled, 3, wait);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i] < 0 || polled[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds[i], buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[i]);
        fds[i] = -1;
      }
    }
    if (inFd >= 0 && polled[2].revents != 0) {
      const ssize_t put = write(inFd, options.input.data() + written, options.input.size() - written);
      if (put > 0) written += static_cast<std::size_t>(put);
      const bool full = put < 0 && (errno == EAGAIN || errno == EINTR);
      if ((put < 0 && !full) || written == options.input.size()) {
        close(inFd);
        inFd = -1;
      }
    }
  }
  CloseAll({inFd, fds[0], fds[1]});
  result.status = child.Wait();
  return result;
}

Subprocess Subprocess::Start(const std::string& program, const std::vector<std::string>& arguments,
                             const SubprocessOptions& options) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!options.inheritStreams) {
    for (int fd = 0; fd < 3; ++fd) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
  }
  const pid_t pid = Spawn(program, arguments, options, &actions, nullptr);
  posix_spawn_file_actions_destroy(&actions);
  return Subprocess(pid, options.ownGroup);
}

Subprocess::~Subprocess() {
  if (pid_ > 0) Kill(SIGKILL);
}

Subprocess::Subprocess(Subprocess&& other) noexcept : pid_(other.pid_), ownGroup_(other.ownGroup_) {
  other.pid_ = -1;
}

Subprocess& Subprocess::operator=(Subprocess&& other) noexcept {
  if (this != &other) {
    if (pid_ > 0) Kill(SIGKILL);
    pid_ = other.pid_;
    ownGroup_ = other.ownGroup_;
    other.pid_ = -1;
  }
  return *this;
}

int Subprocess::Wait() {
  if (pid_ <= 0) return -1;
  const int status = WaitForPid(pid_);
  pid_ = -1;
  return status;
}

int Subprocess::WaitForPid(pid_t pid) {
  int raw = 0;
  while (waitpid(pid, &raw, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return StatusOf(raw);
}

std::optional<int> Subprocess::WaitFor(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return -1;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    int raw = 0;
    const pid_t done = waitpid(pid_, &raw, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      return StatusOf(raw);
    }
    if (done < 0 && errno != EINTR) {
      pid_ = -1;
      return -1;
    }
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

void Subprocess::Signal(int signal) const {
  if (pid_ <= 0) return;
  // The group may already be gone while its leader waits to be reaped.
  if (!ownGroup_ || ::kill(-pid_, signal) != 0) ::kill(pid_, signal);
}

int Subprocess::Kill(int signal) {
  Signal(signal);
  return Wait();
}

}  // namespace tallimor::testing
