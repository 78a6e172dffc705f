// Blocks of pixel bytes for bitmaps and the undo record.
#include "image/pixel_block.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define VIVID_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VIVID_ADDRESS_SANITIZER 1
#endif
#endif

constexpr size_t kHugePage = size_t{2} << 20;

bool MappedBlock(size_t bytes) {
#ifdef VIVID_ADDRESS_SANITIZER
  (void)bytes;
  return false;
#else
  return bytes >= kHugePage;
#endif
}

size_t MappedLength(size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

// A block of `bytes` pixel bytes, zeroed when asked (mapped blocks always are).
}  // namespace

uint8_t* AllocatePixelBlock(size_t bytes, bool zero) {
  if (!MappedBlock(bytes)) return static_cast<uint8_t*>(zero ? std::calloc(1, bytes) : std::malloc(bytes));
  const size_t length = MappedLength(bytes);
  void* raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  // Trim to a 2 MiB aligned window of `length` bytes.
  const auto start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > start) munmap(raw, aligned - start);
  const uintptr_t end = start + length + kHugePage;
  if (end > aligned + length) munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
  madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
  return reinterpret_cast<uint8_t*>(aligned);
}

void FreePixelBlock(uint8_t* pixels, size_t bytes) {
  if (!pixels) return;
  if (MappedBlock(bytes))
    munmap(pixels, MappedLength(bytes));
  else
    std::free(pixels);
}

