// nimbra-pack: writes the release manifest of an installer payload.
//
//   nimbra-pack <payload folder> <version> <major>=<folder> [<major>=<folder> ...]
//
// Each folder lies directly in the payload folder. Prints the manifest's path
// on success; prints the refusal and exits 1 otherwise.

#include <charconv>
#include <cstdio>
#include <iostream>

#include "tools/release_packer/release_packer.h"

int main(int argc, char** argv) {
  using namespace nimbra::packer;
  if (argc < 4) {
    std::cerr << "usage: nimbra-pack <payload folder> <version> <major>=<folder> [<major>=<folder> ...]\n";
    return 2;
  }
  std::vector<PackageSource> packages;
  for (int i = 3; i < argc; ++i) {
    const std::string argument = argv[i];
    const std::size_t equals = argument.find('=');
    PackageSource source;
    const auto [end, error] = std::from_chars(argument.data(), argument.data() + std::min(equals, argument.size()),
                                              source.major);
    if (equals == std::string::npos || error != std::errc() || end != argument.data() + equals) {
      std::cerr << "nimbra-pack: \"" << argument << "\" is not <major>=<folder>, such as 8=Rhino8.\n";
      return 2;
    }
    source.directory = argument.substr(equals + 1);
    packages.push_back(source);
  }
  try {
    packRelease(argv[1], argv[2], packages);
    std::cout << std::string(argv[1]) + "/release.json\n";
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "nimbra-pack: " << error.what() << "\n";
    return 1;
  }
}
