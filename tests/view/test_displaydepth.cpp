// The display copy on emulated 4- and 8-bit screens.
#include "pgraphic/core/palettes.h"
#include "view_test_util.h"

using viewtest::Gradient;
using viewtest::MakeView;
using viewtest::Rendered;
using viewtest::Rgb;
using viewtest::TScreenDepth;

namespace {

std::unique_ptr<TPGImage> SyncView(std::unique_ptr<TPixelGraphic> image) {
  auto view = MakeView(100, 100, std::move(image));
  view->SetUseThread(false);
  return view;
}

std::unique_ptr<TPixelGraphic> Gray8(int w, int h) {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(w, h, bc8Bit);
  g->SetPaletteIdent(pGray256);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) g->SetPixels(x, y, (x * 9 + y * 5) & 255);
  return g;
}

// Every rendered pixel shows the display copy's colour at 1:1.
void ExpectShowsCopy(TPGImage& view) {
  const QImage img = Rendered(view);
  const TPixelGraphic* copy = view.PaintPixelGraphic();
  ASSERT_NE(copy, nullptr);
  for (int y = 0; y < copy->Height(); y += 3)
    for (int x = 0; x < copy->Width(); x += 3) ASSERT_EQ(img.pixel(x, y), Rgb(copy->PixelColors(x, y))) << x << "," << y;
}

} // namespace

TEST(ImageViewDisplayDepth, TrueColourPictureOnAn8BitScreenGetsTheOptimisedPalette) {
  TScreenDepth depth(8);
  auto view = SyncView(Gradient(60, 40));
  Rendered(*view);
  const TPixelGraphic* copy = view->PaintPixelGraphic();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->BitCountNum(), 8);
  EXPECT_EQ(copy->Width(), 60); // smFast: the image's size, stretched when drawn
  EXPECT_LE(copy->PaletteCount(), 252);
  for (TColorRef c : pg::SystemColors16)
    EXPECT_NE(std::find(copy->PaletteData(), copy->PaletteData() + copy->PaletteCount(), c),
              copy->PaletteData() + copy->PaletteCount());
  ExpectShowsCopy(*view);
  // A fixed palette instead of the optimised one.
  view->SetPalette8BitSys24BitGraphic(pSpecial216);
  Rendered(*view);
  ASSERT_NE(view->PaintPixelGraphic(), nullptr);
  EXPECT_EQ(view->PaintPixelGraphic()->PaletteIdent(), pSpecial216);
}

TEST(ImageViewDisplayDepth, PalettePictureOnAn8BitScreenIsRemappedThroughItsPalette) {
  TScreenDepth depth(8);
  auto view = SyncView(Gray8(50, 30));
  Rendered(*view);
  const TPixelGraphic* copy = view->PaintPixelGraphic();
  ASSERT_NE(copy, nullptr);
  const TPixelGraphic& src = *view->PixelGraphicNoWait();
  TPixelGraphic probe;
  probe.SetSize(1, 1, bc8Bit);
  probe.CopyPalette(*copy);
  probe.SetColorCacheEnabled(false);
  for (int y = 0; y < src.Height(); ++y)
    for (int x = 0; x < src.Width(); ++x)
      ASSERT_EQ(copy->Pixels(x, y), probe.ColorToIndex(src.PaletteColors(src.Pixels(x, y)))) << x << "," << y;
  ExpectShowsCopy(*view);
  // pSource keeps the picture's own palette: no copy at all.
  view->SetPalette8BitSys8BitGraphic(pSource);
  Rendered(*view);
  EXPECT_EQ(view->PaintPixelGraphic(), nullptr);
}

TEST(ImageViewDisplayDepth, FourBitScreenShowsTheSystemColours) {
  TScreenDepth depth(4);
  auto view = SyncView(Gradient(40, 40));
  Rendered(*view);
  const TPixelGraphic* copy = view->PaintPixelGraphic();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->BitCountNum(), 4);
  EXPECT_EQ(copy->PaletteIdent(), pSys16);
  ExpectShowsCopy(*view);
  // A picture already in the system colours is drawn as it is.
  auto sys = std::make_unique<TPixelGraphic>();
  sys->SetSize(10, 10, bc4Bit);
  sys->SetPaletteIdent(pSys16);
  view->AdoptPixelGraphic(std::move(sys));
  Rendered(*view);
  EXPECT_EQ(view->PaintPixelGraphic(), nullptr);
}

TEST(ImageViewDisplayDepth, StretchingTo24BitFirstOnAn8BitScreen) {
  TScreenDepth depth(8);
  auto view = SyncView(Gradient(60, 40));
  view->SetAllow24BitStretch(true);
  view->SetStretchMode(smMedium);
  view->SetStretch(sAlways);
  Rendered(*view);
  const TPixelGraphic* copy = view->PaintPixelGraphic();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->BitCountNum(), 8);
  EXPECT_EQ(copy->Width(), 100);
  EXPECT_EQ(copy->Height(), 100);
  EXPECT_EQ(view->PaintThread().Step(), 4); // stretch, palette, conversion
  ExpectShowsCopy(*view);
}
