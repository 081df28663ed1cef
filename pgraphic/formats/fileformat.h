#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "platform/stream.h"

// The reader/writer class tree shared by every file format.

// What GetInfo reports about one image of a file.
struct TPGFileInfo {
  int ImageCount = 1;
  int BitsPerPixel = 0;
  std::string ColorsText;
  int Height = 0;
  int Width = 0;
  std::string KindText;
  std::string DetailsText;
};

class TFileFormatReaderWriter : public TObject {
public:
  TFileFormatReaderWriter(std::string extension, std::string description)
      : Extension(std::move(extension)), Description(std::move(description)) {}
  // The class name as it appears in messages ("TBMPFileFormatWriter").
  virtual const char* ClassName() const = 0;

  bool ListedInFilter = true;
  std::string Extension;    // lower case, without the dot
  std::string Description;  // shown in filters, messages and file information
};

// Readers keep no state between calls: one instance serves every load, also
// from worker threads, so their operations are const.
class TFileFormatReader : public TFileFormatReaderWriter {
public:
  using TFileFormatReaderWriter::TFileFormatReaderWriter;
  static constexpr int HeaderSize = 17;

  bool DetectsByContent = false;

  // header: the first 17 bytes of the stream (bytes past a short stream's end are 0).
  virtual bool IsFormat(const uint8_t* header) const {
    (void)header;
    return false;
  }
  // Reads image number index from the stream's current position into graphic.
  virtual void ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const {
    (void)stream;
    (void)graphic;
    (void)index;
  }
  // Reads only the headers. The base resets info to one image and zeros;
  // every reader calls it first.
  virtual void GetInfo(TStream& stream, int index, TPGFileInfo& info) const {
    (void)stream;
    (void)index;
    info = TPGFileInfo{};
  }
};

// Colour-resolution codes 0..7 as a bit set (bit n = code n).
using TPGColorResSet = uint8_t;
constexpr TPGColorResSet PGAllColorRes = 0xFF;

class TFileFormatWriter : public TFileFormatReaderWriter {
public:
  using TFileFormatReaderWriter::TFileFormatReaderWriter;

  bool MultiImage = false;
  TPGColorResSet CanWriteResolutions = 0;

  // One complete file; multi-image writers run BeginFile, WriteImage, EndFile.
  virtual void WriteGraphic(TStream& stream, TPixelGraphic& graphic) {
    (void)stream;
    (void)graphic;
  }
  virtual void BeginFile(TStream& stream) { (void)stream; }
  virtual void WriteImage(TStream& stream, TPixelGraphic& graphic) {
    (void)stream;
    (void)graphic;
  }
  virtual void EndFile(TStream& stream) { (void)stream; }
};

// The registry's two lists, filled once by the Register*Formats functions.
struct TPGFormatLists {
  std::vector<std::unique_ptr<TFileFormatReader>> Readers;
  std::vector<std::unique_ptr<TFileFormatWriter>> Writers;
};

// Each format unit adds its classes (pgraphic/formats/<format>.cpp).
void RegisterBMPFormats(TPGFormatLists& lists);
void RegisterJPEGFormats(TPGFormatLists& lists);
void RegisterPNGFormats(TPGFormatLists& lists);
void RegisterPCXFormats(TPGFormatLists& lists);
void RegisterPxMFormats(TPGFormatLists& lists);
void RegisterTGAFormats(TPGFormatLists& lists);
void RegisterTIFFFormats(TPGFormatLists& lists);
