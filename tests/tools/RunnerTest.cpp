// The runner's loops and text: the run through the debugging session and the traced run end
// alike for every way a run ends; the trace line shows each change marker; the dumps and the last
// line; the options' expressions and numbers, read alone and on tervik-run's command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <variant>

#include "Checks.h"
#include "JUnit.h"
#include "Runner.h"
#include "Session.h"
#include "SetupTestSupport.h"
#include "Suite.h"
#include "TestMachine.h"
#include "ToolsTestSupport.h"

namespace tervik::test {
namespace {

using enum Opcode;
using runner::RunLimits;
using runner::RunOutcome;
using runner::StopReason;

constexpr uint32_t kStart = Machine::kRam;

struct RunCase {
  const char* name;
  std::vector<uint32_t> program;  // at kStart
  RunLimits limits;
  RunOutcome expected;
};

// ADDI R1 three times, then the word under test at kStart + 3.
std::vector<uint32_t> EndingIn(uint32_t word) {
  return {Rri(ADDI, 1, 1, 1), Rri(ADDI, 1, 1, 1), Rri(ADDI, 1, 1, 1), word, Op(NOP)};
}

// A session whose processor has the regions of a test Machine.
void AddMachineRegions(Processor& cpu) {
  cpu.AddRegion(Machine::kRom, Machine::kRomSize, RegionType::ROM);
  cpu.AddRegion(Machine::kRam, Machine::kRamSize, RegionType::RAM);
}

TEST(Runner, SessionAndTracedRunsEndAlike) {
  const uint32_t loop[] = {Rri(ADDI, 1, 1, 1), Rri(JUMPI, 0, 0, 0xFFFF)};
  const RunCase cases[] = {
      {"undefined word", EndingIn(Op(Undefined63)), {}, {StopReason::Halted, 4}},
      {"RETI", EndingIn(Op(RETI)), {}, {StopReason::Halted, 4}},
      {"jump to itself", EndingIn(Rri(JUMPI, 0, 0, 0)), {}, {StopReason::Halted, 4}},
      {"running off memory", {Rri(JUMPrI, 0, 0, 0x0500)}, {}, {StopReason::Halted, 2}},
      {"step limit", {loop[0], loop[1]}, {1001, std::nullopt}, {StopReason::StepLimit, 1001}},
      {"until", EndingIn(Op(Undefined63)), {100, kStart + 2}, {StopReason::Until, 2}},
      // pc starts on the address: only an arrival after a step counts.
      {"until the start", {loop[0], loop[1]}, {100, kStart}, {StopReason::Until, 2}},
      {"until beats the limit", {loop[0], loop[1]}, {2, kStart}, {StopReason::Until, 2}},
      {"halt beats the limit", EndingIn(Op(RETI)), {4, std::nullopt}, {StopReason::Halted, 4}},
      {"until beats a halt there",
       EndingIn(Rri(JUMPI, 0, 0, 0)),
       {9, kStart + 3},
       {StopReason::Until, 3}},
      {"no steps", {loop[0]}, {0, std::nullopt}, {StopReason::StepLimit, 0}},
      {"no steps at the until address", {loop[0]}, {0, kStart}, {StopReason::StepLimit, 0}},
      // Starting on a jump to itself at the address: the first step arrives there again.
      {"until on a standstill at the start",
       {Rri(JUMPI, 0, 0, 0)},
       {5, kStart},
       {StopReason::Until, 1}},
      {"halted before until", EndingIn(Op(RETI)), {100, kStart + 4}, {StopReason::Halted, 4}},
      {"limit before until", {loop[0], loop[1]}, {7, kStart + 9}, {StopReason::StepLimit, 7}},
      // No word can be planted there to stop the batch.
      {"until in unmapped memory", {Rri(JUMPrI, 0, 0, 0x0500)}, {9, 0x500}, {StopReason::Until, 1}},
  };
  for (const RunCase& c : cases) {
    debug::Session session;
    Machine traced;
    AddMachineRegions(session.Cpu());
    for (Processor* cpu : {&session.Cpu(), &traced.cpu}) {
      uint32_t a = kStart;
      for (uint32_t w : c.program) cpu->WriteMem(a++, w);
      cpu->SetPC(kStart);
    }
    EXPECT_EQ(runner::Run(session, c.limits), c.expected) << c.name;
    MemoryFile out;
    EXPECT_EQ(runner::RunTraced(traced.cpu, c.limits, out.get()), c.expected) << c.name;
    EXPECT_EQ(static_cast<const CpuState&>(session.Cpu()), static_cast<const CpuState&>(traced.cpu))
        << c.name;
    const std::string trace = out.Text();
    EXPECT_EQ(static_cast<uint64_t>(std::count(trace.begin(), trace.end(), '\n')), c.expected.steps)
        << c.name;
  }
}

// The runner sets no breakpoints; a session that has one does not end a run as if it were the
// --until address.
TEST(Runner, ABreakpointIsNotTakenForTheUntilAddress) {
  debug::Session session;
  AddMachineRegions(session.Cpu());
  session.Cpu().WriteMem(kStart, Rri(ADDI, 1, 1, 1));
  session.Cpu().SetPC(kStart);
  session.ToggleBreakpoint(kStart + 1);
  EXPECT_THROW(runner::Run(session, {9, kStart + 2}), std::logic_error);
}

// The deadline and the interrupt end a run between batches, in both loops, as their own reasons;
// a run that ends in its first batch ends for its own reason, whatever they say; a trace whose
// writes fail ends the run at once.
TEST(Runner, DeadlineInterruptAndFailedTraceEndTheRun) {
  const std::vector<uint32_t> loop = {Rri(ADDI, 1, 1, 1), Rri(JUMPI, 0, 0, 0xFFFF)};
  const auto past = std::chrono::steady_clock::now() - std::chrono::seconds(1);
  const auto future = std::chrono::steady_clock::now() + std::chrono::hours(1);
  volatile std::sig_atomic_t raised = SIGTERM, quiet = 0;
  struct Case {
    const char* name;
    std::vector<uint32_t> program;
    uint64_t maxSteps;
    runner::RunGuard guard;
    StopReason expected;
  };
  constexpr uint64_t kAll = UINT64_MAX;
  const Case cases[] = {
      {"deadline passed", loop, kAll, {past, nullptr}, StopReason::TimedOut},
      {"interrupted", loop, kAll, {std::nullopt, &raised}, StopReason::Interrupted},
      {"interrupt beats the deadline", loop, kAll, {past, &raised}, StopReason::Interrupted},
      {"step limit with time to spare", loop, 3000, {future, &quiet}, StopReason::StepLimit},
      {"halted in the first batch", EndingIn(Op(RETI)), kAll, {past, &raised}, StopReason::Halted},
  };
  for (const Case& c : cases) {
    for (const bool traced : {false, true}) {
      debug::Session session;
      AddMachineRegions(session.Cpu());
      uint32_t a = kStart;
      for (uint32_t w : c.program) session.Cpu().WriteMem(a++, w);
      session.Cpu().SetPC(kStart);
      MemoryFile out;
      // The traced run traces the steps from 1000 on: both of its loops are looked at.
      const RunLimits limits{c.maxSteps, std::nullopt};
      const RunOutcome outcome =
          traced ? runner::RunTraced(session.Cpu(), limits, out.get(), {1000}, c.guard)
                 : runner::Run(session, limits, c.guard);
      EXPECT_EQ(outcome.reason, c.expected) << c.name << (traced ? ", traced" : "");
      // Ended after a batch: some steps ran, and pc is where that many steps leave it.
      if (c.program == loop) {
        EXPECT_GT(outcome.steps, 0u) << c.name;
        EXPECT_EQ(session.Cpu().r[1], (outcome.steps + 1) / 2) << c.name;
      }
    }
  }

  // A trace whose every write fails: the run ends at the first failed write (the first full
  // buffer of a megabyte, some 16,000 lines), not when the endless program would.
  Machine m;
  m.Load(kStart, {loop[0], loop[1]});
  FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  const RunOutcome outcome = runner::RunTraced(m.cpu, {}, full);
  std::fclose(full);
  EXPECT_EQ(outcome.reason, StopReason::OutputFailed);
  EXPECT_EQ(outcome.error, ENOSPC);
  EXPECT_LT(outcome.steps, 40000u);
  EXPECT_EQ(runner::FormatStop(m.cpu, outcome).rfind("output failed: pc 0000100", 0), 0u);
}

// One program that changes every kind of marker, traced step by step.
TEST(Runner, TraceShowsEveryChangeInTheRegisterWindowsOrder) {
  Machine m;
  m.Load(kStart, {
                     Movei(MoveiSub::MVSPL, 0, 0x2000),  // SP and flags
                     Movei(MoveiSub::SETMASK, 0, 0x00FF), Rri(RANDOMSETI, 0, 0, 0x0001),  // LFSR
                     Movei(MoveiSub::MOVEL, 31, 0xFFFF),  // R31 and N
                     Rrr(ADD, 2, 31, 31),                 // R2, C, O stays, N
                     Rrr(PUSH, 0, 0, 31),                 // a store
                     Rri(STOREI, 0, 31, 0x8000),          // into unmapped memory: no store
                     Rrr(CALL, 0, 0, 4),                  // R4 = 0: to address 0 (ROM)
                 });
  m.cpu.WriteMem(0, Rri(JUMPI, 0, 0, 0));  // and stays there
  MemoryFile out;
  const RunOutcome outcome = runner::RunTraced(m.cpu, {}, out.get());
  EXPECT_EQ(outcome.reason, StopReason::Halted);
  ExpectGolden("trace.txt", out.Text() + runner::FormatStop(m.cpu, outcome) + "\n");
}

TEST(Runner, TraceDoesNotReadAPeripheralAgain) {
  Processor cpu;
  cpu.AddRegion(0x100, 4, RegionType::DLL, FakeModule<9>::Entry());  // reads as NOP words
  cpu.SetPC(0x100);
  CallLog().clear();
  MemoryFile out;
  EXPECT_EQ(runner::RunTraced(cpu, {3, std::nullopt}, out.get()),
            (RunOutcome{StopReason::StepLimit, 3}));
  const std::vector<std::string> expected = {"M9 Clock",  "M9 Read 0", "M9 Clock",
                                             "M9 Read 1", "M9 Clock",  "M9 Read 2"};
  EXPECT_EQ(CallLog(), expected);  // the fetches alone
  EXPECT_EQ(out.Text().rfind("       1 00000100 -------- (peripheral)", 0), 0u) << out.Text();
  cpu.SetPC(0x500);  // unmapped
  EXPECT_EQ(runner::FormatStop(cpu, {StopReason::Halted, 1}),
            "halted: pc stayed at 00000500 (??? FFFFFFFF) after 1 step");
  cpu.SetPC(0x101);
  EXPECT_EQ(runner::FormatStop(cpu, {StopReason::Halted, 1}),
            "halted: pc stayed at 00000101 after 1 step");
}

TEST(Runner, DumpsLookLikeTheWindows) {
  Machine m;
  m.cpu.pc = 0x1234;
  m.cpu.im = 0xFF;
  m.cpu.sp = 0x1F00;
  m.cpu.lfsr = 0x80000021;
  m.cpu.sr = Processor::kFlagC | Processor::kFlagN;
  for (unsigned i = 0; i < 32; ++i) m.cpu.r[i] = i * 0x01010101u;
  for (uint32_t i = 0; i < 10; ++i) m.cpu.WriteMem(0x3FC + i, 0xA0 + i);  // ROM end, a gap
  MemoryFile out;
  std::fputs((runner::FormatRegisters(m.cpu) + "--\n").c_str(), out.get());
  EXPECT_TRUE(runner::WriteMemory(m.cpu, 0x3FC, 10, out.get()));
  std::fputs("--\n", out.get());
  EXPECT_TRUE(runner::WriteMemory(m.cpu, 0xFFFFFFFE, 3, out.get()));
  std::fputs("--\n", out.get());
  EXPECT_TRUE(runner::WriteMemory(m.cpu, 0, 0, out.get()));
  ExpectGolden("dumps.txt", out.Text());
}

// An unbuffered stream that records the size of every write reaching it, and can refuse them.
class WriteRecorder {
 public:
  explicit WriteRecorder(bool fail) : fail_(fail) {
    file_ = fopencookie(this, "w", {nullptr, &WriteRecorder::Write, nullptr, nullptr});
    std::setvbuf(file_, nullptr, _IONBF, 0);
  }
  ~WriteRecorder() { std::fclose(file_); }
  WriteRecorder(const WriteRecorder&) = delete;
  WriteRecorder& operator=(const WriteRecorder&) = delete;

  std::FILE* get() const { return file_; }
  std::vector<size_t> sizes;

 private:
  static ssize_t Write(void* self, const char*, size_t size) {
    auto* recorder = static_cast<WriteRecorder*>(self);
    recorder->sizes.push_back(size);
    return recorder->fail_ ? -1 : static_cast<ssize_t>(size);
  }
  bool fail_;
  std::FILE* file_;
};

// A dump is not built whole before it is written: it goes out in pieces of about 64 KiB, and
// the first write that fails ends it.
TEST(Runner, MemoryDumpsGoOutInPiecesAndStopAtAFailedWrite) {
  Machine m;
  constexpr uint64_t kWords = 0x40000;
  constexpr size_t kLine = 9 + 8 * 9 + 1;  // "00001000:" and eight " 0000002A", '\n'
  WriteRecorder ok(false);
  EXPECT_TRUE(runner::WriteMemory(m.cpu, 0, kWords, ok.get()));
  EXPECT_EQ(std::accumulate(ok.sizes.begin(), ok.sizes.end(), size_t{0}), kWords / 8 * kLine);
  EXPECT_GT(ok.sizes.size(), 10u);
  EXPECT_LE(*std::max_element(ok.sizes.begin(), ok.sizes.end()), (size_t{1} << 16) + kLine);

  WriteRecorder refusing(true);
  EXPECT_FALSE(runner::WriteMemory(m.cpu, 0, kWords, refusing.get()));
  // Nothing after the first piece (which the C library may hand over in two writes).
  EXPECT_LE(std::accumulate(refusing.sizes.begin(), refusing.sizes.end(), size_t{0}),
            (size_t{1} << 16) + kLine);
}

TEST(Runner, LastLineNamesTheReason) {
  Machine m;
  m.Load(kStart, {Op(Undefined63)});
  EXPECT_EQ(runner::FormatStop(m.cpu, {StopReason::Halted, 7}),
            "halted: pc stayed at 00001000 (??? FC000000) after 7 steps");
  EXPECT_EQ(runner::FormatStop(m.cpu, {StopReason::Until, 1}),
            "until: reached pc 00001000 after 1 step");
  EXPECT_EQ(runner::FormatStop(m.cpu, {StopReason::StepLimit, 0}),
            "step limit: pc 00001000 after 0 steps");
}

// ---- The options ----

// What reading an option's text gives: a value, or the error's text ("col N: message").
template <typename T>
using Expected = std::variant<T, std::string>;

template <typename T>
Expected<T> Outcome(const debug::Result<T>& r) {
  if (r.ok()) return r.value();
  return r.error().Text();
}

TEST(RunnerOptions, UntilIsAnExpressionWithoutAMachine) {
  const std::pair<const char*, Expected<uint32_t>> cases[] = {
      // Every form the runner read before it took expressions.
      {"4080", 0xFF0u},
      {"04080", 4080u},  // leading zeros are decimal
      {"0xFF0", 0xFF0u},
      {"0XfF0", 0xFF0u},
      {"H#FF0", 0xFF0u},
      {"h#ff0", 0xFF0u},
      {"0", 0u},
      {"4294967295", 0xFFFFFFFFu},
      {"0xFFFFFFFF", 0xFFFFFFFFu},
      // Expressions and the forms the disassembler and the listing print.
      {"0x10+3", 0x13u},
      {" 0x10 + 3 ", 0x13u},
      {"H#FF0%", 0xFF0u},
      {"(H#10%) + 1", 0x11u},
      {"H#1000 - 16", 0xFF0u},
      {"0b1111 << 8", 0xF00u},
      {"'A'", 0x41u},
      {"HI(0x12345678)", 0x1234u},
      {"-1", 0xFFFFFFFFu},
      {"-0x80000000", 0x80000000u},
      // The errors, with their columns.
      {"", std::string("col 1: expected an expression")},
      {"0x10+", std::string("col 6: expected an expression")},
      {"4294967296", std::string("col 1: value out of range")},
      {"0xFFFFFFFF+1", std::string("col 11: value out of range")},
      {"0xFG", std::string("col 4: unexpected 'G' in a number")},
      {"0x", std::string("col 3: expected hex digits after '0x'")},
      {"(1", std::string("col 3: expected ')'")},
      {"R1", std::string("col 1: registers are not available here")},
      {"M[0x1000]", std::string("col 1: memory is not available here")},
      {"pass", std::string("col 1: undefined symbol 'pass'")},
      {"1/0", std::string("col 2: division by zero")},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(Outcome(runner::ParseAddress(text)), expected) << "'" << text << "'";
  }
}

TEST(RunnerOptions, DumpRangeSplitsAtTheFirstColonOutsideBrackets) {
  using runner::MemoryRange;
  const std::pair<const char*, Expected<MemoryRange>> cases[] = {
      {"0x1000:8", MemoryRange{0x1000, 8}},
      {"H#1000:H#10", MemoryRange{0x1000, 16}},
      {"4096:0", MemoryRange{0x1000, 0}},
      {"0:0xFFFFFFFF", MemoryRange{0, 0xFFFFFFFF}},
      {"H#1000:4*4", MemoryRange{0x1000, 16}},
      {" 0x1000 : 2 ", MemoryRange{0x1000, 2}},
      {"-1:2", MemoryRange{0xFFFFFFFF, 2}},
      {"(0x10):(1+1)", MemoryRange{0x10, 2}},
      {"':':1", MemoryRange{':', 1}},
      {"'\\'':1", MemoryRange{'\'', 1}},
      // Errors: columns count in the whole text, also in COUNT.
      {"0x1000", std::string("col 7: expected ':' and a count")},
      {"", std::string("col 1: expected ':' and a count")},
      {":4", std::string("col 1: expected an expression")},
      {"0x1000:", std::string("col 8: expected an expression")},
      {"0x1000:4:4", std::string("col 9: unexpected character ':'")},
      {"0x1000:4*", std::string("col 10: expected an expression")},
      {"(1:2):3", std::string("col 3: unexpected character ':'")},
      {"0x1000:-1", std::string("col 8: a count cannot be negative")},
      {"0x1000:  -(2)", std::string("col 10: a count cannot be negative")},
      {"0x1000:0x100000000", std::string("col 8: value out of range")},
      {"0x1000:0xFFFFFFFF+1", std::string("col 18: value out of range")},
      {"0x1000:SP", std::string("col 8: registers are not available here")},
      {"0x1000:1/0", std::string("col 9: division by zero")},
      {"0x1G:1", std::string("col 4: unexpected 'G' in a number")},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(Outcome(runner::ParseRange(text)), expected) << "'" << text << "'";
  }
}

TEST(RunnerOptions, StepsIsAPlainCount) {
  const std::pair<const char*, Expected<uint64_t>> cases[] = {
      {"10", 10u},
      {"0", 0u},
      {"0x10", 16u},
      {"0X10", 16u},
      {"H#10", 16u},
      {"0b10", 2u},
      {"010", 10u},  // decimal, not octal
      {"+10", 10u},
      {" 10", 10u},
      {"10 ", 10u},
      {"18446744073709551615", std::string("col 1: value out of range")},
      {"9223372036854775807", 9223372036854775807u},
      {"9223372036854775808", std::string("col 1: value out of range")},
      {"", std::string("col 1: expected a number")},
      {"-1", std::string("col 1: expected a number")},
      {"10+1", std::string("col 3: unexpected '+'")},
      {"++1", std::string("col 2: expected a number")},
      {"1e3", std::string("col 2: unexpected 'e' in a number")},
      {"R1", std::string("col 1: expected a number")},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(Outcome(runner::ParseCount(text)), expected) << "'" << text << "'";
  }
}

// The options on tervik-run's command line: the run they make ends as documented, and a wrong
// one is a usage error naming the option and the column, before anything is loaded.
TEST(RunnerOptions, CommandLineTakesExpressions) {
  const std::string map = std::string(TERVIK_SOURCE_DIR) + "/tests/programs/programs.map";
  const std::string listing = std::string(TERVIK_PROGRAM_LISTING_DIR) + "/logic.lst";
  // The program reaches pass (FF0) after 273 steps and stays there.
  const std::string reached = "until: reached pc 00000FF0 after 273 steps\n";
  const std::string halted = "halted: pc stayed at 00000FF0 (JUMPI H#0%) after 274 steps\n";
  struct Case {
    std::vector<std::string> args;  // besides --map and --lst
    int exitCode;
    std::string lastLine;  // of standard output; for 64: standard error, whole
  };
  const Case cases[] = {
      {{"--until", "4080"}, 0, reached},
      {{"--until", "0xFF0"}, 0, reached},
      {{"--until", "H#FF0%"}, 0, reached},
      {{"--until", "H#1000 - 16"}, 0, reached},
      {{"--until=0xF00+0xF0"}, 0, reached},
      {{"--until", "0xFF0+1"}, 1, halted},
      {{}, 0, halted},
      {{"--until", "0xFF0", "--steps", "272"}, 2, "step limit: pc 00000068 after 272 steps\n"},
      {{"--until", "0xFF0", "--steps", "H#111"}, 0, reached},
      {{"--steps", "+0x10"}, 2, "step limit: pc 0000006E after 16 steps\n"},
      {{"--steps", "010"}, 2, "step limit: pc 0000000A after 10 steps\n"},
      // Both engines end alike (without a translator in the build the interpreter runs).
      {{"--engine", "interpreter", "--until", "0xFF0+1"}, 1, halted},
      {{"--engine", "translator", "--until", "0xFF0+1"}, 1, halted},
      {{"--engine=translator", "--until", "0xFF0", "--steps", "272"},
       2,
       "step limit: pc 00000068 after 272 steps\n"},
      {{"--engine", "jit"},
       64,
       "tervik-run: --engine: 'jit' is neither 'interpreter' nor 'translator'\n"},
      {{"--until", "0xFF0+"}, 64, "tervik-run: --until: col 7: expected an expression\n"},
      {{"--until", ""}, 64, "tervik-run: --until: col 1: expected an expression\n"},
      {{"--until", "nowhere"}, 64, "tervik-run: --until: col 1: undefined symbol 'nowhere'\n"},
      {{"--until", "PC"}, 64, "tervik-run: --until: col 1: registers are not available here\n"},
      {{"--steps", "10+1"}, 64, "tervik-run: --steps: col 3: unexpected '+'\n"},
      {{"--steps", "-1"}, 64, "tervik-run: --steps: a count cannot be negative\n"},
      {{"--dump-mem", "0x1000"}, 64, "tervik-run: --dump-mem: col 7: expected ':' and a count\n"},
      {{"--dump-mem", "0:1", "--dump-mem", "0x1000:-1"},
       64,
       "tervik-run: --dump-mem: col 8: a count cannot be negative\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--map", map, "--lst", listing};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProgramRun run = RunProgram(TERVIK_RUNNER, args);
    std::string what;
    for (const std::string& a : c.args) what += " '" + a + "'";
    EXPECT_EQ(run.exitCode, c.exitCode) << what << "\n" << run.out << run.err;
    if (c.exitCode == 64) {
      EXPECT_EQ(run.err, c.lastLine) << what;
      EXPECT_EQ(run.out, "") << what;
    } else {
      const size_t lineStart = run.out.rfind('\n', run.out.size() - 2);
      EXPECT_EQ(run.out.substr(lineStart == std::string::npos ? 0 : lineStart + 1), c.lastLine)
          << what;
    }
  }
}

// A dump's START and COUNT as expressions write what the same numbers written out do.
TEST(RunnerOptions, DumpExpressionsDumpLikeTheirNumbers) {
  const std::string map = std::string(TERVIK_SOURCE_DIR) + "/tests/programs/programs.map";
  const std::string listing = std::string(TERVIK_PROGRAM_LISTING_DIR) + "/logic.lst";
  const auto dump = [&](const std::string& range) {
    return RunProgram(TERVIK_RUNNER, {"--map", map, "--lst", listing, "--dump-mem", range});
  };
  const ProgramRun plain = dump("0x10:9");
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_EQ(CountOccurrences(plain.out, "\n"), 3u) << plain.out;  // 8 words, 1 word, last line
  EXPECT_EQ(plain.out.rfind("00000010: ", 0), 0u) << plain.out;
  for (const char* range : {"H#10:9", "(4*4):(3*3)", "H#8%*2 : 1+8", "16:H#9%"}) {
    const ProgramRun run = dump(range);
    EXPECT_EQ(run.exitCode, 0) << range << "\n" << run.err;
    EXPECT_EQ(run.out, plain.out) << range;
  }
}

TEST(RunnerOptions, TimeoutIsSecondsWithAFraction) {
  using std::chrono::nanoseconds;
  const std::pair<const char*, Expected<nanoseconds>> cases[] = {
      {"10", nanoseconds(10'000'000'000)},
      {"0.25", nanoseconds(250'000'000)},
      {" 1.5 ", nanoseconds(1'500'000'000)},
      {"3.", nanoseconds(3'000'000'000)},
      {".001", nanoseconds(1'000'000)},
      {"0.0000000019", nanoseconds(1)},
      {"31622400", nanoseconds(31'622'400'000'000'000)},  // a year of 366 days
      {"31622401", std::string("col 1: more than a year")},
      {"99999999999999999999999", std::string("col 1: more than a year")},
      {"0", std::string("col 1: the time must be above 0")},
      {"0.0000000001", std::string("col 1: the time must be above 0")},
      {"", std::string("col 1: expected a number of seconds")},
      {".", std::string("col 1: expected a number of seconds")},
      {"-1", std::string("col 1: expected a number of seconds")},
      {"1e3", std::string("col 2: unexpected 'e'")},
      {"1s", std::string("col 2: unexpected 's'")},
      {"0x10", std::string("col 2: unexpected 'x'")},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(Outcome(runner::ParseSeconds(text)), expected) << "'" << text << "'";
  }
}

// ---- Suites ----

TEST(RunnerSuite, LinesSplitAsAShellSplitsThem) {
  using Words = std::vector<std::string>;
  const std::pair<const char*, Expected<Words>> cases[] = {
      {"--lst a.lst", Words{"--lst", "a.lst"}},
      {"  a \t b  ", Words{"a", "b"}},
      {"'R1 == 5'", Words{"R1 == 5"}},
      {"\"R1 == 5\"", Words{"R1 == 5"}},
      {"a'b c'd", Words{"ab cd"}},
      {"'it''s'", Words{"its"}},
      {"'a\\b'", Words{"a\\b"}},                // nothing escapes inside single quotes
      {"\"a\\\"b\\$\\x\"", Words{"a\"b$\\x"}},  // inside double quotes: \" \\ \$ \` only
      {"a\\ b", Words{"a b"}},
      {"''", Words{""}},
      {"\"\" x", Words{"", "x"}},
      {"\xff\x01", Words{"\xff\x01"}},  // bytes stay bytes
      {"", Words{}},
      {"--name 'open", std::string("col 8: the quote is not closed")},
      {"--name \"open", std::string("col 8: the quote is not closed")},
      {"'a' \"b\\\"", std::string("col 5: the quote is not closed")},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(Outcome(runner::SplitWords(text)), expected) << text;
  }
}

// What a run of a suite ends up with, in one line: the values it takes and where it comes from.
std::string Summary(const runner::Request& r) {
  std::string s = r.origin + " " + r.name;
  const auto value = [&](const char* option, const std::optional<std::string>& v) {
    if (v) s += std::string(" ") + option + "=" + *v;
  };
  value("map", r.mapPath);
  value("lst", r.listingPath);
  value("sym", r.symbolsPath);
  value("steps", r.stepsText);
  value("until", r.untilText);
  value("from", r.traceFromText);
  value("to", r.traceToText);
  value("timeout", r.timeoutText);
  if (r.trace) s += " trace";
  if (r.dumpRegs) s += " regs";
  if (r.dumpSymbols) s += " syms";
  for (const std::string& e : r.expectTexts) s += " expect=" + e;
  for (const std::string& d : r.dumpMemTexts) s += " mem=" + d;
  return s;
}

TEST(RunnerSuite, LinesTakeTheCommandLinesOptionsAsDefaults) {
  runner::Request defaults;
  defaults.mapPath = "d.map";
  defaults.stepsText = "100";
  defaults.untilText = "halt";
  defaults.timeoutText = "5";
  defaults.name = "common";
  defaults.dumpRegs = true;
  defaults.expectTexts = {"R31 == 0x600D"};
  defaults.dumpMemTexts = {"0:1"};
  struct Case {
    const char* text;
    std::vector<std::string> runs;  // Summary of each, or the error alone
  };
  const Case cases[] = {
      {"--lst a.lst\n",
       {"s:1 common map=d.map lst=a.lst steps=100 until=halt timeout=5 regs "
        "expect=R31 == 0x600D mem=0:1"}},
      // A value given replaces the default; flags add; repeatables come after the defaults'.
      {"# comment\n\n  \t\n--lst a.lst --map m.map --steps 7 --until 0x10 --timeout 0.5 "
       "--name mine --trace --dump-sym --sym a.sym --expect 'R1 == 2' --dump-mem 4:2 "
       "--trace-from 3 --trace-to 9\r\n",
       {"s:4 mine map=m.map lst=a.lst sym=a.sym steps=7 until=0x10 from=3 to=9 timeout=0.5 "
        "trace regs syms expect=R31 == 0x600D expect=R1 == 2 mem=0:1 mem=4:2"}},
      {"--lst a.lst\n--lst b.lst --name=b",
       {"s:1 common map=d.map lst=a.lst steps=100 "
        "until=halt timeout=5 regs expect=R31 == 0x600D "
        "mem=0:1",
        "s:2 b map=d.map lst=b.lst steps=100 until=halt "
        "timeout=5 regs expect=R31 == 0x600D mem=0:1"}},
      // Mistakes name the line; a suite with one runs nothing.
      {"--lst a.lst\n--lst 'b.lst", {"s:2: col 7: the quote is not closed"}},
      {"--lst a.lst --junit r.xml",
       {"s:1: The following arguments were not expected: r.xml "
        "--junit"}},
      {"--lst a.lst --help", {"s:1: The following argument was not expected: --help"}},
      {"--lst a.lst stray", {"s:1: The following argument was not expected: stray"}},
      {"--until 3", {"s:1: --map and --lst are required"}},
      {"# nothing\n", {"--suite: 's' names no run"}},
  };
  for (const Case& c : cases) {
    const runner::Suite suite = runner::ParseSuite(c.text, "s", defaults);
    std::vector<std::string> got;
    for (const runner::Request& r : suite.runs) got.push_back(Summary(r));
    if (!suite.error.empty()) got.push_back(suite.error);
    EXPECT_EQ(got, c.runs) << c.text;
  }
}

// ---- The report ----

TEST(RunnerReport, TextsBecomeWhatXmlMayHold) {
  const std::string bad = "\xEF\xBF\xBD";  // U+FFFD
  const std::pair<std::string, std::string> cases[] = {
      {"plain <&> text\t\r\n", "plain <&> text\t\r\n"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {std::string("a\0b\x01\x1F\x7F", 6), "a" + bad + "b" + bad + bad + "\x7F"},
      {"\xFF\xFE\x80", bad + bad + bad},
      {"\xC3", bad},                                                     // cut short
      {"\xC3(", bad + "("},                                              // a continuation missing
      {"\xC0\xAF", bad + bad},                                           // overlong '/'
      {"\xE0\x80\xAF", bad + bad + bad},                                 // overlong, three bytes
      {"\xED\xA0\x80", bad + bad + bad},                                 // a surrogate
      {"\xF4\x90\x80\x80", bad + bad + bad + bad},                       // past U+10FFFF
      {"\xEF\xBF\xBE\xEF\xBF\xBF", bad + bad + bad + bad + bad + bad},   // U+FFFE, U+FFFF
      {"\xEF\xBF\xBD\xF4\x8F\xBF\xBF", "\xEF\xBF\xBD\xF4\x8F\xBF\xBF"},  // U+FFFD, U+10FFFF
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(runner::XmlSafeText(text), expected) << text;
  }
}

// Errors apart from failures, the names escaped, a cut output: against the golden file (which
// the Python test of the runner reads back with an XML parser, as it does the runner's reports).
TEST(RunnerReport, CasesAgainstTheGoldenFile) {
  runner::SuiteReport suite{"dir/a&b.suite", "2026-12-07T21:30:00", "host\"1\"", {}};
  const auto report = [](std::string name, int status, std::vector<std::string> failures,
                         std::string output = {}, uint64_t cut = 0) {
    runner::CaseReport c;
    c.name = std::move(name);
    c.status = status;
    c.stop = status == 3 || status == 64 ? "" : "halted: pc stayed at 00000001 after 2 steps";
    c.failures = std::move(failures);
    c.output = std::move(output);
    c.outputCut = cut;
    c.seconds = 0.25;
    return c;
  };
  suite.cases = {
      report("passed \xFF\x01", 0, {}, "A\nB\xC3\n"),
      report("halted early", 1, {}),
      report("expectation", 6, {"--expect 'R1 < 2' does not hold", "--expect 'x': col 1: no"}),
      report("timeout", 7, {"the run took longer than --timeout 1"}, "tail\n", 123456),
      report("unreadable", 3, {"cannot read the listing 'x\tz.lst'"}),
      report("fault", 5, {"halted on an undefined word at 00000001"}),
      report("thrown", 4, {"the run failed: boom"}),
      report("usage", 64, {"--until: col 1: undefined symbol 'x'"}),
      report("interrupted", 143, {"interrupted by SIGTERM"}),
  };
  ExpectGolden("junit-cases.xml", runner::JUnitReport(suite));
  EXPECT_EQ(runner::UtcTimestamp(0), "1970-01-01T00:00:00");
  EXPECT_EQ(runner::UtcTimestamp(1796688000), "2026-12-08T00:00:00");
}

// Whatever a program prints, the tail holds at most twice its limit; what it gives starts at a
// line and, with the bytes it says it dropped, adds up to everything appended.
TEST(RunnerReport, OutputTailStaysBounded) {
  for (const size_t limit : {size_t{16}, size_t{1000}, runner::OutputTail::kDefaultLimit}) {
    runner::OutputTail tail(limit);
    uint64_t appended = 0;
    size_t most = 0;
    for (int i = 0; i < 200000; ++i) {
      const std::string line = "line " + std::to_string(i) + "\n";
      tail.Append(line);
      appended += line.size();
      most = std::max(most, tail.Held());
    }
    EXPECT_LE(most, 2 * limit + 16) << limit;
    uint64_t dropped = 0;
    const std::string text = tail.Take(dropped);
    EXPECT_EQ(dropped + text.size(), appended) << limit;
    EXPECT_LE(text.size(), limit) << limit;
    EXPECT_EQ(text.substr(text.size() - 12), "line 199999\n") << limit;
    EXPECT_EQ(text.rfind("line ", 0), 0u) << text.substr(0, 20);
    EXPECT_EQ(tail.Held(), 0u);
  }
  runner::OutputTail small(100);
  small.Append("short\n");
  uint64_t dropped = 1;
  EXPECT_EQ(small.Take(dropped), "short\n");
  EXPECT_EQ(dropped, 0u);
}

TEST(RunnerReport, StatusesAreErrorsOrFailures) {
  using runner::Verdict;
  const std::pair<int, Verdict> cases[] = {
      {0, Verdict::Passed}, {1, Verdict::Failed},  {2, Verdict::Failed},  {6, Verdict::Failed},
      {7, Verdict::Failed}, {3, Verdict::Error},   {4, Verdict::Error},   {5, Verdict::Error},
      {64, Verdict::Error}, {130, Verdict::Error}, {143, Verdict::Error},
  };
  for (const auto& [status, verdict] : cases) {
    EXPECT_EQ(runner::VerdictOf(status), verdict) << status;
  }
}

}  // namespace
}  // namespace tervik::test
