// QtSettings: every kind written, the file read again by a fresh object, and
// the conversions between kinds as settings.h defines them.
#include "platform/qt/qt_settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Stored = std::variant<int, std::string, Bytes>;

struct KindCase {
  const char* key;
  Stored stored;
  int expectedInt;  // GetInt with default -1
  std::optional<std::string> expectedString;  // nullopt: the default "dflt"
  std::optional<Bytes> expectedBytes;
};

void Store(platform::Settings& s, const char* key, const Stored& value) {
  if (const int* i = std::get_if<int>(&value)) s.SetInt("Kinds", key, *i);
  if (const auto* t = std::get_if<std::string>(&value)) s.SetString("Kinds", key, *t);
  if (const auto* b = std::get_if<Bytes>(&value)) s.SetBinary("Kinds", key, *b);
}

const KindCase kKindCases[] = {
    {"int", 42, 42, "42", std::nullopt},
    {"intMin", -2147483647 - 1, -2147483647 - 1, "-2147483648", std::nullopt},
    {"textNumber", std::string("-17"), -17, "-17", std::nullopt},
    {"textBlank", std::string("17 "), -1, "17 ", std::nullopt},
    {"textPlus", std::string("+5"), -1, "+5", std::nullopt},
    {"textTooBig", std::string("2147483648"), -1, "2147483648", std::nullopt},
    {"textEmpty", std::string(""), -1, "", std::nullopt},
    {"textIniSyntax", std::string("a, b=c;[x] \"q\"\\n"), -1, "a, b=c;[x] \"q\"\\n", std::nullopt},
    {"textLooksLikeBytes", std::string("@ByteArray(1)"), -1, "@ByteArray(1)", std::nullopt},
    {"textUtf8", std::string("\xC3\xA9t\xC3\xA9"), -1, "\xC3\xA9t\xC3\xA9", std::nullopt},
    {"bytes", Bytes{0, 1, 255, '\n', '='}, -1, std::nullopt, Bytes{0, 1, 255, '\n', '='}},
    {"bytesDigits", Bytes{'1', '2'}, -1, std::nullopt, Bytes{'1', '2'}},
    {"bytesEmpty", Bytes{}, -1, std::nullopt, Bytes{}},
};

void ExpectKinds(const platform::Settings& s, const char* when) {
  for (const KindCase& c : kKindCases) {
    SCOPED_TRACE(std::string(when) + " " + c.key);
    EXPECT_TRUE(s.HasKey("Kinds", c.key));
    EXPECT_EQ(s.GetInt("Kinds", c.key, -1), c.expectedInt);
    EXPECT_EQ(s.GetString("Kinds", c.key, "dflt"), c.expectedString.value_or("dflt"));
    EXPECT_EQ(s.GetBinary("Kinds", c.key), c.expectedBytes);
  }
}

TEST(QtSettings, KindsSurviveTheFileAndConvertAsDefined) {
  std::string expectedFile = std::string(getenv("XDG_CONFIG_HOME")) + "/Morvane/Vividrome.ini";
  {
    platform::QtSettings settings;
    ASSERT_EQ(settings.FileName(), expectedFile);
    for (const KindCase& c : kKindCases) Store(settings, c.key, c.stored);
    ExpectKinds(settings, "same object");
  }
  platform::QtSettings reopened;
  ExpectKinds(reopened, "reopened");
}

TEST(QtSettings, KeysAreCaseSensitiveAndRemovable) {
  const std::string path = std::string(getenv("XDG_CONFIG_HOME")) + "/case.ini";
  {
    platform::QtSettings settings(path);
    settings.SetInt("Section", "Key", 1);
    settings.SetInt("Section", "key", 2);
    settings.SetInt("section", "Key", 3);
  }
  platform::QtSettings settings(path);
  EXPECT_EQ(settings.GetInt("Section", "Key", 0), 1);
  EXPECT_EQ(settings.GetInt("Section", "key", 0), 2);
  EXPECT_EQ(settings.GetInt("section", "Key", 0), 3);
  EXPECT_FALSE(settings.HasKey("Section", "KEY"));
  EXPECT_EQ(settings.GetInt("Section", "KEY", 9), 9);

  EXPECT_TRUE(settings.Remove("Section", "Key"));
  EXPECT_FALSE(settings.Remove("Section", "Key"));
  EXPECT_FALSE(platform::QtSettings(path).HasKey("Section", "Key"));
  EXPECT_EQ(platform::QtSettings(path).GetInt("Section", "key", 0), 2);
}

}  // namespace
