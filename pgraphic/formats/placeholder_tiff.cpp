#include "pgraphic/formats/fileformat.h"

// Placeholder until the TIFF unit lands (that unit removes this file).
void RegisterTIFFFormats(TPGFormatLists&) {}
