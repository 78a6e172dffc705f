// ICC profile reader: header, tag table, text tags, curves, luts and the
// text dump.
#include "color/icc_profile.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/atomic_file.h"
#include "platform/byte_order.h"

namespace color {
namespace {

using platform::LoadBE16;
using platform::LoadBE32;
int32_t LoadBES32(const uint8_t* p) { return static_cast<int32_t>(LoadBE32(p)); }

int BcdByte(uint8_t byte) { return (byte >> 4) * 10 + (byte & 15); }

// Bytes up to the first NUL (or the end) as a string.
std::string CString(const uint8_t* p, size_t size) {
  const auto* end = static_cast<const uint8_t*>(std::memchr(p, 0, size));
  return std::string(reinterpret_cast<const char*>(p), end ? size_t(end - p) : size);
}

// UTF-16BE code units to UTF-8, up to the first NUL; unpaired surrogates
// become U+FFFD.
std::string Utf16BeToUtf8(const uint8_t* p, size_t units) {
  std::string out;
  for (size_t i = 0; i < units; ++i) {
    uint32_t code = LoadBE16(p + 2 * i);
    if (code == 0) break;
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < units) {
      const uint32_t low = LoadBE16(p + 2 * (i + 1));
      if (low >= 0xDC00 && low < 0xE000) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      } else {
        code = 0xFFFD;
      }
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out += char(code);
    } else if (code < 0x800) {
      out += char(0xC0 | (code >> 6));
      out += char(0x80 | (code & 63));
    } else if (code < 0x10000) {
      out += char(0xE0 | (code >> 12));
      out += char(0x80 | ((code >> 6) & 63));
      out += char(0x80 | (code & 63));
    } else {
      out += char(0xF0 | (code >> 18));
      out += char(0x80 | ((code >> 12) & 63));
      out += char(0x80 | ((code >> 6) & 63));
      out += char(0x80 | (code & 63));
    }
  }
  return out;
}

constexpr uint32_t kTypeDesc = Signature("desc");
constexpr uint32_t kTypeMluc = Signature("mluc");
constexpr uint32_t kTypeCurve = Signature("curv");
constexpr uint32_t kTypeLut8 = Signature("mft1");
constexpr uint32_t kTypeLut16 = Signature("mft2");
constexpr uint32_t kTypeUcrBg = Signature("bfd ");

constexpr uint32_t kTagGamut = Signature("gamt");
constexpr uint32_t kTagRedColorant = Signature("rXYZ");
constexpr uint32_t kTagBlackPoint = Signature("bkpt");
constexpr uint32_t kTagWhitePoint = Signature("wtpt");
constexpr uint32_t kTagUcrBg = Signature("bfd ");
constexpr uint32_t kColorantTags[3] = {Signature("rXYZ"), Signature("gXYZ"), Signature("bXYZ")};
constexpr uint32_t kTrcTags[3] = {Signature("rTRC"), Signature("gTRC"), Signature("bTRC")};
constexpr const char* kTrcNames[3] = {"Red", "Green", "Blue"};

}  // namespace

uint32_t LutTagForIntent(int intent, bool toPcs) {
  switch (intent) {
    case 0: return toPcs ? Signature("A2B0") : Signature("B2A0");
    case 1:
    case 3: return toPcs ? Signature("A2B1") : Signature("B2A1");
    case 2: return toPcs ? Signature("A2B2") : Signature("B2A2");
    default: return kTagGamut;
  }
}

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::string SignatureText(uint32_t signature) {
  std::string text(4, ' ');
  for (int i = 0; i < 4; ++i) {
    const char c = char((signature >> (24 - 8 * i)) & 0xFF);
    text[i] = (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return text;
}

bool ColorProfile::Open(const std::string& path) {
  *this = ColorProfile();
  path_ = path;
  std::error_code code;
  const uint64_t size = std::filesystem::file_size(path, code);
  if (code || !std::filesystem::is_regular_file(path, code)) {
    error_ = "cannot open " + path;
    return false;
  }
  return Load(size);
}

bool ColorProfile::OpenMemory(std::span<const uint8_t> bytes, const std::string& name) {
  *this = ColorProfile();
  path_ = name;
  fromMemory_ = true;
  if (bytes.size() > kMaxProfileSize) {
    error_ = name + " is not an ICC profile: larger than 64 MiB";
    return false;
  }
  memory_.assign(bytes.begin(), bytes.end());
  return Load(memory_.size());
}

bool ColorProfile::ReadBytes(uint64_t offset, size_t size, uint8_t* out) const {
  if (offset > fileSize_ || size > fileSize_ - offset) return false;
  if (size == 0) return true;
  if (fromMemory_) {
    std::memcpy(out, memory_.data() + offset, size);
    return true;
  }
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path_.c_str(), "rb"));
  if (!file) return false;
  if (fseeko(file.get(), static_cast<off_t>(offset), SEEK_SET) != 0) return false;
  return std::fread(out, 1, size, file.get()) == size;
}

bool ColorProfile::Load(uint64_t fileSize) {
  fileSize_ = fileSize;
  if (fileSize < 128) {
    error_ = path_ + " is not an ICC profile: shorter than the 128-byte header";
    return false;
  }
  if (fileSize > kMaxProfileSize) {
    error_ = path_ + " is not an ICC profile: larger than 64 MiB";
    return false;
  }
  uint8_t h[132];
  const size_t headLength = fileSize >= 132 ? 132 : 128;
  if (!ReadBytes(0, headLength, h)) {
    error_ = "cannot read " + path_;
    return false;
  }
  header_.size = LoadBE32(h);
  header_.cmmType = LoadBE32(h + 4);
  header_.rawVersion = LoadBE32(h + 8);
  header_.versionMajor = BcdByte(h[8]);
  header_.versionMinor = BcdByte(h[9]);
  header_.deviceClass = LoadBE32(h + 12);
  header_.colorSpace = LoadBE32(h + 16);
  header_.pcs = LoadBE32(h + 20);
  for (int i = 0; i < 6; ++i) header_.dateTime[i] = LoadBE16(h + 24 + 2 * i);
  header_.magic = LoadBE32(h + 36);
  header_.platform = LoadBE32(h + 40);
  header_.flags = LoadBE32(h + 44);
  header_.manufacturer = LoadBE32(h + 48);
  header_.model = LoadBE32(h + 52);
  header_.attributes = (uint64_t(LoadBE32(h + 56)) << 32) | LoadBE32(h + 60);
  header_.renderingIntent = LoadBE32(h + 64);
  for (int i = 0; i < 3; ++i) header_.illuminant[i] = LoadBES32(h + 68 + 4 * i);
  header_.creator = LoadBE32(h + 80);
  if (header_.magic != Signature("acsp")) {
    error_ = path_ + " is not an ICC profile: no \"acsp\" signature at byte 36";
    return false;
  }
  if (headLength < 132) {
    error_ = path_ + " is not an ICC profile: no tag table";
    return false;
  }
  // The tag count must leave room for its entries in the file.
  const uint64_t count = LoadBE32(h + 128);
  if (count > (fileSize - 132) / 12) {
    error_ = path_ + " is damaged: the tag table (" + std::to_string(count) + " entries) runs past the end of the file";
    return false;
  }
  std::vector<uint8_t> table(static_cast<size_t>(count * 12));
  if (count > 0 && !ReadBytes(132, table.size(), table.data())) {
    error_ = "cannot read " + path_;
    return false;
  }
  for (size_t i = 0; i < count; ++i) {
    const IccTag tag{LoadBE32(&table[i * 12]), LoadBE32(&table[i * 12 + 4]), LoadBE32(&table[i * 12 + 8])};
    // A tag outside the file is treated as absent.
    if (tag.offset > fileSize || tag.size > fileSize - tag.offset) continue;
    tags_.push_back(tag);
    if (tag.signature == kTagGamut) hasGamut_ = true;
    if (tag.signature == kTagRedColorant) hasColorants_ = true;
    if (tag.signature == kTagBlackPoint) hasBlackPoint_ = true;
  }

  if (auto text = ReadText(Signature("desc"))) description_ = *text;
  const auto deviceName = ReadText(Signature("dmnd"));
  const auto deviceModel = ReadText(Signature("dmdd"));
  displayName_ = (deviceName && deviceModel) ? *deviceName + " " + *deviceModel : description_;
  if (auto text = ReadText(Signature("cprt"))) copyright_ = *text;
  open_ = true;
  return true;
}

bool ColorProfile::HasTag(uint32_t signature) const {
  return std::any_of(tags_.begin(), tags_.end(), [&](const IccTag& tag) { return tag.signature == signature; });
}

std::optional<std::vector<uint8_t>> ColorProfile::ReadTag(uint32_t signature) const {
  for (const IccTag& tag : tags_) {
    if (tag.signature != signature) continue;
    std::vector<uint8_t> bytes(tag.size);
    if (!ReadBytes(tag.offset, tag.size, bytes.data())) return std::nullopt;
    return bytes;
  }
  return std::nullopt;
}

// "desc": the ASCII part, cut at its stated length (and at a NUL inside
// it); "text": from byte 8; "mluc" (version 4): the first record. Any other
// type is read from byte 8 as text.
std::optional<std::string> ColorProfile::ReadText(uint32_t signature) const {
  const auto bytes = ReadTag(signature);
  if (!bytes || bytes->size() < 8) return std::nullopt;
  const uint8_t* p = bytes->data();
  const size_t size = bytes->size();
  const uint32_t type = LoadBE32(p);
  if (type == kTypeDesc) {
    if (size < 12) return std::nullopt;
    const size_t stated = LoadBE32(p + 8);
    return CString(p + 12, std::min(stated, size - 12));
  }
  if (type == kTypeMluc) {
    if (size < 28) return std::nullopt;
    const uint32_t records = LoadBE32(p + 8);
    if (records == 0) return std::string();
    const uint32_t length = LoadBE32(p + 20);
    const uint32_t offset = LoadBE32(p + 24);
    if (offset > size || length > size - offset) return std::nullopt;
    return Utf16BeToUtf8(p + offset, length / 2);
  }
  return CString(p + 8, size - 8);
}

bool ColorProfile::ReadXYZ(uint32_t signature, std::array<int32_t, 3>& xyz) const {
  const auto bytes = ReadTag(signature);
  if (!bytes || bytes->size() < 20) return false;
  for (int i = 0; i < 3; ++i) xyz[i] = LoadBES32(bytes->data() + 8 + 4 * i);
  return true;
}

std::optional<ToneCurve> ColorProfile::ReadCurve(uint32_t signature) const {
  const auto bytes = ReadTag(signature);
  if (!bytes || bytes->size() < 12 || LoadBE32(bytes->data()) != kTypeCurve) return std::nullopt;
  ToneCurve curve;
  curve.count = LoadBE32(bytes->data() + 8);
  if (curve.count > (bytes->size() - 12) / 2) return std::nullopt;
  curve.data.resize(curve.count);
  for (uint32_t i = 0; i < curve.count; ++i) curve.data[i] = LoadBE16(bytes->data() + 12 + 2 * i);
  return curve;
}

std::optional<IccLut> ColorProfile::ReadLut(uint32_t tagSignature) const {
  const auto bytes = ReadTag(tagSignature);
  if (!bytes || bytes->size() < 48) return std::nullopt;
  const uint8_t* p = bytes->data();
  const uint64_t size = bytes->size();
  const uint32_t type = LoadBE32(p);
  if (type != kTypeLut8 && type != kTypeLut16) return std::nullopt;
  IccLut lut;
  lut.tag = tagSignature;
  lut.is16 = type == kTypeLut16;
  lut.inputChannels = p[8];
  lut.outputChannels = p[9];
  lut.gridPoints = p[10];
  if (lut.inputChannels < 1 || lut.inputChannels > 15 || lut.outputChannels < 1 || lut.outputChannels > 15 ||
      lut.gridPoints < 2)
    return std::nullopt;
  for (int i = 0; i < 9; ++i) lut.matrix[i] = LoadBES32(p + 12 + 4 * i);
  uint64_t pos = 48;
  const uint64_t valueSize = lut.is16 ? 2 : 1;
  if (lut.is16) {
    if (size < 52) return std::nullopt;
    lut.inputEntries = LoadBE16(p + 48);
    lut.outputEntries = LoadBE16(p + 50);
    pos = 52;
  } else {
    lut.inputEntries = 256;
    lut.outputEntries = 256;
  }
  if (lut.inputEntries < 2 || lut.outputEntries < 2) return std::nullopt;
  // Every count is bounded by the values the tag can still hold before
  // anything is allocated, so no product can overflow.
  const uint64_t capacity = (size - pos) / valueSize;
  const uint64_t inputCount = uint64_t(lut.inputChannels) * uint64_t(lut.inputEntries);
  uint64_t clutCount = uint64_t(lut.outputChannels);
  for (int i = 0; i < lut.inputChannels; ++i) {
    clutCount *= uint64_t(lut.gridPoints);
    if (clutCount > capacity) return std::nullopt;
  }
  const uint64_t outputCount = uint64_t(lut.outputChannels) * uint64_t(lut.outputEntries);
  if (inputCount + clutCount + outputCount > capacity) return std::nullopt;

  const auto readValues = [&](std::vector<uint16_t>& values, uint64_t count) {
    values.resize(static_cast<size_t>(count));
    for (uint64_t i = 0; i < count; ++i, pos += valueSize) values[i] = lut.is16 ? LoadBE16(p + pos) : p[pos];
  };
  readValues(lut.inputTables, inputCount);
  readValues(lut.clut, clutCount);
  readValues(lut.outputTables, outputCount);
  return lut;
}

void ColorProfile::Print(const char* format, ...) const {
  if (!dumpSink_) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(dumpSink_, format, args);
  va_end(args);
}

void ColorProfile::DumpTable(const uint16_t* values, size_t count) const {
  if (!dumpSink_) return;
  for (size_t i = 0; i < count; ++i) {
    std::fprintf(dumpSink_, " %6d,", values[i]);
    if ((i + 1) % 20 == 0) std::fputc('\n', dumpSink_);
  }
}

void ColorProfile::ReadMediaPoints(bool alwaysBlackLine) {
  std::array<int32_t, 3> xyz{};
  mediaWhite_ = {};
  mediaBlack_ = {};
  if (ReadXYZ(kTagWhitePoint, xyz))
    for (int i = 0; i < 3; ++i) mediaWhite_[i] = xyz[i] / 65536.0;
  Print("Media White  %lf  %lf  %lf\n", mediaWhite_[0], mediaWhite_[1], mediaWhite_[2]);
  const bool black = ReadXYZ(kTagBlackPoint, xyz);
  if (black)
    for (int i = 0; i < 3; ++i) mediaBlack_[i] = xyz[i] / 65536.0;
  if (black || alwaysBlackLine) Print("Media Black  %lf  %lf %lf\n", mediaBlack_[0], mediaBlack_[1], mediaBlack_[2]);
}

void ColorProfile::ReadMatrixTrc() {
  bool complete = true;
  for (int c = 0; c < 3; ++c) {
    Print("\n %s TRC  ", kTrcNames[c]);
    const auto curve = ReadCurve(kTrcTags[c]);
    trc_[c] = curve.value_or(ToneCurve());
    if (!curve) {
      complete = false;
      continue;
    }
    if (curve->count == 0)
      Print(" Linear response");
    else if (curve->count == 1)
      Print(" Gamma %1.3f,", curve->data[0] / 256.0);
    else
      DumpTable(curve->data.data(), curve->data.size());
  }
  for (int c = 0; c < 3; ++c) {
    std::array<int32_t, 3> xyz{};
    if (!ReadXYZ(kColorantTags[c], xyz)) {
      complete = false;
      colorants_[c] = {};
      continue;
    }
    colorants_[c] = xyz;
    Print("\n%s Colorant  %ld  %ld  %ld", SignatureText(kColorantTags[c]).c_str(), long(xyz[0]), long(xyz[1]),
          long(xyz[2]));
  }
  if (complete) BuildChannelTables();
}

void ColorProfile::BuildChannelTables() {
  for (int c = 0; c < 3; ++c) {
    const ToneCurve& curve = trc_[c];
    double colorant[3];
    for (int k = 0; k < 3; ++k) colorant[k] = colorants_[c][k] / 65536.0;
    for (int v = 0; v < 256; ++v) {
      for (int k = 0; k < 3; ++k) {
        double value;
        if (curve.count == 0) {
          value = v * colorant[k] * kLinearScale[k];
        } else if (curve.count == 1) {
          const double t = std::pow(v / 255.0, curve.data[0] / 256.0);
          value = t * colorant[k] * kGammaScale[k];
        } else {
          const uint64_t position = uint64_t(v) * (curve.count - 1);
          const size_t i = size_t(position / 255);
          const uint64_t rem = position % 255;
          double sample = curve.data[i];
          if (rem != 0) sample = double(std::llround((curve.data[i] * double(255 - rem) + curve.data[i + 1] * double(rem)) / 255.0));
          value = sample * colorant[k] * kSampledScale[k];
        }
        // Hostile colorants may be huge; keep the table in range.
        value = std::clamp(value, -2147483647.0, 2147483647.0);
        channelXYZ_[c][k][v] = static_cast<int32_t>(value);  // truncation toward zero
      }
    }
    for (int k = 0; k < 3; ++k) matrix_[k * 3 + c] = colorant[k];
  }
  hasChannelTables_ = true;
}

void ColorProfile::ReadLutInto(uint32_t signature, std::optional<IccLut>& target, bool gamut) {
  target = ReadLut(signature);
  if (!target) return;
  const IccLut& lut = *target;
  Print(gamut ? " Gamut Type  \n" : " LUT Type  \n");
  Print("Input Channel  %d \n", lut.inputChannels);
  Print("Output Channel  %d \n", lut.outputChannels);
  Print(gamut ? "Gamut Grid Point  %d \n" : "LUT Grid Point  %d \n", lut.gridPoints);
  Print(" 3x3 matrix \n");
  for (int row = 0; row < 3; ++row)
    Print(" %d  %d  %d\n", lut.matrix[row * 3], lut.matrix[row * 3 + 1], lut.matrix[row * 3 + 2]);
  Print(lut.is16 ? " LUT16 type\n" : " LUT8 type\n");
  Print("Input Entry Count  %d \n", lut.inputEntries);
  Print("Output Entry Count  %d \n", lut.outputEntries);
  Print("Input Table  \n");
  DumpTable(lut.inputTables.data(), lut.inputTables.size());
  Print("LUT Table  \n");
  DumpTable(lut.clut.data(), lut.clut.size());
  Print("Output Table  \n");
  DumpTable(lut.outputTables.data(), lut.outputTables.size());
}

int ColorProfile::Prepare(int intent, bool toPcs) {
  if (!open_) return 0;
  hasChannelTables_ = false;
  lut_.reset();
  gamut_.reset();
  ucrBg_.reset();
  trc_ = {};
  colorants_ = {};
  channelXYZ_ = {};
  matrix_ = {};
  switch (header_.deviceClass) {
    case kClassMonitor:
      ReadMediaPoints(false);
      ReadMatrixTrc();
      return 1;
    case kClassInput:
      ReadMediaPoints(false);
      if (HasTag(kTagRedColorant)) ReadMatrixTrc();
      if (HasTag(Signature("A2B0"))) ReadLutInto(Signature("A2B0"), lut_, false);
      return 1;
    case kClassOutput: {
      ReadMediaPoints(true);
      if (const auto bytes = ReadTag(kTagUcrBg)) {
        // ucrbgType: count and curve for UCR, count and curve for BG, then
        // the method's text; each count is bounded by the bytes left.
        const uint8_t* p = bytes->data();
        const size_t size = bytes->size();
        size_t pos = 8;
        UcrBg curves;
        bool ok = size >= 12 && LoadBE32(p) == kTypeUcrBg;
        for (auto* values : {&curves.ucr, &curves.bg}) {
          if (!ok) break;
          if (size - pos < 4) {
            ok = false;
            break;
          }
          const uint64_t count = LoadBE32(p + pos);
          pos += 4;
          if (count > (size - pos) / 2) {
            ok = false;
            break;
          }
          values->resize(static_cast<size_t>(count));
          for (auto& value : *values) {
            value = LoadBE16(p + pos);
            pos += 2;
          }
        }
        if (ok) {
          curves.method = CString(p + pos, size - pos);
          Print("\n UCR BG table  \n");
          Print("UCR count %d\n", int(curves.ucr.size()));
          DumpTable(curves.ucr.data(), curves.ucr.size());
          Print("\nBg count %d\n", int(curves.bg.size()));
          DumpTable(curves.bg.data(), curves.bg.size());
          Print("\nMethod %s\n", curves.method.c_str());
          ucrBg_ = std::move(curves);
        }
      }
      const uint32_t chosen = LutTagForIntent(intent, toPcs);
      ReadLutInto(chosen, lut_, chosen == kTagGamut);
      if (chosen != kTagGamut && HasTag(kTagGamut)) ReadLutInto(kTagGamut, gamut_, true);
      return 1;
    }
    default:
      return 0;
  }
}

int ColorProfile::Dump(std::FILE* sink, int intent) {
  if (!sink || !open_) return 0;
  std::fprintf(sink, "\n Description : %s  \n", description_.c_str());
  std::fprintf(sink, "%s ColorSpace\n", SignatureText(header_.colorSpace).c_str());
  std::fprintf(sink, "%s PCS\n", SignatureText(header_.pcs).c_str());
  dumpSink_ = sink;
  const int result = Prepare(intent);
  dumpSink_ = nullptr;
  return result;
}

bool ColorProfile::Dump(const std::string& path, int intent, int* prepared) {
  if (!open_) return false;
  // Written under a temporary name beside the target and put in place when
  // complete, so a failed dump never leaves a half-written file.
  platform::AtomicFile file(path);
  std::FILE* stream = file.Open() ? file.Stream() : nullptr;
  if (!stream) return false;
  const int result = Dump(stream, intent);
  if (!file.Commit()) return false;
  if (prepared) *prepared = result;
  return true;
}

}  // namespace color
