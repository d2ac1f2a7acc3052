#include "tools/release_packer/release_packer.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>

#include "engine/install_engine.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/sha256.h"
#include "engine/platform/unicode.h"
#include "engine/verification.h"
#include "tools/release_packer/signing_key.h"

namespace nimbra::packer {

namespace fs = std::filesystem;

namespace {

void refuseName(const WalkEntry& entry) {
  const std::string name = entry.path.filename().string();
  if (!isValidUTF8(name)) {
    throw PackError("Rename " + repairedUTF8(entry.path.string()) + ": its name is not valid UTF-8.");
  }
  if (name.find('\\') != std::string::npos) {
    throw PackError("Rename " + entry.path.string() + ": a name in a package cannot contain a backslash.");
  }
  if (name.front() == '.') {
    throw PackError("Remove the hidden " + std::string(entry.isDirectory ? "folder " : "file ") +
                    entry.path.string() + " from the package.");
  }
  if (entry.isSymbolicLink) {
    throw PackError("Replace the symbolic link " + entry.path.string() + " by the file itself.");
  }
}

PayloadFile describe(const FileManager& fm, const fs::path& file, const std::string& relative) {
  Sha256 hash;
  const std::uint64_t size = fm.readFile(file, [&](std::string_view block) { hash.update(block); });
  return PayloadFile{relative, hash.hexDigest(), static_cast<std::int64_t>(size)};
}

PayloadPackage listPackage(FileManager& fm, const fs::path& payload, const PackageSource& source,
                           std::vector<fs::path>& leftOut) {
  const fs::path folder = payload / source.directory;
  if (source.directory.empty() || source.directory.find('/') != std::string::npos || !fm.isDirectory(folder) ||
      fm.isSymbolicLink(folder)) {
    throw PackError("The package folder for Rhino " + std::to_string(source.major) + " must be a folder directly in " +
                    payload.string() + ": " + folder.string());
  }
  PayloadPackage package{source.major, source.directory, {}};
  const bool opened = fm.walk(
      folder, Hidden::include,
      [&](const WalkEntry& entry) {
        // The Finder writes them again whenever someone looks: left out, not
        // refused, and gone from the folder that is packed, which must be
        // exactly its manifest.
        if (entry.isRegularFile && isFinderFile(entry.path)) {
          leftOut.push_back(entry.path);
          return false;
        }
        refuseName(entry);
        if (entry.isDirectory) return true;
        if (!fm.isRegularFile(entry.path)) {
          throw PackError("Remove " + entry.path.string() + ": a package holds only folders and regular files.");
        }
        package.files.push_back(describe(fm, entry.path, entry.relative.string()));
        return true;
      },
      [](const fs::filesystem_error& error) -> bool { throw error; });
  if (!opened) throw PackError("The package folder cannot be read: " + folder.string());
  for (const fs::path& file : leftOut) fm.removeItem(file);
  if (package.files.empty()) {
    throw PackError("The package for Rhino " + std::to_string(source.major) + " holds no files: " + folder.string());
  }
  // A stable manifest: the same folder always gives the same bytes.
  std::sort(package.files.begin(), package.files.end(),
            [](const PayloadFile& a, const PayloadFile& b) { return a.path < b.path; });
  return package;
}

}  // namespace

std::string encodeRelease(const Release& release) {
  nlohmann::ordered_json packages = nlohmann::ordered_json::array();
  for (const PayloadPackage& package : release.packages) {
    nlohmann::ordered_json files = nlohmann::ordered_json::array();
    for (const PayloadFile& file : package.files) {
      files.push_back({{"path", file.path}, {"sha256", file.sha256}, {"size", file.size}});
    }
    packages.push_back({{"major", package.major}, {"directory", package.directory}, {"files", std::move(files)}});
  }
  return nlohmann::ordered_json{{"version", release.version}, {"packages", std::move(packages)}}.dump(2) + "\n";
}

void signRelease(const fs::path& payload, const SigningKey& key) {
  FileManager& fm = FileManager::standard();
  const std::string bytes = fm.readWholeFile(payload / "release.json");
  fm.writeAtomically(payload / "release.json.sig", key.sign(bytes));
}

Packed packRelease(const fs::path& payload, const std::string& version, const std::vector<PackageSource>& packages,
                   const SigningKey* key) {
  FileManager& fm = FileManager::standard();
  std::set<std::int64_t> majors;
  for (const PackageSource& source : packages) {
    if (!majors.insert(source.major).second) {
      throw PackError("Give one package for each Rhino version; Rhino " + std::to_string(source.major) +
                      " has two.");
    }
  }
  if (packages.empty()) throw PackError("Give at least one package folder.");

  Packed packed{{version, {}}, {}};
  Release& release = packed.release;
  for (const PackageSource& source : packages) release.packages.push_back(listPackage(fm, payload, source, packed.leftOut));
  fm.writeAtomically(payload / "release.json", encodeRelease(release));
  // Unsigned, the check below still reads the manifest as an installer
  // does, through a signature by a key that is thrown away afterwards.
  const SigningKey signer = key ? *key : SigningKey::generate();
  const auto removeWritten = [&] {
    fs::remove(payload / "release.json");
    fs::remove(payload / "release.json.sig");
  };

  // The engine reads it back exactly as an installer will.
  try {
    signRelease(payload, signer);
    const InstallEngine engine(payload, payload, fm, {}, ReleaseKeys{signer.publicKey()});
    for (const PayloadPackage& package : engine.release().packages) {
      verify(fm, package, payload / package.directory);
    }
  } catch (const InstallError& error) {
    removeWritten();
    if (error.kind() == ErrorKind::invalidVersion) {
      throw PackError("The release version \"" + version +
                      "\" is not of the form 1.2.3, optionally followed by \".\" or \"-\" and letters, digits, "
                      "dots or hyphens.");
    }
    throw PackError(std::string("The installer would refuse this payload: ") + error.what());
  } catch (...) {
    removeWritten();
    throw;
  }
  if (!key) fs::remove(payload / "release.json.sig");
  return packed;
}

}  // namespace nimbra::packer
