#pragma once

#include <cmath>
#include <cstdint>

// The library's two arithmetic rules, used wherever a formula divides or rounds:
// integer divisions truncate toward zero, and rounding to the nearest integer
// sends ties to the even neighbour.
namespace pg {

// Integer division truncating toward zero (C++'s own rule, spelled out).
template <typename T>
constexpr T DivTrunc(T a, T b) {
  return a / b;
}

// Nearest integer, ties to even, independent of the floating-point rounding mode.
inline long double RoundHalfEvenL(long double x) {
  const long double f = std::floor(x);
  const long double d = x - f;
  if (d > 0.5L) return f + 1;
  if (d < 0.5L) return f;
  return std::fmod(f, 2.0L) == 0 ? f : f + 1;
}

inline int64_t RoundHalfEven(long double x) { return static_cast<int64_t>(RoundHalfEvenL(x)); }

inline int64_t RoundHalfEven(double x) {
  const double f = std::floor(x);
  const double d = x - f;
  if (d > 0.5) return static_cast<int64_t>(f) + 1;
  if (d < 0.5) return static_cast<int64_t>(f);
  const int64_t i = static_cast<int64_t>(f);
  return (i % 2 == 0) ? i : i + 1;
}

// min(max(v, lo), hi)
template <typename T>
constexpr T Clamp(T v, T lo, T hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

// Clamp of i to 0..255 for i in -510..510, as a table built once.
struct TClampTable {
  uint8_t v[1021];
  constexpr TClampTable() : v{} {
    for (int i = -510; i <= 510; ++i) v[i + 510] = static_cast<uint8_t>(i < 0 ? 0 : (i > 255 ? 255 : i));
  }
  constexpr uint8_t operator()(int i) const { return v[i + 510]; }
};
inline constexpr TClampTable ClampByte{};

} // namespace pg
