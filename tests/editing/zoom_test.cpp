// The view's zoom model, its geometry (displayed rectangle, scrolling, view
// and image coordinates), the layout that keeps the middle, and the zoom and
// scroll tools.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <ostream>

#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "editing/zoom_model.h"

// Found by argument lookup, so it lives beside ZoomRatio; internal to this file.
static std::ostream& operator<<(std::ostream& out, ZoomRatio r) { return out << r.n << ":" << r.d; }

namespace {

// round(size x n / d) with exact rationals, for ratios whose single-precision
// percentage is exact enough not to matter.
int RoundedSide(int size, ZoomRatio r) { return (2 * size * r.n + r.d) / (2 * r.d); }

TEST(ZoomModelTest, StepsAndTheirLimits) {
  struct Case {
    ZoomRatio from;
    bool in;
    ZoomStep step;
    int width, height;
    ZoomRatio expected;
  };
  const Case cases[] = {
      // The menu's fine steps from 1:3 in: 1:2, 1:1, 2:1.
      {{1, 3}, true, ZoomStep::Fine, 100, 100, {1, 2}},
      {{1, 2}, true, ZoomStep::Fine, 100, 100, {1, 1}},
      {{1, 1}, true, ZoomStep::Fine, 100, 100, {2, 1}},
      // 11 x 3000 = 33000 reaches 32768; 16 x 2047 = 32752 does not, 16 x 2048 does.
      {{15, 1}, true, ZoomStep::Fine, 2047, 10, {16, 1}},
      {{15, 1}, true, ZoomStep::Fine, 10, 2048, {15, 1}},
      {{16, 1}, true, ZoomStep::Fine, 10, 10, {16, 1}},
      // 200 div 11 = 18 stays above 16, 200 div 12 = 16 does not.
      {{1, 11}, false, ZoomStep::Fine, 1000, 200, {1, 11}},
      {{3, 1}, false, ZoomStep::Fine, 10, 10, {2, 1}},
      // The tool's coarse steps halve or double, within 1..16.
      {{1, 3}, true, ZoomStep::Coarse, 100, 100, {1, 1}},
      {{8, 1}, true, ZoomStep::Coarse, 100, 100, {16, 1}},
      {{8, 1}, true, ZoomStep::Coarse, 3000, 100, {8, 1}},
      {{3, 1}, false, ZoomStep::Coarse, 100, 100, {1, 1}},
      {{1, 8}, false, ZoomStep::Coarse, 1000, 1000, {1, 16}},
      {{1, 4}, false, ZoomStep::Coarse, 200, 200, {1, 8}},
      {{1, 8}, false, ZoomStep::Coarse, 200, 200, {1, 8}},
  };
  for (const Case& c : cases) {
    const ZoomRatio got = c.in ? ZoomIn(c.from, c.step, c.width, c.height) : ZoomOut(c.from, c.step, c.width, c.height);
    EXPECT_EQ(got, c.expected) << c.from << (c.in ? " in" : " out") << " " << c.width << "x" << c.height;
  }

  // Stepping on stops at the limits.
  ZoomRatio r{1, 1};
  for (int i = 0; i < 40; ++i) r = ZoomIn(r, ZoomStep::Fine, 3000, 3000);
  EXPECT_EQ(r, (ZoomRatio{10, 1}));
  r = {1, 1};
  for (int i = 0; i < 40; ++i) r = ZoomOut(r, ZoomStep::Fine, 200, 200);
  EXPECT_EQ(r, (ZoomRatio{1, 11}));
}

TEST(ZoomModelTest, RatioFromPercent) {
  struct Case {
    double percent;
    ZoomRatio expected;
  };
  const Case cases[] = {
      {60, {1, 2}},    {10, {1, 10}},  {7, {1, 15}},      {100, {1, 1}},     {250, {2, 1}},
      {5, {1, 16}},    {2000, {16, 1}}, {6.25, {1, 16}},  {6.2499, {1, 16}}, {99.99, {1, 2}},
      {150, {1, 1}},   {1600, {16, 1}}, {1599.9, {15, 1}}, {-3, {1, 16}},
      // Rounded to 4 decimals first: 100 / 3 = 33.33333... is above both.
      {33.33336, {1, 3}}, {33.33334, {1, 4}}, {99.99999, {1, 1}},
  };
  for (const Case& c : cases) EXPECT_EQ(RatioFromPercent(c.percent), c.expected) << c.percent;
}

TEST(ZoomModelTest, DisplayedRectRoundsHalfUp) {
  struct Case {
    ZoomRatio ratio;
    int width, height;
  };
  const Case cases[] = {{{1, 3}, 10, 11}, {{1, 2}, 5, 3}, {{3, 1}, 7, 5}, {{1, 16}, 8, 100}, {{1, 4}, 6, 2},
                        {{2, 3}, 10, 10}, {{16, 1}, 2047, 1}};
  for (const Case& c : cases)
    EXPECT_EQ(DisplayedRect(c.ratio, c.width, c.height),
              (platform::Rect{0, 0, RoundedSide(c.width, c.ratio), RoundedSide(c.height, c.ratio)}))
        << c.ratio << " " << c.width << "x" << c.height;

  // A side below 1 empties the rectangle: 7 / 16 + 0.5 < 1.
  EXPECT_EQ(DisplayedRect({1, 16}, 7, 100), (platform::Rect{}));
  // The percentage is single precision: 100 / 6 is 16.666666, so 9 pixels
  // at 1:6 give 1.4999999 + 0.5, which truncates to 1 (exactly 1.5 would give 2).
  EXPECT_EQ(DisplayedRect({1, 6}, 9, 12), (platform::Rect{0, 0, 1, 2}));
}

TEST(ZoomModelTest, ScaleListAcceptsSizesFrom16Below32767) {
  EXPECT_FALSE(ScaleListAccepts({1, 8}, 100, 100));  // 12.5 + 0.5 -> 13
  EXPECT_TRUE(ScaleListAccepts({1, 6}, 100, 100));   // 17
  EXPECT_TRUE(ScaleListAccepts({10, 1}, 3000, 100));
  EXPECT_FALSE(ScaleListAccepts({11, 1}, 3000, 100));
  EXPECT_FALSE(ScaleListAccepts({16, 1}, 100, 2048));  // 32768
  EXPECT_FALSE(ScaleListAccepts({17, 1}, 10, 10));
  EXPECT_FALSE(ScaleListAccepts({1, 0}, 100, 100));
}

// --- the view ---

class ViewGeometryTest : public testing::Test {
 protected:
  void SetUp() override { ToolSettings() = CToolSettings(); }
  void TearDown() override {
    ToolSettings() = CToolSettings();
    CVividDoc::SetPreparedImage(nullptr);
  }

  // A view of a 24-bit image of the given size in a client area.
  void Open(int width, int height, int clientWidth, int clientHeight) {
    view_.reset();  // a view lives within its document
    auto image = std::make_unique<CDIBitmap>();
    ASSERT_TRUE(image->Create(width, height, 24, 0));
    CVividDoc::SetCreationMode(CM_BLANK);
    CVividDoc::SetPreparedImage(std::move(image));
    document_ = std::make_unique<CVividDoc>();
    ASSERT_TRUE(document_->OnNewDocument());
    view_ = std::make_unique<CVividView>(*document_);
    view_->SetClientSize(clientWidth, clientHeight);
  }

  void Click(platform::Point at, unsigned modifiers = 0) { Drag(at, at, modifiers); }
  void Drag(platform::Point from, platform::Point to, unsigned modifiers = 0) {
    view_->OnPointerPress(from, PointerButton::Left, modifiers);
    view_->OnPointerMove(to, modifiers);
    view_->OnPointerRelease(to, PointerButton::Left, modifiers);
  }

  std::unique_ptr<CVividDoc> document_;
  std::unique_ptr<CVividView> view_;
};

TEST_F(ViewGeometryTest, ViewAndImageCoordinatesFollowZoomScrollAndRulers) {
  struct Case {
    ZoomRatio zoom;
    platform::Point scroll;
    bool rulers;
  };
  const Case cases[] = {{{1, 1}, {0, 0}, false}, {{2, 1}, {30, 20}, false}, {{1, 3}, {0, 0}, false},
                        {{3, 1}, {101, 57}, true}, {{1, 2}, {5, 0}, true}};
  const int w = 200, h = 150;
  Open(w, h, 50, 40);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.zoom << " scroll " << c.scroll.x << "," << c.scroll.y << " rulers " << c.rulers);
    if (view_->RulersShown() != c.rulers) view_->OnRuler();
    ASSERT_TRUE(view_->SetZoom(c.zoom));
    view_->SetScroll(c.scroll.x, c.scroll.y);
    const int band = c.rulers ? 20 : 0;
    const int dw = RoundedSide(w, c.zoom), dh = RoundedSide(h, c.zoom);
    // The scroll position stays within the scroll size less the client size.
    const int rangeX = std::max(0, std::max(dw, 16) + band - 50), rangeY = std::max(0, std::max(dh, 16) + band - 40);
    const platform::Point scroll{std::min(c.scroll.x, rangeX), std::min(c.scroll.y, rangeY)};
    ASSERT_EQ(view_->Scroll(), scroll);
    const platform::Rect shown{band - scroll.x, band - scroll.y, band - scroll.x + dw, band - scroll.y + dh};
    EXPECT_EQ(view_->DisplayedImageRect(), shown);
    EXPECT_EQ(view_->ScrollSize(), (platform::Point{std::max(dw, 16) + band, std::max(dh, 16) + band}));
    for (const platform::Point p : {platform::Point{0, 0}, {7, 3}, {25, 19}, {49, 39}, {-4, 60}}) {
      const double fx = double(p.x - shown.left) * w / dw, fy = double(p.y - shown.top) * h / dh;
      EXPECT_EQ(view_->ViewToImage(p), (platform::Point{int(fx + 0.5), int(fy + 0.5)})) << p.x << "," << p.y;
      EXPECT_EQ(view_->ViewToImage(p, false), (platform::Point{int(fx), int(fy)})) << p.x << "," << p.y;
      const PointF back = view_->ImageToView({fx, fy});
      EXPECT_NEAR(back.x, p.x, 1e-9);
      EXPECT_NEAR(back.y, p.y, 1e-9);
    }
  }
  // Clamped to 0 .. range both ways.
  view_->SetScroll(-10, 1000000);
  EXPECT_EQ(view_->Scroll().x, 0);
  EXPECT_EQ(view_->Scroll().y, view_->ScrollSize().y - 40);
}

TEST_F(ViewGeometryTest, ZoomCommandsKeepTheMiddleAndAskForTheWindowSize) {
  Open(400, 300, 100, 100);
  EXPECT_EQ(view_->TakeWantedClientSize(), (platform::Point{404, 304}));  // the first layout fits the window
  EXPECT_EQ(view_->TakeWantedClientSize(), std::nullopt);
  view_->SetScroll(150, 100);  // image point (200, 150) in the middle
  EXPECT_EQ(view_->OnZoomIn(), 1);
  EXPECT_EQ(view_->Zoom(), (ZoomRatio{2, 1}));
  EXPECT_EQ(view_->Scroll(), (platform::Point{350, 250}));
  EXPECT_EQ(view_->OnZoomOut(), 1);
  EXPECT_EQ(view_->OnZoomOut(), 1);
  EXPECT_EQ(view_->Zoom(), (ZoomRatio{1, 2}));
  EXPECT_EQ(view_->Scroll(), (platform::Point{50, 25}));  // (100, 75) - 50
  EXPECT_EQ(view_->OnNormalView(), 1);
  EXPECT_EQ(view_->Scroll(), (platform::Point{150, 100}));
  EXPECT_EQ(view_->TakeWantedClientSize(), std::nullopt);

  EXPECT_EQ(view_->OnFitToImage(), 1);
  EXPECT_EQ(view_->TakeWantedClientSize(), (platform::Point{404, 304}));
  EXPECT_EQ(view_->OnFitWindowToImage(), 1);
  EXPECT_TRUE(view_->FitWindowToImage());
  EXPECT_TRUE(view_->GetCommandState(kCmdFitWindowToImage).checked);
  EXPECT_EQ(view_->TakeWantedClientSize(), (platform::Point{404, 304}));
  view_->OnRuler();  // every layout now asks again: rulers add 20
  EXPECT_EQ(view_->TakeWantedClientSize(), (platform::Point{424, 324}));

  // The Scale list refuses ratios whose displayed size leaves 16 .. 32766.
  Open(200, 200, 100, 100);
  EXPECT_FALSE(view_->SetZoom({1, 16}));  // 13 x 13
  EXPECT_EQ(view_->Zoom(), (ZoomRatio{1, 1}));
}

TEST_F(ViewGeometryTest, ZoomToolFitsTheDraggedRectangleOrStepsOnClicks) {
  ToolSettings().SelectTool(ViewTool::Zoom);
  Open(800, 800, 300, 300);
  // At 1:2 a 200 x 200 drag fits at 300 x 100 / 200 = 150, 150 % of 50 % is
  // 75 %, raised to 100 %: 1:1, with the rectangle's middle (110, 110), image
  // point (220, 220), in the middle.
  ASSERT_TRUE(view_->SetZoom({1, 2}));
  view_->SetScroll(0, 0);
  Drag({10, 10}, {210, 210});
  EXPECT_EQ(view_->Zoom(), (ZoomRatio{1, 1}));
  EXPECT_EQ(view_->Scroll(), (platform::Point{70, 70}));
  EXPECT_FALSE(view_->ZoomRectangle().has_value());

  // 100 x 50 at 1:1: min(300, 600) = 300 % -> 3:1; middle (120, 95) of the
  // view is image point (190, 165), at 570, 495 on the scroll area.
  Drag({70, 70}, {170, 120});
  EXPECT_EQ(view_->Zoom(), (ZoomRatio{3, 1}));
  EXPECT_EQ(view_->Scroll(), (platform::Point{570 - 150, 495 - 150}));

  // A drag below 4 pixels is a click: one coarse step, on the pressed point.
  ASSERT_TRUE(view_->SetZoom({1, 1}));
  view_->SetScroll(0, 0);
  Drag({100, 60}, {103, 90});
  EXPECT_EQ(view_->Zoom(), (ZoomRatio{2, 1}));
  // Image point (100.5, 60.5) at 2:1 is (201, 121) on the scroll area.
  EXPECT_EQ(view_->Scroll(), (platform::Point{201 - 150, 0}));
  // Alt turns it around, and so does the zoom direction setting.
  Click({150, 150}, kModAlt);
  EXPECT_EQ(view_->Zoom(), (ZoomRatio{1, 1}));
  ToolSettings().zoomDirection = 2;
  Click({150, 150});
  EXPECT_EQ(view_->Zoom(), (ZoomRatio{1, 2}));
  // An outward drag is a click as well.
  Drag({10, 10}, {200, 200});
  EXPECT_EQ(view_->Zoom(), (ZoomRatio{1, 4}));

}

TEST_F(ViewGeometryTest, ScrollToolMovesTheImageWithThePointer) {
  ToolSettings().SelectTool(ViewTool::Scroll);
  Open(800, 800, 300, 300);
  view_->SetScroll(100, 100);
  view_->OnPointerPress({50, 50}, PointerButton::Left, 0);
  view_->OnPointerMove({40, 45}, 0);
  EXPECT_EQ(view_->Scroll(), (platform::Point{110, 105}));
  view_->OnPointerMove({60, 75}, 0);
  EXPECT_EQ(view_->Scroll(), (platform::Point{90, 75}));
  view_->OnPointerRelease({60, 75}, PointerButton::Left, 0);
  view_->OnPointerMove({0, 0}, 0);  // no button: no scrolling
  EXPECT_EQ(view_->Scroll(), (platform::Point{90, 75}));
}

}  // namespace
