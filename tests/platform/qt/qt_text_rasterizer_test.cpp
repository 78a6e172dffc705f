// The Qt text rasteriser and the text tool over it: measurements checked
// against QFontMetrics directly, what bold, italic, underline and point
// sizes do to the drawn text, and the two-line block of the text tool.
#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>
#include <QString>
#include <algorithm>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "document/vivid_doc.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "platform/messages.h"
#include "platform/qt/qt_text_rasterizer.h"

namespace {

using Bytes = std::vector<uint8_t>;

platform::FontSpec Font(int pixels, bool bold = false, bool italic = false, bool underline = false) {
  platform::FontSpec font;
  font.family = "DejaVu Sans";
  font.size = pixels;
  font.bold = bold;
  font.italic = italic;
  font.underline = underline;
  return font;
}

QFontMetrics Metrics(const platform::FontSpec& spec) {
  QFont font(QString::fromStdString(spec.family));
  font.setPixelSize(spec.PixelSize());
  font.setBold(spec.bold);
  font.setItalic(spec.italic);
  return QFontMetrics(font);
}

class QtTextTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::EnsureGuiApplication()); }

  Bytes Draw(const platform::FontSpec& font, const std::vector<std::string>& lines, int width, int height) {
    Bytes out(static_cast<size_t>(width) * height, 0xAB);
    EXPECT_TRUE(rasterizer_.DrawLines(font, lines, out.data(), width, height, width));
    return out;
  }
  static long Ink(const Bytes& coverage) { return std::accumulate(coverage.begin(), coverage.end(), 0L); }

  platform::QtTextRasterizer rasterizer_;
};

TEST_F(QtTextTest, MeasuresAsQFontMetrics) {
  const struct {
    platform::FontSpec font;
    const char* line;
  } cases[] = {
      {Font(20), "Hello world "},
      {Font(20, true), "Hello world "},
      {Font(33, false, true), "Wavy fjord "},
      {Font(12), "\xc3\xa9t\xc3\xa9 "},  // UTF-8: été
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const QFontMetrics metrics = Metrics(c.font);
    const auto extent = rasterizer_.MeasureLine(c.font, c.line);
    ASSERT_TRUE(extent);
    EXPECT_EQ(extent->width, metrics.horizontalAdvance(QString::fromUtf8(c.line)));
    EXPECT_EQ(extent->height, metrics.ascent() + metrics.descent());
  }
  EXPECT_FALSE(rasterizer_.MeasureLine(Font(0), "x"));
  // An unknown family falls back to a font that still measures.
  platform::FontSpec unknown = Font(20);
  unknown.family = "No Such Family Anywhere";
  const auto fallback = rasterizer_.MeasureLine(unknown, "Hello");
  ASSERT_TRUE(fallback);
  EXPECT_GT(fallback->width, 0);
}

TEST_F(QtTextTest, BoldItalicUnderlineAndPointsChangeTheText) {
  const std::vector<std::string> lines{"HHxx"};
  constexpr int W = 120, H = 40;
  const Bytes plain = Draw(Font(24), lines, W, H);
  EXPECT_GT(Ink(plain), 0);
  EXPECT_EQ(Draw(Font(24), lines, W, H), plain);  // the same text draws the same
  // Bold: wider and with more ink.
  EXPECT_GT(rasterizer_.MeasureLine(Font(24, true), "HHxx")->width, rasterizer_.MeasureLine(Font(24), "HHxx")->width);
  EXPECT_GT(Ink(Draw(Font(24, true), lines, W, H)), Ink(plain));
  // Italic: slanted, so the pixels differ.
  EXPECT_NE(Draw(Font(24, false, true), lines, W, H), plain);
  // Underline: ink below the baseline, where "HHxx" has none.
  const int baseline = Metrics(Font(24)).ascent();
  const Bytes underlined = Draw(Font(24, false, false, true), lines, W, H);
  auto inkBelow = [&](const Bytes& b) { return Ink(Bytes(b.begin() + (baseline + 1) * W, b.end())); };
  EXPECT_EQ(inkBelow(plain), 0);
  EXPECT_GT(inkBelow(underlined), 0);
  // Without anti-aliasing: only 0 and 255, and the underline is one
  // unbroken row across the line's advance (Qt may leave out its last
  // column).
  platform::FontSpec hard = Font(24, false, false, true);
  hard.antialias = false;
  const Bytes bilevel = Draw(hard, lines, W, H);
  EXPECT_TRUE(std::all_of(bilevel.begin(), bilevel.end(), [](uint8_t v) { return v == 0 || v == 255; }));
  const int advance = rasterizer_.MeasureLine(hard, "HHxx")->width;
  bool solidRow = false;
  for (int y = baseline; y < H; ++y)
    solidRow |= std::all_of(bilevel.begin() + y * W, bilevel.begin() + y * W + advance - 1, [](uint8_t v) { return v; });
  EXPECT_TRUE(solidRow);
  // Points: size x dpi / 72 pixels.
  platform::FontSpec points = Font(12);
  points.sizeInPoints = true;
  points.dpi = 144;
  EXPECT_EQ(Draw(points, lines, W, H), plain);
  EXPECT_EQ(rasterizer_.MeasureLine(points, "HHxx")->width, rasterizer_.MeasureLine(Font(24), "HHxx")->width);
  points.dpi = 72;
  EXPECT_LT(rasterizer_.MeasureLine(points, "HHxx")->width, rasterizer_.MeasureLine(Font(24), "HHxx")->width);
}

TEST_F(QtTextTest, TextToolBlockIsTheLongerLineWithABlankByBothLineHeights) {
  platform::RecordingMessageSink messages;
  platform::TextRasterizer* previous = platform::SetTextRasterizer(&rasterizer_);
  ToolSettings() = CToolSettings{};
  CVividDoc doc;
  ASSERT_TRUE(doc.GetImage().Create(300, 120, 24, 0));
  doc.GetImage().SetResolution(72, 72);
  {
    CVividView view(doc);
    view.SetClientSize(300, 120);
    ToolSettings().SelectTool(ViewTool::Text);
    TextSettings& text = ToolSettings().textSettings;
    text.size = 20;
    text.text = "Hi\r\nHello world";
    view.OnPointerPress({10, 20}, PointerButton::Left, 0);
    ASSERT_TRUE(view.TextDialogOpen());
    ASSERT_EQ(view.OnTextDialogOk(), 1);
    const QFontMetrics metrics = Metrics(Font(20));
    const int width = std::max(metrics.horizontalAdvance("Hi "), metrics.horizontalAdvance("Hello world "));
    const int height = 2 * (metrics.ascent() + metrics.descent());
    ASSERT_TRUE(doc.HasFloater());
    EXPECT_EQ(doc.SelectionBox(), (platform::Rect{10, 20, 10 + width, 20 + height}));
    EXPECT_EQ(doc.FloaterAlpha().GetWidth(), width);
    EXPECT_EQ(doc.FloaterAlpha().GetHeight(), height);
    EXPECT_TRUE(messages.shown.empty());
  }
  platform::SetTextRasterizer(previous);
  ToolSettings() = CToolSettings{};
}

}  // namespace
