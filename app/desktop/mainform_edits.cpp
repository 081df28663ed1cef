// The main window's picture edits and their history: 90° turns that take the
// alignment along, the steps of crops, turns and filters, Rückgängig and
// Wiederherstellen, the Bearbeiten menu with the keyboard shortcuts of the
// menus, the status text of a one-sided tilt, and the question before
// quitting with a stereo picture that was never saved.
#include <utility>
#include <vector>

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>

#include "app/desktop/mainform.h"
#include "pgraphic/view/hourglass.h"
#include "platform/messagebox.h"

namespace {

// A point or line end turned a quarter clockwise with a picture h pixels
// high, as its pixels move: (x, y) -> (h - 1 - y, x). Three such turns are a
// quarter counter-clockwise, (x, y) -> (y, w - 1 - x). The arithmetic wraps
// as unsigned 32-bit numbers, so that any stored value turns and turns back
// exactly.
void TurnPoint(int32_t& x, int32_t& y, int32_t h) {
  const uint32_t ux = static_cast<uint32_t>(x), uy = static_cast<uint32_t>(y);
  x = static_cast<int32_t>(static_cast<uint32_t>(h) - 1u - uy);
  y = static_cast<int32_t>(ux);
}

// Turns a side's alignment by quarters clockwise with its picture, w x h
// before the turn. Points and lines that are not set (all 0) stay so.
void TurnAlignment(TSideAlignment& side, int32_t w, int32_t h, int quarters) {
  std::vector<int32_t*> ends; // x, y pairs
  for (TStereoPoint* p : {&side.Point, &side.TurnPoint})
    if (p->X != 0 || p->Y != 0) ends.insert(ends.end(), {&p->X, &p->Y});
  TStereoLine& l = side.Line;
  if (l.X1 != 0 || l.Y1 != 0 || l.X2 != 0 || l.Y2 != 0) ends.insert(ends.end(), {&l.X1, &l.Y1, &l.X2, &l.Y2});
  for (int q = 0; q < quarters; ++q) {
    for (size_t i = 0; i < ends.size(); i += 2) TurnPoint(*ends[i], *ends[i + 1], h);
    std::swap(w, h);
  }
}

const char* PartName(unsigned parts) {
  switch (parts) {
    case epLeft: return "Linkes Bild";
    case epRight: return "Rechtes Bild";
    case epStereo: return "Stereobild";
    default: return "Bildpaar";
  }
}

// The main window as the target of the history's steps.
class TMainEditTarget : public TEditTarget {
public:
  explicit TMainEditTarget(TMain& main) : FMain(main) {}
  std::unique_ptr<TPixelGraphic> ExchangePicture(TEditPart part, std::unique_ptr<TPixelGraphic> picture) override {
    return FMain.ViewOf(part)->ExchangePixelGraphic(std::move(picture));
  }
  TSideAlignment* Alignment(TEditPart part) override {
    return part == epLeft ? &FMain.LeftSide() : part == epRight ? &FMain.RightSide() : nullptr;
  }
  void Turn(TEditPart part, int degrees) override { FMain.TurnPicture(FMain.ViewOf(part), degrees); }

private:
  TMain& FMain;
};

} // namespace

TPGImage* TMain::ViewOf(TEditPart part) const {
  return part == epLeft ? FImLinks : part == epRight ? FImRechts : FImStereo;
}

TEditPart TMain::PartOf(const TPGImage* view) const {
  return view == FImLinks ? epLeft : view == FImRechts ? epRight : epStereo;
}

// ============================================================ edits

void TMain::TurnPicture(TPGImage* view, int degrees) {
  if (view->Empty()) return;
  TPGHourGlass hourGlass;
  // Turned into a copy that replaces the picture only when done.
  TPixelGraphic& picture = *view->PixelGraphic();
  const int32_t w = picture.Width(), h = picture.Height();
  auto turned = std::make_unique<TPixelGraphic>();
  turned->Assign(&picture);
  turned->RotateFrom(true, picture, degrees);
  view->ExchangePixelGraphic(std::move(turned));
  if (view == FImStereo) return;
  TSideAlignment& side = view == FImLinks ? FAlignTool->Pair().Left : FAlignTool->Pair().Right;
  TurnAlignment(side, w, h, ((degrees / 90) % 4 + 4) % 4);
  view->Invalidate();
}

void TMain::PictureEdited(TPGImage* view, std::unique_ptr<TEditStep> step) {
  if (view == FImStereo) FStereoUnsaved = true;
  FHistory.Push(std::move(step));
  UpdateEditControls();
}

void TMain::UpdateEditControls() {
  auto caption = [](const char* verb, const TEditStep* step) {
    QString text = QString::fromUtf8(verb);
    if (step)
      text += QStringLiteral(": %1 (%2)").arg(QString::fromStdString(step->Caption()),
                                              QString::fromUtf8(PartName(step->Parts())));
    return text;
  };
  MIRueckgaengig->setEnabled(FHistory.CanUndo());
  MIRueckgaengig->setText(caption("&Rückgängig", FHistory.NextUndo()));
  MIWiederherstellen->setEnabled(FHistory.CanRedo());
  MIWiederherstellen->setText(caption("&Wiederherstellen", FHistory.NextRedo()));
  MIZoom100Menu->setEnabled(MIIn->isEnabled());
}

void TMain::ShowReverted(unsigned parts) {
  if (parts & epStereo) FStereoUnsaved = true;
  // What an automatic alignment found describes a state of the photographs
  // that is gone now.
  if (parts & (epLeft | epRight)) FAlignStatus->clear();
  QWidget* page = parts == epLeft ? FTabSheet1 : parts == epRight ? FTabSheet2 : parts == epStereo ? FTabSheet3 : nullptr;
  if (page && page != ActivePage()) SetActivePage(page);
  for (TPGImage* view : {FImLinks, FImRechts}) view->Invalidate();
  UpdateControls();
}

void TMain::MIRueckgaengigClick() {
  TMainEditTarget target(*this);
  ShowReverted(FHistory.Undo(target));
}

void TMain::MIWiederherstellenClick() {
  TMainEditTarget target(*this);
  ShowReverted(FHistory.Redo(target));
}

// ============================================================ menu and keys

void TMain::CreateEditMenu() {
  auto bind = [this](QAction* a, void (TMain::*handler)()) {
    connect(a, &QAction::triggered, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
  };
  MIRueckgaengig = NewAction("MIRueckgaengig", QStringLiteral("&Rückgängig"));
  MIRueckgaengig->setShortcut(QKeySequence::Undo);
  bind(MIRueckgaengig, &TMain::MIRueckgaengigClick);
  MIWiederherstellen = NewAction("MIWiederherstellen", QStringLiteral("&Wiederherstellen"));
  MIWiederherstellen->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  bind(MIWiederherstellen, &TMain::MIWiederherstellenClick);
  MIZoom100Menu = NewAction("MIZoom100Menu", QStringLiteral("Zoom &100 %"));
  connect(MIZoom100Menu, &QAction::triggered, this, [this] { Guarded([this] { Zoom100(ActiveView()); }); });

  QMenu* edit = new QMenu(QStringLiteral("&Bearbeiten"), menuBar());
  edit->setObjectName(QStringLiteral("Bearbeiten1"));
  edit->addActions({MIRueckgaengig, MIWiederherstellen});
  QMenu* modus = menuBar()->findChild<QMenu*>(QStringLiteral("Modus1"));
  menuBar()->insertMenu(modus->menuAction(), edit);
  // Zoom 100 % of the shown picture after the zoom steps.
  QMenu* datei = menuBar()->findChild<QMenu*>(QStringLiteral("Datei1"));
  const QList<QAction*> items = datei->actions();
  const qsizetype out = items.indexOf(MIout);
  datei->insertAction(out >= 0 && out + 1 < items.size() ? items[out + 1] : nullptr, MIZoom100Menu);

  // The keys Linux photo programs have, shown in the menus.
  MILaden->setShortcut(QKeySequence::Open);
  MISpeichern->setShortcut(QKeySequence::Save);
  MIdrucken->setShortcut(QKeySequence::Print);
  Beenden1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  MIIn->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  MIout->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
  MIZoom100Menu->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
}

// ============================================================ tilt lines

void TMain::ReportOneTiltLine() {
  const TTiltLines lines = TiltLinesGiven(FAlignTool->Pair());
  if (lines != tlLeftOnly && lines != tlRightOnly) return;
  ShowProgress(lines == tlRightOnly ? "Verkantung nicht ausgeglichen: im linken Bild fehlt die Verkantungslinie."
                                    : "Verkantung nicht ausgeglichen: im rechten Bild fehlt die Verkantungslinie.",
               0, false);
}

// ============================================================ quitting

bool TMain::ConfirmQuit() {
  if (!StereoUnsaved()) return true;
  const int answer = platform::MessageBox("Das Stereobild wurde nicht gespeichert.\nVor dem Beenden speichern?",
                                          "Zwillo", platform::TMsgButtons::YesNoCancel, platform::TMsgIcon::Question);
  if (answer == platform::mrNo) return true;
  if (answer != platform::mrYes) return false;
  SetActivePage(FTabSheet3);
  UpdateControls();
  BtSaveStereoClick(MISpeichern);
  return !StereoUnsaved();
}
