#include "pgraphic/view/companions.h"

#include <QPainter>

TPGPanel::TPGPanel(QWidget* parent) : TPGCompanionControl(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
}

void TPGPanel::SetCaption(const QString& caption) {
  if (caption == FCaption) return;
  FCaption = caption;
  Invalidate();
}

void TPGPanel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);  // the frame only; the background is left alone
  if (FCaption.isEmpty()) return;
  QPainter p(this);
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(contentsRect(), Qt::AlignCenter, FCaption);
}

TPGBevel::TPGBevel(QWidget* parent) : TPGCompanionControl(parent) {
  setFrameStyle(QFrame::Box | QFrame::Sunken);
}
