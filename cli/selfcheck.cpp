// Prints the library version and the languages of its message table, and
// checks that an image can be created and written pixel by pixel.
#include <cstdio>

#include "pgraphic/core/messages.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/version.h"

int main() {
  try {
    CheckMessageTable();
    std::printf("%s %s\n", PGRAPHIC_NAME, PGRAPHIC_VERSION);
    static const char* names[] = {"English", "German", "French", "Dutch", "Spanish", "sixth column"};
    for (int lang = 0; lang < 6; ++lang) {
      MessageLanguage = lang;
      int filled = 0;
      for (int key = 0; key < PGLangStrCount; ++key) filled += GetMessage(key).empty() ? 0 : 1;
      std::printf("  %d %-13s %2d messages, e.g. \"%s\"\n", lang, names[lang], filled, GetMessage(msgUnknownFileFormat).c_str());
    }
    MessageLanguage = 0;
    TPixelGraphic image;
    image.SetSize(64, 48, bc24Bit);
    image.SetPixelColors(10, 10, RGBColor(255, 128, 0));
    const bool ok = image.PixelColors(10, 10) == RGBColor(255, 128, 0);
    std::printf("image check: %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
