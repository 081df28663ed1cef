// The main window's stereo files: both photographs opened from one MPO or JPS
// file, the parameter files of such a pair's sides, and the aligned pair saved
// as MPO or JPS.
#include <utility>

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>

#include "app/core/paramfile.h"
#include "app/core/stereofile.h"
#include "app/desktop/forms/progressform.h"
#include "app/desktop/mainform.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic/view/hourglass.h"
#include "pgraphic/view/opensavedialog.h"
#include "platform/messagebox.h"

namespace {

// The pair writers, in the order of the dialog's types.
const char* const PairExtensions[] = {"mpo", "jps"};

// The save dialog of the aligned pair: the MPO and JPS types, with the save
// dialog's extension rules.
class TPairSaveDialog : public TPGSaveDialog {
public:
  explicit TPairSaveDialog(QWidget* parent) : TPGSaveDialog(parent) { SetFilter(BuildFilter()); }

  std::string BuildFilter() const override {
    // As the registry lists a writer: "MPO - Multi-Picture Format|*.mpo|".
    std::string filter;
    for (const char* ext : PairExtensions)
      for (const auto& writer : PGFormatRegistry().Writers())
        if (writer->Extension == ext)
          filter += QString::fromLatin1(ext).toUpper().toStdString() + " - " + writer->Description + "|*." + ext + "|";
    return filter;
  }
  int FilterFormatCount() const override { return UseDefaultFilter() ? 2 : 0; }
  std::string FilterExtension(int index) const override {
    return UseDefaultFilter() && index >= 1 && index <= 2 ? PairExtensions[index - 1] : "";
  }

  // A name typed with another extension ("haus.png", "Urlaub 3.5.2024") keeps
  // it and gets the chosen type's behind it: a pair is only ever written as
  // MPO or JPS, and nothing of the typed name is lost.
  bool Execute() override {
    if (!TPGSaveDialog::Execute()) return false;
    if (!IsStereoPairFileName(FileName())) {
      const std::string ext = FilterExtension(FilterIndex());
      SetFileName(FileName() + "." + (ext.empty() ? PairExtensions[0] : ext));
    }
    return true;
  }
};

const char* SideName(bool right) { return right ? "rechts" : "links"; }

// Both photographs of a pair file. An MPO's right view is decoded on a thread
// of its own, where a reader's warning cannot ask the user (it is answered
// with Cancel there, and the load fails): when the right view fails, the
// pair is read again one view after the other on the window thread, where
// the warning is asked as for any photograph, and a real fault fails again.
TStereoPair LoadPairPictures(const std::string& fileName) {
  try {
    return LoadStereoFile(fileName, psStereoFile);
  } catch (const EComposeFailed& e) {
    if (e.Step() != csLoadRight) throw;
  }
  TStereoPair pair;
  pair.Left = std::make_unique<TPixelGraphic>();
  pair.Right = std::make_unique<TPixelGraphic>();
  pair.Left->LoadFileImage(fileName, 0);
  pair.Right->LoadFileImage(fileName, 1);
  return pair;
}

} // namespace

// ============================================================ the command

void TMain::CreateStereoFileCommands() {
  MIStereopaarSpeichern = NewAction("MIStereopaarSpeichern", QStringLiteral("Stereop&aar speichern (MPO/JPS)..."));
  connect(MIStereopaarSpeichern, &QAction::triggered, this, [this] { Guarded([this] { MIStereopaarSpeichernClick(); }); });
  // After "Stereobild speichern...".
  QMenu* datei = menuBar()->findChild<QMenu*>(QStringLiteral("Datei1"));
  datei->insertAction(MIdrucken, MIStereopaarSpeichern);
}

TPGSaveDialog* TMain::PGPairSaveDialog() {
  if (!FPGPairSaveDialog) {
    FPGPairSaveDialog = new TPairSaveDialog(this);
    FPGPairSaveDialog->setObjectName(QStringLiteral("PGPairSaveDialog"));
    FPGPairSaveDialog->SetTitle("Stereopaar speichern");
  }
  return FPGPairSaveDialog;
}

// ============================================================ loading

void TMain::LoadStereoPairFile(const std::string& fileName) {
  TStereoPair pair;
  {
    // As a photograph's load: the hourglass, and the tilt-line animation
    // rests while the views report progress.
    TPGHourGlass hourGlass;
    ImPixelGraphicProgressStart();
    try {
      pair = LoadPairPictures(fileName);
    } catch (...) {
      ImPixelGraphicProgressEnd();
      UpdateControls();
      throw;
    }
    ImPixelGraphicProgressEnd();
  }
  for (TPGImage* view : {FImLinks, FImRechts}) {
    view->SetKeepOldPaintPixelGraphic(false);
    view->AdoptLoadedPixelGraphic(std::move(view == FImLinks ? pair.Left : pair.Right), fileName);
    view->SetKeepOldPaintPixelGraphic(true);
    SetPhotographOrigin(view, fileName);
  }
  // Two new photographs: their points are the pair's files', the edits of
  // the photographs they replace are gone.
  FAlignTool->Pair() = ReadPairParameters(fileName);
  FHistory.Forget(epLeft | epRight);
  FAlignStatus->clear();
  FImLinks->Invalidate();
  FImRechts->Invalidate();
  UpdateControls();
}

const std::string& TMain::PairFileOf(const TPGImage* view) const { return FPairFile[view == FImRechts ? 1 : 0]; }

void TMain::SetPhotographOrigin(TPGImage* view, const std::string& pairFile) {
  FPairFile[view == FImRechts ? 1 : 0] = pairFile;
  FPageControl1->setTabToolTip(FPageControl1->indexOf(view == FImRechts ? FTabSheet2 : FTabSheet1),
                               QDir::toNativeSeparators(QString::fromStdString(PhotographName(view))));
}

std::string TMain::ParameterFileOf(const TPGImage* view) const {
  const std::string& pair = PairFileOf(view);
  return pair.empty() ? ParameterFileName(view->FileName()) : PairParameterFileName(pair, view == FImRechts);
}

std::string TMain::PhotographName(const TPGImage* view) const {
  const std::string& pair = PairFileOf(view);
  if (pair.empty()) return view->FileName();
  return pair + " (" + SideName(view == FImRechts) + ")";
}

// ============================================================ saving the aligned pair

void TMain::MIStereopaarSpeichernClick() {
  if (FImLinks->Empty() || FImRechts->Empty()) return;
  TPixelGraphic& left = *FImLinks->PixelGraphic();
  TPixelGraphic& right = *FImRechts->PixelGraphic();
  // Said before the dialog: a pair without common area has nothing to save.
  const TCommonArea area = CommonArea(left.Width(), left.Height(), right.Width(), right.Height(),
                                      FAlignTool->Pair().Left.Point, FAlignTool->Pair().Right.Point);
  if (area.W <= 0 || area.H <= 0) {
    platform::MessageBox("Kein Stereopaar: der gemeinsame Bereich ist leer.", "Zwillo", platform::TMsgButtons::OK,
                         platform::TMsgIcon::Warning);
    return;
  }
  TPGSaveDialog* dialog = PGPairSaveDialog();
  dialog->SetFileName("");
  if (!dialog->Execute()) return;
  const std::string name = dialog->FileName();
  if (!ConfirmReplace(name)) return;

  // As the stereo command: the progress window and the status bar are the
  // only things painted meanwhile.
  FPageControl1->setUpdatesEnabled(false);
  ShowProgressWindow();
  std::exception_ptr failure;
  {
    TPGHourGlass hourGlass;
    try {
      TComposeProgress progress;
      progress.Report = [this](const std::string& text, int percent) { ShowProgress(text, percent); };
      const std::string text = "Stereopaar speichern";
      int shown = -1;
      TStereoPair views = AlignedPair(left, right, FAlignTool->Pair(), progress, FSettings.CropWedges);
      if (views.Left) {
        // Each view's rows as half of the bar (a JPS reports its one picture
        // as the right view's).
        auto attach = [&](TPixelGraphic& view, int base) {
          view.OnProgress = [&, base](TObject*, int step, int max, bool&) {
            const int percent = base + (max > 0 ? static_cast<int>(50LL * step / max) : 50);
            if (percent != shown) ShowProgress(text, shown = percent);
          };
        };
        attach(*views.Left, 0);
        attach(*views.Right, 50);
        ShowProgress(text, shown = 0);
        SaveStereoPair(*views.Left, *views.Right, name);
      }
      ShowProgress(TextFinished, 100, false);
    } catch (...) {
      failure = std::current_exception();
    }
  }
  FForm2->hide();
  FPageControl1->setUpdatesEnabled(true);
  if (failure) std::rethrow_exception(failure);
}
