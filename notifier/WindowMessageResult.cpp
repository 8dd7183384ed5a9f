// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Texts for the window-message transport's results, for the desktop program's error
// messages and for logs.
#include "notifier/WindowMessageResult.h"

#include "store/CodeMeaning.h"

namespace tallimor {

namespace {

constexpr CodeMeaning kMeanings[] = {
    {kWmNoWindow, "the desktop program is not running"},
    {kWmTimeout, "the other program did not answer in time"},
    {kWmPeerClosed, "the other program closed the connection before a whole message arrived"},
    {kWmMalformed, "the other program sent something that is not a window message"},
    {kWmForeignPeer, "the other program runs as another user"},
    {kWmAlreadyRunning, "the desktop program is already running"},
    {kWmPathInUse, "the message socket's name is taken by a file that is not a socket"},
    {kWmPathTooLong, "the message socket's path is too long"},
    {kWmUnsafeDirectory,
     "the runtime directory is not a directory private to this user (it must be owned by "
     "the user, not a symbolic link, and closed to group and others)"},
    {kWmSystemError, "a system call failed"},
    {kWmNothingPending, "no client is waiting"},
    {kWmNotListening, "the message socket is not open"},
};

}  // namespace

const char* WindowMessageResultMeaning(Result result) {
  return FindCodeMeaning(kMeanings, result, ResultMeaning(result));
}

}  // namespace tallimor
