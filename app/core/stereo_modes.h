#pragma once

// The stereo modes after the seven of the design, for today's glasses and
// screens: anaglyphs for red-cyan glasses computed with colour matrices
// (least squares after Dubois, half-colour, grey) and the optimised anaglyph,
// and the layouts that 3D televisions, passive monitors and projectors take
// (half side by side, over/under in full and half height, column-interleaved,
// checkerboard). ComposeStereo hands the modes smDubois..smCheckerboard here.
//
// They are built from the same aligned pair as the left-right mode: the
// common area of each picture, where pixels that lie outside a picture (only
// possible with identical points outside it) are black.
//
// Matrix anaglyphs (modes 7, 8, 10): every output channel is the sum of the
// six input channels (left R, G, B and right R, G, B) weighted with the mode's
// coefficients c, on the 8-bit values, rounded and clamped to 0..255. The sum
// is formed in fixed point: each coefficient as C = c * 2^14 rounded, each
// term as t = ((v * 128) * C + 2^14) >> 15 (v * c with 6 fractional bits,
// rounded), the channel as (t1 + ... + t6 + 32) >> 6 clamped to 0..255 (shifts
// arithmetic). It is never more than 1 away from the exactly rounded sum.
//   - Dubois: the published least-squares red-cyan matrices;
//   - half-colour: red = luma of the left (0.299 R + 0.587 G + 0.114 B),
//     green and blue those of the right;
//   - grey: red = luma of the left, green = blue = luma of the right.
// Optimised (mode 9): red = 255 * ((0.7 G + 0.3 B) / 255)^(1 / 1.5) of the
// left (the red channel brightened with gamma 1.5, as its authors do),
// rounded; green and blue those of the right.
//
// Layouts (W x H = common area, h(n) = (n + 1) div 2 for n > 0):
//   - half side by side: 2 h(W) x H, each picture squeezed to h(W) columns;
//   - over/under: W x 2H, the left picture on top;
//   - half over/under: W x 2 h(H), each picture squeezed to h(H) rows;
//   - column-interleaved: W x H, even columns from the left picture, odd
//     columns from the right (column 0 from the left);
//   - checkerboard: W x H, pixel (x, y) from the left picture when x + y is
//     even, else from the right.
// Squeezing takes the mean of each pair of neighbouring pixels (columns 2j
// and 2j + 1, or rows), channel by channel, rounded with ties to the even
// value: (a + b) / 2 exactly, and for an odd sum the even one of its two
// neighbours. An odd width (height) leaves the last column (row) alone: it is
// taken unchanged.
//
// The anaglyphs, column-interleaved and checkerboard modes write the work
// image, as the modes 0, 2 and 3 do; the other layouts return a new image.
// Each worker reports ("Stereobild berechnen", 0) before it starts.

#include "app/core/stereo_core.h"

// True for the modes among smDubois..smCheckerboard whose result is the work image.
bool ExtraModeUsesWorkImage(int mode);

// Runs the worker of mode (smDubois..smCheckerboard; nothing for others).
TStereoResult ComposeExtraMode(int mode, TPixelGraphic& left, TPixelGraphic& right, const TCommonArea& area,
                               TPixelGraphic& work, const TStereoProgress& progress);

// The vector kernels of the anaglyphs (where the processor has AVX2) on or
// off; both compute the same pixels.
void SetStereoVectors(bool on);

// The red-green anaglyph's first pixels of a row of w pixels (blue-green-red
// rows l and r, out as GreyAnaglyphRow writes it) by the vector kernel;
// returns how many it computed (a multiple of 16, 0 without the kernel).
int32_t GreyAnaglyphPixels(const uint8_t* l, const uint8_t* r, uint8_t* out, int32_t w);
