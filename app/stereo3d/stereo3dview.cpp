#include "app/stereo3d/stereo3dview.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <exception>

#include "app/core/stereo_core.h"
#include "pgraphic/device/drawing.h"

TStereoHalves SplitHalves(TPixelGraphic& pair) {
  TStereoHalves halves;
  if (pair.Empty() || pair.Width() < 2 || pair.Height() < 1) return halves;
  const int32_t w = pair.Width() / 2, h = pair.Height();
  auto left = std::make_unique<TPixelGraphic>();
  auto right = std::make_unique<TPixelGraphic>();
  left->SetSize(w, h, bc24Bit);
  right->SetSize(w, h, bc24Bit);
  left->CopyRect(0, 0, pair, 0, 0, h, w);
  right->CopyRect(0, 0, pair, 0, w, h, w);
  halves.Left = std::move(left);
  halves.Right = std::move(right);
  return halves;
}

std::unique_ptr<TPixelGraphic> ColorAnaglyph(TPixelGraphic& left, TPixelGraphic& right) {
  // The halves are already aligned: the common area is the whole frame.
  TCommonArea area;
  area.W = std::min(left.Width(), right.Width());
  area.H = std::min(left.Height(), right.Height());
  auto work = std::make_unique<TPixelGraphic>();
  if (area.W <= 0 || area.H <= 0) return work;
  ComposeStereo(smColorAnaglyph, left, right, area, *work);
  return work;
}

namespace {

// The largest rectangle of aspect w : h that fits into the box, centred in it.
TRect Fitted(const QRect& box, int64_t w, int64_t h) {
  if (w <= 0 || h <= 0 || box.width() <= 0 || box.height() <= 0) return TRect{};
  int64_t dw = box.width(), dh = dw * h / w;
  if (dh > box.height()) {
    dh = box.height();
    dw = dh * w / h;
  }
  const int x = box.left() + static_cast<int>((box.width() - dw) / 2);
  const int y = box.top() + static_cast<int>((box.height() - dh) / 2);
  return Rect(x, y, x + static_cast<int>(dw), y + static_cast<int>(dh));
}

}  // namespace

TStereo3DViewer::TStereo3DViewer(QWidget* parent) : QWidget(parent) {
  setObjectName("Stereo3DViewer");
  setWindowTitle("Zwillo Stereo3D-Viewer");
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(800, 300);

  FMessage = new QLabel(this);
  FMessage->setObjectName("LbMessage");
  FMessage->setAlignment(Qt::AlignCenter);
  FMessage->setWordWrap(true);
  FMessage->setStyleSheet("color: white;");
  FMessage->hide();

  FHelp = new QLabel(HelpText(), this);
  FHelp->setObjectName("LbHelp");
  FHelp->setWordWrap(true);
  FHelp->setMargin(12);
  FHelp->setStyleSheet("color: black; background: rgba(255, 255, 224, 235); border: 1px solid gray;");
  FHelp->hide();

  FFrameTimer = new QTimer(this);
  FFrameTimer->setObjectName("FrameTimer");
  FFrameTimer->setTimerType(Qt::PreciseTimer);
  connect(FFrameTimer, &QTimer::timeout, this, &TStereo3DViewer::AdvanceFrame);
}

TStereo3DViewer::~TStereo3DViewer() = default;

QString TStereo3DViewer::HelpText() {
  return QString::fromUtf8(
      "Zwillo Stereo3D-Viewer\n\n"
      "1\tParallelblick: linkes Bild links, rechtes Bild rechts\n"
      "2\tKreuzblick: rechtes Bild links, linkes Bild rechts\n"
      "3\tFarb-Anaglyphenbild: Rot vom linken Bild, Grün und Blau vom rechten "
      "(Rot-Cyan-Brille)\n"
      "4\tLinkes und rechtes Bild im Wechsel für Shutterbrillen\n"
      "F, F11\tVollbild ein/aus\n"
      "F1, H\tDiese Hilfe ein/aus\n"
      "Esc\tBeenden\n\n"
      "Der Wechselbetrieb (4) zeigt bei jedem Bildaufbau des Bildschirms abwechselnd das linke und "
      "das rechte Bild, im Takt der Bildwiederholrate des Bildschirms. Er braucht einen Bildschirm, "
      "der jedes Bild ausgibt (vertikale Synchronisation eingeschaltet, kein Auslassen von Bildern), "
      "am besten im Vollbild, und eine Shutterbrille, die von außen (Sender oder Bildschirmsignal) "
      "mit dem Bildwechsel synchronisiert wird. Der Viewer selbst steuert keine Brille an; ob das "
      "linke Bild das linke Auge erreicht, hängt von dieser Synchronisation ab.\n\n"
      "Das Bild wird aus der Datei \"ELSAVIEWER.BMP\" im Arbeitsordner gelesen.");
}

void TStereo3DViewer::ShowError(const QString& message) {
  FError = message;
  FLeft.reset();
  FRight.reset();
  FAnaglyph.reset();
  FMessage->setText(message);
  FMessage->show();
  UpdateTimer();
  update();
}

bool TStereo3DViewer::LoadFromFolder(const QString& folder) {
  const QString path = QDir(folder).filePath(QString::fromLatin1(HandOffFileName));
  if (!QFileInfo(path).isFile()) {
    ShowError(QString::fromUtf8("Die Datei \"%1\" wurde im Ordner \"%2\" nicht gefunden.\n\n"
                                "Der Viewer wird vom Stereoprogramm im Übergabeordner gestartet "
                                "(Stereobild für ELSA 3D Revelator, Menü \"ELSA Stereo3D-Viewer\").")
                  .arg(QString::fromLatin1(HandOffFileName), QDir::toNativeSeparators(folder)));
    return false;
  }
  TPixelGraphic pair;
  try {
    pair.LoadFromFile(path.toStdString());
  } catch (const std::exception& e) {
    ShowError(QString::fromUtf8("Die Datei \"%1\" konnte nicht gelesen werden:\n%2")
                  .arg(QDir::toNativeSeparators(path), QString::fromUtf8(e.what())));
    return false;
  }
  TStereoHalves halves;
  try {
    halves = SplitHalves(pair);
  } catch (const std::exception& e) {
    ShowError(QString::fromUtf8("Die Datei \"%1\" konnte nicht gelesen werden:\n%2")
                  .arg(QDir::toNativeSeparators(path), QString::fromUtf8(e.what())));
    return false;
  }
  if (!halves.Left) {
    ShowError(QString::fromUtf8("Die Datei \"%1\" enthält kein Stereobildpaar.")
                  .arg(QDir::toNativeSeparators(path)));
    return false;
  }
  FLeft = std::move(halves.Left);
  FRight = std::move(halves.Right);
  FAnaglyph.reset();
  FError.clear();
  FMessage->hide();
  if (FMode == vmAnaglyph) EnsureAnaglyph();
  FShowRight = false;
  UpdateTimer();
  update();
  return true;
}

void TStereo3DViewer::EnsureAnaglyph() {
  if (FAnaglyph || !FLeft) return;
  // Called from key handlers: no exception may leave it into the event loop.
  try {
    FAnaglyph = ColorAnaglyph(*FLeft, *FRight);
  } catch (const std::exception& e) {
    FAnaglyph.reset();
    FMessage->setText(QString::fromUtf8("Das Anaglyphenbild kann nicht berechnet werden:\n%1")
                          .arg(QString::fromUtf8(e.what())));
    FMessage->show();
  }
}

bool TStereo3DViewer::LoadFromWorkingDirectory() { return LoadFromFolder(QDir::currentPath()); }

void TStereo3DViewer::SetMode(TStereo3DMode mode) {
  if (mode < vmParallel || mode > vmAlternate) return;
  FMode = mode;
  if (FLeft) FMessage->hide();  // an earlier anaglyph failure concerns that mode only
  if (mode == vmAnaglyph) EnsureAnaglyph();
  FShowRight = false;
  UpdateTimer();
  update();
}

int TStereo3DViewer::FrameInterval() const {
  const QScreen* s = screen();
  const qreal rate = s ? s->refreshRate() : 60.0;
  if (rate <= 1.0) return 16;
  return std::max(1, qRound(1000.0 / rate));
}

void TStereo3DViewer::UpdateTimer() {
  if (FMode == vmAlternate && FLeft && isVisible()) {
    FFrameTimer->setInterval(FrameInterval());
    if (!FFrameTimer->isActive()) FFrameTimer->start();
  } else {
    FFrameTimer->stop();
  }
}

void TStereo3DViewer::AdvanceFrame() {
  if (FMode != vmAlternate) return;
  FShowRight = !FShowRight;
  // Painted at once, so each timer step (one display refresh) shows one frame.
  if (isVisible()) repaint();
}

bool TStereo3DViewer::HelpVisible() const { return FHelp->isVisible(); }

void TStereo3DViewer::ToggleFullScreen() {
  if (isFullScreen()) showNormal();
  else showFullScreen();
}

void TStereo3DViewer::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (!FLeft) return;
  const int64_t w = FLeft->Width(), h = FLeft->Height();
  switch (FMode) {
    case vmParallel:
    case vmCrossed: {
      const TRect pairRect = Fitted(rect(), 2 * w, h);
      const int mid = pairRect.Left + pairRect.Width() / 2;
      const TPixelGraphic& first = FMode == vmParallel ? *FLeft : *FRight;
      const TPixelGraphic& second = FMode == vmParallel ? *FRight : *FLeft;
      DrawToDC(first, painter, Rect(pairRect.Left, pairRect.Top, mid, pairRect.Bottom));
      DrawToDC(second, painter, Rect(mid, pairRect.Top, pairRect.Right, pairRect.Bottom));
      break;
    }
    case vmAnaglyph:
      if (FAnaglyph) DrawToDC(*FAnaglyph, painter, Fitted(rect(), w, h));
      break;
    case vmAlternate:
      DrawToDC(FShowRight ? *FRight : *FLeft, painter, Fitted(rect(), w, h));
      break;
  }
}

void TStereo3DViewer::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_1: SetMode(vmParallel); break;
    case Qt::Key_2: SetMode(vmCrossed); break;
    case Qt::Key_3: SetMode(vmAnaglyph); break;
    case Qt::Key_4: SetMode(vmAlternate); break;
    case Qt::Key_F:
    case Qt::Key_F11: ToggleFullScreen(); break;
    case Qt::Key_F1:
    case Qt::Key_H:
      FHelp->setVisible(!FHelp->isVisible());
      if (FHelp->isVisible()) FHelp->raise();
      break;
    case Qt::Key_Escape: close(); break;
    default: QWidget::keyPressEvent(event); return;
  }
  event->accept();
}

void TStereo3DViewer::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const QRect inner = rect().adjusted(20, 20, -20, -20);
  FMessage->setGeometry(inner);
  const int helpWidth = std::max(0, std::min(620, inner.width()));
  const int helpHeight = std::min(FHelp->heightForWidth(helpWidth), inner.height());
  FHelp->setGeometry(inner.left(), inner.top(), helpWidth, std::max(0, helpHeight));
}

void TStereo3DViewer::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  UpdateTimer();
}

void TStereo3DViewer::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  UpdateTimer();
}
