#include "pgraphic/core/rotation.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "pgraphic/core/intmath.h"

namespace pg {

TTurn::TTurn(long double angle) {
  if (std::isfinite(angle) && angle == std::floor(angle) && std::fmod(angle, 90.0L) == 0) {
    Quarter = true;
    const int q = static_cast<int>(std::fmod(angle, 360.0L) / 90.0L);
    Quadrant = ((q % 4) + 4) % 4;
    static constexpr long double cosTab[4] = {1, 0, -1, 0};
    static constexpr long double sinTab[4] = {0, 1, 0, -1};
    Cos = cosTab[Quadrant];
    Sin = sinTab[Quadrant];
    return;
  }
  const long double a = angle * std::numbers::pi_v<long double> / 180;
  Cos = std::cos(a);
  Sin = std::sin(a);
}

void RotatedBounds(const TTurn& turn, int64_t W, int64_t H, int64_t& width, int64_t& height) {
  long double minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (int i = 0; i < 4; ++i) {
    const long double u = (i & 1) ? static_cast<long double>(W) : 0.0L;
    const long double v = (i & 2) ? static_cast<long double>(H) : 0.0L;
    const long double X = u * turn.Cos - v * turn.Sin;
    const long double Y = u * turn.Sin + v * turn.Cos;
    if (i == 0 || X < minX) minX = X;
    if (i == 0 || X > maxX) maxX = X;
    if (i == 0 || Y < minY) minY = Y;
    if (i == 0 || Y > maxY) maxY = Y;
  }
  // Beyond 32 bits the size cannot be allocated anyway; SetSize reports it.
  const long double limit = std::numeric_limits<int32_t>::max();
  const long double w = std::ceil(maxX) - std::floor(minX), h = std::ceil(maxY) - std::floor(minY);
  width = static_cast<int64_t>(std::isfinite(w) ? std::min(w, limit) : 0.0L);
  height = static_cast<int64_t>(std::isfinite(h) ? std::min(h, limit) : 0.0L);
}

namespace {

inline uint8_t ClampChannel(int64_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// floor of a value known to lie well inside the 64-bit range.
inline int64_t FloorInt(long double v) {
  int64_t i = static_cast<int64_t>(v);
  if (static_cast<long double>(i) > v) --i;
  return i;
}
inline int64_t FloorInt(double v) {
  int64_t i = static_cast<int64_t>(v);
  if (static_cast<double>(i) > v) --i;
  return i;
}

}  // namespace

TRotateRows::TRotateRows(const TPixelGraphic& target, const TPixelGraphic& source, const TRotateWindow& window,
                         const TTurn& turn, bool interpolate, int destCx, int destCy, int srcCx, int srcCy, int x0,
                         int x1)
    : FSrc(source),
      FTarget(target),
      FWin(window),
      FTurn(turn),
      FInterpolate(interpolate),
      FDestCx(destCx),
      FDestCy(destCy),
      FSrcCx(srcCx),
      FSrcCy(srcCy),
      FX0(x0),
      FX1(x1),
      FSrcBits(source.Bits()),
      FSrcBytesPerRow(source.BytesPerRow()),
      FSrcHeight(source.Height()) {
  if (FTurn.Quarter) return;
  const size_t n = static_cast<size_t>(x1 - x0 + 1);
  FColCos.resize(n);
  FColNegSin.resize(n);
  FColCosD.resize(n);
  FColNegSinD.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const long double d = static_cast<long double>(static_cast<int64_t>(x0) + static_cast<int64_t>(i) - destCx);
    FColCos[i] = d * FTurn.Cos;
    FColNegSin[i] = -d * FTurn.Sin;
    FColCosD[i] = static_cast<double>(FColCos[i]);
    FColNegSinD[i] = static_cast<double>(FColNegSin[i]);
  }
  // The positions computed in double differ from the extended ones by a few
  // units in the last place of the largest term; the tolerance is 16 times
  // that bound.
  const long double m = std::fabs(static_cast<long double>(destCx)) + std::max(std::fabs(1.0L * x0), std::fabs(1.0L * x1)) +
                        std::fabs(static_cast<long double>(destCy)) + std::max<long double>(target.Height(), 1) +
                        std::fabs(static_cast<long double>(srcCx)) + std::fabs(static_cast<long double>(srcCy)) + 2;
  FTolerance = static_cast<double>(m * std::ldexp(1.0L, -48));
}

void TRotateRows::Compute(int y, uint8_t* out, uint8_t* mask) {
  if (mask) std::memset(mask, 0, static_cast<size_t>(FX1 - FX0 + 1));
  if (FTurn.Quarter)
    ComputeQuarter(y, out, mask);
  else if (!FInterpolate)
    ComputeNearest(y, out, mask);
  else
    ComputeBilinear(y, out, mask);
}

namespace {

// Narrows [lo, hi] to the x for which a x + b lies in [vlo, vhi], a in {-1, 0, 1}.
void LimitRange(int64_t a, int64_t b, int64_t vlo, int64_t vhi, int64_t& lo, int64_t& hi) {
  if (a == 0) {
    if (b < vlo || b > vhi) hi = lo - 1;
  } else if (a > 0) {
    lo = std::max(lo, vlo - b);
    hi = std::min(hi, vhi - b);
  } else {
    lo = std::max(lo, b - vhi);
    hi = std::min(hi, b - vlo);
  }
}

}  // namespace

void TRotateRows::ComputeQuarter(int y, uint8_t* out, uint8_t* mask) {
  // Exact integer mapping: sx = dx cos + dy sin + srcCx, sy = -dx sin + dy cos + srcCy,
  // with dx = x - destCx, so sx = c x + bx and sy = -s x + by.
  const int64_t c = static_cast<int64_t>(FTurn.Cos), s = static_cast<int64_t>(FTurn.Sin);
  const int64_t dy = static_cast<int64_t>(y) - FDestCy;
  const int64_t bx = -FDestCx * c + dy * s + FSrcCx, by = FDestCx * s + dy * c + FSrcCy;
  int64_t lo = FX0, hi = FX1;
  LimitRange(c, bx, FWin.Left, FWin.Right, lo, hi);
  LimitRange(-s, by, FWin.Top, FWin.Bottom, lo, hi);
  if (lo > hi) return;
  if (mask) std::memset(mask + (lo - FX0), 1, static_cast<size_t>(hi - lo + 1));
  uint8_t* o = out + 3 * (lo - FX0);
  if (FSrc.Is24()) {
    // One step in x moves c columns and -s rows; rows are stored bottom-up.
    const uint8_t* p = FSrcBits + (FSrcHeight - 1 - (-s * lo + by)) * FSrcBytesPerRow + 3 * (c * lo + bx);
    const int64_t step = 3 * c + s * FSrcBytesPerRow;
    for (int64_t x = lo; x <= hi; ++x, o += 3, p += step) {
      o[0] = p[0];
      o[1] = p[1];
      o[2] = p[2];
    }
    return;
  }
  for (int64_t x = lo; x <= hi; ++x, o += 3)
    std::memcpy(o, FSrc.BGR(static_cast<int>(c * x + bx), static_cast<int>(-s * x + by)), 3);
}

bool TRotateRows::CanQuarterBlock() const { return FTurn.Quarter && FTurn.Sin != 0 && FSrc.Is24(); }

void TRotateRows::QuarterBlock(int y, int n, uint8_t* block, size_t stride) {
  // Quarter and three-quarter turns (cos 0): row j of the block reads source
  // column dy * sin + srcCx from every source row, so one source row gives
  // n neighbouring pixels of n target rows.
  const int64_t s = static_cast<int64_t>(FTurn.Sin);
  const int64_t by = FDestCx * s + FSrcCy;
  int64_t lo = FX0, hi = FX1;
  LimitRange(-s, by, FWin.Top, FWin.Bottom, lo, hi);
  if (lo > hi) return;
  int64_t sx[64];
  bool ok[64];
  for (int j = 0; j < n; ++j) {
    sx[j] = (static_cast<int64_t>(y) + j - FDestCy) * s + FSrcCx;
    ok[j] = sx[j] >= FWin.Left && sx[j] <= FWin.Right;
  }
  for (int64_t x = lo; x <= hi; ++x) {
    const uint8_t* row = FSrcBits + (FSrcHeight - 1 - (-s * x + by)) * FSrcBytesPerRow;
    uint8_t* o = block + 3 * (x - FX0);
    for (int j = 0; j < n; ++j, o += stride)
      if (ok[j]) {
        const uint8_t* p = row + 3 * sx[j];
        o[0] = p[0];
        o[1] = p[1];
        o[2] = p[2];
      }
  }
}

void TRotateRows::ComputeNearest(int y, uint8_t* out, uint8_t* mask) {
  const long double dy = static_cast<long double>(static_cast<int64_t>(y) - FDestCy);
  const long double bx = dy * FTurn.Sin, by = dy * FTurn.Cos;
  for (int x = FX0; x <= FX1; ++x) {
    const size_t i = static_cast<size_t>(x - FX0);
    const long double sx = FColCos[i] + bx + FSrcCx;
    const long double sy = FColNegSin[i] + by + FSrcCy;
    if (!(sx > FWin.Left - 1 && sx < FWin.Right + 1 && sy > FWin.Top - 1 && sy < FWin.Bottom + 1)) continue;
    const int64_t ix = RoundHalfEven(sx), iy = RoundHalfEven(sy);
    if (!FWin.Contains(ix, iy)) continue;
    std::memcpy(out + 3 * i, FSrc.BGR(static_cast<int>(ix), static_cast<int>(iy)), 3);
    if (mask) mask[i] = 1;
  }
}

bool TRotateRows::BilinearExact(long double sx, long double sy, int x, int y, uint8_t* out) const {
  const int64_t x0 = FloorInt(sx), y0 = FloorInt(sy);
  const int64_t x1 = (static_cast<long double>(x0) == sx) ? x0 : x0 + 1;
  const int64_t y1 = (static_cast<long double>(y0) == sy) ? y0 : y0 + 1;
  const long double fx = sx - x0, fy = sy - y0;
  const long double hx0 = x0 == x1 ? 0.5L : 1 - fx, hx1 = x0 == x1 ? 0.5L : fx;
  const long double hy0 = y0 == y1 ? 0.5L : 1 - fy, hy1 = y0 == y1 ? 0.5L : fy;
  const bool inX0 = x0 >= FWin.Left && x0 <= FWin.Right, inX1 = x1 >= FWin.Left && x1 <= FWin.Right;
  const bool inY0 = y0 >= FWin.Top && y0 <= FWin.Bottom, inY1 = y1 >= FWin.Top && y1 <= FWin.Bottom;
  if (!((inX0 || inX1) && (inY0 || inY1))) return false;
  const uint8_t* own = FTarget.BGR(x, y);
  const uint8_t* p00 = inX0 && inY0 ? FSrc.BGR(static_cast<int>(x0), static_cast<int>(y0)) : own;
  const uint8_t* p01 = inX0 && inY1 ? FSrc.BGR(static_cast<int>(x0), static_cast<int>(y1)) : own;
  const uint8_t* p10 = inX1 && inY0 ? FSrc.BGR(static_cast<int>(x1), static_cast<int>(y0)) : own;
  const uint8_t* p11 = inX1 && inY1 ? FSrc.BGR(static_cast<int>(x1), static_cast<int>(y1)) : own;
  const long double w00 = hx0 * hy0, w01 = hx0 * hy1, w10 = hx1 * hy0, w11 = hx1 * hy1;
  uint8_t v[3];
  for (int c = 0; c < 3; ++c)
    v[c] = ClampChannel(RoundHalfEven(w00 * p00[c] + w01 * p01[c] + w10 * p10[c] + w11 * p11[c]));
  std::memcpy(out, v, 3);
  return true;
}

template <bool Src24>
void TRotateRows::BilinearRow(int y, uint8_t* out, uint8_t* mask) {
  const long double dy = static_cast<long double>(static_cast<int64_t>(y) - FDestCy);
  const long double bx = dy * FTurn.Sin, by = dy * FTurn.Cos;
  const double bxd = static_cast<double>(bx), byd = static_cast<double>(by);
  const double scx = FSrcCx, scy = FSrcCy;
  const double tol = FTolerance;
  // Bound of the difference of a channel sum computed in double from the
  // extended one (four weights, each off by less than 3 tol, times 255).
  const double sumTol = 3060 * tol + 1e-9;
  const double left = static_cast<double>(FWin.Left), right = static_cast<double>(FWin.Right);
  const double top = static_cast<double>(FWin.Top), bottom = static_cast<double>(FWin.Bottom);
  // Pixels whose four samples all lie inside the window.
  const int64_t inL = FWin.Left, inR = FWin.Right - 1, inT = FWin.Top, inB = FWin.Bottom - 1;
  const uint8_t* bits = FSrcBits;
  const int64_t bpr = FSrcBytesPerRow, srcH = FSrcHeight;
  for (int x = FX0; x <= FX1; ++x) {
    const size_t i = static_cast<size_t>(x - FX0);
    // Positions in double first; the extended computation decides whenever
    // the double result is too close to a boundary to be certain.
    const double sxd = (FColCosD[i] + bxd) + scx;
    const double syd = (FColNegSinD[i] + byd) + scy;
    if (!(sxd > left - 1 - tol && sxd < right + 1 + tol && syd > top - 1 - tol && syd < bottom + 1 + tol)) continue;
    const int64_t x0 = FloorInt(sxd), y0 = FloorInt(syd);
    const double fx = sxd - static_cast<double>(x0), fy = syd - static_cast<double>(y0);
    if (fx >= tol && fx <= 1 - tol && fy >= tol && fy <= 1 - tol && x0 >= inL && x0 <= inR && y0 >= inT &&
        y0 <= inB) {
      const uint8_t *p00, *p01;
      if constexpr (Src24) {
        p00 = bits + (srcH - 1 - y0) * bpr + 3 * x0;
        p01 = p00 - bpr;
      } else {
        p00 = FSrc.BGR(static_cast<int>(x0), static_cast<int>(y0));
        p01 = FSrc.BGR(static_cast<int>(x0), static_cast<int>(y0 + 1));
      }
      const uint8_t* p10;
      const uint8_t* p11;
      if constexpr (Src24) {
        p10 = p00 + 3;
        p11 = p01 + 3;
      } else {
        p10 = FSrc.BGR(static_cast<int>(x0 + 1), static_cast<int>(y0));
        p11 = FSrc.BGR(static_cast<int>(x0 + 1), static_cast<int>(y0 + 1));
      }
      const double gx = 1 - fx, gy = 1 - fy;
      const double w00 = gx * gy, w01 = gx * fy, w10 = fx * gy, w11 = fx * fy;
      const double s0 = w00 * p00[0] + w01 * p01[0] + w10 * p10[0] + w11 * p11[0] + 0.5;
      const double s1 = w00 * p00[1] + w01 * p01[1] + w10 * p10[1] + w11 * p11[1] + 0.5;
      const double s2 = w00 * p00[2] + w01 * p01[2] + w10 * p10[2] + w11 * p11[2] + 0.5;
      const int q0 = static_cast<int>(s0), q1 = static_cast<int>(s1), q2 = static_cast<int>(s2);
      const double f0 = s0 - q0, f1 = s1 - q1, f2 = s2 - q2;
      // Away from a tie, rounding to nearest is floor(s + 0.5).
      if (f0 > sumTol && f0 < 1 - sumTol && f1 > sumTol && f1 < 1 - sumTol && f2 > sumTol && f2 < 1 - sumTol) {
        uint8_t* o = out + 3 * i;
        o[0] = static_cast<uint8_t>(q0);
        o[1] = static_cast<uint8_t>(q1);
        o[2] = static_cast<uint8_t>(q2);
        if (mask) mask[i] = 1;
        continue;
      }
    }
    // Near a boundary, at the window's edges, or near a tie: extended precision.
    const long double sx = FColCos[i] + bx + FSrcCx;
    const long double sy = FColNegSin[i] + by + FSrcCy;
    if (BilinearExact(sx, sy, x, y, out + 3 * i) && mask) mask[i] = 1;
  }
}

void TRotateRows::ComputeBilinear(int y, uint8_t* out, uint8_t* mask) {
  if (FSrc.Is24())
    BilinearRow<true>(y, out, mask);
  else
    BilinearRow<false>(y, out, mask);
}

}  // namespace pg
