// Blocks of pixel bytes: the storage of bitmaps and of the undo record.
//
// Blocks of 2 MiB or more are mapped directly, aligned to 2 MiB and marked
// for transparent huge pages, so that a new 6000 x 4000 image costs a few
// dozen page faults instead of eighteen thousand, and are unmapped when
// freed. Smaller blocks, and every block under AddressSanitizer (so that
// overruns stay detectable), come from malloc.
#pragma once

#include <cstddef>
#include <cstdint>

// A block of `bytes` bytes, zeroed when asked (mapped blocks always are);
// nullptr when it cannot be had.
uint8_t* AllocatePixelBlock(size_t bytes, bool zero);
// Releases a block of AllocatePixelBlock given the same size.
void FreePixelBlock(uint8_t* pixels, size_t bytes);

// Owns one block.
class PixelBlock {
 public:
  PixelBlock() = default;
  ~PixelBlock() { Reset(); }
  PixelBlock(PixelBlock&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
  }
  PixelBlock& operator=(PixelBlock&& other) noexcept {
    if (this != &other) {
      Reset();
      data_ = other.data_;
      size_ = other.size_;
      other.data_ = nullptr;
      other.size_ = 0;
    }
    return *this;
  }
  PixelBlock(const PixelBlock&) = delete;
  PixelBlock& operator=(const PixelBlock&) = delete;

  // Replaces the block with a new one of `bytes` bytes, not cleared unless
  // mapped; false (and empty) when it cannot be had.
  bool Allocate(size_t bytes) {
    Reset();
    if (bytes == 0) return true;
    data_ = AllocatePixelBlock(bytes, false);
    if (!data_) return false;
    size_ = bytes;
    return true;
  }
  void Reset() {
    FreePixelBlock(data_, size_);
    data_ = nullptr;
    size_ = 0;
  }
  uint8_t* get() { return data_; }
  const uint8_t* get() const { return data_; }
  size_t size() const { return size_; }

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};
