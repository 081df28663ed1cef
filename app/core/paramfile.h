#pragma once

#include <string>

#include "app/core/stereo_core.h"

// The alignment parameter file of one photograph: an INI file beside it with
// the section "Parameter" and the keys x, y (identical point), xD, yD (second
// point), x1, y1, x2, y2 (tilt line), and for an automatic alignment
// "Scale", "xExact" and "yExact" (decimal numbers with a point), which older
// readers ignore.

// The photograph's file name with its last four characters removed and ".3DF"
// appended: "haus_l.jpg" -> "haus_l.3DF", "bild.jpeg" -> "bild..3DF", and a
// name of four characters or fewer gives ".3DF" (which, having no folder,
// lives in the configuration folder). Characters, not bytes, are counted.
std::string ParameterFileName(const std::string& imageFileName);

// The photograph's full path, as the desktop program's open dialog gives it:
// the name parameter files of photographs named on a command line are derived
// from (a bare name would put the file in the configuration folder).
std::string FullPhotoName(const std::string& name);

// Reads the eight keys; a missing file, a missing key or a value that is not an
// integer (decimal, or hexadecimal with "0x") gives 0. Never fails. Scale and
// Exact are read when their keys hold numbers (both coordinates for Exact).
TSideAlignment ReadParameters(const std::string& imageFileName);

// Writes the eight keys in the order x, y, xD, yD, x1, y1, x2, y2, then Scale,
// xExact, yExact when the side has them (a side without them empties these
// keys where the file has them and adds nothing); other content of an
// existing file stays. Raises platform::EIniFileException
// ("nach <file> kann nicht geschrieben werden") when the file cannot be
// written; keys written before the failure stay.
void WriteParameters(const std::string& imageFileName, const TSideAlignment& side);

// The same on a parameter file named directly.
TSideAlignment ReadParameterFile(const std::string& parameterFileName);
void WriteParameterFile(const std::string& parameterFileName, const TSideAlignment& side);
