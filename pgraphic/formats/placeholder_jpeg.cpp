#include "pgraphic/formats/fileformat.h"

// Placeholder until the JPEG unit lands (that unit removes this file).
void RegisterJPEGFormats(TPGFormatLists&) {}
