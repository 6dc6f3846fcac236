// The console under load: appending a million lines to a shown console window, each selected
// and scrolled to as it arrives, and the memory the lines take.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <cstdio>
#include <fstream>
#include <memory>

#include "BenchSupport.h"
#include "Tfdebug.h"

namespace {

void BM_AppendLines(benchmark::State& state) {
  const int64_t lines = state.range(0);
  char text[64];
  for (auto _ : state) {
    state.PauseTiming();
    auto window = std::make_unique<QMainWindow>();
    auto* console = new TFDebug(window.get());
    window->addDockWidget(Qt::BottomDockWidgetArea, console);
    window->resize(800, 300);
    window->show();
    QApplication::processEvents();
    const size_t before = tervik::bench::ResidentBytes();
    size_t textBytes = 0;
    state.ResumeTiming();

    for (int64_t i = 0; i < lines; ++i) {
      const int n = std::snprintf(text, sizeof text, "Line %lld of the console benchmark",
                                  static_cast<long long>(i));
      textBytes += static_cast<size_t>(n);
      console->AppendLine(std::string_view(text, static_cast<size_t>(n)));
    }
    QApplication::processEvents();  // the repaint of the newest lines

    state.PauseTiming();
    state.counters["text_MiB"] = static_cast<double>(textBytes) / (1 << 20);
    state.counters["resident_MiB"] =
        static_cast<double>(tervik::bench::ResidentBytes() - before) / (1 << 20);
    window.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_AppendLines)->Arg(1000000)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

TERVIK_QT_BENCHMARK_MAIN()
