#pragma once

// The one shape of background work in the views and dialogs: a worker owns
// its thread and its stop flag and runs a virtual body; results travel to the
// window thread as posted events that own what they carry and are stamped
// with the generation of the worker that made them.
//
// A worker is made, given its settings (a plain struct, fixed before the
// start), started once and stopped (Terminate, then WaitFor) before anything
// its body reads changes. The state its body writes is its own (private);
// the window thread reads a result only from the event. Destroying a worker
// stops it: the concrete (final) worker calls Stop() in its destructor, so
// the body never runs on a half-destroyed object; the base's destructor
// stops as well, for workers whose body has ended or never ran.

#include <atomic>
#include <cstdint>
#include <thread>
#include <utility>

#include <QEvent>

class TPGWorker {
public:
  TPGWorker() = default;
  virtual ~TPGWorker() { Stop(); }
  TPGWorker(const TPGWorker&) = delete;
  TPGWorker& operator=(const TPGWorker&) = delete;

  // Runs the body on a thread of its own; only once, and not for a worker
  // that has nothing to do (an inert one).
  void Resume() {
    if (FThread.joinable() || FStarted || Inert()) return;
    FStarted = true;
    FThread = std::thread([this] {
      Execute();
      FFinished.store(true, std::memory_order_release);
    });
  }
  void Terminate() { FTerminated.store(true, std::memory_order_relaxed); }
  bool Terminated() const { return FTerminated.load(std::memory_order_relaxed); }
  // Waits until the body has ended (at once when it never ran).
  void WaitFor() {
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
  }
  void Stop() {
    Terminate();
    WaitFor();
  }
  bool Started() const { return FStarted; }
  // True once a started body has ended (posted, terminated or failed).
  bool Finished() const { return FFinished.load(std::memory_order_acquire); }
  // Tells this worker's results apart from those of an earlier one still
  // queued; set with the settings, before the start.
  uint64_t Generation() const { return FGeneration; }
  void SetGeneration(uint64_t generation) { FGeneration = generation; }

protected:
  // The work of the thread; it checks Terminated() often and posts its
  // results itself. Exceptions must not leave it.
  virtual void Execute() = 0;
  // A worker without the settings it needs does nothing.
  virtual bool Inert() const = 0;

private:
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  bool FStarted = false;
  uint64_t FGeneration = 0;
  std::thread FThread;
};

// A result on its way to the window thread: the event owns its value (a
// pending event that Qt deletes, its receiver gone, frees what it carries)
// and knows the generation of the worker that made it. Each Tag is an event
// type of its own, registered on first use.
template <class Tag, class Value>
class TPGResultEvent : public QEvent {
public:
  static QEvent::Type EventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  TPGResultEvent(uint64_t generation, Value value)
      : QEvent(EventType()), Generation(generation), Result(std::move(value)) {
    FPublished.store(true, std::memory_order_release);
  }
  ~TPGResultEvent() override { Receive(); }
  // The event if e is of this type, else null.
  static TPGResultEvent* Cast(QEvent* e) {
    if (e->type() != EventType()) return nullptr;
    auto* result = dynamic_cast<TPGResultEvent*>(e);
    if (result) result->Receive();
    return result;
  }
  const uint64_t Generation;
  Value Result;

private:
  // The hand-over in the open: what the worker wrote before posting is seen
  // by the thread that takes (or frees) the event, whatever the queue's own
  // locking is made of.
  void Receive() const { (void)FPublished.load(std::memory_order_acquire); }
  std::atomic<bool> FPublished{false};
};
