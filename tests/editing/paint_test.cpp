// The paint tools: tips, dab spacing, coverage, strokes on the image and the
// floater, the eraser's saved image, undo, flood fill, the picker, lines,
// shapes, and the stroke shown while it runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/vivid_doc.h"
#include "editing/stroke_engine.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "imaging/combine.h"
#include "test_support.h"

namespace {

using platform::Point;
using platform::Rect;
using platform::Region;

// The tip value of pixel (i, j) from the brush formula, in single precision.
int TipValue(int shape, int size, int softness, int i, int j) {
  const float r = size * 0.5f, w = softness * size * 0.005f;
  const float dx = std::fabs(i - r + 0.5f), dy = std::fabs(j - r + 0.5f);
  const float d = shape == 1 ? std::sqrt(dx * dx + dy * dy) : std::max(dx, dy);
  if (shape == 1 && d > r) return 255;
  if (d >= r - w && w > 0) return static_cast<int>(256.0f - (r - d) * 256.0f / w);
  return 0;
}

TEST(PaintTip, MatchesTheFormula) {
  struct Case {
    int shape, size, softness;
  } cases[] = {{0, 10, 0}, {1, 10, 100}, {0, 7, 50}, {1, 15, 30}, {1, 1, 0}, {0, 100, 100}};
  for (const Case& c : cases) {
    CDIBitmap tip, hard;
    ASSERT_TRUE(MakeTip(c.shape, c.size, c.softness, tip, hard));
    ASSERT_EQ(tip.GetWidth(), c.size);
    for (int j = 0; j < c.size; ++j)
      for (int i = 0; i < c.size; ++i) {
        const int v = TipValue(c.shape, c.size, c.softness, i, j);
        EXPECT_EQ(tip.RowPointer(j)[i], v < 1 ? 0 : (v & 0xFF)) << c.shape << "/" << c.size << " at " << i << "," << j;
        EXPECT_EQ(hard.RowPointer(j)[i], v >= 255 ? 255 : 0);
      }
  }
  CDIBitmap tip, hard;
  EXPECT_FALSE(MakeTip(0, 0, 0, tip, hard));  // a size-0 brush has no tip
}

TEST(PaintTip, SoftCircleRisesFromCentreToRim) {
  CDIBitmap tip, hard;
  ASSERT_TRUE(MakeTip(1, 10, 100, tip, hard));
  const uint8_t* row = tip.RowPointer(5);
  EXPECT_LT(row[5], 40);  // near the centre: almost full paint
  for (int i = 5; i < 9; ++i) EXPECT_LT(row[i], row[i + 1]);
  EXPECT_EQ(tip.RowPointer(0)[0], 255);  // the corner lies outside the circle
}

TEST(PaintSpacing, DabsAlongAMove) {
  struct Case {
    int displayed, image, size, spacing, want;
  } cases[] = {{100, 100, 10, 20, 2}, {100, 100, 10, 0, 1}, {200, 100, 10, 20, 4}, {50, 100, 10, 20, 1},
               {100, 100, 100, 50, 50}};
  for (const Case& c : cases) EXPECT_EQ(DabSpacing(c.displayed, c.image, c.size, c.spacing), c.want);

  DabStepper stepper;
  stepper.Start(10, 10);
  std::vector<Point> dabs;
  stepper.MoveTo(30, 10, 2, dabs);  // a fast 20-pixel move
  ASSERT_EQ(dabs.size(), 10u);
  for (size_t k = 0; k < dabs.size(); ++k) EXPECT_EQ(dabs[k], (Point{static_cast<int>(12 + 2 * k), 10}));
  dabs.clear();
  stepper.MoveTo(30.5, 10, 1, dabs);  // less than the spacing: nothing
  EXPECT_TRUE(dabs.empty());
}

TEST(PaintStroke, HalfStrengthDabsAddUp) {
  BrushSettings brush;
  brush.size = 4;
  BrushStroke stroke;
  ASSERT_TRUE(stroke.Begin(brush, 20, 20, 128));
  stroke.LayDab(10, 10);
  const CDIBitmap* cell = stroke.Plane().FindCell(0, 0);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->RowPointer(10)[10], 128);  // 255 x 128 / 255
  stroke.LayDab(10, 10);
  EXPECT_EQ(cell->RowPointer(10)[10], 255);
  EXPECT_EQ(stroke.StrokeRect(), (Rect{8, 8, 12, 12}));
  // A dab over the corner keeps to the image.
  EXPECT_EQ(stroke.LayDab(0, 0), (Rect{0, 0, 2, 2}));
  EXPECT_TRUE(stroke.LayDab(-10, -10).IsEmpty());
}

void Noise(CDIBitmap& bitmap, uint32_t seed) {
  for (int y = 0; y < bitmap.GetHeight(); ++y)
    for (int i = 0; i < bitmap.GetRowBytes(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      bitmap.RowPointer(y)[i] = static_cast<uint8_t>(seed >> 24);
    }
}

std::vector<uint8_t> Bytes(const CDIBitmap& b) {
  std::vector<uint8_t> out;
  for (int y = 0; y < b.GetHeight(); ++y) out.insert(out.end(), b.RowPointer(y), b.RowPointer(y) + b.GetRowBytes());
  return out;
}

uint32_t Colour(const CDIBitmap& b, int x, int y) { return b.GetPixelColor(y, x); }

// Where two bitmaps of one size and kind first differ ("" when they agree).
std::string FirstDifference(const CDIBitmap& got, const CDIBitmap& want) {
  for (int y = 0; y < want.GetHeight(); ++y)
    for (int i = 0; i < want.GetRowBytes(); ++i)
      if (got.RowPointer(y)[i] != want.RowPointer(y)[i])
        return "row " + std::to_string(y) + " byte " + std::to_string(i) + ": got " +
               std::to_string(got.RowPointer(y)[i]) + ", want " + std::to_string(want.RowPointer(y)[i]);
  return "";
}

// CellCommitter against the blend written out per pixel: coverage A laid at
// plane pixel (x + ox, y + oy) blends target pixel (x, y) as
// (colour x a + d x (255 - a)) / 255 with a = A x opacity / 255 (palette and
// 1-bit: the colour's index where A is not 0), inside the selection only.
// The coverage is noise with zero rows and columns, so cells are partly
// covered; the target is no multiple of the cell size and the plane's
// origin no multiple of it either. The shown cells equal the committed ones.
TEST(PaintCommit, CommittedCellsMatchThePerPixelBlend) {
  struct Case {
    int bits, options;
    Point origin;
    bool select;
  } cases[] = {{24, 0, {0, 0}, false}, {24, 0, {37, 21}, true}, {24, 0, {0, 0}, true}, {8, 1, {5, 70}, false},
               {8, 0, {0, 0}, true},   {1, 0, {37, 21}, true}, {1, 0, {0, 0}, false}};
  constexpr int kWidth = 150, kHeight = 100, kOpacity = 200;
  constexpr uint32_t kForeground = 0x3080C0;
  const Region selection = Region::FromRect(20, 10, 90, 60).Union(Region::FromRect(70, 55, 150, 97));
  for (const Case& c : cases) {
    CDIBitmap target;
    ASSERT_TRUE(target.Create(kWidth, kHeight, c.bits, c.options));
    Noise(target, 7);
    // Coverage noise with every fifth row and every seventh column left at 0.
    CDIBitmap coverage;
    ASSERT_TRUE(coverage.Create(130, 90, 8, 1));
    Noise(coverage, 11);
    for (int y = 0; y < 90; ++y)
      for (int x = 0; x < 130; ++x)
        if (y % 5 == 0 || x % 7 == 0) coverage.RowPointer(y)[x] = 0;
    constexpr int kLaidX = 30, kLaidY = 25;
    CoveragePlane plane;
    plane.Reset(kWidth + c.origin.x, kHeight + c.origin.y);
    plane.Add(coverage, kLaidX, kLaidY);
    const auto coverageAt = [&](int x, int y) {
      const int px = x + c.origin.x - kLaidX, py = y + c.origin.y - kLaidY;
      return px < 0 || py < 0 || px >= 130 || py >= 90 ? 0 : coverage.RowPointer(py)[px];
    };
    CDIBitmap want;
    ASSERT_TRUE(want.CopyFrom(target));
    const int index = target.NearestIndex(kForeground);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const int A = coverageAt(x, y);
        if (A == 0 || (c.select && !selection.Contains(x, y))) continue;
        if (c.bits <= 8 && c.options == 0) {
          want.SetPixel(y, x, static_cast<uint32_t>(index));
          continue;
        }
        const int a = A * kOpacity / 255;
        const uint8_t colour[3] = {0x30, 0x80, 0xC0};  // blue, green, red of 0x00BBGGRR
        uint8_t* p = want.RowPointer(y) + x * (c.bits / 8);
        for (int k = 0; k < c.bits / 8; ++k)
          p[k] = static_cast<uint8_t>(((c.bits == 8 ? 0x80 : colour[k]) * a + p[k] * (255 - a)) / 255);
      }
    StrokeSource source;
    source.colour = c.bits == 8 ? 0x808080 : kForeground;
    CellCommitter committer(target, plane, c.origin, source, {kBlendNormal, kOpacity, false},
                            c.select ? std::optional<Region>(selection) : std::nullopt);
    // The cells as a view shows them, before the commit.
    std::vector<std::pair<Rect, std::vector<uint8_t>>> shown;
    for (const auto& [cx, cy] : plane.TouchedCells()) {
      const Rect rect = committer.TargetRect(cx, cy);
      if (std::unique_ptr<CDIBitmap> cell = committer.Compute(rect)) shown.emplace_back(rect, Bytes(*cell));
    }
    ASSERT_EQ(committer.CommitAll(), 1);
    ASSERT_EQ(FirstDifference(target, want), "") << c.bits << " bits, origin " << c.origin.x << ", select " << c.select;
    ASSERT_FALSE(shown.empty());
    for (const auto& [rect, bytes] : shown) {
      CDIBitmap part;
      ASSERT_TRUE(part.CopyRect(target, rect.left, rect.top, rect.Width(), rect.Height(), 0));
      EXPECT_EQ(Bytes(part), bytes) << c.bits << " bits, cell at " << rect.left << "," << rect.top;
    }
  }
}

class PaintViewTest : public testing::Test {
 protected:
  void SetUp() override {
    ToolSettings() = CToolSettings{};
    view_ = std::make_unique<CVividView>(doc_);
  }
  void TearDown() override {
    view_.reset();
    ToolSettings() = CToolSettings{};
    CVividDoc::SetKeepSavedCopy(false);
  }
  CDIBitmap& MakeImage(int width, int height, int bits = 24, int options = 0) {
    CDIBitmap& image = doc_.GetImage();
    EXPECT_TRUE(image.Create(width, height, bits, options));
    Noise(image, 3);
    view_->OnDocumentUpdate(doc_, kHintRedraw | kHintSizeChanged);
    original_ = Bytes(image);
    return image;
  }
  void UseTool(ViewTool tool) {
    ToolSettings().SelectTool(tool);
    view_->OnToolChanged();
  }
  void Drag(std::vector<Point> points, PointerButton button = PointerButton::Left) {
    view_->OnPointerPress(points.front(), button, 0);
    for (size_t i = 1; i < points.size(); ++i) view_->OnPointerMove(points[i], 0);
    view_->OnPointerRelease(points.back(), button, 0);
  }
  // Whether pixel (x, y) kept its original bytes.
  bool Unchanged(int x, int y) const {
    const CDIBitmap& image = doc_.GetImage();
    const size_t bpp = image.GetBitCount() / 8, at = (static_cast<size_t>(y) * image.GetWidth() + x) * bpp;
    return std::equal(original_.begin() + at, original_.begin() + at + bpp, image.RowPointer(y) + x * bpp);
  }

  CVividDoc doc_;
  std::unique_ptr<CVividView> view_;
  std::vector<uint8_t> original_;
};

// A square pen of size 4 at (10, 10) paints [8, 12) x [8, 12), inside the
// selection when there is one; Undo brings the image back.
TEST_F(PaintViewTest, PenDabWithAndWithoutSelection) {
  for (const bool select : {false, true}) {
    CDIBitmap& image = MakeImage(40, 30);
    doc_.ClearSelection();
    if (select) doc_.SetSelectionRegion(Region::FromRect(10, 0, 40, 30));
    UseTool(ViewTool::Pen);
    ToolSettings().BrushOf(BrushOwner::Pen).size = 4;
    ToolSettings().foreground = 0x0000FF;
    Drag({{10, 10}});
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) {
        const bool painted = x >= 8 && x < 12 && y >= 8 && y < 12 && (!select || x >= 10);
        if (painted)
          EXPECT_EQ(Colour(image, x, y), 0x0000FFu) << x << "," << y;
        else
          EXPECT_TRUE(Unchanged(x, y)) << x << "," << y;
      }
    EXPECT_EQ(doc_.GetUndoRecord().name, "Draw Brush");
    EXPECT_EQ(doc_.GetUndoRecord().tileCount, 1);  // only the touched 32 x 32 tile
    view_->OnUndo();
    EXPECT_EQ(Bytes(image), original_);
  }
}

TEST_F(PaintViewTest, StrokeWithFloaterChangesTheFloaterOnly) {
  CDIBitmap& image = MakeImage(40, 30);
  doc_.SetSelectionRegion(Region::FromRect(5, 5, 25, 25));
  ASSERT_EQ(view_->OnFloat(), 1);
  const std::vector<uint8_t> canvas = Bytes(image);
  UseTool(ViewTool::Brush);
  ToolSettings().BrushOf(BrushOwner::Brush).size = 2;
  ToolSettings().foreground = 0x00FF00;
  Drag({{10, 10}, {20, 10}});
  EXPECT_EQ(Bytes(image), canvas);
  const CDIBitmap& floater = doc_.FloaterImage();
  for (int x = 5; x <= 15; ++x) EXPECT_EQ(Colour(floater, x, 5), 0x00FF00u) << x;  // floater coordinates
}

TEST_F(PaintViewTest, EraserSavedImage) {
  testing_support::TempDir dir;
  for (const bool resized : {false, true}) {
    MakeImage(40, 30);
    CVividDoc::SetKeepSavedCopy(true);
    ASSERT_TRUE(doc_.OnSaveDocument(dir.File("saved.bmp")));
    ASSERT_TRUE(doc_.OnOpenDocument(dir.File("saved.bmp")));
    CDIBitmap& image = doc_.GetImage();
    view_->OnDocumentUpdate(doc_, kHintRevert);
    ASSERT_NE(doc_.GetSavedCopy(), nullptr);
    if (resized) MakeImage(41, 30);
    const std::vector<uint8_t> saved = Bytes(*doc_.GetSavedCopy());
    ToolSettings().background = 0x123456;
    ToolSettings().foreground = 0x0000FF;
    UseTool(ViewTool::Pen);
    ToolSettings().BrushOf(BrushOwner::Pen).size = 6;
    Drag({{10, 10}});
    UseTool(ViewTool::Eraser);
    ToolSettings().eraserMode = 3;
    ToolSettings().BrushOf(BrushOwner::Eraser).size = 6;
    Drag({{10, 10}});
    for (int y = 7; y < 13; ++y)
      for (int x = 7; x < 13; ++x) {
        if (resized) {
          EXPECT_EQ(Colour(image, x, y), 0x123456u);
        } else {
          const uint8_t* p = image.RowPointer(y) + x * 3;
          EXPECT_TRUE(std::equal(p, p + 3, saved.begin() + (y * 40 + x) * 3)) << x << "," << y;
        }
      }
  }
}

TEST_F(PaintViewTest, EmptyStrokesRecordNothing) {
  CDIBitmap& image = MakeImage(20, 20);
  UseTool(ViewTool::Pen);
  ToolSettings().BrushOf(BrushOwner::Pen).size = 0;  // a size-0 tip lays nothing
  Drag({{5, 5}, {15, 15}});
  UseTool(ViewTool::Line);
  Drag({{5, 5}, {5, 5}});  // a line released at its press point
  UseTool(ViewTool::FloodFill);
  Drag({{500, 500}});  // a seed outside the image
  EXPECT_EQ(Bytes(image), original_);
  EXPECT_EQ(doc_.GetUndoRecord().kind, 0);
}

TEST_F(PaintViewTest, FloodFillTakesTheConnectedArea) {
  for (const bool select : {false, true}) {
    CDIBitmap& image = MakeImage(30, 20);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 30; ++x) image.SetPixelColor(y, x, x < 12 ? 0x102030u : (x == 12 ? 0xFFFFFFu : 0x102030u));
    original_ = Bytes(image);
    doc_.ClearSelection();
    if (select) doc_.SetSelectionRegion(Region::FromRect(0, 5, 30, 20));
    UseTool(ViewTool::FloodFill);
    ToolSettings().foreground = 0x00AA00;
    ToolSettings().fillTolerance = 0;
    Drag({{3, 10}});
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 30; ++x) {
        const bool filled = x < 12 && (!select || y >= 5);
        EXPECT_EQ(Colour(image, x, y), filled ? 0x00AA00u : (x == 12 ? 0xFFFFFFu : 0x102030u)) << x << "," << y;
      }
    EXPECT_EQ(doc_.GetUndoRecord().name, "Fill Color");
  }
}

TEST_F(PaintViewTest, PickerSetsForegroundAndBackground) {
  CDIBitmap& image = MakeImage(20, 20);
  UseTool(ViewTool::Picker);
  Drag({{3, 4}});
  Drag({{7, 9}}, PointerButton::Right);
  EXPECT_EQ(ToolSettings().foreground, Colour(image, 3, 4));
  EXPECT_EQ(ToolSettings().background, Colour(image, 7, 9));
  EXPECT_EQ(Bytes(image), original_);
}

// Horizontal lines cover exactly `width` rows; the ends reach the capsule's
// round caps (the formula in paint_tools.cpp worked out by hand).
TEST_F(PaintViewTest, LinePixels) {
  struct Case {
    int width;
    Rect covered;
  } cases[] = {{1, {5, 10, 16, 11}}, {3, {4, 9, 17, 12}}, {2, {4, 9, 16, 11}}};
  for (const Case& c : cases) {
    CDIBitmap& image = MakeImage(30, 20);
    UseTool(ViewTool::Line);
    ToolSettings().lineWidth = c.width;
    ToolSettings().foreground = 0xFF0000;
    Drag({{5, 10}, {9, 12}, {15, 10}});
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 30; ++x) {
        if (x >= c.covered.left && x < c.covered.right && y >= c.covered.top && y < c.covered.bottom)
          EXPECT_EQ(Colour(image, x, y), 0xFF0000u) << c.width << ": " << x << "," << y;
        else
          EXPECT_TRUE(Unchanged(x, y)) << c.width << ": " << x << "," << y;
      }
    EXPECT_EQ(doc_.GetUndoRecord().name, "Draw line");
  }
  // Points past the edge are clamped: the whole row 3.
  CDIBitmap& image = MakeImage(20, 10);
  ToolSettings().lineWidth = 1;
  Drag({{-5, 3}, {60, 3}});
  for (int x = 0; x < 20; ++x) EXPECT_EQ(Colour(image, x, 3), 0xFF0000u) << x;
}

// A rectangle with a one-pixel foreground border around a left-to-right
// gradient from the foreground to the background.
TEST_F(PaintViewTest, RectangleShapeWithGradient) {
  CDIBitmap& image = MakeImage(30, 20);
  UseTool(ViewTool::Shape);
  CToolSettings& s = ToolSettings();
  s.shapeKind = 0, s.fillStyle = 0, s.borderWidth = 1;
  s.foreground = 0x000000, s.background = 0xC864FF;  // red 255, green 100, blue 200
  Drag({{11, 7}, {2, 2}});                           // spanned either way
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) {
      if (x < 2 || x > 11 || y < 2 || y > 7) {
        EXPECT_TRUE(Unchanged(x, y)) << x << "," << y;
        continue;
      }
      uint32_t want = 0;
      if (x > 2 && x < 11 && y > 2 && y < 7) {
        const double t = (x + 0.5 - 2) / 10;
        const auto channel = [t](int b) { return static_cast<uint32_t>(b * t + 0.5); };
        want = channel(255) | channel(100) << 8 | channel(200) << 16;
      }
      EXPECT_EQ(Colour(image, x, y), want) << x << "," << y;
    }
  EXPECT_EQ(doc_.GetUndoRecord().name, "Draw Shape");
}

// The view shows the stroke in progress exactly as it is committed, here a
// soft multiply stroke at 30 % transparency.
TEST_F(PaintViewTest, ShownStrokeEqualsCommitted) {
  MakeImage(150, 100);
  view_->SetClientSize(150, 100);
  UseTool(ViewTool::Brush);
  BrushSettings& brush = ToolSettings().BrushOf(BrushOwner::Brush);
  brush.shape = 1, brush.size = 30, brush.softness = 60;
  ToolSettings().PaintOf(ViewTool::Brush).mergeMode = 1;
  ToolSettings().PaintOf(ViewTool::Brush).transparency = 30;
  ToolSettings().foreground = 0x4080C0;
  RgbImage before, during, after;
  view_->Render(before);
  view_->OnPointerPress({20, 20}, PointerButton::Left, 0);
  view_->OnPointerMove({90, 70}, 0);
  view_->OnPointerMove({130, 30}, 0);
  view_->Render(during);
  EXPECT_EQ(Bytes(doc_.GetImage()), original_);  // nothing written yet
  EXPECT_NE(during.pixels, before.pixels);
  view_->OnPointerRelease({130, 30}, PointerButton::Left, 0);
  view_->Render(after);
  EXPECT_EQ(during.pixels, after.pixels);
}

TEST_F(PaintViewTest, AirBrushLaysDabsOnTicks) {
  CDIBitmap& image = MakeImage(20, 20);
  UseTool(ViewTool::Airbrush);
  ToolSettings().BrushOf(BrushOwner::Airbrush).size = 2;
  ToolSettings().PaintOf(ViewTool::Airbrush).transparency = 20;  // pressure factor 51
  ToolSettings().foreground = 0xFFFFFF;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) image.SetPixelColor(y, x, 0);
  view_->OnPointerPress({10, 10}, PointerButton::Left, 0);
  view_->OnTimer(250);  // two more dabs: coverage 3 x 51
  view_->OnPointerRelease({10, 10}, PointerButton::Left, 0);
  EXPECT_EQ(Colour(image, 10, 10), 0x999999u);  // 255 x 153 / 255
}

// The pen on the other pixel kinds: the foreground as the kind's own pixel.
TEST_F(PaintViewTest, PenOnEveryPixelKind) {
  struct Case {
    int bits, options;
    uint32_t foreground;
    std::vector<uint8_t> pixel;
  } cases[] = {{8, 1, 0x808080, {128}}, {8, 0, 0x0000FF, {7}}, {32, 1, 0xFFFFFF, {0, 0, 0, 0}}};
  for (const Case& c : cases) {
    CDIBitmap& image = MakeImage(20, 20, c.bits, c.options);
    if (c.bits == 8 && c.options == 0) {
      std::vector<uint8_t> table(256 * 4, 0);
      table[7 * 4 + 2] = 255;  // entry 7: red (blue, green, red, 0)
      image.SetColorTable(table.data(), 256);
    }
    UseTool(ViewTool::Pen);
    ToolSettings().BrushOf(BrushOwner::Pen).size = 2;
    ToolSettings().foreground = c.foreground;
    Drag({{10, 10}});
    const size_t bpp = c.pixel.size();
    for (int y = 9; y < 11; ++y)
      for (int x = 9; x < 11; ++x)
        EXPECT_TRUE(std::equal(c.pixel.begin(), c.pixel.end(), image.RowPointer(y) + x * bpp)) << c.bits << ": " << x;
    EXPECT_TRUE(Unchanged(8, 10) && Unchanged(11, 10));
  }
}

// The stamp lays the stamp's pixels at (x mod width, y mod height).
TEST_F(PaintViewTest, StampTilesFromTheImageCorner) {
  CDIBitmap& image = MakeImage(40, 30);
  doc_.SetSelectionRegion(Region::FromRect(3, 4, 8, 7));  // a 5 x 3 stamp
  ASSERT_EQ(view_->OnDefineStamp(), 1);
  std::vector<uint32_t> stamp;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) stamp.push_back(Colour(image, 3 + x, 4 + y));
  view_->OnSelectNone();
  UseTool(ViewTool::Stamp);
  ToolSettings().BrushOf(BrushOwner::Brush).size = 6;
  Drag({{20, 15}});
  for (int y = 12; y < 18; ++y)
    for (int x = 17; x < 23; ++x) EXPECT_EQ(Colour(image, x, y), stamp[(y % 3) * 5 + x % 5]) << x << "," << y;
}

// Retouch: Blur leaves a uniform image as it is; Lighten raises every level
// under the dab and nothing else.
TEST_F(PaintViewTest, RetouchModes) {
  for (const int mode : {0, 4}) {
    CDIBitmap& image = MakeImage(20, 20, 8, 1);
    for (int y = 0; y < 20; ++y) std::memset(image.RowPointer(y), 100, 20);
    original_ = Bytes(image);
    UseTool(ViewTool::Retouch);
    ToolSettings().retouchMode = mode;
    ToolSettings().BrushOf(BrushOwner::Retouch).size = 4;
    Drag({{10, 10}});
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) {
        const bool under = mode == 4 && x >= 8 && x < 12 && y >= 8 && y < 12;
        if (under)
          EXPECT_GT(image.RowPointer(y)[x], 100) << x << "," << y;
        else
          EXPECT_EQ(image.RowPointer(y)[x], 100) << x << "," << y;
      }
    if (mode == 4) {
      EXPECT_EQ(doc_.GetUndoRecord().name, "Retouch");
    }
  }
}

}  // namespace

// Esc during a stroke or a selection drag drops it: nothing changes and
// nothing is recorded.
TEST(EscapeTest, CancelsTheGestureInProgress) {
  CVividDoc doc;
  ASSERT_TRUE(doc.GetImage().Create(40, 30, 24, 0));
  CVividView view(doc);
  std::vector<uint8_t> before(doc.GetImage().GetPixels(),
                              doc.GetImage().GetPixels() + static_cast<size_t>(doc.GetImage().GetStride()) * 30);
  ToolSettings() = CToolSettings();
  ToolSettings().SelectTool(ViewTool::Pen);
  view.OnPointerPress({5, 5}, PointerButton::Left, 0);
  view.OnPointerMove({20, 10}, 0);
  view.OnKey(ViewKey::Escape, 1, 0);
  view.OnPointerRelease({20, 10}, PointerButton::Left, 0);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), doc.GetImage().GetPixels()));
  EXPECT_TRUE(view.ImagePatches().Empty());
  ToolSettings().SelectTool(ViewTool::Rectangle);
  view.OnPointerPress({5, 5}, PointerButton::Left, 0);
  view.OnPointerMove({20, 10}, 0);
  view.OnKey(ViewKey::Escape, 1, 0);
  view.OnPointerRelease({20, 10}, PointerButton::Left, 0);
  EXPECT_FALSE(doc.HasSelection());
  EXPECT_EQ(doc.GetUndoRecord().kind, 0);
  ToolSettings() = CToolSettings();
}
