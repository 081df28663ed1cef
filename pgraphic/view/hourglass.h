#pragma once

#include <QGuiApplication>

// The hourglass over the whole program (the application's override cursor)
// while the object lives, or until Restore: restored however the operation
// ends. An inactive guard does nothing.
class TPGHourGlass {
public:
  explicit TPGHourGlass(bool active = true) : FActive(active) {
    if (FActive) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  }
  ~TPGHourGlass() { Restore(); }
  void Restore() {
    if (!FActive) return;
    FActive = false;
    QGuiApplication::restoreOverrideCursor();
  }
  TPGHourGlass(const TPGHourGlass&) = delete;
  TPGHourGlass& operator=(const TPGHourGlass&) = delete;

private:
  bool FActive;
};
