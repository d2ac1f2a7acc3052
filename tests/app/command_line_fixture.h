#pragma once

// The installer's command line run as a program: the built executable,
// against a sandbox home with simulated Rhinos, in a process list and mounts
// of its own, so that it sees and asks to quit only the Rhinos started here.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/release_manifest.h"
#include "tests/support/install_sandbox.h"
#include "tests/support/process_namespace.h"
#include "tools/simulated_rhino/rhino_bundle.h"

namespace nimbra {

namespace fs = std::filesystem;
using testing::ProcessNamespace;
using testing::quoted;

// The application built, or a copy another user may read.
inline const fs::path kApp = std::getenv("NIMBRA_TEST_APP_BUNDLE") != nullptr ? std::getenv("NIMBRA_TEST_APP_BUNDLE") : NIMBRA_APP_BUNDLE;

// The payload the default build carries, as its release.json lists it.
inline const std::string kVersion = decodeRelease(testing::readFile(kApp / "Contents/Resources/Payload/release.json")).version;


class CommandLine : public ::testing::Test {
 protected:
  struct Run {
    int status = -1;
    std::string out, err;
  };

  void SetUp() override {
    if (!ProcessNamespace().made()) GTEST_SKIP() << "no process list of its own (unshare needs root or user namespaces)";
    for (const std::int64_t major : {7, 8}) simulated::makeRhinoBundle(application(major), {.major = major});
  }
  fs::path home() const { return box_.home(); }
  fs::path application(std::int64_t major) const {
    return home() / "Applications" / ("Rhino " + std::to_string(major) + ".app");
  }
  fs::path destination(std::int64_t major) const { return box_.destination(major); }
  fs::path backups() const { return box_.support() / "Backups"; }
  bool installed(std::int64_t major) const {
    return fs::exists(destination(major) / "manifest.txt") && testing::readFile(destination(major) / "manifest.txt") == kVersion + "\n";
  }
  std::vector<pid_t> rhinos(const ProcessNamespace& space, std::int64_t major) const {
    return space.processes((application(major) / "Contents/MacOS").string());
  }
  // A simulated Rhino in space, once it answers quit requests.
  pid_t startRhino(const ProcessNamespace& space, std::int64_t major) const {
    const std::string fifo = quoted(folder_ / ("ready" + std::to_string(major)));
    EXPECT_EQ(space.run("rm -f " + fifo + "; mkfifo " + fifo + "; NIMBRA_READY_FD=3 " +
                        quoted(application(major) / "Contents/MacOS/Rhinoceros") + " 3>" + fifo + " & head -c1 " + fifo),
              0);
    const std::vector<pid_t> started = rhinos(space, major);
    return started.size() == 1 ? started[0] : -1;
  }

  // Runs the executable in space (its own, when none is given) with
  // arguments, shell words that a pipe or a signal may follow; prefix goes
  // before it (another home, other groups).
  Run run(const std::string& arguments, const ProcessNamespace& space = ProcessNamespace(),
          const std::string& prefix = "") {
    const fs::path out = folder_ / "out", err = folder_ / "err";
    const int status = space.run("export HOME=" + quoted(home()) + "; " + prefix + quoted(app_ / "Contents/MacOS/Nimbra Setup") +
                                 " " + arguments + " >" + quoted(out) + " 2>" + quoted(err));
    return kept({status, testing::readFile(out), testing::readFile(err)});
  }

  // Runs a shell script in space, with $NIMBRA naming the executable; what
  // the whole script writes is the run's output.
  Run script(const std::string& body, const ProcessNamespace& space) {
    const fs::path out = folder_ / "out", err = folder_ / "err";
    const int status = space.run("export HOME=" + quoted(home()) + " NIMBRA=" + quoted(app_ / "Contents/MacOS/Nimbra Setup") +
                                 "; { " + body + "; } >" + quoted(out) + " 2>" + quoted(err));
    return kept({status, testing::readFile(out), testing::readFile(err)});
  }

  // A run whose output is one JSON object is kept where the suite checks
  // every one against the schema deployment tools read; not where this
  // user may not write (the runs as an ordinary user).
  static Run kept(Run run) {
    if (!run.out.starts_with("{")) return run;
    static int count = 0;
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    try {
      testing::writeFile(fs::path(NIMBRA_JSON_OUTCOMES) / (name + "-" + std::to_string(::getpid()) + "-" + std::to_string(++count) + ".json"),
                         run.out);
    } catch (const std::exception&) {
    }
    return run;
  }

  testing::InstallSandbox box_;  // its paths; the command line installs its own payload
  const fs::path& folder_ = box_.root();
  fs::path app_ = kApp;
};

}  // namespace nimbra
