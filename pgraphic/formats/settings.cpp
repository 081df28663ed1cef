#include "pgraphic/formats/settings.h"

uint8_t PGJPEGQuality = 80;
bool PGJPEGProgressive = false;
int PGJPEGWriteDCTMethod = 2;
int PGJPEGReadDCTMethod = 0;
bool PGGammaCorrection = true;
long double PGDefaultGamma = 1.8L;
bool PGExpand16BitColors = true;
bool PGPNGUseFileBackground = true;
bool PGPNGWriteGamma = true;
bool PGPxMWriteBinary = false;
bool PGTIFFWriteMotorola = false;
int PGTIFFCompression = 1;
bool PGTIFFWriteCMYK = false;
bool PGTIFFWhiteIsZero = false;
int PGTIFFResolutionUnit = 1;
uint32_t PGTIFFXResolution[2] = {300, 1};
uint32_t PGTIFFYResolution[2] = {300, 1};
bool PGTIFFReadAllImages = false;
int PGTIFFMaxImages = 1000;
bool PGMPOWriteMotorola = false;

void PGResetFormatSettings() {
  PGJPEGQuality = 80;
  PGJPEGProgressive = false;
  PGJPEGWriteDCTMethod = 2;
  PGJPEGReadDCTMethod = 0;
  PGGammaCorrection = true;
  PGDefaultGamma = 1.8L;
  PGExpand16BitColors = true;
  PGPNGUseFileBackground = true;
  PGPNGWriteGamma = true;
  PGPxMWriteBinary = false;
  PGTIFFWriteMotorola = false;
  PGTIFFCompression = 1;
  PGTIFFWriteCMYK = false;
  PGTIFFWhiteIsZero = false;
  PGTIFFResolutionUnit = 1;
  PGTIFFXResolution[0] = 300;
  PGTIFFXResolution[1] = 1;
  PGTIFFYResolution[0] = 300;
  PGTIFFYResolution[1] = 1;
  PGTIFFReadAllImages = false;
  PGTIFFMaxImages = 1000;
  PGMPOWriteMotorola = false;
}
