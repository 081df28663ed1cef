#include "pgraphic/core/filters.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <typeinfo>
#include <vector>

#include "pgraphic/core/intmath.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/pixelrows.h"
#include "pgraphic/core/progressbracket.h"
#include "pgraphic/core/threadpool.h"

// ============================================================ filters

TColorRef TPGFilter::GetFilteredPixel(int, int) { return 0; }

TColorRef TGrayScaleFilter::GetFilteredPixel(int x, int y) { return MapColor(FSource->PixelColors(x, y)); }

TColorRef TGrayScaleFilter::MapColor(TColorRef color) const {
  const unsigned g = static_cast<unsigned>(PGGreyValue(color, FRGBWeighting) / 3);
  return RGBColor(g, g, g);
}

void TBCGFilter::BeginApply(const TPixelGraphic& source) {
  TPGFilter::BeginApply(source);
  BuildCurve();
}

TColorRef TBCGFilter::GetFilteredPixel(int x, int y) { return MapColor(FSource->PixelColors(x, y)); }

void TBCGFilter::BuildCurve() {
  for (int i = 0; i < 256; ++i) {
    const long double base = static_cast<long double>(i) / 255;
    long double v;
    if (FGamma == 0)
      v = 1;
    else if (base == 0)
      v = 0;
    else
      v = std::pow(base, FGamma);
    v = v * 255;
    v = (v - 127.5L) * FContrast + 127.5L;
    v = v + static_cast<long double>(static_cast<int64_t>(FBrightness) * 255) * 0.01L;
    // Far outside values count as just outside, so rounding stays in range.
    if (!(v >= -1)) v = -1;
    if (v > 256) v = 256;
    FCurve[i] = static_cast<uint8_t>(std::clamp<int64_t>(pg::RoundHalfEven(v), 0, 255));
  }
}

TColorRef TBCGFilter::MapColor(TColorRef color) const {
  const unsigned R = GetRValue(color), G = GetGValue(color), B = GetBValue(color);
  if (!FUseY) return RGBColor(FCurve[R], FCurve[G], FCurve[B]);
  const long double r = static_cast<long double>(R) / 255, g = static_cast<long double>(G) / 255,
                    b = static_cast<long double>(B) / 255;
  const long double Y = 0.299L * r + 0.587L * g + 0.114L * b;
  const long double Cb = -0.169L * r - 0.331L * g + 0.5L * b;
  const long double Cr = 0.5L * r - 0.419L * g - 0.081L * b;
  const long double y = Y * 255;
  const int k = std::clamp(static_cast<int>(std::floor(y)), 0, 255);
  long double Yn;
  if (k > 254) {
    Yn = static_cast<long double>(FCurve[k]) / 255;
  } else {
    const long double f = y - k;
    Yn = ((1 - f) * FCurve[k] + f * FCurve[k + 1]) / 255;
  }
  auto channel = [](long double v) {
    return static_cast<unsigned>(std::clamp<int64_t>(pg::RoundHalfEven(v * 255), 0, 255));
  };
  return RGBColor(channel(Yn + 1.403L * Cr), channel(Yn - 0.344L * Cb - 0.714L * Cr), channel(Yn + 1.773L * Cb));
}

TXXXFilter::TXXXFilter() {
  for (int i = 0; i < 256; ++i) Curve1[i] = Curve2[i] = Curve3[i] = static_cast<uint8_t>(i);
}

TColorRef TXXXFilter::GetFilteredPixel(int x, int y) { return MapColor(FSource->PixelColors(x, y)); }

void TXXXFilter::SetPercentages(int p1, int p2, int p3) {
  PGFillFilterCurve(Curve1, p1);
  PGFillFilterCurve(Curve2, p2);
  PGFillFilterCurve(Curve3, p3);
}

TColorRef TRGBFilter::MapColor(TColorRef color) const {
  return RGBColor(Curve1[GetRValue(color)], Curve2[GetGValue(color)], Curve3[GetBValue(color)]);
}

TColorRef TCMYFilter::MapColor(TColorRef color) const {
  return RGBColor(255u - Curve1[255 - GetRValue(color)], 255u - Curve2[255 - GetGValue(color)],
                  255u - Curve3[255 - GetBValue(color)]);
}

void PGFillFilterCurve(uint8_t (&curve)[256], int percent) {
  const int p = std::clamp(percent, -100, 100);
  const int shift = p * 255 / 100;
  for (int i = 0; i < 256; ++i) curve[i] = static_cast<uint8_t>(std::clamp(i + shift, 0, 255));
}

void PGFillFilterCurves(TXXXFilter& filter, int p1, int p2, int p3) { filter.SetPercentages(p1, p2, p3); }

long double PGSliderToFactor(int position) { return std::pow(5.0L, static_cast<long double>(position) / 100); }

long double PGSliderToRoundedFactor(int position) {
  return static_cast<long double>(pg::RoundHalfEven(PGSliderToFactor(position) * 100)) * 0.01L;
}

int PGFactorToSlider(long double factor) {
  if (!(factor >= 0.2L)) factor = 0.2L;
  if (factor > 5) factor = 5;
  const int64_t s = pg::RoundHalfEven(std::log(factor) * 100 / std::log(5.0L));
  return static_cast<int>(std::clamp<int64_t>(s, -100, 100));
}

// ============================================================ ApplyFilter

namespace {

// What the pixel path computes per colour, for the filter classes whose
// GetFilteredPixel is MapColor of the source colour. Other classes (for
// example subclasses of these) take the general path.
enum class TFastFilter { None, Channels, Grey, Color };

TFastFilter FastKind(const TPGFilter& filter) {
  const std::type_info& t = typeid(filter);
  if (t == typeid(TGrayScaleFilter)) return TFastFilter::Grey;
  if (t == typeid(TRGBFilter) || t == typeid(TCMYFilter)) return TFastFilter::Channels;
  if (t == typeid(TBCGFilter)) return static_cast<const TBCGFilter&>(filter).UseY() ? TFastFilter::Color
                                                                                     : TFastFilter::Channels;
  return TFastFilter::None;
}

// Grey value div 3 of blue, green, red bytes. With RGB weighting that is
// (3 S div 1000) div 3 for S = 299 R + 587 G + 114 B, which equals S div 1000
// (nested truncating divisions of non-negative numbers combine).
inline uint8_t GreyOf(const uint8_t* p, bool rgbWeighting) {
  const uint32_t b = p[0], g = p[1], r = p[2];
  if (rgbWeighting) return static_cast<uint8_t>((299 * r + 587 * g + 114 * b) / 1000);
  return static_cast<uint8_t>((r + g + b) / 3);
}

void GreyRow(const uint8_t* src, uint8_t* dst, int count, bool rgbWeighting) {
  if (rgbWeighting) {
    for (int x = 0; x < count; ++x, src += 3, dst += 3) {
      const uint32_t v = (299 * static_cast<uint32_t>(src[2]) + 587 * static_cast<uint32_t>(src[1]) +
                          114 * static_cast<uint32_t>(src[0])) /
                         1000;
      dst[0] = dst[1] = dst[2] = static_cast<uint8_t>(v);
    }
  } else {
    for (int x = 0; x < count; ++x, src += 3, dst += 3)
      dst[0] = dst[1] = dst[2] = GreyOf(src, false);
  }
}

// The last colour through the YCbCr path and its result.
struct TYMemo {
  bool Valid = false;
  uint8_t In[3] = {0, 0, 0}, Out[3] = {0, 0, 0};
};

// Ends the filter's application however the operation ends.
class TApplyScope {
public:
  TApplyScope(TPGFilter& filter, const TPixelGraphic& source) : FFilter(filter) { filter.BeginApply(source); }
  ~TApplyScope() { FFilter.EndApply(); }
  TApplyScope(const TApplyScope&) = delete;
  TApplyScope& operator=(const TApplyScope&) = delete;

private:
  TPGFilter& FFilter;
};

}  // namespace

void TPixelGraphic::ApplyFilter(TPGFilter& filter, TPixelGraphic& source) {
  const bool colorFilter = filter.IsColorFilter();
  const bool inPlace = &source == this;
  if (inPlace && !colorFilter) throw EPGFilter(GetMessage(msgFilterSourceIsTarget));
  if (!inPlace) SetSize(source.Width(), source.Height(), FBitCount);
  if (Empty()) return;

  if (colorFilter && FBitCount != bc24Bit && FBitCount >= source.BitCount()) {
    // Palette path: only the palette changes, the pixel indices stay.
    if (!inPlace) Assign(&source);
    if (PaletteCount() > 0) {
      TApplyScope apply(filter, source);
      for (int i = 0; i < PaletteCount(); ++i)
        SetPaletteColor(i, filter.MapColor(FPalette[static_cast<size_t>(i)]));
    }
    Changed();
    return;
  }

  // Pixel path.
  pg::TTargetWriter out(*this);
  TApplyScope apply(filter, source);
  const TFastFilter fast = FastKind(filter);
  const int width = FWidth, height = FHeight;
  TPGProgressBracket progress(*this, this);
  if (fast == TFastFilter::None) {
    // Any other filter: pixel by pixel in the order of the image model, on
    // one thread (a filter class of its own may keep state from pixel to
    // pixel).
    const bool dither = out.Dithering();
    for (int y = 0; y < height; ++y) {
      out.BeginRow();
      const bool reverse = (y & 1) != 0;
      for (int i = 0; i < width; ++i) {
        const int x = reverse ? width - 1 - i : i;
        const TColorRef c = filter.GetFilteredPixel(x, y);
        if (FBitCount == bc24Bit)
          SetPixels(x, y, c);
        else if (dither)
          DitherPixel(x, y, static_cast<int>(GetRValue(c)), static_cast<int>(GetGValue(c)),
                      static_cast<int>(GetBValue(c)));
        else
          SetPixels(x, y, ColorToIndex(c));
      }
      if (DoProgress(this, y, height - 1)) break;
    }
  } else {
    // Known colour filters: a table per channel when the filter maps the
    // channels independently, the grey formula, or the filter's own MapColor
    // called directly; palette sources go through a table of their colours.
    const pg::TSourcePixels src(source);
    uint8_t channel[3][256];
    if (fast == TFastFilter::Channels) {
      for (int i = 0; i < 256; ++i) {
        const TColorRef c = filter.MapColor(RGBColor(static_cast<unsigned>(i), static_cast<unsigned>(i),
                                                     static_cast<unsigned>(i)));
        channel[0][i] = static_cast<uint8_t>(GetBValue(c));
        channel[1][i] = static_cast<uint8_t>(GetGValue(c));
        channel[2][i] = static_cast<uint8_t>(GetRValue(c));
      }
    }
    const bool greyWeighting = fast == TFastFilter::Grey && static_cast<TGrayScaleFilter&>(filter).RGBWeighting();
    const TBCGFilter* bcg = fast == TFastFilter::Color ? &static_cast<TBCGFilter&>(filter) : nullptr;
    // A colour through the filter, without a virtual call.
    auto mapBGR = [&](const uint8_t* p, uint8_t* q) {
      switch (fast) {
        case TFastFilter::Channels:
          q[0] = channel[0][p[0]];
          q[1] = channel[1][p[1]];
          q[2] = channel[2][p[2]];
          break;
        case TFastFilter::Grey:
          q[0] = q[1] = q[2] = GreyOf(p, greyWeighting);
          break;
        default: {
          const TColorRef c = bcg->TBCGFilter::MapColor(RGBColor(p[2], p[1], p[0]));
          q[0] = static_cast<uint8_t>(GetBValue(c));
          q[1] = static_cast<uint8_t>(GetGValue(c));
          q[2] = static_cast<uint8_t>(GetRValue(c));
          break;
        }
      }
    };
    // Palette sources: the filtered colour of each of the 256 raw values.
    uint8_t mapped[256 * 3];
    if (!src.Is24())
      for (int i = 0; i < 256; ++i) {
        uint8_t in[3];
        const TColorRef c = i < source.PaletteCount() ? source.PaletteData()[i]
                                                      : (source.PaletteCount() > 0 ? source.PaletteData()[0] : 0);
        in[0] = static_cast<uint8_t>(GetBValue(c));
        in[1] = static_cast<uint8_t>(GetGValue(c));
        in[2] = static_cast<uint8_t>(GetRValue(c));
        mapBGR(in, mapped + 3 * i);
      }
    // Row y's filtered colours into dst; memo holds the last colour through
    // the YCbCr path and its result (3 bytes each, and a flag).
    auto filterRow = [&](int y, uint8_t* dst, TYMemo& memo) {
      if (src.Is24()) {
        const uint8_t* s = src.Row(y);
        if (fast == TFastFilter::Grey) {
          GreyRow(s, dst, width, greyWeighting);
        } else if (fast == TFastFilter::Channels) {
          for (int x = 0; x < width; ++x, s += 3) {
            uint8_t* q = dst + 3 * static_cast<size_t>(x);
            q[0] = channel[0][s[0]];
            q[1] = channel[1][s[1]];
            q[2] = channel[2][s[2]];
          }
        } else {
          for (int x = 0; x < width; ++x, s += 3) {
            if (!memo.Valid || std::memcmp(s, memo.In, 3) != 0) {
              std::memcpy(memo.In, s, 3);
              mapBGR(s, memo.Out);
              memo.Valid = true;
            }
            std::memcpy(dst + 3 * static_cast<size_t>(x), memo.Out, 3);
          }
        }
      } else {
        // Raw values of the row, then their filtered colours.
        for (int x = 0; x < width; ++x) {
          const uint32_t v = source.Pixels(x, y);
          std::memcpy(dst + 3 * static_cast<size_t>(x), mapped + 3 * (v & 0xFF), 3);
        }
      }
    };
    if (out.Is24()) {
      // 24-bit targets: the rows on the library's threads (in place, each
      // row reads only itself).
      pg::TRowLoop loop;
      loop.Target = this;
      loop.First = 0;
      loop.Last = height - 1;
      loop.Bytes = 3 * static_cast<size_t>(width);
      pg::RunRows(
          loop,
          [&]() -> pg::TRowsFunction {
            auto memo = std::make_shared<TYMemo>();
            return [&filterRow, memo](int y, int, uint8_t* row, ptrdiff_t, uint8_t*) { filterRow(y, row, *memo); };
          },
          pg::ProgressReport(*this, 0, height - 1));
    } else {
      // Palette targets are written in row order: the dithering carries
      // errors from row to row and the colour cache keeps the first colour
      // of a cell.
      std::vector<uint8_t> rowBuffer(3 * static_cast<size_t>(width));
      TYMemo memo;
      for (int y = 0; y < height; ++y) {
        out.BeginRow();
        filterRow(y, rowBuffer.data(), memo);
        out.WriteRow(y, 0, width - 1, rowBuffer.data(), nullptr);
        if (DoProgress(this, y, height - 1)) break;
      }
    }
  }
  progress.End();
  Changed();
}
