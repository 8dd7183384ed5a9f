// posix_spawn with three pipes. Spawning, unlike fork, does not copy the suite's page
// tables, which under AddressSanitizer are large enough to make every fork of the test
// process cost more than the program it starts; and it is safe from a threaded process.
#include "tests/reliability/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

extern char** environ;

namespace tallimor::reliability {
namespace {

std::vector<std::string>& BaseEnvironment() {
  static std::vector<std::string> base;
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
  CStrings envp;
  for (const std::string& entry : BaseEnvironment()) {
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

}  // namespace

void ChildProcess::CaptureBaseEnvironment() {
  BaseEnvironment().clear();
  for (char** entry = environ; *entry != nullptr; ++entry) BaseEnvironment().emplace_back(*entry);
  // A child that dies on a closed pipe must not take the suite with it.
  std::signal(SIGPIPE, SIG_IGN);
}

ChildResult ChildProcess::Run(const std::string& program, const std::vector<std::string>& arguments,
                              const std::string& input, const Environment& environment) {
  ChildResult result;
  CStrings argv = Arguments(program, arguments);
  CStrings envp = Variables(environment);
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
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.pointers.data(), envp.pointers.data()) != 0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  CloseAll({in[0], out[1], err[1]});
  if (pid < 0) {
    CloseAll({in[1], out[0], err[0]});
    result.err = "cannot start " + program;
    return result;
  }
  std::size_t written = 0;
  int inFd = in[1];
  if (input.empty()) {
    close(inFd);
    inFd = -1;
  }
  std::string* sinks[2] = {&result.out, &result.err};
  int fds[2] = {out[0], err[0]};
  while (fds[0] >= 0 || fds[1] >= 0) {
    pollfd polled[3] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}, {inFd, POLLOUT, 0}};
    if (poll(polled, 3, -1) < 0) {
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
      const ssize_t put = write(inFd, input.data() + written, input.size() - written);
      if (put > 0) written += static_cast<std::size_t>(put);
      if (put < 0 || written == input.size()) {
        close(inFd);
        inFd = -1;
      }
    }
  }
  if (inFd >= 0) close(inFd);
  result.status = Wait(pid);
  return result;
}

pid_t ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                          const Environment& environment) {
  CStrings argv = Arguments(program, arguments);
  CStrings envp = Variables(environment);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd < 3; ++fd) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.pointers.data(), envp.pointers.data()) != 0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int ChildProcess::Wait(pid_t pid) {
  int raw = 0;
  while (waitpid(pid, &raw, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return StatusOf(raw);
}

}  // namespace tallimor::reliability
