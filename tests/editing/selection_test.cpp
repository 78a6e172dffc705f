// The selection tools, the Select menu and selection files, driven through
// a view at 1:1 with no scroll (view point = image point). Expected regions
// come from per-pixel predicates written from the rules, not from the code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "editing/selection_ops.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "platform/main_window.h"
#include "platform/messages.h"
#include "test_support.h"

namespace {

using platform::Point;
using platform::Region;
using Pixels = std::function<bool(int x, int y)>;

constexpr int kWidth = 40;
constexpr int kHeight = 30;

// Pixels of the region that the predicate does not say, and the reverse,
// over the image and a margin around it.
int Mismatches(const Region& region, const Pixels& expected, std::string* first = nullptr) {
  int count = 0;
  for (int y = -3; y < kHeight + 3; ++y)
    for (int x = -3; x < kWidth + 3; ++x)
      if (region.Contains(x, y) != expected(x, y)) {
        if (count++ == 0 && first) *first = std::to_string(x) + "," + std::to_string(y);
      }
  return count;
}

void ExpectRegion(const Region& region, const Pixels& expected, const std::string& label) {
  std::string first;
  EXPECT_EQ(Mismatches(region, expected, &first), 0) << label << ", first at " << first;
}

Pixels InRect(int l, int t, int r, int b) {
  return [=](int x, int y) { return x >= l && x < r && y >= t && y < b; };
}
Pixels InRects(std::vector<platform::Rect> rects) {
  return [=](int x, int y) {
    return std::any_of(rects.begin(), rects.end(),
                       [&](const platform::Rect& r) { return InRect(r.left, r.top, r.right, r.bottom)(x, y); });
  };
}
bool InImage(int x, int y) { return x >= 0 && y >= 0 && x < kWidth && y < kHeight; }

// Brute-force 3 x 3 morphology repeated n times: the (2n + 1)-square around
// a pixel, positions outside the image counting as unselected (dilation)
// or selected (erosion).
Pixels Dilated(const Pixels& p, int n) {
  return [=](int x, int y) {
    if (!InImage(x, y)) return false;
    for (int dy = -n; dy <= n; ++dy)
      for (int dx = -n; dx <= n; ++dx)
        if (InImage(x + dx, y + dy) && p(x + dx, y + dy)) return true;
    return false;
  };
}
Pixels Eroded(const Pixels& p, int n) {
  return [=](int x, int y) {
    if (!InImage(x, y)) return false;
    for (int dy = -n; dy <= n; ++dy)
      for (int dx = -n; dx <= n; ++dx)
        if (InImage(x + dx, y + dy) && !p(x + dx, y + dy)) return false;
    return true;
  };
}

class SelectionTest : public testing::Test {
 protected:
  SelectionTest() {
    doc_.GetImage().Create(kWidth, kHeight, 24, 0);
    doc_.SetModifiedFlag(false);
    view_ = std::make_unique<CVividView>(doc_);
    ToolSettings().SelectTool(ViewTool::Rectangle);
  }

  void Drag(Point from, Point to, unsigned modifiers = 0) {
    view_->OnPointerPress(from, PointerButton::Left, modifiers);
    view_->OnPointerMove(to, modifiers);
    view_->OnPointerRelease(to, PointerButton::Left, modifiers);
  }
  void Click(Point at) { Drag(at, at); }
  Region Selected() const { return doc_.SelectionRegionInImage(); }

  platform::RecordingMessageSink messages_;
  platform::RecordingMainWindow window_;
  CVividDoc doc_;
  std::unique_ptr<CVividView> view_;
};

TEST_F(SelectionTest, DragToolsMakeTheirShapes) {
  struct Case {
    ViewTool tool;
    Point from, to;
    Pixels expected;
    const char* label;
  };
  const Case cases[] = {
      {ViewTool::Rectangle, {5, 6}, {15, 12}, InRect(5, 6, 15, 12), "rectangle left to right"},
      {ViewTool::Rectangle, {15, 12}, {5, 6}, InRect(5, 6, 15, 12), "rectangle right to left"},
      {ViewTool::Rectangle, {35, 2}, {60, 50}, InRect(35, 2, kWidth, kHeight), "rectangle clipped to the image"},
  };
  for (const Case& c : cases) {
    ToolSettings().SelectTool(c.tool);
    Drag(c.from, c.to);
    ASSERT_TRUE(doc_.HasSelection()) << c.label;
    ExpectRegion(Selected(), c.expected, c.label);
    view_->OnSelectNone();
  }

  // Ellipse from centre (10, 10) to (13, 12): radii 3 and 2, x 7..13, y 8..12.
  ToolSettings().SelectTool(ViewTool::Ellipse);
  Drag({10, 10}, {13, 12});
  EXPECT_EQ(doc_.SelectionBox(), (platform::Rect{7, 8, 14, 13}));
  for (Point p : {Point{7, 10}, Point{13, 10}, Point{10, 8}, Point{10, 12}, Point{10, 10}})
    EXPECT_TRUE(Selected().Contains(p.x, p.y)) << p.x << "," << p.y;
  EXPECT_FALSE(Selected().Contains(7, 8));
  view_->OnSelectNone();

  // Round rectangle: corners (2, 3)-(22, 19) give (2, 3, 23, 20) with corner
  // ellipses 5 x 4, so the corner pixels are cut and the edge middles kept.
  ToolSettings().SelectTool(ViewTool::RoundRectangle);
  Drag({22, 19}, {2, 3});
  EXPECT_EQ(doc_.SelectionBox(), (platform::Rect{2, 3, 23, 20}));
  for (Point p : {Point{2, 3}, Point{22, 3}, Point{2, 19}, Point{22, 19}}) EXPECT_FALSE(Selected().Contains(p.x, p.y));
  for (Point p : {Point{12, 3}, Point{12, 19}, Point{2, 11}, Point{22, 11}}) EXPECT_TRUE(Selected().Contains(p.x, p.y));

  // A press and release at one point (outside the selection) is Select None.
  Click({30, 25});
  EXPECT_FALSE(doc_.HasSelection());
  EXPECT_FALSE(doc_.GetImage().HasMask());
}

TEST_F(SelectionTest, ModifierKeysChooseHowTheNewShapeCombines) {
  const Pixels a = InRect(5, 5, 20, 20), b = InRect(12, 12, 30, 25);
  struct Case {
    unsigned modifiers;
    Pixels expected;
    const char* label;
  };
  const Case cases[] = {
      {0, b, "replace"},
      {kModShift, [=](int x, int y) { return a(x, y) || b(x, y); }, "shift adds"},
      {kModShift | kModCtrl, [=](int x, int y) { return a(x, y) || b(x, y); }, "shift wins over ctrl"},
      {kModCtrl, [=](int x, int y) { return a(x, y) && !b(x, y); }, "ctrl subtracts"},
      {kModCtrl | kModAlt, [=](int x, int y) { return a(x, y) && !b(x, y); }, "ctrl wins over alt"},
      {kModAlt, [=](int x, int y) { return a(x, y) && b(x, y); }, "alt intersects"},
  };
  for (const Case& c : cases) {
    view_->OnSelectNone();
    Drag({5, 5}, {20, 20});
    // Start outside a so that the press does not grab the outline.
    Drag({30, 25}, {12, 12}, c.modifiers);
    ExpectRegion(Selected(), c.expected, c.label);
  }

  // Without a selection, subtract and intersect leave none; add installs.
  for (unsigned modifiers : {unsigned{kModCtrl}, unsigned{kModAlt}}) {
    view_->OnSelectNone();
    Drag({30, 25}, {12, 12}, modifiers);
    EXPECT_FALSE(doc_.HasSelection()) << modifiers;
  }
  Drag({30, 25}, {12, 12}, kModShift);
  ExpectRegion(Selected(), b, "shift without a selection");
}

TEST_F(SelectionTest, SelectAllThenInverseLeavesAnEmptySelection) {
  EXPECT_EQ(view_->OnSelectAll(), 1);
  ExpectRegion(Selected(), InImage, "all");
  EXPECT_EQ(view_->OnSelectInverse(), 1);
  EXPECT_TRUE(doc_.HasSelection());
  EXPECT_TRUE(Selected().IsEmpty());
  EXPECT_EQ(doc_.GetUndoRecord().name, "Invert Selection");

  Drag({5, 5}, {20, 20});
  view_->OnSelectInverse();
  ExpectRegion(Selected(), [](int x, int y) { return InImage(x, y) && !InRect(5, 5, 20, 20)(x, y); }, "inverse");
}

TEST_F(SelectionTest, BorderExpandAndContractFollowTheSquareElement) {
  struct Shape {
    std::vector<platform::Rect> rects;
    const char* label;
  };
  const Shape shapes[] = {{{{8, 6, 14, 22}, {8, 16, 28, 22}}, "L shape"}, {{{0, 0, 12, 9}}, "at the image corner"}};
  enum class Op { Expand, Contract, Border };
  for (const Shape& shape : shapes)
    for (Op op : {Op::Expand, Op::Contract, Op::Border})
      for (int n : {1, 2, 3, 5}) {
        const Pixels pixels = InRects(shape.rects);
        doc_.SetSelectionRegion(Region::FromRects(shape.rects));
        Pixels expected;
        switch (op) {
          case Op::Expand:
            view_->OnSelectExpand(n);
            expected = Dilated(pixels, n);
            break;
          case Op::Contract:
            view_->OnSelectContract(n);
            expected = Eroded(pixels, n);
            break;
          case Op::Border: {
            view_->OnSelectBorder(n);
            const Pixels outer = n / 2 ? Dilated(pixels, n / 2) : pixels;
            const Pixels inner = Eroded(pixels, n - n / 2);
            expected = [=](int x, int y) { return outer(x, y) && !inner(x, y); };
            break;
          }
        }
        ExpectRegion(Selected(), expected,
                     std::string(shape.label) + " op " + std::to_string(static_cast<int>(op)) + " n " +
                         std::to_string(n));
      }

  // Sizes below 1 change nothing and record nothing.
  view_->OnSelectAll();
  EXPECT_EQ(view_->OnSelectContract(0), 0);
  EXPECT_EQ(view_->OnSelectBorder(0), 0);
  ExpectRegion(Selected(), InImage, "contract 0");
  EXPECT_EQ(doc_.GetUndoRecord().name, "Select all");
}

TEST_F(SelectionTest, MovedOriginKeepsTheBoxTouchingTheImage) {
  const platform::Rect box{10, 5, 20, 13};  // 10 x 8
  struct Case {
    int64_t dx, dy;
    Point origin;
  };
  const Case cases[] = {
      {3, -2, {13, 3}},
      {29, 0, {39, 5}},           // left edge just inside the right edge
      {30, 0, {kWidth - 10, 5}},  // at the right edge: back to width - box width
      {1000, 1000, {kWidth - 10, kHeight - 8}},
      {-19, -12, {-9, -7}},       // right edge 1, bottom 1: still touching
      {-20, -13, {0, 0}},         // right edge 0: no longer touching
      {-5000000000, 0, {0, 5}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MovedSelectionOrigin(box, c.dx, c.dy, kWidth, kHeight), c.origin) << c.dx << "," << c.dy;
}

TEST_F(SelectionTest, DraggingInsideTheSelectionMovesOnlyTheOutline) {
  Drag({10, 5}, {20, 13});
  doc_.GetImage().SetPixelColor(6, 12, 0x123456);
  Drag({15, 9}, {500, 9});  // far right: stops at width - box width
  EXPECT_EQ(doc_.SelectionBox(), (platform::Rect{kWidth - 10, 5, kWidth, 13}));
  ExpectRegion(Selected(), InRect(kWidth - 10, 5, kWidth, 13), "moved");
  EXPECT_EQ(doc_.GetUndoRecord().kind, 12);
  EXPECT_EQ(doc_.GetUndoRecord().name, "Move Selection");
  EXPECT_EQ(doc_.GetImage().GetPixelColor(6, 12), 0x123456u);
  // The image's mask follows the outline.
  EXPECT_TRUE(doc_.GetImage().MaskBit(5, kWidth - 1));
  EXPECT_FALSE(doc_.GetImage().MaskBit(5, 10));
}

TEST_F(SelectionTest, ArrowMovesMergeIntoOneUndoStep) {
  Drag({10, 5}, {20, 13});
  view_->OnKey(ViewKey::Right, 2, 0);
  view_->OnKey(ViewKey::Down, 1, 0);
  view_->OnKey(ViewKey::Left, 5, 0);
  view_->OnKey(ViewKey::Up, 1, kModCtrl);  // ignored with Ctrl
  EXPECT_EQ(doc_.SelectionBox(), (platform::Rect{7, 6, 17, 14}));
  EXPECT_EQ(doc_.GetUndoRecord().kind, 13);
  view_->OnUndo();
  EXPECT_EQ(doc_.SelectionBox(), (platform::Rect{10, 5, 20, 13}));
}

TEST_F(SelectionTest, FreehandAndPointToPointPolygonsEndOnDoubleClick) {
  const Pixels square = InRect(5, 5, 25, 20);
  // Freehand: trace two sides, release, press again at the third corner and
  // trace on; the release does not end the polygon, the double click does.
  ToolSettings().SelectTool(ViewTool::Freehand);
  view_->OnPointerPress({5, 5}, PointerButton::Left, 0);
  view_->OnPointerMove({25, 5}, 0);
  view_->OnPointerMove({25, 5}, 0);  // a repeat adds no point
  view_->OnPointerRelease({25, 5}, PointerButton::Left, 0);
  EXPECT_FALSE(doc_.HasSelection());
  view_->OnPointerMove({20, 12}, 0);
  ASSERT_EQ(view_->GetRubberBand().points.size(), 3u);
  EXPECT_EQ(view_->GetRubberBand().points.back(), (Point{20, 12}));  // trails the pointer
  view_->OnPointerPress({25, 20}, PointerButton::Left, 0);
  view_->OnPointerMove({5, 20}, 0);
  view_->OnPointerRelease({5, 20}, PointerButton::Left, 0);
  view_->OnDoubleClick({5, 20}, PointerButton::Left, 0);
  ExpectRegion(Selected(), square, "freehand");
  EXPECT_EQ(view_->GetRubberBand().kind, RubberBand::Kind::None);

  // Point to point: a vertex per click.
  view_->OnSelectNone();
  ToolSettings().SelectTool(ViewTool::PointToPoint);
  for (Point p : {Point{5, 5}, Point{25, 5}, Point{25, 20}, Point{5, 20}}) Click(p);
  view_->OnDoubleClick({5, 20}, PointerButton::Left, 0);
  ExpectRegion(Selected(), square, "point to point");

  // One point acts as None; the right button discards a polygon in progress.
  ToolSettings().SelectTool(ViewTool::Freehand);
  Click({30, 25});
  view_->OnDoubleClick({30, 25}, PointerButton::Left, 0);
  EXPECT_FALSE(doc_.HasSelection());
  ToolSettings().SelectTool(ViewTool::Rectangle);
  Drag({5, 5}, {20, 20});
  ToolSettings().SelectTool(ViewTool::Freehand);
  Drag({30, 2}, {38, 28});
  view_->OnPointerPress({30, 28}, PointerButton::Right, 0);
  view_->OnDoubleClick({30, 28}, PointerButton::Left, 0);
  ExpectRegion(Selected(), InRect(5, 5, 20, 20), "discarded");
}

TEST_F(SelectionTest, MagicWandTakesConnectedPixelsWithinTheTolerance) {
  // 24 bits: left part gray 100, right part red 130 (green and blue 100),
  // and an island of gray 100 inside the right part.
  CDIBitmap& image = doc_.GetImage();
  const Pixels left = InRect(0, 0, 20, kHeight), island = InRect(30, 10, 34, 14);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      image.SetPixelColor(y, x, left(x, y) || island(x, y) ? 0x646464 : 0x646482);
  ToolSettings().SelectTool(ViewTool::MagicWand);
  struct Case {
    int tolerance;
    Point click;
    Pixels expected;
  };
  const Case cases[] = {
      {29, {3, 3}, left},
      {30, {3, 3}, InImage},
      {0, {31, 11}, island},
      {29, {36, 3}, [=](int x, int y) { return InImage(x, y) && !left(x, y) && !island(x, y); }},
  };
  for (const Case& c : cases) {
    ToolSettings().fillTolerance = c.tolerance;
    Click(c.click);
    ExpectRegion(Selected(), c.expected, "tolerance " + std::to_string(c.tolerance));
    view_->OnSelectNone();
  }

  // 1-bit images: only the same index matches.
  image.Create(kWidth, kHeight, 1, 0);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) image.SetPixel(y, x, left(x, y) ? 1 : 0);
  ToolSettings().fillTolerance = 255;
  Click({3, 3});
  ExpectRegion(Selected(), left, "1 bit");
}

TEST_F(SelectionTest, PaintSelectionLaysDabsAtTheBrushSpacing) {
  struct Footprint {
    Point centre;
    int size, shape;
    platform::Rect box;
  };
  const Footprint footprints[] = {
      {{20, 20}, 10, 0, {15, 15, 25, 25}},
      {{20, 20}, 5, 0, {18, 18, 23, 23}},
      {{20, 20}, 10, 1, {15, 15, 26, 26}},
  };
  for (const Footprint& f : footprints) {
    const Region dab = DabFootprint(f.centre, f.size, f.shape);
    EXPECT_EQ(dab.Box(), f.box) << f.size << " shape " << f.shape;
    // A square is full; a circle leaves its corners out.
    EXPECT_EQ(dab.Area() == int64_t{f.box.Width()} * f.box.Height(), f.shape == 0);
  }

  struct Spacing {
    int displayed, image, size, percent, expected;
  };
  const Spacing spacings[] = {
      {100, 100, 10, 20, 2}, {100, 100, 10, 0, 1}, {200, 100, 10, 20, 4}, {100, 100, 10, 25, 3}};
  for (const Spacing& s : spacings)
    EXPECT_EQ(DabSpacing(s.displayed, s.image, s.size, s.percent), s.expected) << s.size << " " << s.percent;

  // A 20-pixel move at spacing 2 lays 10 dabs, 2 apart; a 1-pixel move none.
  Point last{10, 10};
  const std::vector<Point> dabs = StepDabs(last, {30, 10}, 2);
  ASSERT_EQ(dabs.size(), 10u);
  for (size_t i = 0; i < dabs.size(); ++i) EXPECT_EQ(dabs[i], (Point{12 + 2 * static_cast<int>(i), 10}));
  EXPECT_EQ(last, (Point{30, 10}));
  EXPECT_TRUE(StepDabs(last, {31, 10}, 2).empty());

  // Through the view: size-6 squares every 2 pixels from (10, 10) to (30, 10).
  BrushSettings& brush = ToolSettings().BrushOf(BrushOwner::PaintSelection);
  brush = {0, 6, 0, 34};  // spacing trunc(6 x 0.34 + 0.5) = 2
  ToolSettings().SelectTool(ViewTool::PaintSelection);
  Drag({10, 10}, {30, 10});
  ExpectRegion(Selected(), InRect(7, 7, 33, 13), "painted");
}

// --- selection files ---

class SelectionFileTest : public SelectionTest {
 protected:
  // An L shape of two rectangles.
  const std::vector<platform::Rect> rects_{{3, 4, 9, 20}, {3, 15, 30, 20}};
  const Pixels shape_ = InRects(rects_);
  void MakeShape() { doc_.SetSelectionRegion(Region::FromRects(rects_)); }
  testing_support::TempDir dir_;
};

TEST_F(SelectionFileTest, SavedSelectionLoadsBack) {
  MakeShape();
  EXPECT_EQ(view_->OnSaveSelection(dir_.File("shape")), 1);
  const std::vector<uint8_t> bytes = testing_support::ReadBytes(dir_.File("shape.sel"));
  ASSERT_GE(bytes.size(), 36u + 32u);
  EXPECT_EQ(std::memcmp(bytes.data(), "vividrome selection 0100       \0", 32), 0);
  const uint32_t n = bytes[32] | bytes[33] << 8 | bytes[34] << 16 | static_cast<uint32_t>(bytes[35]) << 24;
  EXPECT_EQ(n, bytes.size() - 36);
  const uint32_t count = bytes[44] | bytes[45] << 8;
  EXPECT_EQ(32 + 16 * count, n);

  view_->OnSelectNone();
  EXPECT_EQ(view_->OnLoadSelection(dir_.File("shape"), SelectionCombine::Replace), 1);
  ExpectRegion(Selected(), shape_, "loaded");
  EXPECT_EQ(doc_.GetUndoRecord().name, "Load Selection");

  // Combined with the current selection by the chosen mode.
  Drag({20, 2}, {38, 28});
  view_->OnLoadSelection(dir_.File("shape.sel"), SelectionCombine::Intersect);
  ExpectRegion(Selected(), InRect(20, 15, 30, 20), "intersected");

  // A wrong magic still loads.
  std::vector<uint8_t> other = bytes;
  std::memcpy(other.data(), "something else entirely", 23);
  testing_support::WriteBytes(dir_.File("other.sel"), other);
  view_->OnSelectNone();
  EXPECT_EQ(view_->OnLoadSelection(dir_.File("other.sel"), SelectionCombine::Replace), 1);
  ExpectRegion(Selected(), shape_, "wrong magic");
  EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(SelectionFileTest, DamagedFilesFailWithoutChange) {
  MakeShape();
  ASSERT_EQ(view_->OnSaveSelection(dir_.File("good.sel")), 1);
  const std::vector<uint8_t> good = testing_support::ReadBytes(dir_.File("good.sel"));
  auto withInt = [&](size_t offset, uint32_t v) {
    std::vector<uint8_t> b = good;
    for (int i = 0; i < 4; ++i) b[offset + i] = static_cast<uint8_t>(v >> (8 * i));
    return b;
  };
  struct Case {
    std::vector<uint8_t> bytes;
    const char* label;
  };
  const Case cases[] = {
      {std::vector<uint8_t>(good.begin(), good.end() - 1), "one byte short"},
      {std::vector<uint8_t>(good.begin(), good.begin() + 20), "shorter than the header"},
      {withInt(32, static_cast<uint32_t>(good.size())), "n beyond the file"},
      {withInt(32, 0x7FFFFFFF), "n huge"},
      {withInt(32, 0), "n zero"},
      {withInt(32, 0xFFFFFFFF), "n negative"},
      {withInt(32, 16), "n below the region header"},
      {withInt(36 + 8, 1000), "count beyond n"},
      {withInt(36 + 8, 0x10000000), "count huge"},
  };
  Drag({20, 2}, {38, 28});
  for (const Case& c : cases) {
    testing_support::WriteBytes(dir_.File("bad.sel"), c.bytes);
    const std::string undoName = doc_.GetUndoRecord().name;
    messages_.shown.clear();
    EXPECT_EQ(view_->OnLoadSelection(dir_.File("bad.sel"), SelectionCombine::Replace), 0) << c.label;
    EXPECT_EQ(messages_.shown.size(), 1u) << c.label;
    ExpectRegion(Selected(), InRect(20, 2, 38, 28), c.label);
    EXPECT_EQ(doc_.GetUndoRecord().name, undoName) << c.label;
  }
  EXPECT_EQ(view_->OnLoadSelection(dir_.File("absent.sel"), SelectionCombine::Replace), 0);

  // An empty selection writes nothing; an unwritable place says so and
  // leaves no file.
  view_->OnSelectAll();
  view_->OnSelectInverse();
  EXPECT_EQ(view_->OnSaveSelection(dir_.File("empty")), 1);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("empty.sel")));
  Drag({20, 2}, {38, 28});
  messages_.shown.clear();
  EXPECT_EQ(view_->OnSaveSelection(dir_.File("missing/folder/x.sel")), 0);
  EXPECT_EQ(messages_.shown.size(), 1u);
}

TEST_F(SelectionFileTest, LongRectangleListsLoadInBatches) {
  // 4500 one-pixel rectangles on alternate columns, beyond the 4000 that
  // switch to batches of 3000.
  constexpr int kCount = 4500;
  std::vector<uint8_t> bytes(36 + 32 + 16 * kCount);
  auto put = [&](size_t offset, int32_t v) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
  };
  put(32, 32 + 16 * kCount);
  put(36, 32);
  put(40, 1);
  put(44, kCount);
  put(48, 16 * kCount);
  for (int i = 0; i < kCount; ++i) {
    const int x = 2 * (i % 20), y = i / 20 % kHeight;
    const size_t at = 36 + 32 + 16 * static_cast<size_t>(i);
    put(at, x);
    put(at + 4, y);
    put(at + 8, x + 1);
    put(at + 12, y + 1);
  }
  testing_support::WriteBytes(dir_.File("many.sel"), bytes);
  EXPECT_EQ(view_->OnLoadSelection(dir_.File("many.sel"), SelectionCombine::Replace), 1);
  ExpectRegion(Selected(), [](int x, int y) { return InImage(x, y) && x < 40 && x % 2 == 0; }, "batches");
}

}  // namespace
