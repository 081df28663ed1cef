#include "app/core/correction.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

#include "pgraphic/core/pixelrows.h"
#include "pgraphic/core/rotation.h"
#include "pgraphic/core/threadpool.h"

namespace {

const char* const TextScale = "Maßstab angleichen";

bool ScaleValid(const std::optional<double>& s) {
  return s && std::isfinite(*s) && *s >= MinAlignScale && *s <= MaxAlignScale;
}

// ------------------------------------------------------------------ scale step

// The source samples of every target position of one axis: target u takes
// the source at s = source + factor (u - center). Linear interpolation when
// enlarging (factor <= 1), the area average of the factor-wide interval when
// reducing; positions within half a pixel beyond the edge use the edge pixel,
// anything farther is outside (First = -1).
struct TAxisTaps {
  int Taps = 2;               // weights per position
  std::vector<int32_t> First; // first source index
  std::vector<float> Weights; // Taps per position, from First on
};

TAxisTaps AxisTaps(int32_t n, double source, double center, double factor) {
  TAxisTaps a;
  a.Taps = factor <= 1 ? 2 : static_cast<int>(std::ceil(factor)) + 2;
  a.First.assign(static_cast<size_t>(n), -1);
  a.Weights.assign(static_cast<size_t>(n) * a.Taps, 0.0f);
  const double last = n - 1;
  for (int32_t u = 0; u < n; ++u) {
    const double s = source + factor * (u - center);
    if (!(s >= -0.5 && s <= last + 0.5)) continue;
    float* w = &a.Weights[static_cast<size_t>(u) * a.Taps];
    if (factor <= 1) {
      const double c = std::clamp(s, 0.0, last);
      const double i0 = std::min(std::floor(c), std::max(last - 1, 0.0));
      const double fr = c - i0;
      a.First[u] = static_cast<int32_t>(i0);
      w[0] = static_cast<float>(1 - fr);
      if (i0 + 1 <= last) w[1] = static_cast<float>(fr);
      continue;
    }
    const double lo = std::max(s - factor / 2, -0.5), hi = std::min(s + factor / 2, last + 0.5);
    const int32_t i0 = static_cast<int32_t>(std::clamp(std::floor(lo + 0.5), 0.0, last));
    const int32_t i1 = static_cast<int32_t>(std::clamp(std::ceil(hi - 0.5), 0.0, last));
    a.First[u] = i0;
    for (int32_t i = i0; i <= i1 && i - i0 < a.Taps; ++i) {
      const double cover = std::min(hi, i + 0.5) - std::max(lo, i - 0.5);
      if (cover > 0) w[i - i0] = static_cast<float>(cover / (hi - lo));
    }
  }
  return a;
}

// Computes target rows of the scale step: each source row is resampled
// horizontally once into a row of floats, kept while later target rows still
// take it.
class TScaleRows {
public:
  TScaleRows(const TPixelGraphic& source, const TAxisTaps& ax, const TAxisTaps& ay, TColorRef background)
      : FSrc(source), FAx(ax), FAy(ay), FWidth(source.Width()), FHeight(source.Height()) {
    FBackground[0] = static_cast<uint8_t>(GetBValue(background));
    FBackground[1] = static_cast<uint8_t>(GetGValue(background));
    FBackground[2] = static_cast<uint8_t>(GetRValue(background));
    if (!FSrc.Is24()) FUnpack.resize(3 * static_cast<size_t>(FWidth));
    for (int32_t x = 0; x < FWidth; ++x)
      if (ax.First[x] < 0) FOutside.push_back(x);
    FCache.resize(static_cast<size_t>(ay.Taps));
    FCacheRow.assign(static_cast<size_t>(ay.Taps), -1);
    for (auto& row : FCache) row.resize(3 * static_cast<size_t>(FWidth));
  }

  void Compute(int32_t y, uint8_t* out) {
    const int32_t first = FAy.First[y];
    if (first < 0) {
      for (int32_t x = 0; x < FWidth; ++x) std::copy(FBackground, FBackground + 3, out + 3 * x);
      return;
    }
    const float* wy = &FAy.Weights[static_cast<size_t>(y) * FAy.Taps];
    const float* rows[64];
    int count = 0;
    for (int j = 0; j < FAy.Taps && j < 64 && first + j < FHeight; ++j) {
      if (wy[j] == 0) continue;
      rows[count] = Horizontal(first + j);
      FRowWeight[count++] = wy[j];
    }
    // The weighted rows, over all channels at once; then the columns whose
    // source lies outside get the background.
    const size_t n = 3 * static_cast<size_t>(FWidth);
    auto put = [out](size_t i, float v) { out[i] = static_cast<uint8_t>(std::clamp(v + 0.5f, 0.0f, 255.0f)); };
    if (count == 1) {
      for (size_t i = 0; i < n; ++i) put(i, FRowWeight[0] * rows[0][i]);
    } else if (count == 2) {
      const float w0 = FRowWeight[0], w1 = FRowWeight[1];
      const float *r0 = rows[0], *r1 = rows[1];
      for (size_t i = 0; i < n; ++i) put(i, w0 * r0[i] + w1 * r1[i]);
    } else {
      for (size_t i = 0; i < n; ++i) {
        float v = 0;
        for (int j = 0; j < count; ++j) v += FRowWeight[j] * rows[j][i];
        put(i, v);
      }
    }
    for (const int32_t x : FOutside) std::copy(FBackground, FBackground + 3, out + 3 * x);
  }

private:
  // Source row r resampled horizontally (cached).
  const float* Horizontal(int32_t r) {
    for (size_t i = 0; i < FCacheRow.size(); ++i)
      if (FCacheRow[i] == r) return FCache[i].data();
    const size_t slot = FNext;
    FNext = (FNext + 1) % FCache.size();
    FCacheRow[slot] = r;
    float* h = FCache[slot].data();
    const uint8_t* src = FSrc.RowBGR(r, 0, FWidth - 1, FUnpack.data());
    if (FAx.Taps == 2 && FWidth >= 2) {
      // Two samples a column (enlarging or the same size), the first never the last column.
      for (int32_t x = 0; x < FWidth; ++x) {
        const int32_t first = std::max(FAx.First[x], 0);
        const float w0 = FAx.Weights[2 * static_cast<size_t>(x)], w1 = FAx.Weights[2 * static_cast<size_t>(x) + 1];
        const uint8_t* p = src + 3 * static_cast<size_t>(first);
        h[3 * x] = w0 * p[0] + w1 * p[3];
        h[3 * x + 1] = w0 * p[1] + w1 * p[4];
        h[3 * x + 2] = w0 * p[2] + w1 * p[5];
      }
      return h;
    }
    for (int32_t x = 0; x < FWidth; ++x) {
      const int32_t first = FAx.First[x];
      float b = 0, g = 0, red = 0;
      if (first >= 0) {
        const float* w = &FAx.Weights[static_cast<size_t>(x) * FAx.Taps];
        for (int j = 0; j < FAx.Taps && first + j < FWidth; ++j) {
          const uint8_t* p = src + 3 * static_cast<size_t>(first + j);
          b += w[j] * p[0];
          g += w[j] * p[1];
          red += w[j] * p[2];
        }
      }
      h[3 * x] = b;
      h[3 * x + 1] = g;
      h[3 * x + 2] = red;
    }
    return h;
  }

  pg::TSourcePixels FSrc;
  const TAxisTaps& FAx;
  const TAxisTaps& FAy;
  int32_t FWidth, FHeight;
  uint8_t FBackground[3];
  std::vector<uint8_t> FUnpack;
  std::vector<int32_t> FOutside; // columns whose source lies outside
  std::vector<std::vector<float>> FCache;
  std::vector<int32_t> FCacheRow;
  size_t FNext = 0;
  float FRowWeight[64];
};

} // namespace

bool ExactPointValid(const TSideAlignment& s) {
  return s.Exact && std::isfinite(s.Exact->X) && std::isfinite(s.Exact->Y) &&
         std::fabs(s.Exact->X - s.Point.X) <= 0.5 && std::fabs(s.Exact->Y - s.Point.Y) <= 0.5;
}

TRightCorrection RightCorrection(const TPairAlignment& a) {
  TRightCorrection c;
  c.CenterX = a.Right.Point.X;
  c.CenterY = a.Right.Point.Y;
  c.LeftX = a.Left.Point.X;
  c.LeftY = a.Left.Point.Y;
  c.SourceX = c.CenterX;
  c.SourceY = c.CenterY;
  c.Tilt = TiltDifference(a, c.Delta);
  c.Automatic = ScaleValid(a.Left.Scale) && ScaleValid(a.Right.Scale);
  if (!c.Automatic) return c;
  c.Factor = *a.Right.Scale / *a.Left.Scale;
  // The left point's fraction, carried into the right picture through the
  // turn and the scale: Source = exact right point - Factor Rot(-Delta) (left fraction).
  double ex = 0, ey = 0;
  if (ExactPointValid(a.Left)) {
    ex = a.Left.Exact->X - a.Left.Point.X;
    ey = a.Left.Exact->Y - a.Left.Point.Y;
  }
  double px = c.CenterX, py = c.CenterY;
  if (ExactPointValid(a.Right)) {
    px = a.Right.Exact->X;
    py = a.Right.Exact->Y;
  }
  const pg::TTurn turn(c.Tilt ? c.Delta : 0);
  const double cs = static_cast<double>(turn.Cos), sn = static_cast<double>(turn.Sin);
  c.SourceX = px - c.Factor * (ex * cs + ey * sn);
  c.SourceY = py - c.Factor * (-ex * sn + ey * cs);
  c.Resample = c.Factor != 1 || c.SourceX != c.CenterX || c.SourceY != c.CenterY;
  return c;
}

std::unique_ptr<TPixelGraphic> ScaleCompensated(const TPixelGraphic& right, const TRightCorrection& c,
                                                const TStereoProgress& progress, const TPGProgressEvent& rowProgress) {
  if (!c.Resample || right.Empty()) return nullptr;
  if (progress) progress(TextScale, 0);
  const int32_t w = right.Width(), h = right.Height();
  auto out = std::make_unique<TPixelGraphic>();
  out->SetSize(w, h, bc24Bit);
  const TColorRef background = right.BackGroundColorValue();
  out->SetBackGroundColor(background);
  const TAxisTaps ax = AxisTaps(w, c.SourceX, c.CenterX, c.Factor);
  const TAxisTaps ay = AxisTaps(h, c.SourceY, c.CenterY, c.Factor);

  // Bands of rows, one per thread; the calling thread takes the first and
  // reports its progress.
  int threads = 1;
  if (static_cast<int64_t>(w) * h >= (int64_t{1} << 20))
    threads = std::clamp(PGThreadCount(), 1, 4);
  std::vector<std::exception_ptr> errors(static_cast<size_t>(threads));
  auto band = [&](int i, bool report) {
    try {
      const int32_t y0 = static_cast<int32_t>(int64_t{h} * i / threads);
      const int32_t y1 = static_cast<int32_t>(int64_t{h} * (i + 1) / threads);
      TScaleRows rows(right, ax, ay, background);
      for (int32_t y = y0; y < y1; ++y) {
        rows.Compute(y, out->ScanLine(y));
        if (report && rowProgress) {
          bool abort = false;
          rowProgress(out.get(), static_cast<int>(int64_t{y - y0 + 1} * threads), h, abort);
        }
      }
    } catch (...) {
      errors[static_cast<size_t>(i)] = std::current_exception();
    }
  };
  std::vector<std::thread> helpers;
  int started = 1;
  for (int i = 1; i < threads; ++i) {
    try {
      helpers.emplace_back(band, i, false);
      ++started;
    } catch (const std::system_error&) {
      break; // no thread to be had: the rest runs here
    }
  }
  band(0, true);
  for (int i = started; i < threads; ++i) band(i, false);
  for (auto& t : helpers) t.join();
  for (const auto& e : errors)
    if (e) std::rethrow_exception(e);
  out->Changed();
  return out;
}

TCommonArea WedgeFreeArea(const TCommonArea& area, int32_t wR, int32_t hR, const TRightCorrection& c) {
  TCommonArea result = area;
  if (area.W <= 0 || area.H <= 0) return result;
  // Each condition: mx x + my y + o within [lo, hi] for the left pixel (x, y).
  struct TBand {
    long double mx, my, o, lo, hi;
  };
  std::vector<TBand> bands;
  const pg::TTurn turn(c.Tilt ? c.Delta : 0);
  const long double cs = turn.Cos, sn = turn.Sin;
  // The tilt takes the scaled picture at u = right point + Rot(-Delta) (q - left point).
  const long double lx = c.LeftX, ly = c.LeftY;
  bands.push_back({cs, sn, c.CenterX - cs * lx - sn * ly, 0, static_cast<long double>(wR) - 1});
  bands.push_back({-sn, cs, c.CenterY + sn * lx - cs * ly, 0, static_cast<long double>(hR) - 1});
  if (c.Resample) {
    // The scale step takes right at Source + Factor (u - right point).
    const long double k = c.Factor;
    bands.push_back({k * cs, k * sn, c.SourceX - k * (cs * lx + sn * ly), 0, static_cast<long double>(wR) - 1});
    bands.push_back({-k * sn, k * cs, c.SourceY - k * (-sn * lx + cs * ly), 0, static_cast<long double>(hR) - 1});
  }

  // The columns every row allows (rounded inwards, with a little tolerance
  // for conditions that fall on whole pixels).
  const long double eps = 1e-7L;
  const int32_t rows = area.H;
  std::vector<int64_t> first(static_cast<size_t>(rows)), last(static_cast<size_t>(rows));
  for (int32_t j = 0; j < rows; ++j) {
    const long double y = static_cast<long double>(area.Y0) + j;
    long double lo = area.X0, hi = static_cast<long double>(area.X0) + area.W - 1;
    for (const TBand& b : bands) {
      const long double a = b.lo - b.o - b.my * y, z = b.hi - b.o - b.my * y;
      if (std::fabs(b.mx) < 1e-12L) {
        if (a > eps || z < -eps) hi = lo - 1; // the row is out
      } else if (b.mx > 0) {
        lo = std::max(lo, a / b.mx);
        hi = std::min(hi, z / b.mx);
      } else {
        lo = std::max(lo, z / b.mx);
        hi = std::min(hi, a / b.mx);
      }
    }
    first[j] = static_cast<int64_t>(std::ceil(lo - eps));
    last[j] = static_cast<int64_t>(std::floor(hi + eps));
  }

  // The largest rectangle: for every top row, the bottom rows while the
  // columns all rows allow are not empty (and can still beat the best).
  int64_t best = 0, bx = 0, by = 0, bw = 0, bh = 0;
  for (int32_t top = 0; top < rows; ++top) {
    int64_t l = first[top], r = last[top];
    for (int32_t bottom = top; bottom < rows && l <= r; ++bottom) {
      l = std::max(l, first[bottom]);
      r = std::min(r, last[bottom]);
      if (l > r) break;
      if ((r - l + 1) * (rows - top) <= best) break;
      const int64_t size = (r - l + 1) * (bottom - top + 1);
      if (size > best) {
        best = size;
        bx = l;
        by = static_cast<int64_t>(area.Y0) + top;
        bw = r - l + 1;
        bh = bottom - top + 1;
      }
    }
  }
  if (best == 0) {
    result.W = result.H = 0;
    return result;
  }
  result.X0 = static_cast<int32_t>(bx);
  result.Y0 = static_cast<int32_t>(by);
  result.W = static_cast<int32_t>(bw);
  result.H = static_cast<int32_t>(bh);
  return result;
}
