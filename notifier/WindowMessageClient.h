// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Sending a window message to another program of the same user, the stand-in for
// FindWindowA followed by SendMessageA: the program is found by its window class, and the
// call returns only when that program has handled the message and answered.
#pragma once

#include <cstdint>

#include "store/ResultCodes.h"

namespace tallimor {

// Sends message msg with wParam and lParam to the program listening under className in
// the runtime directory and waits for the handler's result, written to *result.
// kWmNoWindow when no program listens (including a socket file left by a crashed one);
// kWmTimeout when the whole exchange has not finished within timeoutMs; kWmPeerClosed or
// kWmMalformed when the program dropped the message or answered something else than a
// reply; kWmForeignPeer when the listener runs as another user (nothing is sent then).
// *result is changed only on kOk. Thread-safe; holds no state between calls.
Result SendWindowMessage(const char* className, std::uint32_t msg, std::uint64_t wParam,
                         std::int64_t lParam, std::int64_t* result, int timeoutMs);

}  // namespace tallimor
