#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "pgraphic/core/pixelgraphic.h"

// The stereo composition core: from a left and a right picture and the pair's
// alignment it computes the stereo image of one of the stereo modes: the seven
// of the design and those after them (stereo_modes.h). Window-free; works on
// TPixelGraphic images only.

struct TStereoPoint {
  int32_t X = 0, Y = 0;
};

struct TStereoLine {
  int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
};

// A position with fractions of a pixel.
struct TExactPoint {
  double X = 0, Y = 0;
};

// Alignment data of one photograph: identical point, second point, tilt line
// (0 everywhere when not set).
struct TSideAlignment {
  TStereoPoint Point;
  TStereoPoint TurnPoint;
  TStereoLine Line;
  // Only an automatic alignment sets these (hand-made alignments have neither).
  // Scale: the size of this photograph's content against the pair's reference;
  // when both sides carry one, the composition resamples the right photograph
  // by left Scale / right Scale. Exact: the identical point with its
  // fractions, used while Point is that point rounded.
  std::optional<double> Scale;
  std::optional<TExactPoint> Exact;
};

struct TPairAlignment {
  TSideAlignment Left;
  TSideAlignment Right;
};

// The shift of the pair and the common area in left-image coordinates; the
// same area starts at (X0 - Dx, Y0 - Dy) in the right image.
struct TCommonArea {
  int32_t Dx = 0, Dy = 0;
  int32_t X0 = 0, Y0 = 0;
  int32_t W = 0, H = 0;
};

enum TStereoMode : int {
  smRedGreen = 0,
  smMirror = 1,
  smColorAnaglyph = 2,
  smFieldSequential = 3,
  smLeftRight = 4,
  smRightLeft = 5,
  smElsa = 6,
  // For today's glasses and screens (stereo_modes.h).
  smDubois = 7,            // least-squares red-cyan anaglyph
  smHalfColour = 8,        // half-colour red-cyan anaglyph
  smOptimised = 9,         // optimised red-cyan anaglyph
  smGreyAnaglyph = 10,     // grey red-cyan anaglyph
  smHalfSideBySide = 11,   // side by side at half width
  smOverUnder = 12,        // left over right
  smHalfOverUnder = 13,    // left over right at half height
  smColumnInterleaved = 14,
  smCheckerboard = 15,
};

// The number of stereo modes (0..StereoModeCount-1).
constexpr int StereoModeCount = 16;

// Added to a mode: the two pictures exchange their roles once aligned (the
// right picture's area is used as the left one's and the other way round),
// for wrongly labelled pairs and cross-viewing. Left-right with it equals
// right-left.
constexpr int smSwapEyes = 0x100;

// Progress reports of the core: a text and a percentage.
using TStereoProgress = std::function<void(const std::string& text, int percent)>;

// The caption of a stereo mode ("Rot-Grün-Anaglyphenbild", ...), also with
// smSwapEyes added; empty for anything else.
std::string StereoModeCaption(int mode);

// Direction of the line (x1, y1) -> (x2, y2) in degrees, measured from the
// downward direction towards the right, in [0, 360); 0 for a line of length 0.
long double LineAngle(long double x1, long double y1, long double x2, long double y2);

// Shift and common area of the pair, from the photographs' sizes and the
// identical points.
TCommonArea CommonArea(int32_t wL, int32_t hL, int32_t wR, int32_t hR, TStereoPoint leftPoint,
                       TStereoPoint rightPoint);

// A side's tilt line counts when it is drawn: its four coordinates add up to
// more than 0 and its end differs from its start (a click without a drag has
// no direction).
bool TiltLineDrawn(const TStereoLine& line);

// Which photographs have a tilt line.
enum TTiltLines : int { tlNone, tlLeftOnly, tlRightOnly, tlBoth };
TTiltLines TiltLinesGiven(const TPairAlignment& alignment);

// The tilt difference aR - aL in degrees; false when neither second points
// (all four coordinates > 0 in both photographs) nor tilt lines (drawn in
// both photographs) are given. Lines win over second points. A line in one
// photograph only is no tilt: the other photograph's missing line has no
// direction to compare with (TiltLinesGiven tells the caller which is missing).
bool TiltDifference(const TPairAlignment& alignment, long double& delta);

// Turns the right picture by the tilt difference about its identical point
// (Rotate with interpolation, straight from the picture, into a new one of its
// size, resolution, palette and settings in its background colour) and
// replaces it with the turned picture. Reports
// ("Verkantung ausgleichen", 0) before turning. rowProgress, when set, receives
// the rotation's per-row progress. Returns false (and leaves right alone) when
// no tilt is given.
bool CompensateTilt(std::unique_ptr<TPixelGraphic>& right, const TPairAlignment& alignment,
                    const TStereoProgress& progress = {}, const TPGProgressEvent& rowProgress = {});
// The same turn into a new picture, leaving right unchanged: the turned copy,
// or null when no tilt is given.
std::unique_ptr<TPixelGraphic> TiltCompensated(TPixelGraphic& right, const TPairAlignment& alignment,
                                               const TStereoProgress& progress = {},
                                               const TPGProgressEvent& rowProgress = {});

// The ELSA frame F x G for a common area W x H; false when there is no result
// (W = 0 with a frame larger than 640 x 480). Computed in 64 bits.
bool ElsaFrame(int64_t w, int64_t h, int64_t& f, int64_t& g);

// The outcome of ComposeStereo: Image is the work image (modes 0, 2, 3 and
// those ModeUsesWorkImage names), the new image held in Owned (the other
// modes), or null (no result).
struct TStereoResult {
  TPixelGraphic* Image = nullptr;
  std::unique_ptr<TPixelGraphic> Owned;
};

// True for the modes whose result is the work image (smSwapEyes may be added).
bool ModeUsesWorkImage(int mode);

// Runs the worker of a mode (smSwapEyes may be added) on the common area of
// left and right; a mode outside the list computes nothing. The result is
// always 24 bit. left and right are read only (the grey values of mode 0
// are computed on the fly). Library errors pass to the caller; images the core
// created are freed on the way out.
TStereoResult ComposeStereo(int mode, TPixelGraphic& left, TPixelGraphic& right, const TCommonArea& area,
                            TPixelGraphic& work, const TStereoProgress& progress = {});

// The red-green and the colour anaglyph (smSwapEyes may be added) are
// computed row by row: result row y takes row Y0 + y of the picture in the
// left role from column X0 and row Y0 - Dy + y of the one in the right role
// from column X0 - Dx, nothing else. For those modes AnaglyphRowsOf gives the
// row function's colour flag, whether the pictures exchange roles (the eye
// swap) and the area in the roles' terms; false for every other mode.
struct TAnaglyphRows {
  bool Colour = false;
  bool Swapped = false;
  TCommonArea Area;
};
bool AnaglyphRowsOf(int mode, const TCommonArea& area, TAnaglyphRows& rows);
// One result row of w pixels from the rows of the left and the right role,
// as ComposeStereo computes it.
void AnaglyphRow(bool colour, const uint8_t* left, const uint8_t* right, uint8_t* out, int32_t w);
