#pragma once

// A home folder with Rhino package folders, Grasshopper library folders and an
// installer payload, for tests of the install transaction and recovery.

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/install_engine.h"
#include "engine/install_receipt.h"
#include "engine/platform/file_manager.h"
#include "tests/support/sandbox.h"

namespace nimbra::testing {

// Relative path below the home folder -> "dir", "file:<bytes>" or "link:<target>".
using Snapshot = std::map<std::string, std::string>;

class InstallSandbox {
 public:
  // A payload of release version with one package for each major in majors.
  explicit InstallSandbox(const std::string& version = "1.3.0", std::vector<std::int64_t> majors = {7, 8});

  // The folder holding the home folder and the installer.
  const std::filesystem::path& root() const { return folder_.path(); }
  const std::filesystem::path& home() const { return home_; }
  const std::filesystem::path& resources() const { return resources_; }
  const Release& release() const { return release_; }
  std::filesystem::path support() const;
  std::filesystem::path standardRoot(std::int64_t major) const;
  std::filesystem::path destination(std::int64_t major) const { return standardRoot(major) / "nimbra"; }
  std::filesystem::path sharedLibraries() const;
  RhinoTarget target(std::int64_t major) const;
  std::vector<RhinoTarget> targets(std::vector<std::int64_t> majors = {7, 8}) const;

  std::unique_ptr<InstallEngine> engine(FileManager& fm) const;
  std::unique_ptr<InstallEngine> engine() const;

  // An earlier install of version for major, as this installer leaves it.
  void deployEarlier(std::int64_t major, const std::string& version);
  // An upgrade of major from 1.2.0, cut off after its deploy: the earlier
  // copy in the backup folder name, this release in place, the receipt
  // "installing". Returns the backup folder.
  std::filesystem::path cutOffUpgrade(std::int64_t major, const std::string& name = "2025-01-01T00-00-00Z-AAAAAAAA");
  // A product .gha with distinct content at path.
  void writeProductFile(const std::filesystem::path& path, const std::string& tag);
  // A Grasshopper settings file that lists folder as an extra library folder.
  void listInSettings(const std::filesystem::path& folder);

  // The user's folders below home: everything except the installer's support
  // folder and its hidden staging folders (see stagingLeftovers).
  Snapshot snapshot() const;
  // The ".nimbra-install-" folders in the package roots.
  std::vector<std::filesystem::path> stagingLeftovers() const;

  std::vector<std::filesystem::path> backupFolders() const;
  InstallReceipt receiptIn(const std::filesystem::path& backupFolder) const;

 private:
  TemporaryFolder folder_;
  std::filesystem::path home_;
  std::filesystem::path resources_;
  Release release_;
};

// Every line of a snapshot that differs, for a readable failure message.
std::string differences(const Snapshot& expected, const Snapshot& actual);

}  // namespace nimbra::testing
