// Throughput of the flood fills, the mask/region conversions and the region
// fills on 6000 x 4000 pictures. The fills run on deterministic random
// pictures with a tolerance that lets about four in five pixels match, so
// the filled area is one large component riddled with holes.
#include <benchmark/benchmark.h>

#include <cstring>

#include "image/dibitmap.h"
#include "image/services.h"
#include "imaging/fill.h"
#include "platform/region.h"
#include "bench_support.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

const CDIBitmap& Picture(int bitCount) {
  static CDIBitmap rgb, gray;
  CDIBitmap& image = bitCount == 24 ? rgb : gray;
  if (!image.IsAllocated()) {
    image.Create(kWidth, kHeight, bitCount, 1);
    bench::FillNoise(image);
  }
  return image;
}

void Done(benchmark::State& state, int bytesPerPixel) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * int64_t{kWidth} * kHeight * bytesPerPixel);
}

// A column of the middle row whose pixel lies within `tolerance` of the
// seed colour, so that the fill starts on a matching pixel.
int MatchingColumn(const CDIBitmap& source, uint32_t seed, int tolerance) {
  for (int x = kWidth / 2; x < kWidth; ++x) {
    const uint32_t c = source.GetPixelColor(kHeight / 2, x);
    bool near = true;
    for (int shift = 0; shift < 24; shift += 8) {
      const int d = static_cast<int>((c >> shift) & 255) - static_cast<int>((seed >> shift) & 255);
      near = near && d <= tolerance && -d <= tolerance;
    }
    if (near) return x;
  }
  return kWidth / 2;
}

template <typename Fill>
void RunFill(benchmark::State& state, int bitCount, int tolerance, uint32_t seed, Fill fill) {
  const CDIBitmap& source = Picture(bitCount);
  const int old = FillTolerance;
  FillTolerance = tolerance;
  CDIBitmap mask;
  GL_CreateGrayBitmap(mask, kWidth, kHeight);
  for (auto _ : state) {
    state.PauseTiming();
    std::memset(mask.GetPixels(), 0, static_cast<size_t>(mask.GetStride()) * kHeight);
    state.ResumeTiming();
    platform::Rect bounds;
    fill(source, mask, seed, bounds);
    benchmark::DoNotOptimize(bounds);
  }
  FillTolerance = old;
  Done(state, bitCount / 8);
}

void BM_OrderedFillMaskRGB(benchmark::State& state) {
  RunFill(state, 24, 120, 0x808080, [](const CDIBitmap& s, CDIBitmap& m, uint32_t seed, platform::Rect& b) {
    return OrderedFillMaskRGB(s, 0, 0, m, MatchingColumn(s, seed, 120), kHeight / 2, seed, b);
  });
}
BENCHMARK(BM_OrderedFillMaskRGB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OrderedFillMaskGray(benchmark::State& state) {
  RunFill(state, 8, 100, 128, [](const CDIBitmap& s, CDIBitmap& m, uint32_t seed, platform::Rect& b) {
    return OrderedFillMaskGray(s, 0, 0, m, kWidth / 2, kHeight / 2, seed, b);
  });
}
BENCHMARK(BM_OrderedFillMaskGray)->Unit(benchmark::kMillisecond)->UseRealTime();

// The mask the RGB fill leaves: many short runs per row.
const CDIBitmap& FilledMask() {
  static CDIBitmap mask;
  if (!mask.IsAllocated()) {
    const int old = FillTolerance;
    FillTolerance = 120;
    GL_CreateGrayBitmap(mask, kWidth, kHeight);
    platform::Rect bounds;
    OrderedFillMaskRGB(Picture(24), 0, 0, mask, MatchingColumn(Picture(24), 0x808080, 120), kHeight / 2, 0x808080,
                       bounds);
    FillTolerance = old;
  }
  return mask;
}

void BM_GetRgnFromBitmap(benchmark::State& state) {
  const CDIBitmap& mask = FilledMask();
  for (auto _ : state) {
    platform::Region region;
    GL_GetRgnFromBitmap(mask, region, nullptr);
    benchmark::DoNotOptimize(region);
  }
  Done(state, 1);
}
BENCHMARK(BM_GetRgnFromBitmap)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CreateMaskFromRgn(benchmark::State& state) {
  const platform::Region region = platform::Region::FromEllipse(0, 0, kWidth, kHeight);
  CDIBitmap mask;
  for (auto _ : state) {
    GL_CreateMaskFromRgn(mask, kWidth, kHeight, region);
    benchmark::ClobberMemory();
  }
  Done(state, 1);
}
BENCHMARK(BM_CreateMaskFromRgn)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FillRgn(benchmark::State& state) {
  const platform::Region region = platform::Region::FromEllipse(0, 0, kWidth, kHeight);
  CDIBitmap image;
  image.CopyFrom(Picture(24));
  for (auto _ : state) {
    GL_FillRgn(image, region, 0x336699);
    benchmark::ClobberMemory();
  }
  Done(state, 3);
}
BENCHMARK(BM_FillRgn)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
