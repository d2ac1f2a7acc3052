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

TEST(UnicodeText, TrimsWhitespaceAndSplitsAtEveryLineBreakCharacter) {
  EXPECT_EQ(trimmedWhitespace(" \t\r\n word \n"), "word");
  EXPECT_EQ(trimmedWhitespace("\xc2\x85\xe2\x80\xa8\xc2\xa0 in side \xe2\x80\xa9\xe3\x80\x80"), "in side");
  EXPECT_EQ(trimmedWhitespace(" \n "), "");
  EXPECT_EQ(trimmedWhitespace("\xff "), "\xff");
  // Lines split at every line break character.
  const std::vector<std::string> expected = {"a", "b", "c", "d", "e", "f", "g", "h"};
  EXPECT_EQ(splitLines("a\nb\x0b"
                       "c\x0c"
                       "d\re\xc2\x85"
                       "f\xe2\x80\xa8g\xe2\x80\xa9h"),
            expected);
  EXPECT_EQ(splitLines("one"), std::vector<std::string>{"one"});
}

}  // namespace
}  // namespace nimbra
