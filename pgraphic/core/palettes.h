#pragma once

#include <vector>

#include "pgraphic/core/types.h"

// The standard palettes named by TPaletteIdent.
namespace pg {

// The 16 system colours in index order.
extern const TColorRef SystemColors16[16];
// The fixed 252-colour table: the 16 system colours, the remaining 109 colours
// of the 0/64/128/192/255 cube, then 127 further colours.
extern const TColorRef (&Special252)[252];

// The entries of a fillable standard palette (pBlackWhite .. pSpecial252);
// empty for the other idents.
std::vector<TColorRef> StandardPalette(TPaletteIdent ident);

// True when palette (count entries) equals the standard palette exactly.
bool IsStandardPalette(TPaletteIdent ident, const TColorRef* palette, int count);

} // namespace pg
