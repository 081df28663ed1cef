#include "pgraphic/formats/fileformat.h"

// Placeholder until the PCX unit lands (that unit removes this file).
void RegisterPCXFormats(TPGFormatLists&) {}
