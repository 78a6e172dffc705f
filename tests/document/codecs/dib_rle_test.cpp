// The RLE8/RLE4 row decoder, one escape at a time. Expected rows are worked
// out by hand from the encoding's rules; rows are listed in stored order.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "image/dib_rle.h"

namespace {

using Row = std::vector<uint8_t>;

struct RleCase {
  const char* name;
  int width;
  bool rle4;
  std::vector<uint8_t> data;
  std::vector<Row> rows;
  bool truncated;  // the data ended before end of bitmap
  bool finished;   // end of bitmap or end of data reached
};

const RleCase kCases[] = {
    {"runs and end of line", 4, false,
     {0x03, 0x05, 0x00, 0x00, 0x02, 0x07, 0x01, 0x08, 0x00, 0x01},
     {{5, 5, 5, 0}, {7, 7, 8, 0}}, false, true},
    {"end of bitmap after the first row; later bytes ignored", 3, false,
     {0x03, 0x09, 0x00, 0x01, 0x03, 0x04},
     {{9, 9, 9}, {0, 0, 0}, {0, 0, 0}}, false, true},
    // At x = 2 of row 0, delta (1, 1) lands at x = 3 of row 1.
    {"delta across rows", 4, false,
     {0x02, 0x05, 0x00, 0x02, 0x01, 0x01, 0x01, 0x07, 0x00, 0x00, 0x04, 0x09, 0x00, 0x01},
     {{5, 5, 0, 0}, {0, 0, 0, 7}, {9, 9, 9, 9}}, false, true},
    {"delta within a row", 5, false,
     {0x01, 0x03, 0x00, 0x02, 0x02, 0x00, 0x01, 0x04, 0x00, 0x01},
     {{3, 0, 0, 4, 0}}, false, true},
    // Delta (0, 2) from the start of row 0: rows 0 and 1 are skipped whole.
    {"delta over whole rows", 2, false,
     {0x00, 0x02, 0x00, 0x02, 0x01, 0x06, 0x00, 0x01},
     {{0, 0}, {0, 0}, {6, 0}, {0, 0}}, false, true},
    {"delta far past the last row", 3, false,
     {0x00, 0x02, 0xFF, 0xFF, 0x03, 0x01},
     {{0, 0, 0}, {0, 0, 0}}, false, false},
    {"encoded run past the row end", 3, false,
     {0x05, 0x01, 0x00, 0x00, 0x01, 0x02, 0x00, 0x01},
     {{1, 1, 1}, {2, 0, 0}}, false, true},
    // Five absolute bytes, then a pad byte (0x07) that must not start a pair.
    {"absolute run past the row end with pad byte", 3, false,
     {0x00, 0x05, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x07, 0x00, 0x00, 0x03, 0x09, 0x00, 0x01},
     {{0x0A, 0x0B, 0x0C}, {9, 9, 9}}, false, true},
    {"absolute run of even length has no pad", 5, false,
     {0x00, 0x04, 0x01, 0x02, 0x03, 0x04, 0x01, 0x05, 0x00, 0x01},
     {{1, 2, 3, 4, 5}}, false, true},
    {"RLE4 run alternates nibbles, high first", 5, true,
     {0x05, 0x12, 0x00, 0x01},
     {{1, 2, 1, 2, 1}}, false, true},
    // Five nibbles in three bytes, then one pad byte.
    {"RLE4 absolute run with odd byte count", 6, true,
     {0x00, 0x05, 0x34, 0x56, 0x70, 0x00, 0x00, 0x00, 0x03, 0xAB, 0x00, 0x01},
     {{3, 4, 5, 6, 7, 0}, {0xA, 0xB, 0xA, 0, 0, 0}}, false, true},
    {"RLE4 absolute run with even byte count", 5, true,
     {0x00, 0x03, 0x12, 0x30, 0x01, 0x40, 0x00, 0x01},
     {{1, 2, 3, 4, 0}}, false, true},
    {"data ends inside a row", 4, false,
     {0x02, 0x05, 0x00, 0x00, 0x01, 0x06},
     {{5, 5, 0, 0}, {6, 0, 0, 0}, {0, 0, 0, 0}}, true, true},
    {"absolute run cut by the end of data", 4, false,
     {0x00, 0x04, 0x01, 0x02},
     {{1, 2, 0, 0}, {0, 0, 0, 0}}, true, true},
    {"RLE4 absolute run cut by the end of data", 6, true,
     {0x00, 0x06, 0x12},
     {{1, 2, 0, 0, 0, 0}}, true, true},
};

TEST(DIBRleDecoder, DecodesEachEscape) {
  constexpr uint8_t kGuard = 0xEE;
  for (const RleCase& c : kCases) {
    SCOPED_TRACE(c.name);
    CDIBRleDecoder decoder(c.data, c.width, c.rle4);
    for (size_t i = 0; i < c.rows.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "row " << i);
      // Stale bytes and guard bytes: the row is fully rewritten, nothing after it.
      Row buffer(c.width + 4, kGuard);
      decoder.NextRow(buffer.data());
      EXPECT_EQ(Row(buffer.begin(), buffer.begin() + c.width), c.rows[i]);
      EXPECT_EQ(Row(buffer.begin() + c.width, buffer.end()), Row(4, kGuard));
    }
    EXPECT_EQ(decoder.Truncated(), c.truncated);
    EXPECT_EQ(decoder.Finished(), c.finished);
  }
}

}  // namespace
