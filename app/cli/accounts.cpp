#include "app/cli/accounts.h"

#include <pwd.h>

#include <optional>

#include "engine/platform/person_ids.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {

// Why the account is not a person's that Nimbra can be installed for;
// nothing when it is one.
std::optional<std::string> notAPerson(const passwd& entry) {
  const std::string name = "\u201c" + std::string(entry.pw_name) + "\u201d";
  const std::string shell = entry.pw_shell != nullptr ? entry.pw_shell : "";
  std::error_code error;
  if (!isPersonId(entry.pw_uid)) {
    return name + " is a system account (user id " + std::to_string(entry.pw_uid) + "), not a person\u2019s.";
  }
  if (shell.ends_with("nologin") || shell.ends_with("/false")) return name + " cannot log in (its shell is " + shell + ").";
  if (entry.pw_dir == nullptr || !fs::is_directory(entry.pw_dir, error)) {
    return "The home folder of " + name + " (" + (entry.pw_dir != nullptr ? entry.pw_dir : "none") + ") does not exist.";
  }
  return std::nullopt;
}

Account accountOf(const passwd& entry) { return {entry.pw_name, entry.pw_uid, entry.pw_gid, entry.pw_dir}; }

}  // namespace

std::vector<Account> loginAccounts() {
  std::vector<Account> accounts;
  ::setpwent();
  while (const passwd* entry = ::getpwent()) {
    if (!notAPerson(*entry)) accounts.push_back(accountOf(*entry));
  }
  ::endpwent();
  return accounts;
}

std::variant<Account, std::string> accountNamed(const std::string& name) {
  const passwd* entry = ::getpwnam(name.c_str());
  if (entry == nullptr) return "There is no user named \u201c" + name + "\u201d on this machine.";
  if (const std::optional<std::string> why = notAPerson(*entry)) return *why;
  return accountOf(*entry);
}

}  // namespace nimbra::ui
