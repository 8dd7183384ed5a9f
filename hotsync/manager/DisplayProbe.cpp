// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The display check: the environment variables Qt itself reads, and a connection to
// the server they name. Only a local X display (":N", "unix:N") or a Wayland socket
// is tried; an X display on another host is taken on trust, since reaching it is
// the X library's business and may need authentication this check cannot do.
#include "hotsync/manager/DisplayProbe.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace tallimor {
namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

// Connects to a Unix socket: an abstract one when `abstract`, else the path.
bool Answers(const std::string& name, bool abstract) {
  sockaddr_un address {};
  address.sun_family = AF_UNIX;
  const std::size_t offset = abstract ? 1 : 0;
  if (name.size() + offset >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path + offset, name.data(), name.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + name.size() + (abstract ? 0 : 1));
  const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
  ::close(fd);
  return connected;
}

// The X display: true when a local server answers, or the display is on another host.
bool XDisplayAnswers(const std::string& display) {
  const std::size_t colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = display.substr(0, colon);
  std::string number = display.substr(colon + 1);
  number = number.substr(0, number.find('.'));
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
  if (!host.empty() && host != "unix") return true;  // on another host: taken on trust
  const std::string socket = "/tmp/.X11-unix/X" + number;
  return Answers(socket, true) || Answers(socket, false);
}

bool WaylandAnswers(const std::string& display) {
  if (!display.empty() && display.front() == '/') return Answers(display, false);
  const std::string runtime = Variable("XDG_RUNTIME_DIR");
  return !runtime.empty() && Answers(runtime + "/" + display, false);
}

}  // namespace

bool DisplayProbe::CanShowDialog(std::string* why) {
  // Qt takes the first of a ';'-separated list of platforms, with ':'-separated options.
  const std::string platforms = Variable("QT_QPA_PLATFORM");
  const std::string platform = platforms.substr(0, platforms.find_first_of(";:"));
  if (platform == "offscreen" || platform == "minimal") {
    *why = "QT_QPA_PLATFORM=" + platform + " shows no window, so the dialog could never be answered";
    return false;
  }
  const bool anyPlatform = platform.empty();
  if (!anyPlatform && platform != "xcb" && platform.rfind("wayland", 0) != 0) return true;  // eglfs, vnc, ...

  const std::string wayland = Variable("WAYLAND_DISPLAY");
  const std::string x = Variable("DISPLAY");
  if ((anyPlatform || platform != "xcb") && !wayland.empty() && WaylandAnswers(wayland)) return true;
  if ((anyPlatform || platform == "xcb") && !x.empty() && XDisplayAnswers(x)) return true;
  if (wayland.empty() && x.empty()) {
    *why = "neither DISPLAY nor WAYLAND_DISPLAY is set";
  } else if (!x.empty()) {
    *why = "no display server answers on DISPLAY=" + x;
  } else {
    *why = "no display server answers on WAYLAND_DISPLAY=" + wayland;
  }
  return false;
}

}  // namespace tallimor
