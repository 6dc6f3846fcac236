// The translating engine against the interpreter, side by side in every iteration so that both
// see the same machine noise, timed by the thread's CPU time: the three-instruction counting
// loop, a loop of loads and stores, the checksum example over a long table, the counting loop
// with the default map's three modules clocked by catch-up, and a 100,000-word program of
// straight-line code run once (what translating costs a program that never comes back), and
// step over across a loop of calls (every step over stops at another return address). Each
// reports both rates (M instructions/s) and translator_ratio, the translator's speed over the
// interpreter's.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "Processor.h"
#include "Translator.h"

namespace {

using tervik::Opcode;
using tervik::PluginEntryPoints;
using tervik::Processor;
using tervik::RegionType;
using tervik::jit::EngineKind;

constexpr uint32_t Word(Opcode op, unsigned rd, unsigned ra, uint32_t low) {
  return static_cast<uint32_t>(op) << 26 | rd << 21 | ra << 16 | (low & 0xFFFFu);
}

constexpr uint32_t kRam = 0x1000;
// ADDI R1,R1,1 ; ADDI R2,R2,-1 ; BNZEI R2,-2
constexpr uint32_t kLoop[] = {0x94210001u, 0x9442FFFFu, 0xB402FFFEu};
// R3 = M[R4] ; R3 += 1 ; M[R4] = R3 ; R2 -= 1 ; back while R2 != 0
constexpr uint32_t kMemoryLoop[] = {Word(Opcode::LOADI, 3, 4, 0), Word(Opcode::ADDI, 3, 3, 1),
                                    Word(Opcode::STORE, 0, 4, 3), Word(Opcode::ADDI, 2, 2, 0xFFFF),
                                    Word(Opcode::BNZEI, 0, 2, 0xFFFC)};

double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Two machines set up alike, one on each engine; `run` is timed on each in turn and returns
// the instructions it ran; `prepare` (untimed) comes before every run.
template <class SetUpFn, class RunFn, class PrepareFn = void (*)(Processor&)>
void SideBySide(
    benchmark::State& state, SetUpFn setUp, RunFn run, PrepareFn prepare = [](Processor&) {}) {
  Processor interpreter, translator;
  setUp(interpreter);
  setUp(translator);
  tervik::jit::InstallEngine(interpreter, EngineKind::Interpreter);
  if (tervik::jit::InstallEngine(translator, EngineKind::Translator) != EngineKind::Translator) {
    state.SkipWithError("no translator in this build");
    return;
  }
  double seconds[2] = {0, 0};
  double steps[2] = {0, 0};
  Processor* machines[2] = {&interpreter, &translator};
  for (auto _ : state) {
    for (int i = 0; i < 2; ++i) {
      prepare(*machines[i]);
      const double t0 = ThreadSeconds();
      steps[i] += static_cast<double>(run(*machines[i]));
      seconds[i] += ThreadSeconds() - t0;
    }
  }
  if (interpreter.r != translator.r || interpreter.sr != translator.sr ||
      interpreter.lfsr != translator.lfsr || interpreter.pc != translator.pc) {
    state.SkipWithError("the engines disagree");
  }
  state.counters["interpreter_M/s"] = steps[0] / seconds[0] / 1e6;
  state.counters["translator_M/s"] = steps[1] / seconds[1] / 1e6;
  state.counters["translator_ratio"] = (steps[1] / seconds[1]) / (steps[0] / seconds[0]);
  state.SetItemsProcessed(static_cast<int64_t>(steps[0] + steps[1]));
}

void SetUpLoop(Processor& p, std::span<const uint32_t> loop) {
  p.AddRegion(0x0000, 0x1000, RegionType::ROM);
  p.AddRegion(kRam, 0x1000, RegionType::RAM);
  for (uint32_t i = 0; i < loop.size(); ++i) p.WriteMem(kRam + i, loop[i]);
  p.Reset();
  p.SetPC(kRam);
  p.SetRegister(4, kRam + 0x100);
}

constexpr uint64_t kBatch = 1 << 22;

void BM_CountingLoop(benchmark::State& state) {
  SideBySide(
      state, [](Processor& p) { SetUpLoop(p, kLoop); },
      [](Processor& p) { return p.RunBatch(kBatch); });
}
BENCHMARK(BM_CountingLoop)->Unit(benchmark::kMillisecond);

void BM_MemoryLoop(benchmark::State& state) {
  SideBySide(
      state, [](Processor& p) { SetUpLoop(p, kMemoryLoop); },
      [](Processor& p) { return p.RunBatch(kBatch); });
}
BENCHMARK(BM_MemoryLoop)->Unit(benchmark::kMillisecond);

// The words of examples/checksum.lst (address, then 32 binary digits).
std::vector<std::pair<uint32_t, uint32_t>> ReadListing(const std::string& path) {
  std::vector<std::pair<uint32_t, uint32_t>> words;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() < 38 || line[5] != ' ') continue;
    uint32_t word = 0;
    bool binary = true;
    for (size_t i = 6; i < 38; ++i) {
      binary = binary && (line[i] == '0' || line[i] == '1');
      word = word << 1 | (line[i] == '1' ? 1u : 0u);
    }
    if (binary) words.emplace_back(std::stoul(line.substr(0, 5), nullptr, 16), word);
  }
  return words;
}

// The checksum example as the runner runs it (to the standstill at `halt`), its table grown to
// 30,000 words: the listing's MOVEL R3 takes the new length.
constexpr uint32_t kTableWords = 30000;  // MOVEL sign-extends: below 0x8000
void SetUpChecksum(Processor& p) {
  static const std::vector<std::pair<uint32_t, uint32_t>> listing =
      ReadListing(TERVIK_EXAMPLES_DIR "/checksum.lst");
  if (listing.size() < 12) {
    std::fprintf(stderr, "cannot read checksum.lst\n");
    std::abort();
  }
  p.AddRegion(0x0000, 0x10000, RegionType::ROM);
  p.AddRegion(0x10000, 0x1000, RegionType::RAM);
  for (auto [a, w] : listing) p.WriteMem(a, w);
  p.WriteMem(2, Word(Opcode::MOVEI, 3, 0, kTableWords));  // MOVEL R3,kTableWords
  std::mt19937 rng(1);
  for (uint32_t i = 0; i < kTableWords; ++i) p.WriteMem(0x0C + i, rng());
  p.Reset();
}

void BM_ChecksumExample(benchmark::State& state) {
  SideBySide(state, SetUpChecksum, [](Processor& p) {
    p.SetPC(0);
    return p.RunBatch(UINT64_MAX, {}, Processor::OnStall::Stop);
  });
}
BENCHMARK(BM_ChecksumExample)->Unit(benchmark::kMillisecond);

// The counting loop with examples/default.map's terminal, timer (prescaler 100) and GPIO,
// clocked by catch-up.
void SetUpDefaultMap(Processor& p) {
  using tervik::bench::LoadModule;
  static const PluginEntryPoints terminal =
      LoadModule(TERVIK_BUNDLED_DIR, "libtervik_terminal.so", "");
  static const PluginEntryPoints timer =
      LoadModule(TERVIK_BUNDLED_DIR, "libtervik_timer.so", "100");
  static const PluginEntryPoints gpio = LoadModule(TERVIK_BUNDLED_DIR, "libtervik_gpio.so", "0x0F");
  p.AddRegion(0x0000, 0x1000, RegionType::ROM);
  p.AddRegion(kRam, 0x1000, RegionType::RAM);
  p.AddRegion(0x7000, 0x4, RegionType::DLL, terminal);
  p.AddRegion(0x7010, 0x6, RegionType::DLL, timer);
  p.AddRegion(0x7020, 0x5, RegionType::DLL, gpio);
  for (uint32_t i = 0; i < std::size(kLoop); ++i) p.WriteMem(kRam + i, kLoop[i]);
  p.Reset();
  p.SetPC(kRam);
}

void BM_DefaultMapModules(benchmark::State& state) {
  SideBySide(state, SetUpDefaultMap, [](Processor& p) { return p.RunBatch(kBatch); });
}
BENCHMARK(BM_DefaultMapModules)->Unit(benchmark::kMillisecond);

// 100,000 words of register arithmetic, loads and stores without a branch, then a standstill;
// every iteration loads it afresh, so each run meets every word once.
constexpr uint32_t kStraightWords = 100000;
void BM_StraightLineOnce(benchmark::State& state) {
  static const std::vector<uint32_t> program = [] {
    std::mt19937 rng(3);
    std::vector<uint32_t> words;
    const Opcode ops[] = {Opcode::ADDI, Opcode::XOR, Opcode::ADD, Opcode::SUBBI,
                          Opcode::RORI, Opcode::ORI, Opcode::AND, Opcode::SUBB};
    for (uint32_t i = 0; i < kStraightWords; ++i) {
      const unsigned rd = 1 + rng() % 8, ra = 1 + rng() % 8;
      if (i % 10 == 9) {
        words.push_back(Word(i % 20 == 9 ? Opcode::LOADI : Opcode::STOREI, rd, 31, rng() % 256));
      } else {
        words.push_back(Word(ops[rng() % 8], rd, ra, rng() % 8));
      }
    }
    words.push_back(Word(Opcode::JUMPI, 0, 0, 0));
    return words;
  }();
  auto setUp = [](Processor& p) {
    p.AddRegion(0x0000, 0x20000, RegionType::RAM);
    p.AddRegion(0x40000, 0x1000, RegionType::RAM);
  };
  auto prepare = [](Processor& p) {
    for (uint32_t i = 0; i < program.size(); ++i) p.WriteMem(i, program[i]);
    p.Reset();
    p.SetRegister(31, 0x40000);
    // A fresh translator, which has met none of the words before.
    if (p.GetBatchEngine() != nullptr) tervik::jit::InstallEngine(p, EngineKind::Translator);
  };
  SideBySide(
      state, setUp,
      [](Processor& p) { return p.RunBatch(UINT64_MAX, {}, Processor::OnStall::Stop); }, prepare);
}
BENCHMARK(BM_StraightLineOnce)->Unit(benchmark::kMillisecond);

// Step over, as the debugger does it, across a loop of eight calls of a routine that counts
// 200 rounds: each step over is a batch with the one stop after its CALL, so the stop changes
// every time. Words that are not a CALL are stepped over as one step, like the debugger.
constexpr uint32_t kCalls = 8;
constexpr uint32_t kRoutine = kRam + 0x800;
void SetUpCalls(Processor& p) {
  p.AddRegion(0x0000, 0x1000, RegionType::ROM);
  p.AddRegion(kRam, 0x1000, RegionType::RAM);
  uint32_t a = kRam;
  for (uint32_t i = 0; i < kCalls; ++i) p.WriteMem(a++, Word(Opcode::CALL, 0, 0, 6));
  p.WriteMem(a, Word(Opcode::JUMPrI, 0, 0, kRam));
  // MOVEL R2,200 ; ADDI R1,R1,1 ; ADDI R2,R2,-1 ; BNZEI R2,-2 ; RET
  const uint32_t routine[] = {Word(Opcode::MOVEI, 2, 0, 200), kLoop[0], kLoop[1], kLoop[2],
                              Word(Opcode::RET, 0, 0, 0)};
  for (uint32_t i = 0; i < std::size(routine); ++i) p.WriteMem(kRoutine + i, routine[i]);
  p.Reset();
  p.SetPC(kRam);
  p.sp = kRam + 0xF00;
  p.SetRegister(6, kRoutine);
}

void BM_StepOverCalls(benchmark::State& state) {
  SideBySide(state, SetUpCalls, [](Processor& p) {
    uint64_t steps = 0;
    for (uint32_t i = 0; i < 64; ++i) {
      const bool call = p.ReadMem(p.pc) >> 26 == static_cast<uint32_t>(Opcode::CALL);
      const uint32_t stop = p.pc + 1;
      steps += call ? p.RunBatch(UINT64_MAX, std::span(&stop, 1)) : p.RunBatch(1);
    }
    return steps;
  });
}
BENCHMARK(BM_StepOverCalls)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
