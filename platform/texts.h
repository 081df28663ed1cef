#pragma once

#include <atomic>
#include <string>

// What the texts users see have in common across the layers: the selected
// language and the filling of placeholders.
namespace platform {

// The language of the texts users see: 0 English (at start), 1 German,
// 2 French, 3 Dutch, 4 Spanish, 5 a sixth column. The graphics library's
// MessageLanguage is this very setting, so the file layer's texts follow the
// library's messages.
extern std::atomic<int> TextLanguage;

// text with the first "%S1" (then "%S2", "%S3") replaced by args[0..count-1];
// a placeholder that does not occur is skipped, and inserted strings are not
// searched again.
std::string FillPlaceholders(const std::string& text, const std::string* args, int count);

} // namespace platform
