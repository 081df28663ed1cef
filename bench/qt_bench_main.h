#pragma once

// The main of the Qt benchmarks: the offscreen platform unless one is chosen,
// one QApplication, then the benchmarks chosen on the command line; before and
// after run around them (files the benchmarks read, and their removal).

#include <functional>

#include <QApplication>
#include <benchmark/benchmark.h>

namespace benchutil {

inline int RunQtBenchmarks(int argc, char** argv, const std::function<void()>& before = {},
                           const std::function<void()>& after = {}) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (before) before();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (after) after();
  return 0;
}

} // namespace benchutil
