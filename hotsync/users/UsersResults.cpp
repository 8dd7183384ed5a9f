// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Meanings of the users library's own results, as one table in code order, and the
// particulars of the last failure, which callers that only print the meaning of a
// result still pass on to the user that way.
#include "hotsync/users/UsersResults.h"

#include <utility>

#include "store/CodeMeaning.h"

namespace tallimor {
namespace {

constexpr CodeMeaning kMeanings[] = {
    {kUsersErrUnknownUser, "there is no HotSync user with that id"},
    {kUsersErrBadIndex, "there is no HotSync user at that index"},
    {kUsersErrBadName, "a HotSync user name must be 1 to 63 bytes without control characters"},
    {kUsersErrNameTaken, "a HotSync user of that name exists already"},
    {kUsersErrIdTaken, "a HotSync user with that id exists already"},
    {kUsersErrBadId, "the user id 4294967295 stands for no user"},
    {kUsersErrBadKey, "a section or key must be 1 to 255 bytes"},
    {kUsersErrTooMany, "too many HotSync users, or too many values for one user"},
    {kUsersErrFileTooLarge, "the HotSync users file is too large to be a users file"},
    {kUsersErrNoDirectory, "no free directory name could be found for the user"},
    {kUsersErrBadFile, "the HotSync users file cannot be read, so nothing was changed"},
    {kUsersErrUnusableEntry,
     "the user's entry in the HotSync users file cannot be used; correct it by hand "
     "(nothing was changed)"},
};

struct Detail {
  Result code = kOk;
  std::string text;
  std::string shown;  // the meaning with the particulars, as last handed out
};

Detail& LastDetail() {
  thread_local Detail detail;
  return detail;
}

}  // namespace

void SetUsersResultDetail(Result result, std::string detail) {
  LastDetail().code = detail.empty() ? kOk : result;
  LastDetail().text = std::move(detail);
}

const char* UsersResultMeaning(Result result) {
  const char* text = FindCodeMeaning(kMeanings, result, ResultMeaning(result));
  Detail& detail = LastDetail();
  if (result == kOk || detail.code != result) return text;
  detail.shown = std::string(text) + ": " + detail.text;
  return detail.shown.c_str();
}

}  // namespace tallimor
