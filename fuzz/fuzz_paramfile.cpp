// The alignment parameter file of a photograph: the input is the .3DF file
// beside "photo.jpg". Reading never fails; with mode bit 1 the parameters are
// written back into the same file and must read back unchanged.
#include <string>

#include "app/core/paramfile.h"
#include "fuzz/fuzz_common.h"
#include "fuzz/fuzz_tempfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zwfuzz::Init();
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  zwfuzz::WriteTempFile("photo.3DF", data + 1, size - 1);
  const std::string image = zwfuzz::TempFolder() + "/photo.jpg";
  zwfuzz::Guard([&] {
    const TSideAlignment side = ReadParameters(image);
    if (mode & 2) {
      WriteParameters(image, side);
      const TSideAlignment again = ReadParameters(image);
      if (again.Point.X != side.Point.X || again.Point.Y != side.Point.Y || again.Line.X2 != side.Line.X2 ||
          again.Line.Y2 != side.Line.Y2)
        std::abort();
    }
  });
  return 0;
}
