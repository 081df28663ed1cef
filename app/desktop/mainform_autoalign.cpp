// Automatisch ausrichten: the pair aligned from the pictures themselves on a
// thread of its own while a progress dialog with Abbrechen is shown, the
// result taken over as one step of the history, and what was found shown in
// the status bar.
#include <atomic>
#include <exception>
#include <thread>

#include <QAction>
#include <QEventLoop>
#include <QLabel>
#include <QLocale>
#include <QProgressDialog>
#include <QTimer>
#include <QToolButton>

#include "app/core/autoalign.h"
#include "app/desktop/mainform.h"
#include "platform/messagebox.h"

namespace {

// The figures of an alignment as the status bar shows them, German style.
QString AlignmentSummary(const TAutoAlignResult& r) {
  const QLocale german(QLocale::German, QLocale::Germany);
  QString text = QString::fromUtf8("Restfehler %1 px, Verkantung %2°, Maßstab %3, Deviation %4 ‰")
                     .arg(german.toString(r.Residual, 'f', 2), german.toString(r.Roll, 'f', 2),
                          german.toString(r.Scale, 'f', 4), german.toString(r.Deviation, 'f', 1));
  if (r.DeviationWarning) text += QString::fromUtf8(" – über 1/30!");
  return text;
}

} // namespace

TAutoAlignResult TMain::RunAutoAlign(const TPixelGraphic& left, const TPixelGraphic& right) {
  QProgressDialog dialog(QString::fromUtf8("Bildpaar wird ausgerichtet..."), QStringLiteral("Abbrechen"), 0, 100, this);
  dialog.setObjectName(QStringLiteral("AutoAlignProgress"));
  dialog.setWindowTitle(QStringLiteral("Automatisch ausrichten"));
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setAutoClose(false);
  dialog.setAutoReset(false);
  dialog.setValue(0);
  dialog.show();

  // The worker only reads the two pictures; the dialog keeps every command
  // that could change them from the user until the worker has ended.
  std::atomic<bool> cancel{false};
  std::atomic<int> percent{0};
  TAutoAlignResult result;
  std::exception_ptr failure;
  QEventLoop loop;
  connect(&dialog, &QProgressDialog::canceled, &loop, [&] {
    cancel = true;
    dialog.setLabelText(QStringLiteral("Abbrechen..."));
  });
  QTimer progress;
  progress.setInterval(50);
  connect(&progress, &QTimer::timeout, &dialog, [&] { dialog.setValue(percent.load()); });
  progress.start();

  TAutoAlignControl control;
  control.Progress = [&percent](int p) { percent = p; };
  control.Cancel = &cancel;
  std::thread worker([&] {
    try {
      result = AutoAlign(left, right, control);
    } catch (...) {
      failure = std::current_exception();
    }
    // Handed to the window thread: the loop ends there, once the worker's
    // last write is done.
    QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  progress.stop();
  if (failure) std::rethrow_exception(failure);
  return result;
}

void TMain::MIAutomatischAusrichtenClick() {
  if (FImLinks->Empty() || FImRechts->Empty()) return;
  const TPixelGraphic* left = FImLinks->PixelGraphic();
  const TPixelGraphic* right = FImRechts->PixelGraphic();
  if (!left || !right) return;
  ShowProgress("Bildpaar wird ausgerichtet...", 0, false);
  const TAutoAlignResult result = RunAutoAlign(*left, *right);
  switch (result.Status) {
    case aasAligned: break;
    case aasCancelled:
      ShowProgress("Abgebrochen.", 0, false);
      return;
    default:
      // Too little to go by: said so, and the alignment stays as it was.
      ShowProgress("", 0, false);
      platform::MessageBox(AutoAlignMessage(result.Status, true), "Zwillo", platform::TMsgButtons::OK,
                           platform::TMsgIcon::Information);
      return;
  }
  FAlignTool->SetPair(result.Alignment, "Automatisch ausrichten");
  ShowProgress("Fertig.", 0, false);
  FAlignStatus->setText(AlignmentSummary(result));
  FAlignStatus->setToolTip(result.DeviationWarning
                               ? FAlignStatus->text() + QString::fromUtf8(" Die Deviation ist größer als 1/30 der Bildbreite.")
                               : FAlignStatus->text());
  UpdateControls();
}

void TMain::AlignmentChanging(unsigned parts, const std::string& caption) {
  // What an automatic alignment found no longer describes the pair.
  if (FAlignStatus) FAlignStatus->clear();
  // A run of arrow-key nudges of one point is one step: the first keeps the
  // point as it was before the run.
  const TEditStep* last = FHistory.NextUndo();
  if (caption == NudgeCaption && last && !FHistory.CanRedo() && last->Caption() == caption && last->Parts() == parts)
    return;
  FHistory.Push(std::make_unique<TAlignmentStep>(parts, caption, FAlignTool->Pair()));
  UpdateEditControls();
}
