#include "app/histogram_bar.h"

#include <QPainter>
#include <algorithm>
#include <vector>

#include "document/vivid_doc.h"
#include "image/color_convert.h"
#include "image/dibitmap.h"
#include "imaging/tone.h"

namespace app {

namespace {

// Adds one row of gray levels.
void CountLevels(const uint8_t* levels, int width, LuminanceCounts& counts) {
  for (int x = 0; x < width; ++x) ++counts[levels[x]];
}

}  // namespace

void CountLuminance(const CDIBitmap& image, LuminanceCounts& counts) {
  counts.fill(0);
  const int width = image.GetWidth();
  const int height = image.GetHeight();
  const int bits = image.GetBitCount();
  if (!image.IsAllocated() || width < 1 || height < 1 || image.GetPixels() == nullptr) return;
  if (bits != 1 && bits != 8 && bits != 24 && bits != 32) return;
  const int64_t pixels = int64_t{width} * height;
  const int step = static_cast<int>(std::max<int64_t>(1, (pixels + kHistogramFullPixels - 1) / kHistogramFullPixels));

  // Table images count through the luminance of each entry.
  uint8_t entryLevel[256] = {};
  const bool table = bits == 1 || (bits == 8 && !image.IsGray());
  if (table) {
    std::vector<uint8_t> entries(256 * 4, 0);
    const int count = std::clamp(image.GetPaletteSize(), 0, bits == 1 ? 2 : 256);
    if (count > 0) image.GetColorTable(entries.data(), count);
    for (int i = 0; i < 256; ++i)
      entryLevel[i] = static_cast<uint8_t>(GL_Luminance(entries[4 * i + 2], entries[4 * i + 1], entries[4 * i]));
  }
  std::vector<uint8_t> levels(static_cast<size_t>(width));
  std::vector<uint8_t> bgr(bits == 32 ? static_cast<size_t>(width) * 3 : 0);
  // One loop per pixel kind; each row is converted to levels, then counted.
  if (bits == 1) {
    for (int y = 0; y < height; y += step) {
      const uint8_t* row = image.RowPointer(y);
      for (int x = 0; x < width; ++x) levels[x] = entryLevel[(row[x >> 3] >> (7 - (x & 7))) & 1];
      CountLevels(levels.data(), width, counts);
    }
  } else if (bits == 8 && !table) {
    for (int y = 0; y < height; y += step) CountLevels(image.RowPointer(y), width, counts);
  } else if (bits == 8) {
    for (int y = 0; y < height; y += step) {
      const uint8_t* row = image.RowPointer(y);
      for (int x = 0; x < width; ++x) levels[x] = entryLevel[row[x]];
      CountLevels(levels.data(), width, counts);
    }
  } else if (bits == 24) {
    for (int y = 0; y < height; y += step) {
      GL_LuminanceRow(image.RowPointer(y), levels.data(), width);
      CountLevels(levels.data(), width, counts);
    }
  } else {
    for (int y = 0; y < height; y += step) {
      GL_CMYKRowToRGB(image.RowPointer(y), bgr.data(), width);
      GL_LuminanceRow(bgr.data(), levels.data(), width);
      CountLevels(levels.data(), width, counts);
    }
  }
}

struct HistogramBar::Impl : CDocumentView {
  HistogramBar* self = nullptr;
  CVividDoc* document = nullptr;
  QMetaObject::Connection lifetimeWatch;
  LuminanceCounts counts{};
  bool stale = true;

  void OnDocumentUpdate(CVividDoc&, int) override {
    stale = true;
    self->update();
  }
  void Detach() {
    if (document) document->RemoveView(this);
    document = nullptr;
    QObject::disconnect(lifetimeWatch);
    stale = true;
  }
};

HistogramBar::HistogramBar(QWidget* parent) : QWidget(parent), d_(std::make_unique<Impl>()) {
  d_->self = this;
  setMinimumSize(64, 48);
}

HistogramBar::~HistogramBar() { d_->Detach(); }

void HistogramBar::SetDocument(CVividDoc* document, QObject* lifetime) {
  if (document == d_->document) return;
  d_->Detach();
  if (document && lifetime) {
    d_->document = document;
    document->AddView(d_.get());
    d_->lifetimeWatch = connect(lifetime, &QObject::destroyed, this, [this] {
      d_->Detach();
      update();
    });
  }
  update();
}

CVividDoc* HistogramBar::Document() const { return d_->document; }

const LuminanceCounts& HistogramBar::Counts() {
  if (d_->stale) {
    if (d_->document)
      CountLuminance(d_->document->GetImage(), d_->counts);
    else
      d_->counts.fill(0);
    d_->stale = false;
  }
  return d_->counts;
}

QSize HistogramBar::sizeHint() const { return {256 + 8, 100}; }

void HistogramBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect area = rect().adjusted(4, 4, -4, -4);
  painter.fillRect(rect(), palette().base());
  const LuminanceCounts& counts = Counts();
  const uint64_t highest = *std::max_element(counts.begin(), counts.end());
  if (highest == 0 || area.width() < 1 || area.height() < 1) return;
  const QColor bar = palette().text().color();
  for (int level = 0; level < 256; ++level) {
    if (counts[level] == 0) continue;
    const int left = area.left() + level * area.width() / 256;
    const int right = std::max(left + 1, area.left() + (level + 1) * area.width() / 256);
    const int height = std::max<int>(1, static_cast<int>(counts[level] * static_cast<uint64_t>(area.height()) / highest));
    painter.fillRect(QRect(left, area.bottom() + 1 - height, right - left, height), bar);
  }
}

}  // namespace app
