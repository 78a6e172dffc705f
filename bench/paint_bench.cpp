// The paint engine on the 6000 x 4000 picture: laying the dabs of a stroke
// (a size-100 round brush, softness 50, 1000 dabs 20 pixels apart along a
// zigzag), committing that stroke's cells against a plain copy of the same
// cells out and back, and the Flood Fill tool end to end (tolerance 32 on
// the photograph-like picture, undo record included).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "bench_support.h"
#include "document/vivid_doc.h"
#include "editing/stroke_engine.h"
#include "editing/tool_settings.h"
#include "imaging/combine.h"
#include "editing/vivid_view.h"

namespace {

constexpr int kDabs = 1000;

BrushSettings StrokeBrush() {
  BrushSettings brush;
  brush.shape = 1;
  brush.size = 100;
  brush.softness = 50;
  return brush;
}

// 1000 dab centres 20 pixels apart, in rows of 250 across the picture.
std::vector<platform::Point> DabPoints() {
  std::vector<platform::Point> points;
  for (int k = 0; k < kDabs; ++k) points.push_back({100 + (k % 250) * 20 + (k / 250) * 5, 400 + (k / 250) * 900});
  return points;
}

void BM_PaintStroke(benchmark::State& state) {
  const std::vector<platform::Point> points = DabPoints();
  BrushStroke stroke;
  for (auto _ : state) {
    stroke.Begin(StrokeBrush(), bench::kWidth, bench::kHeight);
    for (const platform::Point& p : points) stroke.LayDab(p.x, p.y);
    benchmark::DoNotOptimize(stroke.StrokeRect());
  }
  state.SetItemsProcessed(state.iterations() * kDabs);
}
BENCHMARK(BM_PaintStroke)->Unit(benchmark::kMillisecond);

// The stroke laid once, its image and cell rectangles.
struct StrokeFixture {
  CDIBitmap image;
  BrushStroke stroke;
  StrokeFixture() {
    image.CopyFrom(bench::PhotoPicture(24));
    stroke.Begin(StrokeBrush(), bench::kWidth, bench::kHeight);
    for (const platform::Point& p : DabPoints()) stroke.LayDab(p.x, p.y);
  }
};

StrokeFixture& Fixture() {
  static StrokeFixture fixture;
  return fixture;
}

void BM_CommitStroke(benchmark::State& state) {
  StrokeFixture& f = Fixture();
  StrokeSource source;
  source.colour = 0x3080C0;
  for (auto _ : state) {
    CellCommitter committer(f.image, f.stroke.Plane(), {0, 0}, source, {kBlendNormal, 200, true}, std::nullopt);
    benchmark::DoNotOptimize(committer.CommitAll());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(f.stroke.Plane().TouchedCells().size()));
}
BENCHMARK(BM_CommitStroke)->Unit(benchmark::kMillisecond);

// The floor a commit is measured against: each touched cell copied out of
// the image into a cell bitmap and written back.
void BM_CopyTouchedCells(benchmark::State& state) {
  StrokeFixture& f = Fixture();
  const auto cells = f.stroke.Plane().TouchedCells();
  for (auto _ : state) {
    for (const auto& [cx, cy] : cells) {
      const platform::Rect r = f.stroke.Plane().CellRect(cx, cy);
      CDIBitmap cell;
      cell.CopyRect(f.image, r.left, r.top, r.Width(), r.Height(), 0);
      for (int y = 0; y < r.Height(); ++y) f.image.PutRowPart(cell.RowPointer(y), r.top + y, r.left, r.Width());
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(cells.size()));
}
BENCHMARK(BM_CopyTouchedCells)->Unit(benchmark::kMillisecond);

// The Flood Fill tool at the picture's centre: fill, region, undo record,
// commit. The picture is restored between runs outside the clock.
void BM_FloodFill(benchmark::State& state) {
  const CDIBitmap& picture = bench::PhotoPicture(24);
  CVividDoc document;
  document.GetImage().CopyFrom(picture);
  CVividView view(document);
  view.SetClientSize(bench::kWidth, bench::kHeight);
  ToolSettings() = CToolSettings{};
  ToolSettings().SelectTool(ViewTool::FloodFill);
  ToolSettings().fillTolerance = 32;
  ToolSettings().foreground = 0x0000FF;
  const platform::Point seed{bench::kWidth / 2, bench::kHeight / 2};  // the view shows the picture at 1:1
  const size_t bytes = static_cast<size_t>(picture.GetStride()) * picture.GetHeight();
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(document.GetImage().GetPixels(), picture.GetPixels(), bytes);
    state.ResumeTiming();
    view.OnPointerPress(seed, PointerButton::Left, 0);
    view.OnPointerRelease(seed, PointerButton::Left, 0);
    benchmark::ClobberMemory();
  }
  ToolSettings() = CToolSettings{};
  // How many pixels the last fill took (compared with the peer's area).
  int64_t filled = 0;
  for (int y = 0; y < bench::kHeight; ++y)
    for (int x = 0; x < bench::kWidth; ++x) filled += document.GetImage().GetPixelColor(y, x) == 0x0000FF;
  state.counters["filled"] = static_cast<double>(filled);
  state.SetBytesProcessed(state.iterations() * int64_t{bench::kWidth} * bench::kHeight * 3);
}
BENCHMARK(BM_FloodFill)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
