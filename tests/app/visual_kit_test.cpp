#include <gtest/gtest.h>

#include "app/toolkit/headless/headless_toolkit.h"
#include "app/visual_kit.h"
#include "tests/support/sandbox.h"

namespace nimbra::ui {
namespace {

TEST(VisualKit, ButtonsAreRestyledWholeEachTime) {
  Button button(Button::Style::push, "");
  styleButton(button, "Done", true);
  EXPECT_EQ(button.layer().background, palette::forest);
  EXPECT_EQ(button.layer().border, palette::forest);
  styleButton(button, "View backup", false);
  EXPECT_EQ(button.layer().background, palette::surface);
  EXPECT_EQ(button.layer().border, palette::outline);
  EXPECT_EQ(button.layer().cornerRadius, 11);
  EXPECT_EQ(button.layer().borderWidth, 1);
  EXPECT_EQ(button.attributedTitle(), (std::vector<TextRun>{{"View backup", {12, Weight::semibold}, palette::ink}}));
  EXPECT_EQ(button.accessibilityLabel(), "View backup");
}

TEST(VisualKit, LabelsWrapInInkByDefault) {
  const auto field = label("Hello", 13);
  EXPECT_EQ(field->font(), (Font{13, Weight::regular}));
  EXPECT_EQ(field->color(), palette::ink);
  EXPECT_EQ(field->lineBreak(), LineBreak::wrap);
  EXPECT_EQ(field->maximumLines(), 0);
  EXPECT_FALSE(field->selectable());
}

TEST(VisualKit, LogoTileInsetsTheImageAndCopesWithoutOne) {
  HeadlessToolkit toolkit;
  nimbra::testing::TemporaryFolder folder;
  toolkit.setResourcesFolder(folder.path());
  View parent;
  logo(toolkit, parent, {0, 0, 96, 96});
  const View& tile = *parent.subviews().at(0);
  EXPECT_EQ(tile.layer().cornerRadius, 24);
  EXPECT_EQ(tile.layer().background, palette::logoTile);
  const auto& image = static_cast<const ImageView&>(*tile.subviews().at(0));
  EXPECT_NEAR(image.frame().x, 8.64, 1e-9);
  EXPECT_NEAR(image.frame().width, 78.72, 1e-9);
  EXPECT_FALSE(image.image().has_value());
  EXPECT_EQ(image.accessibilityLabel(), "Nimbra butterfly");
  EXPECT_EQ(InsetOptionCell::titleRect(300), (Rect{18, 21, 264, 44}));
}

}  // namespace
}  // namespace nimbra::ui
