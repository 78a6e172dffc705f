// Palette: nearest-index search against a direct search written here.
#include "platform/palette.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace platform {
namespace {

uint32_t Color(int red, int green, int blue) {
  return static_cast<uint32_t>(red) | static_cast<uint32_t>(green) << 8 | static_cast<uint32_t>(blue) << 16;
}

// The first entry with the least sum of squared channel differences.
int FirstNearest(const std::vector<PaletteEntry>& entries, int red, int green, int blue) {
  int best = 0;
  long bestDistance = -1;
  for (size_t i = 0; i < entries.size(); ++i) {
    const long dr = entries[i].red - red, dg = entries[i].green - green, db = entries[i].blue - blue;
    const long d = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || d < bestDistance) {
      bestDistance = d;
      best = static_cast<int>(i);
    }
  }
  return best;
}

TEST(PaletteTest, NearestIndexIsTheFirstOfTheClosest) {
  // Channels in steps of 60 and colours in steps of 30 make many ties and
  // duplicate entries; every fifth entry repeats an earlier one.
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> coarse(0, 4), channel(0, 255);
  for (int size : {1, 2, 16, 256}) {
    std::vector<PaletteEntry> entries;
    for (int i = 0; i < size; ++i) {
      entries.push_back(i > 2 && i % 5 == 0 ? entries[static_cast<size_t>(i / 2)]
                                            : PaletteEntry{uint8_t(coarse(rng) * 60), uint8_t(coarse(rng) * 60),
                                                           uint8_t(coarse(rng) * 60), 0});
    }
    const Palette palette(entries);
    for (int n = 0; n < 500; ++n) {
      const bool tieProne = n % 2 == 0;
      const int r = tieProne ? coarse(rng) * 30 : channel(rng);
      const int g = tieProne ? coarse(rng) * 30 : channel(rng);
      const int b = tieProne ? coarse(rng) * 30 : channel(rng);
      ASSERT_EQ(palette.NearestIndex(Color(r, g, b)), FirstNearest(entries, r, g, b)) << r << "," << g << "," << b;
    }
  }
  // Equal distances in either order go to index 0.
  EXPECT_EQ(Palette({{0, 0, 0, 0}, {10, 0, 0, 0}}).NearestIndex(Color(5, 0, 0)), 0);
  EXPECT_EQ(Palette({{10, 0, 0, 0}, {0, 0, 0, 0}}).NearestIndex(Color(5, 0, 0)), 0);
  EXPECT_EQ(Palette().NearestIndex(0x123456u), 0);
}

TEST(PaletteTest, ChannelOrder) {
  // Colour values hold red in the low byte; colour tables are blue, green, red.
  const Palette rgb({{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}});
  EXPECT_EQ(rgb.NearestIndex(0x0000FFu), 0);
  EXPECT_EQ(rgb.NearestIndex(0xFF0000u), 2);
  const std::vector<uint8_t> table = {1, 2, 3, 0, 40, 50, 60, 9};
  const Palette palette = Palette::FromColorTable(table, 2);
  ASSERT_EQ(palette.Size(), 2);
  EXPECT_EQ(palette.Entries()[1], (PaletteEntry{60, 50, 40, 0}));
}

TEST(PaletteTest, GrayRampNearestIsTheRoundedMean) {
  // Over (v, v, v) the squared distance is least at the mean of the three
  // channels; a mean never falls half-way, so the nearest is (sum + 1) / 3.
  const Palette ramp = Palette::GrayRamp();
  for (int r = 0; r < 256; r += 15)
    for (int g = 0; g < 256; g += 17)
      for (int b = 0; b < 256; b += 5) ASSERT_EQ(ramp.NearestIndex(Color(r, g, b)), (r + g + b + 1) / 3);
}

}  // namespace
}  // namespace platform
