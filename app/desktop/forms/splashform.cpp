#include "app/desktop/forms/splashform.h"

#include "app/desktop/forms/resources.h"

#include <algorithm>

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include "pgraphic/view/dialogunits.h"

namespace {
int GTimerInterval = 1000;
}

void TSplashImage::mousePressEvent(QMouseEvent* event) {
  FPressed = event->button() == Qt::LeftButton;
  QLabel::mousePressEvent(event);
}

void TSplashImage::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = FPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  FPressed = false;
  QLabel::mouseReleaseEvent(event);
  if (click) emit clicked();
}

TForm3::TForm3(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("Form3");
  setWindowTitle("Zwillo");

  Image1 = new TSplashImage(this);
  Image1->setObjectName("Image1");
  Image1->setPixmap(SplashPicture());
  Image1->setScaledContents(true);
  connect(Image1, &TSplashImage::clicked, this, &TForm3::Image1Click);

  BtOk = new QPushButton("OK", this);
  BtOk->setObjectName("BtOk");
  // The picture keeps its size; the button grows with the font in use about
  // its designed centre, within the window.
  TPGDialogLayout layout;
  const QRect design(136, 296, 75, 25);
  layout.Place(BtOk, design, [this, design](const QRect& scaled) {
    QRect r(QPoint(0, 0), scaled.size().boundedTo(QSize(DesignWidth, DesignHeight)));
    r.moveCenter(design.center());
    r.moveLeft(std::clamp(r.left(), 0, DesignWidth - r.width()));
    r.moveTop(std::clamp(r.top(), 0, DesignHeight - r.height()));
    BtOk->setGeometry(r);
  });
  layout.Apply(font());
  BtOk->setVisible(false);
  BtOk->setDefault(true);
  connect(BtOk, &QPushButton::clicked, this, &TForm3::BtOkClick);

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(GTimerInterval);
  connect(Timer1, &QTimer::timeout, this, &TForm3::Timer1Timer);

  FormCreate();
}

void TForm3::FormCreate() {
  setFixedSize(DesignWidth, DesignHeight);
  Image1->setGeometry(0, 0, DesignWidth, DesignHeight);
  Countdown = 3;
  Timer1->start();
}

void TForm3::Timer1Timer() {
  if (Countdown <= 0)
    Timer1->stop();
  else
    --Countdown;
}

void TForm3::Image1Click() { Countdown = 0; }

void TForm3::BtOkClick() { close(); }

void TForm3::ShowAbout(QWidget* parent) {
  auto* about = new TForm3(parent);
  about->BtOk->setVisible(true);
  about->exec();
  delete about;
}

int TForm3::TimerInterval() { return GTimerInterval; }
void TForm3::SetTimerInterval(int ms) { GTimerInterval = ms > 0 ? ms : 1; }

void TForm3::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen) {
      const QRect s = screen->geometry();
      move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
    }
  }
  QDialog::showEvent(event);
}

TForm3* ShowSplash() {
  auto* splash = new TForm3();
  splash->show();
  splash->repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  return splash;
}

void WaitForSplash(QWidget* mainWindow, TForm3* splash) {
  if (mainWindow) mainWindow->setEnabled(false);
  QPointer<TForm3> guard(splash);
  while (guard && guard->Countdown > 0) {
    // The splash's timer guarantees an event at least once per interval.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  delete guard.data();
  if (mainWindow) mainWindow->setEnabled(true);
}
