// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the window placement kept in Tallimor.ini: arbitrary text as the
// "Position"/"MainFrame" value, read the way the main frame restores itself (profile,
// ten-integer parse, placement given to a real window on Qt's offscreen platform).
// Whatever parses must come back unchanged through the format the program writes, and
// giving it to a window must leave the window a sane, non-empty geometry.
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QWidget>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "desktop/CProfile.h"
#include "desktop/WidgetPlacement.h"
#include "desktop/WindowPlacement.h"

namespace {

std::string ScratchPath() {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/tallimor-placement-fuzz-" + std::to_string(getpid()) + ".ini";
}

bool Same(const tallimor::WindowPlacement& a, const tallimor::WindowPlacement& b) {
  return a.flags == b.flags && a.showCommand == b.showCommand && a.minX == b.minX &&
         a.minY == b.minY && a.maxX == b.maxX && a.maxY == b.maxY && a.left == b.left &&
         a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

QWidget* Window() {
  static int argc = 1;
  static char name[] = "WindowPlacement_fuzz";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return new QApplication(argc, argv);
  }();
  (void)app;
  static QWidget* window = new QWidget;
  return window;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tallimor;
  const std::string text(reinterpret_cast<const char*>(data), size);

  // The parser alone, on every byte string.
  const std::optional<WindowPlacement> direct = ParseWindowPlacement(text);
  if (direct) {
    const std::optional<WindowPlacement> again = ParseWindowPlacement(FormatWindowPlacement(*direct));
    if (!again || !Same(*again, *direct)) std::abort();
  }

  // The main frame's restore: the value as the profile gives it back.
  static const std::string path = ScratchPath();
  std::remove(path.c_str());
  CProfile profile(path);
  if (profile.WriteString("Position", "MainFrame", text) != kOk) return 0;  // line breaks
  const std::optional<WindowPlacement> placement =
      ParseWindowPlacement(profile.GetString("Position", "MainFrame"));
  std::remove(path.c_str());
  if (!placement) return 0;
  QWidget* window = Window();
  window->setGeometry(10, 10, 100, 80);
  ApplyPlacement(*window, *placement);
  (void)placement->ShowsMaximized();
  const QRect geometry = window->geometry();
  if (geometry.width() <= 0 || geometry.height() <= 0) std::abort();
  return 0;
}
