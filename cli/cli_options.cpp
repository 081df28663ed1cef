#include "cli/cli_options.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "app/core/settingsfile.h"
#include "app/core/stereofile.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/threadpool.h"
#include "pgraphic/formats/settings.h"

namespace cli {

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

void SetThreads(const TArgs& a) {
  if (a.Value("threads")) PGSetThreadCount(IntOption(a, "threads", 1, 1024, 0));
}

// The program does not set a locale, so printf's is the C locale's.
std::string Num(double v, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  return buffer;
}

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

namespace {

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

} // namespace

std::string AlignJson(const TAutoAlignResult& r, const std::string& sep, const std::string& close) {
  std::string open = "{";
  open.append(sep, 1, std::string::npos);
  if (r.Status != aasAligned)
    return open + "\"aligned\": false" + sep + "\"message\": " + JsonString(AutoAlignMessage(r.Status, German())) +
           close;
  return open + "\"aligned\": true" + sep + "\"verticalOffset\": " + JsonNum(r.VerticalOffset, 3) + sep +
         "\"roll\": " + JsonNum(r.Roll, 4) + sep + "\"scale\": " + JsonNum(r.Scale, 6) + sep +
         "\"windowPoint\": {\"left\": [" + JsonNum(r.WindowLeft.X, 0) + ", " + JsonNum(r.WindowLeft.Y, 0) +
         "], \"right\": [" + JsonNum(r.WindowRight.X, 3) + ", " + JsonNum(r.WindowRight.Y, 3) + "]}" + sep +
         "\"deviation\": " + JsonNum(r.Deviation, 2) + sep +
         "\"deviationWarning\": " + (r.DeviationWarning ? "true" : "false") + sep +
         "\"nearDisparity\": " + JsonNum(r.NearDisparity, 2) + sep + "\"farDisparity\": " +
         JsonNum(r.FarDisparity, 2) + sep + "\"residual\": " + JsonNum(r.Residual, 3) + sep +
         "\"residualBefore\": " + JsonNum(r.ResidualBefore, 3) + sep + "\"matches\": " + std::to_string(r.Matches) +
         sep + "\"left\": " + JsonSide(r.Alignment.Left) + sep + "\"right\": " + JsonSide(r.Alignment.Right) + close;
}

std::string AlignSummary(const TAutoAlignResult& r) {
  return (German() ? "Ausgerichtet: Höhenversatz " : "Aligned: vertical offset ") + Num(r.VerticalOffset, 2) +
         (German() ? " px, Verkantung " : " px, roll ") + Num(r.Roll, 3) + (German() ? " Grad, Maßstab " : " degrees, scale ") +
         Num(r.Scale, 5) + (German() ? ", Deviation " : ", deviation ") + Num(r.Deviation, 1) +
         (German() ? " Promille, Restfehler " : " per mille, residual ") + Num(r.Residual, 2) + " px, " +
         std::to_string(r.Matches) + (German() ? " Details" : " matches");
}

std::string DeviationWarningText(const TAutoAlignResult& r) {
  if (!r.DeviationWarning) return {};
  char buffer[256];
  std::snprintf(buffer, sizeof buffer,
                German() ? "Warnung: die Deviation von %s Promille übersteigt 1/30 der Bildbreite (%s Promille)."
                         : "Warning: the deviation of %s per mille exceeds 1/30 of the width (%s per mille).",
                Num(r.Deviation, 1).c_str(), Num(DeviationLimit, 1).c_str());
  return buffer;
}

int MessageBoxAnswer(platform::TMsgButtons buttons, bool strict) {
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
}

namespace {
const char* const ModeNames[StereoModeCount] = {
    "red-green", "mirror",   "colour",     "field-sequential", "left-right",         "right-left",
    "elsa",      "dubois",   "half-colour", "optimised",       "grey",               "half-sbs",
    "over-under", "half-over-under", "column-interleaved", "checkerboard"};
} // namespace

int ParseMode(const std::string& s) {
  int m;
  if (ParseInt(s, 0, StereoModeCount - 1, m)) return m;
  for (int i = 0; i < StereoModeCount; ++i)
    if (s == ModeNames[i]) return i;
  if (s == "color") return smColorAnaglyph;
  if (s == "half-color") return smHalfColour;
  if (s == "optimized") return smOptimised;
  if (s == "gray") return smGreyAnaglyph;
  std::string list;
  for (const char* n : ModeNames) list += std::string(list.empty() ? "" : ", ") + n;
  throw EUsage("--mode needs 0.." + std::to_string(StereoModeCount - 1) + " or " + list);
}

std::string ModeName(int mode) { return mode >= 0 && mode < StereoModeCount ? ModeNames[mode] : std::to_string(mode); }

TPairSource ParseSplit(const std::string& s) {
  if (s == "parallel") return psParallel;
  if (s == "cross") return psCross;
  if (s == "over-under") return psOverUnder;
  throw EUsage("--split needs parallel, cross or over-under");
}

TArgs ParseComposeArgs(int argc, char** argv, std::vector<std::string> flags, std::vector<std::string> values) {
  for (const char* f : {"no-params", "swap", "auto-align", "crop-wedges"}) flags.emplace_back(f);
  for (const char* v : {"mode", "left-point", "right-point", "left-turn", "right-turn", "left-line", "right-line",
                        "quality", "zoom", "split"})
    values.emplace_back(v);
  return ParseArgs(argc, argv, 2, flags, values);
}

TComposeOptions ParseComposeOptions(const TArgs& a) {
  TComposeOptions o;
  TComposeFilesJob& job = o.Job;
  o.ModeGiven = a.Value("mode") != nullptr;
  o.Mode = o.ModeGiven ? ParseMode(*a.Value("mode")) : 0;
  job.Mode = a.Flag("swap") ? o.Mode | smSwapEyes : o.Mode;
  if (a.Value("split")) job.Source = ParseSplit(*a.Value("split"));
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
  const int quality = IntOption(a, "quality", 1, 100, 0);
  // The JPEG quality: the settings file's (as the program does at start), or --quality.
  const TSettings settings = ReadSettings();
  ApplySettingsToLibrary(settings);
  if (quality > 0) PGJPEGQuality = static_cast<uint8_t>(quality);
  job.Zoom = zoom;
  job.AutoAlign = a.Flag("auto-align");
  job.CropWedges = a.Flag("crop-wedges") || settings.CropWedges;
  return o;
}

} // namespace cli
