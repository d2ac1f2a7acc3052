#pragma once

// The realistic install that the power-cut, fault and concurrency harnesses
// run: two targets, each with an earlier version in place, a legacy copy in
// Grasshopper's shared library folder and one in a folder that a settings
// file names, files of other plug-ins that must never be touched, and the
// staging folders of two installs cut off earlier.

#include <functional>
#include <string>
#include <vector>

#include "tests/support/install_sandbox.h"

namespace nimbra::testing {

void prepareRealisticHome(InstallSandbox& box);

// Runs operation (install or uninstall) over the realistic home's targets.
void transact(InstallEngine& engine, const InstallSandbox& box, Operation operation);

// The user's folders after one successful install (or uninstall) of the
// realistic home.
const Snapshot& finishedSnapshot(Operation operation = Operation::install);

// How many calls to the file system that operation makes.
int callsOf(Operation operation = Operation::install);

// "install" or "uninstall", for messages.
std::string nameOf(Operation operation);

// Runs body in a child process; returns its exit status, or 128 + the
// signal that ended it. body's exceptions end the child with status 1.
int runInChild(const std::function<void()>& body);

// Fails the test unless every file of before is still at its path with the
// same bytes, or, where a receipt records it (or a folder holding it) as
// moved aside, at its recorded backup path with those bytes.
void expectNothingLost(const InstallSandbox& box, const Snapshot& before, const std::string& context);

// The states of every readable receipt in the Backups folder.
std::vector<std::string> receiptStates(const InstallSandbox& box);

void ignoreProgress(const std::string&);

}  // namespace nimbra::testing
