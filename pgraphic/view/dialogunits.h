#pragma once

// Windows placed in the design's pixels and shown in the font actually used.
//
// The original platform lays dialogs out in dialog units, which it derives
// from the dialog font's average character width and line height, so a
// dialog grows with its font. The windows of this library and of the program
// were designed for a font whose base units are 6 x 13 pixels (the platform's
// 8-point dialog font at 96 dpi). TPGDialogLayout takes control bounds in
// those design pixels and places them scaled by the base units of the font in
// use; where a caption would still be cut (a font whose letters are wider than
// its average suggests), the scale grows until every caption shows whole.
//
//   TPGDialogLayout layout;
//   layout.Place(label, {16, 28, 33, 13});
//   layout.Place(valueLabel, {240, 16, 32, 17}, {"+100%", "-100%"});
//   layout.Apply(font());
//   setFixedSize(layout.Map(QSize(426, 274)));

#include <functional>
#include <vector>

#include <QRect>
#include <QSize>
#include <QStringList>

class QFont;
class QWidget;

// The base units of the design font.
constexpr int PGDesignBaseUnitX = 6;
constexpr int PGDesignBaseUnitY = 13;

// The dialog base units of a font: the average character width of A..Z a..z,
// rounded as the platform rounds it, and the line height.
QSize PGDialogBaseUnits(const QFont& font);

// The size a control needs to show text as its caption whole, in its own font
// and style: labels, push buttons, check boxes, radio buttons and group box
// titles; an empty size for other controls.
QSize PGCaptionSize(const QWidget* control, const QString& text);

class TPGDialogLayout {
public:
  // minScale: the smallest factor (1: never smaller than designed).
  explicit TPGDialogLayout(double minScale = 1.0) : FMinScale(minScale) {}

  // Records a control with its design bounds (relative to its parent, as
  // every control's are). alsoShows: texts it may show later besides its
  // present caption (value labels), which must fit as well.
  void Place(QWidget* control, const QRect& design, const QStringList& alsoShows = {});
  // The same with a setter of its own for the scaled bounds.
  void Place(QWidget* control, const QRect& design, std::function<void(const QRect&)> setBounds,
             const QStringList& alsoShows = {});

  // Derives the scale from font and the recorded captions, then sets the
  // bounds of every recorded control.
  void Apply(const QFont& font);

  // Design bounds, edges and sizes scaled (valid after Apply).
  QRect Map(const QRect& design) const;
  QSize Map(const QSize& design) const;
  int MapX(int x) const;
  int MapY(int y) const;
  double ScaleX() const { return FScaleX; }
  double ScaleY() const { return FScaleY; }

private:
  struct TEntry {
    QWidget* Control;
    QRect Design;
    std::function<void(const QRect&)> SetBounds;
    QStringList Texts;
  };
  std::vector<TEntry> FEntries;
  double FMinScale;
  double FScaleX = 1, FScaleY = 1;
};
