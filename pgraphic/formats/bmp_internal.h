#pragma once

#include <cstdint>
#include <string>

#include "pgraphic/core/messages.h"
#include "pgraphic/formats/bmp.h"

// What the bitmap reader's units share: the header sizes, the errors, the
// stream helpers, and the decoders of the pixel data that is not stored as the
// image stores it (bit fields in bmp_bitfields.cpp, RLE in bmp_rle.cpp).
namespace pg::bmp {

constexpr int kFileHeaderSize = 14;
constexpr int kCoreHeaderSize = 12;
constexpr int kInfoHeaderSize = 40;
// The later Windows headers: the info header followed by the channel masks
// (52: red, green, blue; 56: and alpha), then colour space and gamma (108,
// version 4) and rendering intent and colour profile (124, version 5).
constexpr int kV2HeaderSize = 52;
constexpr int kV3HeaderSize = 56;
constexpr int kV4HeaderSize = 108;
constexpr int kV5HeaderSize = 124;
constexpr int kMaxHeaderSize = kV5HeaderSize;

// True for a header size read as an info header (40 bytes and the later ones).
constexpr bool IsInfoHeaderSize(uint32_t size) {
  return size == kInfoHeaderSize || size == kV2HeaderSize || size == kV3HeaderSize || size == kV4HeaderSize ||
         size == kV5HeaderSize;
}

[[noreturn]] inline void RaiseBMP(const std::string& text) { throw EPGBMPFileFormatReader("BMP: " + text); }
[[noreturn]] inline void RaiseInvalid(const char* what) { RaiseBMP(GetMessage1(msgInvalid, what)); }

// Reads up to count bytes, as many as the stream has; returns how many.
int64_t ReadSome(TStream& stream, void* buffer, int64_t count);

// Reads size bytes into buffer: in ten chunks with progress (Step 1..10 of 10)
// when size is at least 101 bytes, else at once. Returns the number of bytes
// the stream delivered; aborted is set when the progress handler asked to stop.
int64_t ReadChunked(TPixelGraphic& g, TStream& stream, uint8_t* buffer, int64_t size, bool* aborted = nullptr);

// 16- and 32-bit files: rows converted pixel by pixel into the image's 24-bit
// storage through the red, green and blue masks.
void ReadBitFields(TPixelGraphic& g, TStream& stream, int bitCount, bool topDown, const uint32_t masks[3]);

// RLE8 or RLE4 data of sizeImage bytes (at most what the stream holds) into
// the sized 8- or 4-bit image, bottom-up.
void ReadRLE(TPixelGraphic& g, TStream& stream, uint32_t sizeImage, bool rle4);

} // namespace pg::bmp
