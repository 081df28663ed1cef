#include "pgraphic/core/resample.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "pgraphic/core/cpu.h"

namespace pg {

// ============================================================ sampling records

TStretchAxis::TStretchAxis(TStretchMode mode, int64_t S, int64_t o, int64_t D, int64_t N)
    : FKind(kInvalid), FS(S), FO(o), FD(D), FN(N), FDivisor(1) {
  if (S <= 0 || D <= 0) return;
  if (S == D) {
    FKind = kEqual;
  } else if (mode == smFast) {
    FKind = kFast;
  } else if ((mode == smMedium && S > D) || (mode == smPrecise && S < D)) {
    FKind = kLinear;
    FDivisor = 2 * D;
  } else {
    FKind = kBox;
    FDivisor = S;
  }
}

bool TStretchAxis::AllInRange(int64_t t0, int64_t t1) const {
  for (int64_t t = t0; t <= t1; ++t)
    if (!Record(t).inRange) return false;
  return true;
}

TStretchRecord TStretchAxis::Record(int64_t t) const {
  TStretchRecord r;
  switch (FKind) {
    case kInvalid:
      return r;
    case kEqual:
    case kFast:
      r.s0 = r.s1 = FKind == kEqual ? FO + t : FO + FS * t / FD;
      r.w0 = 1;
      r.inRange = Inside(r.s0);
      return r;
    case kLinear: {
      const int64_t p = FS * (2 * t + 1);
      r.s0 = FO + (p - FD) / (2 * FD);
      r.s1 = FO + (p + FD) / (2 * FD);
      r.inRange = Inside(r.s0) && Inside(r.s1);
      // Enlarging: a pair straddling an edge of the source is clamped onto it.
      if (!r.inRange && FS < FD && ((r.s0 < 0 && 0 <= r.s1) || (r.s0 < FN && FN <= r.s1))) {
        r.s0 = std::clamp<int64_t>(r.s0, 0, FN - 1);
        r.s1 = std::clamp<int64_t>(r.s1, 0, FN - 1);
        r.inRange = true;
      }
      r.w0 = 3 * FD + 2 * FD * (r.s0 - FO) - p;
      r.w1 = FD + p - 2 * FD * (r.s1 - FO);
      if (r.w1 == 0 || r.s0 == r.s1) {
        r.kind = 0;
        r.w0 = 2 * FD;
        r.w1 = 0;
        r.s1 = r.s0;
      } else {
        r.kind = 1;
      }
      return r;
    }
    case kBox: {
      const int64_t q = FS * (t + 1);
      r.s0 = FO + FS * t / FD;
      r.s1 = FO + q / FD - (q % FD == 0 ? 1 : 0);
      r.inRange = Inside(r.s0) && Inside(r.s1);
      if (r.s0 == r.s1) {
        r.kind = 0;
        r.w0 = FS;
      } else {
        r.kind = r.s1 - r.s0 >= 2 ? 2 : 1;
        r.w0 = FD * (r.s0 - FO + 1) - FS * t;
        r.w1 = q - FD * (r.s1 - FO);
      }
      return r;
    }
  }
  return r;
}

// ============================================================ stretch rows

namespace {

std::atomic<bool> gFastRows{true};
std::atomic<bool> gVectors{true};

} // namespace

void SetStretchFastRows(bool on) { gFastRows.store(on, std::memory_order_relaxed); }
bool StretchFastRows() { return gFastRows.load(std::memory_order_relaxed); }
void SetStretchVectors(bool on) { gVectors.store(on, std::memory_order_relaxed); }

TSampleDivider::TSampleDivider(uint64_t d) {
  if (d < 1 || d > kMaxDivisor) d = 1;
  // Smallest s with 2^s > 255 d (d - 1).
  const uint64_t bound = 255 * d * (d - 1);
  unsigned s = 0;
  while ((uint64_t{1} << s) <= bound) ++s;
  FS = s;
  FM = static_cast<uint32_t>(((uint64_t{1} << s) + d - 1) / d);
}

TStretchRows::TStretchRows(const TPixelGraphic& source, const TStretchAxis& axisX, const TStretchAxis& axisY, int t0,
                           int t1, bool allowFast)
    : FSrc(source),
      FAxisY(axisY),
      FCount(t1 - t0 + 1),
      FColDiv(static_cast<uint64_t>(axisX.Divisor())),
      FRowDiv(static_cast<uint64_t>(axisY.Divisor())),
      FSmallSums(axisX.Divisor() <= (1 << 24) && axisY.Divisor() <= (1 << 24)) {
  const size_t n = static_cast<size_t>(FCount);
  FMask.assign(n, 0);
  FTapStart.assign(n + 1, 0);
  std::vector<TStretchRecord> records(n);
  for (size_t i = 0; i < n; ++i) {
    records[i] = axisX.Record(t0 + static_cast<int64_t>(i));
    if (!records[i].inRange) continue;
    FMask[i] = 1;
    if (FMaxX < FMinX) {
      FMinX = records[i].s0;
      FMaxX = records[i].s1;
    } else {
      FMinX = std::min(FMinX, records[i].s0);
      FMaxX = std::max(FMaxX, records[i].s1);
    }
  }
  const uint64_t inner = static_cast<uint64_t>(axisX.InnerWeight());
  for (size_t i = 0; i < n; ++i) {
    FTapStart[i] = static_cast<uint32_t>(FTapOffset.size());
    if (!FMask[i]) continue;
    const TStretchRecord& r = records[i];
    auto add = [&](int64_t s, uint64_t w) {
      FTapOffset.push_back(static_cast<uint32_t>(3 * (s - FMinX)));
      FTapWeight.push_back(static_cast<uint32_t>(w));
    };
    add(r.s0, static_cast<uint64_t>(r.w0));
    if (r.kind == 2)
      for (int64_t s = r.s0 + 1; s < r.s1; ++s) add(s, inner);
    if (r.kind >= 1) add(r.s1, static_cast<uint64_t>(r.w1));
    if (r.kind != 0 || static_cast<uint64_t>(r.w0) != FColDiv.Divisor()) FSingleTaps = false;
  }
  FTapStart[n] = static_cast<uint32_t>(FTapOffset.size());
  // Every column in range, one sample each, from consecutive source columns:
  // the intermediate row is a plain copy of the source span.
  FAllColumns = std::all_of(FMask.begin(), FMask.end(), [](uint8_t m) { return m != 0; });
  FPlainSpan = FAllColumns && FSingleTaps;
  for (size_t i = 0; FPlainSpan && i < n; ++i) FPlainSpan = FTapOffset[i] == 3 * i;
  // The specialised engine: every column in range takes at most two samples
  // whose weights add up to at most the divisor, so every sum is at most 255
  // times the divisor.
  const uint64_t colDiv = FColDiv.Divisor();
  FTwoTaps = allowFast && !FSingleTaps && colDiv <= TSampleDivider::kMaxDivisor;
  for (size_t i = 0; FTwoTaps && i < n; ++i) {
    const TStretchRecord& r = records[i];
    if (FMask[i] && (r.kind == 2 || r.w0 < 0 || r.w1 < 0 || static_cast<uint64_t>(r.w0 + r.w1) > colDiv))
      FTwoTaps = false;
  }
  if (FTwoTaps) {
    FColSmall = TSampleDivider(colDiv);
    FOff0.assign(n, 0);
    FOff1.assign(n, 0);
    FW0.assign(n, 0);
    FW1.assign(n, 0);
    for (size_t i = 0; i < n; ++i) {
      if (!FMask[i]) continue;
      const TStretchRecord& r = records[i];
      FOff0[i] = static_cast<uint32_t>(3 * (r.s0 - FMinX));
      FOff1[i] = static_cast<uint32_t>(3 * ((r.kind == 1 ? r.s1 : r.s0) - FMinX));
      FW0[i] = static_cast<uint32_t>(r.w0);
      FW1[i] = r.kind == 1 ? static_cast<uint32_t>(r.w1) : 0;
    }
  }
  // The vector engine multiplies 16-bit weights pairwise.
  FVectorRows = allowFast && HaveAVX2();
  FVector = FTwoTaps && colDiv <= 32767 && FVectorRows;
  if (FVector) {
    FW01.assign(n, 0);
    for (size_t i = 0; i < n; ++i) FW01[i] = FW0[i] | (FW1[i] << 16);
  }
  FRowSmallOK = allowFast && FRowDiv.Divisor() <= TSampleDivider::kMaxDivisor;
  if (FRowSmallOK) FRowSmall = TSampleDivider(FRowDiv.Divisor());
  // One byte more than the colours: the vector engine reads a pixel as four bytes.
  if (FMaxX >= FMinX && !FSrc.Is24()) FUnpack.resize(3 * static_cast<size_t>(FMaxX - FMinX + 1) + 1);
  // Intermediate rows with room for the vector engine's 16-byte stores.
  for (auto& c : FCache) c.assign(3 * n + 16, 0);
  FAcc.assign(3 * n, 0);
}

template <typename Acc>
void TStretchRows::Horizontal(const uint8_t* src, uint8_t* h) const {
  const uint32_t* start = FTapStart.data();
  const uint32_t* off = FTapOffset.data();
  const uint32_t* wt = FTapWeight.data();
  for (int i = 0; i < FCount; ++i) {
    const uint32_t a = start[i], e = start[i + 1];
    if (a == e) continue;
    Acc b = 0, g = 0, r = 0;
    for (uint32_t k = a; k < e; ++k) {
      const uint8_t* p = src + off[k];
      const Acc w = wt[k];
      b += w * p[0];
      g += w * p[1];
      r += w * p[2];
    }
    uint8_t* o = h + 3 * static_cast<size_t>(i);
    o[0] = static_cast<uint8_t>(FColDiv(b));
    o[1] = static_cast<uint8_t>(FColDiv(g));
    o[2] = static_cast<uint8_t>(FColDiv(r));
  }
}

// ------------------------------------------------------------ AVX2 kernels
//
// Built for AVX2 and used where the processor has it; they compute exactly
// the integers of the scalar loops: the weighted sums of two samples (16-bit
// weights, multiplied pairwise into 32-bit sums) and the exact division by
// multiplication of TSampleDivider.

#if defined(__x86_64__) && defined(__GNUC__)
#define ZW_AVX2 1
#define ZW_TARGET_AVX2 __attribute__((target("avx2")))

namespace {

// Quotients of eight 32-bit sums: (n * m) >> shift in each lane.
ZW_TARGET_AVX2 inline __m256i DivideLanes(__m256i n, __m256i m, __m128i shift) {
  const __m256i even = _mm256_srl_epi64(_mm256_mul_epu32(n, m), shift);
  const __m256i odd = _mm256_srl_epi64(_mm256_mul_epu32(_mm256_srli_epi64(n, 32), m), shift);
  return _mm256_or_si256(even, _mm256_slli_epi64(odd, 32));
}

// Columns 0..count-1 in groups of eight: each column reads its two samples as
// four bytes (blue, green, red and one more), forms the pairs (sample 0,
// sample 1) per channel and multiplies them with (w0, w1).
ZW_TARGET_AVX2 int HorizontalTwoTapsAVX2(const uint8_t* src, uint8_t* h, const uint32_t* o0, const uint32_t* o1,
                                         const uint32_t* w01, int count, uint32_t multiplier, unsigned shift) {
  const __m256i m = _mm256_set1_epi32(static_cast<int>(multiplier));
  const __m128i sh = _mm_cvtsi32_si128(static_cast<int>(shift));
  const __m256i low = _mm256_set1_epi32(0xFF);
  const __m256i third = _mm256_set1_epi32(0xFF0000);
  // Drops every fourth byte within each 128-bit half: twelve colour bytes.
  const __m256i compact = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6,
                                           8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const int* base = reinterpret_cast<const int*>(src);
  int i = 0;
  for (; i + 8 <= count; i += 8, h += 24) {
    const __m256i a = _mm256_i32gather_epi32(base, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(o0 + i)), 1);
    const __m256i b = _mm256_i32gather_epi32(base, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(o1 + i)), 1);
    const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w01 + i));
    const __m256i pb = _mm256_or_si256(_mm256_and_si256(a, low), _mm256_slli_epi32(_mm256_and_si256(b, low), 16));
    const __m256i pg = _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(a, 8), low),
                                       _mm256_and_si256(_mm256_slli_epi32(b, 8), third));
    const __m256i pr = _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(a, 16), low), _mm256_and_si256(b, third));
    const __m256i qb = DivideLanes(_mm256_madd_epi16(pb, w), m, sh);
    const __m256i qg = DivideLanes(_mm256_madd_epi16(pg, w), m, sh);
    const __m256i qr = DivideLanes(_mm256_madd_epi16(pr, w), m, sh);
    const __m256i q =
        _mm256_or_si256(_mm256_or_si256(qb, _mm256_slli_epi32(qg, 8)), _mm256_slli_epi32(qr, 16));
    const __m256i packed = _mm256_shuffle_epi8(q, compact);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h), _mm256_castsi256_si128(packed));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h + 12), _mm256_extracti128_si256(packed, 1));
  }
  return i;
}

// out[j] = (h0[j] w0 + h1[j] w1) div d for j < count, in groups of sixteen.
ZW_TARGET_AVX2 size_t VerticalTwoTapsAVX2(const uint8_t* h0, const uint8_t* h1, uint8_t* out, size_t count,
                                          uint32_t w01, uint32_t multiplier, unsigned shift) {
  const __m256i m = _mm256_set1_epi32(static_cast<int>(multiplier));
  const __m128i sh = _mm_cvtsi32_si128(static_cast<int>(shift));
  const __m256i w = _mm256_set1_epi32(static_cast<int>(w01));
  size_t j = 0;
  for (; j + 16 <= count; j += 16) {
    const __m256i a = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h0 + j)));
    const __m256i b = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h1 + j)));
    // Within each 128-bit half: lo holds elements 0..3 (8..11), hi 4..7 (12..15).
    const __m256i lo = DivideLanes(_mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), w), m, sh);
    const __m256i hi = DivideLanes(_mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), w), m, sh);
    const __m256i words = _mm256_packus_epi32(lo, hi);  // 0..7 | 8..15
    const __m256i bytes = _mm256_packus_epi16(words, words);
    const __m256i ordered = _mm256_permute4x64_epi64(bytes, 0x08);  // quadwords 0 and 2
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm256_castsi256_si128(ordered));
  }
  return j;
}

} // namespace
#endif

bool TStretchRows::HaveAVX2() { return CpuFeatures().AVX2 && gVectors.load(std::memory_order_relaxed); }

void TStretchRows::HorizontalTwoTaps(const uint8_t* src, uint8_t* h) const {
  int first = 0;
#ifdef ZW_AVX2
  if (FVector)
    first = HorizontalTwoTapsAVX2(src, h, FOff0.data(), FOff1.data(), FW01.data(), FCount, FColSmall.Multiplier(),
                                  FColSmall.Shift());
#endif
  h += 3 * static_cast<size_t>(first);
  const uint32_t* o0 = FOff0.data();
  const uint32_t* o1 = FOff1.data();
  const uint32_t* w0s = FW0.data();
  const uint32_t* w1s = FW1.data();
  const uint64_t m = FColSmall.Multiplier();
  const unsigned sh = FColSmall.Shift();
  const int n = FCount;
  for (int i = first; i < n; ++i, h += 3) {
    const uint8_t* a = src + o0[i];
    const uint8_t* b = src + o1[i];
    const uint32_t w0 = w0s[i], w1 = w1s[i];
    const uint32_t s0 = w0 * a[0] + w1 * b[0];
    const uint32_t s1 = w0 * a[1] + w1 * b[1];
    const uint32_t s2 = w0 * a[2] + w1 * b[2];
    h[0] = static_cast<uint8_t>((s0 * m) >> sh);
    h[1] = static_cast<uint8_t>((s1 * m) >> sh);
    h[2] = static_cast<uint8_t>((s2 * m) >> sh);
  }
}

const uint8_t* TStretchRows::Intermediate(int64_t row) {
  for (int k = 0; k < 2; ++k)
    if (FCacheRow[k] == row) {
      FCacheNext = 1 - k;
      return FCache[k].data();
    }
  const int k = FCacheNext;
  FCacheNext = 1 - k;
  FCacheRow[k] = row;
  uint8_t* h = FCache[k].data();
  if (FMaxX < FMinX) return h;
  const uint8_t* src =
      FSrc.RowBGR(static_cast<int>(row), static_cast<int>(FMinX), static_cast<int>(FMaxX), FUnpack.data());
  if (FPlainSpan) {
    std::memcpy(h, src, 3 * static_cast<size_t>(FCount));
  } else if (FSingleTaps) {
    const uint32_t* off = FTapOffset.data();
    for (int i = 0; i < FCount; ++i) {
      const uint32_t a = FTapStart[static_cast<size_t>(i)];
      if (a == FTapStart[static_cast<size_t>(i) + 1]) continue;
      std::memcpy(h + 3 * static_cast<size_t>(i), src + off[a], 3);
    }
  } else if (FTwoTaps) {
    HorizontalTwoTaps(src, h);
  } else if (FSmallSums) {
    Horizontal<uint32_t>(src, h);
  } else {
    Horizontal<uint64_t>(src, h);
  }
  return h;
}

bool TStretchRows::SetRow(int64_t t) {
  const TStretchRecord r = FAxisY.Record(t);
  if (!r.inRange) return false;
  FRowSrc.clear();
  FRowWeight.clear();
  FRowSrc.push_back(r.s0);
  FRowWeight.push_back(static_cast<uint64_t>(r.w0));
  if (r.kind == 2)
    for (int64_t s = r.s0 + 1; s < r.s1; ++s) {
      FRowSrc.push_back(s);
      FRowWeight.push_back(static_cast<uint64_t>(FAxisY.InnerWeight()));
    }
  if (r.kind >= 1) {
    FRowSrc.push_back(r.s1);
    FRowWeight.push_back(static_cast<uint64_t>(r.w1));
  }
  return true;
}

void TStretchRows::Compute(uint8_t* out) {
  const size_t n3 = 3 * static_cast<size_t>(FCount);
  const uint8_t* mask = FMask.data();
  const size_t taps = FRowSrc.size();
  if (taps == 1 && FRowWeight[0] == FRowDiv.Divisor()) {
    // (value * divisor) div divisor: the intermediate row itself.
    const uint8_t* h = Intermediate(FRowSrc[0]);
    if (FAllColumns) {
      std::memcpy(out, h, n3);
      return;
    }
    for (int i = 0; i < FCount; ++i)
      if (mask[i]) std::memcpy(out + 3 * static_cast<size_t>(i), h + 3 * static_cast<size_t>(i), 3);
    return;
  }
  if (taps == 2 && FRowSmallOK && FRowWeight[0] + FRowWeight[1] <= FRowDiv.Divisor()) {
    const uint8_t* h0 = Intermediate(FRowSrc[0]);
    const uint8_t* h1 = Intermediate(FRowSrc[1]);
    const uint32_t w0 = static_cast<uint32_t>(FRowWeight[0]), w1 = static_cast<uint32_t>(FRowWeight[1]);
    const uint64_t m = FRowSmall.Multiplier();
    const unsigned sh = FRowSmall.Shift();
    if (FAllColumns) {
      size_t j = 0;
#ifdef ZW_AVX2
      if (FVectorRows && w0 <= 32767 && w1 <= 32767)
        j = VerticalTwoTapsAVX2(h0, h1, out, n3, w0 | (w1 << 16), FRowSmall.Multiplier(), FRowSmall.Shift());
#endif
      for (; j < n3; ++j)
        out[j] = static_cast<uint8_t>((static_cast<uint64_t>(h0[j] * w0 + h1[j] * w1) * m) >> sh);
      return;
    }
    for (int i = 0; i < FCount; ++i) {
      if (!mask[i]) continue;
      const size_t j = 3 * static_cast<size_t>(i);
      for (size_t c = j; c < j + 3; ++c)
        out[c] = static_cast<uint8_t>((static_cast<uint64_t>(h0[c] * w0 + h1[c] * w1) * m) >> sh);
    }
    return;
  }
  if (taps == 2 && FSmallSums) {
    const uint8_t* h0 = Intermediate(FRowSrc[0]);
    const uint8_t* h1 = Intermediate(FRowSrc[1]);
    const uint32_t w0 = static_cast<uint32_t>(FRowWeight[0]), w1 = static_cast<uint32_t>(FRowWeight[1]);
    for (int i = 0; i < FCount; ++i) {
      if (!mask[i]) continue;
      const size_t j = 3 * static_cast<size_t>(i);
      for (size_t c = 0; c < 3; ++c)
        out[j + c] = static_cast<uint8_t>(FRowDiv(static_cast<uint32_t>(h0[j + c]) * w0 + static_cast<uint32_t>(h1[j + c]) * w1));
    }
    return;
  }
  uint64_t* acc = FAcc.data();
  std::fill(acc, acc + n3, 0);
  for (size_t k = 0; k < taps; ++k) {
    const uint8_t* h = Intermediate(FRowSrc[k]);
    const uint64_t w = FRowWeight[k];
    for (size_t j = 0; j < n3; ++j) acc[j] += h[j] * w;
  }
  for (int i = 0; i < FCount; ++i) {
    if (!mask[i]) continue;
    const size_t j = 3 * static_cast<size_t>(i);
    for (size_t c = 0; c < 3; ++c) out[j + c] = static_cast<uint8_t>(FRowDiv(acc[j + c]));
  }
}

} // namespace pg
