// The GIF codec on a 6000 x 4000 image: reading and writing an 8-bit
// palette picture of noise (the LZW worst case: few repeated strings), and
// writing a 24-bit picture, which first reduces a copy to 256 colours.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_support.h"
#include "document/codecs/gif.h"
#include "image/dibitmap.h"

namespace {

using bench::kHeight;
using bench::kWidth;

const CDIBitmap& Picture(int bits) {
  static CDIBitmap images[2];
  CDIBitmap& image = images[bits == 8 ? 0 : 1];
  if (!image.IsAllocated()) {
    image.Create(kWidth, kHeight, bits, bits == 8 ? 2 : 0);
    if (bits == 8) {
      uint8_t table[256 * 4];
      for (int i = 0; i < 256; ++i) {
        table[i * 4 + 0] = static_cast<uint8_t>(i);
        table[i * 4 + 1] = static_cast<uint8_t>(255 - i);
        table[i * 4 + 2] = static_cast<uint8_t>(i * 7);
        table[i * 4 + 3] = 0;
      }
      image.SetColorTable(table, 256);
    }
    bench::FillNoise(image);
  }
  return image;
}

std::string BenchFile() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/vivid-bench.gif";
}

void BM_GIFWrite(benchmark::State& state) {
  const CDIBitmap& source = Picture(8);
  const std::string path = BenchFile();
  for (auto _ : state) {
    if (!GIFWrite(path, source)) state.SkipWithError("GIFWrite failed");
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight);
  std::remove(path.c_str());
}
BENCHMARK(BM_GIFWrite)->Unit(benchmark::kMillisecond);

void BM_GIFRead(benchmark::State& state) {
  const std::string path = BenchFile();
  if (!GIFWrite(path, Picture(8))) {
    state.SkipWithError("GIFWrite failed");
    return;
  }
  // A new bitmap each time, as opening a file makes one: its memory is
  // part of the cost.
  for (auto _ : state) {
    CDIBitmap image;
    if (!GIFRead(path, image)) state.SkipWithError("GIFRead failed");
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight);
  std::remove(path.c_str());
}
BENCHMARK(BM_GIFRead)->Unit(benchmark::kMillisecond);

void BM_GIFWrite24(benchmark::State& state) {
  const CDIBitmap& source = Picture(24);
  const std::string path = BenchFile();
  for (auto _ : state) {
    if (!GIFWrite(path, source)) state.SkipWithError("GIFWrite failed");
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 3);
  std::remove(path.c_str());
}
BENCHMARK(BM_GIFWrite24)->Unit(benchmark::kMillisecond);

}  // namespace
