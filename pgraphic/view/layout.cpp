#include "pgraphic/view/layout.h"

#include <algorithm>

#include "pgraphic/core/intmath.h"

TPGFit PGFitInside(int imageW, int imageH, int availW, int availH) {
  const long double rA = static_cast<long double>(availW) / availH;
  const long double rI = static_cast<long double>(imageW) / imageH;
  if (rA >= rI) {
    const int w = static_cast<int>(availH * rI);
    return {w, availH, static_cast<long double>(availH) / imageH};
  }
  const int h = static_cast<int>(availW / rI);
  return {availW, h, static_cast<long double>(availW) / imageW};
}

TPGFit PGFitLongerEdge(int imageW, int imageH, int availW, int availH, int ext) {
  const TPGFit inside = PGFitInside(imageW, imageH, availW, availH);
  if (inside.Width >= availW - ext && inside.Height >= availH - ext) return inside;
  const long double rA = static_cast<long double>(availW) / availH;
  const long double rI = static_cast<long double>(imageW) / imageH;
  if (rA > rI) {
    // The width fills the view beside a vertical bar.
    const int w = availW - ext;
    return {w, static_cast<int>(w / rI), static_cast<long double>(w) / imageW};
  }
  const int h = availH - ext;
  return {static_cast<int>(h * rI), h, static_cast<long double>(h) / imageH};
}

TPGScrollState PGScrollState(int availW, int availH, int ext, int boxRight, int boxBottom) {
  TPGScrollState s;
  int cw = availW, ch = availH;
  for (int i = 0; i < 2; ++i) {
    if (!s.Horz && boxRight > cw) {
      s.Horz = true;
      ch -= ext;
    }
    if (!s.Vert && boxBottom > ch) {
      s.Vert = true;
      cw -= ext;
    }
  }
  s.ClientWidth = std::max(cw, 0);
  s.ClientHeight = std::max(ch, 0);
  s.HorzMax = s.Horz ? std::max(boxRight - s.ClientWidth, 0) : 0;
  s.VertMax = s.Vert ? std::max(boxBottom - s.ClientHeight, 0) : 0;
  return s;
}

namespace {

// The picture box's size and the zoom by the stretch rule.
TPGFit Stretched(const TPGLayoutInput& in) {
  const int iw = in.ImageWidth, ih = in.ImageHeight, aw = in.AvailWidth, ah = in.AvailHeight;
  const int ext = in.ScrollBarExtent;
  const TPGFit unchanged{iw, ih, 1.0L};
  if (iw <= 0 || ih <= 0 || aw <= 0 || ah <= 0) return unchanged;
  const auto inside = [&] { return PGFitInside(iw, ih, aw, ah); };
  const auto longerEdge = [&] { return PGFitLongerEdge(iw, ih, aw, ah, ext); };
  // At 1:1 the picture would need both scroll bars.
  const bool needsBothBars = (iw > aw && ih > ah - ext) || (iw > aw - ext && ih > ah);
  switch (in.Stretch) {
    case sNeverKAR:
      return unchanged;
    case sAlways:
      return {aw, ah, -1.0L};
    case sAlwaysKAR:
      return inside();
    case sShrink: {
      TPGFit f = unchanged;
      if (iw > aw) f = {aw, f.Height, -1.0L};
      if (ih > ah) f = {f.Width, ah, -1.0L};
      return f;
    }
    case sShrinkKAR:
      return iw > aw || ih > ah ? inside() : unchanged;
    case sEnlarge: {
      // The room left beside the bar the other edge needs.
      const int c = iw > aw ? ah - ext : ah;
      const int d = ih > ah ? aw - ext : aw;
      TPGFit f = unchanged;
      if (iw < d) f = {d, f.Height, -1.0L};
      if (ih < c) f = {f.Width, c, -1.0L};
      return f;
    }
    case sEnlargeKAR:
      return iw < aw && ih < ah ? inside() : unchanged;
    case sAlwaysLongerEdgeKAR:
      return longerEdge();
    case sShrinkLongerEdgeKAR:
      return needsBothBars ? longerEdge() : unchanged;
    case sEnlargeShrinkLongerEdgeKAR:
      if (iw < aw && ih < ah) return inside();
      return needsBothBars ? longerEdge() : unchanged;
    case sEnlargeLongerEdgeKAR:
      return iw < aw || ih < ah ? longerEdge() : unchanged;
    case sZoomKAR: {
      const long double zoom = in.ZoomFactor > 0 ? in.ZoomFactor : 1.0L;
      return {static_cast<int>(pg::RoundHalfEven(iw * zoom)), static_cast<int>(pg::RoundHalfEven(ih * zoom)), zoom};
    }
  }
  return unchanged;
}

} // namespace

TPGLayout PGLayout(const TPGLayoutInput& in) {
  TPGLayout l;
  const TPGFit fit = Stretched(in);
  l.Width = fit.Width;
  l.Height = fit.Height;
  l.Zoom = fit.Zoom;
  const int ext = in.ScrollBarExtent;
  if (in.Center) {
    // The room beside the bars the picture needs, then centred in it.
    int c = in.AvailHeight, d = in.AvailWidth;
    for (int i = 0; i < 2; ++i) {
      if (d < l.Width && !l.CenterHorz) {
        c -= ext;
        l.CenterHorz = true;
      }
      if (l.Height > c && !l.CenterVert) {
        d -= ext;
        l.CenterVert = true;
      }
    }
    if (c > l.Height) l.Top = (c - l.Height) / 2;
    if (d > l.Width) l.Left = (d - l.Width) / 2;
  }
  const int w = std::max(l.Width, 0), h = std::max(l.Height, 0);
  l.Scroll = PGScrollState(in.AvailWidth, in.AvailHeight, ext, l.Left + w, l.Top + h);
  if (in.Center) {
    if (l.CenterHorz) l.HorzPosition = std::clamp((l.Width - l.Scroll.ClientWidth) / 2, 0, l.Scroll.HorzMax);
    if (l.CenterVert) l.VertPosition = std::clamp((l.Height - l.Scroll.ClientHeight) / 2, 0, l.Scroll.VertMax);
  }
  return l;
}
