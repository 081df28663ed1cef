#include "pgraphic/view/paintworker.h"

#include <chrono>
#include <mutex>
#include <vector>

#include <QCoreApplication>
#include <QObject>

#include "pgraphic/core/colorconv.h"

namespace {

std::mutex gTickMutex;
TPGTickSource gTickSource;

} // namespace

void SetPGTickSource(TPGTickSource source) {
  std::lock_guard<std::mutex> lock(gTickMutex);
  gTickSource = std::move(source);
}

uint32_t PGTickCount() {
  {
    std::lock_guard<std::mutex> lock(gTickMutex);
    if (gTickSource) return gTickSource();
  }
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

QEvent::Type TPGPaintResultEvent::EventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

QEvent::Type TPGPaintProgressEvent::EventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

TCreatePaintPGThread::TCreatePaintPGThread() = default;

TCreatePaintPGThread::~TCreatePaintPGThread() {
  Terminate();
  WaitFor();
}

void TCreatePaintPGThread::Resume() {
  if (FThread.joinable() || Inert) return;
  FThread = std::thread([this] { Execute(); });
}

void TCreatePaintPGThread::WaitFor() {
  if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

void TCreatePaintPGThread::Execute() {
  if (Inert) return;
  // A failing image operation (exhausted memory) ends the computation like a
  // termination: the unfinished target is freed and nothing is posted, so the
  // view keeps showing its frame and clocks.
  try {
    Body();
  } catch (...) {
    Target.reset();
    OwnedStretchSource.reset();
  }
}

void TCreatePaintPGThread::Body() {
  LastPercent = 0;
  LastTick = PGTickCount();
  Step = 1;
  if (Target && Source) {
    if (!Terminated()) {
      if (PreStretch && OwnedStretchSource) {
        OwnedStretchSource->StretchFrom(*Source);
        StretchSource = OwnedStretchSource.get();
        ++Step;
      } else {
        StretchSource = Source;
      }
    }
    if (!Terminated() && Optimize) {
      BuildOptimizedPalette(*Target, *StretchSource, 252, true);
      ++Step;
    }
    if (!Terminated()) {
      TPixelGraphic& s = *StretchSource;
      TPixelGraphic& t = *Target;
      if (Optimize && s.BitCount() == bc8Bit && s.Width() == t.Width() && s.Height() == t.Height()) {
        // Same size, 8 bit: remap each palette entry once instead of dithering again.
        const bool cache = t.ColorCacheEnabled();
        t.SetColorCacheEnabled(false);
        std::vector<uint8_t> table(256, 0);
        for (int i = 0; i < s.PaletteCount() && i < 256; ++i)
          table[i] = static_cast<uint8_t>(t.ColorToIndex(s.PaletteColors(i)));
        t.SetColorCacheEnabled(cache);
        const int w = t.Width(), h = t.Height();
        for (int y = 0; y < h; ++y) {
          const uint8_t* src = s.ScanLine(y);
          uint8_t* dst = t.ScanLine(y);
          for (int x = 0; x < w; ++x) dst[x] = table[src[x]];
          bool abort = false;
          Progress(y, h - 1, abort);
          if (abort) break;
        }
      } else {
        t.StretchFrom(s);
      }
      ++Step;
    }
    if (Terminated()) {
      Target.reset();
    } else if (PostMessages) {
      QCoreApplication::postEvent(ViewWindow, new TPGPaintResultEvent(std::move(Target)));
    } else if (ResultHandler) {
      ResultHandler(std::move(Target));
    }
  }
  OwnedStretchSource.reset();
  StretchSource = nullptr;
}

void TCreatePaintPGThread::Progress(int step, int max, bool& abort) {
  const int percent = max == 0 ? 100 : static_cast<int>(static_cast<int64_t>(step) * 100 / max);
  const uint32_t t = PGTickCount();
  if (percent != LastPercent && t / 50 != LastTick / 50) {
    LastPercent = percent;
    LastTick = t;
    if (PostMessages) QCoreApplication::postEvent(ViewWindow, new TPGPaintProgressEvent(Step, percent));
  }
  abort = Terminated();
}
