// The packed-bitmap reader shared with the clipboard and form streaming:
// mode bit 1 chooses the core (OS/2) header form; bit 2 reads through
// ReadData (length-prefixed BMP) instead.
#include "fuzz/fuzz_common.h"
#include "platform/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zwfuzz::Init();
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  TReadOnlyMemoryStream stream(data + 1, static_cast<int64_t>(size - 1));
  TPixelGraphic graphic;
  graphic.SetReadWarningAction(zwfuzz::WarningAction(mode));
  zwfuzz::Guard([&] {
    if (mode & 4)
      graphic.ReadData(stream);
    else
      graphic.ReadPackedBitmap(stream, (mode & 2) != 0);
  });
  return 0;
}
