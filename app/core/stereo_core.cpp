#include "app/core/stereo_core.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "app/core/stereo_modes.h"
#include "app/core/stereo_rows.h"
#include "pgraphic/core/messages.h"

namespace {

const char* const StereoCaptions[StereoModeCount] = {
    "Rot-Grün-Anaglyphenbild",
    "Spiegel-Stereobild",
    "Farb-Anaglyphenbild",
    "Field-Sequential LCD Stereobild",
    "Stereobild links-rechts",
    "Stereobild rechts-links",
    "Stereobild für ELSA 3D Revelator",
    "Dubois-Anaglyphenbild",
    "Halbfarb-Anaglyphenbild",
    "Optimiertes Anaglyphenbild",
    "Grau-Anaglyphenbild",
    "Stereobild links-rechts, halbe Breite",
    "Stereobild oben-unten",
    "Stereobild oben-unten, halbe Höhe",
    "Stereobild spaltenweise verschachtelt",
    "Schachbrett-Stereobild",
};

// The mode without smSwapEyes, and whether it was added (never for a negative mode).
int BaseMode(int mode) { return mode >= 0 ? mode & ~smSwapEyes : mode; }
bool SwapsEyes(int mode) { return mode >= 0 && (mode & smSwapEyes) != 0; }

// The common area as seen with the pictures' roles exchanged: the shift
// reversed, the area starting where the right picture's did.
// (Computed in 64 bits and held to 32, as CommonArea's values are.)
TCommonArea SwappedArea(const TCommonArea& a) {
  auto clamp32 = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
  };
  TCommonArea s = a;
  s.Dx = clamp32(-static_cast<int64_t>(a.Dx));
  s.Dy = clamp32(-static_cast<int64_t>(a.Dy));
  s.X0 = clamp32(static_cast<int64_t>(a.X0) - a.Dx);
  s.Y0 = clamp32(static_cast<int64_t>(a.Y0) - a.Dy);
  return s;
}

const char* const TextCompose = "Stereobild berechnen";
const char* const TextTilt = "Verkantung ausgleichen";

void Report(const TStereoProgress& progress, const char* text, int percent) {
  if (progress) progress(text, percent);
}

using zwstereo::CheckedSize;
using zwstereo::ForTargetRows;
using zwstereo::Inside;
using zwstereo::PrepareWork;
using zwstereo::PutColor;
using zwstereo::TRowSource;

// Grey value of the weighted grey-scale filter: (3 (299 r + 587 g + 114 b) div 1000) div 3.
// For non-negative integers (3s div 1000) div 3 = 3s div 3000 = s div 1000, so
// one division does; the tests compare it with the filter over all colours.
inline uint8_t Grey(uint32_t r, uint32_t g, uint32_t b) {
  return static_cast<uint8_t>((299 * r + 587 * g + 114 * b) / 1000);
}

// ------------------------------------------------------------------ anaglyph

// One result row of the anaglyphs from blue-green-red rows.
void GreyAnaglyphRow(const uint8_t* __restrict l, const uint8_t* __restrict r, uint8_t* __restrict out, int32_t w) {
  for (int32_t x = GreyAnaglyphPixels(l, r, out, w); x < w; ++x) {
    const uint32_t sl = 299u * l[3 * x + 2] + 587u * l[3 * x + 1] + 114u * l[3 * x];
    const uint32_t sr = 299u * r[3 * x + 2] + 587u * r[3 * x + 1] + 114u * r[3 * x];
    const uint8_t gr = static_cast<uint8_t>(sr / 1000);
    out[3 * x] = gr;
    out[3 * x + 1] = gr;
    out[3 * x + 2] = static_cast<uint8_t>(sl / 1000);
  }
}

ZW_ROW_CLONES
void ColorAnaglyphRow(const uint8_t* __restrict l, const uint8_t* __restrict r, uint8_t* __restrict out, int32_t w) {
  for (int32_t x = 0; x < w; ++x) {
    out[3 * x] = r[3 * x];
    out[3 * x + 1] = r[3 * x + 1];
    out[3 * x + 2] = l[3 * x + 2];
  }
}

void AnaglyphWorker(bool colour, TPixelGraphic& left, TPixelGraphic& right, const TCommonArea& a,
                    TPixelGraphic& work, const TStereoProgress& progress) {
  Report(progress, TextCompose, 30);
  Report(progress, TextCompose, 60);
  PrepareWork(work, a);
  Report(progress, TextCompose, 80);
  if (work.Empty()) return;
  const int32_t W = a.W, H = a.H;
  const int64_t rx = static_cast<int64_t>(a.X0) - a.Dx, ry = static_cast<int64_t>(a.Y0) - a.Dy;

  if (Inside(left, a.X0, a.Y0, W, H) && Inside(right, rx, ry, W, H)) {
    ForTargetRows(work, 0, H - 1, [&] {
      return [colour, W, ls = TRowSource(left, a.X0, a.Y0, W),
              rs = TRowSource(right, static_cast<int32_t>(rx), static_cast<int32_t>(ry), W)](int y,
                                                                                           uint8_t* out) mutable {
        if (colour) ColorAnaglyphRow(ls.Row(y), rs.Row(y), out, W);
        else GreyAnaglyphRow(ls.Row(y), rs.Row(y), out, W);
      };
    });
  } else {
    // An area reaching outside a picture: colours through PixelColors, which
    // gives the picture's background outside it.
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* out = work.ScanLine(y);
      for (int32_t x = 0; x < W; ++x) {
        const TColorRef c = left.PixelColors(a.X0 + x, a.Y0 + y);
        const TColorRef d = right.PixelColors(static_cast<int>(rx + x), static_cast<int>(ry + y));
        if (colour) {
          PutColor(out + 3 * x, RGBColor(GetRValue(c), GetGValue(d), GetBValue(d)));
        } else {
          const uint8_t gl = Grey(GetRValue(c), GetGValue(c), GetBValue(c));
          const uint8_t gr = Grey(GetRValue(d), GetGValue(d), GetBValue(d));
          PutColor(out + 3 * x, RGBColor(gl, gr, gr));
        }
      }
    }
  }
  work.Changed();
}

// ------------------------------------------------------------------ field-sequential

void FieldSequentialWorker(TPixelGraphic& left, TPixelGraphic& right, const TCommonArea& a, TPixelGraphic& work,
                           const TStereoProgress& progress) {
  Report(progress, TextCompose, 0);
  PrepareWork(work, a);
  if (work.Empty()) return;
  const int32_t W = a.W, H = a.H;
  const int64_t rx = static_cast<int64_t>(a.X0) - a.Dx, ry = static_cast<int64_t>(a.Y0) - a.Dy;
  const size_t rowBytes = 3 * static_cast<size_t>(W);

  if (Inside(left, a.X0, a.Y0, W, H) && Inside(right, rx, ry, W, H)) {
    ForTargetRows(work, 0, H - 1, [&] {
      return [rowBytes, ls = TRowSource(left, a.X0, a.Y0, W),
              rs = TRowSource(right, static_cast<int32_t>(rx), static_cast<int32_t>(ry), W)](int y,
                                                                                           uint8_t* out) mutable {
        std::memcpy(out, (y % 2 == 0) ? ls.Row(y) : rs.Row(y), rowBytes);
      };
    });
  } else {
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* out = work.ScanLine(y);
      for (int32_t x = 0; x < W; ++x)
        PutColor(out + 3 * x, (y % 2 == 0) ? left.PixelColors(a.X0 + x, a.Y0 + y)
                                           : right.PixelColors(static_cast<int>(rx + x), static_cast<int>(ry + y)));
    }
  }
  work.Changed();
}

// ------------------------------------------------------------------ pair

// Copies the W x H block at (sx, sy) of source to (px, py) of the 24-bit
// target. Blocks inside both images are moved row by row on the library's
// threads (palette rows decoded through a colour table); anything else goes
// through the library's CopyRect, which skips what falls outside.
void CopyArea(TPixelGraphic& target, int64_t px, int64_t py, TPixelGraphic& source, int64_t sx, int64_t sy,
              int32_t w, int32_t h, bool mirrored = false) {
  if (Inside(source, sx, sy, w, h) && Inside(target, px, py, w, h)) {
    const int first = static_cast<int>(py);
    ForTargetRows(
        target, first, first + h - 1,
        [&] {
          return [first, px, w, mirrored, src = TRowSource(source, static_cast<int32_t>(sx), static_cast<int32_t>(sy),
                                                           w)](int y, uint8_t* out) mutable {
            const uint8_t* s = src.Row(y - first);
            uint8_t* d = out + 3 * px;
            if (!mirrored) {
              std::memcpy(d, s, 3 * static_cast<size_t>(w));
            } else {
              for (int32_t x = 0; x < w; ++x) std::memcpy(d + 3 * x, s + 3 * static_cast<size_t>(w - 1 - x), 3);
            }
          };
        },
        true);
    target.Changed();
    return;
  }
  if (w <= 0 || h <= 0) return; // nothing to copy
  if (mirrored) {
    // Copy unmirrored to the mirror position and mirror the whole target.
    const int64_t mx = static_cast<int64_t>(target.Width()) - px - w;
    target.CopyRect(static_cast<int>(mx), static_cast<int>(py), source, static_cast<int>(sy), static_cast<int>(sx), h,
                    w);
    target.MirrorHorizontal();
    return;
  }
  target.CopyRect(static_cast<int>(px), static_cast<int>(py), source, static_cast<int>(sy), static_cast<int>(sx), h, w);
}

std::unique_ptr<TPixelGraphic> PairWorker(int mode, TPixelGraphic& left, TPixelGraphic& right, const TCommonArea& a,
                                          const TStereoProgress& progress) {
  Report(progress, TextCompose, 0);
  const int32_t W = a.W, H = a.H;
  const int64_t lx = a.X0, ly = a.Y0;
  const int64_t rx = static_cast<int64_t>(a.X0) - a.Dx, ry = static_cast<int64_t>(a.Y0) - a.Dy;
  auto t = std::make_unique<TPixelGraphic>();
  switch (mode) {
    case smMirror:
      // The left area lands at (W + 10, 0) and the whole picture is mirrored
      // (column x to 2W + 9 - x): the left area appears mirrored in columns
      // 0..W-1 and the columns W..W+9 stay black; then the right area goes to (W + 10, 0).
      t->SetSize(CheckedSize(2 * static_cast<int64_t>(W) + 10), H, bc24Bit);
      CopyArea(*t, 0, 0, left, lx, ly, W, H, true);
      CopyArea(*t, static_cast<int64_t>(W) + 10, 0, right, rx, ry, W, H);
      break;
    case smLeftRight:
      t->SetSize(CheckedSize(2 * static_cast<int64_t>(W)), H, bc24Bit);
      CopyArea(*t, 0, 0, left, lx, ly, W, H);
      CopyArea(*t, W, 0, right, rx, ry, W, H);
      break;
    case smRightLeft:
      t->SetSize(CheckedSize(2 * static_cast<int64_t>(W)), H, bc24Bit);
      CopyArea(*t, 0, 0, right, rx, ry, W, H);
      CopyArea(*t, W, 0, left, lx, ly, W, H);
      break;
    case smElsa: {
      int64_t f = 0, g = 0;
      if (!ElsaFrame(W, H, f, g)) return nullptr;
      t->SetSize(CheckedSize(2 * f), CheckedSize(g), bc24Bit);
      const int64_t ox = (f - W) / 2, oy = (g - H) / 2;
      CopyArea(*t, ox, oy, left, lx, ly, W, H);
      CopyArea(*t, f + ox, oy, right, rx, ry, W, H);
      break;
    }
    default:
      return nullptr;
  }
  return t;
}

} // namespace

std::string StereoModeCaption(int mode) {
  mode = BaseMode(mode);
  return mode >= 0 && mode < StereoModeCount ? StereoCaptions[mode] : std::string();
}

bool ModeUsesWorkImage(int mode) {
  mode = BaseMode(mode);
  return mode == smRedGreen || mode == smColorAnaglyph || mode == smFieldSequential || ExtraModeUsesWorkImage(mode);
}

long double LineAngle(long double x1, long double y1, long double x2, long double y2) {
  const long double a = x2 - x1, b = y2 - y1;
  if (std::sqrt(a * a + b * b) == 0) return 0;
  const long double f = std::fabs(b) < 1e-15L ? 0.0L : std::atan(a / b) * 57.29577951308L;
  auto sign = [](long double v) -> int { return std::fabs(v) < 1e-15L ? 0 : (v >= 0 ? 1 : -1); };
  const int s1 = sign(b), s2 = sign(a + 1e-8L);
  return f + 180 - 90.0L * (s1 + 1) * s2;
}

TCommonArea CommonArea(int32_t wL, int32_t hL, int32_t wR, int32_t hR, TStereoPoint leftPoint,
                       TStereoPoint rightPoint) {
  // In 64 bits: points from a parameter file are arbitrary 32-bit values.
  const int64_t dx = static_cast<int64_t>(leftPoint.X) - rightPoint.X;
  const int64_t dy = static_cast<int64_t>(leftPoint.Y) - rightPoint.Y;
  const int64_t x0 = std::max<int64_t>(0, dx), y0 = std::max<int64_t>(0, dy);
  const int64_t w = std::min<int64_t>(wL, dx + wR) - x0;
  const int64_t h = std::min<int64_t>(hL, dy + hR) - y0;
  auto clamp32 = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
  };
  TCommonArea r;
  r.Dx = clamp32(dx);
  r.Dy = clamp32(dy);
  r.X0 = clamp32(x0);
  r.Y0 = clamp32(y0);
  r.W = clamp32(w);
  r.H = clamp32(h);
  return r;
}

bool TiltLineDrawn(const TStereoLine& l) {
  const int64_t sum = static_cast<int64_t>(l.X1) + l.Y1 + l.X2 + l.Y2;
  return sum > 0 && (l.X1 != l.X2 || l.Y1 != l.Y2);
}

TTiltLines TiltLinesGiven(const TPairAlignment& p) {
  const bool left = TiltLineDrawn(p.Left.Line), right = TiltLineDrawn(p.Right.Line);
  return left && right ? tlBoth : left ? tlLeftOnly : right ? tlRightOnly : tlNone;
}

bool TiltDifference(const TPairAlignment& p, long double& delta) {
  const TSideAlignment &l = p.Left, &r = p.Right;
  const bool turnGiven = l.TurnPoint.X > 0 && l.TurnPoint.Y > 0 && r.TurnPoint.X > 0 && r.TurnPoint.Y > 0;
  const bool linesGiven = TiltLinesGiven(p) == tlBoth;
  if (!turnGiven && !linesGiven) return false;
  long double aL = 0, aR = 0;
  if (turnGiven) {
    aL = LineAngle(l.Point.X, l.Point.Y, l.TurnPoint.X, l.TurnPoint.Y);
    aR = LineAngle(r.Point.X, r.Point.Y, r.TurnPoint.X, r.TurnPoint.Y);
  }
  if (linesGiven) {
    aL = LineAngle(l.Line.X1, l.Line.Y1, l.Line.X2, l.Line.Y2);
    aR = LineAngle(r.Line.X1, r.Line.Y1, r.Line.X2, r.Line.Y2);
  }
  delta = aR - aL;
  return true;
}

std::unique_ptr<TPixelGraphic> TiltCompensated(TPixelGraphic& right, const TPairAlignment& alignment,
                                               const TStereoProgress& progress, const TPGProgressEvent& rowProgress) {
  long double delta = 0;
  if (!TiltDifference(alignment, delta)) return nullptr;
  // D: the right picture's size, resolution, palette and settings, every
  // pixel its background colour, interpolating. The turn reads the right
  // picture itself; its pixels are not copied into D first, and fresh pixel
  // memory is already the usual black background.
  auto d = std::make_unique<TPixelGraphic>();
  d->AssignFormat(&right);
  if (d->BackGroundColor() != 0) d->Clear();
  d->SetInterpolate(true);
  Report(progress, TextTilt, 0);
  const int32_t cx = alignment.Right.Point.X, cy = alignment.Right.Point.Y;
  d->OnProgress = rowProgress;
  d->Rotate(cx, cy, right, right.Height(), right.Width(), 0, 0, cy, cx, delta);
  d->OnProgress = nullptr;
  return d;
}

bool CompensateTilt(std::unique_ptr<TPixelGraphic>& right, const TPairAlignment& alignment,
                    const TStereoProgress& progress, const TPGProgressEvent& rowProgress) {
  if (!right) return false;
  std::unique_ptr<TPixelGraphic> d = TiltCompensated(*right, alignment, progress, rowProgress);
  if (!d) return false;
  right = std::move(d);
  return true;
}

bool ElsaFrame(int64_t w, int64_t h, int64_t& f, int64_t& g) {
  if (w <= 640 && h <= 480) {
    f = 640;
    g = 480;
    return true;
  }
  if (w == 0) return false;
  // H / W >= 0.75, decided exactly in integers (the sign of W flips the comparison).
  const bool tall = w > 0 ? 4 * h >= 3 * w : 4 * h <= 3 * w;
  if (tall) {
    g = h;
    f = 4 * h / 3; // H x 1.3333333333333333 truncated
  } else {
    f = w;
    g = 3 * w / 4; // W x 0.75 truncated
  }
  return true;
}

bool AnaglyphRowsOf(int mode, const TCommonArea& area, TAnaglyphRows& rows) {
  const int base = BaseMode(mode);
  if (base != smRedGreen && base != smColorAnaglyph) return false;
  rows.Colour = base == smColorAnaglyph;
  rows.Swapped = SwapsEyes(mode);
  rows.Area = rows.Swapped ? SwappedArea(area) : area;
  return true;
}

void AnaglyphRow(bool colour, const uint8_t* left, const uint8_t* right, uint8_t* out, int32_t w) {
  if (colour) ColorAnaglyphRow(left, right, out, w);
  else GreyAnaglyphRow(left, right, out, w);
}

TStereoResult ComposeStereo(int mode, TPixelGraphic& left, TPixelGraphic& right, const TCommonArea& area,
                            TPixelGraphic& work, const TStereoProgress& progress) {
  if (SwapsEyes(mode))
    return ComposeStereo(BaseMode(mode), right, left, SwappedArea(area), work, progress);
  TStereoResult result;
  if ((&work == &left || &work == &right) && ModeUsesWorkImage(mode)) {
    // Resizing the work image would destroy an input: compose into a
    // temporary and take that over.
    TPixelGraphic temp;
    ComposeStereo(mode, left, right, area, temp, progress);
    work.Assign(&temp);
    result.Image = &work;
    return result;
  }
  switch (mode) {
    case smRedGreen:
    case smColorAnaglyph:
      AnaglyphWorker(mode == smColorAnaglyph, left, right, area, work, progress);
      result.Image = &work;
      break;
    case smFieldSequential:
      FieldSequentialWorker(left, right, area, work, progress);
      result.Image = &work;
      break;
    case smMirror:
    case smLeftRight:
    case smRightLeft:
    case smElsa:
      result.Owned = PairWorker(mode, left, right, area, progress);
      result.Image = result.Owned.get();
      break;
    default:
      result = ComposeExtraMode(mode, left, right, area, work, progress);
      break;
  }
  return result;
}
