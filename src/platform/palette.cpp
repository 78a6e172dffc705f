#include "platform/palette.h"

namespace platform {

Palette Palette::FromColorTable(std::span<const uint8_t> bgrx, int count) {
  std::vector<PaletteEntry> entries;
  if (count > 0 && bgrx.size() >= static_cast<size_t>(count) * 4) {
    entries.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      const uint8_t* e = bgrx.data() + static_cast<size_t>(i) * 4;
      entries.push_back({e[2], e[1], e[0], 0});
    }
  }
  return Palette(std::move(entries));
}

Palette Palette::GrayRamp() {
  std::vector<PaletteEntry> entries(256);
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<uint8_t>(i);
    entries[static_cast<size_t>(i)] = {v, v, v, 0};
  }
  return Palette(std::move(entries));
}

int Palette::NearestIndex(uint32_t color) const {
  const int red = static_cast<int>(color & 0xFF);
  const int green = static_cast<int>((color >> 8) & 0xFF);
  const int blue = static_cast<int>((color >> 16) & 0xFF);
  int best = 0;
  int bestDistance = 0x7FFFFFFF;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const int dr = entries_[i].red - red;
    const int dg = entries_[i].green - green;
    const int db = entries_[i].blue - blue;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = static_cast<int>(i);
      if (distance == 0) break;
    }
  }
  return best;
}

}  // namespace platform
