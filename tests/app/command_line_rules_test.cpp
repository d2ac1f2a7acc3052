// The command line's plain rules, without a process: the exit status of each
// outcome and failure, the status of a run for several users, and how a
// number on the command line is read.

#include <gtest/gtest.h>

#include <limits>
#include <system_error>

#include "app/cli/all_users.h"
#include "app/cli/commands.h"
#include "app/cli/option_numbers.h"
#include "engine/install_receipt.h"

namespace nimbra::ui {
namespace {

// What a script reads, the exit status and the outcome's word, follows how
// an attempt ended and a failure's kind: every sentence reworded, none moves.
TEST(ExitStatus, FollowsTheOutcomeAndTheKindNeverTheWords) {
  using Result = InstallFlow::Result;
  const std::vector<std::pair<Result, std::pair<int, std::string>>> outcomes = {
      {Result::done, {0, "uninstalled"}},       {Result::unchanged, {0, "unchanged"}},
      {Result::refused, {1, "refused"}},        {Result::noRhino, {4, "no-rhino"}},
      {Result::cancelled, {1, "cancelled"}},    {Result::rhinoStillRunning, {3, "rhino-running"}},
      {Result::anotherInstallation, {5, "another-installation"}}, {Result::failed, {1, "failed"}}};
  for (const std::string& words : {std::string(kAnotherInstallationRunning), std::string("Reworded."), std::string()}) {
    for (const auto& [result, expected] : outcomes) {
      const Report::Outcome said = reportOf({result, Operation::uninstall, words});
      EXPECT_EQ(std::pair(said.exitStatus, said.outcome), expected) << words;
    }
    const Report::Outcome busy = failureOf(InstallError(words, ErrorKind::anotherInstallation));
    EXPECT_EQ(std::pair(busy.exitStatus, busy.outcome), std::pair(5, std::string("another-installation"))) << words;
    for (const Report::Outcome& other :
         {failureOf(InstallError(words)), failureOf(IncompleteRollBack(words)),
          failureOf(InstallError(words, ErrorKind::invalidVersion)),
          failureOf(std::system_error(EAGAIN, std::generic_category(), words))}) {
      EXPECT_EQ(std::pair(other.exitStatus, other.outcome), std::pair(1, std::string("failed"))) << words;
    }
  }
}

TEST(EveryUserStatus, IsTheMostSevereOfTheirs) {
  EXPECT_EQ(mostSevere({}), 0);
  EXPECT_EQ(mostSevere({0, 3, 1}), 1);
  EXPECT_EQ(mostSevere({6, 4, 0}), 4);
  EXPECT_EQ(mostSevere({6, 5, 3}), 3);
  EXPECT_EQ(mostSevere({4, 5}), 5);
  EXPECT_EQ(mostSevere({3, 2}), 2);
  EXPECT_EQ(mostSevere({0, 127}), 1);
}

TEST(OptionNumbers, AreDigitsWithinTheirRangeAndNeverWrapRound) {
  constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
  EXPECT_EQ(parseWholeNumber("10", 10), 10u);
  EXPECT_EQ(parseWholeNumber("007", 10), 7u);
  EXPECT_EQ(parseWholeNumber("18446744073709551615", kMost), kMost);
  for (const char* bad : {"11", "", "-1", "+1", " 1", "1 ", "1e1", "0x1", "1.0"}) {
    EXPECT_FALSE(parseWholeNumber(bad, 10)) << bad;
  }
  EXPECT_FALSE(parseWholeNumber("18446744073709551616", kMost));
  EXPECT_FALSE(parseWholeNumber("5", 0)) << "a digit above a range of nothing";

  EXPECT_EQ(parseSeconds("2.5", 10), 2.5);
  EXPECT_EQ(parseSeconds("10", 10), 10.0);
  EXPECT_EQ(parseSeconds("0.000000001", 10), 1e-9);
  for (const char* bad : {"10.1", "2.", ".5", "2.5.1", "nan", "inf", "1e3", "0.0000000001", "-0.5"}) {
    EXPECT_FALSE(parseSeconds(bad, 10)) << bad;
  }
}

}  // namespace
}  // namespace nimbra::ui
