// nimbra-pack: writes and signs the release manifest of an installer payload.
//
//   nimbra-pack [--key <private key>] <payload folder> <version> <major>=<folder> ...
//   nimbra-pack keygen <folder>
//   nimbra-pack public-key <private key> <public key file>
//
// Each package folder lies directly in the payload folder. With --key the
// manifest is signed into release.json.sig. keygen writes a new Ed25519 key
// pair; public-key writes the public half of a private key in the form the
// build embeds. Prints what it wrote on success; prints the refusal and exits
// 1 otherwise, 2 for bad usage.

#include <charconv>
#include <iostream>
#include <optional>

#include "engine/platform/file_manager.h"
#include "tools/release_packer/release_packer.h"
#include "tools/release_packer/signing_key.h"

namespace {

using namespace nimbra::packer;

constexpr const char* kUsage =
    "usage: nimbra-pack [--key <private key>] <payload folder> <version> <major>=<folder> [<major>=<folder> ...]\n"
    "       nimbra-pack keygen <folder>\n"
    "       nimbra-pack public-key <private key> <public key file>\n";

std::optional<PackageSource> packageSource(const std::string& argument) {
  const std::size_t equals = argument.find('=');
  PackageSource source;
  const auto [end, error] =
      std::from_chars(argument.data(), argument.data() + std::min(equals, argument.size()), source.major);
  if (equals == std::string::npos || error != std::errc() || end != argument.data() + equals) return std::nullopt;
  source.directory = argument.substr(equals + 1);
  return source;
}

int pack(const std::vector<std::string>& arguments) {
  std::size_t first = 0;
  std::optional<SigningKey> key;
  if (arguments.size() >= 2 && arguments[0] == "--key") {
    key = SigningKey::read(arguments[1]);
    first = 2;
  }
  if (arguments.size() < first + 3) {
    std::cerr << kUsage;
    return 2;
  }
  std::vector<PackageSource> packages;
  for (std::size_t i = first + 2; i < arguments.size(); ++i) {
    const std::optional<PackageSource> source = packageSource(arguments[i]);
    if (!source) {
      std::cerr << "nimbra-pack: \"" << arguments[i] << "\" is not <major>=<folder>, such as 8=Rhino8.\n";
      return 2;
    }
    packages.push_back(*source);
  }
  const Packed packed = packRelease(arguments[first], arguments[first + 1], packages, key ? &*key : nullptr);
  for (const std::filesystem::path& file : packed.leftOut) {
    std::cout << "Left out the Finder's file " << file.string() << ": the Finder writes it, it is no part of a package.\n";
  }
  std::cout << arguments[first] << "/release.json" << (key ? " (signed)" : " (not signed)") << "\n";
  return 0;
}

int run(const std::vector<std::string>& arguments) {
  if (!arguments.empty() && arguments[0] == "keygen") {
    if (arguments.size() != 2) return std::cerr << kUsage, 2;
    writeKeyPair(arguments[1]);
    std::cout << arguments[1] << "/" << kPrivateKeyFile << " (keep it secret, out of the repository)\n"
              << arguments[1] << "/" << kPublicKeyFile << "\n";
    return 0;
  }
  if (!arguments.empty() && arguments[0] == "public-key") {
    if (arguments.size() != 3) return std::cerr << kUsage, 2;
    const SigningKey key = SigningKey::read(arguments[1]);
    nimbra::FileManager::standard().writeAtomically(arguments[2], publicKeyText(key.publicKey()));
    return 0;
  }
  return pack(arguments);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& error) {
    std::cerr << "nimbra-pack: " << error.what() << "\n";
    return 1;
  }
}
