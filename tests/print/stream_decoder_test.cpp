// The stream checker itself: it must reject what a printer would not accept,
// or the round-trip tests of the streams would prove little.
#include <gtest/gtest.h>

#include "stream_decoder.h"

namespace {

using streamtest::Bytes;
using streamtest::Text;

TEST(StreamDecoder, EpsonRejectsMalformedStreams) {
  const Bytes graphics = {0x1B, '(', 'G', 1, 0, 1};
  struct Case {
    const char* name;
    Bytes stream;
    const char* error;  // a part of the expected message
  };
  auto withGraphics = [&](Bytes tail) {
    Bytes all = graphics;
    all.insert(all.end(), tail.begin(), tail.end());
    return all;
  };
  const Case cases[] = {
      {"unknown escape", {0x1B, 'Z'}, "unknown command"},
      {"stray byte", {0x41}, "unexpected byte"},
      {"truncated ESC ( C", {0x1B, '(', 'C', 2, 0, 5}, "truncated"},
      {"wrong length", {0x1B, '(', 'V', 3, 0, 1, 2, 3}, "length"},
      {"raster before graphics", {0x1B, '.', 1, 10, 10, 1, 8, 0, 0, 0}, "before ESC ( G"},
      {"raster runs past the row", withGraphics({0x1B, '.', 1, 10, 10, 1, 8, 0, 0xFE, 0}), "runs past"},
      {"raster truncated", withGraphics({0x1B, '.', 1, 10, 10, 1, 16, 0, 0}), "truncated"},
      {"density unlike the unit", withGraphics({0x1B, '.', 1, 5, 5, 1, 8, 0, 0, 0}), "differs"},
      {"above the top", {0x1B, '(', 'v', 2, 0, 0xFF, 0xFF}, "above"},
  };
  for (const Case& c : cases) {
    const auto decoded = streamcheck::DecodeEpson(c.stream.data(), c.stream.size());
    EXPECT_FALSE(decoded.ok) << c.name;
    EXPECT_NE(decoded.error.find(c.error), std::string::npos) << c.name << ": " << decoded.error;
  }
  // A well-formed line: 16 dots, two literal bytes 0x81 and 0xFF.
  const Bytes good = withGraphics({0x1B, 'r', 2, 0x1B, '.', 1, 10, 10, 1, 16, 0, 0, 0x81, 0, 0xFF, 0x0D});
  const auto decoded = streamcheck::DecodeEpson(good.data(), good.size());
  ASSERT_TRUE(decoded.ok) << decoded.error;
  const auto& cyan = decoded.colors.at(2);
  EXPECT_EQ(cyan.Count(), 2 + 8);
  EXPECT_TRUE(cyan.Get(0, 0) && cyan.Get(0, 7) && cyan.Get(0, 8) && cyan.Get(0, 15));
}

TEST(StreamDecoder, RtlRejectsMalformedStreams) {
  const std::string E = "\x1b";
  const std::string setup = E + "*v6W" + std::string("\0\0\4\x08\x08\x08", 6) + E + "*r16S" + E + "*r1T" + E + "*r0A";
  struct Case {
    const char* name;
    std::string stream;
    const char* error;
  };
  const Case cases[] = {
      {"unknown HP-GL/2", E + "%0BXX;", "unknown HP-GL/2"},
      {"unknown escape", E + "*z5Q", "unknown escape"},
      {"data outside raster", E + "*b2m0W", "outside raster"},
      {"row ends early", setup + E + "*b2m0W", "ends the row"},
      {"too many rows", setup + E + "*b0m0V" + E + "*b0V" + E + "*b0V" + E + "*b0W" + E + "*b0V", "more rows"},
      {"row too long", setup + E + "*b0m3V" + "abc", "longer than"},
      {"truncated data", setup + E + "*b2m5V" + "ab", "truncated"},
      {"unterminated raster", setup, "inside raster"},
      {"bad PackBits", setup + E + "*b2m2V" + "\x05" + "a", "PackBits"},
  };
  for (const Case& c : cases) {
    const Bytes bytes = Text(c.stream);
    const auto decoded = streamcheck::DecodeRtl(bytes.data(), bytes.size());
    EXPECT_FALSE(decoded.ok) << c.name;
    EXPECT_NE(decoded.error.find(c.error), std::string::npos) << c.name << ": " << decoded.error;
  }
  // One row: plane 0 = 0xF0 0x0F, black = two bytes of ones (run of 2).
  const std::string good = setup + E + "*b2m3V" + std::string("\x01\xF0\x0F", 3) + E + "*b2m0V" + E + "*b2m0V" +
                           E + "*b2m2W" + std::string("\xFF\xFF", 2) + E + "*rC";
  const Bytes bytes = Text(good);
  const auto decoded = streamcheck::DecodeRtl(bytes.data(), bytes.size());
  ASSERT_TRUE(decoded.ok) << decoded.error;
  EXPECT_EQ(decoded.planes[0].Count(), 8);
  EXPECT_TRUE(decoded.planes[0].Get(0, 0) && decoded.planes[0].Get(0, 15) && !decoded.planes[0].Get(0, 4));
  EXPECT_EQ(decoded.planes[3].Count(), 16);
}

}  // namespace
