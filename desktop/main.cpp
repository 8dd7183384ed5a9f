// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// tallimor: the desktop program. Reads its command line, finds the HotSync root and the
// profile, and runs the application object.
#include <QApplication>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "crypto/ProcessHardening.h"
#include "desktop/CDesktopApp.h"
#include "desktop/DialogUnits.h"
#include "desktop/ProfileLocation.h"
#include "hotsync/users/HotSyncRoot.h"
#include "notifier/WindowMessageResult.h"

namespace {

constexpr char kUsage[] =
    "Usage: tallimor [--root DIR]\n"
    "\n"
    "The Tallimor desktop program: read and edit the password-protected memos of a\n"
    "HotSync user, kept in step with the handheld by HotSync.\n"
    "\n"
    "Options:\n"
    "      --root DIR  the HotSync root (default: $TALLIMOR_HOTSYNC_ROOT, else\n"
    "                  $XDG_DATA_HOME/Tallimor/HotSync, else ~/.local/share/Tallimor/HotSync)\n"
    "  -h, --help      show this help and exit\n"
    "  -V, --version   show the version and exit\n"
    "\n"
    "Settings are kept in Tallimor.ini beside the program when one stands there, else in\n"
    "$XDG_CONFIG_HOME/Tallimor/Tallimor.ini (default ~/.config/Tallimor/Tallimor.ini).\n"
    "\n"
    "While a user is open, the program holds a lock on desktop.lock beside that user's\n"
    "record.dat; another tallimor, from any session, is refused that user meanwhile.\n";

}  // namespace

int main(int argc, char** argv) {
  // Before anything secret is read: a core file or an attached debugger would show the
  // deciphered memos and the key.
  tallimor::ProcessHardening::HardenProcess();
  // Help and version first, before any Qt object: they need no display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) {
      std::printf("tallimor %s\n", tallimor::CDesktopApp::VersionText().toStdString().c_str());
      return 0;
    }
  }

  // Our own long options are checked before Qt starts, so that a mistyped one is
  // refused with a message even where no display can be had; single-dash options
  // (-platform, -display, ...) belong to Qt, which takes them out of argv below.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  bool platformGiven = platform != nullptr && *platform != '\0';
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--root") == 0) {
      ++i;
    } else if (std::strncmp(argv[i], "--", 2) == 0 && std::strncmp(argv[i], "--root=", 7) != 0) {
      std::fprintf(stderr, "tallimor: unknown argument '%s' (see --help)\n", argv[i]);
      return 2;
    } else if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "-display") == 0) {
      platformGiven = true;
    }
  }
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (!platformGiven && (display == nullptr || *display == '\0') &&
      (wayland == nullptr || *wayland == '\0')) {
    std::fputs("tallimor: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set)\n",
               stderr);
    return 1;
  }

  // QApplication takes its own options (-platform, -display, ...) out of argv.
  QApplication qapp(argc, argv);
  std::string root;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--root") == 0) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        std::fputs("tallimor: --root needs a directory\n", stderr);
        return 2;
      }
      root = argv[++i];
    } else if (std::strncmp(argv[i], "--root=", 7) == 0 && argv[i][7] != '\0') {
      root = argv[i] + 7;
    } else {
      std::fprintf(stderr, "tallimor: unknown argument '%s' (see --help)\n", argv[i]);
      return 2;
    }
  }
  QApplication::setApplicationName(QStringLiteral("Tallimor"));
  QApplication::setFont(tallimor::DialogFont());

  tallimor::DesktopOptions options;
  options.hotSyncRoot = tallimor::HotSyncRoot(root);
  options.profilePath = tallimor::LocateProfile(
      QCoreApplication::applicationDirPath().toStdString(), std::getenv("XDG_CONFIG_HOME"),
      std::getenv("HOME"));
  options.executableName =
      QFileInfo(QString::fromLocal8Bit(argv[0])).completeBaseName().toStdString();
  if (options.profilePath.empty()) {
    std::fputs("tallimor: no home directory for the settings (set HOME or XDG_CONFIG_HOME)\n",
               stderr);
    return 1;
  }

  tallimor::CDesktopApp app(std::move(options));
  if (!app.InitInstance()) {
    // A second start and a cancelled user dialog end quietly; a program that could not
    // set itself up has told the user why and ends with an error.
    bool failed = app.StartResult() != tallimor::kOk && app.StartResult() != tallimor::kWmAlreadyRunning;
    if (failed) std::fputs("tallimor: could not start (the message has been shown)\n", stderr);
    app.ExitInstance();
    return failed ? 1 : 0;
  }
  int status = QApplication::exec();
  app.ExitInstance();
  return status;
}
