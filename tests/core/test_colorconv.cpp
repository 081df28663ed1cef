// Colour mapping: every palette kind against a brute-force reference, the
// colour cache's shell order and fallback, and the memo's invalidation.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "pgraphic/core/messages.h"
#include "pgraphic/core/palettes.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/special252.h"

namespace {

int Dist2(TColorRef a, TColorRef b) {
  const int dr = int(GetRValue(a)) - int(GetRValue(b)), dg = int(GetGValue(a)) - int(GetGValue(b)),
            db = int(GetBValue(a)) - int(GetBValue(b));
  return dr * dr + dg * dg + db * db;
}

// Nearest entry by squared distance, lowest index on ties.
uint32_t Nearest(const std::vector<TColorRef>& pal, TColorRef c) {
  uint32_t best = 0;
  for (uint32_t i = 1; i < pal.size(); ++i)
    if (Dist2(pal[i], c) < Dist2(pal[best], c)) best = i;
  return best;
}

// Nearest grey entry to G3 / 3 (compared as |3 * level - G3|), lowest index on ties.
uint32_t NearestGrey(const std::vector<TColorRef>& pal, int g3) {
  uint32_t best = 0;
  auto d = [&](uint32_t i) { return std::abs(3 * int(GetRValue(pal[i])) - g3); };
  for (uint32_t i = 1; i < pal.size(); ++i)
    if (d(i) < d(best)) best = i;
  return best;
}

std::vector<TColorRef> SampleColors() {
  std::vector<TColorRef> out;
  for (unsigned r = 0; r < 256; r += 5)
    for (unsigned g = 0; g < 256; g += 3)
      for (unsigned b = 0; b < 256; b += 7) out.push_back(RGBColor(r, g, b));
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) out.push_back(rng() & 0xFFFFFF);
  return out;
}

// A small 8-bit image with a standard palette.
struct PaletteImage : TPixelGraphic {
  explicit PaletteImage(TPaletteIdent ident) {
    SetSize(4, 4, bc8Bit);
    SetPaletteIdent(ident);
  }
};

// A small 8-bit image with the given palette (pUnknown).
struct CustomPalette : TPixelGraphic {
  explicit CustomPalette(const std::vector<TColorRef>& pal) {
    SetSize(4, 4, bc8Bit);
    SetPaletteCount(static_cast<int>(pal.size()));
    for (size_t i = 0; i < pal.size(); ++i) SetPaletteColor(static_cast<int>(i), pal[i]);
  }
};

} // namespace

TEST(ColorToIndex, GreyPalettesPickTheNearestLevelToTheGreyValue) {
  const std::vector<TColorRef> colors = SampleColors();
  for (TPaletteIdent ident : {pBlackWhite, pSysGray4, pGray4, pGray16, pGray236, pGray256}) {
    for (bool weighting : {true, false}) {
      PaletteImage img(ident);
      img.SetRGBWeighting(weighting);
      const std::vector<TColorRef> pal = pg::StandardPalette(ident);
      for (TColorRef c : colors) {
        const int g3 = PGGreyValue(c, weighting);
        ASSERT_EQ(img.ColorToIndex(c), NearestGrey(pal, g3)) << "ident " << int(ident) << " colour " << std::hex << c;
      }
    }
  }
}

TEST(ColorToIndex, BlackWhiteThresholdIsGreyValue383) {
  PaletteImage img(pBlackWhite);
  img.SetRGBWeighting(false);
  EXPECT_EQ(img.ColorToIndex(RGBColor(127, 128, 128)), 1u);  // G3 = 383
  EXPECT_EQ(img.ColorToIndex(RGBColor(127, 127, 128)), 0u);  // G3 = 382
  img.SetRGBWeighting(true);
  // Weighted: 3 * (299 * 127 + 587 * 128 + 114 * 128) div 1000 = 383.
  EXPECT_EQ(img.ColorToIndex(RGBColor(127, 128, 128)), 1u);
}

TEST(ColorToIndex, Cube125IsTheNearestEntry) {
  for (TPaletteIdent ident : {pSpecial125}) {
    PaletteImage img(ident);
    const std::vector<TColorRef> pal = pg::StandardPalette(ident);
    // The mapping is separable: every value of every channel, with the other
    // two channels at assorted values, plus random colours.
    for (unsigned v = 0; v < 256; ++v)
      for (unsigned o : {0u, 31u, 100u, 224u, 255u})
        for (TColorRef c : {RGBColor(v, o, o), RGBColor(o, v, o), RGBColor(o, o, v)})
          ASSERT_EQ(img.ColorToIndex(c), Nearest(pal, c)) << std::hex << c;
    for (TColorRef c : SampleColors()) ASSERT_EQ(img.ColorToIndex(c), Nearest(pal, c)) << std::hex << c;
  }
}

TEST(ColorToIndex, Special125SplitsAt224And32) {
  PaletteImage img(pSpecial125);
  EXPECT_EQ(img.ColorToIndex(RGBColor(224, 0, 0)), 100u);   // level 255
  EXPECT_EQ(img.ColorToIndex(RGBColor(223, 0, 0)), 75u);    // level 192
  EXPECT_EQ(img.ColorToIndex(RGBColor(0, 0, 32)), 0u);      // the tie goes down
  EXPECT_EQ(img.ColorToIndex(RGBColor(0, 0, 33)), 1u);
  EXPECT_EQ(img.ColorToIndex(RGBColor(0, 224, 96)), 21u);   // 5 * 4 + 1
}

TEST(ColorToIndex, Cube216LevelsSwitchOneAboveTheMidpoint) {
  PaletteImage img(pSpecial216);
  // (v + 24) div 51 per channel: 26 still maps to level 0, 27 to 51.
  const std::pair<unsigned, uint32_t> cases[] = {{0, 0}, {26, 0}, {27, 1}, {77, 1}, {78, 2},
                                                 {128, 2}, {129, 3}, {230, 4}, {231, 5}, {255, 5}};
  for (auto [v, n] : cases) {
    EXPECT_EQ(img.ColorToIndex(RGBColor(v, 0, 0)), 36 * n) << v;
    EXPECT_EQ(img.ColorToIndex(RGBColor(0, v, 0)), 6 * n) << v;
    EXPECT_EQ(img.ColorToIndex(RGBColor(0, 0, v)), n) << v;
  }
}

TEST(ColorToIndex, Sys16UsesTheCandidateRule) {
  PaletteImage img(pSys16);
  // Key 2/2/2 (every channel 128..191): 7 or 8 by distance.
  EXPECT_EQ(img.ColorToIndex(RGBColor(150, 150, 150)), 8u);
  EXPECT_EQ(img.ColorToIndex(RGBColor(170, 170, 170)), 7u);
  // A single candidate wins even where another entry is nearer: key 0/0/1
  // has only 4 (0,0,128), though (60,60,64) is nearer to black.
  EXPECT_EQ(img.ColorToIndex(RGBColor(60, 60, 64)), 4u);
  // Key 1/2/3 tries 7, 8 and 14 in turn.
  EXPECT_EQ(img.ColorToIndex(RGBColor(100, 160, 240)), 7u);
  EXPECT_EQ(img.ColorToIndex(RGBColor(64, 191, 255)), 14u);
  // Key 1/0/0 only lists 1 (128,0,0).
  EXPECT_EQ(img.ColorToIndex(RGBColor(64, 0, 0)), 1u);
}

// Rebuilds the candidate lists from their rule and compares them with the table.
TEST(ColorToIndex, Special252CandidateListsFollowTheirRule) {
  const TColorRef* pal = pg::Special252;
  int exactCells = 0;
  for (int nr = 0; nr < 9; ++nr)
    for (int ng = 0; ng < 9; ++ng)
      for (int nb = 0; nb < 9; ++nb) {
        const int cell = nr * 81 + ng * 9 + nb;
        auto gp = [](int n) { return n == 8 ? 255u : unsigned(n * 32); };
        const TColorRef grid = RGBColor(gp(nr), gp(ng), gp(nb));
        std::vector<int> expected;
        for (int i = 0; i < 252 && expected.empty(); ++i)
          if (pal[i] == grid) expected.push_back(i);
        if (!expected.empty()) {
          ++exactCells;
        } else {
          const int n[3] = {nr, ng, nb};
          int lo[3], hi[3];
          for (int c = 0; c < 3; ++c) {
            lo[c] = std::max(0, 32 * n[c] - 16);
            hi[c] = std::min(255, 32 * n[c] + 15);
          }
          // Entries that cannot be nearest anywhere in the cell are skipped:
          // their nearest point is farther than some entry's farthest point.
          auto comp = [](TColorRef p, int c) { return int((p >> (8 * c)) & 0xFF); };
          int bound = 1 << 30;
          for (int i = 0; i < 252; ++i) {
            int d = 0;
            for (int c = 0; c < 3; ++c) {
              const int t = std::max(std::abs(comp(pal[i], c) - lo[c]), std::abs(comp(pal[i], c) - hi[c]));
              d += t * t;
            }
            bound = std::min(bound, d);
          }
          std::vector<int> sup;
          for (int i = 0; i < 252; ++i) {
            int d = 0;
            for (int c = 0; c < 3; ++c) {
              const int v = comp(pal[i], c);
              const int t = v < lo[c] ? lo[c] - v : (v > hi[c] ? v - hi[c] : 0);
              d += t * t;
            }
            if (d <= bound) sup.push_back(i);
          }
          std::vector<bool> used(252, false);
          for (int r = lo[0]; r <= hi[0]; ++r)
            for (int g = lo[1]; g <= hi[1]; ++g)
              for (int b = lo[2]; b <= hi[2]; ++b) {
                const TColorRef c = RGBColor(unsigned(r), unsigned(g), unsigned(b));
                int best = sup[0];
                for (int i : sup)
                  if (Dist2(pal[i], c) < Dist2(pal[best], c)) best = i;
                used[static_cast<size_t>(best)] = true;
              }
          for (int i = 0; i < 252; ++i)
            if (used[static_cast<size_t>(i)]) expected.push_back(i);
        }
        std::vector<int> actual(pg::Special252Candidates + pg::Special252CandidateStart[cell],
                                pg::Special252Candidates + pg::Special252CandidateStart[cell + 1]);
        ASSERT_EQ(actual, expected) << "cell " << cell;
      }
  EXPECT_EQ(exactCells, 252);
}

TEST(ColorToIndex, Special252MatchesTheNearestEntryOutsideExactCells) {
  PaletteImage img(pSpecial252);
  const std::vector<TColorRef> pal = pg::StandardPalette(pSpecial252);
  for (TColorRef c : SampleColors()) {
    auto n = [](unsigned v) { return (v + 16) / 32; };
    auto gp = [](unsigned k) { return k == 8 ? 255u : k * 32; };
    const TColorRef grid = RGBColor(gp(n(GetRValue(c))), gp(n(GetGValue(c))), gp(n(GetBValue(c))));
    uint32_t expected = Nearest(pal, c);
    for (uint32_t i = 0; i < 252; ++i)
      if (pal[i] == grid) expected = i;  // a palette colour on the grid point owns its cell
    ASSERT_EQ(img.ColorToIndex(c), expected) << std::hex << c;
  }
  // Exact entries map to themselves.
  for (uint32_t i = 0; i < 252; ++i) EXPECT_EQ(img.ColorToIndex(pal[i]), i);
}

TEST(ColorToIndex, TrueColorAndNoPalette) {
  TPixelGraphic rgb;
  rgb.SetSize(2, 2, bc24Bit);
  EXPECT_EQ(rgb.ColorToIndex(RGBColor(1, 2, 3)), RGBColor(1, 2, 3));
  TPixelGraphic none;
  none.SetSize(2, 2, bc8Bit);
  none.SetPaletteIdent(pNone);
  try {
    none.ColorToIndex(RGBColor(1, 2, 3));
    FAIL() << "no exception";
  } catch (const EPGNoPalette& e) {
    EXPECT_EQ(std::string(e.what()), GetMessage(msgNoPalette));
  }
}

// The cache's answer stated independently of its fill order: the entry whose
// cell is nearest in the maximum-coordinate sense, the lower index on ties,
// up to radius 4; beyond that the linear search of the first colour that
// reached the cell.
class TCacheReference {
public:
  explicit TCacheReference(std::vector<TColorRef> pal) : FPal(std::move(pal)) {}
  uint32_t Map(TColorRef c) {
    const int r = int(GetRValue(c)) / 8, g = int(GetGValue(c)) / 4, b = int(GetBValue(c)) / 8;
    int bestS = 5;
    uint32_t best = 0;
    for (uint32_t i = 0; i < FPal.size(); ++i) {
      const TColorRef p = FPal[i];
      const int s = std::max({std::abs(int(GetRValue(p)) / 8 - r), std::abs(int(GetGValue(p)) / 4 - g),
                              std::abs(int(GetBValue(p)) / 8 - b)});
      if (s < bestS) {
        bestS = s;
        best = i;
      }
    }
    if (bestS <= 4) return best;
    const int cell = r * 2048 + g * 32 + b;
    auto it = FFallback.find(cell);
    if (it != FFallback.end()) return it->second;
    return FFallback[cell] = Nearest(FPal, c);
  }

private:
  std::vector<TColorRef> FPal;
  std::map<int, uint32_t> FFallback;
};

TEST(ColorCache, AgreesWithTheShellRuleOnRandomPalettes) {
  std::mt19937 rng(11);
  for (int n : {1, 2, 7, 40, 256}) {
    std::vector<TColorRef> pal;
    for (int i = 0; i < n; ++i) pal.push_back(rng() & 0xFFFFFF);
    CustomPalette img(pal);
    TCacheReference ref(pal);
    for (int i = 0; i < 30000; ++i) {
      const TColorRef c = rng() & 0xFFFFFF;
      ASSERT_EQ(img.ColorToIndex(c), ref.Map(c)) << "palette size " << n << " colour " << std::hex << c;
    }
  }
}

TEST(ColorCache, LowerShellBeatsLowerIndexAndTrueDistance) {
  // Entry 0 is two green cells away but nearer; entry 1 is one cell away on
  // every axis: the cache answers 1, the linear search 0.
  CustomPalette img({RGBColor(64, 72, 64), RGBColor(79, 64, 79)});
  EXPECT_EQ(img.ColorToIndex(RGBColor(64, 64, 64)), 1u);
  img.SetColorCacheEnabled(false);
  EXPECT_EQ(img.ColorToIndex(RGBColor(64, 64, 64)), 0u);
}

TEST(ColorCache, LowerIndexWinsWithinAShell) {
  // Both entries one cell away; entry 1 is nearer, entry 0 keeps the cell.
  CustomPalette img({RGBColor(79, 64, 64), RGBColor(63, 64, 64)});
  EXPECT_EQ(img.ColorToIndex(RGBColor(64, 64, 64)), 0u);
  img.SetColorCacheEnabled(false);
  EXPECT_EQ(img.ColorToIndex(RGBColor(64, 64, 64)), 1u);
}

TEST(ColorCache, FarCellsTakeTheLinearSearchOfTheirFirstColour) {
  CustomPalette img({RGBColor(0, 0, 0), RGBColor(250, 250, 250)});
  // Both colours lie in cell (15, 31, 15), far from both entries. The first
  // one is nearer to black and fixes the cell; the second, nearer to white,
  // is answered from the cell.
  EXPECT_EQ(img.ColorToIndex(RGBColor(120, 124, 120)), 0u);
  EXPECT_EQ(img.ColorToIndex(RGBColor(127, 127, 127)), 0u);
  img.SetColorCacheEnabled(false);
  EXPECT_EQ(img.ColorToIndex(RGBColor(127, 127, 127)), 1u);
  // A palette change rebuilds the cache.
  img.SetColorCacheEnabled(true);
  img.SetPaletteColor(0, RGBColor(0, 0, 0));
  EXPECT_EQ(img.ColorToIndex(RGBColor(127, 127, 127)), 1u);
}

TEST(ColorCache, DisabledCacheIsTheLinearSearch) {
  std::mt19937 rng(5);
  std::vector<TColorRef> pal;
  for (int i = 0; i < 100; ++i) pal.push_back(rng() & 0xFFFFFF);
  pal.push_back(pal[3]);  // a duplicate: the lower index wins
  CustomPalette img(pal);
  img.SetColorCacheEnabled(false);
  for (int i = 0; i < 5000; ++i) {
    const TColorRef c = rng() & 0xFFFFFF;
    ASSERT_EQ(img.ColorToIndex(c), Nearest(pal, c));
  }
  EXPECT_EQ(img.ColorToIndex(pal[3]), 3u);
}

TEST(ColorToIndexMemo, EveryPaletteChangeInvalidatesIt) {
  const TColorRef c = RGBColor(200, 10, 10);
  PaletteImage img(pSys16);
  EXPECT_EQ(img.ColorToIndex(c), 9u);
  img.SetPaletteColor(9, RGBColor(0, 0, 0));  // now pUnknown; red is gone
  EXPECT_EQ(img.ColorToIndex(c), 1u);
  img.SetPaletteIdent(pBlackWhite);
  EXPECT_EQ(img.ColorToIndex(c), 0u);
  img.SetPaletteCount(3);
  img.SetPaletteColor(2, RGBColor(200, 10, 10));
  EXPECT_EQ(img.ColorToIndex(c), 2u);
  img.SetPaletteCount(2);
  EXPECT_EQ(img.ColorToIndex(c), 0u);

  // Weighting changes the grey value and therefore the answer.
  PaletteImage grey(pGray256);
  const TColorRef g = RGBColor(0, 255, 0);
  EXPECT_EQ(grey.ColorToIndex(g), 150u);  // 3 * 587 * 255 div 1000 = 449 -> (449 + 1) div 3
  grey.SetRGBWeighting(false);
  EXPECT_EQ(grey.ColorToIndex(g), 85u);
}
