// The floater's clipboard form and the document's archive form. The bitmap
// blocks are checked by giving them a BMP file header and letting ImageMagick
// decode them; plain bitmaps from another program are made by Pillow; the
// region block is checked byte by byte against its layout.
#include "document/clipboard_formats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "doc_test_images.h"
#include "document/vivid_doc.h"
#include "platform/clipboard.h"
#include "platform/messages.h"
#include "test_support.h"

namespace {

using platform::MemoryClipboard;
using platform::Point;
using platform::Region;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Bytes = std::vector<uint8_t>;

void PutLE32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The colour of pixel (x, y) of the test images, as 0x00BBGGRR.
uint32_t TestColor(int x, int y) {
  return static_cast<uint32_t>((255 - 5 * y) & 0xFF) | static_cast<uint32_t>((x * 3) & 0xFF) << 8 |
         static_cast<uint32_t>((x * 7 + y) & 0xFF) << 16;
}
uint8_t TestAlpha(int x, int y) { return static_cast<uint8_t>(x * 37 + y * 11); }

// A bitmap of the given bit count filled by formula: 24 bits TestColor; 8 bits
// a palette of 256 distinct colours and index (x + 3y) mod 256; 1 bit a
// red/blue table and a checkerboard; 32 bits CMYK bytes from the position.
void FillTestImage(CDIBitmap& image, int width, int height, int bits) {
  ASSERT_TRUE(image.Create(width, height, bits, bits == 32 ? 3 : 2));
  if (bits <= 8) {
    Bytes table(4 * static_cast<size_t>(image.GetPaletteSize()));
    for (size_t i = 0; i < table.size() / 4; ++i) {
      table[4 * i] = static_cast<uint8_t>(i * 5);
      table[4 * i + 1] = static_cast<uint8_t>(255 - i);
      table[4 * i + 2] = static_cast<uint8_t>(i * 11 + 40);
    }
    image.SetColorTable(table.data(), image.GetPaletteSize());
  }
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      switch (bits) {
        case 1: image.SetPixel(y, x, (x + y) & 1); break;
        case 8: image.SetPixel(y, x, static_cast<uint32_t>(x + 3 * y) & 0xFF); break;
        case 24: image.SetPixelColor(y, x, TestColor(x, y)); break;
        default: image.SetPixel(y, x, TestColor(x, y) << 8 | static_cast<uint32_t>(x * y & 0xFF)); break;
      }
    }
}

// An 8-bit gray alpha with TestAlpha levels.
void FillTestAlpha(CDIBitmap& alpha, int width, int height) {
  ASSERT_TRUE(alpha.Create(width, height, 8, 1));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) alpha.SetPixel(y, x, TestAlpha(x, y));
}

// The stored rows of a bitmap (padding excluded), top row first.
Bytes Rows(const CDIBitmap& image) {
  Bytes out;
  for (int y = 0; y < image.GetHeight(); ++y) {
    const uint8_t* row = image.RowPointer(y);
    out.insert(out.end(), row, row + image.GetRowBytes());
  }
  return out;
}

Bytes Table(const CDIBitmap& image) {
  Bytes table(4 * static_cast<size_t>(image.GetPaletteSize()));
  if (!table.empty()) image.GetColorTable(table.data(), image.GetPaletteSize());
  return table;
}

// The expected top-down R, G, B bytes of a formula-filled 24-bit image.
Bytes ExpectedRGB(int width, int height) {
  Bytes out;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t c = TestColor(x, y);
      out.insert(out.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
    }
  return out;
}

// A packed DIB written out as a BMP file (file header added) and decoded by
// ImageMagick.
Bytes DecodePackedDIB(std::span<const uint8_t> dib) {
  const uint32_t bits = dib[14] | dib[15] << 8;
  const uint32_t offset = 14 + 40 + (bits <= 8 ? 4u << bits : 0u);
  Bytes file{'B', 'M'};
  PutLE32(file, static_cast<uint32_t>(14 + dib.size()));
  PutLE32(file, 0);
  PutLE32(file, offset);
  file.insert(file.end(), dib.begin(), dib.end());
  TempDir dir;
  WriteBytes(dir.File("block.bmp"), file);
  return doc_test::DecodeRGB(dir.File("block.bmp"));
}

Bytes BlockOf(MemoryClipboard& clipboard, platform::ClipboardFormat format) {
  EXPECT_TRUE(clipboard.Open());
  const auto data = clipboard.GetData(format);
  Bytes out = data ? Bytes(data->begin(), data->end()) : Bytes{};
  clipboard.Close();
  return out;
}

void PutBlocks(MemoryClipboard& clipboard, const std::vector<std::pair<platform::ClipboardFormat, Bytes>>& blocks) {
  ASSERT_TRUE(clipboard.Open());
  ASSERT_TRUE(clipboard.Empty());
  for (const auto& [format, block] : blocks) ASSERT_TRUE(clipboard.SetData(format, block));
  ASSERT_TRUE(clipboard.Close());
}

// A complete floater: formula image and alpha, and `outline`.
void MakeFloater(FloaterParts& floater, int width, int height, int bits, Region outline) {
  FillTestImage(floater.image, width, height, bits);
  FillTestAlpha(floater.alpha, width, height);
  floater.outline = std::move(outline);
  floater.position = {40, 30};
}

// The Data B block of the rectangles, laid out by hand.
Bytes DataB(const std::vector<platform::Rect>& rects, platform::Rect box) {
  Bytes b;
  for (uint32_t v : {32u, 1u, static_cast<uint32_t>(rects.size()), static_cast<uint32_t>(16 * rects.size())})
    PutLE32(b, v);
  for (int32_t v : {box.left, box.top, box.right, box.bottom}) PutLE32(b, static_cast<uint32_t>(v));
  for (const platform::Rect& r : rects)
    for (int32_t v : {r.left, r.top, r.right, r.bottom}) PutLE32(b, static_cast<uint32_t>(v));
  return b;
}

class ClipboardFormatsTest : public testing::Test {
 protected:
  const ClipboardFormats& formats_ = RegisterClipboardFormats();
  MemoryClipboard clipboard_;
  platform::RecordingMessageSink messages_;
};

TEST_F(ClipboardFormatsTest, CopyPutsBitmapAlphaSingleRectangleAndMarker) {
  FloaterParts floater;
  MakeFloater(floater, 7, 5, 24, Region::FromRect(0, 0, 7, 5));
  ASSERT_EQ(RegionBitmapsToClipboard(floater, clipboard_), 1);
  EXPECT_FALSE(clipboard_.IsOpen());
  EXPECT_TRUE(messages_.Texts().empty());
  EXPECT_EQ(clipboard_.AvailableFormats(),
            (std::vector<platform::ClipboardFormat>{platform::kClipboardDIB, formats_.dataA, formats_.dataB,
                                                    formats_.dataC}));

  EXPECT_EQ(DecodePackedDIB(BlockOf(clipboard_, platform::kClipboardDIB)), ExpectedRGB(7, 5));
  Bytes alphaRGB;
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) alphaRGB.insert(alphaRGB.end(), 3, TestAlpha(x, y));
  EXPECT_EQ(DecodePackedDIB(BlockOf(clipboard_, formats_.dataA)), alphaRGB);

  const Bytes dataB = BlockOf(clipboard_, formats_.dataB);
  EXPECT_EQ(dataB.size(), 48u);
  EXPECT_EQ(dataB, DataB({{0, 0, 7, 5}}, {0, 0, 7, 5}));
  EXPECT_EQ(BlockOf(clipboard_, formats_.dataC), (Bytes{0, 0, 0, 0}));
}

TEST_F(ClipboardFormatsTest, CopyAndPasteRestoreEveryKindWithOutlineAndAlpha) {
  // An outline with a hole and a bite, not a rectangle.
  const Region outline = Region::FromEllipse(0, 0, 11, 9).Subtract(Region::FromRect(4, 3, 6, 5));
  for (int bits : {1, 8, 24, 32}) {
    SCOPED_TRACE(bits);
    FloaterParts source;
    MakeFloater(source, 11, 9, bits, outline);
    ASSERT_EQ(RegionBitmapsToClipboard(source, clipboard_), 1);

    FloaterParts pasted;
    ASSERT_EQ(RegionBitmapsFromClipboard(pasted, {5, 7}, clipboard_), 1);
    EXPECT_FALSE(clipboard_.IsOpen());
    EXPECT_EQ(pasted.image.GetBitCount(), bits);
    EXPECT_EQ(Rows(pasted.image), Rows(source.image));
    EXPECT_EQ(Table(pasted.image), Table(source.image));
    EXPECT_TRUE(pasted.alpha.IsGray());
    EXPECT_EQ(Rows(pasted.alpha), Rows(source.alpha));
    EXPECT_EQ(pasted.outline, outline);
    EXPECT_EQ(pasted.position, (Point{5, 7}));
  }
  EXPECT_TRUE(messages_.Texts().empty());
}

TEST_F(ClipboardFormatsTest, PlainBitmapFromAnotherProgramGivesOpaqueRectangularFloater) {
  // Pillow writes BMP files; without their 14-byte file header they are the
  // packed bitmaps another program puts on the clipboard.
  TempDir dir;
  const std::string script =
      "from PIL import Image\n"
      "import sys\n"
      "rgb = Image.new('RGB', (13, 6))\n"
      "rgb.putdata([((x * 19) % 256, (y * 40) % 256, (x * y * 3) % 256) for y in range(6) for x in range(13)])\n"
      "rgb.save(sys.argv[1] + '/rgb.bmp')\n"
      "rgb.quantize(17).save(sys.argv[1] + '/pal.bmp')\n"
      "rgb.convert('1').save(sys.argv[1] + '/mono.bmp')\n";
  WriteBytes(dir.File("make.py"), Bytes(script.begin(), script.end()));
  const auto made = testing_support::RunCommand(std::string(testing_support::kPython) + " " +
                                                testing_support::ShellQuote(dir.File("make.py")) + " " +
                                                testing_support::ShellQuote(dir.Path().string()));
  ASSERT_EQ(made.exitCode, 0) << made.err;
  // ImageMagick stores few colours as a 4-bit bitmap listing only 16 of them.
  ASSERT_TRUE(doc_test::MakeWithImageMagick(dir.File("rgb.bmp") + " -colors 12 -type Palette", "BMP3:" + dir.File("pal4.bmp")));

  for (const char* name : {"rgb.bmp", "pal.bmp", "mono.bmp", "pal4.bmp"}) {
    SCOPED_TRACE(name);
    const Bytes file = ReadBytes(dir.File(name));
    ASSERT_GT(file.size(), 14u);
    PutBlocks(clipboard_, {{platform::kClipboardDIB, Bytes(file.begin() + 14, file.end())}});

    FloaterParts floater;
    ASSERT_EQ(RegionBitmapsFromClipboard(floater, {-4, 9}, clipboard_), 1);
    EXPECT_EQ(doc_test::BitmapRGB(floater.image), doc_test::DecodeRGB(dir.File(name)));
    ASSERT_EQ(floater.alpha.GetWidth(), 13);
    ASSERT_EQ(floater.alpha.GetHeight(), 6);
    EXPECT_TRUE(floater.alpha.IsGray());
    EXPECT_EQ(Rows(floater.alpha), Bytes(13 * 6, 255));
    EXPECT_EQ(floater.outline, Region::FromRect(0, 0, 13, 6));
    EXPECT_EQ(floater.position, (Point{0, 9})) << "a position left of the image becomes 0";

    // Copied on and pasted again, it stays the same (the 4-bit file lists
    // only the colours it uses).
    ASSERT_EQ(RegionBitmapsToClipboard(floater, clipboard_), 1);
    FloaterParts again;
    ASSERT_EQ(RegionBitmapsFromClipboard(again, {0, 0}, clipboard_), 1);
    EXPECT_EQ(doc_test::BitmapRGB(again.image), doc_test::DecodeRGB(dir.File(name)));
  }
  EXPECT_TRUE(messages_.Texts().empty());
}

TEST_F(ClipboardFormatsTest, CopyReportsEveryRefusalAndAlwaysCloses) {
  struct Case {
    const char* what;
    int refuse;  // 0 open, 1 empty, 2 a format, 3 none
    platform::ClipboardFormat format;
    bool image, alpha, outline;
    int result;
    std::vector<std::string> texts;
  };
  const Case cases[] = {
      {"open refused", 0, 0, true, true, true, 0, {"Cannot open the Clipboard"}},
      {"empty refused", 1, 0, true, true, true, 0, {"Cannot open the Clipboard"}},
      {"bitmap refused", 2, platform::kClipboardDIB, true, true, true, 0, {"Unable to set Clipboard data A"}},
      {"alpha refused", 2, formats_.dataA, true, true, true, 0, {"Unable to set Clipboard data A"}},
      {"marker refused", 2, formats_.dataC, true, true, true, 0, {"Unable to set Clipboard data C"}},
      {"outline refused", 2, formats_.dataB, true, true, true, 0, {"Unable to set Clipboard data B"}},
      {"no image", 3, 0, false, true, true, 1, {"RegionBitmapsToClipboard:need  floater "}},
      {"no alpha", 3, 0, true, false, true, 1, {"RegionBitmapsToClipboard:need  floater alpha"}},
      {"no outline", 3, 0, true, true, false, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryClipboard clipboard;
    if (c.refuse == 0) clipboard.RefuseOpen(true);
    if (c.refuse == 1) clipboard.RefuseEmpty(true);
    if (c.refuse == 2) clipboard.RefuseFormat(c.format);
    FloaterParts floater;
    MakeFloater(floater, 4, 3, 24, Region::FromRect(0, 0, 4, 3));
    if (!c.image) floater.image.Free();
    if (!c.alpha) floater.alpha.Free();
    if (!c.outline) floater.outline.Reset();
    messages_.shown.clear();
    EXPECT_EQ(RegionBitmapsToClipboard(floater, clipboard), c.result);
    EXPECT_EQ(messages_.Texts(), c.texts);
    EXPECT_FALSE(clipboard.IsOpen());
  }
}

TEST_F(ClipboardFormatsTest, FailedPasteReportsAndKeepsTheFloater) {
  FloaterParts floater;
  MakeFloater(floater, 6, 4, 24, Region::FromRect(1, 1, 5, 3));
  const Bytes before = Rows(floater.image);

  // Open refused; no bitmap on the clipboard; a bitmap block the import refuses.
  clipboard_.RefuseOpen(true);
  EXPECT_EQ(RegionBitmapsFromClipboard(floater, {0, 0}, clipboard_), 0);
  clipboard_.RefuseOpen(false);
  PutBlocks(clipboard_, {{formats_.dataC, Bytes(4, 0)}});
  EXPECT_EQ(RegionBitmapsFromClipboard(floater, {0, 0}, clipboard_), 0);
  Bytes shortDib{40, 0, 0, 0};
  shortDib.resize(20, 0);
  PutBlocks(clipboard_, {{platform::kClipboardDIB, shortDib}});
  EXPECT_EQ(RegionBitmapsFromClipboard(floater, {0, 0}, clipboard_), 0);

  const auto texts = messages_.Texts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], "Cannot open the Clipboard");
  EXPECT_EQ(texts[1], "Error allocating clipcopy bitmaps");
  EXPECT_EQ(texts[2].rfind("FromPackedDIB: ", 0), 0u) << texts[2];
  EXPECT_FALSE(clipboard_.IsOpen());
  EXPECT_EQ(Rows(floater.image), before);
  EXPECT_EQ(floater.outline, Region::FromRect(1, 1, 5, 3));
  EXPECT_EQ(floater.position, (Point{40, 30}));
}

TEST_F(ClipboardFormatsTest, OutlineBlockIsBoundedByItsOwnSize) {
  const Bytes two = DataB({{0, 0, 3, 2}, {1, 2, 4, 5}}, {0, 0, 4, 5});
  ASSERT_EQ(two.size(), 64u);
  const Region expected = Region::FromRect(0, 0, 3, 2).Union(Region::FromRect(1, 2, 4, 5));
  EXPECT_EQ(OutlineFromDataB(two), expected);

  // A block rounded up by the platform is read only as far as its count says.
  Bytes padded = two;
  padded.resize(80, 0xEE);
  EXPECT_EQ(OutlineFromDataB(padded), expected);

  // A count larger than the block: refused without reading past it.
  Bytes lying = two;
  lying[8] = 3;
  EXPECT_FALSE(OutlineFromDataB(lying));
  lying[8] = 0xFF;
  lying[11] = 0xFF;
  EXPECT_FALSE(OutlineFromDataB(lying));
  EXPECT_FALSE(OutlineFromDataB(std::span(two).first(31)));
  Bytes wrongType = two;
  wrongType[4] = 2;
  EXPECT_FALSE(OutlineFromDataB(wrongType));
}

TEST_F(ClipboardFormatsTest, PasteFallsBackToRectangleAndOpaqueAlphaForUnfitBlocks) {
  FloaterParts source;
  MakeFloater(source, 6, 4, 24, Region::FromRect(0, 0, 6, 4));
  const Bytes dib = source.image.ToPackedDIB();
  CDIBitmap otherSize;
  FillTestAlpha(otherSize, 5, 4);
  CDIBitmap otherKind;
  FillTestImage(otherKind, 6, 4, 24);
  Bytes lying = DataB({{0, 0, 2, 2}}, {0, 0, 2, 2});
  lying[8] = 9;

  const struct {
    const char* what;
    Bytes dataA;
    Bytes dataB;
  } cases[] = {
      {"alpha of another size, outline count past the block", otherSize.ToPackedDIB(), lying},
      {"24-bit alpha, outline wholly outside the floater", otherKind.ToPackedDIB(), DataB({{6, 0, 9, 4}}, {6, 0, 9, 4})},
      {"no rectangles in the outline", Bytes{}, DataB({}, {})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::pair<platform::ClipboardFormat, Bytes>> blocks{{platform::kClipboardDIB, dib},
                                                                    {formats_.dataB, c.dataB}};
    if (!c.dataA.empty()) blocks.emplace_back(formats_.dataA, c.dataA);
    PutBlocks(clipboard_, blocks);
    FloaterParts pasted;
    ASSERT_EQ(RegionBitmapsFromClipboard(pasted, {2, 3}, clipboard_), 1);
    EXPECT_EQ(Rows(pasted.alpha), Bytes(6 * 4, 255));
    EXPECT_EQ(pasted.outline, Region::FromRect(0, 0, 6, 4));
  }

  // An outline reaching beyond the floater keeps only its part inside.
  PutBlocks(clipboard_, {{platform::kClipboardDIB, dib}, {formats_.dataB, DataB({{-3, 2, 9, 7}}, {-3, 2, 9, 7})}});
  FloaterParts pasted;
  ASSERT_EQ(RegionBitmapsFromClipboard(pasted, {0, 0}, clipboard_), 1);
  EXPECT_EQ(pasted.outline, Region::FromRect(0, 2, 6, 4));
}

// ---------------------------------------------------------------- archive

class ArchiveTest : public testing::Test {
 protected:
  static Bytes Store(CVividDoc& document) {
    std::ostringstream out;
    CArchive archive = CArchive::Storing(out);
    EXPECT_EQ(document.Serialize(archive), 1);
    const std::string s = out.str();
    return Bytes(s.begin(), s.end());
  }
  static int Load(CVividDoc& document, const Bytes& stream) {
    std::istringstream in(std::string(stream.begin(), stream.end()));
    CArchive archive = CArchive::Loading(in);
    return document.Serialize(archive);
  }

  platform::RecordingMessageSink messages_;
};

class HintRecorder final : public CDocumentView {
 public:
  void OnDocumentUpdate(CVividDoc&, int hint) override { hints.push_back(hint); }
  std::vector<int> hints;
};

TEST_F(ArchiveTest, StoredStreamIsABitmapFileImageMagickReads) {
  for (int bits : {1, 8, 24}) {
    SCOPED_TRACE(bits);
    CVividDoc document;
    FillTestImage(document.GetImage(), 13, 5, bits);
    const Bytes stream = Store(document);
    const size_t table = bits == 1 ? 8 : bits == 8 ? 1024 : 0;
    const size_t stride = static_cast<size_t>(DIBStride(13, bits));
    ASSERT_EQ(stream.size(), 14 + 40 + table + stride * 5);
    EXPECT_EQ(stream[0], 'B');
    EXPECT_EQ(stream[1], 'M');
    EXPECT_EQ(stream[2] | stream[3] << 8 | stream[4] << 16, static_cast<int>(stream.size()));
    EXPECT_EQ(stream[10] | stream[11] << 8, static_cast<int>(14 + 40 + table));

    TempDir dir;
    WriteBytes(dir.File("stored.bmp"), stream);
    EXPECT_EQ(doc_test::DecodeRGB(dir.File("stored.bmp")), doc_test::BitmapRGB(document.GetImage()));
    if (bits == 24) {
      EXPECT_EQ(doc_test::DecodeRGB(dir.File("stored.bmp")), ExpectedRGB(13, 5));
    }
  }
}

TEST_F(ArchiveTest, StoreThenLoadGivesBackEveryKind) {
  for (int bits : {1, 8, 24, 32}) {
    SCOPED_TRACE(bits);
    CVividDoc source;
    FillTestImage(source.GetImage(), 9, 4, bits);
    const Bytes stream = Store(source);

    CVividDoc loaded;
    HintRecorder view;
    loaded.AddView(&view);
    CDIBitmap* const target = loaded.GetTargetImage();
    ASSERT_EQ(Load(loaded, stream), 1);
    EXPECT_EQ(loaded.GetTargetImage(), target) << "the image object stays the same";
    EXPECT_EQ(loaded.GetImage().GetBitCount(), bits);
    EXPECT_EQ(loaded.GetImage().IsCMYK(), bits == 32);
    EXPECT_EQ(Rows(loaded.GetImage()), Rows(source.GetImage()));
    EXPECT_EQ(Table(loaded.GetImage()), Table(source.GetImage()));
    EXPECT_EQ(loaded.GetImage().GetXResolution(), 150);
    EXPECT_EQ(view.hints, std::vector<int>{kHintRevert});
    EXPECT_EQ(loaded.GetPalette().has_value(), bits <= 8);
  }
  EXPECT_TRUE(messages_.Texts().empty());
}

TEST_F(ArchiveTest, LoadsBitmapsWrittenByImageMagick) {
  TempDir dir;
  const struct {
    const char* format;  // ImageMagick's output prefix: BMP3 writes a 40-byte header, BMP a 124-byte one
    const char* name;
    const char* arguments;
  } samples[] = {
      {"BMP3:", "rgb.bmp", "-size 17x6 gradient:red-blue"},
      {"BMP3:", "pal.bmp", "-size 10x7 gradient:yellow-navy -type Palette"},
      {"BMP:", "v5.bmp", "-seed 3 -size 5x9 plasma:fractal"},
  };
  for (const auto& sample : samples) {
    SCOPED_TRACE(sample.name);
    const std::string path = dir.File(sample.name);
    ASSERT_TRUE(doc_test::MakeWithImageMagick(sample.arguments, sample.format + path));
    CVividDoc document;
    ASSERT_EQ(Load(document, ReadBytes(path)), 1);
    EXPECT_EQ(doc_test::BitmapRGB(document.GetImage()), doc_test::DecodeRGB(path));
  }
}

TEST_F(ArchiveTest, HostileStreamsFailAndLeaveTheImage) {
  Bytes good;
  {
    CVividDoc source;
    FillTestImage(source.GetImage(), 6, 3, 24);
    good = Store(source);
  }
  const auto withHeader = [&](size_t at, std::initializer_list<uint8_t> bytes) {
    Bytes b = good;
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    return b;
  };
  const struct {
    const char* what;
    Bytes stream;
    std::vector<std::string> texts;
  } cases[] = {
      {"empty", {}, {}},
      {"shorter than the file header", Bytes(good.begin(), good.begin() + 13), {}},
      {"not a bitmap", withHeader(0, {'M', 'B'}), {}},
      {"unknown header size", withHeader(14, {41}), {}},
      {"pixel data cut short", Bytes(good.begin(), good.end() - 20), {"BMPREAD: Error reading BMP 24 uncompressed\n"}},
      {"huge image in a small stream", withHeader(18, {0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0}),
       {"BMPREAD: Image too large (65535 x 65535)\n"}},
      {"bit count 7", withHeader(28, {7}), {"BMPREAD: Unsupported bit count 7\n"}},
      {"pixel offset past the end", withHeader(10, {0xFF, 0xFF, 0, 0}),
       {"BMPREAD: Pixel data offset past the end of the file\n"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CVividDoc document;
    FillTestImage(document.GetImage(), 4, 2, 8);
    const Bytes before = Rows(document.GetImage());
    messages_.shown.clear();
    EXPECT_EQ(Load(document, c.stream), 0);
    EXPECT_EQ(messages_.Texts(), c.texts);
    EXPECT_EQ(document.GetImage().GetBitCount(), 8);
    EXPECT_EQ(Rows(document.GetImage()), before);
  }
}

TEST_F(ArchiveTest, StoringWithoutAnImageOrIntoABrokenStreamFails) {
  CVividDoc empty;
  std::ostringstream out;
  CArchive storing = CArchive::Storing(out);
  EXPECT_EQ(empty.Serialize(storing), 0);
  EXPECT_TRUE(out.str().empty());

  CVividDoc document;
  FillTestImage(document.GetImage(), 4, 2, 24);
  std::ostringstream broken;
  broken.setstate(std::ios::badbit);
  CArchive brokenArchive = CArchive::Storing(broken);
  EXPECT_EQ(document.Serialize(brokenArchive), 0);
}

}  // namespace
