// Bit packing and the two PackBits variants, checked against the PackBits
// decoder of the stream checker and against small reference encoders written
// here from the encoding rules.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "print/packbits.h"
#include "stream_decoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Run {
  uint8_t value;
  size_t length;
};

// Reference: the runs of one chunk, then the walk over them as the rules
// state it (pairs of single bytes join the group together; with `rtl` a run
// of two between single bytes joins it as well).
Bytes ReferenceCompress(const Bytes& in, bool rtl) {
  Bytes out;
  for (size_t chunk = 0; chunk < in.size(); chunk += 127) {
    const size_t end = std::min(in.size(), chunk + 127);
    std::vector<Run> runs;
    for (size_t i = chunk; i < end; ++i) {
      if (!runs.empty() && runs.back().value == in[i]) ++runs.back().length;
      else runs.push_back({in[i], 1});
    }
    Bytes group;
    auto writeGroup = [&] {
      if (group.empty()) return;
      out.push_back(static_cast<uint8_t>(group.size() - 1));
      out.insert(out.end(), group.begin(), group.end());
      group.clear();
    };
    for (size_t k = 0; k < runs.size();) {
      const Run& r = runs[k];
      if (r.length == 1) {
        group.push_back(r.value);
        if (k + 1 < runs.size() && runs[k + 1].length == 1) {
          group.push_back(runs[k + 1].value);
          k += 2;
          continue;
        }
        if (!rtl) writeGroup();
        ++k;
        continue;
      }
      if (rtl && r.length == 2 && k > 0 && runs[k - 1].length == 1 && k + 1 < runs.size() &&
          runs[k + 1].length == 1) {
        group.push_back(r.value);
        group.push_back(r.value);
        ++k;
        continue;
      }
      writeGroup();
      out.push_back(static_cast<uint8_t>(257 - r.length));
      out.push_back(r.value);
      ++k;
    }
    writeGroup();
  }
  return out;
}

Bytes Compress(const Bytes& in, bool rtl) {
  // Guard bytes after the bound catch any write past it.
  Bytes out(print::CompressedBound(in.size()) + 16, 0xA5);
  const size_t n = rtl ? print::CompressRtl(in.data(), in.size(), out.data())
                       : print::CompressEpson(in.data(), in.size(), out.data());
  for (size_t i = print::CompressedBound(in.size()); i < out.size(); ++i)
    EXPECT_EQ(out[i], 0xA5) << "wrote past the bound for " << in.size() << " bytes";
  out.resize(n);
  return out;
}

// Decodes packet by packet and checks that no packet crosses a 127-byte
// chunk boundary and that the decoded bytes are the input.
void ExpectDecodesTo(const Bytes& packed, const Bytes& in, const std::string& label) {
  Bytes decoded;
  ASSERT_TRUE(streamcheck::UnpackTiff(packed.data(), packed.size(), decoded)) << label;
  ASSERT_EQ(decoded, in) << label;
  size_t pos = 0;
  for (size_t i = 0; i < packed.size();) {
    const int code = packed[i];
    ASSERT_NE(code, 128) << label;
    const size_t count = code < 128 ? code + 1u : 257u - code;
    EXPECT_EQ(pos / 127, (pos + count - 1) / 127) << label << ": packet crosses a chunk at " << pos;
    pos += count;
    i += code < 128 ? 1 + count : 2;
  }
}

Bytes Pattern(const std::string& name, size_t n, std::mt19937& rng) {
  Bytes b(n);
  if (name == "zeros") return b;
  if (name == "alternating") {
    for (size_t i = 0; i < n; ++i) b[i] = i % 2 ? 0xAA : 0x55;
  } else if (name == "single-pair") {  // a bb c dd ... : worst case of the plain variant
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i / 3) * 2 + (i % 3 == 0 ? 0 : 1));
  } else if (name == "single-pair-pair") {  // a bb cc d ee ff ... : worst case with the merge
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i / 5) * 3 + (i % 5 + 1) / 2);
  } else if (name == "random-runs") {
    std::uniform_int_distribution<int> length(1, 5), value(0, 2);
    const uint8_t alphabet[3] = {0x00, 0xFF, 0x5A};
    for (size_t i = 0; i < n;) {
      const int r = std::uniform_int_distribution<int>(0, 9)(rng) == 0 ? 140 : length(rng);
      const uint8_t v = alphabet[value(rng)];
      for (int k = 0; k < r && i < n; ++k) b[i++] = v;
    }
  } else {  // random bytes
    for (auto& x : b) x = static_cast<uint8_t>(rng());
  }
  return b;
}

TEST(PackBits, BothVariantsMatchTheRulesAndDecodeForEveryLength) {
  std::mt19937 rng(1234);
  const char* patterns[] = {"zeros", "alternating", "single-pair", "single-pair-pair", "random-runs", "random"};
  for (const char* pattern : patterns) {
    for (size_t n = 0; n <= 600; ++n) {
      const Bytes in = Pattern(pattern, n, rng);
      for (bool rtl : {false, true}) {
        const std::string label = std::string(rtl ? "rtl " : "epson ") + pattern + " n=" + std::to_string(n);
        const Bytes packed = Compress(in, rtl);
        ExpectDecodesTo(packed, in, label);
        ASSERT_EQ(packed, ReferenceCompress(in, rtl)) << label;
        // The print pipeline's compressed-line buffer is 2 x packed + 6.
        EXPECT_LE(packed.size(), 2 * n + 6) << label;
        if (::testing::Test::HasFailure()) return;
      }
    }
  }
}

TEST(PackBits, KnownEncodings) {
  struct Case {
    const char* name;
    Bytes in;
    Bytes epson;
    Bytes rtl;
  };
  Bytes b127(127, 7), b128(128, 7), zeros300(300, 0);
  Bytes alternating(130);
  for (size_t i = 0; i < alternating.size(); ++i) alternating[i] = i % 2 ? 1 : 2;
  Bytes altEncoded;  // 127 literal bytes, then 3 more in the next chunk
  altEncoded.push_back(126);
  altEncoded.insert(altEncoded.end(), alternating.begin(), alternating.begin() + 127);
  altEncoded.push_back(2);
  altEncoded.insert(altEncoded.end(), alternating.begin() + 127, alternating.end());
  const Case cases[] = {
      {"empty", {}, {}, {}},
      {"one byte", {9}, {0, 9}, {0, 9}},
      {"127 equal", b127, {0x82, 7}, {0x82, 7}},
      {"128 equal", b128, {0x82, 7, 0x00, 7}, {0x82, 7, 0x00, 7}},
      {"300 zeros", zeros300, {0x82, 0, 0x82, 0, 0xD3, 0}, {0x82, 0, 0x82, 0, 0xD3, 0}},
      {"alternating", alternating, altEncoded, altEncoded},
      {"pair between singles", {1, 2, 2, 3}, {0, 1, 0xFF, 2, 0, 3}, {3, 1, 2, 2, 3}},
      {"pair at the end", {1, 2, 2}, {0, 1, 0xFF, 2}, {0, 1, 0xFF, 2}},
      {"triple between singles", {1, 2, 2, 2, 3}, {0, 1, 0xFE, 2, 0, 3}, {0, 1, 0xFE, 2, 0, 3}},
      {"pair between pairs", {1, 1, 2, 2, 3, 3}, {0xFF, 1, 0xFF, 2, 0xFF, 3}, {0xFF, 1, 0xFF, 2, 0xFF, 3}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Compress(c.in, false), c.epson) << c.name;
    EXPECT_EQ(Compress(c.in, true), c.rtl) << c.name;
  }
}

TEST(PackBits, BoundCoversTheWorstCaseAndStaysWithinTwiceTheInput) {
  std::mt19937 rng(5);
  for (size_t n = 0; n <= 2000; ++n) {
    EXPECT_LE(print::CompressedBound(n), 2 * n) << n;
    for (const char* pattern : {"single-pair", "single-pair-pair"}) {
      const Bytes in = Pattern(pattern, n, rng);
      EXPECT_LE(Compress(in, false).size(), print::CompressedBound(n)) << pattern << " " << n;
      EXPECT_LE(Compress(in, true).size(), print::CompressedBound(n)) << pattern << " " << n;
    }
  }
}

TEST(PackDots, MostSignificantBitFirstOnlyFullDotsSet) {
  std::mt19937 rng(99);
  const uint8_t values[] = {0, 1, 128, 254, 255};
  for (int width = 0; width <= 70; ++width) {
    Bytes dots(width);
    for (auto& d : dots) d = values[rng() % 5];
    Bytes bits(print::PackedSize(width) + 4, 0xEE);
    const size_t n = print::PackDots(dots.data(), width, bits.data());
    ASSERT_EQ(n, static_cast<size_t>((width + 7) / 8)) << width;
    for (size_t i = n; i < bits.size(); ++i) EXPECT_EQ(bits[i], 0xEE) << "wrote past the row, width " << width;
    for (int x = 0; x < static_cast<int>(n) * 8; ++x) {
      const bool set = (bits[x / 8] >> (7 - x % 8)) & 1;
      EXPECT_EQ(set, x < width && dots[x] == 255) << "width " << width << " dot " << x;
    }
  }
}

}  // namespace
