// The main window's output: saving the stereo image (plain or at the view's
// zoom), printing the active tab's picture, and handing the stereo image to
// the external stereo viewer.
#include <limits>

#include <QDir>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>

#include "app/desktop/mainform.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/device/print.h"
#include "pgraphic/view/hourglass.h"
#include "pgraphic/view/opensavedialog.h"
#include "platform/files.h"
#include "platform/messagebox.h"

namespace {

// A scaled size truncated toward zero; a value beyond the integer range is
// held at its end, where the image's own size checks refuse it.
int32_t TruncatedSize(long double v) {
  if (!(v > -2147483648.0L)) return std::numeric_limits<int32_t>::min();
  if (!(v < 2147483648.0L)) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(v);
}

} // namespace

// ============================================================ saving

bool TMain::ConfirmReplace(const std::string& name) {
  return !platform::FileExists(name) ||
         platform::MessageBox(name + "\nDiese Datei existiert bereits.\nVorhandene Datei ersetzen?",
                              GetMessage(msgWarning), platform::TMsgButtons::YesNo,
                              platform::TMsgIcon::Warning) == platform::mrYes;
}

void TMain::BtSaveStereoClick(QObject* sender) {
  TPGSaveDialog* dialog = PGSaveDialog1();
  dialog->SetFileName("");
  if (!dialog->Execute()) return;
  const std::string name = dialog->FileName();
  if (!ConfirmReplace(name)) return;
  if (ActivePage() != FTabSheet3) return;
  Guarded([&] {
    // The hourglass stays only while saving; a failed save restores it too.
    TPGHourGlass hourGlass;
    if (TagOf(sender) == 1) {
      if (FImStereo->Empty()) return;
      TPixelGraphic& stereo = *FImStereo->PixelGraphic();
      // The property, not the effective zoom of a fitted view; truncated.
      const long double z = FImStereo->ZoomFactor();
      const int32_t h = TruncatedSize(static_cast<long double>(stereo.Height()) * z);
      const int32_t w = TruncatedSize(static_cast<long double>(stereo.Width()) * z);
      FScaledImage->SetSize(w, h, bc24Bit);
      FScaledImage->SetStretchMode(smPrecise);
      FScaledImage->StretchFrom(stereo);
      FScaledImage->SaveToFile(name);
    } else {
      FImStereo->SaveToFile(name);
    }
    FStereoUnsaved = false;
  });
}

// ============================================================ printing

void TMain::BtPrintClick() {
  TPGImage* view = nullptr;
  if (ActivePage() == FTabSheet1)
    view = FImLinks;
  else if (ActivePage() == FTabSheet2)
    view = FImRechts;
  else if (ActivePage() == FTabSheet3)
    view = FImStereo;
  if (!view || view->Empty()) return;
  Guarded([&] {
    // The print dialog, then the picture fitted into the page with the page
    // orientation left as chosen.
    QPrinter printer(QPrinter::HighResolution);
    if (PrinterSetup) PrinterSetup(printer);
    QPrintDialog dialog(&printer, this);
    dialog.setObjectName(QStringLiteral("PrintDialog"));
    if (dialog.exec() != QDialog::Accepted) return;
    Print(*view->PixelGraphic(), printer, false);
  });
}

// ============================================================ stereo viewer
// hand-off

QString TMain::HandOffFolder() {
  return QString::fromStdString(platform::UserRuntimeFolder()) + QStringLiteral("/_stereo.dir");
}

void TMain::RunELSAViewer(TMain& main) {
  const std::string& viewer = main.ELSAViewer();
  if (viewer.empty() || !platform::FileExists(viewer)) {
    platform::MessageBox("ELSA Stereo Viewer nicht verfügbar.\n"
                         "Bitte überprüfen Sie Ihre Einstellungen (Menü Datei "
                         "- Einstellungen...)",
                         "Hinweis", platform::TMsgButtons::OK, platform::TMsgIcon::Information);
    return;
  }
  // The picture goes where only the user can read and replace it: the
  // runtime folder (made private when it is the program's own in the
  // temporary folder) and "_stereo.dir" in it, created with mode 0700. A
  // folder someone else made or can write into is refused.
  const QString folder = HandOffFolder();
  std::string error;
  if (!platform::EnsureUserRuntimeFolder(error) || !platform::EnsurePrivateFolder(folder.toStdString(), error)) {
    platform::MessageBox(error + "\nDas Stereobild wird dem Betrachter nicht übergeben.", "Zwillo",
                         platform::TMsgButtons::OK, platform::TMsgIcon::Error);
    return;
  }
  bool saved = false;
  main.Guarded([&] {
    main.ImStereo()->SaveToFile((folder + QStringLiteral("/ELSAVIEWER.BMP")).toStdString());
    saved = true;
  });
  if (!saved) return;
  // Started on its own, in the hand-off folder, without arguments; the program
  // neither waits for it nor reports a failed start.
  QProcess::startDetached(QString::fromStdString(viewer), {}, folder);
}
