// The reverse commands on a recursive program: where each stops (instruction count, pc, sp) and
// why, from given points of the run, with breakpoints, conditions, hit counts and watchpoints,
// at the start of history, over a CALL that never returned and in a history the budget trimmed.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Recorder.h"
#include "Reverse.h"
#include "Session.h"

namespace tervik::debug {
namespace {

using enum Opcode;

constexpr uint32_t Rrr(Opcode op, unsigned rd, unsigned ra, unsigned rb) {
  return static_cast<uint32_t>(op) << 26 | rd << 21 | ra << 16 | rb;
}
constexpr uint32_t Rri(Opcode op, unsigned rd, unsigned ra, uint32_t imm) {
  return static_cast<uint32_t>(op) << 26 | rd << 21 | ra << 16 | (imm & 0xFFFFu);
}
constexpr uint32_t Movei(MoveiSub sub, unsigned rd, uint32_t imm) {
  return static_cast<uint32_t>(MOVEI) << 26 | rd << 21 | static_cast<uint32_t>(sub) << 17 |
         (imm & 0xFFFFu);
}

// R2 = R1! for R1 = 3, calling itself; the stack grows upwards from 0x1800. The state after
// instruction 19 is the first return: pc 0B (POP R1), sp 1806.
const std::vector<uint32_t> kFactorial = {
    Movei(MoveiSub::MVSPL, 0, 0x1800),  // 0
    Movei(MoveiSub::MOVEL, 9, 5),       // 1
    Movei(MoveiSub::MOVEL, 1, 3),       // 2
    Rrr(CALL, 0, 0, 9),                 // 3
    Rri(JUMPI, 0, 0, 0),                // 4: halt
    Rri(BNZEI, 0, 1, 3),                // 5: fact
    Movei(MoveiSub::MOVEL, 2, 1),       // 6
    static_cast<uint32_t>(RET) << 26,   // 7
    Rrr(PUSH, 0, 0, 1),                 // 8: recurse
    Rri(SUBBI, 1, 1, 1),                // 9
    Rrr(CALL, 0, 0, 9),                 // 10
    Rrr(POP, 1, 0, 0),                  // 11
    Rrr(MOVE, 3, 0, 2),                 // 12
    Rrr(MOVE, 4, 0, 1),                 // 13
    Movei(MoveiSub::MOVEL, 2, 0),       // 14
    Rrr(ADD, 2, 2, 3),                  // 15: mul
    Rri(SUBBI, 4, 4, 1),                // 16
    Rri(BNZEI, 0, 4, 0xFFFE),           // 17
    static_cast<uint32_t>(RET) << 26,   // 18
};
// A subroutine that never returns: CALL 3, then an endless count.
const std::vector<uint32_t> kNoReturn = {Movei(MoveiSub::MVSPL, 0, 0x1800),
                                         Movei(MoveiSub::MOVEL, 9, 3), Rrr(CALL, 0, 0, 9),
                                         Rri(ADDI, 5, 5, 1), Rri(JUMPI, 0, 0, 0xFFFF)};

enum class Command { StepBack, StepOverBack, StepOutBack, ContinueBack, RunBackTo, LastWrite };

struct Case {
  const char* name;
  const std::vector<uint32_t>* program;
  uint64_t at;  // instructions run forwards first
  Command command;
  uint32_t breakpoint = 0;  // when not 0 (with a condition and a hit count)
  const char* condition = "";
  uint64_t stopAtHit = 1;
  uint32_t watch = 0;    // a store watchpoint when not 0
  uint32_t address = 0;  // run back to cursor, last write
  // Where it stops.
  uint64_t count;
  uint32_t pc;
  uint32_t sp;
  ReverseWhy why;
  const char* line;  // the console line
};

const Case kCases[] = {
    {"StepBackAtTheStart", &kFactorial, 0, Command::StepBack, 0, "", 1, 0, 0, 0, 0, 0,
     ReverseWhy::StartOfHistory,
     "Start of history at 00000000 (instruction 0), 0 instructions back"},
    {"StepBack", &kFactorial, 5, Command::StepBack, 0, "", 1, 0, 0, 4, 5, 0x1801, ReverseWhy::Done,
     ""},
    {"StepOverBackOverARet", &kFactorial, 19, Command::StepOverBack, 0, "", 1, 0, 0, 15, 0xA,
     0x1806, ReverseWhy::Done, "Stepped back over to 0000000A, 4 instructions back"},
    {"StepOverBackOverAPush", &kFactorial, 14, Command::StepOverBack, 0, "", 1, 0, 0, 13, 8, 0x1805,
     ReverseWhy::Done, "Stepped back over to 00000008, 1 instruction back"},
    {"StepOverBackStopsInside", &kFactorial, 19, Command::StepOverBack, 6, "", 1, 0, 0, 17, 6,
     0x1807, ReverseWhy::Breakpoint, "Breakpoint 1 at 00000006, 2 instructions back"},
    {"StepOutBackInnermost", &kFactorial, 18, Command::StepOutBack, 0, "", 1, 0, 0, 15, 0xA, 0x1806,
     ReverseWhy::Done, "Stepped back out to 0000000A, 3 instructions back"},
    {"StepOutBackFromTheCall", &kFactorial, 15, Command::StepOutBack, 0, "", 1, 0, 0, 11, 0xA,
     0x1804, ReverseWhy::Done, "Stepped back out to 0000000A, 4 instructions back"},
    {"StepOutBackAfterAllReturned", &kFactorial, 200, Command::StepOutBack, 0, "", 1, 0, 0, 0, 0, 0,
     ReverseWhy::StartOfHistory,
     "Start of history at 00000000 (instruction 0), 200 instructions back"},
    {"StepOutBackOfACallThatNeverReturned", &kNoReturn, 501, Command::StepOutBack, 0, "", 1, 0, 0,
     2, 2, 0x1800, ReverseWhy::Done, "Stepped back out to 00000002, 499 instructions back"},
    {"ContinueBack", &kFactorial, 19, Command::ContinueBack, 8, "", 1, 0, 0, 13, 8, 0x1805,
     ReverseWhy::Breakpoint, "Breakpoint 1 at 00000008, 6 instructions back"},
    {"ContinueBackFromABreakpoint", &kFactorial, 13, Command::ContinueBack, 8, "", 1, 0, 0, 9, 8,
     0x1803, ReverseWhy::Breakpoint, "Breakpoint 1 at 00000008, 4 instructions back"},
    {"ContinueBackSecondHit", &kFactorial, 19, Command::ContinueBack, 8, "", 2, 0, 0, 9, 8, 0x1803,
     ReverseWhy::Breakpoint, "Breakpoint 1 at 00000008, 10 instructions back"},
    {"ContinueBackWithACondition", &kFactorial, 19, Command::ContinueBack, 8, "R1 == 3", 1, 0, 0, 5,
     8, 0x1801, ReverseWhy::Breakpoint, "Breakpoint 1 at 00000008, 14 instructions back"},
    {"ContinueBackToTheStart", &kFactorial, 19, Command::ContinueBack, 0, "", 1, 0, 0, 0, 0, 0,
     ReverseWhy::StartOfHistory,
     "Start of history at 00000000 (instruction 0), 19 instructions back"},
    {"ContinueBackToAWatchpoint", &kFactorial, 19, Command::ContinueBack, 0, "", 1, 0x1802, 0, 8, 5,
     0x1803, ReverseWhy::Watchpoint,
     "Watchpoint 1: M[00001802] 00000000 -> 0000000B by the word at 0000000A, 11 instructions "
     "back"},
    {"RunBackToCursor", &kFactorial, 19, Command::RunBackTo, 0, "", 1, 0, 9, 14, 9, 0x1806,
     ReverseWhy::Done, "Reached 00000009, 5 instructions back"},
    {"LastWrite", &kFactorial, 19, Command::LastWrite, 0, "", 1, 0, 0x1805, 14, 9, 0x1806,
     ReverseWhy::Done,
     "Last write: M[00001805] 00000000 -> 00000001 by the word at 00000008 (PUSH R1), 5 "
     "instructions back"},
    {"LastWriteByTheLastInstruction", &kFactorial, 14, Command::LastWrite, 0, "", 1, 0, 0x1805, 14,
     9, 0x1806, ReverseWhy::Done,
     "Last write: M[00001805] 00000000 -> 00000001 by the word at 00000008 (PUSH R1), 0 "
     "instructions back"},
    {"LastWriteNever", &kFactorial, 19, Command::LastWrite, 0, "", 1, 0, 0x1900, 19, 0xB, 0x1806,
     ReverseWhy::NotFound, "No write of M[00001900] since the start of history"},
};

class ReverseTableTest : public ::testing::TestWithParam<Case> {};

TEST_P(ReverseTableTest, StopsWhereExpected) {
  const Case& c = GetParam();
  Session s;
  s.Cpu().AddRegion(0, 0x400, RegionType::ROM);
  s.Cpu().AddRegion(0x1000, 0x1000, RegionType::RAM);
  for (size_t i = 0; i < c.program->size(); ++i) {
    s.Cpu().WriteMem(static_cast<uint32_t>(i), (*c.program)[i]);
  }
  s.History().SetEnabled(true);
  s.History().SetInterval(7);  // many stretches, so that searches cross them
  s.Cpu().Reset();
  for (uint64_t i = 0; i < c.at; ++i) s.Cpu().Step();
  if (c.breakpoint != 0) {
    s.ToggleBreakpoint(c.breakpoint);
    ASSERT_TRUE(s.SetCondition(1, c.condition).ok());
    s.SetStopAtHit(1, c.stopAtHit);
  }
  if (c.watch != 0) s.AddWatchpoint(c.watch, c.watch);
  Reverse reverse(s);
  ReverseStop stop;
  switch (c.command) {
    case Command::StepBack: stop = reverse.StepBack(); break;
    case Command::StepOverBack: stop = reverse.StepOverBack(); break;
    case Command::StepOutBack: stop = reverse.StepOutBack(); break;
    case Command::ContinueBack: stop = reverse.ContinueBack(); break;
    case Command::RunBackTo: stop = reverse.RunBackTo(c.address); break;
    case Command::LastWrite: stop = reverse.LastWrite(c.address); break;
  }
  EXPECT_EQ(stop.why, c.why);
  EXPECT_EQ(s.History().Now(), c.count);
  EXPECT_EQ(s.Cpu().pc, c.pc);
  EXPECT_EQ(s.Cpu().sp, c.sp);
  EXPECT_EQ(reverse.Describe(stop), c.line);
  // Forward again to where it started, then the present: the same state as never gone back.
  Session fresh;
  fresh.Cpu().AddRegion(0, 0x400, RegionType::ROM);
  fresh.Cpu().AddRegion(0x1000, 0x1000, RegionType::RAM);
  for (size_t i = 0; i < c.program->size(); ++i) {
    fresh.Cpu().WriteMem(static_cast<uint32_t>(i), (*c.program)[i]);
  }
  fresh.Cpu().Reset();
  for (uint64_t i = 0; i < c.at; ++i) fresh.Cpu().Step();
  reverse.Present();
  EXPECT_EQ(static_cast<const CpuState&>(s.Cpu()), static_cast<const CpuState&>(fresh.Cpu()));
  EXPECT_FALSE(s.History().InPast());
}

INSTANTIATE_TEST_SUITE_P(Cases, ReverseTableTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// With the budget full, the oldest history is gone: a step out whose CALL lies before it stops
// at the start of what is left.
TEST(ReverseTest, StepOutBackInTrimmedHistoryStopsAtItsStart) {
  Session s;
  s.Cpu().AddRegion(0, 0x400, RegionType::ROM);
  s.Cpu().AddRegion(0x1000, 0x1000, RegionType::RAM);
  for (size_t i = 0; i < kNoReturn.size(); ++i) {
    s.Cpu().WriteMem(static_cast<uint32_t>(i), kNoReturn[i]);
  }
  s.History().SetEnabled(true);
  s.History().SetInterval(100);
  s.History().SetBudget(1);  // room for the latest snapshot only
  s.Cpu().Reset();
  s.Cpu().RunBatch(1050);
  ASSERT_EQ(s.History().First(), 1000u);
  Reverse reverse(s);
  const ReverseStop stop = reverse.StepOutBack();
  EXPECT_EQ(stop.why, ReverseWhy::StartOfHistory);
  EXPECT_EQ(s.History().Now(), 1000u);
  EXPECT_EQ(s.Cpu().sp, 0x1801u);
  EXPECT_EQ(reverse.Describe(stop),
            "Start of history at 00000004 (instruction 1,000), 50 instructions back");
  EXPECT_EQ(reverse.StepBack().why, ReverseWhy::StartOfHistory);
  // Forward from there replays to the present and goes on live.
  s.Cpu().RunBatch(100);
  EXPECT_EQ(s.History().Now(), 1100u);
  EXPECT_FALSE(s.History().InPast());
  EXPECT_EQ(s.Cpu().r[5], (1100u - 2) / 2);  // one ADDI every two instructions from the third
}

}  // namespace
}  // namespace tervik::debug
