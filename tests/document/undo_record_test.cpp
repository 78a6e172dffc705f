// The undo record: which parts each kind saves, tiles following the region,
// the kind-13 merge, and restoring geometry, colour table and pixels.
#include <gtest/gtest.h>

#include "document/vivid_doc.h"
#include "platform/main_window.h"
#include "platform/messages.h"

namespace {

constexpr unsigned F = kUndoFloaterPixels, A = kUndoFloaterAlpha, R = kUndoSelection, I = kUndoImage;

// Pixel value from position, so every pixel differs from its neighbours.
uint8_t Pattern(int x, int y, int c) { return static_cast<uint8_t>(x * 7 + y * 13 + c * 101); }

void FillPattern(CDIBitmap& image, int salt) {
  for (int y = 0; y < image.GetHeight(); ++y)
    for (int i = 0; i < image.GetRowBytes(); ++i) image.RowPointer(y)[i] = static_cast<uint8_t>(Pattern(i, y, 0) + salt);
}

std::vector<uint8_t> Pixels(const CDIBitmap& image) {
  std::vector<uint8_t> all;
  for (int y = 0; y < image.GetHeight(); ++y)
    all.insert(all.end(), image.RowPointer(y), image.RowPointer(y) + image.GetRowBytes());
  return all;
}

TEST(UndoRecord, PartsFollowTheKindTable) {
  struct Case {
    int kind;
    unsigned both, selectionOnly, none;
  };
  const Case cases[] = {
      {11, F | A | R | I, R, 0}, {12, F | A | R, R, 0},       {13, F | A | R, R, 0},
      {15, F | A | R, R | I, 0}, {16, 0, R, 0},               {17, F | A | R | I, 0, 0},
      {18, F | A | R | I, R, 0}, {19, F | A | R, R | I, I},   {30, F | A | R | I, R, 0},
      {40, F | A | R, R | I, I}, {45, F | A | R, R | I, I},   {50, F | A | R, R | I, I},
      {99, F | A | R | I, R | I, I}, {77, F | A | R, R | I, I},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    EXPECT_EQ(UndoPartsFor(c.kind, true, true), c.both);
    EXPECT_EQ(UndoPartsFor(c.kind, true, false), c.selectionOnly);
    EXPECT_EQ(UndoPartsFor(c.kind, false, false), c.none);
  }
}

TEST(UndoRecord, SavesOnlyTilesTouchingTheRegionAndRestoresThem) {
  // 100 x 70: tiles of 32, narrower at the right (4 wide) and bottom (6 high).
  CVividDoc doc;
  CDIBitmap& image = doc.GetImage();
  ASSERT_TRUE(image.Create(100, 70, 24, 0));
  FillPattern(image, 0);
  const std::vector<uint8_t> before = Pixels(image);

  // A rectangle touching tiles (1,0), (2,0), (1,1), (2,1) and one pixel in the
  // bottom-right tile (3,2).
  const platform::Region region =
      platform::Region::FromRect(40, 20, 70, 40).Union(platform::Region::FromRect(99, 69, 100, 70));
  ASSERT_TRUE(doc.RecordUndo(40, &region, "Draw Brush"));
  EXPECT_EQ(doc.GetUndoRecord().tileCount, 5);

  FillPattern(image, 1);  // every pixel changes
  const std::vector<uint8_t> after = Pixels(image);
  doc.RestoreUndo();
  const std::vector<uint8_t> restored = Pixels(image);
  for (int y = 0; y < 70; ++y)
    for (int x = 0; x < 100; ++x) {
      const int tx = x / 32, ty = y / 32;
      const bool saved = (ty <= 1 && (tx == 1 || tx == 2)) || (tx == 3 && ty == 2);
      const size_t at = static_cast<size_t>(y) * 300 + static_cast<size_t>(x) * 3;
      ASSERT_EQ(restored[at], saved ? before[at] : after[at]) << x << "," << y;
    }
  EXPECT_EQ(doc.GetUndoRecord().kind, 0);
  EXPECT_FALSE(doc.IsUndoAvailable());
}

TEST(UndoRecord, RestoresGeometryAndColourTable) {
  // A palette image of odd width, cropped and recoloured after the record:
  // kind 99 saves every tile even with a region, so everything comes back.
  CVividDoc doc;
  CDIBitmap& image = doc.GetImage();
  ASSERT_TRUE(image.Create(45, 33, 8, 0));
  uint8_t table[1024];
  for (int i = 0; i < 1024; ++i) table[i] = static_cast<uint8_t>(i * 3);
  image.SetColorTable(table, 256);
  FillPattern(image, 0);
  const std::vector<uint8_t> before = Pixels(image);
  const platform::Region small = platform::Region::FromRect(2, 2, 4, 4);
  ASSERT_TRUE(doc.RecordUndo(99, &small, "Trim Selection"));

  CDIBitmap cropped;
  ASSERT_TRUE(cropped.Create(3, 3, 24, 0));
  image.Free();
  image.Attach(cropped);
  doc.RestoreUndo();
  ASSERT_EQ(image.GetWidth(), 45);
  ASSERT_EQ(image.GetHeight(), 33);
  ASSERT_EQ(image.GetBitCount(), 8);
  EXPECT_EQ(Pixels(image), before);
  uint8_t back[1024] = {};
  image.GetColorTable(back, 256);
  EXPECT_EQ(std::vector<uint8_t>(back, back + 1024), std::vector<uint8_t>(table, table + 1024));
}

TEST(UndoRecord, OneBitTilesRestoreExactly) {
  CVividDoc doc;
  CDIBitmap& image = doc.GetImage();
  ASSERT_TRUE(image.Create(77, 40, 1, 0));
  FillPattern(image, 0);
  const std::vector<uint8_t> before = Pixels(image);
  ASSERT_TRUE(doc.RecordUndo(50, nullptr, "Rotate 90 Canvas"));
  EXPECT_EQ(doc.GetUndoRecord().tileCount, 3 * 2);
  FillPattern(image, 5);
  doc.RestoreUndo();
  EXPECT_EQ(Pixels(image), before);
}

TEST(UndoRecord, ArrowMovesMergeAndSelectionComesBack) {
  CVividDoc doc;
  ASSERT_TRUE(doc.GetImage().Create(50, 50, 24, 0));
  doc.SetSelectionRegion(platform::Region::FromRect(10, 10, 20, 20));
  ASSERT_TRUE(doc.RecordUndo(13, nullptr, "Move Selection"));
  doc.MoveSelectionTo(11, 10);
  ASSERT_TRUE(doc.RecordUndo(13, nullptr, "Move Floater"));
  doc.MoveSelectionTo(12, 10);
  EXPECT_EQ(doc.GetUndoRecord().name, "Move Floater");
  doc.ClearSelection();
  doc.RestoreUndo();
  EXPECT_EQ(doc.SelectionBox(), (platform::Rect{10, 10, 20, 20}));
}

TEST(UndoRecord, MenuTextAndAvailability) {
  CVividDoc doc;
  ASSERT_TRUE(doc.GetImage().Create(8, 8, 24, 0));
  EXPECT_EQ(doc.UndoMenuText(), "Undo\tCtrl+Z");
  EXPECT_FALSE(doc.IsUndoAvailable());
  ASSERT_TRUE(doc.RecordUndo(50, nullptr, "Resize Image"));
  EXPECT_FALSE(doc.IsUndoAvailable());  // until the edit marks the document modified
  doc.SetModifiedFlag(true);
  EXPECT_TRUE(doc.IsUndoAvailable());
  EXPECT_EQ(doc.UndoMenuText(), "Undo Resize Image\tCtrl+Z");
  doc.RestoreUndo();
  EXPECT_EQ(doc.UndoMenuText(), "Undo\tCtrl+Z");
  EXPECT_FALSE(doc.IsUndoAvailable());
}

TEST(Selection, CombineClipsToTheImageAndKeepsTheBoxRelativeRegion) {
  CVividDoc doc;
  ASSERT_TRUE(doc.GetImage().Create(40, 30, 24, 0));
  // Subtract and Intersect with no selection leave none.
  doc.CombineSelection(platform::Region::FromRect(0, 0, 5, 5), SelectionCombine::Subtract);
  doc.CombineSelection(platform::Region::FromRect(0, 0, 5, 5), SelectionCombine::Intersect);
  EXPECT_FALSE(doc.HasSelection());
  doc.CombineSelection(platform::Region::FromRect(30, 20, 60, 50), SelectionCombine::Add);
  EXPECT_EQ(doc.SelectionBox(), (platform::Rect{30, 20, 40, 30}));
  EXPECT_EQ(doc.GetSelection().region.Box(), (platform::Rect{0, 0, 10, 10}));
  EXPECT_TRUE(doc.GetImage().MaskBit(25, 35));
  EXPECT_FALSE(doc.GetImage().MaskBit(5, 5));
  doc.CombineSelection(platform::Region::FromRect(35, 20, 40, 30), SelectionCombine::Subtract);
  EXPECT_EQ(doc.SelectionBox(), (platform::Rect{30, 20, 35, 30}));
  doc.CombineSelection(platform::Region::FromRect(0, 0, 32, 32), SelectionCombine::Intersect);
  EXPECT_EQ(doc.SelectionBox(), (platform::Rect{30, 20, 32, 30}));
  doc.ClearSelection();
  EXPECT_FALSE(doc.HasSelection());
  EXPECT_FALSE(doc.GetImage().HasMask());
}

}  // namespace
