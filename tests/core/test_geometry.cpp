// Block copy, resampling, rotation and mirror: hand-computed results for each
// sampling record kind, and the fast row engines against straightforward
// per-pixel implementations of the same formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/resample.h"
#include "pgraphic/core/rotation.h"

namespace {

using Image = std::unique_ptr<TPixelGraphic>;

Image NewImage(int w, int h, uint8_t bitCount) {
  auto img = std::make_unique<TPixelGraphic>();
  img->SetSize(w, h, bitCount);
  return img;
}

// A one-row 24-bit image whose pixels are the grey values vs.
Image GreyRow(const std::vector<int>& vs) {
  auto img = NewImage(static_cast<int>(vs.size()), 1, bc24Bit);
  for (size_t x = 0; x < vs.size(); ++x) {
    const unsigned v = static_cast<unsigned>(vs[x]);
    img->SetPixels(static_cast<int>(x), 0, RGBColor(v, v, v));
  }
  return img;
}

std::vector<int> RedRow(const TPixelGraphic& img, int y = 0) {
  std::vector<int> r;
  for (int x = 0; x < img.Width(); ++x) r.push_back(static_cast<int>(GetRValue(img.PixelColors(x, y))));
  return r;
}

// Random image of a bit count; palette images get a palette of their own size
// (standard or random) and random raw values.
Image RandomImage(int w, int h, uint8_t bitCount, std::mt19937& rng, bool randomPalette = false) {
  auto img = NewImage(w, h, bitCount);
  if (bitCount != bc24Bit) {
    if (randomPalette) {
      const int n = img->PaletteSize();
      img->SetPaletteCount(n);
      for (int i = 0; i < n; ++i) img->SetPaletteColor(i, rng() & 0xFFFFFF);
    } else {
      static const TPaletteIdent ids[3] = {pBlackWhite, pSys16, pSpecial216};
      img->SetPaletteIdent(ids[bitCount]);
    }
  }
  for (int y = 0; y < h; ++y) {
    uint8_t* row = img->ScanLine(y);
    for (int i = 0; i < img->BytesPerRow(); ++i) row[i] = static_cast<uint8_t>(rng());
    // Keep the raw values inside the palette where it is smaller than the table.
    if (bitCount == bc8Bit)
      for (int x = 0; x < w; ++x) row[x] = static_cast<uint8_t>(row[x] % img->PaletteCount());
  }
  return img;
}

// The target of a palette resolution with a palette (standard or random).
Image Target(int w, int h, uint8_t bitCount, std::mt19937& rng, bool dither) {
  auto img = RandomImage(w, h, bitCount, rng, bitCount == bc8Bit);
  img->SetDither(dither);
  return img;
}

void ExpectSamePixels(const TPixelGraphic& a, const TPixelGraphic& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  ASSERT_EQ(a.BitCount(), b.BitCount());
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      ASSERT_EQ(a.Pixels(x, y), b.Pixels(x, y)) << "at " << x << "," << y;
}

Image Clone(const TPixelGraphic& img) {
  auto c = std::make_unique<TPixelGraphic>();
  c->Assign(&img);
  return c;
}

// Writes a colour the way the bulk operations do, for the references.
void Put(TPixelGraphic& t, bool dither, int x, int y, TColorRef c) {
  if (t.BitCount() == bc24Bit)
    t.SetPixels(x, y, c);
  else if (dither)
    t.DitherPixel(x, y, static_cast<int>(GetRValue(c)), static_cast<int>(GetGValue(c)), static_cast<int>(GetBValue(c)));
  else
    t.SetPixelColors(x, y, c);
}

// ------------------------------------------------------------ reference resampling

struct Rec {
  int64_t s0 = 0, s1 = 0, w0 = 0, w1 = 0, kind = 0, div = 1, inner = 0;
  bool ok = false;
};

// The sampling record of one axis, written out directly from the rules.
Rec RefRecord(TStretchMode mode, int64_t S, int64_t o, int64_t D, int64_t N, int64_t t) {
  Rec r;
  auto inside = [&](int64_t s) { return s >= 0 && s < N; };
  r.inner = D;
  if (S == D || mode == smFast) {
    r.s0 = r.s1 = S == D ? o + t : o + S * t / D;
    r.w0 = 1;
    r.ok = inside(r.s0);
    return r;
  }
  const bool linear = (mode == smMedium && S > D) || (mode == smPrecise && S < D);
  if (linear) {
    const int64_t p = S * (2 * t + 1);
    r.div = 2 * D;
    r.s0 = o + (p - D) / (2 * D);
    r.s1 = o + (p + D) / (2 * D);
    r.ok = inside(r.s0) && inside(r.s1);
    if (!r.ok && S < D && ((r.s0 < 0 && 0 <= r.s1) || (r.s0 < N && N <= r.s1))) {
      r.s0 = std::min(std::max<int64_t>(r.s0, 0), N - 1);
      r.s1 = std::min(std::max<int64_t>(r.s1, 0), N - 1);
      r.ok = true;
    }
    r.w0 = 3 * D + 2 * D * (r.s0 - o) - p;
    r.w1 = D + p - 2 * D * (r.s1 - o);
    if (r.w1 == 0 || r.s0 == r.s1) {
      r.kind = 0;
      r.w0 = 2 * D;
    } else {
      r.kind = 1;
    }
    return r;
  }
  r.div = S;
  r.s0 = o + S * t / D;
  r.s1 = o + S * (t + 1) / D - ((S * (t + 1)) % D == 0 ? 1 : 0);
  r.ok = inside(r.s0) && inside(r.s1);
  r.w0 = D * (r.s0 - o + 1) - S * t;
  r.w1 = S * (t + 1) - D * (r.s1 - o);
  r.kind = r.s1 == r.s0 ? 0 : (r.s1 - r.s0 >= 2 ? 2 : 1);
  if (r.kind == 0) r.w0 = S;
  return r;
}

// (source coordinate, weight) pairs of a record.
std::vector<std::pair<int64_t, int64_t>> Taps(const Rec& r) {
  std::vector<std::pair<int64_t, int64_t>> t{{r.s0, r.w0}};
  if (r.kind == 2)
    for (int64_t s = r.s0 + 1; s < r.s1; ++s) t.push_back({s, r.inner});
  if (r.kind >= 1) t.push_back({r.s1, r.w1});
  return t;
}

void RefStretchCopy(TPixelGraphic& t, int destX, int destY, TPixelGraphic& src, int srcH, int srcW, int srcY, int srcX,
                    int dstH, int dstW) {
  const bool dither = t.BitCount() != bc24Bit && t.Dither();
  if (dither) t.BeginDither();
  const TStretchMode mode = t.StretchMode();
  for (int y = std::max(destY, 0); y <= std::min(destY + dstH - 1, t.Height() - 1); ++y) {
    const Rec ry = RefRecord(mode, srcH, srcY, dstH, src.Height(), y - destY);
    if (!ry.ok) continue;
    if (dither) t.NextDitherRow();
    const int xa = std::max(destX, 0), xb = std::min(destX + dstW - 1, t.Width() - 1);
    for (int i = 0; i <= xb - xa; ++i) {
      const int x = (y & 1) ? xb - i : xa + i;
      const Rec rx = RefRecord(mode, srcW, srcX, dstW, src.Width(), x - destX);
      if (!rx.ok) continue;
      int64_t total[3] = {0, 0, 0};
      for (auto [sy, wy] : Taps(ry)) {
        int64_t rowSum[3] = {0, 0, 0};
        for (auto [sx, wx] : Taps(rx)) {
          const TColorRef c = src.PixelColors(static_cast<int>(sx), static_cast<int>(sy));
          rowSum[0] += wx * GetRValue(c);
          rowSum[1] += wx * GetGValue(c);
          rowSum[2] += wx * GetBValue(c);
        }
        for (int k = 0; k < 3; ++k) total[k] += rowSum[k] / rx.div * wy;
      }
      Put(t, dither, x, y,
          RGBColor(static_cast<unsigned>(total[0] / ry.div), static_cast<unsigned>(total[1] / ry.div),
                   static_cast<unsigned>(total[2] / ry.div)));
    }
  }
  if (dither) t.EndDither();
}

// ------------------------------------------------------------ reference rotation

long double RoundEvenL(long double v) {
  const long double f = std::floor(v), d = v - f;
  if (d > 0.5L) return f + 1;
  if (d < 0.5L) return f;
  return std::fmod(f, 2.0L) == 0 ? f : f + 1;
}

// Rotation by a general angle, pixel by pixel in extended precision.
void RefRotate(TPixelGraphic& t, int destCx, int destCy, TPixelGraphic& src, int srcH, int srcW, int srcTop,
               int srcLeft, int srcCy, int srcCx, long double angle) {
  const long double a = angle * std::numbers::pi_v<long double> / 180;
  const long double c = std::cos(a), s = std::sin(a);
  long double mnx = 1e30L, mxx = -1e30L, mny = 1e30L, mxy = -1e30L;
  for (int i = 0; i < 4; ++i) {
    const long double u = (i & 1) ? srcLeft + srcW : srcLeft, v = (i & 2) ? srcTop + srcH : srcTop;
    const long double X = (u - srcCx) * c - (v - srcCy) * s + destCx;
    const long double Y = (u - srcCx) * s + (v - srcCy) * c + destCy;
    mnx = std::min(mnx, X), mxx = std::max(mxx, X), mny = std::min(mny, Y), mxy = std::max(mxy, Y);
  }
  const int x0 = std::max(0, static_cast<int>(std::floor(mnx))), x1 = std::min(t.Width() - 1, static_cast<int>(std::ceil(mxx)));
  const int y0 = std::max(0, static_cast<int>(std::floor(mny))), y1 = std::min(t.Height() - 1, static_cast<int>(std::ceil(mxy)));
  const int L = std::max(srcLeft, 0), R = std::min(srcLeft + srcW - 1, src.Width() - 1);
  const int T = std::max(srcTop, 0), B = std::min(srcTop + srcH - 1, src.Height() - 1);
  auto in = [&](long double x, long double y) { return x >= L && x <= R && y >= T && y <= B; };
  const bool dither = t.BitCount() != bc24Bit && t.Dither();
  if (dither) t.BeginDither();
  for (int y = y0; y <= y1; ++y) {
    if (dither) t.NextDitherRow();
    for (int i = 0; i <= x1 - x0; ++i) {
      const int x = (y & 1) ? x1 - i : x0 + i;
      const long double sx = (x - destCx) * c + (y - destCy) * s + srcCx;
      const long double sy = -(x - destCx) * s + (y - destCy) * c + srcCy;
      if (!t.Interpolate()) {
        const long double rx = RoundEvenL(sx), ry = RoundEvenL(sy);
        if (in(rx, ry)) Put(t, dither, x, y, src.PixelColors(static_cast<int>(rx), static_cast<int>(ry)));
        continue;
      }
      const long double fx0 = std::floor(sx), fx1 = std::ceil(sx), fy0 = std::floor(sy), fy1 = std::ceil(sy);
      const long double fx = sx - fx0, fy = sy - fy0;
      const long double ax0 = fx0 == fx1 ? 0.5L : 1 - fx, ax1 = fx0 == fx1 ? 0.5L : fx;
      const long double ay0 = fy0 == fy1 ? 0.5L : 1 - fy, ay1 = fy0 == fy1 ? 0.5L : fy;
      const TColorRef own = t.PixelColors(x, y);
      bool any = false;
      auto sample = [&](long double px, long double py) {
        if (!in(px, py)) return own;
        any = true;
        return src.PixelColors(static_cast<int>(px), static_cast<int>(py));
      };
      const TColorRef c00 = sample(fx0, fy0), c01 = sample(fx0, fy1), c10 = sample(fx1, fy0), c11 = sample(fx1, fy1);
      if (!any) continue;
      unsigned ch[3];
      for (int k = 0; k < 3; ++k) {
        auto v = [&](TColorRef col) { return static_cast<long double>((col >> (8 * k)) & 0xFF); };
        const long double sum = ax0 * ay0 * v(c00) + ax0 * ay1 * v(c01) + ax1 * ay0 * v(c10) + ax1 * ay1 * v(c11);
        ch[k] = static_cast<unsigned>(std::min(255.0L, std::max(0.0L, RoundEvenL(sum))));
      }
      Put(t, dither, x, y, RGBColor(ch[0], ch[1], ch[2]));
    }
  }
  if (dither) t.EndDither();
}

}  // namespace

// ============================================================ sampling records by hand

TEST(StretchCopy, EnlargingOnePixelClampsLinearRecordsToIt) {
  auto src = NewImage(1, 1, bc24Bit);
  src->SetPixels(0, 0, RGBColor(12, 34, 56));
  auto dst = NewImage(3, 3, bc24Bit);
  dst->SetStretchMode(smPrecise);
  dst->StretchFrom(*src);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(dst->Pixels(x, y), RGBColor(12, 34, 56));
}

TEST(StretchCopy, ShrinkingFourToTwo) {
  auto src = GreyRow({0, 0, 255, 255});
  auto dst = NewImage(2, 1, bc24Bit);
  dst->SetStretchMode(smPrecise);
  dst->StretchFrom(*src);
  EXPECT_EQ(RedRow(*dst), (std::vector<int>{0, 255}));
  dst->SetStretchMode(smFast);
  dst->StretchFrom(*src);
  EXPECT_EQ(RedRow(*dst), (std::vector<int>{0, 255}));
  // smFast takes source columns 0 and 2.
  auto src2 = GreyRow({10, 20, 30, 40});
  dst->StretchFrom(*src2);
  EXPECT_EQ(RedRow(*dst), (std::vector<int>{10, 30}));
}

TEST(StretchCopy, EachRecordKindByHand) {
  auto five = GreyRow({10, 50, 90, 200, 30});
  auto two = NewImage(2, 1, bc24Bit);
  // Box, kind 2: (2*10 + 2*50 + 1*90) div 5 and (1*90 + 2*200 + 2*30) div 5.
  two->SetStretchMode(smPrecise);
  two->StretchFrom(*five);
  EXPECT_EQ(RedRow(*two), (std::vector<int>{42, 110}));
  // Linear shrinking: (1*10 + 3*50) div 4 and (3*200 + 1*30) div 4.
  two->SetStretchMode(smMedium);
  two->StretchFrom(*five);
  EXPECT_EQ(RedRow(*two), (std::vector<int>{40, 157}));
  two->SetStretchMode(smFast);
  two->StretchFrom(*five);
  EXPECT_EQ(RedRow(*two), (std::vector<int>{10, 90}));

  auto pair = GreyRow({10, 200});
  auto wide = NewImage(5, 1, bc24Bit);
  // Linear enlarging, divisor 10: one sample, 9:1, 5:5, 1:9, and the last
  // record clamped onto the right edge.
  wide->SetStretchMode(smPrecise);
  wide->StretchFrom(*pair);
  EXPECT_EQ(RedRow(*wide), (std::vector<int>{10, 29, 105, 181, 200}));
  // Box enlarging, divisor 2.
  wide->SetStretchMode(smMedium);
  wide->StretchFrom(*pair);
  EXPECT_EQ(RedRow(*wide), (std::vector<int>{10, 10, 105, 200, 200}));
}

TEST(StretchCopy, RowSumsAreTruncatedBeforeTheyAreWeighted) {
  // 2 x 2 -> 1 x 1 box: rows give 3 div 2 = 1 and 5 div 2 = 2; (1 + 2) div 2 = 1,
  // where the mean of all four would be 2.
  auto src = NewImage(2, 2, bc24Bit);
  src->SetPixels(0, 0, RGBColor(1, 1, 1));
  src->SetPixels(1, 0, RGBColor(2, 2, 2));
  src->SetPixels(0, 1, RGBColor(2, 2, 2));
  src->SetPixels(1, 1, RGBColor(3, 3, 3));
  auto dst = NewImage(1, 1, bc24Bit);
  dst->StretchFrom(*src);
  EXPECT_EQ(dst->Pixels(0, 0), RGBColor(1, 1, 1));
}

TEST(StretchCopy, RecordsOutsideTheSourceLeaveTargetPixels) {
  auto pair = GreyRow({10, 200});
  auto dst = GreyRow({77, 77, 77, 77});
  dst->SetStretchMode(smPrecise);
  // Source rectangle starting one column left of the image: the first record
  // lies wholly outside, the next two straddle the left edge and are clamped.
  dst->StretchCopy(0, 0, *pair, 1, 2, 0, -1, 1, 4);
  EXPECT_EQ(RedRow(*dst), (std::vector<int>{77, 10, 10, 57}));
  // smFast from column 2 of a four-pixel source: the second sample (column 4) is outside.
  auto four = GreyRow({1, 2, 3, 4});
  auto two = GreyRow({77, 77});
  two->SetStretchMode(smFast);
  two->StretchCopy(0, 0, *four, 1, 4, 0, 2, 1, 2);
  EXPECT_EQ(RedRow(*two), (std::vector<int>{3, 77}));
}

TEST(StretchCopy, ProgressOnlyForRowsInRange) {
  auto src = NewImage(1, 4, bc24Bit);
  for (int y = 0; y < 4; ++y) src->SetPixels(0, y, RGBColor(10 * y + 1, 0, 0));
  auto dst = NewImage(1, 4, bc24Bit);
  dst->SetStretchMode(smFast);
  std::vector<int> steps;
  dst->OnProgress = [&](TObject*, int step, int max, bool&) {
    EXPECT_EQ(max, 3);
    steps.push_back(step);
  };
  // Rows -4, -2, 0, 2 of an 8-row rectangle starting 4 rows above the source.
  dst->StretchCopy(0, 0, *src, 8, 1, -4, 0, 4, 1);
  EXPECT_EQ(steps, (std::vector<int>{2, 3}));
  EXPECT_EQ(RedRow(*dst, 2), (std::vector<int>{1}));
  EXPECT_EQ(RedRow(*dst, 3), (std::vector<int>{21}));
  EXPECT_EQ(RedRow(*dst, 0), (std::vector<int>{0}));
}

TEST(StretchCopy, SameSizeIsCopyRect) {
  std::mt19937 rng(7);
  for (uint8_t bc : {bc1Bit, bc4Bit, bc8Bit, bc24Bit}) {
    auto src = RandomImage(13, 9, bc, rng);
    auto a = NewImage(13, 9, bc24Bit), b = NewImage(13, 9, bc24Bit);
    a->StretchFrom(*src);
    b->CopyRect(0, 0, *src, 0, 0, 9, 13);
    ExpectSamePixels(*a, *b);
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 13; ++x) ASSERT_EQ(a->Pixels(x, y), src->PixelColors(x, y));
  }
}

// ============================================================ fast rows against the reference

TEST(StretchCopy, MatchesPerPixelReferenceForEveryResolution) {
  std::mt19937 rng(42);
  struct Case {
    int sw, sh, dw, dh, srcX, srcY, destX, destY, srcW, srcH;
  };
  const Case cases[] = {
      {23, 17, 7, 5, 0, 0, 0, 0, 23, 17},    {7, 5, 23, 17, 0, 0, 0, 0, 7, 5},
      {19, 11, 19, 4, 0, 0, 0, 0, 19, 11},   {11, 19, 4, 19, 0, 0, 0, 0, 11, 19},
      {16, 16, 20, 9, -3, 2, -2, 1, 14, 20}, {9, 7, 30, 22, 1, -2, 3, -1, 12, 6},
      {40, 3, 9, 8, 5, 0, 0, 0, 37, 3},      {3, 40, 8, 9, 0, 5, 0, 0, 3, 37},
  };
  for (const Case& c : cases)
    for (TStretchMode mode : {smFast, smMedium, smPrecise})
      for (uint8_t sbc : {bc1Bit, bc4Bit, bc8Bit, bc24Bit})
        for (uint8_t tbc : {bc1Bit, bc4Bit, bc8Bit, bc24Bit})
          for (bool dither : {false, true}) {
            if (tbc == bc24Bit && dither) continue;
            auto src = RandomImage(c.sw, c.sh, sbc, rng, sbc == bc8Bit);
            auto fast = Target(c.dw, c.dh, tbc, rng, dither);
            fast->SetStretchMode(mode);
            auto ref = Clone(*fast);
            fast->StretchCopy(c.destX, c.destY, *src, c.srcH, c.srcW, c.srcY, c.srcX, c.dh, c.dw);
            RefStretchCopy(*ref, c.destX, c.destY, *src, c.srcH, c.srcW, c.srcY, c.srcX, c.dh, c.dw);
            SCOPED_TRACE(testing::Message() << "case " << (&c - cases) << " mode " << int(mode) << " src "
                                            << int(sbc) << " dst " << int(tbc) << " dither " << dither);
            ExpectSamePixels(*fast, *ref);
          }
}

// The specialised engine (records of at most two samples, divisions by
// multiplication) against the general one, on factors that leave remainders,
// with offsets and clipping on both sides, for 24- and 8-bit sources.
TEST(StretchCopy, SpecialisedRowsMatchGeneralRows) {
  struct Case {
    int sw, sh, dw, dh, srcX, srcY, destX, destY, srcW, srcH;
  };
  const Case cases[] = {
      {600, 400, 360, 240, 0, 0, 0, 0, 600, 400},     // 0.6
      {601, 397, 479, 318, 0, 0, 0, 0, 601, 397},     // about 0.8, odd
      {97, 61, 251, 167, 0, 0, 0, 0, 97, 61},         // enlarging by odd factors
      {333, 201, 140, 90, -7, 5, -3, 4, 345, 190},    // offsets, clipped on every side
      {120, 80, 300, 7, 9, -3, 2, -1, 100, 60},       // shrinking one axis, enlarging the other
      {5000, 3, 2999, 3, 0, 0, 0, 0, 5000, 3},        // long rows: a column divisor above 4096
  };
  std::mt19937 rng(5);
  for (const Case& c : cases)
    for (TStretchMode mode : {smMedium, smPrecise})
      for (uint8_t sbc : {bc8Bit, bc24Bit})
        for (uint8_t tbc : {bc8Bit, bc24Bit}) {
          auto src = RandomImage(c.sw, c.sh, sbc, rng, true);
          auto fast = Target(c.dw, c.dh, tbc, rng, false);
          fast->SetStretchMode(mode);
          auto general = Clone(*fast);
          auto scalar = Clone(*fast);
          fast->StretchCopy(c.destX, c.destY, *src, c.srcH, c.srcW, c.srcY, c.srcX, c.dh, c.dw);
          // The specialised engine without its vector kernels, as on a processor without AVX2.
          pg::SetStretchVectors(false);
          scalar->StretchCopy(c.destX, c.destY, *src, c.srcH, c.srcW, c.srcY, c.srcX, c.dh, c.dw);
          pg::SetStretchVectors(true);
          pg::SetStretchFastRows(false);
          general->StretchCopy(c.destX, c.destY, *src, c.srcH, c.srcW, c.srcY, c.srcX, c.dh, c.dw);
          pg::SetStretchFastRows(true);
          SCOPED_TRACE(testing::Message() << "case " << (&c - cases) << " mode " << int(mode) << " src " << int(sbc)
                                          << " dst " << int(tbc));
          ExpectSamePixels(*fast, *general);
          ExpectSamePixels(*scalar, *general);
        }
}

// The exact division by multiplication against the division itself, for
// every divisor a record can have up to 4096 and a spread of larger ones,
// at the sums where a quotient changes.
TEST(StretchCopy, SampleDividerIsExact) {
  auto check = [](uint32_t d) {
    const pg::TSampleDivider div(d);
    for (uint32_t q = 0; q <= 255; ++q)
      for (uint32_t n : {q * d, q * d + d - 1, q * d + d / 2}) {
        if (n > 255 * d) continue;
        ASSERT_EQ(div(n), n / d) << n << " / " << d;
      }
  };
  for (uint32_t d = 1; d <= 4096; ++d) check(d);
  for (uint32_t d = 4097; d <= pg::TSampleDivider::kMaxDivisor; d = d * 5 / 4 + 1) check(d);
  check(pg::TSampleDivider::kMaxDivisor);
}

TEST(CopyRect, ClipsToBothImagesAndMatchesPixelCopy) {
  std::mt19937 rng(3);
  for (uint8_t sbc : {bc1Bit, bc4Bit, bc8Bit, bc24Bit})
    for (uint8_t tbc : {bc1Bit, bc4Bit, bc8Bit, bc24Bit})
      for (bool dither : {false, true}) {
        auto src = RandomImage(17, 11, sbc, rng);
        auto fast = Target(13, 15, tbc, rng, dither);
        auto ref = Clone(*fast);
        fast->CopyRect(-2, 3, *src, -1, 4, 20, 30);
        const bool d = tbc != bc24Bit && dither;
        if (d) ref->BeginDither();
        for (int y = 3; y < 15; ++y) {
          const int sy = y - 3 - 1;
          if (sy < 0 || sy >= 11) continue;
          if (d) ref->NextDitherRow();
          for (int i = 0; i < 13; ++i) {
            const int x = (y & 1) ? 12 - i : i;
            const int sx = x + 4 + 2;
            if (x > -2 + 29 || sx >= 17) continue;
            Put(*ref, d, x, y, src->PixelColors(sx, sy));
          }
        }
        if (d) ref->EndDither();
        SCOPED_TRACE(testing::Message() << "src " << int(sbc) << " dst " << int(tbc) << " dither " << dither);
        ExpectSamePixels(*fast, *ref);
      }
}

TEST(CopyRect, ProgressAbortAndChange) {
  auto src = NewImage(4, 4, bc8Bit);
  src->SetPaletteIdent(pGray256);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src->SetPixels(x, y, 200);
  auto dst = NewImage(4, 4, bc24Bit);
  int starts = 0, steps = 0, ends = 0, changes = 0;
  dst->OnProgressStart = [&](TObject*) { ++starts; };
  dst->OnProgressEnd = [&](TObject*) { ++ends; };
  dst->OnChange = [&](TObject*) { ++changes; };
  dst->OnProgress = [&](TObject*, int step, int max, bool& abort) {
    EXPECT_EQ(step, steps);
    EXPECT_EQ(max, 3);
    ++steps;
    abort = step == 1;
  };
  dst->CopyRect(0, 0, *src, 0, 0, 4, 4);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(steps, 2);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(dst->Pixels(3, 1), RGBColor(200, 200, 200));
  EXPECT_EQ(dst->Pixels(0, 2), 0u);
  // No overlapping column: only the change notification.
  dst->CopyRect(10, 0, *src, 0, 0, 4, 4);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(changes, 2);
}

// ============================================================ rotation

namespace {

// The pixel-exact quarter turns: target (x, y) from source pixel ...
TColorRef QuarterSource(const TPixelGraphic& src, int quadrant, int x, int y) {
  const int W = src.Width(), H = src.Height();
  switch (quadrant) {
    case 1: return src.PixelColors(y, H - 1 - x);
    case 2: return src.PixelColors(W - 1 - x, H - 1 - y);
    case 3: return src.PixelColors(W - 1 - y, x);
    default: return src.PixelColors(x, y);
  }
}

}  // namespace

TEST(RotateFrom, QuarterTurnsAreExactPixelForPixel) {
  std::mt19937 rng(11);
  const int sizes[][2] = {{4, 2}, {5, 3}, {6, 7}, {7, 6}, {1, 1}, {2, 9}};
  for (auto [w, h] : sizes)
    for (long double angle : {0.0L, 90.0L, 180.0L, 270.0L, -90.0L, 450.0L, -180.0L})
      for (uint8_t bc : {bc1Bit, bc4Bit, bc8Bit, bc24Bit}) {
        auto src = RandomImage(w, h, bc, rng);
        auto dst = NewImage(1, 1, bc24Bit);
        dst->RotateFrom(true, *src, angle);
        const int quadrant = ((static_cast<int>(angle) / 90) % 4 + 4) % 4;
        SCOPED_TRACE(testing::Message() << w << "x" << h << " angle " << static_cast<double>(angle) << " bc "
                                        << int(bc));
        ASSERT_EQ(dst->Width(), quadrant % 2 ? h : w);
        ASSERT_EQ(dst->Height(), quadrant % 2 ? w : h);
        for (int y = 0; y < dst->Height(); ++y)
          for (int x = 0; x < dst->Width(); ++x) ASSERT_EQ(dst->Pixels(x, y), QuarterSource(*src, quadrant, x, y));
      }
}

TEST(RotateFrom, QuarterTurnAbortKeepsTheReportedRows) {
  std::mt19937 rng(17);
  auto src = RandomImage(40, 21, bc24Bit, rng);
  for (long double angle : {90.0L, 270.0L}) {
    auto dst = NewImage(21, 40, bc24Bit);
    int last = -1;
    dst->OnProgress = [&](TObject*, int step, int max, bool& abort) {
      EXPECT_EQ(max, 39);
      EXPECT_EQ(step, last + 1);
      last = step;
      abort = step == 20;
    };
    dst->RotateFrom(false, *src, angle);
    EXPECT_EQ(last, 20);
    const int quadrant = angle == 90 ? 1 : 3;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 21; ++x)
        ASSERT_EQ(dst->Pixels(x, y), y <= 20 ? QuarterSource(*src, quadrant, x, y) : 0u) << x << "," << y;
  }
}

TEST(RotateFrom, QuarterTurnIgnoresInterpolationAndTurnsClockwise) {
  // 3 x 1 row: left, middle, right. A quarter turn makes it a column with the
  // former right end at the bottom.
  auto src = GreyRow({10, 20, 30});
  auto dst = NewImage(1, 1, bc24Bit);
  dst->SetInterpolate(true);
  dst->RotateFrom(true, *src, 90);
  ASSERT_EQ(dst->Width(), 1);
  ASSERT_EQ(dst->Height(), 3);
  EXPECT_EQ(GetRValue(dst->Pixels(0, 0)), 10u);
  EXPECT_EQ(GetRValue(dst->Pixels(0, 2)), 30u);
  EXPECT_TRUE(dst->Interpolate());
}

TEST(Rotate, OddAngleMatchesExtendedPrecisionReference) {
  std::mt19937 rng(5);
  for (long double angle : {5.71L, -33.3L, 123.456L, 0.5L})
    for (bool interpolate : {true, false})
      for (uint8_t sbc : {bc4Bit, bc8Bit, bc24Bit})
        for (uint8_t tbc : {bc1Bit, bc8Bit, bc24Bit}) {
          auto src = RandomImage(37, 23, sbc, rng);
          auto fast = Target(41, 35, tbc, rng, true);
          fast->SetInterpolate(interpolate);
          auto ref = Clone(*fast);
          fast->Rotate(20, 17, *src, 21, 33, 1, 2, 11, 18, angle);
          RefRotate(*ref, 20, 17, *src, 21, 33, 1, 2, 11, 18, angle);
          SCOPED_TRACE(testing::Message() << "angle " << static_cast<double>(angle) << " interp " << interpolate
                                          << " src " << int(sbc) << " dst " << int(tbc));
          ExpectSamePixels(*fast, *ref);
        }
}

TEST(Rotate, HalfPixelPositionsRoundTiesToEven) {
  // 45 degrees about a centre places many samples exactly between pixels; a
  // 2-pixel source of values 1 and 2 gives sums of exactly .5.
  std::mt19937 rng(9);
  auto src = RandomImage(64, 64, bc24Bit, rng);
  for (long double angle : {45.0L, 30.0L, 60.0L, 135.0L}) {
    auto fast = NewImage(90, 90, bc24Bit);
    auto ref = Clone(*fast);
    fast->Rotate(45, 45, *src, 64, 64, 0, 0, 32, 32, angle);
    RefRotate(*ref, 45, 45, *src, 64, 64, 0, 0, 32, 32, angle);
    ExpectSamePixels(*fast, *ref);
  }
}

TEST(Rotate, VectorKernelGivesThePlainPixels) {
  // Four pixels at a time where the processor has AVX2: every angle, a source
  // window inside the picture and a target the turned window only partly covers.
  std::mt19937 rng(19);
  auto src = RandomImage(301, 203, bc24Bit, rng);
  auto start = RandomImage(320, 240, bc24Bit, rng);
  for (long double angle : {0.3L, 1.7L, 5.71L, 30.0L, 45.0L, 89.9L, 135.0L, -12.5L}) {
    auto plain = Clone(*start), vector = Clone(*start);
    pg::SetRotateVectors(false);
    plain->Rotate(150, 130, *src, 180, 250, 11, 23, 100, 140, angle);
    pg::SetRotateVectors(true);
    vector->Rotate(150, 130, *src, 180, 250, 11, 23, 100, 140, angle);
    SCOPED_TRACE(testing::Message() << "angle " << static_cast<double>(angle));
    ExpectSamePixels(*vector, *plain);
  }
}

TEST(Rotate, VectorKernelAtSmallTurnsGivesThePlainPixels) {
  // Eight pixels at a time from short pieces of the source rows: turns within
  // 19.4 degrees of 0 and 180 (columns that repeat, rows that change inside a
  // group), odd sizes, whole sources whose last row and column are reached,
  // 24-bit and palette targets.
  std::mt19937 rng(23);
  std::uniform_real_distribution<double> tilt(-19.4, 19.4);
  for (int round = 0; round < 32; ++round) {
    const int w = 24 + static_cast<int>(rng() % 100), h = 12 + static_cast<int>(rng() % 50);
    auto src = RandomImage(w, h, bc24Bit, rng);
    const uint8_t tbc = round % 4 == 3 ? bc8Bit : bc24Bit;
    auto start = Target(w + 5 + static_cast<int>(rng() % 8), h + 7, tbc, rng, true);
    long double angle = tilt(rng) * (round % 4 == 0 ? 0.02 : 1);
    if (round % 3 == 2) angle += 180;
    const int destCx = start->Width() / 2 + static_cast<int>(rng() % 5) - 2, destCy = start->Height() / 2;
    const int srcCx = static_cast<int>(rng() % w), srcCy = static_cast<int>(rng() % h);
    auto plain = Clone(*start), vector = Clone(*start);
    pg::SetRotateVectors(false);
    plain->Rotate(destCx, destCy, *src, h, w, 0, 0, srcCy, srcCx, angle);
    pg::SetRotateVectors(true);
    vector->Rotate(destCx, destCy, *src, h, w, 0, 0, srcCy, srcCx, angle);
    SCOPED_TRACE(testing::Message() << "angle " << static_cast<double>(angle) << " source " << w << " x " << h);
    ExpectSamePixels(*vector, *plain);
  }
}

TEST(RotateFrom, BackgroundStaysInCornersAndBlendsAlongEdges) {
  auto src = NewImage(20, 20, bc24Bit);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) src->SetPixels(x, y, RGBColor(200, 200, 200));
  auto dst = NewImage(1, 1, bc24Bit);
  dst->SetBackGroundColor(RGBColor(0, 0, 100));
  dst->RotateFrom(true, *src, 30);
  // The 30-degree bounding box of 20 x 20: 17.32 + 10 rounded outward, where
  // 20 sin 30 in extended precision is not exactly 10.
  const long double a = 30 * std::numbers::pi_v<long double> / 180;
  const int n = static_cast<int>(std::ceil(20 * std::cos(a)) - std::floor(-20 * std::sin(a)));
  ASSERT_TRUE(n == 28 || n == 29);
  ASSERT_EQ(dst->Width(), n);
  ASSERT_EQ(dst->Height(), static_cast<int>(std::ceil(20 * std::sin(a) + 20 * std::cos(a))));
  // The resize discarded the pixels: zero, not the background. Rotating into a
  // target of the same size clears it to the background first.
  EXPECT_EQ(dst->Pixels(0, 0), 0u);
  dst->RotateFrom(true, *src, 30);
  EXPECT_EQ(dst->Pixels(0, 0), RGBColor(0, 0, 100));
  EXPECT_EQ(dst->Pixels(dst->Width() - 1, dst->Height() - 1), RGBColor(0, 0, 100));
  EXPECT_EQ(dst->Pixels(n / 2, n / 2), RGBColor(200, 200, 200));
  // Somewhere along the edges the colours mix.
  bool blended = false;
  for (int y = 0; y < dst->Height(); ++y)
    for (int x = 0; x < dst->Width(); ++x) {
      const TColorRef c = dst->Pixels(x, y);
      if (GetRValue(c) > 0 && GetRValue(c) < 200 && GetBValue(c) > 100) blended = true;
    }
  EXPECT_TRUE(blended);
}

TEST(Rotate, NothingHappensOutsideTheTarget) {
  auto src = GreyRow({1, 2, 3});
  auto dst = GreyRow({9, 9, 9});
  int changes = 0;
  dst->OnChange = [&](TObject*) { ++changes; };
  dst->Rotate(1000, 1000, *src, 1, 3, 0, 0, 0, 1, 10);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(RedRow(*dst), (std::vector<int>{9, 9, 9}));
}

// ============================================================ mirror

TEST(MirrorHorizontal, ReversesRowsAndTwiceRestores) {
  std::mt19937 rng(13);
  for (uint8_t bc : {bc1Bit, bc4Bit, bc8Bit, bc24Bit})
    for (int w : {1, 2, 7, 8, 33}) {
      auto img = RandomImage(w, 5, bc, rng);
      auto orig = Clone(*img);
      img->MirrorHorizontal();
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(img->Pixels(x, y), orig->Pixels(w - 1 - x, y));
      img->MirrorHorizontal();
      ExpectSamePixels(*img, *orig);
    }
}
