#include "pgraphic/formats/fileformat.h"

// Placeholder until the BMP unit lands (that unit removes this file).
void RegisterBMPFormats(TPGFormatLists&) {}
