// The effect preview after a parameter change: a 1920 x 1080 client area at
// 1:1 over a 12000 x 8000 24-bit image. Each iteration changes the
// parameters (the old blocks are abandoned) and renders, which computes the
// visible blocks: Gaussian Blur (radius 2) and Median (size 5).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench_document.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"

namespace {

CVividDoc& Document() {
  static const std::unique_ptr<CVividDoc> document = bench::MakeNoiseDocument(12000, 8000);
  return *document;
}

ParsedOperation Operation(const std::string& text) {
  std::string error;
  return *ParseOperation(text, error);
}

// Every iteration sets the parameters anew (the same ones, so each costs
// alike): the grid is rebuilt and the visible blocks computed again.
void PreviewAfterChange(benchmark::State& state, const std::string& text) {
  CVividView view(Document());
  view.SetClientSize(1920, 1080);
  view.SetScroll(4000, 3000);
  const ParsedOperation operation = Operation(text);
  view.OpenPreview(operation);
  RgbImage out;
  for (auto _ : state) {
    view.UpdatePreview(operation);
    view.Render(out);
    benchmark::DoNotOptimize(out.pixels.data());
  }
  view.PreviewCancel();
}

void BM_PreviewGaussianBlur(benchmark::State& state) { PreviewAfterChange(state, "gaussian-blur:2"); }
void BM_PreviewMedian5(benchmark::State& state) { PreviewAfterChange(state, "median:5"); }

BENCHMARK(BM_PreviewGaussianBlur)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PreviewMedian5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
