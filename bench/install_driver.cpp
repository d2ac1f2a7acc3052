// The engine side of the install comparison.
//
//   install_driver generate <payload> <files> <megabytes>
//       writes one package folder (Payload/Package) of that many files and bytes
//       in nested folders, and a release.json naming it for Rhino 7 and 8;
//   install_driver install <payload> <home>
//       installs it into both Rhino versions of a fresh home folder and prints
//       the engine's wall time and the bytes it hashed.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "engine/install_engine.h"
#include "tools/release_packer/release_packer.h"
#include "tools/release_packer/signing_key.h"

namespace fs = std::filesystem;
using namespace nimbra;

namespace {

int generate(const fs::path& payload, int files, double megabytes) {
  const fs::path package = payload / "Package";
  fs::remove_all(payload);
  std::mt19937_64 random(42);
  const std::size_t average = static_cast<std::size_t>(megabytes * 1e6 / files);
  std::string block(4 * average, '\0');
  for (char& c : block) c = static_cast<char>(random());
  for (int i = 0; i < files; ++i) {
    // Sizes from a few bytes to four times the average, in folders three deep.
    const std::size_t size = std::uniform_int_distribution<std::size_t>(1, 2 * average - 1)(random);
    const fs::path file = package / ("group" + std::to_string(i % 7)) / ("set" + std::to_string(i % 23)) /
                          ("part" + std::to_string(i % 5)) / ("file" + std::to_string(i) + ".bin");
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    const std::size_t offset = std::uniform_int_distribution<std::size_t>(0, block.size() - size)(random);
    out.write(block.data() + offset, static_cast<std::streamsize>(size));
  }
  const packer::SigningKey key = packer::SigningKey::read(NIMBRA_SIGNING_KEY_FILE);
  const Release release = packer::packRelease(payload, "1.0.0", {{7, "Package"}, {8, "Package"}}, &key).release;
  std::uint64_t bytes = 0;
  for (const PayloadFile& file : release.packages[0].files) bytes += static_cast<std::uint64_t>(file.size);
  std::printf("generated %zu files, %.1f MB\n", release.packages[0].files.size(), bytes / 1e6);
  return 0;
}

int install(const fs::path& payload, const fs::path& home) {
  const InstallEngine engine(payload, home);
  const std::vector<RhinoTarget> targets = {{7, "/Applications/Rhino 7.app", engine.standardRoot(7)},
                                            {8, "/Applications/Rhino 8.app", engine.standardRoot(8)}};
  const auto start = std::chrono::steady_clock::now();
  // Each progress text marks the start of a phase; their times show where the
  // install spends its time.
  engine.install(targets, std::vector<fs::path>{}, [&](const ProgressStep& step) {
    const double at = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("phase %.4f %s\n", at, step.text.c_str());
  });
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::uint64_t bytes = 0;
  for (const PayloadFile& file : engine.release().packages[0].files) bytes += static_cast<std::uint64_t>(file.size);
  // Each target: the payload, the staged copy and the deployed copy.
  std::printf("seconds %.4f bytes_hashed %llu\n", seconds, static_cast<unsigned long long>(bytes * 3 * targets.size()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "generate" && argc == 5) return generate(argv[2], std::stoi(argv[3]), std::stod(argv[4]));
    if (command == "install" && argc == 4) return install(argv[2], argv[3]);
    std::fprintf(stderr, "usage: install_driver generate <payload> <files> <MB> | install <payload> <home>\n");
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "install_driver: %s\n", error.what());
    return 1;
  }
}
