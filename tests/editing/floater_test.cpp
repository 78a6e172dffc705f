// The floater: feathering, dropping it by the blend formula, the clipboard
// commands, Delete and Fill, the transforms with their undo names, the
// floater tools, and undo of each.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "document/clipboard_formats.h"
#include "document/vivid_doc.h"
#include "editing/operation_table.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "imaging/combine.h"
#include "platform/clipboard.h"
#include "platform/messages.h"

namespace {

using platform::Rect;
using platform::Region;
using Bytes = std::vector<uint8_t>;

void FillNoise(CDIBitmap& bitmap, uint32_t seed) {
  for (int y = 0; y < bitmap.GetHeight(); ++y) {
    uint8_t* row = bitmap.RowPointer(y);
    for (int i = 0; i < bitmap.GetRowBytes(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      row[i] = static_cast<uint8_t>(seed >> 24);
    }
  }
}

// Every pixel byte of a bitmap, top row first, without padding.
Bytes PixelBytes(const CDIBitmap& bitmap) {
  Bytes out;
  for (int y = 0; y < bitmap.GetHeight(); ++y)
    out.insert(out.end(), bitmap.RowPointer(y), bitmap.RowPointer(y) + bitmap.GetRowBytes());
  return out;
}

// The bytes of pixel (x, y) of an 8-, 24- or 32-bit bitmap.
const uint8_t* PixelAt(const CDIBitmap& bitmap, int x, int y) {
  return bitmap.RowPointer(y) + static_cast<size_t>(x) * (bitmap.GetBitCount() / 8);
}

ParsedOperation Operation(const std::string& text) {
  std::string error;
  auto parsed = ParseOperation(text, error);
  EXPECT_TRUE(parsed) << error;
  return parsed ? *parsed : ParsedOperation{};
}

// A document with an image and a view of it at 1:1, with the tool settings
// at their defaults and a clipboard of its own.
class FloaterTest : public testing::Test {
 protected:
  void SetUp() override {
    ToolSettings() = CToolSettings{};
    previousClipboard_ = platform::SetClipboard(&clipboard_);
    view_ = std::make_unique<CVividView>(doc_);
  }
  void TearDown() override {
    view_.reset();
    platform::SetClipboard(previousClipboard_);
    ToolSettings() = CToolSettings{};
  }

  // A noise image: bits 24, 8 (options 1 gray, 2 palette) or 32 (CMYK).
  CDIBitmap& MakeImage(int width, int height, int bits = 24, int options = 0) {
    CDIBitmap& image = doc_.GetImage();
    EXPECT_TRUE(image.Create(width, height, bits, options));
    FillNoise(image, 7);
    return image;
  }
  void Select(const Region& region) { doc_.SetSelectionRegion(region); }

  platform::RecordingMessageSink messages_;
  platform::MemoryClipboard clipboard_;
  platform::Clipboard* previousClipboard_ = nullptr;
  CVividDoc doc_;
  std::unique_ptr<CVividView> view_;
};

// The feather rule as written: a working copy with a border of 0; pass i
// writes 255 - (N - i) x step (255 in the last pass) where the copy is 255,
// then erodes it by a 3 x 3 minimum.
Bytes FeatherByRule(const Bytes& inside, int width, int height, int n) {
  Bytes alpha = inside;
  if (n == 0) return alpha;
  const int step = std::max(1, 255 / (n + 1));
  const int w = width + 2, h = height + 2;
  Bytes work(static_cast<size_t>(w) * h, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) work[(y + 1) * w + x + 1] = inside[y * width + x];
  for (int i = 0; i < n; ++i) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (work[(y + 1) * w + x + 1] == 255) alpha[y * width + x] = uint8_t(i == n - 1 ? 255 : 255 - (n - i) * step);
    Bytes eroded(work.size(), 0);
    for (int y = 1; y < h - 1; ++y)
      for (int x = 1; x < w - 1; ++x) {
        uint8_t m = 255;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) m = std::min(m, work[(y + dy) * w + x + dx]);
        eroded[y * w + x] = m;
      }
    work = eroded;
  }
  return alpha;
}

TEST_F(FloaterTest, FloatFeathersTheAlphaByTheRule) {
  MakeImage(40, 40);
  const Region shapes[] = {
      Region::FromRect(5, 4, 19, 16),
      Region::FromRect(3, 3, 30, 9).Union(Region::FromRect(3, 9, 12, 35)),  // an L: inner corners
      Region::FromEllipse(2, 6, 33, 31),
  };
  for (const Region& shape : shapes) {
    for (int feather : {0, 1, 2, 3, 6}) {
      SCOPED_TRACE("feather " + std::to_string(feather));
      ToolSettings().feather = feather;
      doc_.ClearSelection();
      doc_.FreeFloaterBitmaps();
      Select(shape);
      ASSERT_EQ(view_->OnFloat(), 1);
      ASSERT_TRUE(doc_.HasFloater());
      const Rect box = doc_.SelectionBox();
      Bytes inside(static_cast<size_t>(box.Width()) * box.Height());
      for (int y = 0; y < box.Height(); ++y)
        for (int x = 0; x < box.Width(); ++x) inside[y * box.Width() + x] = shape.Contains(x + box.left, y + box.top) ? 255 : 0;
      EXPECT_EQ(PixelBytes(doc_.FloaterAlpha()), FeatherByRule(inside, box.Width(), box.Height(), feather));
      // The named levels: feather 1 leaves every selected pixel 255,
      // feather 2 gives the outermost ring 85.
      if (shape == shapes[0] && feather <= 2) {
        EXPECT_EQ(doc_.FloaterAlpha().GetPixel(0, 0), feather == 2 ? 85u : 255u);
        EXPECT_EQ(doc_.FloaterAlpha().GetPixel(1, 1), 255u);
      }
    }
  }
  EXPECT_TRUE(messages_.shown.empty());
}

// Defloat puts every pixel inside the region through the blend and leaves
// every other pixel as it was:
//   a = A x opacity / 255, opacity = 255 - T x 255 / 100,
//   out = (F(d, s) x a + d x (255 - a)) / 255 per byte (gray, 24, 32 bits),
//   out = s where A != 0 (palette);
// F is s for Normal and d x s / 255 for Multiply. The box crosses 64-row
// band boundaries; a mode the image has no blend for drops as Normal.
TEST_F(FloaterTest, DefloatBlendsInsideTheRegionOnly) {
  struct Case {
    int bits, options, mode, transparency;
    bool multiply;  // the expected formula (the mode after the fallback)
  };
  const Case cases[] = {
      {24, 0, kBlendNormal, 50, false},   {24, 0, kBlendNormal, 0, false},   {24, 0, kBlendNormal, 100, false},
      {8, 1, kBlendNormal, 50, false},    {32, 3, kBlendNormal, 50, false},  {8, 2, kBlendNormal, 50, false},
      {24, 0, kBlendMultiply, 50, false}, {8, 1, kBlendMultiply, 30, false}, {8, 1, kBlendHue, 50, false},
  };
  for (Case c : cases) {
    c.multiply = c.mode == kBlendMultiply;
    SCOPED_TRACE("bits " + std::to_string(c.bits) + " mode " + std::to_string(c.mode) + " T " +
                 std::to_string(c.transparency));
    doc_.ClearSelection();
    doc_.FreeFloaterBitmaps();
    CDIBitmap& image = MakeImage(150, 140, c.bits, c.options);
    const Region region = Region::FromEllipse(7, 20, 137, 120);
    Select(region);
    ASSERT_EQ(view_->OnFloat(), 1);
    CDIBitmap& floater = doc_.FloaterImage();
    CDIBitmap& alpha = doc_.FloaterAlpha();
    FillNoise(floater, 99);
    for (int y = 0; y < alpha.GetHeight(); ++y)
      for (int x = 0; x < alpha.GetWidth(); ++x) alpha.SetPixel(y, x, (x * 5 + y * 3) % 256);
    CDIBitmap before, source, levels;
    ASSERT_TRUE(before.CopyFrom(image) && source.CopyFrom(floater) && levels.CopyFrom(alpha));
    ToolSettings().floaterMergeMode = c.mode;
    ToolSettings().floaterTransparency = c.transparency;
    const unsigned opacity = 255 - c.transparency * 255 / 100;

    ASSERT_EQ(view_->OnDefloat(), 1);
    EXPECT_FALSE(doc_.HasFloater());
    EXPECT_TRUE(doc_.HasSelection());
    const int bpp = c.bits / 8;
    const bool palette = c.bits == 8 && c.options == 2;
    int mismatches = 0;
    for (int y = 0; y < 140; ++y)
      for (int x = 0; x < 150; ++x) {
        const uint8_t* d = PixelAt(before, x, y);
        const uint8_t* got = PixelAt(image, x, y);
        for (int k = 0; k < bpp; ++k) {
          unsigned want = d[k];
          if (region.Contains(x, y)) {
            const int fx = x - 7, fy = y - 20;
            const unsigned s = PixelAt(source, fx, fy)[k];
            const unsigned level = levels.GetPixel(fy, fx);
            if (palette) {
              want = level ? s : d[k];
            } else {
              const unsigned a = level * opacity / 255;
              const unsigned blended = c.multiply ? d[k] * s / 255 : s;
              want = (blended * a + d[k] * (255 - a)) / 255;
            }
          }
          if (got[k] != want && ++mismatches <= 5)
            ADD_FAILURE() << "pixel " << x << "," << y << " byte " << k << ": " << int(got[k]) << " != " << want;
        }
      }
    if (c.transparency == 100) {
      EXPECT_EQ(PixelBytes(image), PixelBytes(before));
    }
  }
  EXPECT_TRUE(messages_.shown.empty());
}

// Delete and Fill, with and without a floater: which pixels change, and
// what stays selected.
TEST_F(FloaterTest, DeleteAndFillPaintTheSelectionOrTheFloater) {
  struct Case {
    bool fill, floater;
    const char* undoName;
  };
  const Case cases[] = {{false, false, "Clear Selection"},
                        {false, true, "Clear Floater"},
                        {true, false, "Fill Selection"},
                        {true, true, "Fill Floater"}};
  const Region region = Region::FromEllipse(4, 3, 30, 22);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.undoName);
    doc_.ClearSelection();
    doc_.FreeFloaterBitmaps();
    CDIBitmap& image = MakeImage(40, 30);
    ToolSettings().background = 0x336699;  // red 0x99, green 0x66, blue 0x33
    ToolSettings().foreground = 0x102030;
    Select(region);
    if (c.floater) {
      ASSERT_EQ(view_->OnFloat(), 1);
    }
    CDIBitmap before;
    ASSERT_TRUE(before.CopyFrom(image));
    ASSERT_EQ(c.fill ? view_->OnFill() : view_->OnDelete(), 1);
    EXPECT_EQ(doc_.GetUndoRecord().name, c.undoName);

    const uint32_t color = c.fill ? 0x102030 : 0x336699;
    const uint8_t bgr[3] = {uint8_t(color >> 16), uint8_t(color >> 8), uint8_t(color)};
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) {
        const bool painted = !c.floater && region.Contains(x, y);
        const uint8_t* want = painted ? bgr : PixelAt(before, x, y);
        ASSERT_TRUE(std::equal(want, want + 3, PixelAt(image, x, y))) << x << "," << y;
      }
    // Delete of a floater drops it and the selection; the others keep them.
    const bool dropped = c.floater && !c.fill;
    EXPECT_EQ(doc_.HasSelection(), !dropped);
    EXPECT_EQ(doc_.HasFloater(), c.floater && c.fill);
    if (c.floater && c.fill) {
      const CDIBitmap& floater = doc_.FloaterImage();
      for (int y = 0; y < floater.GetHeight(); ++y)
        for (int x = 0; x < floater.GetWidth(); ++x) ASSERT_TRUE(std::equal(bgr, bgr + 3, PixelAt(floater, x, y)));
    }
  }
}

// Copy lifts nothing; Cut paints the background; Paste brings the pixels,
// the alpha and the outline back at the top-left of the visible area.
TEST_F(FloaterTest, CutCopyPasteRoundTrip) {
  CDIBitmap& image = MakeImage(60, 50);
  CDIBitmap original;
  ASSERT_TRUE(original.CopyFrom(image));
  const Region region = Region::FromEllipse(5, 6, 45, 40);
  const Rect box = region.Box();
  Select(region);

  ASSERT_EQ(view_->OnCopy(), 1);
  EXPECT_FALSE(doc_.HasFloater());
  EXPECT_FALSE(doc_.FloaterImage().IsAllocated());
  EXPECT_EQ(PixelBytes(image), PixelBytes(original));
  const ClipboardFormats& formats = RegisterClipboardFormats();
  for (platform::ClipboardFormat f : {platform::kClipboardDIB, formats.dataA, formats.dataB, formats.dataC})
    EXPECT_TRUE(clipboard_.IsFormatAvailable(f)) << f;

  ToolSettings().background = 0xFFFFFF;
  ASSERT_EQ(view_->OnCut(), 1);
  EXPECT_EQ(doc_.GetUndoRecord().name, "Cut Selection");
  EXPECT_FALSE(doc_.HasSelection());
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 60; ++x) {
      const uint8_t* got = PixelAt(image, x, y);
      if (region.Contains(x, y))
        ASSERT_TRUE(got[0] == 255 && got[1] == 255 && got[2] == 255) << x << "," << y;
      else
        ASSERT_TRUE(std::equal(got, got + 3, PixelAt(original, x, y))) << x << "," << y;
    }

  ASSERT_EQ(view_->OnPaste(), 1);
  EXPECT_EQ(doc_.GetUndoRecord().name, "Paste from Clipboard");
  ASSERT_TRUE(doc_.HasFloater());
  EXPECT_EQ(doc_.SelectionBox(), (Rect{0, 0, box.Width(), box.Height()}));
  Region moved = region;
  moved.Offset(-box.left, -box.top);
  EXPECT_EQ(doc_.GetSelection().region, moved);
  const CDIBitmap& floater = doc_.FloaterImage();
  const CDIBitmap& alpha = doc_.FloaterAlpha();
  ASSERT_EQ(floater.GetBitCount(), 24);
  for (int y = 0; y < box.Height(); ++y)
    for (int x = 0; x < box.Width(); ++x) {
      const uint8_t* want = PixelAt(original, x + box.left, y + box.top);
      ASSERT_TRUE(std::equal(want, want + 3, PixelAt(floater, x, y))) << x << "," << y;
      ASSERT_EQ(alpha.GetPixel(y, x), moved.Contains(x, y) ? 255u : 0u) << x << "," << y;
    }
  EXPECT_TRUE(messages_.shown.empty());
}

// A floater that cannot reach the clipboard is not cut away, and a paste
// that cannot read the clipboard leaves the floater that was there.
TEST_F(FloaterTest, ClipboardFailuresKeepTheFloater) {
  MakeImage(40, 30);
  Select(Region::FromRect(5, 5, 25, 20));
  ASSERT_EQ(view_->OnFloat(), 1);
  clipboard_.RefuseOpen(true);
  EXPECT_EQ(view_->OnCut(), 0);
  EXPECT_TRUE(doc_.HasFloater());
  EXPECT_EQ(doc_.SelectionBox(), (Rect{5, 5, 25, 20}));
  EXPECT_EQ(view_->OnPaste(), 0);
  EXPECT_TRUE(doc_.HasFloater());
  EXPECT_TRUE(doc_.FloaterImage().IsAllocated());
  EXPECT_EQ(messages_.Texts(), (std::vector<std::string>{"Cannot open the Clipboard", "Cannot open the Clipboard"}));
}

// A bitmap alone on the clipboard (a palette one here) becomes an opaque
// rectangular floater of the image's kind at the visible top-left corner.
TEST_F(FloaterTest, PlainBitmapPastesOpaqueAtTheVisibleCorner) {
  MakeImage(80, 60);
  CDIBitmap pasted;
  ASSERT_TRUE(pasted.Create(7, 5, 8, 2));
  uint8_t table[256 * 4] = {};
  for (int i = 0; i < 256; ++i) {
    table[4 * i] = uint8_t(i);
    table[4 * i + 1] = uint8_t(255 - i);
    table[4 * i + 2] = uint8_t(i * 7);
  }
  pasted.SetColorTable(table, 256);
  FillNoise(pasted, 3);
  ASSERT_TRUE(clipboard_.Open() && clipboard_.Empty());
  ASSERT_TRUE(clipboard_.SetData(platform::kClipboardDIB, pasted.ToPackedDIB()));
  ASSERT_TRUE(clipboard_.Close());
  view_->SetClientSize(30, 20);  // smaller than the image, so it scrolls
  view_->SetScroll(10, 5);

  ASSERT_EQ(view_->OnPaste(), 1);
  ASSERT_TRUE(doc_.HasFloater());
  EXPECT_EQ(doc_.SelectionBox(), (Rect{10, 5, 17, 10}));
  EXPECT_EQ(doc_.GetSelection().region, Region::FromRect(0, 0, 7, 5));
  const CDIBitmap& floater = doc_.FloaterImage();
  ASSERT_EQ(floater.GetBitCount(), 24);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) {
      const uint8_t* entry = table + 4 * pasted.GetPixel(y, x);
      ASSERT_TRUE(std::equal(entry, entry + 3, PixelAt(floater, x, y))) << x << "," << y;
      ASSERT_EQ(doc_.FloaterAlpha().GetPixel(y, x), 255u);
    }
}

// Every transform's undo kind and name, on the floater and on the canvas.
TEST_F(FloaterTest, TransformsRecordTheirNames) {
  struct Case {
    const char* operation;
    const char* floater;
    const char* canvas;
  };
  const Case cases[] = {
      {"rotate-90", "Rotate 90 Floater", "Rotate 90 Canvas"},
      {"rotate-180", "Rotate 180 Floater", "Rotate 180 Canvas"},
      {"rotate-270", "Rotate -90 Floater", "Rotate -90 Canvas"},
      {"flip-horizontal", "Flip Floater Vertical", "Flip Canvas Vertical"},
      {"flip-vertical", "Flip Floater Horizotal", "Flip Canvas Horizotal"},
      {"resize:20,12", "Resize Floater", "Resize Image"},
      {"rotate:30", "Rotate Floater", "Rotate Canvas"},
      {"shear:10", "Skew Floater", "Skew Canvas"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operation);
    doc_.ClearSelection();
    doc_.FreeFloaterBitmaps();
    MakeImage(50, 40);
    Select(Region::FromRect(10, 10, 30, 20));
    ASSERT_EQ(view_->RunTransform(Operation(c.operation)), 1);
    EXPECT_EQ(doc_.GetUndoRecord().kind, 19);
    EXPECT_EQ(doc_.GetUndoRecord().name, c.floater);
    EXPECT_TRUE(doc_.HasFloater());
    EXPECT_EQ(doc_.FloaterImage().GetWidth(), doc_.SelectionBox().Width());
    EXPECT_EQ(doc_.FloaterAlpha().GetHeight(), doc_.SelectionBox().Height());
    doc_.ClearSelection();
    doc_.FreeFloaterBitmaps();
    ASSERT_EQ(view_->RunTransform(Operation(c.operation)), 1);
    EXPECT_EQ(doc_.GetUndoRecord().kind, 50);
    EXPECT_EQ(doc_.GetUndoRecord().name, c.canvas);
  }
}

// A 30 x 10 floater at (100, 100) turned a quarter becomes 10 x 30 centred
// on the old box: left = 230 div 2 - 5, top = 210 div 2 - 15.
TEST_F(FloaterTest, QuarterTurnCentresTheNewBox) {
  MakeImage(200, 200);
  Select(Region::FromRect(100, 100, 130, 110));
  ASSERT_EQ(view_->RunTransform(Operation("rotate-90")), 1);
  EXPECT_EQ(doc_.SelectionBox(), (Rect{110, 90, 120, 120}));
  EXPECT_EQ(doc_.GetSelection().region, Region::FromRect(0, 0, 10, 30));
  EXPECT_EQ(doc_.FloaterImage().GetWidth(), 10);
  EXPECT_EQ(doc_.FloaterImage().GetHeight(), 30);
}

// Undo brings back exactly what each edit changed.
TEST_F(FloaterTest, UndoRestoresPixelsAndState) {
  enum class Edit { Float, Defloat, CanvasTurn, CanvasResize, Trim };
  for (Edit edit : {Edit::Float, Edit::Defloat, Edit::CanvasTurn, Edit::CanvasResize, Edit::Trim}) {
    SCOPED_TRACE(static_cast<int>(edit));
    doc_.ClearSelection();
    doc_.FreeFloaterBitmaps();
    CDIBitmap& image = MakeImage(70, 45);
    const Region region = Region::FromEllipse(10, 5, 50, 40);
    if (edit != Edit::CanvasTurn && edit != Edit::CanvasResize) Select(region);
    if (edit == Edit::Defloat) {
      ASSERT_EQ(view_->OnFloat(), 1);
      FillNoise(doc_.FloaterImage(), 5);
    }
    CDIBitmap before, floaterBefore;
    ASSERT_TRUE(before.CopyFrom(image));
    if (doc_.HasFloater()) {
      ASSERT_TRUE(floaterBefore.CopyFrom(doc_.FloaterImage()));
    }
    const Rect box = doc_.SelectionBox();

    switch (edit) {
      case Edit::Float: ASSERT_EQ(view_->OnFloat(), 1); break;
      case Edit::Defloat: ASSERT_EQ(view_->OnDefloat(), 1); break;
      case Edit::CanvasTurn: ASSERT_EQ(view_->RunTransform(Operation("rotate-90")), 1); break;
      case Edit::CanvasResize: ASSERT_EQ(view_->RunTransform(Operation("resize:33,91")), 1); break;
      case Edit::Trim:
        ASSERT_EQ(view_->OnTrim(), 1);
        EXPECT_EQ(doc_.GetUndoRecord().name, "Trim Selection");
        ASSERT_EQ(image.GetWidth(), box.Width());
        ASSERT_EQ(image.GetHeight(), box.Height());
        EXPECT_EQ(doc_.SelectionBox(), (Rect{0, 0, box.Width(), box.Height()}));
        for (int y = 0; y < box.Height(); ++y)
          ASSERT_TRUE(std::equal(PixelAt(image, 0, y), PixelAt(image, box.Width(), y),
                                 PixelAt(before, box.left, y + box.top)));
        break;
    }
    ASSERT_EQ(view_->OnUndo(), 1);
    EXPECT_EQ(image.GetWidth(), 70);
    EXPECT_EQ(image.GetHeight(), 45);
    EXPECT_EQ(PixelBytes(image), PixelBytes(before));
    EXPECT_EQ(doc_.HasFloater(), edit == Edit::Defloat);
    EXPECT_EQ(doc_.SelectionBox(), box);
    if (edit == Edit::Defloat) {
      EXPECT_EQ(PixelBytes(doc_.FloaterImage()), PixelBytes(floaterBefore));
    }
  }
}

// Three arrow moves with the Move Floater tool are one undo step back to
// the selection without a floater.
TEST_F(FloaterTest, ArrowMovesUndoInOneStep) {
  MakeImage(60, 50);
  Select(Region::FromRect(20, 20, 40, 30));
  ToolSettings().SelectTool(ViewTool::MoveFloater);
  view_->OnKey(ViewKey::Right, 2, 0);
  view_->OnKey(ViewKey::Down, 1, 0);
  view_->OnKey(ViewKey::Left, 1, 0);
  EXPECT_TRUE(doc_.HasFloater());
  EXPECT_EQ(doc_.SelectionBox(), (Rect{21, 21, 41, 31}));
  EXPECT_EQ(doc_.GetUndoRecord().kind, 13);
  ASSERT_EQ(view_->OnUndo(), 1);
  EXPECT_FALSE(doc_.HasFloater());
  EXPECT_EQ(doc_.SelectionBox(), (Rect{20, 20, 40, 30}));
}

// Dragging with the Move Floater tool: the drag distance, and a box that
// keeps touching the image when dragged far off it.
TEST_F(FloaterTest, DragMovesTheFloaterKeepingItOnTheImage) {
  CDIBitmap& image = MakeImage(60, 50);
  CDIBitmap before;
  ASSERT_TRUE(before.CopyFrom(image));
  Select(Region::FromRect(20, 20, 40, 30));
  ToolSettings().SelectTool(ViewTool::MoveFloater);
  view_->OnPointerPress({25, 25}, PointerButton::Left, 0);
  view_->OnPointerMove({30, 27}, 0);
  view_->OnPointerRelease({32, 29}, PointerButton::Left, 0);
  EXPECT_TRUE(doc_.HasFloater());
  EXPECT_EQ(doc_.SelectionBox(), (Rect{27, 24, 47, 34}));
  EXPECT_EQ(doc_.GetUndoRecord().kind, 12);
  EXPECT_EQ(doc_.GetUndoRecord().name, "Move Floater");
  EXPECT_EQ(PixelBytes(image), PixelBytes(before));  // the canvas waits for the drop

  view_->OnPointerPress({30, 30}, PointerButton::Left, 0);
  // Far off to the left and below: a right edge at or left of 0 puts the
  // left edge at 0; a top edge past the bottom becomes height - box height.
  view_->OnPointerRelease({-500, 900}, PointerButton::Left, 0);
  EXPECT_EQ(doc_.SelectionBox(), (Rect{0, 40, 20, 50}));

  // A press outside the selection moves nothing.
  view_->OnPointerPress({5, 5}, PointerButton::Left, 0);
  view_->OnPointerRelease({15, 15}, PointerButton::Left, 0);
  EXPECT_EQ(doc_.SelectionBox(), (Rect{0, 40, 20, 50}));
}

// Scale drags a corner with the opposite one fixed; Distort moves one
// corner and maps the floater onto the new quadrilateral.
TEST_F(FloaterTest, ScaleAndDistortToolsCommitOnRelease) {
  MakeImage(100, 80);
  Select(Region::FromRect(20, 20, 40, 30));
  ToolSettings().SelectTool(ViewTool::Scale);
  view_->OnPointerPress({41, 29}, PointerButton::Left, 0);  // within 4 pixels of (40, 30)
  view_->OnPointerMove({45, 32}, 0);
  view_->OnPointerRelease({50, 35}, PointerButton::Left, 0);
  EXPECT_EQ(doc_.GetUndoRecord().name, "Scale Floater");
  EXPECT_EQ(doc_.SelectionBox(), (Rect{20, 20, 50, 35}));
  EXPECT_EQ(doc_.FloaterImage().GetWidth(), 30);
  EXPECT_EQ(doc_.FloaterAlpha().GetHeight(), 15);
  ASSERT_TRUE(view_->TransformFrame());
  EXPECT_EQ((*view_->TransformFrame())[2].x, 50);
  EXPECT_EQ((*view_->TransformFrame())[2].y, 35);
  ASSERT_EQ(view_->OnUndo(), 1);
  EXPECT_FALSE(doc_.HasFloater());

  // Distort: the bottom-right corner of a 20 x 10 floater pulled 20 pixels
  // right gives the trapezoid (0,0) (20,0) (40,10) (0,10): a pixel is inside
  // when its centre x + 0.5 < 20 + 2 (y + 0.5). Each column of the floater
  // has its own colour, so the left column shows the source's left column.
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) doc_.GetImage().SetPixelColor(20 + y, 20 + x, uint32_t(x * 12 + 5));
  ToolSettings().SelectTool(ViewTool::Distort);
  view_->OnPointerPress({40, 30}, PointerButton::Left, 0);
  view_->OnPointerRelease({60, 30}, PointerButton::Left, 0);
  EXPECT_EQ(doc_.GetUndoRecord().name, "Distort Floater");
  ASSERT_EQ(doc_.SelectionBox(), (Rect{20, 20, 60, 30}));
  const CDIBitmap& alpha = doc_.FloaterAlpha();
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool inside = x + 0.5 < 20 + 2 * (y + 0.5);
      ASSERT_EQ(alpha.GetPixel(y, x) != 0, inside) << x << "," << y;
      ASSERT_EQ(doc_.GetSelection().region.Contains(x, y), inside) << x << "," << y;
    }
  for (int y = 0; y < 10; ++y) EXPECT_EQ(doc_.FloaterImage().GetPixelColor(y, 0), 5u);
}

// Edit Floater Alpha: a stroke lowers the alpha by the amount, a Shift
// stroke raises it, only inside the selection.
TEST_F(FloaterTest, EditAlphaStrokeRaisesAndLowers) {
  MakeImage(60, 50);
  Select(Region::FromRect(10, 10, 40, 30));
  ASSERT_EQ(view_->OnFloat(), 1);
  BrushSettings& brush = ToolSettings().BrushOf(BrushOwner::EditAlpha);
  brush.shape = 0;
  brush.size = 4;
  brush.spacing = 100;
  ToolSettings().SelectTool(ViewTool::EditAlpha);

  // Lower at full amount on a square 4 x 4 footprint at (20, 20): image
  // pixels 18..21 each way. Then raise columns 20..23 by 255 - 50 x 255 /
  // 100 = 128: min(255, (255 x 128 + v x 255) / 255) gives 128 where v = 0
  // and stays 255 where v = 255.
  view_->OnPointerPress({20, 20}, PointerButton::Left, 0);
  view_->OnPointerRelease({20, 20}, PointerButton::Left, 0);
  EXPECT_EQ(doc_.GetUndoRecord().name, "Edit Floater Alpha");
  ToolSettings().editAlphaTransparency = 50;
  view_->OnPointerPress({22, 20}, PointerButton::Left, kModShift);
  view_->OnPointerRelease({22, 20}, PointerButton::Left, kModShift);
  // A stroke over the box's corner changes only the pixels inside.
  ToolSettings().editAlphaTransparency = 0;
  view_->OnPointerPress({10, 10}, PointerButton::Left, 0);
  view_->OnPointerRelease({10, 10}, PointerButton::Left, 0);

  const CDIBitmap& alpha = doc_.FloaterAlpha();
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) {
      const int ix = x + 10, iy = y + 10;
      const bool first = ix >= 18 && ix < 22 && iy >= 18 && iy < 22;
      const bool second = ix >= 20 && ix < 24 && iy >= 18 && iy < 22;
      unsigned want = first ? (second ? 128 : 0) : 255;
      if (ix < 12 && iy < 12) want = 0;
      ASSERT_EQ(alpha.GetPixel(y, x), want) << ix << "," << iy;
    }
}

}  // namespace

// An empty selection (Select All, then Inverse) selects nothing: the
// floater commands lift nothing and say nothing.
TEST_F(FloaterTest, EmptySelectionLiftsNothing) {
  CDIBitmap& image = MakeImage(30, 20);
  CDIBitmap before;
  ASSERT_TRUE(before.CopyFrom(image));
  Select(Region::Empty());
  ASSERT_TRUE(doc_.HasSelection());
  view_->OnFloat();
  view_->OnCopy();
  view_->OnDefineStamp();
  EXPECT_FALSE(doc_.HasFloater());
  EXPECT_TRUE(messages_.shown.empty());
  EXPECT_EQ(PixelBytes(image), PixelBytes(before));
}
