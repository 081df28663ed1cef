#include "pgraphic/core/colorconv.h"

#include <algorithm>
#include <cstring>

#include "pgraphic/core/intmath.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/special252.h"

namespace {

// Candidates of the 16-colour system palette per key (R div 64, G div 64, B div 64).
constexpr uint8_t Sys16Candidates[64][3] = {
    {0, 0, 0},   {4, 4, 4},    {4, 4, 4},    {12, 12, 12}, {2, 2, 2},    {6, 6, 6},    {6, 6, 6},    {6, 12, 12},
    {2, 2, 2},   {6, 6, 6},    {6, 6, 6},    {6, 14, 14},  {10, 10, 10}, {6, 10, 10},  {6, 14, 14},  {14, 14, 14},
    {1, 1, 1},   {5, 5, 5},    {5, 5, 5},    {5, 12, 12},  {3, 3, 3},    {8, 8, 8},    {8, 8, 8},    {8, 12, 12},
    {3, 3, 3},   {8, 8, 8},    {8, 8, 8},    {7, 8, 14},   {3, 10, 10},  {8, 10, 10},  {7, 8, 14},   {7, 14, 14},
    {1, 1, 1},   {5, 5, 5},    {5, 5, 5},    {5, 13, 13},  {3, 3, 3},    {8, 8, 8},    {8, 8, 8},    {7, 8, 13},
    {3, 3, 3},   {8, 8, 8},    {7, 8, 8},    {7, 7, 7},    {3, 11, 11},  {7, 8, 11},   {7, 7, 7},    {7, 7, 7},
    {9, 9, 9},   {5, 9, 9},    {5, 13, 13},  {13, 13, 13}, {3, 9, 9},    {8, 9, 9},    {7, 8, 13},   {7, 13, 13},
    {3, 11, 11}, {7, 8, 11},   {7, 7, 7},    {7, 7, 7},    {11, 11, 11}, {7, 11, 11},  {7, 7, 7},    {7, 15, 15},
};

// For each grey value G3 (0..765) the 236-grey entry whose level is nearest to
// G3 / 3, the lower index on ties. Levels are i * 255 / 235 rounded.
struct TGray236Table {
  uint8_t v[766];
  constexpr TGray236Table() : v{} {
    for (int g3 = 0; g3 <= 765; ++g3) {
      int best = 0, bestD = 1 << 30;
      for (int i = 0; i < 236; ++i) {
        const int level = (i * 255 * 2 + 235) / (2 * 235);
        const int d = 3 * level > g3 ? 3 * level - g3 : g3 - 3 * level;
        if (d < bestD) {
          bestD = d;
          best = i;
        }
      }
      v[g3] = static_cast<uint8_t>(best);
    }
  }
};
constexpr TGray236Table Gray236Index{};

inline int SquaredDistance(int r, int g, int b, TColorRef p) {
  const int dr = r - static_cast<int>(GetRValue(p)), dg = g - static_cast<int>(GetGValue(p)),
            db = b - static_cast<int>(GetBValue(p));
  return dr * dr + dg * dg + db * db;
}

// Nearest palette entry by squared RGB distance, the lowest index on ties.
uint32_t LinearSearch(const TColorRef* palette, int count, int r, int g, int b) {
  uint32_t result = 0;
  int best = -1;
  for (int i = 0; i < count; ++i) {
    const int d = SquaredDistance(r, g, b, palette[i]);
    if (best < 0 || d < best) {
      best = d;
      result = static_cast<uint32_t>(i);
      if (d == 0) break;
    }
  }
  return result;
}

inline uint32_t CacheCell(int r, int g, int b) {
  return (static_cast<uint32_t>(r >> 3) << 11) | (static_cast<uint32_t>(g >> 2) << 5) | static_cast<uint32_t>(b >> 3);
}

// Pre-fills the 32 x 64 x 32 cache in shells: for radius 0..4, and within a
// radius for every entry in ascending order, the cells on the surface of the
// cube of that radius around the entry's own cell take the entry unless they
// are already filled.
void PrefillColorCache(const TColorRef* palette, int count, uint8_t* cache, uint8_t* filled) {
  auto fill = [&](int r, int g, int b, uint8_t index) {
    const uint32_t cell = (static_cast<uint32_t>(r) << 11) | (static_cast<uint32_t>(g) << 5) | static_cast<uint32_t>(b);
    const uint8_t bit = static_cast<uint8_t>(1u << (cell & 7));
    if (filled[cell >> 3] & bit) return;
    filled[cell >> 3] |= bit;
    cache[cell] = index;
  };
  for (int s = 0; s <= 4; ++s) {
    for (int p = 0; p < count; ++p) {
      const TColorRef c = palette[p];
      const int pr = static_cast<int>(GetRValue(c)) >> 3, pgr = static_cast<int>(GetGValue(c)) >> 2,
                pb = static_cast<int>(GetBValue(c)) >> 3;
      const int r0 = std::max(pr - s, 0), r1 = std::min(pr + s, 31);
      const int g0 = std::max(pgr - s, 0), g1 = std::min(pgr + s, 63);
      const int b0 = std::max(pb - s, 0), b1 = std::min(pb + s, 31);
      const uint8_t index = static_cast<uint8_t>(p);
      for (int r = r0; r <= r1; ++r) {
        const bool rFace = r == pr - s || r == pr + s;
        for (int g = g0; g <= g1; ++g) {
          if (rFace || g == pgr - s || g == pgr + s) {
            for (int b = b0; b <= b1; ++b) fill(r, g, b, index);
          } else {
            if (pb - s >= 0) fill(r, g, pb - s, index);
            if (pb + s <= 31) fill(r, g, pb + s, index);
          }
        }
      }
    }
  }
}

} // namespace

uint32_t TPixelGraphic::ColorToIndexUncached(TColorRef color) {
  const int r = static_cast<int>(GetRValue(color)), g = static_cast<int>(GetGValue(color)),
            b = static_cast<int>(GetBValue(color));
  uint32_t result = 0;
  switch (FPaletteIdent) {
    case pNone:
      throw EPGNoPalette(GetMessage(msgNoPalette));
    case pTrueColor:
      result = color;
      break;
    case pBlackWhite:
      result = static_cast<uint32_t>((PGGreyValue(color, FRGBWeighting) + 1) / 384);
      break;
    case pSysGray4: {
      const int g3 = PGGreyValue(color, FRGBWeighting);
      result = g3 <= 192 ? 0 : (g3 <= 480 ? 1 : (g3 <= 670 ? 2 : 3));
      break;
    }
    case pSys16: {
      const uint8_t* cand = Sys16Candidates[(r >> 6) * 16 + (g >> 6) * 4 + (b >> 6)];
      result = cand[0];
      if (cand[1] != cand[0]) {
        const TColorRef* pal = FPalette.data();
        int best = SquaredDistance(r, g, b, pal[result]);
        int d = SquaredDistance(r, g, b, pal[cand[1]]);
        if (d < best) {
          best = d;
          result = cand[1];
        }
        if (cand[2] != cand[1] && SquaredDistance(r, g, b, pal[cand[2]]) < best) result = cand[2];
      }
      break;
    }
    case pGray4:
      result = static_cast<uint32_t>((PGGreyValue(color, FRGBWeighting) + 127) / 255);
      break;
    case pGray16:
      result = static_cast<uint32_t>((PGGreyValue(color, FRGBWeighting) + 25) / 51);
      break;
    case pGray236:
      result = Gray236Index.v[PGGreyValue(color, FRGBWeighting)];
      break;
    case pGray256:
      result = static_cast<uint32_t>((PGGreyValue(color, FRGBWeighting) + 1) / 3);
      break;
    case pSpecial125: {
      // 224 lies exactly between the levels 192 and 255; it goes up.
      auto level = [](int v) { return ((v == 224 ? 225 : v) + 31) / 64; };
      result = static_cast<uint32_t>(25 * level(r) + 5 * level(g) + level(b));
      break;
    }
    case pSpecial216:
      result = static_cast<uint32_t>(36 * ((r + 24) / 51) + 6 * ((g + 24) / 51) + (b + 24) / 51);
      break;
    case pSpecial252: {
      const int cell = ((r + 16) >> 5) * 81 + ((g + 16) >> 5) * 9 + ((b + 16) >> 5);
      const uint8_t* c = pg::Special252Candidates + pg::Special252CandidateStart[cell];
      const uint8_t* end = pg::Special252Candidates + pg::Special252CandidateStart[cell + 1];
      const TColorRef* pal = FPalette.data();
      result = *c;
      if (++c < end) {
        int best = SquaredDistance(r, g, b, pal[result]);
        for (; c < end; ++c) {
          const int d = SquaredDistance(r, g, b, pal[*c]);
          if (d < best) {
            best = d;
            result = *c;
          }
        }
      }
      break;
    }
    case pUnknown:
      if (!FColorCacheEnabled) {
        result = LinearSearch(FPalette.data(), PaletteCount(), r, g, b);
        break;
      }
      if (FCacheStale || !FColorCache || !FColorCacheFilled) {
        FColorCache.reset(new uint8_t[65536]());
        FColorCacheFilled.reset(new uint8_t[8192]());
        PrefillColorCache(FPalette.data(), PaletteCount(), FColorCache.get(), FColorCacheFilled.get());
        FCacheStale = false;
      }
      {
        const uint32_t cell = CacheCell(r, g, b);
        const uint8_t bit = static_cast<uint8_t>(1u << (cell & 7));
        if (FColorCacheFilled[cell >> 3] & bit) {
          result = FColorCache[cell];
        } else {
          // Far from every entry: search once, then remember it in the cell.
          result = LinearSearch(FPalette.data(), PaletteCount(), r, g, b);
          FColorCache[cell] = static_cast<uint8_t>(result);
          FColorCacheFilled[cell >> 3] |= bit;
        }
      }
      break;
    default:
      result = 0;
      break;
  }
  FMemoColor = color;
  FMemoResult = result;
  FMemoValid = true;
  return result;
}

// ---------------------------------------------------------------- dithering

namespace {

// Error limit L and soft-knee flag chosen automatically for a palette.
int AutoDitherLimit(TPaletteIdent ident) {
  switch (ident) {
    case pBlackWhite:
      return 255;
    case pSysGray4:
    case pSys16:
    case pGray4:
      return 128;
    case pGray236:
      return 3;
    case pGray256:
      return 2;
    case pSpecial125:
    case pSpecial252:
      return 104;
    case pSpecial216:
      return 86;
    default:
      return 32;
  }
}

// Accumulated error in sixteenths rounded to whole units, halves away from zero.
inline int RoundSixteenths(int a) { return a >= 0 ? (a + 8) >> 4 : -((-a + 8) >> 4); }

} // namespace

void TPixelGraphic::BeginDither() {
  const int limit = FDitherErrorLimitAuto ? AutoDitherLimit(FPaletteIdent) : FDitherErrorLimit;
  const bool soft = FDitherErrorLimitAuto ? true : FDitherErrorLimitSoft;
  int t[256];
  for (int e = 0; e <= 255; ++e) t[e] = e;
  if (limit != 255)
    for (int e = limit; e <= 255; ++e) t[e] = limit;
  if (soft)
    for (int e = limit / 2; e <= (3 * limit) / 2 && e < 255; ++e) t[e] = e / 2 + limit / 4;
  FDitherLimitTable.assign(511, 0);
  for (int e = 0; e <= 255; ++e) {
    FDitherLimitTable[static_cast<size_t>(255 + e)] = t[e];
    FDitherLimitTable[static_cast<size_t>(255 - e)] = -t[e];
  }
  const size_t rowSize = (static_cast<size_t>(FWidth) + 2) * 3;
  FDitherRowCur.assign(rowSize, 0);
  FDitherRowNext.assign(rowSize, 0);
  FDitherWidth = FWidth;
  FGrayPalette = FBitCount != bc24Bit && std::all_of(FPalette.begin(), FPalette.end(), [](TColorRef c) {
                   return GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c);
                 });
  FDitherActive = true;
}

void TPixelGraphic::NextDitherRow() {
  if (!FDitherActive) return;
  FDitherRowCur.swap(FDitherRowNext);
  std::memset(FDitherRowNext.data(), 0, FDitherRowNext.size() * sizeof(int));
}

// ColorToIndex with the cache lookup of an arbitrary palette done in line; a
// cell found filled gives the same answer the full path would.
inline uint32_t TPixelGraphic::DitherIndex(TColorRef color) {
  if (FMemoValid && FMemoColor == color) return FMemoResult;
  if (FPaletteIdent == pUnknown && FColorCacheEnabled && !FCacheStale) [[likely]] {
    const uint32_t cell = CacheCell(static_cast<int>(GetRValue(color)), static_cast<int>(GetGValue(color)),
                                    static_cast<int>(GetBValue(color)));
    if (FColorCacheFilled[cell >> 3] & (1u << (cell & 7))) [[likely]]
      return FColorCache[cell];
  }
  return ColorToIndexUncached(color);
}

void TPixelGraphic::DitherPixel(int x, int y, int r, int g, int b) {
  if ((static_cast<unsigned>(r) | static_cast<unsigned>(g) | static_cast<unsigned>(b)) > 255u) [[unlikely]] {
    r = std::clamp(r, 0, 255);
    g = std::clamp(g, 0, 255);
    b = std::clamp(b, 0, 255);
  }
  if (!FDitherActive || FBitCount == bc24Bit || static_cast<unsigned>(x) >= static_cast<unsigned>(FDitherWidth) ||
      static_cast<unsigned>(y) >= static_cast<unsigned>(FHeight)) [[unlikely]] {
    // Outside a dithering bracket, into a true-colour image or outside the
    // error rows: the plain nearest-entry write.
    SetPixelColors(x, y, RGBColor(static_cast<unsigned>(r), static_cast<unsigned>(g), static_cast<unsigned>(b)));
    return;
  }
  const int* limit = FDitherLimitTable.data() + 255;
  int* cur = FDitherRowCur.data() + 3 * (static_cast<size_t>(x) + 1);
  int* next = FDitherRowNext.data() + 3 * (static_cast<size_t>(x) + 1);
  // Scan direction of the row: even rows left to right, odd rows right to left.
  const ptrdiff_t ahead = (y & 1) ? -3 : 3;
  const size_t palCount = FPalette.size();
  if (FGrayPalette) {
    const int t = pg::ClampByte(PGGreyValue(RGBColor(static_cast<unsigned>(r), static_cast<unsigned>(g),
                                                     static_cast<unsigned>(b)),
                                            FRGBWeighting) /
                                    3 +
                                limit[RoundSixteenths(cur[1])]);
    const uint32_t index = DitherIndex(RGBColor(static_cast<unsigned>(t), static_cast<unsigned>(t), static_cast<unsigned>(t)));
    SetPixels(x, y, index);
    const TColorRef p = index < palCount ? FPalette[index] : PaletteColorOutOfRange(index);
    const int e = t - static_cast<int>(GetGValue(p));
    if (e != 0) {
      cur[ahead + 1] += 7 * e;
      next[-ahead + 1] += 3 * e;
      next[1] += 5 * e;
      next[ahead + 1] += e;
    }
    return;
  }
  const int tr = pg::ClampByte(r + limit[RoundSixteenths(cur[0])]);
  const int tg = pg::ClampByte(g + limit[RoundSixteenths(cur[1])]);
  const int tb = pg::ClampByte(b + limit[RoundSixteenths(cur[2])]);
  const uint32_t index =
      DitherIndex(RGBColor(static_cast<unsigned>(tr), static_cast<unsigned>(tg), static_cast<unsigned>(tb)));
  SetPixels(x, y, index);
  const TColorRef p = index < palCount ? FPalette[index] : PaletteColorOutOfRange(index);
  const int er = tr - static_cast<int>(GetRValue(p));
  const int eg = tg - static_cast<int>(GetGValue(p));
  const int eb = tb - static_cast<int>(GetBValue(p));
  int* ca = cur + ahead;
  int* nb = next - ahead;
  int* na = next + ahead;
  ca[0] += 7 * er;
  ca[1] += 7 * eg;
  ca[2] += 7 * eb;
  nb[0] += 3 * er;
  nb[1] += 3 * eg;
  nb[2] += 3 * eb;
  next[0] += 5 * er;
  next[1] += 5 * eg;
  next[2] += 5 * eb;
  na[0] += er;
  na[1] += eg;
  na[2] += eb;
}

void TPixelGraphic::EndDither() {
  FDitherActive = false;
  FDitherWidth = 0;
  std::vector<int>().swap(FDitherLimitTable);
  std::vector<int>().swap(FDitherRowCur);
  std::vector<int>().swap(FDitherRowNext);
}

void ConvertColorResolution(TPixelGraphic& target, TPixelGraphic& source, uint8_t bitCount, TPaletteIdent palette) {
  const int w = source.Width(), h = source.Height();
  target.SetSize(w, h, bitCount);
  if (bitCount != bc24Bit) {
    if (palette == pOptimized252Sys16) {
      if (bitCount == bc1Bit) BuildOptimizedPalette(target, source, 2, false);
      else if (bitCount == bc4Bit) BuildOptimizedPalette(target, source, 16, false);
      else BuildOptimizedPalette(target, source, 252, true);
    } else {
      target.SetPaletteIdent(palette);
    }
  }
  target.CopyRect(0, 0, source, 0, 0, h, w);
  target.DetectPaletteIdent();
}
