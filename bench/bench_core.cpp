// Speed of the processor: single steps with exact change markers, and the batched run, on a
// three-instruction counting loop in RAM with a map of ROM, RAM and a gap; the same with two
// peripheral regions whose Clock is a real call into a shared library, one that counts and one
// that does nothing; and breakpoint runs with a never-reached breakpoint far from the loop,
// next to it or inside it; and watches on words a loop of loads and stores never touches. And
// the three modules of examples/default.map (terminal, timer, GPIO), clocked by catch-up and
// forced to a Clock call every step, side by side with no modules, with the ratios the goal of
// catch-up clocking names (>= 0.85 of no modules).
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Processor.h"

namespace {

using tervik::PluginEntryPoints;
using tervik::Processor;
using tervik::RegionType;

constexpr uint32_t kRom = 0x0000, kRam = 0x1000, kDevices = 0x8000;

// ADDI R1,R1,1 ; ADDI R2,R2,-1 ; BNZEI R2,-2 : counts R1 up for 2^32 rounds.
constexpr uint32_t kLoop[] = {0x94210001u, 0x9442FFFFu, 0xB402FFFEu};
// ADDI R1,R1,1 ; JUMPI +2 ; NOP ; ADDI R2,R2,-1 ; BNZEI R2,-4 : the same count, jumping over a
// word inside the loop.
constexpr uint32_t kSkipLoop[] = {0x94210001u, 0xBC000002u, 0u, 0x9442FFFFu, 0xB402FFFCu};

// Which peripherals the machine has: none, two regions of a module whose Clock counts, or two
// of one whose Clock does nothing (as the terminal's and the GPIO's).
enum Devices : int64_t { kNoDevices = 0, kCountingDevices = 1, kIdleDevices = 2 };

// The bench module's entry points, with `clock` as the Clock export.
PluginEntryPoints LoadBenchModule(const char* clock) {
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
  e.Clock = reinterpret_cast<TervikClockFn>(sym(clock));
  return e;  // the module stays loaded for the whole run
}

void SetUpMachine(Processor& p, int64_t devices, std::span<const uint32_t> loop = kLoop) {
  p.AddRegion(kRom, 0x400, RegionType::ROM);
  p.AddRegion(kRam, 0x400, RegionType::RAM);  // 0x400..0xFFF is a gap
  if (devices != kNoDevices) {
    static const PluginEntryPoints counting = LoadBenchModule("Clock");
    static const PluginEntryPoints idle = LoadBenchModule("IdleClock");
    const PluginEntryPoints& module = devices == kIdleDevices ? idle : counting;
    p.AddRegion(kDevices, 0x10, RegionType::DLL, module);
    p.AddRegion(kDevices + 0x10, 0x10, RegionType::DLL, module);
  }
  for (uint32_t i = 0; i < loop.size(); ++i) p.WriteMem(kRam + i, loop[i]);
  p.Reset();
  p.SetPC(kRam);
}

void BM_Step(benchmark::State& state) {
  Processor p;
  SetUpMachine(p, state.range(0));
  for (auto _ : state) {
    p.Step();
  }
  benchmark::DoNotOptimize(p.GetRegister(1));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Step)->ArgName("devices")->Arg(kNoDevices)->Arg(kCountingDevices)->Arg(kIdleDevices);

void BM_RunBatch(benchmark::State& state) {
  Processor p;
  SetUpMachine(p, state.range(0));
  constexpr uint64_t kBatch = 1 << 20;
  for (auto _ : state) {
    benchmark::DoNotOptimize(p.RunBatch(kBatch));
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_RunBatch)
    ->ArgName("devices")
    ->Arg(kNoDevices)
    ->Arg(kCountingDevices)
    ->Arg(kIdleDevices);

// A batch with breakpoints that are never reached, one of them near the loop in the same RAM:
// the fetch compares each word with the trap word that marks them, and pc is looked up only at
// a trap, so this should run nearly as fast as the plain batch.
void BM_RunBatchBreakpoints(benchmark::State& state) {
  Processor p;
  SetUpMachine(p, kNoDevices);
  const uint32_t breakpoints[] = {0x10, 0x2000, kRam + 7};
  constexpr uint64_t kBatch = 1 << 20;
  for (auto _ : state) {
    benchmark::DoNotOptimize(p.RunBatch(kBatch, breakpoints));
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_RunBatchBreakpoints);

// One never-reached breakpoint at `offset` words from the loop's first word (none: a batch
// without breakpoints, the figure the others compare with). A breakpoint that borders the loop
// or that the loop jumps over must cost little more than one far away: "stop when the loop is
// done" is the usual breakpoint.
void BM_RunBatchBreakpointPlacement(benchmark::State& state, std::span<const uint32_t> loop,
                                    std::optional<int32_t> offset, Devices devices) {
  Processor p;
  SetUpMachine(p, devices, loop);
  std::vector<uint32_t> breakpoints;
  if (offset) breakpoints.push_back(kRam + static_cast<uint32_t>(*offset));
  constexpr uint64_t kBatch = 1 << 20;
  for (auto _ : state) {
    benchmark::DoNotOptimize(p.RunBatch(kBatch, breakpoints));
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
constexpr std::optional<int32_t> kNoBreakpoint;
BENCHMARK_CAPTURE(BM_RunBatchBreakpointPlacement, loop3_none, kLoop, kNoBreakpoint, kNoDevices);
BENCHMARK_CAPTURE(BM_RunBatchBreakpointPlacement, loop3_far, kLoop, 0x1000, kNoDevices);
BENCHMARK_CAPTURE(BM_RunBatchBreakpointPlacement, loop3_before_first_word, kLoop, -1, kNoDevices);
BENCHMARK_CAPTURE(BM_RunBatchBreakpointPlacement, loop3_after_last_word, kLoop, 3, kNoDevices);
BENCHMARK_CAPTURE(BM_RunBatchBreakpointPlacement, skip_none, kSkipLoop, kNoBreakpoint, kNoDevices);
BENCHMARK_CAPTURE(BM_RunBatchBreakpointPlacement, skip_far, kSkipLoop, 0x1000, kNoDevices);
BENCHMARK_CAPTURE(BM_RunBatchBreakpointPlacement, skip_jumped_over, kSkipLoop, 2, kNoDevices);
BENCHMARK_CAPTURE(BM_RunBatchBreakpointPlacement, skip_after_last_word, kSkipLoop, 5, kNoDevices);
// With two peripherals whose Clock does nothing, as a map with the terminal and GPIO has.
BENCHMARK_CAPTURE(BM_RunBatchBreakpointPlacement, devices_loop3_none, kLoop, kNoBreakpoint,
                  kIdleDevices);
BENCHMARK_CAPTURE(BM_RunBatchBreakpointPlacement, devices_loop3_after_last_word, kLoop, 3,
                  kIdleDevices);

// A loop that loads, counts and stores one RAM word each round, with the words of the three
// kinds built from their fields.
constexpr uint32_t Word(tervik::Opcode op, unsigned rd, unsigned ra, uint32_t low) {
  return static_cast<uint32_t>(op) << 26 | rd << 21 | ra << 16 | (low & 0xFFFFu);
}
constexpr uint32_t kData = kRam + 0x100;
constexpr uint32_t kMemoryLoop[] = {
    Word(tervik::Opcode::LOADI, 3, 4, 0),       // R3 = M[R4]
    Word(tervik::Opcode::ADDI, 3, 3, 1),        // R3 += 1
    Word(tervik::Opcode::STORE, 0, 4, 3),       // M[R4] = R3
    Word(tervik::Opcode::ADDI, 2, 2, 0xFFFF),   // R2 -= 1
    Word(tervik::Opcode::BNZEI, 0, 2, 0xFFFC),  // back to the load while R2 != 0
};

// The memory loop with one write watch on a word it never touches (none: no watch, the figure
// the others compare with): beside its data word in the same RAM, or in another region. The
// data cursor keeps watched words out of its fast path, so the loop's own accesses stay on it.
void BM_RunBatchWatch(benchmark::State& state, std::optional<uint32_t> watched) {
  Processor p;
  SetUpMachine(p, kNoDevices, kMemoryLoop);
  p.SetRegister(4, kData);
  std::vector<Processor::Watch> watches;
  if (watched) watches.push_back({*watched, *watched, false, true});
  constexpr uint64_t kBatch = 1 << 20;
  for (auto _ : state) {
    benchmark::DoNotOptimize(p.RunBatch(kBatch, {}, Processor::OnStall::Continue, watches));
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK_CAPTURE(BM_RunBatchWatch, none, std::nullopt);
BENCHMARK_CAPTURE(BM_RunBatchWatch, next_word, kData + 1);
BENCHMARK_CAPTURE(BM_RunBatchWatch, other_region, kRom + 0x10);

// ---- The default map's modules ----

int32_t IgnoreMessage(const char*) {
  return 0;
}

// A bundled module, loaded as the map loader would and initialised with `param`.
PluginEntryPoints LoadBundled(const char* name, const char* param) {
  const std::string path = std::string(TERVIK_BUNDLED_DIR) + "/" + name;
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), dlerror());
    std::abort();
  }
  auto sym = [h](const char* n) { return dlsym(h, n); };
  PluginEntryPoints e;
  e.About = reinterpret_cast<TervikAboutFn>(sym("About"));
  e.WriteMem = reinterpret_cast<TervikWriteMemFn>(sym("WriteMem"));
  e.CPUWriteMem = reinterpret_cast<TervikCPUWriteMemFn>(sym("CPUWriteMem"));
  e.ReadMem = reinterpret_cast<TervikReadMemFn>(sym("ReadMem"));
  e.Initialize = reinterpret_cast<TervikInitializeFn>(sym("Initialize"));
  e.Reset = reinterpret_cast<TervikResetFn>(sym("Reset"));
  e.Clock = reinterpret_cast<TervikClockFn>(sym("Clock"));
  e.ClockSteps = reinterpret_cast<TervikClockStepsFn>(sym("ClockSteps"));
  e.Initialize(&IgnoreMessage, param);
  return e;
}

// ROM and RAM as examples/default.map has them, the loop in RAM, and with `modules` the map's
// terminal, timer (prescaler 100) and GPIO, clocked by catch-up or every step.
enum class Modules { None, CatchUp, EveryStep };
void SetUpDefaultMap(Processor& p, Modules modules, std::span<const uint32_t> loop = kLoop) {
  p.AddRegion(0x0000, 0x1000, RegionType::ROM);
  p.AddRegion(0x1000, 0x1000, RegionType::RAM);
  if (modules != Modules::None) {
    static const PluginEntryPoints terminal = LoadBundled("libtervik_terminal.so", "");
    static const PluginEntryPoints timer = LoadBundled("libtervik_timer.so", "100");
    static const PluginEntryPoints gpio = LoadBundled("libtervik_gpio.so", "0x0F");
    p.SetCatchUpClocking(modules == Modules::CatchUp);
    p.AddRegion(0x7000, 0x4, RegionType::DLL, terminal);
    p.AddRegion(0x7010, 0x6, RegionType::DLL, timer);
    p.AddRegion(0x7020, 0x5, RegionType::DLL, gpio);
  }
  for (uint32_t i = 0; i < loop.size(); ++i) p.WriteMem(kRam + i, loop[i]);
  p.Reset();
  p.SetPC(kRam);
}

// Runs `run` on a machine without modules, one with the default map's modules by catch-up and
// one with them every step, in turn in every iteration, so that all three see the same machine
// noise; reports each rate (M steps/s) and the ratios to no modules.
template <class RunFn>
void SideBySide(benchmark::State& state, uint64_t stepsPerRun, RunFn run,
                std::span<const uint32_t> loop = kLoop) {
  Processor none, catchUp, everyStep;
  SetUpDefaultMap(none, Modules::None, loop);
  SetUpDefaultMap(catchUp, Modules::CatchUp, loop);
  SetUpDefaultMap(everyStep, Modules::EveryStep, loop);
  using Clock = std::chrono::steady_clock;
  double seconds[3] = {0, 0, 0};
  Processor* machines[3] = {&none, &catchUp, &everyStep};
  for (auto _ : state) {
    for (int i = 0; i < 3; ++i) {
      const auto t0 = Clock::now();
      run(*machines[i]);
      seconds[i] += std::chrono::duration<double>(Clock::now() - t0).count();
    }
  }
  const double steps = static_cast<double>(state.iterations()) * static_cast<double>(stepsPerRun);
  state.counters["none_M/s"] = steps / seconds[0] / 1e6;
  state.counters["catchup_M/s"] = steps / seconds[1] / 1e6;
  state.counters["everystep_M/s"] = steps / seconds[2] / 1e6;
  state.counters["catchup_ratio"] = seconds[0] / seconds[1];
  state.counters["everystep_ratio"] = seconds[0] / seconds[2];
  state.SetItemsProcessed(static_cast<int64_t>(3 * steps));
}

void BM_DefaultMapRunBatch(benchmark::State& state) {
  constexpr uint64_t kBatch = 1 << 20;
  SideBySide(state, kBatch, [](Processor& p) { benchmark::DoNotOptimize(p.RunBatch(kBatch)); });
}
BENCHMARK(BM_DefaultMapRunBatch);

// With three never-reached breakpoints, as the window's free run has when breakpoints are set.
void BM_DefaultMapRunBatchBreakpoints(benchmark::State& state) {
  constexpr uint64_t kBatch = 1 << 20;
  static const uint32_t breakpoints[] = {0x10, 0x2000, kRam + 7};
  SideBySide(state, kBatch,
             [](Processor& p) { benchmark::DoNotOptimize(p.RunBatch(kBatch, breakpoints)); });
}
BENCHMARK(BM_DefaultMapRunBatchBreakpoints);

// With the stall stop, as the headless runner runs.
void BM_DefaultMapRunBatchStallStop(benchmark::State& state) {
  constexpr uint64_t kBatch = 1 << 20;
  SideBySide(state, kBatch, [](Processor& p) {
    benchmark::DoNotOptimize(p.RunBatch(kBatch, {}, Processor::OnStall::Stop));
  });
}
BENCHMARK(BM_DefaultMapRunBatchStallStop);

void BM_DefaultMapStep(benchmark::State& state) {
  constexpr uint64_t kSteps = 1 << 16;
  SideBySide(state, kSteps, [](Processor& p) {
    for (uint64_t i = 0; i < kSteps; ++i) p.Step();
  });
}
BENCHMARK(BM_DefaultMapStep);

// A loop that reads the timer's COUNTER every round (LOADI R3,R0,H#7011 ; ADDI ; BNZEI): each
// read pays the timer's owed clocks first.
constexpr uint32_t kPollLoop[] = {Word(tervik::Opcode::LOADI, 3, 0, 0x7011),
                                  Word(tervik::Opcode::ADDI, 2, 2, 0xFFFF),
                                  Word(tervik::Opcode::BNZEI, 0, 2, 0xFFFE)};
void BM_DefaultMapRunBatchPollingTimer(benchmark::State& state) {
  constexpr uint64_t kBatch = 1 << 20;
  SideBySide(
      state, kBatch, [](Processor& p) { benchmark::DoNotOptimize(p.RunBatch(kBatch)); }, kPollLoop);
}
BENCHMARK(BM_DefaultMapRunBatchPollingTimer);

}  // namespace

BENCHMARK_MAIN();
