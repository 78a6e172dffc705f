#include "image/dib_header.h"

#include "platform/byte_order.h"

DIBInfoHeader ReadDIBInfoHeader(std::span<const uint8_t> bytes) {
  using platform::LoadLE16;
  using platform::LoadLE32;
  DIBInfoHeader h;
  const uint8_t* p = bytes.data();
  const size_t n = bytes.size();
  if (n >= 4) h.size = LoadLE32(p);
  if (h.size == kCoreHeaderSize) {
    if (n >= 6) h.width = LoadLE16(p + 4);
    if (n >= 8) h.height = LoadLE16(p + 6);
    if (n >= 10) h.planes = LoadLE16(p + 8);
    if (n >= 12) h.bitCount = LoadLE16(p + 10);
    return h;
  }
  if (n >= 8) h.width = static_cast<int32_t>(LoadLE32(p + 4));
  if (n >= 12) h.height = static_cast<int32_t>(LoadLE32(p + 8));
  if (n >= 14) h.planes = LoadLE16(p + 12);
  if (n >= 16) h.bitCount = LoadLE16(p + 14);
  if (n >= 20) h.compression = LoadLE32(p + 16);
  if (n >= 24) h.imageSize = LoadLE32(p + 20);
  if (n >= 28) h.xPelsPerMeter = static_cast<int32_t>(LoadLE32(p + 24));
  if (n >= 32) h.yPelsPerMeter = static_cast<int32_t>(LoadLE32(p + 28));
  if (n >= 36) h.colorsUsed = LoadLE32(p + 32);
  if (n >= 52) h.masks = {LoadLE32(p + 40), LoadLE32(p + 44), LoadLE32(p + 48)};
  return h;
}
