// Speed of the headless runner against the core's batched run on the same loop: the runner's
// plain run through the debugging session (standstill check on every step), with an --until
// address, and traced (writing the text to /dev/null) against the bare steps the trace is built
// on.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "Processor.h"
#include "Runner.h"
#include "Session.h"

namespace {

using tervik::Processor;
using tervik::RegionType;

constexpr uint32_t kRam = 0x1000;
constexpr uint64_t kBatch = 1 << 20;

// ADDI R1,R1,1 ; ADDI R2,R2,-1 ; BNZEI R2,-2 : the loop of the core benchmark.
constexpr uint32_t kLoop[] = {0x94210001u, 0x9442FFFFu, 0xB402FFFEu};

void SetUpMachine(Processor& p) {
  p.AddRegion(0x0000, 0x400, RegionType::ROM);
  p.AddRegion(kRam, 0x400, RegionType::RAM);
  for (uint32_t i = 0; i < 3; ++i) p.WriteMem(kRam + i, kLoop[i]);
  p.Reset();
  p.SetPC(kRam);
}

// The reference: the core's batched run with nothing to stop it early.
void BM_CoreRunBatch(benchmark::State& state) {
  Processor p;
  SetUpMachine(p);
  for (auto _ : state) benchmark::DoNotOptimize(p.RunBatch(kBatch));
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_CoreRunBatch);

// The reference of the --until run: the core's batched run with the same address to stop at and
// the standstill check.
void BM_CoreRunBatchUntil(benchmark::State& state) {
  Processor p;
  SetUpMachine(p);
  const uint32_t until[] = {kRam + 0x100};
  for (auto _ : state) {
    benchmark::DoNotOptimize(p.RunBatch(kBatch, until, Processor::OnStall::Stop));
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_CoreRunBatchUntil);

void BM_Runner(benchmark::State& state) {
  tervik::debug::Session session;
  SetUpMachine(session.Cpu());
  for (auto _ : state) {
    benchmark::DoNotOptimize(tervik::runner::Run(session, {kBatch, std::nullopt}));
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_Runner);

void BM_RunnerUntil(benchmark::State& state) {
  tervik::debug::Session session;
  SetUpMachine(session.Cpu());
  // An address in the same RAM as the loop, never reached.
  for (auto _ : state) {
    benchmark::DoNotOptimize(tervik::runner::Run(session, {kBatch, kRam + 0x100}));
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_RunnerUntil);

// What a traced step costs without its text: the copy of the registers, the peek at the word
// and the step.
void BM_TraceStepsWithoutText(benchmark::State& state) {
  Processor p;
  SetUpMachine(p);
  for (auto _ : state) {
    const tervik::CpuState before = p;
    benchmark::DoNotOptimize(before);
    benchmark::DoNotOptimize(tervik::runner::PeekWord(p, p.pc));
    p.Step();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TraceStepsWithoutText);

void BM_RunTraced(benchmark::State& state) {
  Processor p;
  SetUpMachine(p);
  std::FILE* devNull = std::fopen("/dev/null", "w");
  constexpr uint64_t kTraceBatch = 1 << 14;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tervik::runner::RunTraced(p, {kTraceBatch, std::nullopt}, devNull));
  }
  std::fclose(devNull);
  state.SetItemsProcessed(state.iterations() * kTraceBatch);
}
BENCHMARK(BM_RunTraced);

}  // namespace

BENCHMARK_MAIN();
