#pragma once

// What the commands of zwillo-cli share: the argument parser, number and
// JSON text, the language, the library's thread count, and the options of a
// composition (compose and batch take the same ones).

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/core/autoalign.h"
#include "app/core/compose.h"
#include "platform/messagebox.h"

namespace cli {

// A bad argument: the command's usage line follows the message, exit status 2.
class EUsage : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct TArgs {
  std::vector<std::string> Positional;
  std::map<std::string, std::string> Values; // options with a value
  std::map<std::string, bool> Flags;         // options without one

  bool Flag(const std::string& name) const { return Flags.count(name) != 0; }
  const std::string* Value(const std::string& name) const {
    auto it = Values.find(name);
    return it == Values.end() ? nullptr : &it->second;
  }
};

// Parses argv[first..] with the command's flag and value options ("--name
// value" or "--name=value", anywhere among the file names; "--" ends them).
TArgs ParseArgs(int argc, char** argv, int first, const std::vector<std::string>& flags,
                const std::vector<std::string>& values);

bool ParseInt(const std::string& s, long long lo, long long hi, int& out);
bool ParseReal(const std::string& s, long double& out);
std::vector<std::string> SplitComma(const std::string& s);
// n comma-separated 32-bit integers of option name.
std::vector<int> IntList(const TArgs& a, const std::string& name, size_t n);
// The integer of option name in lo..hi, def when it is not given.
int IntOption(const TArgs& a, const std::string& name, long long lo, long long hi, int def);

// --lang: the library's message language.
void SetLanguage(const TArgs& a);
bool German();
// --threads N: the number of threads the library's bulk operations use.
void SetThreads(const TArgs& a);

// Fixed-point text of a number, whatever the locale says.
std::string Num(double v, int decimals);
std::string JsonNum(double v, int decimals);
std::string JsonString(const std::string& s);
// An automatic alignment's result as a JSON object; its members are separated
// by separator (",\n  " for a printed object, ", " for one line), the object
// ends with close.
std::string AlignJson(const TAutoAlignResult& r, const std::string& separator = ",\n  ",
                      const std::string& close = "\n}\n");
// The one-line summary of an automatic alignment ("Aligned: vertical offset ...").
std::string AlignSummary(const TAutoAlignResult& r);
// The warning of a deviation above the limit (empty when there is none).
std::string DeviationWarningText(const TAutoAlignResult& r);

// The answer to a library message box: OK (Yes for questions), or with
// strict the refusal where the box offers one.
int MessageBoxAnswer(platform::TMsgButtons buttons, bool strict);

// The stereo mode of --mode (a number or a name) and the name of a mode.
int ParseMode(const std::string& s);
std::string ModeName(int mode);
TPairSource ParseSplit(const std::string& s);

// ParseArgs with the command's own options and those of a composition
// (which ParseComposeOptions reads).
TArgs ParseComposeArgs(int argc, char** argv, std::vector<std::string> flags, std::vector<std::string> values);

struct TComposeOptions {
  TComposeFilesJob Job; // everything but the file names
  int Mode = 0;         // the mode without the swap
  bool ModeGiven = false;
};

// The composition options of a command line: mode and swap, split, the
// alignment values, --no-params, automatic alignment, crop, zoom. The JPEG
// quality goes to the library (the settings file's, or --quality), and
// CropWedges of the settings file applies.
TComposeOptions ParseComposeOptions(const TArgs& a);

} // namespace cli
