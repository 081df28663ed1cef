#pragma once

#include <cstdint>

// Loads and stores of 16- and 32-bit fields in a given byte order, for the file
// formats (little-endian BMP, PCX, Targa and the image's bitmap header; both
// orders in TIFF). Written byte by byte so they are independent of the host's
// order and of alignment; the compiler turns them into single loads and stores.
namespace pg {

constexpr uint16_t GetLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

constexpr uint32_t GetLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

constexpr uint16_t GetBE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

constexpr uint32_t GetBE32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

// The stores keep the low 16 or 32 bits of v.
constexpr void PutLE16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

constexpr void PutLE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

constexpr void PutBE16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

constexpr void PutBE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// A byte order chosen at run time (TIFF files say theirs in the header).
struct TByteOrder {
  bool BigEndian = false;

  constexpr uint16_t Get16(const uint8_t* p) const { return BigEndian ? GetBE16(p) : GetLE16(p); }
  constexpr uint32_t Get32(const uint8_t* p) const { return BigEndian ? GetBE32(p) : GetLE32(p); }
  constexpr void Put16(uint8_t* p, uint32_t v) const { BigEndian ? PutBE16(p, v) : PutLE16(p, v); }
  constexpr void Put32(uint8_t* p, uint32_t v) const { BigEndian ? PutBE32(p, v) : PutLE32(p, v); }
};

} // namespace pg
