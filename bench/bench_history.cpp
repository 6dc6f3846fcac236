// The cost of recording history in a free run, side by side with history off, also for a loop
// that reads a pixel display word by word (recording and replaying it); and the reverse
// commands after a run of 10^9 instructions: step back, reverse continue to a watchpoint hit
// 10^8 instructions back, the last write of a word written once near the start, and the bytes
// the history took.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <span>

#include "BenchSupport.h"
#include "Processor.h"
#include "Recorder.h"
#include "Reverse.h"
#include "Session.h"
#include "Translator.h"

namespace {

using tervik::Opcode;
using tervik::PluginEntryPoints;
using tervik::Processor;
using tervik::RegionType;
using Clock = std::chrono::steady_clock;

constexpr uint32_t Word(Opcode op, unsigned rd, unsigned ra, uint32_t low) {
  return static_cast<uint32_t>(op) << 26 | rd << 21 | ra << 16 | (low & 0xFFFFu);
}
constexpr uint32_t Movel(unsigned rd, uint32_t imm) {
  return Word(Opcode::MOVEI, rd, 0, imm);
}

// tervik_bench_core's batched loop: ADDI R1,R1,1 ; ADDI R2,R2,-1 ; BNZEI R2,-2.
constexpr uint32_t kLoop[] = {0x94210001u, 0x9442FFFFu, 0xB402FFFEu};

// examples/counter.asm with one store before it, of a word nothing writes again: counts in R1
// and stores each count into RAM at 0x1000..0x10FF.
constexpr uint32_t kOnce = 0x1F00;
constexpr uint32_t kCounter[] = {
    Movel(5, 0x1234),
    Movel(6, kOnce),
    Word(Opcode::STORE, 0, 6, 5),
    Movel(1, 0),
    Movel(2, 0x1000),
    Word(Opcode::ADDI, 1, 1, 1),  // loop
    Word(Opcode::STORE, 0, 2, 1),
    Word(Opcode::ADDI, 2, 2, 1),
    Word(Opcode::ANDI, 2, 2, 0x10FF),
    Word(Opcode::JUMPI, 0, 0, 0xFFFC),
};

// ROM and RAM as examples/default.map has them, with its terminal, timer and GPIO when asked;
// `program` in RAM at 0x1000 (the loop) or in ROM at 0 (the counter).
void SetUp(Processor& p, bool modules, std::span<const uint32_t> program, uint32_t at) {
  p.AddRegion(0x0000, 0x1000, RegionType::ROM);
  p.AddRegion(0x1000, 0x1000, RegionType::RAM);
  if (modules) {
    using tervik::bench::LoadModule;
    static const PluginEntryPoints terminal =
        LoadModule(TERVIK_BUNDLED_DIR, "libtervik_terminal.so", "");
    static const PluginEntryPoints timer =
        LoadModule(TERVIK_BUNDLED_DIR, "libtervik_timer.so", "100");
    static const PluginEntryPoints gpio =
        LoadModule(TERVIK_BUNDLED_DIR, "libtervik_gpio.so", "0x0F");
    p.AddRegion(0x7000, 0x4, RegionType::DLL, terminal);
    p.AddRegion(0x7010, 0x6, RegionType::DLL, timer);
    p.AddRegion(0x7020, 0x5, RegionType::DLL, gpio);
  }
  for (uint32_t i = 0; i < program.size(); ++i) p.WriteMem(at + i, program[i]);
  p.Reset();
  p.SetPC(at);
}

// The loop with history off and on, in turn in every iteration, both on `engine` (the window's
// default is the translator); the ratio is on / off speed.
void FreeRun(benchmark::State& state, bool modules, tervik::jit::EngineKind engine) {
  constexpr uint64_t kBatch = 1 << 20;
  Processor off, on;
  SetUp(off, modules, kLoop, 0x1000);
  SetUp(on, modules, kLoop, 0x1000);
  if (tervik::jit::InstallEngine(off, engine) != engine ||
      tervik::jit::InstallEngine(on, engine) != engine) {
    state.SkipWithError("the engine is not available here");
    return;
  }
  tervik::history::Recorder history(on);
  history.SetEnabled(true);
  double seconds[2] = {0, 0};
  Processor* machines[2] = {&off, &on};
  for (auto _ : state) {
    for (int i = 0; i < 2; ++i) {
      const auto t0 = Clock::now();
      benchmark::DoNotOptimize(machines[i]->RunBatch(kBatch));
      seconds[i] += std::chrono::duration<double>(Clock::now() - t0).count();
    }
  }
  const double steps = static_cast<double>(state.iterations()) * kBatch;
  state.counters["off_M/s"] = steps / seconds[0] / 1e6;
  state.counters["on_M/s"] = steps / seconds[1] / 1e6;
  state.counters["on_ratio"] = seconds[0] / seconds[1];
  state.counters["history_KB"] = static_cast<double>(history.Bytes()) / 1024.0;
  state.counters["translated_share"] =
      static_cast<double>(tervik::jit::TranslatedCycles(on)) / std::max(steps, 1.0);
}
BENCHMARK_CAPTURE(FreeRun, loop, false, tervik::jit::EngineKind::Interpreter);
BENCHMARK_CAPTURE(FreeRun, default_map, true, tervik::jit::EngineKind::Interpreter);
BENCHMARK_CAPTURE(FreeRun, loop_translated, false, tervik::jit::EngineKind::Translator);
BENCHMARK_CAPTURE(FreeRun, default_map_translated, true, tervik::jit::EngineKind::Translator);

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// A loop that reads every word of a pixel display of `words` words at 0x4000 in turn, as a
// program copying or testing its picture does: 2 * 10^6 instructions with history off, the same
// with history on, and their replay from the start. The ratios are on / off and replay / off
// times: the cost of finding each word's record among thousands.
void DisplayScan(benchmark::State& state, uint32_t words) {
  constexpr uint32_t kDisplay = 0x4000;
  constexpr uint64_t kRun = 2'000'000;
  static const PluginEntryPoints display =
      tervik::bench::LoadModule(TERVIK_BUNDLED_DIR, "libtervik_display.so", "256x128");
  // R1 = display ; loop: LOAD R3,R1,R2 ; ADDI R2,R2,1 ; ANDI R2,R2,words-1 ; JUMPI loop.
  const uint32_t program[] = {
      Movel(1, kDisplay),
      static_cast<uint32_t>(Opcode::LOAD) << 26 | 3u << 21 | 1u << 16 | 2u,
      Word(Opcode::ADDI, 2, 2, 1),
      Word(Opcode::ANDI, 2, 2, words - 1),
      Word(Opcode::JUMPI, 0, 0, 0xFFFD),
  };
  double off = 0, on = 0, replay = 0, bytes = 0;
  for (auto _ : state) {
    Processor machines[2];
    for (Processor& p : machines) {
      SetUp(p, false, program, 0x1000);
      p.AddRegion(kDisplay, words, RegionType::DLL, display);
      for (uint32_t i = 0; i < words; ++i) p.WriteMem(kDisplay + i, i * 0x9E3779B1u);
      p.Reset();
      p.SetPC(0x1000);
    }
    tervik::history::Recorder history(machines[1]);
    history.SetEnabled(true);
    auto t0 = Clock::now();
    benchmark::DoNotOptimize(machines[0].RunBatch(kRun));
    off += Seconds(t0);
    t0 = Clock::now();
    while (history.Now() < kRun) machines[1].RunBatch(kRun - history.Now());
    on += Seconds(t0);
    bytes = static_cast<double>(history.Bytes());
    history.Seek(history.First());
    t0 = Clock::now();
    history.Seek(kRun);
    replay += Seconds(t0);
    if (history.Now() != kRun || history.Diverged()) state.SkipWithError("the replay failed");
  }
  state.counters["off_s"] = off / static_cast<double>(state.iterations());
  state.counters["on_s"] = on / static_cast<double>(state.iterations());
  state.counters["replay_s"] = replay / static_cast<double>(state.iterations());
  state.counters["on_off"] = on / off;
  state.counters["replay_off"] = replay / off;
  state.counters["history_KB"] = bytes / 1024.0;
}
BENCHMARK_CAPTURE(DisplayScan, words_2048, 2048)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DisplayScan, words_32768, 32768)->Iterations(2)->Unit(benchmark::kMillisecond);

// The processor time this process has used, which a busy machine inflates less than the
// wall-clock time.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// 10^9 instructions of the counter on the default map with history on, then the reverse
// commands, each timed once.
void ReverseAfterBillion(benchmark::State& state) {
  constexpr uint64_t kRun = 1'000'000'000;
  for (auto _ : state) {
    tervik::debug::Session s;
    SetUp(s.Cpu(), true, kCounter, 0);
    s.History().SetEnabled(true);
    s.Cpu().Reset();
    s.Cpu().SetPC(0);
    auto t0 = Clock::now();
    double c0 = CpuSeconds();
    while (s.History().Now() < kRun) s.Cpu().RunBatch(kRun - s.History().Now());
    state.counters["run_s"] = Seconds(t0);
    state.counters["run_cpu_s"] = CpuSeconds() - c0;
    state.counters["history_MB"] = static_cast<double>(s.History().Bytes()) / (1 << 20);
    tervik::debug::Reverse reverse(s);

    t0 = Clock::now();
    c0 = CpuSeconds();
    reverse.StepBack();
    state.counters["step_back_ms"] = Seconds(t0) * 1e3;
    state.counters["step_back_cpu_ms"] = (CpuSeconds() - c0) * 1e3;

    // The counter stores into 0x1000 every 1,280 instructions: the 78,125th hit back lies 10^8
    // instructions back.
    reverse.Present();
    const size_t w = s.AddWatchpoint(0x1000, 0x1000);
    tervik::debug::SetStopAtHit(s.WatchpointAt(w).settings, 78125);
    t0 = Clock::now();
    c0 = CpuSeconds();
    const tervik::debug::ReverseStop hit = reverse.ContinueBack();
    state.counters["continue_back_s"] = Seconds(t0);
    state.counters["continue_back_cpu_s"] = CpuSeconds() - c0;
    state.counters["continue_back_Minstr"] = static_cast<double>(hit.from - hit.to) / 1e6;
    s.RemoveWatchpoint(w);

    reverse.Present();
    t0 = Clock::now();
    c0 = CpuSeconds();
    const tervik::debug::ReverseStop write = reverse.LastWrite(kOnce);
    state.counters["last_write_s"] = Seconds(t0);
    state.counters["last_write_cpu_s"] = CpuSeconds() - c0;
    state.counters["last_write_at"] = static_cast<double>(write.to);
  }
}
BENCHMARK(ReverseAfterBillion)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
