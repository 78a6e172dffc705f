#include "image/dibitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "image/color_convert.h"
#include "platform/messages.h"
#include "platform/palette.h"
#include "platform/region.h"

namespace {

// A small picture with a distinct value in every byte, written through the
// raw pixel block so the row functions under test are not involved.
void FillPattern(CDIBitmap& image, uint32_t seed) {
  std::mt19937 random(seed);
  for (int y = 0; y < image.GetHeight(); ++y) {
    uint8_t* row = image.RowPointer(y);
    for (int i = 0; i < image.GetRowBytes(); ++i) row[i] = static_cast<uint8_t>(random());
  }
}

// Pixel x of a packed row as an integer, independent of CDIBitmap.
uint32_t PackedPixel(const uint8_t* row, int bits, int x) {
  if (bits == 1) return (row[x / 8] >> (7 - x % 8)) & 1;
  uint32_t v = 0;
  for (int b = 0; b < bits / 8; ++b) v = (v << 8) | row[x * (bits / 8) + b];
  return v;
}

TEST(CDIBitmapTest, StrideAndKindsFollowTheCreationTable) {
  struct Case {
    int requestBits, options, bits;
    uint32_t colorType, kindFlags;
    const char* name;
  };
  const Case cases[] = {
      {1, 0, 1, CT_PALETTE, 0, "INDEX"},      {1, 1, 1, CT_PALETTE, 0, "INDEX"},
      {4, 0, 8, CT_PALETTE, 0, "INDEX"},      {8, 2, 8, CT_PALETTE, 0, "INDEX"},
      {8, 1, 8, CT_GRAY, BF_GRAY, "GRAY"},    {16, 0, 24, CT_RGB, 0, "RGB"},
      {24, 3, 24, CT_RGB, 0, "RGB"},          {32, 0, 32, CT_RGB32, 0, "CMYK"},
      {32, 1, 32, CT_CMYK, BF_CMYK, "CMYK"},  {32, 2, 32, CT_CMYK, BF_CMYK, "CMYK"},
  };
  for (const Case& c : cases) {
    for (int width : {1, 3, 7, 8, 9, 33}) {
      CDIBitmap image;
      ASSERT_EQ(image.Create(width, 5, c.requestBits, c.options), 1);
      EXPECT_EQ(image.GetBitCount(), c.bits);
      EXPECT_EQ(image.GetColorType(), c.colorType);
      EXPECT_EQ(image.GetFlags() & (BF_GRAY | BF_CMYK), c.kindFlags);
      EXPECT_STREQ(image.GetKindName(), c.name);
      // Rows are rounded up to whole bytes and then to a multiple of 4.
      const int bytes = (c.bits * width + 7) / 8;
      EXPECT_EQ(image.GetStride(), (bytes + 3) / 4 * 4) << width << "x" << c.bits;
      EXPECT_EQ(image.GetPaletteSize(), c.bits == 1 ? 2 : c.bits == 8 ? 256 : 0);
    }
  }
  CDIBitmap unusual;
  EXPECT_EQ(unusual.Create(4, 4, 7, 0), 1);
  EXPECT_EQ(unusual.Create(4, 4, 33, 0), 1) << "an unknown bit count keeps the previous kind";
  EXPECT_EQ(unusual.GetBitCount(), 8);
  CDIBitmap none;
  EXPECT_EQ(none.Create(0, 4, 24, 0), 0);
  EXPECT_EQ(none.Create(4, -1, 24, 0), 0);
  EXPECT_EQ(none.Create(4, 4, 12345, 0), 0) << "no previous kind to keep";
}

TEST(CDIBitmapTest, CreateWritesHeaderTablesAndZeroPixels) {
  CDIBitmap gray;
  ASSERT_EQ(gray.Create(5, 3, 8, 1), 1);
  EXPECT_EQ(gray.GetGrayRampType(), 1);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(gray.GetPixel(y, x), 0u);
  const uint8_t* h = gray.GetInfoHeader();
  auto le32 = [](const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; };
  EXPECT_EQ(le32(h), 40u);
  EXPECT_EQ(le32(h + 4), 5u);
  EXPECT_EQ(le32(h + 8), 3u);
  EXPECT_EQ(h[12] | h[13] << 8, 1);
  EXPECT_EQ(h[14] | h[15] << 8, 8);

  CDIBitmap mono;
  ASSERT_EQ(mono.Create(9, 2, 1, 0), 1);
  const uint8_t* t = mono.GetColorTablePointer();
  EXPECT_EQ(std::vector<uint8_t>(t, t + 8), (std::vector<uint8_t>{0, 0, 0, 0, 255, 255, 255, 0}));

  // A reversed ramp is type 2; any other table 0.
  std::vector<uint8_t> table(256 * 4, 0);
  for (int i = 0; i < 256; ++i) table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = static_cast<uint8_t>(255 - i);
  gray.SetColorTable(table.data(), 256);
  EXPECT_EQ(gray.GetGrayRampType(), 2);
  table[4 * 7] ^= 1;
  gray.SetColorTable(table.data(), 256);
  EXPECT_EQ(gray.GetGrayRampType(), 0);
}

TEST(CDIBitmapTest, RawAndColourPixelValues) {
  CDIBitmap rgb;
  ASSERT_EQ(rgb.Create(4, 3, 24, 0), 1);
  uint8_t* p = rgb.RowPointer(1) + 2 * 3;
  p[0] = 0x10;  // blue
  p[1] = 0x20;  // green
  p[2] = 0x30;  // red
  EXPECT_EQ(rgb.GetPixel(1, 2), 0x102030u);
  EXPECT_EQ(rgb.GetPixelColor(1, 2), 0x102030u);
  // Rows are stored bottom-up.
  EXPECT_EQ(rgb.RowPointer(1), rgb.GetPixels() + (3 - 1 - 1) * rgb.GetStride());
  rgb.SetPixelColor(0, 0, 0x00C0B0A0);
  EXPECT_EQ(rgb.RowPointer(0)[0], 0xC0);
  EXPECT_EQ(rgb.RowPointer(0)[2], 0xA0);
  EXPECT_EQ(rgb.GetPixel(-1, 0), 0u);
  EXPECT_EQ(rgb.GetPixel(0, 4), 0u);
  rgb.SetPixel(3, 0, 0xFFFFFF);  // outside: nothing happens
  rgb.SetPixel(0, -1, 0xFFFFFF);

  CDIBitmap cmyk;
  ASSERT_EQ(cmyk.Create(2, 1, 32, 3), 1);
  cmyk.SetPixel(0, 1, 0xC8000064);  // C 200, M 0, Y 0, K 100
  EXPECT_EQ(cmyk.GetPixel(0, 1), 0xC8000064u);
  // The colour of a CMYK pixel is its RGB conversion: red max(0, 255 - 200 - 100) = 0,
  // green and blue 255 - 0 - 100 = 155.
  EXPECT_EQ(cmyk.GetPixelColor(0, 1), (155u << 16) | (155u << 8) | 0u);
  cmyk.SetPixelColor(0, 0, 0xFFFFFF);
  EXPECT_EQ(cmyk.GetPixel(0, 0), 0u) << "SetPixelColor stores nothing in a 32-bit bitmap";

  CDIBitmap mono;
  ASSERT_EQ(mono.Create(10, 2, 1, 0), 1);
  mono.SetPixel(1, 9, 1);
  EXPECT_EQ(mono.RowPointer(1)[1], 0x40);
  EXPECT_EQ(mono.GetPixelColor(1, 9), 0xFFFFFFu);
  EXPECT_EQ(*mono.GetPixelAddress(1, 9), 0x40);
}

TEST(CDIBitmapTest, SetPixelColorTakesTheNearestEntryLowestOnTies) {
  CDIBitmap pal;
  ASSERT_EQ(pal.Create(2, 2, 8, 2), 1);
  std::vector<uint8_t> table(256 * 4, 0);
  auto set = [&](int i, uint8_t r, uint8_t g, uint8_t b) {
    table[4 * i] = b;
    table[4 * i + 1] = g;
    table[4 * i + 2] = r;
  };
  for (int i = 0; i < 256; ++i) set(i, 255, 255, 255);
  set(3, 100, 0, 0);
  set(5, 120, 0, 0);
  set(9, 100, 0, 0);
  pal.SetColorTable(table.data(), 256);
  pal.SetPixelColor(0, 0, 110);  // red 110: entries 3 and 5 both 100 away, 3 wins
  EXPECT_EQ(pal.GetPixel(0, 0), 3u);
  pal.SetPixelColor(0, 1, 119);
  EXPECT_EQ(pal.GetPixel(0, 1), 5u);
  pal.SetPixelColor(1, 0, 100);  // exact match: the first of 3 and 9
  EXPECT_EQ(pal.GetPixel(1, 0), 3u);
}

// The reference for every masked write: a pixel changes exactly when its
// mask bit (the region's pixel) is set and it lies in the written span.
TEST(CDIBitmapTest, MaskedRowAndColumnWritesMatchAPerPixelModel) {
  std::mt19937 random(7);
  for (int bits : {1, 8, 24, 32}) {
    for (int trial = 0; trial < 40; ++trial) {
      const int width = 1 + static_cast<int>(random() % 70);
      const int height = 1 + static_cast<int>(random() % 6);
      CDIBitmap image;
      ASSERT_EQ(image.Create(width, height, bits, 0), 1);
      FillPattern(image, random());
      std::vector<platform::Rect> rects;
      for (int r = 0; r < 3; ++r) {
        const int l = static_cast<int>(random() % (width + 4)) - 2;
        const int t = static_cast<int>(random() % (height + 2)) - 1;
        rects.push_back({l, t, l + 1 + static_cast<int>(random() % width), t + 1 + static_cast<int>(random() % height)});
      }
      const platform::Region region = platform::Region::FromRects(rects);
      const bool useMask = trial % 4 != 0;
      if (useMask) image.SetMaskRgn(&region);
      if (trial % 8 == 1) image.SetMaskEnabled(0);
      const bool masked = useMask && trial % 8 != 1;

      std::vector<std::vector<uint32_t>> expected(height, std::vector<uint32_t>(width));
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) expected[y][x] = image.GetPixel(y, x);

      const int y = static_cast<int>(random() % height);
      const int x = static_cast<int>(random() % (width + 8)) - 4;
      const int count = 1 + static_cast<int>(random() % (width + 8));
      std::vector<uint8_t> buffer(static_cast<size_t>((count * bits + 7) / 8 + 8));
      for (uint8_t& b : buffer) b = static_cast<uint8_t>(random());
      for (int i = 0; i < count; ++i) {
        const int px = x + i;
        if (px < 0 || px >= width) continue;
        if (masked && !region.Contains(px, y)) continue;
        expected[y][px] = PackedPixel(buffer.data(), bits, i);
      }
      ASSERT_EQ(image.PutRowPart(buffer.data(), y, x, count), 1);

      // A whole row written to the next row, and a column.
      const int y2 = (y + 1) % height;
      std::vector<uint8_t> row(static_cast<size_t>(image.GetStride()));
      for (uint8_t& b : row) b = static_cast<uint8_t>(random());
      for (int px = 0; px < width; ++px)
        if (!masked || region.Contains(px, y2)) expected[y2][px] = PackedPixel(row.data(), bits, px);
      ASSERT_EQ(image.PutRow(row.data(), y2), 1);

      const int cx = static_cast<int>(random() % width);
      std::vector<uint8_t> column(static_cast<size_t>((height * bits + 7) / 8 + 4));
      for (uint8_t& b : column) b = static_cast<uint8_t>(random());
      for (int py = 0; py < height; ++py)
        if (!masked || region.Contains(cx, py)) expected[py][cx] = PackedPixel(column.data(), bits, py);
      ASSERT_EQ(image.PutColumn(column.data(), cx), 1);

      for (int py = 0; py < height; ++py)
        for (int px = 0; px < width; ++px)
          ASSERT_EQ(image.GetPixel(py, px), expected[py][px])
              << bits << " bits, " << width << "x" << height << " trial " << trial << " at " << px << "," << py;
    }
  }
}

TEST(CDIBitmapTest, RowReadsAgreeWithPixelReads) {
  std::mt19937 random(11);
  for (int bits : {1, 8, 24, 32}) {
    CDIBitmap image;
    ASSERT_EQ(image.Create(37, 4, bits, 0), 1);
    FillPattern(image, random());
    std::vector<uint8_t> buffer(256);
    for (int y = 0; y < 4; ++y) {
      ASSERT_EQ(image.GetRowReversed(buffer.data(), y), 1);
      for (int x = 0; x < 37; ++x) EXPECT_EQ(PackedPixel(buffer.data(), bits, x), image.GetPixel(y, 36 - x));
      // A part that starts left of the image and runs past its right edge.
      std::fill(buffer.begin(), buffer.end(), 0xAA);
      ASSERT_EQ(image.GetRowPart(buffer.data(), y, -3, 50), 1);
      for (int i = 0; i < 3; ++i) EXPECT_EQ(PackedPixel(buffer.data(), bits, i), 0u);
      for (int i = 3; i < 37 + 3; ++i) EXPECT_EQ(PackedPixel(buffer.data(), bits, i), image.GetPixel(y, i - 3));
      // Clamped: edges repeat (1 bit: outside reads 0); rows clamp too.
      ASSERT_EQ(image.GetRowPartClamped(buffer.data(), y - 10, -2, 41), 1);
      for (int i = 0; i < 41; ++i) {
        const int sx = i - 2;
        const uint32_t want = (bits == 1 && (sx < 0 || sx > 36)) ? 0 : image.GetPixel(0, std::clamp(sx, 0, 36));
        EXPECT_EQ(PackedPixel(buffer.data(), bits, i), want) << bits << " bits, i " << i;
      }
    }
    for (int x : {0, 17, 36}) {
      ASSERT_EQ(image.GetColumn(buffer.data(), x), 1);
      for (int y = 0; y < 4; ++y) EXPECT_EQ(PackedPixel(buffer.data(), bits, y), image.GetPixel(y, x));
    }
    EXPECT_EQ(image.GetRowPart(buffer.data(), 4, 0, 5), 0) << "nothing is read below the last row";
  }
}

TEST(CDIBitmapTest, RowExpansionsThroughTheColourTable) {
  CDIBitmap mono;
  ASSERT_EQ(mono.Create(11, 1, 1, 0), 1);
  const uint8_t table[8] = {10, 20, 30, 0, 40, 50, 60, 0};
  mono.SetColorTable(table, 2);
  mono.SetPixel(0, 3, 1);
  uint8_t rgb[33];
  ASSERT_EQ(mono.GetRowRGB(rgb, 0), 1);
  for (int x = 0; x < 11; ++x) {
    const uint8_t* e = table + (x == 3 ? 4 : 0);
    EXPECT_EQ(rgb[3 * x], e[0]);
    EXPECT_EQ(rgb[3 * x + 1], e[1]);
    EXPECT_EQ(rgb[3 * x + 2], e[2]);
  }
  uint8_t bytes[11];
  ASSERT_EQ(mono.GetRowBytes(bytes, 0), 1);
  for (int x = 0; x < 11; ++x) EXPECT_EQ(bytes[x], x == 3 ? 1 : 0);

  platform::RecordingMessageSink messages;
  CDIBitmap cmyk;
  ASSERT_EQ(cmyk.Create(2, 1, 32, 3), 1);
  uint8_t out[16];
  EXPECT_EQ(cmyk.GetRowRGB(out, 0), 0);
  EXPECT_EQ(cmyk.GetRowBytes(out, 0), 0);
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Invalid Bit Count", "Invalid Bit Count"}));
}

TEST(CDIBitmapTest, CopyRectClipsOrClamps) {
  for (int bits : {1, 8, 24}) {
    CDIBitmap source;
    ASSERT_EQ(source.Create(20, 6, bits, bits == 8 ? 1 : 0), 1);
    FillPattern(source, 3);
    CDIBitmap copy;
    ASSERT_EQ(copy.CopyRect(source, -5, 2, 12, 6, 0), 1);
    EXPECT_EQ(copy.GetWidth(), 12);
    EXPECT_EQ(copy.GetFlags() & BF_GRAY, source.GetFlags() & BF_GRAY);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 12; ++x) {
        const int sx = x - 5;
        const int sy = y + 2;
        const uint32_t want = (sx >= 0 && sy < 6) ? source.GetPixel(sy, sx) : 0;
        EXPECT_EQ(copy.GetPixel(y, x), want) << bits << " bits at " << x << "," << y;
      }
    ASSERT_EQ(copy.CopyRect(source, 18, -2, 5, 4, 1), 1);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 5; ++x) {
        const int sx = 18 + x;
        const uint32_t want = (bits == 1 && sx > 19) ? 0 : source.GetPixel(std::max(y - 2, 0), std::min(sx, 19));
        EXPECT_EQ(copy.GetPixel(y, x), want) << bits << " bits clamped at " << x << "," << y;
      }
    ASSERT_EQ(copy.CopyRect(source, 100, 100, 3, 3, 0), 1) << "nothing left still succeeds";
    EXPECT_EQ(copy.GetPixel(1, 1), 0u);
  }
}

TEST(CDIBitmapTest, FreeHonoursLocksAndAttachMovesStorage) {
  CDIBitmap image;
  ASSERT_EQ(image.Create(8, 8, 24, 0), 1);
  image.Lock();
  image.Lock();
  image.Free();
  image.Free();
  EXPECT_TRUE(image.IsAllocated()) << "two Frees only drop the two locks";
  image.SetPixel(0, 0, 0x123456);
  EXPECT_EQ(image.GetPixel(0, 0), 0x123456u);
  image.Free();
  EXPECT_FALSE(image.IsAllocated());
  EXPECT_EQ(image.GetPixels(), nullptr);

  CDIBitmap other;
  ASSERT_EQ(other.Create(3, 2, 8, 1), 1);
  other.SetPixel(1, 2, 77);
  const platform::Region region = platform::Region::FromRect(0, 0, 1, 1);
  image.Create(5, 5, 24, 0);
  image.SetMaskRgn(&region);
  const uint8_t* pixels = other.GetPixels();
  image.Attach(other);
  EXPECT_EQ(image.GetPixels(), pixels);
  EXPECT_EQ(image.GetWidth(), 3);
  EXPECT_TRUE(image.IsGray());
  EXPECT_FALSE(image.HasMask()) << "the mask went with the old storage";
  EXPECT_EQ(image.GetPixel(1, 2), 77u);
  EXPECT_FALSE(other.IsAllocated());
  EXPECT_EQ(other.GetPixels(), nullptr);
}

TEST(CDIBitmapTest, MaskFromRegionAreaAndMaskBitmap) {
  CDIBitmap image;
  ASSERT_EQ(image.Create(21, 9, 24, 0), 1);
  EXPECT_EQ(image.GetBitmapMaskArea(), 21 * 9);
  const platform::Rect rects[] = {{3, 1, 11, 4}, {-4, 6, 2, 20}, {19, 0, 30, 2}};
  const platform::Region region = platform::Region::FromRects(rects);
  image.SetMaskRgn(&region);
  EXPECT_TRUE(image.HasMask());
  EXPECT_EQ(image.GetBitmapMaskArea(), region.Area());
  CDIBitmap mask;
  ASSERT_EQ(image.MakeMaskBitmap(mask), 1);
  EXPECT_EQ(mask.GetBitCount(), 1);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 21; ++x) EXPECT_EQ(mask.GetPixel(y, x), region.Contains(x, y) ? 1u : 0u) << x << "," << y;
  platform::Region back;
  image.GetMaskRgn(back);
  EXPECT_TRUE(back == region);
  image.ClearMask();
  EXPECT_FALSE(image.HasMask());
  image.GetMaskRgn(back);
  EXPECT_TRUE(back == platform::Region::FromRect(0, 0, 21, 9));
  ASSERT_EQ(image.MakeMaskBitmap(mask), 1);
  EXPECT_EQ(mask.GetPixel(8, 20), 1u);
}

TEST(CDIBitmapTest, ReplicateRowCopiesThroughTheMask) {
  CDIBitmap image;
  ASSERT_EQ(image.Create(4, 6, 8, 1), 1);
  for (int x = 0; x < 4; ++x) image.SetPixel(1, x, 10 + x);
  const platform::Region right = platform::Region::FromRect(2, 0, 4, 6);
  image.SetMaskRgn(&right);
  ASSERT_EQ(image.ReplicateRow(3, 1, 10), 1);
  for (int y = 3; y < 6; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(image.GetPixel(y, x), x >= 2 ? 10u + x : 0u);
}

// Builds a packed DIB with a 40-byte header in the test, byte by byte.
std::vector<uint8_t> PackedDIB(int width, int height, int bits, uint32_t compression,
                               const std::vector<uint8_t>& table, const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> block(40, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) block[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(0, 40);
  put32(4, static_cast<uint32_t>(width));
  put32(8, static_cast<uint32_t>(height));
  block[12] = 1;
  block[14] = static_cast<uint8_t>(bits);
  put32(16, compression);
  block.insert(block.end(), table.begin(), table.end());
  block.insert(block.end(), pixels.begin(), pixels.end());
  return block;
}

// An 8-bit block whose header counts 16 table entries: the export writes the
// whole 256-entry table, so its header must say so, or a reader would take
// table entries for pixels.
TEST(CDIBitmapTest, PackedDIBExportCountsTheTableItWrites) {
  std::vector<uint8_t> table(16 * 4);
  for (int i = 0; i < 16; ++i) table[4 * i + 1] = static_cast<uint8_t>(i * 17);
  std::vector<uint8_t> block = PackedDIB(4, 1, 8, 0, table, {3, 15, 0, 9});
  block[32] = 16;  // colours used
  CDIBitmap image;
  ASSERT_EQ(image.FromPackedDIB(block.data(), block.size()), 1);
  const std::vector<uint8_t> exported = image.ToPackedDIB();
  ASSERT_EQ(exported.size(), 40u + 1024 + 4);
  const uint32_t used = exported[32] | exported[33] << 8 | exported[34] << 16 | uint32_t{exported[35]} << 24;
  EXPECT_TRUE(used == 0 || used == 256) << used;
  CDIBitmap again;
  ASSERT_EQ(again.FromPackedDIB(exported.data(), exported.size()), 1);
  const uint8_t want[4] = {3, 15, 0, 9};
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(again.GetPixel(0, x), want[x]);
    EXPECT_EQ(again.GetPixelColor(0, x), static_cast<uint32_t>(want[x] * 17) << 8);
  }
}

TEST(CDIBitmapTest, PackedDIBImportAndExport) {
  // 4-bit uncompressed, 3 x 2: widened to 8 bits, table kept.
  std::vector<uint8_t> table(16 * 4);
  for (int i = 0; i < 16; ++i) table[4 * i + 2] = static_cast<uint8_t>(i * 16);
  const std::vector<uint8_t> rows4 = {0x12, 0x30, 0, 0, /* top row: */ 0xAB, 0xC0, 0, 0};
  CDIBitmap image;
  ASSERT_EQ(image.FromPackedDIB(PackedDIB(3, 2, 4, 0, table, rows4).data(), 40 + 64 + 8), 1);
  EXPECT_EQ(image.GetBitCount(), 8);
  EXPECT_EQ(image.GetPixel(0, 0), 0xAu);
  EXPECT_EQ(image.GetPixel(0, 2), 0xCu);
  EXPECT_EQ(image.GetPixel(1, 1), 0x2u);
  EXPECT_EQ(image.GetPixelColor(0, 1), 0xB0u);

  // RLE8, 4 x 2: bottom row a run, then end of line; top row absolute 3, end of bitmap.
  const std::vector<uint8_t> rle = {4, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1};
  const std::vector<uint8_t> gray(256 * 4, 0);
  const std::vector<uint8_t> rleBlock = PackedDIB(4, 2, 8, 1, gray, rle);
  ASSERT_EQ(image.FromPackedDIB(rleBlock.data(), rleBlock.size()), 1);
  const uint32_t expect[2][4] = {{1, 2, 3, 0}, {7, 7, 7, 7}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(image.GetPixel(y, x), expect[y][x]);

  // Export: header, 256-entry table, rows; and back again.
  const std::vector<uint8_t> exported = image.ToPackedDIB();
  ASSERT_EQ(exported.size(), 40u + 1024 + 4 * 2);
  EXPECT_EQ(exported[40 + 1024], 7) << "first stored row is the bottom row";
  CDIBitmap again;
  ASSERT_EQ(again.FromPackedDIB(exported.data(), exported.size()), 1);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(again.GetPixel(y, x), expect[y][x]);

  // 16-bit 5-5-5: one pixel of pure red (0x7C00) and one of green 1/31.
  const std::vector<uint8_t> rows16 = {0x00, 0x7C, 0x20, 0x00};
  const std::vector<uint8_t> block16 = PackedDIB(2, 1, 16, 0, {}, rows16);
  ASSERT_EQ(image.FromPackedDIB(block16.data(), block16.size()), 1);
  EXPECT_EQ(image.GetBitCount(), 24);
  EXPECT_EQ(image.GetPixelColor(0, 0), 0x0000FFu);
  EXPECT_EQ(image.GetPixelColor(0, 1), static_cast<uint32_t>((255 + 15) / 31) << 8);
}

TEST(CDIBitmapTest, DamagedPackedDIBsAreRefusedWithAMessage) {
  const std::vector<uint8_t> table(1024, 0);
  const std::vector<uint8_t> good = PackedDIB(5, 3, 8, 0, table, std::vector<uint8_t>(8 * 3, 1));
  struct Case {
    const char* name;
    std::vector<uint8_t> block;
  };
  std::vector<Case> cases = {
      {"empty", {}},
      {"short header", std::vector<uint8_t>(good.begin(), good.begin() + 30)},
      {"short table", std::vector<uint8_t>(good.begin(), good.begin() + 40 + 500)},
      {"short pixels", std::vector<uint8_t>(good.begin(), good.end() - 1)},
      {"zero width", PackedDIB(0, 3, 8, 0, table, std::vector<uint8_t>(24))},
      {"huge", PackedDIB(0x7FFFFFF, 0x7FFFFFF, 24, 0, {}, {})},
      {"bad depth", PackedDIB(5, 3, 7, 0, {}, std::vector<uint8_t>(100))},
      {"bad compression", PackedDIB(5, 3, 8, 9, table, std::vector<uint8_t>(100))},
      {"planes times bits beyond int", PackedDIB(5, 3, 0, 0, {}, std::vector<uint8_t>(100))},
  };
  // 65535 planes of 65535 bits each.
  std::fill(cases.back().block.begin() + 12, cases.back().block.begin() + 16, 0xFF);
  for (Case& c : cases) {
    platform::RecordingMessageSink messages;
    CDIBitmap image;
    ASSERT_EQ(image.Create(2, 2, 24, 0), 1);
    EXPECT_EQ(image.FromPackedDIB(c.block.data(), c.block.size()), 0) << c.name;
    EXPECT_EQ(messages.shown.size(), 1u) << c.name;
    EXPECT_EQ(image.GetWidth(), 2) << c.name << ": a refused block leaves the bitmap as it was";
  }
  CDIBitmap image;
  EXPECT_EQ(image.FromPackedDIB(good.data(), good.size()), 1);
}

TEST(CDIBitmapTest, FromDDBChoosesTheKindFromDepthAndPalette) {
  Raster raster;
  raster.Allocate(3, 2, 8);
  raster.Row(0)[1] = 200;
  CDIBitmap image;
  const platform::Palette gray = platform::Palette::GrayRamp();
  ASSERT_EQ(image.FromDDB(raster, &gray), 1);
  EXPECT_TRUE(image.IsGray());
  EXPECT_EQ(image.GetPixel(0, 1), 200u);
  std::vector<platform::PaletteEntry> entries(256);
  entries[200] = {1, 2, 3, 0};
  const platform::Palette custom(entries);
  ASSERT_EQ(image.FromDDB(raster, &custom), 1);
  EXPECT_FALSE(image.IsGray());
  EXPECT_EQ(image.GetPixelColor(0, 1), 0x030201u);

  raster.Allocate(2, 2, 32);
  raster.Row(1)[4] = 9;   // blue of pixel (1, 1)
  raster.Row(1)[6] = 99;  // red
  ASSERT_EQ(image.FromDDB(raster, nullptr), 1);
  EXPECT_EQ(image.GetBitCount(), 24);
  EXPECT_EQ(image.GetPixelColor(1, 1), 0x090063u);
}

TEST(CDIBitmapTest, DrawAveragesWhenShrinkingAndRepeatsWhenEnlarging) {
  CDIBitmap image;
  ASSERT_EQ(image.Create(4, 4, 8, 1), 1);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) image.SetPixel(y, x, static_cast<uint32_t>(16 * y + 3 * x));
  Raster target;
  target.Allocate(2, 2, 24);
  const platform::Rect half{0, 0, 2, 2};
  ASSERT_EQ(image.Draw(target, nullptr, &half), 1);
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 2; ++i) {
      int sum = 0;
      for (int y = 2 * j; y < 2 * j + 2; ++y)
        for (int x = 2 * i; x < 2 * i + 2; ++x) sum += 16 * y + 3 * x;
      EXPECT_EQ(target.Row(j)[3 * i], (sum + 2) / 4) << i << "," << j;
    }
  target.Allocate(8, 8, 24);
  const platform::Rect twice{0, 0, 8, 8};
  ASSERT_EQ(image.Draw(target, nullptr, &twice), 1);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(target.Row(y)[3 * x + 1], 16 * (y / 2) + 3 * (x / 2));
}

}  // namespace
