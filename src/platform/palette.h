// A display palette and its nearest-colour search.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace platform {

// One palette entry in the platform's order: red, green, blue, flags.
struct PaletteEntry {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t flags = 0;
  bool operator==(const PaletteEntry&) const = default;
};

class Palette {
 public:
  Palette() = default;
  explicit Palette(std::vector<PaletteEntry> entries) : entries_(std::move(entries)) {}

  // A palette from colour-table entries stored blue, green, red, reserved.
  static Palette FromColorTable(std::span<const uint8_t> bgrx, int count);
  // The 256-entry gray ramp: entry i is (i, i, i).
  static Palette GrayRamp();

  const std::vector<PaletteEntry>& Entries() const { return entries_; }
  int Size() const { return static_cast<int>(entries_.size()); }
  bool Empty() const { return entries_.empty(); }

  // Index of the entry nearest to `color` (0x00BBGGRR): least sum of squared
  // differences of red, green and blue, the lowest index on ties. 0 when the
  // palette is empty.
  int NearestIndex(uint32_t color) const;

  bool operator==(const Palette&) const = default;

 private:
  std::vector<PaletteEntry> entries_;
};

}  // namespace platform
