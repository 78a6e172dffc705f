// Assembles small ICC profiles for the tests from the ICC.1 layout: a
// 128-byte header, the tag count and 12-byte entries (signature, offset,
// size), then the tag data, each tag starting on a 4-byte boundary; all
// numbers big-endian.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace icc_test {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& out, uint32_t value) {
  out.push_back(uint8_t(value >> 8));
  out.push_back(uint8_t(value));
}
inline void Put32(Bytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}
inline void PutSig(Bytes& out, const std::string& sig) {
  for (int i = 0; i < 4; ++i) out.push_back(i < int(sig.size()) ? uint8_t(sig[i]) : uint8_t(' '));
}
inline void Set32(Bytes& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(value >> (24 - 8 * i));
}
inline int32_t S15(double value) { return int32_t(std::lround(value * 65536.0)); }

struct Tag {
  std::string signature;
  Bytes data;
  // When set, the table entry states these instead of the real place.
  int64_t forcedOffset = -1;
  int64_t forcedSize = -1;
};

struct Header {
  std::string deviceClass = "mntr";
  std::string colorSpace = "RGB ";
  std::string pcs = "XYZ ";
  uint8_t versionMajor = 0x02;
  uint8_t versionMinor = 0x10;
  std::string magic = "acsp";
};

inline Bytes BuildProfile(const Header& header, const std::vector<Tag>& tags) {
  Bytes out(128, 0);
  out[8] = header.versionMajor;
  out[9] = header.versionMinor;
  for (int i = 0; i < 4; ++i) {
    out[12 + i] = uint8_t(header.deviceClass[i]);
    out[16 + i] = uint8_t(header.colorSpace[i]);
    out[20 + i] = uint8_t(header.pcs[i]);
    out[36 + i] = uint8_t(header.magic[i]);
  }
  Set32(out, 68, uint32_t(S15(0.9642)));
  Set32(out, 72, uint32_t(S15(1.0)));
  Set32(out, 76, uint32_t(S15(0.8249)));
  Put32(out, uint32_t(tags.size()));
  const size_t tableAt = out.size();
  out.resize(out.size() + 12 * tags.size());
  for (size_t i = 0; i < tags.size(); ++i) {
    while (out.size() % 4) out.push_back(0);
    const size_t offset = out.size();
    out.insert(out.end(), tags[i].data.begin(), tags[i].data.end());
    const size_t entry = tableAt + 12 * i;
    for (int k = 0; k < 4; ++k) out[entry + k] = uint8_t(tags[i].signature[k]);
    Set32(out, entry + 4, uint32_t(tags[i].forcedOffset >= 0 ? tags[i].forcedOffset : int64_t(offset)));
    Set32(out, entry + 8, uint32_t(tags[i].forcedSize >= 0 ? tags[i].forcedSize : int64_t(tags[i].data.size())));
  }
  Set32(out, 0, uint32_t(out.size()));
  return out;
}

// textDescriptionType: the ASCII count (stated, normally the text length
// plus its NUL), the text, then the empty Unicode and ScriptCode parts.
inline Bytes DescTag(const std::string& text, int64_t stated = -1) {
  Bytes out;
  PutSig(out, "desc");
  Put32(out, 0);
  Put32(out, uint32_t(stated >= 0 ? stated : int64_t(text.size() + 1)));
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
  Put32(out, 0);  // Unicode language
  Put32(out, 0);  // Unicode count
  Put16(out, 0);  // ScriptCode code
  out.push_back(0);
  out.resize(out.size() + 67, 0);
  return out;
}

inline Bytes TextTag(const std::string& text) {
  Bytes out;
  PutSig(out, "text");
  Put32(out, 0);
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
  return out;
}

inline Bytes XYZTag(double x, double y, double z) {
  Bytes out;
  PutSig(out, "XYZ ");
  Put32(out, 0);
  Put32(out, uint32_t(S15(x)));
  Put32(out, uint32_t(S15(y)));
  Put32(out, uint32_t(S15(z)));
  return out;
}

inline Bytes CurveTag(const std::vector<uint16_t>& values, int64_t statedCount = -1) {
  Bytes out;
  PutSig(out, "curv");
  Put32(out, 0);
  Put32(out, uint32_t(statedCount >= 0 ? statedCount : int64_t(values.size())));
  for (uint16_t value : values) Put16(out, value);
  return out;
}

struct LutDef {
  bool is16 = true;
  int inputs = 3, outputs = 3, grid = 2;
  int32_t matrix[9] = {65536, 0, 0, 0, 65536, 0, 0, 0, 65536};
  int inputEntries = 2, outputEntries = 2;  // lut8: always 256
  std::vector<uint16_t> inputTables, clut, outputTables;
};

inline Bytes LutTag(const LutDef& lut) {
  Bytes out;
  PutSig(out, lut.is16 ? "mft2" : "mft1");
  Put32(out, 0);
  out.push_back(uint8_t(lut.inputs));
  out.push_back(uint8_t(lut.outputs));
  out.push_back(uint8_t(lut.grid));
  out.push_back(0);
  for (int32_t value : lut.matrix) Put32(out, uint32_t(value));
  if (lut.is16) {
    Put16(out, uint32_t(lut.inputEntries));
    Put16(out, uint32_t(lut.outputEntries));
  }
  for (const auto* table : {&lut.inputTables, &lut.clut, &lut.outputTables})
    for (uint16_t value : *table) {
      if (lut.is16)
        Put16(out, value);
      else
        out.push_back(uint8_t(value));
    }
  return out;
}

// Identity tables: `channels` ramps of `entries` values from 0 to `top`.
inline std::vector<uint16_t> Ramps(int channels, int entries, int top) {
  std::vector<uint16_t> values;
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < entries; ++i) values.push_back(uint16_t(std::lround(double(i) * top / (entries - 1))));
  return values;
}

}  // namespace icc_test
