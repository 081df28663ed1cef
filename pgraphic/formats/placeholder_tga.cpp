#include "pgraphic/formats/fileformat.h"

// Placeholder until the TGA unit lands (that unit removes this file).
void RegisterTGAFormats(TPGFormatLists&) {}
