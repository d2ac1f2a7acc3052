#pragma once

// Recovery of installs that were cut off (power loss, a forced quit, a
// crash): each is undone from its receipt and backup folder, once what is on
// disk has been proven to be exactly what such an install leaves.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/install_receipt.h"
#include "engine/progress.h"
#include "engine/rhino_target.h"

namespace nimbra {

class InstallEngine;

class Recovery {
 public:
  explicit Recovery(const InstallEngine& engine) : engine_(engine) {}

  // How many receipts recoverInterrupted would act on (or refuse): one step
  // each. Never throws.
  std::size_t pending() const;

  // Undoes every install that was cut off (receipt "installing" or
  // "recovery-required"), one step each, after proving that what is on disk
  // is exactly what such an install leaves and that the receipt names only
  // places this installer writes (checkPlaces; targets: the Rhinos whose
  // package roots it may name). Refuses otherwise with a message naming the
  // backup folder (an unreadable receipt: naming the file), having changed
  // nothing for that receipt. REQUIRES: the install lock is held.
  void recoverInterrupted(StepCounter& steps, const std::vector<RhinoTarget>& targets = {}) const;
  // The same as an operation of its own: its steps are all there are.
  void recoverInterrupted(const Progress& progress, const std::vector<RhinoTarget>& targets = {}) const {
    StepCounter steps(progress, pending());
    recoverInterrupted(steps, targets);
  }

  // Makes every check recoverInterrupted makes, changing nothing: throws what
  // it would refuse with. Takes no lock; for refusing before anyone is
  // disturbed.
  void checkRecoverable(const std::vector<RhinoTarget>& targets) const;

 private:
  // Runs action on every receipt of an interrupted install, in listing order, once checked.
  using InterruptedAction = std::function<void(const std::filesystem::path& entry, InstallReceipt& receipt,
                                               const std::vector<std::string>& deploys)>;
  void forEachInterrupted(const std::vector<RhinoTarget>& targets, const InterruptedAction& action) const;
  void checkInterrupted(const std::filesystem::path& entry, const InstallReceipt& receipt,
                        const std::vector<std::string>& deploys) const;
  void checkDeployed(const std::filesystem::path& entry, const std::string& version,
                     const std::filesystem::path& deployed) const;

  const InstallEngine& engine_;
};

}  // namespace nimbra
