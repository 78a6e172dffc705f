// Effect commands: the preview's blocks and margins, the preview shown equal
// to what OK applies, a selection confining an effect through a temporary
// floater, free rotation floating centred, the Brightness/Contrast table and
// the dialogs' parameter models.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "editing/effect_dialogs.h"
#include "editing/effect_record.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "imaging/filters.h"
#include "imaging/tone.h"
#include "editing_support.h"

namespace {

using testing_support::Op;

std::unique_ptr<CDIBitmap> Picture(int width, int height) {
  auto image = std::make_unique<CDIBitmap>();
  image->Create(width, height, 24, 0);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image->RowPointer(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = uint8_t((x * 37 + y * 11) * 7 % 251);
      row[3 * x + 1] = uint8_t((x * 5 + y * 71) % 253);
      row[3 * x + 2] = uint8_t((x * y * 13 + 7) % 255);
    }
  }
  return image;
}

bool SameRect(const CDIBitmap& a, int ax, int ay, const CDIBitmap& b, int bx, int by, int width, int height) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (a.GetPixel(ay + y, ax + x) != b.GetPixel(by + y, bx + x)) return false;
  return true;
}

class EffectsTest : public testing::Test {
 protected:
  void SetUp() override { ToolSettings() = CToolSettings(); }
  void TearDown() override {
    view_.reset();
    ToolSettings() = CToolSettings();
    SetModalRunning(false);
    SetEditBusy(false);
  }
  void Open(int width, int height, int clientWidth, int clientHeight) {
    view_.reset();  // a view goes before its document
    CVividDoc::SetCreationMode(CM_BLANK);
    CVividDoc::SetPreparedImage(Picture(width, height));
    doc_ = std::make_unique<CVividDoc>();
    ASSERT_TRUE(doc_->OnNewDocument());
    view_ = std::make_unique<CVividView>(*doc_);
    view_->SetClientSize(clientWidth, clientHeight);
  }
  CDIBitmap& Image() { return doc_->GetImage(); }
  std::unique_ptr<CVividDoc> doc_;
  std::unique_ptr<CVividView> view_;
};

TEST(PreviewGridTest, BlockSizeAndMarginFollowTheEffect) {
  struct Case {
    const char* op;
    int block, margin;
  } cases[] = {
      {"mosaic:2", 84, 2},    {"mosaic:64", 64, 64}, {"mosaic:7", 112, 7}, {"median:5", 64, 5},
      {"average:50", 64, 50}, {"despeckle:3", 64, 3}, {"maximum:1", 64, 1}, {"minimum:10", 64, 10},
      {"emboss:50,2", 64, 1}, {"edge-enhance:10", 64, 1}, {"unsharp-mask:100,7,2", 64, 7},
      {"gaussian-blur:3", 64, 9}, {"gaussian-blur:0.05", 64, 0}, {"solarize:100", 64, 0}, {"brightness-contrast:10,10", 64, 0},
  };
  for (const Case& c : cases) {
    const PreviewBlockLayout layout = PreviewLayoutFor(Op(c.op));
    EXPECT_EQ(layout.blockWidth, c.block) << c.op;
    EXPECT_EQ(layout.blockHeight, c.block) << c.op;
    EXPECT_EQ(layout.marginX, c.margin) << c.op;
    EXPECT_EQ(layout.marginY, c.margin) << c.op;
  }
}

TEST(PreviewGridTest, ColumnsRowsAndSelectionBlocks) {
  PreviewGrid grid;
  const PreviewBlockLayout mosaic = PreviewLayoutFor(Op("mosaic:2"));
  grid.Build(200, 100, mosaic, nullptr);
  EXPECT_EQ(grid.Columns(), 3);  // (200 + 83) div 84
  EXPECT_EQ(grid.Rows(), 2);
  EXPECT_EQ(grid.PendingCount(), 6);
  EXPECT_EQ(grid.BlockRect(2, 1), (platform::Rect{168, 84, 200, 100}));
  EXPECT_EQ(grid.SourceRect(1, 0), (platform::Rect{82, 0, 170, 86}));
  // A selection inside block (1, 0) and one straddling blocks (0, 1)-(1, 1).
  const platform::Region selection = platform::Region::FromRect(100, 10, 110, 20).Union(
      platform::Region::FromRect(80, 90, 90, 95));
  grid.Build(200, 100, mosaic, &selection);
  EXPECT_EQ(grid.PendingCount(), 3);
  EXPECT_TRUE(grid.Pending(1, 0));
  EXPECT_TRUE(grid.Pending(0, 1));
  EXPECT_TRUE(grid.Pending(1, 1));
  EXPECT_FALSE(grid.Pending(0, 0));
  EXPECT_EQ(grid.PendingIn({0, 0, 84, 84}).size(), 0u);
  EXPECT_EQ(grid.PendingIn({0, 0, 200, 100}).size(), 3u);
}

// The table from the rule, written independently.
std::array<int, 256> BrightnessContrastRule(int brightness, int contrast) {
  const double b = brightness * 1.275, c = contrast * 1.275, d = 255 - 2 * c;
  int inLow, inHigh, outLow, outHigh;
  if (std::fabs(d) >= 0.5) {
    const double slope = 255 / d, offset = b - slope * c, top = slope * 255 + offset;
    if (offset >= 0) inLow = 0, outLow = int(offset);
    else inLow = int(-offset / slope), outLow = 0;
    if (top >= 255) inHigh = int((255 - offset) / slope), outHigh = 255;
    else inHigh = 255, outHigh = int(top);
  } else {
    inLow = int(c), inHigh = inLow + 1, outLow = 0, outHigh = 255;
  }
  std::array<int, 256> t{};
  for (int v = 0; v < 256; ++v) {
    if (v < inLow) t[v] = outLow;
    else if (v <= inHigh)
      t[v] = inHigh - inLow <= 0 ? outLow : outLow + int(double(v - inLow) / (inHigh - inLow) * (outHigh - outLow));
    else t[v] = outHigh;
  }
  return t;
}

TEST(BrightnessContrastTest, TableFollowsTheRuleEntryByEntry) {
  for (int brightness : {-100, -73, -1, 0, 1, 40, 100})
    for (int contrast : {-100, -50, -1, 0, 1, 33, 99, 100}) {
      const ToneTable table = GL_BrightnessContrastTable(brightness, contrast);
      const std::array<int, 256> expected = BrightnessContrastRule(brightness, contrast);
      for (int v = 0; v < 256; ++v)
        ASSERT_EQ(table[v], expected[v]) << "b " << brightness << " c " << contrast << " v " << v;
    }
  const ToneTable identity = GL_BrightnessContrastTable(0, 0);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(identity[v], v);
  for (int brightness : {-100, 0, 100}) {
    const ToneTable two = GL_BrightnessContrastTable(brightness, 100);
    for (int v = 0; v < 256; ++v) EXPECT_EQ(two[v], v < 128 ? 0 : 255) << v;
  }
}

TEST(EffectRecordTest, UndoKindsAndNames) {
  struct Case {
    const char* op;
    bool selection;
    int kind;
    const char* name;
    bool preview, floats;
  } cases[] = {
      {"brightness-contrast", false, 50, "Brightness/Contrast", true, false},
      {"color-balance", false, 50, "Color balance", true, false},
      {"unsharp-mask", false, 50, "Unsharp Mask", true, false},
      {"shear", true, 50, "Skew", true, true},
      {"rotate", true, 50, "Rotate", true, true},
      {"blur-more", false, 50, "Blur more", false, false},
      {"shift-difference", false, 50, "Shift/Difference", false, false},
      {"invert-color", false, 50, "Invert Color", false, false},
      {"invert-color", true, 50, "Invert Color selected area", false, false},
      {"canvas-size", false, 99, "Cavas Size", false, false},
      {"mode:palette", false, 99, "Color Palette 8bit", false, false},
      {"mode:bw", true, 99, "Color B/W 1bit", false, false},
  };
  for (const Case& c : cases) {
    const std::optional<EffectRecord> r = FindEffectRecord(c.op, c.selection);
    ASSERT_TRUE(r) << c.op;
    EXPECT_EQ(r->undoKind, c.kind) << c.op;
    EXPECT_EQ(r->undoName, c.name) << c.op;
    EXPECT_EQ(r->preview, c.preview) << c.op;
    EXPECT_EQ(r->resultFloats, c.floats) << c.op;
  }
  EXPECT_FALSE(FindEffectRecord("rotate-90", false));
}

TEST_F(EffectsTest, PreviewComputesOnlyVisibleBlocksOnce) {
  Open(400, 300, 100, 100);
  ASSERT_EQ(view_->OpenPreview(Op("median:2")), 1);
  EXPECT_TRUE(IsModalRunning());
  RgbImage out;
  view_->Render(out);
  const platform::Rect bounds = view_->ImagePatches().Bounds();
  EXPECT_EQ(bounds, (platform::Rect{0, 0, 128, 128}));  // the blocks the 100 x 100 client shows
  std::vector<const DisplayPatches::Patch*> first, again;
  view_->ImagePatches().RowPatches(10, first);
  view_->Render(out);
  view_->ImagePatches().RowPatches(10, again);
  ASSERT_EQ(first.size(), 2u);
  ASSERT_EQ(again.size(), 2u);
  for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(first[i]->pixels.get(), again[i]->pixels.get());
  // New parameters abandon the old blocks.
  ASSERT_EQ(view_->UpdatePreview(Op("median:3")), 1);
  EXPECT_TRUE(view_->ImagePatches().Empty());
  view_->PreviewCancel();
  EXPECT_FALSE(IsModalRunning());
  EXPECT_FALSE(view_->PreviewOpen());
}

// What the preview shows equals the picture after OK, for a neighbourhood
// filter (the margin hides the seams) and a mosaic, with and without a
// selection, and on a floater.
TEST_F(EffectsTest, PreviewShownEqualsAppliedResult) {
  struct Case {
    const char* op;
    bool select, floater;
  } cases[] = {{"median:3", false, false}, {"median:3", true, false}, {"mosaic:5", true, false},
               {"unsharp-mask:300,2,0", true, false}, {"average:4", true, true}, {"emboss:60,3", false, false},
               {"gaussian-blur:2.5", false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op);
    Open(150, 130, 200, 200);
    if (c.select)
      doc_->SetSelectionRegion(platform::Region::FromEllipse(23, 17, 121, 99));
    if (c.floater) {
      ASSERT_EQ(view_->RunCommand(kCmdFloat, {}), 1);
    }
    RgbImage original, previewed, applied;
    // The outline is drawn over the pictures alike; it is left out.
    view_->StopOutline();
    view_->Render(original);
    ASSERT_EQ(view_->OpenPreview(Op(c.op)), 1);
    view_->Render(previewed);
    EXPECT_NE(original.pixels, previewed.pixels);
    EXPECT_FALSE(view_->ImagePatches().Empty() && view_->FloaterPatches().Empty());
    ASSERT_EQ(view_->PreviewOk(), 1);
    EXPECT_FALSE(IsModalRunning());
    EXPECT_EQ(doc_->GetUndoRecord().kind, 50);
    EXPECT_EQ(doc_->HasFloater(), c.floater);
    view_->StopOutline();
    view_->Render(applied);
    ASSERT_EQ(previewed.pixels.size(), applied.pixels.size());
    int differing = 0;
    for (size_t i = 0; i < applied.pixels.size(); ++i) differing += previewed.pixels[i] != applied.pixels[i];
    EXPECT_EQ(differing, 0);
  }
}

TEST_F(EffectsTest, SelectionConfinesAnEffectToItsPixels) {
  Open(90, 70, 200, 200);
  const auto before = Picture(90, 70);
  const platform::Rect box{20, 15, 61, 48};
  doc_->SetSelectionRegion(platform::Region::FromRect(box));
  ASSERT_EQ(view_->RunEffect(Op("median:2")), 1);
  EXPECT_FALSE(doc_->HasFloater());
  EXPECT_EQ(doc_->GetUndoRecord().name, "Median");
  // Inside: the median of the box alone (the box's edge is the picture's
  // edge for the temporary floater); outside: unchanged.
  CDIBitmap cut;
  ASSERT_TRUE(cut.CopyRect(*before, box.left, box.top, box.Width(), box.Height(), 0));
  ASSERT_EQ(GL_MedianFilter(cut, 2, 0), 1);
  EXPECT_TRUE(SameRect(Image(), box.left, box.top, cut, 0, 0, box.Width(), box.Height()));
  for (int y = 0; y < 70; ++y)
    for (int x = 0; x < 90; ++x)
      if (x < box.left || x >= box.right || y < box.top || y >= box.bottom) {
        ASSERT_EQ(Image().GetPixel(y, x), before->GetPixel(y, x)) << x << "," << y;
      }
}

TEST_F(EffectsTest, InvertWithSelectionUsesItsOwnName) {
  Open(40, 30, 200, 200);
  const auto before = Picture(40, 30);
  doc_->SetSelectionRegion(platform::Region::FromRect(5, 6, 25, 20));
  ASSERT_EQ(view_->RunEffect(Op("invert-color")), 1);
  EXPECT_EQ(doc_->GetUndoRecord().name, "Invert Color selected area");
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool inside = x >= 5 && x < 25 && y >= 6 && y < 20;
      const uint32_t was = before->GetPixel(y, x);
      ASSERT_EQ(Image().GetPixel(y, x), inside ? (~was & 0xFFFFFFu) : was) << x << "," << y;
    }
}

TEST_F(EffectsTest, FreeRotationFloatsCentredOnTheOldBox) {
  Open(100, 100, 200, 200);
  doc_->SetSelectionRegion(platform::Region::FromRect(40, 40, 60, 50));
  ASSERT_EQ(view_->RunEffect(Op("rotate:90")), 1);
  EXPECT_TRUE(doc_->HasFloater());
  EXPECT_EQ(doc_->GetUndoRecord().name, "Rotate");
  const platform::Rect box = doc_->SelectionBox();
  EXPECT_EQ(box.Width(), doc_->FloaterImage().GetWidth());
  EXPECT_EQ(box.Height(), doc_->FloaterImage().GetHeight());
  // The turned 20 x 10 outline is 10 wide and 20 high (give or take the
  // resampling's edge); its centre stays at (50, 45).
  EXPECT_NEAR(box.Width(), 10, 2);
  EXPECT_NEAR(box.Height(), 20, 2);
  EXPECT_NEAR((box.left + box.right) / 2.0, 50, 1);
  EXPECT_NEAR((box.top + box.bottom) / 2.0, 45, 1);
}

TEST_F(EffectsTest, CanvasSizeAnchorFiveKeepsTheMiddle) {
  Open(120, 80, 200, 200);
  const auto before = Picture(120, 80);
  ASSERT_EQ(view_->RunEffect(Op("canvas-size:50,50,5,white")), 1);
  EXPECT_EQ(doc_->GetUndoRecord().kind, 99);
  EXPECT_EQ(doc_->GetUndoRecord().name, "Cavas Size");
  ASSERT_EQ(Image().GetWidth(), 50);
  ASSERT_EQ(Image().GetHeight(), 50);
  // dx = -70, dy = -30: the old image sits at (-35, -15).
  EXPECT_TRUE(SameRect(Image(), 0, 0, *before, 35, 15, 50, 50));
}

TEST_F(EffectsTest, ChannelSeparateOpensOneDocumentPerChannel) {
  Open(20, 10, 200, 200);
  doc_->SetTitle("photo.bmp");
  std::vector<std::pair<std::string, std::unique_ptr<CDIBitmap>>> made;
  CVividView::SetNewDocumentSink([&](std::unique_ptr<CDIBitmap> image, const std::string& title) {
    made.emplace_back(title, std::move(image));
  });
  ASSERT_EQ(view_->OnChannelSeparate(), 1);
  CVividView::SetNewDocumentSink({});
  ASSERT_EQ(made.size(), 3u);
  const char* titles[] = {"photo_R", "photo_G", "photo_B"};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(made[c].first, titles[c]);
    const CDIBitmap& plane = *made[c].second;
    ASSERT_EQ(plane.GetBitCount(), 8);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 20; ++x)
        ASSERT_EQ(plane.RowPointer(y)[x], Image().RowPointer(y)[3 * x + 2 - c]) << c << " " << x << "," << y;
  }
}

TEST(EffectDialogTest, StepsClampAndHomeEnd) {
  struct Case {
    const char* op;
    size_t field;
    enum { Lines, Pages, Set, Home, End } action;
    double amount, expected;
  } cases[] = {
      {"mosaic", 0, Case::Pages, 1, 4},       {"mosaic", 0, Case::Pages, 40, 64},  {"mosaic", 0, Case::Lines, -9, 2},
      {"brightness-contrast", 1, Case::Pages, -3, -30}, {"brightness-contrast", 0, Case::Home, 0, -100},
      {"brightness-contrast", 0, Case::End, 0, 100},     {"median", 0, Case::Set, 3.9, 3},
      {"median", 0, Case::Set, 42, 10},       {"gaussian-blur", 0, Case::Set, 2.75, 2.75},
      {"gaussian-blur", 0, Case::Set, -1, 0}, {"add-noise", 0, Case::Pages, 3, 3},
      {"solarize", 0, Case::Pages, 20, 255},  {"unsharp-mask", 0, Case::Home, 0, 1},
      {"emboss", 1, Case::End, 0, 7},         {"hue-saturation", 0, Case::Lines, -200, -180},
  };
  for (const Case& c : cases) {
    const EffectDialogModel* model = FindEffectDialog(c.op);
    ASSERT_TRUE(model) << c.op;
    EffectDialogState state(*model);
    switch (c.action) {
      case Case::Lines: state.StepLines(c.field, int(c.amount)); break;
      case Case::Pages: state.StepPages(c.field, int(c.amount)); break;
      case Case::Set: state.Set(c.field, c.amount); break;
      case Case::Home: state.Home(c.field); break;
      case Case::End: state.End(c.field); break;
    }
    EXPECT_EQ(state.Value(c.field), c.expected) << c.op;
  }
}

// Every dialog's initial answers, its minimums and its maximums make an
// operation the table accepts; a shear dialog with Horizontal unchecked asks
// for the vertical direction.
TEST(EffectDialogTest, AnswersMakeValidOperations) {
  for (const EffectDialogModel& model : EffectDialogModels()) {
    EffectDialogState state(model);
    for (int pass = 0; pass < 3; ++pass) {
      for (size_t f = 0; f < model.fields.size(); ++f) {
        if (pass == 1) state.Home(f);
        if (pass == 2) state.End(f);
      }
      std::string error;
      const std::optional<ParsedOperation> op = ParseOperation(state.OperationText(), error);
      ASSERT_TRUE(op) << state.OperationText() << ": " << error;
      EXPECT_EQ(op->def->params.size(), model.fields.size()) << model.operation;
    }
  }
  EffectDialogState shear(*FindEffectDialog("shear"));
  EXPECT_EQ(shear.OperationText(), "shear:0,0");
  shear.Set(1, 0);
  shear.Set(0, 12);
  EXPECT_EQ(shear.OperationText(), "shear:12,1");
}

}  // namespace

// A view closed while its preview or Text dialog is open ends the dialog:
// the modal flag does not outlive it.
TEST_F(EffectsTest, ClosingTheViewEndsItsDialog) {
  Open(40, 30, 40, 30);
  ASSERT_EQ(view_->OpenPreview(Op("median:2")), 1);
  ASSERT_TRUE(IsModalRunning());
  view_.reset();
  EXPECT_FALSE(IsModalRunning());
  view_ = std::make_unique<CVividView>(*doc_);
  ToolSettings().SelectTool(ViewTool::Text);
  view_->OnPointerPress({5, 5}, PointerButton::Left, 0);
  view_->OnPointerRelease({5, 5}, PointerButton::Left, 0);
  ASSERT_TRUE(view_->TextDialogOpen());
  view_.reset();
  EXPECT_FALSE(IsModalRunning());
}

// The dialog's Preview switch: off shows the image as it is and keeps the
// dialog (and the modal flag); parameters changed while off show when it
// comes back on; OK applies the last parameters either way.
TEST_F(EffectsTest, PreviewSwitchHidesAndRestoresThePreview) {
  Open(60, 40, 60, 40);
  RgbImage original, shown;
  view_->Render(original);
  ASSERT_EQ(view_->OpenPreview(Op("solarize:10")), 1);
  EXPECT_TRUE(view_->PreviewShown());
  view_->Render(shown);
  EXPECT_NE(shown.pixels, original.pixels);

  view_->SetPreviewShown(false);
  EXPECT_TRUE(view_->PreviewOpen());
  EXPECT_TRUE(IsModalRunning());
  RgbImage hidden;
  view_->Render(hidden);
  EXPECT_EQ(hidden.pixels, original.pixels);
  EXPECT_TRUE(view_->ImagePatches().Empty());

  // Solarize 128 keeps bytes below 128 and turns the others to 255 - v.
  const auto solarized = [](uint8_t v) { return v < 128 ? v : uint8_t(255 - v); };
  ASSERT_EQ(view_->UpdatePreview(Op("solarize:128")), 1);
  view_->Render(hidden);
  EXPECT_EQ(hidden.pixels, original.pixels);
  view_->SetPreviewShown(true);
  RgbImage back;
  view_->Render(back);
  ASSERT_EQ(back.pixels.size(), original.pixels.size());
  for (size_t i = 0; i < back.pixels.size(); ++i) ASSERT_EQ(back.pixels[i], solarized(original.pixels[i])) << i;

  view_->SetPreviewShown(false);
  ASSERT_EQ(view_->PreviewOk(), 1);
  EXPECT_FALSE(IsModalRunning());
  EXPECT_FALSE(view_->PreviewShown());
  const std::unique_ptr<CDIBitmap> before = Picture(60, 40);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 180; ++x)
      ASSERT_EQ(Image().RowPointer(y)[x], solarized(before->RowPointer(y)[x])) << x << "," << y;
}
