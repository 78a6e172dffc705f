#include "color/curves.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "image/result_codes.h"
#include "platform/atomic_file.h"
#include "platform/byte_order.h"

namespace color {

namespace {

bool ValidChannel(int channel) { return channel >= 0 && channel < kCurveChannelsMax; }

void SetIdentity(uint8_t table[256]) {
  for (int v = 0; v < 256; ++v) table[v] = static_cast<uint8_t>(v);
}

// y of the point coordinates into a table entry: clamp, truncate, 255 - y.
uint8_t OutputOf(double y) {
  const double clamped = std::clamp(y, 0.0, 255.0);
  return static_cast<uint8_t>(255 - static_cast<int>(clamped));
}

// The line through (x0, y0) and (x1, y1) at v; x0 != x1.
double LineAt(double x0, double y0, double x1, double y1, double v) {
  return y0 + (y1 - y0) * (v - x0) / (x1 - x0);
}

// Second derivatives of the natural cubic spline through n >= 3 points
// (Thomas algorithm on the tridiagonal system of the inner points).
std::vector<double> SplineSecondDerivatives(const std::vector<double>& x, const std::vector<double>& y) {
  const size_t n = x.size();
  std::vector<double> m(n, 0.0);
  const size_t inner = n - 2;
  std::vector<double> diag(inner), upper(inner), rhs(inner);
  for (size_t k = 0; k < inner; ++k) {
    const size_t i = k + 1;
    const double h0 = x[i] - x[i - 1];
    const double h1 = x[i + 1] - x[i];
    diag[k] = 2.0 * (h0 + h1);
    upper[k] = h1;
    rhs[k] = 6.0 * ((y[i + 1] - y[i]) / h1 - (y[i] - y[i - 1]) / h0);
  }
  // Forward elimination: the sub-diagonal entry of row k is h0 of point k+1.
  for (size_t k = 1; k < inner; ++k) {
    const double lower = x[k + 1] - x[k];
    const double factor = lower / diag[k - 1];
    diag[k] -= factor * upper[k - 1];
    rhs[k] -= factor * rhs[k - 1];
  }
  for (size_t k = inner; k-- > 0;) {
    double value = rhs[k];
    if (k + 1 < inner) value -= upper[k] * m[k + 2];
    m[k + 1] = value / diag[k];
  }
  return m;
}

// The used points of a channel, validated: coordinates 0..255 and x strictly
// increasing. Returns false for points that describe no function.
bool CollectPoints(const CurveChannel& channel, std::vector<double>& xs, std::vector<double>& ys) {
  int previous = -1;
  for (const CurvePoint& p : channel.points) {
    if (!p.used) continue;
    if (p.x < 0 || p.x > 255 || p.y < 0 || p.y > 255 || p.x <= previous) return false;
    previous = p.x;
    xs.push_back(p.x);
    ys.push_back(p.y);
  }
  return true;
}

bool ValidPoints(const CurvePoint points[kCurvePoints]) {
  int previous = -1;
  for (int i = 0; i < kCurvePoints; ++i) {
    const CurvePoint& p = points[i];
    if (p.used != 0 && p.used != 1) return false;
    if (!p.used) continue;  // empty slots take no part, whatever they hold
    if (p.x < 0 || p.x > 255 || p.y < 0 || p.y > 255 || p.x <= previous) return false;
    previous = p.x;
  }
  return true;
}

void PutInt32(std::vector<uint8_t>& out, int32_t value) {
  uint8_t bytes[4];
  platform::StoreLE32(bytes, static_cast<uint32_t>(value));
  out.insert(out.end(), bytes, bytes + 4);
}

// Sequential reader over the bytes of a loaded file; every read is bounded.
class ByteReader {
 public:
  explicit ByteReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  bool Skip(size_t count) {
    if (bytes_.size() - pos_ < count) return false;
    pos_ += count;
    return true;
  }
  bool Int32(int32_t& value) {
    if (bytes_.size() - pos_ < 4) return false;
    value = static_cast<int32_t>(platform::LoadLE32(bytes_.data() + pos_));
    pos_ += 4;
    return true;
  }
  bool Bytes(uint8_t* out, size_t count) {
    if (bytes_.size() - pos_ < count) return false;
    std::memcpy(out, bytes_.data() + pos_, count);
    pos_ += count;
    return true;
  }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t pos_ = 0;
};

// Largest file worth reading: five channels.
constexpr size_t kMaxCurveFileSize = 36 + 5 * 256 + 4 + 5 * (8 + kCurvePoints * 12);

// Reads at most kMaxCurveFileSize bytes (trailing bytes are ignored).
bool ReadCurveBytes(std::string_view path, std::vector<uint8_t>& bytes) {
  const std::string name(path);
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (!file) return false;
  bytes.resize(kMaxCurveFileSize);
  const size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  bytes.resize(got);
  return true;
}

// Reads m and the point records of `count` channels. `takeMode` selects
// the "Curve" dialog's handling of the per-channel mode.
int ReadPointSection(ByteReader& reader, CurveSet& set, int count, bool takeMode) {
  int32_t m = 0;
  if (!reader.Int32(m)) return kResultReadError;
  if (m != kCurvePoints) return kResultInvalidFormat;
  for (int channel = 0; channel < count; ++channel) {
    int32_t mode = 0;
    int32_t reserved = 0;
    if (!reader.Int32(mode) || !reader.Int32(reserved)) return kResultReadError;
    CurvePoint points[kCurvePoints];
    for (CurvePoint& p : points) {
      if (!reader.Int32(p.x) || !reader.Int32(p.y) || !reader.Int32(p.used)) return kResultReadError;
    }
    if (!ValidPoints(points)) return kResultInvalidFormat;
    CurveChannel& target = set.channels[channel];
    std::copy(std::begin(points), std::end(points), target.points);
    if (takeMode) {
      if (mode == 1) {
        target.kind = kCurveFreehand;
        target.tableGiven = true;
      } else if (mode == 2) {
        target.kind = kCurveStraight;
      } else {
        target.kind = kCurveSmooth;
      }
    }
  }
  return 1;
}

}  // namespace

CurveSet::CurveSet() {
  for (int channel = 0; channel < kCurveChannelsMax; ++channel) ResetChannel(channel);
}

void CurveSet::SetPoints(int channel, const int x[kCurvePoints], const int y[kCurvePoints],
                         const int used[kCurvePoints]) {
  if (!ValidChannel(channel)) return;
  for (int i = 0; i < kCurvePoints; ++i) channels[channel].points[i] = {x[i], y[i], used[i]};
}

void CurveSet::GetPoints(int channel, int x[kCurvePoints], int y[kCurvePoints], int used[kCurvePoints]) const {
  if (!ValidChannel(channel)) return;
  for (int i = 0; i < kCurvePoints; ++i) {
    x[i] = channels[channel].points[i].x;
    y[i] = channels[channel].points[i].y;
    used[i] = channels[channel].points[i].used;
  }
}

void CurveSet::SetTable(int channel, const uint8_t table[256]) {
  if (ValidChannel(channel)) std::memcpy(channels[channel].table, table, 256);
}

void CurveSet::GetTable(int channel, uint8_t table[256]) const {
  if (ValidChannel(channel)) std::memcpy(table, channels[channel].table, 256);
}

void CurveSet::ResetChannel(int channel) {
  if (!ValidChannel(channel)) return;
  CurveChannel& c = channels[channel];
  for (CurvePoint& p : c.points) p = CurvePoint{};
  c.points[0] = {0, 255, 1};
  c.points[1] = {255, 0, 1};
  SetIdentity(c.table);
}

bool CurveSet::Evaluate(int channel) {
  if (!ValidChannel(channel)) return false;
  CurveChannel& c = channels[channel];
  std::vector<double> xs, ys;
  if (!CollectPoints(c, xs, ys)) return false;
  const size_t n = xs.size();
  uint8_t table[256];
  if (n < 2) {
    SetIdentity(table);
  } else if (n == 2) {
    for (int v = 0; v < 256; ++v) table[v] = OutputOf(LineAt(xs[0], ys[0], xs[1], ys[1], v));
  } else {
    const bool smooth = c.kind == kCurveSmooth;
    std::vector<double> m;
    if (smooth) m = SplineSecondDerivatives(xs, ys);
    size_t interval = 0;  // the interval xs[interval] <= v < xs[interval + 1]
    for (int v = 0; v < 256; ++v) {
      double y;
      if (v < xs.front()) {
        y = ys.front();
      } else if (v > xs.back()) {
        y = ys.back();
      } else {
        while (interval + 2 < n && v >= xs[interval + 1]) ++interval;
        const double x0 = xs[interval], x1 = xs[interval + 1];
        const double y0 = ys[interval], y1 = ys[interval + 1];
        if (smooth) {
          const double h = x1 - x0;
          const double m0 = m[interval], m1 = m[interval + 1];
          const double a = x1 - v, b = v - x0;
          y = ((y0 * 6 - m0 * h * h) * a + (y1 * 6 - m1 * h * h) * b + m1 * b * b * b + m0 * a * a * a) / (6 * h);
        } else {
          y = LineAt(x0, y0, x1, y1, v);
        }
      }
      table[v] = OutputOf(y);
    }
  }
  std::memcpy(c.table, table, 256);
  return true;
}

void CurveSet::CopyChannel(int to, int from) {
  if (!ValidChannel(to) || !ValidChannel(from) || to == from) return;
  channels[to] = channels[from];
}

int PercentAt(int output) {
  const float product = static_cast<float>(output) * 0.39215687f;
  return static_cast<int>(static_cast<double>(product) + 0.5);
}

int OutputForPercent(int percent) { return std::clamp(percent, 0, 100) * 255 / 100; }

std::string CurveFilePath(std::string_view path, std::string_view extension) {
  std::string result(path);
  const size_t slash = result.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (result.find('.', nameStart) == std::string::npos) result += extension;
  return result;
}

int SaveCurveFile(std::string_view path, const CurveSet& set, int channelCount, std::string_view extension) {
  if (channelCount < 1 || channelCount > kCurveChannelsMax || path.empty()) return kResultInvalidParameter;
  std::vector<uint8_t> out;
  out.insert(out.end(), kCurveFileHeader, kCurveFileHeader + kCurveFileHeaderSize);
  PutInt32(out, channelCount);
  for (int channel = 0; channel < channelCount; ++channel) {
    out.insert(out.end(), set.channels[channel].table, set.channels[channel].table + 256);
  }
  PutInt32(out, kCurvePoints);
  for (int channel = 0; channel < channelCount; ++channel) {
    const CurveChannel& c = set.channels[channel];
    PutInt32(out, c.kind == kCurveFreehand ? 1 : c.kind == kCurveStraight ? 2 : 0);
    PutInt32(out, 0);
    for (const CurvePoint& p : c.points) {
      PutInt32(out, p.x);
      PutInt32(out, p.y);
      PutInt32(out, p.used);
    }
  }

  platform::AtomicFile file(CurveFilePath(path, extension));
  if (!file.Open()) return kResultCannotOpen;
  if (!file.Write(out.data(), out.size()) || !file.Commit()) return kResultWriteError;
  return kResultOk;
}

int LoadCurveFile(std::string_view path, CurveSet& set, int* channelCount) {
  std::vector<uint8_t> bytes;
  if (!ReadCurveBytes(path, bytes)) return kResultCannotOpen;
  ByteReader reader(bytes);
  int32_t n = 0;
  if (!reader.Skip(kCurveFileHeaderSize) || !reader.Int32(n)) return kResultReadError;
  if (n < 1 || n > kCurveChannelsMax) return kResultInvalidFormat;
  for (int channel = 0; channel < n; ++channel) {
    if (!reader.Bytes(set.channels[channel].table, 256)) return kResultReadError;
  }
  const int result = ReadPointSection(reader, set, n, true);
  if (result == 1 && channelCount) *channelCount = n;
  return result;
}

int LoadSeparationCurveFile(std::string_view path, CurveSet& set) {
  std::vector<uint8_t> bytes;
  if (!ReadCurveBytes(path, bytes)) return kResultCannotOpen;
  ByteReader reader(bytes);
  int32_t n = 0;
  if (!reader.Skip(kCurveFileHeaderSize) || !reader.Int32(n)) return kResultReadError;
  if (n != 4) return kResultInvalidFormat;
  for (int channel = 0; channel < 4; ++channel) {
    if (!reader.Bytes(set.channels[channel].table, 256)) return kResultReadError;
  }
  return ReadPointSection(reader, set, 4, false);
}

}  // namespace color
