// Throughput of the geometry operations on a 6000 x 4000 24-bit picture.
// Operations whose result has the source's shape run again and again on the
// same object; the others start each iteration from a fresh copy (not timed).
#include <benchmark/benchmark.h>

#include <cstring>
#include <functional>

#include "image/dibitmap.h"
#include "image/services.h"
#include "imaging/geometry.h"
#include "bench_support.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int64_t kImageBytes = int64_t{kWidth} * 3 * kHeight;

// A deterministic picture so that every run touches the same data.
const CDIBitmap& Picture() {
  static CDIBitmap image;
  if (!image.IsAllocated()) {
    image.Create(kWidth, kHeight, 24, 0);
    bench::FillNoise(image);
  }
  return image;
}

// Runs `op` on a copy of the picture; `fresh` restores the copy before each
// iteration, outside the timing.
void Run(benchmark::State& state, bool fresh, const std::function<int(CDIBitmap&)>& op) {
  CDIBitmap image;
  image.CopyFrom(Picture());
  for (auto _ : state) {
    if (fresh) {
      state.PauseTiming();
      image.CopyFrom(Picture());
      state.ResumeTiming();
    }
    if (op(image) != 1) state.SkipWithError("operation failed");
    benchmark::DoNotOptimize(image.GetPixels());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kImageBytes);
}

void BM_Rotate90(benchmark::State& state) { Run(state, false, GL_Rotate90); }
BENCHMARK(BM_Rotate90)->Unit(benchmark::kMillisecond);

void BM_Rotate180(benchmark::State& state) { Run(state, false, GL_Rotate180); }
BENCHMARK(BM_Rotate180)->Unit(benchmark::kMillisecond);

void BM_Rotate270(benchmark::State& state) { Run(state, false, GL_Rotate270); }
BENCHMARK(BM_Rotate270)->Unit(benchmark::kMillisecond);

void BM_FlipHorizontal(benchmark::State& state) {
  Run(state, false, [](CDIBitmap& b) { return GL_FlipBitmap(b, 0); });
}
BENCHMARK(BM_FlipHorizontal)->Unit(benchmark::kMillisecond);

void BM_FlipVertical(benchmark::State& state) {
  Run(state, false, [](CDIBitmap& b) { return GL_FlipBitmap(b, 1); });
}
BENCHMARK(BM_FlipVertical)->Unit(benchmark::kMillisecond);

// Halving: every result pixel the mean of a 2 x 2 block.
void BM_ResizeShrink(benchmark::State& state) {
  Run(state, true, [](CDIBitmap& b) { return GL_ResizeBitmap(b, kWidth / 2, kHeight / 2); });
}
BENCHMARK(BM_ResizeShrink)->Unit(benchmark::kMillisecond);

// Enlarging by 1.25 with linear interpolation.
void BM_ResizeEnlarge(benchmark::State& state) {
  Run(state, true, [](CDIBitmap& b) { return GL_ResizeBitmap(b, kWidth * 5 / 4, kHeight * 5 / 4); });
}
BENCHMARK(BM_ResizeEnlarge)->Unit(benchmark::kMillisecond);

void BM_ScaleNearest(benchmark::State& state) {
  CDIBitmap target;
  target.Create(kWidth / 2, kHeight / 2, 24, 0);
  std::memset(target.GetPixels(), 1, static_cast<size_t>(target.GetStride()) * target.GetHeight());
  for (auto _ : state) {
    GL_ScaleNearest(Picture(), target);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kImageBytes);
}
BENCHMARK(BM_ScaleNearest)->Unit(benchmark::kMillisecond);

void BM_RotateBitmap(benchmark::State& state) {
  Run(state, true, [](CDIBitmap& b) { return GL_RotateBitmap(b, 1500, 1); });
}
BENCHMARK(BM_RotateBitmap)->Unit(benchmark::kMillisecond);

void BM_ShearBitmap(benchmark::State& state) {
  Run(state, true, [](CDIBitmap& b) { return GL_ShearBitmap(b, 2000, 0); });
}
BENCHMARK(BM_ShearBitmap)->Unit(benchmark::kMillisecond);

void BM_CanvasSize(benchmark::State& state) {
  Run(state, true, [](CDIBitmap& b) { return GL_CanvasSize(b, kWidth + 200, kHeight + 200, 5, 0xFFFFFF); });
}
BENCHMARK(BM_CanvasSize)->Unit(benchmark::kMillisecond);

void BM_Crop(benchmark::State& state) {
  Run(state, true, [](CDIBitmap& b) { return GL_CropBitmap(b, 1000, 1000, 3000, 2000); });
}
BENCHMARK(BM_Crop)->Unit(benchmark::kMillisecond);

}  // namespace
