// Helpers for the tests that link the editing layer.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "editing/operation_table.h"
#include "image/dibitmap.h"

namespace testing_support {

// The operation a command-line text names; a failure (and an empty
// operation) when it does not parse.
inline ParsedOperation Op(const std::string& text) {
  std::string error;
  std::optional<ParsedOperation> op = ParseOperation(text, error);
  EXPECT_TRUE(op) << text << ": " << error;
  return op ? *op : ParsedOperation{};
}

// The image's pixel bytes, rows top first, without the rows' padding.
inline std::vector<uint8_t> PixelBytes(const CDIBitmap& image) {
  std::vector<uint8_t> bytes;
  const int rowBytes = (image.GetWidth() * image.GetBitCount() + 7) / 8;
  for (int y = 0; y < image.GetHeight(); ++y)
    bytes.insert(bytes.end(), image.RowPointer(y), image.RowPointer(y) + rowBytes);
  return bytes;
}

}  // namespace testing_support
