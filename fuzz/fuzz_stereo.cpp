// The stereo-pair readings that the registry's loads do not make on their
// own: the MP index of an MPO file by itself, and both views of a JPS file
// from one decode. Bit 0 of the mode byte: the warning action; bit 1: the
// other reading settings (zwfuzz::ReadSettings).
#include "fuzz/fuzz_common.h"
#include "pgraphic/formats/jps.h"
#include "pgraphic/formats/mpo.h"
#include "platform/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zwfuzz::Init();
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  (void)zwfuzz::ReadSettings(mode);
  const int64_t length = static_cast<int64_t>(size - 1);
  {
    TReadOnlyMemoryStream stream(data + 1, length);
    zwfuzz::Guard([&] { (void)ReadMPOIndex(stream); });
  }
  TReadOnlyMemoryStream stream(data + 1, length);
  TPixelGraphic left, right;
  left.SetReadWarningAction(zwfuzz::WarningAction(mode));
  zwfuzz::Guard([&] { ReadJPSPair(stream, left, right); });
  return 0;
}
