#include "app/dot_preview.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <bit>
#include <cmath>

#include "image/dibitmap.h"
#include "image/result_codes.h"
#include "platform/messages.h"
#include "print/print_pipeline.h"
#include "print/spooler.h"

namespace app {

bool RenderDotPage(const print::PrintJob& job, const CDIBitmap& image, DotPage& page) {
  page = {};
  const print::PrintSettings& settings = job.settings;
  if (!settings.printToPort ||
      (settings.printerType != print::kPrinterEpson && settings.printerType != print::kPrinterDesignJet)) {
    page.error = "The dot preview shows the EPSON and DesignJet printers only.";
    return false;
  }
  // The layout as PrintImage computes it.
  print::ImageFacts facts{image.GetWidth(), image.GetHeight(), image.GetXResolution(), image.GetYResolution()};
  if (facts.dpiX <= 0 || facts.dpiY <= 0) facts.dpiX = facts.dpiY = print::kDefaultImageDpi;
  print::PageLayout layout;
  int result = print::ComputePageLayout(job.setup, facts, layout);
  if (result != kResultOk) {
    page.error = FormatErrorCode(result);
    return false;
  }
  // One page, into memory; the file or queue of the job is not touched.
  print::PrintSettings once = settings;
  once.firstPage = once.lastPage = once.minPage = once.maxPage = 1;
  once.printToFile.clear();
  print::MemorySpooler spooler;
  result = print::PrintJobDirect(spooler, once, job.printer, layout, image);
  if (result != 0) {
    page.error = FormatErrorCode(result);
    return false;
  }
  if (!print::DecodeInkDots(settings.printerType, spooler.Bytes(), page.dots)) {
    page.error = "The printer stream does not decode: " + page.dots.error;
    return false;
  }
  page.dpiX = job.printer.dpiX;
  page.dpiY = job.printer.dpiY;
  page.pageWidth = job.printer.pageWidthDots;
  page.pageHeight = job.printer.pageHeightDots;
  page.originX = job.printer.offsetX;
  page.originY = job.printer.offsetY;
  return true;
}

namespace {

// The set dots of one row of `ink` in [x0, x1).
int CountRow(const print::DotBitmap& ink, long row, long x0, long x1) {
  if (row < 0 || row >= ink.Height()) return 0;
  const std::vector<uint8_t>& bits = ink.rows[static_cast<size_t>(row)];
  const long end = std::min<long>(x1, static_cast<long>(bits.size()) * 8);
  int count = 0;
  long x = std::max<long>(x0, 0);
  for (; x < end && (x & 7); ++x) count += (bits[x >> 3] >> (7 - (x & 7))) & 1;
  for (; x + 8 <= end; x += 8) count += std::popcount(bits[x >> 3]);
  for (; x < end; ++x) count += (bits[x >> 3] >> (7 - (x & 7))) & 1;
  return count;
}

class DotCanvas final : public QWidget {
 public:
  explicit DotCanvas(const DotPage& page) : page_(page) { setObjectName("dotCanvas"); }

  double Zoom() const { return zoom_; }
  double ZoomY() const { return page_.dpiY > 0 ? zoom_ * page_.dpiX / page_.dpiY : zoom_; }
  void SetZoom(double zoom) {
    zoom_ = std::clamp(zoom, 1.0 / 64, static_cast<double>(kMaxPixelsPerDot));
    resize(std::max(1, static_cast<int>(std::ceil(page_.pageWidth * zoom_))),
           std::max(1, static_cast<int>(std::ceil(page_.pageHeight * ZoomY()))));
    update();
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    const QRect area = event->rect();
    QImage picture(area.size(), QImage::Format_RGB32);
    const double zx = zoom_, zy = ZoomY();
    // The page dots each screen column covers: [first, last) across.
    std::vector<long> x0(static_cast<size_t>(area.width())), x1(x0.size());
    for (int i = 0; i < area.width(); ++i) {
      const int px = area.left() + i;
      x0[i] = static_cast<long>(std::floor(px / zx));
      x1[i] = std::max(x0[i] + 1, static_cast<long>(std::floor((px + 1) / zx)));
    }
    for (int j = 0; j < area.height(); ++j) {
      const int py = area.top() + j;
      const long y0 = static_cast<long>(std::floor(py / zy));
      const long y1 = std::max(y0 + 1, static_cast<long>(std::floor((py + 1) / zy)));
      auto* line = reinterpret_cast<QRgb*>(picture.scanLine(j));
      for (int i = 0; i < area.width(); ++i) {
        if (x0[i] >= page_.pageWidth || y0 >= page_.pageHeight) {
          line[i] = qRgb(128, 128, 128);
          continue;
        }
        double share[4];
        const double cells = static_cast<double>(x1[i] - x0[i]) * static_cast<double>(y1 - y0);
        for (int ink = 0; ink < 4; ++ink) {
          long count = 0;
          for (long y = y0; y < y1; ++y)
            count += CountRow(page_.dots.inks[ink], y - page_.originY, x0[i] - page_.originX, x1[i] - page_.originX);
          share[ink] = count / cells;
        }
        const double white = 255 * (1 - share[3]);
        line[i] = qRgb(static_cast<int>(white * (1 - share[0]) + 0.5), static_cast<int>(white * (1 - share[1]) + 0.5),
                       static_cast<int>(white * (1 - share[2]) + 0.5));
      }
    }
    QPainter(this).drawImage(area.topLeft(), picture);
  }

 private:
  const DotPage& page_;
  double zoom_ = 1;
};

}  // namespace

struct DotPreviewDialog::Private {
  DotPage page;
  DotCanvas* canvas = nullptr;
  QScrollArea* scroll = nullptr;
  QLabel* scale = nullptr;
  bool fitted = false;
};

DotPreviewDialog::DotPreviewDialog(DotPage page, QWidget* parent) : QDialog(parent), d_(std::make_unique<Private>()) {
  d_->page = std::move(page);
  setWindowTitle(QString("Dot Preview (%1 x %2 dpi)").arg(d_->page.dpiX).arg(d_->page.dpiY));
  auto* layout = new QVBoxLayout(this);
  auto* buttons = new QHBoxLayout;
  auto button = [&](const char* text, const char* name) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    buttons->addWidget(b);
    return b;
  };
  QPushButton* fit = button("Fit", "fit");
  QPushButton* zoomIn = button("Zoom &In", "zoomIn");
  QPushButton* zoomOut = button("Zoom &Out", "zoomOut");
  d_->scale = new QLabel(this);
  buttons->addWidget(d_->scale, 1);
  QPushButton* close = button("&Close", "close");
  layout->addLayout(buttons);
  d_->canvas = new DotCanvas(d_->page);
  d_->scroll = new QScrollArea(this);
  d_->scroll->setWidget(d_->canvas);
  d_->scroll->setWidgetResizable(false);
  layout->addWidget(d_->scroll, 1);
  resize(760, 640);
  connect(fit, &QPushButton::clicked, this, [this] { ZoomToFit(); });
  connect(zoomIn, &QPushButton::clicked, this, [this] { SetZoom(Zoom() * 2); });
  connect(zoomOut, &QPushButton::clicked, this, [this] { SetZoom(Zoom() / 2); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  ZoomToFit();
}

DotPreviewDialog::~DotPreviewDialog() = default;

void DotPreviewDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (d_->fitted) return;
  d_->fitted = true;
  // The viewport has its size only once the dialog is laid out.
  QTimer::singleShot(0, this, [this] { ZoomToFit(); });
}

double DotPreviewDialog::Zoom() const { return d_->canvas->Zoom(); }

void DotPreviewDialog::SetZoom(double pixelsPerDot) {
  // Keep the centre of the view where it was.
  QScrollBar* h = d_->scroll->horizontalScrollBar();
  QScrollBar* v = d_->scroll->verticalScrollBar();
  const double cx = (h->value() + d_->scroll->viewport()->width() / 2.0) / d_->canvas->Zoom();
  const double cy = (v->value() + d_->scroll->viewport()->height() / 2.0) / d_->canvas->ZoomY();
  d_->canvas->SetZoom(pixelsPerDot);
  const double now = Zoom();
  h->setValue(static_cast<int>(cx * now - d_->scroll->viewport()->width() / 2.0));
  v->setValue(static_cast<int>(cy * d_->canvas->ZoomY() - d_->scroll->viewport()->height() / 2.0));
  d_->scale->setText(now >= 1 ? QString("%1 pixels per dot").arg(now) : QString("%1 dots per pixel").arg(1 / now));
}

void DotPreviewDialog::ZoomToFit() {
  const QSize room = d_->scroll->viewport()->size() - QSize(2, 2);
  const DotPage& page = d_->page;
  if (page.pageWidth <= 0 || page.pageHeight <= 0) return;
  const double aspect = page.dpiY > 0 ? static_cast<double>(page.dpiX) / page.dpiY : 1;
  SetZoom(std::min(room.width() / static_cast<double>(page.pageWidth),
                   room.height() / (page.pageHeight * aspect)));
}

void ShowDotPreview(QWidget* parent, const print::PrintJob& job, const CDIBitmap& image) {
  DotPage page;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool made = RenderDotPage(job, image, page);
  QApplication::restoreOverrideCursor();
  if (!made) {
    platform::ShowMessage(page.error, "Dot Preview");
    return;
  }
  DotPreviewDialog dialog(std::move(page), parent);
  dialog.exec();
}

}  // namespace app
