#pragma once

#include <cstdint>
#include <memory>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/types.h"

// Point filters: each output colour is computed from one input colour.
// A filter holds only its parameters and tables; TPixelGraphic::ApplyFilter
// runs it over an image (by mapping the palette of a palette image, or pixel
// by pixel).

// Root of the filter classes.
class TPGFilterClass : public TObject {};

class TPGFilter : public TPGFilterClass {
public:
  TPGFilter() = default;
  // A new filter of the same class with default parameters.
  virtual std::unique_ptr<TPGFilter> Create() const { return std::make_unique<TPGFilter>(); }
  // Remembers the source; subclasses prepare their tables here.
  virtual void BeginApply(const TPixelGraphic& source) { FSource = &source; }
  // The filtered colour of source pixel (x, y).
  virtual TColorRef GetFilteredPixel(int x, int y);
  // Forgets the source.
  virtual void EndApply() { FSource = nullptr; }
  // True when the output depends only on the input colour, so that a palette
  // can be filtered instead of the pixels.
  virtual bool IsColorFilter() const { return false; }
  virtual TColorRef MapColor(TColorRef color) const { return color; }

  // The source while the filter is being applied (null otherwise).
  const TPixelGraphic* Source() const { return FSource; }

protected:
  const TPixelGraphic* FSource = nullptr;
};

// Grey scale: (g, g, g) with g = G3 div 3, G3 the grey value under the
// filter's own RGBWeighting.
class TGrayScaleFilter : public TPGFilter {
public:
  std::unique_ptr<TPGFilter> Create() const override { return std::make_unique<TGrayScaleFilter>(); }
  TColorRef GetFilteredPixel(int x, int y) override;
  bool IsColorFilter() const override { return true; }
  TColorRef MapColor(TColorRef color) const override;

  bool RGBWeighting() const { return FRGBWeighting; }
  void SetRGBWeighting(bool v) { FRGBWeighting = v; }

private:
  bool FRGBWeighting = true;
};

// Brightness, contrast and gamma through one 256-entry curve, applied to R,
// G and B, or (UseY) to the luma of a YCbCr decomposition.
class TBCGFilter : public TPGFilter {
public:
  std::unique_ptr<TPGFilter> Create() const override { return std::make_unique<TBCGFilter>(); }
  // Builds the curve.
  void BeginApply(const TPixelGraphic& source) override;
  TColorRef GetFilteredPixel(int x, int y) override;
  bool IsColorFilter() const override { return true; }
  TColorRef MapColor(TColorRef color) const override;

  bool UseY() const { return FUseY; }
  void SetUseY(bool v) { FUseY = v; }
  // Percent (the filter dialog sets -100..100).
  int32_t Brightness() const { return FBrightness; }
  void SetBrightness(int32_t v) { FBrightness = v; }
  long double Contrast() const { return FContrast; }
  void SetContrast(long double v) { FContrast = v; }
  long double Gamma() const { return FGamma; }
  void SetGamma(long double v) { FGamma = v; }

  // Computes the curve from the current parameters (BeginApply does this).
  void BuildCurve();
  const uint8_t* Curve() const { return FCurve; }

private:
  bool FUseY = false;
  int32_t FBrightness = 1;
  long double FContrast = 1.0L;
  long double FGamma = 1.0L;
  uint8_t FCurve[256] = {};
};

// Three per-channel curves, initially the identity.
class TXXXFilter : public TPGFilter {
public:
  TXXXFilter();
  std::unique_ptr<TPGFilter> Create() const override { return std::make_unique<TXXXFilter>(); }
  TColorRef GetFilteredPixel(int x, int y) override;
  bool IsColorFilter() const override { return true; }

  // Fills the three curves from percentages (each clamped to -100..100):
  // Tk[i] = min(max(i + pk * 255 div 100, 0), 255). A positive value
  // brightens the channel (RGB) or strengthens the ink (CMY).
  void SetPercentages(int p1, int p2, int p3);

  // Curves of the first, second and third channel, written directly by the
  // filter dialogs.
  uint8_t Curve1[256];
  uint8_t Curve2[256];
  uint8_t Curve3[256];
};

// Curves applied to red, green and blue.
class TRGBFilter : public TXXXFilter {
public:
  std::unique_ptr<TPGFilter> Create() const override { return std::make_unique<TRGBFilter>(); }
  TColorRef MapColor(TColorRef color) const override;
};

// Curves applied to cyan, magenta and yellow (255 minus red, green, blue).
class TCMYFilter : public TXXXFilter {
public:
  std::unique_ptr<TPGFilter> Create() const override { return std::make_unique<TCMYFilter>(); }
  TColorRef MapColor(TColorRef color) const override;
};

// One curve from a percentage p (clamped to -100..100):
// T[i] = min(max(i + p * 255 div 100, 0), 255).
void PGFillFilterCurve(uint8_t (&curve)[256], int percent);

// The three curves of an RGB or CMY filter from three percentages.
void PGFillFilterCurves(TXXXFilter& filter, int p1, int p2, int p3);

// The contrast and gamma sliders of the filter dialog: a slider position s in
// -100..100 stands for the factor 5^(s/100), 0.2..5.0.
long double PGSliderToFactor(int position);
// The factor shown for a position: 5^(s/100) rounded to two decimals.
long double PGSliderToRoundedFactor(int position);
// The position of a factor: clamped to 0.2..5, ln(v) * 100 / ln 5 rounded to
// the nearest integer (ties to even), limited to -100..100.
int PGFactorToSlider(long double factor);
