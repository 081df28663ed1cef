// The stereo composition on hostile alignment values: two small pictures and
// the pair's identical points, second points and tilt lines from the input,
// through the compose pipeline (common area, tilt compensation, the mode's
// worker) in every stereo mode, with and without the eye swap. Library errors
// (a size refused for a negative area) are fine; anything else is not, and
// neither is a result that is not a 24-bit picture.
//
// Input after the mode byte (fuzz_modes.h): width and height of the left and
// the right picture (a byte each, 0..79), then sixteen 32-bit little-endian
// alignment values (left point, right point, left and right second points,
// left and right tilt lines; missing ones are 0), then pixel bytes, repeated
// to fill both pictures.
#include <cstdlib>
#include <cstring>

#include "app/core/compose.h"
#include "fuzz/fuzz_common.h"

static_assert(zwfuzz::StereoModes == StereoModeCount, "the mode bits cover every stereo mode");

namespace {

struct TInput {
  const uint8_t* Data;
  size_t Size, Pos = 0;
  uint8_t Byte() { return Pos < Size ? Data[Pos++] : 0; }
  int32_t Int() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(Byte()) << (8 * i);
    return static_cast<int32_t>(v);
  }
};

// Fills a picture with the bytes from pos on, repeated (zeros without any).
void Fill(TPixelGraphic& img, const uint8_t* bytes, size_t n) {
  if (img.Empty()) return;
  size_t k = 0;
  for (int y = 0; y < img.Height(); ++y) {
    uint8_t* row = img.ScanLine(y);
    for (int32_t i = 0; i < img.BytesPerRow(); ++i) row[i] = n ? bytes[k++ % n] : 0;
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zwfuzz::Init();
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  TInput in{data + 1, size - 1};
  const int wL = in.Byte() % 80, hL = in.Byte() % 80, wR = in.Byte() % 80, hR = in.Byte() % 80;
  TPairAlignment a;
  for (TSideAlignment* s : {&a.Left, &a.Right}) s->Point = {in.Int(), in.Int()};
  for (TSideAlignment* s : {&a.Left, &a.Right}) s->TurnPoint = {in.Int(), in.Int()};
  for (TSideAlignment* s : {&a.Left, &a.Right}) s->Line = {in.Int(), in.Int(), in.Int(), in.Int()};
  const uint8_t* pixels = in.Pos < in.Size ? in.Data + in.Pos : nullptr;
  const size_t n = in.Size - std::min(in.Pos, in.Size);

  TPixelGraphic left, right, work;
  zwfuzz::Guard([&] {
    left.SetSize(wL, hL, bc24Bit);
    right.SetSize(wR, hR, zwfuzz::PaletteRight(mode) ? bc8Bit : bc24Bit);
    if (zwfuzz::PaletteRight(mode)) {
      right.SetPaletteCount(100); // raw values beyond the palette too
      for (int i = 0; i < 100; ++i) right.SetPaletteColor(i, static_cast<TColorRef>(i * 0x020301));
    }
    Fill(left, pixels, n);
    Fill(right, pixels, n);
    const int stereo = zwfuzz::StereoMode(mode) | (zwfuzz::SwapEyes(mode) ? smSwapEyes : 0);
    TStereoResult r;
    try {
      r = ComposePictures(stereo, left, right, a, work);
    } catch (const EComposeFailed& e) {
      e.Rethrow();
    }
    if (r.Image && (r.Image->BitCount() != bc24Bit || (ModeUsesWorkImage(stereo) != (r.Image == &work))))
      std::abort();
  });
  return 0;
}
