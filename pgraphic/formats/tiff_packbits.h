#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/stream.h"

// PackBits, the run-length code of TIFF strips (compression 32773): the
// writer's row encoder and the reader's streamed row decoder.

// Encodes count bytes of src into dst, which must hold PGPackBitsMaxSize(count)
// bytes; returns the number of bytes written. Runs of two equal bytes next to
// literal bytes are sent as literal bytes.
int64_t PGPackBitsEncode(const uint8_t* src, int64_t count, uint8_t* dst);
// Every packet covers n >= 1 bytes with at most n + 1 <= 2n bytes.
constexpr int64_t PGPackBitsMaxSize(int64_t count) { return 2 * count; }

namespace pg::tiff {

// Decodes rows from a stream. Compressed bytes come through a 4096-byte window
// that is re-read from the stream whenever a byte outside it is needed; a
// stream that ends early raises the stream's read error.
class TPackBitsSource {
public:
  explicit TPackBitsSource(TStream& stream) : FStream(stream) {}

  // Stream position of the next compressed byte (the start of a strip).
  void SetPosition(int64_t pos) { FPos = pos; }

  // Decodes one row of rowBytes bytes; a packet that runs past the row end
  // raises the row error with the row number.
  void DecodeRow(uint8_t* dst, int64_t rowBytes, int64_t row);

private:
  uint8_t NextByte() {
    if (FPos < FWinPos || FPos >= FWinPos + FWinLen) Fill();
    return FWindow[FPos++ - FWinPos];
  }

  void Copy(uint8_t* dst, int64_t count) {
    while (count > 0) {
      if (FPos < FWinPos || FPos >= FWinPos + FWinLen) Fill();
      const int64_t avail = FWinPos + FWinLen - FPos;
      const int64_t n = std::min(avail, count);
      std::memcpy(dst, FWindow + (FPos - FWinPos), static_cast<size_t>(n));
      dst += n;
      FPos += n;
      count -= n;
    }
  }

  [[noreturn]] static void RaiseRow(int64_t row);
  void Fill();

  TStream& FStream;
  int64_t FPos = 0;
  int64_t FWinPos = 0;
  int64_t FWinLen = 0;
  uint8_t FWindow[4096];
};

} // namespace pg::tiff
