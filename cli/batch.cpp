#include "cli/batch.h"

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include "app/core/paramfile.h"
#include "app/core/stereofile.h"
#include "cli/batch_pairs.h"
#include "cli/cli_options.h"
#include "pgraphic/core/threadpool.h"
#include "pgraphic/formats/registry.h"
#include "platform/files.h"
#include "platform/messagebox.h"

namespace fs = std::filesystem;

namespace cli {

const char* const BatchHelp =
    "Usage: zwillo-cli batch INPUT... --out FOLDER [OPTIONS]\n"
    "\n"
    "Composes every stereo pair found among the INPUT files and folders into\n"
    "FOLDER, several pairs at a time. Pairs are found by name, whatever the case:\n"
    "NAME_l / NAME_r, NAMEL / NAMER, NAME-left / NAME-right, and pictures of equal\n"
    "names in a folder's left/ and right/ subfolders; MPO and JPS files are pairs\n"
    "by themselves. Each photograph's parameter file (.3DF) applies. Pictures\n"
    "without a partner and names that pair more than one way are reported, not\n"
    "guessed.\n"
    "\n"
    "Options:\n"
    "  --out FOLDER             where the results go (created when missing)\n"
    "  --name PATTERN           output name, {stem} the pair's name and {mode} the\n"
    "                           mode's (default {stem}_{mode}.jpg)\n"
    "  --format EXT             output format by extension (jpg, png, tif, bmp, ...;\n"
    "                           mpo or jps: the aligned pair), replacing the\n"
    "                           extension of the pattern\n"
    "  --split S                every picture holds both views: parallel, cross or\n"
    "                           over-under (no pairing by name then)\n"
    "  --list                   print the pairs and their outputs, do nothing else\n"
    "  --jobs N                 pairs at the same time (default: one per core)\n"
    "  --max-memory SIZE        memory the pairs in work may take together, in\n"
    "                           bytes or with K, M, G (default: half the machine's);\n"
    "                           a pair that does not fit waits\n"
    "  --skip-existing          pass over pairs whose output is newer than the\n"
    "                           photographs and their parameter files\n"
    "  --shard K/N              take only part K (1..N) of N of the sorted pairs\n"
    "  --report FILE.json       write what became of every pair\n"
    "  --mode M, --swap, --no-params, --left-point X,Y, --right-point X,Y,\n"
    "  --left-turn X,Y, --right-turn X,Y, --left-line X1,Y1,X2,Y2,\n"
    "  --right-line X1,Y1,X2,Y2, --auto-align, --crop-wedges, --quality Q, --zoom Z\n"
    "                           as with compose, for every pair\n"
    "  --lang L, --strict, --threads N, --help\n"
    "\n"
    "Ctrl+C finishes the pairs in work and stops (a second one discards them);\n"
    "no partial file is left. Exit status 0 when every pair succeeded, 1 when\n"
    "some failed or did not run, 2 for bad arguments.\n";

namespace {

std::string Tr(const char* en, const char* de) { return German() ? de : en; }

// One line of text: a message's line breaks become spaces.
std::string OneLine(std::string s) {
  for (char& c : s)
    if (c == '\n' || c == '\r') c = ' ';
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

enum TPairState { psWaiting, psWritten, psFailed, psSkipped, psNotDone };

// What became of one pair.
struct TPairRun {
  TBatchPair Pair;
  TPairState State = psWaiting;
  double Seconds = 0;
  double LoadSeconds = 0, ComposeSeconds = 0, SaveSeconds = 0; // the parts of Seconds
  int32_t Width = 0, Height = 0;
  std::optional<TAutoAlignResult> Alignment;
  std::vector<std::string> Warnings;
  std::string Error;
};

// The pair the current thread works on, for the library's message boxes.
thread_local TPairRun* CurrentPair = nullptr;

// A file's modification time in nanoseconds; nullopt when it does not exist.
std::optional<int64_t> ModificationTime(const std::string& name) {
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) return std::nullopt;
  return int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
}

// The files a pair's result is made from: the photographs and, when read,
// their parameter files.
std::vector<std::string> PairInputs(const TBatchPair& p, bool parameterFiles) {
  std::vector<std::string> files = {p.Left};
  if (!p.Right.empty()) files.push_back(p.Right);
  if (parameterFiles) {
    if (p.Right.empty()) {
      files.push_back(PairParameterFileName(p.Left, false));
      files.push_back(PairParameterFileName(p.Left, true));
    } else {
      files.push_back(ParameterFileName(p.Left));
      files.push_back(ParameterFileName(p.Right));
    }
  }
  return files;
}

// An output newer than every input that exists.
bool UpToDate(const TBatchPair& p, bool parameterFiles) {
  const std::optional<int64_t> out = ModificationTime(p.Output);
  if (!out) return false;
  for (const auto& f : PairInputs(p, parameterFiles)) {
    const std::optional<int64_t> t = ModificationTime(f);
    if (t && *t >= *out) return false;
  }
  return true;
}

// The memory a pair takes while it is composed: both photographs as 24-bit
// pictures and a result as large as both (side by side; a turned copy takes
// the right photograph's place), twice that with the automatic alignment's
// copies, and the zoomed result.
int64_t PairMemory(const TBatchPair& p, const TComposeFilesJob& job) {
  int64_t pixels = 0;
  std::string description;
  TPGFileInfo info;
  const std::vector<std::pair<std::string, int>> views =
      p.Right.empty() ? std::vector<std::pair<std::string, int>>{{p.Left, 0}, {p.Left, 1}}
                      : std::vector<std::pair<std::string, int>>{{p.Left, 0}, {p.Right, 0}};
  for (const auto& [name, index] : views)
    if (GetFileInfo(name, index, description, info)) pixels += int64_t{info.Width} * std::max(info.Height, 0);
  // A JPS or a picture of both views is one image: its views together are its size.
  if (p.Right.empty() && (p.Source != psStereoFile || !GetFileInfo(p.Left, 1, description, info)))
    pixels /= 2;
  const long double zoomed = job.Zoom > 0 ? pixels * job.Zoom * job.Zoom : 0;
  return static_cast<int64_t>(std::min(3 * ((job.AutoAlign ? 4 : 2) * pixels + zoomed), 9e18L));
}

// SIZE of --max-memory: bytes, or a number with K, M or G (powers of 1024).
int64_t ParseSize(const std::string& s) {
  long double v;
  std::string number = s;
  long double unit = 1;
  if (!number.empty()) {
    const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(number.back())));
    const char* units = "KMG";
    if (const char* u = std::strchr(units, last); u && last) {
      unit = static_cast<long double>(int64_t{1} << (10 * (u - units + 1)));
      number.pop_back();
    }
  }
  if (!ParseReal(number, v) || v * unit < 1 || v * unit > 9e18L)
    throw EUsage("--max-memory needs a size in bytes or with K, M or G (as 4G)");
  return static_cast<int64_t>(v * unit);
}

int64_t DefaultMemoryCap() {
  const long pages = ::sysconf(_SC_PHYS_PAGES), size = ::sysconf(_SC_PAGE_SIZE);
  return pages > 0 && size > 0 ? int64_t{pages} * size / 2 : int64_t{2} << 30;
}

std::string Duration(double seconds) {
  const int64_t s = static_cast<int64_t>(seconds + 0.5);
  char buffer[32];
  if (s >= 3600)
    std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
  else
    std::snprintf(buffer, sizeof buffer, "%lld:%02lld", static_cast<long long>(s / 60), static_cast<long long>(s % 60));
  return buffer;
}

std::string Describe(const TBatchPair& p) { return p.Right.empty() ? p.Left : p.Left + " + " + p.Right; }

// The temporary files a save of output leaves when the process is killed
// (".NAME.XXXXXX" beside it).
void RemoveTemporaries(const std::string& output) {
  const fs::path out(output);
  std::string prefix = ".";
  prefix += out.filename().string();
  prefix += '.';
  std::error_code ec;
  const fs::path folder = out.has_parent_path() ? out.parent_path() : fs::path(".");
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) {
      std::error_code e2;
      fs::remove(it->path(), e2);
    }
  }
}

// Runs the pairs: the scheduler, the console and the interruption.
class TBatchRunner {
public:
  TBatchRunner(std::vector<TPairRun>& runs, const TComposeFilesJob& job, int jobs, int64_t memoryCap,
               bool skipExisting, bool strict)
      : FRuns(runs), FJob(job), FJobs(jobs), FCap(memoryCap), FSkipExisting(skipExisting), FStrict(strict),
        FTty(::isatty(STDERR_FILENO) != 0) {}

  // Runs every pair; true when it was interrupted.
  bool Run();

private:
  void Worker();
  void RunPair(TPairRun& run);
  void Finished(TPairRun& run);
  void SignalThread(sigset_t set);
  // Lets the library keep freed pixel memory for the next pairs within the
  // part of the cap the pairs in work do not claim, so that the pairs in
  // work and the kept memory together stay within the cap; under FMutex.
  void KeepFreedPixels() { PGSetPixelMemoryReuse(std::max<int64_t>(FCap - FReserved, 0)); }

  std::vector<TPairRun>& FRuns;
  const TComposeFilesJob& FJob;
  const int FJobs;
  const int64_t FCap;
  const bool FSkipExisting, FStrict, FTty;

  std::mutex FMutex; // everything below, and the console
  std::condition_variable FFreed;
  size_t FNext = 0;
  int64_t FReserved = 0, FPeakReserved = 0;
  int FInWork = 0;
  int FDone = 0, FFailed = 0, FSkipped = 0, FTimed = 0;
  double FTimedSeconds = 0;
  std::vector<std::string> FOutputsInWork;
  std::atomic<bool> FStop{false};
  std::chrono::steady_clock::time_point FStart;
};

bool TBatchRunner::Run() {
  FStart = std::chrono::steady_clock::now();
  // SIGINT and SIGTERM go to a thread of their own (the workers never see
  // them), which stops the batch between pairs.
  sigset_t set, old;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &set, &old);
  std::thread signals([this, set] { SignalThread(set); });
  std::vector<std::thread> workers;
  for (int i = 0; i < FJobs && i < static_cast<int>(FRuns.size()); ++i) workers.emplace_back([this] { Worker(); });
  for (auto& w : workers) w.join();
  PGSetPixelMemoryReuse(0);
  {
    std::lock_guard<std::mutex> lock(FMutex);
    if (FTty && !FRuns.empty()) std::fputc('\n', stderr);
  }
  pthread_kill(signals.native_handle(), SIGUSR1);
  signals.join();
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return FStop.load();
}

void TBatchRunner::SignalThread(sigset_t set) {
  for (int interrupts = 0;;) {
    int sig = 0;
    if (sigwait(&set, &sig) != 0) continue;
    if (sig == SIGUSR1) return;
    std::lock_guard<std::mutex> lock(FMutex);
    if (++interrupts == 1) {
      FStop = true;
      FFreed.notify_all();
      std::fprintf(stderr, "%s%s\n", FTty ? "\n" : "",
                   Tr("Interrupted: finishing the pairs in work (interrupt again to discard them).",
                      "Unterbrochen: die begonnenen Paare werden fertiggestellt (erneut unterbrechen, um sie zu "
                      "verwerfen).")
                       .c_str());
      std::fflush(stderr);
      continue;
    }
    // Discard: no half-written file stays behind.
    for (const auto& out : FOutputsInWork) RemoveTemporaries(out);
    std::fprintf(stderr, "%s\n", Tr("Interrupted: the pairs in work were discarded.",
                                    "Unterbrochen: die begonnenen Paare wurden verworfen.")
                                     .c_str());
    std::fflush(stderr);
    ::_exit(1);
  }
}

void TBatchRunner::Worker() {
  while (true) {
    size_t index;
    {
      std::lock_guard<std::mutex> lock(FMutex);
      if (FStop || FNext >= FRuns.size()) return;
      index = FNext++;
    }
    TPairRun& run = FRuns[index];
    if (FSkipExisting && UpToDate(run.Pair, FJob.UseParameterFiles)) {
      run.State = psSkipped;
      Finished(run);
      continue;
    }
    const int64_t need = std::min(PairMemory(run.Pair, FJob), FCap);
    {
      // A pair that does not fit waits until the pairs in work leave room.
      std::unique_lock<std::mutex> lock(FMutex);
      FFreed.wait(lock, [&] { return FStop || FInWork == 0 || FReserved + need <= FCap; });
      if (FStop) {
        run.State = psNotDone;
        return;
      }
      FReserved += need;
      FPeakReserved = std::max(FPeakReserved, FReserved);
      KeepFreedPixels();
      ++FInWork;
      FOutputsInWork.push_back(run.Pair.Output);
    }
    RunPair(run);
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FReserved -= need;
      KeepFreedPixels();
      --FInWork;
      FOutputsInWork.erase(std::find(FOutputsInWork.begin(), FOutputsInWork.end(), run.Pair.Output));
    }
    FFreed.notify_all();
    Finished(run);
  }
}

void TBatchRunner::RunPair(TPairRun& run) {
  const auto start = std::chrono::steady_clock::now();
  TComposeFilesJob job = FJob;
  job.LeftName = run.Pair.Left;
  job.RightName = run.Pair.Right;
  job.Source = run.Pair.Right.empty() ? run.Pair.Source : psStereoFile;
  job.OutputName = run.Pair.Output;
  job.Aligned = [&run](const TAutoAlignResult& r) { run.Alignment = r; };
  // The end of the loading and the start of the saving, from the progress reports.
  using TClock = std::chrono::steady_clock;
  std::optional<TClock::time_point> loaded, saving;
  TComposeProgress progress;
  progress.Report = [&loaded](const std::string&, int) {
    if (!loaded) loaded = TClock::now();
  };
  progress.Detail = [&loaded, &saving](TComposeStep step, int) {
    if (step == csLoadLeft || step == csLoadRight) return;
    if (!loaded) loaded = TClock::now();
    if (step == csStore && !saving) saving = TClock::now();
  };
  TRowComposeTimes rowTimes;
  std::optional<TComposeFilesResult> byRows;
  CurrentPair = &run;
  try {
    RemoveTemporaries(run.Pair.Output); // of a batch killed before
    // A pair runs on one thread here, so the row-by-row composition loses
    // nothing against loading both photographs at once, and it keeps the
    // pair's data in the caches; the jobs it does not take go the whole way.
    byRows = ComposeFilesByRows(job, &rowTimes);
    const TComposeFilesResult result = byRows ? *byRows : ComposeFiles(job, progress);
    if (!result.Saved) {
      run.Error = IsStereoPairFileName(run.Pair.Output)
                      ? Tr("No stereo pair: the common area is empty.", "Kein Stereopaar: der gemeinsame Bereich ist leer.")
                      : Tr("No stereo image: the common area is empty.",
                           "Kein Stereobild: der gemeinsame Bereich ist leer.");
    } else {
      run.Width = result.Width;
      run.Height = result.Height;
    }
  } catch (const std::exception& e) {
    run.Error = OneLine(e.what());
  }
  CurrentPair = nullptr;
  if (run.Error.empty() && FStrict && !run.Warnings.empty())
    run.Error = Tr("Failed: warning with --strict", "Abbruch: Warnung mit --strict");
  if (run.Alignment && run.Alignment->Status != aasAligned)
    run.Warnings.push_back(AutoAlignMessage(run.Alignment->Status, German()));
  else if (run.Alignment && run.Alignment->DeviationWarning)
    run.Warnings.push_back(DeviationWarningText(*run.Alignment));
  run.State = run.Error.empty() ? psWritten : psFailed;
  const TClock::time_point end = TClock::now();
  auto seconds = [](TClock::time_point from, TClock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
  };
  run.Seconds = seconds(start, end);
  if (byRows) {
    run.LoadSeconds = rowTimes.Load;
    run.ComposeSeconds = rowTimes.Compose;
    run.SaveSeconds = rowTimes.Save;
  } else if (loaded && saving) {
    run.LoadSeconds = seconds(start, *loaded);
    run.ComposeSeconds = seconds(*loaded, *saving);
    run.SaveSeconds = seconds(*saving, end);
  }
}

// Reports a pair's end and the progress line.
void TBatchRunner::Finished(TPairRun& run) {
  std::lock_guard<std::mutex> lock(FMutex);
  if (FTty) std::fputs("\r\033[K", stderr);
  const std::string what = Describe(run.Pair);
  switch (run.State) {
    case psWritten:
      ++FDone;
      std::printf("%s -> %s (%d x %d)\n", what.c_str(), run.Pair.Output.c_str(), run.Width, run.Height);
      break;
    case psSkipped:
      ++FSkipped;
      std::printf("%s -> %s (%s)\n", what.c_str(), run.Pair.Output.c_str(), Tr("up to date", "aktuell").c_str());
      break;
    default:
      ++FFailed;
      std::fprintf(stderr, "%s: %s: %s\n", Tr("Failed", "Fehlgeschlagen").c_str(), what.c_str(), run.Error.c_str());
      break;
  }
  for (const auto& w : run.Warnings) std::fprintf(stderr, "%s: %s\n", what.c_str(), OneLine(w).c_str());
  std::fflush(stdout);
  if (run.State != psSkipped) {
    ++FTimed;
    FTimedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count();
  }
  const int total = static_cast<int>(FRuns.size()), finished = FDone + FFailed + FSkipped;
  // The time left from the pace of the pairs composed so far.
  std::string left = finished == total ? Duration(0) : "?";
  if (FTimed > 0) left = Duration(FTimedSeconds / FTimed * (total - finished));
  std::fprintf(stderr, "[%d/%d] %s %d, %s %d, %s %d, %s %s%s", finished, total, Tr("done", "fertig").c_str(), FDone,
               Tr("failed", "fehlgeschlagen").c_str(), FFailed, Tr("skipped", "übersprungen").c_str(), FSkipped,
               Tr("left about", "noch etwa").c_str(), left.c_str(), FTty ? "" : "\n");
  std::fflush(stderr);
}

// The report file: every pair with its inputs, output, time, alignment and error.
void WriteReport(const std::string& fileName, const std::vector<TPairRun>& runs, const TPairSearch& search) {
  static const char* const states[] = {"waiting", "written", "failed", "skipped", "not done"};
  std::string s = "{\n  \"pairs\": [";
  for (size_t i = 0; i < runs.size(); ++i) {
    const TPairRun& r = runs[i];
    std::string inputs;
    for (const auto& f : PairInputs(r.Pair, false)) inputs += (inputs.empty() ? "" : ", ") + JsonString(f);
    s += std::string(i ? "," : "") + "\n    {\"inputs\": [" + inputs + "], \"output\": " + JsonString(r.Pair.Output) +
         ", \"status\": " + JsonString(states[r.State]) + ", \"time\": " + JsonNum(r.Seconds, 3);
    if (r.State == psWritten)
      s += ", \"load\": " + JsonNum(r.LoadSeconds, 3) + ", \"compose\": " + JsonNum(r.ComposeSeconds, 3) +
           ", \"save\": " + JsonNum(r.SaveSeconds, 3);
    if (r.State == psWritten) s += ", \"width\": " + std::to_string(r.Width) + ", \"height\": " + std::to_string(r.Height);
    s += ", \"alignment\": " + (r.Alignment ? AlignJson(*r.Alignment, ", ", "}") : std::string("null"));
    s += ", \"deviation\": " +
         (r.Alignment && r.Alignment->Status == aasAligned ? JsonNum(r.Alignment->Deviation, 2) : std::string("null"));
    std::string warnings;
    for (const auto& w : r.Warnings) warnings += (warnings.empty() ? "" : ", ") + JsonString(OneLine(w));
    s += ", \"warnings\": [" + warnings + "], \"error\": " + (r.Error.empty() ? "null" : JsonString(r.Error)) + "}";
  }
  s += "\n  ],\n  \"unpaired\": [";
  for (size_t i = 0; i < search.Unpaired.size(); ++i) s += (i ? ", " : "") + JsonString(search.Unpaired[i]);
  s += "],\n  \"ambiguous\": [";
  for (size_t i = 0; i < search.Ambiguous.size(); ++i) s += (i ? ", " : "") + JsonString(search.Ambiguous[i]);
  s += "]\n}\n";
  const std::string temp = fileName + ".tmp";
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    f << s;
    f.close();
    if (!f) throw std::runtime_error(Tr("Cannot write the report ", "Bericht nicht schreibbar: ") + fileName);
  }
  std::error_code ec;
  fs::rename(temp, fileName, ec);
  if (ec) throw std::runtime_error(Tr("Cannot write the report ", "Bericht nicht schreibbar: ") + fileName);
}

} // namespace

int Batch(int argc, char** argv) {
  const TArgs a = ParseComposeArgs(argc, argv, {"help", "list", "skip-existing", "strict"},
                                   {"out", "name", "format", "jobs", "max-memory", "report", "shard", "lang", "threads"});
  if (a.Flag("help")) {
    std::fputs(BatchHelp, stdout);
    return 0;
  }
  SetLanguage(a);
  if (a.Positional.empty()) throw EUsage("batch needs at least one INPUT file or folder");
  if (!a.Value("out")) throw EUsage("batch needs --out FOLDER");
  TComposeOptions options = ParseComposeOptions(a);
  const std::string outFolder = *a.Value("out");
  // The output pattern and its format.
  std::string pattern = a.Value("name") ? *a.Value("name") : "{stem}_{mode}.jpg";
  if (pattern.find('/') != std::string::npos || pattern.find("{stem}") == std::string::npos)
    throw EUsage("--name needs a file name with {stem} (and no folder)");
  if (const std::string* format = a.Value("format")) {
    std::string ext = *format;
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    if (ext.empty() || ext.find('/') != std::string::npos || !PGFormatRegistry().FindWriter(ext))
      throw EUsage("--format needs the extension of a format that can be written (jpg, png, tif, bmp, mpo, jps, ...)");
    const std::string current = ExtractFormatExtension(pattern);
    if (!current.empty()) pattern.erase(pattern.size() - current.size() - 1);
    pattern += "." + ext;
  } else if (!PGFormatRegistry().FindWriter(ExtractFormatExtension(pattern))) {
    throw EUsage("--name needs the extension of a format that can be written (or give --format)");
  }
  const bool pairOutput = IsStereoPairFileName(pattern);
  if (pairOutput && options.ModeGiven) throw EUsage("--mode does not apply to a stereo pair output (.mpo, .jps)");
  const int jobs = IntOption(a, "jobs", 1, 1024, static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
  const int64_t cap = a.Value("max-memory") ? ParseSize(*a.Value("max-memory")) : DefaultMemoryCap();
  int shard = 1, shards = 1;
  if (const std::string* s = a.Value("shard")) {
    const size_t slash = s->find('/');
    if (slash == std::string::npos || !ParseInt(s->substr(slash + 1), 1, 1000000, shards) ||
        !ParseInt(s->substr(0, slash), 1, shards, shard))
      throw EUsage("--shard needs K/N with 1 <= K <= N");
  }
  // The report's folder is checked now rather than after the work.
  if (const std::string* report = a.Value("report")) {
    const fs::path folder = fs::path(*report).parent_path();
    if (report->empty() || fs::is_directory(*report) || !fs::is_directory(folder.empty() ? fs::path(".") : folder))
      throw EUsage("--report needs a file name in an existing folder");
  }
  // Each pair on one thread: the library's own threads would only compete
  // with the other pairs (--threads sets them anyway).
  PGSetThreadCount(1);
  SetThreads(a);

  TPairSearch search = FindPairs(a.Positional, a.Value("split") != nullptr, options.Job.Source);
  if (!search.Missing.empty()) throw EUsage("no such file or folder: " + search.Missing[0]);
  AssignOutputs(search, outFolder, pattern, pairOutput ? "pair" : ModeName(options.Mode));
  const size_t found = search.Pairs.size();
  std::vector<TPairRun> runs;
  for (auto& p : ShardOf(search.Pairs, shard, shards)) {
    runs.emplace_back();
    runs.back().Pair = std::move(p);
  }

  for (const auto& f : search.Unpaired) std::fprintf(stderr, "%s: %s\n", Tr("Unpaired", "Ohne Partner").c_str(), f.c_str());
  for (const auto& f : search.Ambiguous) std::fprintf(stderr, "%s: %s\n", Tr("Ambiguous", "Mehrdeutig").c_str(), f.c_str());
  if (a.Flag("list")) {
    for (const auto& r : runs) std::printf("%s -> %s\n", Describe(r.Pair).c_str(), r.Pair.Output.c_str());
    return 0;
  }
  if (found == 0 && search.Ambiguous.empty()) {
    std::fprintf(stderr, "%s\n", Tr("No pairs found.", "Keine Paare gefunden.").c_str());
    return 1;
  }
  if (!runs.empty() && !fs::is_directory(outFolder) && !platform::ForceDirectories(outFolder)) {
    std::fprintf(stderr, "%s: %s\n", Tr("Cannot create the folder", "Ordner nicht anlegbar").c_str(),
                 outFolder.c_str());
    return 1;
  }

  // The library's message boxes become warnings of the pair in work.
  const bool strict = a.Flag("strict");
  std::mutex orphanMutex;
  platform::SetMessageBoxHook([strict, &orphanMutex](const std::string& text, const std::string& caption,
                                                     platform::TMsgButtons buttons, platform::TMsgIcon) -> int {
    const std::string line = OneLine(caption.empty() ? text : caption + ": " + text);
    if (CurrentPair) {
      CurrentPair->Warnings.push_back(line);
    } else {
      std::lock_guard<std::mutex> lock(orphanMutex);
      std::fprintf(stderr, "%s\n", line.c_str());
    }
    return MessageBoxAnswer(buttons, strict);
  });

  TBatchRunner runner(runs, options.Job, jobs, cap, a.Flag("skip-existing"), strict);
  const auto start = std::chrono::steady_clock::now();
  const bool interrupted = runner.Run();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  platform::SetMessageBoxHook({});

  int written = 0, failed = 0, skipped = 0, notDone = 0;
  const int ambiguous = static_cast<int>(search.Ambiguous.size());
  for (auto& r : runs) {
    if (r.State == psWaiting) r.State = psNotDone;
    written += r.State == psWritten;
    failed += r.State == psFailed;
    skipped += r.State == psSkipped;
    notDone += r.State == psNotDone;
  }
  if (const std::string* report = a.Value("report")) WriteReport(*report, runs, search);
  std::printf("%s: %zu %s, %d %s, %d %s, %d %s", Tr("Summary", "Zusammenfassung").c_str(), runs.size(),
              Tr("pairs", "Paare").c_str(), written, Tr("written", "geschrieben").c_str(), failed,
              Tr("failed", "fehlgeschlagen").c_str(), skipped, Tr("skipped", "übersprungen").c_str());
  if (notDone) std::printf(", %d %s", notDone, Tr("not done", "nicht bearbeitet").c_str());
  if (ambiguous) std::printf(", %d %s", ambiguous, Tr("ambiguous", "mehrdeutig").c_str());
  if (!search.Unpaired.empty()) std::printf(", %zu %s", search.Unpaired.size(), Tr("unpaired files", "Dateien ohne Partner").c_str());
  std::printf(" %s %s", Tr("in", "in").c_str(), Duration(seconds).c_str());
  if (shards > 1) std::printf(" (%s %d/%d)", Tr("part", "Teil").c_str(), shard, shards);
  std::printf("\n");
  if (interrupted)
    std::fprintf(stderr, "%s\n", Tr("Interrupted.", "Unterbrochen.").c_str());
  return failed == 0 && notDone == 0 && ambiguous == 0 ? 0 : 1;
}

} // namespace cli
