#pragma once

#include <cstdint>
#include <memory>

#include "app/core/stereo_core.h"

// What the composition does to the right picture beyond the shift by the
// identical points, and the part of the result both corrected pictures fill.
//
// An automatic alignment (both sides carry a Scale) adds a scale step before
// the tilt compensation: the right picture is resampled by the ratio of the
// scales about its identical point, so that its exact identical point lands on
// the whole pixel the tilt turns about and the size stays (the common area
// stays valid, as with the tilt). Composed, a left pixel q shows the right
// picture at Source + Factor * Rot(-Delta) (q - left point), Source taking
// the exact points of both sides into account.

struct TRightCorrection {
  bool Automatic = false; // both sides carry a Scale
  bool Resample = false;  // the scale step runs
  double Factor = 1;      // right pixels per pixel of the scaled picture (right Scale / left Scale)
  double SourceX = 0, SourceY = 0; // where the scale step takes the pixel that lands on the identical point
  int32_t CenterX = 0, CenterY = 0; // the right identical point
  int32_t LeftX = 0, LeftY = 0;     // the left identical point
  bool Tilt = false;      // the tilt compensation runs
  long double Delta = 0;  // its angle in degrees
};

// Scale factors outside these bounds (and not finite) are not taken from a file.
constexpr double MinAlignScale = 0.5, MaxAlignScale = 2.0;

// True when a side's exact point belongs to its identical point.
bool ExactPointValid(const TSideAlignment& side);

TRightCorrection RightCorrection(const TPairAlignment& alignment);

// The scale step: a 24-bit picture of right's size whose pixel u shows right at
// SourceX/Y + Factor (u - CenterX/Y), with the precise method (linear
// interpolation when enlarging, area average when reducing); pixels whose
// source lies outside right get right's background colour. Null when the step
// does not run. Reports ("Maßstab angleichen", 0) first; rowProgress receives
// per-row progress on the calling thread.
std::unique_ptr<TPixelGraphic> ScaleCompensated(const TPixelGraphic& right, const TRightCorrection& correction,
                                                const TStereoProgress& progress = {},
                                                const TPGProgressEvent& rowProgress = {});

// The largest axis-parallel rectangle inside area (left coordinates) whose
// every pixel both pictures fill after the corrections: the right picture of
// wR x hR reaches it through the scale step and the tilt without a
// background pixel. The shift stays; with neither step it is area itself.
// Empty (W = H = 0) when no pixel qualifies.
TCommonArea WedgeFreeArea(const TCommonArea& area, int32_t wR, int32_t hR, const TRightCorrection& correction);
