// Texts users see that come from the codecs and the format readers in
// English, beside the numbered messages: the JPEG library's messages and the
// words of the file information (open dialog preview). Looked up by their
// English wording; the German column is the one the program uses.
#include <cstring>

#include "pgraphic/core/messages.h"

namespace {

// English, German; the other languages keep the English wording.
struct TTextEntry {
  const char* English;
  const char* German;
};

// The JPEG library's format strings (printf conversions in the same order).
const TTextEntry CodecTexts[] = {
    {"Premature end of JPEG file", "Vorzeitiges Ende der JPEG-Datei"},
    {"Corrupt JPEG data: premature end of data segment", "Beschädigte JPEG-Daten: vorzeitiges Ende eines Datensegments"},
    {"Corrupt JPEG data: bad Huffman code", "Beschädigte JPEG-Daten: ungültiger Huffman-Code"},
    {"Corrupt JPEG data: %u extraneous bytes before marker 0x%02x",
     "Beschädigte JPEG-Daten: %u überzählige Bytes vor Marker 0x%02x"},
    {"Corrupt JPEG data: found marker 0x%02x instead of RST%d",
     "Beschädigte JPEG-Daten: Marker 0x%02x statt RST%d gefunden"},
    {"Corrupt JPEG data: bad ICC marker", "Beschädigte JPEG-Daten: ungültiger ICC-Marker"},
    {"Inconsistent progression sequence for component %d coefficient %d",
     "Widersprüchliche Progressionsfolge für Komponente %d, Koeffizient %d"},
    {"Invalid SOS parameters for sequential JPEG", "Ungültige SOS-Parameter für sequentielles JPEG"},
    {"Unknown Adobe color transform code %d", "Unbekannter Adobe-Farbtransformationscode %d"},
    {"Warning: unknown JFIF revision number %d.%02d", "Warnung: unbekannte JFIF-Version %d.%02d"},
    {"Not a JPEG file: starts with 0x%02x 0x%02x", "Keine JPEG-Datei: beginnt mit 0x%02x 0x%02x"},
    {"Empty input file", "Leere Eingabedatei"},
    {"Premature end of input file", "Vorzeitiges Ende der Eingabedatei"},
    {"Unsupported JPEG process: SOF type 0x%02x", "Nicht unterstütztes JPEG-Verfahren: SOF-Typ 0x%02x"},
    {"Unsupported JPEG data precision %d", "Nicht unterstützte JPEG-Genauigkeit %d"},
    {"Maximum supported image dimension is %u pixels", "Die größte unterstützte Bildabmessung ist %u Pixel"},
    {"Insufficient memory (case %d)", "Nicht genug Speicher (Fall %d)"},
    {"JPEG datastream contains no image", "Der JPEG-Datenstrom enthält kein Bild"},
    {"Empty JPEG image (DNL not supported)", "Leeres JPEG-Bild (DNL nicht unterstützt)"},
    {"Invalid JPEG file structure: SOS before SOF", "Ungültiger Aufbau der JPEG-Datei: SOS vor SOF"},
    {"Invalid JPEG file structure: two SOF markers", "Ungültiger Aufbau der JPEG-Datei: zwei SOF-Marker"},
    {"Invalid JPEG file structure: two SOI markers", "Ungültiger Aufbau der JPEG-Datei: zwei SOI-Marker"},
    {"Invalid JPEG file structure: missing SOS marker", "Ungültiger Aufbau der JPEG-Datei: SOS-Marker fehlt"},
    {"Bogus Huffman table definition", "Ungültige Huffman-Tabelle"},
    {"Huffman table 0x%02x was not defined", "Huffman-Tabelle 0x%02x ist nicht definiert"},
    {"Quantization table 0x%02x was not defined", "Quantisierungstabelle 0x%02x ist nicht definiert"},
    {"Bogus marker length", "Ungültige Markerlänge"},
    {"Unsupported marker type 0x%02x", "Nicht unterstützter Markertyp 0x%02x"},
    {"Invalid component ID %d in SOS", "Ungültige Komponentenkennung %d in SOS"},
    {"Too many color components: %d, max %d", "Zu viele Farbkomponenten: %d, höchstens %d"},
    {"Bogus sampling factors", "Ungültige Abtastfaktoren"},
    {"Bogus JPEG colorspace", "Ungültiger JPEG-Farbraum"},
    {"Unsupported color conversion request", "Nicht unterstützte Farbumwandlung"},
    {"Sorry, arithmetic coding is not implemented", "Arithmetische Kodierung wird nicht unterstützt"},
    {"IDCT output block size %d not supported", "IDCT-Blockgröße %d wird nicht unterstützt"},
    // The file information of the format readers.
    {"JPEG (JFIF compliant)", "JPEG (JFIF-kompatibel)"},
    {"16.7M", "16,7 Mio."},
    {"16.7M?", "16,7 Mio.?"},
    {"16.7M ?", "16,7 Mio. ?"},
    {"16.7 M", "16,7 Mio."},
    {"4294.9M", "4294,9 Mio."},
    {"64K", "64 Tsd."},
    {"64K?", "64 Tsd.?"},
    {"unknown", "unbekannt"},
    {"GrayScale", "Graustufen"},
    {"Progressive", "Progressiv"},
    {"palette", "Palette"},
    {"alpha", "Alpha"},
    {"interlaced", "Zeilensprung"},
    {"Uncompr.", "Unkompr."},
    {"RGB Palette", "RGB-Palette"},
    {"(Unsupported compression)", "(Nicht unterstützte Kompression)"},
    {"Uncompressed", "Unkomprimiert"},
    {"Run-length encoded", "Lauflängenkodiert"},
    {"Color-mapped", "Farbpalette"},
    {"True-color", "Echtfarben"},
    {"\"Black-and-white\"", "\"Schwarz-weiß\""},
    {"Binary", "Binär"},
    {"Version 2.8 (2) with Palette", "Version 2.8 (2) mit Palette"},
    {"Version 2.8 (3) without Palette", "Version 2.8 (3) ohne Palette"},
};

} // namespace

const char* TranslatedText(const char* english) {
  if (!english || MessageLanguage.load(std::memory_order_relaxed) != 1) return english;
  for (const TTextEntry& e : CodecTexts)
    if (std::strcmp(e.English, english) == 0) return e.German;
  return english;
}

std::string TranslatedList(const std::string& english) {
  // Each part of a list such as "JFIF, YCbCr, Progressive" on its own.
  std::string out;
  size_t start = 0;
  while (true) {
    const size_t comma = english.find(", ", start);
    const std::string part = english.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    out += TranslatedText(part.c_str());
    if (comma == std::string::npos) return out;
    out += ", ";
    start = comma + 2;
  }
}
