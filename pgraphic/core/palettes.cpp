#include "pgraphic/core/palettes.h"

#include <algorithm>

namespace pg {

const TColorRef SystemColors16[16] = {
    RGBColor(0, 0, 0),       RGBColor(128, 0, 0),     RGBColor(0, 128, 0),   RGBColor(128, 128, 0),
    RGBColor(0, 0, 128),     RGBColor(128, 0, 128),   RGBColor(0, 128, 128), RGBColor(192, 192, 192),
    RGBColor(128, 128, 128), RGBColor(255, 0, 0),     RGBColor(0, 255, 0),   RGBColor(255, 255, 0),
    RGBColor(0, 0, 255),     RGBColor(255, 0, 255),   RGBColor(0, 255, 255), RGBColor(255, 255, 255),
};

namespace {

// The 127 colours that close the 252-colour table, in table order.
constexpr unsigned char Special252Tail[127][3] = {
    {32, 32, 32},    {96, 96, 96},    {160, 160, 160}, {224, 224, 224}, {255, 224, 255}, {224, 224, 255},
    {224, 255, 255}, {224, 255, 224}, {255, 255, 224}, {255, 224, 224}, {255, 192, 224}, {224, 192, 255},
    {192, 224, 255}, {192, 255, 224}, {224, 255, 192}, {255, 224, 192}, {224, 192, 224}, {192, 192, 224},
    {192, 224, 224}, {192, 224, 192}, {224, 224, 192}, {224, 192, 192}, {255, 160, 192}, {255, 160, 224},
    {255, 160, 255}, {224, 160, 255}, {192, 160, 255}, {160, 160, 255}, {160, 192, 255}, {160, 224, 255},
    {160, 255, 255}, {160, 255, 224}, {160, 255, 192}, {160, 255, 160}, {192, 255, 160}, {224, 255, 160},
    {255, 255, 160}, {255, 224, 160}, {255, 192, 160}, {255, 160, 160}, {224, 160, 192}, {224, 160, 224},
    {192, 160, 224}, {160, 160, 224}, {160, 192, 224}, {160, 224, 224}, {160, 224, 192}, {160, 224, 160},
    {192, 224, 160}, {224, 224, 160}, {224, 192, 160}, {224, 160, 160}, {255, 128, 160}, {255, 128, 224},
    {224, 128, 255}, {160, 128, 255}, {128, 160, 255}, {128, 224, 255}, {128, 255, 224}, {128, 255, 160},
    {160, 255, 128}, {224, 255, 128}, {255, 224, 128}, {255, 160, 128}, {192, 160, 192}, {160, 160, 192},
    {160, 192, 192}, {160, 192, 160}, {192, 192, 160}, {192, 160, 160}, {224, 128, 160}, {224, 128, 192},
    {224, 128, 224}, {192, 128, 224}, {160, 128, 224}, {128, 128, 224}, {128, 160, 224}, {128, 192, 224},
    {128, 224, 224}, {128, 224, 192}, {128, 224, 160}, {128, 224, 128}, {160, 224, 128}, {192, 224, 128},
    {224, 224, 128}, {224, 192, 128}, {224, 160, 128}, {224, 128, 128}, {255, 96, 128},  {255, 96, 160},
    {255, 96, 192},  {255, 96, 224},  {255, 96, 255},  {224, 96, 255},  {192, 96, 255},  {160, 96, 255},
    {128, 96, 255},  {96, 96, 255},   {96, 128, 255},  {96, 160, 255},  {96, 192, 255},  {96, 224, 255},
    {96, 255, 255},  {96, 255, 224},  {96, 255, 192},  {96, 255, 160},  {96, 255, 128},  {96, 255, 96},
    {128, 255, 96},  {160, 255, 96},  {192, 255, 96},  {224, 255, 96},  {255, 255, 96},  {255, 224, 96},
    {255, 192, 96},  {255, 160, 96},  {255, 128, 96},  {255, 96, 96},   {192, 128, 160}, {160, 128, 192},
    {128, 160, 192}, {128, 192, 160}, {160, 192, 128}, {192, 160, 128}, {224, 96, 128},  {224, 96, 160},
    {224, 96, 192},
};

struct TSpecial252Builder {
  TColorRef v[252];
  constexpr TSpecial252Builder() : v{} {
    constexpr TColorRef sys[16] = {
        RGBColor(0, 0, 0),       RGBColor(128, 0, 0),   RGBColor(0, 128, 0),   RGBColor(128, 128, 0),
        RGBColor(0, 0, 128),     RGBColor(128, 0, 128), RGBColor(0, 128, 128), RGBColor(192, 192, 192),
        RGBColor(128, 128, 128), RGBColor(255, 0, 0),   RGBColor(0, 255, 0),   RGBColor(255, 255, 0),
        RGBColor(0, 0, 255),     RGBColor(255, 0, 255), RGBColor(0, 255, 255), RGBColor(255, 255, 255),
    };
    int n = 0;
    for (TColorRef c : sys) v[n++] = c;
    constexpr unsigned levels[5] = {0, 64, 128, 192, 255};
    for (unsigned r : levels)
      for (unsigned g : levels)
        for (unsigned b : levels) {
          const TColorRef c = RGBColor(r, g, b);
          bool isSystem = false;
          for (TColorRef s : sys) isSystem = isSystem || s == c;
          if (!isSystem) v[n++] = c;
        }
    for (const auto& t : Special252Tail) v[n++] = RGBColor(t[0], t[1], t[2]);
  }
};

constexpr TSpecial252Builder Special252Table{};

} // namespace

// 16 system colours + 109 cube colours + 127 further colours.
const TColorRef (&Special252)[252] = Special252Table.v;

std::vector<TColorRef> StandardPalette(TPaletteIdent ident) {
  std::vector<TColorRef> p;
  auto grey = [](unsigned v) { return RGBColor(v, v, v); };
  switch (ident) {
    case pBlackWhite:
      p = {grey(0), grey(255)};
      break;
    case pSysGray4:
      p = {grey(0), grey(128), grey(192), grey(255)};
      break;
    case pSys16:
      p.assign(SystemColors16, SystemColors16 + 16);
      break;
    case pGray4:
      for (unsigned i = 0; i < 4; ++i) p.push_back(grey(i * 255 / 3));
      break;
    case pGray16:
      for (unsigned i = 0; i < 16; ++i) p.push_back(grey(i * 255 / 15));
      break;
    case pGray236:
      // i * 255 / 235 rounded to the nearest integer (no ties: 235 is odd).
      for (unsigned i = 0; i < 236; ++i) p.push_back(grey((i * 255 * 2 + 235) / (2 * 235)));
      break;
    case pGray256:
      for (unsigned i = 0; i < 256; ++i) p.push_back(grey(i));
      break;
    case pSpecial125:
      for (unsigned r = 0; r < 5; ++r)
        for (unsigned g = 0; g < 5; ++g)
          for (unsigned b = 0; b < 5; ++b)
            p.push_back(RGBColor((r * 255 + 3) / 4, (g * 255 + 3) / 4, (b * 255 + 3) / 4));
      break;
    case pSpecial216:
      for (unsigned r = 0; r < 6; ++r)
        for (unsigned g = 0; g < 6; ++g)
          for (unsigned b = 0; b < 6; ++b)
            p.push_back(RGBColor((r * 255 + 4) / 5, (g * 255 + 4) / 5, (b * 255 + 4) / 5));
      break;
    case pSpecial252:
      p.assign(Special252, Special252 + 252);
      break;
    default:
      break;
  }
  return p;
}

bool IsStandardPalette(TPaletteIdent ident, const TColorRef* palette, int count) {
  const std::vector<TColorRef> p = StandardPalette(ident);
  return !p.empty() && static_cast<int>(p.size()) == count && std::equal(p.begin(), p.end(), palette);
}

} // namespace pg
