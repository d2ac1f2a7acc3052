#pragma once

#include <filesystem>
#include <string>

namespace nimbra {

// A location as the engine records and compares it: lexically normal, without
// a trailing "/" (except the root itself). Apply once where a path enters.
std::filesystem::path location(const std::filesystem::path& path);

// The text of location(path), as written into receipts and messages.
std::string pathText(const std::filesystem::path& path);

// The extension of the last component without its dot ("" for ".hidden").
std::string extensionOf(const std::filesystem::path& path);

std::string lowercasedASCII(std::string text);


}  // namespace nimbra
