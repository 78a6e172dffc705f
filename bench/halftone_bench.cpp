// Throughput of the direct print path's per-band stages on a 5952 x 240
// band (an A4 page width at 720 dpi): CMYK separation by curves and by the
// RGB->CMYK grid, and the halftoning of four planes. Pixels per second
// count band pixels (the halftoning handles four planes of each).
#include <benchmark/benchmark.h>

#include <algorithm>

#include <cstring>
#include <memory>
#include <vector>

#include "bench_support.h"
#include "image/dibitmap.h"
#include "print/halftone.h"
#include "print/separation.h"

namespace {

constexpr int kBandWidth = 5952;
constexpr int kBandRows = 240;

// The band bitmap, W x (B + 1) like the print loop's, photograph-like.
const CDIBitmap& Band() {
  static CDIBitmap band;
  if (!band.IsAllocated()) {
    band.Create(kBandWidth, kBandRows + 1, 24, 0);
    bench::FillPhoto(band);
  }
  return band;
}

struct PlaneSet {
  PlaneSet() {
    for (int p = 0; p < 4; ++p) {
      storage[p].assign(static_cast<size_t>(kBandWidth) * (kBandRows + 1), 0);
      pointers[p] = storage[p].data();
    }
  }
  std::vector<uint8_t> storage[4];
  uint8_t* pointers[4];
};

void BM_SeparateBandCurves(benchmark::State& state) {
  PlaneSet planes;
  const print::SeparationCurves curves;
  for (auto _ : state) {
    print::SeparateBand(Band(), planes.pointers, kBandWidth, kBandRows + 1, false, state.range(0), curves, nullptr);
    benchmark::DoNotOptimize(planes.storage[0].data());
  }
  state.SetItemsProcessed(state.iterations() * kBandWidth * (kBandRows + 1));
}
BENCHMARK(BM_SeparateBandCurves)->Arg(0)->Arg(1)->ArgName("flip")->Unit(benchmark::kMillisecond);

void BM_SeparateBandGrid(benchmark::State& state) {
  PlaneSet planes;
  auto grid = std::make_unique<print::SeparationGrid>();
  print::BuildSeparationGrid(
      *grid,
      [](const uint8_t rgb[3], uint8_t cmyk[4]) {
        const int k = 255 - std::max({rgb[0], rgb[1], rgb[2]});
        for (int c = 0; c < 3; ++c) cmyk[c] = static_cast<uint8_t>(255 - rgb[c] - k);
        cmyk[3] = static_cast<uint8_t>(k);
      },
      nullptr);
  const print::SeparationCurves curves;
  for (auto _ : state) {
    print::SeparateBand(Band(), planes.pointers, kBandWidth, kBandRows + 1, false, false, curves, grid.get());
    benchmark::DoNotOptimize(planes.storage[0].data());
  }
  state.SetItemsProcessed(state.iterations() * kBandWidth * (kBandRows + 1));
}
BENCHMARK(BM_SeparateBandGrid)->Unit(benchmark::kMillisecond);

// Four planes separated once; each run halftones a fresh copy (copied
// outside the timing) as the next band of the page. DitherBand uses two
// threads when VIVID_THREADS (or the core count) allows: the time is wall
// time and the CPU time that of the whole process, both threads together.
void BM_DitherBand(benchmark::State& state) {
  PlaneSet source, planes;
  print::SeparateBand(Band(), source.pointers, kBandWidth, kBandRows + 1, false, false, print::SeparationCurves(),
                      nullptr);
  print::HalftoneState halftone;
  halftone.Allocate(kBandWidth, kBandRows);
  int top = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (int p = 0; p < 4; ++p) planes.storage[p] = source.storage[p];
    state.ResumeTiming();
    print::DitherBand(halftone, planes.pointers, top, kBandWidth, kBandRows);
    top += kBandRows;
    benchmark::DoNotOptimize(planes.storage[0].data());
  }
  state.SetItemsProcessed(state.iterations() * kBandWidth * kBandRows);
}
BENCHMARK(BM_DitherBand)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
