// What the debugger's views show, without a window: the call stack of a recursive program at
// three depths, watch values and their change marks across stops, and the session file kept
// beside a program (round trip, and a table of broken and stale files).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Assembler.h"
#include "CallStack.h"
#include "SessionFile.h"
#include "WatchList.h"

namespace tervik::debug {
namespace {

// Recursive factorial with its stack at 0x1800, a counter in RAM and a module-free map.
const char* const kFactorial = R"(
STACK   EQU     H#1800
count   EQU     H#1000
start:  MVSPL   STACK%          ; 0
        MOVEL   R9,fact%        ; 1
        MOVEL   R1,3%           ; 2
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
        LOADI   R5,R0,count     ; 12, count = count + 1
        ADDI    R5,R5,1         ; 13
        MOVEL   R7,count%       ; 14
        STORE   R7,R5           ; 15
        MOVE    R3,R2           ; 16
        MOVE    R4,R1           ; 17
        MOVEL   R2,0%           ; 18
mul:    ADD     R2,R2,R3        ; 19
        SUBBI   R4,R4,H#1       ; 20
        BNZEI   R4,mul%         ; 21
        RET                     ; 22
)";

void LoadProgram(Session& session) {
  session.Cpu().AddRegion(0, 0x400, RegionType::ROM);
  session.Cpu().AddRegion(0x1000, 0x1000, RegionType::RAM);
  const assembler::Result result = assembler::Assemble(kFactorial);
  ASSERT_TRUE(result.errors.empty()) << assembler::FormatDiagnostic("t", result.errors.front());
  for (const assembler::Word& w : result.words) session.Cpu().WriteMem(w.address, w.value);
  session.SetSymbols(SymbolTable(result.symbols));
}

// Runs to the next stop at a breakpoint.
void RunToBreakpoint(Session& session) {
  RunOperation op = session.StartRun(true, 10000);
  const StopReason reason = session.Finish(op);
  ASSERT_EQ(reason.kind, StopKind::Breakpoint) << session.Describe(reason);
}

TEST(CallStackTest, RecursiveProgramAtThreeDepths) {
  Session session;
  LoadProgram(session);
  const SymbolTable& symbols = session.Symbols();
  // fact(3) calls fact(2) calls fact(1) calls fact(0): the breakpoint at fact's RET for 0! stops
  // at the deepest point; each multiplication's first ADD stops one level further out.
  session.ToggleBreakpoint(7);   // RET of fact(0)
  session.ToggleBreakpoint(19);  // mul: once per round of each multiplication (R1 rounds)
  const struct {
    const char* text;
    uint32_t sp;
  } stops[] = {
      {"fact+2 \u2190 recurse+3 \u2190 recurse+3 \u2190 recurse+3 \u2190 halt", 0x1807},
      {"mul \u2190 recurse+3 \u2190 recurse+3 \u2190 halt", 0x1805},  // in fact(1)
      {"mul \u2190 recurse+3 \u2190 halt", 0x1803},                   // in fact(2), twice
      {"mul \u2190 recurse+3 \u2190 halt", 0x1803},
      {"mul \u2190 halt", 0x1801},  // in fact(3)
  };
  for (const auto& stop : stops) {
    RunToBreakpoint(session);
    const std::vector<Frame> frames = ReadCallStack(session);
    EXPECT_EQ(CallStackText(frames, symbols), stop.text);
    EXPECT_EQ(session.Cpu().sp, stop.sp);
    // Every return address lies on the stack below sp, the outer ones lower; the pushed
    // arguments between them (3, 2, 1) are no frames.
    for (size_t i = 1; i < frames.size(); ++i) {
      ASSERT_TRUE(frames[i].slot);
      EXPECT_LT(*frames[i].slot, i == 1 ? session.Cpu().sp : *frames[i - 1].slot);
    }
  }
}

TEST(CallStackTest, StopsAtTheEndOfTheStacksMemory) {
  Session session;
  LoadProgram(session);
  // sp at 0 and sp in unmapped memory: pc alone.
  for (const uint32_t sp : {0u, 0x9000u}) {
    session.Cpu().sp = sp;
    EXPECT_EQ(ReadCallStack(session), (std::vector<Frame>{Frame{session.Cpu().pc, {}}}));
  }
  EXPECT_EQ(FrameName(0x123, SymbolTable{}), "00000123");
}

TEST(WatchListTest, ValuesAndChangeMarksAcrossStops) {
  Session session;
  LoadProgram(session);
  WatchList watches;
  watches.Add("M[count]");
  watches.Add("R1 + R2");
  watches.Add("SP - STACK");
  watches.Add("M[0x7000]");      // no region: not readable without effect
  watches.Add("R1 +");           // does not parse: kept with its error
  session.ToggleBreakpoint(19);  // mul, once per multiplication

  watches.Update(session, true);  // the stop after loading
  EXPECT_EQ(*watches.Items()[0].value, 0u);
  EXPECT_FALSE(watches.Items()[0].changed);
  EXPECT_FALSE(watches.Items()[3].value);
  EXPECT_NE(watches.Items()[3].error.find("memory is not available"), std::string::npos);
  EXPECT_EQ(watches.Items()[4].error, "col 5: expected an expression");

  RunToBreakpoint(session);        // first multiplication: count 1
  watches.Update(session, false);  // a live tick: compared with the last stop
  EXPECT_EQ(*watches.Items()[0].value, 1u);
  EXPECT_TRUE(watches.Items()[0].changed);
  watches.Update(session, true);
  EXPECT_TRUE(watches.Items()[0].changed);
  EXPECT_EQ(*watches.Items()[2].value, 5u);  // sp 0x1805 in fact(1)

  // At the next stop a value that did not change since is no longer marked.
  session.ToggleBreakpoint(19);
  RunOperation op = session.StartRunTo(20);  // the SUBBI after the ADD: count unchanged
  session.Finish(op);
  watches.Update(session, true);
  EXPECT_FALSE(watches.Items()[0].changed);
  EXPECT_TRUE(watches.Items()[1].changed);  // R2 took the ADD

  watches.Edit(1, "R1");
  EXPECT_FALSE(watches.Items()[1].atLastStop);
  watches.Remove(4);
  EXPECT_EQ(watches.size(), 4u);
  EXPECT_EQ(WatchValueText(45), "0000002D (45)");
  EXPECT_EQ(WatchValueText(0xFFFFFFFF), "FFFFFFFF (4294967295, -1)");
}

TEST(SessionFileTest, RoundTripThroughLabels) {
  Session session;
  LoadProgram(session);
  WatchList watches;
  session.ToggleBreakpoint(19);     // mul
  session.ToggleBreakpoint(9);      // recurse+1
  session.ToggleBreakpoint(0x300);  // the nearest label far below: by its address
  ASSERT_TRUE(session.SetCondition(2, "R1 == 1 || R2 > 0x10").ok());
  session.SetEnabled(2, false);
  session.SetStopAtHit(1, 3);
  session.AddWatchpoint(0x1000, 0x1003, WatchAccess::ReadWrite);
  watches.Add("M[count]");
  watches.Add("R1 + R2");

  const SavedSession saved = Capture(session, watches);
  const std::string text = SessionText(saved);
  EXPECT_NE(text.find("break mul hit=3\n"), std::string::npos) << text;
  EXPECT_NE(text.find("break recurse+1 off if R1 == 1 || R2 > 0x10\n"), std::string::npos) << text;
  EXPECT_NE(text.find("break 0x00000300\n"), std::string::npos) << text;
  const SessionRead read = ReadSessionText(text);
  EXPECT_TRUE(read.problems.empty());
  EXPECT_EQ(read.session, saved);

  // Applied to a fresh session of the same program, everything is as it was.
  Session again;
  LoadProgram(again);
  WatchList watchesAgain;
  EXPECT_TRUE(Apply(read.session, again, watchesAgain).empty());
  EXPECT_EQ(again.Breakpoints(), session.Breakpoints());
  EXPECT_EQ(again.Settings(1).stopAtHit, 3u);
  EXPECT_FALSE(again.Settings(2).enabled);
  EXPECT_EQ(again.Settings(2).condition->Text(), "R1 == 1 || R2 > 0x10");
  ASSERT_EQ(again.Watchpoints().size(), 1u);
  EXPECT_EQ(again.Watchpoints()[0].access, WatchAccess::ReadWrite);
  EXPECT_EQ(Capture(again, watchesAgain), saved);
  EXPECT_EQ(SessionPathFor("/a/b/stack.asm"), "/a/b/stack.session");
}

TEST(SessionFileTest, BrokenAndStaleLinesAreSkippedAndNamed) {
  const struct {
    const char* line;
    const char* problem;  // of reading; empty: read, then a problem of applying (or none)
    const char* applyProblem;
  } cases[] = {
      {"break mul", "", ""},
      {"break", "line 1: break needs an address", ""},
      {"break mul hit=0", "line 1: hit= needs a count from 1", ""},
      {"break mul hit=x", "line 1: hit= needs a count from 1", ""},
      {"break mul sometimes", "line 1: unknown word 'sometimes'", ""},
      {"break mul if", "line 1: if needs a condition", ""},
      {"watch count w", "line 1: watch needs FIRST..LAST", ""},
      {"watch count..count+1 x", "line 1: watch needs r, w or rw after its range", ""},
      {"expr", "line 1: expr needs an expression", ""},
      {"\x01\xff binary", "line 1: not a session line", ""},
      {"break gone+2", "", "gone+2: undefined symbol 'gone'"},
      {"break mul if R1 ==", "", "mul: R1 ==: col 6: expected an expression"},
      {"watch count+1..count w", "", "count+1..count: the first address lies above the last"},
      {"watch nowhere..count rw", "", "nowhere..count: undefined symbol 'nowhere'"},
  };
  for (const auto& c : cases) {
    const SessionRead read = ReadSessionText(c.line);
    if (*c.problem) {
      ASSERT_EQ(read.problems.size(), 1u) << c.line;
      EXPECT_EQ(read.problems[0], c.problem);
      EXPECT_TRUE(read.session.empty()) << c.line;
      continue;
    }
    EXPECT_TRUE(read.problems.empty()) << c.line;
    Session session;
    LoadProgram(session);
    WatchList watches;
    const std::vector<std::string> problems = Apply(read.session, session, watches);
    if (*c.applyProblem) {
      ASSERT_EQ(problems.size(), 1u) << c.line;
      EXPECT_EQ(problems[0], c.applyProblem);
      EXPECT_TRUE(session.Breakpoints().empty() && session.Watchpoints().empty()) << c.line;
    } else {
      EXPECT_TRUE(problems.empty()) << c.line;
    }
  }
}

}  // namespace
}  // namespace tervik::debug
