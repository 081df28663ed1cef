#pragma once

#include <cstdint>

// Library-wide format settings, with their initial values set when the library
// starts. The application may change them at any time; readers on worker
// threads only read them.

// JPEG (framework settings)
extern uint8_t PGJPEGQuality;         // 1..100, initial 80
extern bool PGJPEGProgressive;        // initial false
extern int PGJPEGWriteDCTMethod;      // 0 integer-accurate, 1 integer-fast, 2 float; initial 2
extern int PGJPEGReadDCTMethod;       // initial 0
// Gamma after loading
extern bool PGGammaCorrection;        // initial true
extern long double PGDefaultGamma;    // initial 1.8
// BMP
extern bool PGExpand16BitColors;      // initial true
// PNG
extern bool PGPNGUseFileBackground;   // initial true
extern bool PGPNGWriteGamma;          // initial true
// PBM, PGM, PPM
extern bool PGPxMWriteBinary;         // initial false
// TIFF
extern bool PGTIFFWriteMotorola;      // initial false
extern int PGTIFFCompression;         // 1 none, 32773 PackBits; initial 1
extern bool PGTIFFWriteCMYK;          // initial false
extern bool PGTIFFWhiteIsZero;        // initial false
extern int PGTIFFResolutionUnit;      // 0..2, initial 1
extern uint32_t PGTIFFXResolution[2]; // numerator, denominator; initial 300, 1
extern uint32_t PGTIFFYResolution[2]; // initial 300, 1
extern bool PGTIFFReadAllImages;      // initial false
extern int PGTIFFMaxImages;           // initial 1000
// MPO
extern bool PGMPOWriteMotorola;       // big-endian MPF and Exif structures; initial false

// Puts every setting back to its initial value (for tests and embedding programs).
void PGResetFormatSettings();
