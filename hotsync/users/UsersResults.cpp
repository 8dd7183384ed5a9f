// Meanings of the users library's own results, as one table in code order.
#include "hotsync/users/UsersResults.h"

namespace tallimor {
namespace {

struct Meaning {
  Result code;
  const char* text;
};

constexpr Meaning kMeanings[] = {
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
};

}  // namespace

const char* UsersResultMeaning(Result result) {
  for (const Meaning& m : kMeanings) {
    if (m.code == result) return m.text;
  }
  return ResultMeaning(result);
}

}  // namespace tallimor
