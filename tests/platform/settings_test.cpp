// MemorySettings: values by section and key, their kinds and conversions.
#include "platform/settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace platform {
namespace {

TEST(SettingsTest, ValuesBySectionAndKey) {
  MemorySettings s;
  EXPECT_EQ(s.GetInt("Settings", "Tolerance", 32), 32);
  EXPECT_EQ(s.GetString("Settings", "Folder", "/home"), "/home");
  EXPECT_FALSE(s.GetBinary("Settings", "Brushes").has_value());

  const std::vector<uint8_t> bytes = {0, 1, 0, 255};
  s.SetInt("Settings", "Tolerance", -7);
  s.SetInt("settings", "Tolerance", 9);  // sections and keys are case-sensitive
  s.SetString("Recent File List", "File1", "/tmp/a b.png");
  s.SetBinary("Settings", "Brushes", bytes);
  s.SetBinary("Settings", "None", {});
  EXPECT_EQ(s.GetInt("Settings", "Tolerance", 0), -7);
  EXPECT_EQ(s.GetInt("settings", "Tolerance", 0), 9);
  EXPECT_EQ(s.GetString("Recent File List", "File1", ""), "/tmp/a b.png");
  EXPECT_EQ(s.GetBinary("Settings", "Brushes"), bytes);
  EXPECT_EQ(s.GetBinary("Settings", "None"), std::vector<uint8_t>{});  // present but empty

  EXPECT_TRUE(s.Remove("Settings", "Tolerance"));
  EXPECT_FALSE(s.Remove("Settings", "Tolerance"));
  EXPECT_FALSE(s.HasKey("Settings", "Tolerance"));
  EXPECT_TRUE(s.HasKey("settings", "Tolerance"));
  EXPECT_TRUE(s.HasKey("Settings", "Brushes"));
}

TEST(SettingsTest, KindsConvertAsAnIniFileWould) {
  MemorySettings s;
  const struct {
    const char* text;
    int asInt;  // -999: not a whole number in int range
  } texts[] = {{"42", 42},      {"-2147483648", INT_MIN}, {"2147483647", INT_MAX}, {"2147483648", -999},
               {"", -999},      {"12x", -999},            {" 12", -999},           {"+5", -999},
               {"1.5", -999}};
  for (const auto& t : texts) {
    s.SetString("S", "k", t.text);
    EXPECT_EQ(s.GetInt("S", "k", -999), t.asInt) << '"' << t.text << '"';
    EXPECT_FALSE(s.GetBinary("S", "k").has_value());
  }
  for (int v : {0, -1, INT_MIN, INT_MAX}) {
    s.SetInt("S", "n", v);
    EXPECT_EQ(s.GetString("S", "n", "default"), std::to_string(v));
  }
  s.SetBinary("S", "n", std::vector<uint8_t>{'4', '2'});  // the last Set decides the kind
  EXPECT_EQ(s.GetInt("S", "n", -1), -1);
  EXPECT_EQ(s.GetString("S", "n", "default"), "default");
}

}  // namespace
}  // namespace platform
