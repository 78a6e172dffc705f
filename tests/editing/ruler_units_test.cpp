// The application-wide unit and halftoning choices as commands, and rulers
// in centimetres and inches.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "editing/tool_settings.h"
#include "editing/vivid_view.h"

namespace {

constexpr int kBand = 20;

class RulerUnitsTest : public testing::Test {
 protected:
  void SetUp() override { ToolSettings() = CToolSettings(); }
  void TearDown() override {
    ToolSettings() = CToolSettings();
    SetEditBusy(false);
  }

  std::unique_ptr<CVividDoc> NewDocument(int width, int height, int xDpi, int yDpi) {
    auto image = std::make_unique<CDIBitmap>();
    image->Create(width, height, 24, 0);
    image->SetResolution(xDpi, yDpi);
    CVividDoc::SetCreationMode(CM_BLANK);
    CVividDoc::SetPreparedImage(std::move(image));
    auto document = std::make_unique<CVividDoc>();
    EXPECT_TRUE(document->OnNewDocument());
    return document;
  }
  std::unique_ptr<CVividView> NewView(CVividDoc& document, int clientWidth, int clientHeight) {
    auto view = std::make_unique<CVividView>(document);
    view->SetClientSize(clientWidth, clientHeight);
    return view;
  }
};

TEST_F(RulerUnitsTest, ChoicesAreRadioGroupsOfTheCommandTable) {
  struct Entry {
    ViewCommand id;
    int number;
    const char* script;
    const char* menu;
    int group;
  };
  const Entry entries[] = {
      {kCmdUnitCentimeter, 32867, "centimeter", "&Centimeter", 0},
      {kCmdUnitInch, 32868, "inch", "&Inch", 0},
      {kCmdUnitPixels, 32869, "pixels", "&Pixels", 0},
      {kCmdHalftoneErrorDiffusion, 32863, "error-diffusion", "&Error Diffusion", 1},
      {kCmdHalftoneOrdered, 32862, "ordered", "&Ordered", 1},
      {kCmdHalftoneAuto, 32860, "auto", "&Auto", 2},
      {kCmdHalftoneFixed, 32861, "fixed", "&Fixed", 2},
      {kCmdHalftoneFavorBlack, 32865, "favor-black", "&Favor Black", 3},
      {kCmdHalftoneNormal, 32864, "normal", "&Normal", 3},
      {kCmdHalftoneScaleToGray, 32866, "scale-to-gray", "&Scale To Gray", 3},
  };
  // Script names stay unique across the whole table ("normal" beside
  // "normal-view", "none").
  std::set<std::string> names;
  for (const CommandDef& def : ViewCommands())
    EXPECT_TRUE(names.insert(std::string(def.scriptName)).second) << def.scriptName;

  auto document = NewDocument(40, 30, 72, 72);
  auto view = NewView(*document, 200, 100);
  const auto checked = [&] {
    std::vector<bool> out;
    for (const Entry& e : entries) out.push_back(view->GetCommandState(e.id).checked);
    return out;
  };
  // Pixels, error diffusion, auto and normal at start.
  EXPECT_EQ(checked(), (std::vector<bool>{false, false, true, true, false, true, false, false, true, false}));

  for (const Entry& e : entries) {
    SCOPED_TRACE(e.script);
    EXPECT_EQ(static_cast<int>(e.id), e.number);
    const CommandDef* def = FindCommand(std::string_view(e.script));
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->id, e.id);
    EXPECT_EQ(def->menuText, e.menu);
    EXPECT_TRUE(def->params.empty());

    // Choosing one checks it, clears the rest of its group and leaves the
    // other groups alone; choosing it again keeps it.
    std::vector<bool> want = checked();
    for (size_t i = 0; i < std::size(entries); ++i)
      if (entries[i].group == e.group) want[i] = entries[i].id == e.id;
    for (int round = 0; round < 2; ++round) {
      bool disabled = true;
      EXPECT_EQ(view->RunCommand(e.id, {}, &disabled), 1);
      EXPECT_FALSE(disabled);
      EXPECT_EQ(checked(), want);
    }
  }
  EXPECT_EQ(ToolSettings().measureUnit, MeasureUnit::Pixels);
  EXPECT_EQ(ToolSettings().halftoneMethod, HalftoneMethod::Ordered);
  EXPECT_EQ(ToolSettings().halftoneSetting, HalftoneSetting::Fixed);
  EXPECT_EQ(ToolSettings().halftoneBlack, HalftoneBlack::ScaleToGray);

  // They touch no image, so an edit in progress leaves them available.
  SetEditBusy(true);
  EXPECT_TRUE(view->GetCommandState(kCmdUnitInch).enabled);
  EXPECT_FALSE(view->GetCommandState(kCmdRuler).enabled);
}

// The ticks one ruler should show, from the rule: mark i of a unit split
// into `sub` marks lies at i x dpi / (sub x inchesPerUnit) image pixels, in
// the view at band + round-half-up(that x N / D); the step is the first of
// the part steps and then 1, 2, 5, 10, ... units giving 4 view pixels or
// more; whole units 12 long, halves 8, inch quarters 6, others 4.
std::map<int, int> ExpectedTicks(bool inch, double dpi, ZoomRatio zoom, int extent, int viewEnd) {
  const int sub = inch ? 16 : 10;
  const double markPixels = inch ? dpi / 16 : dpi / 25.4;
  const double markView = markPixels * zoom.n / zoom.d;
  std::vector<int> steps = inch ? std::vector<int>{1, 2, 4, 8} : std::vector<int>{1, 5};
  for (int units = 1; units <= 100000; units *= 10)
    for (int m : {1, 2, 5}) steps.push_back(units * m * sub);
  int step = 0;
  for (int s : steps)
    if (s * markView >= 4 - 1e-9) {
      step = s;
      break;
    }
  std::map<int, int> ticks;
  for (int i = 0; i * markPixels <= extent + 1e-9; i += step) {
    const int position = kBand + static_cast<int>(std::floor(i * markView + 0.5));
    if (position >= viewEnd) break;
    int length = 4;
    if (i % sub == 0)
      length = 12;
    else if (i % (sub / 2) == 0)
      length = 8;
    else if (inch && i % (sub / 4) == 0)
      length = 6;
    ticks[position] = length;
  }
  return ticks;
}

// The ticks found in a rendered ruler (the top one, or the left one when
// `left`): black pixels next to the band's edge, each tick's length counted
// outwards from there.
std::map<int, int> RenderedTicks(const RgbImage& out, bool left) {
  std::map<int, int> ticks;
  for (int along = kBand; along < (left ? out.height : out.width); ++along) {
    int length = 0;
    while (length < kBand - 1) {
      const int across = kBand - 2 - length;
      if ((left ? out.Row(along)[3 * across] : out.Row(across)[3 * along]) != 0) break;
      ++length;
    }
    if (length) ticks[along] = length;
  }
  return ticks;
}

TEST_F(RulerUnitsTest, CentimetreAndInchTicksFollowResolutionAndZoom) {
  struct Case {
    ViewCommand unit;
    int width, height, xDpi, yDpi;
    ZoomRatio zoom;
  };
  const Case cases[] = {
      {kCmdUnitCentimeter, 200, 120, 100, 150, {1, 1}},   // x: 5 mm steps; y: every mm
      {kCmdUnitCentimeter, 200, 120, 100, 150, {2, 1}},   // every mm both ways
      {kCmdUnitCentimeter, 2000, 1200, 0, 0, {1, 16}},    // no resolution: 72 dpi, 5 cm steps
      {kCmdUnitCentimeter, 1000, 600, 300, 96, {1, 3}},
      {kCmdUnitInch, 200, 120, 100, 150, {1, 1}},         // sixteenths of 6.25 and 9.375 pixels
      {kCmdUnitInch, 200, 120, 100, 150, {1, 4}},         // quarters across, eighths down
      {kCmdUnitInch, 3000, 1500, 600, 600, {1, 16}},      // halves
      {kCmdUnitInch, 100, 60, 7, 7, {1, 1}},              // 1 inch steps
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.unit << " " << c.width << "x" << c.height << " at " << c.xDpi << "/"
                                    << c.yDpi << " dpi, " << c.zoom.n << ":" << c.zoom.d);
    auto document = NewDocument(c.width, c.height, c.xDpi, c.yDpi);
    auto view = NewView(*document, 420, 300);
    ASSERT_TRUE(view->SetZoom(c.zoom));
    view->OnRuler();
    view->SetScroll(0, 0);
    ASSERT_EQ(view->RunCommand(c.unit, {}), 1);
    RgbImage out;
    view->Render(out);
    const bool inch = c.unit == kCmdUnitInch;
    const double xDpi = c.xDpi > 0 ? c.xDpi : 72, yDpi = c.yDpi > 0 ? c.yDpi : 72;
    EXPECT_EQ(RenderedTicks(out, false), ExpectedTicks(inch, xDpi, c.zoom, c.width, out.width));
    EXPECT_EQ(RenderedTicks(out, true), ExpectedTicks(inch, yDpi, c.zoom, c.height, out.height));
  }
}

TEST_F(RulerUnitsTest, AUnitChangeRepaintsTheRulersOfEveryView) {
  auto first = NewDocument(300, 200, 120, 120);
  auto second = NewDocument(300, 200, 120, 120);
  auto a = NewView(*first, 260, 180);
  auto b = NewView(*first, 260, 180);
  auto c = NewView(*second, 260, 180);
  auto plain = NewView(*second, 260, 180);  // without rulers
  RgbImage shownB, shownC, shownPlain;
  for (CVividView* v : {a.get(), b.get(), c.get()}) {
    v->OnRuler();
    v->SetScroll(0, 0);
  }
  b->Render(shownB);
  c->Render(shownC);
  plain->Render(shownPlain);
  for (CVividView* v : {a.get(), b.get(), c.get(), plain.get()}) v->TakeInvalidRegion();

  ASSERT_EQ(a->RunCommand(kCmdUnitInch, {}), 1);
  const platform::Region bands = platform::Region::FromRect(0, 0, 260, kBand).Union(
      platform::Region::FromRect(0, 0, kBand, 180));
  for (auto [view, picture] : {std::pair{b.get(), &shownB}, std::pair{c.get(), &shownC}}) {
    const platform::Region invalid = view->TakeInvalidRegion();
    EXPECT_TRUE(bands.Subtract(invalid).IsEmpty());
    // Repainting what it asks for gives what a whole new picture shows.
    view->Render(*picture, invalid);
    RgbImage fresh;
    view->Render(fresh);
    EXPECT_EQ(picture->pixels, fresh.pixels);
    EXPECT_EQ(RenderedTicks(fresh, false), ExpectedTicks(true, 120, {1, 1}, 300, 260));
  }
  EXPECT_TRUE(plain->TakeInvalidRegion().IsEmpty());
}

}  // namespace
