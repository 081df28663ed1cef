#pragma once

#include <cstdint>
#include <functional>

#include "platform/object.h"

// Shared types of the graphics library.

// Colours are COLORREF values: red in bits 0-7, green 8-15, blue 16-23, top byte 0.
using TColorRef = uint32_t;

constexpr TColorRef RGBColor(unsigned r, unsigned g, unsigned b) {
  return (r & 0xFFu) | ((g & 0xFFu) << 8) | ((b & 0xFFu) << 16);
}
constexpr unsigned GetRValue(TColorRef c) { return c & 0xFFu; }
constexpr unsigned GetGValue(TColorRef c) { return (c >> 8) & 0xFFu; }
constexpr unsigned GetBValue(TColorRef c) { return (c >> 16) & 0xFFu; }

// Colour resolution idents (BitCount): 0 = 1 bit, 1 = 4 bit, 2 = 8 bit, 3 = 24 bit.
enum : uint8_t { bc1Bit = 0, bc4Bit = 1, bc8Bit = 2, bc24Bit = 3 };

enum TPaletteIdent : uint8_t {
  pNone,
  pTrueColor,
  pUnknown,
  pBlackWhite,
  pSysGray4,
  pSys16,
  pGray4,
  pGray16,
  pGray236,
  pGray256,
  pSpecial125,
  pSpecial216,
  pSpecial252,
  pOptimized252Sys16,
  pSource,
};

enum TStretchMode : uint8_t { smFast, smMedium, smPrecise };

enum TPGWarningAction : uint8_t { pgwaIgnore, pgwaOKBox, pgwaOKCancelBox, pgwaRaise };

// Progress of long operations: Step of Max; the handler may set Abort.
using TPGProgressEvent = std::function<void(TObject* sender, int step, int max, bool& abort)>;
using TNotifyEvent = std::function<void(TObject* sender)>;
