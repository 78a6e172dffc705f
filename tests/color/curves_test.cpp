// Curves: evaluation against a spline solved here by plain Gaussian
// elimination, the file layout byte by byte, round trips, and files that
// must fail without losing what was read before the fault.
#include "color/curves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using color::CurveSet;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

struct Point {
  int x, y;
};

void SetUsedPoints(CurveSet& set, int channel, const std::vector<Point>& points) {
  int x[17] = {}, y[17] = {}, used[17] = {};
  for (size_t i = 0; i < points.size(); ++i) x[i] = points[i].x, y[i] = points[i].y, used[i] = 1;
  set.SetPoints(channel, x, y, used);
}

// Natural cubic spline y(v) in point coordinates: the full n x n system
// (first and last rows M = 0) solved by Gaussian elimination with pivoting.
std::vector<double> ReferenceSpline(const std::vector<Point>& p) {
  const size_t n = p.size();
  std::vector<std::vector<double>> a(n, std::vector<double>(n + 1, 0.0));
  a[0][0] = 1.0;
  a[n - 1][n - 1] = 1.0;
  for (size_t i = 1; i + 1 < n; ++i) {
    const double h0 = p[i].x - p[i - 1].x, h1 = p[i + 1].x - p[i].x;
    a[i][i - 1] = h0;
    a[i][i] = 2 * (h0 + h1);
    a[i][i + 1] = h1;
    a[i][n] = 6 * ((p[i + 1].y - p[i].y) / h1 - (p[i].y - p[i - 1].y) / h0);
  }
  for (size_t col = 0; col < n; ++col) {
    size_t pivot = col;
    for (size_t r = col + 1; r < n; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    std::swap(a[col], a[pivot]);
    for (size_t r = 0; r < n; ++r) {
      if (r == col) continue;
      const double factor = a[r][col] / a[col][col];
      for (size_t c = col; c <= n; ++c) a[r][c] -= factor * a[col][c];
    }
  }
  std::vector<double> m(n);
  for (size_t i = 0; i < n; ++i) m[i] = a[i][n] / a[i][i];
  std::vector<double> y(256);
  for (int v = 0; v < 256; ++v) {
    if (v <= p.front().x) {
      y[v] = p.front().y;
      continue;
    }
    if (v >= p.back().x) {
      y[v] = p.back().y;
      continue;
    }
    size_t i = 0;
    while (v > p[i + 1].x) ++i;
    const double x0 = p[i].x, x1 = p[i + 1].x, h = x1 - x0;
    // S(v) = M0 (x1-v)^3/6h + M1 (v-x0)^3/6h + (y0/h - M0 h/6)(x1-v) + (y1/h - M1 h/6)(v-x0)
    y[v] = m[i] * std::pow(x1 - v, 3) / (6 * h) + m[i + 1] * std::pow(v - x0, 3) / (6 * h) +
           (p[i].y / h - m[i] * h / 6) * (x1 - v) + (p[i + 1].y / h - m[i + 1] * h / 6) * (v - x0);
  }
  return y;
}

std::vector<double> ReferenceSegments(const std::vector<Point>& p) {
  std::vector<double> y(256);
  for (int v = 0; v < 256; ++v) {
    if (v <= p.front().x) {
      y[v] = p.front().y;
    } else if (v >= p.back().x) {
      y[v] = p.back().y;
    } else {
      size_t i = 0;
      while (v > p[i + 1].x) ++i;
      const double t = static_cast<double>(v - p[i].x) / (p[i + 1].x - p[i].x);
      y[v] = p[i].y + t * (p[i + 1].y - p[i].y);
    }
  }
  return y;
}

// Compares a table with reference y values: 255 - trunc(clamp(y)). Where
// the reference lies within 1e-7 of an integer the two computations may
// round to either side, so both neighbours are accepted there.
void ExpectTable(const CurveSet& set, int channel, const std::vector<double>& y) {
  for (int v = 0; v < 256; ++v) {
    const double c = std::clamp(y[v], 0.0, 255.0);
    const int expected = 255 - static_cast<int>(c);
    const int got = set.channels[channel].table[v];
    if (std::fabs(c - std::round(c)) < 1e-7 && c > 0.5)
      EXPECT_TRUE(got == 255 - static_cast<int>(std::round(c)) || got == 256 - static_cast<int>(std::round(c)))
          << "input " << v << " got " << got << " reference y " << y[v];
    else
      EXPECT_EQ(got, expected) << "input " << v;
  }
}

TEST(CurveEvaluate, SmoothAndStraightAgainstReference) {
  const std::vector<std::vector<Point>> pointSets = {
      {{0, 255}, {128, 64}, {255, 0}},
      {{0, 200}, {40, 250}, {90, 30}, {170, 180}, {255, 10}},  // overshoots: clamped
      {{20, 240}, {60, 100}, {61, 90}, {200, 60}},             // ends inside the range
      {{0, 0}, {16, 255}, {32, 0}, {48, 255}, {64, 0}, {80, 255}, {96, 0}, {112, 255}, {128, 0},
       {144, 255}, {160, 0}, {176, 255}, {192, 0}, {208, 255}, {224, 0}, {240, 255}, {255, 0}},  // all 17 slots
  };
  for (const auto& points : pointSets) {
    CurveSet set;
    SetUsedPoints(set, 0, points);
    SetUsedPoints(set, 1, points);
    set.channels[0].kind = color::kCurveSmooth;
    set.channels[1].kind = color::kCurveStraight;
    ASSERT_TRUE(set.Evaluate(0));
    ASSERT_TRUE(set.Evaluate(1));
    SCOPED_TRACE(testing::Message() << points.size() << " points");
    ExpectTable(set, 0, ReferenceSpline(points));
    ExpectTable(set, 1, ReferenceSegments(points));
  }
}

TEST(CurveEvaluate, TwoPointsOrFewer) {
  // The default points give the identity whatever the kind.
  for (int kind : {color::kCurveFreehand, color::kCurveSmooth, color::kCurveStraight}) {
    CurveSet set;
    set.channels[2].kind = kind;
    std::memset(set.channels[2].table, 7, 256);
    ASSERT_TRUE(set.Evaluate(2));
    for (int v = 0; v < 256; ++v) ASSERT_EQ(set.channels[2].table[v], v) << "kind " << kind;
  }
  // Two points: the line through them over the whole input range.
  CurveSet set;
  SetUsedPoints(set, 0, {{50, 200}, {150, 100}});
  ASSERT_TRUE(set.Evaluate(0));
  for (int v = 0; v < 256; ++v) {
    const int y = std::clamp(200 - (v - 50), 0, 255);  // slope -1
    EXPECT_EQ(set.channels[0].table[v], 255 - y) << v;
  }
  // No used point at all: the identity.
  SetUsedPoints(set, 1, {});
  ASSERT_TRUE(set.Evaluate(1));
  for (int v = 0; v < 256; ++v) ASSERT_EQ(set.channels[1].table[v], v);
}

TEST(CurveEvaluate, RefusesPointsThatDescribeNoCurve) {
  const std::vector<std::vector<Point>> bad = {
      {{0, 255}, {100, 50}, {100, 60}, {255, 0}},  // equal x: h = 0
      {{0, 255}, {100, 50}, {90, 60}, {255, 0}},   // x going back
      {{0, 255}, {300, 0}},                        // x outside 0..255
      {{0, 255}, {128, -5}, {255, 0}},             // y outside 0..255
      {{40, 10}, {40, 20}},                        // two points on one x
  };
  for (const auto& points : bad) {
    CurveSet set;
    set.channels[0].kind = color::kCurveSmooth;
    SetUsedPoints(set, 0, points);
    std::memset(set.channels[0].table, 9, 256);
    EXPECT_FALSE(set.Evaluate(0)) << points.size();
    EXPECT_EQ(set.channels[0].table[0], 9) << "table unchanged";
  }
}

TEST(CurveSetMembers, ResetCopyAndPointsRoundTrip) {
  CurveSet set;
  SetUsedPoints(set, 1, {{0, 10}, {30, 40}, {255, 250}});
  set.channels[1].kind = color::kCurveStraight;
  std::memset(set.channels[1].table, 42, 256);
  set.CopyChannel(3, 1);
  int x[17], y[17], used[17];
  set.GetPoints(3, x, y, used);
  EXPECT_EQ(x[1], 30);
  EXPECT_EQ(y[1], 40);
  EXPECT_EQ(used[2], 1);
  EXPECT_EQ(used[3], 0);
  EXPECT_EQ(set.channels[3].kind, color::kCurveStraight);
  EXPECT_EQ(set.channels[3].table[100], 42);

  set.ResetChannel(3);
  set.GetPoints(3, x, y, used);
  EXPECT_EQ(x[0], 0);
  EXPECT_EQ(y[0], 255);
  EXPECT_EQ(x[1], 255);
  EXPECT_EQ(y[1], 0);
  EXPECT_EQ(used[0] + used[1], 2);
  for (int i = 2; i < 17; ++i) EXPECT_EQ(used[i], 0);
  EXPECT_EQ(set.channels[3].kind, color::kCurveStraight) << "kind is kept";
  for (int v = 0; v < 256; ++v) ASSERT_EQ(set.channels[3].table[v], v);
}

int32_t Int32At(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<int32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                              static_cast<uint32_t>(bytes[at + 3]) << 24);
}

// A set whose channels differ in kind, points and table.
CurveSet VariedSet() {
  CurveSet set;
  const int kinds[5] = {color::kCurveFreehand, color::kCurveSmooth, color::kCurveStraight, color::kCurveSmooth,
                        color::kCurveFreehand};
  for (int c = 0; c < 5; ++c) {
    set.channels[c].kind = kinds[c];
    SetUsedPoints(set, c, {{0, 255 - c}, {60 + c, 150}, {255, c}});
    for (int v = 0; v < 256; ++v) set.channels[c].table[v] = static_cast<uint8_t>(v * (c + 1) + 3);
  }
  return set;
}

TEST(CurveFile, LayoutOfAFourChannelFile) {
  TempDir dir;
  const CurveSet set = VariedSet();
  ASSERT_EQ(color::SaveCurveFile(dir.File("rgb"), set, 4), 1);
  const std::vector<uint8_t> bytes = ReadBytes(dir.File("rgb.crb"));
  ASSERT_EQ(bytes.size(), 1912u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 32), "vividrome Curve file 0100       ");
  EXPECT_EQ(Int32At(bytes, 32), 4);
  for (int c = 0; c < 4; ++c) EXPECT_EQ(bytes[36 + 256 * c + 10], static_cast<uint8_t>(10 * (c + 1) + 3));
  const size_t points = 36 + 4 * 256;
  EXPECT_EQ(Int32At(bytes, points), 17);
  const int modes[4] = {1, 0, 2, 0};  // freehand 1, smooth 0, straight 2
  for (int c = 0; c < 4; ++c) {
    const size_t header = points + 4 + c * (8 + 17 * 12);
    EXPECT_EQ(Int32At(bytes, header), modes[c]) << c;
    EXPECT_EQ(Int32At(bytes, header + 4), 0);
    EXPECT_EQ(Int32At(bytes, header + 8 + 12), 60 + c);  // slot 1: x
    EXPECT_EQ(Int32At(bytes, header + 8 + 16), 150);     // y
    EXPECT_EQ(Int32At(bytes, header + 8 + 20), 1);       // used
    EXPECT_EQ(Int32At(bytes, header + 8 + 3 * 12 + 8), 0);
  }
}

TEST(CurveFile, RoundTripsAndExtensions) {
  TempDir dir;
  std::filesystem::create_directory(dir.Path() / "with.dot");
  const CurveSet saved = VariedSet();
  struct Case {
    std::string name;
    int channels;
    const char* extension;
    std::string written;
  };
  const Case cases[] = {{"gray", 1, color::kCurveExtension, "gray.crb"},
                        {"with.dot/rgb", 4, color::kCurveExtension, "with.dot/rgb.crb"},
                        {"cmyk.crb", 5, color::kCurveExtension, "cmyk.crb"},
                        {"sep", 4, color::kSeparationCurveExtension, "sep.cck"}};
  for (const Case& c : cases) {
    ASSERT_EQ(color::SaveCurveFile(dir.File(c.name), saved, c.channels, c.extension), 1) << c.name;
    const std::string path = dir.File(c.written);
    ASSERT_EQ(std::filesystem::file_size(path), 36u + 256 * c.channels + 4 + 212 * c.channels) << c.name;
    CurveSet loaded;
    ASSERT_EQ(color::LoadCurveFile(path, loaded), 1) << c.name;
    for (int ch = 0; ch < c.channels; ++ch) {
      EXPECT_EQ(0, std::memcmp(loaded.channels[ch].table, saved.channels[ch].table, 256));
      EXPECT_EQ(loaded.channels[ch].kind, saved.channels[ch].kind);
      EXPECT_EQ(loaded.channels[ch].tableGiven, saved.channels[ch].kind == color::kCurveFreehand);
      for (int i = 0; i < 17; ++i) {
        EXPECT_EQ(loaded.channels[ch].points[i].x, saved.channels[ch].points[i].x);
        EXPECT_EQ(loaded.channels[ch].points[i].y, saved.channels[ch].points[i].y);
        EXPECT_EQ(loaded.channels[ch].points[i].used, saved.channels[ch].points[i].used);
      }
    }
    for (int ch = c.channels; ch < 5; ++ch) EXPECT_EQ(loaded.channels[ch].table[200], 200) << "untouched";
  }
  // A reset channel comes back as the identity with the two default points.
  CurveSet reset;
  ASSERT_EQ(color::SaveCurveFile(dir.File("reset"), reset, 1), 1);
  CurveSet loaded = VariedSet();
  ASSERT_EQ(color::LoadCurveFile(dir.File("reset.crb"), loaded), 1);
  for (int v = 0; v < 256; ++v) ASSERT_EQ(loaded.channels[0].table[v], v);
  EXPECT_EQ(loaded.channels[0].points[1].x, 255);
  EXPECT_EQ(loaded.channels[0].points[2].used, 0);
  // Leftover temporary files would show up here.
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 4u);
}

TEST(CurveFile, FourChannelFileIntoOtherSets) {
  TempDir dir;
  const CurveSet saved = VariedSet();
  ASSERT_EQ(color::SaveCurveFile(dir.File("sep"), saved, 4, color::kSeparationCurveExtension), 1);
  // The "Curve" dialog of a CMYK image: only the first four channels.
  CurveSet cmyk;
  ASSERT_EQ(color::LoadCurveFile(dir.File("sep.cck"), cmyk), 1);
  EXPECT_EQ(cmyk.channels[3].table[1], saved.channels[3].table[1]);
  EXPECT_EQ(cmyk.channels[4].table[1], 1);
  EXPECT_EQ(cmyk.channels[4].points[1].x, 255);
  // The separation dialog takes tables and points, not the kinds.
  CurveSet separation;
  separation.channels[0].kind = color::kCurveStraight;
  ASSERT_EQ(color::LoadSeparationCurveFile(dir.File("sep.cck"), separation), 1);
  EXPECT_EQ(separation.channels[0].kind, color::kCurveStraight);
  EXPECT_FALSE(separation.channels[0].tableGiven);
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(0, std::memcmp(separation.channels[c].table, saved.channels[c].table, 256));
    EXPECT_EQ(separation.channels[c].points[1].x, 60 + c);
  }
  // A one-channel file would be read out of step as four tables: refused.
  ASSERT_EQ(color::SaveCurveFile(dir.File("gray"), saved, 1), 1);
  CurveSet untouched;
  EXPECT_EQ(color::LoadSeparationCurveFile(dir.File("gray.crb"), untouched), -9);
  EXPECT_EQ(untouched.channels[0].table[77], 77);
}

TEST(CurveFile, DamagedFilesFailKeepingWhatWasRead) {
  TempDir dir;
  const CurveSet saved = VariedSet();
  ASSERT_EQ(color::SaveCurveFile(dir.File("good"), saved, 4), 1);
  const std::vector<uint8_t> good = ReadBytes(dir.File("good.crb"));
  const size_t pointSection = 36 + 4 * 256;
  const size_t channel1Points = pointSection + 4 + 212 + 8;

  auto patched = [&](size_t at, int32_t value) {
    std::vector<uint8_t> bytes = good;
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
    return bytes;
  };
  auto cut = [&](size_t size) { return std::vector<uint8_t>(good.begin(), good.begin() + size); };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    int code;
    int tablesKept;  // channels whose table was taken before the fault
    int pointsKept;  // channels whose points were taken before the fault
  };
  const Case cases[] = {
      {"empty", {}, -7, 0, 0},
      {"header only", cut(32), -7, 0, 0},
      {"cut in table 2", cut(36 + 256 + 100), -7, 1, 0},
      {"cut before m", cut(pointSection + 2), -7, 4, 0},
      {"cut in channel 1 points", cut(channel1Points + 50), -7, 4, 1},
      {"no channels", patched(32, 0), -9, 0, 0},
      {"six channels", patched(32, 6), -9, 0, 0},
      {"negative channels", patched(32, -4), -9, 0, 0},
      {"huge channel count", patched(32, 0x7FFFFFFF), -9, 0, 0},
      {"16 points", patched(pointSection, 16), -9, 4, 0},
      {"huge point count", patched(pointSection, 1 << 30), -9, 4, 0},
      {"x beyond 255", patched(channel1Points + 12, 300), -9, 4, 1},
      {"duplicate x", patched(channel1Points + 12, 0), -9, 4, 1},
      {"used 2", patched(channel1Points + 12 + 8, 2), -9, 4, 1},
  };
  for (const Case& c : cases) {
    WriteBytes(dir.File("bad.crb"), c.bytes);
    CurveSet set;
    set.channels[0].kind = color::kCurveStraight;
    EXPECT_EQ(color::LoadCurveFile(dir.File("bad.crb"), set), c.code) << c.what;
    for (int ch = 0; ch < 4; ++ch) {
      const bool tableTaken = ch < c.tablesKept, pointsTaken = ch < c.pointsKept;
      EXPECT_EQ(set.channels[ch].table[10], tableTaken ? saved.channels[ch].table[10] : 10) << c.what << " " << ch;
      EXPECT_EQ(set.channels[ch].points[1].x, pointsTaken ? 60 + ch : 255) << c.what << " " << ch;
    }
  }
  CurveSet set;
  EXPECT_EQ(color::LoadCurveFile(dir.File("missing.crb"), set), -14);
  EXPECT_EQ(color::LoadSeparationCurveFile(dir.File("missing.cck"), set), -14);
}

TEST(CurveFile, SaveRefusals) {
  TempDir dir;
  const CurveSet set;
  EXPECT_EQ(color::SaveCurveFile(dir.File("zero"), set, 0), -13);
  EXPECT_EQ(color::SaveCurveFile(dir.File("six"), set, 6), -13);
  EXPECT_EQ(color::SaveCurveFile(dir.File("no/such/folder/x"), set, 1), -14);
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(SeparationPercent, ColumnsAndEntry) {
  for (int output = 0; output < 256; ++output) {
    // Rounded output * 100 / 255 (no value lies exactly on a half).
    EXPECT_EQ(color::PercentAt(output), (output * 200 + 255) / 510) << output;
  }
  for (int p = 0; p <= 100; ++p) {
    EXPECT_EQ(color::OutputForPercent(p), p * 255 / 100);
    EXPECT_EQ(color::PercentAt(color::OutputForPercent(p)), p) << "a typed percentage shows again";
  }
  EXPECT_EQ(color::OutputForPercent(150), 255);
  EXPECT_EQ(color::OutputForPercent(-3), 0);
  // An identity curve shows 0, 10, ... 100 at the eleven columns.
  for (int i = 0; i < 11; ++i) EXPECT_EQ(color::PercentAt(color::kSeparationPercentInputs[i]), 10 * i);
}

}  // namespace
