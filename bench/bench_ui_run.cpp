// Speed of the free run as the window runs it (events handled every few milliseconds, the core's
// batched run in between), next to the bare single step and the batched run of the core, on a
// three-instruction loop in RAM; with and without the bundled terminal and timer mapped, and
// with breakpoints set that the loop never reaches; and a step over a long subroutine call.
// Also the delay between a Stop delivered as an event and the end of the run. And the free run
// and RunBatch with examples/default.map's three modules, by catch-up and every step, side by
// side with no modules (the goal: >= 0.85 of no modules with catch-up).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <memory>

#include "BenchSupport.h"
#include "Tfmain.h"

namespace {

// ADDI R1,R1,1 ; ADDI R2,R2,-1 ; BNZEI R2,-2
constexpr uint32_t kLoop[] = {0x94210001u, 0x9442FFFFu, 0xB402FFFEu};
constexpr uint32_t kRam = 0x1000;

// One main window for the whole program, in a scratch working directory with its own map.
class Fixture {
 public:
  static Fixture& Get() {
    static Fixture fixture;
    return fixture;
  }

  TFMain& Main(bool devices) { return Main(devices ? "devices.map" : "plain.map"); }
  TFMain& Main(const char* mapName) {
    const std::string map = dir_.filePath(mapName).toStdString();
    main_->LoadMemoryMap(map);
    for (uint32_t i = 0; i < 3; ++i) main_->Cpu().WriteMem(kRam + i, kLoop[i]);
    main_->Cpu().Reset();
    main_->Cpu().SetPC(kRam);
    return *main_;
  }

 private:
  Fixture() {
    QDir::setCurrent(dir_.path());
    std::ofstream(dir_.filePath("plain.map").toStdString()) << "0x0 0x400 ROM\n0x1000 0x400 RAM\n";
    std::ofstream(dir_.filePath("devices.map").toStdString())
        << "0x0 0x400 ROM\n0x1000 0x400 RAM\n"
        << "0x8000 0x10 DLL libtervik_terminal.so\n0x8010 0x10 DLL libtervik_timer.so 10\n";
    // The modules of examples/default.map where it has them.
    std::ofstream(dir_.filePath("default.map").toStdString())
        << "0x0000 0x1000 ROM\n0x1000 0x1000 RAM\n"
        << "0x7000 0x4 DLL libtervik_terminal.so\n0x7010 0x6 DLL libtervik_timer.so 100\n"
        << "0x7020 0x5 DLL libtervik_gpio.so 0x0F\n";
    main_ = std::make_unique<TFMain>();
    main_->FormCreate();
    main_->show();
  }

  QTemporaryDir dir_;
  std::unique_ptr<TFMain> main_;
};

void BM_FreeRun(benchmark::State& state) {
  TFMain& main = Fixture::Get().Main(state.range(0) != 0);
  main.ActionLiveViews->setChecked(state.range(1) != 0);
  uint64_t instructions = 0;
  for (auto _ : state) {
    QTimer::singleShot(250, &main, [&main] { main.ActionStop->trigger(); });
    main.ActionRun->trigger();
    instructions += main.LastRunCount();
  }
  state.SetItemsProcessed(static_cast<int64_t>(instructions));
  state.counters["shown_rate"] = 1.0 / main.SecondsPerInstructionValue();
}
BENCHMARK(BM_FreeRun)
    ->ArgNames({"devices", "live"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same with three breakpoints set that the loop never reaches, one in its own RAM.
void BM_FreeRunWithBreakpoints(benchmark::State& state) {
  TFMain& main = Fixture::Get().Main(false);
  const uint32_t breakpoints[] = {0x10, 0x2000, kRam + 7};
  for (uint32_t a : breakpoints) main.ToggleBreakpoint(a);
  uint64_t instructions = 0;
  for (auto _ : state) {
    QTimer::singleShot(250, &main, [&main] { main.ActionStop->trigger(); });
    main.ActionRun->trigger();
    instructions += main.LastRunCount();
  }
  for (uint32_t a : breakpoints) main.ToggleBreakpoint(a);
  state.SetItemsProcessed(static_cast<int64_t>(instructions));
}
BENCHMARK(BM_FreeRunWithBreakpoints)->Unit(benchmark::kMillisecond)->UseRealTime();

// Step over a CALL of a subroutine that runs the loop for 10 million instructions, to compare
// with the free run's rate: the step over runs through the same batches.
void BM_StepOverLongCall(benchmark::State& state) {
  TFMain& main = Fixture::Get().Main(false);
  tervik::Processor& cpu = main.Cpu();
  constexpr uint32_t kSub = kRam + 0x10;
  cpu.WriteMem(kRam, 0x54000009u);      // CALL R9
  cpu.WriteMem(kRam + 1, 0xBC000000u);  // JUMPI H#0%
  for (uint32_t i = 0; i < 3; ++i) cpu.WriteMem(kSub + i, kLoop[i]);
  cpu.WriteMem(kSub + 3, 0x60000000u);  // RET
  uint64_t instructions = 0;
  for (auto _ : state) {
    cpu.SetPC(kRam);
    cpu.sp = kRam + 0x200;
    cpu.r[9] = kSub;
    cpu.r[2] = 3333333;
    main.ActionStepOver->trigger();
    instructions += main.LastRunCount();
  }
  state.SetItemsProcessed(static_cast<int64_t>(instructions));
}
BENCHMARK(BM_StepOverLongCall)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Step(benchmark::State& state) {
  tervik::Processor& cpu = Fixture::Get().Main(state.range(0) != 0).Cpu();
  for (auto _ : state) cpu.Step();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Step)->ArgName("devices")->Arg(0)->Arg(1);

void BM_RunBatch(benchmark::State& state) {
  tervik::Processor& cpu = Fixture::Get().Main(state.range(0) != 0).Cpu();
  constexpr uint64_t kBatch = 100000;
  for (auto _ : state) benchmark::DoNotOptimize(cpu.RunBatch(kBatch));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBatch));
}
BENCHMARK(BM_RunBatch)->ArgName("devices")->Arg(0)->Arg(1);

// The window's free run (live views on) and the core's RunBatch with no modules, with the default
// map's modules by catch-up and with them every step, in turn in every iteration.
void SideBySide(benchmark::State& state, bool freeRun) {
  constexpr uint64_t kBatch = 1 << 20;
  double seconds[3] = {0, 0, 0};
  double instructions[3] = {0, 0, 0};
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    for (int i = 0; i < 3; ++i) {
      TFMain& main = Fixture::Get().Main(i == 0 ? "plain.map" : "default.map");
      main.Cpu().SetCatchUpClocking(i == 1);
      main.ActionLiveViews->setChecked(true);
      const auto t0 = Clock::now();
      if (freeRun) {
        QTimer::singleShot(250, &main, [&main] { main.ActionStop->trigger(); });
        main.ActionRun->trigger();
        instructions[i] += static_cast<double>(main.LastRunCount());
      } else {
        benchmark::DoNotOptimize(main.Cpu().RunBatch(kBatch));
        instructions[i] += kBatch;
      }
      seconds[i] += std::chrono::duration<double>(Clock::now() - t0).count();
      main.Cpu().SetCatchUpClocking(true);
    }
  }
  double rate[3];
  for (int i = 0; i < 3; ++i) rate[i] = instructions[i] / seconds[i];
  state.counters["none_M/s"] = rate[0] / 1e6;
  state.counters["catchup_M/s"] = rate[1] / 1e6;
  state.counters["everystep_M/s"] = rate[2] / 1e6;
  state.counters["catchup_ratio"] = rate[1] / rate[0];
  state.counters["everystep_ratio"] = rate[2] / rate[0];
}

void BM_FreeRunDefaultMap(benchmark::State& state) {
  SideBySide(state, true);
}
BENCHMARK(BM_FreeRunDefaultMap)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RunBatchDefaultMap(benchmark::State& state) {
  SideBySide(state, false);
}
BENCHMARK(BM_RunBatchDefaultMap)->Unit(benchmark::kMillisecond)->UseRealTime();

// From the moment a Stop event is handled to the moment the run command returns.
void BM_StopLatency(benchmark::State& state) {
  TFMain& main = Fixture::Get().Main(false);
  using Clock = std::chrono::steady_clock;
  Clock::time_point stopped;
  double worst = 0;
  for (auto _ : state) {
    QTimer::singleShot(30, &main, [&] {
      stopped = Clock::now();
      main.ActionStop->trigger();
    });
    main.ActionRun->trigger();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - stopped).count();
    worst = std::max(worst, ms);
  }
  state.counters["worst_ms"] = worst;
}
BENCHMARK(BM_StopLatency)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

TERVIK_QT_BENCHMARK_MAIN()
