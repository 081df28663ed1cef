#include "pgraphic/core/rotation.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define ZW_ROTATE_AVX2 1
#define ZW_ROTATE_TARGET_AVX2 __attribute__((target("avx2,fma")))
#endif

#include "pgraphic/core/cpu.h"
#include "pgraphic/core/intmath.h"

namespace pg {

namespace {

std::atomic<bool> gRotateVectors{true};

} // namespace

void SetRotateVectors(bool on) { gRotateVectors.store(on, std::memory_order_relaxed); }

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
  FVectors = FSrc.Is24() && CpuFeatures().AVX2 && CpuFeatures().FMA && gRotateVectors.load(std::memory_order_relaxed);
  FSmallTurn = std::fabs(FTurn.Sin) < 1.0L / 3;
}

void TRotateRows::Compute(int y, uint8_t* out, uint8_t* mask) const {
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

void TRotateRows::ComputeQuarter(int y, uint8_t* out, uint8_t* mask) const {
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

void TRotateRows::QuarterBlock(int y, int n, uint8_t* block, ptrdiff_t stride) const {
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

void TRotateRows::ComputeNearest(int y, uint8_t* out, uint8_t* mask) const {
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

// What the pixels of one bilinear row share.
struct TRotateRows::TBilinearRow {
  int Y;
  long double Bx, By;  // (y - destCy) sin a, (y - destCy) cos a
  double Bxd, Byd, Scx, Scy;
  double Tol, SumTol;
  double Left, Right, Top, Bottom;
  // Pixels whose four samples all lie inside the window: x0 in InL..InR, y0 in InT..InB.
  int64_t InL, InR, InT, InB;
};

TRotateRows::TBilinearRow TRotateRows::BilinearSetup(int y) const {
  TBilinearRow r;
  r.Y = y;
  const long double dy = static_cast<long double>(static_cast<int64_t>(y) - FDestCy);
  r.Bx = dy * FTurn.Sin;
  r.By = dy * FTurn.Cos;
  r.Bxd = static_cast<double>(r.Bx);
  r.Byd = static_cast<double>(r.By);
  r.Scx = FSrcCx;
  r.Scy = FSrcCy;
  r.Tol = FTolerance;
  // Bound of the difference of a channel sum computed in double from the
  // extended one (four weights, each off by less than 3 tol, times 255).
  r.SumTol = 3060 * r.Tol + 1e-9;
  r.Left = static_cast<double>(FWin.Left);
  r.Right = static_cast<double>(FWin.Right);
  r.Top = static_cast<double>(FWin.Top);
  r.Bottom = static_cast<double>(FWin.Bottom);
  r.InL = FWin.Left;
  r.InR = FWin.Right - 1;
  r.InT = FWin.Top;
  r.InB = FWin.Bottom - 1;
  return r;
}

template <bool Src24>
void TRotateRows::BilinearPixel(const TBilinearRow& r, int x, uint8_t* out, uint8_t* mask) const {
  const size_t i = static_cast<size_t>(x - FX0);
  // Positions in double first; the extended computation decides whenever
  // the double result is too close to a boundary to be certain.
  const double tol = r.Tol;
  const double sxd = (FColCosD[i] + r.Bxd) + r.Scx;
  const double syd = (FColNegSinD[i] + r.Byd) + r.Scy;
  if (!(sxd > r.Left - 1 - tol && sxd < r.Right + 1 + tol && syd > r.Top - 1 - tol && syd < r.Bottom + 1 + tol))
    return;
  const int64_t x0 = FloorInt(sxd), y0 = FloorInt(syd);
  const double fx = sxd - static_cast<double>(x0), fy = syd - static_cast<double>(y0);
  if (fx >= tol && fx <= 1 - tol && fy >= tol && fy <= 1 - tol && x0 >= r.InL && x0 <= r.InR && y0 >= r.InT &&
      y0 <= r.InB) {
    const uint8_t *p00, *p01, *p10, *p11;
    if constexpr (Src24) {
      p00 = FSrcBits + (FSrcHeight - 1 - y0) * FSrcBytesPerRow + 3 * x0;
      p01 = p00 - FSrcBytesPerRow;
      p10 = p00 + 3;
      p11 = p01 + 3;
    } else {
      p00 = FSrc.BGR(static_cast<int>(x0), static_cast<int>(y0));
      p01 = FSrc.BGR(static_cast<int>(x0), static_cast<int>(y0 + 1));
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
    const double sumTol = r.SumTol;
    if (f0 > sumTol && f0 < 1 - sumTol && f1 > sumTol && f1 < 1 - sumTol && f2 > sumTol && f2 < 1 - sumTol) {
      uint8_t* o = out + 3 * i;
      o[0] = static_cast<uint8_t>(q0);
      o[1] = static_cast<uint8_t>(q1);
      o[2] = static_cast<uint8_t>(q2);
      if (mask) mask[i] = 1;
      return;
    }
  }
  // Near a boundary, at the window's edges, or near a tie: extended precision.
  const long double sx = FColCos[i] + r.Bx + FSrcCx;
  const long double sy = FColNegSin[i] + r.By + FSrcCy;
  if (BilinearExact(sx, sy, x, r.Y, out + 3 * i) && mask) mask[i] = 1;
}

#ifdef ZW_ROTATE_AVX2
namespace {

// Channel values of four sample pairs as doubles: the first and the second
// sample of each pair.
ZW_ROTATE_TARGET_AVX2 inline void SplitChannel(__m256i pairs, __m256i control, __m256i order, __m256d& first,
                                               __m256d& second) {
  const __m256i v = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(pairs, control), order);
  first = _mm256_cvtepi32_pd(_mm256_castsi256_si128(v));
  second = _mm256_cvtepi32_pd(_mm256_extracti128_si256(v, 1));
}

// The pixels k < n of done: blue, green and red from the low bytes of
// lane[k] to out + 3 k, and mask[k] set.
inline void WriteLanes(const uint32_t* lane, int n, int done, uint8_t* out, uint8_t* mask) {
  for (int k = 0; k < n; ++k)
    if (done & (1 << k)) {
      std::memcpy(out + 3 * k, &lane[k], 3);
      if (mask) mask[k] = 1;
    }
}

// 16 bytes at lo in the low half, 16 at hi in the high half.
ZW_ROTATE_TARGET_AVX2 inline __m256i Pieces(const uint8_t* lo, const uint8_t* hi) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo))),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(hi)), 1);
}

// Bytes of the row pieces first (one per 128-bit half) picked by control,
// as floats; with blend, from second in the lanes where down is set.
ZW_ROTATE_TARGET_AVX2 inline __m256 PickChannel(__m256i first, __m256i second, __m256i control, __m256i down,
                                                bool blend) {
  const __m256i a = _mm256_shuffle_epi8(first, control);
  if (!blend) return _mm256_cvtepi32_ps(a);
  return _mm256_cvtepi32_ps(_mm256_blendv_epi8(a, _mm256_shuffle_epi8(second, control), down));
}

}  // namespace

// The constants of the AVX2 kernel for one target row.
struct TRotateRows::TVectorRow {
  __m256d Bxd, Byd, Scx, Scy, LoX, HiX, LoY, HiY, FLo, FHi, InL, InR, InT, InB, One, Tie, Sign;
  __m128i LastRow, Bpr;
  // A sample pair holds (blue, green, red) of pixel x0 and of x0 + 1 in its
  // first six bytes. Channel c of both, per pixel as 32-bit lanes, then
  // sorted into (x0 of the four pixels | x0 + 1 of the four pixels).
  __m256i Channel[3], Order;
  __m128i Pack;
  // Eight pixels at a time (BilinearOctAVX2).
  __m256i InL8, InR8, InT8, InB8, LoadLimit, Zero, LastRow8, Bpr8, FirstX, FirstY;
  __m256i Pick0[3], Pick1[3];  // channel c of x0 and of x0 + 1 at byte 0 of a piece
  __m256i Pack8;
  __m256 Tie8, Sign8, FLo8, FHi8;
};

// Four pixels at a time: the double path of BilinearPixel with the same
// positions, fractions and weights; the weighted sums are formed with fused
// multiply-adds, which stay well inside the same bound, and rounded to the
// nearest integer when they lie farther than that bound from a tie. So every
// pixel it writes is the one the extended computation gives; a pixel off that
// path goes to BilinearPixel.
// Inlined into both loops: as a call it keeps the row's constants in memory.
ZW_ROTATE_TARGET_AVX2 __attribute__((always_inline)) inline void TRotateRows::BilinearQuadAVX2(
    const TVectorRow& v, const TBilinearRow& r, int x, uint8_t* out, uint8_t* mask) const {
  const size_t i = static_cast<size_t>(x - FX0);
  const __m256d sx = _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(FColCosD.data() + i), v.Bxd), v.Scx);
  const __m256d sy = _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(FColNegSinD.data() + i), v.Byd), v.Scy);
  const __m256d x0 = _mm256_floor_pd(sx), y0 = _mm256_floor_pd(sy);
  const __m256d fx = _mm256_sub_pd(sx, x0), fy = _mm256_sub_pd(sy, y0);
  // The fast path: all four samples inside the window, fractions away from
  // the pixel boundaries (which also puts the position inside).
  __m256d fast = _mm256_and_pd(_mm256_cmp_pd(fx, v.FLo, _CMP_GE_OQ), _mm256_cmp_pd(fx, v.FHi, _CMP_LE_OQ));
  fast = _mm256_and_pd(fast, _mm256_and_pd(_mm256_cmp_pd(fy, v.FLo, _CMP_GE_OQ), _mm256_cmp_pd(fy, v.FHi, _CMP_LE_OQ)));
  fast = _mm256_and_pd(fast, _mm256_and_pd(_mm256_cmp_pd(x0, v.InL, _CMP_GE_OQ), _mm256_cmp_pd(x0, v.InR, _CMP_LE_OQ)));
  fast = _mm256_and_pd(fast, _mm256_and_pd(_mm256_cmp_pd(y0, v.InT, _CMP_GE_OQ), _mm256_cmp_pd(y0, v.InB, _CMP_LE_OQ)));
  const int fastBits = _mm256_movemask_pd(fast);
  int doneBits = 0;
  if (fastBits != 0) {
    const __m128i xi = _mm256_cvtpd_epi32(x0), yi = _mm256_cvtpd_epi32(y0);
    // Offsets of the samples fit 32 bits: the pixel memory is below 2 GiB.
    const __m128i off = _mm_add_epi32(_mm_mullo_epi32(_mm_sub_epi32(v.LastRow, yi), v.Bpr),
                                      _mm_add_epi32(_mm_add_epi32(xi, xi), xi));
    // Eight bytes at each sample (plain loads: they beat the processor's
    // gather); lanes off the fast path read those of a lane on it.
    alignas(16) int32_t at[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(at), off);
    const int32_t safe = at[__builtin_ctz(static_cast<unsigned>(fastBits))];
    long long s0[4], s1[4];
    for (int k = 0; k < 4; ++k) {
      const int32_t o = (fastBits & (1 << k)) ? at[k] : safe;
      std::memcpy(&s0[k], FSrcBits + o, 8);
      std::memcpy(&s1[k], FSrcBits + o - FSrcBytesPerRow, 8);
    }
    const __m256i row0 = _mm256_setr_epi64x(s0[0], s0[1], s0[2], s0[3]);
    const __m256i row1 = _mm256_setr_epi64x(s1[0], s1[1], s1[2], s1[3]);
    const __m256d gx = _mm256_sub_pd(v.One, fx), gy = _mm256_sub_pd(v.One, fy);
    const __m256d w00 = _mm256_mul_pd(gx, gy), w01 = _mm256_mul_pd(gx, fy);
    const __m256d w10 = _mm256_mul_pd(fx, gy), w11 = _mm256_mul_pd(fx, fy);
    __m128i q[3];
    __m256d ok = fast;
    for (int c = 0; c < 3; ++c) {
      __m256d p00, p10, p01, p11;
      SplitChannel(row0, v.Channel[c], v.Order, p00, p10);
      SplitChannel(row1, v.Channel[c], v.Order, p01, p11);
      __m256d s = _mm256_mul_pd(w00, p00);
      s = _mm256_fmadd_pd(w01, p01, s);
      s = _mm256_fmadd_pd(w10, p10, s);
      s = _mm256_fmadd_pd(w11, p11, s);
      const __m256d nearest = _mm256_round_pd(s, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
      const __m256d distance = _mm256_andnot_pd(v.Sign, _mm256_sub_pd(s, nearest));
      ok = _mm256_and_pd(ok, _mm256_cmp_pd(distance, v.Tie, _CMP_LT_OQ));
      q[c] = _mm256_cvtpd_epi32(nearest);
    }
    doneBits = _mm256_movemask_pd(ok);
    const __m128i bgr = _mm_or_si128(_mm_or_si128(q[0], _mm_slli_epi32(q[1], 8)), _mm_slli_epi32(q[2], 16));
    uint8_t* o = out + 3 * i;
    if (doneBits == 0xF) {
      const __m128i packed = _mm_shuffle_epi8(bgr, v.Pack);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(o), packed);
      const int last = _mm_extract_epi32(packed, 2);
      std::memcpy(o + 8, &last, 4);
      if (mask) std::memset(mask + i, 1, 4);
      return;
    }
    alignas(16) uint32_t lane[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lane), bgr);
    WriteLanes(lane, 4, doneBits, o, mask ? mask + i : nullptr);
  }
  // The others: those the source reaches at all go the plain way.
  const __m256d inside =
      _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(sx, v.LoX, _CMP_GT_OQ), _mm256_cmp_pd(sx, v.HiX, _CMP_LT_OQ)),
                    _mm256_and_pd(_mm256_cmp_pd(sy, v.LoY, _CMP_GT_OQ), _mm256_cmp_pd(sy, v.HiY, _CMP_LT_OQ)));
  const int rest = _mm256_movemask_pd(inside) & ~doneBits;
  for (int k = 0; k < 4; ++k)
    if (rest & (1 << k)) BilinearPixel<true>(r, x + k, out, mask);
}

// Eight pixels at a time for turns by small angles, where the samples of four
// neighbouring pixels lie within four neighbouring columns and three
// neighbouring rows: per four pixels one 16-byte piece of each row holds them
// all, and byte shuffles take the place of separate loads. Positions,
// fractions and the conditions of the fast path are those of BilinearPixel in
// double (the fraction test a little stricter); the sums are formed in single
// precision as
//   a = p00 + fx (p10 - p00), b = p01 + fx (p11 - p01), s = a + fy (b - a)
// with fused multiply-adds. Error against the same formula in exact
// arithmetic at the double fractions: rounding fx and fy to single moves s by
// at most 255 * 2^-25 each, together below 2^-16; a, b, b - a and s each lie
// below 256 in magnitude and are rounded once, by at most 2^-17, which moves s
// by at most 2^-17 (1 - fy), 2^-17 fy, 2^-17 fy and 2^-17, together 3 * 2^-17.
// Altogether below 2^-14. From the double fractions to the extended sum the
// bound SumTol holds (it covers the weights' position error and the extended
// rounding). So a sum farther than 2^-13 + SumTol from a tie lies on the same
// side of it as the extended sum and rounds to the same integer; the others
// go to BilinearPixel. Returns false, having written nothing, when the eight
// pixels are not all on the fast path or their samples are not arranged so.
ZW_ROTATE_TARGET_AVX2 bool TRotateRows::BilinearOctAVX2(const TVectorRow& v, const TBilinearRow& r, int x,
                                                       uint8_t* out, uint8_t* mask) const {
  const size_t i = static_cast<size_t>(x - FX0);
  const double* cosCol = FColCosD.data() + i;
  const double* sinCol = FColNegSinD.data() + i;
  const __m256d sxA = _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(cosCol), v.Bxd), v.Scx);
  const __m256d sxB = _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(cosCol + 4), v.Bxd), v.Scx);
  const __m256d syA = _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(sinCol), v.Byd), v.Scy);
  const __m256d syB = _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(sinCol + 4), v.Byd), v.Scy);
  const __m256d x0A = _mm256_floor_pd(sxA), x0B = _mm256_floor_pd(sxB);
  const __m256d y0A = _mm256_floor_pd(syA), y0B = _mm256_floor_pd(syB);
  const __m256d fxA = _mm256_sub_pd(sxA, x0A), fxB = _mm256_sub_pd(sxB, x0B);
  const __m256d fyA = _mm256_sub_pd(syA, y0A), fyB = _mm256_sub_pd(syB, y0B);
  // The fractions in single precision. Rounding is monotonic, so a float
  // fraction strictly between the float images of tol and 1 - tol comes from
  // a double one in [tol, 1 - tol], as BilinearPixel demands.
  const __m256 fx = _mm256_set_m128(_mm256_cvtpd_ps(fxB), _mm256_cvtpd_ps(fxA));
  const __m256 fy = _mm256_set_m128(_mm256_cvtpd_ps(fyB), _mm256_cvtpd_ps(fyA));
  const __m256 nearX = _mm256_or_ps(_mm256_cmp_ps(fx, v.FLo8, _CMP_NGT_UQ), _mm256_cmp_ps(fx, v.FHi8, _CMP_NLT_UQ));
  const __m256 nearY = _mm256_or_ps(_mm256_cmp_ps(fy, v.FLo8, _CMP_NGT_UQ), _mm256_cmp_ps(fy, v.FHi8, _CMP_NLT_UQ));
  // Integer columns and rows; one beyond the 32-bit range becomes INT_MIN,
  // which the window test rejects.
  const __m256i xi = _mm256_set_m128i(_mm256_cvtpd_epi32(x0B), _mm256_cvtpd_epi32(x0A));
  const __m256i yi = _mm256_set_m128i(_mm256_cvtpd_epi32(y0B), _mm256_cvtpd_epi32(y0A));
  // Per four pixels the first column and row (positions are monotonic in x,
  // so the first or the last pixel has them), the others 0 to 3 columns and
  // 0 or 1 row further; a 16-byte piece from that column stays inside the
  // pixel memory and its slack.
  const __m256i mx = _mm256_permutevar8x32_epi32(xi, v.FirstX), my = _mm256_permutevar8x32_epi32(yi, v.FirstY);
  const __m256i dx = _mm256_sub_epi32(xi, mx), dy = _mm256_sub_epi32(yi, my);
  __m256i bad = _mm256_castps_si256(_mm256_or_ps(nearX, nearY));
  bad = _mm256_or_si256(bad, _mm256_or_si256(_mm256_srli_epi32(dx, 2), _mm256_srli_epi32(dy, 1)));
  bad = _mm256_or_si256(bad, _mm256_or_si256(_mm256_cmpgt_epi32(v.InL8, xi), _mm256_cmpgt_epi32(xi, v.InR8)));
  bad = _mm256_or_si256(bad, _mm256_or_si256(_mm256_cmpgt_epi32(v.InT8, yi), _mm256_cmpgt_epi32(yi, v.InB8)));
  bad = _mm256_or_si256(bad, _mm256_cmpgt_epi32(mx, v.LoadLimit));
  if (!_mm256_testz_si256(bad, bad)) return false;

  const __m256i off = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(v.LastRow8, my), v.Bpr8),
                                       _mm256_add_epi32(_mm256_add_epi32(mx, mx), mx));
  const uint8_t* a = FSrcBits + _mm256_cvtsi256_si32(off);
  const uint8_t* b = FSrcBits + _mm256_extract_epi32(off, 4);
  const ptrdiff_t bpr = static_cast<ptrdiff_t>(FSrcBytesPerRow);
  // Rows y0, y0 + 1 and, in the halves where some pixel starts a row
  // further, y0 + 2 (rows are stored bottom-up; y0 + 2 may lie beyond the
  // picture in the other half).
  const __m256i row0 = Pieces(a, b), row1 = Pieces(a - bpr, b - bpr);
  const __m256i down = _mm256_cmpgt_epi32(dy, v.Zero);
  const int downBits = _mm256_movemask_ps(_mm256_castsi256_ps(down));
  const bool third = downBits != 0;
  const __m256i row2 =
      third ? Pieces(a - ((downBits & 0x0F) ? 2 : 1) * bpr, b - ((downBits & 0xF0) ? 2 : 1) * bpr) : row1;
  const __m256i dx3 = _mm256_add_epi32(_mm256_add_epi32(dx, dx), dx);
  __m256i q[3];
  __m256 worst = _mm256_setzero_ps();
  for (int c = 0; c < 3; ++c) {
    // Adding 3 dx to the low byte of each lane's control moves it to the
    // pixel's own column; the other bytes stay negative (zero).
    const __m256i pick0 = _mm256_add_epi32(v.Pick0[c], dx3), pick1 = _mm256_add_epi32(v.Pick1[c], dx3);
    const __m256 p00 = PickChannel(row0, row1, pick0, down, third);
    const __m256 p10 = PickChannel(row0, row1, pick1, down, third);
    const __m256 p01 = PickChannel(row1, row2, pick0, down, third);
    const __m256 p11 = PickChannel(row1, row2, pick1, down, third);
    const __m256 top = _mm256_fmadd_ps(fx, _mm256_sub_ps(p10, p00), p00);
    const __m256 bottom = _mm256_fmadd_ps(fx, _mm256_sub_ps(p11, p01), p01);
    const __m256 s = _mm256_fmadd_ps(fy, _mm256_sub_ps(bottom, top), top);
    const __m256 nearest = _mm256_round_ps(s, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    worst = _mm256_max_ps(worst, _mm256_andnot_ps(v.Sign8, _mm256_sub_ps(s, nearest)));
    q[c] = _mm256_cvtps_epi32(nearest);
  }
  const int doneBits = _mm256_movemask_ps(_mm256_cmp_ps(worst, v.Tie8, _CMP_LT_OQ));
  const __m256i bgr = _mm256_or_si256(_mm256_or_si256(q[0], _mm256_slli_epi32(q[1], 8)), _mm256_slli_epi32(q[2], 16));
  uint8_t* o = out + 3 * i;
  if (doneBits == 0xFF) {
    // Twelve bytes per half: the first sixteen and the last eight.
    const __m256i packed = _mm256_shuffle_epi8(bgr, v.Pack8);
    const __m128i lo = _mm256_castsi256_si128(packed), hi = _mm256_extracti128_si256(packed, 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_or_si128(lo, _mm_slli_si128(hi, 12)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 16), _mm_srli_si128(hi, 4));
    if (mask) std::memset(mask + i, 1, 8);
    return true;
  }
  alignas(32) uint32_t lane[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lane), bgr);
  WriteLanes(lane, 8, doneBits, o, mask ? mask + i : nullptr);
  for (int k = 0; k < 8; ++k)
    if (!(doneBits & (1 << k))) BilinearPixel<true>(r, x + k, out, mask);
  return true;
}

// Returns the first column it left to the caller.
constexpr int kAhead = 64;
ZW_ROTATE_TARGET_AVX2 int TRotateRows::BilinearRowAVX2(const TBilinearRow& r, uint8_t* out, uint8_t* mask) const {
  TVectorRow v;
  v.Bxd = _mm256_set1_pd(r.Bxd);
  v.Byd = _mm256_set1_pd(r.Byd);
  v.Scx = _mm256_set1_pd(r.Scx);
  v.Scy = _mm256_set1_pd(r.Scy);
  const double tol = r.Tol;
  v.LoX = _mm256_set1_pd(r.Left - 1 - tol);
  v.HiX = _mm256_set1_pd(r.Right + 1 + tol);
  v.LoY = _mm256_set1_pd(r.Top - 1 - tol);
  v.HiY = _mm256_set1_pd(r.Bottom + 1 + tol);
  v.FLo = _mm256_set1_pd(tol);
  v.FHi = _mm256_set1_pd(1 - tol);
  v.InL = _mm256_set1_pd(static_cast<double>(r.InL));
  v.InR = _mm256_set1_pd(static_cast<double>(r.InR));
  v.InT = _mm256_set1_pd(static_cast<double>(r.InT));
  v.InB = _mm256_set1_pd(static_cast<double>(r.InB));
  v.One = _mm256_set1_pd(1.0);
  v.Tie = _mm256_set1_pd(0.5 - r.SumTol);
  v.Sign = _mm256_set1_pd(-0.0);
  v.LastRow = _mm_set1_epi32(static_cast<int>(FSrcHeight - 1));
  v.Bpr = _mm_set1_epi32(static_cast<int>(FSrcBytesPerRow));
  for (int c = 0; c < 3; ++c) {
    const char b0 = static_cast<char>(c), b1 = static_cast<char>(c + 3), b2 = static_cast<char>(8 + c),
               b3 = static_cast<char>(11 + c);
    v.Channel[c] = _mm256_setr_epi8(b0, -1, -1, -1, b1, -1, -1, -1, b2, -1, -1, -1, b3, -1, -1, -1, b0, -1, -1, -1,
                                    b1, -1, -1, -1, b2, -1, -1, -1, b3, -1, -1, -1);
    v.Pick0[c] = _mm256_set1_epi32(static_cast<int>(0xFFFFFF00u | static_cast<unsigned>(c)));
    v.Pick1[c] = _mm256_set1_epi32(static_cast<int>(0xFFFFFF00u | static_cast<unsigned>(c + 3)));
  }
  v.Order = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
  v.Pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  v.Pack8 = _mm256_broadcastsi128_si256(v.Pack);
  v.InL8 = _mm256_set1_epi32(static_cast<int>(r.InL));
  v.InR8 = _mm256_set1_epi32(static_cast<int>(r.InR));
  v.InT8 = _mm256_set1_epi32(static_cast<int>(r.InT));
  v.InB8 = _mm256_set1_epi32(static_cast<int>(r.InB));
  // 16 bytes from column x end at most 8 bytes (the slack) past the row.
  v.LoadLimit = _mm256_set1_epi32(static_cast<int>((FSrcBytesPerRow - 8) / 3));
  v.FirstX = FTurn.Cos >= 0 ? _mm256_setr_epi32(0, 0, 0, 0, 4, 4, 4, 4) : _mm256_setr_epi32(3, 3, 3, 3, 7, 7, 7, 7);
  v.FirstY = FTurn.Sin <= 0 ? _mm256_setr_epi32(0, 0, 0, 0, 4, 4, 4, 4) : _mm256_setr_epi32(3, 3, 3, 3, 7, 7, 7, 7);
  v.FLo8 = _mm256_set1_ps(static_cast<float>(tol));
  v.FHi8 = _mm256_set1_ps(static_cast<float>(1 - tol));
  v.Zero = _mm256_setzero_si256();
  v.LastRow8 = _mm256_broadcastsi128_si256(v.LastRow);
  v.Bpr8 = _mm256_broadcastsi128_si256(v.Bpr);
  // Single-precision sums: see BilinearOctAVX2. The threshold is rounded
  // down to a float.
  const double tie8 = 0.5 - (r.SumTol + std::ldexp(1.0, -13));
  float tie8f = static_cast<float>(tie8);
  if (tie8f > tie8) tie8f = std::nextafter(tie8f, 0.0f);
  v.Tie8 = _mm256_set1_ps(tie8f);
  v.Sign8 = _mm256_set1_ps(-0.0f);

  int x = FX0;
  if (FSmallTurn)
    for (; x + 7 <= FX1; x += 8) {
      // The samples a few groups ahead (rows y0 to y0 + 2): a row is read
      // for a few dozen pixels before the next, too many streams at once
      // for the processor's own prefetching.
      if (x + kAhead <= FX1) {
        const size_t j = static_cast<size_t>(x + kAhead - FX0);
        const double sx = (FColCosD[j] + r.Bxd) + r.Scx, sy = (FColNegSinD[j] + r.Byd) + r.Scy;
        if (sx >= r.Left && sx <= r.Right && sy >= r.Top && sy + 2 <= r.Bottom) {
          const uint8_t* p =
              FSrcBits + (FSrcHeight - 1 - static_cast<int64_t>(sy)) * FSrcBytesPerRow + 3 * static_cast<int64_t>(sx);
          _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0);
          _mm_prefetch(reinterpret_cast<const char*>(p - FSrcBytesPerRow), _MM_HINT_T0);
          _mm_prefetch(reinterpret_cast<const char*>(p - 2 * FSrcBytesPerRow), _MM_HINT_T0);
        }
      }
      if (!BilinearOctAVX2(v, r, x, out, mask)) {
        BilinearQuadAVX2(v, r, x, out, mask);
        BilinearQuadAVX2(v, r, x + 4, out, mask);
      }
    }
  for (; x + 3 <= FX1; x += 4) BilinearQuadAVX2(v, r, x, out, mask);
  return x;
}
#endif

template <bool Src24>
void TRotateRows::BilinearRow(int y, uint8_t* out, uint8_t* mask) const {
  const TBilinearRow r = BilinearSetup(y);
  int x = FX0;
#ifdef ZW_ROTATE_AVX2
  if constexpr (Src24)
    if (FVectors) x = BilinearRowAVX2(r, out, mask);
#endif
  for (; x <= FX1; ++x) BilinearPixel<Src24>(r, x, out, mask);
}

void TRotateRows::ComputeBilinear(int y, uint8_t* out, uint8_t* mask) const {
  if (FSrc.Is24())
    BilinearRow<true>(y, out, mask);
  else
    BilinearRow<false>(y, out, mask);
}

}  // namespace pg
