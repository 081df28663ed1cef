#include "pgraphic/core/messages.h"

#include "pgraphic/core/exceptions.h"

std::atomic<int> MessageLanguage{0};

std::string GetMessage(int key) {
  const int lang = MessageLanguage.load(std::memory_order_relaxed);
  if (key < 0 || key >= PGLangStrCount || lang < 0 || lang > 5) return {};
  const char* text = PGLangStrEntries[key].Text[lang];
  return text ? text : "";
}

std::string ReplacePlaceholders(const std::string& text, const std::string* args, int count) {
  // Walk the template once: the first occurrence of each "%Sk" (k <= count) is
  // replaced, and inserted text is never looked at again.
  std::string out;
  out.reserve(text.size() + 32);
  bool done[3] = {false, false, false};
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '%' && i + 2 < text.size() + 0 && text[i + 1] == 'S' && text[i + 2] >= '1' &&
        text[i + 2] <= '3') {
      const int k = text[i + 2] - '1';
      if (k < count && !done[k]) {
        out += args[k];
        done[k] = true;
        i += 3;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
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
