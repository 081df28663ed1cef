#include "pgraphic/formats/bmp.h"

// The bitmap format's entry for the registry. The reader is in bmp_reader.cpp
// (bit fields in bmp_bitfields.cpp, RLE in bmp_rle.cpp), the writer in
// bmp_writer.cpp. The image's ReadPackedBitmap and WritePackedBitmap are
// defined beside the reader and the writer.

void RegisterBMPFormats(TPGFormatLists& lists) {
  lists.Readers.push_back(std::make_unique<TBMPFileFormatReader>());
  lists.Readers.push_back(std::make_unique<TDIBFileFormatReader>());
  lists.Readers.push_back(std::make_unique<TRLEFileFormatReader>());
  lists.Writers.push_back(std::make_unique<TBMPFileFormatWriter>());
  lists.Writers.push_back(std::make_unique<TDIBFileFormatWriter>());
}

