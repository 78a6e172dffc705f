// Throughput of the geometry operations on a 6000 x 4000 picture, 24-bit
// (BM_Name) and 8-bit gray (BM_NameGray).
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

// A deterministic picture so that every run touches the same data.
const CDIBitmap& Picture(int bits = 24) {
  static CDIBitmap rgb, gray;
  CDIBitmap& image = bits == 24 ? rgb : gray;
  if (!image.IsAllocated()) {
    image.Create(kWidth, kHeight, bits, bits == 24 ? 0 : 1);
    bench::FillNoise(image);
  }
  return image;
}

// Runs `op` on a copy of the picture; `fresh` restores the copy before each
// iteration, outside the timing.
void Run(benchmark::State& state, bool fresh, const std::function<int(CDIBitmap&)>& op, int bits = 24) {
  CDIBitmap image;
  image.CopyFrom(Picture(bits));
  for (auto _ : state) {
    if (fresh) {
      state.PauseTiming();
      image.CopyFrom(Picture(bits));
      state.ResumeTiming();
    }
    if (op(image) != 1) state.SkipWithError("operation failed");
    benchmark::DoNotOptimize(image.GetPixels());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * int64_t{Picture(bits).GetRowBytes()} * kHeight);
}

// A benchmark of the 24-bit picture and its twin on the gray one.
#define GEOMETRY_BENCH(name, fresh, op)                                              \
  void BM_##name(benchmark::State& state) { Run(state, fresh, op); }                 \
  BENCHMARK(BM_##name)->Unit(benchmark::kMillisecond);                               \
  void BM_##name##Gray(benchmark::State& state) { Run(state, fresh, op, 8); }        \
  BENCHMARK(BM_##name##Gray)->Unit(benchmark::kMillisecond)

GEOMETRY_BENCH(Rotate90, false, GL_Rotate90);

GEOMETRY_BENCH(Rotate180, false, GL_Rotate180);

GEOMETRY_BENCH(Rotate270, false, GL_Rotate270);

GEOMETRY_BENCH(FlipHorizontal, false, [](CDIBitmap& b) { return GL_FlipBitmap(b, 0); });

GEOMETRY_BENCH(FlipVertical, false, [](CDIBitmap& b) { return GL_FlipBitmap(b, 1); });

// Halving: every result pixel the mean of a 2 x 2 block.
GEOMETRY_BENCH(ResizeShrink, true, [](CDIBitmap& b) { return GL_ResizeBitmap(b, kWidth / 2, kHeight / 2); });

// Enlarging by 1.25 with linear interpolation.
GEOMETRY_BENCH(ResizeEnlarge, true, [](CDIBitmap& b) { return GL_ResizeBitmap(b, kWidth * 5 / 4, kHeight * 5 / 4); });

void BM_ScaleNearest(benchmark::State& state) {
  CDIBitmap target;
  target.Create(kWidth / 2, kHeight / 2, 24, 0);
  std::memset(target.GetPixels(), 1, static_cast<size_t>(target.GetStride()) * target.GetHeight());
  for (auto _ : state) {
    GL_ScaleNearest(Picture(), target);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * (int64_t{kWidth} * 3 * kHeight));
}
BENCHMARK(BM_ScaleNearest)->Unit(benchmark::kMillisecond);

GEOMETRY_BENCH(RotateBitmap, true, [](CDIBitmap& b) { return GL_RotateBitmap(b, 1500, 1); });

GEOMETRY_BENCH(ShearBitmap, true, [](CDIBitmap& b) { return GL_ShearBitmap(b, 2000, 0); });

GEOMETRY_BENCH(CanvasSize, true, [](CDIBitmap& b) { return GL_CanvasSize(b, kWidth + 200, kHeight + 200, 5, 0xFFFFFF); });

GEOMETRY_BENCH(Crop, true, [](CDIBitmap& b) { return GL_CropBitmap(b, 1000, 1000, 3000, 2000); });

}  // namespace
