#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include <QEvent>

#include "pgraphic/core/pixelgraphic.h"

class QObject;

// Millisecond tick source of the paint worker's progress throttling. The
// default reads a monotonic clock; tests replace it to drive the 50 ms buckets.
using TPGTickSource = std::function<uint32_t()>;
void SetPGTickSource(TPGTickSource source); // empty restores the clock
uint32_t PGTickCount();

// The two messages a paint worker posts to its view. Ownership of a finished
// display copy travels inside the event: whoever deletes the event (the view
// after taking the image, or Qt when the view is already gone) frees what is
// still in it.
class TPGPaintResultEvent : public QEvent {
public:
  static QEvent::Type EventType();
  explicit TPGPaintResultEvent(std::unique_ptr<TPixelGraphic> target)
      : QEvent(EventType()), Target(std::move(target)) {}
  std::unique_ptr<TPixelGraphic> Target;
};

class TPGPaintProgressEvent : public QEvent {
public:
  static QEvent::Type EventType();
  TPGPaintProgressEvent(int step, int percent) : QEvent(EventType()), Step(step), Percent(percent) {}
  int Step;
  int Percent;
};

// Computes the view's display copy, on a thread of its own or (inert, or with
// posting off) synchronously on the caller's thread. The view owns the object
// and frees it; the object never frees itself.
class TCreatePaintPGThread {
public:
  // An inert worker: Execute does nothing, WaitFor returns at once.
  TCreatePaintPGThread();
  ~TCreatePaintPGThread(); // requests termination and waits

  TCreatePaintPGThread(const TCreatePaintPGThread&) = delete;
  TCreatePaintPGThread& operator=(const TCreatePaintPGThread&) = delete;

  // Fields, in the order of the design.
  bool Inert = true;
  QObject* ViewWindow = nullptr;
  bool PreStretch = false;
  bool Optimize = false;
  TPixelGraphic* Source = nullptr;                 // the view's image, only read
  std::unique_ptr<TPixelGraphic> Target;
  TPixelGraphic* StretchSource = nullptr;          // Source itself or OwnedStretchSource
  std::unique_ptr<TPixelGraphic> OwnedStretchSource;
  int Step = 1;
  int LastPercent = 0;
  uint32_t LastTick = 0;
  bool PostMessages = false;
  std::function<void(std::unique_ptr<TPixelGraphic>)> ResultHandler;

  // Starts the body on a new thread (a suspended worker is resumed). Once only.
  void Resume();
  void Terminate() { FTerminated.store(true, std::memory_order_relaxed); }
  bool Terminated() const { return FTerminated.load(std::memory_order_relaxed); }
  void WaitFor();
  // Execute does nothing for an inert worker; Body is the computation itself,
  // run by Execute on the worker thread or called directly for a synchronous copy.
  void Execute();
  void Body();
  // OnProgress of the target and the intermediate (and the remap loop).
  void Progress(int step, int max, bool& abort);

private:
  std::atomic<bool> FTerminated{false};
  std::thread FThread;
};
