// ICC profile reading: header, text tags, channel tables, the text dump and
// damaged profiles, on small profiles assembled here from the ICC.1 layout.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "color/icc_profile.h"
#include "icc_profile_writer.h"
#include "test_support.h"

namespace {

using color::ColorProfile;
using icc_test::Bytes;
using icc_test::Header;
using icc_test::Tag;

ColorProfile OpenBytes(const Bytes& bytes) {
  ColorProfile profile;
  profile.OpenMemory(bytes);
  return profile;
}

// The dump of a profile opened from a real file, as text.
std::string DumpText(const Bytes& bytes, int intent) {
  testing_support::TempDir dir;
  const std::string path = dir.File("p.icc");
  testing_support::WriteBytes(path, bytes);
  ColorProfile profile;
  EXPECT_TRUE(profile.Open(path)) << profile.LastError();
  std::FILE* sink = std::tmpfile();
  profile.Dump(sink, intent);
  std::string text;
  std::rewind(sink);
  for (int c; (c = std::fgetc(sink)) != EOF;) text += char(c);
  std::fclose(sink);
  return text;
}

// " %6d," per entry with a line break after every 20.
std::string Entries(const std::vector<uint16_t>& values) {
  std::string text;
  for (size_t i = 0; i < values.size(); ++i) {
    std::string number = std::to_string(values[i]);
    text += " " + std::string(6 - std::min<size_t>(6, number.size()), ' ') + number + ",";
    if ((i + 1) % 20 == 0) text += "\n";
  }
  return text;
}

TEST(IccProfileHeader, DecodesByteSwappedFieldsAndBcdVersion) {
  struct Case {
    uint8_t major, minor;
    int expectMajor, expectMinor;
  } cases[] = {{0x02, 0x10, 2, 10}, {0x02, 0x20, 2, 20}, {0x04, 0x30, 4, 30}, {0x02, 0x01, 2, 1}};
  for (const Case& c : cases) {
    Header header;
    header.deviceClass = "prtr";
    header.colorSpace = "CMYK";
    header.pcs = "Lab ";
    header.versionMajor = c.major;
    header.versionMinor = c.minor;
    const Bytes bytes = icc_test::BuildProfile(header, {{"desc", icc_test::DescTag("x")}});
    const ColorProfile profile = OpenBytes(bytes);
    ASSERT_TRUE(profile.IsOpen()) << profile.LastError();
    EXPECT_EQ(profile.Header().versionMajor, c.expectMajor);
    EXPECT_EQ(profile.Header().versionMinor, c.expectMinor);
    EXPECT_EQ(profile.Header().size, bytes.size());
    EXPECT_EQ(profile.Header().deviceClass, color::kClassOutput);
    EXPECT_EQ(profile.Header().colorSpace, color::kSpaceCMYK);
    EXPECT_EQ(profile.Header().pcs, color::kSpaceLab);
    EXPECT_EQ(profile.Header().illuminant[1], 65536);
    ASSERT_EQ(profile.Tags().size(), 1u);
    EXPECT_EQ(profile.Tags()[0].offset, 144u);
  }
}

TEST(IccProfileText, DescriptionDisplayNameAndCopyright) {
  struct Case {
    const char* name;
    std::vector<Tag> tags;
    std::string description, displayName, copyright;
  } cases[] = {
      {"none", {}, "No Description", "No Description", "No Copyright"},
      {"plain", {{"desc", icc_test::DescTag("Office Monitor")}, {"cprt", icc_test::TextTag("Copyright Someone")}},
       "Office Monitor", "Office Monitor", "Copyright Someone"},
      // The stated length ends the text even though more text follows.
      {"cut at stated length",
       {{"desc", icc_test::DescTag("Scanner 3 Copyright (c) 1997 Maker", 9)}},
       "Scanner 3", "Scanner 3", "No Copyright"},
      // A stated length beyond the tag is cut at the tag's end.
      {"stated length too large", {{"desc", icc_test::DescTag("Short", 0x7FFFFFFF)}}, "Short", "Short",
       "No Copyright"},
      {"device name and model",
       {{"desc", icc_test::DescTag("D")}, {"dmnd", icc_test::DescTag("Maker")}, {"dmdd", icc_test::DescTag("Model 7")}},
       "D", "Maker Model 7", "No Copyright"},
      {"device name only", {{"desc", icc_test::DescTag("D")}, {"dmnd", icc_test::DescTag("Maker")}}, "D", "D",
       "No Copyright"},
      {"model without description", {{"dmdd", icc_test::DescTag("Model 7")}}, "No Description", "No Description",
       "No Copyright"},
  };
  for (const Case& c : cases) {
    const ColorProfile profile = OpenBytes(icc_test::BuildProfile(Header(), c.tags));
    ASSERT_TRUE(profile.IsOpen()) << c.name;
    EXPECT_EQ(profile.Description(), c.description) << c.name;
    EXPECT_EQ(profile.DisplayName(), c.displayName) << c.name;
    EXPECT_EQ(profile.Copyright(), c.copyright) << c.name;
  }
}

// Independent reference for one channel-table entry, from the definition.
int32_t ReferenceEntry(const color::ToneCurve& curve, double colorant, int k, int v) {
  const double white[3] = {0.9642, 1.0, 0.8249};
  double t;  // the channel's linear value, 0..1
  if (curve.count == 0) {
    t = v / 255.0;
  } else if (curve.count == 1) {
    t = std::pow(v / 255.0, curve.data[0] / 256.0);
  } else {
    const double position = v * (curve.count - 1) / 255.0;
    const size_t i = std::min<size_t>(size_t(position), curve.count - 2);
    const double sample = curve.data[i] + (position - i) * (curve.data[i + 1] - curve.data[i]);
    t = std::round(sample) / 65535.0;
  }
  return int32_t(std::trunc(t * colorant * 65536.0 / white[k]));
}

TEST(IccProfileChannelTables, FollowTheThreeCurveKinds) {
  std::vector<uint16_t> table;
  for (int i = 0; i < 37; ++i) table.push_back(uint16_t(std::lround(65535.0 * std::pow(i / 36.0, 2.4))));
  const std::vector<Tag> tags = {
      {"desc", icc_test::DescTag("channels")},
      {"rTRC", icc_test::CurveTag({461})},  // gamma 1.80078125
      {"gTRC", icc_test::CurveTag({})},     // linear
      {"bTRC", icc_test::CurveTag(table)},
      {"rXYZ", icc_test::XYZTag(0.4361, 0.2225, 0.0139)},
      {"gXYZ", icc_test::XYZTag(0.3851, 0.7169, 0.0971)},
      {"bXYZ", icc_test::XYZTag(0.1431, 0.0606, 0.7141)},
  };
  ColorProfile profile = OpenBytes(icc_test::BuildProfile(Header(), tags));
  ASSERT_EQ(profile.Prepare(0), 1);
  ASSERT_TRUE(profile.HasChannelTables());
  const auto& xyz = profile.ChannelXYZ();
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < 3; ++k) {
      const double colorant = profile.Colorants()[c][k] / 65536.0;
      for (int v = 0; v < 256; ++v)
        ASSERT_NEAR(xyz[c][k][v], ReferenceEntry(profile.Trc()[c], colorant, k, v), 1)
            << "channel " << c << " component " << k << " value " << v;
    }
  // The three channels at full value make the D50 white (to the rounding of
  // the colorants), and zero makes black.
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(xyz[0][k][255] + xyz[1][k][255] + xyz[2][k][255], 65536, 40) << k;
    EXPECT_EQ(xyz[0][k][0] + xyz[1][k][0] + xyz[2][k][0], 0) << k;
  }
}

std::vector<Tag> MonitorTags() {
  std::vector<uint16_t> table;
  for (int i = 0; i < 25; ++i) table.push_back(uint16_t(i * 1000));
  return {{"desc", icc_test::DescTag("Test Monitor")},
          {"wtpt", icc_test::XYZTag(0.5, 1.0, 0.25)},
          {"rTRC", icc_test::CurveTag({461})},
          {"gTRC", icc_test::CurveTag({})},
          {"bTRC", icc_test::CurveTag(table)},
          {"rXYZ", icc_test::XYZTag(0.5, 0.25, 0.125)},
          {"gXYZ", icc_test::XYZTag(0.25, 0.5, 0.125)},
          {"bXYZ", icc_test::XYZTag(0.125, 0.25, 0.5)}};
}

TEST(IccProfileDump, MonitorLines) {
  std::vector<uint16_t> table;
  for (int i = 0; i < 25; ++i) table.push_back(uint16_t(i * 1000));
  const std::string expected =
      "\n Description : Test Monitor  \n"
      "RGB  ColorSpace\n"
      "XYZ  PCS\n"
      "Media White  0.500000  1.000000  0.250000\n"
      "\n Red TRC   Gamma 1.801,"
      "\n Green TRC   Linear response"
      "\n Blue TRC  " +
      Entries(table) +
      "\nrXYZ Colorant  32768  16384  8192"
      "\ngXYZ Colorant  16384  32768  8192"
      "\nbXYZ Colorant  8192  16384  32768";
  EXPECT_EQ(DumpText(icc_test::BuildProfile(Header(), MonitorTags()), 0), expected);
  // With a black point its line follows the white one.
  std::vector<Tag> tags = MonitorTags();
  tags.push_back({"bkpt", icc_test::XYZTag(0.0, 0.5, 0.125)});
  const std::string dump = DumpText(icc_test::BuildProfile(Header(), tags), 0);
  EXPECT_NE(dump.find("Media White  0.500000  1.000000  0.250000\nMedia Black  0.000000  0.500000 0.125000\n"),
            std::string::npos)
      << dump;
}

icc_test::LutDef SmallLut16() {
  icc_test::LutDef lut;
  lut.inputs = 3;
  lut.outputs = 4;
  lut.inputTables = {0, 65535, 0, 65535, 1000, 64000};
  for (int i = 0; i < 32; ++i) lut.clut.push_back(uint16_t(i * 2000));
  lut.outputTables = {0, 65535, 0, 65535, 0, 65535, 65535, 0};
  return lut;
}

icc_test::LutDef SmallGamut8() {
  icc_test::LutDef lut;
  lut.is16 = false;
  lut.inputs = 3;
  lut.outputs = 1;
  lut.matrix[1] = -65536;  // a raw matrix number is dumped as stored
  lut.inputTables = icc_test::Ramps(3, 256, 255);
  lut.clut = {0, 0, 0, 0, 0, 0, 0, 255};
  lut.outputTables = icc_test::Ramps(1, 256, 255);
  return lut;
}

std::string LutLines(const icc_test::LutDef& lut, bool gamut) {
  const int inEntries = lut.is16 ? lut.inputEntries : 256, outEntries = lut.is16 ? lut.outputEntries : 256;
  auto line3 = [&](int row) {
    return " " + std::to_string(lut.matrix[row * 3]) + "  " + std::to_string(lut.matrix[row * 3 + 1]) + "  " +
           std::to_string(lut.matrix[row * 3 + 2]) + "\n";
  };
  return std::string(gamut ? " Gamut Type  \n" : " LUT Type  \n") + "Input Channel  " +
         std::to_string(lut.inputs) + " \nOutput Channel  " + std::to_string(lut.outputs) + " \n" +
         (gamut ? "Gamut Grid Point  " : "LUT Grid Point  ") + std::to_string(lut.grid) + " \n" +
         " 3x3 matrix \n" + line3(0) + line3(1) + line3(2) + (lut.is16 ? " LUT16 type\n" : " LUT8 type\n") +
         "Input Entry Count  " + std::to_string(inEntries) + " \nOutput Entry Count  " + std::to_string(outEntries) +
         " \nInput Table  \n" + Entries(lut.inputTables) + "LUT Table  \n" + Entries(lut.clut) +
         "Output Table  \n" + Entries(lut.outputTables);
}

TEST(IccProfileDump, OutputProfileLutsByIntent) {
  Header header;
  header.deviceClass = "prtr";
  header.colorSpace = "CMYK";
  header.pcs = "Lab ";
  const std::vector<Tag> tags = {{"desc", icc_test::DescTag("Printer")},
                                 {"wtpt", icc_test::XYZTag(0.5, 1.0, 0.25)},
                                 {"B2A0", icc_test::LutTag(SmallLut16())},
                                 {"A2B0", icc_test::LutTag(SmallGamut8())},
                                 {"gamt", icc_test::LutTag(SmallGamut8())}};
  const Bytes bytes = icc_test::BuildProfile(header, tags);
  const std::string head =
      "\n Description : Printer  \nCMYK ColorSpace\nLab  PCS\n"
      "Media White  0.500000  1.000000  0.250000\nMedia Black  0.000000  0.000000 0.000000\n";
  // Intent 0: B2A0 then the gamut table; intent 1: no B2A1, the gamut table
  // only; intent 5: the gamut table is the chosen one, dumped once.
  EXPECT_EQ(DumpText(bytes, 0), head + LutLines(SmallLut16(), false) + LutLines(SmallGamut8(), true));
  EXPECT_EQ(DumpText(bytes, 1), head + LutLines(SmallGamut8(), true));
  EXPECT_EQ(DumpText(bytes, 5), head + LutLines(SmallGamut8(), true));
}

TEST(IccProfileDump, UcrBgTagAndOtherClasses) {
  Bytes bfd;
  icc_test::PutSig(bfd, "bfd ");
  icc_test::Put32(bfd, 0);
  icc_test::Put32(bfd, 3);
  for (int v : {0, 100, 65535}) icc_test::Put16(bfd, v);
  icc_test::Put32(bfd, 2);
  for (int v : {5, 6}) icc_test::Put16(bfd, v);
  for (char c : std::string("GCR 40%")) bfd.push_back(uint8_t(c));
  bfd.push_back(0);
  Header header;
  header.deviceClass = "prtr";
  header.colorSpace = "CMYK";
  header.pcs = "Lab ";
  const std::string dump = DumpText(icc_test::BuildProfile(header, {{"bfd ", bfd}}), 0);
  EXPECT_NE(dump.find("0.000000 0.000000\n\n UCR BG table  \nUCR count 3\n      0,    100,  65535,\nBg count 2\n"
                      "      5,      6,\nMethod GCR 40%\n"),
            std::string::npos)
      << dump;

  // An abstract profile is not prepared: the header lines only.
  header.deviceClass = "abst";
  header.colorSpace = "Lab ";
  ColorProfile abstract = OpenBytes(icc_test::BuildProfile(header, {}));
  EXPECT_EQ(abstract.Prepare(0), 0);
  EXPECT_EQ(DumpText(icc_test::BuildProfile(header, {}), 0), "\n Description : No Description  \nLab  ColorSpace\nLab  PCS\n");
}

TEST(IccProfileDump, ToFileIsAtomic) {
  testing_support::TempDir dir;
  ColorProfile profile = OpenBytes(icc_test::BuildProfile(Header(), MonitorTags()));
  const std::string path = dir.File("dump.txt");
  ASSERT_TRUE(profile.Dump(path, 0));
  const Bytes written = testing_support::ReadBytes(path);
  EXPECT_EQ(std::string(written.begin(), written.end()).rfind("\n Description : Test Monitor  \n", 0), 0u);
  // A folder that does not exist: failure, and nothing is left behind.
  EXPECT_FALSE(profile.Dump(dir.File("missing/dump.txt"), 0));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

// Damaged and hostile profiles: a clear failure, or the tag treated as absent.
TEST(IccProfileDamage, RejectedOrTreatedAsAbsent) {
  Header printer;
  printer.deviceClass = "prtr";
  printer.colorSpace = "CMYK";
  printer.pcs = "Lab ";
  icc_test::LutDef hugeGrid = SmallLut16();
  hugeGrid.inputs = 15;
  hugeGrid.grid = 255;
  icc_test::LutDef hugeEntries = SmallLut16();
  hugeEntries.inputEntries = 65535;
  icc_test::LutDef flatGrid = SmallLut16();
  flatGrid.grid = 1;
  Bytes bfd;
  icc_test::PutSig(bfd, "bfd ");
  icc_test::Put32(bfd, 0);
  icc_test::Put32(bfd, 0xFFFFFFFF);
  icc_test::Put16(bfd, 1);

  Bytes shortFile = icc_test::BuildProfile(Header(), {});
  shortFile.resize(127);
  Bytes headerOnly = icc_test::BuildProfile(Header(), {});
  headerOnly.resize(128);
  Bytes hugeCount = icc_test::BuildProfile(Header(), {{"desc", icc_test::DescTag("x")}});
  icc_test::Set32(hugeCount, 128, 0xFFFFFFFF);
  Bytes countPastEnd = icc_test::BuildProfile(Header(), {{"desc", icc_test::DescTag("x")}});
  icc_test::Set32(countPastEnd, 128, 40);
  Header notProfile;
  notProfile.magic = "PNG ";

  struct Case {
    const char* name;
    Bytes bytes;
    bool opens;
    bool lut;  // a B2A0 table is read at intent 0
  } cases[] = {
      {"shorter than the header", shortFile, false, false},
      {"header without tag count", headerOnly, false, false},
      {"no acsp signature", icc_test::BuildProfile(notProfile, {}), false, false},
      {"tag count 0xFFFFFFFF", hugeCount, false, false},
      {"tag table past the end", countPastEnd, false, false},
      {"tag offset past the end", icc_test::BuildProfile(printer, {{"desc", icc_test::DescTag("x"), 1 << 20}}), true,
       false},
      {"tag size past the end",
       icc_test::BuildProfile(printer, {{"desc", icc_test::DescTag("x"), -1, 0x7FFFFFFF}}), true, false},
      {"offset + size wraps 32 bits",
       icc_test::BuildProfile(printer, {{"desc", icc_test::DescTag("x"), 0xFFFFFFF0, 0x20}}), true, false},
      {"sound lut", icc_test::BuildProfile(printer, {{"B2A0", icc_test::LutTag(SmallLut16())}}), true, true},
      {"grid of 255^15 nodes", icc_test::BuildProfile(printer, {{"B2A0", icc_test::LutTag(hugeGrid)}}), true, false},
      {"input entries beyond the tag", icc_test::BuildProfile(printer, {{"B2A0", icc_test::LutTag(hugeEntries)}}),
       true, false},
      {"grid of one point", icc_test::BuildProfile(printer, {{"B2A0", icc_test::LutTag(flatGrid)}}), true, false},
      {"lut cut short",
       icc_test::BuildProfile(printer, {{"B2A0", icc_test::LutTag(SmallLut16()), -1,
                                         int64_t(icc_test::LutTag(SmallLut16()).size() - 2)}}),
       true, false},
      {"ucr count beyond the tag", icc_test::BuildProfile(printer, {{"bfd ", bfd}}), true, false},
  };
  for (const Case& c : cases) {
    ColorProfile profile = OpenBytes(c.bytes);
    EXPECT_EQ(profile.IsOpen(), c.opens) << c.name;
    if (!c.opens) {
      EXPECT_FALSE(profile.LastError().empty()) << c.name;
      EXPECT_EQ(profile.Prepare(0), 0) << c.name;
      continue;
    }
    EXPECT_EQ(profile.Description(), profile.HasTag(color::Signature("desc")) ? "x" : "No Description") << c.name;
    EXPECT_EQ(profile.Prepare(0), 1) << c.name;
    EXPECT_EQ(profile.Lut().has_value(), c.lut) << c.name;
    EXPECT_FALSE(profile.UcrBgCurves().has_value()) << c.name;
    std::FILE* null = std::fopen("/dev/null", "w");
    profile.Dump(null, 0);
    std::fclose(null);
  }
  // A curve whose count runs past its tag leaves the TRC absent: no
  // channel tables.
  std::vector<Tag> tags = MonitorTags();
  tags[4] = {"bTRC", icc_test::CurveTag({1, 2}, 0x7FFFFFFF)};
  ColorProfile monitor = OpenBytes(icc_test::BuildProfile(Header(), tags));
  EXPECT_EQ(monitor.Prepare(0), 1);
  EXPECT_FALSE(monitor.HasChannelTables());
}

TEST(IccProfileFiles, RealProfilesOpenAndFilesThatAreNotProfilesDoNot) {
  ColorProfile profile;
  ASSERT_TRUE(profile.Open(testing_support::DataPath("third_party/exiftool/ICC_Profile.icc"))) << profile.LastError();
  EXPECT_EQ(profile.Header().deviceClass, color::kClassMonitor);
  EXPECT_EQ(profile.Prepare(0), 1);
  EXPECT_TRUE(profile.HasChannelTables());
  EXPECT_FALSE(profile.Open(testing_support::DataPath("third_party/lcms2-testbed/toosmall.icc")));
  EXPECT_FALSE(profile.Open(testing_support::DataPath("third_party/lcms2-testbed/bad.icc")));
  EXPECT_FALSE(profile.Open("/nonexistent/profile.icc"));
  EXPECT_FALSE(profile.LastError().empty());
}

}  // namespace
