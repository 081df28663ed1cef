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

TCreatePaintPGThread::TCreatePaintPGThread() = default;

TCreatePaintPGThread::TCreatePaintPGThread(const TPGPaintSettings& settings, std::unique_ptr<TPixelGraphic> target,
                                           std::unique_ptr<TPixelGraphic> stretchSource)
    : FInert(!settings.PostMessages),
      FSettings(settings),
      FTarget(std::move(target)),
      FOwnedStretchSource(std::move(stretchSource)) {
  // The images the worker makes report their progress to it.
  const auto progress = [this](TObject*, int step, int max, bool& abort) { Progress(step, max, abort); };
  if (FTarget) FTarget->OnProgress = progress;
  if (FOwnedStretchSource) FOwnedStretchSource->OnProgress = progress;
}

void TCreatePaintPGThread::Execute() {
  // A failing image operation (exhausted memory) ends the computation like a
  // termination: the unfinished target is freed and nothing is posted, so the
  // view keeps showing its frame and clocks.
  try {
    Body();
  } catch (...) {
    FTarget.reset();
    FOwnedStretchSource.reset();
  }
}

void TCreatePaintPGThread::StartProgressClock() {
  FLastPercent = 0;
  FLastTick = PGTickCount();
}

void TCreatePaintPGThread::Body() {
  StartProgressClock();
  FStep = 1;
  if (FTarget && FSettings.Source) {
    if (!Terminated()) {
      if (FSettings.PreStretch && FOwnedStretchSource) {
        FOwnedStretchSource->StretchFrom(*FSettings.Source);
        FStretchSource = FOwnedStretchSource.get();
        ++FStep;
      } else {
        FStretchSource = FSettings.Source;
      }
    }
    if (!Terminated() && FSettings.Optimize) {
      BuildOptimizedPalette(*FTarget, *FStretchSource, 252, true);
      ++FStep;
    }
    if (!Terminated()) {
      TPixelGraphic& s = *FStretchSource;
      TPixelGraphic& t = *FTarget;
      if (FSettings.Optimize && s.BitCount() == bc8Bit && s.Width() == t.Width() && s.Height() == t.Height()) {
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
      ++FStep;
    }
    if (Terminated()) {
      FTarget.reset();
    } else if (FSettings.PostMessages) {
      QCoreApplication::postEvent(FSettings.ViewWindow, new TPGPaintResultEvent(Generation(), std::move(FTarget)));
    } else if (FSettings.ResultHandler) {
      FSettings.ResultHandler(std::move(FTarget));
    }
  }
  FOwnedStretchSource.reset();
  FStretchSource = nullptr;
}

void TCreatePaintPGThread::Progress(int step, int max, bool& abort) {
  const int percent = max == 0 ? 100 : static_cast<int>(static_cast<int64_t>(step) * 100 / max);
  const uint32_t t = PGTickCount();
  if (percent != FLastPercent && t / 50 != FLastTick / 50) {
    FLastPercent = percent;
    FLastTick = t;
    if (FSettings.PostMessages)
      QCoreApplication::postEvent(FSettings.ViewWindow,
                                  new TPGPaintProgressEvent(Generation(), TPGPaintProgress{FStep, percent}));
  }
  abort = Terminated();
}
