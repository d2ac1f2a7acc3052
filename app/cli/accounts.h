#pragma once

// Which accounts of a machine are people's: those an administrator installs
// for (--all-users, --user NAME).

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <variant>
#include <vector>

namespace nimbra::ui {

struct Account {
  std::string name;
  uid_t uid = 0;
  gid_t gid = 0;
  std::filesystem::path home;
};

// The people's accounts: entries of the password database with an ordinary
// user id (1000 and up here, 501 and up on a Mac, not the nobody account), a
// login shell, and a home folder that exists.
std::vector<Account> loginAccounts();

// The person's account of that name, or the sentence that says why it is none.
std::variant<Account, std::string> accountNamed(const std::string& name);

}  // namespace nimbra::ui
