#include "pgraphic/device/screen.h"

#include <QGuiApplication>
#include <QScreen>

std::atomic<int> PGScreenBitsPerPixelOverride{0};

int ScreenBitsPerPixel() {
  const int forced = PGScreenBitsPerPixelOverride.load(std::memory_order_relaxed);
  if (forced > 0) return forced;
  const QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                              ? QGuiApplication::primaryScreen()
                              : nullptr;
  return screen && screen->depth() > 0 ? screen->depth() : 24;
}
