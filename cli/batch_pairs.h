#pragma once

// The pairs of a batch: which photographs belong together, where each pair's
// result goes, and the part of the pairs one of several machines takes.

#include <string>
#include <vector>

#include "app/core/compose.h"

namespace cli {

// One pair of a batch. Right empty: both photographs come from Left (an MPO or
// JPS file, or with --split a picture of both views).
struct TBatchPair {
  std::string Stem; // what the output's name is made from
  std::string Left, Right;
  TPairSource Source = psStereoFile;
  std::string Output; // set by AssignOutputs
};

// What a search of the inputs found. Pairs are sorted by their file names.
struct TPairSearch {
  std::vector<TBatchPair> Pairs;
  std::vector<std::string> Unpaired;  // pictures without a partner
  std::vector<std::string> Ambiguous; // one line each: files that could pair more than one way
  std::vector<std::string> Missing;   // inputs that are neither a file nor a folder
};

// Finds the pairs among inputs (files and folders; a folder's own pictures,
// not those of its subfolders, except a left/ and right/ subfolder, whose
// pictures of equal names pair). By name, case-insensitively: NAME_l/NAME_r
// (also with '-', ' ' or '.' before the letter), NAMEL/NAMER, NAME-left/
// NAME-right (also with '_', ' ' or '.'); the most specific reading of a name
// counts, and a pair needs the same reading on both sides. MPO and JPS files
// are pairs by themselves; with split every other picture is one (its views
// as split says) and no names are paired. Hidden files and files that are no
// picture of a readable format are passed over in folders; given by name they
// count as unpaired.
TPairSearch FindPairs(const std::vector<std::string>& inputs, bool split, TPairSource splitSource);

// The output name of a pair: pattern with {stem} and {mode} replaced, in folder.
std::string OutputName(const std::string& folder, const std::string& pattern, const std::string& stem,
                       const std::string& mode);

// Sets each pair's Output. Pairs that would write the same file, or over one
// of the inputs, are taken out of the list and reported in Ambiguous.
void AssignOutputs(TPairSearch& search, const std::string& folder, const std::string& pattern,
                   const std::string& mode);

// Part shard (1..count) of count of the sorted pairs: every count-th pair from
// the shard-th on, so that the parts are disjoint, cover every pair, and
// differ by at most one pair in size.
std::vector<TBatchPair> ShardOf(const std::vector<TBatchPair>& pairs, int shard, int count);

} // namespace cli
