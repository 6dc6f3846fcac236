// Speed of the processor: single steps with exact change markers, and the batched run, on a
// three-instruction counting loop in RAM with a map of ROM, RAM and a gap; and the same with
// two peripheral regions whose Clock is a real call into a shared library.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "Processor.h"

namespace {

using tervik::PluginEntryPoints;
using tervik::Processor;
using tervik::RegionType;

constexpr uint32_t kRom = 0x0000, kRam = 0x1000, kDevices = 0x8000;

// ADDI R1,R1,1 ; ADDI R2,R2,-1 ; BNZEI R2,-2 : counts R1 up for 2^32 rounds.
constexpr uint32_t kLoop[] = {0x94210001u, 0x9442FFFFu, 0xB402FFFEu};

PluginEntryPoints LoadBenchModule() {
  void* h = dlopen(TERVIK_BENCH_MODULE, RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", TERVIK_BENCH_MODULE, dlerror());
    std::abort();
  }
  auto sym = [h](const char* name) { return dlsym(h, name); };
  PluginEntryPoints e;
  e.About = reinterpret_cast<TervikAboutFn>(sym("About"));
  e.WriteMem = reinterpret_cast<TervikWriteMemFn>(sym("WriteMem"));
  e.CPUWriteMem = reinterpret_cast<TervikCPUWriteMemFn>(sym("CPUWriteMem"));
  e.ReadMem = reinterpret_cast<TervikReadMemFn>(sym("ReadMem"));
  e.Initialize = reinterpret_cast<TervikInitializeFn>(sym("Initialize"));
  e.Reset = reinterpret_cast<TervikResetFn>(sym("Reset"));
  e.Clock = reinterpret_cast<TervikClockFn>(sym("Clock"));
  return e;  // the module stays loaded for the whole run
}

void SetUpMachine(Processor& p, bool withDevices) {
  p.AddRegion(kRom, 0x400, RegionType::ROM);
  p.AddRegion(kRam, 0x400, RegionType::RAM);  // 0x400..0xFFF is a gap
  if (withDevices) {
    static const PluginEntryPoints module = LoadBenchModule();
    p.AddRegion(kDevices, 0x10, RegionType::DLL, module);
    p.AddRegion(kDevices + 0x10, 0x10, RegionType::DLL, module);
  }
  for (uint32_t i = 0; i < 3; ++i) p.WriteMem(kRam + i, kLoop[i]);
  p.Reset();
  p.SetPC(kRam);
}

void BM_Step(benchmark::State& state) {
  Processor p;
  SetUpMachine(p, state.range(0) != 0);
  for (auto _ : state) {
    p.Step();
  }
  benchmark::DoNotOptimize(p.GetRegister(1));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Step)->ArgName("devices")->Arg(0)->Arg(1);

void BM_RunBatch(benchmark::State& state) {
  Processor p;
  SetUpMachine(p, state.range(0) != 0);
  constexpr uint64_t kBatch = 1 << 20;
  for (auto _ : state) {
    benchmark::DoNotOptimize(p.RunBatch(kBatch));
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_RunBatch)->ArgName("devices")->Arg(0)->Arg(1);

// A batch with breakpoints that are never reached, one of them near the loop in the same RAM:
// pc is looked up only when the fetch leaves the stretch free of breakpoints, so this should
// run about as fast as the plain batch.
void BM_RunBatchBreakpoints(benchmark::State& state) {
  Processor p;
  SetUpMachine(p, false);
  const uint32_t breakpoints[] = {0x10, 0x2000, kRam + 7};
  constexpr uint64_t kBatch = 1 << 20;
  for (auto _ : state) {
    benchmark::DoNotOptimize(p.RunBatch(kBatch, breakpoints));
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_RunBatchBreakpoints);

}  // namespace

BENCHMARK_MAIN();
