// The pattern underlay: pixels against the multiply rule for each pixel kind
// with the pattern tiled and stretched (nearest pattern pixel to each pixel's
// centre), refusals, the built-in patterns and pattern files, and the effect
// command with its selection, floater and undo.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "document/format_dispatch.h"
#include "editing/tool_settings.h"
#include "editing/underlay_patterns.h"
#include "editing/vivid_view.h"
#include "image/result_codes.h"
#include "imaging/tone.h"
#include "imaging/underlay.h"
#include "platform/messages.h"
#include "editing_support.h"

namespace {

namespace fs = std::filesystem;

// A channel byte of the test picture; every kind uses it per channel.
uint8_t Value(int x, int y, int c) { return uint8_t((x * 37 + y * 59 + c * 83) % 256); }

std::unique_ptr<CDIBitmap> Picture(int width, int height, int bits) {
  auto image = std::make_unique<CDIBitmap>();
  image->Create(width, height, bits, bits == 8 ? 1 : 0);
  const int bpp = bits / 8;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < bpp; ++c) image->RowPointer(y)[bpp * x + c] = Value(x, y, c);
  return image;
}

// A small gray pattern with a distinct value in every pixel.
std::unique_ptr<CDIBitmap> Pattern(int width, int height) {
  auto pattern = std::make_unique<CDIBitmap>();
  pattern->Create(width, height, 8, 1);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pattern->RowPointer(y)[x] = uint8_t(40 + 20 * y + 7 * x);
  return pattern;
}

// The multiply rule for one channel byte: lightness for CMYK inks.
int Expected(int v, int b, bool ink) { return ink ? 255 - ((255 - v) * b + 127) / 255 : (v * b + 127) / 255; }

TEST(Underlay, MultipliesEveryKindByTheTiledOrStretchedPattern) {
  struct Case {
    int bits, width, height, pw, ph, fit;
  };
  const Case cases[] = {
      {24, 11, 7, 3, 2, kUnderlayTile},   {8, 11, 7, 3, 2, kUnderlayTile},   {32, 11, 7, 3, 2, kUnderlayTile},
      {24, 11, 7, 3, 2, kUnderlayStretch}, {8, 5, 9, 4, 3, kUnderlayStretch}, {32, 3, 2, 7, 5, kUnderlayStretch},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.bits << " bits " << k.width << "x" << k.height << " fit " << k.fit);
    auto image = Picture(k.width, k.height, k.bits);
    ASSERT_EQ(GL_UnderlayBitmap(*image, *Pattern(k.pw, k.ph), k.fit), 1);
    const int bpp = k.bits / 8;
    int bad = 0;
    for (int y = 0; y < k.height; ++y)
      for (int x = 0; x < k.width; ++x) {
        // Stretch: the pattern pixel whose span holds the centre x + 1/2 of
        // the image pixel, scaled by pw / width.
        const int px = k.fit == kUnderlayTile ? x % k.pw : (2 * x + 1) * k.pw / (2 * k.width);
        const int py = k.fit == kUnderlayTile ? y % k.ph : (2 * y + 1) * k.ph / (2 * k.height);
        const int b = 40 + 20 * py + 7 * px;
        for (int c = 0; c < bpp; ++c)
          if (image->RowPointer(y)[bpp * x + c] != Expected(Value(x, y, c), b, k.bits == 32) && ++bad < 4)
            ADD_FAILURE() << x << "," << y << " channel " << c;
      }
    EXPECT_EQ(bad, 0);
  }
}

TEST(Underlay, StretchPlacesEveryPatternPixelOnItsShareOfTheImage) {
  // A 2 x 1 pattern over 5 columns: centres 0.5, 1.5 fall in the left half,
  // 2.5 exactly on the middle belongs to the right one.
  CDIBitmap pattern;
  pattern.Create(2, 1, 8, 1);
  pattern.RowPointer(0)[0] = 0;
  pattern.RowPointer(0)[1] = 255;
  CDIBitmap image;
  image.Create(5, 1, 8, 1);
  for (int x = 0; x < 5; ++x) image.RowPointer(0)[x] = 200;
  ASSERT_EQ(GL_UnderlayBitmap(image, pattern, kUnderlayStretch), 1);
  const std::vector<int> expected = {0, 0, 200, 200, 200};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(image.RowPointer(0)[x], expected[size_t(x)]) << x;
}

TEST(Underlay, RefusesKindsWithoutChannelsAndBadPatterns) {
  platform::RecordingMessageSink messages;
  const auto pattern = Pattern(4, 4);
  for (const int bits : {1, 8}) {
    CDIBitmap image;
    image.Create(6, 6, bits, 0);  // 1-bit, or an 8-bit palette
    for (int y = 0; y < 6; ++y) image.RowPointer(y)[0] = 0x5A;
    EXPECT_EQ(GL_UnderlayBitmap(image, *pattern, kUnderlayTile), 0) << bits;
    EXPECT_EQ(image.RowPointer(3)[0], 0x5A) << bits;
  }
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_NE(messages.shown[0].text.find("convert the image"), std::string::npos);

  auto image = Picture(6, 6, 24);
  CDIBitmap colour;
  colour.Create(4, 4, 24, 0);
  EXPECT_EQ(GL_UnderlayBitmap(*image, colour, kUnderlayTile), kResultInvalidParameter);
  EXPECT_EQ(GL_UnderlayBitmap(*image, CDIBitmap(), kUnderlayTile), kResultInvalidParameter);
  EXPECT_EQ(GL_UnderlayBitmap(*image, *pattern, 2), kResultInvalidParameter);
  EXPECT_EQ(image->RowPointer(2)[5], Value(1, 2, 2));
}

TEST(Underlay, BuiltInPatternsAreGrayLightTexturedTiles) {
  for (const std::string_view name : GL_UnderlayPatternNames()) {
    SCOPED_TRACE(std::string(name));
    CDIBitmap a, b;
    ASSERT_EQ(GL_MakeUnderlayPattern(a, name), 1);
    ASSERT_EQ(GL_MakeUnderlayPattern(b, name), 1);
    EXPECT_EQ(a.GetBitCount(), 8);
    EXPECT_TRUE(a.IsGray());
    EXPECT_TRUE(a.GetWidth() == 64 || a.GetWidth() == 128);
    EXPECT_EQ(a.GetWidth(), a.GetHeight());
    std::set<int> levels;
    long sum = 0;
    for (int y = 0; y < a.GetHeight(); ++y)
      for (int x = 0; x < a.GetWidth(); ++x) {
        ASSERT_EQ(a.RowPointer(y)[x], b.RowPointer(y)[x]);
        levels.insert(a.RowPointer(y)[x]);
        sum += a.RowPointer(y)[x];
      }
    // A texture, light enough for the picture to stay readable.
    EXPECT_GE(levels.size(), 2u);
    EXPECT_GT(sum / (a.GetWidth() * a.GetHeight()), 150);
  }
  CDIBitmap none;
  EXPECT_EQ(GL_MakeUnderlayPattern(none, "Marble"), 0);
}

class UnderlayView : public testing::Test {
 protected:
  void SetUp() override { ToolSettings() = CToolSettings(); }
  void TearDown() override {
    view_.reset();
    ToolSettings() = CToolSettings();
    SetModalRunning(false);
    SetEditBusy(false);
  }
  void Open(int width, int height) {
    CVividDoc::SetCreationMode(CM_BLANK);
    CVividDoc::SetPreparedImage(Picture(width, height, 24));
    doc_ = std::make_unique<CVividDoc>();
    ASSERT_TRUE(doc_->OnNewDocument());
    view_ = std::make_unique<CVividView>(*doc_);
    view_->SetClientSize(200, 200);
  }
  static ParsedOperation Op(const std::string& text) { return testing_support::Op(text); }
  std::unique_ptr<CVividDoc> doc_;
  std::unique_ptr<CVividView> view_;
};

// The command multiplies inside the selection only (pattern coordinates
// are the image's), records "Underlay" and Undo restores the picture.
TEST_F(UnderlayView, SelectionConfinesItAndUndoRestores) {
  Open(70, 50);
  CDIBitmap stripes;
  ASSERT_EQ(GL_MakeUnderlayPattern(stripes, "Stripes"), 1);
  const platform::Rect box{10, 5, 45, 33};
  doc_->SetSelectionRegion(platform::Region::FromRect(box));
  ASSERT_EQ(view_->RunEffect(Op("underlay:Stripes,tile")), 1);
  EXPECT_EQ(doc_->GetUndoRecord().kind, 50);
  EXPECT_EQ(doc_->GetUndoRecord().name, "Underlay");
  const CDIBitmap& image = doc_->GetImage();
  int bad = 0;
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 70; ++x) {
      const bool inside = x >= box.left && x < box.right && y >= box.top && y < box.bottom;
      const int b = stripes.RowPointer(y % stripes.GetHeight())[x % stripes.GetWidth()];
      for (int c = 0; c < 3; ++c) {
        const int want = inside ? Expected(Value(x, y, c), b, false) : Value(x, y, c);
        if (image.RowPointer(y)[3 * x + c] != want && ++bad < 4) ADD_FAILURE() << x << "," << y << " channel " << c;
      }
    }
  EXPECT_EQ(bad, 0);
  ASSERT_EQ(view_->OnUndo(), 1);
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 70; ++x)
      ASSERT_EQ(doc_->GetImage().RowPointer(y)[3 * x + 1], Value(x, y, 1)) << x << "," << y;
}

TEST_F(UnderlayView, ParametersAndTheirErrors) {
  Open(8, 8);
  std::string error;
  EXPECT_TRUE(ParseOperation("underlay:Brick,stretch", error));
  EXPECT_TRUE(ParseOperation("underlay:0,1", error));
  EXPECT_FALSE(ParseOperation("underlay:Brick,fill", error));
  EXPECT_FALSE(ParseOperation("underlay:Nothing,tile", error));
  EXPECT_NE(error.find("Pattern"), std::string::npos) << error;
}

class TempDir {
 public:
  TempDir() : path_(fs::temp_directory_path() / ("vivid-u-" + std::to_string(::getpid()))) {
    fs::create_directories(path_);
  }
  ~TempDir() { fs::remove_all(path_); }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// The folder adds its image files after the built-in patterns; a colour
// file comes in as its luminance.
TEST(UnderlayPatterns, FolderFilesAreListedAndReadAsGray) {
  TempDir dir;
  CDIBitmap colour;
  colour.Create(3, 2, 24, 0);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      uint8_t* p = colour.RowPointer(y) + 3 * x;
      p[0] = uint8_t(30 * x), p[1] = uint8_t(100 + 50 * y), p[2] = uint8_t(200 - 40 * x);  // blue, green, red
    }
  ASSERT_GT(SaveImageFile(colour, (dir.Path() / "weave.png").string()), 0);
  ASSERT_GT(SaveImageFile(colour, (dir.Path() / "Aa.BMP").string()), 0);
  std::ofstream(dir.Path() / "notes.txt") << "not an image";
  std::ofstream(dir.Path() / "a,b.png") << "a comma would split the operation's arguments";

  std::vector<std::string> expected(GL_UnderlayPatternNames().begin(), GL_UnderlayPatternNames().end());
  expected.push_back("Aa.BMP");
  expected.push_back("weave.png");
  EXPECT_EQ(ListUnderlayPatterns(dir.Path().string()), expected);
  EXPECT_EQ(ListUnderlayPatterns((dir.Path() / "missing").string()).size(), GL_UnderlayPatternNames().size());

  CDIBitmap pattern;
  ASSERT_EQ(LoadUnderlayPattern(pattern, "weave.png", dir.Path().string()), 1);
  ASSERT_EQ(pattern.GetBitCount(), 8);
  ASSERT_TRUE(pattern.IsGray());
  ASSERT_EQ(pattern.GetWidth(), 3);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(pattern.RowPointer(y)[x], (306 * (200 - 40 * x) + 601 * (100 + 50 * y) + 117 * (30 * x) + 512) >> 10)
          << x << "," << y;
  EXPECT_EQ(LoadUnderlayPattern(pattern, "gone.png", dir.Path().string()), kResultFileNotFound);
  EXPECT_EQ(LoadUnderlayPattern(pattern, "Paper", dir.Path().string()), 1);
  EXPECT_EQ(pattern.GetWidth(), 128);
}

}  // namespace
