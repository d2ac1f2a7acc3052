#include <gtest/gtest.h>

#include <string>

#include "engine/install_error.h"
#include "engine/release_manifest.h"

namespace nimbra {
namespace {

constexpr const char* kManifest = R"({
  "version": "1.2.3",
  "packages": [
    {"major": 8, "directory": "Rhino8", "files": [
      {"path": "Nimbra.gha", "sha256": "ab", "size": 12},
      {"path": "lib/a.dll", "sha256": "cd", "size": 0}]},
    {"major": 7, "directory": "Rhino7", "files": []}
  ]
})";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return text.replace(at, from.size(), to);
}

// Keys it does not know, at every level, and whole numbers however JSON spells them.
TEST(ReleaseManifest, IgnoresUnknownKeysAndAcceptsIntegralNumbersInAnySpelling) {
  std::string text = replaced(kManifest, R"("version": "1.2.3",)", R"("version": "1.2.3", "extra": {"x": [1]},)");
  text = replaced(text, R"("major": 8,)", R"("major": 8, "note": null,)");
  text = replaced(text, R"("size": 12})", R"("size": 12, "mode": "0644"})");
  const Release release = decodeRelease(text);
  EXPECT_EQ(release.packages[0].files[0].size, 12);
  EXPECT_EQ(decodeRelease(replaced(kManifest, R"("major": 8)", R"("major": 8.0)")).packages[0].major, 8);
  EXPECT_EQ(decodeRelease(replaced(kManifest, R"("size": 12)", R"("size": 1.2e1)")).packages[0].files[0].size, 12);
  EXPECT_EQ(decodeRelease(replaced(kManifest, R"("size": 12)", R"("size": 9223372036854775807)"))
                .packages[0].files[0].size,
            INT64_MAX);
  EXPECT_EQ(decodeRelease(replaced(kManifest, R"("major": 8)", R"("major": -9223372036854775808)"))
                .packages[0].major,
            INT64_MIN);
}

TEST(ReleaseManifest, RejectsMissingNullAndMistypedValuesAndTextThatIsNotUTF8) {
  const std::pair<std::string, std::string> cases[] = {
      {R"("version": "1.2.3",)", ""},
      {R"("version": "1.2.3")", R"("version": null)"},
      {R"("version": "1.2.3")", R"("version": 123)"},
      {R"("major": 8,)", ""},
      {R"("major": 8)", R"("major": "8")"},
      {R"("major": 8)", R"("major": 8.5)"},
      {R"("major": 8)", R"("major": true)"},
      {R"("directory": "Rhino8",)", ""},
      {R"("size": 12)", R"("size": "123")"},
      {R"("size": 12)", R"("size": 9223372036854775808)"},
      {R"("size": 12)", R"("size": 1e30)"},
      {R"("sha256": "ab", )", ""},
      {R"("path": "Nimbra.gha")", R"("path": ["Nimbra.gha"])"},
      {R"("files": [])", R"("files": {})"},
      {R"("files": [])", R"("files": null)"},
  };
  for (const auto& [from, to] : cases) {
    EXPECT_THROW(decodeRelease(replaced(kManifest, from, to)), DecodingError) << from << " -> " << to;
  }
  EXPECT_THROW(decodeRelease("[]"), DecodingError);
  EXPECT_THROW(decodeRelease(R"({"version":"1.0.0","packages":[1]})"), DecodingError);
  EXPECT_THROW(decodeRelease(R"({"version":"1.0.0","packages":[{"major":8,"directory":"a","files":["x"]}]})"),
               DecodingError);
  // Text that is not UTF-8, raw or escaped.
  EXPECT_THROW(decodeRelease(replaced(kManifest, "Rhino8", "Rhino\xff")), DecodingError);
  EXPECT_THROW(decodeRelease(replaced(kManifest, "Rhino8", "\xed\xa0\x80")), DecodingError);
  EXPECT_THROW(decodeRelease(replaced(kManifest, "Rhino8", "\\ud800")), DecodingError);
}

}  // namespace
}  // namespace nimbra
