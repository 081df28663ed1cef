// zwillo-cli: composes stereo images, converts and inspects image files from
// the command line, with the stereo core and the format registry of the
// desktop program.
//
// Exit status: 0 success, 1 failure of the library (its message on standard
// error), 2 bad arguments (a usage message on standard error).
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/core/autoalign.h"
#include "app/core/compose.h"
#include "app/core/paramfile.h"
#include "app/core/settingsfile.h"
#include "app/core/stereo_core.h"
#include "app/core/stereofile.h"
#include "cli/convert_steps.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/threadpool.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic/formats/settings.h"
#include "platform/files.h"
#include "platform/messagebox.h"

namespace {

// ------------------------------------------------------------------ usage errors

class EUsage : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

const char* const GeneralHelp =
    "Usage: zwillo-cli COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  compose LEFT RIGHT OUTPUT   compose a stereo image from a stereo pair\n"
    "  compose PAIR OUTPUT         the same from one MPO, JPS or side-by-side file\n"
    "  align LEFT RIGHT            align a stereo pair automatically\n"
    "  convert INPUT OUTPUT        convert an image file, with optional steps\n"
    "  info FILE                   show what an image file holds\n"
    "\n"
    "Options of every command:\n"
    "  --lang en|de|fr|nl|es   language of the messages (default en)\n"
    "  --strict                treat warnings as failures\n"
    "  --threads N             threads for the image work (default: one per\n"
    "                          processor core; 1: a single thread)\n"
    "  --help                  show the help of the command\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 bad arguments.\n"
    "Run 'zwillo-cli COMMAND --help' for the options of a command.\n";

const char* const ComposeHelp =
    "Usage: zwillo-cli compose LEFT RIGHT OUTPUT [OPTIONS]\n"
    "       zwillo-cli compose PAIR OUTPUT [--split parallel|cross|over-under] [OPTIONS]\n"
    "\n"
    "Loads both photographs, reads each one's alignment parameter file (the\n"
    "photograph's name with its last four characters replaced by \".3DF\"),\n"
    "computes the common area, compensates the tilt, composes the stereo image\n"
    "and saves it (format by the extension of OUTPUT).\n"
    "\n"
    "PAIR is one file holding both photographs: an MPO (stereo camera) or JPS\n"
    "file, or with --split a picture holding the views side by side or one over\n"
    "the other. Its parameter files are PAIR less four characters plus\n"
    "\"_l.3DF\" and \"_r.3DF\".\n"
    "An OUTPUT ending in .mpo or .jps receives the aligned pair (tilt\n"
    "compensated, common area of each photograph) instead of a stereo image.\n"
    "\n"
    "Options:\n"
    "  --split S                PAIR is a picture: parallel (left view left),\n"
    "                           cross (right view left) or over-under (left on top)\n"
    "  --mode M                 0..15 or red-green (0, default), mirror (1),\n"
    "                           colour (2), field-sequential (3), left-right (4),\n"
    "                           right-left (5), elsa (6), dubois (7),\n"
    "                           half-colour (8), optimised (9), grey (10),\n"
    "                           half-sbs (11), over-under (12),\n"
    "                           half-over-under (13), column-interleaved (14),\n"
    "                           checkerboard (15)\n"
    "  --swap                   exchange the left and right pictures once aligned\n"
    "  --no-params              do not read the parameter files\n"
    "  --left-point X,Y         identical point of the left photograph\n"
    "  --right-point X,Y        identical point of the right photograph\n"
    "  --left-turn X,Y          second point of the left photograph\n"
    "  --right-turn X,Y         second point of the right photograph\n"
    "  --left-line X1,Y1,X2,Y2  tilt line of the left photograph\n"
    "  --right-line X1,Y1,X2,Y2 tilt line of the right photograph (tilt lines\n"
    "                           count only when both photographs have one)\n"
    "  --auto-align             align the pair automatically (vertical offset, roll\n"
    "                           and scale; the identical point on the nearest\n"
    "                           detail); the point and line options override it per\n"
    "                           side. When the photographs have too little in\n"
    "                           common it says so and the alignment stays as the\n"
    "                           parameter files and options give it\n"
    "  --crop-wedges            crop the result to what both corrected photographs\n"
    "                           fill (always so with --auto-align; default: the\n"
    "                           settings file's CropWedges)\n"
    "  --quality Q              JPEG quality 1..100 (default: the settings file's, else 80)\n"
    "  --zoom Z                 save the result scaled by Z (precise resampling)\n"
    "  --progress               draw a progress bar on standard error\n"
    "  --lang L, --strict, --threads N, --help\n";

const char* const ConvertHelp =
    "Usage: zwillo-cli convert INPUT OUTPUT [OPTIONS]\n"
    "\n"
    "Loads INPUT and saves it as OUTPUT (format by extension). Optional steps,\n"
    "applied in this order:\n"
    "  --rotate DEG             rotate by DEG degrees (clockwise), resized to fit\n"
    "  --mirror                 mirror left to right\n"
    "  --resize WxH             resample to W x H pixels\n"
    "  --stretch-mode M         fast, medium or precise (default) for --resize\n"
    "  one filter:\n"
    "    --grey                 grey scale\n"
    "    --bcg B,C,G[,y]        brightness B (-100..100 %), contrast C and gamma G\n"
    "                           (0.2..5); ',y' works on the luma\n"
    "    --rgb R,G,B            red, green, blue in percent (-100..100)\n"
    "    --cmy C,M,Y            cyan, magenta, yellow in percent (-100..100)\n"
    "  --bits 1|4|8|24          colour resolution of the result\n"
    "  --palette P              bw, sysgray4, sys16, gray4, gray16, gray236, gray256,\n"
    "                           special125, special216, special252, optimized\n"
    "                           (default: bw for 1 bit, optimized otherwise)\n"
    "  --no-dither              nearest colours instead of error diffusion\n"
    "Other options:\n"
    "  --index N                image N (from 0) of a multi-image file\n"
    "  --jpeg-quality Q         JPEG quality 1..100 (default 80)\n"
    "  --jpeg-progressive       progressive JPEG\n"
    "  --pxm-binary             binary PBM/PGM/PPM\n"
    "  --tiff-packbits          PackBits-compressed TIFF\n"
    "  --tiff-motorola          big-endian TIFF\n"
    "  --tiff-cmyk              CMYK TIFF\n"
    "  --tiff-white-is-zero     white-is-zero grey TIFF\n"
    "  --png-no-gamma           no gamma chunk in PNG files\n"
    "  --progress, --lang L, --strict, --threads N, --help\n";

const char* const AlignHelp =
    "Usage: zwillo-cli align LEFT RIGHT [OPTIONS]\n"
    "\n"
    "Loads both photographs, aligns them automatically and prints what it found:\n"
    "the vertical offset (pixels), roll (degrees, clockwise) and scale of the\n"
    "right photograph against the left one, the identical point placed on the\n"
    "nearest detail both show (the stereo window), the deviation (the range of\n"
    "disparities from near to far in per mille of the width, with a warning above\n"
    "1/30 = 33.3), the residual vertical error (pixels) and the number of matched\n"
    "details.\n"
    "\n"
    "Options:\n"
    "  --json                   print the result as JSON\n"
    "  --write-params           store the alignment in both photographs' parameter\n"
    "                           files (keys x .. y2, and Scale, xExact, yExact)\n"
    "  --progress, --lang L, --strict, --threads N, --help\n"
    "\n"
    "Exit status 1 when the photographs have too little in common (different\n"
    "scenes, blank sky, tiny pictures); nothing is written then.\n";

const char* const InfoHelp =
    "Usage: zwillo-cli info FILE [--index N]\n"
    "\n"
    "Prints the file information of image N (default 0), one field a line:\n"
    "Format, Details, Kind, Width, Height, Colors, Bits per pixel, Images.\n"
    "A file of several images (MPO, JPS, TIFF) then lists each image:\n"
    "\"Image N: KIND, W x H\".\n"
    "  --lang L, --threads N, --help\n";

// ------------------------------------------------------------------ arguments

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

// Parses argv[first..] with the command's flag and value options.
TArgs ParseArgs(int argc, char** argv, int first, const std::vector<std::string>& flags,
                const std::vector<std::string>& values) {
  TArgs a;
  auto known = [](const std::vector<std::string>& list, const std::string& n) {
    for (const auto& s : list)
      if (s == n) return true;
    return false;
  };
  for (int i = first; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-h") arg = "--help";
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      std::string name = arg.substr(2), value;
      const size_t eq = name.find('=');
      const bool hasValue = eq != std::string::npos;
      if (hasValue) {
        value = name.substr(eq + 1);
        name = name.substr(0, eq);
      }
      if (known(flags, name)) {
        if (hasValue) throw EUsage("option --" + name + " takes no value");
        a.Flags[name] = true;
      } else if (known(values, name)) {
        if (!hasValue) {
          if (i + 1 >= argc) throw EUsage("option --" + name + " needs a value");
          value = argv[++i];
        }
        if (a.Values.count(name)) throw EUsage("option --" + name + " given twice");
        a.Values[name] = value;
      } else {
        throw EUsage("unknown option " + arg);
      }
    } else if (arg == "--") {
      for (++i; i < argc; ++i) a.Positional.emplace_back(argv[i]);
    } else {
      a.Positional.push_back(arg);
    }
  }
  return a;
}

bool ParseInt(const std::string& s, long long lo, long long hi, int& out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(s.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  out = static_cast<int>(v);
  return true;
}

bool ParseReal(const std::string& s, long double& out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long double v = std::strtold(s.c_str(), &end);
  if (errno != 0 || *end != '\0' || !std::isfinite(v)) return false;
  out = v;
  return true;
}

std::vector<std::string> SplitComma(const std::string& s) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t c = s.find(',', start);
    parts.push_back(s.substr(start, c == std::string::npos ? std::string::npos : c - start));
    if (c == std::string::npos) break;
    start = c + 1;
  }
  return parts;
}

// n comma-separated 32-bit integers.
std::vector<int> IntList(const TArgs& a, const std::string& name, size_t n) {
  const std::vector<std::string> parts = SplitComma(*a.Value(name));
  std::vector<int> v(n);
  if (parts.size() != n) throw EUsage("--" + name + " needs " + std::to_string(n) + " comma-separated integers");
  for (size_t i = 0; i < n; ++i)
    if (!ParseInt(parts[i], INT32_MIN, INT32_MAX, v[i]))
      throw EUsage("--" + name + ": '" + parts[i] + "' is not an integer");
  return v;
}

int IntOption(const TArgs& a, const std::string& name, long long lo, long long hi, int def) {
  const std::string* v = a.Value(name);
  if (!v) return def;
  int out;
  if (!ParseInt(*v, lo, hi, out))
    throw EUsage("--" + name + " needs an integer in " + std::to_string(lo) + ".." + std::to_string(hi));
  return out;
}

void SetLanguage(const TArgs& a) {
  const std::string* lang = a.Value("lang");
  if (!lang) {
    MessageLanguage = 0;
    return;
  }
  static const char* const names[] = {"en", "de", "fr", "nl", "es"};
  for (int i = 0; i < 5; ++i)
    if (*lang == names[i]) {
      MessageLanguage = i;
      return;
    }
  throw EUsage("--lang needs en, de, fr, nl or es");
}

bool German() { return MessageLanguage == 1; }

// --threads N: the number of threads the library's bulk operations use.
void SetThreads(const TArgs& a) {
  if (a.Value("threads")) PGSetThreadCount(IntOption(a, "threads", 1, 1024, 0));
}

// ------------------------------------------------------------------ progress and warnings

// A progress bar on standard error: "label [#####.....]  50%".
class TProgressBar {
public:
  void SetEnabled(bool on) { FEnabled = on; }
  bool Enabled() const { return FEnabled; }
  void Show(const std::string& label, int percent) {
    if (!FEnabled) return;
    percent = std::max(0, std::min(100, percent));
    if (FActive && label == FLabel && percent == FPercent) return;
    if (FActive && label != FLabel) std::fputc('\n', stderr);
    FLabel = label;
    FPercent = percent;
    FActive = true;
    const int filled = percent * 30 / 100;
    std::fprintf(stderr, "\r%-28.28s [%.*s%.*s] %3d%%", label.c_str(), filled, "##############################",
                 30 - filled, "..............................", percent);
    std::fflush(stderr);
  }
  // Ends the current bar line so that other output starts on a line of its own.
  void Break() {
    if (FActive) std::fputc('\n', stderr);
    FActive = false;
    FLabel.clear();
  }
  // The three progress events of an image, reported under label.
  void Attach(TPixelGraphic& image, const std::string& label) {
    if (!FEnabled) return;
    image.OnProgressStart = [this, label](TObject*) { Show(label, 0); };
    image.OnProgress = [this, label](TObject*, int step, int max, bool&) {
      Show(label, max > 0 ? static_cast<int>(100LL * step / max) : 100);
    };
    image.OnProgressEnd = [this, label](TObject*) { Show(label, 100); };
  }
  static void Detach(TPixelGraphic& image) {
    image.OnProgressStart = nullptr;
    image.OnProgress = nullptr;
    image.OnProgressEnd = nullptr;
  }

private:
  bool FEnabled = false;
  bool FActive = false;
  std::string FLabel;
  int FPercent = -1;
};

TProgressBar Progress;
int WarningCount = 0;
// Held by whatever writes to the console while other threads may run (the
// message-box hook, the progress reports of compose's two loading threads).
std::mutex ConsoleMutex;

// Message boxes of the library become lines on standard error. They are
// answered OK; with --strict they are refused where they can be (OK/Cancel
// boxes abort the operation) and counted, so the command fails.
void InstallMessageHook(bool strict) {
  platform::SetMessageBoxHook([strict](const std::string& text, const std::string& caption,
                                       platform::TMsgButtons buttons, platform::TMsgIcon) -> int {
    std::lock_guard<std::mutex> lock(ConsoleMutex);
    Progress.Break();
    std::string line = caption.empty() ? text : caption + ": " + text;
    for (char& c : line)
      if (c == '\r') c = '\n';
    std::fprintf(stderr, "%s\n", line.c_str());
    ++WarningCount;
    using platform::TMsgButtons;
    if (!strict) return buttons == TMsgButtons::YesNo || buttons == TMsgButtons::YesNoCancel ? platform::mrYes
                                                                                             : platform::mrOk;
    switch (buttons) {
      case TMsgButtons::OKCancel:
      case TMsgButtons::YesNoCancel:
        return platform::mrCancel;
      case TMsgButtons::YesNo:
        return platform::mrNo;
      default:
        return platform::mrOk;
    }
  });
}

// ------------------------------------------------------------------ compose

int ParseMode(const std::string& s) {
  static const char* const names[StereoModeCount] = {
      "red-green", "mirror",   "colour",     "field-sequential", "left-right",         "right-left",
      "elsa",      "dubois",   "half-colour", "optimised",       "grey",               "half-sbs",
      "over-under", "half-over-under", "column-interleaved", "checkerboard"};
  int m;
  if (ParseInt(s, 0, StereoModeCount - 1, m)) return m;
  for (int i = 0; i < StereoModeCount; ++i)
    if (s == names[i]) return i;
  if (s == "color") return smColorAnaglyph;
  if (s == "half-color") return smHalfColour;
  if (s == "optimized") return smOptimised;
  if (s == "gray") return smGreyAnaglyph;
  std::string list;
  for (const char* n : names) list += std::string(list.empty() ? "" : ", ") + n;
  throw EUsage("--mode needs 0.." + std::to_string(StereoModeCount - 1) + " or " + list);
}

// Fixed-point text of a number, whatever the locale says (the program does not
// set one, so printf's is the C locale's).
std::string Num(double v, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  return buffer;
}

// The one-line summary of an automatic alignment.
std::string AlignSummary(const TAutoAlignResult& r) {
  return (German() ? "Ausgerichtet: Höhenversatz " : "Aligned: vertical offset ") + Num(r.VerticalOffset, 2) +
         (German() ? " px, Verkantung " : " px, roll ") + Num(r.Roll, 3) + (German() ? " Grad, Maßstab " : " degrees, scale ") +
         Num(r.Scale, 5) + (German() ? ", Deviation " : ", deviation ") + Num(r.Deviation, 1) +
         (German() ? " Promille, Restfehler " : " per mille, residual ") + Num(r.Residual, 2) + " px, " +
         std::to_string(r.Matches) + (German() ? " Details" : " matches");
}

void DeviationWarning(const TAutoAlignResult& r) {
  if (!r.DeviationWarning) return;
  std::lock_guard<std::mutex> lock(ConsoleMutex);
  Progress.Break();
  std::fprintf(stderr,
               German() ? "Warnung: die Deviation von %s Promille übersteigt 1/30 der Bildbreite (%s Promille).\n"
                        : "Warning: the deviation of %s per mille exceeds 1/30 of the width (%s per mille).\n",
               Num(r.Deviation, 1).c_str(), Num(DeviationLimit, 1).c_str());
}

TPairSource ParseSplit(const std::string& s) {
  if (s == "parallel") return psParallel;
  if (s == "cross") return psCross;
  if (s == "over-under") return psOverUnder;
  throw EUsage("--split needs parallel, cross or over-under");
}

int Compose(int argc, char** argv) {
  const TArgs a = ParseArgs(argc, argv, 2,
                            {"help", "no-params", "progress", "strict", "swap", "auto-align", "crop-wedges"},
                            {"mode", "left-point", "right-point", "left-turn", "right-turn", "left-line",
                             "right-line", "quality", "zoom", "split", "lang", "threads"});
  if (a.Flag("help")) {
    std::fputs(ComposeHelp, stdout);
    return 0;
  }
  SetLanguage(a);
  SetThreads(a);
  const size_t files = a.Positional.size();
  if (files != 2 && files != 3) throw EUsage("compose needs LEFT, RIGHT and OUTPUT, or PAIR and OUTPUT");
  if (files == 3 && a.Value("split")) throw EUsage("--split takes one PAIR file, not LEFT and RIGHT");
  const int mode = a.Value("mode") ? ParseMode(*a.Value("mode")) : 0;
  TComposeFilesJob job;
  job.Mode = a.Flag("swap") ? mode | smSwapEyes : mode;
  job.LeftName = a.Positional[0];
  if (files == 3) job.RightName = a.Positional[1];
  job.OutputName = a.Positional[files - 1];
  if (a.Value("split")) job.Source = ParseSplit(*a.Value("split"));
  const bool pairOutput = IsStereoPairFileName(job.OutputName);
  if (pairOutput && a.Value("mode")) throw EUsage("--mode does not apply to a stereo pair output (.mpo, .jps)");
  job.UseParameterFiles = !a.Flag("no-params");
  auto point = [&](const char* name, std::optional<TStereoPoint>& p) {
    if (!a.Value(name)) return;
    const std::vector<int> v = IntList(a, name, 2);
    p = TStereoPoint{v[0], v[1]};
  };
  auto line = [&](const char* name, std::optional<TStereoLine>& l) {
    if (!a.Value(name)) return;
    const std::vector<int> v = IntList(a, name, 4);
    l = TStereoLine{v[0], v[1], v[2], v[3]};
  };
  point("left-point", job.Overrides.LeftPoint);
  point("right-point", job.Overrides.RightPoint);
  point("left-turn", job.Overrides.LeftTurnPoint);
  point("right-turn", job.Overrides.RightTurnPoint);
  line("left-line", job.Overrides.LeftLine);
  line("right-line", job.Overrides.RightLine);
  long double zoom = 0;
  if (a.Value("zoom") && (!ParseReal(*a.Value("zoom"), zoom) || zoom <= 0 || zoom > 100))
    throw EUsage("--zoom needs a number above 0 (up to 100)");
  // The JPEG quality: the settings file's (as the program does at start), or --quality.
  const TSettings settings = ReadSettings();
  ApplySettingsToLibrary(settings);
  if (a.Value("quality")) PGJPEGQuality = static_cast<uint8_t>(IntOption(a, "quality", 1, 100, 80));
  Progress.SetEnabled(a.Flag("progress"));
  InstallMessageHook(a.Flag("strict"));

  job.Zoom = zoom;
  job.AutoAlign = a.Flag("auto-align");
  job.CropWedges = a.Flag("crop-wedges") || settings.CropWedges;
  job.Aligned = [](const TAutoAlignResult& r) {
    if (r.Status != aasAligned) {
      std::lock_guard<std::mutex> lock(ConsoleMutex);
      Progress.Break();
      std::fprintf(stderr, "%s\n", AutoAlignMessage(r.Status, German()).c_str());
      ++WarningCount; // a failure with --strict
      return;
    }
    {
      std::lock_guard<std::mutex> lock(ConsoleMutex);
      Progress.Break();
      std::printf("%s\n", AlignSummary(r).c_str());
    }
    DeviationWarning(r);
  };

  // A tilt line in one photograph only cannot be compared: the tilt is left
  // alone, and the user is told which line is missing. (The automatic
  // alignment draws both.)
  const TTiltLines lines = job.AutoAlign ? tlBoth : TiltLinesGiven(JobAlignment(job));
  if (lines == tlLeftOnly || lines == tlRightOnly) {
    const bool leftMissing = lines == tlRightOnly;
    std::fprintf(stderr, "%s\n",
                 German() ? (leftMissing ? "Warnung: Verkantung nicht ausgeglichen: im linken Bild fehlt die "
                                           "Verkantungslinie (--left-line)."
                                         : "Warnung: Verkantung nicht ausgeglichen: im rechten Bild fehlt die "
                                           "Verkantungslinie (--right-line).")
                          : (leftMissing ? "Warning: tilt not compensated: the left photograph has no tilt line "
                                           "(--left-line)."
                                         : "Warning: tilt not compensated: the right photograph has no tilt line "
                                           "(--right-line)."));
    ++WarningCount;
    if (a.Flag("strict")) {
      std::fprintf(stderr, German() ? "Abbruch: Warnung mit --strict\n" : "Failed: warning with --strict\n");
      return 1;
    }
  }

  // Both photographs load at the same time: the load bar shows the mean of the
  // two, and everything that writes to the console takes ConsoleMutex.
  std::string stage;
  int loaded[2] = {0, 0};
  TComposeProgress progress;
  progress.Report = [&stage](const std::string& text, int percent) {
    std::lock_guard<std::mutex> lock(ConsoleMutex);
    stage = text;
    Progress.Show(text, percent);
  };
  if (Progress.Enabled())
    progress.Detail = [&stage, &loaded](TComposeStep step, int percent) {
      std::lock_guard<std::mutex> lock(ConsoleMutex);
      switch (step) {
        case csLoadLeft:
        case csLoadRight:
          loaded[step == csLoadRight] = percent;
          Progress.Show(German() ? "Bildpaar laden" : "Loading pair", (loaded[0] + loaded[1]) / 2);
          break;
        case csStore:
          Progress.Show(German() ? "Speichern" : "Saving", percent);
          break;
        case csAlign:
          Progress.Show(German() ? "Ausrichten" : "Aligning", percent);
          break;
        default:
          Progress.Show(stage, percent);
          break;
      }
    };
  TComposeFilesResult result;
  try {
    result = ComposeFiles(job, progress);
  } catch (const EComposeFailed& e) {
    // One file that holds no stereo pair: perhaps a picture of both views.
    if (files == 2 && !a.Value("split") && std::strstr(e.what(), GetMessage1(msgNotAFile, "MPO/JPS").c_str())) {
      Progress.Break();
      std::fprintf(stderr, "%s\n%s\n", e.what(),
                   German() ? "Für ein Bild mit beiden Ansichten: --split parallel, cross oder over-under."
                            : "For a picture holding both views give --split parallel, cross or over-under.");
      return 1;
    }
    throw;
  }
  Progress.Break();
  if (!result.Saved) {
    std::fprintf(stderr, "%s\n",
                 pairOutput ? (German() ? "Kein Stereopaar: der gemeinsame Bereich ist leer."
                                        : "No stereo pair: the common area is empty.")
                            : (German() ? "Kein Stereobild: der gemeinsame Bereich ist leer."
                                        : "No stereo image: the common area is empty."));
    return 1;
  }
  if (pairOutput)
    std::printf("%s: %d x %d %s -> %s\n", German() ? "Stereopaar" : "Stereo pair", result.Width, result.Height,
                German() ? "je Bild" : "each", job.OutputName.c_str());
  else
    std::printf("%s: %d x %d -> %s\n", StereoModeCaption(mode).c_str(), result.Width, result.Height,
                job.OutputName.c_str());
  return 0;
}

// ------------------------------------------------------------------ align

std::string JsonNum(double v, int decimals) { return std::isfinite(v) ? Num(v, decimals) : "null"; }

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
      continue;
    }
    out += c;
  }
  return out + "\"";
}

// The keys of a side's parameter file as a JSON object.
std::string JsonSide(const TSideAlignment& s) {
  std::string out = "{\"x\": " + std::to_string(s.Point.X) + ", \"y\": " + std::to_string(s.Point.Y) +
                    ", \"xD\": " + std::to_string(s.TurnPoint.X) + ", \"yD\": " + std::to_string(s.TurnPoint.Y) +
                    ", \"x1\": " + std::to_string(s.Line.X1) + ", \"y1\": " + std::to_string(s.Line.Y1) +
                    ", \"x2\": " + std::to_string(s.Line.X2) + ", \"y2\": " + std::to_string(s.Line.Y2);
  if (s.Scale) out += ", \"Scale\": " + JsonNum(*s.Scale, 6);
  if (s.Exact) out += ", \"xExact\": " + JsonNum(s.Exact->X, 3) + ", \"yExact\": " + JsonNum(s.Exact->Y, 3);
  return out + "}";
}

std::string AlignJson(const TAutoAlignResult& r) {
  if (r.Status != aasAligned)
    return "{\n  \"aligned\": false,\n  \"message\": " + JsonString(AutoAlignMessage(r.Status, German())) + "\n}\n";
  return "{\n  \"aligned\": true,\n  \"verticalOffset\": " + JsonNum(r.VerticalOffset, 3) +
         ",\n  \"roll\": " + JsonNum(r.Roll, 4) + ",\n  \"scale\": " + JsonNum(r.Scale, 6) +
         ",\n  \"windowPoint\": {\"left\": [" + JsonNum(r.WindowLeft.X, 0) + ", " + JsonNum(r.WindowLeft.Y, 0) +
         "], \"right\": [" + JsonNum(r.WindowRight.X, 3) + ", " + JsonNum(r.WindowRight.Y, 3) + "]}" +
         ",\n  \"deviation\": " + JsonNum(r.Deviation, 2) +
         ",\n  \"deviationWarning\": " + (r.DeviationWarning ? "true" : "false") +
         ",\n  \"nearDisparity\": " + JsonNum(r.NearDisparity, 2) + ",\n  \"farDisparity\": " +
         JsonNum(r.FarDisparity, 2) + ",\n  \"residual\": " + JsonNum(r.Residual, 3) +
         ",\n  \"residualBefore\": " + JsonNum(r.ResidualBefore, 3) + ",\n  \"matches\": " +
         std::to_string(r.Matches) + ",\n  \"left\": " + JsonSide(r.Alignment.Left) +
         ",\n  \"right\": " + JsonSide(r.Alignment.Right) + "\n}\n";
}

int Align(int argc, char** argv) {
  const TArgs a =
      ParseArgs(argc, argv, 2, {"help", "json", "write-params", "progress", "strict"}, {"lang", "threads"});
  if (a.Flag("help")) {
    std::fputs(AlignHelp, stdout);
    return 0;
  }
  SetLanguage(a);
  SetThreads(a);
  if (a.Positional.size() != 2) throw EUsage("align needs LEFT and RIGHT");
  Progress.SetEnabled(a.Flag("progress"));
  InstallMessageHook(a.Flag("strict"));
  const std::string& leftName = a.Positional[0];
  const std::string& rightName = a.Positional[1];

  int loaded[2] = {0, 0};
  TComposeProgress progress;
  if (Progress.Enabled())
    progress.Detail = [&loaded](TComposeStep step, int percent) {
      std::lock_guard<std::mutex> lock(ConsoleMutex);
      loaded[step == csLoadRight] = percent;
      Progress.Show(German() ? "Bildpaar laden" : "Loading pair", (loaded[0] + loaded[1]) / 2);
    };
  TStereoPair pair = LoadStereoPair(leftName, rightName, progress);
  TAutoAlignControl control;
  if (Progress.Enabled())
    control.Progress = [](int percent) { Progress.Show(German() ? "Ausrichten" : "Aligning", percent); };
  const TAutoAlignResult r = AutoAlign(*pair.Left, *pair.Right, control);
  pair = TStereoPair();
  Progress.Break();

  if (a.Flag("json")) std::fputs(AlignJson(r).c_str(), stdout);
  if (r.Status != aasAligned) {
    if (!a.Flag("json")) std::fprintf(stderr, "%s\n", AutoAlignMessage(r.Status, German()).c_str());
    return 1;
  }
  if (!a.Flag("json")) {
    std::printf("%s %s px\n", German() ? "Höhenversatz:" : "Vertical offset:", Num(r.VerticalOffset, 2).c_str());
    std::printf("%s %s %s\n", German() ? "Verkantung:" : "Roll:", Num(r.Roll, 3).c_str(), German() ? "Grad" : "degrees");
    std::printf("%s %s\n", German() ? "Maßstab:" : "Scale:", Num(r.Scale, 5).c_str());
    std::printf("%s %s,%s; %s %s,%s\n", German() ? "Scheinfensterpunkt: links" : "Window point: left",
                Num(r.WindowLeft.X, 0).c_str(), Num(r.WindowLeft.Y, 0).c_str(), German() ? "rechts" : "right",
                Num(r.WindowRight.X, 2).c_str(), Num(r.WindowRight.Y, 2).c_str());
    std::printf("%s %s %s (%s %s px, %s %s px)\n", German() ? "Deviation:" : "Deviation:", Num(r.Deviation, 1).c_str(),
                German() ? "Promille" : "per mille", German() ? "nah" : "near", Num(r.NearDisparity, 1).c_str(),
                German() ? "fern" : "far", Num(r.FarDisparity, 1).c_str());
    std::printf("%s %s px (%s %s px)\n", German() ? "Restfehler:" : "Residual:", Num(r.Residual, 2).c_str(),
                German() ? "vorher" : "before", Num(r.ResidualBefore, 2).c_str());
    std::printf("%s %d\n", German() ? "Details:" : "Matches:", r.Matches);
  }
  DeviationWarning(r);
  if (a.Flag("write-params")) {
    const std::string leftFull = FullPhotoName(leftName), rightFull = FullPhotoName(rightName);
    WriteParameters(leftFull, r.Alignment.Left);
    WriteParameters(rightFull, r.Alignment.Right);
    if (!a.Flag("json"))
      std::printf("%s %s, %s\n", German() ? "Parameter gespeichert:" : "Parameters written:",
                  ParameterFileName(leftFull).c_str(), ParameterFileName(rightFull).c_str());
  }
  return 0;
}

// ------------------------------------------------------------------ convert

int Convert(int argc, char** argv) {
  const TArgs a = ParseArgs(argc, argv, 2,
                            {"help", "mirror", "grey", "no-dither", "jpeg-progressive", "pxm-binary", "tiff-packbits",
                             "tiff-motorola", "tiff-cmyk", "tiff-white-is-zero", "png-no-gamma", "progress", "strict"},
                            {"index", "rotate", "resize", "stretch-mode", "bcg", "rgb", "cmy", "bits", "palette",
                             "jpeg-quality", "lang", "threads"});
  if (a.Flag("help")) {
    std::fputs(ConvertHelp, stdout);
    return 0;
  }
  SetLanguage(a);
  SetThreads(a);
  if (a.Positional.size() != 2) throw EUsage("convert needs INPUT and OUTPUT");

  TConvertSteps steps;
  const int index = IntOption(a, "index", 0, INT32_MAX, 0);
  if (a.Value("rotate")) {
    long double deg;
    if (!ParseReal(*a.Value("rotate"), deg)) throw EUsage("--rotate needs a number of degrees");
    steps.Rotate = deg;
  }
  steps.Mirror = a.Flag("mirror");
  if (a.Value("resize")) {
    const std::string& s = *a.Value("resize");
    const size_t x = s.find_first_of("xX");
    int w, h;
    if (x == std::string::npos || !ParseInt(s.substr(0, x), 1, INT32_MAX, w) ||
        !ParseInt(s.substr(x + 1), 1, INT32_MAX, h))
      throw EUsage("--resize needs WxH with positive integers");
    steps.ResizeWidth = w;
    steps.ResizeHeight = h;
  }
  if (const std::string* m = a.Value("stretch-mode")) {
    if (*m == "fast") steps.StretchMode = smFast;
    else if (*m == "medium") steps.StretchMode = smMedium;
    else if (*m == "precise") steps.StretchMode = smPrecise;
    else throw EUsage("--stretch-mode needs fast, medium or precise");
  }
  int filters = 0;
  if (a.Flag("grey")) {
    steps.Filter = TConvertSteps::fkGrey;
    ++filters;
  }
  if (a.Value("bcg")) {
    const std::vector<std::string> p = SplitComma(*a.Value("bcg"));
    int b;
    long double c, g;
    const bool ok = (p.size() == 3 || (p.size() == 4 && p[3] == "y")) && ParseInt(p[0], -100, 100, b) &&
                    ParseReal(p[1], c) && ParseReal(p[2], g) && c >= 0.2L && c <= 5 && g >= 0.2L && g <= 5;
    if (!ok) throw EUsage("--bcg needs B,C,G[,y] with B in -100..100 and C, G in 0.2..5");
    steps.Filter = TConvertSteps::fkBCG;
    steps.Brightness = b;
    steps.Contrast = c;
    steps.Gamma = g;
    steps.UseY = p.size() == 4;
    ++filters;
  }
  for (const char* name : {"rgb", "cmy"}) {
    if (!a.Value(name)) continue;
    const std::vector<std::string> p = SplitComma(*a.Value(name));
    bool ok = p.size() == 3;
    for (size_t i = 0; ok && i < 3; ++i) ok = ParseInt(p[i], -100, 100, steps.Channels[i]);
    if (!ok) throw EUsage(std::string("--") + name + " needs three percentages in -100..100");
    steps.Filter = std::strcmp(name, "rgb") == 0 ? TConvertSteps::fkRGB : TConvertSteps::fkCMY;
    ++filters;
  }
  if (filters > 1) throw EUsage("only one of --grey, --bcg, --rgb, --cmy");
  if (a.Value("bits")) {
    const int bits = IntOption(a, "bits", 1, 24, 24);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) throw EUsage("--bits needs 1, 4, 8 or 24");
    steps.Bits = bits;
  }
  if (const std::string* p = a.Value("palette")) {
    if (!ParsePaletteName(*p, steps.Palette)) throw EUsage("unknown palette '" + *p + "'");
    if (steps.Bits == 0 || steps.Bits == 24) throw EUsage("--palette needs --bits 1, 4 or 8");
    if (!PaletteFits(steps.Palette, steps.Bits))
      throw EUsage("palette '" + *p + "' has more colours than " + std::to_string(steps.Bits) + " bit hold");
  }
  steps.Dither = !a.Flag("no-dither");

  if (a.Value("jpeg-quality")) PGJPEGQuality = static_cast<uint8_t>(IntOption(a, "jpeg-quality", 1, 100, 80));
  if (a.Flag("jpeg-progressive")) PGJPEGProgressive = true;
  if (a.Flag("pxm-binary")) PGPxMWriteBinary = true;
  if (a.Flag("tiff-packbits")) PGTIFFCompression = 32773;
  if (a.Flag("tiff-motorola")) PGTIFFWriteMotorola = true;
  if (a.Flag("tiff-cmyk")) PGTIFFWriteCMYK = true;
  if (a.Flag("tiff-white-is-zero")) PGTIFFWhiteIsZero = true;
  if (a.Flag("png-no-gamma")) PGPNGWriteGamma = false;
  Progress.SetEnabled(a.Flag("progress"));
  InstallMessageHook(a.Flag("strict"));

  auto image = std::make_unique<TPixelGraphic>();
  Progress.Attach(*image, German() ? "Laden" : "Loading");
  image->LoadFileImage(a.Positional[0], index);
  TProgressBar::Detach(*image);
  image = RunConvertSteps(std::move(image), steps, [](TPixelGraphic& img, const char* what) {
    Progress.Attach(img, what);
  });
  Progress.Attach(*image, German() ? "Speichern" : "Saving");
  image->SaveToFile(a.Positional[1]);
  TProgressBar::Detach(*image);
  Progress.Break();
  return 0;
}

// ------------------------------------------------------------------ info

int Info(int argc, char** argv) {
  const TArgs a = ParseArgs(argc, argv, 2, {"help", "strict"}, {"index", "lang", "threads"});
  if (a.Flag("help")) {
    std::fputs(InfoHelp, stdout);
    return 0;
  }
  SetLanguage(a);
  SetThreads(a);
  if (a.Positional.size() != 1) throw EUsage("info needs one FILE");
  const int index = IntOption(a, "index", 0, INT32_MAX, 0);
  const std::string& name = a.Positional[0];
  std::string description;
  TPGFileInfo info;
  if (!GetFileInfo(name, index, description, info)) {
    if (!platform::FileExists(name))
      std::fprintf(stderr, German() ? "%s: Datei nicht gefunden\n" : "%s: no such file\n", name.c_str());
    else
      std::fprintf(stderr, "%s: %s\n", name.c_str(), GetMessage(msgUnknownFileFormat).c_str());
    return 1;
  }
  std::printf("Format: %s\n", description.c_str());
  std::printf("Details: %s\n", info.DetailsText.c_str());
  std::printf("Kind: %s\n", info.KindText.c_str());
  std::printf("Width: %d\n", info.Width);
  std::printf("Height: %d\n", info.Height);
  std::printf("Colors: %s\n", info.ColorsText.c_str());
  std::printf("Bits per pixel: %d\n", info.BitsPerPixel);
  std::printf("Images: %d\n", info.ImageCount);
  // Every image of a file of several, in index order.
  for (int i = 0; info.ImageCount > 1 && i < info.ImageCount; ++i) {
    TPGFileInfo image;
    if (GetFileInfo(name, i, description, image))
      std::printf("Image %d: %s, %d x %d\n", i, image.KindText.empty() ? "-" : image.KindText.c_str(), image.Width,
                  image.Height);
    else
      std::printf("Image %d: %s\n", i, German() ? "nicht lesbar" : "unreadable");
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  bool strict = false;
  for (int i = 2; i < argc; ++i)
    if (std::strcmp(argv[i], "--strict") == 0) strict = true;
  try {
    int rc;
    if (command == "compose") rc = Compose(argc, argv);
    else if (command == "align") rc = Align(argc, argv);
    else if (command == "convert") rc = Convert(argc, argv);
    else if (command == "info") rc = Info(argc, argv);
    else if (command == "--help" || command == "-h" || command == "help") {
      std::fputs(GeneralHelp, stdout);
      return 0;
    } else if (command.empty()) {
      throw EUsage("no command given");
    } else {
      throw EUsage("unknown command '" + command + "'");
    }
    if (rc == 0 && strict && WarningCount > 0) {
      std::fprintf(stderr, German() ? "Abbruch: Warnung mit --strict\n" : "Failed: warning with --strict\n");
      return 1;
    }
    return rc;
  } catch (const EUsage& e) {
    Progress.Break();
    const bool known = command == "compose" || command == "align" || command == "convert" || command == "info";
    const char* help = command == "compose"   ? ComposeHelp
                       : command == "align"   ? AlignHelp
                       : command == "convert" ? ConvertHelp
                       : command == "info"    ? InfoHelp
                                              : GeneralHelp;
    // The first line of the command's help is its usage line.
    const char* nl = std::strchr(help, '\n');
    std::fprintf(stderr, "zwillo-cli: %s\n%.*s\nRun 'zwillo-cli %s--help' for more.\n", e.what(),
                 static_cast<int>(nl - help), help, known ? (command + " ").c_str() : "");
    return 2;
  } catch (const std::exception& e) {
    Progress.Break();
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
