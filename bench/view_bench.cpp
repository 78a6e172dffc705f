// The view's composer: a 1920 x 1080 client area showing a 12000 x 8000
// 24-bit image with a 4000 x 3000 floater (an elliptic outline, an alpha
// graded over its outer 64 pixels) present and the selection outline drawn.
// BM_ComposeView recomposes the whole client area at 1:1, 1:8 and 4:1;
// BM_OutlineTick advances the outline one frame and repaints what it marks.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "bench_document.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"

namespace {

constexpr int kImageWidth = 12000;
constexpr int kImageHeight = 8000;
constexpr platform::Rect kFloaterBox{3000, 2000, 7000, 5000};
constexpr int kFeather = 64;
constexpr int kClientWidth = 1920;
constexpr int kClientHeight = 1080;

// The document, made once: building and filling 288 MB takes a while.
CVividDoc& Document() {
  static std::unique_ptr<CVividDoc> document;
  if (document) return *document;
  document = bench::MakeNoiseDocument(kImageWidth, kImageHeight);

  // The floater as the floater commands leave it: pixels, a graded alpha,
  // the outline as the selection region, the mask installed.
  const int w = kFloaterBox.Width(), h = kFloaterBox.Height();
  CDIBitmap& floater = document->FloaterImage();
  floater.Create(w, h, 24, 0);
  bench::FillNoise(floater);
  CDIBitmap& alpha = document->FloaterAlpha();
  alpha.Create(w, h, 8, 1);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = alpha.RowPointer(y);
    for (int x = 0; x < w; ++x) {
      const int edge = std::min({x, y, w - 1 - x, h - 1 - y});
      row[x] = static_cast<uint8_t>(std::min(255, edge * 255 / kFeather));
    }
  }
  document->SetSelection(platform::Region::FromEllipse(0, 0, w, h), kFloaterBox);
  document->SetFloaterPresent(true);
  document->ApplySelectionToImage();
  return *document;
}

// A view at n:d with image point (3600, 3500), near the floater's left edge,
// in the middle, and its outline running.
std::unique_ptr<CVividView> MakeView(int n, int d) {
  auto view = std::make_unique<CVividView>(Document());
  view->SetClientSize(kClientWidth, kClientHeight);
  if (!view->SetZoom({n, d})) {
    // Beyond the Scale list (4:1 of 12000 pixels): the zoom tool's fit of a
    // dragged rectangle, 1920 / 480 = 400 %.
    ToolSettings().SelectTool(ViewTool::Zoom);
    const int dx = kClientWidth * d / n, dy = kClientHeight * d / n;
    view->OnPointerPress({0, 0}, PointerButton::Left, 0);
    view->OnPointerMove({dx, dy}, 0);
    view->OnPointerRelease({dx, dy}, PointerButton::Left, 0);
    ToolSettings().SelectTool(ViewTool::Zoom);
  }
  view->SetScroll(3600 * n / d - kClientWidth / 2, 3500 * n / d - kClientHeight / 2);
  view->StartOutline();
  return view;
}

void BM_ComposeView(benchmark::State& state, int n, int d) {
  const std::unique_ptr<CVividView> view = MakeView(n, d);
  if (view->Zoom() != ZoomRatio{n, d}) {
    state.SkipWithError("the zoom could not be set");
    return;
  }
  RgbImage out;
  view->Render(out);
  for (auto _ : state) {
    view->Render(out);
    benchmark::DoNotOptimize(out.pixels.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kClientWidth} * kClientHeight);
}
BENCHMARK_CAPTURE(BM_ComposeView, 1:1, 1, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ComposeView, 1:8, 1, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ComposeView, 4:1, 4, 1)->Unit(benchmark::kMillisecond);

void BM_OutlineTick(benchmark::State& state) {
  const std::unique_ptr<CVividView> view = MakeView(1, 1);
  RgbImage out;
  view->Render(out);
  view->TakeInvalidRegion();
  for (auto _ : state) {
    view->OnTimer(300);
    view->Render(out, view->TakeInvalidRegion());
    benchmark::DoNotOptimize(out.pixels.data());
  }
}
BENCHMARK(BM_OutlineTick)->Unit(benchmark::kMicrosecond);

}  // namespace
