// Tilt-line rasterisation with a clip rectangle and the crop of a picture.
#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <vector>

#include "app/core/crop.h"
#include "app/core/linedda.h"
#include "pgraphic/core/exceptions.h"

namespace {

using TStep = std::tuple<int, int, int64_t>;

std::vector<TStep> Steps(int x1, int y1, int x2, int y2, const TPixelBox& clip) {
  std::vector<TStep> steps;
  LineDDA(x1, y1, x2, y2, clip, [&](int x, int y, int64_t i) { steps.emplace_back(x, y, i); });
  return steps;
}

} // namespace

// Clipped, a line reports exactly the steps of the whole line whose
// longer-axis coordinate lies in the clip, in every direction; the pieces
// for repainting cover every visible point.
TEST(LineRaster, ClipKeepsTheWholeLinesSteps) {
  const TPixelBox all{-1000, -1000, 1000, 1000};
  const TPixelBox clip{20, 30, 70, 90};
  const int lines[][4] = {{0, 0, 100, 37}, {100, 37, 0, 0}, {5, 100, 40, -3}, {40, -3, 5, 100},
                          {10, 50, 90, 50}, {50, 10, 50, 95}, {0, 0, 80, 80},  {3, 3, 3, 3}};
  for (const auto& l : lines) {
    SCOPED_TRACE(testing::Message() << l[0] << "," << l[1] << " -> " << l[2] << "," << l[3]);
    const std::vector<TStep> whole = Steps(l[0], l[1], l[2], l[3], all);
    const bool xMajor = std::abs(l[2] - l[0]) >= std::abs(l[3] - l[1]);
    std::vector<TStep> expected;
    for (const TStep& s : whole) {
      const int major = xMajor ? std::get<0>(s) : std::get<1>(s);
      if (major >= (xMajor ? clip.Left : clip.Top) && major <= (xMajor ? clip.Right : clip.Bottom))
        expected.push_back(s);
    }
    EXPECT_EQ(Steps(l[0], l[1], l[2], l[3], clip), expected);
    if (!whole.empty()) {
      EXPECT_FALSE(std::get<0>(whole.back()) == l[2] && std::get<1>(whole.back()) == l[3]) << "end excluded";
    }
    std::vector<TPixelBox> pieces;
    LinePieces(l[0], l[1], l[2], l[3], clip, [&](const TPixelBox& b) { pieces.push_back(b); });
    for (const TStep& s : expected) {
      const int x = std::get<0>(s), y = std::get<1>(s);
      if (x < clip.Left || x > clip.Right || y < clip.Top || y > clip.Bottom) continue;
      bool covered = false;
      for (const TPixelBox& b : pieces) covered |= x >= b.Left && x <= b.Right && y >= b.Top && y <= b.Bottom;
      EXPECT_TRUE(covered) << x << "," << y;
    }
  }
  // Two billion steps long: only the visible ones are visited, numbered as
  // along the whole line.
  const std::vector<TStep> far = Steps(10, 100, 2000000000, 100, {0, 0, 399, 299});
  ASSERT_EQ(far.size(), 390u);
  EXPECT_EQ(far.front(), TStep(10, 100, 0));
  EXPECT_EQ(far.back(), TStep(399, 100, 389));
  int pieceCount = 0;
  LinePieces(10, 100, 2000000000, 100, {0, 0, 399, 299}, [&](const TPixelBox&) { ++pieceCount; });
  EXPECT_LT(pieceCount, 30);
}

// The crop copies the stored values: palette indices stay as they are, also
// where the palette holds a colour twice, and at any offset of 1 and 4 bit.
TEST(Crop, StoredValuesAtEveryDepth) {
  for (const uint8_t depth : {bc1Bit, bc4Bit, bc8Bit, bc24Bit}) {
    SCOPED_TRACE(int(depth));
    TPixelGraphic src;
    src.SetSize(37, 11, depth);
    const int colours = src.PaletteSize();
    if (colours > 0) {
      src.SetPaletteIdent(depth == bc1Bit ? pBlackWhite : depth == bc4Bit ? pSys16 : pGray256);
      src.SetPaletteColor(colours - 1, src.PaletteColors(0)); // a colour held twice
    }
    for (int y = 0; y < 11; ++y)
      for (int x = 0; x < 37; ++x)
        src.SetPixels(x, y, colours > 0 ? static_cast<uint32_t>((x * 7 + y) % colours) : 0x010203u * (x + 5 * y));
    const std::unique_ptr<TPixelGraphic> part = CropPicture(src, 3, 2, 29, 8);
    ASSERT_EQ(part->Width(), 29);
    ASSERT_EQ(part->Height(), 8);
    EXPECT_EQ(part->BitCount(), depth);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 29; ++x) ASSERT_EQ(part->Pixels(x, y), src.Pixels(x + 3, y + 2)) << x << "," << y;
    for (int i = 0; i < colours; ++i) EXPECT_EQ(part->PaletteColors(i), src.PaletteColors(i));
  }
  // A part reaching beyond the picture, or none at all, is refused.
  TPixelGraphic src;
  src.SetSize(10, 10, bc24Bit);
  EXPECT_THROW(CropPicture(src, 5, 5, 6, 2), EPGXYIndexOutOfRange);
  EXPECT_THROW(CropPicture(src, -1, 0, 2, 2), EPGXYIndexOutOfRange);
  EXPECT_THROW(CropPicture(src, 0, 0, 0, 2), EPGXYIndexOutOfRange);
  EXPECT_THROW(CropPicture(TPixelGraphic(), 0, 0, 1, 1), EPGXYIndexOutOfRange);
}
