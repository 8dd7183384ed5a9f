// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Results of the window-message transport (the stand-in for FindWindowA/SendMessageA
// between programs). They sit in their own range, apart from the record store's codes
// in store/ResultCodes.h, and never reach a file or the HotSync manager.
#pragma once

#include "store/ResultCodes.h"

namespace tallimor {

inline constexpr Result kWmNoWindow = -3001;         // nothing listens there (no socket, or a stale one)
inline constexpr Result kWmTimeout = -3002;          // the other end did not act in time
inline constexpr Result kWmPeerClosed = -3003;       // the other end closed before a whole message
inline constexpr Result kWmMalformed = -3004;        // bytes that are not a message of this format
inline constexpr Result kWmForeignPeer = -3005;      // the other end runs as another user
inline constexpr Result kWmAlreadyRunning = -3006;   // a program already answers under that name
inline constexpr Result kWmPathInUse = -3007;        // the socket's name is taken by something else
inline constexpr Result kWmPathTooLong = -3008;      // the path does not fit a socket address
inline constexpr Result kWmUnsafeDirectory = -3009;  // runtime directory not private to this user
inline constexpr Result kWmSystemError = -3010;      // a system call failed (errno has the reason)
inline constexpr Result kWmNothingPending = -3011;   // no client is waiting
inline constexpr Result kWmNotListening = -3012;     // the server has no socket

// One line of English saying what a transport result means; other codes go to ResultMeaning.
const char* WindowMessageResultMeaning(Result result);

}  // namespace tallimor
