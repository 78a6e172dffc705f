// A new document made from the clipboard (creation mode CM_PASTE): a plain
// bitmap another program put there, a floater copied with its outline and
// alpha, and the ways it fails.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "doc_test_images.h"
#include "document/clipboard_formats.h"
#include "document/vivid_doc.h"
#include "platform/clipboard.h"
#include "platform/messages.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using platform::Region;
using testing_support::ReadBytes;
using testing_support::TempDir;

void PutLE(Bytes& b, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A 40-byte information header for an uncompressed packed DIB.
Bytes InfoHeader(int32_t width, int32_t height, int bits) {
  Bytes b;
  PutLE(b, 40, 4);
  PutLE(b, static_cast<uint32_t>(width), 4);
  PutLE(b, static_cast<uint32_t>(height), 4);
  PutLE(b, 1, 2);
  PutLE(b, static_cast<uint32_t>(bits), 2);
  b.resize(40, 0);
  return b;
}

// The pixel (x, y) of the floater images: a colour for 24 bits, CMYK bytes
// for 32 bits, an index for the palette kinds; and the alpha level.
uint32_t TestColor(int x, int y) { return uint32_t(x * 23 % 256) | uint32_t(y * 41 % 256) << 8 | uint32_t((x + y) * 9 % 256) << 16; }
uint8_t TestAlpha(int x, int y) { return static_cast<uint8_t>(x * 29 + y * 53); }

// The palette images' table: entry 7 (of 256) or 1 (of 2) is the only
// white one.
int WhiteEntry(int entries) { return entries == 2 ? 1 : 7; }
Bytes TestTable(int entries) {
  Bytes table(4 * static_cast<size_t>(entries));
  for (int i = 0; i < entries; ++i) {
    table[4 * i] = static_cast<uint8_t>(i * 3);
    table[4 * i + 1] = static_cast<uint8_t>(200 - i / 2);
    table[4 * i + 2] = static_cast<uint8_t>(i ^ 0x55);
  }
  const int white = WhiteEntry(entries);
  table[4 * white] = table[4 * white + 1] = table[4 * white + 2] = 255;
  return table;
}

class PasteNewDocumentTest : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = platform::SetClipboard(&clipboard_);
    CVividDoc::SetCreationMode(CM_PASTE);
    CVividDoc::SetNewDocumentSource(CM_PASTE, nullptr);
  }
  void TearDown() override {
    CVividDoc::SetCreationMode(CM_BLANK);
    CVividDoc::SetNewDocumentSource(CM_PASTE, nullptr);
    platform::SetClipboard(previous_);
  }

  void Put(const std::vector<std::pair<platform::ClipboardFormat, Bytes>>& blocks) {
    ASSERT_TRUE(clipboard_.Open());
    ASSERT_TRUE(clipboard_.Empty());
    for (const auto& [format, block] : blocks) ASSERT_TRUE(clipboard_.SetData(format, block));
    ASSERT_TRUE(clipboard_.Close());
  }

  // Fills `floater` by the test formulas: image of `bits`, alpha, outline.
  static void MakeFloater(FloaterParts& floater, int width, int height, int bits, Region outline) {
    ASSERT_TRUE(floater.image.Create(width, height, bits, bits == 32 ? 3 : 0));
    if (bits <= 8) {
      const Bytes table = TestTable(floater.image.GetPaletteSize());
      floater.image.SetColorTable(table.data(), floater.image.GetPaletteSize());
    }
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        if (bits == 1) floater.image.SetPixel(y, x, (x + 2 * y) % 3 == 0);
        else if (bits == 8) floater.image.SetPixel(y, x, (x * 5 + y) % 256);
        else if (bits == 24) floater.image.SetPixelColor(y, x, TestColor(x, y));
        else floater.image.SetPixel(y, x, TestColor(x, y) << 8 | uint32_t(x * y % 256));
      }
    ASSERT_TRUE(floater.alpha.Create(width, height, 8, 1));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) floater.alpha.SetPixel(y, x, TestAlpha(x, y));
    floater.outline = std::move(outline);
  }

  platform::MemoryClipboard clipboard_;
  platform::Clipboard* previous_ = nullptr;
  platform::RecordingMessageSink messages_;
};

// A bitmap another program put on the clipboard (ImageMagick's BMP files
// without their 14-byte file header) becomes the new image: its kind (a
// 4-bit bitmap widens to 8 bits), size and every pixel as ImageMagick
// decodes the file. The document is modified, has no file, and the
// clipboard keeps the bitmap and is closed again.
TEST_F(PasteNewDocumentTest, PlainBitmapBecomesTheImage) {
  struct Case {
    const char* arguments;
    int bits;
  };
  const Case cases[] = {
      {"-size 13x37 gradient:yellow-navy -type Palette", 8},
      {"-size 17x5 gradient:red-blue -type TrueColor", 24},
      {"-size 11x6 pattern:checkerboard -type Bilevel", 1},
      {"-size 9x9 gradient:red-blue -colors 12 -type Palette", 8},  // stored with 4 bits
      {"-size 9x40 gradient: -type Palette", 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    TempDir dir;
    const std::string file = dir.File("in.bmp");
    ASSERT_TRUE(doc_test::MakeWithImageMagick(c.arguments, "BMP3:" + file));
    const Bytes bytes = ReadBytes(file);
    Put({{platform::kClipboardDIB, Bytes(bytes.begin() + 14, bytes.end())}});

    CVividDoc document;
    ASSERT_TRUE(document.OnNewDocument());
    const CDIBitmap& image = document.GetImage();
    EXPECT_EQ(image.GetBitCount(), c.bits);
    EXPECT_EQ(doc_test::BitmapRGB(image), doc_test::DecodeRGB(file));
    EXPECT_TRUE(document.IsModified());
    EXPECT_FALSE(document.HasFile());
    EXPECT_EQ(document.GetPalette().has_value(), c.bits <= 8);
    EXPECT_TRUE(messages_.Texts().empty());
    EXPECT_FALSE(clipboard_.IsOpen());
    EXPECT_TRUE(clipboard_.IsFormatAvailable(platform::kClipboardDIB));
  }
}

// Hand-built bitmaps: a top-down 24-bit one (negative height) and a 32-bit
// one, which comes in as CMYK with its bytes unchanged.
TEST_F(PasteNewDocumentTest, TopDownAndCmykBitmaps) {
  Bytes topDown = InfoHeader(2, -2, 24);
  for (uint8_t v : {0, 0, 255, 0, 255, 0, 0, 0, /* row 2 */ 255, 0, 0, 255, 255, 255, 0, 0}) topDown.push_back(v);
  Put({{platform::kClipboardDIB, topDown}});
  CVividDoc document;
  ASSERT_TRUE(document.OnNewDocument());
  EXPECT_EQ(doc_test::BitmapRGB(document.GetImage()),
            (Bytes{255, 0, 0, 0, 255, 0, /* row 2 */ 0, 0, 255, 255, 255, 255}));

  FloaterParts cmyk;
  MakeFloater(cmyk, 6, 4, 32, Region::FromRect(0, 0, 6, 4));
  Put({{platform::kClipboardDIB, cmyk.image.ToPackedDIB()}});
  CVividDoc second;
  ASSERT_TRUE(second.OnNewDocument());
  const CDIBitmap& image = second.GetImage();
  ASSERT_EQ(image.GetBitCount(), 32);
  EXPECT_TRUE(image.IsCMYK());
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(image.GetPixel(y, x), cmyk.image.GetPixel(y, x)) << x << "," << y;
}

// A floater copied with its outline and alpha: outside the outline the new
// image is white; inside, RGB and CMYK pixels lie over white by the alpha as
// a floater is dropped (value x alpha + white x (255 - alpha), divided by 255
// and truncated; white is 255 for RGB and no ink, 0, for CMYK), and palette
// pixels show where the alpha is not 0 and are white (the table's white
// entry) elsewhere.
TEST_F(PasteNewDocumentTest, FloaterOutlineAndAlphaAreApplied) {
  const int width = 10, height = 7;
  const std::vector<platform::Rect> rects = {{1, 1, 9, 4}, {3, 4, 6, 6}};
  auto inside = [&](int x, int y) {
    for (const platform::Rect& r : rects)
      if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    return false;
  };
  auto over = [](int value, int alpha, int back) {
    return static_cast<uint32_t>((value * alpha + back * (255 - alpha)) / 255);
  };
  for (int bits : {24, 32, 8, 1}) {
    SCOPED_TRACE(bits);
    FloaterParts floater;
    MakeFloater(floater, width, height, bits, Region::FromRects(rects));
    ASSERT_EQ(RegionBitmapsToClipboard(floater), 1);  // the current clipboard: ours

    CVividDoc document;
    ASSERT_TRUE(document.OnNewDocument());
    const CDIBitmap& image = document.GetImage();
    ASSERT_EQ(image.GetWidth(), width);
    ASSERT_EQ(image.GetHeight(), height);
    ASSERT_EQ(image.GetBitCount(), bits);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const int a = inside(x, y) ? TestAlpha(x, y) : 0;
        uint32_t expected = 0;
        if (bits == 24) {
          const uint32_t c = TestColor(x, y);
          expected = over(c & 0xFF, a, 255) | over(c >> 8 & 0xFF, a, 255) << 8 | over(c >> 16 & 0xFF, a, 255) << 16;
          EXPECT_EQ(image.GetPixelColor(y, x), expected) << x << "," << y;
          continue;
        }
        if (bits == 32) {
          const uint32_t v = floater.image.GetPixel(y, x);
          for (int shift : {24, 16, 8, 0}) expected |= over(v >> shift & 0xFF, a, 0) << shift;
        } else {
          const uint32_t white = static_cast<uint32_t>(WhiteEntry(floater.image.GetPaletteSize()));
          expected = a != 0 ? floater.image.GetPixel(y, x) : white;
        }
        EXPECT_EQ(image.GetPixel(y, x), expected) << x << "," << y;
      }
    if (bits <= 8) {
      Bytes tableA(4 * static_cast<size_t>(image.GetPaletteSize())), tableB(tableA.size());
      image.GetColorTable(tableA.data(), image.GetPaletteSize());
      floater.image.GetColorTable(tableB.data(), floater.image.GetPaletteSize());
      EXPECT_EQ(tableA, tableB);
    }
    EXPECT_TRUE(messages_.Texts().empty());
  }
}

// Failures: a clipboard that cannot be opened says so; an empty clipboard
// or a bitmap whose header gives no image fails without a message; a
// bitmap whose pixels are missing fails with the bitmap reader's message.
// The document has no image afterwards and the clipboard is closed.
TEST_F(PasteNewDocumentTest, FailuresMakeNoDocument) {
  Bytes cut = InfoHeader(20, 20, 24);
  cut.resize(cut.size() + 30);
  struct Case {
    const char* name;
    std::vector<std::pair<platform::ClipboardFormat, Bytes>> blocks;
    bool refuseOpen;
    bool expectMessage;
    std::string message;  // when expected and known
  };
  const Case cases[] = {
      {"refused", {{platform::kClipboardDIB, InfoHeader(1, 1, 24)}}, true, true, "Cannot open the Clipboard"},
      {"empty", {}, false, false, ""},
      {"only a private format", {{RegisterClipboardFormats().dataC, Bytes(4, 0)}}, false, false, ""},
      {"header cut", {{platform::kClipboardDIB, Bytes{40, 0, 0, 0, 5, 0, 0, 0}}}, false, false, ""},
      {"zero width", {{platform::kClipboardDIB, InfoHeader(0, 5, 24)}}, false, false, ""},
      {"zero height", {{platform::kClipboardDIB, InfoHeader(5, 0, 8)}}, false, false, ""},
      {"2 bits", {{platform::kClipboardDIB, InfoHeader(4, 4, 2)}}, false, false, ""},
      {"pixels cut", {{platform::kClipboardDIB, cut}}, false, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Put(c.blocks);
    clipboard_.RefuseOpen(c.refuseOpen);
    platform::RecordingMessageSink sink;
    CVividDoc document;
    EXPECT_FALSE(document.OnNewDocument());
    EXPECT_FALSE(document.GetImage().IsAllocated());
    EXPECT_EQ(sink.Texts().size(), c.expectMessage ? 1u : 0u);
    if (!c.message.empty()) {
      EXPECT_EQ(sink.Texts(), std::vector<std::string>{c.message});
    }
    EXPECT_FALSE(clipboard_.IsOpen());
    clipboard_.RefuseOpen(false);
  }
}

// A source registered for CM_PASTE (the application's own) is used instead
// of the clipboard.
TEST_F(PasteNewDocumentTest, RegisteredSourceComesFirst) {
  Put({{platform::kClipboardDIB, InfoHeader(1, 1, 24)}});
  CVividDoc::SetNewDocumentSource(CM_PASTE, [](CVividDoc& document) {
    return document.GetImage().Create(3, 2, 8, 1) != 0;
  });
  CVividDoc document;
  ASSERT_TRUE(document.OnNewDocument());
  EXPECT_EQ(document.GetImage().GetWidth(), 3);
  EXPECT_TRUE(document.GetImage().IsGray());
  EXPECT_TRUE(document.IsModified());
}

// Without an installed clipboard the process-wide memory one serves: a
// floater copied there in one document makes the next new document.
TEST_F(PasteNewDocumentTest, ProcessClipboardServesWithoutAnInstalledOne) {
  platform::SetClipboard(nullptr);
  platform::Clipboard& process = platform::CurrentClipboard();
  EXPECT_NE(&process, static_cast<platform::Clipboard*>(&clipboard_));
  FloaterParts floater;
  MakeFloater(floater, 5, 3, 24, Region::FromRect(0, 0, 5, 3));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) floater.alpha.SetPixel(y, x, 255);
  ASSERT_EQ(RegionBitmapsToClipboard(floater), 1);
  CVividDoc document;
  ASSERT_TRUE(document.OnNewDocument());
  EXPECT_EQ(doc_test::BitmapRGB(document.GetImage()), doc_test::BitmapRGB(floater.image));
  // Leave the process clipboard empty for other tests.
  ASSERT_TRUE(process.Open());
  EXPECT_TRUE(process.Empty());
  EXPECT_TRUE(process.Close());
}

}  // namespace
