#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_test.h"
#include "common/file_test_util.h"
#include "pgraphic/core/pixelgraphic.h"

namespace fs = std::filesystem;

namespace {

using clitest::CliTest;
using clitest::TRun;

class BatchTest : public CliTest {
protected:
  void Touch(const std::string& name) const { testutil::WriteFileText(Path(name), "x"); }
  void CopySample(const char* sample, const std::string& name) const {
    fs::create_directories(fs::path(Path(name)).parent_path());
    fs::copy_file(std::string(ZWILLO_SAMPLES) + "/" + sample, Path(name));
  }
  // The lines of a text, sorted.
  static std::multiset<std::string> Lines(const std::string& text) {
    std::multiset<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
      lines.insert(text.substr(start, nl - start));
    return lines;
  }
  // Starts the tool in the scratch folder without waiting for it.
  pid_t Start(const std::vector<std::string>& args) const {
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(FDir.c_str()) != 0) _exit(127);
      freopen("stdout.txt", "w", stdout);
      freopen("stderr.txt", "w", stderr);
      std::vector<char*> argv = {const_cast<char*>(ZWILLO_CLI)};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(ZWILLO_CLI, argv.data());
      _exit(127);
    }
    return pid;
  }
  // The finished outputs and the hidden (temporary) files of folder.
  void Outputs(const std::string& folder, std::set<std::string>& done, std::set<std::string>& hidden) const {
    done.clear();
    hidden.clear();
    if (!fs::exists(Path(folder))) return;
    for (const auto& name : testutil::FolderListing(Path(folder))) (name[0] == '.' ? hidden : done).insert(name);
  }
};

// ------------------------------------------------------------------ finding pairs

TEST_F(BatchTest, PairsByEveryNamePatternFolderAndStereoFile) {
  for (const char* f : {"shoot/a_l.jpg", "shoot/a_r.JPG", "shoot/bL.png", "shoot/BR.png", "shoot/c-left.tif",
                        "shoot/c-RIGHT.tif", "shoot/d_left.jpg", "shoot/d_right.jpg", "shoot/left/e.jpg",
                        "shoot/right/E.jpg", "shoot/left/lonely.jpg", "shoot/f.mpo", "shoot/g.JPS", "shoot/h_l.jpg",
                        "shoot/h_l.png", "shoot/h_r.jpg", "shoot/solo_l.jpg", "shoot/notes.txt", "shoot/a_l.3DF",
                        "shoot/.k_l.jpg", "shoot/.k_r.jpg", "shoot/sub/m_l.jpg", "shoot/sub/m_r.jpg", "more/i_l.jpg",
                        "more/i_r.jpg", "extra/j-left.bmp", "extra/j-right.bmp", "extra/readme.txt"})
    Touch(f);
  const std::vector<std::string> args = {"batch", "shoot", "more", "extra/j-left.bmp", "extra/j-right.bmp",
                                         "extra/readme.txt", "shoot/a_l.jpg", "--out", "out", "--list"};
  TRun r = Run(args);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "extra/j-left.bmp + extra/j-right.bmp -> out/j_red-green.jpg\n"
                   "more/i_l.jpg + more/i_r.jpg -> out/i_red-green.jpg\n"
                   "shoot/a_l.jpg + shoot/a_r.JPG -> out/a_red-green.jpg\n"
                   "shoot/bL.png + shoot/BR.png -> out/b_red-green.jpg\n"
                   "shoot/c-left.tif + shoot/c-RIGHT.tif -> out/c_red-green.jpg\n"
                   "shoot/d_left.jpg + shoot/d_right.jpg -> out/d_red-green.jpg\n"
                   "shoot/f.mpo -> out/f_red-green.jpg\n"
                   "shoot/g.JPS -> out/g_red-green.jpg\n"
                   "shoot/left/e.jpg + shoot/right/E.jpg -> out/e_red-green.jpg\n");
  EXPECT_EQ(r.Err, "Unpaired: extra/readme.txt\nUnpaired: shoot/left/lonely.jpg\nUnpaired: shoot/solo_l.jpg\n"
                   "Ambiguous: shoot/h_l.jpg, shoot/h_l.png, shoot/h_r.jpg: more than one photograph for one side "
                   "of \"h\"\n");
  EXPECT_FALSE(fs::exists(Path("out"))) << "--list writes nothing";

  // The shards of the sorted list are disjoint and cover it.
  std::multiset<std::string> all = Lines(r.Out), shards;
  for (int k = 1; k <= 4; ++k) {
    std::vector<std::string> part = args;
    part.insert(part.end(), {"--shard", std::to_string(k) + "/4"});
    const TRun s = Run(part);
    EXPECT_EQ(s.Status, 0);
    for (const auto& line : Lines(s.Out)) shards.insert(line);
    EXPECT_GE(Lines(s.Out).size(), 2u);
  }
  EXPECT_EQ(shards, all);

  // Two pairs for one output name, and an output over its own photograph, are not guessed either.
  Touch("more/a-left.jpg");
  Touch("more/a-right.jpg");
  r = Run({"batch", "shoot", "more", "--out", "shoot", "--name", "{stem}_left.jpg", "--list"});
  EXPECT_EQ(r.Out.find("shoot/a_l.jpg +"), std::string::npos) << r.Out;
  EXPECT_EQ(r.Out.find("shoot/d_left.jpg +"), std::string::npos) << r.Out;
  EXPECT_NE(r.Err.find("Ambiguous: more/a-left.jpg + more/a-right.jpg, shoot/a_l.jpg + shoot/a_r.JPG: all would "
                       "write shoot/a_left.jpg"),
            std::string::npos)
      << r.Err;
  EXPECT_NE(r.Err.find("Ambiguous: shoot/d_left.jpg + shoot/d_right.jpg: its output shoot/d_left.jpg is one of the "
                       "photographs"),
            std::string::npos)
      << r.Err;

  // With --split every picture holds both views; format and pattern name the outputs.
  r = Run({"batch", "extra", "shoot/f.mpo", "--out", "o", "--split", "cross", "--format", ".png", "--name",
           "{mode}-{stem}.jpg", "--mode", "colour", "--list"});
  EXPECT_EQ(r.Out, "extra/j-left.bmp -> o/colour-j-left.png\nextra/j-right.bmp -> o/colour-j-right.png\n"
                   "shoot/f.mpo -> o/colour-f.png\n");
  r = Run({"batch", "shoot/f.mpo", "--out", "o", "--format", "jps", "--list"});
  EXPECT_EQ(r.Out, "shoot/f.mpo -> o/f_pair.jps\n");
}

// ------------------------------------------------------------------ running pairs

TEST_F(BatchTest, UsageErrorsExitWithTwo) {
  Touch("in/a_l.jpg");
  Touch("in/a_r.jpg");
  const std::vector<std::vector<std::string>> bad = {
      {"batch", "--out", "o"},
      {"batch", "in"},
      {"batch", "in", "missing", "--out", "o"},
      {"batch", "in", "--out", "o", "--jobs", "0"},
      {"batch", "in", "--out", "o", "--shard", "3/2"},
      {"batch", "in", "--out", "o", "--shard", "1"},
      {"batch", "in", "--out", "o", "--max-memory", "lots"},
      {"batch", "in", "--out", "o", "--name", "fixed.jpg"},
      {"batch", "in", "--out", "o", "--name", "{stem}.xyz"},
      {"batch", "in", "--out", "o", "--format", "pcx"},
      {"batch", "in", "--out", "o", "--format", "mpo", "--mode", "1"},
      {"batch", "in", "--out", "o", "--quality", "0"},
      {"batch", "in", "--out", "o", "--report", "nofolder/r.json"},
  };
  for (const auto& args : bad) {
    const TRun r = Run(args);
    EXPECT_EQ(r.Status, 2) << args.back();
    EXPECT_NE(r.Err.find("Usage: zwillo-cli batch"), std::string::npos) << r.Err;
  }
  EXPECT_FALSE(fs::exists(Path("o")));
  const TRun none = Run({"batch", "in/a_l.jpg", "--out", "o"});
  EXPECT_EQ(none.Status, 1);
  EXPECT_NE(none.Err.find("No pairs found."), std::string::npos);
}

// A pair that fails in the middle stops nothing: its line names the files and
// the error, the report has every pair, and the exit status is 1. Mended, a
// run with --skip-existing writes only that pair and ends with 0.
TEST_F(BatchTest, FailureInTheMiddleReportAndSkipExisting) {
  for (const char* stem : {"a", "b", "c"}) {
    CopySample("szene_l.jpg", std::string("in/") + stem + "_l.jpg");
    CopySample("szene_r.jpg", std::string("in/") + stem + "_r.jpg");
  }
  CopySample("szene_l.3DF", "in/a_l.3DF");
  CopySample("szene_r.3DF", "in/a_r.3DF");
  testutil::WriteFileText(Path("in/b_l.jpg"), "not a picture");
  TRun r = Run({"batch", "in", "--out", "out", "--jobs", "1", "--auto-align", "--report", "r.json"});
  EXPECT_EQ(r.Status, 1) << r.Err;
  EXPECT_TRUE(fs::exists(Path("out/a_red-green.jpg")));
  EXPECT_TRUE(fs::exists(Path("out/c_red-green.jpg")));
  EXPECT_FALSE(fs::exists(Path("out/b_red-green.jpg")));
  EXPECT_NE(r.Err.find("Failed: in/b_l.jpg + in/b_r.jpg: "), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("[3/3] done 2, failed 1, skipped 0"), std::string::npos) << r.Err;
  EXPECT_NE(r.Out.find("Summary: 3 pairs, 2 written, 1 failed, 0 skipped"), std::string::npos) << r.Out;
  const std::string report = testutil::ReadFileText(Path("r.json"));
  EXPECT_NE(report.find("{\"inputs\": [\"in/a_l.jpg\", \"in/a_r.jpg\"], \"output\": \"out/a_red-green.jpg\", "
                        "\"status\": \"written\", \"time\": "),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("\"alignment\": { \"aligned\": true, \"verticalOffset\": "), std::string::npos) << report;
  EXPECT_NE(report.find("\"status\": \"failed\""), std::string::npos);
  EXPECT_EQ(report.find("\"error\": null", report.find("\"status\": \"failed\"")),
            report.find("\"error\": null", report.find("in/c_l.jpg")));
  EXPECT_EQ(report.find("\"deviation\": null"), report.find("\"deviation\": null", report.find("in/b_l.jpg")));

  fs::copy_file(std::string(ZWILLO_SAMPLES) + "/szene_l.jpg", Path("in/b_l.jpg"), fs::copy_options::overwrite_existing);
  r = Run({"batch", "in", "--out", "out", "--auto-align", "--skip-existing"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("Summary: 3 pairs, 1 written, 0 failed, 2 skipped"), std::string::npos) << r.Out;
  // A parameter file changed since: its pair is composed again.
  fs::last_write_time(Path("in/a_r.3DF"), fs::file_time_type::clock::now() + std::chrono::hours(1));
  r = Run({"batch", "in", "--out", "out", "--auto-align", "--skip-existing"});
  EXPECT_NE(r.Out.find("in/a_l.jpg + in/a_r.jpg -> out/a_red-green.jpg (1"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("1 written, 0 failed, 2 skipped"), std::string::npos) << r.Out;
}

// Pairs composed at the same time, also waiting for memory, give the bytes
// compose gives each pair alone.
TEST_F(BatchTest, ParallelPairsMatchComposeByteForByte) {
  for (const char* stem : {"p", "q", "r", "s"}) {
    CopySample("szene_l.jpg", std::string(stem) + "_l.jpg");
    CopySample("szene_r.jpg", std::string(stem) + "_r.jpg");
  }
  CopySample("szene_l.3DF", "q_l.3DF");
  CopySample("szene_r.3DF", "q_r.3DF");
  ASSERT_EQ(Run({"compose", "p_l.jpg", "p_r.jpg", "p.png", "--mode", "dubois"}).Status, 0);
  ASSERT_EQ(Run({"compose", "q_l.jpg", "q_r.jpg", "q.png", "--mode", "dubois"}).Status, 0);
  for (const char* cap : {"1", "4G"}) {
    const TRun r = Run({"batch", ".", "--out", std::string("out") + cap, "--jobs", "3", "--max-memory", cap,
                        "--mode", "dubois", "--format", "png"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    for (const char* stem : {"p", "q", "r", "s"})
      EXPECT_EQ(testutil::ReadFileBytes(Path(std::string("out") + cap + "/" + stem + "_dubois.png")),
                testutil::ReadFileBytes(Path(*stem == 'q' ? "q.png" : "p.png")))
          << cap << stem;
  }
}

// Interrupted (SIGTERM as Ctrl+C's SIGINT) the batch finishes the pair in work
// and leaves no partial file; killed outright it leaves no output file half
// written; resumed with --skip-existing it composes only the rest.
TEST_F(BatchTest, ParallelInterruptedBatchResumes) {
  ASSERT_EQ(Run({"convert", std::string(ZWILLO_SAMPLES) + "/szene_l.jpg", "big_l.jpg", "--resize", "2400x1800"}).Status, 0);
  ASSERT_EQ(Run({"convert", std::string(ZWILLO_SAMPLES) + "/szene_r.jpg", "big_r.jpg", "--resize", "2400x1800"}).Status, 0);
  const int pairs = 10;
  for (int i = 0; i < pairs; ++i) {
    fs::create_directories(Path("in"));
    fs::copy_file(Path("big_l.jpg"), Path("in/p" + std::to_string(i) + "_l.jpg"));
    fs::copy_file(Path("big_r.jpg"), Path("in/p" + std::to_string(i) + "_r.jpg"));
  }
  const std::vector<std::string> args = {"batch", "in", "--out", "out", "--format", "bmp", "--jobs", "2",
                                         "--skip-existing"};
  std::set<std::string> done, hidden;
  // Stops the batch once it has written more than `after` outputs.
  auto interrupt = [&](size_t after, int sig) {
    const pid_t pid = Start(args);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (Outputs("out", done, hidden); done.size() <= after && std::chrono::steady_clock::now() < limit;
         Outputs("out", done, hidden))
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    kill(pid, sig);
    int status = 0;
    waitpid(pid, &status, 0);
    Outputs("out", done, hidden);
    return status;
  };
  const int status = interrupt(0, SIGTERM);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(testutil::ReadFileText(Path("stderr.txt")).find("Interrupted"), std::string::npos);
  EXPECT_TRUE(hidden.empty());
  ASSERT_LT(done.size(), static_cast<size_t>(pairs)) << "the batch ended before the interruption";
  const size_t first = done.size();
  interrupt(first, SIGKILL);
  const size_t second = done.size();
  for (const auto& name : done) {
    TPixelGraphic g;
    g.LoadFromFile(Path("out/" + name));
    EXPECT_EQ(g.Width(), 2400) << name;
  }
  const TRun r = Run(args);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find(std::to_string(pairs - second) + " written, 0 failed, " + std::to_string(second) + " skipped"),
            std::string::npos)
      << r.Out;
  Outputs("out", done, hidden);
  EXPECT_EQ(done.size(), static_cast<size_t>(pairs));
  EXPECT_TRUE(hidden.empty()) << *hidden.begin();
}

} // namespace
