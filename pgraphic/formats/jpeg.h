#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "pgraphic/formats/fileformat.h"

// JPEG files through the IJG interface of libjpeg-turbo. The three readers and
// the three writers behave identically and differ only by extension and by
// their listing in the dialog filters.

class TJPGFileFormatReader : public TFileFormatReader {
public:
  TJPGFileFormatReader() : TJPGFileFormatReader("jpg") {}
  const char* ClassName() const override { return "TJPGFileFormatReader"; }

  // The JPEG start-of-image marker FF D8.
  bool IsFormat(const uint8_t* header) const override;
  void ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const override;
  void GetInfo(TStream& stream, int index, TPGFileInfo& info) const override;

protected:
  explicit TJPGFileFormatReader(std::string extension);
};

class TJPEGFileFormatReader : public TJPGFileFormatReader {
public:
  TJPEGFileFormatReader() : TJPGFileFormatReader("jpeg") {}
  const char* ClassName() const override { return "TJPEGFileFormatReader"; }
};

class TJIFFileFormatReader : public TJPGFileFormatReader {
public:
  TJIFFileFormatReader() : TJPGFileFormatReader("jif") {}
  const char* ClassName() const override { return "TJIFFileFormatReader"; }
};

class TJPGFileFormatWriter : public TFileFormatWriter {
public:
  TJPGFileFormatWriter() : TJPGFileFormatWriter("jpg", true) {}
  const char* ClassName() const override { return "TJPGFileFormatWriter"; }

  // 24-bit images and 8-bit images with the 256-grey palette.
  void WriteGraphic(TStream& stream, TPixelGraphic& graphic) override;

protected:
  TJPGFileFormatWriter(std::string extension, bool listed);
};

class TJPEGFileFormatWriter : public TJPGFileFormatWriter {
public:
  TJPEGFileFormatWriter() : TJPGFileFormatWriter("jpeg", false) {}
  const char* ClassName() const override { return "TJPEGFileFormatWriter"; }
};

class TJIFFileFormatWriter : public TJPGFileFormatWriter {
public:
  TJIFFileFormatWriter() : TJPGFileFormatWriter("jif", false) {}
  const char* ClassName() const override { return "TJIFFileFormatWriter"; }
};

// Row-by-row decoding and encoding for pipelines that never hold a whole
// picture (the batch's anaglyphs): the same library settings as the reader and
// the writer above, so the rows are those a load gives and the file is the one
// a save writes. Any library warning raises, as does every failure.
class TJPEGRowReader {
public:
  explicit TJPEGRowReader(TStream& stream);
  ~TJPEGRowReader();
  TJPEGRowReader(const TJPEGRowReader&) = delete;
  TJPEGRowReader& operator=(const TJPEGRowReader&) = delete;
  // Reads the header and starts decoding; false (nothing decoded) unless the
  // file decodes to 24-bit blue-green-red rows at full size.
  bool Start();
  int32_t Width() const;
  int32_t Height() const;
  int32_t NextRow() const;  // the row the next ReadRow delivers
  // The next row into row (3 Width bytes).
  void ReadRow(uint8_t* row);
  // After the last row: checks the rest of the file.
  void Finish();

private:
  struct TState;
  std::unique_ptr<TState> F;
};

class TJPEGRowWriter {
public:
  // A 24-bit picture of width x height, blue-green-red rows.
  TJPEGRowWriter(TStream& stream, int32_t width, int32_t height);
  ~TJPEGRowWriter();
  TJPEGRowWriter(const TJPEGRowWriter&) = delete;
  TJPEGRowWriter& operator=(const TJPEGRowWriter&) = delete;
  void WriteRow(const uint8_t* row);
  // After the last row: completes the file.
  void Finish();

private:
  struct TState;
  std::unique_ptr<TState> F;
};

// True when the JPEG library in use has the interface these wrappers were
// compiled against: it accepts a decompressor of the given interface version
// and structure size, and its own version text starts with the matching tag
// ("6b" for interface 62). The no-argument form checks the compiled-in values.
bool PGJPEGLibraryMatches();
bool PGJPEGLibraryMatches(int interfaceVersion, size_t decompressStructSize);
