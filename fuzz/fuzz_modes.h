#pragma once
// What the mode byte in front of every fuzz input means to the reading
// targets; shared with the test that replays the regression inputs, so both
// read an input the same way.

#include <cstdint>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/settings.h"

namespace zwfuzz {

// Bit 0 chooses the warning action for recoverable defects: clear → pgwaIgnore
// (the reader goes on with a partial image), set → pgwaRaise.
inline TPGWarningAction WarningAction(uint8_t mode) { return (mode & 1) ? pgwaRaise : pgwaIgnore; }

// Bit 1 chooses between two sets of reading settings and gives the image
// index to ask for. Clear: the initial settings, image 0. Set: multi-image
// TIFF files are read as such (the whole directory chain is walked, at most
// 8 images) and image 1 is asked for; 16-bit BMP colours are not expanded,
// PNG files are flattened onto the image's background instead of their own,
// no gamma correction, and JPEG files are decoded with the float DCT.
inline int ReadSettings(uint8_t mode) {
  const bool other = (mode & 2) != 0;
  PGTIFFReadAllImages = other;
  PGTIFFMaxImages = other ? 8 : 1000;
  PGExpand16BitColors = !other;
  PGPNGUseFileBackground = !other;
  PGGammaCorrection = !other;
  PGJPEGReadDCTMethod = other ? 2 : 0;
  return other ? 1 : 0;
}

// The stereo composition target (fuzz_compose) reads bits 2..5 as the stereo
// mode, all sixteen of them, and bit 6 as the eye swap; bit 7 makes the right
// picture a palette picture.
constexpr int StereoModes = 16;
inline int StereoMode(uint8_t mode) { return (mode >> 2) & 15; }
inline bool SwapEyes(uint8_t mode) { return (mode & 0x40) != 0; }
inline bool PaletteRight(uint8_t mode) { return (mode & 0x80) != 0; }

} // namespace zwfuzz
