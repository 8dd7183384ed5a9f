// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// A library loaded with LD_PRELOAD into the HotSync program that makes file operations
// on chosen paths fail, after a given number of them have succeeded, as a full disk or
// an unwritable file or directory makes them fail. The suite runs as root, where
// permission bits stop nothing, and a small file system cannot always be mounted; this
// stands in for both, and, the program being single-threaded, fails the very same call
// in every run. Set by
//     TALLIMOR_DISK_FAULT="match=TEXT,after=N,errno=ENOSPC,ops=create+open+write+sync+rename+unlink+mkdir"
// with optional ",once" (only the first failing call fails, later ones work again) and
// ",report=FILE" (the number of matching calls so far is kept in FILE, so a test can
// learn how many calls a run makes and then fail each in turn).
//   match   the calls concern paths containing TEXT (for write and sync: the path the
//           descriptor was opened with for writing; for rename: either path)
//   after   how many matching calls of the chosen operations succeed first
//   errno   ENOSPC, EACCES, EROFS or EIO
//   ops     create: making a file (open with O_CREAT of a missing file, mkstemp and
//           its kin); open: opening an existing file for writing; write: write, pwrite,
//           writev; sync: fsync, fdatasync; rename; unlink; mkdir; lock: flock on a
//           descriptor opened on a matching path fails with EWOULDBLOCK whatever errno
//           says, as when another program holds the file
// It is built without the sanitizers: it only forwards calls, and must not depend on
// the runtime of the program it is loaded into.
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum Op : unsigned {
  kCreate = 1,
  kOpen = 2,
  kWrite = 4,
  kSync = 8,
  kRename = 16,
  kUnlink = 32,
  kMkdir = 64,
  kLock = 128,
};

struct Settings {
  bool parsed = false;
  char match[1024] = {};
  unsigned long after = 0;
  int error = ENOSPC;
  unsigned ops = 0;
  bool once = false;
  char report[1024] = {};
};

Settings gSettings;
unsigned long gMatching = 0;  // matching calls of the chosen operations so far
bool gFailed = false;         // one has failed (for `once`)
constexpr int kTrackedFds = 4096;
bool gTracked[kTrackedFds];  // descriptors opened for writing on matching paths
bool gOpened[kTrackedFds];   // descriptors opened on matching paths in any mode (for lock)

template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Copies the value of `field` (up to ',' or the end) into `out`.
void CopyValue(const char* value, char* out, std::size_t size) {
  std::size_t n = 0;
  while (value[n] != '\0' && value[n] != ',' && n + 1 < size) {
    out[n] = value[n];
    ++n;
  }
  out[n] = '\0';
}

unsigned ParseOps(const char* value) {
  static const struct {
    const char* name;
    unsigned op;
  } kOps[] = {{"create", kCreate}, {"open", kOpen},     {"write", kWrite}, {"sync", kSync},
              {"rename", kRename}, {"unlink", kUnlink}, {"mkdir", kMkdir}, {"lock", kLock}};
  unsigned ops = 0;
  while (*value != '\0' && *value != ',') {
    for (const auto& entry : kOps) {
      const std::size_t length = std::strlen(entry.name);
      if (std::strncmp(value, entry.name, length) == 0) ops |= entry.op;
    }
    while (*value != '\0' && *value != ',' && *value != '+') ++value;
    if (*value == '+') ++value;
  }
  return ops;
}

int ParseErrno(const char* value) {
  if (std::strncmp(value, "EACCES", 6) == 0) return EACCES;
  if (std::strncmp(value, "EROFS", 5) == 0) return EROFS;
  if (std::strncmp(value, "EIO", 3) == 0) return EIO;
  return ENOSPC;
}

const Settings& Get() {
  if (gSettings.parsed) return gSettings;
  gSettings.parsed = true;
  const char* text = std::getenv("TALLIMOR_DISK_FAULT");
  for (const char* field = text; field != nullptr && *field != '\0';) {
    if (std::strncmp(field, "match=", 6) == 0) CopyValue(field + 6, gSettings.match, sizeof gSettings.match);
    if (std::strncmp(field, "after=", 6) == 0) gSettings.after = std::strtoul(field + 6, nullptr, 10);
    if (std::strncmp(field, "errno=", 6) == 0) gSettings.error = ParseErrno(field + 6);
    if (std::strncmp(field, "ops=", 4) == 0) gSettings.ops = ParseOps(field + 4);
    if (std::strncmp(field, "once", 4) == 0) gSettings.once = true;
    if (std::strncmp(field, "report=", 7) == 0) CopyValue(field + 7, gSettings.report, sizeof gSettings.report);
    field = std::strchr(field, ',');
    if (field != nullptr) ++field;
  }
  return gSettings;
}

bool Matches(const char* path) {
  const Settings& settings = Get();
  return path != nullptr && settings.match[0] != '\0' && std::strstr(path, settings.match) != nullptr;
}

// The path `path` names relative to directory descriptor `dirfd`, in `buffer`.
const char* PathAt(int dirfd, const char* path, char* buffer, std::size_t size) {
  if (path == nullptr || path[0] == '/' || dirfd == AT_FDCWD) return path;
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
  const ssize_t n = readlink(link, buffer, size - 1);
  if (n <= 0) return path;
  buffer[n] = '\0';
  std::snprintf(buffer + n, size - static_cast<std::size_t>(n), "/%s", path);
  return buffer;
}

// Writes the number of matching calls so far to the report file. After every call, not
// at exit: a program may end with _exit, and a killed one never ends at all.
void Report() {
  const Settings& settings = Get();
  if (settings.report[0] == '\0') return;
  static auto realOpen = Real<int (*)(int, const char*, int, ...)>("openat");
  static auto realWrite = Real<ssize_t (*)(int, const void*, size_t)>("write");
  static auto realClose = Real<int (*)(int)>("close");
  const int saved = errno;
  const int fd = realOpen(AT_FDCWD, settings.report, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd >= 0) {
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%lu\n", gMatching);
    (void)!realWrite(fd, text, static_cast<std::size_t>(length));
    realClose(fd);
  }
  errno = saved;
}

// Counts a matching call of `op` and decides whether it fails (errno set).
bool Fails(unsigned op) {
  const Settings& settings = Get();
  if ((settings.ops & op) == 0) return false;
  const unsigned long seen = gMatching++;
  Report();
  if (seen < settings.after || (settings.once && gFailed)) return false;
  gFailed = true;
  errno = settings.error;
  return true;
}

bool Tracked(int fd) { return fd >= 0 && fd < kTrackedFds && gTracked[fd]; }
void Track(int fd, bool on) {
  if (fd >= 0 && fd < kTrackedFds) gTracked[fd] = on;
}
bool Opened(int fd) { return fd >= 0 && fd < kTrackedFds && gOpened[fd]; }
void TrackOpened(int fd, bool on) {
  if (fd >= 0 && fd < kTrackedFds) gOpened[fd] = on;
}

// The operation an open with `flags` of `path` is, or 0 for one that only reads.
unsigned OpenOp(const char* path, int flags) {
  const bool writes = (flags & O_ACCMODE) != O_RDONLY;
  if ((flags & O_CREAT) != 0) {
    struct stat st {};
    if (stat(path, &st) != 0) return kCreate;
  }
  return writes ? kOpen : 0;
}

int OpenAt(int dirfd, const char* path, int flags, mode_t mode, const char* name) {
  using OpenAtFunction = int (*)(int, const char*, int, ...);
  static OpenAtFunction real = Real<OpenAtFunction>(name);
  char buffer[4096];
  const char* full = PathAt(dirfd, path, buffer, sizeof buffer);
  const unsigned op = Matches(full) ? OpenOp(full, flags) : 0;
  if (op != 0 && Fails(op)) return -1;
  const int fd = real(dirfd, path, flags, mode);
  if (fd >= 0) {
    Track(fd, op != 0);
    TrackOpened(fd, Matches(full));
  }
  return fd;
}

int TempFile(const char* name, char* pattern, int flags, int suffix) {
  if (Matches(pattern) && Fails(kCreate)) return -1;
  int fd = -1;
  if (std::strcmp(name, "mkstemp") == 0 || std::strcmp(name, "mkstemp64") == 0) {
    fd = Real<int (*)(char*)>(name)(pattern);
  } else if (std::strcmp(name, "mkostemp") == 0 || std::strcmp(name, "mkostemp64") == 0) {
    fd = Real<int (*)(char*, int)>(name)(pattern, flags);
  } else if (std::strcmp(name, "mkstemps") == 0 || std::strcmp(name, "mkstemps64") == 0) {
    fd = Real<int (*)(char*, int)>(name)(pattern, suffix);
  } else {
    fd = Real<int (*)(char*, int, int)>(name)(pattern, suffix, flags);
  }
  if (fd >= 0) {
    Track(fd, Matches(pattern));
    TrackOpened(fd, Matches(pattern));
  }
  return fd;
}

mode_t ModeOf(int flags, va_list args) {
  return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return OpenAt(AT_FDCWD, path, flags, mode, "openat");
}

int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return OpenAt(AT_FDCWD, path, flags, mode, "openat64");
}

int openat(int dirfd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return OpenAt(dirfd, path, flags, mode, "openat");
}

int openat64(int dirfd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return OpenAt(dirfd, path, flags, mode, "openat64");
}

int creat(const char* path, mode_t mode) { return OpenAt(AT_FDCWD, path, O_CREAT | O_WRONLY | O_TRUNC, mode, "openat"); }
int creat64(const char* path, mode_t mode) {
  return OpenAt(AT_FDCWD, path, O_CREAT | O_WRONLY | O_TRUNC, mode, "openat64");
}

int mkstemp(char* pattern) { return TempFile("mkstemp", pattern, 0, 0); }
int mkstemp64(char* pattern) { return TempFile("mkstemp64", pattern, 0, 0); }
int mkostemp(char* pattern, int flags) { return TempFile("mkostemp", pattern, flags, 0); }
int mkostemp64(char* pattern, int flags) { return TempFile("mkostemp64", pattern, flags, 0); }
int mkstemps(char* pattern, int suffix) { return TempFile("mkstemps", pattern, 0, suffix); }
int mkostemps(char* pattern, int suffix, int flags) { return TempFile("mkostemps", pattern, flags, suffix); }

ssize_t write(int fd, const void* data, size_t size) {
  static auto real = Real<ssize_t (*)(int, const void*, size_t)>("write");
  if (Tracked(fd) && Fails(kWrite)) return -1;
  return real(fd, data, size);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
  static auto real = Real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
  if (Tracked(fd) && Fails(kWrite)) return -1;
  return real(fd, data, size, offset);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off_t offset) {
  static auto real = Real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite64");
  if (Tracked(fd) && Fails(kWrite)) return -1;
  return real(fd, data, size, offset);
}

ssize_t writev(int fd, const struct iovec* vector, int count) {
  static auto real = Real<ssize_t (*)(int, const struct iovec*, int)>("writev");
  if (Tracked(fd) && Fails(kWrite)) return -1;
  return real(fd, vector, count);
}

int fsync(int fd) {
  static auto real = Real<int (*)(int)>("fsync");
  if (Tracked(fd) && Fails(kSync)) return -1;
  return real(fd);
}

int fdatasync(int fd) {
  static auto real = Real<int (*)(int)>("fdatasync");
  if (Tracked(fd) && Fails(kSync)) return -1;
  return real(fd);
}

int close(int fd) {
  static auto real = Real<int (*)(int)>("close");
  Track(fd, false);
  TrackOpened(fd, false);
  return real(fd);
}

int rename(const char* from, const char* to) {
  static auto real = Real<int (*)(const char*, const char*)>("rename");
  if ((Matches(from) || Matches(to)) && Fails(kRename)) return -1;
  return real(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
  static auto real = Real<int (*)(int, const char*, int, const char*)>("renameat");
  char fromBuffer[4096], toBuffer[4096];
  if ((Matches(PathAt(fromDir, from, fromBuffer, sizeof fromBuffer)) ||
       Matches(PathAt(toDir, to, toBuffer, sizeof toBuffer))) &&
      Fails(kRename)) {
    return -1;
  }
  return real(fromDir, from, toDir, to);
}

int unlink(const char* path) {
  static auto real = Real<int (*)(const char*)>("unlink");
  if (Matches(path) && Fails(kUnlink)) return -1;
  return real(path);
}

int unlinkat(int dirfd, const char* path, int flags) {
  static auto real = Real<int (*)(int, const char*, int)>("unlinkat");
  char buffer[4096];
  if (Matches(PathAt(dirfd, path, buffer, sizeof buffer)) && Fails(kUnlink)) return -1;
  return real(dirfd, path, flags);
}

int mkdir(const char* path, mode_t mode) {
  static auto real = Real<int (*)(const char*, mode_t)>("mkdir");
  if (Matches(path) && Fails(kMkdir)) return -1;
  return real(path, mode);
}

int flock(int fd, int operation) {
  static auto real = Real<int (*)(int, int)>("flock");
  if ((operation & (LOCK_EX | LOCK_SH)) != 0 && Opened(fd) && Fails(kLock)) {
    errno = EWOULDBLOCK;
    return -1;
  }
  return real(fd, operation);
}

}  // extern "C"
