// DIB information headers: fields read at their offsets, and nothing read
// beyond the bytes given.
#include "image/dib_header.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& b, size_t at, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) b[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A 40-byte information header of a top-down 1000 x 300 bit-field image
// with every field set, followed by the three masks.
Bytes InfoHeaderWithMasks() {
  Bytes b(52);
  Put(b, 0, 40, 4);
  Put(b, 4, 1000, 4);
  Put(b, 8, static_cast<uint32_t>(-300), 4);
  Put(b, 12, 1, 2);
  Put(b, 14, 16, 2);
  Put(b, 16, kBiBitFields, 4);
  Put(b, 20, 600000, 4);
  Put(b, 24, 2835, 4);
  Put(b, 28, static_cast<uint32_t>(-1), 4);
  Put(b, 32, 7, 4);
  Put(b, 40, 0xF800, 4);
  Put(b, 44, 0x07E0, 4);
  Put(b, 48, 0x001F, 4);
  return b;
}

TEST(ReadDIBInfoHeader, ReadsTheFieldsTheBytesHold) {
  Bytes core(12);
  Put(core, 0, 12, 4);
  Put(core, 4, 0xFFFF, 2);  // unsigned in the core form
  Put(core, 6, 0x8001, 2);
  Put(core, 8, 1, 2);
  Put(core, 10, 24, 2);
  core.resize(60, 0xFF);  // a table and pixels follow; none of it is header
  const Bytes info = InfoHeaderWithMasks();
  struct Case {
    const char* name;
    Bytes bytes;
    DIBInfoHeader want;
  };
  const Case cases[] = {
      {"core header", core, {12, 0xFFFF, 0x8001, 1, 24, kBiRgb, 0, 0, 0, 0, {}}},
      {"information header and masks", info,
       {40, 1000, -300, 1, 16, kBiBitFields, 600000, 2835, -1, 7, {0xF800, 0x07E0, 0x001F}}},
      {"information header without the masks", Bytes(info.begin(), info.begin() + 40),
       {40, 1000, -300, 1, 16, kBiBitFields, 600000, 2835, -1, 7, {}}},
      {"cut after the bit count", Bytes(info.begin(), info.begin() + 17), {40, 1000, -300, 1, 16, kBiRgb, 0, 0, 0, 0, {}}},
      {"cut inside the height", Bytes(info.begin(), info.begin() + 11), {40, 1000, 0, 0, 0, kBiRgb, 0, 0, 0, 0, {}}},
      {"no size field", Bytes(info.begin(), info.begin() + 3), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DIBInfoHeader h = ReadDIBInfoHeader(c.bytes);
    EXPECT_EQ(h.size, c.want.size);
    EXPECT_EQ(h.width, c.want.width);
    EXPECT_EQ(h.height, c.want.height);
    EXPECT_EQ(h.planes, c.want.planes);
    EXPECT_EQ(h.bitCount, c.want.bitCount);
    EXPECT_EQ(h.compression, c.want.compression);
    EXPECT_EQ(h.imageSize, c.want.imageSize);
    EXPECT_EQ(h.xPelsPerMeter, c.want.xPelsPerMeter);
    EXPECT_EQ(h.yPelsPerMeter, c.want.yPelsPerMeter);
    EXPECT_EQ(h.colorsUsed, c.want.colorsUsed);
    EXPECT_EQ(h.masks, c.want.masks);
  }
}

}  // namespace
