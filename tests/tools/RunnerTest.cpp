// The runner's loops and text: the batched run and the traced run end alike for every way a
// run ends; the trace line shows each change marker; the dumps and the last line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <numeric>

#include "Runner.h"
#include "SetupTestSupport.h"
#include "TestMachine.h"

namespace tervik::test {
namespace {

using enum Opcode;
using runner::RunLimits;
using runner::RunOutcome;
using runner::StopReason;

constexpr uint32_t kStart = Machine::kRam;

// Collects what RunTraced writes.
class MemoryFile {
 public:
  MemoryFile() : file_(open_memstream(&data_, &size_)) {}
  ~MemoryFile() {
    if (file_ != nullptr) std::fclose(file_);
    std::free(data_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  std::FILE* get() const { return file_; }
  std::string Text() {
    std::fflush(file_);
    return std::string(data_, size_);
  }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  std::FILE* file_;
};

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

TEST(Runner, BatchedAndTracedRunsEndAlike) {
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
  };
  for (const RunCase& c : cases) {
    Machine batched, traced;
    for (Machine* m : {&batched, &traced}) {
      uint32_t a = kStart;
      for (uint32_t w : c.program) m->cpu.WriteMem(a++, w);
      m->cpu.SetPC(kStart);
    }
    EXPECT_EQ(runner::Run(batched.cpu, c.limits), c.expected) << c.name;
    MemoryFile out;
    EXPECT_EQ(runner::RunTraced(traced.cpu, c.limits, out.get()), c.expected) << c.name;
    EXPECT_EQ(static_cast<const CpuState&>(batched.cpu), static_cast<const CpuState&>(traced.cpu))
        << c.name;
    const std::string trace = out.Text();
    EXPECT_EQ(static_cast<uint64_t>(std::count(trace.begin(), trace.end(), '\n')), c.expected.steps)
        << c.name;
  }
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
  EXPECT_EQ(out.Text().rfind("1 00000100 -------- (peripheral)", 0), 0u) << out.Text();
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

}  // namespace
}  // namespace tervik::test
