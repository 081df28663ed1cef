#include "platform/texts.h"

namespace platform {

std::atomic<int> TextLanguage{0};

std::string FillPlaceholders(const std::string& text, const std::string* args, int count) {
  // Walk the template once: the first occurrence of each "%Sk" (k <= count) is
  // replaced, and inserted text is never looked at again.
  std::string out;
  out.reserve(text.size() + 32);
  bool done[3] = {false, false, false};
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '%' && i + 2 < text.size() && text[i + 1] == 'S' && text[i + 2] >= '1' && text[i + 2] <= '3') {
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

} // namespace platform
