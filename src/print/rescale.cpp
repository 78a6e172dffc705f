#include "print/rescale.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "image/color_convert.h"
#include "image/result_codes.h"

namespace print {
namespace {

inline uint8_t Interpolate(uint8_t a, uint8_t b, float complement, float fraction) {
  return static_cast<uint8_t>(static_cast<float>(a) * complement + static_cast<float>(b) * fraction + 0.5f);
}

// Enlarges one 24-bit row horizontally: destination column k interpolates
// source columns c and c + 1 (clamped at `last`) with the map's weights.
void EnlargeRowX(const uint8_t* in, uint8_t* out, const ColumnMap& columns, int width, int last) {
  for (int k = 0; k < width; ++k) {
    const int c = columns.source[static_cast<size_t>(k)];
    const int c1 = std::min(c + 1, last);
    const float g = columns.complement[static_cast<size_t>(k)], f = columns.fraction[static_cast<size_t>(k)];
    out[3 * k] = Interpolate(in[3 * c], in[3 * c1], g, f);
    out[3 * k + 1] = Interpolate(in[3 * c + 1], in[3 * c1 + 1], g, f);
    out[3 * k + 2] = Interpolate(in[3 * c + 2], in[3 * c1 + 2], g, f);
  }
}

}  // namespace

ColumnMap BuildColumnMap(int destSize, int sourceSize, int first, int count) {
  ColumnMap map;
  map.scale = static_cast<float>(destSize) / static_cast<float>(sourceSize);
  map.source.resize(static_cast<size_t>(count) + 1);
  map.fraction.resize(static_cast<size_t>(count));
  map.complement.resize(static_cast<size_t>(count));
  for (int k = 0; k <= count; ++k) {
    const int i = first + k;
    if (i >= destSize) {
      map.source[static_cast<size_t>(k)] = sourceSize;
      if (k < count) {  // only reached for a row map read past the end
        map.fraction[static_cast<size_t>(k)] = 0.0f;
        map.complement[static_cast<size_t>(k)] = 1.0f;
      }
      continue;
    }
    const float q = static_cast<float>(i) / map.scale;
    const float whole = std::trunc(q);
    int column = static_cast<int>(whole);
    if (k < count) {
      const float f = q - whole;
      map.fraction[static_cast<size_t>(k)] = f;
      map.complement[static_cast<size_t>(k)] = 1.0f - f;
      column = std::clamp(column, 0, sourceSize - 1);
    } else {
      column = std::clamp(column, 0, sourceSize);
    }
    map.source[static_cast<size_t>(k)] = column;
  }
  return map;
}

RescaleMethod ChooseRescaleMethod(float sx, float sy) {
  if (sx < 1.0f) return sy < 1.0f ? RescaleMethod::ReduceBoth : RescaleMethod::ReduceXEnlargeY;
  return sy < 1.0f ? RescaleMethod::ReduceYEnlargeX : RescaleMethod::EnlargeBoth;
}

int Rescaler::Init(const CDIBitmap& source, const platform::Rect& sourceRect, int destWidth, int destHeight,
                   int visibleLeft, int visibleWidth) {
  platform::Rect rect = sourceRect;
  rect.left = std::max(rect.left, 0);
  rect.top = std::max(rect.top, 0);
  rect.right = std::min(rect.right, source.GetWidth());
  rect.bottom = std::min(rect.bottom, source.GetHeight());
  if (!source.IsAllocated() || rect.IsEmpty() || destWidth <= 0 || destHeight <= 0 || visibleWidth <= 0)
    return kResultInvalidSize;
  if (visibleLeft < 0 || visibleLeft + visibleWidth > destWidth) return kResultInvalidParameter;
  const int bits = source.GetBitCount();
  if (bits != 1 && bits != 8 && bits != 24 && bits != 32) return kResultInvalidParameter;
  source_ = &source;
  sourceRect_ = rect;
  destHeight_ = destHeight;
  visibleWidth_ = visibleWidth;
  try {
    columns_ = BuildColumnMap(destWidth, rect.Width(), visibleLeft, visibleWidth);
    rows_ = BuildColumnMap(destHeight, rect.Height(), 0, destHeight);
    method_ = ChooseRescaleMethod(columns_.scale, rows_.scale);
    convertRow_.assign(static_cast<size_t>(source.GetWidth()) * 3, 0);
    for (auto& row : horizontal_) row.assign(static_cast<size_t>(visibleWidth) * 3, 255);
    horizontalRow_[0] = horizontalRow_[1] = -1;
    sums_.assign(static_cast<size_t>(rect.Width()) * 3, 0);
    rowBuffer_.assign(static_cast<size_t>(rect.Width()) * 3, 255);
  } catch (const std::bad_alloc&) {
    return kResultOutOfMemory;
  }
  return kResultOk;
}

const uint8_t* Rescaler::SourceRow(int y) {
  const int row = sourceRect_.top + y;
  const size_t offset = static_cast<size_t>(sourceRect_.left) * 3;
  switch (source_->GetBitCount()) {
    case 24:
      return source_->RowPointer(row) + offset;
    case 32:
      GL_CMYKRowToRGB(source_->RowPointer(row), convertRow_.data(), source_->GetWidth());
      return convertRow_.data() + offset;
    default:
      source_->GetRowRGB(convertRow_.data(), row);
      return convertRow_.data() + offset;
  }
}

const uint8_t* Rescaler::ReducedRowX(int y, int slot) {
  if (horizontalRow_[slot] == y) return horizontal_[slot].data();
  if (horizontalRow_[slot ^ 1] == y) return horizontal_[slot ^ 1].data();
  const uint8_t* in = SourceRow(y);
  uint8_t* out = horizontal_[slot].data();
  for (int k = 0; k < visibleWidth_; ++k) {
    const int c0 = columns_.source[static_cast<size_t>(k)];
    const int c1 = std::max(columns_.source[static_cast<size_t>(k) + 1], c0 + 1);
    uint32_t s0 = 0, s1 = 0, s2 = 0;
    for (int c = c0; c < c1; ++c) {
      s0 += in[3 * c];
      s1 += in[3 * c + 1];
      s2 += in[3 * c + 2];
    }
    const uint32_t n = static_cast<uint32_t>(c1 - c0);
    out[3 * k] = static_cast<uint8_t>(s0 / n);
    out[3 * k + 1] = static_cast<uint8_t>(s1 / n);
    out[3 * k + 2] = static_cast<uint8_t>(s2 / n);
  }
  horizontalRow_[slot] = y;
  return out;
}

const uint8_t* Rescaler::EnlargedRowX(int y, int slot) {
  if (horizontalRow_[slot] == y) return horizontal_[slot].data();
  if (horizontalRow_[slot ^ 1] == y) return horizontal_[slot ^ 1].data();
  const uint8_t* in = SourceRow(y);
  uint8_t* out = horizontal_[slot].data();
  EnlargeRowX(in, out, columns_, visibleWidth_, sourceRect_.Width() - 1);
  horizontalRow_[slot] = y;
  return out;
}

void Rescaler::DestRow(int y, uint8_t* out) {
  const int lastRow = sourceRect_.Height() - 1;
  const int r = rows_.source[static_cast<size_t>(y)];
  const size_t width3 = static_cast<size_t>(visibleWidth_) * 3;
  switch (method_) {
    case RescaleMethod::ReduceXEnlargeY:
    case RescaleMethod::EnlargeBoth: {
      const int r1 = std::min(r + 1, lastRow);
      // Keep row r in the slot of its parity so that consecutive rows reuse
      // both cached rows.
      const uint8_t* a = method_ == RescaleMethod::EnlargeBoth ? EnlargedRowX(r, r & 1) : ReducedRowX(r, r & 1);
      const uint8_t* b = method_ == RescaleMethod::EnlargeBoth ? EnlargedRowX(r1, r1 & 1) : ReducedRowX(r1, r1 & 1);
      if (r1 == r) b = a;
      const float g = rows_.complement[static_cast<size_t>(y)], f = rows_.fraction[static_cast<size_t>(y)];
      if (f == 0.0f) {
        std::memcpy(out, a, width3);
      } else {
        for (size_t i = 0; i < width3; ++i) out[i] = Interpolate(a[i], b[i], g, f);
      }
      return;
    }
    case RescaleMethod::ReduceBoth:
    case RescaleMethod::ReduceYEnlargeX: {
      const int r1 = std::max(rows_.source[static_cast<size_t>(y) + 1], r + 1);
      const uint32_t rowCount = static_cast<uint32_t>(r1 - r);
      // The source columns this run of destination columns reads.
      const int first = columns_.source[0];
      const int end = method_ == RescaleMethod::ReduceBoth
                          ? std::max(columns_.source[static_cast<size_t>(visibleWidth_)],
                                     columns_.source[static_cast<size_t>(visibleWidth_) - 1] + 1)
                          : std::min(columns_.source[static_cast<size_t>(visibleWidth_) - 1] + 2, sourceRect_.Width());
      std::fill(sums_.begin() + 3 * first, sums_.begin() + 3 * end, 0u);
      for (int sy = r; sy < r1; ++sy) {
        const uint8_t* in = SourceRow(sy);
        for (int i = 3 * first; i < 3 * end; ++i) sums_[static_cast<size_t>(i)] += in[i];
      }
      if (method_ == RescaleMethod::ReduceYEnlargeX) {
        for (int i = 3 * first; i < 3 * end; ++i)
          rowBuffer_[static_cast<size_t>(i)] = static_cast<uint8_t>(sums_[static_cast<size_t>(i)] / rowCount);
        const uint8_t* in = rowBuffer_.data();
        EnlargeRowX(in, out, columns_, visibleWidth_, sourceRect_.Width() - 1);
      } else {
        for (int k = 0; k < visibleWidth_; ++k) {
          const int c0 = columns_.source[static_cast<size_t>(k)];
          const int c1 = std::max(columns_.source[static_cast<size_t>(k) + 1], c0 + 1);
          uint64_t s0 = 0, s1 = 0, s2 = 0;
          for (int c = c0; c < c1; ++c) {
            s0 += sums_[3 * static_cast<size_t>(c)];
            s1 += sums_[3 * static_cast<size_t>(c) + 1];
            s2 += sums_[3 * static_cast<size_t>(c) + 2];
          }
          const uint64_t n = static_cast<uint64_t>(c1 - c0) * rowCount;
          out[3 * k] = static_cast<uint8_t>(s0 / n);
          out[3 * k + 1] = static_cast<uint8_t>(s1 / n);
          out[3 * k + 2] = static_cast<uint8_t>(s2 / n);
        }
      }
      return;
    }
  }
}

int Rescaler::RescaleRows(int firstRow, int count, CDIBitmap& band) {
  if (band.GetBitCount() != 24 || band.GetWidth() < visibleWidth_ || band.GetHeight() < count || firstRow < 0)
    return kResultInvalidParameter;
  for (int j = 0; j < count; ++j) {
    const int y = std::min(firstRow + j, destHeight_ - 1);
    uint8_t* out = band.RowPointer(j);
    if (j > 0 && y == std::min(firstRow + j - 1, destHeight_ - 1)) {
      std::memcpy(out, band.RowPointer(j - 1), static_cast<size_t>(visibleWidth_) * 3);
      continue;
    }
    DestRow(y, out);
  }
  return kResultOk;
}

void GrayBand(CDIBitmap& band, int width, int rows) {
  for (int y = 0; y < rows; ++y) {
    uint8_t* p = band.RowPointer(y);
    for (int x = 0; x < width; ++x, p += 3) {
      const uint8_t gray = static_cast<uint8_t>((306 * p[2] + 601 * p[1] + 117 * p[0] + 512) / 1024);
      p[0] = p[1] = p[2] = gray;
    }
  }
}

void InvertBand(CDIBitmap& band, int width, int rows) {
  for (int y = 0; y < rows; ++y) {
    uint8_t* p = band.RowPointer(y);
    for (int i = 0; i < width * 3; ++i) p[i] = static_cast<uint8_t>(255 - p[i]);
  }
}

}  // namespace print
