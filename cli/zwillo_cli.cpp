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
#include "cli/batch.h"
#include "cli/cli_options.h"
#include "cli/convert_steps.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/threadpool.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic/formats/settings.h"
#include "platform/files.h"
#include "platform/messagebox.h"

namespace {

using namespace cli;

const char* const GeneralHelp =
    "Usage: zwillo-cli COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  compose LEFT RIGHT OUTPUT   compose a stereo image from a stereo pair\n"
    "  compose PAIR OUTPUT         the same from one MPO, JPS or side-by-side file\n"
    "  batch INPUT... --out DIR    compose every pair found in files and folders\n"
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
    return MessageBoxAnswer(buttons, strict);
  });
}

// ------------------------------------------------------------------ compose

void DeviationWarning(const TAutoAlignResult& r) {
  if (!r.DeviationWarning) return;
  std::lock_guard<std::mutex> lock(ConsoleMutex);
  Progress.Break();
  std::fprintf(stderr, "%s\n", DeviationWarningText(r).c_str());
}

int Compose(int argc, char** argv) {
  const TArgs a = ParseComposeArgs(argc, argv, {"help", "progress", "strict"}, {"lang", "threads"});
  if (a.Flag("help")) {
    std::fputs(ComposeHelp, stdout);
    return 0;
  }
  SetLanguage(a);
  SetThreads(a);
  const size_t files = a.Positional.size();
  if (files != 2 && files != 3) throw EUsage("compose needs LEFT, RIGHT and OUTPUT, or PAIR and OUTPUT");
  if (files == 3 && a.Value("split")) throw EUsage("--split takes one PAIR file, not LEFT and RIGHT");
  TComposeOptions options = ParseComposeOptions(a);
  TComposeFilesJob& job = options.Job;
  const int mode = options.Mode;
  job.LeftName = a.Positional[0];
  if (files == 3) job.RightName = a.Positional[1];
  job.OutputName = a.Positional[files - 1];
  const bool pairOutput = IsStereoPairFileName(job.OutputName);
  if (pairOutput && options.ModeGiven) throw EUsage("--mode does not apply to a stereo pair output (.mpo, .jps)");
  Progress.SetEnabled(a.Flag("progress"));
  InstallMessageHook(a.Flag("strict"));

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
    else if (command == "batch") return cli::Batch(argc, argv);
    else if (command == "align") rc = Align(argc, argv);
    else if (command == "convert") rc = Convert(argc, argv);
    else if (command == "info") rc = Info(argc, argv);
    else if (command == "--help" || command == "-h" || command == "help") {
      std::fputs(GeneralHelp, stdout);
      return 0;
    } else if (command.empty()) {
      throw cli::EUsage("no command given");
    } else {
      throw cli::EUsage("unknown command '" + command + "'");
    }
    if (rc == 0 && strict && WarningCount > 0) {
      std::fprintf(stderr, German() ? "Abbruch: Warnung mit --strict\n" : "Failed: warning with --strict\n");
      return 1;
    }
    return rc;
  } catch (const cli::EUsage& e) {
    Progress.Break();
    const bool known = command == "compose" || command == "batch" || command == "align" || command == "convert" || command == "info";
    const char* help = command == "compose"   ? ComposeHelp
                       : command == "batch"   ? cli::BatchHelp
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
