#include "pgraphic/core/threadpool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

std::atomic<int> gThreadCount{0};

int Cores() {
  static const int n = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  return n;
}

// Work that helper threads can take part in. Joined and Active are guarded
// by the pool's mutex.
class TPoolJob {
public:
  virtual ~TPoolJob() = default;
  // Runs on a helper thread; returns when the helper has nothing more to do.
  virtual void Help() noexcept = 0;
  int Wanted = 0;  // helpers the job can use
  int Joined = 0;  // helpers that took it
  int Active = 0;  // helpers inside Help
};

// The helper threads. They are detached: the pool lives as long as the
// process, and a thread no longer wanted ends by itself when it is idle, so
// nothing ever waits for a thread to end (not even a progress handler that
// changes the thread count in the middle of a loop).
class TPool {
public:
  static TPool& Instance() {
    static TPool* pool = new TPool;
    return *pool;
  }

  void SetWanted(int helpers) {
    std::lock_guard<std::mutex> lock(FMutex);
    FWanted = std::max(helpers, 0);
    while (static_cast<int>(FSlots.size()) > FWanted) {
      FSlots.back()->Retire = true;
      FSlots.pop_back();
    }
    FWake.notify_all();
  }

  // Offers the job to up to job.Wanted helpers, starting helper threads up to
  // the wanted number first. False when there is no helper at all.
  bool Offer(TPoolJob& job) {
    std::lock_guard<std::mutex> lock(FMutex);
    while (static_cast<int>(FSlots.size()) < FWanted) {
      auto slot = std::make_shared<TSlot>();
      try {
        std::thread(&TPool::Run, this, slot).detach();
      } catch (const std::system_error&) {
        break;  // the threads there are share the work
      }
      FSlots.push_back(std::move(slot));
    }
    if (FSlots.empty() || job.Wanted <= 0) return false;
    FJobs.push_back(&job);
    FWake.notify_all();
    return true;
  }

  // No helper takes the job from now on; returns once every helper that did
  // has left it.
  void Withdraw(TPoolJob& job) {
    std::unique_lock<std::mutex> lock(FMutex);
    FJobs.erase(std::remove(FJobs.begin(), FJobs.end(), &job), FJobs.end());
    FLeft.wait(lock, [&] { return job.Active == 0; });
  }

private:
  struct TSlot {
    bool Retire = false;  // guarded by FMutex
  };

  void Run(std::shared_ptr<TSlot> slot) {
    std::unique_lock<std::mutex> lock(FMutex);
    for (;;) {
      FWake.wait(lock, [&] { return slot->Retire || !FJobs.empty(); });
      if (slot->Retire) return;
      TPoolJob* job = FJobs.front();
      if (++job->Joined >= job->Wanted) FJobs.erase(FJobs.begin());
      ++job->Active;
      lock.unlock();
      job->Help();
      lock.lock();
      if (--job->Active == 0) FLeft.notify_all();
    }
  }

  std::mutex FMutex;
  std::condition_variable FWake;  // helpers wait here for jobs
  std::condition_variable FLeft;  // a withdrawing caller waits here
  std::vector<std::shared_ptr<TSlot>> FSlots;
  std::vector<TPoolJob*> FJobs;
  int FWanted = Cores() - 1;
};

// ------------------------------------------------------------ row loops

// Rows of a block computed outside the target, and which of them were written.
struct TBlockRows {
  std::vector<uint8_t> Bits;
  std::vector<uint8_t> Written;
};

class TRowsJob : public TPoolJob {
public:
  TRowsJob(const pg::TRowLoop& loop, const pg::TRowsMaker& maker, const pg::TRowReport& report, int threads)
      : FLoop(loop),
        FMaker(maker),
        FReport(report),
        FRows(static_cast<int64_t>(loop.Last) - loop.First + 1),
        FBatch(std::max(loop.Batch, 1)),
        FStride(-static_cast<ptrdiff_t>(loop.Target->BytesPerRow())) {
    // Blocks of about 256 KB, so that a block computed into a buffer is still
    // in its thread's cache when it is copied, and at least two per thread.
    const int64_t bytes = static_cast<int64_t>(std::max<size_t>(loop.Bytes, 1));
    FBlockRows = std::clamp<int64_t>((256 * 1024) / bytes, 1, std::max<int64_t>(1, FRows / (2 * threads)));
    FBlocks = (FRows + FBlockRows - 1) / FBlockRows;
    FAhead = 2 * static_cast<int64_t>(threads);
    Wanted = static_cast<int>(std::min<int64_t>(threads - 1, FBlocks - 1));
    FDone.resize(static_cast<size_t>(FBlocks));
  }

  void Help() noexcept override {
    try {
      pg::TRowsFunction rows = FMaker();
      if (!FReport) {
        Unordered(rows);
        return;
      }
      for (;;) {
        int64_t b = -1;
        std::unique_ptr<TBlockRows> out;
        {
          std::unique_lock<std::mutex> lock(FMutex);
          FWake.wait(lock, [&] { return FStop || FNext >= FBlocks || (b = TakeAhead(out)) >= 0; });
          if (b < 0) return;
        }
        ComputeAhead(rows, b, std::move(out));
      }
    } catch (...) {
      Fail(std::current_exception());
    }
  }

  // The calling thread's part; false when the report ended the loop.
  bool Run() {
    pg::TRowsFunction rows = FMaker();
    if (!FReport) {
      Unordered(rows);
      return true;
    }
    for (int64_t b = 0; b < FBlocks; ++b) {
      bool own;
      {
        std::lock_guard<std::mutex> lock(FMutex);
        if (FError) return true;
        own = FNext == b;
        if (own) ++FNext;
      }
      if (own) {
        if (!ComputeAndReport(rows, BlockFirst(b), BlockLast(b))) return false;
      } else {
        // A helper has the block. Until it is done this thread does not wait
        // while a later block is free: it computes that one into a buffer.
        std::unique_ptr<TBlockRows> from;
        for (;;) {
          int64_t ahead = -1;
          std::unique_ptr<TBlockRows> out;
          {
            std::unique_lock<std::mutex> lock(FMutex);
            FWake.wait(lock, [&] {
              return FDone[static_cast<size_t>(b)] || FError || (ahead = TakeAhead(out)) >= 0;
            });
            if (FDone[static_cast<size_t>(b)]) from = std::move(FDone[static_cast<size_t>(b)]);
            else if (ahead < 0) return true;  // a helper failed
          }
          if (ahead >= 0) ComputeAhead(rows, ahead, std::move(out));
          if (from) break;
        }
        if (!CopyAndReport(*from, BlockFirst(b), BlockLast(b))) return false;
        std::lock_guard<std::mutex> lock(FMutex);
        FFree.push_back(std::move(from));
      }
      {
        std::lock_guard<std::mutex> lock(FMutex);
        FReported = b + 1;
      }
      FWake.notify_all();
    }
    return true;
  }

  // Ends the work of the helpers (they finish the block they compute).
  void Stop() {
    FUnorderedStop.store(true, std::memory_order_relaxed);
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FStop = true;
    }
    FWake.notify_all();
  }

  // The failure of a helper, once they have all left.
  void RethrowFailure() {
    if (FError) std::rethrow_exception(FError);
  }

  // The whole loop on the calling thread.
  bool RunAlone() {
    pg::TRowsFunction rows = FMaker();
    if (FReport) return ComputeAndReport(rows, FLoop.First, FLoop.Last);
    std::vector<uint8_t> written(static_cast<size_t>(FBatch));
    for (int64_t y = FLoop.First; y <= FLoop.Last; y += FBatch) {
      const int n = static_cast<int>(std::min<int64_t>(FBatch, FLoop.Last - y + 1));
      std::fill(written.begin(), written.begin() + n, 1);
      rows(static_cast<int>(y), n, TargetRow(y), FStride, written.data());
    }
    return true;
  }

private:
  int64_t BlockFirst(int64_t b) const { return FLoop.First + b * FBlockRows; }
  int64_t BlockLast(int64_t b) const { return std::min<int64_t>(FLoop.Last, BlockFirst(b) + FBlockRows - 1); }
  uint8_t* TargetRow(int64_t y) const { return FLoop.Target->ScanLine(static_cast<int>(y)) + FLoop.Offset; }

  void Fail(std::exception_ptr error) {
    FUnorderedStop.store(true, std::memory_order_relaxed);
    {
      std::lock_guard<std::mutex> lock(FMutex);
      if (!FError) FError = std::move(error);
      FStop = true;
    }
    FWake.notify_all();
  }

  // Nobody reports: every thread takes the next block and computes it in the
  // target itself.
  void Unordered(pg::TRowsFunction& rows) {
    std::vector<uint8_t> written(static_cast<size_t>(FBatch));
    for (;;) {
      if (FUnorderedStop.load(std::memory_order_relaxed)) return;
      const int64_t b = FUnorderedNext.fetch_add(1, std::memory_order_relaxed);
      if (b >= FBlocks) return;
      try {
        for (int64_t y = BlockFirst(b); y <= BlockLast(b); y += FBatch) {
          const int n = static_cast<int>(std::min<int64_t>(FBatch, BlockLast(b) - y + 1));
          std::fill(written.begin(), written.begin() + n, 1);
          rows(static_cast<int>(y), n, TargetRow(y), FStride, written.data());
        }
      } catch (...) {
        Fail(std::current_exception());
        return;
      }
    }
  }

  // With FMutex held: claims the next block for a buffer when it is within
  // reach of the reports; -1 otherwise.
  int64_t TakeAhead(std::unique_ptr<TBlockRows>& out) {
    if (FStop || FNext >= FBlocks || FNext >= FReported + FAhead) return -1;
    if (!FFree.empty()) {
      out = std::move(FFree.back());
      FFree.pop_back();
    }
    return FNext++;
  }

  // Computes rows first..last into a buffer, starting from the target's rows
  // when the row function may leave bytes alone.
  void ComputeInto(pg::TRowsFunction& rows, TBlockRows& out, int64_t first, int64_t last) {
    const size_t bytes = FLoop.Bytes;
    const size_t n = static_cast<size_t>(last - first + 1);
    out.Bits.resize(std::max(out.Bits.size(), n * bytes));
    out.Written.assign(std::max(out.Written.size(), n), 1);
    for (int64_t y = first; y <= last; y += FBatch) {
      const int count = static_cast<int>(std::min<int64_t>(FBatch, last - y + 1));
      uint8_t* bits = out.Bits.data() + static_cast<size_t>(y - first) * bytes;
      if (FLoop.KeepUntouched)
        for (int j = 0; j < count; ++j) std::memcpy(bits + j * bytes, TargetRow(y + j), bytes);
      rows(static_cast<int>(y), count, bits, static_cast<ptrdiff_t>(bytes),
           out.Written.data() + static_cast<size_t>(y - first));
    }
  }

  void ComputeAhead(pg::TRowsFunction& rows, int64_t b, std::unique_ptr<TBlockRows> out) {
    if (!out) out = std::make_unique<TBlockRows>();
    ComputeInto(rows, *out, BlockFirst(b), BlockLast(b));
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FDone[static_cast<size_t>(b)] = std::move(out);
    }
    FWake.notify_all();
  }

  // The calling thread's own rows: one at a time straight into the target, or
  // in batches through a buffer, so that an abort leaves the later rows alone.
  bool ComputeAndReport(pg::TRowsFunction& rows, int64_t first, int64_t last) {
    if (FBatch == 1) {
      for (int64_t y = first; y <= last; ++y) {
        uint8_t written = 1;
        rows(static_cast<int>(y), 1, TargetRow(y), FStride, &written);
        if (written && FReport(static_cast<int>(y))) return false;
      }
      return true;
    }
    for (int64_t y = first; y <= last; y += FBatch) {
      const int64_t end = std::min<int64_t>(last, y + FBatch - 1);
      ComputeInto(rows, FOwn, y, end);
      if (!CopyAndReport(FOwn, y, end)) return false;
    }
    return true;
  }

  // Copies the written rows of a buffer into the target, reporting each.
  bool CopyAndReport(const TBlockRows& from, int64_t first, int64_t last) {
    for (int64_t y = first; y <= last; ++y) {
      const size_t i = static_cast<size_t>(y - first);
      if (!from.Written[i]) continue;
      std::memcpy(TargetRow(y), from.Bits.data() + i * FLoop.Bytes, FLoop.Bytes);
      if (FReport(static_cast<int>(y))) return false;
    }
    return true;
  }

  const pg::TRowLoop& FLoop;
  const pg::TRowsMaker& FMaker;
  const pg::TRowReport& FReport;
  const int64_t FRows;
  const int FBatch;
  const ptrdiff_t FStride;  // from one target row to the next (rows are stored bottom-up)
  int64_t FBlockRows = 1, FBlocks = 0, FAhead = 0;
  TBlockRows FOwn;          // the calling thread's batches

  std::atomic<int64_t> FUnorderedNext{0};
  std::atomic<bool> FUnorderedStop{false};

  // Guarded by FMutex.
  std::mutex FMutex;
  std::condition_variable FWake;
  int64_t FNext = 0;      // first block nobody has claimed
  int64_t FReported = 0;  // blocks the calling thread has finished
  bool FStop = false;
  std::vector<std::unique_ptr<TBlockRows>> FDone;  // per block, computed into a buffer
  std::vector<std::unique_ptr<TBlockRows>> FFree;
  std::exception_ptr FError;
};

} // namespace

void PGSetThreadCount(int count) {
  gThreadCount.store(std::max(count, 0), std::memory_order_relaxed);
  TPool::Instance().SetWanted(PGThreadCount() - 1);
}

int PGThreadCount() {
  const int n = gThreadCount.load(std::memory_order_relaxed);
  return n > 0 ? n : Cores();
}

namespace pg {

bool RunRows(const TRowLoop& loop, const TRowsMaker& maker, const TRowReport& report) {
  if (!loop.Target || loop.Target->Empty() || loop.First > loop.Last) return true;
  const int64_t rows = static_cast<int64_t>(loop.Last) - loop.First + 1;
  const int threads = loop.Sequential ? 1 : PGThreadCount();
  const bool alone = threads <= 1 || rows < 2 || rows * static_cast<int64_t>(loop.Bytes) < kMinParallelBytes;
  TRowsJob job(loop, maker, report, alone ? 1 : threads);
  if (alone || job.Wanted <= 0) return job.RunAlone();
  TPool& pool = TPool::Instance();
  if (!pool.Offer(job)) return job.RunAlone();
  // However the calling thread leaves, the helpers stop and leave the job
  // before it goes out of scope.
  struct TWithdraw {
    TPool& Pool;
    TRowsJob& Job;
    ~TWithdraw() {
      Job.Stop();
      Pool.Withdraw(Job);
    }
  };
  bool completed;
  {
    TWithdraw withdraw{pool, job};
    completed = job.Run();
  }
  job.RethrowFailure();
  return completed;
}

TRowReport ProgressReport(TPixelGraphic& image, int first, int last) {
  if (!image.OnProgress) return {};
  return [&image, first, last](int y) { return image.DoProgress(&image, y - first, last - first); };
}

} // namespace pg
