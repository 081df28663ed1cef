#pragma once

#include <cstdint>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/pixelrows.h"

// The row engines behind StretchCopy.
namespace pg {

// One sampling record of an axis: source coordinates s0..s1 with the weights
// of the first and last sample; kind 0 = one sample, 1 = two samples, 2 =
// s0..s1 with all inner samples (each weighing the target size of the axis).
struct TStretchRecord {
  int64_t s0 = 0, s1 = 0, w0 = 0, w1 = 0;
  int kind = 0;
  bool inRange = false;
};

// The sampling rule of one axis: source size S at offset o into target size D,
// N the source image's extent on that axis.
class TStretchAxis {
public:
  enum TKind { kEqual, kFast, kLinear, kBox, kInvalid };
  TStretchAxis(TStretchMode mode, int64_t S, int64_t o, int64_t D, int64_t N);
  // Record of target position t (0 = first position of the target rectangle).
  TStretchRecord Record(int64_t t) const;
  TKind Kind() const { return FKind; }
  // Whether the records of t0..t1 are all in range.
  bool AllInRange(int64_t t0, int64_t t1) const;
  // The weights of every record add up to the divisor.
  int64_t Divisor() const { return FDivisor; }
  // Weight of the inner samples of a kind 2 record.
  int64_t InnerWeight() const { return FD; }

private:
  bool Inside(int64_t s) const { return s >= 0 && s < FN; }
  TKind FKind;
  int64_t FS, FO, FD, FN, FDivisor;
};

// Exact division of non-negative sums by a fixed divisor: for divisors up to
// 2^24 the sums stay below 2^32 and the quotient is taken by multiplying with
// a 64-bit reciprocal rounded up, which is exact for every 32-bit dividend.
class TDivider {
public:
  explicit TDivider(uint64_t d) : FD(d), FMagic(d >= 2 && d <= (1u << 24) ? (~uint64_t{0} / d) + 1 : 0) {}
  uint64_t operator()(uint64_t n) const {
    if (FMagic) return static_cast<uint64_t>((static_cast<unsigned __int128>(FMagic) * n) >> 64);
    return FD == 1 ? n : n / FD;
  }
  uint64_t Divisor() const { return FD; }

private:
  uint64_t FD;
  uint64_t FMagic;
};

// Exact division of a sum of samples by a fixed divisor d (1 .. 2^20) when the
// sum is at most 255 d, as the weighted sums of a sampling record are: the
// quotient is (n * m) >> s with m = ceil(2^s / d) and 2^s > 255 d (d - 1),
// which makes the error n (m d - 2^s) / 2^s of n * m / 2^s stay below one
// unit of n / d's fraction; m fits 32 bits and n * m 64 bits.
class TSampleDivider {
public:
  static constexpr uint64_t kMaxDivisor = uint64_t{1} << 20;
  explicit TSampleDivider(uint64_t d = 1);
  uint32_t operator()(uint32_t n) const { return static_cast<uint32_t>((static_cast<uint64_t>(n) * FM) >> FS); }
  uint32_t Multiplier() const { return FM; }
  unsigned Shift() const { return FS; }

private:
  uint32_t FM = 1;
  unsigned FS = 0;
};

// Which row engine StretchCopy uses. The specialised engine handles records
// of one or two samples with flat per-column arrays; the general one takes
// any record through its list of samples. Both give the same pixels; the
// switch exists so that the two can be compared.
void SetStretchFastRows(bool on);
bool StretchFastRows();
// The specialised engine's AVX2 kernels (where the processor has AVX2) on or off.
void SetStretchVectors(bool on);

// Computes target rows of a StretchCopy. The column records are built once;
// each source row is resampled horizontally once into an intermediate row
// (rowSum div column divisor, per channel) that is kept while consecutive
// target rows still use it; a target row is then the weighted sum of its
// source rows' intermediate rows divided by the row divisor.
class TStretchRows {
public:
  // Columns t0..t1 of the target rectangle are computed.
  TStretchRows(const TPixelGraphic& source, const TStretchAxis& axisX, const TStretchAxis& axisY, int t0, int t1,
               bool allowFast = StretchFastRows());
  // Selects target row t of the rectangle; false when its record is out of range.
  bool SetRow(int64_t t);
  // Writes the selected row's colours (blue, green, red per column, indexed
  // from t0) for the columns whose record is in range; others stay untouched.
  void Compute(uint8_t* out);
  // Non-zero for columns whose record is in range (indexed from t0).
  const uint8_t* ColumnMask() const { return FMask.data(); }
  bool AllColumns() const { return FAllColumns; }

private:
  const uint8_t* Intermediate(int64_t row);
  template <typename Acc>
  void Horizontal(const uint8_t* src, uint8_t* h) const;
  void HorizontalTwoTaps(const uint8_t* src, uint8_t* h) const;

  TSourcePixels FSrc;
  const TStretchAxis& FAxisY;
  int FCount;                        // columns t0..t1
  std::vector<uint8_t> FMask;        // per column
  std::vector<uint32_t> FTapStart;   // per column + 1: range into FTapOffset/FTapWeight
  std::vector<uint32_t> FTapOffset;  // byte offset of the sample from column FMinX
  std::vector<uint32_t> FTapWeight;
  bool FSingleTaps = true;           // every column one sample of full weight
  bool FAllColumns = false;          // every column's record in range
  bool FPlainSpan = false;           // and the samples are consecutive source columns
  int64_t FMinX = 0, FMaxX = -1;     // source columns used
  TDivider FColDiv, FRowDiv;
  // Columns of at most two samples each (offsets into the source span,
  // weights; a single sample has w1 = 0 and its offset twice): the
  // specialised engine, with exact divisions by multiplication.
  bool FTwoTaps = false;
  std::vector<uint32_t> FOff0, FOff1, FW0, FW1;
  TSampleDivider FColSmall, FRowSmall;
  bool FRowSmallOK = false;
  // The same on eight columns at once, where the processor has AVX2: the
  // weights as pairs (w0 | w1 << 16).
  bool FVector = false;
  bool FVectorRows = false;  // the vertical pass
  std::vector<uint32_t> FW01;
  static bool HaveAVX2();
  bool FSmallSums;                   // sums fit 32 bits
  std::vector<uint8_t> FUnpack;      // a palette source row as colour triples
  // Two intermediate rows, keyed by source row.
  std::vector<uint8_t> FCache[2];
  int64_t FCacheRow[2] = {-1, -1};
  int FCacheNext = 0;
  std::vector<uint64_t> FAcc;
  // Selected row: source rows and weights.
  std::vector<int64_t> FRowSrc;
  std::vector<uint64_t> FRowWeight;
};

} // namespace pg
