#include <gtest/gtest.h>

#include "pgraphic/core/exceptions.h"
#include "pgraphic/core/messages.h"

namespace {

struct LanguageGuard {
  explicit LanguageGuard(int lang) { MessageLanguage = lang; }
  ~LanguageGuard() { MessageLanguage = 0; }
};

TEST(Messages, TableIsOrderedAndSentinelsAreEmpty) {
  EXPECT_NO_THROW(CheckMessageTable());
  for (int lang = 0; lang < 6; ++lang) {
    LanguageGuard g(lang);
    EXPECT_EQ(GetMessage(0), "");
    EXPECT_EQ(GetMessage(84), "");
  }
}

TEST(Messages, CheckReportsFirstMisplacedKey) {
  TPGLangStrEntry entries[3] = {{0, {}}, {1, {}}, {7, {}}};
  try {
    CheckMessageTable(entries, 3);
    FAIL() << "no exception";
  } catch (const EPixelGraphic& e) {
    EXPECT_STREQ(e.what(), "PGLangStrEntries order wrong 2 and 7 are not identical");
  }
}

TEST(Messages, EveryLanguageHasEveryTextExceptTheSixthColumn) {
  for (int lang = 0; lang < 5; ++lang) {
    LanguageGuard g(lang);
    for (int key = 1; key < 84; ++key) EXPECT_FALSE(GetMessage(key).empty()) << "lang " << lang << " key " << key;
  }
  LanguageGuard g(5);
  EXPECT_EQ(GetMessage(25), "Image files");
  EXPECT_EQ(GetMessage(6), "");
}

TEST(Messages, LanguageOutOfRangeYieldsNoText) {
  for (int lang : {-1, 6, 100}) {
    LanguageGuard g(lang);
    EXPECT_EQ(GetMessage(6), "");
    EXPECT_EQ(GetMessage1(19, "x"), "");
  }
}

TEST(Messages, UnknownExtensionInEveryLanguage) {
  EXPECT_EQ(GetMessage1(19, "xyz"), "Unknown file extension \"xyz\"");
  {
    LanguageGuard g(1);
    EXPECT_EQ(GetMessage1(19, "xyz"), "Unbekannte Dateinamenerweiterung \"xyz\"");
  }
  {
    LanguageGuard g(3);  // Dutch has no placeholder: the extension is left out
    EXPECT_EQ(GetMessage1(19, "xyz"), "Onbekende bestand extensie");
  }
}

TEST(Messages, ColourResolutionWarningFillsPlaceholdersByRole) {
  EXPECT_EQ(GetMessage3(17, "Bitmap", "16 colors", "256 colors"),
            "The graphic cannot be saved to a Bitmap file with the current color resolution (16 colors).\r\r"
            "The graphic will be saved with a different color resolution (256 colors).");
  LanguageGuard g(1);
  // German names the resolution before the file format.
  EXPECT_EQ(GetMessage3(17, "Bitmap", "16 Farben", "256 Farben"),
            "Die Grafik kann nicht mit der augenblicklichen Farbauflösung (16 Farben) in eine Bitmap Datei "
            "gespeichert werden.\r\rDie Grafik wird mit einer anderen Auflösung (256 Farben) gespeichert.");
  MessageLanguage = 3;
  const std::string dutch = GetMessage3(17, "FMT", "CUR", "TGT");
  EXPECT_LT(dutch.find("CUR"), dutch.find("FMT"));
  EXPECT_NE(dutch.find("TGT"), std::string::npos);
}

TEST(Messages, InsertedTextIsNotSearchedAgain) {
  EXPECT_EQ(GetMessage2(18, "%S2", "X"),
            "The graphic cannot be saved with to a %S2 file with the current color resolution (X)");
  // Only the first occurrence of a placeholder is replaced; missing ones are skipped.
  const std::string args[2] = {"a", "b"};
  EXPECT_EQ(ReplacePlaceholders("%S1-%S1-%S3", args, 2), "a-%S1-%S3");
  EXPECT_EQ(GetMessage1(31, "CreateDIBSection"), "CreateDIBSection failed");
}

TEST(Messages, TextsTheSystemQuotesExactly) {
  LanguageGuard g(1);
  EXPECT_EQ(GetMessage(21), "Nagative Höhe");
  EXPECT_EQ(GetMessage(37), "Nicht unterstützer Feld-Typ %S1");
  EXPECT_EQ(GetMessage(29), "Vorgang auf Anwender-Wunsch abgebrochen");
  MessageLanguage = 2;
  EXPECT_EQ(GetMessage(29), "Opération abandonnée par l'utilisateur.");
  EXPECT_EQ(GetMessage(46), "V");
  EXPECT_EQ(GetMessage(64), "RVB");
  MessageLanguage = 4;
  EXPECT_EQ(GetMessage(28), "Atención");
  MessageLanguage = 3;
  EXPECT_EQ(GetMessage(39), "Unsupported Compression");
}

} // namespace
