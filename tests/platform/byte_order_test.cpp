// Byte order: values against the sums of their bytes' place values.
#include "platform/byte_order.h"

#include <gtest/gtest.h>

#include <array>

namespace platform {
namespace {

// High bits set in every byte, so that a byte widened with its sign would
// show; each byte differs, so that a swapped pair would show.
TEST(ByteOrder, LoadsAndStoresInBothOrders) {
  const std::array<uint8_t, 4> bytes = {0x81, 0xC2, 0xE3, 0xF4};
  EXPECT_EQ(LoadLE16(bytes.data()), 0x81u + 0xC2u * 256);
  EXPECT_EQ(LoadBE16(bytes.data()), 0x81u * 256 + 0xC2u);
  EXPECT_EQ(LoadLE32(bytes.data()), 0x81u + (0xC2u << 8) + (0xE3u << 16) + (0xF4u << 24));
  EXPECT_EQ(LoadBE32(bytes.data()), (0x81u << 24) + (0xC2u << 16) + (0xE3u << 8) + 0xF4u);

  std::array<uint8_t, 4> out = {0, 0, 0, 0xAA};
  StoreLE16(out.data(), 0x123456);  // only the low 16 bits are stored
  EXPECT_EQ(out, (std::array<uint8_t, 4>{0x56, 0x34, 0, 0xAA}));
  StoreLE32(out.data(), LoadLE32(bytes.data()));
  EXPECT_EQ(out, bytes);
}

}  // namespace
}  // namespace platform
