// The clipboard over QClipboard: our blocks in a QMimeData of our own, which
// offers the bitmap as BMP, PNG and a QImage on request; foreign images read
// back as 24-bit packed DIBs.
#include "platform/qt/qt_clipboard.h"

#include <QBuffer>
#include <QByteArray>
#include <QClipboard>
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <cstring>
#include <limits>
#include <map>

namespace platform {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
const char kBmpMime[] = "image/bmp";
const char kPngMime[] = "image/png";
const char kQtImageMime[] = "application/x-qt-image";
const char kNumberedPrefix[] = "application/x-vividrome-format-";

uint32_t Le16(const uint8_t* p) { return p[0] | p[1] << 8; }
uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

// Bytes from the start of a packed DIB to its rows; nullopt when the header
// is not one we can measure or the rows would start beyond the block.
std::optional<size_t> RowsOffset(std::span<const uint8_t> dib) {
  if (dib.size() < kInfoHeaderSize) return std::nullopt;
  const uint32_t headerSize = Le32(dib.data());
  if (headerSize < kInfoHeaderSize || headerSize > dib.size()) return std::nullopt;
  const uint32_t bits = Le16(dib.data() + 14);
  const uint32_t compression = Le32(dib.data() + 16);
  const uint32_t colorsUsed = Le32(dib.data() + 32);
  const uint64_t masks = headerSize == kInfoHeaderSize && compression == kBiBitfields ? 12 : 0;
  const uint64_t colors = colorsUsed ? colorsUsed : (bits >= 1 && bits <= 8 ? 1u << bits : 0);
  const uint64_t offset = headerSize + masks + colors * 4;
  if (offset > dib.size()) return std::nullopt;
  return static_cast<size_t>(offset);
}

// The packed DIB inside a BMP file whose header is the plain 40-byte one and
// whose rows follow the colour table directly; nullopt otherwise.
std::optional<std::vector<uint8_t>> PackedDIBFromBmpFile(const QByteArray& file) {
  if (static_cast<size_t>(file.size()) < kFileHeaderSize + kInfoHeaderSize) return std::nullopt;
  const auto* bytes = reinterpret_cast<const uint8_t*>(file.constData());
  if (bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
  const std::span<const uint8_t> dib(bytes + kFileHeaderSize, file.size() - kFileHeaderSize);
  const uint32_t compression = Le32(dib.data() + 16);
  if (Le32(dib.data()) != kInfoHeaderSize || (compression != kBiRgb && compression != kBiBitfields))
    return std::nullopt;
  const std::optional<size_t> rows = RowsOffset(dib);
  if (!rows || Le32(bytes + 10) != kFileHeaderSize + *rows) return std::nullopt;
  return std::vector<uint8_t>(dib.begin(), dib.end());
}

// A 24-bit bottom-up packed DIB of `image`, transparency composited over
// white; nullopt for a null image or one too large to address.
std::optional<std::vector<uint8_t>> PackedDIBFromImage(const QImage& image) {
  if (image.isNull()) return std::nullopt;
  QImage rgb;
  if (image.hasAlphaChannel()) {
    rgb = QImage(image.size(), QImage::Format_RGB888);
    rgb.fill(Qt::white);
    QPainter painter(&rgb);
    painter.drawImage(0, 0, image);
  } else {
    rgb = image.convertToFormat(QImage::Format_RGB888);
  }
  if (rgb.isNull()) return std::nullopt;
  const uint64_t width = static_cast<uint64_t>(rgb.width());
  const uint64_t height = static_cast<uint64_t>(rgb.height());
  const uint64_t stride = (width * 3 + 3) & ~uint64_t{3};
  const uint64_t imageSize = stride * height;
  if (imageSize > std::numeric_limits<uint32_t>::max() - kInfoHeaderSize) return std::nullopt;

  std::vector<uint8_t> dib(kInfoHeaderSize + imageSize, 0);
  uint8_t* h = dib.data();
  Put32(h, kInfoHeaderSize);
  Put32(h + 4, static_cast<uint32_t>(width));
  Put32(h + 8, static_cast<uint32_t>(height));
  Put16(h + 12, 1);
  Put16(h + 14, 24);
  Put32(h + 16, kBiRgb);
  Put32(h + 20, static_cast<uint32_t>(imageSize));
  Put32(h + 24, static_cast<uint32_t>(std::max(0, rgb.dotsPerMeterX())));
  Put32(h + 28, static_cast<uint32_t>(std::max(0, rgb.dotsPerMeterY())));
  for (uint64_t y = 0; y < height; ++y) {
    const uchar* src = rgb.constScanLine(static_cast<int>(height - 1 - y));
    uint8_t* dst = h + kInfoHeaderSize + y * stride;
    for (uint64_t x = 0; x < width; ++x) {
      dst[3 * x] = src[3 * x + 2];
      dst[3 * x + 1] = src[3 * x + 1];
      dst[3 * x + 2] = src[3 * x];
    }
  }
  return dib;
}

QString MimeOf(ClipboardFormat format) { return QString::fromStdString(ClipboardMimeType(format)); }

// The blocks this program puts on the clipboard; the bitmap's other forms
// are made when a reader asks for them.
class BlockMimeData final : public QMimeData {
 public:
  std::map<ClipboardFormat, std::vector<uint8_t>> blocks;

  QStringList formats() const override {
    QStringList list;
    for (const auto& [format, block] : blocks) {
      if (format != kClipboardDIB) {
        list << MimeOf(format);
      } else if (RowsOffset(block)) {
        list << QString::fromLatin1(kBmpMime) << QString::fromLatin1(kPngMime) << QString::fromLatin1(kQtImageMime);
      }
    }
    return list;
  }

 protected:
  QVariant retrieveData(const QString& mime, QMetaType /*preferredType*/) const override {
    for (const auto& [format, block] : blocks)
      if (format != kClipboardDIB && mime == MimeOf(format))
        return QByteArray(reinterpret_cast<const char*>(block.data()), static_cast<qsizetype>(block.size()));
    const auto dib = blocks.find(kClipboardDIB);
    if (dib == blocks.end()) return {};
    const std::vector<uint8_t> file = BmpFileFromPackedDIB(dib->second);
    if (file.empty()) return {};
    const QByteArray bmp(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size()));
    if (mime == QLatin1String(kBmpMime)) return bmp;
    const QImage image = QImage::fromData(bmp, "BMP");
    if (image.isNull()) return {};
    if (mime == QLatin1String(kQtImageMime)) return image;
    if (mime == QLatin1String(kPngMime)) {
      QByteArray png;
      QBuffer buffer(&png);
      buffer.open(QIODevice::WriteOnly);
      if (!image.save(&buffer, "PNG")) return {};
      return png;
    }
    return {};
  }
};

// Whether `mime` offers an image in any form we can decode.
bool HasImage(const QMimeData& mime) {
  if (mime.hasImage()) return true;
  const QStringList formats = mime.formats();
  return std::any_of(formats.begin(), formats.end(),
                     [](const QString& f) { return f.startsWith(QLatin1String("image/")); });
}

std::optional<std::vector<uint8_t>> ReadDIB(const QMimeData& mime) {
  if (mime.hasFormat(QLatin1String(kBmpMime)))
    if (auto dib = PackedDIBFromBmpFile(mime.data(QLatin1String(kBmpMime)))) return dib;
  if (mime.hasImage())
    if (auto dib = PackedDIBFromImage(qvariant_cast<QImage>(mime.imageData()))) return dib;
  for (const QString& format : mime.formats())
    if (format.startsWith(QLatin1String("image/")))
      if (auto dib = PackedDIBFromImage(QImage::fromData(mime.data(format)))) return dib;
  return std::nullopt;
}

}  // namespace

std::string ClipboardMimeType(ClipboardFormat format) {
  if (format == kClipboardDIB) return kBmpMime;
  std::string name = GetClipboardFormatName(format);
  if (name.empty()) return kNumberedPrefix + std::to_string(format);
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
    else if (!(c >= 'a' && c <= 'z') && !(c >= '0' && c <= '9'))
      c = '-';
  }
  return "application/x-" + name;
}

std::vector<uint8_t> BmpFileFromPackedDIB(std::span<const uint8_t> dib) {
  const std::optional<size_t> rows = RowsOffset(dib);
  if (!rows || dib.size() > std::numeric_limits<uint32_t>::max() - kFileHeaderSize) return {};
  std::vector<uint8_t> file(kFileHeaderSize + dib.size());
  file[0] = 'B';
  file[1] = 'M';
  Put32(file.data() + 2, static_cast<uint32_t>(file.size()));
  Put32(file.data() + 10, static_cast<uint32_t>(kFileHeaderSize + *rows));
  std::memcpy(file.data() + kFileHeaderSize, dib.data(), dib.size());
  return file;
}

struct QtClipboard::Impl {
  bool open = false;
  // The blocks built since Empty (or the first SetData), put on the desktop's
  // clipboard by Close.
  std::unique_ptr<BlockMimeData> pending;
  // Blocks handed out by GetData, valid until Close, Empty or SetData of
  // their format.
  mutable std::map<ClipboardFormat, std::vector<uint8_t>> handedOut;

  // What reads see: the blocks being built, else the desktop's clipboard.
  const QMimeData* View() const {
    if (pending) return pending.get();
    return QGuiApplication::clipboard()->mimeData();
  }

  std::optional<std::vector<uint8_t>> Read(ClipboardFormat format) const {
    const QMimeData* mime = View();
    if (!mime) return std::nullopt;
    if (const auto* own = dynamic_cast<const BlockMimeData*>(mime)) {
      const auto found = own->blocks.find(format);
      if (found == own->blocks.end()) return std::nullopt;
      return found->second;
    }
    if (format == kClipboardDIB) return ReadDIB(*mime);
    const QString type = MimeOf(format);
    if (!mime->hasFormat(type)) return std::nullopt;
    const QByteArray bytes = mime->data(type);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
  }
};

QtClipboard::QtClipboard() : impl_(std::make_unique<Impl>()) {}
QtClipboard::~QtClipboard() = default;

bool QtClipboard::Open() {
  if (impl_->open || !qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return false;
  impl_->open = true;
  return true;
}

bool QtClipboard::Close() {
  if (!impl_->open) return false;
  // The desktop's clipboard takes ownership of the blocks.
  if (impl_->pending) QGuiApplication::clipboard()->setMimeData(impl_->pending.release());
  impl_->handedOut.clear();
  impl_->open = false;
  return true;
}

bool QtClipboard::Empty() {
  if (!impl_->open) return false;
  impl_->pending = std::make_unique<BlockMimeData>();
  impl_->handedOut.clear();
  return true;
}

bool QtClipboard::SetData(ClipboardFormat format, std::vector<uint8_t> block) {
  if (!impl_->open || format == 0) return false;
  if (!impl_->pending) {
    impl_->pending = std::make_unique<BlockMimeData>();
    if (const auto* own = dynamic_cast<const BlockMimeData*>(QGuiApplication::clipboard()->mimeData()))
      impl_->pending->blocks = own->blocks;
  }
  impl_->pending->blocks[format] = std::move(block);
  impl_->handedOut.erase(format);
  return true;
}

std::optional<std::span<const uint8_t>> QtClipboard::GetData(ClipboardFormat format) const {
  if (!impl_->open) return std::nullopt;
  auto kept = impl_->handedOut.find(format);
  if (kept == impl_->handedOut.end()) {
    std::optional<std::vector<uint8_t>> block = impl_->Read(format);
    if (!block) return std::nullopt;
    kept = impl_->handedOut.emplace(format, std::move(*block)).first;
  }
  return std::span<const uint8_t>(kept->second);
}

size_t QtClipboard::GetDataSize(ClipboardFormat format) const {
  const std::optional<std::span<const uint8_t>> block = GetData(format);
  return block ? block->size() : 0;
}

bool QtClipboard::IsFormatAvailable(ClipboardFormat format) const {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return false;
  const QMimeData* mime = impl_->View();
  if (!mime || format == 0) return false;
  if (const auto* own = dynamic_cast<const BlockMimeData*>(mime)) return own->blocks.contains(format);
  if (format == kClipboardDIB) return HasImage(*mime);
  return mime->hasFormat(MimeOf(format));
}

std::vector<ClipboardFormat> QtClipboard::AvailableFormats() const {
  std::vector<ClipboardFormat> formats;
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return formats;
  const QMimeData* mime = impl_->View();
  if (!mime) return formats;
  if (const auto* own = dynamic_cast<const BlockMimeData*>(mime)) {
    for (const auto& entry : own->blocks) formats.push_back(entry.first);
    return formats;
  }
  if (HasImage(*mime)) formats.push_back(kClipboardDIB);
  for (ClipboardFormat f = kFirstRegisteredFormat; !GetClipboardFormatName(f).empty(); ++f)
    if (mime->hasFormat(MimeOf(f))) formats.push_back(f);
  for (const QString& type : mime->formats()) {
    if (!type.startsWith(QLatin1String(kNumberedPrefix))) continue;
    bool ok = false;
    const uint number = type.mid(static_cast<qsizetype>(std::strlen(kNumberedPrefix))).toUInt(&ok);
    if (ok && number != 0 && number != kClipboardDIB && number < kFirstRegisteredFormat) formats.push_back(number);
  }
  std::sort(formats.begin(), formats.end());
  formats.erase(std::unique(formats.begin(), formats.end()), formats.end());
  return formats;
}

}  // namespace platform
