// The main window's side of alignment: the view events bound to the
// alignment tool (alignmenttool.h), what the tool asks of the window, and the
// crop of any view.
#include <QTabWidget>
#include <QToolButton>

#include "app/core/crop.h"
#include "app/desktop/mainform.h"
#include "pgraphic/core/pixelgraphic.h"
#include "platform/messagebox.h"

void TMain::BindAlignmentEvents() {
  FAlignTool->SetViews(FImLinks, FImRechts);
  // Every change of the alignment is a step of the history.
  FAlignTool->OnChanging = [this](unsigned parts, const std::string& caption) { AlignmentChanging(parts, caption); };
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

// ------------------------------------------------------------ the tool's host

TPGImage* TMain::ActiveAlignmentView() const {
  QWidget* page = ActivePage();
  return page == FTabSheet1 ? FImLinks : page == FTabSheet2 ? FImRechts : nullptr;
}

TAlignmentInput TMain::AlignmentInput() const {
  if (BtLock->isChecked()) return TAlignmentInput::Points;
  if (BtLine->isChecked()) return TAlignmentInput::Lines;
  return TAlignmentInput::None;
}

bool TMain::AlignmentWindowActive() const { return isActiveWindow(); }

QColor TMain::AlignmentWindowColor() const { return palette().color(QPalette::Window); }

void TMain::ShowAlignmentPosition(int x, int y) { ShowProgress(std::to_string(x) + "," + std::to_string(y), 0); }

// ------------------------------------------------------------ view events

void TMain::ImPicBoxOnMouseDown(TPGImage* view, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
  FAlignTool->MouseDown(view, button, shift, x, y);
}

void TMain::ImPicBoxOnMouseMove(TPGImage* view, Qt::KeyboardModifiers, int x, int y) {
  FAlignTool->MouseMove(view, x, y);
}

void TMain::ImPicBoxOnMouseUp(TPGImage*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { FAlignTool->MouseUp(); }

void TMain::ImPicBoxOnPaint(TPGImage* view, QPainter& canvas) { FAlignTool->Paint(view, canvas); }

void TMain::ImLinksPicBoxOnSetCursor(TPGImage*, QCursor& cursor) { FAlignTool->SetCursor(cursor); }

void TMain::ImPixelGraphicProgressStart() { FAlignTool->ProgressStart(); }

void TMain::ImPixelGraphicProgressEnd() { FAlignTool->ProgressEnd(); }

void TMain::Timer1Timer() { FAlignTool->TimerTick(); }

void TMain::DrawMarchingLines() { FAlignTool->DrawMarchingLines(); }

// ------------------------------------------------------------ the crop

void TMain::ImSelectionMade(TPGImage* view) {
  const TPixelGraphic* src = view->PixelGraphicNoWait();
  if (!src) return;
  // Only the part of the frame on the picture is cut out: a frame dragged
  // into the grey around it is held to the picture, and shown so before the
  // question.
  const QRect frame = view->SelectionRect().intersected(QRect(0, 0, src->Width(), src->Height()));
  // A frame of a few screen pixels is a slip (a click, a twitch), no crop:
  // it goes without a question.
  constexpr int kMinCropPixels = 4;
  const int64_t shownW = int64_t{view->ImageToViewX(frame.x() + frame.width())} - view->ImageToViewX(frame.x());
  const int64_t shownH = int64_t{view->ImageToViewY(frame.y() + frame.height())} - view->ImageToViewY(frame.y());
  if (frame.isEmpty() || shownW < kMinCropPixels || shownH < kMinCropPixels) {
    view->SetSelection(false);
    return;
  }
  if (frame != view->SelectionRect()) view->SetSelectionRect(frame.x(), frame.y(), frame.width(), frame.height());
  if (platform::MessageBox("Bild beschneiden?", "Bereich markiert", platform::TMsgButtons::YesNo,
                           platform::TMsgIcon::Question) != platform::mrYes)
    return;
  // The new picture is built aside; a failure leaves the view as it was.
  auto cropped = CropPicture(*src, frame.x(), frame.y(), frame.width(), frame.height());
  view->SetSelection(false);
  std::unique_ptr<TPixelGraphic> before = view->ExchangePixelGraphic(std::move(cropped));
  TSideAlignment* side = FAlignTool->SideOf(view);
  PictureEdited(view, std::make_unique<TPictureStep>(PartOf(view), "Beschneiden", std::move(before), side));
  if (side) *side = TSideAlignment{};
  view->Invalidate();
}
