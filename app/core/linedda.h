#pragma once

// The pixels of a straight line as the window draws tilt lines, and the small
// rectangles that cover them for repainting. Window-free: coordinates are
// plain integers, the clip rectangle inclusive on all four edges.

#include <algorithm>
#include <cstdint>
#include <cstdlib>

// A rectangle with inclusive edges (Right < Left or Bottom < Top: empty).
struct TPixelBox {
  int Left = 0, Top = 0, Right = -1, Bottom = -1;
};

// The steps i (0 <= i < n) of a line whose coordinate along its longer axis,
// start + step * i, lies within lo..hi: First > Last when there is none.
// Lines of a picture at a high zoom run far beyond the screen, so drawing
// and repainting visit only these steps.
struct TStepRange {
  int64_t First, Last;
};
inline TStepRange StepsWithin(int64_t start, int64_t step, int64_t n, int64_t lo, int64_t hi) {
  const int64_t first = step > 0 ? lo - start : start - hi, last = step > 0 ? hi - start : start - lo;
  return {std::max<int64_t>(first, 0), std::min<int64_t>(last, n - 1)};
}

// The points of a line from (x1, y1) to (x2, y2), the end point excluded, in
// the order a digital differential analyser reports them: one point per step
// along the longer axis, the shorter coordinate rounded. Only the steps whose
// longer-axis coordinate lies within clip are reported, point(x, y, i) with
// the step's number i, exactly as the whole line would report them.
template <class F>
void LineDDA(int x1, int y1, int x2, int y2, const TPixelBox& clip, F&& point) {
  const int64_t dx = static_cast<int64_t>(x2) - x1, dy = static_cast<int64_t>(y2) - y1;
  const int64_t ax = std::llabs(dx), ay = std::llabs(dy);
  const int64_t n = std::max(ax, ay);
  if (n == 0) return;
  const bool xMajor = ax >= ay;
  const int64_t major1 = xMajor ? x1 : y1, majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const int64_t minorStep = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const int64_t a = xMajor ? ax : ay, b = xMajor ? ay : ax; // longer and shorter extent
  const TStepRange r =
      StepsWithin(major1, majorStep, n, xMajor ? clip.Left : clip.Top, xMajor ? clip.Right : clip.Bottom);
  if (r.First > r.Last) return;
  // The error term starts at a / 2 and loses b per step; each time it drops
  // below 0 the shorter coordinate moves and the term gains a. Before step i
  // it has moved ceil((i b - a / 2) / a) times (at least 0).
  const __int128 num = static_cast<__int128>(r.First) * b - a / 2;
  const int64_t moves = num <= 0 ? 0 : static_cast<int64_t>((num + a - 1) / a);
  int64_t err = static_cast<int64_t>(a / 2 - static_cast<__int128>(r.First) * b + static_cast<__int128>(moves) * a);
  int64_t minor = (xMajor ? y1 : x1) + minorStep * moves;
  for (int64_t i = r.First; i <= r.Last; ++i) {
    const int64_t major = major1 + majorStep * i;
    if (xMajor)
      point(static_cast<int>(major), static_cast<int>(minor), i);
    else
      point(static_cast<int>(minor), static_cast<int>(major), i);
    err -= b;
    if (err < 0) {
      minor += minorStep;
      err += a;
    }
  }
}

// The pixels of a line covered by small rectangles (pieces of at most 24
// steps, 2 pixels of margin), so that repainting a diagonal line does not
// repaint the whole rectangle it spans. Only the pieces near visible are
// visited; piece(box) receives those that meet it.
template <class F>
void LinePieces(int x1, int y1, int x2, int y2, const TPixelBox& visible, F&& piece) {
  constexpr int kChunk = 24;
  const int64_t dx = static_cast<int64_t>(x2) - x1, dy = static_cast<int64_t>(y2) - y1;
  const int64_t extent = std::max(std::llabs(dx), std::llabs(dy));
  const int64_t n = std::max<int64_t>(1, (extent + kChunk - 1) / kChunk);
  // Piece i spans extent * i / n .. extent * (i + 1) / n along the longer
  // axis; the pieces within reach of the visible rectangle are those whose
  // offsets meet the visible range, give or take one piece.
  int64_t first = 0, last = n - 1;
  if (extent > 0) {
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const TStepRange r = StepsWithin(xMajor ? x1 : y1, (xMajor ? dx : dy) < 0 ? -1 : 1, extent + 1,
                                     int64_t{xMajor ? visible.Left : visible.Top} - 2,
                                     int64_t{xMajor ? visible.Right : visible.Bottom} + 2);
    if (r.First > r.Last) return;
    first = std::max<int64_t>(0, static_cast<int64_t>(static_cast<__int128>(r.First) * n / extent) - 1);
    last = std::min<int64_t>(n - 1, static_cast<int64_t>(static_cast<__int128>(r.Last) * n / extent) + 1);
  }
  for (int64_t i = first; i <= last; ++i) {
    const int ax = static_cast<int>(x1 + dx * i / n), ay = static_cast<int>(y1 + dy * i / n);
    const int bx = static_cast<int>(x1 + dx * (i + 1) / n), by = static_cast<int>(y1 + dy * (i + 1) / n);
    const TPixelBox box{std::min(ax, bx) - 2, std::min(ay, by) - 2, std::max(ax, bx) + 2, std::max(ay, by) + 2};
    if (box.Left <= visible.Right && visible.Left <= box.Right && box.Top <= visible.Bottom &&
        visible.Top <= box.Bottom)
      piece(box);
  }
}
