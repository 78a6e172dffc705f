#include "image/services.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "image/color_convert.h"
#include "platform/messages.h"
#include "platform/region.h"

namespace {

TEST(ColorConvertTest, SimpleFormulasAndTheirRoundTrip) {
  uint8_t cmyk[4];
  GL_RGBToCMYK(255, 0, 0, cmyk);
  EXPECT_EQ(std::vector<uint8_t>(cmyk, cmyk + 4), (std::vector<uint8_t>{0, 255, 255, 0}));
  const uint8_t sample[4] = {200, 0, 0, 100};
  uint8_t r, g, b;
  GL_CMYKToRGB(sample, r, g, b);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(g, 155);
  EXPECT_EQ(b, 155);
  // Without black, CMYK to RGB undoes RGB to CMYK for every colour.
  for (int red = 0; red < 256; red += 5)
    for (int green = 0; green < 256; green += 17)
      for (int blue = 0; blue < 256; blue += 3) {
        GL_RGBToCMYK(static_cast<uint8_t>(red), static_cast<uint8_t>(green), static_cast<uint8_t>(blue), cmyk);
        GL_CMYKToRGB(cmyk, r, g, b);
        ASSERT_EQ(r, red);
        ASSERT_EQ(g, green);
        ASSERT_EQ(b, blue);
      }
}

class ConstantTransform final : public CColorTransform {
 public:
  void RGBToCMYK(const uint8_t*, uint8_t* cmyk, int count) const override {
    for (int i = 0; i < 4 * count; ++i) cmyk[i] = 42;
  }
  void CMYKToRGB(const uint8_t*, uint8_t* bgr, int count) const override {
    for (int i = 0; i < 3 * count; ++i) bgr[i] = 24;
  }
};

TEST(ColorConvertTest, AnInstalledTransformTakesOverEveryConversion) {
  const auto old = GL_SetColorTransform(std::make_shared<ConstantTransform>());
  uint8_t cmyk[4];
  GL_RGBToCMYK(1, 2, 3, cmyk);
  EXPECT_EQ(cmyk[3], 42);
  CDIBitmap image;
  ASSERT_EQ(GL_CreateCMYKBitmap(image, 1, 1), 1);
  EXPECT_EQ(image.GetPixelColor(0, 0), 0x181818u);
  GL_SetColorTransform(old);
  EXPECT_EQ(image.GetPixelColor(0, 0), 0xFFFFFFu);
}

// Transforms replaced while another thread converts rows: each row comes
// out whole from one of them, and none is freed under the converting thread
// (the sanitizer build would see it).
TEST(ColorConvertTest, ReplacingTheTransformWhileConvertingIsSafe) {
  std::atomic<bool> stop{false};
  int torn = 0;
  std::thread converter([&] {
    const std::vector<uint8_t> bgr(3 * 64, 7);
    std::vector<uint8_t> cmyk(4 * 64);
    const std::vector<uint8_t> simple = {248, 248, 248, 0}, constant = {42, 42, 42, 42};
    while (!stop.load()) {
      GL_RGBRowToCMYK(bgr.data(), cmyk.data(), 64);
      const std::vector<uint8_t>& want = cmyk[3] == 0 ? simple : constant;
      for (size_t i = 0; i < cmyk.size(); ++i) torn += cmyk[i] != want[i % 4];
    }
  });
  for (int i = 0; i < 2000; ++i) GL_SetColorTransform(i % 2 ? nullptr : std::make_shared<ConstantTransform>());
  stop = true;
  converter.join();
  EXPECT_EQ(torn, 0);
  GL_SetColorTransform(nullptr);
}

TEST(ColorConvertTest, RectangleConversionsClipAndRefuseWrongKinds) {
  CDIBitmap cmyk, rgb;
  ASSERT_EQ(GL_CreateCMYKBitmap(cmyk, 5, 4), 1);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) cmyk.SetPixel(y, x, static_cast<uint32_t>((10 * y + x) << 24 | 5));
  ASSERT_EQ(GL_CreateRGBBitmap(rgb, 3, 3), 1);
  ASSERT_EQ(GL_CMYKToRGBRect(rgb, cmyk, 3, 2, 3, 3), 1);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) {
      const int sx = 3 + x, sy = 2 + y;
      const uint32_t want = (sx < 5 && sy < 4) ? (0xFAFA00u | static_cast<uint32_t>(std::max(0, 250 - (10 * sy + sx))))
                                               : 0u;
      EXPECT_EQ(rgb.GetPixelColor(y, x), want) << x << "," << y;
    }
  CDIBitmap back;
  ASSERT_EQ(GL_CreateCMYKBitmap(back, 3, 3), 1);
  ASSERT_EQ(GL_RGBToCMYKRect(back, rgb, 0, 0, 3, 3), 1);
  EXPECT_EQ(back.GetPixel(0, 0), (255u - rgb.GetPixelColor(0, 0) % 256) << 24 | 0x050500u);

  platform::RecordingMessageSink messages;
  EXPECT_EQ(GL_CMYKToRGBRect(cmyk, rgb, 0, 0, 1, 1), 0);
  EXPECT_EQ(GL_RGBToCMYKRect(rgb, rgb, 0, 0, 1, 1), 0);
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"GL_CMYKToRGBRect ::pdbmDest Should be a 24bit image",
                                                        "GL_RGBToCMYKRect ::pdbmDest Should be a 32bit image"}));
}

TEST(ServicesTest, CreationServicesMakeTheirKinds) {
  CDIBitmap image;
  ASSERT_EQ(GL_CreateRGBBitmap(image, 3, 2), 1);
  EXPECT_EQ(image.GetColorType(), CT_RGB);
  ASSERT_EQ(GL_CreateGrayBitmap(image, 3, 2), 1);
  EXPECT_EQ(image.GetColorType(), CT_GRAY);
  ASSERT_EQ(GL_CreateCMYKBitmap(image, 3, 2), 1);
  EXPECT_EQ(image.GetColorType(), CT_CMYK);
  std::vector<uint8_t> table(1024);
  for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(GL_CreateIndexedBitmap(image, 3, 2, 8, table.data()), 1);
  EXPECT_EQ(image.GetColorType(), CT_PALETTE);
  std::vector<uint8_t> out(1024);
  image.GetColorTable(out.data(), 256);
  EXPECT_EQ(out, table);
  ASSERT_EQ(GL_CreateIndexedBitmap(image, 3, 2, 1, table.data()), 1);
  image.GetColorTable(out.data(), 2);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 8, table.begin()));
  CDIBitmap compatible;
  ASSERT_EQ(GL_CreateCompatibleBitmap(compatible, image, 9, 9), 1);
  EXPECT_EQ(compatible.GetBitCount(), 1);
  compatible.GetColorTable(out.data(), 2);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 8, table.begin()));
  EXPECT_EQ(GL_CreateGrayPalette(), platform::Palette::GrayRamp());
}

TEST(ServicesTest, FillBitmapWritesEachKindThroughTheMask) {
  const platform::Region left = platform::Region::FromRect(0, 0, 3, 4);
  struct Case {
    int bits, options;
    uint32_t color, expectInside;
  };
  const Case cases[] = {
      {1, 0, 0xF0F0F0, 1},             // nearer to white (entry 1)
      {1, 0, 0x101010, 0},             // nearer to black
      {8, 1, 0x646464, 100},           // gray ramp: exact level
      {24, 0, 0x00332211, 0x332211},   // raw 24-bit value equals the colour
      {32, 3, 0x00000000, 0xFFFFFF00}, // black: full C, M, Y, no K
  };
  for (const Case& c : cases) {
    CDIBitmap image;
    ASSERT_EQ(image.Create(6, 4, c.bits, c.options), 1);
    image.SetMaskRgn(&left);
    ASSERT_EQ(GL_FillBitmap(image, c.color), 1);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) EXPECT_EQ(image.GetPixel(y, x), x < 3 ? c.expectInside : 0u) << c.bits;
  }
}

TEST(ServicesTest, FillBitmapIndexTakesOnlyIndexedKinds) {
  CDIBitmap image;
  ASSERT_EQ(image.Create(10, 2, 1, 0), 1);
  ASSERT_EQ(GL_FillBitmapIndex(image, 5), 1);
  EXPECT_EQ(image.GetPixel(1, 9), 1u);
  ASSERT_EQ(image.Create(10, 2, 8, 2), 1);
  ASSERT_EQ(GL_FillBitmapIndex(image, 200), 1);
  EXPECT_EQ(image.GetPixel(0, 3), 200u);
  platform::RecordingMessageSink messages;
  ASSERT_EQ(image.Create(10, 2, 24, 0), 1);
  EXPECT_EQ(GL_FillBitmapIndex(image, 1), 0);
  EXPECT_EQ(messages.Texts(), std::vector<std::string>{"GL_FillBitmapIndex :: pdbmDest Should be a  8bit or 1 image"});
  EXPECT_EQ(image.GetPixel(0, 0), 0u);
}

TEST(ServicesTest, CropKeepsTheObjectAndItsResolution) {
  CDIBitmap image;
  ASSERT_EQ(image.Create(8, 6, 24, 0), 1);
  image.SetResolution(300, 150);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) image.SetPixel(y, x, static_cast<uint32_t>(y * 8 + x));
  ASSERT_EQ(GL_CropBitmap(image, 2, 1, 4, 3), 1);
  EXPECT_EQ(image.GetWidth(), 4);
  EXPECT_EQ(image.GetHeight(), 3);
  EXPECT_EQ(image.GetXResolution(), 300);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(image.GetPixel(y, x), static_cast<uint32_t>((y + 1) * 8 + x + 2));
  const uint8_t* pixels = image.GetPixels();
  ASSERT_EQ(GL_CropBitmap(image, 0, 0, 4, 3), 1);
  EXPECT_EQ(image.GetPixels(), pixels) << "cropping to the whole bitmap changes nothing";
}

TEST(ServicesTest, DrawBitmapShowsCMYKAsItsRGBConversion) {
  CDIBitmap cmyk;
  ASSERT_EQ(GL_CreateCMYKBitmap(cmyk, 2, 2), 1);
  cmyk.SetPixel(1, 1, 0xC8000064);
  Raster target;
  target.Allocate(2, 2, 24);
  ASSERT_EQ(GL_DrawBitmap(target, cmyk, nullptr, nullptr), 1);
  EXPECT_EQ(target.Row(1)[3], 155);  // blue
  EXPECT_EQ(target.Row(1)[4], 155);  // green
  EXPECT_EQ(target.Row(1)[5], 0);    // red
  EXPECT_EQ(target.Row(0)[0], 255);
}

}  // namespace
