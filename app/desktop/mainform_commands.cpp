// The main window's commands: loading, the enabled state of the commands,
// work modes, rotation, zoom, the popup menu, help, quit and About.
#include <cmath>

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "app/core/paramfile.h"
#include "app/core/stereofile.h"
#include "app/desktop/forms/configdlg.h"
#include "app/desktop/mainform.h"
#include "app/desktop/forms/progressform.h"
#include "app/desktop/forms/resources.h"
#include "app/desktop/forms/splashform.h"
#include "pgraphic/core/intmath.h"
#include "pgraphic/view/filterdialogs.h"
#include "pgraphic/view/hourglass.h"
#include "pgraphic/view/opensavedialog.h"
#include "platform/messagebox.h"

namespace {

// A zoom factor as the status bar shows it: percent rounded half to even, then "%".
std::string ZoomPercentText(long double zoom) { return std::to_string(pg::RoundHalfEven(zoom * 100)) + "%"; }

} // namespace

// ============================================================ errors

void TMain::Guarded(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    ShowException(e);
  }
}

void TMain::ShowException(const std::exception& e) {
  platform::MessageBox(e.what(), "Zwillo", platform::TMsgButtons::OK, platform::TMsgIcon::Error);
}

// ============================================================ loading

TPGOpenDialog* TMain::PGOpenDialog1() {
  if (!FPGOpenDialog1) {
    FPGOpenDialog1 = new TPGOpenDialog(this);
    FPGOpenDialog1->setObjectName(QStringLiteral("PGOpenDialog1"));
    FPGOpenDialog1->SetStretchMode(smFast);
    FPGOpenDialog1->SetFilter(
        "Image files|*.bmp; *.dib; *.jif; *.jpeg; *.jpg; *.pbm; *.pcx; *.pgm; *.png; *.ppm; *.rle; *.tga; *.tif; "
        "*.tiff|BMP - Bitmap|*.bmp|DIB - Bitmap|*.dib|JIF - JPEG (JFIF compliant)|*.jif|JPEG - JPEG (JFIF "
        "compliant)|*.jpeg|JPG - JPEG (JFIF compliant)|*.jpg|PBM - Portable Bitmap|*.pbm|PCX - "
        "Paintbrush|*.pcx|PGM - Portable Graymap|*.pgm|PNG - Portable Network Graphics|*.png|PPM - Portable "
        "Pixelmap|*.ppm|RLE - Bitmap|*.rle|TGA - Truevision Targa|*.tga|TIF - Tagged Image File "
        "Format|*.tif|TIFF - Tagged Image File Format|*.tiff|All files|*.*");
  }
  return FPGOpenDialog1;
}

TPGSaveDialog* TMain::PGSaveDialog1() {
  if (!FPGSaveDialog1) {
    FPGSaveDialog1 = new TPGSaveDialog(this);
    FPGSaveDialog1->setObjectName(QStringLiteral("PGSaveDialog1"));
    FPGSaveDialog1->SetFilter("BMP - Bitmap|*.bmp|JPG - JPEG (JFIF compliant)|*.jpg|PBM - Portable "
                              "Bitmap|*.pbm|PGM - Portable Graymap|*.pgm|PNG - Portable Network "
                              "Graphics|*.png|PPM - Portable Pixelmap|*.ppm|TGA - Truevision Targa|*.tga|TIF - "
                              "Tagged Image File Format|*.tif|");
  }
  return FPGSaveDialog1;
}

bool TMain::RunOpenDialog(const std::string& title, std::string& fileName) {
  TPGOpenDialog* dialog = PGOpenDialog1();
  dialog->SetFileName(fileName);
  dialog->SetTitle(title);
  if (!dialog->Execute()) return false;
  fileName = dialog->FileName();
  return true;
}

void TMain::LoadImage(TPGImage* view, const std::string& title) {
  std::string name = view->FileName();
  if (RunOpenDialog(title, name)) {
    repaint();
    // A file holding a stereo pair fills both photograph tabs.
    if (HoldsStereoPair(name))
      LoadStereoPairFile(name);
    else
      LoadImageFile(view, name);
    return;
  }
  // Cancelled: a shown photograph keeps its points (they may be unsaved, or
  // belong to its crop or turn, which the file knows nothing of); an empty
  // tab reads the file of its (empty) name as before.
  if (view->Empty()) LoadParameters();
  UpdateControls();
}

void TMain::LoadImageFile(TPGImage* view, const std::string& fileName) {
  std::unique_ptr<TPixelGraphic> image = std::make_unique<TPixelGraphic>();
  {
    // As the view's own load: its warning action, background and progress.
    TPGHourGlass hourGlass(view->ShowHourGlass());
    image->SetReadWarningAction(view->ReadWarningAction());
    image->SetBackGroundColor(view->BackGroundColor());
    image->OnProgressStart = [view](TObject* s) {
      if (view->OnPixelGraphicProgressStart) view->OnPixelGraphicProgressStart(s);
    };
    image->OnProgressEnd = [view](TObject* s) {
      if (view->OnPixelGraphicProgressEnd) view->OnPixelGraphicProgressEnd(s);
    };
    try {
      image->LoadFileImage(fileName, 0);
    } catch (...) {
      UpdateControls();
      throw;
    }
  }
  view->SetKeepOldPaintPixelGraphic(false);
  view->AdoptLoadedPixelGraphic(std::move(image), fileName);
  view->SetKeepOldPaintPixelGraphic(true);
  SetPhotographOrigin(view, {});
  (view == FImLinks ? FAlignTool->Pair().Left : FAlignTool->Pair().Right) = TSideAlignment{};
  FHistory.Forget(PartOf(view));
  FAlignStatus->clear();
  // The parameter file of the active tab's photograph: this one.
  LoadParameters();
  UpdateControls();
}

void TMain::LoadParameters() {
  const bool left = ActivePage() == FTabSheet1;
  TPGImage* view = left ? FImLinks : FImRechts;
  (left ? FAlignTool->Pair().Left : FAlignTool->Pair().Right) = ReadParameterFile(ParameterFileOf(view));
  view->Invalidate();
}

void TMain::BtSaveParmsClick() {
  const bool left = ActivePage() == FTabSheet1;
  TPGImage* view = left ? FImLinks : FImRechts;
  WriteParameterFile(ParameterFileOf(view), left ? FAlignTool->Pair().Left : FAlignTool->Pair().Right);
}

void TMain::ToolButton1Click() {
  if (ActivePage() == FTabSheet1)
    LoadImage(FImLinks, "Linkes Bild");
  else if (ActivePage() == FTabSheet2)
    LoadImage(FImRechts, "Rechtes Bild");
}

void TMain::PageControl1Change() {
  UpdateControls();
  if (ActivePage() == FTabSheet1 && FImLinks->Empty())
    LoadImage(FImLinks, "Linkes Bild");
  else if (ActivePage() == FTabSheet2 && FImRechts->Empty())
    LoadImage(FImRechts, "Rechtes Bild");
  ShowProgress("", 0);
}

// ============================================================ enabled state

void TMain::UpdateControls() {
  const QColor buttonFace = palette().color(QPalette::Button);
  // 1.
  ToolButton1->setEnabled(true);
  MILaden->setEnabled(true);
  BtPrint->setEnabled(false);
  BtSaveStereo->setEnabled(false);
  // 2.
  BtStereo->setEnabled(!FImLinks->Empty() && !FImRechts->Empty());
  for (QToolButton* b : {BtMirror, BtStereoColor, BtLCD, BtLiRe, BtReLi, BtElsa}) b->setEnabled(BtStereo->isEnabled());
  // 3.
  bool active = false;
  if (ActivePage() == FTabSheet1) {
    active = !FImLinks->Empty();
    if (active) FImLinks->SetColor(buttonFace);
  }
  if (ActivePage() == FTabSheet2) {
    active = !FImRechts->Empty();
    if (active) FImRechts->SetColor(buttonFace);
  }
  // 4.
  for (QToolButton* b : {BtPan, BtLock, BtLine, BtSaveParms, BtCut}) b->setEnabled(active);
  for (QAction* a : {MI1, MI2, Mi3, MI4}) a->setEnabled(active);
  // 5.
  if (ActivePage() == FTabSheet3) {
    active = !FImStereo->Empty();
    if (active) FImStereo->SetColor(buttonFace);
    for (QToolButton* b : {BtPrint, BtSaveStereo, BtPan, BtCut}) b->setEnabled(active);
    MI1->setEnabled(active);
    MI4->setEnabled(active);
    ToolButton1->setEnabled(false);
    MILaden->setEnabled(false);
    BtLock->setEnabled(false);
    MI2->setEnabled(false);
    BtLine->setEnabled(false);
    Mi3->setEnabled(false);
    BtSaveParms->setEnabled(false);
  }
  // 6.
  for (QToolButton* b : {RotateLeft, RotateRight, BtZoomIn, BtZoomOut}) b->setEnabled(active);
  MIlinks->setEnabled(RotateLeft->isEnabled());
  MIRechts->setEnabled(RotateRight->isEnabled());
  MIIn->setEnabled(BtZoomIn->isEnabled());
  MIout->setEnabled(BtZoomOut->isEnabled());
  // 7.
  MIberechnen->setEnabled(BtStereo->isEnabled());
  BtAutoAlign->setEnabled(BtStereo->isEnabled());
  MIAutomatischAusrichten->setEnabled(BtAutoAlign->isEnabled());
  MISpeichern->setEnabled(BtSaveStereo->isEnabled());
  BtSaveStereoZoom->setEnabled(BtSaveStereo->isEnabled());
  MIdrucken->setEnabled(BtPrint->isEnabled());
  MIStereopaarSpeichern->setEnabled(BtStereo->isEnabled());
  UpdateEditControls();
  // 8.
  FToolBar1->update();
}

void TMain::ClearSelections() {
  for (TPGImage* view : {FImLinks, FImRechts, FImStereo}) view->SetSelection(false);
}

// ============================================================ work modes

void TMain::SetWorkMode(TActionMode mode, QAction* item, QToolButton* button, bool clearSelections) {
  for (TPGImage* view : {FImLinks, FImRechts, FImStereo}) view->SetActionMode(mode);
  if (clearSelections) ClearSelections();
  item->setChecked(true);
  for (QToolButton* b : {BtPan, BtLock, BtLine, BtCut}) b->setChecked(b == button);
}

void TMain::BtPanClick() { SetWorkMode(amMoveImage, MI1, BtPan, true); }
void TMain::BtLockClick() { SetWorkMode(amNone, MI2, BtLock, true); }
void TMain::BtLineClick() { SetWorkMode(amNone, Mi3, BtLine, true); }
void TMain::BtCutClick() { SetWorkMode(amMoveResizeCreateSelection, MI4, BtCut, false); }

// ============================================================ rotation and zoom

void TMain::RotateClick(QObject* sender) {
  TPGImage* view = ActiveView();
  if (view->Empty()) return;
  const int degrees = TagOf(sender);
  TurnPicture(view, degrees);
  PictureEdited(view, std::make_unique<TTurnStep>(PartOf(view), degrees < 0 ? "90° nach links drehen"
                                                                            : "90° nach rechts drehen", degrees));
}

void TMain::BtZoomClick(QObject* sender) {
  TPGImage* view = ActiveView();
  long double z = view->CurrentZoomFactor();
  if (TagOf(sender) < 0) {
    z = z - 0.2L;
    if (z <= 0.1L) return;
  } else {
    z = z + 0.2L;
    if (z > 5.0L) return;
  }
  view->SetStretch(std::fabs(z - 1) < 0.00001L ? sNeverKAR : sZoomKAR);
  view->SetStretchMode(z > 1 ? smFast : smMedium);
  view->SetZoomFactor(z);
  ShowProgress(ZoomPercentText(z), 0);
}

// ============================================================ popup menu

void TMain::PopupMenu1Popup(TPGImage* view) {
  FPopupView = view;
  const bool has = view && !view->Empty();
  for (QAction* a : {PI1, PI2, PI3, MIZoom100, MIBestFit, MIUserZoom}) a->setEnabled(has);
  MiELSAStereo->setEnabled(FLastStereoMode == 6 && ActivePage() == FTabSheet3);
}

void TMain::ZoomStatus(TPGImage* view) { ShowProgress(ZoomPercentText(view->ZoomFactor()), 0); }

void TMain::MIZoom100Click() { Zoom100(FPopupView); }

void TMain::Zoom100(TPGImage* view) {
  if (!view) return;
  view->SetStretch(sZoomKAR);
  view->SetZoomFactor(1.0L);
  ZoomStatus(view);
}

void TMain::MIBestFitClick() {
  if (!FPopupView || FPopupView->Empty()) return;
  TPGImage* view = FPopupView;
  view->SetStretch(sZoomKAR);
  const TPixelGraphic* image = view->PixelGraphic();
  long double w = image->Width(), h = image->Height();
  long double cw = view->width() - 4, ch = view->height() - 4;
  if (w == 0) w = 1;
  if (h == 0) h = 1;
  if (cw == 0) cw = 1;
  if (ch == 0) ch = 1;
  view->SetZoomFactor(w / h > cw / ch ? cw / w : ch / h);
  ZoomStatus(view);
}

void TMain::MIUserZoomClick() {
  if (!FPopupView || FPopupView->Empty()) return;
  TPGImage* view = FPopupView;
  view->SetStretch(sZoomKAR);
  if (FSettings.ZoomType == 0) {
    view->SetZoomFactor(FSettings.ZoomPercent * 0.01L);
  } else {
    const int32_t w = view->PixelGraphic()->Width();
    view->SetZoomFactor(static_cast<long double>(FSettings.ZoomPixel) / (w == 0 ? 1 : w));
  }
  ZoomStatus(view);
}

TPreviewFilterDialog* TMain::RunFilterDialog(int tag, TPixelGraphic& image) {
  TPreviewFilterDialog* dialog = nullptr;
  if (tag == 1)
    dialog = FBCGFilterDialog1;
  else if (tag == 2)
    dialog = FRGBFilterDialog1;
  else if (tag == 3)
    dialog = FCMYFilterDialog1;
  return dialog && dialog->Execute(image) ? dialog : nullptr;
}

void TMain::PI1Click(QObject* sender) {
  if (!FPopupView || FPopupView->Empty()) return;
  TPGImage* view = FPopupView;
  TPreviewFilterDialog* dialog = RunFilterDialog(TagOf(sender), *view->PixelGraphic());
  if (!dialog) return;
  // The filter works on a copy that replaces the picture: the picture before
  // it is kept for Rückgängig, and a failure leaves the view as it was.
  std::unique_ptr<TPixelGraphic> filtered = view->CopyPixelGraphic();
  filtered->ApplyFilter(dialog->Filter(), *filtered);
  std::unique_ptr<TPixelGraphic> before = view->ExchangePixelGraphic(std::move(filtered));
  PictureEdited(view, std::make_unique<TPictureStep>(PartOf(view), dialog->WindowCaption,
                                                     std::move(before)));
}

void TMain::MiELSAStereoClick() {
  if (FLastStereoMode == 6 && LaunchELSAViewer) LaunchELSAViewer(*this);
}

// ============================================================ settings

void TMain::CreateConfigDlg() {
  delete FConfigDlg;
  FConfigDlg = new TConfigDlg(this);
  SetSettings(FConfigDlg->Settings());
}

void TMain::Einstellungen1Click() {
  // The one dialog of the window: showing it reads nothing, so values taken
  // over by an OK whose file could not be written stay in force.
  if (!FConfigDlg) CreateConfigDlg();
  if (FConfigDlg->Execute()) SetSettings(FConfigDlg->Settings());
}

// ============================================================ help, quit, About

void TMain::Hilfe2Click() {
  const QString help = HelpFilePath();
  const bool opened = !help.isEmpty() && (OpenDocument ? OpenDocument(help.toStdString())
                                                        : QDesktopServices::openUrl(QUrl::fromLocalFile(help)));
  if (!opened)
    platform::MessageBox("Die Hilfe kann nicht angezeigt werden.", "Zwillo", platform::TMsgButtons::OK,
                         platform::TMsgIcon::Error);
}

void TMain::Beenden1Click() {
  // The window stays when the user answers the question about an unsaved
  // stereo picture with Abbrechen.
  if (close()) QCoreApplication::quit();
}

void TMain::MIAboutClick() { TForm3::ShowAbout(this); }
