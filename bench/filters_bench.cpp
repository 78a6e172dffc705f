// Throughput of the neighbourhood filters on a 6000 x 4000 picture, 24-bit
// (BM_Name) and 8-bit gray (BM_NameGray). Every iteration filters a fresh
// copy of the same deterministic picture (the copy is not timed). Peer
// command lines are in peers.d/filters.tsv.
#include <benchmark/benchmark.h>

#include <cstring>
#include <functional>

#include "image/dibitmap.h"
#include "imaging/filters.h"
#include "bench_support.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

const CDIBitmap& Picture(int bits) {
  static CDIBitmap rgb, gray;
  CDIBitmap& image = bits == 24 ? rgb : gray;
  if (!image.IsAllocated()) {
    image.Create(kWidth, kHeight, bits, bits == 24 ? 0 : 1);
    bench::FillNoise(image);
  }
  return image;
}

void Run(benchmark::State& state, int bits, const std::function<int(CDIBitmap&)>& filter) {
  const CDIBitmap& source = Picture(bits);
  CDIBitmap target;
  target.CopyFrom(source);  // touches every page before timing starts
  const size_t bytes = static_cast<size_t>(source.GetStride()) * kHeight;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(target.GetPixels(), source.GetPixels(), bytes);
    state.ResumeTiming();
    if (filter(target) != 1) state.SkipWithError("filter failed");
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * int64_t{source.GetRowBytes()} * kHeight);
}

#define FILTER_BENCH(name, call)                                                     \
  void BM_##name(benchmark::State& state) {                                         \
    Run(state, 24, [](CDIBitmap& image) { return call; });                          \
  }                                                                                  \
  BENCHMARK(BM_##name)->Unit(benchmark::kMillisecond)->UseRealTime();               \
  void BM_##name##Gray(benchmark::State& state) {                                   \
    Run(state, 8, [](CDIBitmap& image) { return call; });                           \
  }                                                                                  \
  BENCHMARK(BM_##name##Gray)->Unit(benchmark::kMillisecond)->UseRealTime()

FILTER_BENCH(Blur, GL_BlurBitmap(image));
FILTER_BENCH(SharpenMore, GL_SharpenMoreBitmap(image));
FILTER_BENCH(EdgeFilter, GL_EdgeFilter(image, 16));
FILTER_BENCH(EdgeEnhance, GL_EdgeEnhance(image, 0, 127));
FILTER_BENCH(Emboss, GL_Emboss(image, 0, 64));
FILTER_BENCH(AverageFilter, GL_AverageFilter(image, 5, 0));
FILTER_BENCH(MedianFilter, GL_MedianFilter(image, 3, 0));
FILTER_BENCH(MinimumFilter, GL_MinimumFilter(image, 3, 0));
FILTER_BENCH(MaximumFilter, GL_MaximumFilter(image, 3, 0));
FILTER_BENCH(Despeckle, GL_Despeckle(image, 3, 0));
FILTER_BENCH(UnsharpMask, GL_UnsharpMask(image, 250, 2, 2, 0));
FILTER_BENCH(GaussianBlur, GL_GaussianBlur(image, 2.0));
FILTER_BENCH(AddNoise, GL_AddNoise(image, 0, 500));
FILTER_BENCH(Mosaic, GL_Mosaic(image, 8, 0));
FILTER_BENCH(Posterize, GL_Posterize(image, 4));
FILTER_BENCH(Solarize, GL_Solarize(image, 128));
FILTER_BENCH(Dilate, GL_Dilate(image, 0, 0, 0));
FILTER_BENCH(Erode, GL_Erode(image, 255, 255, 0));

}  // namespace
