#pragma once

// Where this process lives: the user's home folder and its own executable.

#include <filesystem>

namespace nimbra {

// The user's home folder: $HOME, else the password database.
std::filesystem::path homeFolder();

// The running executable's own location (/proc/self/exe on Linux,
// _NSGetExecutablePath on a Mac), links resolved.
std::filesystem::path currentExecutable();

}  // namespace nimbra
