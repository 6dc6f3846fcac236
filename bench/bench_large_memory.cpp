// A machine with a RAM region of 0x10000000 words (1 GiB): loading its map, clearing its memory
// after a program wrote to it, and loading the map again, with the resident memory it costs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "BenchSupport.h"
#include "Listing.h"
#include "MemoryMap.h"

namespace {

class NullConsole final : public tervik::ConsoleSink {
 public:
  void AppendLine(std::string_view) override {}
};

void BM_LargeRamLoadClearReload(benchmark::State& state) {
  const std::filesystem::path map = std::filesystem::temp_directory_path() /
                                    ("tervik-large-" + std::to_string(getpid()) + ".map");
  std::ofstream(map) << "0x0 0x400 ROM\n0x10000000 0x10000000 RAM\n";
  tervik::platform::PosixLibraryLoader libraries;
  tervik::PeripheralModuleLoader modules(libraries);
  NullConsole console;
  tervik::Processor cpu;
  const size_t before = tervik::bench::ResidentBytes();
  size_t peak = 0;
  for (auto _ : state) {
    tervik::LoadMemoryMap(map.string(), cpu, modules, console);
    // A program that wrote one word every 64 Ki words: 4096 pages.
    for (uint32_t a = 0x10000000; a < 0x20000000; a += 0x10000) cpu.WriteMem(a, a);
    tervik::ClearMemory(cpu);
    if (cpu.ReadMem(0x10010000) != 0) state.SkipWithError("memory not cleared");
    tervik::LoadMemoryMap(map.string(), cpu, modules, console);
    peak = std::max(peak, tervik::bench::ResidentBytes());
  }
  state.counters["resident_growth_MiB"] = static_cast<double>(peak - before) / (1 << 20);
  std::filesystem::remove(map);
}
BENCHMARK(BM_LargeRamLoadClearReload)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
