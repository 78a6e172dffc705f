// Dropping a floater: a 4000 x 3000 floater with a linear alpha ramp on the
// 6000 x 4000 24-bit noise picture at (1000, 500), Normal merge at 50 %
// transparency (opacity 255 - 50 x 255 div 100 = 128). The image and the
// floater are restored outside the timing before each iteration, so every
// run blends the same data. bench/defloat_peer makes the same two pictures
// for libvips and compares.
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench_support.h"
#include "document/vivid_doc.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"

namespace {

constexpr int kFloaterLeft = 1000;
constexpr int kFloaterTop = 500;
constexpr int kFloaterWidth = 4000;
constexpr int kFloaterHeight = 3000;
// The floater's noise starts from its own seed (bench/defloat_peer uses it).
constexpr uint32_t kFloaterSeed = 54321;

void FillNoise(CDIBitmap& bitmap, uint32_t seed) {
  for (int y = 0; y < bitmap.GetHeight(); ++y) {
    uint8_t* row = bitmap.RowPointer(y);
    for (int i = 0; i < bitmap.GetRowBytes(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      row[i] = static_cast<uint8_t>(seed >> 24);
    }
  }
}

void BM_Defloat(benchmark::State& state) {
  CDIBitmap picture, floater, alpha;
  picture.Create(bench::kWidth, bench::kHeight, 24, 0);
  bench::FillNoise(picture);
  floater.Create(kFloaterWidth, kFloaterHeight, 24, 0);
  FillNoise(floater, kFloaterSeed);
  // The ramp: level x x 256 div width across every row.
  alpha.Create(kFloaterWidth, kFloaterHeight, 8, 1);
  for (int y = 0; y < kFloaterHeight; ++y)
    for (int x = 0; x < kFloaterWidth; ++x) alpha.RowPointer(y)[x] = static_cast<uint8_t>(x * 256 / kFloaterWidth);

  CVividDoc document;
  document.GetImage().CopyFrom(picture);
  CVividView view(document);
  ToolSettings().floaterMergeMode = 0;
  ToolSettings().floaterTransparency = 50;
  document.SetSelectionRegion(platform::Region::FromRect(kFloaterLeft, kFloaterTop, kFloaterLeft + kFloaterWidth,
                                                         kFloaterTop + kFloaterHeight));
  const size_t bytes = static_cast<size_t>(picture.GetStride()) * picture.GetHeight();
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(document.GetImage().GetPixels(), picture.GetPixels(), bytes);
    document.FloaterImage().CopyFrom(floater);
    document.FloaterAlpha().CopyFrom(alpha);
    document.SetFloaterPresent(true);
    state.ResumeTiming();
    view.Defloat();
    benchmark::ClobberMemory();
  }
  document.SetFloaterPresent(false);
  state.SetBytesProcessed(state.iterations() * int64_t{kFloaterWidth} * kFloaterHeight * 3);
}
BENCHMARK(BM_Defloat)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
