// Fuzzes the users file reader with arbitrary contents. Whatever it accepts must be
// safe to use (a directory inside the root, unique ids) and must be written back
// and read again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>

#include "hotsync/users/UsersFile.h"

namespace {

bool Same(const tallimor::HotSyncUser& a, const tallimor::HotSyncUser& b) {
  if (a.id != b.id || a.name != b.name || a.directory != b.directory ||
      a.values.size() != b.values.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.values.size(); ++i) {
    if (a.values[i].section != b.values[i].section || a.values[i].key != b.values[i].key ||
        a.values[i].value != b.values[i].value) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tallimor::UsersFile;
  const auto users = UsersFile::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  std::set<std::uint32_t> ids;
  for (const auto& user : users) {
    if (!UsersFile::IsValidDirectory(user.directory) || !ids.insert(user.id).second ||
        user.id == UsersFile::kNoUser || user.values.size() > UsersFile::kMaxValuesPerUser) {
      std::abort();
    }
  }
  const auto again = UsersFile::Parse(UsersFile::Format(users));
  if (again.size() != users.size()) std::abort();
  for (std::size_t i = 0; i < users.size(); ++i) {
    if (!Same(users[i], again[i])) std::abort();
  }
  return 0;
}
