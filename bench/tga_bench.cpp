// Throughput of the TGA codec on the 6000 x 4000 benchmark picture: 24-bit
// and 8-bit palette, uncompressed and run-length encoded. Arguments: bit
// count, compression index (0 none, 1 RLE).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "document/codecs/tga.h"
#include "image/dibitmap.h"

namespace {

const CDIBitmap& TgaPicture(int bits) {
  static CDIBitmap rgb, indexed;
  CDIBitmap& image = bits == 8 ? indexed : rgb;
  if (!image.IsAllocated()) {
    image.Create(bench::kWidth, bench::kHeight, bits, bits == 8 ? 2 : 0);
    bench::FillNoise(image);
    if (bits == 8) {
      std::vector<uint8_t> table(256 * 4, 0);
      for (int i = 0; i < 256; ++i) table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = static_cast<uint8_t>(255 - i);
      image.SetColorTable(table.data(), 256);
    }
  }
  return image;
}

std::string TgaBenchFile() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/vivid-bench.tga";
}

int64_t PictureBytes(int bits) { return int64_t{bench::kWidth} * bench::kHeight * (bits / 8); }

void BM_TGAWrite(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  const int compression = static_cast<int>(state.range(1));
  const CDIBitmap& source = TgaPicture(bits);
  const std::string path = TgaBenchFile();
  for (auto _ : state) {
    if (!TGAWrite(path, source, compression, 0)) state.SkipWithError("TGAWrite failed");
  }
  state.SetBytesProcessed(state.iterations() * PictureBytes(bits));
  std::remove(path.c_str());
}
BENCHMARK(BM_TGAWrite)->ArgsProduct({{24, 8}, {0, 1}})->Unit(benchmark::kMillisecond);

void BM_TGARead(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  const int compression = static_cast<int>(state.range(1));
  const std::string path = TgaBenchFile();
  if (!TGAWrite(path, TgaPicture(bits), compression, 0)) {
    state.SkipWithError("TGAWrite failed");
    return;
  }
  // A new bitmap each time, as opening a file makes one: its memory is
  // part of the cost.
  for (auto _ : state) {
    CDIBitmap image;
    if (!TGARead(path, image)) state.SkipWithError("TGARead failed");
  }
  state.SetBytesProcessed(state.iterations() * PictureBytes(bits));
  std::remove(path.c_str());
}
BENCHMARK(BM_TGARead)->ArgsProduct({{24, 8}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace
