// The start and end of a benchmark of the real window: the heap bounded as
// the program bounds it, the offscreen platform unless one is set, the plain
// map page (so that the costs measured are the window's own), the
// registered benchmarks, then the figures the benchmark prints.
#pragma once

#include <benchmark/benchmark.h>

#include <QtGlobal>

#include "eventwait.h"
#include "mainwnd/maphost.h"
#include "platform/heap.h"

namespace qvtest {

template <class PrintFigures>
int RunWindowBenchmarks(int argc, char** argv, PrintFigures printFigures) {
  qv::BoundHeapArenas();  // as the program does, before any thread
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  App();
  qv::SetWebEngineUsableForTests(false);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  printFigures();
  return 0;
}

}  // namespace qvtest
