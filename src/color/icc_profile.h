// ICC profile reader: version-2 profiles (128-byte header, tag table,
// big-endian numbers) of the classes monitor ("mntr"), input ("scnr") and
// output ("prtr"), and their readable text dump.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace color {

// A four-character signature as the 32-bit big-endian number it is stored as.
constexpr uint32_t Signature(const char (&text)[5]) {
  return (uint32_t(uint8_t(text[0])) << 24) | (uint32_t(uint8_t(text[1])) << 16) |
         (uint32_t(uint8_t(text[2])) << 8) | uint32_t(uint8_t(text[3]));
}
// The four characters of a signature (bytes outside printable ASCII as '?').
std::string SignatureText(uint32_t signature);

inline constexpr uint32_t kClassMonitor = Signature("mntr");
inline constexpr uint32_t kClassInput = Signature("scnr");
inline constexpr uint32_t kClassOutput = Signature("prtr");
inline constexpr uint32_t kSpaceXYZ = Signature("XYZ ");
inline constexpr uint32_t kSpaceLab = Signature("Lab ");
inline constexpr uint32_t kSpaceRGB = Signature("RGB ");
inline constexpr uint32_t kSpaceCMYK = Signature("CMYK");

// The lut tag Prepare reads for an output profile: intent 0 "A2B0"/"B2A0",
// 1 and 3 "A2B1"/"B2A1", 2 "A2B2"/"B2A2" (A2B when toPcs), any other "gamt".
uint32_t LutTagForIntent(int intent, bool toPcs);

// The largest profile we read; bigger files are refused (real ones stay far
// below, and every tag buffer is bounded by the file size).
inline constexpr uint64_t kMaxProfileSize = 64u << 20;

// The 128-byte header, byte-swapped into host numbers.
struct IccHeader {
  uint32_t size = 0;
  uint32_t cmmType = 0;
  uint32_t rawVersion = 0;  // bytes 8..11 as stored
  int versionMajor = 0;     // byte 8 read as two decimal digits (0x02 -> 2)
  int versionMinor = 0;     // byte 9 read as two decimal digits (0x20 -> 20, 0x10 -> 10)
  uint32_t deviceClass = 0;
  uint32_t colorSpace = 0;
  uint32_t pcs = 0;
  std::array<uint16_t, 6> dateTime{};  // year, month, day, hours, minutes, seconds
  uint32_t magic = 0;                  // "acsp"
  uint32_t platform = 0;
  uint32_t flags = 0;
  uint32_t manufacturer = 0;
  uint32_t model = 0;
  uint64_t attributes = 0;
  uint32_t renderingIntent = 0;
  std::array<int32_t, 3> illuminant{};  // s15Fixed16Number X, Y, Z
  uint32_t creator = 0;
};

struct IccTag {
  uint32_t signature = 0;
  uint32_t offset = 0;
  uint32_t size = 0;
};

// A tone curve ("curv"): count 0 is the identity, count 1 a gamma held as a
// u8Fixed8Number in data[0] (gamma = data[0] / 256), more entries a table
// of 16-bit samples spread evenly over the input range 0..1.
struct ToneCurve {
  uint32_t count = 0;
  std::vector<uint16_t> data;
};

// A lut8Type ("mft1") or lut16Type ("mft2") table. Table values are kept as
// stored: 0..255 for lut8, 0..65535 for lut16. inputTables holds
// inputChannels tables of inputEntries each, one after the other; clut
// holds gridPoints ^ inputChannels grid nodes of outputChannels values, the
// first input channel varying slowest; outputTables outputChannels tables of
// outputEntries each.
struct IccLut {
  uint32_t tag = 0;  // the tag signature it came from ("A2B0", "B2A1", "gamt", ...)
  bool is16 = false;
  int inputChannels = 0;
  int outputChannels = 0;
  int gridPoints = 0;
  std::array<int32_t, 9> matrix{};  // s15Fixed16Number e00..e22, row by row
  int inputEntries = 0;
  int outputEntries = 0;
  std::vector<uint16_t> inputTables;
  std::vector<uint16_t> clut;
  std::vector<uint16_t> outputTables;
};

// The "bfd " (ucrbgType) tag: under-colour-removal and black-generation
// curves and the text naming the method.
struct UcrBg {
  std::vector<uint16_t> ucr;
  std::vector<uint16_t> bg;
  std::string method;
};

// One open profile. Open reads the header, the tag table, the description,
// the display name and the copyright; Prepare reads what the profile's class
// needs; tag data is read on demand (the file is opened, positioned at the
// tag and the tag's bytes are read into a fresh buffer).
//
// Damaged files: a file shorter than the 128-byte header, larger than
// kMaxProfileSize, or whose tag table does not fit in the file fails Open
// (LastError() says why). A tag whose offset or size lies outside the file
// is treated as absent, and so is a tag too short for its type, a lut whose
// tables do not fit in the tag, or a curve whose count does not; nothing is
// ever read outside a buffer and no allocation exceeds the tag's size.
class ColorProfile {
 public:
  // Opens the profile file at `path`. False on failure (no profile data).
  bool Open(const std::string& path);
  // The same from bytes held in memory (copied); `name` stands for the path.
  bool OpenMemory(std::span<const uint8_t> bytes, const std::string& name = "<memory>");

  // Reads, by class: monitor: media white (zero without "wtpt"), media black
  // when present, the three TRCs, the three colorants, then the channel
  // tables and the colorant matrix; input: as monitor, but TRCs, colorants
  // and channel tables only when "rXYZ" is present, then "A2B0" when
  // present; output: media white and black, "bfd " when present, then the
  // one lut chosen by intent and direction (intent 0 "A2B0"/"B2A0", 1 and 3
  // "A2B1"/"B2A1", 2 "A2B2"/"B2A2", any other "gamt"), then "gamt" when
  // present. Returns 1, or 0 for any other class (or an unopened profile).
  // A device-to-PCS direction (toPcs true) picks the A2B tags.
  int Prepare(int intent, bool toPcs = false);

  // Writes the text dump of the profile to `sink`: the description and the
  // colour-space lines, then everything Prepare(intent) reads, as it reads
  // it. Returns Prepare's result (the header lines are written either way).
  int Dump(std::FILE* sink, int intent);
  // The same into the file at `path`, written under a temporary name in the
  // same folder and renamed when complete. False when the file cannot be
  // written (nothing is left behind).
  bool Dump(const std::string& path, int intent, int* prepared = nullptr);

  // Reads one lut tag ("mft1" or "mft2"); nullopt when absent or damaged.
  std::optional<IccLut> ReadLut(uint32_t tagSignature) const;
  // The lut Prepare chose for the intent and direction, when it was present.
  const std::optional<IccLut>& Lut() const { return lut_; }
  const std::optional<IccLut>& Gamut() const { return gamut_; }
  const std::optional<UcrBg>& UcrBgCurves() const { return ucrBg_; }

  bool IsOpen() const { return open_; }
  const std::string& LastError() const { return error_; }
  const std::string& Path() const { return path_; }
  const IccHeader& Header() const { return header_; }
  const std::vector<IccTag>& Tags() const { return tags_; }
  bool HasTag(uint32_t signature) const;

  const std::string& Description() const { return description_; }
  const std::string& DisplayName() const { return displayName_; }
  const std::string& Copyright() const { return copyright_; }

  bool HasGamut() const { return hasGamut_; }
  bool HasColorants() const { return hasColorants_; }
  bool HasBlackPoint() const { return hasBlackPoint_; }
  // XYZ of "wtpt" and "bkpt" (s15Fixed16Number / 65536); zero when absent.
  const std::array<double, 3>& MediaWhite() const { return mediaWhite_; }
  const std::array<double, 3>& MediaBlack() const { return mediaBlack_; }
  // Raw s15Fixed16Number X, Y, Z of the red, green and blue colorants.
  const std::array<std::array<int32_t, 3>, 3>& Colorants() const { return colorants_; }
  const std::array<ToneCurve, 3>& Trc() const { return trc_; }
  // True when Prepare built the channel tables (TRCs and colorants read).
  bool HasChannelTables() const { return hasChannelTables_; }
  // channelXYZ[c][k][v]: the X (k 0), Y (1) or Z (2) contribution of value v
  // of channel c (0 red, 1 green, 2 blue), as X / Xn, Y / Yn, Z / Zn of the
  // D50 white in units of 1/65536. Built as:
  //   TRC count 0: X = trunc(v Xc kLinearScale[0]) (Y, Z likewise);
  //   count 1 (gamma g = data[0] / 256): t = (v / 255) ^ g,
  //     X = trunc(t Xc kGammaScale[0]);
  //   a table of n entries: S = the table linearly interpolated at
  //     v (n - 1) / 255, rounded to an integer (0..65535),
  //     X = trunc(S Xc kSampledScale[0]);
  // Xc, Yc, Zc the colorant's XYZ (s15Fixed16Number / 65536). So full
  // red + green + blue gives the profile's white relative to D50.
  const std::array<std::array<std::array<int32_t, 256>, 3>, 3>& ChannelXYZ() const { return channelXYZ_; }
  // The colorant matrix (columns red, green, blue; rows X, Y, Z) as numbers.
  const std::array<double, 9>& ColorantMatrix() const { return matrix_; }

  // Raw bytes of a tag (nullopt when absent or outside the file).
  std::optional<std::vector<uint8_t>> ReadTag(uint32_t signature) const;

 private:
  bool Load(uint64_t fileSize);
  bool ReadBytes(uint64_t offset, size_t size, uint8_t* out) const;
  std::optional<std::string> ReadText(uint32_t signature) const;
  bool ReadXYZ(uint32_t signature, std::array<int32_t, 3>& xyz) const;
  std::optional<ToneCurve> ReadCurve(uint32_t signature) const;
  void ReadMediaPoints(bool alwaysBlackLine);
  void ReadMatrixTrc();
  void ReadLutInto(uint32_t signature, std::optional<IccLut>& target, bool gamut);
  void BuildChannelTables();
  void DumpTable(const uint16_t* values, size_t count) const;
  void Print(const char* format, ...) const __attribute__((format(printf, 2, 3)));

  bool open_ = false;
  std::string path_;
  std::vector<uint8_t> memory_;  // the whole profile when opened from memory
  bool fromMemory_ = false;
  uint64_t fileSize_ = 0;
  std::string error_;
  IccHeader header_;
  std::vector<IccTag> tags_;
  std::string description_ = "No Description";
  std::string displayName_ = "No Description";
  std::string copyright_ = "No Copyright";
  bool hasGamut_ = false;
  bool hasColorants_ = false;
  bool hasBlackPoint_ = false;
  std::array<double, 3> mediaWhite_{};
  std::array<double, 3> mediaBlack_{};
  std::array<std::array<int32_t, 3>, 3> colorants_{};
  std::array<ToneCurve, 3> trc_{};
  bool hasChannelTables_ = false;
  std::array<std::array<std::array<int32_t, 256>, 3>, 3> channelXYZ_{};
  std::array<double, 9> matrix_{};
  std::optional<IccLut> lut_;
  std::optional<IccLut> gamut_;
  std::optional<UcrBg> ucrBg_;
  std::FILE* dumpSink_ = nullptr;
};

// The constants of the channel tables: 65536 / 0.9642, 65536 and
// 65536 / 0.8249 (the D50 white's X, Y, Z in units of 1/65536), divided by
// 255 for the linear case and by 65535 for the sampled case.
inline constexpr double kLinearScale[3] = {266.54627833294694, 257.00392156862745, 311.55766949766934};
inline constexpr double kGammaScale[3] = {67969.30097490147, 65536.0, 79447.20572190569};
inline constexpr double kSampledScale[3] = {1.037145051879171, 1.0000152590218967, 1.2122866517419042};

}  // namespace color
