// What the view shows: nearest-pixel sampling of every pixel kind, the
// floater blended as Defloat drops it, the mask display, the animated
// outline and the partial repaints.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "imaging/combine.h"

namespace {

using Rgb = std::array<int, 3>;
constexpr Rgb kFace = {240, 240, 240};

Rgb Pixel(const RgbImage& image, int x, int y) {
  const uint8_t* p = image.Row(y) + 3 * x;
  return {p[0], p[1], p[2]};
}

enum class Kind { Rgb24, Palette8, Gray8, Mono1, Cmyk32 };

// Test pictures: each kind's pixels and the colour they stand for, from
// formulas of the position.
int PaletteIndex(int x, int y) { return (x * 7 + y * 3 + 1) & 255; }
Rgb PaletteEntry(int i) { return {(i * 3) & 255, 255 - i, i}; }
bool MonoBit(int x, int y) { return (x + 2 * y) % 3 == 0; }
std::array<int, 4> Cmyk(int x, int y) { return {(x * 30) & 255, (y * 50) & 255, (x * y * 9) & 255, ((x + y) * 10) & 255}; }
Rgb Rgb24(int x, int y) { return {(x * 37 + y * 11) & 255, (x * 5 + y * 71) & 255, (x * y * 13 + 7) & 255}; }

std::unique_ptr<CDIBitmap> MakePicture(Kind kind, int width, int height) {
  auto image = std::make_unique<CDIBitmap>();
  switch (kind) {
    case Kind::Rgb24: image->Create(width, height, 24, 0); break;
    case Kind::Palette8: {
      image->Create(width, height, 8, 0);
      std::vector<uint8_t> table(256 * 4);
      for (int i = 0; i < 256; ++i) {
        const Rgb c = PaletteEntry(i);
        table[4 * i] = uint8_t(c[2]), table[4 * i + 1] = uint8_t(c[1]), table[4 * i + 2] = uint8_t(c[0]);
      }
      image->SetColorTable(table.data(), 256);
      break;
    }
    case Kind::Gray8: image->Create(width, height, 8, 1); break;
    case Kind::Mono1: image->Create(width, height, 1, 0); break;
    case Kind::Cmyk32: image->Create(width, height, 32, 1); break;
  }
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image->RowPointer(y);
    for (int x = 0; x < width; ++x) switch (kind) {
        case Kind::Rgb24: {
          const Rgb c = Rgb24(x, y);
          row[3 * x] = uint8_t(c[2]), row[3 * x + 1] = uint8_t(c[1]), row[3 * x + 2] = uint8_t(c[0]);
          break;
        }
        case Kind::Palette8: row[x] = uint8_t(PaletteIndex(x, y)); break;
        case Kind::Gray8: row[x] = uint8_t((x * 40 + y * 9) & 255); break;
        case Kind::Mono1:
          if (MonoBit(x, y)) row[x / 8] |= uint8_t(0x80 >> (x % 8));
          break;
        case Kind::Cmyk32: {
          const auto c = Cmyk(x, y);
          for (int i = 0; i < 4; ++i) row[4 * x + i] = uint8_t(c[i]);
          break;
        }
      }
  }
  return image;
}

// The colour a pixel of the test picture stands for.
Rgb Expected(Kind kind, int x, int y) {
  switch (kind) {
    case Kind::Rgb24: return Rgb24(x, y);
    case Kind::Palette8: return PaletteEntry(PaletteIndex(x, y));
    case Kind::Gray8: {
      const int l = (x * 40 + y * 9) & 255;
      return {l, l, l};
    }
    case Kind::Mono1: return MonoBit(x, y) ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
    case Kind::Cmyk32: {
      const auto c = Cmyk(x, y);  // no ink is white; black ink takes from every channel
      return {std::max(0, 255 - c[0] - c[3]), std::max(0, 255 - c[1] - c[3]), std::max(0, 255 - c[2] - c[3])};
    }
  }
  return {};
}

class DisplayTest : public testing::Test {
 protected:
  void SetUp() override { ToolSettings() = CToolSettings(); }
  void TearDown() override {
    ToolSettings() = CToolSettings();
    SetEditBusy(false);
  }

  void Open(std::unique_ptr<CDIBitmap> image, int clientWidth, int clientHeight) {
    view_.reset();
    CVividDoc::SetCreationMode(CM_BLANK);
    CVividDoc::SetPreparedImage(std::move(image));
    document_ = std::make_unique<CVividDoc>();
    ASSERT_TRUE(document_->OnNewDocument());
    view_ = std::make_unique<CVividView>(*document_);
    view_->SetClientSize(clientWidth, clientHeight);
  }

  // Checks every client pixel: the face outside the displayed image, else
  // `shows(x, y)` of the image pixel the nearest-pixel rule picks.
  void ExpectPicture(const RgbImage& out, const std::function<Rgb(int, int)>& shows) {
    const CDIBitmap& image = view_->GetImage();
    const ZoomRatio z = view_->Zoom();
    const platform::Rect shown = view_->DisplayedImageRect();
    ASSERT_EQ(out.width, view_->ClientWidth());
    ASSERT_EQ(out.height, view_->ClientHeight());
    int mismatches = 0;
    for (int y = 0; y < out.height; ++y)
      for (int x = 0; x < out.width; ++x) {
        const bool inside = x >= shown.left && x < shown.right && y >= shown.top && y < shown.bottom;
        const int sx = std::min((x - shown.left) * z.d / z.n, image.GetWidth() - 1);
        const int sy = std::min((y - shown.top) * z.d / z.n, image.GetHeight() - 1);
        const Rgb want = inside ? shows(sx, sy) : kFace;
        if (Pixel(out, x, y) != want && ++mismatches <= 5)
          ADD_FAILURE() << "client (" << x << ", " << y << ") image (" << sx << ", " << sy << ")";
      }
    EXPECT_EQ(mismatches, 0);
  }

  std::unique_ptr<CVividDoc> document_;
  std::unique_ptr<CVividView> view_;
};

TEST_F(DisplayTest, EveryKindIsSampledAtTheNearestPixel) {
  struct Zoom {
    ZoomRatio ratio;
    int clientWidth, clientHeight;
    platform::Point scroll;
  };
  const Zoom zooms[] = {{{1, 1}, 30, 20, {0, 0}}, {{1, 2}, 30, 20, {0, 0}}, {{3, 1}, 30, 20, {0, 0}},
                        {{3, 1}, 10, 8, {5, 4}},  {{2, 3}, 30, 20, {0, 0}}};
  for (const Kind kind : {Kind::Rgb24, Kind::Palette8, Kind::Gray8, Kind::Mono1, Kind::Cmyk32})
    for (const Zoom& zoom : zooms) {
      SCOPED_TRACE(testing::Message() << "kind " << int(kind) << " zoom " << zoom.ratio.n << ":" << zoom.ratio.d);
      Open(MakePicture(kind, 37, 35), zoom.clientWidth, zoom.clientHeight);
      ASSERT_TRUE(view_->SetZoom(zoom.ratio));
      view_->SetScroll(zoom.scroll.x, zoom.scroll.y);
      ASSERT_EQ(view_->Scroll(), zoom.scroll);
      RgbImage out;
      view_->Render(out);
      ExpectPicture(out, [&](int x, int y) { return Expected(kind, x, y); });
    }
}

// The floater as Defloat drops it: a = alpha x opacity / 255, then each
// channel (T x a + image x (255 - a)) / 255 with T the mode's blend of image
// and floater; outside the selection region the image stays.
TEST_F(DisplayTest, FloaterIsBlendedAsDefloatWouldDropIt) {
  struct Case {
    Kind kind;
    int mode;
    int transparency;
    ZoomRatio zoom;
  };
  const Case cases[] = {
      {Kind::Rgb24, kBlendNormal, 0, {1, 1}},      {Kind::Rgb24, kBlendNormal, 40, {2, 1}},
      {Kind::Rgb24, kBlendMultiply, 40, {1, 1}},   {Kind::Rgb24, kBlendScreen, 10, {1, 2}},
      {Kind::Rgb24, kBlendDifference, 0, {1, 1}},  {Kind::Gray8, kBlendNormal, 25, {1, 1}},
      {Kind::Palette8, kBlendNormal, 40, {1, 1}},  {Kind::Palette8, kBlendNormal, 0, {3, 1}},
      {Kind::Mono1, kBlendNormal, 40, {1, 1}},     {Kind::Mono1, kBlendNormal, 0, {1, 2}},
      {Kind::Cmyk32, kBlendMultiply, 30, {1, 1}},  {Kind::Cmyk32, kBlendNormal, 0, {2, 1}},
  };
  const platform::Rect box{5, 4, 29, 22};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << int(c.kind) << " mode " << c.mode << " transparency "
                                    << c.transparency << " zoom " << c.zoom.n << ":" << c.zoom.d);
    Open(MakePicture(c.kind, 40, 34), 100, 80);
    ToolSettings().floaterMergeMode = c.mode;
    ToolSettings().floaterTransparency = c.transparency;
    const int opacity = 255 - c.transparency * 255 / 100;

    // The floater: the picture's pattern moved by (3, 1), and a graded alpha
    // with every level from 0 to 255; its outline an ellipse.
    CDIBitmap& floater = document_->FloaterImage();
    ASSERT_TRUE(floater.CopyRect(*MakePicture(c.kind, 40, 34), 3, 1, box.Width(), box.Height(), 0));
    CDIBitmap& alpha = document_->FloaterAlpha();
    ASSERT_TRUE(alpha.Create(box.Width(), box.Height(), 8, 1));
    for (int y = 0; y < box.Height(); ++y)
      for (int x = 0; x < box.Width(); ++x) alpha.RowPointer(y)[x] = uint8_t((x * 11 + y * 7) & 255);
    document_->SetSelection(platform::Region::FromEllipse(0, 0, box.Width(), box.Height()), box);
    document_->SetFloaterPresent(true);
    document_->ApplySelectionToImage();
    const platform::Region region = document_->SelectionRegionInImage();
    ASSERT_TRUE(view_->SetZoom(c.zoom));
    const std::vector<uint8_t> before(view_->GetImage().GetPixels(),
                                      view_->GetImage().GetPixels() + view_->GetImage().GetStride() * 34);

    RgbImage out;
    view_->Render(out);
    // Channels blend in the image's own kind: CMYK inks, then converted.
    const auto blend = [&](int d, int s, int a) {
      int t = s;
      if (c.mode == kBlendMultiply) t = d * s / 255;
      if (c.mode == kBlendScreen) t = 255 - (255 - d) * (255 - s) / 255;
      if (c.mode == kBlendDifference) t = std::abs(d - s);
      return (t * a + d * (255 - a)) / 255;
    };
    ExpectPicture(out, [&](int x, int y) {
      const Rgb d = Expected(c.kind, x, y);
      if (!region.Contains(x, y)) return d;
      const int fx = x - box.left, fy = y - box.top;
      const int A = alpha.RowPointer(fy)[fx];
      // Palette and 1-bit pixels are replaced where the alpha is not 0, at any opacity.
      if (c.kind == Kind::Palette8 || c.kind == Kind::Mono1) return A != 0 ? Expected(c.kind, fx + 3, fy + 1) : d;
      const int a = A * opacity / 255;
      if (c.kind == Kind::Cmyk32) {
        const auto di = Cmyk(x, y), si = Cmyk(fx + 3, fy + 1);
        int ink[4];
        for (int i = 0; i < 4; ++i) ink[i] = blend(di[i], si[i], a);
        return Rgb{std::max(0, 255 - ink[0] - ink[3]), std::max(0, 255 - ink[1] - ink[3]),
                   std::max(0, 255 - ink[2] - ink[3])};
      }
      const Rgb s = Expected(c.kind, fx + 3, fy + 1);
      Rgb result;
      for (int i = 0; i < 3; ++i) result[i] = blend(d[i], s[i], a);
      return result;
    });
    const CDIBitmap& image = view_->GetImage();
    EXPECT_TRUE(std::equal(before.begin(), before.end(), image.GetPixels())) << "the image changed";
  }
}

// Display mode 2: white where selected, black where not, the floater's alpha
// inside its region, all white without a selection.
TEST_F(DisplayTest, MaskDisplayShowsTheSelection) {
  Open(MakePicture(Kind::Rgb24, 20, 10), 30, 15);
  ASSERT_EQ(view_->OnDisplayMode(), 1);
  ASSERT_EQ(view_->DisplayMode(), 2);
  RgbImage out;
  view_->Render(out);
  ExpectPicture(out, [](int, int) { return Rgb{255, 255, 255}; });

  const platform::Region rect = platform::Region::FromRect(2, 3, 9, 7);
  document_->SetSelectionRegion(rect);
  view_->OnDocumentUpdate(*document_, kHintRedraw);
  view_->Render(out);
  ExpectPicture(out, [&](int x, int y) { return rect.Contains(x, y) ? Rgb{255, 255, 255} : Rgb{0, 0, 0}; });

  CDIBitmap& alpha = document_->FloaterAlpha();
  ASSERT_TRUE(document_->FloaterImage().Create(7, 4, 24, 0));
  ASSERT_TRUE(alpha.Create(7, 4, 8, 1));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 7; ++x) alpha.RowPointer(y)[x] = uint8_t(x * 30 + y);
  document_->SetFloaterPresent(true);
  view_->Render(out);
  ExpectPicture(out, [&](int x, int y) {
    if (!rect.Contains(x, y)) return Rgb{0, 0, 0};
    const int a = (x - 2) * 30 + (y - 3);
    return Rgb{a, a, a};
  });
}

// The outline's frame pixels in view coordinates for a rectangle selection
// shown at n:1: the scaled rectangle less its inner part.
platform::Region RectFrame(platform::Rect r) {
  return platform::Region::FromRect(r).Subtract(
      platform::Region::FromRect(r.left + 1, r.top + 1, r.right - 1, r.bottom - 1));
}

TEST_F(DisplayTest, OutlineTicksEvery300MsAndRepaintsOnlyItsPixels) {
  Open(MakePicture(Kind::Rgb24, 60, 40), 100, 60);
  document_->SetSelectionRegion(platform::Region::FromRect(10, 5, 30, 25));
  const int documentPhase = document_->OutlinePhase();
  view_->StartOutline();
  ASSERT_TRUE(view_->OutlineRunning());
  EXPECT_EQ(view_->OutlinePhase(), documentPhase);
  EXPECT_EQ(document_->OutlinePhase(), (documentPhase + 1) & 7);

  RgbImage out;
  view_->Render(out);
  view_->TakeInvalidRegion();
  const platform::Region frame = RectFrame({10, 5, 30, 25});
  int phase = view_->OutlinePhase();

  // Every 300 ms one phase on, repainting exactly the frame.
  view_->OnTimer(299);
  EXPECT_EQ(view_->OutlinePhase(), phase);
  EXPECT_TRUE(view_->TakeInvalidRegion().IsEmpty());
  view_->OnTimer(1);
  EXPECT_EQ(view_->OutlinePhase(), phase = (phase + 1) & 7);
  const platform::Region invalid = view_->TakeInvalidRegion();
  EXPECT_EQ(invalid, frame);

  // Repainting only those pixels gives what a full repaint gives.
  const RgbImage previous = out;
  view_->Render(out, invalid);
  RgbImage full;
  view_->Render(full);
  EXPECT_EQ(out.pixels, full.pixels);
  int changed = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 100; ++x) {
      if (Pixel(out, x, y) == Pixel(previous, x, y)) continue;
      ++changed;
      EXPECT_TRUE(frame.Contains(x, y)) << x << ", " << y;
    }
  EXPECT_GT(changed, 0);

  // While an edit is busy the frame is skipped and retried every 100 ms.
  SetEditBusy(true);
  view_->OnTimer(300);
  EXPECT_EQ(view_->OutlinePhase(), phase);
  SetEditBusy(false);
  view_->OnTimer(99);
  EXPECT_EQ(view_->OutlinePhase(), phase);
  view_->OnTimer(1);
  EXPECT_EQ(view_->OutlinePhase(), phase = (phase + 1) & 7);
  view_->TakeInvalidRegion();

  // After a change the outline waits for the repaint.
  view_->InvalidateAll();
  view_->OnTimer(600);
  EXPECT_EQ(view_->OutlinePhase(), phase);
  view_->Render(out, view_->TakeInvalidRegion());
  view_->OnTimer(100);
  EXPECT_EQ(view_->OutlinePhase(), (phase + 1) & 7);

  // At 2:1 scrolled by (6, 16) the frame is the scaled rectangle's, its top
  // edge above the client area.
  ASSERT_TRUE(view_->SetZoom({2, 1}));
  view_->SetScroll(6, 16);
  ASSERT_EQ(view_->Scroll(), (platform::Point{6, 16}));
  view_->Render(out);
  view_->TakeInvalidRegion();
  view_->OnTimer(300);
  EXPECT_EQ(view_->TakeInvalidRegion(),
            RectFrame({20 - 6, 10 - 16, 60 - 6, 50 - 16}).Intersect(platform::Region::FromRect(0, 0, 100, 60)));

  view_->StopOutline();
  EXPECT_FALSE(view_->OutlineRunning());
  view_->OnTimer(300);
  view_->TakeInvalidRegion();
  view_->OnTimer(300);
  EXPECT_TRUE(view_->TakeInvalidRegion().IsEmpty());
}

TEST_F(DisplayTest, PartialRepaintsMatchAFullRepaint) {
  Open(MakePicture(Kind::Rgb24, 60, 40), 100, 80);
  ASSERT_TRUE(view_->SetZoom({2, 1}));
  view_->SetScroll(0, 0);
  RgbImage out;
  view_->Render(out);
  view_->TakeInvalidRegion();
  RgbImage full;

  // An image change reported for its rectangle.
  view_->GetImage().SetPixelColor(7, 9, 0x00FF00);
  view_->Invalidate({18, 14, 20, 16});
  view_->Render(out, view_->TakeInvalidRegion());
  view_->Render(full);
  EXPECT_EQ(out.pixels, full.pixels);
  EXPECT_EQ(Pixel(out, 18, 14), (Rgb{0, 255, 0}));

  // The zoom tool's rectangle is drawn inverted and erased after the drag.
  ToolSettings().SelectTool(ViewTool::Zoom);
  view_->OnPointerPress({30, 20}, PointerButton::Left, 0);
  view_->OnPointerMove({50, 35}, 0);
  EXPECT_EQ(view_->ZoomRectangle(), (platform::Rect{30, 20, 51, 36}));
  view_->Render(out, view_->TakeInvalidRegion());
  view_->Render(full);
  EXPECT_EQ(out.pixels, full.pixels);
  const Rgb under = Expected(Kind::Rgb24, 15, 10);
  EXPECT_EQ(Pixel(out, 30, 20), (Rgb{255 - under[0], 255 - under[1], 255 - under[2]}));
  EXPECT_EQ(Pixel(out, 40, 30), Expected(Kind::Rgb24, 20, 15));
  view_->OnPointerRelease({30, 20}, PointerButton::Left, 0);  // a click: 4:1 around (15, 10)
  view_->Render(out, view_->TakeInvalidRegion());
  view_->Render(full);
  EXPECT_EQ(out.pixels, full.pixels);
  EXPECT_FALSE(view_->ZoomRectangle().has_value());
  EXPECT_EQ(view_->Zoom(), (ZoomRatio{4, 1}));
}

}  // namespace

// Patches show other pixels in place of the image's and the floater's own,
// at every zoom, for every pixel kind, without changing either.
TEST_F(DisplayTest, PatchesReplaceTheShownPixels) {
  for (const Kind kind : {Kind::Rgb24, Kind::Mono1, Kind::Cmyk32})
    for (const ZoomRatio zoom : {ZoomRatio{1, 1}, ZoomRatio{1, 2}, ZoomRatio{3, 1}}) {
      SCOPED_TRACE(testing::Message() << "kind " << int(kind) << " zoom " << zoom.n << ":" << zoom.d);
      Open(MakePicture(kind, 37, 35), 40, 40);
      ASSERT_TRUE(view_->SetZoom(zoom));
      // The patch holds the picture's pixels of (20, 15) onwards, shown at
      // (3, 5) .. (13, 11).
      const platform::Rect rect{3, 5, 13, 11};
      auto pixels = std::make_unique<CDIBitmap>();
      ASSERT_TRUE(pixels->CopyRect(view_->GetImage(), 20, 15, rect.Width(), rect.Height(), 0));
      view_->ImagePatches().Set(rect, std::move(pixels));
      view_->InvalidateImageArea(rect);
      RgbImage out;
      view_->Render(out);
      ExpectPicture(out, [&](int x, int y) {
        const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
        return inside ? Expected(kind, x - rect.left + 20, y - rect.top + 15) : Expected(kind, x, y);
      });
      view_->ImagePatches().Clear();
      view_->InvalidateAll();
      view_->Render(out);
      ExpectPicture(out, [&](int x, int y) { return Expected(kind, x, y); });
    }
}
