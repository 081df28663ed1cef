#pragma once

#include <string>

#include "app/core/compose.h"
#include "app/core/stereo_core.h"

// Stereo pairs in one file: loading both photographs from an MPO or JPS file
// or from a side-by-side or over/under picture, the parameter files of the
// two sides of such a pair, and saving the aligned pair as MPO or JPS.

// The stereo file formats a pair is saved in, by extension: "mpo" or "jps"
// (any case). The aligned pair goes to such files instead of a stereo image.
bool IsStereoPairFileName(const std::string& fileName);

// The parameter file of one side of a pair from one file: the file's name
// with its last four characters removed, then "_l.3DF" (left) or "_r.3DF"
// (right): "haus.mpo" -> "haus_l.3DF" and "haus_r.3DF", the names that the
// photographs haus_l.jpg and haus_r.jpg would have, so a pair split into two
// files keeps its alignment.
std::string PairParameterFileName(const std::string& pairFileName, bool rightSide);
// Both sides' parameter files (missing values read as 0; never fails).
TPairAlignment ReadPairParameters(const std::string& pairFileName);
// Writes one side's parameter file, as WriteParameters does.
void WritePairParameters(const std::string& pairFileName, bool rightSide, const TSideAlignment& side);

// Whether the file holds a stereo pair that LoadStereoFile(psStereoFile)
// loads: an MPO listing two disparity images, or a JPS of two views. Reads
// only the headers; never fails (false for anything unreadable).
bool HoldsStereoPair(const std::string& fileName) noexcept;

// Loads both photographs from one file. psStereoFile takes an MPO (both
// images decoded at the same time, as LoadStereoPair does) or a JPS (the
// picture decoded once and split); any other file fails with "Not a MPO/JPS
// file". The other sources load the picture in any format and split it.
// Loading reports csLoadLeft and csLoadRight; failures: EComposeFailed in
// csLoadLeft (the file, the left view) or csLoadRight (the right view).
TStereoPair LoadStereoFile(const std::string& fileName, TPairSource source, const TComposeProgress& progress = {});

// The aligned pair: the right picture turned by the tilt difference (for an
// automatic alignment scaled first and the area cropped to what both fill, as
// with cropWedges), then the common area of each picture as a 24-bit image —
// exactly the two halves of the left-right stereo image. With the pair handed
// over, the corrected picture replaces the right photograph at once. Null
// views when the common area is empty. Failures: EComposeFailed in csTilt or
// csCompose.
TStereoPair AlignedPair(TStereoPair& pair, const TPairAlignment& alignment, const TComposeProgress& progress = {},
                        bool cropWedges = false);
// The same on pictures the caller keeps (the main window's views): left and
// right are only read, the corrected picture is a copy freed before returning.
TStereoPair AlignedPair(TPixelGraphic& left, TPixelGraphic& right, const TPairAlignment& alignment,
                        const TComposeProgress& progress = {}, bool cropWedges = false);

// Saves a pair as an MPO or JPS file, by the extension, through the format
// registry (each view converted as a single save would convert it).
void SaveStereoPair(TPixelGraphic& left, TPixelGraphic& right, const std::string& fileName);
