// The assembler's pseudo-instructions, reservations, repeats and register aliases, and the
// messages for near misses and missing colons: the expansions run on the processor and must
// leave the value asked for; every mistake has its text, line and column, and no line that failed
// causes an error on another.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Assembler.h"
#include "TestMachine.h"

namespace tervik::test {
namespace {

using assembler::Assemble;
using assembler::Diagnostic;
using assembler::Result;
using enum Opcode;

// Runs an assembled program from `start` until pc reaches `halt` (at most 1000 steps).
void RunTo(Machine& m, const Result& r, uint32_t start, uint32_t halt) {
  for (const assembler::Word& w : r.words) m.cpu.WriteMem(w.address, w.value);
  m.cpu.SetPC(start);
  for (int i = 0; i < 1000 && m.cpu.pc != halt; ++i) m.cpu.Step();
  EXPECT_EQ(m.cpu.pc, halt);
}

std::string HexText(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "H#%X", v);
  return buf;
}

// LI loads every value: one word where MOVEL (sign-extended) or MOVEH (lower half clear) alone
// can, two otherwise, and always two when the value is defined further down.
TEST(AssemblerPseudo, LoadsEveryValueInOneOrTwoWords) {
  struct Case {
    uint32_t value;
    size_t words;
  };
  const Case cases[] = {
      {0, 1},          {1, 1},          {0x7FFF, 1},     {0x8000, 2},     {0xFFFF, 2},
      {0x10000, 1},    {0x12340000, 1}, {0x12345678, 2}, {0x1234FFFF, 2}, {0x00018000, 2},
      {0x7FFF8000, 2}, {0x7FFFFFFF, 2}, {0x80000000, 1}, {0x80007FFF, 2}, {0xFFFF7FFF, 2},
      {0xFFFF8000, 1}, {0xFFFFFFFF, 1}, {0xFFFE8000, 2}, {0xFFFF0000, 1}, {0x00FF00FF, 2},
  };
  for (const Case& c : cases) {
    for (const bool below : {false, true}) {
      SCOPED_TRACE(HexText(c.value) + (below ? " defined below" : ""));
      const std::string source =
          below ? "        LI R5,v\nhalt:   JUMPI halt%\nv EQU " + HexText(c.value) + "\n"
                : "        LI R5," + HexText(c.value) + "\nhalt:   JUMPI halt%\n";
      const Result r = Assemble(source);
      ASSERT_TRUE(r.errors.empty()) << r.errors[0].message;
      const size_t words = below ? 2 : c.words;
      ASSERT_EQ(r.words.size(), words + 1);
      Machine m;
      m.cpu.r[5] = 0xDEADBEEF;
      RunTo(m, r, 0, static_cast<uint32_t>(words));
      EXPECT_EQ(m.cpu.r[5], c.value);
    }
  }
  // Signed values, labels and expressions alike.
  const Result r = Assemble("LI R1,-1\nLI r2,-H#8001\nLI R3,end+H#10000\nend: DW 1 << 31");
  ASSERT_TRUE(r.errors.empty()) << r.errors[0].message;
  const std::vector<assembler::Word> expected = {
      {0, Movei(MoveiSub::MOVEL, 1, 0xFFFF), 1},
      {1, Movei(MoveiSub::MOVEH, 2, 0xFFFF), 2},
      {2, Rri(ADDI, 2, 2, 0x7FFF), 2},
      {3, Movei(MoveiSub::MOVEH, 3, 1), 3},
      {4, Rri(ADDI, 3, 3, 5), 3},
      {5, 0x80000000, 4},
  };
  EXPECT_EQ(r.words, expected);
}

// CALLTO and JUMPTO load the target into the register named, then CALL or JUMPr through it.
TEST(AssemblerPseudo, CallsAndJumpsThroughTheNamedRegister) {
  const Result r = Assemble(
      "        MVSPL H#1000%\n"
      "        CALLTO R9,near\n"  // 1..3: defined below, so MOVEH, ADDI and CALL
      "        CALLTO R9,far\n"   // 4..6
      "        JUMPTO R8,out\n"   // 7..9: MOVEH, ADDI and JUMPr
      "        JUMPI 0%\n"        // never reached
      "        ORG H#200\n"
      "near:   ADDI R1,R1,1\n"
      "        RET\n"
      "        ORG H#8800\n"
      "far:    ADDI R1,R1,H#10\n"
      "        RET\n"
      "out:    JUMPI out%\n");
  ASSERT_TRUE(r.errors.empty()) << r.errors[0].message;
  ASSERT_EQ(r.words.size(), 16u);
  EXPECT_EQ(r.words[3].value, Rrr(CALL, 0, 0, 9));
  EXPECT_EQ(r.words[9].value, Rrr(JUMPr, 0, 0, 8));
  Machine m;
  RunTo(m, r, 0, 0x8802);
  EXPECT_EQ(m.cpu.r[1], 0x11u);
  EXPECT_EQ(m.cpu.r[9], 0x8800u);
  EXPECT_EQ(m.cpu.r[8], 0x8802u);
  EXPECT_EQ(m.cpu.sp, 0x1000u);
}

TEST(AssemblerPseudo, ReservesAlignsRepeatsAndAliases) {
  const Result r = Assemble(
      "ptr     REG  R4\n"
      "count   REG  ptr\n"
      "N       EQU  2\n"
      "        NOP\n"                                  // 0
      "        SPACE 2\n"                              // 1, 2 kept free
      "        ALIGN 4\n"                              // 3 kept free
      "table:  DW   N*2 DUP (1+1), 2 dup \"ab\", 7\n"  // 4..11
      "        ALIGN 1\n"
      "        SPACE 0\n"
      "        ADD  ptr,count,R2\n"        // 12
      "        LOADI count,ptr,table\n");  // 13
  ASSERT_TRUE(r.errors.empty()) << r.errors[0].message;
  std::vector<uint32_t> addresses;
  std::vector<uint32_t> values;
  for (const assembler::Word& w : r.words) {
    addresses.push_back(w.address);
    values.push_back(w.value);
  }
  EXPECT_EQ(addresses, (std::vector<uint32_t>{0, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
  EXPECT_EQ(values, (std::vector<uint32_t>{0, 2, 2, 2, 2, 'a', 'b', 'a', 'b', 7, Rrr(ADD, 4, 4, 2),
                                           Rri(LOADI, 4, 4, 4)}));
  // Aliases are no symbols.
  ASSERT_EQ(r.symbols.size(), 2u);
  EXPECT_EQ(r.symbols[0].name, "N");
  EXPECT_EQ(r.symbols[1].name, "table");
}

struct ErrorCase {
  const char* source;
  unsigned line;
  unsigned column;
  const char* message;  // the whole message, or its start when it ends in "..."
};

TEST(AssemblerPseudo, ReportsMistakesOncePerLine) {
  const ErrorCase cases[] = {
      // Near misses and labels without their colon.
      {"MOVL R1,5", 1, 1, "unknown mnemonic 'MOVL': did you mean MOVE or MOVEL?"},
      {"moevl R1,5", 1, 1, "unknown mnemonic 'moevl': did you mean MOVEL?"},
      {"ADDD R1,R2,R3", 1, 1, "unknown mnemonic 'ADDD': did you mean ADD or ADDI?"},
      {"SPCE 4", 1, 1, "unknown mnemonic 'SPCE': did you mean SPACE?"},
      {"  loop ADD R1,R2,R3", 1, 3,
       "'loop' is no mnemonic, and labels need a colon: write 'loop:' before ADD"},
      {"x dw 1", 1, 1, "'x' is no mnemonic, and labels need a colon: write 'x:' before DW"},
      // The label is taken as meant: no line misses it.
      {"loop ADD R1,R2,R3\n JUMPI loop\n DW loop", 1, 1, "'loop' is no mnemonic..."},
      // A failed line's addresses are taken without an error on another line.
      {"ADDI R1,R1,70000\nORG 0\nNOP", 1, 12, "immediate 70000 out of range..."},
      {"FOO R1\nORG 0\nNOP", 1, 1, "unknown mnemonic 'FOO'..."},
      {"NOP\nORG 0\nADDI R1,R1,70000", 3, 12, "immediate 70000 out of range..."},
      {"SPACE 2\nORG 1\nNOP", 3, 1, "address 1 is reserved by line 1"},
      {"ORG 1\nNOP\nORG 0\nSPACE 3", 4, 1, "address 1 already holds a word from line 2"},
      // Reservations and repeats.
      {"SPACE -1", 1, 7, "SPACE -1 out of range: expected 0 to 1048576"},
      {"ALIGN 0", 1, 7, "ALIGN 0 out of range: expected 1 to 1048576"},
      {"SPACE later\nlater: NOP", 1, 7,
       "undefined label 'later': SPACE uses only labels defined above"},
      {"ORG H#FFFFF\nSPACE 2", 2, 1, "address 100000 out of range..."},
      {"SPACE", 1, 6, "expected a value after SPACE"},
      {"SPACE 1,2", 1, 9, "SPACE takes one value"},
      {"SPACE R1", 1, 7, "expected a value after SPACE, found a register"},
      {"ALIGN 4%", 1, 8, "unexpected '%': ALIGN takes a value"},
      {"x EQU 4%", 1, 8, "unexpected '%': EQU takes a value"},
      {"DW 0 DUP 1", 1, 4, "repeat count 0 out of range: expected 1 to 1048576"},
      {"DW 2 DUP", 1, 9, "expected a value or a string after DUP"},
      {"DW n DUP 1\nn EQU 2", 1, 4,
       "undefined label 'n': a repeat count uses only labels defined above"},
      {"DW H#80000 DUP 0, H#80001 DUP 0", 1, 1, "DW of more than 1048576 words..."},
      {"DW 2 DUP R1", 1, 10, "expected a value or a string, found a register"},
      {"dup: DW dup, 2 DUP dup", 1, 1, ""},
      // Pseudo-instructions.
      {"LI R1", 1, 4, "missing operand: LI takes Rd,value"},
      {"LI 5,R1", 1, 4, "expected a register R0 to R31 as operand 1: LI takes Rd,value"},
      {"CALLTO fn\nfn: RET", 1, 8,
       "expected a register R0 to R31 as operand 1: CALLTO takes Rt,target"},
      {"JUMPTO R1,2,3", 1, 13, "too many operands: JUMPTO takes Rt,target"},
      {"LI R1,5%", 1, 8, "unexpected '%': LI has no '%' after its immediate"},
      {"LI R1,H#100000000", 1, 7, "value out of range: 100000000 does not fit 32 bits..."},
      {"LI R1,a+b\na: NOP\nb: NOP", 1, 7, "an expression may add one label..."},
      {"LI R1,\"ab\"", 1, 7, "a string is only allowed after DW"},
      // Register aliases.
      {"ptr REG 5", 1, 9, "expected a register R0 to R31 (or an alias defined above) after REG"},
      {"ptr REG", 1, 8, "expected a register R0 to R31 (or an alias defined above) after REG"},
      {"ptr REG R1\nADDI R1,R1,ptr", 2, 12,
       "expected an immediate as operand 3, found register R1: ADDI takes Rd,Ra,imm"},
      {"ptr REG R1\nORI R1,R1,1+ptr", 2, 13,
       "'ptr' is register R1 (REG), not a value: an expression takes no registers"},
      {"ptr REG R1\nDW ptr+1", 2, 4, "'ptr' is a register, not a value..."},
      {"ptr REG R1\nptr: NOP", 2, 1,
       "duplicate label 'ptr': first defined on line 1 as a register alias"},
      {"x: NOP\nx REG R1", 2, 1, "duplicate name 'x': first defined on line 1"},
      {"p REG R1\np REG R2", 2, 1, "duplicate name 'p': first defined on line 1"},
      {"SP REG R1", 1, 1, "'SP' is a register name, not a register alias..."},
      {"ADD ptr,R1,R2\nptr REG R3", 1, 5, "expected a register R0 to R31 as operand 1..."},
      // Near misses of labels, constants and aliases (names match case-sensitively).
      {"loop: NOP\nJUMPI lop", 2, 7, "undefined label 'lop': did you mean loop?"},
      {"count EQU 3\nDW Count", 2, 4, "undefined label 'Count': did you mean count?"},
      {"N2: NOP\nN1 EQU 1\nDW N3", 3, 4, "undefined label 'N3': did you mean N1 or N2?"},
      {"x: NOP\nORG y", 2, 5,
       "undefined label 'y': ORG and EQU use only labels defined above; did you mean x?"},
      {"ptr REG R4\nLOADI R1,prt,0", 2, 10,
       "expected a register R0 to R31 as operand 2: LOADI takes Rd,Ra,imm; did you mean ptr?"},
      {"first REG R4\nADD R1,R2,frist", 2, 11,
       "expected a register R0 to R31 as operand 3: ADD takes Rd,Ra,Rb; did you mean first?"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.source);
    const Result r = Assemble(c.source);
    if (*c.message == '\0') {
      EXPECT_TRUE(r.errors.empty()) << r.errors[0].message;
      continue;
    }
    ASSERT_EQ(r.errors.size(), 1u) << r.errors.back().line << ": " << r.errors.back().message;
    const Diagnostic& d = r.errors.front();
    EXPECT_EQ(d.line, c.line);
    EXPECT_EQ(d.column, c.column) << d.message;
    const std::string expected = c.message;
    if (expected.ends_with("...")) {
      EXPECT_EQ(d.message.rfind(expected.substr(0, expected.size() - 3), 0), 0u) << d.message;
    } else {
      EXPECT_EQ(d.message, expected);
    }
    EXPECT_TRUE(r.words.empty());
  }
}

}  // namespace
}  // namespace tervik::test
