#include "document/format_tables.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/messages.h"

namespace {

// --- open table ---
constexpr SubtypeRecord kOpenJpeg[] = {{10, "JFIF 4:4:4", 0x8014}, {98, "EXIF JPEG", 0x8010}};
constexpr SubtypeRecord kOpenPng[] = {{75, "", 0x3F}};
constexpr SubtypeRecord kOpenPhotoCD[] = {{57, "", 0x14}};
constexpr SubtypeRecord kOpenPcx[] = {{1, "", 0x2017}};
constexpr SubtypeRecord kOpenTga[] = {{4, "", 0x3C}};
constexpr SubtypeRecord kOpenTiff[] = {
    {3, "Uncompressed", 0xA03F},     {27, "CCITT Group 3, 1D", 0xA001}, {28, "CCITT Group 3, 2D", 0xA001},
    {29, "CCITT Group 4", 0xA001},   {11, "JTIF 4:4:4", 0x8010},        {85, "CMYK", 0xA030},
    {93, "YCbCr", 0xA010},           {87, "RLE encoded", 0xA03F},       {88, "RLE encoded CMYK", 0xA030},
    {95, "RLE encoded YCbCr", 0xA010},
};
constexpr SubtypeRecord kOpenBmp[] = {
    {14, "Version 1", 0x17}, {74, "Version 2", 0x17}, {6, "Uncompressed", 0x3F}, {84, "RLE", 0x6}};

constexpr FormatRecord kOpenTable[] = {
    {1, "JPEG", {"jpg", "jpeg", "jpe"}, kOpenJpeg},
    {22, "Compuserve PNG", {"png", "", ""}, kOpenPng},
    {7, "KODAK Photo CD", {"pcd", "", ""}, kOpenPhotoCD},
    {13, "ZSoft PCX", {"pcx", "dcx", ""}, kOpenPcx},
    {15, "Truevision Targa", {"tga", "", ""}, kOpenTga},
    {16, "Tagged Image File", {"tif", "", ""}, kOpenTiff},
    {12, "Windows,OS/2 Bitmap", {"bmp", "", ""}, kOpenBmp},
};

// --- save table (only the first sub-type's mask is consulted) ---
constexpr SubtypeRecord kSavePng[] = {{75, "", 0x213}};
constexpr SubtypeRecord kSaveJpeg[] = {{10, "JFIF 4:4:4", 0x9230}};
constexpr SubtypeRecord kSavePcx[] = {{1, "", 0x213}};
constexpr SubtypeRecord kSaveTga[] = {{4, "", 0x212}};
constexpr SubtypeRecord kSaveTiff[] = {{3, "Uncompressed", 0xA233}};
constexpr SubtypeRecord kSaveBmp[] = {{6, "Windows Uncompressed", 0x213}};

constexpr FormatRecord kSaveTable[] = {
    {21, "Compuserve PNG", {"png", "", ""}, kSavePng},
    {1, "JPEG", {"jpg", "jpeg", "jpe"}, kSaveJpeg},
    {12, "ZSoft PCX", {"pcx", "", ""}, kSavePcx},
    {14, "Truevision Targa", {"tga", "", ""}, kSaveTga},
    {15, "Tagged Image File", {"tif", "", ""}, kSaveTiff},
    {11, "Windows OS/2 Bitmap", {"bmp", "", ""}, kSaveBmp},
};

// "*.a;*.b" for the record's extensions.
std::string PatternList(const FormatRecord& record) {
  std::string out;
  for (std::string_view ext : record.extensions) {
    if (ext.empty()) continue;
    if (!out.empty()) out += ';';
    out += "*.";
    out += ext;
  }
  return out;
}

void AppendEntry(std::string& filter, const FormatRecord& record) {
  const std::string patterns = PatternList(record);
  filter.append(record.name).append("(").append(patterns).append(")|");
  filter.append(patterns).append("|");
}

bool Offered(const FormatRecord& record, uint32_t capability) {
  return capability != 0 && !record.subtypes.empty() && (record.subtypes.front().capabilities & capability) != 0;
}

std::string Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

}  // namespace

std::span<const FormatRecord> OpenFormatTable() { return kOpenTable; }
std::span<const FormatRecord> SaveFormatTable() { return kSaveTable; }

uint32_t CapabilityForKind(int bitCount, bool gray) {
  switch (bitCount) {
    case 1: return FMT_1BIT;
    case 8: return gray ? FMT_GRAY8 : FMT_PAL8;
    case 24: return FMT_RGB24;
    case 32: return FMT_CMYK32;
    default: return 0;
  }
}

std::string BuildOpenFilter() {
  std::string all;
  for (const FormatRecord& record : kOpenTable) {
    const std::string patterns = PatternList(record);
    if (patterns.empty()) continue;
    if (!all.empty()) all += ';';
    all += patterns;
  }
  std::string filter = "All Files|*.*|All Images|" + all + "|";
  for (const FormatRecord& record : kOpenTable) AppendEntry(filter, record);
  return filter + "|";
}

std::string BuildSaveFilter(int bitCount, bool gray) {
  const uint32_t capability = CapabilityForKind(bitCount, gray);
  std::string filter;
  for (const FormatRecord& record : kSaveTable)
    if (Offered(record, capability)) AppendEntry(filter, record);
  return filter + "|";
}

std::string BuildSaveExtList(int bitCount, bool gray) {
  const uint32_t capability = CapabilityForKind(bitCount, gray);
  std::string list;
  for (const FormatRecord& record : kSaveTable) {
    if (!Offered(record, capability)) continue;
    for (std::string_view ext : record.extensions) {
      char field[kSaveExtListWidth / 3 + 1];
      std::snprintf(field, sizeof field, "%5.*s", static_cast<int>(std::min<size_t>(ext.size(), 5)), ext.data());
      list += field;
    }
  }
  return list;
}

std::string GetSaveExtension(int bitCount, bool gray, int index) {
  const std::string list = BuildSaveExtList(bitCount, gray);
  const int count = static_cast<int>(list.size()) / kSaveExtListWidth;
  if (index < 1 || index > count) {
    platform::ShowMessage("Index is out of bounds");
    return {};
  }
  const size_t start = static_cast<size_t>(index - 1) * kSaveExtListWidth;
  return Trimmed(std::string_view(list).substr(start, kSaveExtListWidth / 3));
}

int FindSaveExtension(int bitCount, bool gray, std::string_view extension) {
  std::string wanted(extension);
  std::transform(wanted.begin(), wanted.end(), wanted.begin(), [](unsigned char c) { return std::tolower(c); });
  if (wanted.empty()) return 0;
  const std::string list = BuildSaveExtList(bitCount, gray);
  const size_t field = kSaveExtListWidth / 3;
  for (size_t pos = 0; pos + field <= list.size(); pos += field)
    if (Trimmed(std::string_view(list).substr(pos, field)) == wanted)
      return static_cast<int>(pos / kSaveExtListWidth) + 1;
  return 0;
}
