// Photo CD reading: Base (768 x 512) and 16Base (3072 x 2048, every luma
// and chroma row carrying residuals) from an image pack built once under
// $TMPDIR (or /tmp). There is no writer.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

#include "document/codecs/photocd.h"
#include "image/dibitmap.h"
#include "bench_support.h"

namespace {

constexpr size_t kSector = 2048;

// Bits most significant first.
class BitWriter {
 public:
  void Put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      acc_ = static_cast<uint8_t>((acc_ << 1) | ((value >> i) & 1));
      if (++count_ % 8 == 0) bytes_.push_back(acc_), acc_ = 0;
    }
  }
  void Row(int plane, int row) {
    Put(0xFFFFFE, 24);
    Put(static_cast<uint32_t>((plane << 14) | (row << 1)), 16);
  }
  std::vector<uint8_t> Finish() {
    while (count_ % 8) Put(0, 1);
    return bytes_;
  }
  uint64_t Count() const { return count_; }

 private:
  std::vector<uint8_t> bytes_;
  uint8_t acc_ = 0;
  uint64_t count_ = 0;
};

// Table of 8 codes: k one bits and a zero for value k - 4 (k = 0 .. 7).
std::vector<uint8_t> UnaryTable() {
  std::vector<uint8_t> t = {7};
  for (int k = 0; k < 8; ++k) {
    const uint32_t code = ((1u << k) - 1) << 1;
    const uint32_t aligned = code << (16 - (k + 1));
    t.insert(t.end(), {static_cast<uint8_t>(k), static_cast<uint8_t>(aligned >> 8),
                       static_cast<uint8_t>(aligned), static_cast<uint8_t>(k - 4)});
  }
  return t;
}

uint32_t g_seed = 12345;
int NextCode() {
  g_seed = g_seed * 1664525u + 1013904223u;
  const uint32_t r = g_seed >> 24;  // short codes more often than long ones
  int k = 0;
  while (k < 7 && (r & (1u << k))) ++k;
  return k;
}

void PutRows(BitWriter& bits, int plane, int rows, int step, int width) {
  for (int r = 0; r < rows; ++r) {
    bits.Row(plane, r * step);
    for (int x = 0; x < width; ++x) {
      const int k = NextCode();
      bits.Put(((1u << k) - 1) << 1, k + 1);
    }
  }
}

void Place(std::vector<uint8_t>& file, size_t offset, const std::vector<uint8_t>& data) {
  if (file.size() < offset + data.size()) file.resize(offset + data.size(), 0);
  std::copy(data.begin(), data.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
}

const std::string& PackPath() {
  static const std::string path = [] {
    std::vector<uint8_t> file(kSector * 2, 0xFF);
    const char signature[] = "PCD_IPI";  // other readers look for it
    std::copy(signature, signature + 7, file.begin() + kSector);
    const size_t baseSectors[] = {4, 23, 96};
    for (int level = 0; level < 3; ++level) {
      const size_t bytes = static_cast<size_t>(kPhotoCDWidths[level]) * kPhotoCDHeights[level] * 3 / 2;
      std::vector<uint8_t> base(bytes);
      for (uint8_t& b : base) g_seed = g_seed * 1664525u + 1013904223u, b = static_cast<uint8_t>(g_seed >> 24);
      Place(file, baseSectors[level] * kSector, base);
    }
    const std::vector<uint8_t> table = UnaryTable();
    Place(file, 388 * kSector, table);
    BitWriter fourBase;
    PutRows(fourBase, 0, 1024, 1, 1536);
    fourBase.Row(0, 1024);
    const size_t end = 389 + (fourBase.Count() - 1) / (kSector * 8) + 1;
    Place(file, 389 * kSector, fourBase.Finish());
    std::vector<uint8_t> tables = table;
    tables.insert(tables.end(), table.begin(), table.end());
    tables.insert(tables.end(), table.begin(), table.end());
    Place(file, (end + 12) * kSector, tables);
    BitWriter sixteenBase;
    PutRows(sixteenBase, 0, 2048, 1, 3072);
    PutRows(sixteenBase, 2, 1024, 2, 1536);
    PutRows(sixteenBase, 3, 1024, 2, 1536);
    sixteenBase.Row(0, 2048);
    Place(file, (end + 14) * kSector, sixteenBase.Finish());
    file.resize((file.size() + kSector - 1) / kSector * kSector, 0);
    const std::string p = bench::BenchFile("vivid_bench_pack2.pcd");
    std::FILE* f = std::fopen(p.c_str(), "wb");
    if (f) {
      std::fwrite(file.data(), 1, file.size(), f);
      std::fclose(f);
    }
    return p;
  }();
  return path;
}

void ReadPack(benchmark::State& state, int resolution) {
  const std::string& path = PackPath();
  const int64_t pixels = int64_t{kPhotoCDWidths[resolution]} * kPhotoCDHeights[resolution];
  for (auto _ : state) {
    CDIBitmap image;
    if (!PhotoCDRead(path, image, resolution)) state.SkipWithError("PhotoCDRead failed");
    benchmark::DoNotOptimize(image.GetPixels());
  }
  state.SetBytesProcessed(state.iterations() * pixels * 3);
}

void BM_PhotoCDRead(benchmark::State& state) { ReadPack(state, 4); }
BENCHMARK(BM_PhotoCDRead)->Unit(benchmark::kMillisecond);

void BM_PhotoCDReadBase(benchmark::State& state) { ReadPack(state, 2); }
BENCHMARK(BM_PhotoCDReadBase)->Unit(benchmark::kMillisecond);

}  // namespace
