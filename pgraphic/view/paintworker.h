#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/view/worker.h"

class QObject;

// Millisecond tick source of the paint worker's progress throttling. The
// default reads a monotonic clock; tests replace it to drive the 50 ms buckets.
using TPGTickSource = std::function<uint32_t()>;
void SetPGTickSource(TPGTickSource source); // empty restores the clock
uint32_t PGTickCount();

// What a paint worker posts to its view: the finished display copy (its
// ownership travels inside the event: whoever deletes the event, the view
// after taking the image or Qt when the view is already gone, frees what is
// still in it) and the clock's step and percent. Both carry the generation
// of the picture the worker read.
struct TPGPaintResultTag;
struct TPGPaintProgressTag;
struct TPGPaintProgress {
  int Step = 1;
  int Percent = 0;
};
using TPGPaintResultEvent = TPGResultEvent<TPGPaintResultTag, std::unique_ptr<TPixelGraphic>>;
using TPGPaintProgressEvent = TPGResultEvent<TPGPaintProgressTag, TPGPaintProgress>;

// What the view hands its paint worker before the start.
struct TPGPaintSettings {
  QObject* ViewWindow = nullptr;
  bool PreStretch = false;
  bool Optimize = false;
  TPixelGraphic* Source = nullptr; // the view's image, only read
  // On a thread the results are posted to ViewWindow; without one (Body
  // called directly) the copy goes to ResultHandler.
  bool PostMessages = false;
  std::function<void(std::unique_ptr<TPixelGraphic>)> ResultHandler;
};

// Computes the view's display copy, on a thread of its own or (inert, or with
// posting off) synchronously on the caller's thread. The view owns the object
// and frees it; the object never frees itself.
class TCreatePaintPGThread final : public TPGWorker {
public:
  // An inert worker: Resume does nothing, WaitFor returns at once.
  TCreatePaintPGThread();
  // A worker that computes target (sized and paletted by the view) from the
  // settings' source, through stretchSource first when PreStretch is set.
  TCreatePaintPGThread(const TPGPaintSettings& settings, std::unique_ptr<TPixelGraphic> target,
                       std::unique_ptr<TPixelGraphic> stretchSource);
  ~TCreatePaintPGThread() override { Stop(); }

  // The computation itself, run on the worker thread or called directly for
  // a synchronous copy.
  void Body();
  // OnProgress of the target and the intermediate (and the remap loop): at
  // most one message per 50 ms tick bucket and changed percentage, counted
  // from StartProgressClock (Body starts it).
  void Progress(int step, int max, bool& abort);
  void StartProgressClock();
  // The step reached (1 before the first); read after the body has ended.
  int Step() const { return FStep; }

protected:
  void Execute() override;
  bool Inert() const override { return FInert; }

private:
  bool FInert = true;
  TPGPaintSettings FSettings;
  // Thread-side state.
  std::unique_ptr<TPixelGraphic> FTarget;
  std::unique_ptr<TPixelGraphic> FOwnedStretchSource;
  TPixelGraphic* FStretchSource = nullptr; // the source itself or FOwnedStretchSource
  int FStep = 1;
  int FLastPercent = 0;
  uint32_t FLastTick = 0;
};
