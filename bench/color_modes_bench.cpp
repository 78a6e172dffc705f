// Throughput of the colour-mode conversions on a 6000 x 4000 picture of
// deterministic random colours (24-bit, or CMYK for the conversion back to
// RGB). In-place commands get a fresh copy of the picture before every run
// (outside the timing); the building blocks fill a target made once.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "image/color_modes.h"
#include "image/dibitmap.h"
#include "image/services.h"
#include "bench_support.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

const CDIBitmap& Master(int bitCount) {
  static CDIBitmap rgb, cmyk;
  CDIBitmap& image = bitCount == 24 ? rgb : cmyk;
  if (!image.IsAllocated()) {
    image.Create(kWidth, kHeight, bitCount, 3);
    bench::FillNoise(image);
  }
  return image;
}

void Touch(CDIBitmap& image) {
  std::memset(image.GetPixels(), 0, static_cast<size_t>(image.GetStride()) * image.GetHeight());
}

void Done(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * int64_t{kWidth} * kHeight * 3);
}

// An in-place command on a fresh copy of the picture each run.
template <typename Op>
void RunInPlace(benchmark::State& state, int bitCount, Op op) {
  const CDIBitmap& master = Master(bitCount);
  CDIBitmap image;
  for (auto _ : state) {
    state.PauseTiming();
    image.CopyFrom(master);
    state.ResumeTiming();
    if (op(image) != 1) state.SkipWithError("conversion failed");
    benchmark::ClobberMemory();
  }
  Done(state);
}

// A building block filling a target created (and touched) once.
template <typename Make, typename Op>
void RunInto(benchmark::State& state, int bitCount, Make make, Op op) {
  const CDIBitmap& master = Master(bitCount);
  CDIBitmap target;
  make(target);
  Touch(target);
  for (auto _ : state) {
    if (op(target, master) != 1) state.SkipWithError("conversion failed");
    benchmark::ClobberMemory();
  }
  Done(state);
}

auto MakeMono = [](CDIBitmap& t) { GL_CreateIndexedBitmap(t, kWidth, kHeight, 1, nullptr); };
auto MakeIndexed = [](CDIBitmap& t) { GL_CreateIndexedBitmap(t, kWidth, kHeight, 8, nullptr); };

void BM_ConvertToGray(benchmark::State& s) { RunInPlace(s, 24, GL_ConvertToGray); }
BENCHMARK(BM_ConvertToGray)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ConvertToCMYK(benchmark::State& s) { RunInPlace(s, 24, GL_ConvertImageToCMYK); }
BENCHMARK(BM_ConvertToCMYK)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ConvertToRGBFromCMYK(benchmark::State& s) {
  RunInto(
      s, 32, [](CDIBitmap& t) { GL_CreateRGBBitmap(t, kWidth, kHeight); },
      [](CDIBitmap& t, const CDIBitmap& m) { return GL_ConvertToRGB(t, m); });
}
BENCHMARK(BM_ConvertToRGBFromCMYK)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ConvertToBWNone(benchmark::State& s) {
  RunInto(s, 24, MakeMono, [](CDIBitmap& t, const CDIBitmap& m) { return GL_ConvertToBW(t, m, kDitherNone); });
}
BENCHMARK(BM_ConvertToBWNone)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ConvertToBWOrdered(benchmark::State& s) {
  RunInto(s, 24, MakeMono, [](CDIBitmap& t, const CDIBitmap& m) { return GL_ConvertToBW(t, m, kDitherOrdered); });
}
BENCHMARK(BM_ConvertToBWOrdered)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ConvertToBWDiffusion(benchmark::State& s) {
  RunInto(s, 24, MakeMono, [](CDIBitmap& t, const CDIBitmap& m) { return GL_ConvertToBW(t, m, kDitherDiffusion); });
}
BENCHMARK(BM_ConvertToBWDiffusion)->Unit(benchmark::kMillisecond)->UseRealTime();

template <PaletteChoice P, DitherMode D>
void BM_ConvertToIndexed(benchmark::State& s) {
  RunInto(s, 24, MakeIndexed, [](CDIBitmap& t, const CDIBitmap& m) { return GL_ConvertToIndexed(t, m, P, D); });
}
void BM_ConvertToIndexedAdaptiveNone(benchmark::State& s) { BM_ConvertToIndexed<kPaletteAdaptive, kDitherNone>(s); }
void BM_ConvertToIndexedAdaptiveOrdered(benchmark::State& s) {
  BM_ConvertToIndexed<kPaletteAdaptive, kDitherOrdered>(s);
}
void BM_ConvertToIndexedAdaptiveDiffusion(benchmark::State& s) {
  BM_ConvertToIndexed<kPaletteAdaptive, kDitherDiffusion>(s);
}
void BM_ConvertToIndexedNetscapeNone(benchmark::State& s) { BM_ConvertToIndexed<kPaletteNetscape, kDitherNone>(s); }
void BM_ConvertToIndexedSystemOrdered(benchmark::State& s) { BM_ConvertToIndexed<kPaletteSystem, kDitherOrdered>(s); }
BENCHMARK(BM_ConvertToIndexedAdaptiveNone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertToIndexedAdaptiveOrdered)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertToIndexedAdaptiveDiffusion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertToIndexedNetscapeNone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertToIndexedSystemOrdered)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MergePlanes(benchmark::State& state) {
  std::vector<CDIBitmap> planes(3);
  for (CDIBitmap& plane : planes) {
    GL_CreateGrayBitmap(plane, kWidth, kHeight);
    std::memset(plane.GetPixels(), 7, static_cast<size_t>(plane.GetStride()) * kHeight);
  }
  const CDIBitmap* list[] = {&planes[0], &planes[1], &planes[2]};
  CDIBitmap merged;
  for (auto _ : state) {
    if (GL_MergePlanes(merged, list) != 1) state.SkipWithError("merge failed");
    benchmark::ClobberMemory();
  }
  Done(state);
}
BENCHMARK(BM_MergePlanes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
