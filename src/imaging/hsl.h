// The HSL colour model of the tone adjustments (GL_ChangeHSL,
// GL_ChangeSaturation, GL_ChangeIntensity) and of the Hue, Saturation, Color
// and Luminosity blends, in single precision, once per pixel and eight pixels
// at a time.
//
// To HSL, with r, g, b = channel x 0.003921569 (1/255 in single precision),
// mx and mn their largest and smallest:
//   l = (mx + mn) / 2;
//   mx = mn: no hue (h = -1) and s = 0;
//   otherwise s = d / (mx + mn) when l < 0.5, else d / (2 - mx - mn), with
//   d = mx - mn, and h = 60 x ((g - b) / d) when red is the largest,
//   60 x ((b - r) / d + 2) when green is, else 60 x ((r - g) / d + 4),
//   plus 360 when negative.
// From HSL: without a hue the three channels are the level l; otherwise
// m2 = l (1 + s) for l <= 0.5, else l + s - l s; m1 = 2 l - m2; red, green
// and blue are HueToByte(m1, m2, h + 120), (m1, m2, h), (m1, m2, h - 120).
// HueToByte wraps h into 0..360 once each way, takes m1 + (m2 - m1) h / 60
// below 60, m2 below 180, m1 + (m2 - m1) (240 - h) / 60 below 240, else m1,
// and gives v x 255 clamped to 0..255 and truncated. A level l gives
// l x 255 clamped and truncated.
//
// The vector forms do the same single-precision operations lane by lane
// (branches become selects), so every lane gives the bytes of the scalar
// form; they are inlined into their callers' clone-built loops.
#pragma once

#include <algorithm>
#include <cstdint>

#include "imaging/vector_pixels.h"

namespace hsl {

inline constexpr float kByteScale = 0.003921569f;

struct Hsl {
  float h, s, l;  // h < 0: the pixel has no hue
};

// H, S and L of a blue, green, red pixel; only the wanted components are
// computed (an unwanted hue reads 0 when the pixel has one, -1 when it has
// none; an unwanted saturation reads 0).
template <bool WantH = true, bool WantS = true>
inline Hsl ToHsl(const uint8_t* bgr) {
  const float r = bgr[2] * kByteScale;
  const float g = bgr[1] * kByteScale;
  const float b = bgr[0] * kByteScale;
  const float mx = std::max(r, std::max(g, b));
  const float mn = std::min(r, std::min(g, b));
  Hsl out{0.0f, 0.0f, (mx + mn) * 0.5f};
  if (mx == mn) {
    out.h = -1.0f;
    return out;
  }
  const float delta = mx - mn;
  if constexpr (WantS) out.s = out.l < 0.5f ? delta / (mx + mn) : delta / (2.0f - mx - mn);
  if constexpr (WantH) {
    // Selects instead of branches (the largest channel is unpredictable);
    // adding 0 to the red sector's quotient changes no value.
    const float num = r == mx ? g - b : g == mx ? b - r : r - g;
    const float sector = r == mx ? 0.0f : g == mx ? 2.0f : 4.0f;
    float h = (num / delta + sector) * 60.0f;
    if (h < 0.0f) h += 360.0f;
    out.h = h;
  }
  return out;
}

// A level 0..1 (or beyond) as a byte: x 255, clamped, truncated.
inline uint8_t LevelToByte(float v) {
  v *= 255.0f;
  if (v < 0.0f) v = 0.0f;
  if (v > 255.0f) v = 255.0f;
  return static_cast<uint8_t>(static_cast<int>(v));
}

inline uint8_t HueToByte(float m1, float m2, float h) {
  if (h < 0.0f) h += 360.0f;
  if (h > 360.0f) h -= 360.0f;
  // The two ramps share one expression, with 240 - h in place of h from 180
  // to 240.
  const float x = h < 60.0f ? h : 240.0f - h;
  const float ramp = m1 + (m2 - m1) * x / 60.0f;
  return LevelToByte(h < 60.0f ? ramp : h < 180.0f ? m2 : h < 240.0f ? ramp : m1);
}

// Writes (h, s, l) as blue, green, red; h < 0 writes the level l.
inline void FromHsl(uint8_t* bgr, float h, float s, float l) {
  if (h < 0.0f) {
    bgr[0] = bgr[1] = bgr[2] = LevelToByte(l);
    return;
  }
  const float m2 = l <= 0.5f ? l * (1.0f + s) : l + s - l * s;
  const float m1 = 2.0f * l - m2;
  bgr[2] = HueToByte(m1, m2, h + 120.0f);
  bgr[1] = HueToByte(m1, m2, h);
  bgr[0] = HueToByte(m1, m2, h - 120.0f);
}

// --- eight pixels at a time ---

using vector_pixels::VFloat;
using vector_pixels::VInt;

struct VHsl {
  VFloat h, s, l;
  VInt gray;  // all bits set where the pixel has no hue (h and s are then meaningless)
};

template <bool WantH = true, bool WantS = true>
__attribute__((always_inline)) inline VHsl ToHsl(VInt B, VInt G, VInt R) {
  using namespace vector_pixels;
  const VFloat r = __builtin_convertvector(R, VFloat) * kByteScale;
  const VFloat g = __builtin_convertvector(G, VFloat) * kByteScale;
  const VFloat b = __builtin_convertvector(B, VFloat) * kByteScale;
  const VFloat mx = VMax(r, VMax(g, b));
  const VFloat mn = VMin(r, VMin(g, b));
  VHsl out{VFloat{}, VFloat{}, (mx + mn) * 0.5f, mx == mn};
  const VFloat delta = mx - mn;
  if constexpr (WantS) {
    const VFloat s = out.l < 0.5f ? delta / (mx + mn) : delta / (2.0f - mx - mn);
    out.s = out.gray ? VFloat{} : s;
  }
  if constexpr (WantH) {
    const VInt rIsMax = r == mx;
    const VInt gIsMax = g == mx;
    const VFloat num = rIsMax ? g - b : (gIsMax ? b - r : r - g);
    const VFloat sector = rIsMax ? VFloat{} : (gIsMax ? VFloat{} + 2.0f : VFloat{} + 4.0f);
    VFloat h = (num / delta + sector) * 60.0f;
    out.h = h < 0.0f ? h + 360.0f : h;
  }
  return out;
}

// FromHsl of eight pixels into lanes of blue, green and red; `gray` lanes
// take the level of l.
__attribute__((always_inline)) inline void FromHsl(VFloat h, VFloat s, VFloat l, VInt gray, VInt& B, VInt& G,
                                                   VInt& R) {
  using namespace vector_pixels;
  const VFloat m2 = l <= 0.5f ? l * (1.0f + s) : l + s - l * s;
  const VFloat m1 = 2.0f * l - m2;
  const VInt level = __builtin_convertvector(VClamp(l * 255.0f, 0.0f, 255.0f), VInt);
  R = gray ? level : VHueToRGB(m1, m2, h + 120.0f);
  G = gray ? level : VHueToRGB(m1, m2, h);
  B = gray ? level : VHueToRGB(m1, m2, h - 120.0f);
}

}  // namespace hsl
