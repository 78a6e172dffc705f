// A full A4 page from a 3000 x 2000 photograph through the direct print
// paths (EPSON 360 / 720 dpi, DesignJet 300 / 600 dpi), fitted and centred
// as the command line lays it out, into a spooler that drops the bytes.
//
// BM_PrintPage: the whole job (the EPSON writer thread included); counter
//   pages_per_min.
// BM_PrintStages: the same page with every stage run in turn on one thread
//   and timed: rescale, separate, dither, and the stream's
//   pack + compress + send (the EPSON writer's work). Counters are seconds
//   per page; writer_share is send / (rescale + separate + dither): below 1
//   the writer finishes each band before the job thread has the next one,
//   so it is never the bottleneck.
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "bench_support.h"
#include "image/dibitmap.h"
#include "print/epson_stream.h"
#include "print/halftone.h"
#include "print/packbits.h"
#include "print/page_setup.h"
#include "print/print_pipeline.h"
#include "print/printer_types.h"
#include "print/rescale.h"
#include "print/rtl_stream.h"
#include "print/separation.h"

namespace {

class NullSpooler final : public print::Spooler {
 public:
  bool StartDocument(std::string_view) override { return true; }
  bool StartPage() override { return true; }
  bool EndPage() override { return true; }
  bool EndDocument() override { return true; }
  void AbortDocument() override {}
  int Write(const uint8_t*, size_t size, size_t& written) override {
    written = size;
    bytes += size;
    return 0;
  }
  std::string LastErrorText() const override { return {}; }
  size_t bytes = 0;
};

const CDIBitmap& Photo() {
  static CDIBitmap photo;
  if (!photo.IsAllocated()) {
    photo.Create(3000, 2000, 24, 0);
    bench::FillPhoto(photo);
    photo.SetResolution(300, 300);
  }
  return photo;
}

// The printer, page layout and page geometry the command line would use.
struct Page {
  print::PrinterInfo printer;
  print::PageLayout layout;
  print::PageGeometry geometry;
};
Page MakePage(int type, int dpi) {
  Page page;
  page.printer = print::DescribePrinter(type, dpi, 9);
  const print::PrinterInfo& p = page.printer;
  print::PrinterGeometry g{p.dpiX, p.dpiY, p.offsetX, p.offsetY, p.pageWidthDots, p.pageHeightDots,
                           p.printableWidthDots, p.printableHeightDots};
  print::Margins minimum;
  print::MinimumMargins(g, print::MarginUnit::Millimetre, minimum);
  print::PageSetup setup;
  setup.paperWidthTwips = static_cast<int>(p.pageWidthMm * 1440 / 25.4 + 0.5);
  setup.paperHeightTwips = static_cast<int>(p.pageHeightMm * 1440 / 25.4 + 0.5);
  const auto u = print::MarginUnit::Millimetre;
  setup.marginsTwips = {print::MarginToTwips(minimum.left, u), print::MarginToTwips(minimum.top, u),
                        print::MarginToTwips(minimum.right, u), print::MarginToTwips(minimum.bottom, u)};
  print::ComputePageLayout(setup, {3000, 2000, 300, 300}, page.layout);
  page.geometry = print::ComputePageGeometry(p, print::kDirectVerticalUnits, page.layout);
  return page;
}

void BM_PrintPage(benchmark::State& state) {
  const int type = static_cast<int>(state.range(0)), dpi = static_cast<int>(state.range(1));
  const Page page = MakePage(type, dpi);
  print::PrintSettings settings;
  settings.printerType = type;
  NullSpooler spooler;
  for (auto _ : state) {
    if (print::PrintJobDirect(spooler, settings, page.printer, page.layout, Photo()) != 0) {
      state.SkipWithError("the job failed");
      break;
    }
  }
  state.counters["pages_per_min"] =
      benchmark::Counter(60.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["stream_MB"] = static_cast<double>(spooler.bytes) / 1e6 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PrintPage)
    ->Args({print::kPrinterEpson, 360})
    ->Args({print::kPrinterEpson, 720})
    ->Args({print::kPrinterDesignJet, 300})
    ->Args({print::kPrinterDesignJet, 600})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

void BM_PrintStages(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  const int type = static_cast<int>(state.range(0)), dpi = static_cast<int>(state.range(1));
  const Page page = MakePage(type, dpi);
  const platform::Rect visible = print::VisibleRect(page.geometry.dest, page.geometry.clip);
  const int w = visible.Width(), band = print::DirectBandHeight(w), lo = visible.left;
  print::Rescaler rescaler;
  rescaler.Init(Photo(), {0, 0, 3000, 2000}, page.geometry.dest.Width(), page.geometry.dest.Height(),
                visible.left - page.geometry.dest.left, w);
  CDIBitmap rows;
  rows.Create(w, band + 1, 24, 0);
  std::vector<uint8_t> store(static_cast<size_t>(w) * (band + 1) * 4);
  uint8_t* planes[4];
  for (int c = 0; c < 4; ++c) planes[c] = store.data() + static_cast<size_t>(w) * (band + 1) * c;
  print::HalftoneState halftone;
  halftone.Allocate(w, band);
  const print::SeparationCurves curves;
  std::vector<uint8_t> line(w + lo + 4), packed((w + lo + 7) / 8 + 4),
      compressed(print::CompressedBound(print::PackedSize(w + lo)) + 32);
  double seconds[4] = {};
  NullSpooler spooler;
  for (auto _ : state) {
    print::EpsonStream epson(spooler);
    print::RtlStream rtl(spooler);
    if (type == print::kPrinterEpson) epson.StartPage(dpi, page.printer.pageHeightMm, visible.top);
    else rtl.StartPage(dpi, page.printer.pageWidthMm, page.printer.pageHeightMm, visible.top);
    for (int top = visible.top; top < visible.bottom; top += band) {
      const int n = std::min(band, visible.bottom - top);
      auto t0 = Clock::now();
      rescaler.RescaleRows(top - page.geometry.dest.top, n + 1, rows);
      auto t1 = Clock::now();
      print::SeparateBand(rows, planes, w, n + 1, false, false, curves, nullptr);
      auto t2 = Clock::now();
      print::DitherBand(halftone, planes, top, w, n);
      auto t3 = Clock::now();
      if (type == print::kPrinterDesignJet) rtl.BeginBand(w + lo, n);
      for (int j = 0; j < n; ++j) {
        const uint8_t* r[4];
        for (int c = 0; c < 4; ++c) r[c] = planes[c] + static_cast<size_t>(j) * w;
        if (type == print::kPrinterEpson)
          epson.WriteRasterLine(r, w, lo, line.data(), packed.data(), compressed.data());
        else
          rtl.WriteRasterRow(r, w, lo, line.data(), packed.data(), compressed.data());
      }
      if (type == print::kPrinterDesignJet) rtl.EndBand();
      auto t4 = Clock::now();
      seconds[0] += std::chrono::duration<double>(t1 - t0).count();
      seconds[1] += std::chrono::duration<double>(t2 - t1).count();
      seconds[2] += std::chrono::duration<double>(t3 - t2).count();
      seconds[3] += std::chrono::duration<double>(t4 - t3).count();
    }
    if (type == print::kPrinterEpson) epson.EndPage();
    else rtl.EndPage(false);
  }
  const double pages = static_cast<double>(state.iterations());
  state.counters["rescale_s"] = seconds[0] / pages;
  state.counters["separate_s"] = seconds[1] / pages;
  state.counters["dither_s"] = seconds[2] / pages;
  state.counters["send_s"] = seconds[3] / pages;
  state.counters["writer_share"] = seconds[3] / (seconds[0] + seconds[1] + seconds[2]);
  state.counters["width"] = w;
  state.counters["rows"] = visible.Height();
}
BENCHMARK(BM_PrintStages)
    ->Args({print::kPrinterEpson, 360})
    ->Args({print::kPrinterEpson, 720})
    ->Args({print::kPrinterDesignJet, 300})
    ->Args({print::kPrinterDesignJet, 600})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

}  // namespace
