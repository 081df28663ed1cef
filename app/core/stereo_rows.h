#pragma once

// Row access shared by the workers of the stereo core (stereo_core.cpp and
// stereo_modes.cpp). Internal to the core.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

#include "app/core/stereo_core.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/pixelrows.h"
#include "pgraphic/core/threadpool.h"

namespace zwstereo {

// Row functions built for AVX2 as well where the processor has it (the
// compiler vectorises the three-byte groups there); both builds compute the
// same integers. Not in sanitizer builds: the clones' resolvers run during
// relocation, before the sanitizer runtime is set up, and the instrumented
// resolver crashes there.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__)
#define ZW_ROW_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ZW_ROW_CLONES
#endif

// A result width or height beyond the 32-bit size field cannot be allocated;
// it fails like any other allocation.
inline int32_t CheckedSize(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) throw EPixelGraphic(GetMessage1(msgFailed, "CreateDIBSection"));
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// True when the w x h rectangle at (x, y) lies inside the image (and is not empty).
inline bool Inside(const TPixelGraphic& image, int64_t x, int64_t y, int64_t w, int64_t h) {
  return !image.Empty() && w > 0 && h > 0 && x >= 0 && y >= 0 && x + w <= image.Width() &&
         y + h <= image.Height();
}

inline void PutColor(uint8_t* p, TColorRef c) {
  p[0] = static_cast<uint8_t>(GetBValue(c));
  p[1] = static_cast<uint8_t>(GetGValue(c));
  p[2] = static_cast<uint8_t>(GetRValue(c));
}

// SetSize(W, H, 24 bit) on the work image, which the worker then overwrites
// pixel by pixel: no clearing pass (the worker signals the change at its end).
inline void PrepareWork(TPixelGraphic& work, const TCommonArea& a) { work.SetSizeToOverwrite(a.W, a.H, bc24Bit); }

// Rows of a rectangle of an image as blue-green-red bytes: 24-bit rows are
// read in place, palette rows are decoded into a buffer through the colour
// table of the core's row reader. Only for rectangles that lie inside the image.
class TRowSource {
public:
  TRowSource(const TPixelGraphic& image, int32_t x0, int32_t y0, int32_t width)
      : FPixels(image), FX0(x0), FY0(y0), FX1(x0 + width - 1) {
    if (!FPixels.Is24()) FBuffer.resize(3 * static_cast<size_t>(std::max(width, 0)));
  }

  // Blue-green-red bytes of the rectangle's row j (3 * width bytes).
  const uint8_t* Row(int32_t j) { return FPixels.RowBGR(FY0 + j, FX0, FX1, FBuffer.data()); }

private:
  pg::TSourcePixels FPixels;
  int32_t FX0, FY0, FX1;
  std::vector<uint8_t> FBuffer;
};

// Computes the rows first..last of the 24-bit target on the library's
// threads. make() is called once on each thread taking part and returns that
// thread's row function f(y, out), which writes row y's 3 * width bytes at out
// (the workers report no rows, so no abort is possible). keepUntouched: f
// leaves bytes of the row alone, which then keep the target's pixels.
template <class Make>
void ForTargetRows(TPixelGraphic& target, int first, int last, Make&& make, bool keepUntouched = false) {
  if (target.Empty() || first > last) return;
  pg::TRowLoop loop;
  loop.Target = &target;
  loop.First = first;
  loop.Last = last;
  loop.Bytes = 3 * static_cast<size_t>(target.Width());
  loop.KeepUntouched = keepUntouched;
  pg::RunRows(loop, [&make]() -> pg::TRowsFunction {
    auto f = std::make_shared<std::decay_t<decltype(make())>>(make());
    return [f](int y, int, uint8_t* out, ptrdiff_t, uint8_t*) { (*f)(y, out); };
  });
}

} // namespace zwstereo
