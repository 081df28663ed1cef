#include "app/core/autoalign.h"

#include <opencv2/core.hpp>
#include <opencv2/core/ocl.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <numbers>
#include <random>
#include <system_error>
#include <thread>
#include <vector>

#include "pgraphic/core/pixelrows.h"
#include "pgraphic/core/threadpool.h"

namespace {

constexpr int kMinSide = 150;       // pictures smaller than this on a side are not aligned
constexpr int kWorkSide = 1500;     // longer side of the reduced copies the details are found on
constexpr int kFeatures = 5000;     // details kept per picture
constexpr int kMinInliers = 20;     // agreeing matches needed at least
constexpr int kMaxRefined = 600;    // matches measured again at full resolution
constexpr int kMinRefined = 12;     // refined matches the final fit needs
constexpr double kCornerLimit = 0.1; // a fit moving no corner further (px) is no correction

// Thrown inside to unwind when the caller cancels.
struct TCancelled {};

class TRun {
public:
  explicit TRun(const TAutoAlignControl& control) : FControl(control) {}
  void Check() const {
    if (FControl.Cancel && FControl.Cancel->load(std::memory_order_relaxed)) throw TCancelled();
  }
  void Progress(int percent) const {
    Check();
    if (FControl.Progress) FControl.Progress(percent);
  }

private:
  const TAutoAlignControl& FControl;
};

// Runs a and b at the same time (b on a thread of its own when one can be had
// and the library is not set to one thread, PGSetThreadCount).
template <typename A, typename B>
void RunBoth(A&& a, B&& b) {
  std::exception_ptr error;
  std::thread helper;
  try {
    if (PGThreadCount() > 1) helper = std::thread([&] {
      try {
        b();
      } catch (...) {
        error = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
  }
  std::exception_ptr mine;
  try {
    a();
  } catch (...) {
    mine = std::current_exception();
  }
  if (helper.joinable()) helper.join();
  else if (!mine) b();
  if (mine) std::rethrow_exception(mine);
  if (error) std::rethrow_exception(error);
}

void SetUpOpenCV() {
  static std::once_flag once;
  std::call_once(once, [] {
    // The work is split over threads here; OpenCV's own pool and any OpenCL
    // device stay out of it.
    cv::setNumThreads(0);
    cv::ocl::setUseOpenCL(false);
  });
}

// ------------------------------------------------------------------ grey levels

// Grey level of blue-green-red bytes with the library's grey weights, 0..255.
inline float GreyOf(const uint8_t* p) { return (114.0f * p[0] + 587.0f * p[1] + 299.0f * p[2]) / 1000.0f; }

// A grey copy reduced by f: the mean of every f x f block (columns and rows
// beyond the last whole block are left out). Level pixel i covers full
// pixels i f .. i f + f - 1, so its centre is at (i + 0.5) f - 0.5.
cv::Mat ReducedGrey(const TPixelGraphic& image, int f) {
  const int w = image.Width() / f, h = image.Height() / f;
  cv::Mat out(h, w, CV_8U);
  const pg::TSourcePixels src(image);
  std::vector<uint8_t> unpack(3 * static_cast<size_t>(w) * f);
  std::vector<uint32_t> acc(3 * static_cast<size_t>(w));
  const uint64_t div = 1000ull * f * f;
  for (int y = 0; y < h; ++y) {
    std::fill(acc.begin(), acc.end(), 0u);
    for (int r = 0; r < f; ++r) {
      const uint8_t* p = src.RowBGR(y * f + r, 0, w * f - 1, unpack.data());
      for (int x = 0; x < w; ++x)
        for (int k = 0; k < f; ++k, p += 3) {
          acc[3 * x] += p[0];
          acc[3 * x + 1] += p[1];
          acc[3 * x + 2] += p[2];
        }
    }
    uint8_t* o = out.ptr<uint8_t>(y);
    for (int x = 0; x < w; ++x)
      o[x] = static_cast<uint8_t>((114ull * acc[3 * x] + 587ull * acc[3 * x + 1] + 299ull * acc[3 * x + 2] + div / 2) /
                                  div);
  }
  return out;
}

// Grey levels of one level of a picture, read window by window.
class TGreySource {
public:
  virtual ~TGreySource() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // The w x h window at (x0, y0) into out; false when it leaves the picture.
  bool Window(int x0, int y0, int w, int h, float* out) const {
    if (x0 < 0 || y0 < 0 || x0 + w > Width() || y0 + h > Height()) return false;
    Read(x0, y0, w, h, out);
    return true;
  }

protected:
  virtual void Read(int x0, int y0, int w, int h, float* out) const = 0;
};

class TMatGrey : public TGreySource {
public:
  explicit TMatGrey(const cv::Mat& m) : FMat(m) {}
  int Width() const override { return FMat.cols; }
  int Height() const override { return FMat.rows; }

protected:
  void Read(int x0, int y0, int w, int h, float* out) const override {
    for (int y = 0; y < h; ++y) {
      const uint8_t* row = FMat.ptr<uint8_t>(y0 + y) + x0;
      for (int x = 0; x < w; ++x) *out++ = row[x];
    }
  }

private:
  const cv::Mat& FMat;
};

// The full-resolution picture, converted to grey where a window is read.
class TPictureGrey : public TGreySource {
public:
  explicit TPictureGrey(const TPixelGraphic& image) : FSrc(image), FWidth(image.Width()), FHeight(image.Height()) {}
  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }

protected:
  void Read(int x0, int y0, int w, int h, float* out) const override {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) *out++ = GreyOf(FSrc.BGR(x0 + x, y0 + y));
  }

private:
  pg::TSourcePixels FSrc;
  int FWidth, FHeight;
};

// ------------------------------------------------------------------ details and matches

struct TFeatures {
  std::vector<cv::KeyPoint> Points;
  cv::Mat Descriptors;
};

// ORB details of a reduced picture, the strongest of every part of the
// picture first, so that the fit sees the whole frame and not only its
// busiest corner.
TFeatures Detect(const cv::Mat& grey) {
  TFeatures f;
  cv::Ptr<cv::ORB> orb = cv::ORB::create(2 * kFeatures, 1.2f, 8, 31, 0, 2, cv::ORB::HARRIS_SCORE, 31, 12);
  std::vector<cv::KeyPoint> all;
  orb->detect(grey, all);
  std::stable_sort(all.begin(), all.end(),
                   [](const cv::KeyPoint& a, const cv::KeyPoint& b) { return a.response > b.response; });
  constexpr int gx = 16, gy = 12;
  const int perCell = std::max(4, 2 * kFeatures / (gx * gy));
  std::vector<int> inCell(gx * gy, 0);
  std::vector<char> taken(all.size(), 0);
  for (size_t i = 0; i < all.size() && static_cast<int>(f.Points.size()) < kFeatures; ++i) {
    const int cx = std::clamp(static_cast<int>(all[i].pt.x * gx / grey.cols), 0, gx - 1);
    const int cy = std::clamp(static_cast<int>(all[i].pt.y * gy / grey.rows), 0, gy - 1);
    if (inCell[cy * gx + cx] >= perCell) continue;
    ++inCell[cy * gx + cx];
    taken[i] = 1;
    f.Points.push_back(all[i]);
  }
  for (size_t i = 0; i < all.size() && static_cast<int>(f.Points.size()) < kFeatures; ++i)
    if (!taken[i]) f.Points.push_back(all[i]);
  if (!f.Points.empty()) orb->compute(grey, f.Points, f.Descriptors);
  return f;
}

// A matched detail in full-resolution coordinates: p in the left picture, q
// in the right one.
struct TMatch {
  double px, py, qx, qy;
  float response;
};

inline double FullCoordinate(float reduced, int factor) { return (reduced + 0.5) * factor - 0.5; }

// Brute-force Hamming matching of 256-bit ORB descriptors between details
// at most band rows apart: for every left detail its nearest and second
// nearest right detail, for every right detail its nearest left one (ties:
// the lower index). The popcount instruction is used where the processor has
// it; both paths give the same distances.
struct TNearest {
  std::vector<int> Best, Best2Distance, BestDistance; // per left detail
  std::vector<int> Back, BackDistance;                // per right detail
};

// dr holds the right descriptors in row order (position k is right detail
// rightOrder[k]); back and backDistance are indexed by that position.
template <typename Count>
[[gnu::always_inline]] inline void NearestRows(const uint64_t* dl, const uint64_t* dr, const std::vector<int>& lo,
                                               const std::vector<int>& hi, const std::vector<int>& rightOrder,
                                               size_t from, size_t step, TNearest& n, std::vector<int>& back,
                                               std::vector<int>& backDistance, Count count) {
  for (size_t i = from; i < lo.size(); i += step) {
    const uint64_t* a = dl + 4 * i;
    int d1 = 1 << 20, d2 = 1 << 20, best = -1;
    for (int k = lo[i]; k < hi[i]; ++k) {
      const uint64_t* b = dr + 4 * static_cast<size_t>(k);
      const int d = count(a[0] ^ b[0]) + count(a[1] ^ b[1]) + count(a[2] ^ b[2]) + count(a[3] ^ b[3]);
      if (d <= d2) {
        const int j = rightOrder[static_cast<size_t>(k)];
        if (d < d1 || (d == d1 && j < best)) {
          if (best >= 0) d2 = d1;
          d1 = d;
          best = j;
        } else {
          d2 = d;
        }
      }
      int& bd = backDistance[static_cast<size_t>(k)];
      if (d < bd || (d == bd && static_cast<int>(i) < back[static_cast<size_t>(k)])) {
        bd = d;
        back[static_cast<size_t>(k)] = static_cast<int>(i);
      }
    }
    n.Best[i] = best;
    n.BestDistance[i] = d1;
    n.Best2Distance[i] = d2;
  }
}

__attribute__((target("popcnt"))) void NearestRowsPopcnt(const uint64_t* dl, const uint64_t* dr,
                                                         const std::vector<int>& lo, const std::vector<int>& hi,
                                                         const std::vector<int>& order, size_t from, size_t step,
                                                         TNearest& n, std::vector<int>& back,
                                                         std::vector<int>& backDistance) {
  NearestRows(dl, dr, lo, hi, order, from, step, n, back, backDistance,
              [](uint64_t v) { return __builtin_popcountll(v); });
}

void NearestRowsPortable(const uint64_t* dl, const uint64_t* dr, const std::vector<int>& lo,
                         const std::vector<int>& hi, const std::vector<int>& order, size_t from, size_t step,
                         TNearest& n, std::vector<int>& back, std::vector<int>& backDistance) {
  NearestRows(dl, dr, lo, hi, order, from, step, n, back, backDistance, [](uint64_t v) {
    v = v - ((v >> 1) & 0x5555555555555555ull);
    v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return static_cast<int>((v * 0x0101010101010101ull) >> 56);
  });
}

TNearest FindNearest(const TFeatures& l, const TFeatures& r, float band) {
  const size_t nl = static_cast<size_t>(l.Descriptors.rows), nr = static_cast<size_t>(r.Descriptors.rows);
  // Descriptors as four 64-bit words each.
  std::vector<uint64_t> dl(4 * nl), dr(4 * nr);
  for (size_t i = 0; i < nl; ++i) std::memcpy(&dl[4 * i], l.Descriptors.ptr<uint8_t>(static_cast<int>(i)), 32);
  // The right details by row; each left detail's range of them within the band.
  std::vector<int> order(nr);
  for (size_t j = 0; j < nr; ++j) order[j] = static_cast<int>(j);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return r.Points[static_cast<size_t>(a)].pt.y < r.Points[static_cast<size_t>(b)].pt.y;
  });
  for (size_t k = 0; k < nr; ++k) std::memcpy(&dr[4 * k], r.Descriptors.ptr<uint8_t>(order[k]), 32);
  std::vector<float> ys(nr);
  for (size_t k = 0; k < nr; ++k) ys[k] = r.Points[static_cast<size_t>(order[k])].pt.y;
  std::vector<int> lo(nl), hi(nl);
  for (size_t i = 0; i < nl; ++i) {
    const float y = l.Points[i].pt.y;
    lo[i] = static_cast<int>(std::lower_bound(ys.begin(), ys.end(), y - band) - ys.begin());
    hi[i] = static_cast<int>(std::upper_bound(ys.begin(), ys.end(), y + band) - ys.begin());
  }
  TNearest n;
  n.Best.assign(nl, -1);
  n.BestDistance.assign(nl, 1 << 20);
  n.Best2Distance.assign(nl, 1 << 20);
  // Two halves of the left details; each keeps its own nearest left detail
  // per right one, merged afterwards.
  std::vector<int> back[2], backDistance[2];
  for (int h = 0; h < 2; ++h) {
    back[h].assign(nr, -1);
    backDistance[h].assign(nr, 1 << 20);
  }
  const bool hw = __builtin_cpu_supports("popcnt");
  auto half = [&](int h) {
    if (hw) NearestRowsPopcnt(dl.data(), dr.data(), lo, hi, order, static_cast<size_t>(h), 2, n, back[h], backDistance[h]);
    else NearestRowsPortable(dl.data(), dr.data(), lo, hi, order, static_cast<size_t>(h), 2, n, back[h], backDistance[h]);
  };
  RunBoth([&] { half(0); }, [&] { half(1); });
  n.Back.assign(nr, -1);
  n.BackDistance.assign(nr, 1 << 20);
  for (size_t k = 0; k < nr; ++k) {
    const size_t j = static_cast<size_t>(order[k]);
    for (int h = 0; h < 2; ++h) {
      const int d = backDistance[h][k], i = back[h][k];
      if (i >= 0 && (d < n.BackDistance[j] || (d == n.BackDistance[j] && i < n.Back[j]))) {
        n.BackDistance[j] = d;
        n.Back[j] = i;
      }
    }
  }
  return n;
}

std::vector<TMatch> MatchFeatures(const TFeatures& l, const TFeatures& r, int factor, double maxDy) {
  std::vector<TMatch> out;
  if (l.Descriptors.rows < 2 || r.Descriptors.rows < 2 || l.Descriptors.cols != 32 || r.Descriptors.cols != 32)
    return out;
  const TNearest n = FindNearest(l, r, static_cast<float>(maxDy / factor));
  for (size_t i = 0; i < n.Best.size(); ++i) {
    // Distinct (ratio test), the best both ways, and what a stereo pair can
    // show: the same detail size and direction, not far apart vertically.
    const int j = n.Best[i];
    if (j < 0 || n.BestDistance[i] >= 0.8 * n.Best2Distance[i]) continue;
    if (n.Back[static_cast<size_t>(j)] != static_cast<int>(i)) continue;
    const cv::KeyPoint& a = l.Points[i];
    const cv::KeyPoint& b = r.Points[static_cast<size_t>(j)];
    if (std::abs(a.octave - b.octave) > 2) continue;
    float turn = std::fabs(a.angle - b.angle);
    if (turn > 180) turn = 360 - turn;
    if (turn > 30) continue;
    TMatch t{FullCoordinate(a.pt.x, factor), FullCoordinate(a.pt.y, factor), FullCoordinate(b.pt.x, factor),
             FullCoordinate(b.pt.y, factor), a.response};
    if (std::fabs(t.qy - t.py) > maxDy) continue;
    out.push_back(t);
  }
  return out;
}

// ------------------------------------------------------------------ the model

// The right picture is the left camera's view shifted by each detail's
// disparity along the rows, then turned and scaled: right = A (left x - d,
// left y) + t with A = s Rot(roll). Corrected, A^-1 (right - t), it lies on
// the left detail's row, which gives one equation per match that the
// disparity does not enter: in coordinates centred on the left picture's
// centre (X = qx - cx, Y = qy - cy, Q = py - cy), Q = a Y - b X + t with
// a = cos(roll) / s, b = sin(roll) / s.
struct TModel {
  double a = 1, b = 0, t = 0;
  double Residual(const TMatch& m, double cx, double cy) const {
    return (m.py - cy) - (a * (m.qy - cy) - b * (m.qx - cx) + t);
  }
  double Scale() const { return 1 / std::hypot(a, b); }
  double Roll() const { return std::atan2(b, a); }
};

// Least squares over the matches with weights (scale free, or held at 1).
bool FitModel(const std::vector<TMatch>& ms, const std::vector<int>& use, double cx, double cy, bool fixScale,
              TModel& model) {
  if (use.size() < 3) return false;
  if (fixScale) {
    // Q - a Y = -b X + t with a = sqrt(1 - b^2), a few rounds.
    double a = 1, b = 0, t = 0;
    for (int round = 0; round < 4; ++round) {
      double sxx = 0, sx = 0, n = 0, sxz = 0, sz = 0;
      for (int i : use) {
        const TMatch& m = ms[static_cast<size_t>(i)];
        const double X = -(m.qx - cx), z = (m.py - cy) - a * (m.qy - cy);
        sxx += X * X;
        sx += X;
        n += 1;
        sxz += X * z;
        sz += z;
      }
      const double det = sxx * n - sx * sx;
      if (!(std::fabs(det) > 1e-9 * std::max(1.0, sxx * n))) return false;
      b = (sxz * n - sx * sz) / det;
      t = (sxx * sz - sx * sxz) / det;
      if (std::fabs(b) >= 1) return false;
      a = std::sqrt(1 - b * b);
    }
    model = {a, b, t};
    return true;
  }
  // Normal equations of Q = a Y - b X + t.
  double m3[3][3] = {}, v[3] = {};
  for (int i : use) {
    const TMatch& m = ms[static_cast<size_t>(i)];
    const double r[3] = {m.qy - cy, -(m.qx - cx), 1.0};
    const double q = m.py - cy;
    for (int j = 0; j < 3; ++j) {
      v[j] += r[j] * q;
      for (int k = 0; k < 3; ++k) m3[j][k] += r[j] * r[k];
    }
  }
  const cv::Matx33d M(m3[0][0], m3[0][1], m3[0][2], m3[1][0], m3[1][1], m3[1][2], m3[2][0], m3[2][1], m3[2][2]);
  cv::Vec3d sol;
  if (!cv::solve(M, cv::Vec3d(v[0], v[1], v[2]), sol, cv::DECOMP_CHOLESKY)) return false;
  model = {sol[0], sol[1], sol[2]};
  return std::isfinite(model.a) && std::isfinite(model.b) && std::isfinite(model.t);
}

// A model from three matches, or false when they do not determine one.
bool ExactModel(const TMatch& m0, const TMatch& m1, const TMatch& m2, double cx, double cy, TModel& model) {
  const cv::Matx33d M(m0.qy - cy, cx - m0.qx, 1, m1.qy - cy, cx - m1.qx, 1, m2.qy - cy, cx - m2.qx, 1);
  const double det = cv::determinant(M);
  if (std::fabs(det) < 1e-3) return false;
  const cv::Vec3d sol = M.inv() * cv::Vec3d(m0.py - cy, m1.py - cy, m2.py - cy);
  model = {sol[0], sol[1], sol[2]};
  return true;
}

bool Plausible(const TModel& m) {
  const double s = m.Scale();
  return s > 0.8 && s < 1.25 && std::fabs(m.Roll()) < 15 * std::numbers::pi / 180;
}

std::vector<int> Inliers(const std::vector<TMatch>& ms, const TModel& model, double cx, double cy, double threshold) {
  std::vector<int> in;
  for (size_t i = 0; i < ms.size(); ++i)
    if (std::fabs(model.Residual(ms[i], cx, cy)) <= threshold) in.push_back(static_cast<int>(i));
  return in;
}

// RANSAC on three-match samples, then least squares on the inliers (twice).
std::vector<int> RobustFit(const std::vector<TMatch>& ms, double cx, double cy, double threshold, TModel& model) {
  std::vector<int> best;
  const size_t n = ms.size();
  if (n < 3) return best;
  std::mt19937 rng(20240611u);
  size_t bestCount = 0;
  double bestCost = 0;
  size_t iterations = 3000;
  for (size_t it = 0; it < iterations; ++it) {
    const size_t i0 = rng() % n, i1 = rng() % n, i2 = rng() % n;
    if (i0 == i1 || i1 == i2 || i0 == i2) continue;
    TModel m;
    if (!ExactModel(ms[i0], ms[i1], ms[i2], cx, cy, m) || !Plausible(m)) continue;
    size_t count = 0;
    double cost = 0;
    for (const TMatch& t : ms) {
      const double r = std::fabs(m.Residual(t, cx, cy));
      if (r <= threshold) {
        ++count;
        cost += r;
      }
    }
    if (count > bestCount || (count == bestCount && cost < bestCost)) {
      bestCount = count;
      bestCost = cost;
      model = m;
      // Enough samples to draw one all-inlier sample with 99.9 % certainty.
      const double w = static_cast<double>(count) / static_cast<double>(n);
      const double need = std::log(0.001) / std::log(std::max(1e-12, 1 - w * w * w));
      iterations = std::min<size_t>(iterations, static_cast<size_t>(std::max(200.0, need * 2)));
    }
  }
  if (bestCount < 3) return best;
  best = Inliers(ms, model, cx, cy, threshold);
  for (int round = 0; round < 2; ++round) {
    TModel refit;
    if (!FitModel(ms, best, cx, cy, false, refit)) break;
    model = refit;
    best = Inliers(ms, model, cx, cy, threshold);
  }
  return best;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  const size_t mid = v.size() / 2;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
  double m = v[mid];
  if (v.size() % 2 == 0) m = (m + *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid))) / 2;
  return m;
}

// Spread (10th to 90th percentile) of values.
double Spread(std::vector<double> v) {
  if (v.size() < 2) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() * 9 / 10] - v[v.size() / 10];
}

// ------------------------------------------------------------------ measuring again

// One level of the pictures for the refinement: Factor full pixels per level
// pixel, template radius and how far the estimate may move.
struct TLevel {
  const TGreySource* Left;
  const TGreySource* Right;
  int Factor;
  int Radius;
  double MaxMove;
  double MinNcc;
};

enum TTrack {
  tkFound,
  tkUnusable, // the patch has too little texture on this level, or leaves a picture
  tkLost,     // it wandered off or does not match
};

// Refines q, the right picture's place of the left pixel (P.x, P.y) (full
// resolution), on one level: Lucas-Kanade on the translation with the shape
// of the right picture's details given by A (its roll and scale), on grey
// levels normalised for brightness and contrast.
TTrack Track(const TLevel& lv, const double A[4], double Px, double Py, double& qx, double& qy) {
  const double g = lv.Factor;
  const double plx = (Px + 0.5) / g - 0.5, ply = (Py + 0.5) / g - 0.5;
  const int cix = static_cast<int>(std::lround(plx)), ciy = static_cast<int>(std::lround(ply));
  const double ox = plx - cix, oy = ply - ciy;
  // The right place of the template's centre pixel on this level.
  double ux = (qx + 0.5) / g - 0.5 - (A[0] * ox + A[1] * oy);
  double uy = (qy + 0.5) / g - 0.5 - (A[2] * ox + A[3] * oy);
  const double startX = ux, startY = uy;

  const int r = lv.Radius, n = 2 * r + 1, tn = n + 2;
  std::vector<float> T(static_cast<size_t>(tn) * tn);
  if (!lv.Left->Window(cix - r - 1, ciy - r - 1, tn, tn, T.data())) return tkUnusable;
  // Template and its gradients over the inner n x n pixels, normalised.
  const size_t count = static_cast<size_t>(n) * n;
  std::vector<float> t(count), gx(count), gy(count);
  double mean = 0, var = 0;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) mean += T[static_cast<size_t>(y + 1) * tn + x + 1];
  mean /= static_cast<double>(count);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const double d = T[static_cast<size_t>(y + 1) * tn + x + 1] - mean;
      var += d * d;
    }
  const double sd = std::sqrt(var / static_cast<double>(count));
  if (sd < 2.0) return tkUnusable; // flat
  double h00 = 0, h01 = 0, h11 = 0;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const size_t k = static_cast<size_t>(y) * n + x;
      const float* c = &T[static_cast<size_t>(y + 1) * tn + x + 1];
      t[k] = static_cast<float>((*c - mean) / sd);
      gx[k] = static_cast<float>((c[1] - c[-1]) / (2 * sd));
      gy[k] = static_cast<float>((c[tn] - c[-tn]) / (2 * sd));
      h00 += gx[k] * gx[k];
      h01 += gx[k] * gy[k];
      h11 += gy[k] * gy[k];
    }
  const double det = h00 * h11 - h01 * h01;
  const double minEigen = (h00 + h11) / 2 - std::sqrt((h00 - h11) * (h00 - h11) / 4 + h01 * h01);
  if (minEigen / static_cast<double>(count) < 0.01 || det <= 0) return tkUnusable;

  // The right picture around the estimate, with room for the shape and the moves.
  const double reach = r * (std::fabs(A[0]) + std::fabs(A[1]) + std::fabs(A[2]) + std::fabs(A[3])) / 1.4;
  const int rad = static_cast<int>(std::ceil(reach + lv.MaxMove)) + 3;
  const int bx = static_cast<int>(std::floor(ux)) - rad, by = static_cast<int>(std::floor(uy)) - rad;
  const int bn = 2 * rad + 2;
  std::vector<float> B(static_cast<size_t>(bn) * bn);
  if (!lv.Right->Window(bx, by, bn, bn, B.data())) return tkUnusable;

  std::vector<float> I(count);
  auto sample = [&](double cx, double cy) {
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        const double dx = x - r, dy = y - r;
        const double sx = cx + A[0] * dx + A[1] * dy - bx, sy = cy + A[2] * dx + A[3] * dy - by;
        const int x0 = static_cast<int>(std::floor(sx)), y0 = static_cast<int>(std::floor(sy));
        if (x0 < 0 || y0 < 0 || x0 + 1 >= bn || y0 + 1 >= bn) return false;
        const float fx = static_cast<float>(sx - x0), fy = static_cast<float>(sy - y0);
        const float* p = &B[static_cast<size_t>(y0) * bn + x0];
        I[static_cast<size_t>(y) * n + x] =
            (p[0] * (1 - fx) + p[1] * fx) * (1 - fy) + (p[bn] * (1 - fx) + p[bn + 1] * fx) * fy;
      }
    return true;
  };
  // Normalises I and returns the sum of squared differences to the template;
  // e receives I - T.
  auto difference = [&](std::vector<float>& e) {
    double m = 0, v = 0;
    for (float x : I) m += x;
    m /= static_cast<double>(count);
    for (float x : I) v += (x - m) * (x - m);
    const double s = std::sqrt(v / static_cast<double>(count));
    if (s < 1e-3) return -1.0;
    double ssd = 0;
    for (size_t k = 0; k < count; ++k) {
      e[k] = static_cast<float>((I[k] - m) / s) - t[k];
      ssd += static_cast<double>(e[k]) * e[k];
    }
    return ssd;
  };

  std::vector<float> e(count);
  for (int it = 0; it < 30; ++it) {
    if (!sample(ux, uy) || difference(e) < 0) return tkLost;
    double b0 = 0, b1 = 0;
    for (size_t k = 0; k < count; ++k) {
      b0 += gx[k] * e[k];
      b1 += gy[k] * e[k];
    }
    const double dx = (h11 * b0 - h01 * b1) / det, dy = (h00 * b1 - h01 * b0) / det;
    ux -= A[0] * dx + A[1] * dy;
    uy -= A[2] * dx + A[3] * dy;
    if (std::hypot(ux - startX, uy - startY) > lv.MaxMove) return tkLost;
    if (std::hypot(dx, dy) < 0.002) break;
  }
  if (!sample(ux, uy)) return tkLost;
  const double ssd = difference(e);
  if (ssd < 0 || 1 - ssd / (2.0 * static_cast<double>(count)) < lv.MinNcc) return tkLost;
  // Back to full resolution, for the left pixel P.
  qx = (ux + A[0] * ox + A[1] * oy + 0.5) * g - 0.5;
  qy = (uy + A[2] * ox + A[3] * oy + 0.5) * g - 0.5;
  return tkFound;
}

// Measures the picked matches again, each on three levels: half the reduced
// copy (to widen the reach), the reduced copy and full resolution. Where a
// level cannot use a patch (too little texture there, as in soft
// photographs at full resolution) the estimate of the level before stays; a
// match the reduced copy cannot use, or any level loses, stays unrefined.
void MeasureAgain(const TPixelGraphic& left, const TPixelGraphic& right, const cv::Mat& greyL, const cv::Mat& greyR,
                  int factor, const TModel& model, const std::vector<int>& pick, std::vector<TMatch>& refined,
                  std::vector<char>& isRefined, const TRun& run) {
  cv::Mat halfL, halfR;
  cv::resize(greyL, halfL, cv::Size(greyL.cols / 2, greyL.rows / 2), 0, 0, cv::INTER_AREA);
  cv::resize(greyR, halfR, cv::Size(greyR.cols / 2, greyR.rows / 2), 0, 0, cv::INTER_AREA);
  const TMatGrey hl(halfL), hr(halfR), rl(greyL), rr(greyR);
  const TPictureGrey pl(left), pr(right);
  std::vector<TLevel> levels;
  levels.push_back({&hl, &hr, 2 * factor, 6, 3.0, 0.6});
  levels.push_back({&rl, &rr, factor, 8, 2.0, 0.7});
  if (factor > 1) levels.push_back({&pl, &pr, 1, std::max(10, 3 * factor), std::max(2.0, 0.5 * factor), 0.75});
  // The shape of the left details in the right picture: A = s Rot(roll).
  const double n2 = model.a * model.a + model.b * model.b;
  const double A[4] = {model.a / n2, -model.b / n2, model.b / n2, model.a / n2};
  auto work = [&](size_t from, size_t step) {
    for (size_t k = from; k < pick.size(); k += step) {
      run.Check();
      TMatch& m = refined[static_cast<size_t>(pick[k])];
      const double Px = std::round(m.px), Py = std::round(m.py);
      // The right place of the whole pixel Px, Py from the match's own offset.
      double qx = m.qx + A[0] * (Px - m.px) + A[1] * (Py - m.py);
      double qy = m.qy + A[2] * (Px - m.px) + A[3] * (Py - m.py);
      bool ok = true;
      for (size_t l = 0; l < levels.size() && ok; ++l) {
        double tx = qx, ty = qy;
        const TTrack t = Track(levels[l], A, Px, Py, tx, ty);
        if (t == tkFound) {
          qx = tx;
          qy = ty;
        } else {
          ok = t == tkUnusable && l != 1;
        }
      }
      if (!ok) continue;
      m = {Px, Py, qx, qy, m.response};
      isRefined[static_cast<size_t>(pick[k])] = 1;
    }
  };
  RunBoth([&] { work(0, 2); }, [&] { work(1, 2); });
}

// The matches to refine: the strongest of every part of the picture, in turns.
std::vector<int> PickForRefinement(const std::vector<TMatch>& ms, const std::vector<int>& inliers, int w, int h) {
  constexpr int gx = 20, gy = 15;
  std::vector<std::vector<int>> cells(gx * gy);
  std::vector<int> order(inliers);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return ms[static_cast<size_t>(a)].response > ms[static_cast<size_t>(b)].response;
  });
  for (int i : order) {
    const TMatch& m = ms[static_cast<size_t>(i)];
    const int cx = std::clamp(static_cast<int>(m.px * gx / w), 0, gx - 1);
    const int cy = std::clamp(static_cast<int>(m.py * gy / h), 0, gy - 1);
    cells[static_cast<size_t>(cy * gx + cx)].push_back(i);
  }
  std::vector<int> picked;
  for (size_t round = 0; static_cast<int>(picked.size()) < kMaxRefined; ++round) {
    bool any = false;
    for (const auto& c : cells)
      if (round < c.size() && static_cast<int>(picked.size()) < kMaxRefined) {
        picked.push_back(c[round]);
        any = true;
      }
    if (!any) break;
  }
  return picked;
}

// ------------------------------------------------------------------ disparities

// How far the neighbours confirm each disparity: of the 8 nearest other
// details (in the left picture; the same detail found again within `same`
// pixels does not count), how many lie at a similar disparity, allowing for
// the slope of a surface, and how many were looked at.
struct TSupport {
  int Agree = 0, Of = 0;
};

std::vector<TSupport> Confirmed(const std::vector<TMatch>& ms, const std::vector<int>& use,
                                const std::vector<double>& d, double base, double same) {
  const size_t n = use.size();
  std::vector<TSupport> ok(n);
  constexpr int k = 8;
  for (size_t i = 0; i < n; ++i) {
    const TMatch& a = ms[static_cast<size_t>(use[i])];
    std::array<std::pair<double, size_t>, k> nearest;
    int filled = 0;
    for (size_t j = 0; j < n; ++j) {
      if (j == i) continue;
      const TMatch& b = ms[static_cast<size_t>(use[j])];
      const double dist = (a.px - b.px) * (a.px - b.px) + (a.py - b.py) * (a.py - b.py); // squared
      if (dist <= same * same) continue;
      if (filled < k) {
        nearest[static_cast<size_t>(filled++)] = {dist, j};
        std::push_heap(nearest.begin(), nearest.begin() + filled);
      } else if (dist < nearest[0].first) {
        std::pop_heap(nearest.begin(), nearest.end());
        nearest[k - 1] = {dist, j};
        std::push_heap(nearest.begin(), nearest.end());
      }
    }
    int agree = 0;
    for (int j = 0; j < filled; ++j) {
      const auto& [dist2, other] = nearest[static_cast<size_t>(j)];
      if (std::fabs(d[i] - d[other]) <= base + 0.1 * std::sqrt(dist2)) ++agree;
    }
    ok[i] = {agree, filled};
  }
  return ok;
}

// True when the left picture's patch around a detail repeats along its row
// (within 64 pixels of the reduced copy, as letters, railings and tiles do):
// its match may be a neighbour of the true one, with a wrong disparity but the
// right row, so it cannot speak for the depth. A patch on the edge counts as
// repeated.
bool Repeats(const cv::Mat& grey, int factor, double px, double py) {
  constexpr int r = 8, n = 2 * r + 1, reach = 64, own = 3;
  const int cx = static_cast<int>(std::lround((px + 0.5) / factor - 0.5));
  const int cy = static_cast<int>(std::lround((py + 0.5) / factor - 0.5));
  if (cy - r < 0 || cy + r >= grey.rows || cx - r < 0 || cx + r >= grey.cols) return true;
  auto stats = [&](int x0, double& mean, double& norm) {
    double s = 0, s2 = 0;
    for (int y = cy - r; y <= cy + r; ++y) {
      const uint8_t* row = grey.ptr<uint8_t>(y);
      for (int x = x0; x < x0 + n; ++x) {
        s += row[x];
        s2 += static_cast<double>(row[x]) * row[x];
      }
    }
    mean = s / (n * n);
    norm = std::sqrt(std::max(0.0, s2 - s * mean));
  };
  double tMean, tNorm;
  stats(cx - r, tMean, tNorm);
  if (tNorm < 1e-6) return true;
  for (int shift = -reach; shift <= reach; ++shift) {
    const int x0 = cx - r + shift;
    if (std::abs(shift) <= own || x0 < 0 || x0 + n > grey.cols) continue;
    double wMean, wNorm;
    stats(x0, wMean, wNorm);
    if (wNorm < 1e-6) continue;
    double dot = 0;
    for (int y = cy - r; y <= cy + r; ++y) {
      const uint8_t* row = grey.ptr<uint8_t>(y);
      for (int x = 0; x < n; ++x) dot += (row[cx - r + x] - tMean) * (row[x0 + x] - wMean);
    }
    if (dot / (tNorm * wNorm) > 0.8) return true;
  }
  return false;
}

TAutoAlignResult Failed(TAutoAlignStatus status) {
  TAutoAlignResult r;
  r.Status = status;
  return r;
}

TAutoAlignResult Align(const TPixelGraphic& left, const TPixelGraphic& right, const TRun& run) {
  const int wL = left.Width(), hL = left.Height(), wR = right.Width(), hR = right.Height();
  if (left.Empty() || right.Empty() || std::min({wL, hL, wR, hR}) < kMinSide) return Failed(aasTooSmall);
  SetUpOpenCV();
  run.Progress(0);

  // Reduced grey copies and their details, the two pictures side by side.
  const int longest = std::max({wL, hL, wR, hR});
  const int factor = std::max(1, static_cast<int>(std::lround(static_cast<double>(longest) / kWorkSide)));
  cv::Mat greyL, greyR;
  TFeatures fl, fr;
  RunBoth([&] { greyL = ReducedGrey(left, factor); }, [&] { greyR = ReducedGrey(right, factor); });
  run.Progress(10);
  RunBoth([&] { fl = Detect(greyL); }, [&] { fr = Detect(greyR); });
  run.Progress(45);

  const std::vector<TMatch> matches = MatchFeatures(fl, fr, factor, 0.25 * std::max(hL, hR));
  run.Progress(60);
  if (static_cast<int>(matches.size()) < kMinInliers) return Failed(aasTooLittleInCommon);

  // The robust fit on the reduced pictures' matches.
  const double cx = (wL - 1) / 2.0, cy = (hL - 1) / 2.0;
  TModel model;
  std::vector<int> inliers = RobustFit(matches, cx, cy, 1.5 * factor + 0.5, model);
  // Enough agreeing matches, also against all matches and all details found
  // (a few agreeing ones among thousands of details are chance, as between
  // a picture and its mirror image).
  const size_t details = std::min(fl.Points.size(), fr.Points.size());
  if (inliers.size() < std::max<size_t>({kMinInliers, matches.size() / 10, details * 3 / 200}) || !Plausible(model))
    return Failed(aasTooLittleInCommon);
  // The roll needs details across the picture; the scale needs them also one
  // above the other, else it is held at 1.
  std::vector<double> xs, ys;
  for (int i : inliers) {
    xs.push_back(matches[static_cast<size_t>(i)].px);
    ys.push_back(matches[static_cast<size_t>(i)].py);
  }
  if (Spread(xs) < 0.15 * wL) return Failed(aasTooLittleInCommon);
  const bool fixScale = Spread(ys) < 0.1 * hL;
  if (fixScale && !FitModel(matches, inliers, cx, cy, true, model)) return Failed(aasTooLittleInCommon);
  run.Progress(70);

  std::vector<TMatch> refined = matches;
  std::vector<char> isRefined(matches.size(), 0);
  const std::vector<int> pick = PickForRefinement(matches, inliers, wL, hL);
  MeasureAgain(left, right, greyL, greyR, factor, model, pick, refined, isRefined, run);
  run.Progress(95);

  // The final fit: on the refined matches when there are enough, with the
  // outliers among them left out (median absolute deviation).
  std::vector<int> use;
  for (int i : inliers)
    if (isRefined[static_cast<size_t>(i)]) use.push_back(i);
  const bool wasRefined = static_cast<int>(use.size()) >= kMinRefined;
  const std::vector<TMatch>& final = wasRefined ? refined : matches;
  if (!wasRefined) use = inliers;
  for (int round = 0; round < 3; ++round) {
    TModel fit;
    if (!FitModel(final, use, cx, cy, fixScale, fit)) break;
    model = fit;
    std::vector<double> res;
    for (int i : use) res.push_back(std::fabs(model.Residual(final[static_cast<size_t>(i)], cx, cy)));
    const double limit = std::max(3 * 1.4826 * Median(res), wasRefined ? 0.25 : 0.5 * factor);
    std::vector<int> kept;
    for (size_t j = 0; j < use.size(); ++j)
      if (res[j] <= limit) kept.push_back(use[j]);
    if (kept.size() == use.size() || static_cast<int>(kept.size()) < kMinRefined) break;
    use = kept;
  }
  if (!Plausible(model)) return Failed(aasTooLittleInCommon);

  TAutoAlignResult result;
  result.Status = aasAligned;
  result.Refined = wasRefined;
  result.Matches = static_cast<int>(use.size());
  {
    std::vector<double> after, before;
    for (int i : use) {
      const TMatch& m = final[static_cast<size_t>(i)];
      after.push_back(std::fabs(model.Residual(m, cx, cy)));
      before.push_back(std::fabs(m.qy - m.py));
    }
    result.Residual = Median(after);
    result.ResidualBefore = Median(before);
    // A fit that moves no corner of the right picture noticeably, or does not
    // do better than the pictures as they are, is no correction: the pair
    // stays as it is (apart from the window).
    double moved = 0;
    for (double x : {0.0, wR - 1.0})
      for (double y : {0.0, hR - 1.0})
        moved = std::max(moved, std::fabs(model.a * (y - cy) - model.b * (x - cx) + model.t - (y - cy)));
    if (moved < kCornerLimit || result.Residual >= result.ResidualBefore) {
      model = TModel{};
      result.Residual = result.ResidualBefore;
    }
  }
  // Left y = a (right y) - b (right x) + gamma; with right = A (u, left y) +
  // (tx, ty), A^-1 = [a b; -b a], that is gamma = b tx - a ty. The
  // horizontal offset is the window's to choose; the disparities are counted
  // with the roll and scale undone about the right picture's centre, which
  // keeps its column: a (cxR - tx) + b (cyR - ty) = cxR.
  const double scale = model.Scale(), roll = model.Roll();
  const double gamma = model.t + cy - model.a * cy + model.b * cx;
  const double cxR = (wR - 1) / 2.0, cyR = (hR - 1) / 2.0;
  const double n2 = model.a * model.a + model.b * model.b, r1 = model.a * cxR + model.b * cyR - cxR;
  const double tx = (model.a * r1 + model.b * gamma) / n2, ty = (model.b * r1 - model.a * gamma) / n2;
  result.Scale = scale;
  result.Roll = roll * 180 / std::numbers::pi;
  result.VerticalOffset = -model.t / model.a;

  // Disparities: left x minus the corrected right x, on the final matches
  // where they were measured again, else on the reduced pictures' matches;
  // of many matches those measured again and an even share of the others.
  std::vector<double> d;
  std::vector<int> all;
  const size_t stride = (inliers.size() + 1999) / 2000;
  for (size_t k = 0; k < inliers.size(); ++k)
    if (k % stride == 0 || isRefined[static_cast<size_t>(inliers[k])]) all.push_back(inliers[k]);
  for (int i : all) {
    const TMatch& m = isRefined[static_cast<size_t>(i)] ? refined[static_cast<size_t>(i)] : matches[static_cast<size_t>(i)];
    // The corrected right x: the first row of A^-1 = [a b; -b a] on (qx - tx, qy - ty).
    d.push_back(m.px - (model.a * (m.qx - tx) + model.b * (m.qy - ty)));
  }
  const std::vector<TSupport> support = Confirmed(matches, all, d, 2.0 * factor, 3.0 * factor);
  // Most disparities agree with most of their neighbours in a stereo pair;
  // not so between different scenes that share a pattern (a picture and its
  // mirror image).
  const size_t agreeing = static_cast<size_t>(std::count_if(
      support.begin(), support.end(), [](const TSupport& s) { return s.Of >= 3 && 2 * s.Agree >= s.Of; }));
  if (agreeing < 12 || agreeing * 2 < all.size()) return Failed(aasTooLittleInCommon);
  // The nearest and farthest details: of those that two neighbours confirm,
  // from either end the second whose patch does not repeat along its row, so
  // that neither a single wrong match nor a group of them on a repeated
  // pattern decides, while a small near object with few details still counts.
  std::vector<size_t> order;
  for (size_t i = 0; i < all.size(); ++i)
    if (support[i].Agree >= 2) order.push_back(i);
  std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) { return d[x] < d[y]; });
  auto second = [&](bool fromTop) {
    int found = 0;
    for (size_t k = 0; k < order.size(); ++k) {
      const size_t i = order[fromTop ? order.size() - 1 - k : k];
      const TMatch& m = matches[static_cast<size_t>(all[i])];
      if (!Repeats(greyL, factor, m.px, m.py) && ++found == 2) return static_cast<int>(i);
    }
    return static_cast<int>(order[fromTop ? order.size() - 2 : 1]);
  };
  const int farthest = second(false), nearest = second(true);
  result.NearDisparity = d[static_cast<size_t>(nearest)];
  result.FarDisparity = d[static_cast<size_t>(farthest)];
  result.Deviation = (result.NearDisparity - result.FarDisparity) / wL * 1000;
  result.DeviationWarning = result.Deviation > DeviationLimit;

  const size_t w = static_cast<size_t>(all[static_cast<size_t>(nearest)]);
  const TMatch& at = isRefined[w] ? refined[w] : matches[w];
  const TStereoPoint windowLeft{std::clamp(static_cast<int32_t>(std::lround(at.px)), 1, wL - 1),
                                std::clamp(static_cast<int32_t>(std::lround(at.py)), 1, hL - 1)};
  result.Alignment = AlignmentForModel(scale, result.Roll, tx, ty, result.NearDisparity, windowLeft, wL);
  result.WindowLeft = {static_cast<double>(windowLeft.X), static_cast<double>(windowLeft.Y)};
  result.WindowRight = *result.Alignment.Right.Exact;
  run.Progress(100);
  return result;
}

} // namespace

TAutoAlignResult AutoAlign(const TPixelGraphic& left, const TPixelGraphic& right, const TAutoAlignControl& control) {
  const TRun run(control);
  try {
    return Align(left, right, run);
  } catch (const TCancelled&) {
    return Failed(aasCancelled);
  }
}

std::string AutoAlignMessage(TAutoAlignStatus status, bool german) {
  switch (status) {
    case aasTooSmall:
      return german ? "Die Bilder sind zu klein für das automatische Ausrichten; die Ausrichtung bleibt unverändert."
                    : "The pictures are too small to be aligned automatically; the alignment is unchanged.";
    case aasTooLittleInCommon:
      return german ? "Die Bilder haben zu wenig gemeinsam für das automatische Ausrichten; die Ausrichtung bleibt "
                      "unverändert."
                    : "The pictures have too little in common to be aligned automatically; the alignment is "
                      "unchanged.";
    case aasCancelled:
      return german ? "Das automatische Ausrichten wurde abgebrochen; die Ausrichtung bleibt unverändert."
                    : "The automatic alignment was cancelled; the alignment is unchanged.";
    default:
      return "";
  }
}

TPairAlignment AlignmentForModel(double scale, double rollDegrees, double tx, double ty, double windowDisparity,
                                 TStereoPoint windowLeft, int32_t wL) {
  const double phi = rollDegrees * std::numbers::pi / 180;
  const double a = scale * std::cos(phi), b = scale * std::sin(phi);
  // Right place of a left point at the window's disparity.
  auto toRight = [&](double x, double y) {
    const double u = x - windowDisparity;
    return TExactPoint{a * u - b * y + tx, b * u + a * y + ty};
  };
  TPairAlignment p;
  p.Left.Point = windowLeft;
  p.Left.Scale = 1.0;
  const int32_t margin = std::max(1, wL / 10);
  const int32_t y = windowLeft.Y;
  p.Left.Line = {margin, y, wL - 1 - margin, y};

  // The window needs no fraction of a pixel across: the right point goes to
  // the whole column nearest to it, and to the row the model gives there.
  TExactPoint exact = toRight(windowLeft.X, windowLeft.Y);
  exact.X = std::round(exact.X);
  exact.Y = b * ((exact.X + b * windowLeft.Y - tx) / a) + a * windowLeft.Y + ty;
  // Held to the precision of the parameter file, so that a composition from
  // the stored files is the same as one from this result.
  exact.Y = std::round(exact.Y * 1000) / 1000;
  p.Right.Exact = exact;
  p.Right.Point = {static_cast<int32_t>(std::lround(exact.X)), static_cast<int32_t>(std::lround(exact.Y))};
  p.Right.Scale = std::round(scale * 1e6) / 1e6;
  // The right tilt line: where the left one lies in the right picture, its
  // whole-pixel run and rise chosen so that their ratio gives the roll as
  // closely as whole pixels allow.
  const TExactPoint start = toRight(p.Left.Line.X1, y);
  const double tangent = std::tan(phi);
  const int64_t length = std::max<int64_t>(2, std::llround(scale * (p.Left.Line.X2 - p.Left.Line.X1)));
  int64_t bestRun = length, bestRise = std::llround(length * tangent);
  double bestError = std::fabs(static_cast<double>(bestRise) / bestRun - tangent);
  for (int64_t run = length; run >= std::max<int64_t>(1, length / 2) && bestError > 0; --run) {
    const int64_t rise = std::llround(run * tangent);
    const double error = std::fabs(static_cast<double>(rise) / run - tangent);
    if (error < bestError) {
      bestError = error;
      bestRun = run;
      bestRise = rise;
    }
  }
  const int32_t sx = static_cast<int32_t>(std::lround(start.X)), sy = static_cast<int32_t>(std::lround(start.Y));
  p.Right.Line = {sx, sy, static_cast<int32_t>(sx + bestRun), static_cast<int32_t>(sy + bestRise)};
  return p;
}
