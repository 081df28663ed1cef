#include "pgraphic/formats/tiff.h"

// The TIFF format's entry for the registry. The reader is in tiff_reader.cpp
// (directories in tiff_directory.cpp), the writer in tiff_writer.cpp, the
// PackBits code in tiff_packbits.cpp.

void RegisterTIFFFormats(TPGFormatLists& lists) {
  lists.Readers.push_back(std::make_unique<TTIFFileFormatReader>());
  lists.Readers.push_back(std::make_unique<TTIFFFileFormatReader>());
  lists.Writers.push_back(std::make_unique<TTIFFileFormatWriter>());
  lists.Writers.push_back(std::make_unique<TTIFFFileFormatWriter>());
}

