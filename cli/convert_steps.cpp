#include "cli/convert_steps.h"

#include <algorithm>

#include "pgraphic/core/colorconv.h"
#include "pgraphic/core/filters.h"
#include "pgraphic/core/palettes.h"

namespace {

// A new, empty image of the source's colour resolution and palette.
std::unique_ptr<TPixelGraphic> NewLike(const TPixelGraphic& source, int32_t width, int32_t height) {
  auto t = std::make_unique<TPixelGraphic>();
  t->SetSize(width, height, source.BitCount());
  if (source.BitCount() != bc24Bit) t->CopyPalette(source);
  return t;
}

void Attach(const TAttachProgress& attach, TPixelGraphic& image, const char* what) {
  if (attach) attach(image, what);
}

void Detach(TPixelGraphic& image) {
  image.OnProgressStart = nullptr;
  image.OnProgress = nullptr;
  image.OnProgressEnd = nullptr;
}

} // namespace

bool ParsePaletteName(const std::string& name, TPaletteIdent& ident) {
  static const struct {
    const char* Name;
    TPaletteIdent Ident;
  } names[] = {{"bw", pBlackWhite},       {"sysgray4", pSysGray4},     {"sys16", pSys16},
               {"gray4", pGray4},         {"gray16", pGray16},         {"gray236", pGray236},
               {"gray256", pGray256},     {"special125", pSpecial125}, {"special216", pSpecial216},
               {"special252", pSpecial252}, {"optimized", pOptimized252Sys16}};
  for (const auto& n : names)
    if (name == n.Name) {
      ident = n.Ident;
      return true;
    }
  return false;
}

bool PaletteFits(TPaletteIdent ident, int bits) {
  if (bits != 1 && bits != 4 && bits != 8) return false;
  if (ident == pOptimized252Sys16) return true;
  return static_cast<int>(pg::StandardPalette(ident).size()) <= (1 << bits);
}

std::unique_ptr<TPixelGraphic> RunConvertSteps(std::unique_ptr<TPixelGraphic> image, const TConvertSteps& s,
                                               const TAttachProgress& attach) {
  if (s.Rotate) {
    auto t = NewLike(*image, image->Width(), image->Height());
    t->SetBackGroundColorRaw(0);
    t->SetInterpolate(true);
    Attach(attach, *t, "Rotate");
    t->RotateFrom(true, *image, *s.Rotate);
    Detach(*t);
    image = std::move(t);
  }
  if (s.Mirror) {
    Attach(attach, *image, "Mirror");
    image->MirrorHorizontal();
    Detach(*image);
  }
  if (s.ResizeWidth > 0 && s.ResizeHeight > 0) {
    auto t = NewLike(*image, s.ResizeWidth, s.ResizeHeight);
    t->SetStretchMode(s.StretchMode);
    Attach(attach, *t, "Resize");
    t->StretchFrom(*image);
    Detach(*t);
    image = std::move(t);
  }
  if (s.Filter != TConvertSteps::fkNone) {
    std::unique_ptr<TPGFilter> filter;
    switch (s.Filter) {
      case TConvertSteps::fkGrey: {
        auto f = std::make_unique<TGrayScaleFilter>();
        f->SetRGBWeighting(true);
        filter = std::move(f);
        break;
      }
      case TConvertSteps::fkBCG: {
        auto f = std::make_unique<TBCGFilter>();
        f->SetBrightness(s.Brightness);
        f->SetContrast(s.Contrast);
        f->SetGamma(s.Gamma);
        f->SetUseY(s.UseY);
        filter = std::move(f);
        break;
      }
      case TConvertSteps::fkRGB: {
        auto f = std::make_unique<TRGBFilter>();
        PGFillFilterCurves(*f, s.Channels[0], s.Channels[1], s.Channels[2]);
        filter = std::move(f);
        break;
      }
      default: {
        auto f = std::make_unique<TCMYFilter>();
        PGFillFilterCurves(*f, s.Channels[0], s.Channels[1], s.Channels[2]);
        filter = std::move(f);
        break;
      }
    }
    Attach(attach, *image, "Filter");
    image->ApplyFilter(*filter, *image);
    Detach(*image);
  }
  if (s.Bits != 0) {
    auto t = std::make_unique<TPixelGraphic>();
    TPaletteIdent pal = s.Palette;
    if (pal == pNone) pal = s.Bits == 1 ? pBlackWhite : pOptimized252Sys16;
    const uint8_t bitCount = s.Bits == 1 ? bc1Bit : s.Bits == 4 ? bc4Bit : s.Bits == 8 ? bc8Bit : bc24Bit;
    t->SetDither(s.Dither);
    Attach(attach, *t, "Convert");
    ConvertColorResolution(*t, *image, bitCount, pal);
    Detach(*t);
    image = std::move(t);
  }
  return image;
}
