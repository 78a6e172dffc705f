// The text tool through the view, with a rasteriser of known metrics: the
// block's size, the floater's pixels and alpha, Mask Only, the Text page's
// transparency, anti-aliasing, undo, cancel, and a process without fonts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "document/vivid_doc.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "platform/messages.h"
#include "platform/text_rasterizer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Every character but the blank advances 7 pixels and the blank 3; a line
// is the pixel size + 2 high. Each other character draws a bar 5 pixels wide
// of coverage 200 over the line's rows 1 .. height-2, and a column of 60 just
// right of it (a soft edge).
class FakeRasterizer final : public platform::TextRasterizer {
 public:
  static constexpr int kAdvance = 7, kBlank = 3, kBar = 5;
  static constexpr uint8_t kInk = 200, kEdge = 60;

  std::optional<platform::TextExtent> MeasureLine(const platform::FontSpec& font, std::string_view line) override {
    last = font;
    if (font.PixelSize() < 1) return std::nullopt;
    int width = 0;
    for (char c : line) width += c == ' ' ? kBlank : kAdvance;
    return platform::TextExtent{width, font.PixelSize() + 2};
  }
  bool DrawLines(const platform::FontSpec& font, std::span<const std::string> lines, uint8_t* pixels, int width,
                 int height, int stride) override {
    for (int y = 0; y < height; ++y) std::fill_n(pixels + y * stride, width, 0);
    const int lineHeight = font.PixelSize() + 2;
    for (size_t i = 0; i < lines.size(); ++i) {
      int x = 0;
      for (char c : lines[i]) {
        if (c != ' ') {
          for (int y = int(i) * lineHeight + 1; y < int(i + 1) * lineHeight - 1 && y < height; ++y) {
            for (int dx = 0; dx < kBar && x + dx < width; ++dx) pixels[y * stride + x + dx] = kInk;
            if (x + kBar < width) pixels[y * stride + x + kBar] = kEdge;
          }
        }
        x += c == ' ' ? kBlank : kAdvance;
      }
    }
    return true;
  }
  platform::FontSpec last;
};

// The block the fake draws for `lines`, top row first.
Bytes FakeCoverage(const std::vector<std::string>& lines, int width, int height, int pixelSize) {
  FakeRasterizer fake;
  platform::FontSpec font;
  font.size = pixelSize;
  Bytes out(static_cast<size_t>(width) * height);
  fake.DrawLines(font, lines, out.data(), width, height, width);
  return out;
}

Bytes AlphaBytes(const CDIBitmap& alpha) {
  Bytes out;
  for (int y = 0; y < alpha.GetHeight(); ++y)
    out.insert(out.end(), alpha.RowPointer(y), alpha.RowPointer(y) + alpha.GetWidth());
  return out;
}

class TextToolTest : public testing::Test {
 protected:
  void SetUp() override {
    ToolSettings() = CToolSettings{};
    SetModalRunning(false);
    previous_ = platform::SetTextRasterizer(&fake_);
    CDIBitmap& image = doc_.GetImage();
    ASSERT_TRUE(image.Create(80, 60, 24, 0));
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 80 * 3; ++x) image.RowPointer(y)[x] = static_cast<uint8_t>(x * 7 + y * 13);
    image.SetResolution(72, 72);
    view_ = std::make_unique<CVividView>(doc_);
    view_->SetClientSize(80, 60);
    ToolSettings().SelectTool(ViewTool::Text);
    ToolSettings().foreground = 0x00336699;  // red 0x99, green 0x66, blue 0x33
    ToolSettings().textSettings.size = 10;
  }
  void TearDown() override {
    view_.reset();
    platform::SetTextRasterizer(previous_);
    SetModalRunning(false);
    ToolSettings() = CToolSettings{};
  }
  Bytes ImageBytes() const {
    const CDIBitmap& image = doc_.GetImage();
    Bytes out;
    for (int y = 0; y < image.GetHeight(); ++y)
      out.insert(out.end(), image.RowPointer(y), image.RowPointer(y) + image.GetRowBytes());
    return out;
  }
  EditResult PlaceAt(int x, int y, const std::string& text) {
    ToolSettings().textSettings.text = text;
    view_->OnPointerPress({x, y}, PointerButton::Left, 0);
    view_->OnPointerRelease({x, y}, PointerButton::Left, 0);
    EXPECT_TRUE(view_->TextDialogOpen());
    EXPECT_TRUE(IsModalRunning());
    const EditResult result = view_->OnTextDialogOk();
    EXPECT_FALSE(IsModalRunning());
    return result;
  }

  platform::RecordingMessageSink messages_;
  FakeRasterizer fake_;
  platform::TextRasterizer* previous_ = nullptr;
  CVividDoc doc_;
  std::unique_ptr<CVividView> view_;
};

TEST_F(TextToolTest, BlockIsWidestLineWithABlankByTheSumOfLineHeights) {
  constexpr int A = FakeRasterizer::kAdvance, B = FakeRasterizer::kBlank, H = 10 + 2;
  struct Case {
    const char* text;
    std::vector<std::string> lines;
  } cases[] = {
      {"ab\r\nabcd", {"ab", "abcd"}},
      {"abcd\nab", {"abcd", "ab"}},
      {"a\n\nabc\n", {"a", "", "abc"}},  // an empty line keeps its height; a final break adds none
      {"x", {"x"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    doc_.ClearSelection();
    doc_.FreeFloaterBitmaps();
    const Bytes before = ImageBytes();
    ASSERT_EQ(PlaceAt(5, 4, c.text), 1);
    size_t longest = 0;
    for (const std::string& line : c.lines) longest = std::max(longest, line.size());
    const int width = static_cast<int>(longest) * A + B, height = static_cast<int>(c.lines.size()) * H;
    ASSERT_TRUE(doc_.HasFloater());
    EXPECT_EQ(doc_.SelectionBox(), (platform::Rect{5, 4, 5 + width, 4 + height}));
    const CDIBitmap& pixels = doc_.FloaterImage();
    ASSERT_EQ(pixels.GetWidth(), width);
    ASSERT_EQ(pixels.GetHeight(), height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) ASSERT_EQ(pixels.GetPixelColor(y, x), 0x00336699u) << x << "," << y;
    // Without AntiAlias the coverage is cut at 128: ink 255, soft edge 0.
    Bytes expected = FakeCoverage(c.lines, width, height, 10);
    for (uint8_t& v : expected) v = v >= 128 ? 255 : 0;
    EXPECT_EQ(AlphaBytes(doc_.FloaterAlpha()), expected);
    // The selection is exactly the non-zero alpha, at the box.
    const platform::Region selection = doc_.SelectionRegionInImage();
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        ASSERT_EQ(selection.Contains(5 + x, 4 + y), expected[y * width + x] != 0) << x << "," << y;
    EXPECT_EQ(ImageBytes(), before);  // the text floats; the image is untouched
    EXPECT_TRUE(messages_.shown.empty());
  }
}

TEST_F(TextToolTest, AntiAliasSmoothsAndTransparencyScalesTheAlpha) {
  constexpr int W = FakeRasterizer::kAdvance + FakeRasterizer::kBlank, H = 12;
  // Smooth: (1 4 1 / 4 16 4 / 1 4 1) / 36 over the coverage, edges repeated.
  const Bytes raw = FakeCoverage({"a"}, W, H, 10);
  Bytes smooth(raw.size());
  static constexpr int kWeights[3][3] = {{1, 4, 1}, {4, 16, 4}, {1, 4, 1}};
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      int sum = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
          sum += kWeights[dy + 1][dx + 1] * raw[std::clamp(y + dy, 0, H - 1) * W + std::clamp(x + dx, 0, W - 1)];
      smooth[y * W + x] = static_cast<uint8_t>(sum / 36);
    }
  Bytes hard = raw;
  for (uint8_t& v : hard) v = v >= 128 ? 255 : 0;

  struct Case {
    bool antialias;
    int transparency;
    const Bytes* unscaled;
  } cases[] = {{true, 0, &smooth}, {false, 40, &hard}, {true, 75, &smooth}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.antialias << " " << c.transparency);
    doc_.ClearSelection();
    doc_.FreeFloaterBitmaps();
    ToolSettings().antialias = c.antialias;
    ToolSettings().PaintOf(ViewTool::Text).transparency = c.transparency;
    ASSERT_EQ(PlaceAt(0, 0, "a"), 1);
    const int opacity = 255 - c.transparency * 255 / 100;
    Bytes expected = *c.unscaled;
    for (uint8_t& v : expected) v = static_cast<uint8_t>((v * opacity + 127) / 255);
    EXPECT_EQ(AlphaBytes(doc_.FloaterAlpha()), expected);
    // The selection follows the text's shape before the transparency.
    const platform::Region selection = doc_.SelectionRegionInImage();
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) ASSERT_EQ(selection.Contains(x, y), (*c.unscaled)[y * W + x] != 0);
  }
}

TEST_F(TextToolTest, EmptyOrBlankTextLeavesNoFloater) {
  EXPECT_EQ(PlaceAt(5, 5, ""), 0);
  EXPECT_FALSE(doc_.HasSelection());
  EXPECT_FALSE(doc_.HasFloater());
  EXPECT_TRUE(messages_.shown.empty());
  // Blanks have a size but no ink: the region is empty.
  EXPECT_EQ(PlaceAt(5, 5, "   "), 0);
  EXPECT_FALSE(doc_.HasFloater());
  EXPECT_EQ(messages_.Texts(), std::vector<std::string>{"Error allocating Text bitmaps : null region"});
}

TEST_F(TextToolTest, MaskOnlyLeavesATextShapedSelectionWithoutFloater) {
  ToolSettings().textSettings.maskOnly = true;
  const Bytes before = ImageBytes();
  ASSERT_EQ(PlaceAt(75, 2, "ab"), 1);  // reaches past the right edge
  EXPECT_FALSE(doc_.HasFloater());
  EXPECT_FALSE(doc_.FloaterImage().IsAllocated());
  EXPECT_FALSE(doc_.FloaterAlpha().IsAllocated());
  ASSERT_TRUE(doc_.HasSelection());
  // The first bar (columns 75..79, rows 3..12) inside the image; the rest
  // is cut off by the image's right edge.
  EXPECT_EQ(doc_.SelectionRegionInImage(), platform::Region::FromRect(75, 3, 80, 13));
  EXPECT_EQ(ImageBytes(), before);
}

TEST_F(TextToolTest, UndoTakesTheTextAwayAndBringsBackADroppedFloater) {
  // A floater over the image first: placing text drops it into the image.
  doc_.SetSelectionRegion(platform::Region::FromRect(10, 10, 30, 30));
  ASSERT_EQ(view_->RunCommand(kCmdFloat, {}), 1);
  ASSERT_EQ(view_->RunCommand(kCmdFill, {}), 1);
  const Bytes before = ImageBytes();
  ASSERT_EQ(PlaceAt(40, 40, "ab"), 1);
  EXPECT_NE(ImageBytes(), before);  // the filled floater went into the image
  EXPECT_EQ(doc_.SelectionBox().left, 40);
  EXPECT_EQ(doc_.UndoMenuText(), "Undo\tCtrl+Z");
  ASSERT_EQ(view_->OnUndo(), 1);
  EXPECT_EQ(ImageBytes(), before);
  ASSERT_TRUE(doc_.HasFloater());
  EXPECT_EQ(doc_.SelectionBox(), (platform::Rect{10, 10, 30, 30}));
}

TEST_F(TextToolTest, CancelRightPressAndMissingFontsChangeNothing) {
  ToolSettings().textSettings.text = "abc";
  view_->OnPointerPress({5, 5}, PointerButton::Right, 0);
  EXPECT_FALSE(view_->TextDialogOpen());
  view_->OnPointerPress({5, 5}, PointerButton::Left, 0);
  view_->OnPointerRelease({5, 5}, PointerButton::Left, 0);
  view_->OnTextDialogCancel();
  EXPECT_FALSE(view_->TextDialogOpen());
  EXPECT_FALSE(IsModalRunning());
  EXPECT_FALSE(doc_.HasSelection());

  platform::SetTextRasterizer(nullptr);
  EXPECT_EQ(PlaceAt(5, 5, "abc"), 0);
  EXPECT_FALSE(doc_.HasSelection());
  EXPECT_FALSE(doc_.IsModified());
  EXPECT_EQ(messages_.Texts(), std::vector<std::string>{"Fonts are not available: no text rasteriser is installed"});
}

TEST_F(TextToolTest, FontComesFromTheDialogAndPointsUseTheImageResolution) {
  TextSettings& text = ToolSettings().textSettings;
  text.font = "DejaVu Serif";
  text.size = 12;
  text.sizeInPoints = true;
  text.bold = text.italic = text.underline = true;
  doc_.GetImage().SetResolution(144, 144);
  ASSERT_EQ(PlaceAt(0, 0, "a"), 1);
  EXPECT_EQ(fake_.last.family, "DejaVu Serif");
  EXPECT_TRUE(fake_.last.bold && fake_.last.italic && fake_.last.underline);
  EXPECT_EQ(fake_.last.PixelSize(), 24);  // 12 pt at 144 dpi
  EXPECT_EQ(doc_.FloaterImage().GetHeight(), 24 + 2);
}

}  // namespace
