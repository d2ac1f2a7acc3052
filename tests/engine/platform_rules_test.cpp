// The parts of each system's platform layer that are plain rules, tested on
// every system: a Mac's process argument block, whose accounts are people's,
// and which file a bundle names as its executable.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "engine/platform/bundle.h"
#include "engine/platform/running_applications.h"

namespace nimbra {
namespace {

// A block as KERN_PROCARGS2 gives it: the count, the executable, padding,
// the arguments, the environment, then whatever follows.
std::string argumentBlock(std::int32_t count, const std::string& rest) {
  std::string block(sizeof count, '\0');
  std::memcpy(block.data(), &count, sizeof count);
  return block + rest;
}

TEST(PlatformRules, AMacProcessesEnvironmentIsReadFromItsArgumentBlock) {
  using namespace std::string_literals;
  const std::string exec = "/Applications/Rhino 8.app/Contents/MacOS/Rhinoceros\0\0\0\0"s;
  const std::vector<std::string> environment = {"HOME=/Users/ada", "SESSION=aqua"};
  EXPECT_EQ(environmentFromArgumentBlock(argumentBlock(2, exec + "Rhinoceros\0-nosplash\0HOME=/Users/ada\0not-an-entry\0"
                                                                 "SESSION=aqua\0\0ignored=after the end\0"s)),
            environment);
  EXPECT_EQ(environmentFromArgumentBlock(argumentBlock(0, exec + "HOME=/Users/ada\0SESSION=aqua"s)), environment)
      << "the last entry may end with the block";
  for (const std::string& bad : {argumentBlock(3, exec + "one\0two\0"s), argumentBlock(-1, exec + "HOME=/x\0"s),
                                 argumentBlock(1, "/no/terminator"), "\x01\0"s, ""s}) {
    EXPECT_TRUE(environmentFromArgumentBlock(bad).empty()) << bad.size();
  }
}

TEST(PlatformRules, ABundlesExecutableIsAFileInItsMacOSFolder) {
  const auto executable = [](const std::string& name) {
    return Bundle::withInfo("/A/Rhino 8.app", "<plist><dict><key>CFBundleExecutable</key><string>" + name +
                                                  "</string></dict></plist>")
        .executable();
  };
  EXPECT_EQ(executable("Rhinoceros"), "/A/Rhino 8.app/Contents/MacOS/Rhinoceros");
  for (const char* name : {"", "../../../bin/sh", "MacOS/Rhinoceros"}) EXPECT_EQ(executable(name), std::nullopt) << name;
}

}  // namespace
}  // namespace nimbra
