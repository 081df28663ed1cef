#pragma once

#include <array>
#include <climits>
#include <functional>
#include <memory>
#include <string>

#include <QAbstractScrollArea>
#include <QBrush>
#include <QColor>
#include <QCursor>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/view/layout.h"
#include "pgraphic/view/paintworker.h"

class QMenu;
class QPainter;
class QTimer;
class TPGImage;

enum TActionMode : uint8_t {
  amMoveImage,
  amMoveResizeCreateSelection,
  amMoveSelection,
  amMoveSelectionMoveImage,
  amCreateSelection,
  amNone,
};

enum TTiling : uint8_t { tNone, tRepeat, tMirrorHorizontal, tMirrorVertical, tMirror };

enum TBorderStyle : uint8_t { bsNone, bsSingle };

// Drag states of the mouse interaction; 2..11 are the selection states.
enum TPGDragState : uint8_t {
  dsNone,
  dsMoveImage,
  dsMoveSelection,
  dsCreateSelection,
  dsResizeTopLeft,
  dsResizeTop,
  dsResizeTopRight,
  dsResizeLeft,
  dsResizeRight,
  dsResizeBottomLeft,
  dsResizeBottom,
  dsResizeBottomRight,
};

using TRGB = uint32_t; // 0..16777215, a COLORREF

using TPGINewAutoSizeEvent = std::function<void(TObject* sender, int pgImageWidth, int pgImageHeight)>;
// The handler may replace the cursor about to be set.
using TPGSetCursorEvent = std::function<void(TObject* sender, QCursor& cursor)>;
using TPGMouseEvent =
    std::function<void(TObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)>;
using TPGMouseMoveEvent =
    std::function<void(TObject* sender, Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y)>;
// Paint handlers draw over the picture through the painter they are given.
using TPGPaintEvent = std::function<void(TObject* sender, QPainter& canvas)>;

// The picture box: the view's only child, placed and sized by the layout
// rules. It paints no background of its own (the view has painted the
// picture beneath it); its paint draws the selection frame and then calls
// PicBoxOnPaint. Mouse coordinates are its own (0,0 = top-left pixel shown).
class TPicBox : public QWidget, public TObject {
  Q_OBJECT
public:
  explicit TPicBox(TPGImage* view);
  // The painter of the running paint event, null outside it.
  QPainter* Canvas() const { return FCanvas; }
  int Tag = 0;

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

private:
  TPGImage* FView;
  QPainter* FCanvas = nullptr;
  bool FClickCandidate = false;
};

// The image view: a scroll area holding one picture box that shows one
// TPixelGraphic, laid out by stretch rule, zoom and centring, painted with an
// optional display copy made by a worker thread, with an animated selection
// and mouse dragging of picture and selection.
class TPGImage : public QAbstractScrollArea, public TObject {
  Q_OBJECT
  friend class TPicBox;

public:
  explicit TPGImage(QWidget* parent = nullptr);
  ~TPGImage() override;

  // ------------------------------------------------------------ image
  // Stops the worker and returns the shown image (the view keeps it).
  TPixelGraphic* PixelGraphic();
  // Stores a copy of graphic (null empties the view).
  void SetPixelGraphic(const TPixelGraphic* graphic);
  // The view takes graphic itself.
  void AdoptPixelGraphic(std::unique_ptr<TPixelGraphic> graphic);
  // The view takes graphic, loaded by the caller from fileName, as a load
  // through FileName that succeeded leaves it (FileName included). A caller
  // that must not lose the shown picture when a load fails loads aside and
  // hands the picture over only on success.
  void AdoptLoadedPixelGraphic(std::unique_ptr<TPixelGraphic> graphic, const std::string& fileName);
  // The view takes graphic itself and hands its previous image back (no
  // longer connected to the view; null when it had none), so a caller can
  // reuse its pixel memory.
  std::unique_ptr<TPixelGraphic> ExchangePixelGraphic(std::unique_ptr<TPixelGraphic> graphic);
  // Stops the worker; the caller owns the copy (null without image).
  std::unique_ptr<TPixelGraphic> CopyPixelGraphic();
  // The image without stopping the worker, for reading on the window thread
  // (the worker only reads it too); changes go through PixelGraphic().
  const TPixelGraphic* PixelGraphicNoWait() const { return FImage.get(); }
  bool Empty() const { return !FImage; }
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& name);
  virtual void SaveToFile(const std::string& name);

  // ------------------------------------------------------------ geometry
  TPicBox* PicBox() const { return FPicBox; }
  // The view's painter during its paint (view client coordinates), else null.
  QPainter* Canvas() const { return FCanvas; }
  long double CurrentZoomFactor() const { return FZoom; }
  int ImageToViewX(int x) const;
  int ImageToViewY(int y) const;
  int ViewToImageX(int x) const;
  int ViewToImageY(int y) const;
  QPoint ViewToImage(QPoint p) const { return QPoint(ViewToImageX(p.x()), ViewToImageY(p.y())); }
  // Moves and resizes the view, then lays the picture out again.
  void SetBounds(int left, int top, int width, int height);
  int ClientWidth() const { return FClientW; }
  int ClientHeight() const { return FClientH; }
  // The picture box's rectangle in view client coordinates (scrolled).
  QRect PicBoxRect() const;
  // Repaints the whole view (and the controls lying on it).
  void Invalidate();
  // Scroll extent of the style (the vertical bar's width, the horizontal bar's height).
  int ScrollBarExtent() const;

  // ------------------------------------------------------------ selection
  QRect SelectionRect() const;     // image pixels, right/bottom exclusive
  QRect SelectionViewRect() const; // picture-box coordinates, right/bottom exclusive
  void SetSelectionRect(int left, int top, int width, int height);
  TPGDragState DragState() const { return FDragState; }
  uint8_t AnimationCounter() const { return FAnimCounter; }
  // One step of the selection animation (the 50 ms timer calls it).
  void AnimationStep();
  // One step of the auto-scroll timer during a selection drag.
  void AutoScrollStep();
  bool AutoScrollActive() const { return FAutoScrollTimer != nullptr; }
  bool AnimationActive() const { return FAnimTimer != nullptr; }
  // The cursor rules over the view at a point in view client coordinates.
  QCursor CursorAt(QPoint clientPos);

  // ------------------------------------------------------------ painting
  // Draws the view; the paint event calls it with Canvas() set.
  virtual void Paint();
  bool UpdatePaintPixelGraphic();
  void DrawProgressClocks();
  // The display copy and its state, for inspection.
  const TPixelGraphic* PaintPixelGraphic() const { return FPaintGraphic.get(); }
  // The largest picture box (in pixels) an enlarged picture gets a resampled
  // display copy for; beyond it the image is drawn directly.
  static constexpr int64_t MaxEnlargedPaintPixels = int64_t{16} << 20;
  bool PaintPixelGraphicStale() const { return FStale; }
  // While a large display copy is made on the worker for a view that makes
  // its copies on its own thread (UseThread off): the part of it the view
  // showed when the copy was asked for, made at once with the same pixels,
  // and its place in the picture box. Null once the whole copy is in.
  const TPixelGraphic* PartialPaintPixelGraphic() const { return FPartialGraphic.get(); }
  QRect PartialPaintRect() const { return FPartialRect; }
  TCreatePaintPGThread& PaintThread() { return *FWorker; }
  int ClockStep() const { return FClockStep; }
  int ClockPercent() const { return FClockPercent; }
  // The rectangles of the clocks DrawProgressClocks draws, in view client coordinates.
  std::vector<QRect> ProgressClockRects() const;
  // The screen's colour depth changed: the copy is made again.
  void DisplayChanged();

  // ------------------------------------------------------------ properties
#define PG_PROP(Type, Name, Init)                 \
public:                                           \
  Type Name() const { return F##Name; }           \
                                                  \
private:                                          \
  Type F##Name = Init;                            \
                                                  \
public:
  PG_PROP(TActionMode, ActionMode, amMoveImage)
  void SetActionMode(TActionMode v);
  PG_PROP(bool, Allow24BitStretch, false)
  void SetAllow24BitStretch(bool v);
  PG_PROP(bool, AutoSize, false)
  void SetAutoSize(bool v);
  PG_PROP(int, AutoSizeMaxHeight, INT_MAX)
  void SetAutoSizeMaxHeight(int v);
  PG_PROP(int, AutoSizeMinHeight, 0)
  void SetAutoSizeMinHeight(int v);
  PG_PROP(int, AutoSizeMaxWidth, INT_MAX)
  void SetAutoSizeMaxWidth(int v);
  PG_PROP(int, AutoSizeMinWidth, 0)
  void SetAutoSizeMinWidth(int v);
  PG_PROP(TRGB, BackGroundColor, 0)
  void SetBackGroundColor(TRGB v) { FBackGroundColor = v; }
  PG_PROP(TBorderStyle, BorderStyle, bsSingle)
  void SetBorderStyle(TBorderStyle v);
  PG_PROP(bool, Ctl3D, true)
  void SetCtl3D(bool v);
  PG_PROP(bool, Center, false)
  void SetCenter(bool v);
  PG_PROP(QColor, Color, QColor())
  void SetColor(const QColor& v);
  PG_PROP(bool, Dither, true)
  void SetDither(bool v);
  PG_PROP(uint8_t, DitherErrorLimit, 32)
  void SetDitherErrorLimit(uint8_t v);
  PG_PROP(bool, DitherErrorLimitAuto, true)
  void SetDitherErrorLimitAuto(bool v);
  PG_PROP(bool, DitherErrorLimitSoft, true)
  void SetDitherErrorLimitSoft(bool v);
  PG_PROP(bool, FlipHorizontal, false)
  void SetFlipHorizontal(bool v);
  PG_PROP(bool, FlipVertical, false)
  void SetFlipVertical(bool v);
  PG_PROP(bool, KeepOldPaintPixelGraphic, false)
  void SetKeepOldPaintPixelGraphic(bool v) { FKeepOldPaintPixelGraphic = v; }
  PG_PROP(TPaletteIdent, Palette8BitSys24BitGraphic, pOptimized252Sys16)
  void SetPalette8BitSys24BitGraphic(TPaletteIdent v);
  PG_PROP(TPaletteIdent, Palette8BitSys8BitGraphic, pOptimized252Sys16)
  void SetPalette8BitSys8BitGraphic(TPaletteIdent v);
  PG_PROP(QColor, PicBoxFrameColor, QColor())
  void SetPicBoxFrameColor(const QColor& v) { FPicBoxFrameColor = v; }
  PG_PROP(bool, Progress5Clocks, true)
  void SetProgress5Clocks(bool v) { FProgress5Clocks = v; }
  PG_PROP(QColor, ProgressClockBkColor, QColor())
  void SetProgressClockBkColor(const QColor& v) { FProgressClockBkColor = v; }
  PG_PROP(QColor, ProgressClockLineColor, QColor())
  void SetProgressClockLineColor(const QColor& v) { FProgressClockLineColor = v; }
  PG_PROP(bool, ProgressClockVisible, true)
  void SetProgressClockVisible(bool v) { FProgressClockVisible = v; }
  PG_PROP(bool, RGBWeighting, true)
  void SetRGBWeighting(bool v);
  PG_PROP(bool, RearrangeAlways, false)
  void SetRearrangeAlways(bool v) { FRearrangeAlways = v; }
  PG_PROP(bool, ReduceOnLoad, false)
  void SetReduceOnLoad(bool v) { FReduceOnLoad = v; }
  PG_PROP(bool, Selection, false)
  void SetSelection(bool v);
  PG_PROP(QColor, SelectionColor1, QColor(255, 255, 255))
  void SetSelectionColor1(const QColor& v);
  PG_PROP(QColor, SelectionColor2, QColor(255, 0, 0))
  void SetSelectionColor2(const QColor& v);
  PG_PROP(int, SelectionLeft, 0)
  void SetSelectionLeft(int v) { SetSelectionRect(v, FSelectionTop, FSelectionWidth, FSelectionHeight); }
  PG_PROP(int, SelectionTop, 0)
  void SetSelectionTop(int v) { SetSelectionRect(FSelectionLeft, v, FSelectionWidth, FSelectionHeight); }
  PG_PROP(int, SelectionWidth, 1)
  void SetSelectionWidth(int v) { SetSelectionRect(FSelectionLeft, FSelectionTop, v, FSelectionHeight); }
  PG_PROP(int, SelectionHeight, 1)
  void SetSelectionHeight(int v) { SetSelectionRect(FSelectionLeft, FSelectionTop, FSelectionWidth, v); }
  PG_PROP(bool, ShowHourGlass, true)
  void SetShowHourGlass(bool v) { FShowHourGlass = v; }
  PG_PROP(TStretch, Stretch, sNeverKAR)
  void SetStretch(TStretch v);
  PG_PROP(TStretchMode, StretchMode, smFast)
  void SetStretchMode(TStretchMode v);
  PG_PROP(TTiling, Tiling, tNone)
  void SetTiling(TTiling v);
  PG_PROP(bool, UseThread, true)
  void SetUseThread(bool v);
  PG_PROP(TPGWarningAction, ReadWarningAction, pgwaOKCancelBox)
  void SetReadWarningAction(TPGWarningAction v) { FReadWarningAction = v; }
  PG_PROP(TPGWarningAction, SaveColorResWarningAction, pgwaOKCancelBox)
  void SetSaveColorResWarningAction(TPGWarningAction v) { FSaveColorResWarningAction = v; }
  PG_PROP(long double, ZoomFactor, 1.0L)
  void SetZoomFactor(long double v);
#undef PG_PROP

  // The picture box's own properties, read and written through the view.
  QColor PicBoxColor() const;
  void SetPicBoxColor(const QColor& v);
  QCursor PicBoxCursor() const { return FPicBoxCursor; }
  void SetPicBoxCursor(const QCursor& v);
  QString PicBoxHint() const;
  void SetPicBoxHint(const QString& v);
  QMenu* PicBoxPopupMenu() const { return FPicBoxPopupMenu; }
  void SetPicBoxPopupMenu(QMenu* v) { FPicBoxPopupMenu = v; }
  int PicBoxTag() const;
  void SetPicBoxTag(int v);
  // The view's own cursor (over its area outside the picture box).
  QCursor ViewCursor() const { return FViewCursor; }
  void SetViewCursor(const QCursor& v);

  // ------------------------------------------------------------ events
  TPGINewAutoSizeEvent OnNewAutoSize;
  TNotifyEvent OnPaint;
  TNotifyEvent OnPainting;
  TNotifyEvent OnPixelGraphicChange;
  TPGProgressEvent OnPixelGraphicProgress;
  TNotifyEvent OnPixelGraphicProgressStart;
  TNotifyEvent OnPixelGraphicProgressEnd;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnSelectionMade;
  TPGSetCursorEvent OnSetCursor;
  TPGSetCursorEvent PicBoxOnSetCursor;
  TNotifyEvent OnZoomFactorChange;
  TNotifyEvent PicBoxOnClick;
  TNotifyEvent PicBoxOnDblClick;
  TPGMouseEvent PicBoxOnMouseDown;
  TPGMouseMoveEvent PicBoxOnMouseMove;
  TPGMouseEvent PicBoxOnMouseUp;
  TPGPaintEvent PicBoxOnPaint;

protected:
  bool event(QEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mouseMoveEvent(QMouseEvent* event) override;

private:
  // Layout (imageview.cpp).
  int Border() const;
  void StopWorker();
  void PixelGraphicChanged();
  void Rearrange(bool force);
  void ApplyResize();
  void SetPicBoxBounds(int left, int top, int width, int height);
  void UpdateScrollBars();
  void HookImage(TPixelGraphic& image, bool withChange);
  std::unique_ptr<TPixelGraphic> ReplaceImage(std::unique_ptr<TPixelGraphic> image);
  void DropPaintGraphicForNewImage();
  void RequestPaletteRealization() {}
  int HPos() const;
  int VPos() const;
  void SetHPos(int v);
  void SetVPos(int v);
  bool Scrollable() const;

  // Painting (imageview_paint.cpp).
  void PaintWindow(QPaintEvent* event);
  void InstallPaintPixelGraphic(std::unique_ptr<TPixelGraphic> target);
  void DrawPicture(const QRect& clip, TPixelGraphic& g);

  // Selection and mouse (imageview_selection.cpp).
  void InvalidateSelectionFrame(QRegion& region) const;
  void DrawSelection(QPainter& painter);
  void PicBoxMouseDown(Qt::MouseButton button, QPoint p);
  void PicBoxMouseMove(QPoint p);
  void PicBoxMouseUp(Qt::MouseButton button);
  int HandleAt(QPoint p) const; // -1 or index into the handle table
  void FreePatternBrushes();
  QCursor PicBoxCursorAt(QPoint p);
  void UpdateCursorUnderMouse();

  std::unique_ptr<TPixelGraphic> FImage;
  std::unique_ptr<TPixelGraphic> FPaintGraphic;
  std::unique_ptr<TPixelGraphic> FPartialGraphic;
  QRect FPartialRect;
  bool MakePartialPaintGraphic(TPixelGraphic& source, int pbW, int pbH);
  void DrawPartialPicture(const QRegion& clip);
  std::unique_ptr<TCreatePaintPGThread> FWorker;
  // Counts the pictures the view has held (a new one, or the one it holds
  // changed in place); display copies made from an earlier one are dropped.
  uint64_t FImageGeneration = 0;
  TPicBox* FPicBox = nullptr;
  QPainter* FCanvas = nullptr;
  std::string FFileName;
  int FImageW = 0, FImageH = 0;
  long double FZoom = 1.0L;
  bool FRearranging = false;
  // Picture-box bounds before scrolling, the scroll-bar state and client size.
  int FPicLeft = 0, FPicTop = 0, FPicW = 0, FPicH = 0;
  bool FHsVisible = false, FVsVisible = false;
  int FClientW = 0, FClientH = 0;
  QSize FLaidOutSize;
  bool FInScrollUpdate = false;
  // Display copy.
  bool FStale = true;
  int FPaintW = 0, FPaintH = 0;
  int FClockStep = 1, FClockPercent = 0;
  // Selection and dragging.
  TPGDragState FDragState = dsNone;
  QPoint FDragStart, FGrab, FAnchor;
  uint8_t FAnimCounter = 0;
  QTimer* FAnimTimer = nullptr;
  QTimer* FAutoScrollTimer = nullptr;
  std::array<QBrush, 8> FPatternBrushes;
  bool FPatternsBuilt = false;
  QCursor FPicBoxCursor;
  QCursor FViewCursor;
  QMenu* FPicBoxPopupMenu = nullptr;
};
