#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/platform/regex.h"
#include "engine/platform/unicode.h"
#include "engine/version_compare.h"

namespace nimbra {
namespace {

TEST(NumericComparison, ComparesDigitRunsByValueAndTheRestByCharacter) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  };
  const Case cases[] = {
      {"1.10.0", "1.9.9", 1},
      {"1.2.3.4", "1.2.3", 1},
      {"1.2.3", "1.2.3", 0},
      {"2.0.0", "10.0.0", -1},
      {"1.02.0", "1.2.0", 0},
      {"1.2.0", "1.2.0a", -1},
      {"1.2.a", "1.2.b", -1},
      {"1.2.B", "1.2.a", -1},
      {"", "", 0},
      {"", "0", -1},
      {"a1", "a01", 0},
      {"99999999999999999999999999", "99999999999999999999999998", 1},
      {"1.2.x", "1.2.3", 1},  // 'x' (0x78) against '3' (0x33), by character
  };
  for (const Case& c : cases) {
    EXPECT_EQ(compareNumeric(c.a, c.b), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(compareNumeric(c.b, c.a), -c.expected) << c.b << " vs " << c.a;
  }
}

TEST(NumericComparison, TheCoreIsTheTextBeforeTheFirstHyphen) {
  EXPECT_EQ(versionCore("2.0.0-beta"), "2.0.0");
  EXPECT_EQ(versionCore("2.0.0"), "2.0.0");
  EXPECT_EQ(versionCore("2.0.0-rc-1"), "2.0.0");
  EXPECT_EQ(compareNumeric(versionCore("2.0.0-beta"), versionCore("2.0.0")), 0);
}

TEST(UnicodeText, TrimsUnicodeWhitespaceAndLineBreaksOnly) {
  EXPECT_EQ(trimmedWhitespace(" \t\r\n word \n"), "word");
  EXPECT_EQ(trimmedWhitespace("\xc2\x85\xe2\x80\xa8\xc2\xa0 in side \xe2\x80\xa9\xe3\x80\x80"), "in side");
  EXPECT_EQ(trimmedWhitespace(" \n "), "");
  EXPECT_EQ(trimmedWhitespace("\xff "), "\xff");
}

TEST(UnicodeText, SplitsAtEveryLineBreakCharacter) {
  const std::vector<std::string> expected = {"a", "b", "c", "d", "e", "f", "g", "h"};
  EXPECT_EQ(splitLines("a\nb\x0b"
                       "c\x0c"
                       "d\re\xc2\x85"
                       "f\xe2\x80\xa8g\xe2\x80\xa9h"),
            expected);
  EXPECT_EQ(splitLines("one"), std::vector<std::string>{"one"});
}

TEST(UnicodeText, RepairsIllFormedUTF8) {
  EXPECT_EQ(repairedUTF8("ok \xff!"), "ok \xef\xbf\xbd!");
  EXPECT_EQ(repairedUTF8("\xc3\xa9"), "\xc3\xa9");
  EXPECT_EQ(repairedUTF8("\xed\xa0\x80"), "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
  EXPECT_TRUE(isValidUTF8(repairedUTF8("\xc3")));
  EXPECT_FALSE(isValidUTF8("\xc3"));
}

TEST(UnicodeText, ComposesToNFC) {
  EXPECT_EQ(nfc("Caf\x65\xcc\x81"), "Caf\xc3\xa9");
  EXPECT_EQ(nfc("Caf\xc3\xa9"), "Caf\xc3\xa9");
  EXPECT_EQ(nfc("bad\xff"), "bad\xff");
}

TEST(RegularExpressions, MatchCaselesslyOnlyWhenAsked) {
  EXPECT_TRUE(Regex("assemblyfolder", Case::insensitive).search("ASSEMBLYFOLDER"));
  EXPECT_FALSE(Regex("assemblyfolder", Case::sensitive).search("ASSEMBLYFOLDER"));
  EXPECT_FALSE(Regex("a", Case::sensitive).search("\xff" "a"));
  EXPECT_THROW(Regex("(", Case::sensitive), std::invalid_argument);
}

}  // namespace
}  // namespace nimbra
