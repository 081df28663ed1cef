#include "pgraphic/formats/jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "pgraphic/core/messages.h"
#include "pgraphic/core/progressbracket.h"
#include "pgraphic/formats/settings.h"
#include "platform/messagebox.h"

#ifndef JCS_EXTENSIONS
#error "The JPEG wrappers need libjpeg-turbo's extended colour spaces (JCS_EXT_BGR)."
#endif

// libjpeg reports fatal errors through a hook that must not return. The hook
// records what happened and jumps back (longjmp) to the wrapper call that
// entered the library; the C++ exception is raised only after that jump, so no
// exception ever unwinds through the library's C frames. Every library call
// therefore runs inside Guarded(), and the callbacks below catch every C++
// exception of the stream or the message box before jumping.

namespace {

// Stream blocks of 64 KB: a 24-megapixel photograph is read in about a
// hundred calls instead of a thousand or more, which takes several per cent
// off its decoding. (The decoder may read up to one block past the image.)
constexpr size_t kBufferSize = 65536;

enum class TFailure { Library, UserAbort, Foreign };

struct TErrorMgr {
  jpeg_error_mgr pub;  // first member: the library sees only this part
  void (*libraryFormat)(j_common_ptr, char*) = nullptr;  // the library's own formatter
  jmp_buf jump;
  TPGWarningAction action = pgwaOKCancelBox;
  TFailure failure = TFailure::Library;
  char text[JMSG_LENGTH_MAX] = {};
  std::exception_ptr foreign;
};

TErrorMgr* ErrorMgrOf(j_common_ptr cinfo) { return reinterpret_cast<TErrorMgr*>(cinfo->err); }

[[noreturn]] void JumpBack(TErrorMgr* err, TFailure failure) {
  err->failure = failure;
  std::longjmp(err->jump, 1);
}

[[noreturn]] void Raise(const std::string& text) { throw EPGJPGFileFormatReaderWriter("JPG: " + text); }

// The exception for a failure recorded before the jump.
[[noreturn]] void RaiseFailure(const TErrorMgr& err) {
  switch (err.failure) {
    case TFailure::Foreign:
      std::rethrow_exception(err.foreign);
    case TFailure::UserAbort:
      Raise(GetMessage(msgOperationAborted));
    case TFailure::Library:
      break;
  }
  Raise(err.text);
}

// Runs body (library calls only, no objects with destructors) with the jump
// target set. False when the library failed; the failure is in err.
template <class F>
bool Guarded(TErrorMgr& err, F&& body) {
  if (setjmp(err.jump) != 0) return false;
  body();
  return true;
}

template <class F>
void Checked(TErrorMgr& err, F&& body) {
  if (!Guarded(err, body)) RaiseFailure(err);
}

// The library's message in the selected language (the library formats it
// itself where the message has no translation), as the library formats its
// own: a text with "%s" takes the string parameter, others the integers.
extern "C" void FormatMessage(j_common_ptr cinfo, char* buffer) {
  TErrorMgr* err = ErrorMgrOf(cinfo);
  const jpeg_error_mgr& e = err->pub;
  const char* english = e.msg_code > 0 && e.msg_code <= e.last_jpeg_message ? e.jpeg_message_table[e.msg_code] : nullptr;
  const char* text = TranslatedText(english);
  if (!text || text == english) {
    err->libraryFormat(cinfo, buffer);
    return;
  }
  if (std::strstr(text, "%s"))
    std::snprintf(buffer, JMSG_LENGTH_MAX, text, e.msg_parm.s);
  else
    std::snprintf(buffer, JMSG_LENGTH_MAX, text, e.msg_parm.i[0], e.msg_parm.i[1], e.msg_parm.i[2], e.msg_parm.i[3],
                  e.msg_parm.i[4], e.msg_parm.i[5], e.msg_parm.i[6], e.msg_parm.i[7]);
}

extern "C" void ErrorExit(j_common_ptr cinfo) {
  TErrorMgr* err = ErrorMgrOf(cinfo);
  (*cinfo->err->format_message)(cinfo, err->text);
  JumpBack(err, TFailure::Library);
}

// Warnings (level -1) by the warning action, the first one of a file only, as
// the library's standard policy does; trace messages are dropped.
extern "C" void EmitMessage(j_common_ptr cinfo, int msgLevel) {
  TErrorMgr* err = ErrorMgrOf(cinfo);
  if (msgLevel >= 0) return;
  if (err->pub.num_warnings++ != 0) return;
  if (err->action == pgwaIgnore) return;
  (*cinfo->err->format_message)(cinfo, err->text);
  if (err->action == pgwaRaise) JumpBack(err, TFailure::Library);
  int answer = platform::mrCancel;
  bool failed = false;
  try {
    answer = platform::MessageBox(err->text, "JPG " + GetMessage(msgWarning),
                                  err->action == pgwaOKBox ? platform::TMsgButtons::OK
                                                           : platform::TMsgButtons::OKCancel,
                                  platform::TMsgIcon::Warning);
  } catch (...) {
    err->foreign = std::current_exception();
    failed = true;
  }
  if (failed) JumpBack(err, TFailure::Foreign);
  if (err->action == pgwaOKCancelBox && answer != platform::mrOk) JumpBack(err, TFailure::UserAbort);
}

void InitErrorMgr(TErrorMgr& err, TPGWarningAction action) {
  jpeg_std_error(&err.pub);
  err.libraryFormat = err.pub.format_message;
  err.pub.format_message = FormatMessage;
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = EmitMessage;
  err.action = action;
}

// ---------------------------------------------------------------- stream source

struct TSource {
  jpeg_source_mgr pub;
  TStream* stream = nullptr;
  TErrorMgr* err = nullptr;
  bool startOfFile = true;
  JOCTET buffer[kBufferSize];
};

extern "C" void InitSource(j_decompress_ptr cinfo) {
  reinterpret_cast<TSource*>(cinfo->src)->startOfFile = true;
}

// Blocks of kBufferSize bytes; nothing more to read ends the data: an empty file is
// an error, otherwise a warning and a fake end-of-image marker, as the
// library's standard file source does.
extern "C" boolean FillInputBuffer(j_decompress_ptr cinfo) {
  TSource* src = reinterpret_cast<TSource*>(cinfo->src);
  int64_t count = 0;
  bool failed = false;
  try {
    count = src->stream->Read(src->buffer, static_cast<int64_t>(kBufferSize));
  } catch (...) {
    src->err->foreign = std::current_exception();
    failed = true;
  }
  if (failed) JumpBack(src->err, TFailure::Foreign);
  if (count <= 0) {
    if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    count = 2;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = static_cast<size_t>(count);
  src->startOfFile = false;
  return TRUE;
}

extern "C" void SkipInputData(j_decompress_ptr cinfo, long numBytes) {
  if (numBytes <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  while (numBytes > static_cast<long>(src->bytes_in_buffer)) {
    numBytes -= static_cast<long>(src->bytes_in_buffer);
    FillInputBuffer(cinfo);
  }
  src->next_input_byte += numBytes;
  src->bytes_in_buffer -= static_cast<size_t>(numBytes);
}

extern "C" void TermSource(j_decompress_ptr) {}

// ---------------------------------------------------------------- stream destination

struct TDestination {
  jpeg_destination_mgr pub;
  TStream* stream = nullptr;
  TErrorMgr* err = nullptr;
  JOCTET buffer[kBufferSize];
};

void WriteBlock(j_compress_ptr cinfo, size_t count) {
  TDestination* dest = reinterpret_cast<TDestination*>(cinfo->dest);
  int64_t written = 0;
  bool failed = false;
  try {
    written = dest->stream->Write(dest->buffer, static_cast<int64_t>(count));
  } catch (...) {
    dest->err->foreign = std::current_exception();
    failed = true;
  }
  if (failed) JumpBack(dest->err, TFailure::Foreign);
  if (written != static_cast<int64_t>(count)) ERREXIT(cinfo, JERR_FILE_WRITE);
}

extern "C" void InitDestination(j_compress_ptr cinfo) {
  TDestination* dest = reinterpret_cast<TDestination*>(cinfo->dest);
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = kBufferSize;
}

extern "C" boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  WriteBlock(cinfo, kBufferSize);
  InitDestination(cinfo);
  return TRUE;
}

extern "C" void TermDestination(j_compress_ptr cinfo) {
  const size_t count = kBufferSize - cinfo->dest->free_in_buffer;
  if (count > 0) WriteBlock(cinfo, count);
}

// ---------------------------------------------------------------- library state

// One decompression: the library structure with its error manager and source,
// destroyed however the call ends.
struct TDecompressor {
  jpeg_decompress_struct cinfo;
  TErrorMgr err;
  TSource src;

  TDecompressor(TStream& stream, TPGWarningAction action) {
    std::memset(&cinfo, 0, sizeof cinfo);
    InitErrorMgr(err, action);
    cinfo.err = &err.pub;
    Checked(err, [this] { jpeg_create_decompress(&cinfo); });
    src.stream = &stream;
    src.err = &err;
    src.pub.init_source = InitSource;
    src.pub.fill_input_buffer = FillInputBuffer;
    src.pub.skip_input_data = SkipInputData;
    src.pub.resync_to_restart = jpeg_resync_to_restart;
    src.pub.term_source = TermSource;
    src.pub.bytes_in_buffer = 0;
    src.pub.next_input_byte = nullptr;
    cinfo.src = &src.pub;
  }
  ~TDecompressor() { jpeg_destroy_decompress(&cinfo); }
  TDecompressor(const TDecompressor&) = delete;
  TDecompressor& operator=(const TDecompressor&) = delete;
};

struct TCompressor {
  jpeg_compress_struct cinfo;
  TErrorMgr err;
  TDestination dest;

  TCompressor(TStream& stream, TPGWarningAction action) {
    std::memset(&cinfo, 0, sizeof cinfo);
    InitErrorMgr(err, action);
    cinfo.err = &err.pub;
    Checked(err, [this] { jpeg_create_compress(&cinfo); });
    dest.stream = &stream;
    dest.err = &err;
    dest.pub.init_destination = InitDestination;
    dest.pub.empty_output_buffer = EmptyOutputBuffer;
    dest.pub.term_destination = TermDestination;
    cinfo.dest = &dest.pub;
  }
  ~TCompressor() { jpeg_destroy_compress(&cinfo); }
  TCompressor(const TCompressor&) = delete;
  TCompressor& operator=(const TCompressor&) = delete;
};

J_DCT_METHOD DCTMethod(int code) {
  switch (code) {
    case 1:
      return JDCT_IFAST;
    case 2:
      return JDCT_FLOAT;
    default:
      return JDCT_ISLOW;
  }
}

void SetDecompressParameters(jpeg_decompress_struct& cinfo, bool fast) {
  cinfo.scale_num = 1;
  cinfo.scale_denom = 1;
  cinfo.dct_method = fast ? JDCT_IFAST : DCTMethod(PGJPEGReadDCTMethod);
  cinfo.quantize_colors = FALSE;
  cinfo.two_pass_quantize = FALSE;
  cinfo.dither_mode = JDITHER_NONE;
  // The library's default output for YCbCr and RGB files is RGB; the image
  // stores blue, green, red, which the library delivers directly.
  if (cinfo.out_color_space == JCS_RGB) cinfo.out_color_space = JCS_EXT_BGR;
}

// Sets the compression parameters of the settings and starts compressing a
// width x height picture of grey or blue-green-red rows.
void StartCompress(TCompressor& c, int32_t width, int32_t height, bool grey) {
  jpeg_compress_struct* cinfo = &c.cinfo;
  cinfo->image_width = static_cast<JDIMENSION>(width);
  cinfo->image_height = static_cast<JDIMENSION>(height);
  cinfo->input_components = grey ? 1 : 3;
  cinfo->in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
  const bool progressive = PGJPEGProgressive;
  const int quality = PGJPEGQuality;
  const J_DCT_METHOD method = DCTMethod(PGJPEGWriteDCTMethod);
  Checked(c.err, [cinfo, progressive, quality, method] {
    jpeg_set_defaults(cinfo);
    if (progressive) jpeg_simple_progression(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    cinfo->dct_method = method;
    jpeg_start_compress(cinfo, TRUE);
  });
}

// Preview loads: the smallest DCT scale 1/8, 1/4 or 1/2 whose output still
// covers the size the picture gets when reduced into maxW x maxH (keeping its
// aspect ratio); full size when none does or no reduction was asked for.
// Leaves the output dimensions calculated.
void ChooseReducedScale(jpeg_decompress_struct& cinfo, TErrorMgr& err, int64_t maxW, int64_t maxH) {
  const int64_t w = cinfo.image_width, h = cinfo.image_height;
  if (maxW > 0 && maxH > 0 && w > 0 && h > 0 && (w > maxW || h > maxH)) {
    // The fitted size, rounded up so that the decoded picture is never smaller.
    const bool byHeight = maxW * h >= w * maxH;
    const int64_t fitW = byHeight ? (w * maxH + h - 1) / h : maxW;
    const int64_t fitH = byHeight ? maxH : (h * maxW + w - 1) / w;
    for (unsigned denom : {8u, 4u, 2u}) {
      cinfo.scale_num = 1;
      cinfo.scale_denom = denom;
      Checked(err, [&cinfo] { jpeg_calc_output_dimensions(&cinfo); });
      if (cinfo.output_width >= fitW && cinfo.output_height >= fitH) return;
    }
  }
  cinfo.scale_num = 1;
  cinfo.scale_denom = 1;
  Checked(err, [&cinfo] { jpeg_calc_output_dimensions(&cinfo); });
}

void CheckLibraryVersion() {
  if (!PGJPEGLibraryMatches()) Raise("Invalid library version");
}

// The version tag of an IJG interface version: 62 -> "6b", 80 -> "8".
std::string InterfaceTag(int version) {
  std::string tag = std::to_string(version / 10);
  if (version % 10 != 0) tag += static_cast<char>('a' + version % 10 - 1);
  return tag;
}

// The colours text of the open dialog for a number of components.
const char* ColorsText(int value) {
  switch (value) {
    case 1:
      return "256";
    case 2:
      return "64K";
    case 3:
      return "16.7M";
    case 4:
      return "4294.9M";
    default:
      return "?";
  }
}

} // namespace

bool PGJPEGLibraryMatches(int interfaceVersion, size_t decompressStructSize) {
  auto state = std::make_unique<jpeg_decompress_struct>();
  auto err = std::make_unique<TErrorMgr>();
  InitErrorMgr(*err, pgwaIgnore);
  state->err = &err->pub;
  TErrorMgr& e = *err;
  jpeg_decompress_struct* cinfo = state.get();
  const bool created = Guarded(e, [&] { jpeg_CreateDecompress(cinfo, interfaceVersion, decompressStructSize); });
  jpeg_destroy_decompress(cinfo);
  if (!created) return false;
  const char* libraryText = err->pub.jpeg_message_table[JMSG_VERSION];
  const std::string tag = InterfaceTag(interfaceVersion);
  return libraryText != nullptr && std::strncmp(libraryText, tag.c_str(), tag.size()) == 0;
}

bool PGJPEGLibraryMatches() { return PGJPEGLibraryMatches(JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct)); }

// ---------------------------------------------------------------- reader

TJPGFileFormatReader::TJPGFileFormatReader(std::string extension)
    : TFileFormatReader(std::move(extension), "JPEG (JFIF compliant)") {
  DetectsByContent = true;
}

bool TJPGFileFormatReader::IsFormat(const uint8_t* header) const { return header[0] == 0xFF && header[1] == 0xD8; }

void TJPGFileFormatReader::ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const {
  if (index != 0) Raise(GetMessage1(msgInvalid, "Index"));
  CheckLibraryVersion();
  graphic.SetGamma(PGDefaultGamma);

  auto d = std::make_unique<TDecompressor>(stream, graphic.ReadWarningAction());
  jpeg_decompress_struct* cinfo = &d->cinfo;
  TErrorMgr& err = d->err;
  Checked(err, [cinfo] { jpeg_read_header(cinfo, TRUE); });
  SetDecompressParameters(*cinfo, graphic.FastLoad());
  ChooseReducedScale(*cinfo, err, graphic.LoadReduceMaxWidth(), graphic.LoadReduceMaxHeight());

  // Refused before decompression starts: a progressive file would otherwise
  // be read whole into the library's coefficient buffers first.
  const int components = cinfo->out_color_components;
  if (components != 1 && components != 3) Raise(GetMessage(msgNotSupportedSubformat));
  const uint8_t bitCount = components == 1 ? bc8Bit : bc24Bit;
  const int64_t width = cinfo->output_width, height = cinfo->output_height;
  if (PGBytesPerRow(width, components == 1 ? 8 : 24) * height > PGMaxImageBytes)
    throw EPixelGraphic(GetMessage1(msgFailed, "CreateDIBSection"));

  Checked(err, [cinfo] { jpeg_start_decompress(cinfo); });
  if (cinfo->output_components != components) Raise(GetMessage(msgNotSupportedSubformat));
  // The rows are written by the decoder; rows it does not reach (an abort, a
  // broken file) are cleared on the way out, as fresh memory would be.
  graphic.SetSizeToOverwrite(static_cast<int32_t>(cinfo->output_width), static_cast<int32_t>(cinfo->output_height),
                             bitCount);
  if (components == 1) graphic.SetPaletteIdent(pGray256);
  struct TClearRest {
    TPixelGraphic& Graphic;
    const jpeg_decompress_struct& Info;
    ~TClearRest() {
      for (int y = static_cast<int>(Info.output_scanline); y < Graphic.Height(); ++y)
        std::memset(Graphic.ScanLine(y), 0, static_cast<size_t>(Graphic.BytesPerRow()));
    }
  } clearRest{graphic, *cinfo};

  TObject* sender = const_cast<TJPGFileFormatReader*>(this);
  {
    TPGProgressBracket progress(graphic, sender);
    const JDIMENSION rows = cinfo->output_height;
    while (cinfo->output_scanline < rows) {
      JSAMPROW row = graphic.ScanLine(static_cast<int>(cinfo->output_scanline));
      JDIMENSION got = 0;
      Checked(err, [cinfo, &row, &got] { got = jpeg_read_scanlines(cinfo, &row, 1); });
      if (got == 0) break;  // cannot happen with this source; finish reports it
      if (graphic.DoProgress(sender, static_cast<int>(cinfo->output_scanline), static_cast<int>(rows))) break;
    }
  }
  // After an abort the library finds scanlines missing and fails here.
  Checked(err, [cinfo] { jpeg_finish_decompress(cinfo); });
}

void TJPGFileFormatReader::GetInfo(TStream& stream, int index, TPGFileInfo& info) const {
  TFileFormatReader::GetInfo(stream, index, info);
  if (index != 0) Raise(GetMessage1(msgInvalidValueFor, "Index"));

  auto d = std::make_unique<TDecompressor>(stream, pgwaRaise);
  jpeg_decompress_struct* cinfo = &d->cinfo;
  Checked(d->err, [cinfo] { jpeg_read_header(cinfo, TRUE); });
  SetDecompressParameters(*cinfo, true);

  info.Width = static_cast<int>(cinfo->image_width);
  info.Height = static_cast<int>(cinfo->image_height);
  static const char* const kColorSpaces[] = {"unknown", "GrayScale", "RGB", "YCbCr", "CMYK", "YCbCrK"};
  const int space = static_cast<int>(cinfo->jpeg_color_space);
  // Built in the order colour space, progressive, Adobe in front, JFIF in front.
  std::string details;
  if (cinfo->saw_JFIF_marker) details += "JFIF, ";
  if (cinfo->saw_Adobe_marker) details += "Adope, ";
  if (space >= 0 && space <= 5) details += kColorSpaces[space];
  if (cinfo->progressive_mode) details += ", Progressive";
  info.DetailsText = details;
  const int components = cinfo->num_components;
  info.ColorsText = std::string(ColorsText(components));
  info.BitsPerPixel = 8 * components;
  info.ImageCount = 1;
  info.KindText.clear();
}

// ---------------------------------------------------------------- writer

TJPGFileFormatWriter::TJPGFileFormatWriter(std::string extension, bool listed)
    : TFileFormatWriter(std::move(extension), "JPEG (JFIF compliant)") {
  ListedInFilter = listed;
  CanWriteResolutions = static_cast<TPGColorResSet>((1u << 5) | (1u << 7));
}

void TJPGFileFormatWriter::WriteGraphic(TStream& stream, TPixelGraphic& graphic) {
  CheckLibraryVersion();
  auto c = std::make_unique<TCompressor>(stream, graphic.ReadWarningAction());
  jpeg_compress_struct* cinfo = &c->cinfo;
  TErrorMgr& err = c->err;

  graphic.DetectPaletteIdent();
  bool grey;
  if (graphic.BitCount() == bc24Bit)
    grey = false;
  else if (graphic.BitCount() == bc8Bit && graphic.PaletteIdent() == pGray256)
    grey = true;
  else
    Raise(GetMessage1(msgInvalidValueFor, "BitCount"));

  StartCompress(*c, graphic.Width(), graphic.Height(), grey);

  TObject* sender = this;
  {
    TPGProgressBracket progress(graphic, sender);
    const int rows = graphic.Height();
    for (int n = 0; n < rows; ++n) {
      JSAMPROW row = graphic.ScanLine(n);
      Checked(err, [cinfo, &row] { jpeg_write_scanlines(cinfo, &row, 1); });
      graphic.DoProgress(sender, n + 1, rows);  // every row is written, whatever Abort says
    }
  }
  Checked(err, [cinfo] { jpeg_finish_compress(cinfo); });
}

// ---------------------------------------------------------------- rows

struct TJPEGRowReader::TState {
  TDecompressor D;
  explicit TState(TStream& stream) : D(stream, pgwaRaise) {}
};

TJPEGRowReader::TJPEGRowReader(TStream& stream) : F(std::make_unique<TState>(stream)) {}
TJPEGRowReader::~TJPEGRowReader() = default;

bool TJPEGRowReader::Start() {
  CheckLibraryVersion();
  jpeg_decompress_struct* cinfo = &F->D.cinfo;
  Checked(F->D.err, [cinfo] { jpeg_read_header(cinfo, TRUE); });
  SetDecompressParameters(*cinfo, false);
  Checked(F->D.err, [cinfo] { jpeg_calc_output_dimensions(cinfo); });
  if (cinfo->out_color_space != JCS_EXT_BGR || cinfo->out_color_components != 3) return false;
  if (PGBytesPerRow(cinfo->output_width, 24) * static_cast<int64_t>(cinfo->output_height) > PGMaxImageBytes)
    return false;
  Checked(F->D.err, [cinfo] { jpeg_start_decompress(cinfo); });
  return cinfo->output_components == 3;
}

int32_t TJPEGRowReader::Width() const { return static_cast<int32_t>(F->D.cinfo.output_width); }
int32_t TJPEGRowReader::Height() const { return static_cast<int32_t>(F->D.cinfo.output_height); }
int32_t TJPEGRowReader::NextRow() const { return static_cast<int32_t>(F->D.cinfo.output_scanline); }

void TJPEGRowReader::ReadRow(uint8_t* row) {
  jpeg_decompress_struct* cinfo = &F->D.cinfo;
  JDIMENSION got = 0;
  Checked(F->D.err, [cinfo, &row, &got] { got = jpeg_read_scanlines(cinfo, &row, 1); });
  if (got != 1) Raise(GetMessage(msgNotSupportedSubformat));
}

void TJPEGRowReader::Finish() {
  jpeg_decompress_struct* cinfo = &F->D.cinfo;
  Checked(F->D.err, [cinfo] { jpeg_finish_decompress(cinfo); });
}

struct TJPEGRowWriter::TState {
  TCompressor C;
  explicit TState(TStream& stream) : C(stream, pgwaRaise) {}
};

TJPEGRowWriter::TJPEGRowWriter(TStream& stream, int32_t width, int32_t height)
    : F(std::make_unique<TState>(stream)) {
  CheckLibraryVersion();
  StartCompress(F->C, width, height, false);
}

TJPEGRowWriter::~TJPEGRowWriter() = default;

void TJPEGRowWriter::WriteRow(const uint8_t* row) {
  jpeg_compress_struct* cinfo = &F->C.cinfo;
  JSAMPROW r = const_cast<uint8_t*>(row);
  Checked(F->C.err, [cinfo, &r] { jpeg_write_scanlines(cinfo, &r, 1); });
}

void TJPEGRowWriter::Finish() {
  jpeg_compress_struct* cinfo = &F->C.cinfo;
  Checked(F->C.err, [cinfo] { jpeg_finish_compress(cinfo); });
}

void RegisterJPEGFormats(TPGFormatLists& lists) {
  lists.Readers.push_back(std::make_unique<TJPGFileFormatReader>());
  lists.Readers.push_back(std::make_unique<TJPEGFileFormatReader>());
  lists.Readers.push_back(std::make_unique<TJIFFileFormatReader>());
  lists.Writers.push_back(std::make_unique<TJPGFileFormatWriter>());
  lists.Writers.push_back(std::make_unique<TJPEGFileFormatWriter>());
  lists.Writers.push_back(std::make_unique<TJIFFileFormatWriter>());
}
