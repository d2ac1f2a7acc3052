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

// The user's folders after one successful install of the realistic home.
const Snapshot& installedSnapshot();

// How many calls to the file system that install makes.
int callsOfAnInstall();

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
