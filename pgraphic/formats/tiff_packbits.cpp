#include "pgraphic/formats/tiff_packbits.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "pgraphic/core/messages.h"
#include "pgraphic/formats/fileformat.h"

// ====================================================================== encoding

namespace {

// The first index p >= i with src[p] == src[p + 1], or count when there is none.
// Compares eight neighbours at a time: a zero byte in a ^ b marks a pair.
int64_t FindEqualPair(const uint8_t* src, int64_t i, int64_t count) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    while (i + 9 <= count) {
      uint64_t a, b;
      std::memcpy(&a, src + i, 8);
      std::memcpy(&b, src + i + 1, 8);
      const uint64_t x = a ^ b;
      const uint64_t zero = (x - ones) & ~x & highs;  // exact for the lowest zero byte
      if (zero != 0) return i + (std::countr_zero(zero) >> 3);
      i += 8;
    }
  }
  while (i + 1 < count && src[i] != src[i + 1]) ++i;
  return i + 1 < count ? i : count;
}

} // namespace

int64_t PGPackBitsEncode(const uint8_t* src, int64_t count, uint8_t* dst) {
  // Runs of equal bytes; a run of two next to single bytes joins the literal
  // bytes: first scanning forward (a 2-run after a single byte), then backward
  // (a 2-run before a single byte). Those rules cascade along neighbouring
  // 2-runs exactly as a byte-by-byte scan does.
  uint8_t* out = dst;
  int64_t litStart = -1;  // start of the pending literal stretch
  auto runEnd = [&](int64_t i) {
    const uint8_t v = src[i];
    int64_t j = i + 1;
    while (j < count && src[j] == v) ++j;
    return j;
  };
  auto flushLiteral = [&](int64_t end) {
    int64_t i = litStart;
    while (i < end) {
      const int64_t n = std::min<int64_t>(128, end - i);
      *out++ = static_cast<uint8_t>(n - 1);
      std::memcpy(out, src + i, static_cast<size_t>(n));
      out += n;
      i += n;
    }
    litStart = -1;
  };

  int64_t i = 0;
  bool prevSingle = false;  // the byte before position i is single
  while (i < count) {
    // Bytes up to the next pair of equal neighbours are single; i always
    // starts a run, so the byte before it differs.
    const int64_t pair = FindEqualPair(src, i, count);
    if (pair > i) {
      if (litStart < 0) litStart = i;
      prevSingle = true;
      i = pair;
      if (i == count) break;
    }
    const int64_t e = runEnd(i);
    int64_t len = e - i;  // at least 2 here
    if (len == 2 && prevSingle) {
      // A 2-run that the forward rule turns into single bytes.
      if (litStart < 0) litStart = i;
      i = e;
      prevSingle = true;
      continue;
    }
    if (len == 2) {
      // A chain of 2-runs after a non-single byte: look at what follows the
      // chain. A single byte after it turns the whole chain single
      // (backward rule cascading); anything else keeps each 2-run a run.
      int64_t chainEnd = e;
      while (chainEnd < count) {
        const int64_t ne = runEnd(chainEnd);
        if (ne - chainEnd != 2) break;
        chainEnd = ne;
      }
      const bool nextSingle = chainEnd < count && runEnd(chainEnd) - chainEnd == 1;
      if (nextSingle) {
        if (litStart < 0) litStart = i;
        i = chainEnd;
        prevSingle = true;
        continue;
      }
      if (litStart >= 0) flushLiteral(i);
      for (int64_t k = i; k < chainEnd; k += 2) {
        *out++ = static_cast<uint8_t>(-1);  // 1 - 2
        *out++ = src[k];
      }
      i = chainEnd;
      prevSingle = false;
      continue;
    }
    // A run of three or more bytes: repeat packets of up to 128.
    if (litStart >= 0) flushLiteral(i);
    while (len > 0) {
      const int64_t n = std::min<int64_t>(128, len);
      *out++ = static_cast<uint8_t>(1 - n);
      *out++ = src[i];
      len -= n;
    }
    i = e;
    prevSingle = false;
  }
  if (litStart >= 0) flushLiteral(count);
  return out - dst;
}

// ====================================================================== decoding

namespace pg::tiff {

void TPackBitsSource::DecodeRow(uint8_t* dst, int64_t rowBytes, int64_t row) {
  int64_t filled = 0;
  while (filled < rowBytes) {
    const int n = static_cast<int8_t>(NextByte());
    if (n >= 0) {
      const int64_t count = n + 1;
      if (filled + count > rowBytes) RaiseRow(row);
      Copy(dst + filled, count);
      filled += count;
    } else if (n != -128) {
      const int64_t count = 1 - n;
      if (filled + count > rowBytes) RaiseRow(row);
      std::memset(dst + filled, NextByte(), static_cast<size_t>(count));
      filled += count;
    }
  }
}

void TPackBitsSource::RaiseRow(int64_t row) {
  throw EPGTIFFileFormatReader("TIFF (PackBits): " + GetMessage1(msgInvalidCountOfBytesInRow, std::to_string(row)));
}

void TPackBitsSource::Fill() {
  FStream.SetPosition(FPos);
  const int64_t n = FStream.Read(FWindow, sizeof(FWindow));
  if (n <= 0) throw EReadError();
  FWinPos = FPos;
  FWinLen = n;
}

} // namespace pg::tiff
