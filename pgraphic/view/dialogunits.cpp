#include "pgraphic/view/dialogunits.h"

#include <algorithm>
#include <cmath>

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QWidget>

namespace {

// A caption as it is drawn: "&" marks the access key and is not shown.
QString Shown(QString text) {
  for (qsizetype i = 0; i < text.size(); ++i)
    if (text[i] == u'&') text.remove(i, 1);  // "&&" keeps one "&"
  return text;
}

QString CaptionOf(const QWidget* w) {
  if (const auto* l = qobject_cast<const QLabel*>(w)) return l->text();
  if (const auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
  if (const auto* g = qobject_cast<const QGroupBox*>(w)) return g->title();
  return {};
}

// Nearest integer, halves away from zero (the values here are >= 0).
int Round(double v) { return static_cast<int>(std::floor(v + 0.5)); }

} // namespace

QSize PGDialogBaseUnits(const QFont& font) {
  const QFontMetrics fm(font);
  const int cx = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return QSize((cx / 26 + 1) / 2, fm.height());
}

QSize PGCaptionSize(const QWidget* w, const QString& text) {
  const QFontMetrics fm(w->font());
  const QString shown = Shown(text);
  const int advance = shown.isEmpty() ? 0 : fm.horizontalAdvance(shown);
  QStyle* style = w->style();
  if (const auto* l = qobject_cast<const QLabel*>(w)) {
    if (l->textFormat() == Qt::RichText || !l->pixmap().isNull()) return {};
    // The frame and margins around the text, whatever the label's size.
    const int frameW = w->width() - w->contentsRect().width(), frameH = w->height() - w->contentsRect().height();
    const int indent = l->indent() > 0 ? l->indent() : 0;
    return QSize(advance + frameW + 2 * l->margin() + indent, fm.height() + frameH + 2 * l->margin());
  }
  if (const auto* b = qobject_cast<const QPushButton*>(w)) {
    // The push button's own padding (the style's minimum width left out).
    const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w);
    int width = advance + style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w) + 2 * frame;
    if (!b->icon().isNull()) width += b->iconSize().width() + 4;
    if (b->isDefault() || b->autoDefault()) width += 2 * style->pixelMetric(QStyle::PM_ButtonDefaultIndicator, nullptr, w);
    return QSize(width, std::max(fm.height(), b->icon().isNull() ? 0 : b->iconSize().height()) + 2 * frame);
  }
  if (qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w)) {
    const bool check = qobject_cast<const QCheckBox*>(w) != nullptr;
    const int indicator = style->pixelMetric(check ? QStyle::PM_IndicatorWidth : QStyle::PM_ExclusiveIndicatorWidth, nullptr, w);
    const int spacing = style->pixelMetric(check ? QStyle::PM_CheckBoxLabelSpacing : QStyle::PM_RadioButtonLabelSpacing, nullptr, w);
    const int indicatorH =
        style->pixelMetric(check ? QStyle::PM_IndicatorHeight : QStyle::PM_ExclusiveIndicatorHeight, nullptr, w);
    // A little room for the focus frame around the text.
    return QSize(indicator + spacing + advance + 4, std::max(indicatorH, fm.height() + 2));
  }
  if (qobject_cast<const QGroupBox*>(w)) return QSize(advance + 2 * fm.height(), 0);
  return {};
}

void TPGDialogLayout::Place(QWidget* control, const QRect& design, const QStringList& alsoShows) {
  Place(control, design, [control](const QRect& r) { control->setGeometry(r); }, alsoShows);
}

void TPGDialogLayout::Place(QWidget* control, const QRect& design, std::function<void(const QRect&)> setBounds,
                            const QStringList& alsoShows) {
  FEntries.push_back({control, design, std::move(setBounds), alsoShows});
}

void TPGDialogLayout::Apply(const QFont& font) {
  const QSize units = PGDialogBaseUnits(font);
  FScaleX = std::max(FMinScale, static_cast<double>(units.width()) / PGDesignBaseUnitX);
  FScaleY = std::max(FMinScale, static_cast<double>(units.height()) / PGDesignBaseUnitY);
  // Every caption whole: the scale that gives each captioned control the room
  // its widest text needs (one pixel more, for the rounding of both edges).
  for (const TEntry& e : FEntries) {
    QStringList texts = e.Texts;
    texts << CaptionOf(e.Control);
    for (const QString& text : texts) {
      const QSize need = PGCaptionSize(e.Control, text);
      if (need.width() > 0 && e.Design.width() > 0)
        FScaleX = std::max(FScaleX, (need.width() + 1.0) / e.Design.width());
      if (need.height() > 0 && e.Design.height() > 0)
        FScaleY = std::max(FScaleY, (need.height() + 1.0) / e.Design.height());
    }
  }
  for (const TEntry& e : FEntries) e.SetBounds(Map(e.Design));
}

int TPGDialogLayout::MapX(int x) const { return Round(x * FScaleX); }
int TPGDialogLayout::MapY(int y) const { return Round(y * FScaleY); }

QRect TPGDialogLayout::Map(const QRect& d) const {
  const int l = MapX(d.x()), t = MapY(d.y());
  return QRect(l, t, MapX(d.x() + d.width()) - l, MapY(d.y() + d.height()) - t);
}

QSize TPGDialogLayout::Map(const QSize& d) const { return QSize(MapX(d.width()), MapY(d.height())); }
