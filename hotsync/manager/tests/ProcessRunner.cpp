// fork and exec with three pipes; output is drained with poll while input is written,
// so a child that writes much before reading cannot deadlock the test.
#include "hotsync/manager/tests/ProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace tallimor::testing {
namespace {

std::vector<char*> Argv(const std::string& program, const std::vector<std::string>& arguments,
                        std::vector<std::string>* storage) {
  storage->clear();
  storage->push_back(program);
  storage->insert(storage->end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& s : *storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  return argv;
}

int StatusOf(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input) {
  ProcessResult result;
  std::vector<std::string> storage;
  std::vector<char*> argv = Argv(program, arguments, &storage);
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    execv(program.c_str(), argv.data());
    static const char kCannotRun[] = "ProcessRunner: cannot run the program\n";
    (void)!write(2, kCannotRun, sizeof kCannotRun - 1);
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  if (pid < 0) {
    close(in[1]);
    close(out[0]);
    close(err[0]);
    return result;
  }
  signal(SIGPIPE, SIG_IGN);
  std::size_t written = 0;
  int inFd = in[1];
  if (input.empty()) {
    close(inFd);
    inFd = -1;
  }
  std::string* sinks[2] = {&result.out, &result.err};
  int fds[2] = {out[0], err[0]};
  while (fds[0] >= 0 || fds[1] >= 0) {
    pollfd polled[3];
    nfds_t n = 0;
    for (int fd : fds) polled[n++] = {fd, POLLIN, 0};
    polled[n++] = {inFd, POLLOUT, 0};
    if (poll(polled, n, -1) < 0) {
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
  result.status = WaitProcess(pid);
  return result;
}

pid_t StartProcess(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> storage;
  std::vector<char*> argv = Argv(program, arguments, &storage);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

int WaitProcess(pid_t pid) {
  int raw = 0;
  while (waitpid(pid, &raw, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return StatusOf(raw);
}

}  // namespace tallimor::testing
