#include "pgraphic/core/messages.h"

#include "pgraphic/core/exceptions.h"
#include "platform/files.h"
#include "platform/texts.h"

// The library's language is the one setting all layers share.
std::atomic<int>& MessageLanguage = platform::TextLanguage;

std::string GetMessage(int key) {
  const int lang = MessageLanguage.load(std::memory_order_relaxed);
  if (lang < 0 || lang > 5) return {};
  if (key >= msgFileTextFirst && key < msgFileTextFirst + platform::ftCount)
    return platform::FileTextTemplate(key - msgFileTextFirst, lang);
  if (key < 0 || key >= PGLangStrCount) return {};
  const char* text = PGLangStrEntries[key].Text[lang];
  return text ? text : "";
}

std::string ReplacePlaceholders(const std::string& text, const std::string* args, int count) {
  return platform::FillPlaceholders(text, args, count);
}

std::string GetMessage1(int key, const std::string& s1) {
  const std::string args[1] = {s1};
  return ReplacePlaceholders(GetMessage(key), args, 1);
}

std::string GetMessage2(int key, const std::string& s1, const std::string& s2) {
  const std::string args[2] = {s1, s2};
  return ReplacePlaceholders(GetMessage(key), args, 2);
}

std::string GetMessage3(int key, const std::string& s1, const std::string& s2, const std::string& s3) {
  const std::string args[3] = {s1, s2, s3};
  return ReplacePlaceholders(GetMessage(key), args, 3);
}

void CheckMessageTable(const TPGLangStrEntry* entries, int count) {
  for (int i = 0; i < count; ++i) {
    if (entries[i].Key != i)
      throw EPixelGraphic("PGLangStrEntries order wrong " + std::to_string(i) + " and " +
                          std::to_string(entries[i].Key) + " are not identical");
  }
}

void CheckMessageTable() { CheckMessageTable(PGLangStrEntries, PGLangStrCount); }

namespace {
// The table is checked once when the library starts.
const bool MessageTableChecked = (CheckMessageTable(), true);
} // namespace
