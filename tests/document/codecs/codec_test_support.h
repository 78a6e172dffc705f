// Helpers the codec tests share: sample paths and test names, our pixels as
// bytes, the decodes of the two oracle programs (ImageMagick and Pillow),
// and the checks every codec repeats (a round trip keeps the bitmap, a
// failed read leaves the caller's image alone).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "image/dibitmap.h"
#include "platform/messages.h"
#include "test_support.h"

namespace codec_test {

using Bytes = std::vector<uint8_t>;

// A sample file and the oracles (a codec test's own bit flags) that check it.
struct Sample {
  const char* path;  // under tests/data; third-party files under third_party/
  unsigned oracles;
};

inline void PrintTo(const Sample& sample, std::ostream* os) { *os << sample.path; }

// A parameterised test's name: `name` with every character other than a
// letter or digit turned into '_', then '_' and the index.
inline std::string TestNameOf(std::string name, size_t index) {
  std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name + "_" + std::to_string(index);
}

// The paths of `samples` (as written there).
template <class Samples>
std::set<std::string> ListedPaths(const Samples& samples) {
  std::set<std::string> listed;
  for (const auto& s : samples) listed.insert(s.path);
  return listed;
}

// The full paths of the samples that `oracle` checks.
template <class Samples>
std::vector<std::string> FilesWith(const Samples& samples, unsigned oracle) {
  std::vector<std::string> files;
  for (const auto& s : samples)
    if (s.oracles & oracle) files.push_back(testing_support::DataPath(s.path));
  return files;
}

// Every file in tests/data/`folder` whose extension is one of `extensions`
// is listed, as "folder/name".
inline void ExpectEveryFileListed(const std::set<std::string>& listed, const std::string& folder,
                                  std::initializer_list<const char*> extensions) {
  for (const auto& entry : std::filesystem::directory_iterator(testing_support::DataPath(folder))) {
    const std::string ext = entry.path().extension().string();
    if (std::none_of(extensions.begin(), extensions.end(), [&](const char* e) { return ext == e; })) continue;
    EXPECT_TRUE(listed.count(folder + "/" + entry.path().filename().string())) << entry.path();
  }
}

// Top-down R, G, B bytes of an image of 24 bits or fewer, through its
// colour table; as a string, or as Bytes.
template <class Out = std::string>
Out ImageRGB(const CDIBitmap& image) {
  Out out;
  Bytes row(static_cast<size_t>(image.GetWidth()) * 3);
  for (int y = 0; y < image.GetHeight(); ++y) {
    image.GetRowRGB(row.data(), y);
    for (size_t x = 0; x < row.size(); x += 3)
      out.insert(out.end(), {static_cast<typename Out::value_type>(row[x + 2]),
                             static_cast<typename Out::value_type>(row[x + 1]),
                             static_cast<typename Out::value_type>(row[x])});
  }
  return out;
}

// ImageMagick's decode: "convert INPUT OPTIONS -depth 8 FORMAT:-" ("rgb",
// "cmyk"...). INPUT may carry a frame suffix such as "[0]".
inline std::string MagickDecode(const std::string& input, const std::string& options = "",
                                const std::string& format = "rgb") {
  return testing_support::RunCommand(std::string(testing_support::kImageMagick) + " " +
                                     testing_support::ShellQuote(input) + (options.empty() ? "" : " " + options) +
                                     " -depth 8 " + format + ":-")
      .out;
}

// The Python expression for Pillow's RGB bytes of the opened image `im`.
inline constexpr char kPillowRGB[] = "im.convert(\"RGB\").tobytes()";

// Pillow's decodes of many files from one interpreter (it starts slowly):
// for each file the bytes that `expression` (Python, double quotes only)
// gives for the opened image `im`. A file Pillow cannot read gives an
// empty string.
inline std::vector<std::string> PillowBatch(const std::vector<std::string>& files,
                                            const std::string& expression = kPillowRGB) {
  testing_support::TempDir dir;
  std::string command = std::string(testing_support::kPython) +
                        " -c 'import sys; from PIL import Image\n"
                        "for i, f in enumerate(sys.argv[2:]):\n"
                        "  try:\n"
                        "    im = Image.open(f)\n"
                        "    data = " +
                        expression +
                        "\n"
                        "  except Exception:\n"
                        "    continue\n"
                        "  open(\"%s/%d.raw\" % (sys.argv[1], i), \"wb\").write(data)' " +
                        testing_support::ShellQuote(dir.Path().string());
  for (const std::string& f : files) command += " " + testing_support::ShellQuote(f);
  testing_support::RunCommand(command);
  std::vector<std::string> out;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string part = dir.File(std::to_string(i) + ".raw");
    const Bytes b = std::filesystem::exists(part) ? testing_support::ReadBytes(part) : Bytes();
    out.emplace_back(b.begin(), b.end());
  }
  return out;
}

// Pillow's decode of `file` by `expression`, from `cache`: the first call
// decodes every file of `batch` in one run and keeps the results there; a
// file outside the batch is decoded on its own.
inline std::string PillowCached(std::map<std::string, std::string>& cache, const std::vector<std::string>& batch,
                                const std::string& file, const std::string& expression = kPillowRGB) {
  if (cache.empty()) {
    const std::vector<std::string> decoded = PillowBatch(batch, expression);
    for (size_t i = 0; i < batch.size(); ++i) cache[batch[i]] = decoded[i];
  }
  const auto found = cache.find(file);
  return found != cache.end() ? found->second : PillowBatch({file}, expression)[0];
}

// The colour table's entries (blue, green, red, 0); empty above 8 bits.
inline Bytes ColorTable(const CDIBitmap& image) {
  Bytes table(static_cast<size_t>(image.GetPaletteSize()) * 4);
  if (!table.empty()) image.GetColorTable(table.data(), image.GetPaletteSize());
  return table;
}

// `back` (read back from our own file) has the bit count, size, colour
// table and stored rows of `image`. Fatal failures stop at the first
// difference; callers wrap it in ASSERT_NO_FATAL_FAILURE.
inline void ExpectSameBitmap(const CDIBitmap& image, const CDIBitmap& back) {
  ASSERT_EQ(back.GetBitCount(), image.GetBitCount());
  ASSERT_EQ(back.GetWidth(), image.GetWidth());
  ASSERT_EQ(back.GetHeight(), image.GetHeight());
  EXPECT_EQ(ColorTable(back), ColorTable(image));
  Bytes rowA(image.GetStride()), rowB(image.GetStride());
  for (int y = 0; y < image.GetHeight(); ++y) {
    image.GetRow(rowA.data(), y);
    back.GetRow(rowB.data(), y);
    ASSERT_EQ(rowA, rowB) << "row " << y;
  }
}

// Reads `file` with `read` (path, image) into an image the caller already
// holds (2 x 2, 24 bits, one known pixel), expects the read to fail and that
// image to be as it was, and returns the messages the read showed.
template <class Read>
std::vector<platform::Message> FailedReadMessages(Read&& read, const std::string& file) {
  platform::RecordingMessageSink sink;
  CDIBitmap image;
  if (!image.Create(2, 2, 24, 0)) {
    ADD_FAILURE() << "cannot create the caller's image";
    return {};
  }
  image.SetPixel(1, 1, 0x123456);
  EXPECT_EQ(read(file, image), 0);
  EXPECT_EQ(image.GetWidth(), 2);
  EXPECT_EQ(image.GetPixel(1, 1), 0x123456u);
  return sink.shown;
}

// The same, giving the texts of the messages only.
template <class Read>
std::vector<std::string> FailedReadTexts(Read&& read, const std::string& file) {
  std::vector<std::string> texts;
  for (const platform::Message& m : FailedReadMessages(read, file)) texts.push_back(m.text);
  return texts;
}

// One expected message text, or none for "".
inline std::vector<std::string> TextsOrNone(const std::string& text) {
  return text.empty() ? std::vector<std::string>{} : std::vector<std::string>{text};
}

}  // namespace codec_test
