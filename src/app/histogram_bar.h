// HistogramBar: the "Histogram" bar. Shows the luminance histogram of the
// active document's image as 256 bars scaled to the highest count, and
// nothing without a document.
//
// The bar watches the document it shows (as one of its views), so every
// edit, undo or reload marks the counts stale; they are computed again when
// next painted or asked for, not on every event.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>

class CDIBitmap;
class CVividDoc;

namespace app {

using LuminanceCounts = std::array<uint64_t, 256>;

// Counts every pixel of `image` (the selection mask does not matter) by its
// luminance Y = (306 R + 601 G + 117 B + 512) / 1024: 24-bit pixels
// directly; 8-bit gray images by their level; 8-bit palette and 1-bit images
// by their colour-table entry; 32-bit CMYK pixels after the library's
// conversion to RGB (GL_CMYKRowToRGB). Images above kHistogramFullPixels
// pixels are sampled: every k-th row from row 0, k = ceil(pixels /
// kHistogramFullPixels), so the bars keep their shape at a bounded cost.
// Other bit counts and images without pixels leave all counts 0.
inline constexpr int64_t kHistogramFullPixels = int64_t{1} << 24;
void CountLuminance(const CDIBitmap& image, LuminanceCounts& counts);

class HistogramBar final : public QWidget {
 public:
  explicit HistogramBar(QWidget* parent = nullptr);
  ~HistogramBar() override;

  // Shows `document` (nullptr: nothing). The watch ends, and the bar goes
  // empty, when `lifetime` is destroyed (the view widget that keeps the
  // document alive); the document must outlive `lifetime`.
  void SetDocument(CVividDoc* document, QObject* lifetime);
  CVividDoc* Document() const;
  // The counts of the image shown, brought up to date first.
  const LuminanceCounts& Counts();

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace app
