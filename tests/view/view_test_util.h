#pragma once

#include <memory>

#include <QApplication>
#include <QImage>

#include "pgraphic/view/imageview.h"
#include "pgraphic/device/screen.h"

namespace viewtest {

// A 24-bit image whose pixel (x, y) has red x, green y and blue 7 (modulo 256).
inline std::unique_ptr<TPixelGraphic> Gradient(int w, int h) {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(w, h, bc24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) g->SetPixels(x, y, RGBColor(x & 255, y & 255, 7));
  return g;
}

// A shown view without border at (0, 0) of the given size.
inline std::unique_ptr<TPGImage> MakeView(int w, int h, std::unique_ptr<TPixelGraphic> image = nullptr) {
  auto view = std::make_unique<TPGImage>();
  view->SetBorderStyle(bsNone);
  view->SetBounds(0, 0, w, h);
  if (image) view->AdoptPixelGraphic(std::move(image));
  view->show();
  QApplication::processEvents();
  return view;
}

// The rendered client area.
inline QImage Rendered(TPGImage& view) { return view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

inline QRgb Rgb(TColorRef c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); }

// Emulates a screen depth for the lifetime of the object.
struct TScreenDepth {
  explicit TScreenDepth(int bits) { PGScreenBitsPerPixelOverride = bits; }
  ~TScreenDepth() { PGScreenBitsPerPixelOverride = 0; }
};

} // namespace viewtest
