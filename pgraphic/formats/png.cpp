#include "pgraphic/formats/png.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include <png.h>
#include <zlib.h>

#include "pgraphic/core/messages.h"
#include "pgraphic/core/progressbracket.h"
#include "pgraphic/formats/settings.h"
#include "platform/messagebox.h"

// libpng reports errors through a handler that must not return. The handler
// records the message and jumps back (png_longjmp) to the wrapper call that
// entered the library, which raises the C++ exception after the jump; no
// exception ever unwinds through libpng's frames. Every library call that can
// fail runs inside Guarded(), and the callbacks catch every C++ exception of
// the stream or the message box before jumping.

namespace {

enum class TFailure { Library, UserAbort, Foreign };

struct TContext {
  TStream* stream = nullptr;
  TPGWarningAction action = pgwaOKCancelBox;
  bool failed = false;
  TFailure failure = TFailure::Library;
  char text[256] = {};
  std::exception_ptr foreign;
};

[[noreturn]] void Raise(const std::string& text) { throw EPGPNGFileFormatReaderWriter("PNG: " + text); }

[[noreturn]] void RaiseFailure(const TContext& ctx) {
  switch (ctx.failure) {
    case TFailure::Foreign:
      std::rethrow_exception(ctx.foreign);
    case TFailure::UserAbort:
      Raise(GetMessage(msgOperationAborted));
    case TFailure::Library:
      break;
  }
  Raise(ctx.text);
}

TContext* ContextOf(png_structp png) { return static_cast<TContext*>(png_get_error_ptr(png)); }

void StoreText(TContext* ctx, png_const_charp message) {
  std::strncpy(ctx->text, message ? message : "", sizeof ctx->text - 1);
  ctx->text[sizeof ctx->text - 1] = '\0';
}

[[noreturn]] void JumpBack(png_structp png, TContext* ctx, TFailure failure) {
  ctx->failed = true;
  ctx->failure = failure;
  png_longjmp(png, 1);
}

extern "C" void ErrorFn(png_structp png, png_const_charp message) {
  TContext* ctx = ContextOf(png);
  StoreText(ctx, message);
  JumpBack(png, ctx, TFailure::Library);
}

extern "C" void WarningFn(png_structp png, png_const_charp message) {
  TContext* ctx = ContextOf(png);
  switch (ctx->action) {
    case pgwaIgnore:
      return;
    case pgwaRaise:
      StoreText(ctx, message);
      JumpBack(png, ctx, TFailure::Library);
    default:
      break;
  }
  int answer = platform::mrCancel;
  bool failed = false;
  try {
    answer = platform::MessageBox(message ? message : "", "PNG " + GetMessage(msgWarning),
                                  ctx->action == pgwaOKBox ? platform::TMsgButtons::OK
                                                           : platform::TMsgButtons::OKCancel,
                                  platform::TMsgIcon::Warning);
  } catch (...) {
    ctx->foreign = std::current_exception();
    failed = true;
  }
  if (failed) JumpBack(png, ctx, TFailure::Foreign);
  if (ctx->action == pgwaOKCancelBox && answer != platform::mrOk) JumpBack(png, ctx, TFailure::UserAbort);
}

extern "C" void ReadFn(png_structp png, png_bytep data, size_t length) {
  TContext* ctx = static_cast<TContext*>(png_get_io_ptr(png));
  int64_t got = 0;
  bool failed = false;
  try {
    got = ctx->stream->Read(data, static_cast<int64_t>(length));
  } catch (...) {
    ctx->foreign = std::current_exception();
    failed = true;
  }
  if (failed) JumpBack(png, ctx, TFailure::Foreign);
  if (got != static_cast<int64_t>(length)) png_error(png, "Read Error");
}

extern "C" void WriteFn(png_structp png, png_bytep data, size_t length) {
  TContext* ctx = static_cast<TContext*>(png_get_io_ptr(png));
  int64_t written = 0;
  bool failed = false;
  try {
    written = ctx->stream->Write(data, static_cast<int64_t>(length));
  } catch (...) {
    ctx->foreign = std::current_exception();
    failed = true;
  }
  if (failed) JumpBack(png, ctx, TFailure::Foreign);
  if (written != static_cast<int64_t>(length)) png_error(png, "Write Error");
}

extern "C" void FlushFn(png_structp) {}

// Runs body (library calls only, no objects with destructors) with the jump
// target set. False when the library failed; the failure is in the context.
template <class F>
bool Guarded(png_structp png, F&& body) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  body();
  return true;
}

// A read or write structure with its info structure, destroyed however the
// call ends.
class TPNGState {
public:
  TPNGState(TStream& stream, TPGWarningAction action, bool write) : FWrite(write) {
    FCtx.stream = &stream;
    FCtx.action = action;
  }
  ~TPNGState() {
    if (!FPng) return;
    if (FWrite)
      png_destroy_write_struct(&FPng, FInfo ? &FInfo : nullptr);
    else
      png_destroy_read_struct(&FPng, FInfo ? &FInfo : nullptr, nullptr);
  }
  TPNGState(const TPNGState&) = delete;
  TPNGState& operator=(const TPNGState&) = delete;

  void Open() {
    if (FWrite)
      FPng = png_create_write_struct(PNG_LIBPNG_VER_STRING, &FCtx, ErrorFn, WarningFn);
    else
      FPng = png_create_read_struct(PNG_LIBPNG_VER_STRING, &FCtx, ErrorFn, WarningFn);
    if (!FPng) {
      if (FCtx.failed) RaiseFailure(FCtx);
      Raise(GetMessage1(msgFailed, FWrite ? "png_create_write_struct" : "png_create_read_struct"));
    }
    FInfo = png_create_info_struct(FPng);
    if (!FInfo) Raise(GetMessage1(msgFailed, "png_create_info_struct"));
    png_structp png = FPng;
    TContext* ctx = &FCtx;
    if (FWrite)
      Run([png, ctx] { png_set_write_fn(png, ctx, WriteFn, FlushFn); });
    else
      Run([png, ctx] { png_set_read_fn(png, ctx, ReadFn); });
  }

  // Runs library calls; a library failure raises its exception here.
  template <class F>
  void Run(F&& body) {
    if (!Guarded(FPng, body)) RaiseFailure(FCtx);
  }

  png_structp Png() const { return FPng; }
  png_infop Info() const { return FInfo; }

private:
  TContext FCtx;
  bool FWrite;
  png_structp FPng = nullptr;
  png_infop FInfo = nullptr;
};

void CheckLibraryVersion() {
  if (!PGPNGLibraryMatches()) Raise("Invalid library version");
}

// Unpacks a row of 2-bit pixels in place into 4-bit pixels, from the right end
// so that no packed byte is overwritten before it has been read: output byte j
// holds pixels 2j and 2j+1, read from byte j div 2 <= j.
void Unpack2To4(uint8_t* row, int width) {
  for (int j = (width + 1) / 2 - 1; j >= 0; --j) {
    const int x0 = 2 * j, x1 = x0 + 1;
    const unsigned p0 = (row[x0 >> 2] >> (6 - 2 * (x0 & 3))) & 3u;
    const unsigned p1 = x1 < width ? (row[x1 >> 2] >> (6 - 2 * (x1 & 3))) & 3u : 0u;
    row[j] = static_cast<uint8_t>((p0 << 4) | p1);
  }
}

// A 16-bit sample reduced to a file's sample depth by its high bits.
png_uint_16 ToDepth(unsigned value16, int depth) { return static_cast<png_uint_16>(value16 >> (16 - depth)); }

// A sample of the file's depth as an 8-bit colour component.
unsigned ToByte(unsigned value, int depth) {
  if (depth == 16) return value >> 8;
  if (depth == 8) return value & 0xFF;
  const unsigned maxValue = (1u << depth) - 1;
  return (value & maxValue) * 255 / maxValue;
}

// The colours text of the open dialog for a pixel depth.
const char* ColorsText(int value) {
  switch (value) {
    case 1:
      return "2";
    case 2:
      return "4";
    case 4:
      return "16";
    case 8:
      return "256";
    case 16:
      return "64K?";
    case 24:
      return "16.7M";
    case 32:
      return "16.7M?";
    default:
      return "?";
  }
}

} // namespace

bool PGPNGLibraryMatches(const char* compiledPng, unsigned long loadedPng, const char* compiledZlib,
                         const char* loadedZlib) {
  if (!compiledPng || !compiledZlib || !loadedZlib) return false;
  // libpng's own rule: the major and minor release must agree.
  unsigned major = 0, minor = 0;
  if (std::sscanf(compiledPng, "%u.%u", &major, &minor) != 2) return false;
  if (loadedPng / 10000 != major || (loadedPng / 100) % 100 != minor) return false;
  // zlib's own rule: the first character of the version (the major release).
  return compiledZlib[0] != '\0' && compiledZlib[0] == loadedZlib[0];
}

bool PGPNGLibraryMatches() {
  return PGPNGLibraryMatches(PNG_LIBPNG_VER_STRING, static_cast<unsigned long>(png_access_version_number()),
                             ZLIB_VERSION, zlibVersion());
}

// ---------------------------------------------------------------- reader

TPNGFileFormatReader::TPNGFileFormatReader() : TFileFormatReader("png", "Portable Network Graphics") {
  DetectsByContent = true;
}

bool TPNGFileFormatReader::IsFormat(const uint8_t* header) const {
  static const uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  return std::memcmp(header, kSignature, 8) == 0;
}

void TPNGFileFormatReader::ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const {
  if (index != 0) Raise(GetMessage1(msgInvalid, "Index"));
  CheckLibraryVersion();
  graphic.SetGamma(PGDefaultGamma);

  auto state = std::make_unique<TPNGState>(stream, graphic.ReadWarningAction(), false);
  state->Open();
  png_structp png = state->Png();
  png_infop info = state->Info();
  state->Run([png, info] { png_read_info(png, info); });

  png_uint_32 width = 0, height = 0;
  int depth = 0, colorType = 0, interlace = 0;
  state->Run([&] { png_get_IHDR(png, info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr); });
  const int channels = png_get_channels(png, info);

  // Target storage by channels and depth.
  uint8_t bitCount;
  if (channels > 2)
    bitCount = bc24Bit;
  else if (depth == 1)
    bitCount = bc1Bit;
  else if (depth == 2 || depth == 4)
    bitCount = bc4Bit;
  else
    bitCount = bc8Bit;

  // The palette as stored, before any transformation changes libpng's copy.
  std::vector<TColorRef> palette;
  TPaletteIdent greyIdent = pNone;
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp entries = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &entries, &count) && entries)
      for (int i = 0; i < count; ++i) palette.push_back(RGBColor(entries[i].red, entries[i].green, entries[i].blue));
  } else if ((colorType & PNG_COLOR_MASK_COLOR) == 0) {
    greyIdent = depth == 1 ? pBlackWhite : depth == 2 ? pGray4 : depth == 4 ? pGray16 : pGray256;
  }

  // Transparency flattened onto a background.
  bool fileBackground = false;
  TColorRef fileBackgroundColor = 0;
  if (png_get_valid(png, info, PNG_INFO_tRNS) || (colorType & PNG_COLOR_MASK_ALPHA)) {
    png_color_16p bkgd = nullptr;
    if (PGPNGUseFileBackground && png_get_bKGD(png, info, &bkgd) && bkgd) {
      // The file's background is in the file's own sample format.
      state->Run([png, bkgd] { png_set_background(png, bkgd, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0); });
      fileBackground = true;
      if (colorType == PNG_COLOR_TYPE_PALETTE)
        fileBackgroundColor = bkgd->index < palette.size() ? palette[bkgd->index] : 0;
      else if ((colorType & PNG_COLOR_MASK_COLOR) == 0) {
        const unsigned g = ToByte(bkgd->gray, depth);
        fileBackgroundColor = RGBColor(g, g, g);
      } else
        fileBackgroundColor = RGBColor(ToByte(bkgd->red, depth), ToByte(bkgd->green, depth), ToByte(bkgd->blue, depth));
    } else {
      // The image's background colour as a 16-bit colour, given to libpng in
      // the file's sample depth (its high bits).
      const TColorRef c = graphic.BackGroundColorValue();
      const unsigned r16 = GetRValue(c) * 256, g16 = GetGValue(c) * 256, b16 = GetBValue(c) * 256;
      const unsigned grey16 = (GetRValue(c) + GetGValue(c) + GetBValue(c)) * 256 / 3;
      png_color_16 bg{};
      if (colorType == PNG_COLOR_TYPE_PALETTE) {
        // Only libpng's internal palette changes; the image keeps the stored one.
        bg.red = static_cast<png_uint_16>(r16 >> 8);
        bg.green = static_cast<png_uint_16>(g16 >> 8);
        bg.blue = static_cast<png_uint_16>(b16 >> 8);
        bg.gray = static_cast<png_uint_16>(grey16 >> 8);
        state->Run([png, &bg] { png_set_background(png, &bg, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0); });
      } else {
        bg.red = ToDepth(r16, depth);
        bg.green = ToDepth(g16, depth);
        bg.blue = ToDepth(b16, depth);
        bg.gray = ToDepth(grey16, depth);
        state->Run([png, &bg] { png_set_background(png, &bg, PNG_BACKGROUND_GAMMA_SCREEN, 1, 1.0); });
      }
    }
  }

  // The file's gamma becomes the image's; the load framework corrects it.
  double fileGamma = 0;
  if (png_get_gAMA(png, info, &fileGamma) && fileGamma > 0) graphic.SetGamma(1.0L / fileGamma);

  int passes = 1;
  state->Run([png, info, &passes] {
    png_set_strip_16(png);
    png_set_bgr(png);
    passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
  });

  graphic.SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height), bitCount);
  if (!palette.empty()) {
    const int count = std::min(static_cast<int>(palette.size()), graphic.PaletteSize());
    graphic.SetPaletteCount(count);
    for (int i = 0; i < count; ++i) graphic.SetPaletteColor(i, palette[static_cast<size_t>(i)]);
  } else if (greyIdent != pNone) {
    graphic.SetPaletteIdent(greyIdent);
  }
  if (fileBackground) graphic.SetBackGroundColor(fileBackgroundColor);
  // libpng's rows must fit the image's rows.
  if (png_get_rowbytes(png, info) > static_cast<size_t>(graphic.BytesPerRow()))
    Raise(GetMessage(msgNotSupportedSubformat));

  TObject* sender = const_cast<TPNGFileFormatReader*>(this);
  bool aborted = false;
  {
    TPGProgressBracket progress(graphic, sender);
    const int rows = static_cast<int>(height);
    if (rows > 0 && width > 0) {
      for (int pass = 0; pass < passes && !aborted; ++pass) {
        for (int r = 0; r < rows; ++r) {
          png_bytep row = graphic.ScanLine(r);
          state->Run([png, &row] { png_read_rows(png, &row, nullptr, 1); });
          if (graphic.DoProgress(sender, r + rows * pass, rows * passes)) {
            aborted = true;
            break;
          }
        }
      }
      if (!aborted && depth == 2)
        for (int r = 0; r < rows; ++r) Unpack2To4(graphic.ScanLine(r), static_cast<int>(width));
    }
  }
  if (!aborted) state->Run([png] { png_read_end(png, nullptr); });
}

void TPNGFileFormatReader::GetInfo(TStream& stream, int index, TPGFileInfo& info) const {
  TFileFormatReader::GetInfo(stream, index, info);
  if (index != 0) Raise(GetMessage1(msgInvalidValueFor, "Index"));

  auto state = std::make_unique<TPNGState>(stream, pgwaRaise, false);
  state->Open();
  png_structp png = state->Png();
  png_infop pi = state->Info();
  state->Run([png, pi] { png_read_info(png, pi); });

  const int colorType = png_get_color_type(png, pi);
  std::string details = "GrayScale";
  if (colorType & PNG_COLOR_MASK_PALETTE)
    details = "palette";
  else if (colorType & PNG_COLOR_MASK_COLOR)
    details = "RGB";
  if (colorType & PNG_COLOR_MASK_ALPHA) details += ", alpha";
  if (png_get_interlace_type(png, pi) == PNG_INTERLACE_ADAM7) details += ", interlaced";
  info.DetailsText = details;

  static const struct {
    png_uint_32 flag;
    const char* name;
  } kChunks[] = {{PNG_INFO_gAMA, "gama"}, {PNG_INFO_sBIT, "sbit"}, {PNG_INFO_cHRM, "chrm"}, {PNG_INFO_PLTE, "plte"},
                 {PNG_INFO_tRNS, "trns"}, {PNG_INFO_bKGD, "bkgd"}, {PNG_INFO_hIST, "hist"}, {PNG_INFO_pHYs, "phys"},
                 {PNG_INFO_oFFs, "offs"}, {PNG_INFO_tIME, "time"}};
  std::string kind;
  for (const auto& chunk : kChunks) {
    if (!png_get_valid(png, pi, chunk.flag)) continue;
    kind += kind.empty() ? "(" : ", ";
    kind += chunk.name;
  }
  if (!kind.empty()) kind += ")";
  info.KindText = kind;

  info.Width = static_cast<int>(png_get_image_width(png, pi));
  info.Height = static_cast<int>(png_get_image_height(png, pi));
  const int bits = png_get_bit_depth(png, pi) * png_get_channels(png, pi);
  info.BitsPerPixel = bits;
  info.ColorsText = std::string(ColorsText(bits));
}

// ---------------------------------------------------------------- writer

TPNGFileFormatWriter::TPNGFileFormatWriter() : TFileFormatWriter("png", "Portable Network Graphics") {
  CanWriteResolutions = PGAllColorRes;
}

void TPNGFileFormatWriter::WriteGraphic(TStream& stream, TPixelGraphic& graphic) {
  CheckLibraryVersion();
  auto state = std::make_unique<TPNGState>(stream, graphic.ReadWarningAction(), true);
  state->Open();
  png_structp png = state->Png();
  png_infop info = state->Info();

  const png_uint_32 width = static_cast<png_uint_32>(graphic.Width());
  const png_uint_32 height = static_cast<png_uint_32>(graphic.Height());
  int depth = 8, colorType;
  std::vector<png_color> palette;
  if (graphic.BitCount() == bc24Bit) {
    colorType = PNG_COLOR_TYPE_RGB;
  } else if (graphic.BitCount() == bc8Bit && graphic.PaletteIdent() == pGray256) {
    colorType = PNG_COLOR_TYPE_GRAY;
  } else {
    colorType = PNG_COLOR_TYPE_PALETTE;
    depth = graphic.BitCountNum();
    for (int i = 0; i < graphic.PaletteCount(); ++i) {
      const TColorRef c = graphic.PaletteData()[i];
      palette.push_back(png_color{static_cast<png_byte>(GetRValue(c)), static_cast<png_byte>(GetGValue(c)),
                                  static_cast<png_byte>(GetBValue(c))});
    }
  }
  const bool writeGamma = PGPNGWriteGamma;
  const double gamma = 1.0 / static_cast<double>(graphic.Gamma());
  const png_color* paletteData = palette.data();
  const int paletteCount = static_cast<int>(palette.size());
  state->Run([=] {
    png_set_IHDR(png, info, width, height, depth, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, paletteData, paletteCount);
    if (writeGamma) png_set_gAMA(png, info, gamma);
    png_write_info(png, info);
    png_set_bgr(png);
  });

  TObject* sender = this;
  {
    TPGProgressBracket progress(graphic, sender);
    const int rows = graphic.Height();
    for (int r = 0; r < rows; ++r) {
      png_const_bytep row = graphic.ScanLine(r);
      state->Run([png, row] { png_write_row(png, row); });
      graphic.DoProgress(sender, r, rows - 1);  // every row is written, whatever Abort says
    }
  }
  state->Run([png, info] { png_write_end(png, info); });
}

void RegisterPNGFormats(TPGFormatLists& lists) {
  lists.Readers.push_back(std::make_unique<TPNGFileFormatReader>());
  lists.Writers.push_back(std::make_unique<TPNGFileFormatWriter>());
}
