#include "pgraphic/formats/fileformat.h"

// Placeholder until the PNG unit lands (that unit removes this file).
void RegisterPNGFormats(TPGFormatLists&) {}
