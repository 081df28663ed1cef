// Stereo pairs with a known misalignment and the measure of how well a pair
// is aligned, shared by the alignment tests and its benchmark.
//
// The measure is deliberately independent of the alignment's own code: SIFT
// details (the alignment uses ORB) matched with an L2 ratio test both ways,
// and the median |row difference| of the matches between the two halves of a
// left-right stereo image.
#pragma once

#include <opencv2/core.hpp>
#include <opencv2/features2d.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"

namespace stereotest {

// Bilinear colour of a 24-bit picture at (x, y); black outside.
inline void SampleBGR(const TPixelGraphic& src, double x, double y, uint8_t* out) {
  const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
  if (x0 < 0 || y0 < 0 || x0 + 1 >= src.Width() || y0 + 1 >= src.Height()) {
    out[0] = out[1] = out[2] = 0;
    return;
  }
  const double fx = x - x0, fy = y - y0;
  const uint8_t* a = src.ScanLine(y0) + 3 * x0;
  const uint8_t* b = src.ScanLine(y0 + 1) + 3 * x0;
  for (int c = 0; c < 3; ++c) {
    const double v = (a[c] * (1 - fx) + a[c + 3] * fx) * (1 - fy) + (b[c] * (1 - fx) + b[c + 3] * fx) * fy;
    out[c] = static_cast<uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
  }
}

struct TMisalignment {
  double Shift = 0;  // pixels the right picture's content lies lower
  double Roll = 0;   // degrees it is turned clockwise about the picture's centre
  double Scale = 1;  // its size against the left picture's
};

struct TPair {
  std::unique_ptr<TPixelGraphic> Left, Right;
};

// Fine grain of the scene at (x, y) (pixels of the pair): smooth noise of
// 2-pixel cells, -1..1.
inline double Grain(double x, double y) {
  auto hash = [](int64_t i, int64_t j) {
    uint32_t v = static_cast<uint32_t>(i * 73856093 ^ j * 19349663);
    v ^= v >> 13;
    v *= 0x5bd1e995u;
    v ^= v >> 15;
    return (v & 0xFFFF) / 32767.5 - 1;
  };
  const double gx = x / 2, gy = y / 2;
  const int64_t i = static_cast<int64_t>(std::floor(gx)), j = static_cast<int64_t>(std::floor(gy));
  const double fx = gx - i, fy = gy - j;
  return (hash(i, j) * (1 - fx) + hash(i + 1, j) * fx) * (1 - fy) + (hash(i, j + 1) * (1 - fx) + hash(i + 1, j + 1) * fx) * fy;
}

inline void AddGrain(uint8_t* p, double amount, double x, double y) {
  if (amount == 0) return;
  const double g = amount * Grain(x, y);
  for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(std::clamp(p[c] + g + 0.5, 0.0, 255.0));
}

// A rectified pair from one 24-bit picture: the left view is a w x h crop of
// base (centred), the right view sees the same scene with a smooth horizontal
// disparity of 8..40 pixels (more towards the bottom, as a ground does), then
// misaligned by m about its centre. zoom > 1 enlarges the scene (for large
// pairs from a small base); grain adds a fine texture of that amplitude to
// the scene, for the detail an enlarged picture lacks.
inline TPair MakePair(const TPixelGraphic& base, int w, int h, const TMisalignment& m, double zoom = 1,
                      double grain = 0) {
  TPair p;
  p.Left = std::make_unique<TPixelGraphic>();
  p.Right = std::make_unique<TPixelGraphic>();
  p.Left->SetSize(w, h, bc24Bit);
  p.Right->SetSize(w, h, bc24Bit);
  const double ox = (base.Width() - w / zoom) / 2, oy = (base.Height() - h / zoom) / 2;
  const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0;
  const double a = m.Roll * std::numbers::pi / 180, c = std::cos(a), s = std::sin(a);
  for (int y = 0; y < h; ++y) {
    uint8_t* l = p.Left->ScanLine(y);
    uint8_t* r = p.Right->ScanLine(y);
    for (int x = 0; x < w; ++x) {
      SampleBGR(base, ox + x / zoom, oy + y / zoom, l + 3 * x);
      AddGrain(l + 3 * x, grain, x, y);
      // Undo the misalignment, then the disparity.
      const double dx = x - cx, dy = y - cy - m.Shift;
      const double ux = (c * dx + s * dy) / m.Scale + cx, uy = (-s * dx + c * dy) / m.Scale + cy;
      const double d = (8 + 26 * (uy / h) + 6 * std::sin(2 * std::numbers::pi * ux / w)) * zoom;
      SampleBGR(base, ox + (ux + d) / zoom, oy + uy / zoom, r + 3 * x);
      AddGrain(r + 3 * x, grain, ux + d, uy);
    }
  }
  return p;
}

// Pixels of a 24-bit picture that are pure black (what no pixel of the
// rendered scene is, but uncovered corners are).
inline int BlackPixels(const TPixelGraphic& g) {
  int n = 0;
  for (int y = 0; y < g.Height(); ++y)
    for (int x = 0; x < g.Width(); ++x) {
      const uint8_t* p = g.ScanLine(y) + 3 * x;
      n += p[0] == 0 && p[1] == 0 && p[2] == 0;
    }
  return n;
}

// Grey copy of a rectangle of a 24-bit picture.
inline cv::Mat Grey(const TPixelGraphic& g, int x0, int w) {
  cv::Mat m(g.Height(), w, CV_8U);
  for (int y = 0; y < g.Height(); ++y) {
    const uint8_t* row = g.ScanLine(y) + 3 * x0;
    for (int x = 0; x < w; ++x)
      m.at<uint8_t>(y, x) = static_cast<uint8_t>((114 * row[3 * x] + 587 * row[3 * x + 1] + 299 * row[3 * x + 2]) / 1000);
  }
  return m;
}

struct TRowResidual {
  double Median = 0;
  int Matches = 0;
};

// The median |row difference| of SIFT matches between the halves of a
// left-right stereo image (24 bit, 2W x H).
inline TRowResidual RowResidual(const TPixelGraphic& sideBySide) {
  const int w = sideBySide.Width() / 2;
  const cv::Mat l = Grey(sideBySide, 0, w), r = Grey(sideBySide, w, w);
  cv::Ptr<cv::SIFT> sift = cv::SIFT::create(4000);
  std::vector<cv::KeyPoint> kl, kr;
  cv::Mat dl, dr;
  sift->detectAndCompute(l, cv::noArray(), kl, dl);
  sift->detectAndCompute(r, cv::noArray(), kr, dr);
  TRowResidual result;
  if (dl.rows < 2 || dr.rows < 2) return result;
  cv::BFMatcher matcher(cv::NORM_L2);
  std::vector<std::vector<cv::DMatch>> fwd;
  std::vector<cv::DMatch> back;
  matcher.knnMatch(dl, dr, fwd, 2);
  matcher.match(dr, dl, back);
  std::vector<double> dy;
  for (const auto& k : fwd) {
    if (k.size() < 2 || k[0].distance >= 0.75f * k[1].distance) continue;
    if (back[static_cast<size_t>(k[0].trainIdx)].trainIdx != k[0].queryIdx) continue;
    const cv::Point2f a = kl[static_cast<size_t>(k[0].queryIdx)].pt, b = kr[static_cast<size_t>(k[0].trainIdx)].pt;
    if (std::fabs(a.x - b.x) > 0.2 * w) continue; // not the same detail
    dy.push_back(std::fabs(a.y - b.y));
  }
  if (dy.empty()) return result;
  std::nth_element(dy.begin(), dy.begin() + static_cast<std::ptrdiff_t>(dy.size() / 2), dy.end());
  result.Median = dy[dy.size() / 2];
  result.Matches = static_cast<int>(dy.size());
  return result;
}

} // namespace stereotest
