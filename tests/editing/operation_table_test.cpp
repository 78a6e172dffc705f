#include "editing/operation_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

namespace {

// Every name the command line documents has exactly one entry.
TEST(OperationTableTest, EveryDocumentedNameIsPresentOnce) {
  const char* const names[] = {
      "blur", "blur-more", "sharpen", "sharpen-more", "laplacian", "sobel", "prewitt", "line-segment",
      "shift-difference", "edge-enhance", "emboss", "add-noise", "average", "median", "minimum", "maximum",
      "despeckle", "mosaic", "posterize", "solarize", "unsharp-mask", "gaussian-blur", "dilation", "erosion",
      "brightness-contrast", "hue-saturation", "color-balance", "threshold", "equalize", "stretch-intensity",
      "invert-color", "invert-bgr", "rotate-90", "rotate-180", "rotate-270", "flip-horizontal", "flip-vertical",
      "resize", "rotate", "shear", "canvas-size", "crop", "mode:gray", "mode:rgb", "mode:cmyk", "mode:bw",
      "mode:palette"};
  std::multiset<std::string> present;
  for (const OperationDef& op : AllOperations()) {
    present.insert(std::string(op.name));
    EXPECT_TRUE(op.apply) << op.name;
  }
  for (const char* name : names) EXPECT_EQ(present.count(name), 1u) << name;
}

TEST(OperationTableTest, ParsesArgumentsAgainstTheDialogRanges) {
  std::string error;
  auto posterize = ParseOperation("posterize:64", error);
  ASSERT_TRUE(posterize) << error;
  EXPECT_EQ(posterize->def->name, "posterize");
  EXPECT_EQ(posterize->args.Int(0), 64);

  struct Bad {
    const char* text;
    const char* mentions;
  };
  const Bad bad[] = {
      {"posterize:1", "2..64"},       {"posterize:65", "2..64"},  {"posterize:x", "2..64"},
      {"posterize:3.5", "2..64"},     {"crop:1,2", "missing"},   {"posterize:4,4", "too many"},
      {"nothing-like-it", "unknown"}, {"invert-color:1", "too many"},
  };
  for (const Bad& b : bad) {
    error.clear();
    EXPECT_FALSE(ParseOperation(b.text, error)) << b.text;
    EXPECT_NE(error.find(b.mentions), std::string::npos) << b.text << ": " << error;
  }
}

TEST(OperationTableTest, SubNamesChoicesAndDefaults) {
  std::string error;
  auto gray = ParseOperation("mode:gray", error);
  ASSERT_TRUE(gray) << error;
  EXPECT_EQ(gray->def->name, "mode:gray");

  // "mode:palette" takes a palette and a dither choice, both optional; a
  // choice is given by name or by position and passed on as its index.
  auto byName = ParseOperation("mode:palette:netscape:none", error);
  ASSERT_TRUE(byName) << error;
  const OperationDef& def = *byName->def;
  ASSERT_EQ(def.params.size(), 2u);
  const auto& palettes = def.params[0].choices;
  const auto netscape = std::find(palettes.begin(), palettes.end(), "netscape") - palettes.begin();
  EXPECT_EQ(byName->args.Int(0), netscape);
  auto byPosition = ParseOperation("mode:palette:" + std::to_string(netscape), error);
  ASSERT_TRUE(byPosition) << error;
  EXPECT_EQ(byPosition->args.Int(0), netscape);
  ASSERT_TRUE(def.params[1].defaultValue.has_value());
  EXPECT_EQ(byPosition->args.Real(1), *def.params[1].defaultValue) << "a left-out choice takes its default";
  EXPECT_FALSE(ParseOperation("mode:palette:sepia", error));

  // Negative and fractional numbers where the range allows them.
  auto rotate = ParseOperation("rotate:-12.5", error);
  ASSERT_TRUE(rotate) << error;
  EXPECT_EQ(rotate->args.Real(0), -12.5);
}

}  // namespace
