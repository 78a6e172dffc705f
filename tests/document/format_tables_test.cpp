// The Open and Save dialogs' file-type lists built from the format tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/format_tables.h"
#include "platform/messages.h"

namespace {

// The display names of a filter's entries, checking the final empty entry.
std::vector<std::string> FilterNames(const std::string& filter) {
  std::vector<std::string> parts;
  for (size_t start = 0, bar; (bar = filter.find('|', start)) != std::string::npos; start = bar + 1)
    parts.push_back(filter.substr(start, bar - start));
  EXPECT_TRUE(!parts.empty() && parts.back().empty() && parts.size() % 2 == 1) << filter;
  std::vector<std::string> names;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) names.push_back(parts[i]);
  return names;
}

TEST(FormatTables, OpenFilterListsAllFilesAllImagesThenEveryOpenFormat) {
  const std::string filter = BuildOpenFilter();
  EXPECT_TRUE(filter.starts_with("All Files|*.*|"
                                 "All Images|*.jpg;*.jpeg;*.jpe;*.png;*.pcd;*.pcx;*.dcx;*.tga;*.tif;*.bmp|"
                                 "JPEG(*.jpg;*.jpeg;*.jpe)|*.jpg;*.jpeg;*.jpe|"))
      << filter;
  EXPECT_TRUE(filter.ends_with("|Windows,OS/2 Bitmap(*.bmp)|*.bmp||")) << filter;
  EXPECT_EQ(FilterNames(filter),
            (std::vector<std::string>{"All Files", "All Images", "JPEG(*.jpg;*.jpeg;*.jpe)", "Compuserve PNG(*.png)",
                                      "KODAK Photo CD(*.pcd)", "ZSoft PCX(*.pcx;*.dcx)", "Truevision Targa(*.tga)",
                                      "Tagged Image File(*.tif)", "Windows,OS/2 Bitmap(*.bmp)"}));
}

TEST(FormatTables, SaveFilterOffersTheFormatsThatStoreTheImageKind) {
  const std::string png = "Compuserve PNG(*.png)", jpeg = "JPEG(*.jpg;*.jpeg;*.jpe)", pcx = "ZSoft PCX(*.pcx)",
                    tga = "Truevision Targa(*.tga)", tif = "Tagged Image File(*.tif)",
                    bmp = "Windows OS/2 Bitmap(*.bmp)";
  struct Case {
    int bitCount;
    bool gray;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {1, false, {png, pcx, tif, bmp}},          {8, false, {png, pcx, tga, tif, bmp}},
      {8, true, {png, jpeg, pcx, tga, tif, bmp}}, {24, false, {png, jpeg, pcx, tga, tif, bmp}},
      {32, false, {jpeg, tif}},                   {16, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bitCount << " bits, gray " << c.gray);
    EXPECT_EQ(FilterNames(BuildSaveFilter(c.bitCount, c.gray)), c.names);
    EXPECT_EQ(BuildSaveExtList(c.bitCount, c.gray).size(), c.names.size() * kSaveExtListWidth);
  }
  EXPECT_EQ(BuildSaveExtList(32, false), "  jpg jpeg  jpe  tif          ");
}

TEST(FormatTables, GetSaveExtensionGivesTheIndexedFormatsFirstExtension) {
  struct Case {
    int bitCount;
    int index;
    const char* extension;  // "" for an index outside the list
  };
  const Case cases[] = {
      {24, 1, "png"}, {24, 2, "jpg"}, {24, 6, "bmp"}, {1, 3, "tif"}, {32, 2, "tif"}, {8, 3, "tga"},
      {24, 0, ""},    {24, 7, ""},    {1, 5, ""},     {32, 3, ""},   {16, 1, ""},
  };
  for (const Case& c : cases) {
    platform::RecordingMessageSink sink;
    EXPECT_EQ(GetSaveExtension(c.bitCount, false, c.index), c.extension) << c.bitCount << " bits #" << c.index;
    const bool outOfBounds = *c.extension == '\0';
    EXPECT_EQ(sink.Texts(), outOfBounds ? std::vector<std::string>{"Index is out of bounds"}
                                        : std::vector<std::string>{});
  }
}

}  // namespace
