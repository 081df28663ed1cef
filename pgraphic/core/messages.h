#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// The library's numbered messages in five languages (English, German, French,
// Dutch, Spanish) plus a sixth column, and the selection of the language.

struct TPGLangStrEntry {
  uint8_t Key;          // equals the entry's position
  const char* Text[6];  // English, German, French, Dutch, Spanish, sixth column
};

constexpr int PGLangStrCount = 85;
extern const TPGLangStrEntry PGLangStrEntries[PGLangStrCount];

// 0 English (at library start), 1 German, 2 French, 3 Dutch, 4 Spanish, 5 the
// sixth column. Any other value yields empty texts. The file layer's texts
// (platform::TextLanguage) follow the same setting.
extern std::atomic<int>& MessageLanguage;

// The text of message key in the selected language ("" when missing).
std::string GetMessage(int key);
// The text with the first "%S1" (then "%S2", "%S3") replaced; a placeholder that
// does not occur is skipped, and inserted strings are not searched again.
std::string GetMessage1(int key, const std::string& s1);
std::string GetMessage2(int key, const std::string& s1, const std::string& s2);
std::string GetMessage3(int key, const std::string& s1, const std::string& s2, const std::string& s3);
// Placeholder replacement on any text, by the same rules.
std::string ReplacePlaceholders(const std::string& text, const std::string* args, int count);

// A text of the codecs or of the file information given in its English
// wording, in the selected language; the wording itself where the library has
// no translation (the JPEG library's messages, "16.7M", ...).
const char* TranslatedText(const char* english);
// The same for each part of a list separated by ", ".
std::string TranslatedList(const std::string& english);

// The file layer's messages (platform::TFileText t) have the keys
// msgFileTextFirst + t.
constexpr int msgFileTextFirst = 100;

// Verifies that every entry's key equals its position; raises EPixelGraphic
// ("PGLangStrEntries order wrong ...") on the first mismatch. Run at start.
void CheckMessageTable();
void CheckMessageTable(const TPGLangStrEntry* entries, int count);

// The message keys the library uses by name.
enum TPGMessageKey : int {
  msgXYIndexOutOfRange = 1,
  msgNoPalette = 2,
  msgInvalidPaletteIndex = 3,
  msgUnknownClipboardFormat = 4,
  msgInvalidTemporaryFile = 5,
  msgUnknownFileFormat = 6,
  msgInvalid = 7,
  msgBlackAndWhite = 8,
  msg2Colors = 9,
  msg16ShadesOfGray = 10,
  msg16SystemColors = 11,
  msg16Colors = 12,
  msg256ShadesOfGray = 13,
  msg256Colors = 14,
  msg16MillionColors = 15,
  msgIsEmpty = 16,
  msgColorResWarning = 17,
  msgCannotWriteColorRes = 18,
  msgUnknownFileExtension = 19,
  msgInvalidValueFor = 20,
  msgNegativeHeight = 21,
  msgNegativeWidth = 22,
  msgFilterSourceIsTarget = 23,
  msgBit = 24,
  msgImageFiles = 25,
  msgAllFiles = 26,
  msgInvalidSizeOf = 27,
  msgWarning = 28,
  msgOperationAborted = 29,
  msgNotSupportedSubformat = 30,
  msgFailed = 31,
  msgUnexpectedEndOfFile = 32,
  msgUnknownSubformat = 33,
  msgNotAFile = 34,
  msgWidthOrHeightZero = 35,
  msgInvalidColorResolution = 36,
  msgUnsupportedFieldType = 37,
  msgInvalidCountOfBytesInRow = 38,
  msgUnsupportedCompression = 39,
  msgOK = 42,
  msgCancel = 43,
};
