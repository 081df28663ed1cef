#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "pgraphic/core/pixelgraphic.h"

// The optional steps of "zwillo-cli convert", in the order they run: rotate,
// mirror, resize, one filter, colour resolution.
struct TConvertSteps {
  std::optional<long double> Rotate; // degrees, clockwise on the screen
  bool Mirror = false;
  int ResizeWidth = 0, ResizeHeight = 0; // 0: no resize
  TStretchMode StretchMode = smPrecise;
  enum TFilterKind { fkNone, fkGrey, fkBCG, fkRGB, fkCMY } Filter = fkNone;
  int Brightness = 0;                 // BCG: percent -100..100
  long double Contrast = 1, Gamma = 1; // BCG: factors 0.2..5
  bool UseY = false;                  // BCG on the luma
  int Channels[3] = {0, 0, 0};        // RGB or CMY percentages -100..100
  int Bits = 0;                       // 1, 4, 8, 24; 0 keeps the resolution
  TPaletteIdent Palette = pNone;      // pNone: the default for Bits; pOptimized252Sys16: optimised
  bool Dither = true;
};

// "bw", "sysgray4", ... "special252", "optimized" (-> pOptimized252Sys16).
bool ParsePaletteName(const std::string& name, TPaletteIdent& ident);
// Whether a palette fits into an image of bits bits per pixel.
bool PaletteFits(TPaletteIdent ident, int bits);

// Runs the steps; each step except the in-place ones makes a new image and
// frees the one before. attach is called with every image that an operation
// is about to run on (for progress reports).
using TAttachProgress = std::function<void(TPixelGraphic& image, const char* what)>;
std::unique_ptr<TPixelGraphic> RunConvertSteps(std::unique_ptr<TPixelGraphic> image, const TConvertSteps& steps,
                                               const TAttachProgress& attach = {});
