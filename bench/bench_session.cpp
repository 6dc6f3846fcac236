// A program's session file with many items: restoring 10^5 breakpoints by label and 6*10^4
// watchpoints (read, resolve, set), and saving one change among them (what changed, applied to
// the file's own lines), with the resident memory they take.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "SessionDocument.h"
#include "SessionFile.h"

namespace {

using namespace tervik;
using namespace tervik::debug;

// Labels every 0x100 words; items by label ("l12+7") as the writer saves them.
SymbolTable Symbols() {
  std::vector<SymbolEntry> entries;
  for (uint32_t i = 0; i < 0x1000; ++i) entries.push_back({"l" + std::to_string(i), i * 0x100});
  return SymbolTable(std::move(entries));
}

std::string Text(uint32_t breakpoints, uint32_t watchpoints) {
  std::string text(kSessionHeading);
  text += "\n";
  for (uint32_t i = 0; i < breakpoints; ++i) {
    text += "break l" + std::to_string(i / 0x100) + "+" + std::to_string(i % 0x100) + "\n";
  }
  for (uint32_t i = 0; i < watchpoints; ++i) {
    text +=
        "watch 0x" + std::to_string(0x100000 + i) + "..0x" + std::to_string(0x100000 + i) + " w\n";
  }
  return text;
}

void Restore(benchmark::State& state) {
  const uint32_t breakpoints = static_cast<uint32_t>(state.range(0));
  const uint32_t watchpoints = static_cast<uint32_t>(state.range(1));
  const std::string text = Text(breakpoints, watchpoints);
  const size_t before = bench::ResidentBytes();
  for (auto _ : state) {
    Session session;
    session.SetSymbols(Symbols());
    WatchList watches;
    const std::vector<std::string> problems =
        Apply(ReadSessionText(text).session, session, watches);
    SessionDocument document(text);
    const SessionState base = StateOf(session, watches);
    benchmark::DoNotOptimize(problems);
    if (session.Breakpoints().size() != breakpoints) state.SkipWithError("breakpoints lost");
    state.counters["resident_MB"] =
        static_cast<double>(bench::ResidentBytes() - before) / (1 << 20);
  }
  state.counters["file_MB"] = static_cast<double>(text.size()) / (1 << 20);
}
BENCHMARK(Restore)
    ->Args({100000, 0})
    ->Args({240000, 0})
    ->Args({0, 60000})
    ->Unit(benchmark::kMillisecond);

void SaveOneChange(benchmark::State& state) {
  const uint32_t breakpoints = static_cast<uint32_t>(state.range(0));
  const std::string text = Text(breakpoints, 0);
  Session session;
  session.SetSymbols(Symbols());
  WatchList watches;
  Apply(ReadSessionText(text).session, session, watches);
  const SessionState base = StateOf(session, watches);
  const SessionDocument read(text);
  session.ToggleBreakpoint(0x7FFFFFFF);
  for (auto _ : state) {
    SessionDocument document = read;
    document.Apply(Changes(base, StateOf(session, watches)), session);
    benchmark::DoNotOptimize(document.Text());
  }
}
BENCHMARK(SaveOneChange)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
