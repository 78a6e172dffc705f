// Throughput of the compositing operations on a 6000 x 4000 24-bit picture
// (and its 8-bit alpha), measured in bytes of the destination per second.
// The destination is restored from a copy before each iteration, outside the
// timing, so every run blends the same data.
#include <benchmark/benchmark.h>

#include <cstring>
#include <functional>

#include "image/dibitmap.h"
#include "imaging/combine.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A deterministic picture of the given bit count (8-bit: gray).
void FillPicture(CDIBitmap& image, int bits, uint32_t seed) {
  image.Create(kWidth, kHeight, bits, 1);
  for (int y = 0; y < kHeight; ++y) {
    uint8_t* row = image.RowPointer(y);
    for (int i = 0; i < image.GetRowBytes(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      row[i] = static_cast<uint8_t>(seed >> 24);
    }
  }
}

const CDIBitmap& Source() {
  static CDIBitmap image;
  if (!image.IsAllocated()) FillPicture(image, 24, 12345);
  return image;
}

const CDIBitmap& Original() {
  static CDIBitmap image;
  if (!image.IsAllocated()) FillPicture(image, 24, 777);
  return image;
}

const CDIBitmap& Alpha() {
  static CDIBitmap image;
  if (!image.IsAllocated()) FillPicture(image, 8, 4242);
  return image;
}

const CDIBitmap& Mask() {
  static CDIBitmap image;
  if (!image.IsAllocated()) FillPicture(image, 1, 99);
  return image;
}

size_t PixelBytes(const CDIBitmap& image) { return static_cast<size_t>(image.GetStride()) * image.GetHeight(); }

// Runs `op` on a fresh copy of `original` every iteration.
void RunInPlace(benchmark::State& state, const CDIBitmap& original, const std::function<int(CDIBitmap&)>& op) {
  // Build the shared pictures and touch every page before the timing.
  Source();
  Alpha();
  Mask();
  CDIBitmap dst;
  dst.CopyFrom(original);
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(dst.GetPixels(), original.GetPixels(), PixelBytes(original));
    state.ResumeTiming();
    if (op(dst) != 1) state.SkipWithError("operation failed");
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(original.GetRowBytes()) * kHeight);
}

void BM_CombineBitmapCopy(benchmark::State& state) {
  RunInPlace(state, Original(),
             [](CDIBitmap& d) { return GL_CombineBitmap(d, 0, 0, kWidth, kHeight, Source(), 0, 0, kCombineCopyOr); });
}
BENCHMARK(BM_CombineBitmapCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CombineBitmapMultiply(benchmark::State& state) {
  RunInPlace(state, Original(),
             [](CDIBitmap& d) { return GL_CombineBitmap(d, 0, 0, kWidth, kHeight, Source(), 0, 0, kCombineMultiply); });
}
BENCHMARK(BM_CombineBitmapMultiply)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CombineBitmapAdd(benchmark::State& state) {
  RunInPlace(state, Original(),
             [](CDIBitmap& d) { return GL_CombineBitmap(d, 0, 0, kWidth, kHeight, Source(), 0, 0, kCombineAdd); });
}
BENCHMARK(BM_CombineBitmapAdd)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CombineBitmapWithAlpha(benchmark::State& state) {
  RunInPlace(state, Original(), [](CDIBitmap& d) {
    return GL_CombineBitmapWithAlpha(d, 0, 0, kWidth, kHeight, Source(), 0, 0, Alpha(), 0, 0, 200);
  });
}
BENCHMARK(BM_CombineBitmapWithAlpha)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CombineBitmapWithMask(benchmark::State& state) {
  RunInPlace(state, Original(), [](CDIBitmap& d) {
    return GL_CombineBitmapWithMask(d, 0, 0, kWidth, kHeight, Source(), 0, 0, Mask(), 0, 0);
  });
}
BENCHMARK(BM_CombineBitmapWithMask)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CombineBitmapWithTrans(benchmark::State& state) {
  RunInPlace(state, Original(),
             [](CDIBitmap& d) { return GL_CombineBitmapWithTrans(d, 0, 0, kWidth, kHeight, Source(), 0, 0, 100, 0); });
}
BENCHMARK(BM_CombineBitmapWithTrans)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CombineBitmapWithAlphaTrans(benchmark::State& state) {
  RunInPlace(state, Original(), [](CDIBitmap& d) {
    return GL_CombineBitmapWithAlphaTrans(d, 0, 0, kWidth, kHeight, Source(), 0, 0, Alpha(), 0, 0, 200, 1);
  });
}
BENCHMARK(BM_CombineBitmapWithAlphaTrans)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CombineHue(benchmark::State& state) {
  RunInPlace(state, Original(), [](CDIBitmap& d) { return GL_CombineHue(d, Source()); });
}
BENCHMARK(BM_CombineHue)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CombineLuminosity(benchmark::State& state) {
  RunInPlace(state, Original(), [](CDIBitmap& d) { return GL_CombineLuminosity(d, Source()); });
}
BENCHMARK(BM_CombineLuminosity)->Unit(benchmark::kMillisecond)->UseRealTime();

// The blend-mode dispatcher as the paint tools and the floater use it.
void ByMode(benchmark::State& state, int mode) {
  RunInPlace(state, Original(), [mode](CDIBitmap& d) {
    return GL_CombineBitmapByMode(d, Source(), Alpha(), 0, 0, kWidth, kHeight, mode, 200);
  });
}
void BM_CombineBitmapByModeNormal(benchmark::State& state) { ByMode(state, kBlendNormal); }
BENCHMARK(BM_CombineBitmapByModeNormal)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_CombineBitmapByModeMultiply(benchmark::State& state) { ByMode(state, kBlendMultiply); }
BENCHMARK(BM_CombineBitmapByModeMultiply)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_CombineBitmapByModeScreen(benchmark::State& state) { ByMode(state, kBlendScreen); }
BENCHMARK(BM_CombineBitmapByModeScreen)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_CombineBitmapByModeDifference(benchmark::State& state) { ByMode(state, kBlendDifference); }
BENCHMARK(BM_CombineBitmapByModeDifference)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_CombineBitmapByModeColor(benchmark::State& state) { ByMode(state, kBlendColor); }
BENCHMARK(BM_CombineBitmapByModeColor)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_VividSetBitmapTransparency(benchmark::State& state) {
  RunInPlace(state, Alpha(), [](CDIBitmap& d) { return VividSetBitmapTransparency(d, 128); });
}
BENCHMARK(BM_VividSetBitmapTransparency)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SetAlphaValue(benchmark::State& state) {
  RunInPlace(state, Alpha(), [](CDIBitmap& d) { return SetAlphaValue(d, 0, 0, kWidth, kHeight, Alpha(), 0, 0, 128); });
}
BENCHMARK(BM_SetAlphaValue)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
