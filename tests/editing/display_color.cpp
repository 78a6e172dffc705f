// The view's picture through the display profile and through the printer
// simulation, against LittleCMS transforms built here from the same
// profiles, and the picture with matching off left as it was.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "editing/display_color.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "test_support.h"

namespace {

using testing_support::DataPath;

constexpr int kWidth = 40;
constexpr int kHeight = 24;

uint8_t Channel(int x, int y, int c) { return static_cast<uint8_t>((x * (37 + 20 * c) + y * (11 + 60 * c) + 7 * c) & 255); }

std::unique_ptr<CDIBitmap> Picture() {
  auto image = std::make_unique<CDIBitmap>();
  image->Create(kWidth, kHeight, 24, 0);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      for (int c = 0; c < 3; ++c) image->RowPointer(y)[3 * x + 2 - c] = Channel(x, y, c);  // blue, green, red
  return image;
}

// The picture's pixels as RGB rows, converted here by `transform` (none:
// as they are).
std::vector<uint8_t> Expected(cmsHTRANSFORM transform) {
  std::vector<uint8_t> rgb(kWidth * kHeight * 3), out(rgb.size());
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      for (int c = 0; c < 3; ++c) rgb[(y * kWidth + x) * 3 + c] = Channel(x, y, c);
  if (!transform) return rgb;
  cmsDoTransform(transform, rgb.data(), out.data(), kWidth * kHeight);
  return out;
}

std::string GhostscriptProfile(const char* name) { return std::string("/usr/share/color/icc/ghostscript/") + name; }

class DisplayColorTest : public testing::Test {
 protected:
  void SetUp() override {
    ToolSettings() = CToolSettings();
    CVividDoc::SetCreationMode(CM_BLANK);
    CVividDoc::SetPreparedImage(Picture());
    document_ = std::make_unique<CVividDoc>();
    ASSERT_TRUE(document_->OnNewDocument());
    view_ = std::make_unique<CVividView>(*document_);
    view_->SetClientSize(2 * kWidth + 10, 2 * kHeight + 10);
  }
  void TearDown() override { SetDisplayColorSettings({}); }

  // The displayed image's pixels (image coordinates) from a fresh picture.
  std::vector<uint8_t> Shown() {
    RgbImage out;
    view_->Render(out);
    const platform::Rect r = view_->DisplayedImageRect();
    const ZoomRatio z = view_->Zoom();
    std::vector<uint8_t> pixels(kWidth * kHeight * 3);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        for (int c = 0; c < 3; ++c) {
          // Every view pixel of an image pixel shows the same colour.
          const int vx = r.left + x * z.n / z.d, vy = r.top + y * z.n / z.d;
          const uint8_t v = out.Row(vy)[3 * vx + c];
          if (z.n > 1) {
            EXPECT_EQ(out.Row(vy + z.n - 1)[3 * (vx + z.n - 1) + c], v);
          }
          pixels[(y * kWidth + x) * 3 + c] = v;
        }
    return pixels;
  }

  std::unique_ptr<CVividDoc> document_;
  std::unique_ptr<CVividView> view_;
};

TEST_F(DisplayColorTest, PictureGoesThroughTheDisplayProfileAsLittleCmsConvertsIt) {
  const struct Case {
    const char* name;
    std::string input;  // "" : the image is sRGB
    std::string display;
    int intent;
    ZoomRatio zoom;
  } cases[] = {
      {"sRGB to Adobe 98, perceptual", "", GhostscriptProfile("a98.icc"), 0, {1, 1}},
      {"sRGB to ROMM, relative, zoomed 2:1", "", GhostscriptProfile("rommrgb.icc"), 1, {2, 1}},
      {"input ClayRGB to sRGB display, absolute", DataPath("third_party/debian/argyll-ref/ClayRGB1998.icm"),
       DataPath("third_party/debian/argyll-ref/sRGB.icm"), 3, {1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(view_->SetZoom(c.zoom));
    color::ColorManagementSettings settings;
    settings.enabled = true;
    settings.inputPath = c.input;
    settings.displayPath = c.display;
    settings.intent = c.intent;
    SetDisplayColorSettings(settings);

    cmsHPROFILE source = c.input.empty() ? cmsCreate_sRGBProfile() : cmsOpenProfileFromFile(c.input.c_str(), "r");
    cmsHPROFILE display = cmsOpenProfileFromFile(c.display.c_str(), "r");
    ASSERT_TRUE(source && display);
    cmsHTRANSFORM transform = cmsCreateTransform(source, TYPE_RGB_8, display, TYPE_RGB_8, c.intent, 0);
    ASSERT_TRUE(transform);
    const std::vector<uint8_t> want = Expected(transform);
    cmsDeleteTransform(transform);
    cmsCloseProfile(source);
    cmsCloseProfile(display);

    const std::vector<uint8_t> shown = Shown();
    EXPECT_EQ(shown, want);
    EXPECT_NE(shown, Expected(nullptr)) << "the profile changes nothing, the case proves nothing";
  }
}

TEST_F(DisplayColorTest, PrintedColorsSimulateTheOutputProfileOnTheDisplay) {
  color::ColorManagementSettings settings;
  settings.enabled = true;
  settings.displayPath = GhostscriptProfile("srgb.icc");
  settings.outputPath = DataPath("third_party/lcms2-testbed/test1.icc");
  settings.intent = 0;
  SetDisplayColorSettings(settings);
  ASSERT_EQ(view_->OnPreviewPrintedColors(), 1);

  // The two legs one after the other: image to printer ink (16 bits), ink
  // to the display, relative colorimetric.
  cmsHPROFILE source = cmsCreate_sRGBProfile();
  cmsHPROFILE printer = cmsOpenProfileFromFile(settings.outputPath.c_str(), "r");
  cmsHPROFILE display = cmsOpenProfileFromFile(settings.displayPath.c_str(), "r");
  ASSERT_TRUE(printer && display);
  cmsHTRANSFORM toInk = cmsCreateTransform(source, TYPE_RGB_8, printer, TYPE_CMYK_16, INTENT_PERCEPTUAL, 0);
  cmsHTRANSFORM toScreen =
      cmsCreateTransform(printer, TYPE_CMYK_16, display, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, 0);
  ASSERT_TRUE(toInk && toScreen);
  const std::vector<uint8_t> plain = Expected(nullptr);
  std::vector<uint16_t> ink(kWidth * kHeight * 4);
  std::vector<uint8_t> want(plain.size());
  cmsDoTransform(toInk, plain.data(), ink.data(), kWidth * kHeight);
  cmsDoTransform(toScreen, ink.data(), want.data(), kWidth * kHeight);
  cmsDeleteTransform(toInk);
  cmsDeleteTransform(toScreen);
  cmsCloseProfile(source);
  cmsCloseProfile(printer);
  cmsCloseProfile(display);

  // The combined transform is sampled on a grid: a few levels apart at most.
  const std::vector<uint8_t> shown = Shown();
  int worst = 0;
  for (size_t i = 0; i < shown.size(); ++i) worst = std::max(worst, std::abs(shown[i] - want[i]));
  EXPECT_LE(worst, 3);
  // Printer gamut is visible: the simulation differs from the plain picture.
  EXPECT_NE(shown, plain);

  // Off again: the display transform alone (sRGB to sRGB, nearly identity).
  ASSERT_EQ(view_->OnPreviewPrintedColors(), 1);
  EXPECT_NE(Shown(), shown);
}

TEST_F(DisplayColorTest, WithoutUsableMatchingThePictureIsUnchanged) {
  RgbImage before;
  view_->Render(before);
  const struct Case {
    const char* name;
    bool enabled;
    std::string display;
    bool printed;
    bool error;  // the settings ask for matching that cannot be done
  } cases[] = {
      {"matching off, profile chosen", false, GhostscriptProfile("a98.icc"), false, false},
      {"matching off, printed colours", false, GhostscriptProfile("a98.icc"), true, false},
      {"matching on, no display profile", true, "", false, false},
      {"display profile is CMYK", true, DataPath("third_party/lcms2-testbed/test1.icc"), false, true},
      {"display profile missing", true, "/nonexistent/display.icc", false, true},
      {"display profile damaged", true, DataPath("third_party/lcms2-testbed/bad.icc"), false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    color::ColorManagementSettings settings;
    settings.enabled = c.enabled;
    settings.displayPath = c.display;
    settings.outputPath = DataPath("third_party/lcms2-testbed/test1.icc");
    SetDisplayColorSettings(settings);
    if (view_->PreviewPrintedColors() != c.printed) view_->OnPreviewPrintedColors();
    RgbImage after;
    view_->Render(after);
    EXPECT_EQ(after.pixels, before.pixels);
    EXPECT_EQ(!DisplayColorError().empty(), c.error) << DisplayColorError();
  }
}

TEST_F(DisplayColorTest, ChangedSettingsRepaintTheWholePicture) {
  // The window either asks what changed and repaints that, or repaints a
  // part it chose itself: either way the whole picture follows the change.
  for (const bool asks : {true, false}) {
    SCOPED_TRACE(asks ? "invalid region taken" : "partial repaint");
    SetDisplayColorSettings({});
    RgbImage out;
    view_->Render(out);
    view_->TakeInvalidRegion();
    const std::vector<uint8_t> plain = out.pixels;
    color::ColorManagementSettings settings;
    settings.enabled = true;
    settings.displayPath = GhostscriptProfile("a98.icc");
    SetDisplayColorSettings(settings);
    if (asks) {
      const platform::Region invalid = view_->TakeInvalidRegion();
      EXPECT_TRUE(invalid.Contains(0, 0) && invalid.Contains(out.width - 1, out.height - 1));
      view_->Render(out, invalid);
    } else {
      view_->Render(out, platform::Region::FromRect(0, 0, 1, 1));
    }
    RgbImage fresh;
    view_->Render(fresh);
    EXPECT_EQ(out.pixels, fresh.pixels);
    EXPECT_NE(out.pixels, plain);
  }
}

}  // namespace
