// Painting the view: background, tiles and mirroring, the display copy and
// its worker, the progress clocks.
#include <cmath>

#include <QPaintEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QScopedValueRollback>

#include "pgraphic/view/imageview.h"
#include "pgraphic/view/screencopy.h"
#include "pgraphic/view/viewplatform.h"

namespace {

int CeilDiv(int a, int b) { return (a + b - 1) / b; } // a >= 0, b > 0

} // namespace

// The viewport is the view's client area: its paint is the view's paint.
bool TPGImage::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::Paint) {
    PaintWindow(static_cast<QPaintEvent*>(event));
    return true;
  }
  return QAbstractScrollArea::viewportEvent(event);
}

bool TPGImage::event(QEvent* event) {
  if (auto* e = TPGPaintResultEvent::Cast(event)) {
    // A copy made from a picture the view no longer holds is dropped.
    if (e->Generation == FImageGeneration) InstallPaintPixelGraphic(std::move(e->Result));
    return true;
  }
  if (const auto* e = TPGPaintProgressEvent::Cast(event)) {
    FClockStep = e->Result.Step;
    FClockPercent = e->Result.Percent;
    // Only the clocks change: repaint their squares at once.
    QRegion region;
    for (const QRect& r : ProgressClockRects()) region += r;
    if (!region.isEmpty()) viewport()->repaint(region);
    return true;
  }
  return QAbstractScrollArea::event(event);
}

void TPGImage::PaintWindow(QPaintEvent* event) {
  QPainter painter(viewport());
  painter.setClipRegion(event->region());
  const QScopedValueRollback<QPainter*> canvas(FCanvas, &painter);
  Paint();
}

void TPGImage::Paint() {
  if (FRearranging || !FCanvas) return;
  QPainter& canvas = *FCanvas;
  const QRect R = PicBoxRect();
  const int cw = FClientW, ch = FClientH;
  TPixelGraphic* G = nullptr;
  bool useCopy = false;
  try {
    useCopy = UpdatePaintPixelGraphic();
  } catch (...) {
  }
  G = useCopy ? FPaintGraphic.get() : FImage.get();
  if (G && G->Empty()) G = nullptr;
  const bool partial = useCopy && !G && FPartialGraphic && FImage && !FImage->Empty();
  if (OnPainting) OnPainting(this);
  // OnPaint at the end, also when drawing failed.
  const auto paintDone = qScopeGuard([this] {
    if (OnPaint) OnPaint(this);
  });
  const QRegion clipRegion = canvas.clipRegion();
  if (FTiling == tNone || !G) {
    if (R.top() > 0) canvas.fillRect(QRect(0, 0, cw, R.top()), FColor);
    if (R.top() + R.height() < ch) canvas.fillRect(QRect(0, R.top() + R.height(), cw, ch - R.top() - R.height()), FColor);
    if (R.left() > 0) canvas.fillRect(QRect(0, 0, R.left(), ch), FColor);
    if (R.left() + R.width() < cw) canvas.fillRect(QRect(R.left() + R.width(), 0, cw - R.left() - R.width(), ch), FColor);
  }
  if (partial) {
    DrawPartialPicture(clipRegion.isEmpty() ? QRegion(0, 0, cw, ch) : clipRegion);
  } else if (G) {
    // DrawToDC samples only the paint region's own rectangles, so thin strips
    // (the selection frame) cost what they cover.
    DrawPicture(clipRegion.isEmpty() ? QRect(0, 0, cw, ch) : clipRegion.boundingRect(), *G);
  } else {
    canvas.setPen(QPen(FPicBoxFrameColor, 0));
    canvas.setBrush(PicBoxColor());
    if (R.width() > 0 && R.height() > 0) canvas.drawRect(R.adjusted(0, 0, -1, -1));
    DrawProgressClocks();
  }
}

// The tiles of the picture around and in the picture box that meet clip.
void TPGImage::DrawPicture(const QRect& clip, TPixelGraphic& g) {
  QPainter& canvas = *FCanvas;
  const QRect R = PicBoxRect();
  const int w = R.width(), h = R.height();
  if (w <= 0 || h <= 0) return; // nothing to draw, and no tile ranges
  const int cw = FClientW, ch = FClientH;
  const int rTop = R.top(), rLeft = R.left(), rBottom = R.top() + h, rRight = R.left() + w;
  int r0 = 0, r1 = 0, c0 = 0, c1 = 0;
  if (FTiling != tNone) {
    if (rTop > 0) r0 = -CeilDiv(rTop, h);
    if (ch > rBottom) r1 = CeilDiv(ch - rBottom, h);
    if (rLeft > 0) c0 = -CeilDiv(rLeft, w);
    if (cw > rRight) c1 = CeilDiv(cw - rRight, w);
  }
  const int clipLeft = clip.left(), clipTop = clip.top(), clipRight = clip.left() + clip.width(),
            clipBottom = clip.top() + clip.height();
  const bool mirrorCols = FTiling == tMirrorHorizontal || FTiling == tMirror;
  const bool mirrorRows = FTiling == tMirrorVertical || FTiling == tMirror;
  bool first = true;
  for (int r = r0; r <= r1; ++r) {
    for (int c = c0; c <= c1; ++c) {
      int tl = rLeft + c * w, tt = rTop + r * h, tr = tl + w, tb = tt + h;
      if (!(tb >= clipTop && tr >= clipLeft && tt <= clipBottom && tl <= clipRight)) continue;
      const bool fh = FFlipHorizontal != (mirrorCols && (c & 1) != 0);
      const bool fv = FFlipVertical != (mirrorRows && (r & 1) != 0);
      if (fh) {
        std::swap(tl, tr);
        --tl;
        --tr;
      }
      if (fv) {
        std::swap(tt, tb);
        --tt;
        --tb;
      }
      // Each palette is realised once per paint.
      g.SetNoRealize(!first);
      first = false;
      pgview::DrawGraphic(g, canvas, tl, tt, tr, tb);
    }
  }
  g.SetNoRealize(false);
}

// The part of the display copy made ahead: drawn as made; what lies outside
// it (scrolled into view before the whole copy is in) is drawn from the
// image by the device, nearest pixel, as smFast draws.
void TPGImage::DrawPartialPicture(const QRegion& clip) {
  QPainter& canvas = *FCanvas;
  const QRect part = FPartialRect.translated(PicBoxRect().topLeft());
  const QRegion rest = clip - part;
  if (!rest.isEmpty()) {
    canvas.save();
    canvas.setClipRegion(rest);
    DrawPicture(rest.boundingRect(), *FImage);
    canvas.restore();
  }
  if (clip.intersects(part))
    pgview::DrawGraphic(*FPartialGraphic, canvas, part.left(), part.top(), part.left() + part.width(),
                        part.top() + part.height());
}

// A view that makes its display copies on its own thread (UseThread off) and
// is asked for a large one (four screens and more): the part of the picture
// box the view shows is made now, with the pixels the whole copy has there
// (the same sampling records: the part is the whole copy's rectangle,
// clipped), and the whole copy on the worker. A zoom step on a 24-megapixel
// photograph thus shows its smoothed frame after a fraction of the copy's
// time, and the final pixels are the whole copy's. Only for untiled,
// unmirrored views on true-colour screens (palette copies dither in row
// order); false where it does not apply.
bool TPGImage::MakePartialPaintGraphic(TPixelGraphic& source, int pbW, int pbH) {
  FPartialGraphic.reset();
  if (FUseThread || FReduceOnLoad || FTiling != tNone || FFlipHorizontal || FFlipVertical) return false;
  const QRect box = PicBoxRect();
  const QRect shown = box.intersected(QRect(0, 0, FClientW, FClientH)).translated(-box.topLeft());
  if (shown.isEmpty() || int64_t{pbW} * pbH < 4 * int64_t{shown.width()} * shown.height() ||
      int64_t{pbW} * pbH < (int64_t{2} << 20))
    return false;
  auto part = std::make_unique<TPixelGraphic>();
  part->SetSize(shown.width(), shown.height(), bc24Bit);
  part->SetStretchMode(FStretchMode);
  part->StretchCopy(-shown.left(), -shown.top(), source, source.Height(), source.Width(), 0, 0, pbH, pbW);
  FPartialGraphic = std::move(part);
  FPartialRect = shown;
  return true;
}

bool TPGImage::UpdatePaintPixelGraphic() {
  TPixelGraphic* S = FImage.get();
  const int D = pgview::ScreenBitsPerPixel();
  const int B = S ? S->BitCountNum() : 0;
  const int pbW = FPicW, pbH = FPicH;
  FStale = FStale || (FStretchMode != smFast && !FReduceOnLoad && (FPaintW != pbW || FPaintH != pbH));
  bool need = false;
  bool resample = false;
  if (S) {
    resample = FStretchMode != smFast && (pbW != S->Width() || pbH != S->Height());
    // An enlargement to a picture box far beyond any screen (a zoom kept from
    // a small picture when a large one arrives) would cost a copy of up to
    // 2 GB and seconds on every paint: it is drawn straight from the image,
    // stretched by the device, as with smFast.
    if (resample && int64_t{pbW} * pbH > MaxEnlargedPaintPixels && int64_t{pbW} * pbH > int64_t{S->Width()} * S->Height())
      resample = false;
    need = (B > D && D <= 8) || resample;
    if (B <= 8 && D <= 8) {
      if (D == 4)
        need = need || (S->PaletteIdent() != pSys16 && (!FReduceOnLoad || FStale));
      else
        need = need || (FPalette8BitSys8BitGraphic != pSource && FPalette8BitSys8BitGraphic != S->PaletteIdent() &&
                        (!FReduceOnLoad || FStale));
    }
  }
  if ((FPaintGraphic || FPartialGraphic) && (!need || (FStale && !(FKeepOldPaintPixelGraphic && FUseThread)))) {
    StopWorker();
    FPaintGraphic.reset();
    FPartialGraphic.reset();
  }
  if (!need) return false;
  if (!FStale && (FPaintGraphic || !FWorker->Terminated())) return true;
  StopWorker();
  if (!(FKeepOldPaintPixelGraphic && FUseThread)) FPaintGraphic.reset();
  try {
    FClockStep = 1;
    FClockPercent = 0;
    FWorker = std::make_unique<TCreatePaintPGThread>(); // inert until the new one is set up
    TPGPaintSettings settings;
    // A large copy for a view without thread: the part on screen now, the
    // whole copy on a worker all the same.
    const bool thread = FUseThread || (D > 8 && resample && MakePartialPaintGraphic(*S, pbW, pbH));
    settings.PostMessages = thread;
    if (!thread)
      settings.ResultHandler = [this](std::unique_ptr<TPixelGraphic> target) { InstallPaintPixelGraphic(std::move(target)); };
    settings.ViewWindow = this;
    settings.Source = S;
    TPixelGraphic* stretchSource = S;
    std::unique_ptr<TPixelGraphic> inter;
    if (FAllow24BitStretch && resample && D == 8 && FPalette8BitSys24BitGraphic == pOptimized252Sys16) {
      inter = std::make_unique<TPixelGraphic>();
      try {
        inter->SetSize(pbW, pbH, bc24Bit);
      } catch (const EPixelGraphic&) {
        inter->SetSize(1, 1, bc24Bit);
      }
      inter->SetStretchMode(FStretchMode);
      settings.PreStretch = true;
      stretchSource = inter.get();
    }
    auto target = std::make_unique<TPixelGraphic>();
    const uint8_t bits = PGScreenBitCount(D);
    // The size first, then the palette: sizing discards the old one.
    const int tw = FStretchMode != smFast ? pbW : FImageW;
    const int th = FStretchMode != smFast ? pbH : FImageH;
    try {
      target->SetSize(tw, th, bits);
    } catch (const EPixelGraphic&) {
      target->SetSize(1, 1, bits);
    }
    FPaintW = tw;
    FPaintH = th;
    settings.Optimize =
        PGSetScreenPalette(*target, *stretchSource, D, FPalette8BitSys24BitGraphic, FPalette8BitSys8BitGraphic);
    target->SetStretchMode(FStretchMode);
    target->SetDither(FDither);
    target->SetDitherErrorLimit(FDitherErrorLimit);
    target->SetDitherErrorLimitAuto(FDitherErrorLimitAuto);
    target->SetDitherErrorLimitSoft(FDitherErrorLimitSoft);
    target->SetRGBWeighting(FRGBWeighting);
    FWorker = std::make_unique<TCreatePaintPGThread>(settings, std::move(target), std::move(inter));
    FWorker->SetGeneration(FImageGeneration);
    FStale = false;
    if (thread)
      FWorker->Resume();
    else
      FWorker->Body();
  } catch (...) {
  }
  return true;
}

void TPGImage::InstallPaintPixelGraphic(std::unique_ptr<TPixelGraphic> target) {
  if (!target) return;
  // A copy a stopped worker posted just before it was stopped was made for
  // an earlier picture-box size: the current worker's copy follows.
  if (!FReduceOnLoad && (target->Width() != FPaintW || target->Height() != FPaintH)) return;
  FPartialGraphic.reset();
  if (FReduceOnLoad) {
    StopWorker();
    FImage.reset();
    FPaintGraphic.reset();
    target->OnProgress = nullptr;
    HookImage(*target, true);
    FImage = std::move(target);
  } else {
    target->OnProgress = nullptr;
    FPaintGraphic = std::move(target);
  }
  RequestPaletteRealization();
  Invalidate();
}

std::vector<QRect> TPGImage::ProgressClockRects() const {
  std::vector<QRect> rects;
  if (!FProgressClockVisible) return rects;
  const QRect R = PicBoxRect();
  const int w = R.width(), h = R.height();
  const int right = R.left() + w, bottom = R.top() + h;
  if (w > 20 && h > 20) rects.emplace_back(R.left() + w / 2 - 7, R.top() + h / 2 - 7, 15, 15);
  if (FProgress5Clocks && w > 100 && h > 100) {
    rects.emplace_back(R.left() + 5, R.top() + 5, 15, 15);
    rects.emplace_back(right - 20, R.top() + 5, 15, 15);
    rects.emplace_back(R.left() + 5, bottom - 20, 15, 15);
    rects.emplace_back(right - 20, bottom - 20, 15, 15);
  }
  return rects;
}

void TPGImage::DrawProgressClocks() {
  if (!FProgressClockVisible || !FCanvas) return;
  for (const QRect& r : ProgressClockRects())
    PGDrawProgressClock(*FCanvas, r.left(), r.top(), FClockStep, FClockPercent, FProgressClockLineColor,
                        FProgressClockBkColor);
}
