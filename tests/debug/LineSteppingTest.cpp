// Step line, and Step over and Step out in line terms, on programs with pseudo-instructions of
// several words and included files: the lines each stops on, and every stop against the same
// step done one instruction at a time by its definition, in slices of several sizes. And the
// line table's text, written and read back.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Assembler.h"
#include "Instruction.h"
#include "LineTable.h"
#include "Session.h"

namespace tervik::debug {
namespace {

using Files = std::map<std::string, std::string>;

// `main.asm` calls through CALLTO into an included file that calls again; every LI and CALLTO
// takes several words.
const Files kCalls = {
    {"main.asm", R"(STACK   EQU     H#1800
start:  MVSPL   STACK%
        LI      R1,H#12345678
        CALLTO  R9,twice
        LI      R4,-5
halt:   JUMPI   halt%
        INCLUDE "lib.inc"
)"},
    {"lib.inc", R"(twice:  ADD     R2,R1,R1
        CALLTO  R8,inner
        RET
inner:  LI      R3,H#ABCDEF01
        RET
)"},
};

// A loop whose body is one line of several words, a recursive subroutine, and data between
// lines that no step may stop in.
const Files kLoop = {
    {"main.asm", R"(start:  MVSPL   H#1800%
        MOVEL   R1,3%
again:  LI      R5,H#7FFF0000
        SUBBI   R1,R1,H#1
        BNZEI   R1,again%
        MOVEL   R9,fact%
        MOVEL   R1,3%
        CALL    R9
        JUMPTO  R7,done
table:  DW      1,2,3
done:   JUMPI   done%
        INCLUDE "fact.inc"
)"},
    {"fact.inc", R"(fact:   BNZEI   R1,recurse%
        MOVEL   R2,1%
        RET
recurse: PUSH   R1
        SUBBI   R1,R1,H#1
        CALL    R9
        POP     R1
        ADD     R2,R2,R1
        RET
)"},
};

struct Program {
  Session session;
  LineTable lines;
};

void Load(Program& p, const Files& files) {
  Processor& cpu = p.session.Cpu();
  cpu.AddRegion(0, 0x400, RegionType::ROM);
  cpu.AddRegion(0x1000, 0x1000, RegionType::RAM);
  const assembler::IncludeReader read = [&files](const std::string& path,
                                                 std::string& why) -> std::optional<std::string> {
    const auto it = files.find(path);
    if (it == files.end()) {
      why = "no such file";
      return std::nullopt;
    }
    return it->second;
  };
  const assembler::Result result = assembler::Assemble(files.at("main.asm"), "main.asm", read);
  ASSERT_TRUE(result.errors.empty()) << assembler::FormatDiagnostic("t", result.errors.front());
  for (const assembler::Word& w : result.words) cpu.WriteMem(w.address, w.value);
  p.lines = assembler::MakeLineTable(result);
  p.session.SetLines(p.lines);
  cpu.pc = 0;
}

// "lib.inc:2" for pc, or "-" where no line placed the word.
std::string Where(const Program& p, uint32_t pc) {
  const LineRange* r = p.lines.At(pc);
  if (r == nullptr) return "-";
  return p.lines.Files()[r->file] + ":" + std::to_string(r->line);
}

// The step done one instruction at a time by its definition: leave the words of the line pc is
// in (over: a CALL runs until pc is the word after it with sp as it was), stop at a line's
// first word or a word no line placed, or where an instruction leaves pc where it was.
std::pair<StopKind, uint64_t> ByDefinition(Program& p, RunKind kind) {
  Processor& cpu = p.session.Cpu();
  const uint32_t sp0 = cpu.sp;
  uint32_t first = cpu.pc, count = 1;
  if (const LineRange* r = p.lines.At(cpu.pc)) first = r->first, count = r->count;
  bool out = kind == RunKind::StepLineOut;
  std::optional<std::pair<uint32_t, uint32_t>> callReturn;  // (pc, sp) a CALL returns with
  uint64_t steps = 0;
  while (steps < 100000) {
    const uint32_t before = cpu.pc;
    const std::optional<uint32_t> word = p.session.PeekWord(before);
    const bool ret = word && DescribeInstruction(Instruction{*word}).flow == Flow::Return;
    const bool call = word && DescribeInstruction(Instruction{*word}).flow == Flow::Call;
    if (kind == RunKind::StepLineOver && !callReturn && call) callReturn = {before + 1, cpu.sp};
    cpu.Step();
    ++steps;
    if (cpu.pc == before) return {StopKind::Halted, steps};
    if (out) {
      // Out: a RET brought sp below where it was; then on as over from the line pc is in.
      if (!ret || cpu.sp >= sp0) continue;
      out = false;
      const LineRange* r = p.lines.At(cpu.pc);
      if (r == nullptr || r->first == cpu.pc) return {StopKind::Done, steps};
      first = r->first, count = r->count;
      kind = RunKind::StepLineOver;
      continue;
    }
    if (callReturn) {
      if (cpu.pc != callReturn->first || cpu.sp != callReturn->second) continue;  // in the call
      callReturn.reset();
    }
    if (cpu.pc - first < count) continue;
    const LineRange* r = p.lines.At(cpu.pc);
    if (r == nullptr || r->first == cpu.pc) return {StopKind::Done, steps};
  }
  return {StopKind::StepLimit, steps};
}

std::string Hex8(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", v);
  return text;
}

RunOperation Start(Session& s, RunKind kind) {
  if (kind == RunKind::StepLineOut) return s.StartStepLineOut();
  return s.StartStepLine(kind == RunKind::StepLineOver);
}

struct Case {
  const char* name;
  const Files* files;
  RunKind kind;
  int into;                        // Step line operations done first, to start inside the program
  std::vector<std::string> stops;  // where each operation stops, "halt" for a halt
};

TEST(LineStepping, StopsOnLinesAsSingleStepsDo) {
  const std::vector<Case> cases = {
      {"into calls and includes",
       &kCalls,
       RunKind::StepLine,
       0,
       {"main.asm:3", "main.asm:4", "lib.inc:1", "lib.inc:2", "lib.inc:4", "lib.inc:5", "lib.inc:3",
        "main.asm:5", "main.asm:6", "halt"}},
      {"over the calls",
       &kCalls,
       RunKind::StepLineOver,
       0,
       {"main.asm:3", "main.asm:4", "main.asm:5", "main.asm:6", "halt"}},
      {"over, from inside an included subroutine",
       &kCalls,
       RunKind::StepLineOver,
       3,
       {"lib.inc:2", "lib.inc:3", "main.asm:5"}},
      {"out of the innermost subroutine, then out again",
       &kCalls,
       RunKind::StepLineOut,
       5,
       {"lib.inc:3", "main.asm:5"}},
      {"a loop of multi-word lines",
       &kLoop,
       RunKind::StepLine,
       0,
       {"main.asm:2", "main.asm:3", "main.asm:4", "main.asm:5", "main.asm:3", "main.asm:4",
        "main.asm:5", "main.asm:3", "main.asm:4", "main.asm:5", "main.asm:6", "main.asm:7",
        "main.asm:8", "fact.inc:1", "fact.inc:4"}},
      {"over a recursive call and a JUMPTO",
       &kLoop,
       RunKind::StepLineOver,
       13,
       {"main.asm:9", "main.asm:11", "halt"}},
      {"out of a recursion level", &kLoop, RunKind::StepLineOut, 19, {"fact.inc:7", "main.asm:9"}},
  };
  for (const Case& c : cases) {
    for (const uint64_t slice : {uint64_t{1}, uint64_t{3}, uint64_t{1000}}) {
      SCOPED_TRACE(std::string(c.name) + ", slices of " + std::to_string(slice));
      Program p, q;
      Load(p, *c.files);
      Load(q, *c.files);
      for (int i = 0; i < c.into; ++i) {
        RunOperation op = p.session.StartStepLine(false);
        p.session.Finish(op);
        ByDefinition(q, RunKind::StepLine);
      }
      ASSERT_EQ(p.session.Cpu().pc, q.session.Cpu().pc);
      std::vector<std::string> stops;
      for (size_t i = 0; i < c.stops.size(); ++i) {
        RunOperation op = Start(p.session, c.kind);
        std::optional<StopReason> reason;
        while (!(reason = p.session.Continue(op, slice))) {
        }
        const auto [kind, steps] = ByDefinition(q, c.kind);
        EXPECT_EQ(reason->kind, kind) << "stop " << i;
        EXPECT_EQ(reason->instructions, steps) << "stop " << i;
        EXPECT_EQ(p.session.Cpu().pc, q.session.Cpu().pc) << "stop " << i;
        EXPECT_EQ(p.session.Cpu().sp, q.session.Cpu().sp) << "stop " << i;
        EXPECT_EQ(p.session.Cpu().r, q.session.Cpu().r) << "stop " << i;
        stops.push_back(reason->kind == StopKind::Halted ? "halt" : Where(p, p.session.Cpu().pc));
        if (reason->kind != StopKind::Done) break;
      }
      EXPECT_EQ(stops, c.stops);
    }
  }
}

// A breakpoint inside the subroutine a line calls ends Step over there; without a line table
// the line operations are a single step and a step over.
TEST(LineStepping, BreakpointsAndNoLineTable) {
  Program p;
  Load(p, kCalls);
  RunOperation op = p.session.StartStepLine(true);
  p.session.Finish(op);  // to line 3
  op = p.session.StartStepLine(true);
  p.session.Finish(op);  // to line 4, the CALLTO
  const uint32_t inner = *p.lines.FirstAddress(1, 4);
  p.session.ToggleBreakpoint(inner);
  op = p.session.StartStepLine(true);
  StopReason reason = p.session.Finish(op);
  EXPECT_EQ(reason.kind, StopKind::Breakpoint);
  EXPECT_EQ(reason.pc, inner);

  op = p.session.StartStepLine(false);
  reason = p.session.Finish(op);  // LI R3,...: two words, one line
  EXPECT_EQ(p.session.Describe(reason),
            "Stepped to " + Hex8(inner + 2) + " (lib.inc:5) after 2 instructions");

  p.session.Cpu().pc = inner;
  p.session.SetLines({});
  const uint32_t pc = p.session.Cpu().pc;  // LI R3,...: two words, now two steps
  op = p.session.StartStepLine(false);
  reason = p.session.Finish(op);
  EXPECT_EQ(reason.kind, StopKind::Done);
  EXPECT_EQ(reason.pc, pc + 1);
  EXPECT_EQ(reason.instructions, 1u);
}

// Breakpoints and watchpoints through a re-assembly with a line inserted above a label and a
// pseudo-instruction at the label grown from one word to two: each moves with its source line
// (the same word of it), where the labels' word offsets alone would put it on the wrong word.
TEST(LineStepping, BreakpointsFollowTheirLines) {
  const char* const before = R"(start:  MVSPL   H#1800%
        LI      R2,H#12345678
sum:    LI      R1,5
        ADD     R3,R1,R2
        LI      R4,H#ABCD0001
halt:   JUMPI   halt%
        ORG     H#100
data:   DW      7,8
)";
  const char* const after = R"(start:  MVSPL   H#1800%
        MOVEL   R7,1%
        LI      R2,H#12345678
sum:    LI      R1,H#10001
        ADD     R3,R1,R2
        LI      R4,H#ABCD0001
halt:   JUMPI   halt%
        ORG     H#100
data:   DW      7,8
)";
  const assembler::Result a = assembler::Assemble(before, "main.asm");
  const assembler::Result b = assembler::Assemble(after, "main.asm");
  ASSERT_TRUE(a.errors.empty() && b.errors.empty());
  Session s;
  s.SetLines(assembler::MakeLineTable(a));
  s.SetSymbols(SymbolTable(a.symbols));
  // ADD, the second word of LI R4, and the second word of the data.
  const std::vector<uint32_t> breakpoints = {4, 6, 0x101};
  for (uint32_t address : breakpoints) s.ToggleBreakpoint(address);
  s.AddWatchpoint(4, 4);

  s.SetLines(assembler::MakeLineTable(b), true);
  s.SetSymbols(SymbolTable(b.symbols), true);
  const std::vector<uint32_t> expected = {6, 8, 0x101};  // by labels' offsets: 5, 7, 0x101
  EXPECT_EQ(s.Breakpoints(), expected);
  EXPECT_EQ(s.Watchpoints()[0].first, 6u);
  EXPECT_EQ(s.Watchpoints()[0].last, 6u);
  EXPECT_EQ(s.Lines().At(6)->line, 5u);

  // Without the move, nothing follows.
  s.SetLines(assembler::MakeLineTable(a));
  s.SetSymbols(SymbolTable(a.symbols));
  EXPECT_EQ(s.Breakpoints(), expected);
}

// A line inserted between a label and a breakpoint's line moves the breakpoint only when the
// editor's record of the edits is given: by the label alone it would stay two lines below it.
TEST(LineTable, BreakpointsFollowTheLinesAnEditorSawMove) {
  const char* const before =
      "start:  MVSPL   H#1800%\n"
      "        ADDI    R1,R1,H#1\n"
      "        ADDI    R2,R2,H#2\n"
      "halt:   JUMPI   halt%\n";
  const char* const after =
      "start:  MVSPL   H#1800%\n"
      "        NOP\n"
      "        ADDI    R1,R1,H#1\n"
      "        ADDI    R2,R2,H#2\n"
      "halt:   JUMPI   halt%\n";
  const assembler::Result a = assembler::Assemble(before, "main.asm");
  const assembler::Result b = assembler::Assemble(after, "main.asm");
  ASSERT_TRUE(a.errors.empty() && b.errors.empty());
  assembler::LineShifts inserted;
  inserted.Insert(2, 1);
  assembler::LineShifts removed;  // the breakpoint's own line went: its label decides
  removed.Remove(3, 1);
  const struct {
    const char* name;
    Session::LineMoves moves;
    uint32_t expected;
  } cases[] = {
      {"no moves", {}, 2},
      {"line inserted", {{"main.asm", inserted}}, 3},
      {"its line removed", {{"main.asm", removed}}, 2},
      {"another file edited", {{"lib.inc", inserted}}, 2},
  };
  for (const auto& c : cases) {
    Session s;
    s.SetLines(assembler::MakeLineTable(a));
    s.SetSymbols(SymbolTable(a.symbols));
    s.ToggleBreakpoint(2);
    s.SetLineMoves(c.moves);
    s.SetLines(assembler::MakeLineTable(b), true);
    s.SetSymbols(SymbolTable(b.symbols), true);
    EXPECT_EQ(s.Breakpoints(), std::vector<uint32_t>{c.expected}) << c.name;
  }
}

TEST(LineTable, TextRoundTripsAndSkipsUnknownRecords) {
  const LineTable table({"/p/main.asm", "/p/lib/util.inc", "/elsewhere/x.inc"},
                        {{0, 2, 0, 3}, {2, 3, 0, 4}, {0x100, 1, 1, 7}, {0x200, 4, 2, 1}});
  const std::string text = FormatLineTable(table, "/p");
  EXPECT_NE(text.find("F 1 lib/util.inc\n"), std::string::npos) << text;
  EXPECT_NE(text.find("F 2 /elsewhere/x.inc\n"), std::string::npos) << text;
  const LineTableResult back = ParseLineTable(text + "X later kind 1 2\n", "/p");
  EXPECT_TRUE(back.read);
  EXPECT_EQ(back.badLines, 0u);
  EXPECT_EQ(back.table.Files(), table.Files());
  EXPECT_EQ(back.table.Ranges(), table.Ranges());
  EXPECT_EQ(back.table.FileIndex("/p/lib/../lib/util.inc"), 1u);

  const LineTableResult bad = ParseLineTable(
      "F 0 a.asm\n00000000 0 0 1\n00000001 1 0\n00000002 1 5 9\n00000003 2 0 2\n", "");
  EXPECT_EQ(bad.badLines, 3u);  // no words, no line, a file not named
  ASSERT_EQ(bad.table.Ranges().size(), 1u);
  EXPECT_EQ(bad.table.At(4)->line, 2u);
  EXPECT_EQ(bad.table.At(5), nullptr);
  EXPECT_FALSE(ParseLineTable(std::string("F 0 a\0", 6), "").read);
}

}  // namespace
}  // namespace tervik::debug
