// Optimised palettes: the median cut's box choice, split and means, the
// saturating histogram, the octree's reduction, system colours, progress.
#include <gtest/gtest.h>

#include <vector>

#include "pgraphic/core/colorconv.h"
#include "pgraphic/core/palettes.h"

namespace {

// A 24-bit image of the colours, row by row (one row unless a width is given).
struct RGBImage : TPixelGraphic {
  explicit RGBImage(const std::vector<TColorRef>& colors, int width = 0) {
    const int w = width ? width : static_cast<int>(colors.size());
    const int h = static_cast<int>(colors.size()) / w;
    SetSize(w, h, bc24Bit);
    for (int i = 0; i < w * h; ++i) SetPixels(i % w, i / w, colors[static_cast<size_t>(i)]);
  }
};

// An 8-bit image in one row showing palette entry i counts[i] times.
struct IndexedImage : TPixelGraphic {
  IndexedImage(const std::vector<TColorRef>& palette, const std::vector<int>& counts) {
    int total = 0;
    for (int c : counts) total += c;
    SetSize(total, 1, bc8Bit);
    SetPaletteCount(static_cast<int>(palette.size()));
    for (size_t i = 0; i < palette.size(); ++i) SetPaletteColor(static_cast<int>(i), palette[i]);
    int x = 0;
    for (size_t i = 0; i < counts.size(); ++i)
      for (int k = 0; k < counts[i]; ++k) SetPixels(x++, 0, static_cast<uint32_t>(i));
  }
};

std::vector<TColorRef> PaletteOf(const TPixelGraphic& img) {
  return std::vector<TColorRef>(img.PaletteData(), img.PaletteData() + img.PaletteCount());
}

struct Target : TPixelGraphic {
  Target() { SetSize(1, 1, bc8Bit); }
};

} // namespace

TEST(MedianCut, StopsWhenNoBoxCanBeSplit) {
  // Three colours in three cells; the entries are the cell centres.
  RGBImage src({RGBColor(10, 200, 30), RGBColor(250, 3, 100), RGBColor(10, 200, 30),
                                RGBColor(100, 100, 255)});
  Target target;
  BuildOptimizedPalette(target, src, 16, false);
  std::vector<TColorRef> pal = PaletteOf(target);
  ASSERT_EQ(pal.size(), 3u);
  std::sort(pal.begin(), pal.end());
  std::vector<TColorRef> expected = {RGBColor(12, 202, 28), RGBColor(252, 2, 100), RGBColor(100, 102, 252)};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(pal, expected);
  EXPECT_EQ(target.PaletteIdent(), pUnknown);

  // With the system colours: 3 + 16 entries.
  BuildOptimizedPalette(target, src, 252, true);
  pal = PaletteOf(target);
  ASSERT_EQ(pal.size(), 19u);
  EXPECT_TRUE(std::equal(pg::SystemColors16, pg::SystemColors16 + 16, pal.begin() + 3));
}

// Box A holds (0,0,0) and (0,0,255): long and thin. Box B holds (192,224,0)
// and (255,255,63): short and wide. The first split (along green, the widest
// weighted axis) separates them: A = cells r 0, g 0, b 0..31 (D 246016, V 32);
// B = r 24..31, g 56..63, b 0..7 (D 32144, V 512).
class MedianCutChoice : public ::testing::Test {
protected:
  RGBImage src{std::vector<TColorRef>{RGBColor(0, 0, 0), RGBColor(0, 0, 255), RGBColor(192, 224, 0), RGBColor(255, 255, 63)}};
  std::vector<TColorRef> Build(int n) {
    Target target;
    BuildOptimizedPalette(target, src, n, false);
    return PaletteOf(target);
  }
};

TEST_F(MedianCutChoice, TwoBoxesAreTheirMeans) {
  // Means round half up: B's red (196 + 252 + 1) div 2 = 224.
  EXPECT_EQ(Build(2), (std::vector<TColorRef>{RGBColor(4, 2, 128), RGBColor(224, 240, 32)}));
}

TEST_F(MedianCutChoice, LateSplitsTakeTheLargestSpread) {
  // N = 3 < 2k: A (largest D) is split along blue; its upper half is appended.
  EXPECT_EQ(Build(3), (std::vector<TColorRef>{RGBColor(4, 2, 4), RGBColor(224, 240, 32), RGBColor(4, 2, 252)}));
}

TEST_F(MedianCutChoice, EarlySplitsTakeTheLargestVolume) {
  // N = 4, k = 2: B (largest V) first, along red at 27; then k = 3 < N < 6:
  // A by its spread.
  EXPECT_EQ(Build(4), (std::vector<TColorRef>{RGBColor(4, 2, 4), RGBColor(196, 226, 4), RGBColor(252, 254, 60),
                                              RGBColor(4, 2, 252)}));
}

TEST(MedianCut, HistogramCountersSaturate) {
  // 100 000 black and 66 000 white pixels weigh alike once both counters stop
  // at 65 535: the single mean sits half way.
  std::vector<TColorRef> colors(166000, RGBColor(255, 255, 255));
  std::fill(colors.begin(), colors.begin() + 100000, RGBColor(0, 0, 0));
  RGBImage src(colors, 1000);
  Target target;
  BuildOptimizedPalette(target, src, 1, false);
  // R = (65535 * (4 + 252) + 65535) div 131070 = 128, G likewise with 2 and 254.
  EXPECT_EQ(PaletteOf(target), (std::vector<TColorRef>{RGBColor(128, 128, 128)}));
}

TEST(OptimizedPalette, OnePixelGivesOneEntry) {
  RGBImage src({RGBColor(77, 88, 99)});
  Target target;
  BuildOptimizedPalette(target, src, 252, false);
  EXPECT_EQ(PaletteOf(target), (std::vector<TColorRef>{RGBColor(76, 90, 100)}));

  IndexedImage indexed({RGBColor(1, 2, 3), RGBColor(77, 88, 99)}, {0, 1});
  BuildOptimizedPalette(target, indexed, 252, false);
  EXPECT_EQ(PaletteOf(target), (std::vector<TColorRef>{RGBColor(77, 88, 99)}));
}

TEST(OptimizedPalette, EmptySourceOrNoRoomGivesSystemColours) {
  TPixelGraphic empty;
  Target target;
  BuildOptimizedPalette(target, empty, 252, true);
  EXPECT_EQ(target.PaletteIdent(), pSys16);
  EXPECT_EQ(target.PaletteCount(), 16);

  RGBImage src({RGBColor(1, 2, 3)});
  Target small;
  BuildOptimizedPalette(small, src, 10, true);  // N = -6
  ASSERT_EQ(small.PaletteCount(), 10);
  EXPECT_TRUE(std::equal(pg::SystemColors16, pg::SystemColors16 + 10, small.PaletteData()));
}

TEST(OptimizedPalette, ProgressPerRowAndAbortStopsCounting) {
  // Row 0 red, row 1 blue; aborting after row 0 leaves only red counted.
  RGBImage src({RGBColor(255, 0, 0), RGBColor(255, 0, 0), RGBColor(0, 0, 255), RGBColor(0, 0, 255)}, 2);
  Target target;
  std::vector<std::pair<int, int>> calls;
  target.OnProgress = [&](TObject* sender, int step, int max, bool& abort) {
    EXPECT_EQ(sender, &target);
    calls.emplace_back(step, max);
    abort = true;
  };
  BuildOptimizedPalette(target, src, 16, false);
  EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{0, 1}}));
  EXPECT_EQ(PaletteOf(target), (std::vector<TColorRef>{RGBColor(252, 2, 4)}));

  calls.clear();
  target.OnProgress = [&](TObject*, int step, int max, bool&) { calls.emplace_back(step, max); };
  BuildOptimizedPalette(target, src, 16, false);
  EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{0, 1}, {1, 1}}));
  EXPECT_EQ(target.PaletteCount(), 2);
}

// Palette sources go through the octree. Entries 0-2 make a pair at level 7
// (0,0,0)/(0,0,1) whose node gets listed when entry 2 passes through it again;
// entries 3-5 do the same near white; entry 6 is the fifth leaf, so one level-7
// node is reduced: the lighter one (smallest 2R + 3G + B), the dark pair.
TEST(Octree, ReducesTheLightestListedNode) {
  IndexedImage src({RGBColor(0, 0, 0), RGBColor(0, 0, 1), RGBColor(0, 0, 0), RGBColor(254, 254, 254),
                                    RGBColor(254, 254, 255), RGBColor(254, 254, 254), RGBColor(128, 128, 128)},
                                   {1, 1, 1, 1, 1, 1, 1});
  Target target;
  BuildOptimizedPalette(target, src, 4, false);
  // Leaves in depth-first order: the merged dark pair (sums 0,0,1 over 3),
  // then 128 (child 7, then child 0 below it), then the white pair.
  EXPECT_EQ(PaletteOf(target), (std::vector<TColorRef>{RGBColor(0, 0, 0), RGBColor(128, 128, 128),
                                                        RGBColor(254, 254, 254), RGBColor(254, 254, 255)}));
}

TEST(Octree, CountsWeighTheMeans) {
  // Two entries sharing the first level's child: with room for one colour
  // they merge into their weighted mean (3 x 40 + 1 x 80) div 4 = 50.
  IndexedImage src({RGBColor(40, 40, 40), RGBColor(80, 80, 80), RGBColor(40, 40, 40)}, {2, 1, 1});
  Target target;
  BuildOptimizedPalette(target, src, 1, false);
  EXPECT_EQ(PaletteOf(target), (std::vector<TColorRef>{RGBColor(50, 50, 50)}));
}

TEST(Octree, NeverExceedsTheRequestedCount) {
  // Two colours, room for one: no node has been listed yet (a node is listed
  // only when a later colour passes through it), yet the palette must fit.
  IndexedImage src({RGBColor(0, 0, 0), RGBColor(255, 255, 255)}, {1, 2});
  Target target;
  BuildOptimizedPalette(target, src, 1, false);
  EXPECT_EQ(PaletteOf(target), (std::vector<TColorRef>{RGBColor(170, 170, 170)}));

  // A 4-bit source whose 16 entries are all used, into 5 colours.
  TPixelGraphic src4;
  src4.SetSize(16, 1, bc4Bit);
  src4.SetPaletteIdent(pSys16);
  for (int x = 0; x < 16; ++x) src4.SetPixels(x, 0, uint32_t(x));
  BuildOptimizedPalette(target, src4, 5, false);
  EXPECT_LE(target.PaletteCount(), 5);
  EXPECT_GE(target.PaletteCount(), 1);
}

TEST(Octree, SystemColoursFollowTheLeaves) {
  IndexedImage src({RGBColor(10, 20, 30), RGBColor(200, 100, 50)}, {1, 1});
  Target target;
  BuildOptimizedPalette(target, src, 20, true);
  const std::vector<TColorRef> pal = PaletteOf(target);
  ASSERT_EQ(pal.size(), 18u);
  EXPECT_EQ(pal[0], RGBColor(10, 20, 30));
  EXPECT_EQ(pal[1], RGBColor(200, 100, 50));
  EXPECT_TRUE(std::equal(pg::SystemColors16, pg::SystemColors16 + 16, pal.begin() + 2));
  // Room for fewer system colours than 16: they stop at count.
  BuildOptimizedPalette(target, src, 18 - 2, true);  // N = 0: system colours only
  EXPECT_EQ(target.PaletteCount(), 16);
  BuildOptimizedPalette(target, src, 17, true);  // N = 1
  EXPECT_EQ(target.PaletteCount(), 17);
}
