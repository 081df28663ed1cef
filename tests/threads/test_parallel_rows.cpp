// The library's row loops on its pool of threads: rows, reports and aborts as
// on one thread, failures of helpers rethrown, the same threads reused.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/threadpool.h"

namespace {

// Sets the thread count (unless n is 0) and restores the default however a
// test ends.
struct TThreads {
  explicit TThreads(int n) : FSet(n != 0) {
    if (FSet) PGSetThreadCount(n);
  }
  ~TThreads() {
    if (FSet) PGSetThreadCount(0);
  }
  bool FSet;
};

// A 24-bit image whose every byte is 7.
std::unique_ptr<TPixelGraphic> Blank(int w, int h) {
  auto img = std::make_unique<TPixelGraphic>();
  img->SetSize(w, h, bc24Bit);
  for (int y = 0; y < h; ++y) std::fill_n(img->ScanLine(y), 3 * w, 7);
  return img;
}

struct TResult {
  std::vector<int> Reports;
  std::vector<std::vector<uint8_t>> Rows;
  bool Completed = true;
};

// A loop over rows 3..h-4 of columns 5..w-6 that skips every seventh row,
// writes only the even columns (the others keep their 7) and reports into
// Reports, aborting at abortAt; on the given number of threads (0: as set).
TResult Loop(int threads, int batch, int abortAt, int w = 301, int h = 700) {
  TThreads t(threads);
  auto img = Blank(w, h);
  TResult r;
  pg::TRowLoop loop;
  loop.Target = img.get();
  loop.First = 3;
  loop.Last = h - 4;
  loop.Offset = 15;
  loop.Bytes = 3 * static_cast<size_t>(w - 10);
  loop.Batch = batch;
  loop.KeepUntouched = true;
  r.Completed = pg::RunRows(
      loop,
      [&]() -> pg::TRowsFunction {
        return [&](int y, int count, uint8_t* out, ptrdiff_t stride, uint8_t* written) {
          EXPECT_LE(count, batch);
          for (int j = 0; j < count; ++j) {
            if ((y + j) % 7 == 0) {
              written[j] = 0;
              continue;
            }
            uint8_t* row = out + j * stride;
            for (int x = 0; x < w - 10; x += 2) row[3 * x] = static_cast<uint8_t>(y + j + x);
          }
        };
      },
      [&](int y) {
        r.Reports.push_back(y);
        return y == abortAt;
      });
  for (int y = 0; y < h; ++y) r.Rows.emplace_back(img->ScanLine(y), img->ScanLine(y) + 3 * w);
  return r;
}

TEST(ParallelRows, RowsReportsAndAbortAsOnOneThread) {
  for (int batch : {1, 16}) {
    SCOPED_TRACE(testing::Message() << "batch " << batch);
    const TResult one = Loop(1, batch, -1);
    ASSERT_TRUE(one.Completed);
    ASSERT_EQ(one.Reports.size(), 694u - 99u);  // rows 3..696 without the 99 multiples of 7
    EXPECT_TRUE(std::is_sorted(one.Reports.begin(), one.Reports.end()));
    EXPECT_EQ(std::count(one.Reports.begin(), one.Reports.end(), 14), 0);
    EXPECT_EQ(one.Rows[14], std::vector<uint8_t>(3 * 301, 7));
    for (int threads : {2, 3, 4}) {
      const TResult many = Loop(threads, batch, -1);
      EXPECT_EQ(many.Reports, one.Reports);
      EXPECT_EQ(many.Rows, one.Rows);
    }
    // Aborted half-way: the rows after the abort stay as they were.
    const int half = one.Reports[one.Reports.size() / 2];
    const TResult oneAborted = Loop(1, batch, half);
    EXPECT_FALSE(oneAborted.Completed);
    EXPECT_EQ(oneAborted.Reports.back(), half);
    EXPECT_EQ(oneAborted.Rows[half + 1], std::vector<uint8_t>(3 * 301, 7));
    for (int threads : {2, 3}) {
      const TResult aborted = Loop(threads, batch, half);
      EXPECT_FALSE(aborted.Completed);
      EXPECT_EQ(aborted.Reports, oneAborted.Reports);
      EXPECT_EQ(aborted.Rows, oneAborted.Rows);
    }
  }
}

TEST(ParallelRows, FailureOfAnyRowIsRethrownOnTheCallingThread) {
  TThreads t(3);
  for (bool report : {false, true})
    for (int failing : {5, 350, 690}) {
      auto img = Blank(400, 700);
      pg::TRowLoop loop{img.get(), 0, 699, 0, 1200};
      std::vector<int> reports;
      EXPECT_THROW(pg::RunRows(
                       loop,
                       [&]() -> pg::TRowsFunction {
                         return [&](int y, int, uint8_t*, ptrdiff_t, uint8_t*) {
                           if (y == failing) throw std::runtime_error("row");
                         };
                       },
                       report ? pg::TRowReport([&](int y) {
                         reports.push_back(y);
                         return false;
                       })
                              : pg::TRowReport()),
                   std::runtime_error);
      // Reports stop before the failing row.
      for (int y : reports) EXPECT_LT(y, failing);
    }
}

TEST(ParallelRows, SameHelpersEveryTimeAndNoneWhenSwitchedOff) {
  auto img = Blank(400, 700);
  pg::TRowLoop loop{img.get(), 0, 699, 0, 1200};
  std::mutex m;
  std::set<std::thread::id> ids;
  auto run = [&] {
    pg::RunRows(loop, [&]() -> pg::TRowsFunction {
      return [&](int, int, uint8_t*, ptrdiff_t, uint8_t*) {
        std::lock_guard<std::mutex> lock(m);
        ids.insert(std::this_thread::get_id());
      };
    });
  };
  {
    TThreads t(3);
    for (int i = 0; i < 30; ++i) run();
    EXPECT_LE(ids.size(), 3u);
  }
  TThreads t(1);
  ids.clear();
  run();
  EXPECT_EQ(ids, std::set<std::thread::id>{std::this_thread::get_id()});
}

TEST(ParallelRows, LoopsOfSeveralCallersAtOnce) {
  const TResult expected = Loop(1, 1, -1);
  TThreads t(2);
  std::vector<TResult> results(3);
  std::vector<std::thread> callers;
  for (int i = 0; i < 3; ++i) callers.emplace_back([&, i] { results[i] = Loop(0, i == 2 ? 16 : 1, -1); });
  for (auto& c : callers) c.join();
  for (const TResult& r : results) {
    EXPECT_EQ(r.Reports, expected.Reports);
    EXPECT_EQ(r.Rows, expected.Rows);
  }
}

} // namespace
