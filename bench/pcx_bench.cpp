// Throughput of the PCX codec on a 6000 x 4000 image, 24-bit (three planes)
// and 8-bit palette, written to a file under /tmp (or $TMPDIR) and read
// from a file written once.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "document/codecs/pcx.h"
#include "image/dibitmap.h"
#include "bench_support.h"

namespace {

using bench::kHeight;
using bench::kWidth;

// The noise picture at 24 or 8 bits (8 bits: a palette image whose table is
// a colour cube, indices from the same noise).
const CDIBitmap& Picture(int bits) {
  static CDIBitmap images[2];
  CDIBitmap& image = images[bits == 8 ? 1 : 0];
  if (!image.IsAllocated()) {
    image.Create(kWidth, kHeight, bits, bits == 8 ? 2 : 0);
    if (bits == 8) {
      uint8_t table[256 * 4] = {};
      for (int i = 0; i < 256; ++i) {
        table[i * 4 + 0] = static_cast<uint8_t>((i & 3) * 85);
        table[i * 4 + 1] = static_cast<uint8_t>(((i >> 2) & 7) * 36);
        table[i * 4 + 2] = static_cast<uint8_t>((i >> 5) * 36);
      }
      image.SetColorTable(table, 256);
    }
    bench::FillNoise(image);
  }
  return image;
}

std::string BenchFile(int bits) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/vivid-bench-" + std::to_string(bits) + ".pcx";
}

void PcxWrite(benchmark::State& state, int bits) {
  const CDIBitmap& source = Picture(bits);
  const std::string path = BenchFile(bits);
  for (auto _ : state) {
    if (!PCXWrite(path, source)) state.SkipWithError("PCXWrite failed");
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * (bits / 8));
  std::remove(path.c_str());
}

void PcxRead(benchmark::State& state, int bits) {
  const std::string path = BenchFile(bits);
  if (!PCXWrite(path, Picture(bits))) {
    state.SkipWithError("PCXWrite failed");
    return;
  }
  // A new bitmap each time, as opening a file makes one: its memory is
  // part of the cost.
  for (auto _ : state) {
    CDIBitmap image;
    if (!PCXRead(path, image)) state.SkipWithError("PCXRead failed");
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * (bits / 8));
  std::remove(path.c_str());
}

void BM_PcxWrite(benchmark::State& state) { PcxWrite(state, 24); }
void BM_PcxRead(benchmark::State& state) { PcxRead(state, 24); }
void BM_PcxWrite8(benchmark::State& state) { PcxWrite(state, 8); }
void BM_PcxRead8(benchmark::State& state) { PcxRead(state, 8); }
BENCHMARK(BM_PcxWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PcxRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PcxWrite8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PcxRead8)->Unit(benchmark::kMillisecond);

}  // namespace
