#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "app/core/stereo_core.h"

// Automatic alignment of a stereo pair: finds from the pictures themselves how
// the right photograph lies against the left one (vertical offset, roll and
// scale, the errors of the shot) and places the stereo window on the nearest
// detail both show. The horizontal disparities are the depth of the scene and
// are measured, never corrected.
//
// Details are matched on reduced grey copies of the pictures (about 1,500
// pixels wide); a robust fit of vertical offset, roll and scale (horizontal
// offsets free per detail) keeps the details that agree; these are then
// measured again at full resolution and the model is fitted to them by least
// squares. Window-free and self-contained: the caller runs it on a thread of
// its own when it must not wait, reads progress and may cancel it.

enum TAutoAlignStatus : int {
  aasAligned,           // found: the result describes the pair
  aasTooSmall,          // a picture is too small to find details in
  aasTooLittleInCommon, // too few details agree (different scenes, blank sky, no texture)
  aasCancelled,         // stopped through the cancel flag
};

// Progress and cancelling of an alignment.
struct TAutoAlignControl {
  // Called on the aligning thread with 0..100 as the work advances.
  std::function<void(int percent)> Progress;
  // When set, read at every step: true stops the alignment (aasCancelled).
  const std::atomic<bool>* Cancel = nullptr;
};

// The deviation photographers keep to: 1/30 of the picture width, in per mille.
constexpr double DeviationLimit = 1000.0 / 30;

// What an alignment found. The figures describe the right photograph against
// the left one; pixel figures are full-resolution pixels.
struct TAutoAlignResult {
  TAutoAlignStatus Status = aasTooLittleInCommon;
  double VerticalOffset = 0; // how much lower the right picture shows the left centre's row, at the centre column
  double Roll = 0;           // degrees the right picture's content is turned clockwise against the left's
  double Scale = 1;          // size of the right picture's content against the left's
  // The stereo window: the identical point on the nearest detail, a left
  // pixel and its exact place in the right picture.
  TExactPoint WindowLeft, WindowRight;
  // Horizontal disparities (left x minus right x, in left pixels, with the roll
  // and scale undone about the right picture's centre) of the nearest and the
  // farthest detail, and their range in per mille of the left picture's
  // width; DeviationWarning when that exceeds DeviationLimit.
  double NearDisparity = 0, FarDisparity = 0;
  double Deviation = 0;
  bool DeviationWarning = false;
  // Median vertical distance of the matched details after and before the
  // alignment.
  double Residual = 0, ResidualBefore = 0;
  int Matches = 0;      // matched details the final fit rests on
  bool Refined = false; // measured again at full resolution
  // The result as the composition takes it: identical points, tilt lines
  // (the left one level through the identical point, the right one turned by
  // the roll), the right photograph's scale and its exact identical point.
  TPairAlignment Alignment;
};

// Aligns the pair (24-bit or palette pictures). Only reads the pictures,
// which must not change while it runs (a window thread hands copies or waits
// for the worker); never fails for a picture's content (Status tells);
// allocation failures and the like propagate. Uses up to two threads of its
// own and about 20 MB for a 24-megapixel pair.
TAutoAlignResult AutoAlign(const TPixelGraphic& left, const TPixelGraphic& right,
                           const TAutoAlignControl& control = {});

// The message for a result that is not aligned (empty for aasAligned), in
// German or English.
std::string AutoAlignMessage(TAutoAlignStatus status, bool german);

// The alignment the composition takes for right = A (left - (windowDisparity,
// 0)) + (tx, ty), A = scale Rot(roll): the left identical point windowLeft and
// its exact right place, a level left tilt line across the left picture (wL
// wide) through the identical point and the right one turned by the roll,
// Scale 1 on the left and scale on the right.
TPairAlignment AlignmentForModel(double scale, double rollDegrees, double tx, double ty, double windowDisparity,
                                 TStereoPoint windowLeft, int32_t wL);
