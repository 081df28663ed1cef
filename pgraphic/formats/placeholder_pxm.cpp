#include "pgraphic/formats/fileformat.h"

// Placeholder until the PxM unit lands (that unit removes this file).
void RegisterPxMFormats(TPGFormatLists&) {}
