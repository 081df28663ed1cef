#include "app/core/stereo_modes.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "app/core/stereo_rows.h"
#include "pgraphic/core/cpu.h"
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define ZW_STEREO_AVX2 1
#endif

namespace {

using zwstereo::CheckedSize;
using zwstereo::ForTargetRows;
using zwstereo::Inside;
using zwstereo::PrepareWork;

std::atomic<bool> gVectors{true};

// ------------------------------------------------------------------ area rows

// The rows of the W x H area of a picture whose top-left corner is (x0, y0),
// as blue-green-red bytes: 24-bit rows in place, palette rows decoded, and an
// area reaching outside the picture pixel by pixel, black outside. Row() only
// reads the picture, so several threads may fetch rows at once, each into a
// buffer of its own.
class TAreaRows {
public:
  TAreaRows(const TPixelGraphic& image, int64_t x0, int64_t y0, int32_t w, int32_t h)
      : FImage(image), FPixels(image), FX0(x0), FY0(y0), FW(w), FInside(Inside(image, x0, y0, w, h)) {}

  // Size of the buffer Row() needs (0: rows are read in place).
  size_t BufferBytes() const { return FInside && FPixels.Is24() ? 0 : 3 * static_cast<size_t>(std::max(FW, 0)); }

  const uint8_t* Row(int32_t j, uint8_t* buffer) const {
    if (FInside)
      return FPixels.RowBGR(static_cast<int>(FY0 + j), static_cast<int>(FX0), static_cast<int>(FX0 + FW - 1), buffer);
    const int64_t y = FY0 + j;
    const bool rowInside = !FImage.Empty() && y >= 0 && y < FImage.Height();
    for (int32_t x = 0; x < FW; ++x) {
      const int64_t sx = FX0 + x;
      if (rowInside && sx >= 0 && sx < FImage.Width())
        std::memcpy(buffer + 3 * static_cast<size_t>(x), FPixels.BGR(static_cast<int>(sx), static_cast<int>(y)), 3);
      else
        std::memset(buffer + 3 * static_cast<size_t>(x), 0, 3);
    }
    return buffer;
  }

private:
  const TPixelGraphic& FImage;
  pg::TSourcePixels FPixels;
  int64_t FX0, FY0;
  int32_t FW;
  bool FInside;
};

// The areas of both pictures.
struct TPairRows {
  TPairRows(const TPixelGraphic& left, const TPixelGraphic& right, const TCommonArea& a)
      : Left(left, a.X0, a.Y0, a.W, a.H),
        Right(right, static_cast<int64_t>(a.X0) - a.Dx, static_cast<int64_t>(a.Y0) - a.Dy, a.W, a.H) {}
  TAreaRows Left, Right;
};

// Buffers for the rows one thread fetches.
struct TRowBuffers {
  explicit TRowBuffers(const TPairRows& rows)
      : Left(rows.Left.BufferBytes()), Right(rows.Right.BufferBytes()) {}
  std::vector<uint8_t> Left, Right;
};

// ------------------------------------------------------------------ matrix anaglyphs

// The coefficients of a matrix anaglyph in the kernel's fixed point (c * 2^14
// rounded): [output red, green, blue][left R, G, B, right R, G, B].
struct TMatrix {
  int16_t C[3][6];
};

constexpr int16_t Fixed(double c) { return static_cast<int16_t>(c * 16384 + (c < 0 ? -0.5 : 0.5)); }

// Every partial sum of a channel stays inside 16 bits, the kernel's lanes:
// each term is at most (|C| * 32640 + 2^14) >> 15.
constexpr bool FitsLanes(const TMatrix& m) {
  for (const auto& row : m.C) {
    int32_t pos = 32, neg = 0;
    for (int16_t c : row) {
      const int32_t t = ((c < 0 ? -c : c) * 32640 + 16384) >> 15;
      (c < 0 ? neg : pos) += t;
    }
    if (pos > 32767 || neg > 32767) return false;
  }
  return true;
}

constexpr TMatrix MakeMatrix(const double (&lm)[3][3], const double (&rm)[3][3]) {
  TMatrix m{};
  for (int o = 0; o < 3; ++o)
    for (int i = 0; i < 3; ++i) {
      m.C[o][i] = Fixed(lm[o][i]);
      m.C[o][3 + i] = Fixed(rm[o][i]);
    }
  return m;
}

// Rows: output R, G, B; columns: input R, G, B.
constexpr double DuboisLeft[3][3] = {{0.456100, 0.500484, 0.176381},
                                     {-0.0400822, -0.0378246, -0.0157589},
                                     {-0.0152161, -0.0205971, -0.00546856}};
constexpr double DuboisRight[3][3] = {{-0.0434706, -0.0879388, -0.00155529},
                                      {0.378476, 0.73364, -0.0184503},
                                      {-0.0721527, -0.112961, 1.2264}};
constexpr double LumaRed[3][3] = {{0.299, 0.587, 0.114}, {0, 0, 0}, {0, 0, 0}};
constexpr double GreenBlue[3][3] = {{0, 0, 0}, {0, 1, 0}, {0, 0, 1}};
constexpr double LumaGreenBlue[3][3] = {{0, 0, 0}, {0.299, 0.587, 0.114}, {0.299, 0.587, 0.114}};

constexpr TMatrix Dubois = MakeMatrix(DuboisLeft, DuboisRight);
constexpr TMatrix HalfColour = MakeMatrix(LumaRed, GreenBlue);
constexpr TMatrix GreyMatrix = MakeMatrix(LumaRed, LumaGreenBlue);
static_assert(FitsLanes(Dubois) && FitsLanes(HalfColour) && FitsLanes(GreyMatrix));

inline int32_t Term(int32_t v, int32_t c) { return ((v << 7) * c + 16384) >> 15; }

inline uint8_t Channel(const int16_t* c, const uint8_t* l, const uint8_t* r) {
  const int32_t s = Term(l[2], c[0]) + Term(l[1], c[1]) + Term(l[0], c[2]) + Term(r[2], c[3]) + Term(r[1], c[4]) +
                    Term(r[0], c[5]);
  return static_cast<uint8_t>(std::clamp((s + 32) >> 6, 0, 255));
}

void MatrixPixels(const TMatrix& m, const uint8_t* l, const uint8_t* r, uint8_t* out, int32_t from, int32_t to) {
  for (int32_t x = from; x < to; ++x) {
    const size_t i = 3 * static_cast<size_t>(x);
    out[i + 2] = Channel(m.C[0], l + i, r + i);
    out[i + 1] = Channel(m.C[1], l + i, r + i);
    out[i] = Channel(m.C[2], l + i, r + i);
  }
}

#ifdef ZW_STEREO_AVX2
// Byte shuffles between 48 interleaved blue-green-red bytes (16 pixels, three
// 16-byte chunks) and three planes of 16 bytes: Split[p][q] gathers the bytes
// of plane p (0 blue, 1 green, 2 red) that lie in chunk q, Join[q][p] puts
// plane p's bytes in their places of chunk q; 0x80 yields zero.
struct TShuffles {
  uint8_t Split[3][3][16];
  uint8_t Join[3][3][16];
};

constexpr TShuffles MakeShuffles() {
  TShuffles s{};
  for (int p = 0; p < 3; ++p)
    for (int q = 0; q < 3; ++q)
      for (int j = 0; j < 16; ++j) {
        const int src = 3 * j + p;
        s.Split[p][q][j] = static_cast<uint8_t>(src >= 16 * q && src < 16 * q + 16 ? src - 16 * q : 0x80);
        const int g = 16 * q + j;
        s.Join[q][p][j] = static_cast<uint8_t>(g % 3 == p ? g / 3 : 0x80);
      }
  return s;
}

constexpr TShuffles Shuffles = MakeShuffles();

#define ZW_TARGET_AVX2 __attribute__((target("avx2")))

ZW_TARGET_AVX2 inline __m128i Shuffle(__m128i v, const uint8_t* mask) {
  return _mm_shuffle_epi8(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask)));
}

// The blue, green and red planes of 16 pixels as 16-bit lanes, times 128.
ZW_TARGET_AVX2 inline void Planes(const uint8_t* p, __m256i (&plane)[3]) {
  const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  const __m128i a2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
  for (int k = 0; k < 3; ++k) {
    const __m128i b = _mm_or_si128(_mm_or_si128(Shuffle(a0, Shuffles.Split[k][0]), Shuffle(a1, Shuffles.Split[k][1])),
                                   Shuffle(a2, Shuffles.Split[k][2]));
    plane[k] = _mm256_slli_epi16(_mm256_cvtepu8_epi16(b), 7);
  }
}

// Pixels 0..n-1 with n a multiple of 16: Term is pmulhrsw, the sums stay in
// 16 bits (FitsLanes), and the packing saturates to 0..255 as Channel clamps.
ZW_TARGET_AVX2 int32_t MatrixPixelsAVX2(const TMatrix& m, const uint8_t* l, const uint8_t* r, uint8_t* out,
                                        int32_t w) {
  __m256i c[3][6];
  for (int o = 0; o < 3; ++o)
    for (int k = 0; k < 6; ++k) c[o][k] = _mm256_set1_epi16(m.C[o][k]);
  const __m256i half = _mm256_set1_epi16(32);
  int32_t x = 0;
  for (; x + 16 <= w; x += 16) {
    const size_t i = 3 * static_cast<size_t>(x);
    __m256i lp[3], rp[3];
    Planes(l + i, lp);
    Planes(r + i, rp);
    __m256i s[3];
    for (int o = 0; o < 3; ++o) {
      __m256i t = _mm256_add_epi16(_mm256_mulhrs_epi16(lp[2], c[o][0]), _mm256_mulhrs_epi16(lp[1], c[o][1]));
      t = _mm256_add_epi16(t, _mm256_mulhrs_epi16(lp[0], c[o][2]));
      t = _mm256_add_epi16(t, _mm256_mulhrs_epi16(rp[2], c[o][3]));
      t = _mm256_add_epi16(t, _mm256_mulhrs_epi16(rp[1], c[o][4]));
      t = _mm256_add_epi16(t, _mm256_mulhrs_epi16(rp[0], c[o][5]));
      s[o] = _mm256_srai_epi16(_mm256_add_epi16(t, half), 6);
    }
    // Bytes: blue plane and green plane, then red.
    const __m256i bg = _mm256_permute4x64_epi64(_mm256_packus_epi16(s[2], s[1]), 0xD8);
    const __m256i rr = _mm256_permute4x64_epi64(_mm256_packus_epi16(s[0], s[0]), 0xD8);
    const __m128i plane[3] = {_mm256_castsi256_si128(bg), _mm256_extracti128_si256(bg, 1), _mm256_castsi256_si128(rr)};
    for (int q = 0; q < 3; ++q) {
      const __m128i chunk =
          _mm_or_si128(_mm_or_si128(Shuffle(plane[0], Shuffles.Join[q][0]), Shuffle(plane[1], Shuffles.Join[q][1])),
                       Shuffle(plane[2], Shuffles.Join[q][2]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 16 * q), chunk);
    }
  }
  return x;
}

// Grey values (299 R + 587 G + 114 B) div 1000 of 16 pixels as bytes: the
// sum s < 2^18 from two multiply-adds, then s div 1000 = (s div 8) div 125 =
// ((s >> 3) * 33555) >> 22, exact for every s up to 255000 (checked over all
// of them), with s >> 3 < 2^15 in 16-bit lanes.
ZW_TARGET_AVX2 inline __m256i GreyValues(const uint8_t* p) {
  const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  const __m128i a2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
  __m256i plane[3];
  for (int k = 0; k < 3; ++k)
    plane[k] = _mm256_cvtepu8_epi16(_mm_or_si128(
        _mm_or_si128(Shuffle(a0, Shuffles.Split[k][0]), Shuffle(a1, Shuffles.Split[k][1])), Shuffle(a2, Shuffles.Split[k][2])));
  const __m256i rg = _mm256_set1_epi32(299 | (587 << 16)), b0 = _mm256_set1_epi32(114);
  const __m256i zero = _mm256_setzero_si256();
  // Lanes of pixels 0-3 and 8-11 (lo), 4-7 and 12-15 (hi); packing restores the order.
  const __m256i lo = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(plane[2], plane[1]), rg),
                                      _mm256_madd_epi16(_mm256_unpacklo_epi16(plane[0], zero), b0));
  const __m256i hi = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(plane[2], plane[1]), rg),
                                      _mm256_madd_epi16(_mm256_unpackhi_epi16(plane[0], zero), b0));
  const __m256i eighths = _mm256_packus_epi32(_mm256_srli_epi32(lo, 3), _mm256_srli_epi32(hi, 3));
  return _mm256_srli_epi16(_mm256_mulhi_epu16(eighths, _mm256_set1_epi16(static_cast<short>(33555))), 6);
}

ZW_TARGET_AVX2 int32_t GreyAnaglyphAVX2(const uint8_t* l, const uint8_t* r, uint8_t* out, int32_t w) {
  int32_t x = 0;
  for (; x + 16 <= w; x += 16) {
    const size_t i = 3 * static_cast<size_t>(x);
    // Bytes: the left's grey values, then the right's.
    const __m256i g = _mm256_permute4x64_epi64(_mm256_packus_epi16(GreyValues(l + i), GreyValues(r + i)), 0xD8);
    const __m128i gl = _mm256_castsi256_si128(g), gr = _mm256_extracti128_si256(g, 1);
    for (int q = 0; q < 3; ++q) {
      const __m128i chunk = _mm_or_si128(_mm_or_si128(Shuffle(gr, Shuffles.Join[q][0]), Shuffle(gr, Shuffles.Join[q][1])),
                                         Shuffle(gl, Shuffles.Join[q][2]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 16 * q), chunk);
    }
  }
  return x;
}

bool HaveAVX2() { return pg::CpuFeatures().AVX2 && gVectors.load(std::memory_order_relaxed); }
#endif

void MatrixRow(const TMatrix& m, const uint8_t* l, const uint8_t* r, uint8_t* out, int32_t w) {
  int32_t x = 0;
#ifdef ZW_STEREO_AVX2
  if (HaveAVX2()) x = MatrixPixelsAVX2(m, l, r, out, w);
#endif
  MatrixPixels(m, l, r, out, x, w);
}

// ------------------------------------------------------------------ optimised anaglyph

// Red of the optimised anaglyph for s = 7 G + 3 B (0..2550):
// 255 * (s / 2550)^(1 / 1.5), rounded.
const std::array<uint8_t, 2551>& OptimisedRed() {
  static const std::array<uint8_t, 2551> table = [] {
    std::array<uint8_t, 2551> t{};
    for (int s = 0; s <= 2550; ++s)
      t[static_cast<size_t>(s)] = static_cast<uint8_t>(std::lround(255.0 * std::pow(s / 2550.0, 1 / 1.5)));
    return t;
  }();
  return table;
}

ZW_ROW_CLONES
void OptimisedRow(const uint8_t* __restrict red, const uint8_t* __restrict l, const uint8_t* __restrict r,
                  uint8_t* __restrict out, int32_t w) {
  for (int32_t x = 0; x < w; ++x) {
    out[3 * x] = r[3 * x];
    out[3 * x + 1] = r[3 * x + 1];
    out[3 * x + 2] = red[7 * l[3 * x + 1] + 3 * l[3 * x]];
  }
}

void AnaglyphWorker(int mode, const TPairRows& rows, TPixelGraphic& work) {
  const int32_t w = work.Width();
  const TMatrix* m = mode == smDubois ? &Dubois : mode == smHalfColour ? &HalfColour : &GreyMatrix;
  const uint8_t* red = mode == smOptimised ? OptimisedRed().data() : nullptr;
  ForTargetRows(work, 0, work.Height() - 1, [&] {
    return [&rows, m, red, w, buf = TRowBuffers(rows)](int y, uint8_t* out) mutable {
      const uint8_t* l = rows.Left.Row(y, buf.Left.data());
      const uint8_t* r = rows.Right.Row(y, buf.Right.data());
      if (red) OptimisedRow(red, l, r, out, w);
      else MatrixRow(*m, l, r, out, w);
    };
  });
}

// ------------------------------------------------------------------ layouts

// Mean of two channel values, ties to the even value.
inline uint8_t Mean(uint32_t a, uint32_t b) {
  const uint32_t s = a + b;
  return static_cast<uint8_t>((s + ((s >> 1) & 1)) >> 1);
}

#ifdef ZW_STEREO_AVX2
// The means of every byte with the byte three places on, over 96 bytes (32
// pixels, six 16-byte lanes), hold the means of the 16 pixel pairs at the
// bytes g with g mod 6 < 3. Keep[l] gathers those of lane l to its front;
// they belong at output byte Start[l].
struct TPairShuffles {
  uint8_t Keep[6][16];
  int Start[6];
};

constexpr TPairShuffles MakePairShuffles() {
  TPairShuffles s{};
  int o = 0;
  for (int l = 0; l < 6; ++l) {
    s.Start[l] = o;
    int n = 0;
    for (int j = 0; j < 16; ++j) s.Keep[l][j] = 0x80;
    for (int j = 0; j < 16; ++j)
      if ((16 * l + j) % 6 < 3) s.Keep[l][n++] = static_cast<uint8_t>(j);
    o += n;
  }
  return s;
}

constexpr TPairShuffles PairShuffles = MakePairShuffles();

// Mean of the bytes of a and b, ties to the even value: the rounded-up mean
// less one where the sum is odd and the rounded-up mean odd.
ZW_TARGET_AVX2 inline __m256i MeanBytes(__m256i a, __m256i b) {
  const __m256i up = _mm256_avg_epu8(a, b);
  const __m256i odd = _mm256_and_si256(_mm256_and_si256(_mm256_xor_si256(a, b), up), _mm256_set1_epi8(1));
  return _mm256_sub_epi8(up, odd);
}

// HalveRow for the pairs 0..pairs-1 in groups of sixteen pairs, as long as the
// group's 96 bytes and the 3 after them lie in the row and the lanes' 16-byte
// stores (the last reaches 8 bytes past the group's 48) stay within the
// pairs; returns the pairs done.
ZW_TARGET_AVX2 int32_t HalvePairsAVX2(const uint8_t* src, uint8_t* out, int32_t pairs, int32_t w) {
  __m256i keep[3];
  for (int k = 0; k < 3; ++k)
    keep[k] = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(PairShuffles.Keep[2 * k + 1]),
                                  reinterpret_cast<const __m128i*>(PairShuffles.Keep[2 * k]));
  int32_t j = 0;
  for (; j + 19 <= pairs && 2 * j + 33 <= w; j += 16) {
    const uint8_t* p = src + 6 * static_cast<size_t>(j);
    // Two source streams and one result stream per row: the source lines are
    // asked for eight groups ahead, which the hardware prefetch alone does not
    // keep up with.
    _mm_prefetch(reinterpret_cast<const char*>(p + 768), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(p + 832), _MM_HINT_T0);
    uint8_t* d = out + 3 * static_cast<size_t>(j);
    for (int k = 0; k < 3; ++k) {
      const __m256i m = MeanBytes(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * k)),
                                  _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * k + 3)));
      const __m256i c = _mm256_shuffle_epi8(m, keep[k]);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + PairShuffles.Start[2 * k]), _mm256_castsi256_si128(c));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + PairShuffles.Start[2 * k + 1]), _mm256_extracti128_si256(c, 1));
    }
  }
  return j;
}

// MeanRows for the bytes 0..n-1 in groups of 32; returns the bytes done.
ZW_TARGET_AVX2 size_t MeanRowsAVX2(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t n) {
  size_t i = 0;
  for (; i + 32 <= n; i += 32)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                        MeanBytes(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i)),
                                  _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i))));
  return i;
}
#endif

// The w pixels of src squeezed to (w + 1) / 2: pixel j is the mean of 2j and
// 2j + 1, the last pixel of an odd row is taken alone.
void HalveRow(const uint8_t* src, uint8_t* out, int32_t w) {
  const int32_t pairs = w / 2;
  int32_t j = 0;
#ifdef ZW_STEREO_AVX2
  if (HaveAVX2()) j = HalvePairsAVX2(src, out, pairs, w);
#endif
  for (; j < pairs; ++j)
    for (int c = 0; c < 3; ++c) out[3 * j + c] = Mean(src[6 * j + c], src[6 * j + 3 + c]);
  if (w % 2) std::memcpy(out + 3 * static_cast<size_t>(pairs), src + 6 * static_cast<size_t>(pairs), 3);
}

void MeanRows(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t n) {
  size_t i = 0;
#ifdef ZW_STEREO_AVX2
  if (HaveAVX2()) i = MeanRowsAVX2(a, b, out, n);
#endif
  for (; i < n; ++i) out[i] = Mean(a[i], b[i]);
}

// Pixels alternately from first and second, starting with first.
void InterleaveRow(const uint8_t* first, const uint8_t* second, uint8_t* out, int32_t w) {
  std::memcpy(out, first, 3 * static_cast<size_t>(w));
  for (int32_t x = 1; x < w; x += 2) std::memcpy(out + 3 * static_cast<size_t>(x), second + 3 * static_cast<size_t>(x), 3);
}

void InterleaveWorker(bool checkerboard, const TPairRows& rows, TPixelGraphic& work) {
  const int32_t w = work.Width();
  ForTargetRows(work, 0, work.Height() - 1, [&] {
    return [&rows, checkerboard, w, buf = TRowBuffers(rows)](int y, uint8_t* out) mutable {
      const uint8_t* l = rows.Left.Row(y, buf.Left.data());
      const uint8_t* r = rows.Right.Row(y, buf.Right.data());
      if (checkerboard && y % 2) InterleaveRow(r, l, out, w);
      else InterleaveRow(l, r, out, w);
    };
  });
}

// Half of n for a squeezed layout: (n + 1) div 2; a negative n stays negative,
// so that the size is refused as for the other modes.
int64_t HalfOf(int32_t n) { return n > 0 ? (static_cast<int64_t>(n) + 1) / 2 : n; }

std::unique_ptr<TPixelGraphic> LayoutWorker(int mode, const TPairRows& rows, const TCommonArea& a) {
  const int32_t W = a.W, H = a.H;
  const size_t rowBytes = 3 * static_cast<size_t>(std::max(W, 0));
  auto t = std::make_unique<TPixelGraphic>();
  switch (mode) {
    case smHalfSideBySide: {
      const int64_t hw = HalfOf(W);
      t->SetSize(CheckedSize(2 * hw), H, bc24Bit);
      ForTargetRows(*t, 0, t->Height() - 1, [&] {
        return [&rows, W, hw, buf = TRowBuffers(rows)](int y, uint8_t* out) mutable {
          HalveRow(rows.Left.Row(y, buf.Left.data()), out, W);
          HalveRow(rows.Right.Row(y, buf.Right.data()), out + 3 * hw, W);
        };
      });
      break;
    }
    case smOverUnder:
      // Rows 0..H-1 from the left area, H..2H-1 from the right one.
      t->SetSize(W, CheckedSize(2 * static_cast<int64_t>(H)), bc24Bit);
      ForTargetRows(*t, 0, t->Height() - 1, [&] {
        return [&rows, H, rowBytes, buf = TRowBuffers(rows)](int y, uint8_t* out) mutable {
          std::memcpy(out, y < H ? rows.Left.Row(y, buf.Left.data()) : rows.Right.Row(y - H, buf.Right.data()),
                      rowBytes);
        };
      });
      break;
    case smHalfOverUnder: {
      // Row j of each half from rows 2j and 2j + 1 of its area.
      const int64_t hh = HalfOf(H);
      t->SetSize(W, CheckedSize(2 * hh), bc24Bit);
      const int32_t half = static_cast<int32_t>(hh);
      ForTargetRows(*t, 0, t->Height() - 1, [&] {
        return [&rows, H, half, rowBytes, buf = TRowBuffers(rows), next = TRowBuffers(rows)](int y,
                                                                                             uint8_t* out) mutable {
          const bool left = y < half;
          const TAreaRows& area = left ? rows.Left : rows.Right;
          const int32_t j = left ? y : y - half;
          uint8_t* b0 = (left ? buf.Left : buf.Right).data();
          uint8_t* b1 = (left ? next.Left : next.Right).data();
          const uint8_t* r0 = area.Row(2 * j, b0);
          MeanRows(r0, 2 * j + 1 < H ? area.Row(2 * j + 1, b1) : r0, out, rowBytes);
        };
      });
      break;
    }
    default:
      return nullptr;
  }
  t->Changed();
  return t;
}

} // namespace

bool ExtraModeUsesWorkImage(int mode) {
  switch (mode) {
    case smDubois:
    case smHalfColour:
    case smOptimised:
    case smGreyAnaglyph:
    case smColumnInterleaved:
    case smCheckerboard:
      return true;
    default:
      return false;
  }
}

TStereoResult ComposeExtraMode(int mode, TPixelGraphic& left, TPixelGraphic& right, const TCommonArea& area,
                               TPixelGraphic& work, const TStereoProgress& progress) {
  TStereoResult result;
  if (mode < smDubois || mode > smCheckerboard) return result;
  if (progress) progress("Stereobild berechnen", 0);
  const TPairRows rows(left, right, area);
  if (!ExtraModeUsesWorkImage(mode)) {
    result.Owned = LayoutWorker(mode, rows, area);
    result.Image = result.Owned.get();
    return result;
  }
  PrepareWork(work, area);
  if (!work.Empty()) {
    if (mode == smColumnInterleaved || mode == smCheckerboard) InterleaveWorker(mode == smCheckerboard, rows, work);
    else AnaglyphWorker(mode, rows, work);
    work.Changed();
  }
  result.Image = &work;
  return result;
}

int32_t GreyAnaglyphPixels(const uint8_t* l, const uint8_t* r, uint8_t* out, int32_t w) {
#ifdef ZW_STEREO_AVX2
  if (HaveAVX2()) return GreyAnaglyphAVX2(l, r, out, w);
#endif
  (void)l, (void)r, (void)out, (void)w;
  return 0;
}

void SetStereoVectors(bool on) { gVectors.store(on, std::memory_order_relaxed); }
