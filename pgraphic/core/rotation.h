#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/pixelrows.h"

// The row engine behind Rotate.
namespace pg {

// Sine and cosine of an angle in degrees: exact (0, +-1) for whole multiples
// of 90, else from angle * pi / 180 in extended precision.
struct TTurn {
  explicit TTurn(long double angle);
  long double Cos = 1, Sin = 0;
  bool Quarter = false;  // a whole multiple of 90 degrees
  int Quadrant = 0;      // for quarter turns: angle div 90 mod 4
};

// Size of the bounding box of a W x H picture turned about the origin.
void RotatedBounds(const TTurn& turn, int64_t W, int64_t H, int64_t& width, int64_t& height);

struct TRotateWindow {
  int64_t Left = 0, Right = -1, Top = 0, Bottom = -1;
  bool Contains(int64_t x, int64_t y) const { return x >= Left && x <= Right && y >= Top && y <= Bottom; }
};

// The bilinear engine's AVX2 kernel (where the processor has AVX2) on or off;
// both give the same pixels, the switch exists so that they can be compared.
void SetRotateVectors(bool on);

// Computes target rows of a Rotate for columns x0..x1. Computing a row only
// reads, so one object serves several threads at once.
class TRotateRows {
public:
  TRotateRows(const TPixelGraphic& target, const TPixelGraphic& source, const TRotateWindow& window,
              const TTurn& turn, bool interpolate, int destCx, int destCy, int srcCx, int srcCy, int x0, int x1);
  // Row y: the colour of every column reached by the source is written to out
  // (3 bytes per column, indexed from x0); mask (when given) receives 1 for
  // those columns and 0 for the others. out may be the target's own row.
  void Compute(int y, uint8_t* out, uint8_t* mask) const;
  // Quarter turns by +-90 degrees from a 24-bit source can compute n <= 64
  // rows y.. at once (row j at block + j * stride, indexed from x0; columns
  // not reached stay untouched), which reads the source row by row.
  bool CanQuarterBlock() const;
  void QuarterBlock(int y, int n, uint8_t* block, ptrdiff_t stride) const;

private:
  void ComputeQuarter(int y, uint8_t* out, uint8_t* mask) const;
  void ComputeNearest(int y, uint8_t* out, uint8_t* mask) const;
  void ComputeBilinear(int y, uint8_t* out, uint8_t* mask) const;
  struct TBilinearRow;
  TBilinearRow BilinearSetup(int y) const;
  template <bool Src24>
  void BilinearRow(int y, uint8_t* out, uint8_t* mask) const;
  template <bool Src24>
  void BilinearPixel(const TBilinearRow& r, int x, uint8_t* out, uint8_t* mask) const;
  int BilinearRowAVX2(const TBilinearRow& r, uint8_t* out, uint8_t* mask) const;
  struct TVectorRow;
  void BilinearQuadAVX2(const TVectorRow& v, const TBilinearRow& r, int x, uint8_t* out, uint8_t* mask) const;
  bool BilinearOctAVX2(const TVectorRow& v, const TBilinearRow& r, int x, uint8_t* out, uint8_t* mask) const;
  // Exact bilinear sample at (sx, sy) for target pixel (x, y); false when no
  // sample came from the source.
  bool BilinearExact(long double sx, long double sy, int x, int y, uint8_t* out) const;

  TSourcePixels FSrc;
  TSourcePixels FTarget;  // the target's current colours
  TRotateWindow FWin;
  TTurn FTurn;
  bool FInterpolate;
  int FDestCx, FDestCy, FSrcCx, FSrcCy, FX0, FX1;
  std::vector<long double> FColCos;     // (x - destCx) * cos a
  std::vector<long double> FColNegSin;  // -(x - destCx) * sin a
  std::vector<double> FColCosD, FColNegSinD;
  double FTolerance = 0;  // bound of the difference between the double and extended positions
  bool FVectors = false;  // the AVX2 kernel for 24-bit sources
  bool FSmallTurn = false;  // |sin a| < 1/3: four neighbouring pixels sample within 4 columns and 3 rows
  const uint8_t* FSrcBits;
  int64_t FSrcBytesPerRow, FSrcHeight;
};

} // namespace pg
