// Sample images for the document tests, made and decoded by ImageMagick.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/dibitmap.h"
#include "test_support.h"

namespace doc_test {

// Runs ImageMagick "convert ARGUMENTS OUTPUT" (the output may carry a
// format prefix such as "BMP3:"); true on success.
inline bool MakeWithImageMagick(const std::string& arguments, const std::string& output) {
  const auto result = testing_support::RunCommand(std::string(testing_support::kImageMagick) + " " + arguments +
                                                  " " + testing_support::ShellQuote(output));
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return result.exitCode == 0;
}

// The pixels of an image file as ImageMagick decodes them: top-down rows of
// red, green, blue bytes.
inline std::vector<uint8_t> DecodeRGB(const std::string& path) {
  testing_support::TempDir scratch;
  const std::string raw = scratch.File("pixels.rgb");
  const auto result = testing_support::RunCommand(std::string(testing_support::kImageMagick) + " " +
                                                  testing_support::ShellQuote(path) + " -depth 8 " +
                                                  testing_support::ShellQuote("rgb:" + raw));
  EXPECT_EQ(result.exitCode, 0) << result.err;
  if (result.exitCode != 0) return {};
  return testing_support::ReadBytes(raw);
}

// The pixels of a bitmap as top-down red, green, blue bytes, through its
// colour table for 8 bits or fewer.
inline std::vector<uint8_t> BitmapRGB(const CDIBitmap& image) {
  std::vector<uint8_t> out;
  for (int y = 0; y < image.GetHeight(); ++y)
    for (int x = 0; x < image.GetWidth(); ++x) {
      const uint32_t color = image.GetPixelColor(y, x);
      out.push_back(static_cast<uint8_t>(color));
      out.push_back(static_cast<uint8_t>(color >> 8));
      out.push_back(static_cast<uint8_t>(color >> 16));
    }
  return out;
}

}  // namespace doc_test
