#include "pgraphic/view/imageview.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QApplication>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include "pgraphic/core/intmath.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/view/companions.h"
#include "pgraphic/view/hourglass.h"

// ============================================================ construction

TPGImage::TPGImage(QWidget* parent) : QAbstractScrollArea(parent) {
  const QPalette pal = palette();
  FColor = pal.color(QPalette::Button);                 // clBtnFace
  FPicBoxFrameColor = pal.color(QPalette::Dark);        // clBtnShadow
  FProgressClockBkColor = pal.color(QPalette::Button);
  FProgressClockLineColor = pal.color(QPalette::Dark);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  horizontalScrollBar()->setSingleStep(8);
  verticalScrollBar()->setSingleStep(8);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAutoFillBackground(false);
  viewport()->setMouseTracking(true);
  viewport()->setObjectName(QStringLiteral("ViewClient"));
  FPicBox = new TPicBox(this);
  FWorker = std::make_unique<TCreatePaintPGThread>();
  SetBorderStyle(bsSingle);
  SetBounds(x(), y(), 100, 100);
  // Another primary screen may have another depth: make the display copy again.
  if (qGuiApp) connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, &TPGImage::DisplayChanged);
}

TPGImage::~TPGImage() {
  StopWorker();
  FWorker.reset();
  // The image's events point back at the view: free it before anything else.
  FImage.reset();
  FPaintGraphic.reset();
}

void TPGImage::StopWorker() {
  FWorker->Terminate();
  FWorker->WaitFor();
  // The part made ahead lives only as long as the worker making the whole.
  FPartialGraphic.reset();
}

int TPGImage::Border() const {
  if (FBorderStyle != bsSingle) return 0;
  return FCtl3D ? 2 : 1;
}

int TPGImage::ScrollBarExtent() const {
  return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

void TPGImage::SetBorderStyle(TBorderStyle v) {
  FBorderStyle = v;
  if (v == bsNone) {
    setFrameStyle(QFrame::NoFrame);
  } else if (FCtl3D) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
  } else {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
  }
  SetBounds(x(), y(), width(), height());
}

void TPGImage::SetCtl3D(bool v) {
  FCtl3D = v;
  SetBorderStyle(FBorderStyle);
}

// ============================================================ image

void TPGImage::HookImage(TPixelGraphic& image, bool withChange) {
  image.OnProgressStart = [this](TObject* sender) {
    if (OnPixelGraphicProgressStart) OnPixelGraphicProgressStart(sender);
  };
  image.OnProgress = [this](TObject* sender, int step, int max, bool& abort) {
    if (OnPixelGraphicProgress) OnPixelGraphicProgress(sender, step, max, abort);
  };
  image.OnProgressEnd = [this](TObject* sender) {
    if (OnPixelGraphicProgressEnd) OnPixelGraphicProgressEnd(sender);
  };
  if (withChange)
    image.OnChange = [this](TObject*) {
      ++FImageGeneration;
      PixelGraphicChanged();
    };
}

// The display copy of the old image: kept (stale) while a new one is made
// when KeepOldPaintPixelGraphic and UseThread are both on, else freed.
void TPGImage::DropPaintGraphicForNewImage() {
  if (FKeepOldPaintPixelGraphic && FUseThread)
    FStale = true;
  else
    FPaintGraphic.reset();
}

std::unique_ptr<TPixelGraphic> TPGImage::ReplaceImage(std::unique_ptr<TPixelGraphic> image) {
  StopWorker();
  ++FImageGeneration;
  std::unique_ptr<TPixelGraphic> old = std::move(FImage);
  if (old) {
    old->OnProgressStart = nullptr;
    old->OnProgress = nullptr;
    old->OnProgressEnd = nullptr;
    old->OnChange = nullptr;
  }
  DropPaintGraphicForNewImage();
  if (image) {
    HookImage(*image, true);
    FImage = std::move(image);
  }
  PixelGraphicChanged();
  return old;
}

TPixelGraphic* TPGImage::PixelGraphic() {
  StopWorker();
  return FImage.get();
}

void TPGImage::SetPixelGraphic(const TPixelGraphic* graphic) {
  std::unique_ptr<TPixelGraphic> copy;
  if (graphic) {
    copy = std::make_unique<TPixelGraphic>();
    copy->Assign(graphic);
  }
  ReplaceImage(std::move(copy));
}

void TPGImage::AdoptPixelGraphic(std::unique_ptr<TPixelGraphic> graphic) { ReplaceImage(std::move(graphic)); }

void TPGImage::AdoptLoadedPixelGraphic(std::unique_ptr<TPixelGraphic> graphic, const std::string& fileName) {
  FFileName = fileName;
  ReplaceImage(std::move(graphic));
}

std::unique_ptr<TPixelGraphic> TPGImage::ExchangePixelGraphic(std::unique_ptr<TPixelGraphic> graphic) {
  return ReplaceImage(std::move(graphic));
}

std::unique_ptr<TPixelGraphic> TPGImage::CopyPixelGraphic() {
  StopWorker();
  auto copy = std::make_unique<TPixelGraphic>();
  copy->Assign(FImage.get());
  return copy;
}

void TPGImage::SetFileName(const std::string& name) {
  FFileName.clear();
  TPGHourGlass hourGlass(FShowHourGlass);
  StopWorker();
  ++FImageGeneration;
  FImage.reset();
  DropPaintGraphicForNewImage();
  const size_t slash = name.find_last_of('/');
  const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  if (!base.empty()) {
    try {
      auto image = std::make_unique<TPixelGraphic>();
      image->SetReadWarningAction(FReadWarningAction);
      image->SetBackGroundColor(FBackGroundColor);
      HookImage(*image, false);
      image->LoadFileImage(name, 0);
      HookImage(*image, true);
      FImage = std::move(image);
    } catch (...) {
      hourGlass.Restore();
      PixelGraphicChanged();
      throw;
    }
  }
  FFileName = name;
  hourGlass.Restore();
  PixelGraphicChanged();
}

void TPGImage::SaveToFile(const std::string& name) {
  if (!FImage) throw EPGEmpty(GetMessage1(msgIsEmpty, "PixelGraphic"));
  FImage->SetSaveColorResWarningAction(FSaveColorResWarningAction);
  FImage->SaveToFile(name);
  FFileName = name;
}

// ============================================================ image-change handling and layout

void TPGImage::PixelGraphicChanged() {
  StopWorker();
  FImageW = FImage ? FImage->Width() : 0;
  FImageH = FImage ? FImage->Height() : 0;
  const int b = Border();
  const int ext = ScrollBarExtent();
  int w = FImageW + 2 * b, h = FImageH + 2 * b;
  bool hs = false, vs = false;
  for (int i = 0; i < 2; ++i) {
    if (FAutoSizeMaxWidth < w && !hs) {
      h += ext;
      hs = true;
    }
    if (FAutoSizeMaxHeight < h && !vs) {
      w += ext;
      vs = true;
    }
  }
  const int nw = std::max(std::min(w, FAutoSizeMaxWidth), FAutoSizeMinWidth);
  const int nh = std::max(std::min(h, FAutoSizeMaxHeight), FAutoSizeMinHeight);
  if (OnNewAutoSize) OnNewAutoSize(this, nw, nh);
  FStale = true;
  if (FAutoSize && (nw != width() || nh != height()))
    SetBounds(x(), y(), nw, nh);
  else
    Rearrange(false);
  if (OnPixelGraphicChange) OnPixelGraphicChange(this);
}

void TPGImage::SetBounds(int left, int top, int width, int height) {
  SetPicBoxBounds(0, 0, 0, 0);
  FLaidOutSize = QSize(std::max(width, 0), std::max(height, 0));
  setGeometry(left, top, width, height);
  Rearrange(true);
}

void TPGImage::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (size() != FLaidOutSize) {
    // A resize from outside (layouts, the window) is a SetBounds as well.
    SetPicBoxBounds(0, 0, 0, 0);
    FLaidOutSize = size();
    Rearrange(true);
  }
}

int TPGImage::HPos() const { return horizontalScrollBar()->value(); }
int TPGImage::VPos() const { return verticalScrollBar()->value(); }
void TPGImage::SetHPos(int v) { horizontalScrollBar()->setValue(v); }
void TPGImage::SetVPos(int v) { verticalScrollBar()->setValue(v); }

QRect TPGImage::PicBoxRect() const { return QRect(FPicLeft - HPos(), FPicTop - VPos(), FPicW, FPicH); }

bool TPGImage::Scrollable() const {
  return (FClientW < FPicW && FHsVisible) || (FClientH < FPicH && FVsVisible);
}

void TPGImage::SetPicBoxBounds(int left, int top, int width, int height) {
  FPicLeft = left;
  FPicTop = top;
  FPicW = std::max(width, 0);
  FPicH = std::max(height, 0);
  UpdateScrollBars();
}

// The scroll bars by the scroll box rules (PGScrollState); the picture box
// sits at minus the position.
void TPGImage::UpdateScrollBars() {
  const int b = Border();
  const int ext = ScrollBarExtent();
  const int availW = width() - 2 * b, availH = height() - 2 * b;
  const TPGScrollState scroll = PGScrollState(availW, availH, ext, FPicLeft + FPicW, FPicTop + FPicH);
  const bool hs = scroll.Horz, vs = scroll.Vert;
  FHsVisible = hs;
  FVsVisible = vs;
  FClientW = scroll.ClientWidth;
  FClientH = scroll.ClientHeight;
  {
    const QScopedValueRollback<bool> inScrollUpdate(FInScrollUpdate, true);
    setHorizontalScrollBarPolicy(hs ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(vs ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    horizontalScrollBar()->setRange(0, scroll.HorzMax);
    horizontalScrollBar()->setPageStep(std::max(FClientW, 1));
    verticalScrollBar()->setRange(0, scroll.VertMax);
    verticalScrollBar()->setPageStep(std::max(FClientH, 1));
  }
  FPicBox->setGeometry(FPicLeft - HPos(), FPicTop - VPos(), FPicW, FPicH);
}

void TPGImage::scrollContentsBy(int, int) {
  if (FInScrollUpdate) return;
  FPicBox->move(FPicLeft - HPos(), FPicTop - VPos());
  if (!FRearranging) viewport()->update();
}

void TPGImage::Rearrange(bool force) {
  const int b = Border();
  TPGLayoutInput in;
  in.Stretch = FStretch;
  in.ImageWidth = FImageW;
  in.ImageHeight = FImageH;
  in.AvailWidth = width() - 2 * b;
  in.AvailHeight = height() - 2 * b;
  in.ScrollBarExtent = ScrollBarExtent();
  in.ZoomFactor = FZoomFactor;
  in.Center = FCenter;
  const TPGLayout layout = PGLayout(in);
  if (layout.Zoom != FZoom) {
    FZoom = layout.Zoom;
    if (OnZoomFactorChange) OnZoomFactorChange(this);
  }
  const int left = layout.Left, top = layout.Top, outW = layout.Width, outH = layout.Height;
  const bool hs = layout.CenterHorz, vs = layout.CenterVert;
  bool needed = FPicW != outW || FPicH != outH;
  if (!needed && (FRearrangeAlways || force)) {
    const QRect r = PicBoxRect();
    needed = r.left() != left || r.top() != top;
    if (!needed) {
      if (FCenter)
        needed = (hs && HPos() != (outW - FClientW) / 2) || (vs && VPos() != (outH - FClientH) / 2);
      else
        needed = HPos() != 0 || VPos() != 0;
    }
  }
  if (needed) {
    const QScopedValueRollback<bool> rearranging(FRearranging, true);
    SetHPos(0);
    SetVPos(0);
    SetPicBoxBounds(left, top, outW, outH);
    if (FCenter) {
      if (hs) SetHPos((outW - FClientW) / 2);
      if (vs) SetVPos((outH - FClientH) / 2);
    }
  }
  RequestPaletteRealization();
  Invalidate();
}

void TPGImage::Invalidate() {
  viewport()->update();
  // Transparent companion controls lying on the picture repaint with it.
  for (QObject* child : viewport()->children())
    if (auto* companion = dynamic_cast<TPGCompanion*>(child)) companion->Invalidate();
}

// ============================================================ coordinates

namespace {
// v * num div den with a 64-bit product (a 32-bit one wraps from about 46,000
// pixels at zoom 1), held within the integer range for values far outside
// the picture.
int Scale(int v, int num, int den) {
  const int64_t r = static_cast<int64_t>(v) * num / den;
  return static_cast<int>(std::clamp<int64_t>(r, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}
} // namespace

int TPGImage::ImageToViewX(int x) const { return FImageW <= 0 ? 0 : Scale(x, FPicW, FImageW); }
int TPGImage::ImageToViewY(int y) const { return FImageH <= 0 ? 0 : Scale(y, FPicH, FImageH); }
int TPGImage::ViewToImageX(int x) const { return FPicW <= 0 ? 0 : Scale(x, FImageW, FPicW); }
int TPGImage::ViewToImageY(int y) const { return FPicH <= 0 ? 0 : Scale(y, FImageH, FPicH); }

// ============================================================ properties

void TPGImage::SetActionMode(TActionMode v) {
  if (v == FActionMode) return;
  FActionMode = v;
  Invalidate();
}

#define PG_CHANGE_SETTER(Name, Type)  \
  void TPGImage::Set##Name(Type v) {  \
    if (v == F##Name) return;         \
    F##Name = v;                      \
    PixelGraphicChanged();            \
  }
PG_CHANGE_SETTER(Allow24BitStretch, bool)
PG_CHANGE_SETTER(Dither, bool)
PG_CHANGE_SETTER(Palette8BitSys24BitGraphic, TPaletteIdent)
PG_CHANGE_SETTER(Palette8BitSys8BitGraphic, TPaletteIdent)
PG_CHANGE_SETTER(RGBWeighting, bool)
PG_CHANGE_SETTER(StretchMode, TStretchMode)
#undef PG_CHANGE_SETTER

void TPGImage::SetAutoSize(bool v) {
  FAutoSize = v;
  PixelGraphicChanged();
}

#define PG_AUTOSIZE_SETTER(Name)     \
  void TPGImage::Set##Name(int v) {  \
    if (v == F##Name) return;        \
    F##Name = v;                     \
    if (FAutoSize) PixelGraphicChanged(); \
  }
PG_AUTOSIZE_SETTER(AutoSizeMaxHeight)
PG_AUTOSIZE_SETTER(AutoSizeMinHeight)
PG_AUTOSIZE_SETTER(AutoSizeMaxWidth)
PG_AUTOSIZE_SETTER(AutoSizeMinWidth)
#undef PG_AUTOSIZE_SETTER

#define PG_DITHER_SETTER(Name, Type) \
  void TPGImage::Set##Name(Type v) { \
    if (v == F##Name) return;        \
    F##Name = v;                     \
    if (FDither) PixelGraphicChanged(); \
  }
PG_DITHER_SETTER(DitherErrorLimit, uint8_t)
PG_DITHER_SETTER(DitherErrorLimitAuto, bool)
PG_DITHER_SETTER(DitherErrorLimitSoft, bool)
#undef PG_DITHER_SETTER

void TPGImage::SetCenter(bool v) {
  if (v == FCenter) return;
  FCenter = v;
  Rearrange(true);
}

void TPGImage::SetStretch(TStretch v) {
  if (v == FStretch) return;
  FStretch = v;
  Rearrange(true);
}

void TPGImage::SetZoomFactor(long double v) {
  if (v == FZoomFactor) return;
  FZoomFactor = v;
  Rearrange(true);
}

void TPGImage::SetColor(const QColor& v) {
  FColor = v;
  Invalidate();
}

void TPGImage::SetFlipHorizontal(bool v) {
  if (v == FFlipHorizontal) return;
  FFlipHorizontal = v;
  Invalidate();
}

void TPGImage::SetFlipVertical(bool v) {
  if (v == FFlipVertical) return;
  FFlipVertical = v;
  Invalidate();
}

void TPGImage::SetTiling(TTiling v) {
  if (v == FTiling) return;
  FTiling = v;
  Invalidate();
}

void TPGImage::SetUseThread(bool v) {
  if (v == FUseThread) return;
  StopWorker();
  FUseThread = v;
  FStale = true;
  Invalidate();
}

QColor TPGImage::PicBoxColor() const { return FPicBox->palette().color(QPalette::Window); }

void TPGImage::SetPicBoxColor(const QColor& v) {
  QPalette p = FPicBox->palette();
  p.setColor(QPalette::Window, v);
  FPicBox->setPalette(p);
  Invalidate();
}

void TPGImage::SetPicBoxCursor(const QCursor& v) {
  FPicBoxCursor = v;
  UpdateCursorUnderMouse();
}

void TPGImage::SetViewCursor(const QCursor& v) {
  FViewCursor = v;
  UpdateCursorUnderMouse();
}

QString TPGImage::PicBoxHint() const { return FPicBox->toolTip(); }
void TPGImage::SetPicBoxHint(const QString& v) { FPicBox->setToolTip(v); }
int TPGImage::PicBoxTag() const { return FPicBox->Tag; }
void TPGImage::SetPicBoxTag(int v) { FPicBox->Tag = v; }

void TPGImage::DisplayChanged() {
  FStale = true;
  Invalidate();
}
