#include "app/desktop/forms/progressform.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>

#include "pgraphic/view/dialogunits.h"

namespace {

void CentreOnScreen(QWidget* w) {
  QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect s = screen->geometry();
  w->move(s.x() + (s.width() - w->width()) / 2, s.y() + (s.height() - w->height()) / 2);
}

} // namespace

TForm2::TForm2(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint) {
  setObjectName("Form2");
  setWindowTitle("Berechnen Stereobild");
  setModal(false);

  Panel2 = new QLabel(this);
  Panel2->setObjectName("Panel2");
  Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel2->setAlignment(Qt::AlignCenter);

  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  ProgressBar1 = new QProgressBar(Panel1);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);

  // Design pixels, grown with the font in use; the bar fills its panel.
  TPGDialogLayout layout;
  layout.Place(Panel2, QRect(0, 0, ClientWidth, 41));
  layout.Place(Panel1, QRect(0, 41, ClientWidth, 24), [this](const QRect& r) {
    Panel1->setGeometry(r);
    const int b = Panel1->frameWidth();
    ProgressBar1->setGeometry(b, b, r.width() - 2 * b, r.height() - 2 * b);
  });
  layout.Apply(font());
  setFixedSize(layout.Map(QSize(ClientWidth, ClientHeight)));
}

void TForm2::ShowProgress(const QString& text, int percent, bool paintNow) {
  Panel2->setText(text);
  // A progress bar repaints itself at once when its value changes; without
  // paintNow that paint is left to the event loop too.
  if (!paintNow) ProgressBar1->setUpdatesEnabled(false);
  ProgressBar1->setValue(std::clamp(percent, 0, 100));
  if (!paintNow) ProgressBar1->setUpdatesEnabled(true);
  // The caller's thread is busy with the computation: paint now.
  if (paintNow && isVisible()) {
    Panel2->repaint();
    ProgressBar1->repaint();
  }
}

void TForm2::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) CentreOnScreen(this);
  QDialog::showEvent(event);
}
