#pragma once

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QString>

// Controls to place over an image view: the standard label, radio button,
// check box, group box, panel and bevel with a Transparent switch (on by
// default; the bevel is always transparent). A transparent one fills no
// background, so the picture shows through around its text and frame.
// Invalidate repaints it together with the part of its parent it covers (the
// whole parent when that is itself a companion), so what lies beneath is
// drawn again first; the image view invalidates its companions in turn.

// What every companion offers, found by the view among its children.
class TPGCompanion {
public:
  virtual ~TPGCompanion() = default;
  virtual bool Transparent() const = 0;
  virtual void SetTransparent(bool value) = 0;
  virtual void Invalidate() = 0;
};

// The common behaviour over any widget class.
template <class TBase>
class TPGCompanionControl : public TBase, public TPGCompanion {
public:
  explicit TPGCompanionControl(QWidget* parent = nullptr) : TBase(parent) { Apply(); }
  bool Transparent() const override { return FTransparent; }
  void SetTransparent(bool value) override {
    if (value == FTransparent) return;
    FTransparent = value;
    Apply();
    Invalidate();
  }
  void Invalidate() override {
    if (FInvalidating) return;  // a parent companion may lead back here
    FInvalidating = true;
    this->update();
    if (QWidget* parent = this->parentWidget()) {
      if (auto* companion = dynamic_cast<TPGCompanion*>(parent))
        companion->Invalidate();
      else
        parent->update(this->geometry());
    }
    FInvalidating = false;
  }

protected:
  // An opaque companion fills its background with its palette's window colour.
  void Apply() {
    this->setAutoFillBackground(!FTransparent);
    this->setAttribute(Qt::WA_NoSystemBackground, FTransparent);
  }

private:
  bool FTransparent = true;
  bool FInvalidating = false;
};

class TPGLabel : public TPGCompanionControl<QLabel> {
public:
  using TPGCompanionControl::TPGCompanionControl;
};

class TPGRadioButton : public TPGCompanionControl<QRadioButton> {
public:
  using TPGCompanionControl::TPGCompanionControl;
};

class TPGCheckBox : public TPGCompanionControl<QCheckBox> {
public:
  using TPGCompanionControl::TPGCompanionControl;
};

class TPGGroupBox : public TPGCompanionControl<QGroupBox> {
public:
  using TPGCompanionControl::TPGCompanionControl;
};

// A raised panel with a centred caption, both drawn over whatever lies beneath.
class TPGPanel : public TPGCompanionControl<QFrame> {
public:
  explicit TPGPanel(QWidget* parent = nullptr);
  QString Caption() const { return FCaption; }
  void SetCaption(const QString& caption);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QString FCaption;
};

// A sunken frame line or box; always transparent.
class TPGBevel : public TPGCompanionControl<QFrame> {
public:
  explicit TPGBevel(QWidget* parent = nullptr);
  void SetTransparent(bool) override {}
};
