#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "pgraphic/core/pixelgraphic.h"

// The library's pool of threads and the row loops that run on it.
//
// The bulk operations whose rows do not depend on one another (resampling,
// rotation, filters and mirror into 24-bit targets, the stereo modes) cut the
// rows of their target into blocks, which the calling thread and the pool's
// helper threads compute. The pool's threads are started on first use and
// then wait for work; no operation starts a thread of its own. Several
// operations may run at the same time on different threads: they share the
// helpers, and an operation that finds none free is computed by its calling
// thread alone.
//
// Seen from outside, a row loop behaves as the plain loop over the rows on
// the calling thread: every progress report comes from the calling thread, in
// row order, after its row is in the target; an abort at row y leaves the
// rows after y untouched; a failure on a helper is rethrown on the calling
// thread (after every helper has left the loop). Operations whose result
// depends on the order of the rows (error-diffusion dithering, the colour
// cache of palette targets) do not use it.

// Number of threads a bulk operation uses, the calling thread included:
// 0 (the initial setting) one per processor core, 1 everything on the
// calling thread (the pool's threads end when they are idle), n > 1 n
// threads. Negative values count as 0. Takes effect for the loops started
// after the call.
void PGSetThreadCount(int count);
// The number in effect (at least 1).
int PGThreadCount();

namespace pg {

// One loop over rows First..Last of a target image. Row y's computation writes
// Bytes bytes from byte Offset of the row on (for a 24-bit span of columns
// x0..x1: Offset 3 x0, Bytes 3 (x1 - x0 + 1)).
struct TRowLoop {
  TPixelGraphic* Target = nullptr;
  int First = 0, Last = -1;
  size_t Offset = 0, Bytes = 0;
  // The most rows a row function computes in one call (1: one at a time).
  int Batch = 1;
  // True when a row function may leave bytes of its span as they are: rows
  // computed outside the target then start as copies of the target's rows.
  bool KeepUntouched = false;
  // True when the rows must be computed one after the other on the calling
  // thread (a row reads what an earlier row wrote, as when source and target
  // are one image).
  bool Sequential = false;
};

// Computes rows y .. y + count - 1 (count <= Batch): row y + j into the
// Bytes bytes at out + j * stride, which is either the target's own span of
// that row or a buffer. written[j] is 1 on entry; the function sets it to 0
// for a row it leaves alone (such a row is neither changed nor reported).
// The function may read anything that no row computation writes, and the
// target's row y + j itself (in the target, not in out) until it writes it.
using TRowsFunction = std::function<void(int y, int count, uint8_t* out, ptrdiff_t stride, uint8_t* written)>;
// Makes the row function of one thread. It is called once on each thread
// taking part (also at the same time on several), so that each thread's
// function can keep caches of its own.
using TRowsMaker = std::function<TRowsFunction()>;
// Called on the calling thread for every written row, in ascending order,
// once the row is in the target; returning true ends the loop (an abort).
using TRowReport = std::function<bool(int y)>;

// A loop that writes every pixel of 24-bit rows from two sources, without
// progress reports (RowOf stands for what a row is computed from):
//
//   pg::TRowLoop loop{&target, 0, target.Height() - 1, 0, 3 * size_t(target.Width())};
//   pg::RunRows(loop, [&]() -> pg::TRowsFunction {
//     return [&](int y, int, uint8_t* out, ptrdiff_t, uint8_t*) { Combine(RowOf(a, y), RowOf(b, y), out); };
//   });
//
// With the image's progress protocol, pass pg::ProgressReport(target, first,
// last) as the report, between OnProgressStart and OnProgressEnd.
//
// Runs a row loop; false when report ended it early. Without a report no
// abort is possible and every thread writes its rows straight into the
// target, in any order. Small loops (fewer than two rows, or less than
// kMinParallelBytes in all) and PGThreadCount() = 1 run on the calling
// thread alone. A failure of any row function ends the loop and is rethrown.
// Only the loop's spans are written; the operation itself calls
// OnProgressStart, OnProgressEnd and Changed.
bool RunRows(const TRowLoop& loop, const TRowsMaker& maker, const TRowReport& report = {});

// Below this many bytes a loop stays on the calling thread.
constexpr int64_t kMinParallelBytes = int64_t{3} << 16;

// The image's progress protocol as a row report: OnProgress(image, y - first,
// last - first, Abort). Empty when the image has no OnProgress handler, so
// that such a loop writes every row straight into its target.
TRowReport ProgressReport(TPixelGraphic& image, int first, int last);

} // namespace pg
