// Alignment input on the left and right views: the view events the main
// window binds, the tilt-line animation timer and the crop. The mouse input
// of identical points, second points and tilt lines, the markers and the
// marching tilt lines are drawn here.
#include <QTimer>
#include <QToolButton>

#include "app/desktop/mainform.h"

void TMain::BindAlignmentEvents() {
  for (TPGImage* view : {FImLinks, FImRechts}) {
    view->PicBoxOnMouseDown = [this, view](TObject*, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x,
                                           int y) { Guarded([&] { ImPicBoxOnMouseDown(view, button, shift, x, y); }); };
    view->PicBoxOnMouseMove = [this, view](TObject*, Qt::MouseButtons, Qt::KeyboardModifiers shift, int x, int y) {
      Guarded([&] { ImPicBoxOnMouseMove(view, shift, x, y); });
    };
    view->PicBoxOnMouseUp = [this, view](TObject*, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x,
                                         int y) { Guarded([&] { ImPicBoxOnMouseUp(view, button, shift, x, y); }); };
    view->PicBoxOnPaint = [this, view](TObject*, QPainter& canvas) { ImPicBoxOnPaint(view, canvas); };
    view->PicBoxOnSetCursor = [this, view](TObject*, QCursor& cursor) { ImLinksPicBoxOnSetCursor(view, cursor); };
    view->OnPixelGraphicProgressStart = [this](TObject*) { ImPixelGraphicProgressStart(); };
    view->OnPixelGraphicProgressEnd = [this](TObject*) { ImPixelGraphicProgressEnd(); };
  }
  for (TPGImage* view : {FImLinks, FImRechts, FImStereo})
    view->OnSelectionMade = [this, view](TObject*) { Guarded([&] { ImSelectionMade(view); }); };
}

void TMain::ImPicBoxOnMouseDown(TPGImage*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}

void TMain::ImPicBoxOnMouseMove(TPGImage*, Qt::KeyboardModifiers, int x, int y) {
  ShowProgress(std::to_string(x) + "," + std::to_string(y), 0);
}

void TMain::ImPicBoxOnMouseUp(TPGImage*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}

void TMain::ImPicBoxOnPaint(TPGImage*, QPainter&) {}

void TMain::ImLinksPicBoxOnSetCursor(TPGImage*, QCursor& cursor) {
  if (BtLine->isChecked())
    cursor = FLineCursor;
  else if (BtLock->isChecked())
    cursor = FTargetCursor;
}

void TMain::ImPixelGraphicProgressStart() { FTimer1->stop(); }

void TMain::ImPixelGraphicProgressEnd() { FTimer1->start(); }

void TMain::ImSelectionMade(TPGImage*) {}

void TMain::Timer1Timer() {
  FAnimationPhase = static_cast<uint8_t>(FAnimationPhase >> 2);
  if (FAnimationPhase == 0) FAnimationPhase = 128;
}
