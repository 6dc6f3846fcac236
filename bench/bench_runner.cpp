// Speed of the headless runner against the core's batched run on the same loop: the runner's
// plain run through the debugging session (standstill check on every step), with an --until
// address, and traced (writing the text to /dev/null) against the bare steps the trace is built
// on; and the runner with examples/default.map's three modules, clocked by catch-up and every
// step, side by side with none (the goal: >= 0.85 of none with catch-up); and one run of a tiny
// program as a suite line costs it, in the runner's process and in a watched worker process
// (the goal: isolated at most 2x in-process).
#include <benchmark/benchmark.h>
#include <fcntl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "Assembler.h"
#include "BenchSupport.h"
#include "Isolated.h"
#include "RunConsole.h"
#include "RunOne.h"

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

// A trace of a stretch of a long run: the steps before it go at the untraced speed.
void BM_RunTracedStretch(benchmark::State& state) {
  Processor p;
  SetUpMachine(p);
  std::FILE* devNull = std::fopen("/dev/null", "w");
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        tervik::runner::RunTraced(p, {kBatch, std::nullopt}, devNull, {kBatch - 1000, kBatch}));
  }
  std::fclose(devNull);
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_RunTracedStretch);

// The runner's plain run on a session with no modules, with the default map's terminal, timer
// and GPIO by catch-up, and with them clocked every step, in turn in every iteration.
void BM_RunnerDefaultMap(benchmark::State& state) {
  using tervik::bench::LoadModule;
  static const tervik::PluginEntryPoints terminal =
      LoadModule(TERVIK_BUNDLED_DIR, "libtervik_terminal.so", "");
  static const tervik::PluginEntryPoints timer =
      LoadModule(TERVIK_BUNDLED_DIR, "libtervik_timer.so", "100");
  static const tervik::PluginEntryPoints gpio =
      LoadModule(TERVIK_BUNDLED_DIR, "libtervik_gpio.so", "0x0F");
  std::unique_ptr<tervik::debug::Session> sessions[3];
  for (int i = 0; i < 3; ++i) {
    sessions[i] = std::make_unique<tervik::debug::Session>();
    Processor& p = sessions[i]->Cpu();
    if (i != 0) {
      p.SetCatchUpClocking(i == 1);
      p.AddRegion(0x7000, 0x4, RegionType::DLL, terminal);
      p.AddRegion(0x7010, 0x6, RegionType::DLL, timer);
      p.AddRegion(0x7020, 0x5, RegionType::DLL, gpio);
    }
    SetUpMachine(p);
  }
  using Clock = std::chrono::steady_clock;
  double seconds[3] = {0, 0, 0};
  for (auto _ : state) {
    for (int i = 0; i < 3; ++i) {
      const auto t0 = Clock::now();
      benchmark::DoNotOptimize(tervik::runner::Run(*sessions[i], {kBatch, std::nullopt}));
      seconds[i] += std::chrono::duration<double>(Clock::now() - t0).count();
    }
  }
  const double steps = static_cast<double>(state.iterations()) * kBatch;
  state.counters["none_M/s"] = steps / seconds[0] / 1e6;
  state.counters["catchup_M/s"] = steps / seconds[1] / 1e6;
  state.counters["everystep_M/s"] = steps / seconds[2] / 1e6;
  state.counters["catchup_ratio"] = seconds[0] / seconds[1];
  state.counters["everystep_ratio"] = seconds[0] / seconds[2];
}
BENCHMARK(BM_RunnerDefaultMap);

// A suite line's run of a five-instruction program on a two-region map, as tervik-run makes it
// for each line; what the run writes to standard output goes to /dev/null meanwhile.
class TinyRun {
 public:
  TinyRun() : folder_(std::filesystem::temp_directory_path() / "tervik_bench_tiny_run") {
    std::filesystem::create_directories(folder_);
    std::ofstream(folder_ / "m.map") << "0x0000 0x1000 ROM\n0x1000 0x1000 RAM\n";
    const tervik::assembler::Result program =
        tervik::assembler::Assemble("start: MOVEL R1,H#5%\n ADDI R1,R1,1\nhalt: JUMPI halt%\n");
    std::ofstream(folder_ / "tiny.lst") << program.listing;
    request_.mapPath = (folder_ / "m.map").string();
    request_.listingPath = (folder_ / "tiny.lst").string();
    request_.expectTexts = {"R1 == 6"};
    std::fflush(stdout);
    savedStdout_ = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::dup2(null, STDOUT_FILENO);
    ::close(null);
  }
  ~TinyRun() {
    std::fflush(stdout);
    ::dup2(savedStdout_, STDOUT_FILENO);
    ::close(savedStdout_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  TinyRun(const TinyRun&) = delete;
  TinyRun& operator=(const TinyRun&) = delete;

  const tervik::runner::Request& request() const { return request_; }

 private:
  std::filesystem::path folder_;
  tervik::runner::Request request_;
  int savedStdout_ = -1;
};

// A suite of kLines such lines per iteration: the runs in the runner's process, and in a
// watched worker process (one fork per suite while no module ends it).
constexpr size_t kLines = 200;

void BM_SuiteInProcess(benchmark::State& state) {
  TinyRun tiny;
  tervik::runner::RunConsole console(true, nullptr);
  for (auto _ : state) {
    for (size_t i = 0; i < kLines; ++i) {
      const tervik::runner::Finished done =
          tervik::runner::RunOne(tiny.request(), console, nullptr);
      if (done.status != 0) state.SkipWithError("the tiny run did not pass");
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kLines));
}
BENCHMARK(BM_SuiteInProcess)->Unit(benchmark::kMillisecond);

void BM_SuiteIsolated(benchmark::State& state) {
  TinyRun tiny;
  tervik::runner::RunConsole console(true, nullptr);
  tervik::runner::SignalCatcher signals;
  const std::vector<tervik::runner::Request> suite(kLines, tiny.request());
  for (auto _ : state) {
    tervik::runner::RunIsolated(
        suite, console, signals, tervik::jit::DefaultEngine(), false,
        [](const tervik::runner::Finished&) {},
        [&](tervik::runner::Finished&& done) {
          if (done.status != 0) {
            state.SkipWithError("the tiny run did not pass");
          }
        });
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kLines));
}
BENCHMARK(BM_SuiteIsolated)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
