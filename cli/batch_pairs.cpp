#include "cli/batch_pairs.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "app/core/stereofile.h"
#include "pgraphic/formats/registry.h"

namespace fs = std::filesystem;

namespace cli {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Whether the registry reads files of this name's extension (MPO and JPS included).
bool IsPictureName(const std::string& name) {
  static const std::set<std::string> extensions = [] {
    std::set<std::string> e = {"mpo", "jps", "jpeg", "jif"};
    for (const auto& reader : PGFormatRegistry().Readers()) e.insert(reader->Extension);
    return e;
  }();
  return extensions.count(ExtractFormatExtension(name)) != 0;
}

// A file's reading as one side of a pair: the key both sides share and the side.
struct TSideName {
  std::string Key, Stem;
  bool Right = false;
};

// The most specific reading of a file name (without folder) as one side of a
// pair: words before letters, a separated letter before a bare one.
bool ReadSideName(const std::string& fileName, TSideName& out) {
  const std::string stem = fs::path(fileName).stem().string();
  const std::string lower = Lower(stem);
  struct TForm {
    std::string LeftTail, RightTail;
  };
  std::vector<TForm> forms;
  for (const char* sep : {"-", "_", " ", "."}) forms.push_back({std::string(sep) + "left", std::string(sep) + "right"});
  for (const char* sep : {"_", "-", " ", "."}) forms.push_back({std::string(sep) + "l", std::string(sep) + "r"});
  forms.push_back({"l", "r"});
  for (const TForm& f : forms)
    for (const bool right : {false, true}) {
      const std::string& tail = right ? f.RightTail : f.LeftTail;
      if (lower.size() > tail.size() && EndsWith(lower, tail)) {
        out.Stem = stem.substr(0, stem.size() - tail.size());
        out.Key = Lower(out.Stem) + '\0' + f.LeftTail;
        out.Right = right;
        return true;
      }
    }
  return false;
}

std::string JoinFiles(const std::vector<std::string>& files) {
  std::string s;
  for (const auto& f : files) s += (s.empty() ? "" : ", ") + f;
  return s;
}

struct TGroup {
  std::string Stem;
  std::vector<std::string> Left, Right;
};

// Pairs the groups of one folder: exactly one file on each side makes a pair.
void PairGroups(const std::map<std::string, TGroup>& groups, TPairSearch& search) {
  for (const auto& [key, g] : groups) {
    if (g.Left.size() == 1 && g.Right.size() == 1) {
      search.Pairs.push_back({g.Stem, g.Left[0], g.Right[0], psStereoFile, {}});
    } else if (g.Left.size() > 1 || g.Right.size() > 1) {
      std::vector<std::string> all = g.Left;
      all.insert(all.end(), g.Right.begin(), g.Right.end());
      search.Ambiguous.push_back(JoinFiles(all) + ": more than one photograph for one side of \"" + g.Stem + "\"");
    } else {
      for (const auto& f : g.Left) search.Unpaired.push_back(f);
      for (const auto& f : g.Right) search.Unpaired.push_back(f);
    }
  }
}

// The pictures of a folder (no hidden files), sorted by name.
std::vector<std::string> FolderPictures(const fs::path& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.' || !IsPictureName(name)) continue;
    if (it->is_regular_file(ec)) files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// A folder's left/ and right/ subfolders: pictures of equal names (case aside) pair.
void PairSideFolders(const fs::path& leftFolder, const fs::path& rightFolder, TPairSearch& search) {
  std::map<std::string, TGroup> groups;
  for (const bool right : {false, true})
    for (const auto& f : FolderPictures(right ? rightFolder : leftFolder)) {
      TGroup& g = groups[Lower(fs::path(f).filename().string())];
      if (g.Stem.empty()) g.Stem = fs::path(f).stem().string();
      (right ? g.Right : g.Left).push_back(f);
    }
  PairGroups(groups, search);
}

} // namespace

TPairSearch FindPairs(const std::vector<std::string>& inputs, bool split, TPairSource splitSource) {
  TPairSearch search;
  // Files by folder, each file once however often it is named.
  std::map<std::string, std::vector<std::string>> byFolder;
  std::set<std::string> seen, seenSideFolders;
  auto add = [&](const fs::path& file, bool named) {
    std::error_code ec;
    const std::string id = fs::weakly_canonical(file, ec).string();
    if (!seen.insert(ec ? file.string() : id).second) return;
    if (!IsPictureName(file.filename().string())) {
      if (named) search.Unpaired.push_back(file.string());
      return;
    }
    byFolder[file.parent_path().string()].push_back(file.string());
  };
  for (const auto& input : inputs) {
    std::error_code ec;
    const fs::path p(input);
    if (fs::is_directory(p, ec)) {
      for (const auto& f : FolderPictures(p)) add(f, false);
      fs::path leftFolder, rightFolder;
      for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = Lower(it->path().filename().string());
        std::error_code e2;
        if (!it->is_directory(e2)) continue;
        if (name == "left") leftFolder = it->path();
        if (name == "right") rightFolder = it->path();
      }
      if (!leftFolder.empty() && !rightFolder.empty() &&
          seenSideFolders.insert(fs::weakly_canonical(p, ec).string()).second)
        PairSideFolders(leftFolder, rightFolder, search);
    } else if (fs::is_regular_file(p, ec)) {
      add(p, true);
    } else {
      search.Missing.push_back(input);
    }
  }
  for (auto& [folder, files] : byFolder) {
    std::sort(files.begin(), files.end());
    std::map<std::string, TGroup> groups;
    for (const auto& f : files) {
      if (IsStereoPairFileName(f)) {
        search.Pairs.push_back({fs::path(f).stem().string(), f, {}, psStereoFile, {}});
        continue;
      }
      if (split) {
        search.Pairs.push_back({fs::path(f).stem().string(), f, {}, splitSource, {}});
        continue;
      }
      TSideName side;
      if (!ReadSideName(fs::path(f).filename().string(), side)) {
        search.Unpaired.push_back(f);
        continue;
      }
      TGroup& g = groups[side.Key];
      if (g.Stem.empty() || !side.Right) g.Stem = side.Stem;
      (side.Right ? g.Right : g.Left).push_back(f);
    }
    PairGroups(groups, search);
  }
  std::sort(search.Pairs.begin(), search.Pairs.end(), [](const TBatchPair& a, const TBatchPair& b) {
    return a.Left != b.Left ? a.Left < b.Left : a.Right < b.Right;
  });
  std::sort(search.Unpaired.begin(), search.Unpaired.end());
  std::sort(search.Ambiguous.begin(), search.Ambiguous.end());
  return search;
}

std::string OutputName(const std::string& folder, const std::string& pattern, const std::string& stem,
                       const std::string& mode) {
  std::string name;
  for (size_t i = 0; i < pattern.size();) {
    if (pattern.compare(i, 6, "{stem}") == 0) {
      name += stem;
      i += 6;
    } else if (pattern.compare(i, 6, "{mode}") == 0) {
      name += mode;
      i += 6;
    } else {
      name += pattern[i++];
    }
  }
  return (fs::path(folder) / name).string();
}

void AssignOutputs(TPairSearch& search, const std::string& folder, const std::string& pattern,
                   const std::string& mode) {
  std::map<std::string, std::vector<size_t>> byOutput;
  std::set<std::string> inputs;
  std::error_code ec;
  for (size_t i = 0; i < search.Pairs.size(); ++i) {
    TBatchPair& p = search.Pairs[i];
    p.Output = OutputName(folder, pattern, p.Stem, mode);
    byOutput[fs::weakly_canonical(p.Output, ec).string()].push_back(i);
    inputs.insert(fs::weakly_canonical(p.Left, ec).string());
    if (!p.Right.empty()) inputs.insert(fs::weakly_canonical(p.Right, ec).string());
  }
  std::vector<bool> drop(search.Pairs.size(), false);
  auto describe = [&](size_t i) {
    const TBatchPair& p = search.Pairs[i];
    return p.Right.empty() ? p.Left : p.Left + " + " + p.Right;
  };
  for (const auto& [output, pairs] : byOutput) {
    if (pairs.size() > 1) {
      std::vector<std::string> names;
      for (size_t i : pairs) {
        names.push_back(describe(i));
        drop[i] = true;
      }
      search.Ambiguous.push_back(JoinFiles(names) + ": all would write " + search.Pairs[pairs[0]].Output);
    } else if (inputs.count(output)) {
      drop[pairs[0]] = true;
      search.Ambiguous.push_back(describe(pairs[0]) + ": its output " + search.Pairs[pairs[0]].Output +
                                 " is one of the photographs");
    }
  }
  std::vector<TBatchPair> kept;
  for (size_t i = 0; i < search.Pairs.size(); ++i)
    if (!drop[i]) kept.push_back(std::move(search.Pairs[i]));
  search.Pairs = std::move(kept);
  std::sort(search.Ambiguous.begin(), search.Ambiguous.end());
}

std::vector<TBatchPair> ShardOf(const std::vector<TBatchPair>& pairs, int shard, int count) {
  std::vector<TBatchPair> part;
  for (size_t i = static_cast<size_t>(shard - 1); i < pairs.size(); i += static_cast<size_t>(count))
    part.push_back(pairs[i]);
  return part;
}

} // namespace cli
