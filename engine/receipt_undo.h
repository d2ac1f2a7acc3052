#pragma once

// Undoing what a receipt records, in the reverse of the order it was done:
// what a restore put back goes back into its earlier backup, the new copies
// go, and every backed-up item returns to its place, by a plain move or,
// across file systems, by its recorded cross-volume move. The roll-back of a
// failed install and the recovery of an interrupted one both run it.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/install_receipt.h"

namespace nimbra {

class FileManager;
class InstallLog;

// Where the roll-back and recovery differ.
struct UndoPolicy {
  // The log's word for each step ("Roll-back", "Recovery") and for the new
  // copies it removes ("new", "interrupted").
  std::string_view name;
  std::string_view copies;
  // Roll-back: a failure is noted and the rest goes on. Recovery: the first
  // failure stops it, with the receipt still naming what is left to undo.
  bool keepGoing = false;
  // Called with each place before an item moves back to it (the roll-back
  // refuses a link planted there since).
  std::function<void(const std::filesystem::path&)> beforeReturn;
};

// record writes the receipt durably (a cross-volume move records each step).
// Returns what failed when keepGoing; empty when everything was undone.
std::vector<std::string> undoReceipt(FileManager& fm, const InstallLog& log, InstallReceipt& receipt,
                                     const std::vector<std::filesystem::path>& deployed,
                                     const std::function<void()>& record, const UndoPolicy& policy);

}  // namespace nimbra
