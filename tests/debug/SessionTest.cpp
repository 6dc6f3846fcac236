// The debugging session's run operations against the same operations done with single steps,
// on a table of programs and starting points, each in slices of several sizes; and the console
// line for every kind of stop.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>

#include "Assembler.h"
#include "Session.h"

namespace tervik::debug {
namespace {

// Recursive factorial with its stack at 0x1800; the comments name the addresses.
const char* const kFactorial = R"(
STACK   EQU     H#1800
start:  MVSPL   STACK%          ; 0
        MOVEL   R9,fact%        ; 1
        MOVEL   R1,5%           ; 2
        CALL    R9              ; 3
halt:   JUMPI   halt%           ; 4
fact:   BNZEI   R1,recurse%     ; 5
        MOVEL   R2,1%           ; 6
        RET                     ; 7
recurse:
        PUSH    R1              ; 8
        SUBBI   R1,R1,H#1       ; 9
        CALL    R9              ; 10
        POP     R1              ; 11
        MOVE    R3,R2           ; 12
        MOVE    R4,R1           ; 13
        MOVEL   R2,0%           ; 14
mul:    ADD     R2,R2,R3        ; 15
        SUBBI   R4,R4,H#1       ; 16
        BNZEI   R4,mul%         ; 17
        RET                     ; 18
forever: JUMPI  forever%        ; 19
        MOVEL   R8,forever%     ; 20
        CALL    R8              ; 21, into a subroutine that never returns
)";

// A session with ROM at 0..0x3FF and RAM at 0x1000..0x1FFF, holding `source` assembled.
void LoadProgram(Session& session, const char* source) {
  session.Cpu().AddRegion(0, 0x400, RegionType::ROM);
  session.Cpu().AddRegion(0x1000, 0x1000, RegionType::RAM);
  const assembler::Result result = assembler::Assemble(source);
  ASSERT_TRUE(result.errors.empty()) << assembler::FormatDiagnostic("t", result.errors.front());
  for (const assembler::Word& w : result.words) session.Cpu().WriteMem(w.address, w.value);
}

// The operation done one Step at a time, by its definition rather than by stop addresses; every
// breakpoint has `condition` (none when empty) and stops from hit `stopAtHit` on.
StopReason ByDefinition(Session& s, RunKind kind, uint32_t target, bool stopWhenHalted,
                        uint64_t limit, const std::string& condition, uint64_t stopAtHit) {
  Processor& cpu = s.Cpu();
  std::map<uint32_t, uint64_t> hits;
  const uint32_t pc0 = cpu.pc, sp0 = cpu.sp;
  const bool overCall = kind == RunKind::StepOver && s.IsCallAt(pc0);
  StopReason reason;
  reason.run = kind;
  for (uint64_t n = 1; n <= limit; ++n) {
    const bool ret = s.PeekWord(cpu.pc) && Instruction{*s.PeekWord(cpu.pc)}.opcode() == Opcode::RET;
    cpu.Step();
    reason.instructions = n;
    reason.pc = cpu.pc;
    bool done = false;
    if (kind == RunKind::StepOver) done = !overCall || (cpu.pc == pc0 + 1 && cpu.sp == sp0);
    if (kind == RunKind::StepOut) done = ret && cpu.sp < sp0;
    if (kind == RunKind::RunTo) done = cpu.pc == target;
    if (done) {
      reason.kind = StopKind::Done;
      return reason;
    }
    if (s.IsBreakpoint(cpu.pc)) {
      bool holds = true;
      if (!condition.empty()) {
        ProcessorContext context(cpu);
        const Result<bool> value = Expression::Parse(condition).value().EvaluateCondition(context);
        holds = !value.ok() || value.value();
        if (!value.ok()) reason.conditionError = value.error().Text();
      }
      if (holds && (!reason.conditionError.empty() || ++hits[cpu.pc] >= stopAtHit)) {
        reason.kind = StopKind::Breakpoint;
        reason.breakpoint = s.BreakpointNumber(cpu.pc);
        return reason;
      }
    }
    if (stopWhenHalted && !cpu.pcChanged) {
      reason.kind = StopKind::Halted;
      return reason;
    }
  }
  reason.kind = StopKind::StepLimit;
  return reason;
}

struct Case {
  const char* name;
  uint32_t runTo;  // run there with single steps first (0: start at 0)
  RunKind kind;
  uint32_t target;
  std::vector<uint32_t> breakpoints;
  bool stopWhenHalted;
  uint64_t limit;
  StopKind expected;
  uint32_t expectedPc;
  std::string condition = {};  // of every breakpoint
  uint64_t stopAtHit = 1;
};

const Case kCases[] = {
    {"over the outer call", 3, RunKind::StepOver, 0, {}, true, 100000, StopKind::Done, 4},
    {"over a recursive call", 10, RunKind::StepOver, 0, {}, true, 100000, StopKind::Done, 11},
    {"over a call into a breakpoint",
     3,
     RunKind::StepOver,
     0,
     {0x1234, 15},
     true,
     100000,
     StopKind::Breakpoint,
     15},
    {"over a plain word", 1, RunKind::StepOver, 0, {}, true, 100000, StopKind::Done, 2},
    {"over a plain word onto a breakpoint",
     1,
     RunKind::StepOver,
     0,
     {2},
     true,
     100000,
     StopKind::Done,
     2},
    {"over a call that never returns",
     21,
     RunKind::StepOver,
     0,
     {},
     true,
     100000,
     StopKind::Halted,
     19},
    {"over a call that never returns, no halt stop",
     21,
     RunKind::StepOver,
     0,
     {},
     false,
     5000,
     StopKind::StepLimit,
     19},
    {"out of the innermost call", 6, RunKind::StepOut, 0, {}, true, 100000, StopKind::Done, 11},
    {"out of a call at depth 2", 15, RunKind::StepOut, 0, {}, true, 100000, StopKind::Done, 11},
    {"out at top level", 1, RunKind::StepOut, 0, {}, true, 100000, StopKind::Halted, 4},
    {"out with a breakpoint first",
     15,
     RunKind::StepOut,
     0,
     {18},
     true,
     100000,
     StopKind::Breakpoint,
     18},
    {"run to the halt", 0, RunKind::RunTo, 4, {}, true, 100000, StopKind::Done, 4},
    {"run to an address never reached",
     0,
     RunKind::RunTo,
     0x300,
     {},
     true,
     100000,
     StopKind::Halted,
     4},
    {"run to the word after a recursive call",
     0,
     RunKind::RunTo,
     11,
     {},
     true,
     100000,
     StopKind::Done,
     11},
    {"run to a breakpoint", 0, RunKind::Run, 0, {0x1000, 7}, true, 100000, StopKind::Breakpoint, 7},
    {"run to the halt and on", 0, RunKind::Run, 0, {}, false, 3000, StopKind::StepLimit, 4},
    {"run to a condition on a register",
     0,
     RunKind::Run,
     0,
     {5},
     true,
     100000,
     StopKind::Breakpoint,
     5,
     "R1 == 2"},
    {"run to the fourth hit",
     0,
     RunKind::Run,
     0,
     {5},
     true,
     100000,
     StopKind::Breakpoint,
     5,
     "",
     4},
    {"run to the second hit of a condition",
     0,
     RunKind::Run,
     0,
     {7, 18},
     true,
     100000,
     StopKind::Breakpoint,
     18,
     "M[SP - 1] == 11 && R2 > 1",
     2},
    {"run past a condition that never holds",
     0,
     RunKind::Run,
     0,
     {5, 15},
     true,
     100000,
     StopKind::Halted,
     4,
     "R1 > 100"},
    {"run to a condition reading unmapped memory",
     0,
     RunKind::Run,
     0,
     {8},
     true,
     100000,
     StopKind::Breakpoint,
     8,
     "M[0x900] == -1"},
    {"run to a condition that fails",
     0,
     RunKind::Run,
     0,
     {5},
     true,
     100000,
     StopKind::Breakpoint,
     5,
     "100 / R2 > 1"},
    {"over a call past a condition",
     3,
     RunKind::StepOver,
     0,
     {15},
     true,
     100000,
     StopKind::Done,
     4,
     "R4 == 0"},
};

class SessionRunTest : public testing::TestWithParam<Case> {};

RunOperation Start(Session& s, const Case& c) {
  switch (c.kind) {
    case RunKind::Run: return s.StartRun(c.stopWhenHalted, c.limit);
    case RunKind::StepOver: return s.StartStepOver(c.stopWhenHalted, c.limit);
    case RunKind::StepOut: return s.StartStepOut(c.stopWhenHalted, c.limit);
    case RunKind::RunTo: return s.StartRunTo(c.target, c.stopWhenHalted, c.limit);
    case RunKind::StepLine:
    case RunKind::StepLineOver:
    case RunKind::StepLineOut: break;  // LineSteppingTest.cpp
  }
  return {};
}

// Each operation in slices of 1, 2, 3, 7 and unlimited instructions (the window's slices end
// anywhere) against single steps: same reason, same instruction count, same registers and
// change markers.
TEST_P(SessionRunTest, MatchesSingleSteps) {
  const Case& c = GetParam();
  for (uint64_t slice : {uint64_t{1}, uint64_t{2}, uint64_t{3}, uint64_t{7}, UINT64_MAX}) {
    Session batched, stepped;
    LoadProgram(batched, kFactorial);
    LoadProgram(stepped, kFactorial);
    for (Session* s : {&batched, &stepped}) {
      // Reach the starting point the way a user would: the first time pc gets there; the code
      // after "forever", which the program never reaches by itself, is entered at 20.
      if (c.runTo > 20) s->Cpu().SetPC(20);
      for (int i = 0; i < 100000 && s->Cpu().pc != c.runTo; ++i) s->Cpu().Step();
      ASSERT_EQ(s->Cpu().pc, c.runTo);
      for (uint32_t b : c.breakpoints) {
        s->ToggleBreakpoint(b);
        ASSERT_TRUE(s->SetCondition(s->BreakpointNumber(b), c.condition).ok());
        s->SetStopAtHit(s->BreakpointNumber(b), c.stopAtHit);
      }
    }
    RunOperation op = Start(batched, c);
    std::optional<StopReason> got;
    while (!(got = batched.Continue(op, slice))) {
    }
    const StopReason want = ByDefinition(stepped, c.kind, c.target, c.stopWhenHalted, c.limit,
                                         c.condition, c.stopAtHit);
    SCOPED_TRACE(testing::Message() << c.name << ", slice " << slice);
    EXPECT_EQ(static_cast<int>(got->kind), static_cast<int>(c.expected));
    EXPECT_EQ(got->pc, c.expectedPc);
    EXPECT_EQ(static_cast<int>(got->kind), static_cast<int>(want.kind));
    EXPECT_EQ(got->instructions, want.instructions);
    EXPECT_EQ(got->breakpoint, want.breakpoint);
    EXPECT_EQ(got->conditionError, want.conditionError);
    const Processor &a = batched.Cpu(), &b = stepped.Cpu();
    EXPECT_TRUE(static_cast<const CpuState&>(a) == static_cast<const CpuState&>(b));
    EXPECT_EQ(a.pcChanged, b.pcChanged);
    EXPECT_EQ(a.spChanged, b.spChanged);
    EXPECT_EQ(a.regChanged, b.regChanged);
    EXPECT_EQ(a.memWritten, b.memWritten);
    EXPECT_EQ(a.lastWriteAddress, b.lastWriteAddress);
    // An ended operation stays ended.
    EXPECT_EQ(batched.Continue(op, 100)->instructions, got->instructions);
  }
}

INSTANTIATE_TEST_SUITE_P(Operations, SessionRunTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) {
                           std::string name = info.param.name;
                           for (char& ch : name) {
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return name;
                         });

TEST(SessionTest, BreakpointsKeepTheirOrderAndNumbers) {
  Session s;
  for (uint32_t a : {0x10u, 0x20u, 0x30u}) s.ToggleBreakpoint(a);
  s.ToggleBreakpoint(0x20);
  EXPECT_EQ(s.Breakpoints(), (std::vector<uint32_t>{0x10, 0x30}));
  EXPECT_EQ(s.BreakpointNumber(0x30), 2u);
  EXPECT_EQ(s.BreakpointNumber(0x20), 0u);
}

TEST(SessionTest, BreakpointSettings) {
  Session s;
  s.ToggleBreakpoint(0x10);
  s.ToggleBreakpoint(0x20);
  EXPECT_EQ(s.SetCondition(2, "R1 == (2").error().Text(), "col 9: expected ')'");
  EXPECT_FALSE(s.Settings(2).condition.has_value());  // a bad condition changes nothing
  ASSERT_TRUE(s.SetCondition(2, "R1 == 2").ok());
  s.SetEnabled(2, false);
  s.ToggleBreakpoint(0x10);  // the settings move with their breakpoint
  EXPECT_EQ(s.Settings(1).condition->Text(), "R1 == 2");
  EXPECT_FALSE(s.Settings(1).enabled);
  ASSERT_TRUE(s.SetCondition(1, "  ").ok());
  EXPECT_FALSE(s.Settings(1).condition.has_value());
  s.ClearBreakpoints();
  EXPECT_TRUE(s.Breakpoints().empty());
}

// A disabled breakpoint does not stop a run.
TEST(SessionTest, DisabledBreakpointsDoNotStop) {
  Session s;
  LoadProgram(s, kFactorial);
  s.ToggleBreakpoint(5);
  s.SetEnabled(1, false);
  RunOperation op = s.StartRun();
  EXPECT_EQ(static_cast<int>(s.Finish(op).kind), static_cast<int>(StopKind::Halted));
  EXPECT_EQ(s.Settings(1).hits, 0u);
}

// A word a module serves is never read to decide whether it is a CALL: the read could act on
// the module. Unmapped words are not CALLs either.
TEST(SessionTest, OnlyMemoryWordsArePeeked) {
  Session s;
  LoadProgram(s, kFactorial);
  EXPECT_TRUE(s.IsCallAt(3));
  EXPECT_FALSE(s.IsCallAt(2));
  EXPECT_FALSE(s.PeekWord(0x800).has_value());
  s.Cpu().SetPC(0x800);
  RunOperation op = s.StartStepOver();
  EXPECT_EQ(s.Continue(op, 10)->instructions, 1u);
}

// A peripheral of four words that keeps what the processor stores.
struct Latch {
  static inline std::array<uint32_t, 4> words{};
  static int32_t Initialize(TervikMessageCallback, const char*) { return 0; }
  static void About(char* text) { text[0] = '\0'; }
  static uint32_t ReadMem(uint32_t offset) { return words[offset % 4]; }
  static void WriteMem(uint32_t offset, uint32_t value) { words[offset % 4] = value; }
  static void CPUWriteMem(uint32_t offset, uint32_t value) { words[offset % 4] = value; }
  static void Reset() {}
  static void Clock() {}
};

// Three rounds of stores and loads in RAM, the latch at 0x2000, the stack and ROM.
const char* const kAccesses = R"(
        MVSPL   H#1800%         ; 0
        MOVEL   R1,H#1000%      ; 1
        MOVEL   R2,3%           ; 2
        MOVEL   R5,H#2000%      ; 3
loop:   STORE   R1,R2           ; 4
        LOADI   R3,R1,H#0       ; 5
        STORE   R5,R2           ; 6
        LOADI   R6,R5,H#0       ; 7
        PUSH    R2              ; 8
        POP     R4              ; 9
        STOREI  R0,7            ; 10, into ROM: dropped
        SUBBI   R2,R2,H#1       ; 11
        BNZEI   R2,loop%        ; 12
halt:   JUMPI   halt%           ; 13
)";

TEST(SessionTest, WatchpointsStopAfterTheAccess) {
  struct Case {
    const char* watch;
    const char* condition;
    uint64_t stopAtHit;
    bool enabled;
    const char* line;
  } const cases[] = {
      {"0x1000", "", 1, true,
       "Watchpoint 1: M[00001000] 00000000 -> 00000003 by the word at 00000004"},
      {"0x1000, r", "", 1, true, "Watchpoint 1: M[00001000] read 00000003 by the word at 00000005"},
      {"0x0FFF..0x1000, rw", "", 3, true,
       "Watchpoint 1: M[00001000] 00000003 -> 00000002 by the word at 00000004"},
      {"0x1000", "R2 == 1", 1, true,
       "Watchpoint 1: M[00001000] 00000002 -> 00000001 by the word at 00000004"},
      {"0x1000", "M[0x1000] / R0", 1, true,
       "Watchpoint 1 at 00000005: its condition failed: col 11: division by zero"},
      {"0x2000", "", 1, true, "Watchpoint 1: M[00002000] <- 00000003 by the word at 00000006"},
      {"0x2000..0x2003, r", "", 2, true,
       "Watchpoint 1: M[00002000] read 00000002 by the word at 00000007"},
      {"0x1800", "", 1, true,
       "Watchpoint 1: M[00001800] 00000000 -> 00000003 by the word at 00000008"},
      {"0x1800, r", "", 1, true, "Watchpoint 1: M[00001800] read 00000003 by the word at 00000009"},
      {"0", "", 1, true,
       "Watchpoint 1: M[00000000] store of 00000007 ignored by the word at 0000000A"},
      {"0x1F00, rw", "", 1, true, "Halted at 0000000D (JUMPI H#0%)"},
      {"0x1000", "", 1, false, "Halted at 0000000D (JUMPI H#0%)"},
  };
  for (const Case& c : cases) {
    Session s;
    LoadProgram(s, kAccesses);
    Latch::words = {};
    s.Cpu().AddRegion(0x2000, 4, RegionType::DLL,
                      {&Latch::About, &Latch::WriteMem, &Latch::CPUWriteMem, &Latch::ReadMem,
                       &Latch::Initialize, &Latch::Reset, &Latch::Clock});
    SymbolContext none;
    const Result<WatchRequest> request = ParseWatch(c.watch, none);
    ASSERT_TRUE(request.ok()) << c.watch;
    Watchpoint& w = s.WatchpointAt(
        s.AddWatchpoint(request.value().first, request.value().last, request.value().access));
    ASSERT_TRUE(SetCondition(w.settings, c.condition).ok());
    SetStopAtHit(w.settings, c.stopAtHit);
    w.settings.enabled = c.enabled;
    RunOperation op = s.StartRun();
    EXPECT_EQ(s.Describe(s.Finish(op)), c.line) << c.watch << " if " << c.condition;
  }
}

// Step over a word that is not a CALL runs a batch of one instruction: every watched access it
// makes counts a hit and stops there, as a free run's would.
TEST(SessionTest, StepOverEachWordCountsItsWatchedAccesses) {
  struct Case {
    const char* watch;
    uint64_t hits;  // over the program's three rounds
  } const cases[] = {{"0x1000", 3},     {"0x1000, r", 3}, {"0x1000, rw", 6}, {"0x2000", 3},
                     {"0x1800, rw", 6}, {"0", 3},         {"0x17FF", 0}};
  for (const Case& c : cases) {
    Session s;
    LoadProgram(s, kAccesses);
    s.Cpu().AddRegion(0x2000, 4, RegionType::DLL,
                      {&Latch::About, &Latch::WriteMem, &Latch::CPUWriteMem, &Latch::ReadMem,
                       &Latch::Initialize, &Latch::Reset, &Latch::Clock});
    SymbolContext none;
    const Result<WatchRequest> request = ParseWatch(c.watch, none);
    ASSERT_TRUE(request.ok()) << c.watch;
    s.AddWatchpoint(request.value().first, request.value().last, request.value().access);
    uint64_t stops = 0;
    while (s.Cpu().pc != 13) {
      RunOperation op = s.StartStepOver();
      const StopReason reason = s.Finish(op);
      EXPECT_EQ(reason.instructions, 1u) << c.watch;
      if (reason.kind == StopKind::Watchpoint) ++stops;
    }
    EXPECT_EQ(s.Watchpoints()[0].settings.hits, c.hits) << c.watch;
    EXPECT_EQ(stops, c.hits) << c.watch;
  }
}

TEST(SessionTest, WatchTextsAndTheirErrors) {
  Processor cpu;
  cpu.r[1] = 0x1000;
  ProcessorContext context(cpu);
  struct Case {
    const char* text;
    const char* result;  // WatchText of the request, or the error
  } const cases[] = {
      {"0x1000", "00001000, w"},
      {"R1 .. R1+1 , RW", "00001000..00001001, rw"},
      {"0..0xFFFFFFFF", "00000000..FFFFFFFF, w"},
      {"0xFFFFFFFF..0xFFFFFFFF", "FFFFFFFF, w"},
      // A range that would wrap past FFFFFFFF, or runs downwards, is refused at its "..".
      {"R1+1 .. R1 , RW",
       "col 6: the range's first address 00001001 is above its last 00001000 (a range does not "
       "wrap past FFFFFFFF)"},
      {"SP-1..SP+1, r",
       "col 5: the range's first address FFFFFFFF is above its last 00000001 (a range does not "
       "wrap past FFFFFFFF)"},
      {"0xFFFFFFFF..0x1",
       "col 11: the range's first address FFFFFFFF is above its last 00000001 (a range does not "
       "wrap past FFFFFFFF)"},
      {"R1..R1+0xF,r", "00001000..0000100F, r"},
      {"-1, w", "FFFFFFFF, w"},
      {"", "col 1: expected an expression"},
      {"0x1000,", "col 8: expected w, r or rw after ','"},
      {"0x1000, x", "col 9: expected w, r or rw after ','"},
      {"0x1000..", "col 9: expected an expression"},
      {"1..(2", "col 6: expected ')'"},
      {"R1..R99", "col 5: unknown register R99"},
  };
  for (const Case& c : cases) {
    const Result<WatchRequest> r = ParseWatch(c.text, context);
    const std::string got =
        r.ok() ? WatchText(r.value().first, r.value().last, r.value().access) : r.error().Text();
    EXPECT_EQ(got, c.result) << c.text;
  }
}

// A watchpoint follows its label to the label's new address, unless its range would then run
// past FFFFFFFF.
TEST(SessionTest, WatchpointsFollowTheirLabelsWithoutWrapping) {
  struct Case {
    uint32_t moved;  // where the label is now
    uint32_t first, last;
  } const cases[] = {
      {0x100, 0x100, 0x10F}, {0xFFFFFFF0, 0xFFFFFFF0, 0xFFFFFFFF}, {0xFFFFFFF8, 0x10, 0x1F}};
  for (const Case& c : cases) {
    Session s;
    s.SetSymbols(SymbolTable({{"buffer", 0x10, true}}));
    s.AddWatchpoint(0x10, 0x1F);
    s.SetSymbols(SymbolTable({{"buffer", c.moved, true}}), true);
    EXPECT_EQ(s.Watchpoints()[0].first, c.first) << c.moved;
    EXPECT_EQ(s.Watchpoints()[0].last, c.last) << c.moved;
  }
}

TEST(SessionTest, ConsoleLines) {
  Session s;
  LoadProgram(s, kFactorial);
  auto reason = [](StopKind kind, RunKind run, uint64_t n, uint32_t pc, size_t number = 0,
                   std::string error = {}) {
    StopReason r;
    r.kind = kind;
    r.run = run;
    r.instructions = n;
    r.pc = pc;
    (kind == StopKind::Watchpoint ? r.watchpoint : r.breakpoint) = number;
    r.conditionError = std::move(error);
    return r;
  };
  auto watched = [&](Processor::WatchHit hit) {
    StopReason r = reason(StopKind::Watchpoint, RunKind::Run, 3, hit.pc + 1, 1);
    r.access = hit;
    return r;
  };
  struct Line {
    StopReason reason;
    const char* text;
  } const lines[] = {
      {reason(StopKind::Breakpoint, RunKind::Run, 1204, 0x12, 2),
       "Breakpoint 2 at 00000012 after 1,204 instructions"},
      {reason(StopKind::Breakpoint, RunKind::Run, 1204, 0x12, 1, "col 5: division by zero"),
       "Breakpoint 1 at 00000012: its condition failed: col 5: division by zero"},
      {reason(StopKind::Halted, RunKind::Run, 9, 4), "Halted at 00000004 (JUMPI H#0%)"},
      {reason(StopKind::Halted, RunKind::Run, 9, 0x800),
       "Halted at 00000800: no memory is mapped there"},
      {reason(StopKind::Halted, RunKind::Run, 9, 0x300),
       "Halted at 00000300 on an undefined word (FFFFFFFF)"},
      {reason(StopKind::Stopped, RunKind::Run, 5, 4), "Stopped at 00000004 after 5 instructions"},
      {reason(StopKind::StepLimit, RunKind::Run, 5, 4), "Instruction limit reached"},
      {reason(StopKind::Done, RunKind::StepOver, 10000000, 4),
       "Stepped over to 00000004 after 10,000,000 instructions"},
      {reason(StopKind::Done, RunKind::StepOut, 1, 0xB),
       "Stepped out to 0000000B after 1 instruction"},
      {reason(StopKind::Done, RunKind::RunTo, 999, 0xFFFFFFFF),
       "Reached FFFFFFFF after 999 instructions"},
      {watched({0, 0x1000, 7, true, 0u, 5, false}),
       "Watchpoint 1: M[00001000] 00000000 -> 00000005 by the word at 00000007"},
      {watched({0, 0x1000, 7, false, std::nullopt, 5, false}),
       "Watchpoint 1: M[00001000] read 00000005 by the word at 00000007"},
      {watched({0, 0xF0000000, 7, true, std::nullopt, 0x41, false}),
       "Watchpoint 1: M[F0000000] <- 00000041 by the word at 00000007"},
      {watched({0, 0x10, 3, true, 0x1234u, 9, true}),
       "Watchpoint 1: M[00000010] store of 00000009 ignored by the word at 00000003"},
      {reason(StopKind::Watchpoint, RunKind::Run, 3, 0x12, 2, "col 1: undefined symbol 'x'"),
       "Watchpoint 2 at 00000012: its condition failed: col 1: undefined symbol 'x'"},
  };
  s.Cpu().WriteMem(0x300, 0xFFFFFFFF);  // an undefined word in ROM
  for (const Line& line : lines) EXPECT_EQ(s.Describe(line.reason), line.text);
  // With symbols a stop says where it is by them too.
  s.SetSymbols(SymbolTable({{"halt", 4, true}, {"fact", 5, true}}));
  EXPECT_EQ(s.Describe(reason(StopKind::Stopped, RunKind::Run, 1204000, 7)),
            "Stopped at 00000007 (fact+2) after 1,204,000 instructions");
  EXPECT_EQ(GroupThousands(0), "0");
  EXPECT_EQ(GroupThousands(18446744073709551615u), "18,446,744,073,709,551,615");
}

}  // namespace
}  // namespace tervik::debug
