// The Board window's cost: the window's free run with examples/default.map (its five modules)
// and a program that keeps the panels busy: it counts on a digit and a pixel of the display
// (not on the LEDs, whose every change is a console line). Free runs of 250 ms with the
// Board window hidden and shown, in turn in every iteration, measured by the process's CPU
// time; `shown_ratio` is the rate shown over the rate hidden (the goal: >= 0.97).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <memory>

#include "BenchSupport.h"
#include "Tfboard.h"
#include "Tfmain.h"

namespace {

// ADDI R1,R1,1 ; STORE R3,R1 (digit 0) ; STORE R4,R1 (a pixel) ; JUMPI -3, with R3 and R4
// set before the run.
constexpr uint32_t kLoop[] = {0x94210001u, 0x50030001u, 0x50040001u, 0xBC00FFFDu};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

void BM_FreeRunWithBoard(benchmark::State& state) {
  QDir::setCurrent(TERVIK_EXAMPLES_DIR);
  auto main = std::make_unique<TFMain>();
  main->FormCreate();  // default.map from the examples
  main->show();
  main->ActionLiveViews->setChecked(true);
  main->ActionShowBoard->trigger();
  double seconds[2] = {0, 0}, instructions[2] = {0, 0};
  for (auto _ : state) {
    for (int shown = 0; shown < 2; ++shown) {
      main->BoardWindow()->setVisible(shown != 0);
      // The showing's first full paint is not part of the run's cost.
      for (int i = 0; i < 3; ++i) QApplication::processEvents();
      tervik::Processor& cpu = main->Cpu();
      for (uint32_t i = 0; i < std::size(kLoop); ++i) cpu.WriteMem(i, kLoop[i]);
      cpu.Reset();
      cpu.r[3] = 0x7030;
      cpu.r[4] = 0x6000 + 16 * 64 + 32;
      QTimer::singleShot(250, main.get(), [&main] { main->ActionStop->trigger(); });
      const double t0 = CpuSeconds();
      main->ActionRun->trigger();
      seconds[shown] += CpuSeconds() - t0;
      instructions[shown] += static_cast<double>(main->LastRunCount());
    }
  }
  const double hidden = instructions[0] / seconds[0], shown = instructions[1] / seconds[1];
  state.counters["hidden_M/s"] = hidden / 1e6;
  state.counters["shown_M/s"] = shown / 1e6;
  state.counters["shown_ratio"] = shown / hidden;
}
BENCHMARK(BM_FreeRunWithBoard)->Iterations(12)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

TERVIK_QT_BENCHMARK_MAIN()
