#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <QColor>
#include <QCursor>

#include "app/core/stereo_core.h"
#include "app/desktop/edithistory.h"

class QObject;
class QPainter;
class QTimer;
class TPGImage;

// What a press on a photograph does: the work mode of the tool bar.
enum class TAlignmentInput { None, Points, Lines };

// What the alignment tool asks of the window it works in.
class TAlignmentToolHost {
public:
  virtual ~TAlignmentToolHost() = default;
  // The photograph view of the active tab (left or right); null on any other.
  virtual TPGImage* ActiveAlignmentView() const = 0;
  virtual TAlignmentInput AlignmentInput() const = 0;
  // The dashes march only while the window is the active one; the light
  // dashes have the window's colour.
  virtual bool AlignmentWindowActive() const = 0;
  virtual QColor AlignmentWindowColor() const = 0;
  // The picture position under the mouse (status bar).
  virtual void ShowAlignmentPosition(int x, int y) = 0;
};

// The pair's alignment and its input on the two photograph views: identical
// points and second points by click (Ctrl + click), tilt lines by drag, the
// markers and the marching tilt line drawn over the pictures, and the timer
// that moves the dashes. The views call it for painting, mouse and cursor;
// it keeps the alignment in picture coordinates and repaints only the pixels
// it changes.
//
// Every change the tool makes, by mouse or by SetSide/SetPair, is announced
// to OnChanging before it happens, with the parts it touches and its caption
// (the pair is still as it was): one announcement per click that moves a
// point, one per tilt line drawn (at the press).
class TAlignmentTool {
public:
  // timerParent owns the animation timer ("Timer1", 100 ms, stopped).
  TAlignmentTool(TAlignmentToolHost& host, QObject* timerParent);
  ~TAlignmentTool();
  TAlignmentTool(const TAlignmentTool&) = delete;
  TAlignmentTool& operator=(const TAlignmentTool&) = delete;

  // The views of the left and the right photograph.
  void SetViews(TPGImage* left, TPGImage* right);

  // ------------------------------------------------------------ the alignment
  TPairAlignment& Pair() { return FPair; }
  // The side shown by view (left or right photograph); null for any other.
  TSideAlignment* SideOf(const TPGImage* view);
  TEditPart PartOf(const TPGImage* view) const { return view == FLeft ? epLeft : epRight; }
  // Sets a side, or both, as the user's input would: OnChanging hears of it
  // first, then the views repaint.
  void SetSide(TEditPart part, const TSideAlignment& side, const std::string& caption);
  void SetPair(const TPairAlignment& pair, const std::string& caption);
  std::function<void(unsigned parts, const std::string& caption)> OnChanging;

  // ------------------------------------------------------------ view events
  void MouseDown(TPGImage* view, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
  void MouseMove(TPGImage* view, int x, int y);
  void MouseUp();
  void Paint(TPGImage* view, QPainter& canvas);
  void SetCursor(QCursor& cursor) const;
  // A view's progress pauses the animation.
  void ProgressStart();
  void ProgressEnd();

  // ------------------------------------------------------------ the animation
  QTimer* Timer() const { return FTimer; }
  // One step: the phase moves on and the active side's line is drawn with it.
  void TimerTick();
  void DrawMarchingLines();
  void ResetAnimation();
  uint8_t AnimationPhase() const { return FAnimationPhase; }

  bool LineDragging() const { return FLineDragging; }
  TPGImage* LineView() const { return FLineView; }
  const QCursor& LineCursor() const { return FLineCursor; }
  const QCursor& TargetCursor() const { return FTargetCursor; }

private:
  // Repaints the pixels of a tilt line (picture coordinates) on view at once.
  void RepaintLine(TPGImage* view, const TStereoLine& line, const TStereoLine* also = nullptr);
  void Changing(unsigned parts, const std::string& caption);

  TAlignmentToolHost& FHost;
  TPGImage *FLeft = nullptr, *FRight = nullptr;
  TPairAlignment FPair;
  bool FLineDragging = false;
  TPGImage* FLineView = nullptr;
  QCursor FLineCursor, FTargetCursor;
  QTimer* FTimer = nullptr;
  uint8_t FAnimationPhase = 128;
  // The pattern the marching line starts with (the animation's last phase).
  uint8_t FAnimationPattern = 128;
  bool FProgressRunning = false;
};
