// Eight 24-bit pixels at a time in 32-bit lanes, for the colour kernels
// that work in floating point or need more than 16 bits per value. The
// kernels keep the scalar functions' operations and order with branches
// turned into selects, so each lane gives the bytes of the scalar form
// (IEEE arithmetic, and no contraction into fused multiply-adds in ISO C++).
//
// Every helper taking vectors is inlined: no AVX value crosses a call, so the
// argument-passing note GCC gives for them does not apply (hence the
// -Wpsabi pragma, which includers inherit).
#pragma once

#include <cstdint>
#include <cstring>

#pragma GCC diagnostic ignored "-Wpsabi"

namespace vector_pixels {

typedef float VFloat __attribute__((vector_size(32)));
typedef int32_t VInt __attribute__((vector_size(32)));
typedef int32_t VInt4 __attribute__((vector_size(16)));
typedef uint8_t VByte16 __attribute__((vector_size(16)));
constexpr int kLanes = 8;

// A block reads 16 bytes from its fifth pixel: whole blocks stop this many
// pixels before the row's end.
constexpr int kBlockReach = 11;

__attribute__((always_inline)) inline VInt VClampByte(VInt v) {
  const VInt zero = VInt{}, top = VInt{} + 255;
  v = v < zero ? zero : v;
  return v > top ? top : v;
}

__attribute__((always_inline)) inline VFloat VMax(VFloat a, VFloat b) { return a < b ? b : a; }
__attribute__((always_inline)) inline VFloat VMin(VFloat a, VFloat b) { return b < a ? b : a; }
__attribute__((always_inline)) inline VFloat VClamp(VFloat v, float lo, float hi) {
  const VFloat vlo = VFloat{} + lo, vhi = VFloat{} + hi;
  return v < vlo ? vlo : (vhi < v ? vhi : v);
}

// One channel of HSL to RGB: the hue ramps over m1..m2, as a byte
// (v x 255 clamped to 0..255, truncated).
__attribute__((always_inline)) inline VInt VHueToRGB(VFloat m1, VFloat m2, VFloat h) {
  h = h < 0.0f ? h + 360.0f : h;
  h = h > 360.0f ? h - 360.0f : h;
  const VFloat rising = m1 + (m2 - m1) * h / 60.0f;
  const VFloat falling = m1 + (m2 - m1) * (240.0f - h) / 60.0f;
  VFloat v = h < 60.0f ? rising : (h < 180.0f ? m2 : (h < 240.0f ? falling : m1));
  v = VClamp(v * 255.0f, 0.0f, 255.0f);
  return __builtin_convertvector(v, VInt);
}

// Byte c of each of the 4 three-byte pixels in v, as 32-bit lanes.
template <int C>
__attribute__((always_inline)) inline VInt4 Channel4(VByte16 v) {
  const VByte16 bytes =
      __builtin_shufflevector(v, VByte16{}, C, 16, 16, 16, C + 3, 16, 16, 16, C + 6, 16, 16, 16, C + 9, 16, 16, 16);
  VInt4 lanes;
  std::memcpy(&lanes, &bytes, sizeof lanes);
  return lanes;
}

// Blue, green and red of the 8 pixels at src as lanes (reads 28 bytes).
__attribute__((always_inline)) inline void Load8(const uint8_t* src, VInt& b, VInt& g, VInt& r) {
  VByte16 lo, hi;
  std::memcpy(&lo, src, 16);
  std::memcpy(&hi, src + 12, 16);
  b = __builtin_shufflevector(Channel4<0>(lo), Channel4<0>(hi), 0, 1, 2, 3, 4, 5, 6, 7);
  g = __builtin_shufflevector(Channel4<1>(lo), Channel4<1>(hi), 0, 1, 2, 3, 4, 5, 6, 7);
  r = __builtin_shufflevector(Channel4<2>(lo), Channel4<2>(hi), 0, 1, 2, 3, 4, 5, 6, 7);
}

// Writes 4 pixels (12 bytes) from the low bytes of blue, green, red lanes.
__attribute__((always_inline)) inline void Store4(uint8_t* d, VInt4 b, VInt4 g, VInt4 r) {
  VByte16 bb, gg, rr;
  std::memcpy(&bb, &b, 16);
  std::memcpy(&gg, &g, 16);
  std::memcpy(&rr, &r, 16);
  const VByte16 blueGreen = __builtin_shufflevector(bb, gg, 0, 16, 0, 4, 20, 0, 8, 24, 0, 12, 28, 0, 0, 0, 0, 0);
  const VByte16 all = __builtin_shufflevector(blueGreen, rr, 0, 1, 16, 3, 4, 20, 6, 7, 24, 9, 10, 28, 0, 0, 0, 0);
  std::memcpy(d, &all, 12);
}

// Writes 8 pixels (24 bytes) from the low bytes of blue, green, red lanes.
__attribute__((always_inline)) inline void Store8(uint8_t* d, VInt b, VInt g, VInt r) {
  Store4(d, __builtin_shufflevector(b, b, 0, 1, 2, 3), __builtin_shufflevector(g, g, 0, 1, 2, 3),
         __builtin_shufflevector(r, r, 0, 1, 2, 3));
  Store4(d + 12, __builtin_shufflevector(b, b, 4, 5, 6, 7), __builtin_shufflevector(g, g, 4, 5, 6, 7),
         __builtin_shufflevector(r, r, 4, 5, 6, 7));
}

}  // namespace vector_pixels
