// The tool-bar images and the window icon, drawn for this program on a 20 x 20
// grid (the window icon on 32 x 32) and rendered at any device pixel ratio.
#include "app/desktop/forms/resources.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>
#include <functional>
#include <numbers>

namespace {

const QColor Ink(40, 40, 60);
const QColor Blue(30, 80, 170);
const QColor Red(210, 40, 40);
const QColor Green(30, 160, 60);
const QColor Cyan(0, 170, 200);
const QColor Paper(250, 250, 245);

QPen PenOf(const QColor& c, qreal w = 1.0) { return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

// A small landscape photograph: sky, a hill and a sun.
void Photo(QPainter& p, const QRectF& r, const QColor& tint = QColor()) {
  p.setPen(PenOf(Ink, 0.8));
  p.setBrush(QColor(190, 220, 250));
  p.drawRect(r);
  QPainterPath hill;
  hill.moveTo(r.left(), r.bottom());
  hill.lineTo(r.left(), r.bottom() - r.height() * 0.25);
  hill.lineTo(r.left() + r.width() * 0.4, r.top() + r.height() * 0.35);
  hill.lineTo(r.right(), r.bottom() - r.height() * 0.2);
  hill.lineTo(r.right(), r.bottom());
  hill.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(70, 150, 70));
  p.drawPath(hill);
  p.setBrush(QColor(250, 200, 40));
  const qreal s = std::min(r.width(), r.height()) * 0.22;
  p.drawEllipse(QPointF(r.right() - s * 1.4, r.top() + s * 1.4), s, s);
  if (tint.isValid()) {
    QColor t = tint;
    t.setAlpha(110);
    p.setBrush(t);
    p.drawRect(r);
  }
  p.setPen(PenOf(Ink, 0.8));
  p.setBrush(Qt::NoBrush);
  p.drawRect(r);
}

// A triangle arrowhead with its tip at tip, pointing along dir.
void ArrowHead(QPainter& p, QPointF tip, QPointF dir, qreal size, const QColor& c) {
  const qreal len = std::hypot(dir.x(), dir.y());
  if (len == 0) return;
  dir /= len;
  const QPointF n(-dir.y(), dir.x());
  const QPointF base = tip - dir * size;
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawPolygon(QPolygonF{tip, base + n * size * 0.6, base - n * size * 0.6});
}

// An arc about (cx, cy) from startDeg over spanDeg (positive: counter-clockwise
// on the screen) with an arrowhead at its end.
void ArcArrow(QPainter& p, qreal cx, qreal cy, qreal r, qreal startDeg, qreal spanDeg, const QColor& c) {
  p.setPen(PenOf(c, 2.0));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(cx - r, cy - r, 2 * r, 2 * r), int(startDeg * 16), int(spanDeg * 16));
  const qreal a = (startDeg + spanDeg) * std::numbers::pi / 180.0;
  const QPointF end(cx + r * std::cos(a), cy - r * std::sin(a));
  const qreal sign = spanDeg > 0 ? 1.0 : -1.0;
  const QPointF tangent(-std::sin(a) * sign, -std::cos(a) * sign);
  ArrowHead(p, end + tangent * 2.5, tangent, 4.5, c);
}

void Floppy(QPainter& p, const QRectF& r, const QColor& body = Blue) {
  const qreal u = r.width() / 16.0;
  QPainterPath path;
  path.moveTo(r.left(), r.top());
  path.lineTo(r.right() - 3 * u, r.top());
  path.lineTo(r.right(), r.top() + 3 * u);
  path.lineTo(r.right(), r.bottom());
  path.lineTo(r.left(), r.bottom());
  path.closeSubpath();
  p.setPen(PenOf(body.darker(150), 0.8));
  p.setBrush(body);
  p.drawPath(path);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(200, 205, 215));  // metal shutter
  p.drawRect(QRectF(r.left() + 4 * u, r.top(), 7 * u, 5 * u));
  p.setBrush(body);
  p.drawRect(QRectF(r.left() + 8.5 * u, r.top() + 1 * u, 1.5 * u, 3 * u));
  p.setBrush(Paper);  // label
  p.drawRect(QRectF(r.left() + 2.5 * u, r.top() + 8 * u, r.width() - 5 * u, r.height() - 9 * u));
}

void Magnifier(QPainter& p, QPointF c, qreal r, int sign) {
  p.setPen(PenOf(QColor(120, 80, 40), 3.0));
  const QPointF d(r * 0.72, r * 0.72);
  p.drawLine(c + d, c + d * 1.9);
  p.setPen(PenOf(Ink, 1.4));
  p.setBrush(QColor(215, 235, 255));
  p.drawEllipse(c, r, r);
  if (sign != 0) {
    p.setPen(PenOf(Ink, 1.8));
    p.drawLine(c - QPointF(r * 0.5, 0), c + QPointF(r * 0.5, 0));
    if (sign > 0) p.drawLine(c - QPointF(0, r * 0.5), c + QPointF(0, r * 0.5));
  }
}

// Glasses: two lenses with a bridge; a null colour leaves a lens clear.
void Glasses(QPainter& p, const QColor& left, const QColor& right, qreal y = 9) {
  p.setPen(PenOf(Ink, 1.2));
  p.drawLine(QPointF(1, y - 1), QPointF(0.5, y - 4));
  p.drawLine(QPointF(19, y - 1), QPointF(19.5, y - 4));
  p.drawLine(QPointF(8.5, y + 1), QPointF(11.5, y + 1));
  p.setBrush(left);
  p.drawRoundedRect(QRectF(1, y - 1.5, 7.5, 6), 2, 2);
  p.setBrush(right);
  p.drawRoundedRect(QRectF(11.5, y - 1.5, 7.5, 6), 2, 2);
}

void Letter(QPainter& p, const QRectF& r, const QString& text, const QColor& c, int px = 9) {
  QFont f("DejaVu Sans");
  f.setPixelSize(px);
  f.setBold(true);
  p.setFont(f);
  p.setPen(c);
  p.drawText(r, Qt::AlignCenter, text);
}

void Draw(QPainter& p, int index) {
  switch (index) {
  case 0: {  // identical point: cross-hairs on a target
    p.setPen(PenOf(Red, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(10, 10), 6, 6);
    p.setPen(PenOf(Ink, 1.2));
    p.drawLine(QPointF(10, 1), QPointF(10, 7));
    p.drawLine(QPointF(10, 13), QPointF(10, 19));
    p.drawLine(QPointF(1, 10), QPointF(7, 10));
    p.drawLine(QPointF(13, 10), QPointF(19, 10));
    p.setPen(Qt::NoPen);
    p.setBrush(Red);
    p.drawEllipse(QPointF(10, 10), 1.5, 1.5);
    break;
  }
  case 1: {  // pan: arrows in four directions
    p.setPen(PenOf(Blue, 1.6));
    p.drawLine(QPointF(4, 10), QPointF(16, 10));
    p.drawLine(QPointF(10, 4), QPointF(10, 16));
    ArrowHead(p, {19, 10}, {1, 0}, 4, Blue);
    ArrowHead(p, {1, 10}, {-1, 0}, 4, Blue);
    ArrowHead(p, {10, 1}, {0, -1}, 4, Blue);
    ArrowHead(p, {10, 19}, {0, 1}, 4, Blue);
    break;
  }
  case 2: {  // tilt line: a slanted line against the horizontal, with its angle
    p.setPen(QPen(QColor(120, 120, 130), 1.0, Qt::DashLine));
    p.drawLine(QPointF(2, 15.5), QPointF(19, 15.5));
    p.setPen(PenOf(Red, 1.8));
    p.drawLine(QPointF(3, 15.5), QPointF(17, 5));
    p.setPen(PenOf(Ink, 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(-4, 8.5, 14, 14), 0, 37 * 16);
    p.setBrush(Paper);
    p.drawRect(QRectF(1.5, 14, 3, 3));
    p.drawRect(QRectF(15.5, 3.5, 3, 3));
    break;
  }
  case 3: {  // load a photograph: an open folder with a picture in it
    p.setPen(PenOf(QColor(150, 110, 20), 0.8));
    p.setBrush(QColor(225, 180, 60));
    p.drawPolygon(QPolygonF{{1, 4}, {7, 4}, {9, 6}, {17, 6}, {17, 17}, {1, 17}});
    Photo(p, QRectF(4, 2.5, 11, 9));
    p.setPen(PenOf(QColor(150, 110, 20), 0.8));
    p.setBrush(QColor(245, 210, 100));
    p.drawPolygon(QPolygonF{{4, 9}, {19.5, 9}, {17, 17}, {1, 17}});
    break;
  }
  case 4: {  // red-green anaglyph: grey picture, red and green lenses
    QLinearGradient g(1, 0, 19, 0);
    g.setColorAt(0, QColor(30, 30, 30));
    g.setColorAt(1, QColor(235, 235, 235));
    p.setPen(PenOf(Ink, 0.8));
    p.setBrush(g);
    p.drawRect(QRectF(2, 1.5, 16, 4));
    Glasses(p, Red, Green, 11);
    break;
  }
  case 5: {  // print: a printer with a sheet
    p.setPen(PenOf(Ink, 0.8));
    p.setBrush(Paper);
    p.drawRect(QRectF(5, 1.5, 10, 7));
    p.setBrush(QColor(170, 175, 185));
    p.drawRoundedRect(QRectF(1.5, 7, 17, 7.5), 1.5, 1.5);
    p.setBrush(Paper);
    p.drawRect(QRectF(5, 12, 10, 6.5));
    p.setPen(PenOf(QColor(120, 120, 140), 0.8));
    p.drawLine(QPointF(6.5, 14.5), QPointF(13.5, 14.5));
    p.drawLine(QPointF(6.5, 16.5), QPointF(11.5, 16.5));
    p.setPen(Qt::NoPen);
    p.setBrush(Green);
    p.drawEllipse(QPointF(16, 9.5), 0.9, 0.9);
    break;
  }
  case 6: {  // save the stereo image: a disk with red and cyan on its label
    Floppy(p, QRectF(2, 2, 16, 16));
    p.setPen(Qt::NoPen);
    p.setBrush(Red);
    p.drawRect(QRectF(5.5, 11.5, 4, 4.5));
    p.setBrush(Cyan);
    p.drawRect(QRectF(10.5, 11.5, 4, 4.5));
    break;
  }
  case 7:  // rotate 90 degrees to the left
  case 8: {  // to the right
    Photo(p, QRectF(6.5, 7, 7, 6));
    if (index == 7)
      ArcArrow(p, 10, 10, 7, -60, 250, Blue);
    else
      ArcArrow(p, 10, 10, 7, 240, -250, Blue);
    break;
  }
  case 9:
  case 10:  // zoom in / out
    Magnifier(p, {8, 8}, 5.5, index == 9 ? 1 : -1);
    break;
  case 11: {  // save identical point and turn: a disk with cross-hairs
    Floppy(p, QRectF(2, 2, 16, 16));
    p.setPen(PenOf(Red, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(10, 13.8), 2.2, 2.2);
    p.drawLine(QPointF(10, 10.5), QPointF(10, 17.2));
    p.drawLine(QPointF(6.5, 13.8), QPointF(13.5, 13.8));
    break;
  }
  case 12: {  // settings: a cog wheel
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(110, 115, 130));
    for (int i = 0; i < 8; ++i) {
      p.save();
      p.translate(10, 10);
      p.rotate(i * 45);
      p.drawRect(QRectF(-1.6, -9, 3.2, 4));
      p.restore();
    }
    p.drawEllipse(QPointF(10, 10), 6.2, 6.2);
    p.setBrush(Paper);
    p.drawEllipse(QPointF(10, 10), 2.5, 2.5);
    break;
  }
  case 13: {  // crop: two crop marks
    p.setPen(QPen(Ink, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPolyline(QPolygonF{{5, 1}, {5, 15}, {19, 15}});
    p.drawPolyline(QPolygonF{{1, 5}, {15, 5}, {15, 19}});
    p.setPen(QPen(Red, 1.0, Qt::DashLine));
    p.drawRect(QRectF(7, 7, 6, 6));
    break;
  }
  case 14: {  // mirror stereo: a picture and its mirror image about a mirror
    p.setPen(Qt::NoPen);
    QLinearGradient g(8.5, 0, 11.5, 0);
    g.setColorAt(0, QColor(150, 190, 220));
    g.setColorAt(1, QColor(60, 90, 130));
    p.setBrush(g);
    p.drawRect(QRectF(9, 1, 2, 18));
    Letter(p, QRectF(0, 2, 9, 16), "F", Blue, 13);
    p.save();
    p.translate(20, 0);
    p.scale(-1, 1);
    Letter(p, QRectF(0, 2, 9, 16), "F", Blue, 13);
    p.restore();
    break;
  }
  case 15: {  // colour anaglyph: colours, red and cyan lenses
    const QColor stripes[] = {Red, QColor(240, 200, 30), Green, Blue};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
      p.setBrush(stripes[i]);
      p.drawRect(QRectF(2 + i * 4, 1.5, 4, 4));
    }
    Glasses(p, Red, Cyan, 11);
    break;
  }
  case 16: {  // field-sequential LCD: a monitor showing interleaved lines
    p.setPen(PenOf(Ink, 0.8));
    p.setBrush(QColor(60, 60, 70));
    p.drawRect(QRectF(1, 1.5, 18, 13));
    for (int y = 0; y < 11; ++y) {
      p.setPen(Qt::NoPen);
      p.setBrush(y % 2 ? QColor(110, 200, 240) : QColor(245, 245, 245));
      p.drawRect(QRectF(2.5, 3 + y, 15, 1));
    }
    p.setBrush(QColor(110, 110, 120));
    p.drawRect(QRectF(8, 14.5, 4, 2.5));
    p.drawRect(QRectF(5, 17, 10, 1.5));
    break;
  }
  case 17:  // stereo pair left-right
  case 18: {  // right-left
    Photo(p, QRectF(0.5, 4, 9, 12), index == 17 ? Red : Cyan);
    Photo(p, QRectF(10.5, 4, 9, 12), index == 17 ? Cyan : Red);
    Letter(p, QRectF(0.5, 4, 9, 12), index == 17 ? "L" : "R", Qt::white, 9);
    Letter(p, QRectF(10.5, 4, 9, 12), index == 17 ? "R" : "L", Qt::white, 9);
    break;
  }
  case 19: {  // save with the zoom factor: a disk and a magnifier
    Floppy(p, QRectF(1, 1, 13, 13));
    Magnifier(p, {13, 13}, 3.6, 1);
    break;
  }
  case 20: {  // ELSA shutter glasses: one lens dark, one clear, and a cable
    p.setPen(PenOf(Ink, 1.0));
    QPainterPath cable(QPointF(19.5, 6));
    cable.cubicTo(QPointF(21, 12), QPointF(12, 16), QPointF(15, 19.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(cable);
    Glasses(p, QColor(25, 25, 30), QColor(200, 230, 250), 7);
    p.setPen(PenOf(QColor(240, 200, 30), 1.2));
    p.drawLine(QPointF(3, 15), QPointF(6, 13));
    p.drawLine(QPointF(6, 13), QPointF(5, 17));
    p.drawLine(QPointF(5, 17), QPointF(8, 15));
    break;
  }
  case 21: {  // automatic alignment: a tilted photograph turned level onto its partner, and a spark
    p.save();
    p.translate(8, 11);
    p.rotate(-12);
    p.setPen(QPen(QColor(120, 120, 130), 1.0, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(-6, -5, 12, 10));
    p.restore();
    Photo(p, QRectF(2.5, 6.5, 12, 10));
    ArrowHead(p, QPointF(13.5, 3.5), QPointF(1, -0.6), 3.5, Green);
    p.setPen(PenOf(Green, 1.4));
    p.drawArc(QRectF(3, 2, 12, 8), 40 * 16, 100 * 16);
    p.setPen(PenOf(QColor(240, 200, 30), 1.3));
    for (const QPointF& d : {QPointF(0, 2.5), QPointF(2.5, 0), QPointF(1.8, 1.8), QPointF(1.8, -1.8)}) {
      p.drawLine(QPointF(17, 14) - d, QPointF(17, 14) + d);
    }
    break;
  }
  default:
    break;
  }
}

// The greyed image of a disabled command: light grey values, half covering.
QImage Disabled(const QImage& image) {
  QImage out = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      const QRgb c = line[x];
      const int grey = (qRed(c) * 299 + qGreen(c) * 587 + qBlue(c) * 114) / 1000;
      const int v = 120 + grey * 100 / 255;
      line[x] = qRgba(v, v, v, qAlpha(c) * 3 / 5);
    }
  }
  return out;
}

QImage Render(int size, qreal grid, int scale, const std::function<void(QPainter&)>& draw) {
  QImage image(size * scale, size * scale, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.scale(size * scale / grid, size * scale / grid);
  draw(p);
  p.end();
  return image;
}

void DrawWindowIcon(QPainter& p) {
  // Two photographs of one scene, the left tinted red and the right cyan,
  // overlapping as in an anaglyph.
  p.save();
  p.translate(3, 5);
  p.rotate(-6);
  Photo(p, QRectF(0, 0, 20, 16), Red);
  p.restore();
  p.save();
  p.translate(10, 11);
  p.rotate(4);
  Photo(p, QRectF(0, 0, 20, 16), Cyan);
  p.restore();
}

} // namespace

QPixmap ToolPixmap(int index, bool disabled, int scale) {
  if (index < 0 || index >= ToolIconCount) return QPixmap();
  QImage image = Render(20, 20, scale, [index](QPainter& p) { Draw(p, index); });
  if (disabled) image = Disabled(image);
  QPixmap pixmap = QPixmap::fromImage(image);
  pixmap.setDevicePixelRatio(scale);
  return pixmap;
}

QIcon ToolIcon(int index) {
  if (index < 0 || index >= ToolIconCount) return QIcon();
  QIcon icon;
  for (int scale : {1, 2}) {
    icon.addPixmap(ToolPixmap(index, false, scale), QIcon::Normal);
    icon.addPixmap(ToolPixmap(index, true, scale), QIcon::Disabled);
  }
  return icon;
}

QIcon WindowIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addPixmap(QPixmap::fromImage(Render(size, 32, 1, DrawWindowIcon)));
  return icon;
}
