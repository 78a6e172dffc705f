// Selection files (".sel"), little-endian:
//
//   offset  size  content
//   0       32    "vividrome selection 0100", seven blanks, one zero byte
//   32      4     signed 32: byte count n of the region data
//   36      n     the region in image coordinates as Region::ToBytes writes
//                 it: a 32-byte header (header size, type, rectangle count c,
//                 rectangle bytes, bounding box) and c rectangles of 16 bytes
//                 (left, top, right, bottom, signed 32 each)
//
// The magic is written but not checked on reading; the rectangle count is
// taken from the region header and must fit in the n bytes, and n must fit
// in the file, so no count read from the file sizes an allocation or a read.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

#include "editing/vivid_view.h"
#include "platform/atomic_file.h"
#include "platform/messages.h"

namespace {

// 24 characters, seven blanks and the terminating zero: 32 bytes.
constexpr char kSelectionMagic[32] = "vividrome selection 0100       ";
static_assert(sizeof(kSelectionMagic) == 32);
constexpr size_t kFileHeaderSize = 36;
constexpr size_t kRegionHeaderSize = 32;
constexpr size_t kRectSize = 16;
// Long rectangle lists are built in batches that are then united.
constexpr uint32_t kBatchFrom = 4000;
constexpr uint32_t kBatchSize = 3000;

// A name whose file part has no '.' gets ".sel".
std::string WithSelectionExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (path.find('.', nameStart) == std::string::npos) return path + ".sel";
  return path;
}

int32_t LoadLE32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

void StoreLE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string Damaged(const std::string& path) {
  return platform::FormatText("%s is not a selection file, or it is damaged.", path.c_str());
}

// The region a selection file holds, or nullopt with the message to show.
std::optional<platform::Region> ReadSelectionFile(const std::string& path, std::string& error) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  struct stat info {};
  if (!file || fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
    error = platform::FormatText("Cannot open the selection file %s.", path.c_str());
    return std::nullopt;
  }
  uint8_t header[kFileHeaderSize];
  if (std::fread(header, 1, kFileHeaderSize, file.get()) != kFileHeaderSize) {
    error = Damaged(path);
    return std::nullopt;
  }
  const int32_t n = LoadLE32(header + 32);
  if (n < 1) {
    error = platform::FormatText("%s holds no selection.", path.c_str());
    return std::nullopt;
  }
  const uint64_t available = static_cast<uint64_t>(info.st_size) - kFileHeaderSize;
  if (static_cast<uint64_t>(n) > available || static_cast<size_t>(n) < kRegionHeaderSize) {
    error = Damaged(path);
    return std::nullopt;
  }
  std::vector<uint8_t> data(static_cast<size_t>(n));
  if (std::fread(data.data(), 1, data.size(), file.get()) != data.size()) {
    error = Damaged(path);
    return std::nullopt;
  }
  const uint32_t count = static_cast<uint32_t>(LoadLE32(data.data() + 8));
  if (count > (data.size() - kRegionHeaderSize) / kRectSize) {
    error = Damaged(path);
    return std::nullopt;
  }
  std::vector<platform::Rect> rects(count);
  const uint8_t* p = data.data() + kRegionHeaderSize;
  for (platform::Rect& r : rects) {
    r = {LoadLE32(p), LoadLE32(p + 4), LoadLE32(p + 8), LoadLE32(p + 12)};
    p += kRectSize;
  }
  if (count < kBatchFrom) return platform::Region::FromRects(rects);
  platform::Region region = platform::Region::Empty();
  for (size_t first = 0; first < rects.size(); first += kBatchSize) {
    const size_t length = std::min<size_t>(kBatchSize, rects.size() - first);
    region = region.Union(platform::Region::FromRects(std::span(rects).subspan(first, length)));
  }
  return region;
}

}  // namespace

EditResult CVividView::OnSaveSelection(const std::string& chosen) {
  if (!document_.HasSelection() || chosen.empty()) return 0;
  const std::string path = WithSelectionExtension(chosen);
  const platform::Region region = document_.SelectionRegionInImage();
  // An empty selection is not written.
  if (region.IsEmpty()) return 1;
  std::vector<uint8_t> bytes;
  try {
    const std::vector<uint8_t> data = region.ToBytes();
    if (data.size() > static_cast<size_t>(INT32_MAX)) throw std::length_error("region too large");
    bytes.resize(kFileHeaderSize);
    std::memcpy(bytes.data(), kSelectionMagic, sizeof(kSelectionMagic));
    StoreLE32(bytes.data() + 32, static_cast<uint32_t>(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
  } catch (const std::exception&) {  // out of memory, or more than n can count
    platform::ShowMessage("Cannot have Selection Stored.");
    return 0;
  }

  platform::AtomicFile file(path);
  if (!file.Open() || !file.Write(bytes.data(), bytes.size()) || !file.Commit()) {
    const int error = errno;
    file.Abort();
    platform::ShowMessage(
        platform::FormatText("Cannot write the selection file %s: %s", path.c_str(), std::strerror(error)));
    return 0;
  }
  return 1;
}

EditResult CVividView::OnLoadSelection(const std::string& chosen, SelectionCombine mode) {
  if (chosen.empty() || !GetImage().IsAllocated()) return 0;
  const std::string path = WithSelectionExtension(chosen);
  std::string error;
  std::optional<platform::Region> region;
  try {
    region = ReadSelectionFile(path, error);
  } catch (const std::bad_alloc&) {
    error = platform::FormatText("Not enough memory to load the selection file %s.", path.c_str());
  }
  if (!region) {
    platform::ShowMessage(error);
    return 0;
  }
  return RunSelectionCommand(18, "Load Selection", [&] { return region; }, mode);
}
