// QtClipboard: our formats through the desktop's clipboard and back, what
// other programs see of the bitmap, and foreign images read as 24-bit DIBs.
// Expected bytes are computed from the BMP layout, and pixels checked
// through QImage, independently of the code under test.
#include "platform/qt/qt_clipboard.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t Get32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// A packed DIB: 40-byte header, `colors` palette entries, rows of `rowBytes`.
Bytes PackedDIB(int width, int height, int bits, uint32_t compression, uint32_t clrUsed, int colors) {
  const size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
  Bytes dib(40 + 4 * colors + stride * height, 0);
  Put32(dib, 0, 40);
  Put32(dib, 4, width);
  Put32(dib, 8, height);
  dib[12] = 1;
  dib[14] = static_cast<uint8_t>(bits);
  Put32(dib, 16, compression);
  Put32(dib, 32, clrUsed);
  for (size_t i = 40 + 4 * colors; i < dib.size(); ++i) dib[i] = static_cast<uint8_t>(i * 7);
  return dib;
}

QByteArray AsQBytes(const Bytes& b) { return QByteArray(reinterpret_cast<const char*>(b.data()), b.size()); }

TEST(QtClipboard, BmpFileHeaderPointsPastHeaderMasksAndPalette) {
  struct Case {
    const char* name;
    Bytes dib;
    uint32_t rowsOffset;  // 0: refused
  };
  Bytes headerTooBig = PackedDIB(2, 2, 24, 0, 0, 0);
  Put32(headerTooBig, 0, 4000);
  const Case cases[] = {
      {"24 bit", PackedDIB(3, 2, 24, 0, 0, 0), 14 + 40},
      {"8 bit full palette", PackedDIB(3, 2, 8, 0, 0, 256), 14 + 40 + 1024},
      {"8 bit 16 colours used", PackedDIB(3, 2, 8, 0, 16, 16), 14 + 40 + 64},
      {"1 bit", PackedDIB(9, 2, 1, 0, 0, 2), 14 + 40 + 8},
      {"16 bit bitfields", PackedDIB(3, 2, 16, 3, 0, 3), 14 + 40 + 12},
      {"palette beyond block", PackedDIB(1, 1, 8, 0, 0, 0), 0},
      {"header beyond block", headerTooBig, 0},
      {"too short", Bytes(39, 0), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = platform::BmpFileFromPackedDIB(c.dib);
    if (c.rowsOffset == 0) {
      EXPECT_TRUE(file.empty());
      continue;
    }
    ASSERT_EQ(file.size(), 14 + c.dib.size());
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Get32(&file[2]), file.size());
    EXPECT_EQ(Get32(&file[6]), 0u);
    EXPECT_EQ(Get32(&file[10]), c.rowsOffset);
    EXPECT_TRUE(std::equal(c.dib.begin(), c.dib.end(), file.begin() + 14));
  }
}

TEST(QtClipboard, OurFormatsTravelAsMimeTypesAndComeBack) {
  const platform::ClipboardFormat a = platform::RegisterClipboardFormat("Vividrome Data A");
  const platform::ClipboardFormat b = platform::RegisterClipboardFormat("Vividrome Data B");
  const platform::ClipboardFormat c = platform::RegisterClipboardFormat("Vividrome Data C");
  const Bytes blockA{1, 2, 3}, blockB{0, 255, 0, 255}, blockC{};
  const Bytes dib = PackedDIB(3, 2, 24, 0, 0, 0);

  platform::QtClipboard writer;
  EXPECT_FALSE(writer.SetData(a, blockA));  // not open
  ASSERT_TRUE(writer.Open());
  EXPECT_FALSE(writer.Open());
  ASSERT_TRUE(writer.Empty());
  ASSERT_TRUE(writer.SetData(a, blockA));
  ASSERT_TRUE(writer.SetData(b, blockB));
  ASSERT_TRUE(writer.SetData(c, blockC));
  ASSERT_TRUE(writer.SetData(platform::kClipboardDIB, dib));
  ASSERT_TRUE(writer.Close());
  EXPECT_FALSE(writer.Close());

  // What any reader of the desktop's clipboard sees.
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(mime, nullptr);
  EXPECT_EQ(mime->data("application/x-vividrome-data-a"), AsQBytes(blockA));
  EXPECT_EQ(mime->data("application/x-vividrome-data-b"), AsQBytes(blockB));
  EXPECT_TRUE(mime->hasFormat("application/x-vividrome-data-c"));
  const QByteArray bmp = mime->data("image/bmp");
  ASSERT_EQ(static_cast<size_t>(bmp.size()), 14 + dib.size());
  EXPECT_EQ(bmp.left(2), QByteArray("BM"));
  EXPECT_EQ(bmp.mid(14), AsQBytes(dib));
  // Other programs paste the PNG: its pixels are the DIB's, rows bottom-up
  // and blue first in the DIB.
  const QImage png = QImage::fromData(mime->data("image/png"), "PNG");
  ASSERT_EQ(png.size(), QSize(3, 2));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      const uint8_t* bgr = &dib[40 + (1 - y) * 12 + 3 * x];
      EXPECT_EQ(png.pixel(x, y), qRgb(bgr[2], bgr[1], bgr[0])) << x << "," << y;
    }

  platform::QtClipboard reader;
  EXPECT_EQ(reader.AvailableFormats(), (std::vector<platform::ClipboardFormat>{platform::kClipboardDIB, a, b, c}));
  EXPECT_FALSE(reader.GetData(a).has_value());  // not open
  ASSERT_TRUE(reader.Open());
  for (const auto& [format, block] : {std::pair{a, blockA}, {b, blockB}, {c, blockC}, {platform::kClipboardDIB, dib}}) {
    const auto got = reader.GetData(format);
    ASSERT_TRUE(got.has_value()) << format;
    EXPECT_EQ(Bytes(got->begin(), got->end()), block) << format;
    EXPECT_EQ(reader.GetDataSize(format), block.size());
  }
  EXPECT_TRUE(reader.Close());
}

// A 3x2 picture whose every pixel differs; alpha 0 in one corner when asked.
QImage Picture(bool withAlpha) {
  QImage image(3, 2, withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) image.setPixel(x, y, qRgba(40 * x + 10, 100 * y + 5, 200 - 30 * x - 60 * y, 255));
  if (withAlpha) image.setPixel(2, 1, qRgba(0, 0, 0, 0));
  return image;
}

QByteArray Encoded(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, format));
  return bytes;
}

TEST(QtClipboard, ForeignImagesReadAs24BitDIBs) {
  struct Case {
    const char* name;
    bool alpha;
    std::function<void(QMimeData&)> fill;
  };
  const Case cases[] = {
      {"QImage", false, [](QMimeData& m) { m.setImageData(Picture(false)); }},
      {"PNG bytes", false, [](QMimeData& m) { m.setData("image/png", Encoded(Picture(false), "PNG")); }},
      {"BMP file", false, [](QMimeData& m) { m.setData("image/bmp", Encoded(Picture(false), "BMP")); }},
      {"PNG with transparency", true, [](QMimeData& m) { m.setData("image/png", Encoded(Picture(true), "PNG")); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* mime = new QMimeData;
    c.fill(*mime);
    QGuiApplication::clipboard()->setMimeData(mime);

    platform::QtClipboard clipboard;
    EXPECT_TRUE(clipboard.IsFormatAvailable(platform::kClipboardDIB));
    ASSERT_TRUE(clipboard.Open());
    const auto dib = clipboard.GetData(platform::kClipboardDIB);
    ASSERT_TRUE(dib.has_value());
    ASSERT_EQ(dib->size(), 40u + 2 * 12);
    const uint8_t* h = dib->data();
    EXPECT_EQ(Get32(h), 40u);
    EXPECT_EQ(Get32(h + 4), 3u);
    EXPECT_EQ(Get32(h + 8), 2u);
    EXPECT_EQ(h[14], 24);
    EXPECT_EQ(Get32(h + 16), 0u);
    const QImage expected = Picture(c.alpha);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) {
        const QRgb p = expected.pixel(x, y);
        // Fully transparent pixels come out white; the rest are opaque.
        const QRgb want = qAlpha(p) == 0 ? qRgb(255, 255, 255) : p;
        const uint8_t* bgr = h + 40 + (1 - y) * 12 + 3 * x;
        EXPECT_EQ(qRgb(bgr[2], bgr[1], bgr[0]), want) << x << "," << y;
      }
    EXPECT_TRUE(clipboard.Close());
  }
}

}  // namespace
