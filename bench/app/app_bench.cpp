// The editor's window painting a 12000 x 8000 24-bit image in a 1920 x 1080
// view, measured through the widget as the window system asks for it: each
// iteration moves the view (scroll bar or zoom command) and repaints the
// viewport synchronously, so the figure holds the controller's composing,
// the conversion to the window's pixel format and the painter's copy.
// Runs on Qt's offscreen platform (its backing store is a plain image).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <cstdlib>
#include <memory>

#include "app/image_view_widget.h"
#include "app/main_window.h"
#include "bench_document.h"
#include "editing/operation_table.h"
#include "editing/vivid_view.h"
#include "platform/progress.h"
#include "platform/qt/qt_progress.h"

namespace {

constexpr int kImageWidth = 12000;
constexpr int kImageHeight = 8000;
constexpr int kClientWidth = 1920;
constexpr int kClientHeight = 1080;

CVividDoc& Document() {
  static const std::unique_ptr<CVividDoc> document = bench::MakeNoiseDocument(kImageWidth, kImageHeight);
  return *document;
}

// The view widget in a frame-like container that holds a 1920 x 1080
// viewport with both scroll bars: the widget never grows beyond it.
struct Window {
  std::unique_ptr<CVividView> view;
  std::unique_ptr<QWidget> room;
  app::ImageViewWidget* widget = nullptr;
  Window() : view(std::make_unique<CVividView>(Document())), room(std::make_unique<QWidget>()) {
    widget = new app::ImageViewWidget(*view, room.get());
    widget->SetTicking(false);
    room->resize(2400, 1600);
    widget->setGeometry(0, 0, 2200, 1400);
    room->show();
    QApplication::processEvents();
    widget->SyncFromView();
    const QSize chrome = widget->size() - widget->viewport()->size();
    const QSize size = QSize(kClientWidth, kClientHeight) + chrome;
    room->resize(size);
    widget->setGeometry(QRect(QPoint(0, 0), size));
    QApplication::processEvents();
    widget->viewport()->repaint();
  }
  bool Ready() const {
    return widget->viewport()->width() == kClientWidth && widget->viewport()->height() == kClientHeight;
  }
};

// Scrolling by a wheel notch's worth (a tenth of the view) down and right,
// back to the start after 20 steps, at the zoom n:d.
void BM_ScrollRepaint(benchmark::State& state, int n, int d) {
  Window w;
  if (!w.view->SetZoom({n, d})) {
    state.SkipWithError("the zoom could not be set");
    return;
  }
  w.widget->SyncFromView();
  if (!w.Ready()) {
    state.SkipWithError("the viewport is not 1920 x 1080");
    return;
  }
  QScrollBar* h = w.widget->horizontalScrollBar();
  QScrollBar* v = w.widget->verticalScrollBar();
  int step = 0;
  for (auto _ : state) {
    const int k = step++ % 20;
    h->setValue(k * kClientWidth / 10);
    v->setValue(k * kClientHeight / 10);
    w.widget->viewport()->repaint();
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kClientWidth} * kClientHeight);
}
BENCHMARK_CAPTURE(BM_ScrollRepaint, 1:1, 1, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ScrollRepaint, 1:4, 1, 4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ScrollRepaint, 2:1, 2, 1)->Unit(benchmark::kMillisecond);

// The same scrolling through the controller alone, for comparison: what
// the widget adds is the conversion and the painter's copy.
void BM_ScrollComposeOnly(benchmark::State& state) {
  CVividView view(Document());
  view.SetClientSize(kClientWidth, kClientHeight);
  RgbImage out;
  view.Render(out);
  int step = 0;
  for (auto _ : state) {
    const int k = step++ % 20;
    view.SetScroll(k * kClientWidth / 10, k * kClientHeight / 10);
    view.Render(out, view.TakeInvalidRegion());
  }
}
BENCHMARK(BM_ScrollComposeOnly)->Unit(benchmark::kMillisecond);

// Zoom In and Zoom Out in turn, each followed by the repaint, between 1:1
// and the next step up (and between 1:8 and its neighbour).
void BM_ZoomRepaint(benchmark::State& state, int n, int d) {
  Window w;
  if (!w.view->SetZoom({n, d})) {
    state.SkipWithError("the zoom could not be set");
    return;
  }
  w.widget->SyncFromView();
  if (!w.Ready()) {
    state.SkipWithError("the viewport is not 1920 x 1080");
    return;
  }
  bool in = true;
  for (auto _ : state) {
    w.view->RunCommand(in ? kCmdZoomIn : kCmdZoomOut, {});
    in = !in;
    w.widget->SyncFromView();
    w.widget->viewport()->repaint();
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kClientWidth} * kClientHeight);
}
BENCHMARK_CAPTURE(BM_ZoomRepaint, 1:1, 1, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ZoomRepaint, 1:8, 1, 8)->Unit(benchmark::kMillisecond);

// A filter over a 6000 x 4000 24-bit image run from the window's menu path
// (the view's RunEffect with the window's status bar as the progress sink
// and Qt's progress pump installed), then the events it left (the repaints
// of the view and the histogram) as the window's event loop would run them:
// the figure holds recording undo, the filter itself, the repaints and
// whatever reporting progress costs.
void BM_FilterInWindow(benchmark::State& state, const char* operationText) {
  app::MainWindow window;
  auto image = std::make_unique<CDIBitmap>();
  image->Create(6000, 4000, 24, 0);
  bench::FillNoise(*image);
  window.AddImageDocument(std::move(image), "bench");
  window.show();
  QApplication::processEvents();
  CVividView* view = window.ActiveView();
  std::string error;
  const std::optional<ParsedOperation> operation = ParseOperation(operationText, error);
  if (!view || !operation) {
    state.SkipWithError("no view or no operation");
    return;
  }
  platform::InstallQtProgressPump();
  for (auto _ : state) {
    if (view->RunEffect(*operation) != 1) state.SkipWithError("the effect failed");
    QApplication::processEvents();
  }
  platform::SetProgressPump(nullptr);
  state.SetItemsProcessed(state.iterations() * int64_t{6000} * 4000);
}
BENCHMARK_CAPTURE(BM_FilterInWindow, blur, "blur")->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK_CAPTURE(BM_FilterInWindow, invert, "invert-color")->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
