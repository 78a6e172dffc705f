// Page setup: paper names, minimum margins, the margin check, unit
// conversions and the scale and position of every mode.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "platform/messages.h"
#include "print/page_setup.h"

namespace {

using print::EntryUnit;
using print::MarginUnit;

TEST(PaperName, KnownCodesAndCustomSizes) {
  const struct {
    int code, width, length;
    const char* name;
  } cases[] = {
      {1, 0, 0, "Letter, 8 1/2 by 11 inches"},
      {9, 0, 0, "A4 Sheet, 210 by 297 millimeters"},
      {13, 0, 0, "B5 sheet, 182-by-257-millimeter paper"},
      {35, 0, 0, "B6 Envelope, 176 by 125 millimeters"},
      {41, 0, 0, "German Legal Fanfold, 8 1/2 by 13 inches"},
      {256, 2100, 2970, "Custom Paper, 210 by 297 millimeters"},
      {0, 1009, 55, "Custom Paper, 100 by 5 millimeters"},
      {42, 0, 0, "Custom Paper, 0 by 0 millimeters"},
  };
  for (const auto& c : cases) EXPECT_EQ(print::PaperName(c.code, c.width, c.length), c.name) << c.code;
}

TEST(PaperCodeByName, FirstWordOfTheNameIgnoringCaseLowestCodeFirst) {
  const struct {
    const char* word;
    std::optional<int> code;
  } cases[] = {
      {"A4", 9}, {"a4", 9}, {"LETTER", 1}, {"B4", 12}, {"#10", 20}, {"German", 40},
      {"A4 Sheet", std::nullopt}, {"Tabloidish", std::nullopt}, {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(print::PaperCodeByName(c.word), c.code) << c.word;
}

TEST(MinimumMargins, DotsConvertedPerAxisWithRounding) {
  // 0.25 inch offsets at 360 dpi; the right margin is what is left of the
  // page beside offset and printable width: 2976 - 90 - 2800 = 86 dots.
  print::PrinterGeometry printer{360, 720, 90, 180, 2976, 8419, 2800, 8000};
  print::Margins inch, mm;
  ASSERT_TRUE(print::MinimumMargins(printer, MarginUnit::Inch, inch));
  ASSERT_TRUE(print::MinimumMargins(printer, MarginUnit::Millimetre, mm));
  EXPECT_EQ(inch, (print::Margins{250, 250, 239, 332}));  // 86000/360 = 238.9; 239000/720 = 331.9
  EXPECT_EQ(mm, (print::Margins{635, 635, 607, 843}));    // 86 x 2540 / 360 = 606.8; 239 x 2540 / 720 = 843.1
  printer.dpiX = 0;
  EXPECT_FALSE(print::MinimumMargins(printer, MarginUnit::Inch, inch));
  EXPECT_EQ(inch, print::Margins{});
}

TEST(MarginCheck, RaisesSmallMarginsAndSaysSoOnce) {
  platform::RecordingMessageSink sink;
  const print::Margins minimum{250, 250, 300, 400};
  auto result = print::CheckMargins({100, 500, 299, 400}, minimum, MarginUnit::Inch);
  EXPECT_TRUE(result.corrected);
  EXPECT_EQ(result.margins, (print::Margins{250, 500, 300, 400}));
  EXPECT_EQ(result.texts[0], "0.25");
  EXPECT_EQ(result.texts[1], "0.50");
  EXPECT_EQ(result.texts[2], "0.30");
  EXPECT_EQ(result.texts[3], "0.40");
  ASSERT_EQ(sink.Texts().size(), 1u);
  EXPECT_EQ(sink.Texts()[0], "Margins smaller than min margins will be corrected ! ");

  result = print::CheckMargins({635, 700, 1000, 2000}, {635, 635, 635, 635}, MarginUnit::Millimetre);
  EXPECT_FALSE(result.corrected);
  EXPECT_EQ(result.texts[0], "6.35");
  EXPECT_EQ(result.texts[3], "20.00");
  EXPECT_EQ(sink.Texts().size(), 1u);  // nothing more shown
}

TEST(Units, EntriesToTwipsAndBack) {
  EXPECT_EQ(print::EntryToTwips(1.0, EntryUnit::Inch, 0), 1440);
  EXPECT_EQ(print::EntryToTwips(2.54, EntryUnit::Cm, 0), 1440);
  EXPECT_EQ(print::EntryToTwips(1.0, EntryUnit::Cm, 0), 567);  // 566.93 rounded
  EXPECT_EQ(print::EntryToTwips(0.0003, EntryUnit::Inch, 0), 0);
  EXPECT_EQ(print::EntryToTwips(50.0, EntryUnit::Percent, 14400.0), 7200);
  EXPECT_EQ(print::EntryToTwips(33.3, EntryUnit::Percent, 1000.0), 333);
  EXPECT_DOUBLE_EQ(print::TwipsToEntry(2880, EntryUnit::Inch, 0), 2.0);
  EXPECT_DOUBLE_EQ(print::TwipsToEntry(1440, EntryUnit::Cm, 0), 2.54);
  EXPECT_DOUBLE_EQ(print::TwipsToEntry(7200, EntryUnit::Percent, 14400.0), 50.0);
  EXPECT_DOUBLE_EQ(print::TwipsToEntry(7200, EntryUnit::Percent, 0.0), 0.0);
  EXPECT_EQ(print::MarginToTwips(250, MarginUnit::Inch), 360);
  EXPECT_EQ(print::MarginToTwips(635, MarginUnit::Millimetre), 360);
  EXPECT_EQ(print::PaperSizeText(210, 297, MarginUnit::Inch), "8.268inch/11.693inch");
  EXPECT_EQ(print::PaperSizeText(210, 297, MarginUnit::Millimetre), "210.00mm/297.00mm");
}

TEST(ImageRect, NaturalSizeTimesScaleMovedByPosition) {
  print::PageLayout layout;
  EXPECT_EQ(print::ImageRectTwips({1000, 800, 100, 100}, layout), (platform::Rect{0, 0, 14400, 11520}));
  layout.scaleX = 0.5f;
  layout.scaleY = 2.0f;
  layout.positionX = 10;
  layout.positionY = 20;
  EXPECT_EQ(print::ImageRectTwips({1000, 800, 100, 200}, layout), (platform::Rect{10, 20, 10 + 7200, 20 + 11520}));
}

// Paper 8 x 10 inches with 1/2 inch margins: Wp = 7 inch, Hp = 9 inch.
print::PageSetup Page() {
  print::PageSetup setup;
  setup.paperWidthTwips = 8 * 1440;
  setup.paperHeightTwips = 10 * 1440;
  setup.marginsTwips = {720, 720, 720, 720};
  return setup;
}
constexpr int kWp = 7 * 1440, kHp = 9 * 1440;

TEST(PageLayout, FitToPageFillsTheLimitingSideAndCentres) {
  const struct {
    print::ImageFacts image;
    bool distort;
    int width, height;  // expected image size in twips
  } cases[] = {
      // Wide image: the width limits; height 7 x 500 / 1400 inch.
      {{1400, 500, 200, 200}, false, kWp, 3600},
      // Tall image: the height limits.
      {{300, 900, 100, 100}, false, 4320, kHp},
      // Same proportions as the area: a tie goes to the height.
      {{700, 900, 50, 50}, false, kWp, kHp},
      // Different resolutions across and down: natural size 10 x 4.333
      // inch, so the width limits (comparing pixel counts would pick the
      // height and overflow the page 3 times over).
      {{1000, 1300, 100, 300}, false, kWp, 4368},
      // Distortion: both sides fill.
      {{1400, 500, 200, 200}, true, kWp, kHp},
  };
  for (const auto& c : cases) {
    print::PageSetup setup = Page();
    setup.allowDistortion = c.distort;
    print::PageLayout layout;
    ASSERT_EQ(print::ComputePageLayout(setup, c.image, layout), 1);
    const int w = layout.imageRect.Width(), h = layout.imageRect.Height();
    EXPECT_NEAR(w, c.width, 1) << c.image.width << "x" << c.image.height;
    EXPECT_NEAR(h, c.height, 1) << c.image.width << "x" << c.image.height;
    EXPECT_EQ(layout.positionX, (kWp - w) / 2);
    EXPECT_EQ(layout.positionY, (kHp - h) / 2);
    EXPECT_EQ(layout.marginsTwips, setup.marginsTwips);
    if (!c.distort) {
      EXPECT_EQ(layout.scaleX, layout.scaleY);
    }
  }
}

TEST(PageLayout, UserDefinedScaleAndPosition) {
  const print::ImageFacts image{1000, 800, 100, 100};  // natural 14400 x 11520 twips
  struct {
    double width, height;
    EntryUnit sizeUnit;
    print::PositionMode position;
    double left, top;
    EntryUnit positionUnit;
    platform::Rect rect;
  } cases[] = {
      {50, 25, EntryUnit::Percent, print::PositionMode::UserDefined, 1, 2, EntryUnit::Inch,
       {1440, 2880, 1440 + 7200, 2880 + 2880}},
      {5, 4, EntryUnit::Inch, print::PositionMode::UserDefined, 2.54, 0, EntryUnit::Cm, {1440, 0, 1440 + 7200, 5760}},
      {2.54, 2.54, EntryUnit::Cm, print::PositionMode::UserDefined, 3, 3, EntryUnit::Percent, {0, 0, 1440, 1440}},
      // Centred: (Wp - 7200) / 2 and (Hp - 5760) / 2.
      {5, 4, EntryUnit::Inch, print::PositionMode::Center, 9, 9, EntryUnit::Inch,
       {(kWp - 7200) / 2, (kHp - 5760) / 2, (kWp - 7200) / 2 + 7200, (kHp - 5760) / 2 + 5760}},
      // Larger than the printable area: centring never goes negative.
      {200, 200, EntryUnit::Percent, print::PositionMode::Center, 0, 0, EntryUnit::Inch, {0, 0, 28800, 23040}},
  };
  for (const auto& c : cases) {
    print::PageSetup setup = Page();
    setup.scaleMode = print::ScaleMode::UserDefined;
    setup.width = c.width;
    setup.height = c.height;
    setup.sizeUnit = c.sizeUnit;
    setup.positionMode = c.position;
    setup.left = c.left;
    setup.top = c.top;
    setup.positionUnit = c.positionUnit;
    print::PageLayout layout;
    ASSERT_EQ(print::ComputePageLayout(setup, image, layout), 1);
    EXPECT_EQ(layout.imageRect, c.rect) << c.width << " " << c.height;
  }
}

TEST(PageLayout, FitWithUserPositionStartsAtTheMarginOrigin) {
  print::PageSetup setup = Page();
  setup.positionMode = print::PositionMode::UserDefined;
  setup.left = setup.top = 3;
  setup.positionUnit = EntryUnit::Inch;
  print::PageLayout layout;
  ASSERT_EQ(print::ComputePageLayout(setup, {300, 900, 100, 100}, layout), 1);
  EXPECT_EQ(layout.imageRect.left, 0);
  EXPECT_EQ(layout.imageRect.top, 0);
}

// An empty image, a missing resolution or no printable area fail clearly
// instead of dividing by zero.
TEST(PageLayout, RefusesWhatCannotBeLaidOut) {
  print::PageLayout layout;
  EXPECT_EQ(print::ComputePageLayout(Page(), {0, 100, 72, 72}, layout), -11);
  EXPECT_EQ(print::ComputePageLayout(Page(), {100, 0, 72, 72}, layout), -11);
  EXPECT_EQ(print::ComputePageLayout(Page(), {100, 100, 0, 72}, layout), -13);
  EXPECT_EQ(print::ComputePageLayout(Page(), {100, 100, 72, -5}, layout), -13);
  print::PageSetup setup = Page();
  setup.marginsTwips.left = setup.paperWidthTwips;
  EXPECT_EQ(print::ComputePageLayout(setup, {100, 100, 72, 72}, layout), -13);
  EXPECT_TRUE(std::isfinite(layout.scaleX));
}

}  // namespace
