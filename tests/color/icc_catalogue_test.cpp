// The profile catalogue on a temporary folder, the names shown for colour
// spaces, and the colour-management settings.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "color/color_settings.h"
#include "color/icc_profile.h"
#include "color/profile_catalogue.h"
#include "icc_profile_writer.h"
#include "platform/settings.h"
#include "test_support.h"

namespace {

using color::ProfileCatalogue;
using color::ProfileEntry;
using testing_support::TempDir;

void WriteProfile(const std::filesystem::path& path, const std::string& deviceClass, const std::string& space,
                  const std::string& description) {
  std::filesystem::create_directories(path.parent_path());
  icc_test::Header header;
  header.deviceClass = deviceClass;
  header.colorSpace = space;
  header.pcs = "Lab ";
  header.versionMinor = 0x20;
  testing_support::WriteBytes(path.string(),
                              icc_test::BuildProfile(header, {{"desc", icc_test::DescTag(description)},
                                                              {"cprt", icc_test::TextTag("Copyright Test")}}));
}

std::vector<std::string> Names(const std::vector<ProfileEntry>& list) {
  std::vector<std::string> names;
  for (const ProfileEntry& entry : list) names.push_back(entry.fileName);
  return names;
}

TEST(IccCatalogue, ClassifiesByClassSpaceAndDescription) {
  TempDir dir;
  const auto root = dir.Path();
  WriteProfile(root / "scanner.icc", "scnr", "RGB ", "Flatbed scanner");
  WriteProfile(root / "kodak" / "pcd.icm", "scnr", "RGB ", "KODAK Photo CD Universal E-6");
  WriteProfile(root / "screen.ICM", "mntr", "RGB ", "Office screen\r\nsecond line");
  WriteProfile(root / "rgbprinter.icc", "prtr", "RGB ", "RGB printer");
  WriteProfile(root / "deep" / "er" / "cmyk.icc", "prtr", "CMYK", "Press");
  WriteProfile(root / "abstract.icc", "abst", "Lab ", "Abstract");
  WriteProfile(root / "ignored.txt", "mntr", "RGB ", "Not a profile name");
  testing_support::WriteBytes((root / "broken.icc").string(), {1, 2, 3});

  ProfileCatalogue catalogue;
  catalogue.ScanProfiles({root.string()});
  EXPECT_EQ(Names(catalogue.Input()), std::vector<std::string>{"scanner.icc"});
  EXPECT_EQ(Names(catalogue.PhotoCd()), std::vector<std::string>{"pcd.icm"});
  EXPECT_EQ(Names(catalogue.Display()), std::vector<std::string>{"screen.ICM"});
  EXPECT_EQ(Names(catalogue.Output()), (std::vector<std::string>{"cmyk.icc", "rgbprinter.icc"}));
  EXPECT_EQ(Names(catalogue.Separation()), std::vector<std::string>{"cmyk.icc"});

  const ProfileEntry& screen = catalogue.Display()[0];
  EXPECT_EQ(screen.path, (root / "screen.ICM").string());
  EXPECT_EQ(screen.description, "Office screen");
  EXPECT_EQ(screen.displayName, "Office screen");
  EXPECT_EQ(screen.version, "Ver 2.20");
  EXPECT_EQ(screen.copyright, "Copyright Test");
  EXPECT_EQ(color::ColorSpaceName(screen.colorSpace), "Color Space: RGB Data");
  EXPECT_EQ(color::PcsName(screen.pcs), "PCS: Lab Data");
  EXPECT_EQ(ProfileCatalogue::IndexOf(catalogue.Output(), (root / "rgbprinter.icc").string()), 2);
  EXPECT_EQ(ProfileCatalogue::IndexOf(catalogue.Output(), "/elsewhere.icc"), 0);

  // A second scan starts empty; a folder listed twice counts once.
  catalogue.ScanProfiles({(root / "deep").string(), (root / "deep").string()});
  EXPECT_TRUE(catalogue.Display().empty());
  EXPECT_EQ(Names(catalogue.Output()), std::vector<std::string>{"cmyk.icc"});
}

TEST(IccCatalogue, EachListHoldsAtMost200SortedByFileName) {
  TempDir dir;
  for (int i = 0; i < 205; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "m%03d.icc", 204 - i);
    WriteProfile(dir.Path() / (i % 2 ? "a" : "b") / name, "mntr", "RGB ", "Monitor");
  }
  WriteProfile(dir.Path() / "printer.icc", "prtr", "CMYK", "Printer");
  ProfileCatalogue catalogue;
  catalogue.ScanProfiles({dir.Path().string()});
  ASSERT_EQ(catalogue.Display().size(), ProfileCatalogue::kMaxEntries);
  EXPECT_EQ(catalogue.Display().front().fileName, "m000.icc");
  EXPECT_EQ(catalogue.Display().back().fileName, "m199.icc");
  // The full display list does not keep other lists from filling.
  EXPECT_EQ(catalogue.Separation().size(), 1u);
}

TEST(IccCatalogue, ColorSpaceNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"XYZ ", "Color Space: XYZ Data"},  {"Lab ", "Color Space: Lab Data"},   {"Luv ", "Color Space: Luv Data"},
      {"YCbr", "Color Space: YCbCr Data"}, {"Yxy ", "Color Space: Yxy Data"},  {"RGB ", "Color Space: RGB Data"},
      {"GRAY", "Color Space: Gray Data"}, {"HSV ", "Color Space: HSV Data"},   {"HLS ", "Color Space: HLS Data"},
      {"CMYK", "Color Space: CMYK Data"}, {"CMY ", "Color Space: CMY Data"},   {"2CLR", "Color Space: 2 Color Data"},
      {"9CLR", "Color Space: 9 Color Data"}, {"ACLR", "Color Space: 10 Color Data"},
      {"FCLR", "Color Space: 15 Color Data"}, {"1CLR", ""},                    {"GCLR", ""},
      {"abcd", ""},
  };
  for (const auto& [signature, name] : cases) {
    char text[5] = {};
    std::memcpy(text, signature, 4);
    EXPECT_EQ(color::ColorSpaceName(color::Signature(text)), name) << signature;
  }
  EXPECT_EQ(color::PcsName(color::kSpaceXYZ), "PCS: XYZ Data");
  EXPECT_EQ(color::PcsName(color::kSpaceRGB), "");
}

TEST(IccSettings, RoundTripAndDefaults) {
  platform::MemorySettings store;
  color::ColorManagementSettings defaults;
  defaults.Load(store);
  EXPECT_FALSE(defaults.enabled);
  EXPECT_TRUE(defaults.inputPath.empty());
  EXPECT_EQ(defaults.intent, 0);

  color::ColorManagementSettings chosen;
  chosen.enabled = true;
  chosen.inputPath = "/p/in.icc";
  chosen.displayPath = "/p/screen.icm";
  chosen.outputPath = "/p/out.icc";
  chosen.separationPath = "/p/sep.icc";
  chosen.intent = 3;
  chosen.Save(store);
  EXPECT_EQ(store.GetString("Settings", "ICMPathScanner", ""), "/p/in.icc");
  EXPECT_EQ(store.GetString("Settings", "ICMPathMonitor", ""), "/p/screen.icm");
  EXPECT_EQ(store.GetString("Settings", "ICMPathPrinter", ""), "/p/out.icc");
  EXPECT_EQ(store.GetString("Settings", "ICMPathSeparate", ""), "/p/sep.icc");
  color::ColorManagementSettings loaded;
  loaded.Load(store);
  EXPECT_TRUE(loaded.enabled);
  EXPECT_EQ(loaded.inputPath, chosen.inputPath);
  EXPECT_EQ(loaded.displayPath, chosen.displayPath);
  EXPECT_EQ(loaded.outputPath, chosen.outputPath);
  EXPECT_EQ(loaded.separationPath, chosen.separationPath);
  EXPECT_EQ(loaded.intent, 3);

  // A stored intent out of range reads as perceptual.
  store.SetInt("Settings", "ICMIntent", 9);
  loaded.Load(store);
  EXPECT_EQ(loaded.intent, 0);
}

TEST(IccSettings, IntentTexts) {
  EXPECT_EQ(color::IntentDescription(1),
            "Does not preserve the white point.\r\nAny colors that fall outside the range that the output device can "
            "render are adjusted to the closest color that can be rendered, while other colors are left unchanged.");
  EXPECT_EQ(color::IntentDescription(3).substr(0, 27), "Preserve the white point.\r\n");
  EXPECT_EQ(color::IntentDescription(0),
            "The full gamut of the image is compressed or expanded to fill the gamut of the destination device. Gray "
            "balance is preserved but colorimetric accuracy might not be preserved.");
  EXPECT_EQ(color::IntentDescription(4), "");
  EXPECT_EQ(color::IntentName(2), "Saturation");
}

}  // namespace
