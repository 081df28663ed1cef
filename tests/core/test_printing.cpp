#include <gtest/gtest.h>

#include "pgraphic/core/printing.h"

// The page rectangle a picture is printed into.
TEST(PrintPageRect, SpansWidthOrHeightCentredWithHalfEvenRounding) {
  // 200 x 100 on a portrait A4 page at 600 dpi: the page width, centred vertically.
  EXPECT_EQ(PGPrintPageRect(200, 100, 4960, 7016, 600, 600), (TPGPageRect{0, 2268, 4960, 4748}));
  // A tall picture on a landscape page: the page height, centred horizontally.
  EXPECT_EQ(PGPrintPageRect(100, 400, 7016, 4960, 600, 600), (TPGPageRect{2888, 0, 4128, 4960}));
  // Exactly the page's proportions spans the width (the comparison is >=).
  EXPECT_EQ(PGPrintPageRect(50, 70, 500, 700, 1, 1), (TPGPageRect{0, 0, 500, 700}));
  // Non-square device pixels: 600 dpi across, 300 dpi down (aspectX = 300,
  // aspectY = 600). A square picture on a one-inch-square page fills it.
  EXPECT_EQ(PGPrintPageRect(100, 100, 600, 300, 300, 600), (TPGPageRect{0, 0, 600, 300}));
  EXPECT_EQ(PGPrintPageRect(100, 50, 600, 600, 300, 600), (TPGPageRect{0, 225, 600, 375}));
  // Ties go to the even neighbour: 2.5 -> 2, 3.5 -> 4; the margin truncates.
  EXPECT_EQ(PGPrintPageRect(2, 1, 5, 10, 1, 1), (TPGPageRect{0, 4, 5, 6}));
  EXPECT_EQ(PGPrintPageRect(2, 1, 7, 11, 1, 1), (TPGPageRect{0, 3, 7, 8}));
  // Nothing to place, or a degenerate aspect.
  EXPECT_EQ(PGPrintPageRect(0, 100, 500, 700, 1, 1), TPGPageRect{});
  EXPECT_EQ(PGPrintPageRect(200, 100, 4960, 7016, 0, 0), (TPGPageRect{0, 2268, 4960, 4748}));
}
