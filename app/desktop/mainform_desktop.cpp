// Opening photographs the way Linux desktops do (the command line, files
// dropped from a file manager) and the keyboard of the tabs and of the
// identical point.
#include <algorithm>

#include <QAction>
#include <QDropEvent>
#include <QMimeData>
#include <QShortcut>
#include <QStringList>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "app/core/stereofile.h"
#include "app/desktop/mainform.h"

namespace {

// The local files of a drag (a file manager offers them as URLs).
QStringList DraggedFiles(const QMimeData* data) {
  QStringList files;
  if (!data || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) files << url.toLocalFile();
  return files;
}

// Files dragged over the window: the tab under the pointer (in the tab bar)
// or else the shown tab is where one file goes; two files go left and right.
class TDropFilter : public QObject {
public:
  explicit TDropFilter(TMain* main) : QObject(main), FMain(main) {}

protected:
  bool eventFilter(QObject*, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
    auto* e = static_cast<QDropEvent*>(event);
    const QStringList files = DraggedFiles(e->mimeData());
    QWidget* target = Target(e->position().toPoint());
    if (files.isEmpty() || !Accepts(files, target)) {
      e->ignore();
      return true;
    }
    e->acceptProposedAction();
    // Loaded after the drop has ended: the file manager is not kept waiting
    // while the pictures load or an error box is open.
    if (type == QEvent::Drop)
      QTimer::singleShot(0, FMain, [main = FMain, files, target] { main->OpenFiles(files, target); });
    return true;
  }

private:
  QWidget* Target(const QPoint& pos) const {
    QTabBar* bar = FMain->PageControl1()->tabBar();
    const QPoint inBar = bar->mapFrom(FMain, pos);
    const int tab = bar->rect().contains(inBar) ? bar->tabAt(inBar) : -1;
    return tab >= 0 ? FMain->PageControl1()->widget(tab) : FMain->ActivePage();
  }
  bool Accepts(const QStringList& files, QWidget* target) const {
    if (files.size() >= 2 || target == FMain->TabSheet1() || target == FMain->TabSheet2()) return true;
    return FMain->ImLinks()->Empty() || FMain->ImRechts()->Empty();
  }

  TMain* FMain;
};

} // namespace

void TMain::CreateDesktopBindings() {
  setAcceptDrops(true);
  installEventFilter(new TDropFilter(this));

  // The tabs from anywhere in the window, as a page control changes them.
  auto pageKeys = [this](std::initializer_list<QKeyCombination> keys, int step) {
    for (QKeyCombination key : keys) {
      auto* s = new QShortcut(QKeySequence(key), this);
      s->setContext(Qt::WindowShortcut);
      connect(s, &QShortcut::activated, this, [this, step] { Guarded([&] { ChangePage(step); }); });
    }
  };
  pageKeys({Qt::CTRL | Qt::Key_Tab, Qt::CTRL | Qt::Key_PageDown}, 1);
  pageKeys({Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, Qt::CTRL | Qt::SHIFT | Qt::Key_Tab, Qt::CTRL | Qt::Key_Backtab,
            Qt::CTRL | Qt::Key_PageUp},
           -1);

  // The arrow keys nudge the identical point, only in its work mode (else
  // they scroll the view as before).
  struct TNudge {
    QKeyCombination Key;
    int DX, DY;
  };
  std::vector<QShortcut*> nudges;
  for (const TNudge& n : {TNudge{Qt::Key_Left, -1, 0}, TNudge{Qt::Key_Right, 1, 0}, TNudge{Qt::Key_Up, 0, -1},
                          TNudge{Qt::Key_Down, 0, 1}, TNudge{Qt::SHIFT | Qt::Key_Left, -10, 0},
                          TNudge{Qt::SHIFT | Qt::Key_Right, 10, 0}, TNudge{Qt::SHIFT | Qt::Key_Up, 0, -10},
                          TNudge{Qt::SHIFT | Qt::Key_Down, 0, 10}}) {
    auto* s = new QShortcut(QKeySequence(n.Key), this);
    s->setContext(Qt::WindowShortcut);
    s->setAutoRepeat(true);
    s->setEnabled(false);
    connect(s, &QShortcut::activated, this, [this, n] { Guarded([&] { NudgePoint(n.DX, n.DY); }); });
    nudges.push_back(s);
  }
  connect(MI2, &QAction::toggled, this, [nudges](bool on) {
    for (QShortcut* s : nudges) s->setEnabled(on);
  });
}

void TMain::OpenFiles(const QStringList& files, QWidget* target) {
  struct TLoad {
    QString File;
    QWidget* Page;
  };
  std::vector<TLoad> loads;
  // One stereo camera file (MPO, JPS) is the whole pair: both tabs, as
  // "Bild laden..." loads it.
  if (files.size() == 1 && HoldsStereoPair(files[0].toStdString())) {
    Guarded([&] { LoadStereoPairFile(files[0].toStdString()); });
    SetActivePage(FTabSheet1);
    UpdateControls();
    return;
  }
  if (files.size() >= 2) {
    loads = {{files[0], FTabSheet1}, {files[1], FTabSheet2}};
  } else if (files.size() == 1) {
    QWidget* page = target;
    if (page != FTabSheet1 && page != FTabSheet2)
      page = FImLinks->Empty() ? FTabSheet1 : FImRechts->Empty() ? FTabSheet2 : nullptr;
    if (!page) return;
    loads = {{files[0], page}};
  }
  for (const TLoad& load : loads) {
    // The load of "Bild laden..." on that tab (its parameter file read with
    // it); a failure leaves the tab's picture as it was.
    SetActivePage(load.Page);
    Guarded([&] { LoadImageFile(load.Page == FTabSheet1 ? FImLinks : FImRechts, load.File.toStdString()); });
  }
  if (loads.empty()) return;
  SetActivePage(loads.front().Page);
  UpdateControls();
}

void TMain::ChangePage(int step) {
  const int n = FPageControl1->count();
  if (n == 0) return;
  // A change as the user's: an empty photograph tab opens the load dialog.
  FPageControl1->setCurrentIndex(((FPageControl1->currentIndex() + step) % n + n) % n);
}

void TMain::NudgePoint(int dx, int dy) {
  if (!BtLock->isChecked()) return;
  const bool left = ActivePage() == FTabSheet1;
  if (!left && ActivePage() != FTabSheet2) return;
  TPGImage* view = left ? FImLinks : FImRechts;
  TSideAlignment side = *FAlignTool->SideOf(view);
  TStereoPoint& point = side.Point;
  const TPixelGraphic* image = view->PixelGraphicNoWait();
  // Only a point that is set (0 means none) moves, and it stays on the
  // picture without becoming 0.
  if (!image || image->Empty() || point.X <= 0 || point.Y <= 0) return;
  const auto x = static_cast<int32_t>(std::clamp<int64_t>(int64_t{point.X} + dx, 1, std::max(1, image->Width() - 1)));
  const auto y = static_cast<int32_t>(std::clamp<int64_t>(int64_t{point.Y} + dy, 1, std::max(1, image->Height() - 1)));
  if (x != point.X || y != point.Y) {
    point.X = x;
    point.Y = y;
    FAlignTool->SetSide(FAlignTool->PartOf(view), side, NudgeCaption);
  } else {
    view->Invalidate();
  }
  ShowProgress(std::to_string(point.X) + "," + std::to_string(point.Y), 0);
}
