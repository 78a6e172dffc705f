// Throughput of the tone and colour adjustments on a 6000 x 4000 picture
// (24-bit, or 8-bit gray for the gray forms). Each operation changes the
// picture in place; operations whose cost depends on the pixel values get a
// fresh copy of the picture before every run (outside the timing).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "image/dibitmap.h"
#include "imaging/tone.h"
#include "bench_support.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

void FillRandom(CDIBitmap& image, int bitCount) {
  image.Create(kWidth, kHeight, bitCount, 1);
  bench::FillNoise(image);
}

const CDIBitmap& Master(int bitCount) {
  static CDIBitmap rgb, gray;
  CDIBitmap& image = bitCount == 24 ? rgb : gray;
  if (!image.IsAllocated()) FillRandom(image, bitCount);
  return image;
}

size_t PixelBytes(const CDIBitmap& image) { return static_cast<size_t>(image.GetStride()) * image.GetHeight(); }

// Runs `op` on a working copy of the picture; `fresh` restores the copy
// before each run.
template <typename Op>
void Run(benchmark::State& state, int bitCount, bool fresh, Op op) {
  const CDIBitmap& master = Master(bitCount);
  CDIBitmap image;
  image.CopyFrom(master);  // also touches every page
  for (auto _ : state) {
    if (fresh) {
      state.PauseTiming();
      std::memcpy(image.GetPixels(), master.GetPixels(), PixelBytes(master));
      state.ResumeTiming();
    }
    if (op(image) != 1) state.SkipWithError("operation failed");
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * image.GetRowBytes() * kHeight);
}

void BM_InvertBitmap(benchmark::State& s) { Run(s, 24, false, [](CDIBitmap& b) { return GL_InvertBitmap(b); }); }
BENCHMARK(BM_InvertBitmap)->Unit(benchmark::kMillisecond);

void BM_InvertGray(benchmark::State& s) { Run(s, 8, false, [](CDIBitmap& b) { return GL_InvertBitmap(b); }); }
BENCHMARK(BM_InvertGray)->Unit(benchmark::kMillisecond);

void BM_SwapRedBlue(benchmark::State& s) { Run(s, 24, false, [](CDIBitmap& b) { return GL_SwapRedBlue(b); }); }
BENCHMARK(BM_SwapRedBlue)->Unit(benchmark::kMillisecond);

void BM_BrightnessContrast(benchmark::State& s) {
  ToneTableSet set;
  set.tables[0] = GL_BrightnessContrastTable(20, 30);
  set.inUse[0] = true;
  Run(s, 24, false, [&](CDIBitmap& b) { return GL_ApplyToneTables(b, set); });
}
BENCHMARK(BM_BrightnessContrast)->Unit(benchmark::kMillisecond);

void BM_BrightnessContrastGray(benchmark::State& s) {
  ToneTableSet set;
  set.tables[0] = GL_BrightnessContrastTable(20, 30);
  set.inUse[0] = true;
  Run(s, 8, false, [&](CDIBitmap& b) { return GL_ApplyToneTables(b, set); });
}
BENCHMARK(BM_BrightnessContrastGray)->Unit(benchmark::kMillisecond);

void BM_Threshold(benchmark::State& s) {
  ToneTableSet set;
  set.tables[0] = GL_ThresholdTable(128);
  set.inUse[0] = true;
  Run(s, 24, false, [&](CDIBitmap& b) { return GL_ApplyToneTables(b, set); });
}
BENCHMARK(BM_Threshold)->Unit(benchmark::kMillisecond);

void BM_ColorBalance(benchmark::State& s) {
  Run(s, 24, true, [](CDIBitmap& b) { return GL_ColorBalance(b, 39, -19, -19); });
}
BENCHMARK(BM_ColorBalance)->Unit(benchmark::kMillisecond);

void BM_ChangeHSL(benchmark::State& s) {
  Run(s, 24, true, [](CDIBitmap& b) { return GL_ChangeHSL(b, 90, 200, 100); });
}
BENCHMARK(BM_ChangeHSL)->Unit(benchmark::kMillisecond);

void BM_ChangeSaturation(benchmark::State& s) {
  Run(s, 24, true, [](CDIBitmap& b) { return GL_ChangeSaturation(b, 250); });
}
BENCHMARK(BM_ChangeSaturation)->Unit(benchmark::kMillisecond);

void BM_GetHistogram(benchmark::State& s) {
  const CDIBitmap& image = Master(24);
  Histogram h;
  for (auto _ : s) {
    GL_GetHistogram(image, h, kChannelAll);
    benchmark::DoNotOptimize(h.data());
  }
  s.SetBytesProcessed(static_cast<int64_t>(s.iterations()) * image.GetRowBytes() * kHeight);
}
BENCHMARK(BM_GetHistogram)->Unit(benchmark::kMillisecond);

void BM_EqualizeBitmap(benchmark::State& s) {
  Run(s, 24, true, [](CDIBitmap& b) { return GL_EqualizeBitmap(b); });
}
BENCHMARK(BM_EqualizeBitmap)->Unit(benchmark::kMillisecond);

void BM_EqualizeGray(benchmark::State& s) { Run(s, 8, true, [](CDIBitmap& b) { return GL_EqualizeBitmap(b); }); }
BENCHMARK(BM_EqualizeGray)->Unit(benchmark::kMillisecond);

void BM_StretchIntensity(benchmark::State& s) {
  Run(s, 24, true, [](CDIBitmap& b) { return GL_StretchIntensity(b); });
}
BENCHMARK(BM_StretchIntensity)->Unit(benchmark::kMillisecond);

}  // namespace
