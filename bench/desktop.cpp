// The desktop program: process start to a main window that takes input (the
// splash shown, its countdown not waited for); the stereo command on a
// 24-megapixel pair (6000 x 4000) through the window, progress window
// included, against the same composition through the window-free pipeline in
// the same run; zooming and switching tabs with 24-megapixel pictures until
// the next frame is painted. The window is 1600 x 1000. Every figure is the
// median of its iterations (counter "median_ms").
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <QtTest>

#include "app/core/compose.h"
#include "app/desktop/mainform.h"
#include "app/desktop/program.h"
#include "app/desktop/forms/splashform.h"
#include "pgraphic/view/opensavedialog.h"
#include "bench_util.h"
#include "qt_bench_main.h"

extern char** environ;

namespace {

constexpr int kW = 6000, kH = 4000;

using benchutil::Clock;
using benchutil::Median;
using benchutil::Ms;

std::string SelfPath;

// The child of the start-up figure: the program's start as RunZwillo does it,
// without the splash countdown; "ready" once the main window is shown, exposed
// and enabled.
int StartupChild(int argc, char** argv) {
  QApplication app(argc, argv);
  PrepareApplication(app);
  TForm3* splash = ShowSplash();
  splash->Countdown = 0;
  TMainOptions options;
  options.Splash = splash;
  options.UseWindowPosition = true;
  TMain main(options);
  LoadProgramSettings(main);
  while (!(main.windowHandle() && main.windowHandle()->isExposed() && main.isEnabled()))
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  std::fputs("ready\n", stdout);
  std::fflush(stdout);
  std::_Exit(0);
}

void BM_StartupToInput(benchmark::State& state) {
  std::vector<double> times;
  for (auto _ : state) {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    char arg1[] = "--startup-child";
    char* args[] = {SelfPath.data(), arg1, nullptr};
    const auto t0 = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, SelfPath.c_str(), &actions, nullptr, args, environ) != 0) return;
    close(fds[1]);
    char buf[16] = {};
    const ssize_t n = read(fds[0], buf, sizeof buf - 1);
    times.push_back(Ms(Clock::now() - t0));
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    posix_spawn_file_actions_destroy(&actions);
    if (n <= 0 || std::strncmp(buf, "ready", 5) != 0) state.SkipWithError("child did not start");
  }
  state.counters["median_ms"] = Median(times);
}

const TPixelGraphic& Photo(int shift) {
  static TPixelGraphic left, right;
  TPixelGraphic& g = shift ? right : left;
  if (g.Empty()) benchutil::MakeTexturedPhoto(g, kW + shift, kH);
  return g;
}

// A main window of 1600 x 1000 holding the pair; tilt: lines that turn the
// right picture by about 0.5 degrees.
std::unique_ptr<TMain> PairWindow(bool tilt) {
  TMainOptions options;
  options.UseWindowPosition = false;
  auto main = std::make_unique<TMain>(options);
  main->resize(1600, 1000);
  for (int side = 0; side < 2; ++side) {
    auto copy = std::make_unique<TPixelGraphic>();
    copy->Assign(&Photo(side * 16));
    (side ? main->ImRechts() : main->ImLinks())->AdoptPixelGraphic(std::move(copy));
  }
  main->LeftSide().Point = {3000, 2000};
  main->RightSide().Point = {3016, 1990};
  if (tilt) {
    main->LeftSide().Line = {100, 3000, 5900, 3000};
    main->RightSide().Line = {100, 3000, 5900, 2950};
  }
  main->UpdateControls();
  QApplication::processEvents();
  return main;
}

QToolButton* ModeButton(TMain& main, int mode) {
  QToolButton* buttons[] = {main.BtStereo, main.BtMirror, main.BtStereoColor, main.BtLCD,
                            main.BtLiRe,   main.BtReLi,   main.BtElsa};
  return buttons[mode];
}

// Arguments: mode, tilt (0/1). The command through its tool button, the core
// right after it on the same pictures, alternately.
void BM_StereoCommandAgainstCore(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(0));
  auto main = PairWindow(state.range(1) != 0);
  main->LaunchELSAViewer = [](TMain&) {};
  TPixelGraphic work;
  std::vector<double> window, core;
  for (auto _ : state) {
    auto t0 = Clock::now();
    QTest::mouseClick(ModeButton(*main, mode), Qt::LeftButton);
    window.push_back(Ms(Clock::now() - t0));
    QApplication::processEvents();

    t0 = Clock::now();
    TStereoResult r = ComposePictures(mode, *main->ImLinks()->PixelGraphic(), *main->ImRechts()->PixelGraphic(),
                                      main->Alignment(), work);
    r.Owned.reset();
    core.push_back(Ms(Clock::now() - t0));
  }
  state.counters["window_ms"] = Median(window);
  state.counters["core_ms"] = Median(core);
  state.counters["ratio"] = Median(window) / Median(core);
}

// Paints of a widget, counted.
class TPaintCounter : public QObject {
public:
  int Paints = 0;

protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++Paints;
    return false;
  }
};

// Processes events until widget has painted once more.
void UntilPainted(QWidget* widget, TPaintCounter& counter) {
  const int before = counter.Paints;
  (void)widget;
  for (int i = 0; i < 1000 && counter.Paints == before; ++i) QCoreApplication::processEvents();
}

// Zoom steps on the left picture, to the next frame: two out (to 0.8 and 0.6,
// smMedium: the view makes a display copy) and two in (back to 0.8, then 1.0
// unstretched), repeated; and steps above 1 (smFast, no copy).
void BM_ZoomToNextFrame(benchmark::State& state) {
  auto main = PairWindow(false);
  TPaintCounter counter;
  main->ImLinks()->viewport()->installEventFilter(&counter);
  std::vector<double> below, above;
  int i = 0;
  auto step = [&](QToolButton* b) {
    const auto t0 = Clock::now();
    QTest::mouseClick(b, Qt::LeftButton);
    UntilPainted(main->ImLinks()->viewport(), counter);
    return Ms(Clock::now() - t0);
  };
  for (auto _ : state) {
    QToolButton* b = (i++ % 4 < 2) ? main->BtZoomOut : main->BtZoomIn;
    below.push_back(step(b));
  }
  for (int k = 0; k < 8; ++k) above.push_back(step(k % 4 < 2 ? main->BtZoomIn : main->BtZoomOut));
  state.counters["below1_median_ms"] = Median(below);
  state.counters["above1_median_ms"] = Median(above);
}

// The zoom-out step from 100 % as a user sees it, meant for a real display
// (QT_QPA_PLATFORM=xcb under Xvfb): a shown 1580 x 1150 window with the
// 24-megapixel photograph; from the click on Verkleinern to the first frame
// of the view, and to the frame with the whole display copy in (settled); then
// back to 100 %.
void BM_ZoomOutFrom100Shown(benchmark::State& state) {
  auto main = PairWindow(false);
  main->resize(1580, 1150);
  main->show();
  (void)QTest::qWaitForWindowExposed(main.get());
  TPaintCounter counter;
  TPGImage* view = main->ImLinks();
  view->viewport()->installEventFilter(&counter);
  std::vector<double> first, settled;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    QTest::mouseClick(main->BtZoomOut, Qt::LeftButton);
    UntilPainted(view->viewport(), counter);
    first.push_back(Ms(Clock::now() - t0));
    for (int i = 0; i < 100000 && !view->PaintPixelGraphic(); ++i) QCoreApplication::processEvents();
    UntilPainted(view->viewport(), counter);
    settled.push_back(Ms(Clock::now() - t0));
    QTest::mouseClick(main->BtZoomIn, Qt::LeftButton);
    UntilPainted(view->viewport(), counter);
  }
  state.counters["first_median_ms"] = Median(first);
  state.counters["first_max_ms"] = *std::max_element(first.begin(), first.end());
  state.counters["settled_median_ms"] = Median(settled);
}

// Switching between the left and the right tab, to the next frame of the view.
void BM_TabSwitchToNextFrame(benchmark::State& state) {
  auto main = PairWindow(false);
  TPaintCounter left, right;
  main->ImLinks()->viewport()->installEventFilter(&left);
  main->ImRechts()->viewport()->installEventFilter(&right);
  QTabBar* bar = main->PageControl1()->tabBar();
  std::vector<double> times;
  int i = 0;
  for (auto _ : state) {
    const int tab = (++i) % 2;
    const auto t0 = Clock::now();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
    UntilPainted(tab ? main->ImRechts()->viewport() : main->ImLinks()->viewport(), tab ? right : left);
    times.push_back(Ms(Clock::now() - t0));
  }
  state.counters["median_ms"] = Median(times);
  state.counters["max_ms"] = *std::max_element(times.begin(), times.end());
}

// Saving with the zoom (Tag 1) a 12000 x 4500 stereo image at zoom 0.5 as BMP:
// the command from the save dialog's OK to its end, against StretchFrom alone
// plus the writer alone on the same picture, in the same run.
void BM_SaveZoomedAgainstParts(benchmark::State& state) {
  TMainOptions options;
  options.UseWindowPosition = false;
  TMain main(options);
  main.resize(1600, 1000);
  auto stereo = std::make_unique<TPixelGraphic>();
  benchutil::MakeTexturedPhoto(*stereo, 12000, 4500);
  main.ImStereo()->AdoptPixelGraphic(std::move(stereo));
  QTabBar* bar = main.PageControl1()->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
  main.UpdateControls();
  main.ImStereo()->SetZoomFactor(0.5L);
  QApplication::processEvents();
  const QString file = QDir::tempPath() + "/bench_save_zoomed.bmp";
  std::vector<double> command, parts;
  for (auto _ : state) {
    QFile::remove(file);
    Clock::time_point accepted;
    auto* timer = new QTimer(&main);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [&, timer] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!dialog || !dialog->isVisible()) return;
      timer->stop();
      timer->deleteLater();
      dialog->findChild<QLineEdit*>("fileNameEdit")->setText(file);
      accepted = Clock::now();
      dialog->accept();
    });
    timer->start();
    QTest::mouseClick(main.BtSaveStereoZoom, Qt::LeftButton);
    command.push_back(Ms(Clock::now() - accepted));
    QFile::remove(file);

    TPixelGraphic& src = *main.ImStereo()->PixelGraphic();
    auto t0 = Clock::now();
    TPixelGraphic dst;
    dst.SetSize(6000, 2250, bc24Bit);
    dst.SetStretchMode(smPrecise);
    dst.StretchFrom(src);
    const double stretch = Ms(Clock::now() - t0);
    t0 = Clock::now();
    dst.SaveToFile(file.toStdString());
    parts.push_back(stretch + Ms(Clock::now() - t0));
  }
  QFile::remove(file);
  state.counters["command_ms"] = Median(command);
  state.counters["parts_ms"] = Median(parts);
  state.counters["ratio"] = Median(command) / Median(parts);
}

} // namespace

BENCHMARK(BM_StartupToInput)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StereoCommandAgainstCore)
    ->ArgNames({"mode", "tilt"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({3, 0})
    ->Args({4, 0})
    ->Args({4, 1})
    ->Args({5, 0})
    ->Args({6, 0})
    ->Iterations(7)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoomToNextFrame)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoomOutFrom100Shown)->Iterations(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TabSwitchToNextFrame)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveZoomedAgainstParts)->Iterations(5)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  SelfPath = argv[0];
  if (argc > 1 && std::strcmp(argv[1], "--startup-child") == 0) return StartupChild(argc, argv);
  return benchutil::RunQtBenchmarks(argc, argv);
}
