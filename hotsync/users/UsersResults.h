// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Results of the HotSync users library beyond the shared codes of
// store/ResultCodes.h. They are negative so that a failed name query can never be
// mistaken for a name length.
#pragma once

#include <string>

#include "store/ResultCodes.h"

namespace tallimor {

inline constexpr Result kUsersErrUnknownUser = -3001;   // no user with that id
inline constexpr Result kUsersErrBadIndex = -3002;      // index outside 0 to count - 1
inline constexpr Result kUsersErrBadName = -3003;       // user name empty, too long or with control bytes
inline constexpr Result kUsersErrNameTaken = -3004;     // a user of that name exists already
inline constexpr Result kUsersErrIdTaken = -3005;       // a user with that id exists already
inline constexpr Result kUsersErrBadId = -3006;         // the id 0xFFFFFFFF, which stands for no user
inline constexpr Result kUsersErrBadKey = -3007;        // section or key empty or longer than 255 bytes
inline constexpr Result kUsersErrTooMany = -3008;       // too many users, or values for one user
inline constexpr Result kUsersErrFileTooLarge = -3009;  // the users file is larger than any real one
inline constexpr Result kUsersErrNoDirectory = -3010;   // no free directory name for the user
inline constexpr Result kUsersErrBadFile = -3011;       // the users file is no text or cannot be read
inline constexpr Result kUsersErrUnusableEntry = -3012; // the user's entry in the file cannot be used

// One line of English for a result of this library or a shared one. When the last
// failure of this thread with that result recorded particulars (the file and line,
// say), they follow the meaning; the text then stays valid until the next call on
// this thread.
const char* UsersResultMeaning(Result result);

// Records the particulars of a failure with `result` for UsersResultMeaning, in
// place of any earlier ones of this thread. An empty text forgets them.
void SetUsersResultDetail(Result result, std::string detail);

}  // namespace tallimor
