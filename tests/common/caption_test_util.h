#pragma once

// Whether every caption of a window shows whole: the text of each label, push
// button, check box and radio button measured in its own font against the
// room its style gives the text.

#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace captiontest {

// The application font for the lifetime of the object.
struct TAppFont {
  TAppFont(const QString& family, int pointSize) : FOld(QApplication::font()) {
    QFont f(family);
    f.setPointSize(pointSize);
    QApplication::setFont(f);
  }
  ~TAppFont() { QApplication::setFont(FOld); }
  QFont FOld;
};

// The fonts the windows are tried with: the desktop's usual one, large and small.
struct TTrialFont {
  const char* Family;
  int PointSize;
};
inline const std::vector<TTrialFont>& TrialFonts() {
  static const std::vector<TTrialFont> fonts = {{"DejaVu Sans", 9}, {"DejaVu Sans", 20}, {"DejaVu Sans", 6},
                                                {"DejaVu Serif", 16}};
  return fonts;
}

inline QString Shown(QString text) {
  for (qsizetype i = 0; i < text.size(); ++i)
    if (text[i] == u'&') text.remove(i, 1);
  return text;
}

// "name: text (needs w x h, has w x h)" for each control of window whose
// caption is cut. Controls hidden themselves and other windows are passed
// over; the controls of a tab page that is not shown are measured too.
inline std::vector<std::string> CutCaptions(QWidget* window) {
  std::vector<std::string> cut;
  QList<QWidget*> widgets = window->findChildren<QWidget*>();
  widgets.prepend(window);
  for (QWidget* w : widgets) {
    if (w != window && w->isHidden()) continue;
    // Windows of their own (dialogs made on first use) are examined when shown.
    bool own = true;
    for (QWidget* p = w; p && p != window; p = p->parentWidget())
      if (p->isWindow()) own = false;
    if (!own) continue;
    const QFontMetrics fm(w->font());
    QString text;
    int need = 0, room = 0, needH = 0, roomH = 0;
    if (auto* l = qobject_cast<QLabel*>(w)) {
      if (l->text().isEmpty() || l->textFormat() == Qt::RichText || !l->pixmap().isNull() || l->wordWrap()) continue;
      text = l->text();
      need = fm.horizontalAdvance(text);
      room = l->contentsRect().width() - 2 * l->margin() - std::max(0, l->indent());
      needH = fm.height();
      roomH = l->contentsRect().height() - 2 * l->margin();
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      QStyleOptionButton opt;
      opt.initFrom(b);
      opt.text = b->text();
      opt.icon = b->icon();
      opt.iconSize = b->iconSize();
      QStyle::SubElement element;
      if (auto* p = qobject_cast<QPushButton*>(b)) {
        element = QStyle::SE_PushButtonContents;
        if (p->autoDefault() || p->isDefault()) opt.features |= QStyleOptionButton::AutoDefaultButton;
      } else if (qobject_cast<QCheckBox*>(b)) {
        element = QStyle::SE_CheckBoxContents;
      } else if (qobject_cast<QRadioButton*>(b)) {
        element = QStyle::SE_RadioButtonContents;
      } else {
        continue;  // tool buttons: icons
      }
      if (b->text().isEmpty()) continue;
      text = Shown(b->text());
      const QRect r = b->style()->subElementRect(element, &opt, b);
      need = fm.horizontalAdvance(text) + (b->icon().isNull() ? 0 : b->iconSize().width() + 4);
      room = r.width();
      needH = fm.height();
      roomH = r.height();
    } else {
      continue;
    }
    if (need > room || needH > roomH)
      cut.push_back(w->objectName().toStdString() + ": " + text.toStdString() + " (needs " + std::to_string(need) +
                    "x" + std::to_string(needH) + ", has " + std::to_string(room) + "x" + std::to_string(roomH) + ")");
  }
  return cut;
}

}  // namespace captiontest
