// The stereo command: the pair's pictures through the compose pipeline into
// the stereo view, with the progress window and the status bar.
#include <utility>

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <QLabel>
#include <QTabWidget>

#include "app/core/compose.h"
#include "app/desktop/mainform.h"
#include "app/desktop/forms/progressform.h"
#include "pgraphic/view/hourglass.h"

void TMain::ShowProgress(const std::string& text, int percent, bool paintNow) {
  const QString t = QString::fromStdString(text);
  FStatusText->setText(t);
  // The window thread is busy: both are repainted now, not by the event loop.
  if (paintNow && FStatusText->isVisible()) FStatusText->repaint();
  if (FForm2) FForm2->ShowProgress(t, percent, paintNow);
}

void TMain::ShowProgressWindow() {
  FForm2->show();
  // A window the window system has not exposed yet cannot be painted, and
  // ShowProgress paints while the event loop waits. Exposing it takes a round
  // trip to the window system: wait for it (without taking user input), but
  // not for long.
  QElapsedTimer waited;
  waited.start();
  do
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
  while (FForm2->windowHandle() && !FForm2->windowHandle()->isExposed() && waited.elapsed() < 250);
}

void TMain::MIberechnenClick(QObject* sender) {
  const int tag = TagOf(sender);
  // 1. While the command runs only the status bar and the progress window are
  // painted. A synchronous repaint paints everything of the window that is due,
  // and the tabs would be due at once (the main window loses the activation
  // to the progress window, the stereo view gets its new picture before the
  // last report): the tabs are painted once, by the event loop, when the
  // command has returned.
  FPageControl1->setUpdatesEnabled(false);
  ShowProgressWindow();
  TPGHourGlass hourGlass;

  // The mode is the command's from the first report after the tilt
  // compensation on (a failed compensation leaves the last mode as it was).
  bool tookMode = false;
  auto takeMode = [&] {
    if (tookMode) return;
    tookMode = true;
    FLastStereoMode = tag;
    const std::string caption = StereoModeCaption(tag);
    if (!caption.empty()) FPageControl1->setTabText(FPageControl1->indexOf(FTabSheet3), QString::fromStdString(caption));
  };
  TComposeProgress progress;
  progress.Report = [&](const std::string& text, int percent) {
    if (text != "Verkantung ausgleichen") takeMode();
    // The last report ends the window thread's work: the progress window is
    // hidden right after it and the event loop paints the status bar, so a
    // synchronous paint would only show a frame nobody sees (a tenth of the
    // fastest modes' time).
    ShowProgress(text, percent, text != TextFinished);
  };
  // The modes ModeUsesWorkImage names (0, 2, 3 and newer ones) leave their
  // result in the work image. The work image itself goes to the stereo view
  // (nothing reads a result back from the work image, and a 24-megapixel copy
  // would cost more than the composition itself); the view's previous picture
  // becomes the work image until the new result is shown. The other modes'
  // new image goes to the view after the
  // pipeline has returned it.
  auto store = [&](TPixelGraphic& result) {
    if (&result != FWorkImage.get()) return;
    std::unique_ptr<TPixelGraphic> previous = FImStereo->ExchangePixelGraphic(std::move(FWorkImage));
    FWorkImage = previous ? std::move(previous) : std::make_unique<TPixelGraphic>();
  };

  const TPixelGraphic* shownBefore = FImStereo->PixelGraphicNoWait();
  std::exception_ptr failure;
  bool computed = false;
  try {
    // 2.-7. The pictures are only read; the turned copy is the pipeline's.
    TPixelGraphic empty;
    TPixelGraphic* left = FImLinks->PixelGraphic();
    TPixelGraphic* right = FImRechts->PixelGraphic();
    const int mode = BilderVertauschen1->isChecked() ? tag | smSwapEyes : tag;
    TStereoResult result = ComposePictures(mode, left ? *left : empty, right ? *right : empty, FAlignTool->Pair(),
                                           *FWorkImage, progress, store, FSettings.CropWedges);
    takeMode();
    if (result.Owned) FImStereo->AdoptPixelGraphic(std::move(result.Owned));
    // 8.
    FForm2->hide();
    SetActivePage(FTabSheet3);
    UpdateControls();
    computed = true;
    ReportOneTiltLine();
  } catch (const EComposeFailed& e) {
    if (e.Step() != csTilt) takeMode();
    failure = e.Error();
  } catch (...) {
    failure = std::current_exception();
  }
  // A new stereo picture: not saved yet, and the edits of the last one are gone.
  if (FImStereo->PixelGraphicNoWait() != shownBefore) {
    FStereoUnsaved = true;
    FHistory.Forget(epStereo);
    UpdateEditControls();
  }
  // 9. In every case. The work image (the previous stereo picture, or what a
  // failed computation left) is read by nobody again: its memory goes now.
  FWorkImage = std::make_unique<TPixelGraphic>();
  FForm2->hide();
  FPageControl1->setUpdatesEnabled(true);
  hourGlass.Restore();
  // The viewer gets only what this computation produced: after a failure the
  // stereo view still holds an earlier picture.
  if (computed && FLastStereoMode == 6 && ShowELSAViewer() && LaunchELSAViewer) LaunchELSAViewer(*this);
  if (failure) std::rethrow_exception(failure);
}
