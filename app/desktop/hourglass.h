#pragma once

#include <QGuiApplication>

// The hourglass for the lifetime of the object, however the command ends.
struct THourGlass {
  THourGlass() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~THourGlass() { QGuiApplication::restoreOverrideCursor(); }
  THourGlass(const THourGlass&) = delete;
  THourGlass& operator=(const THourGlass&) = delete;
};
