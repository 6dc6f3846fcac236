// The assembler: encodings of every operand form, labels and expressions, directives and
// included files, the listing as the loader reads it, and the messages for the common mistakes.
#include <gtest/gtest.h>

#include <map>

#include "Assembler.h"
#include "Listing.h"
#include "SetupTestSupport.h"
#include "TestMachine.h"

namespace tervik::test {
namespace {

using assembler::Assemble;
using assembler::Diagnostic;
using assembler::Result;
using enum Opcode;

// The words of a source that must assemble.
std::vector<uint32_t> Words(std::string_view source) {
  const Result r = Assemble(source);
  std::vector<uint32_t> words;
  for (const Diagnostic& d : r.errors) {
    ADD_FAILURE() << d.line << ":" << d.column << ": " << d.message << "\n in: " << source;
  }
  for (const assembler::Word& w : r.words) words.push_back(w.value);
  return words;
}

struct EncodingCase {
  const char* text;
  uint32_t word;
};

TEST(Assembler, EncodesEveryOperandForm) {
  const EncodingCase cases[] = {
      {"NOP", 0},
      {"RET", Op(RET)},
      {"RETI", Op(RETI)},
      {"ADD\tR1,R2,R3", 0x14220003},
      {"add r1, r2, r3", 0x14220003},  // case and blanks do not matter
      {"NOT R1,R2", Rrr(NOT, 1, 0, 2)},
      {"STORE R3,R9", Rrr(STORE, 0, 3, 9)},
      {"JUMP R31", Rrr(JUMP, 0, 0, 31)},
      {"POP R7", Rrr(POP, 7, 0, 0)},
      {"BrNE R4,R5", Rrr(BrNE, 0, 4, 5)},
      {"ADDI R3,R3,H#FFFE", 0x9463FFFE},
      {"ADDI R3,R3,-2", 0x9463FFFE},
      {"ANDI R1,R2,65535", Rri(ANDI, 1, 2, 0xFFFF)},
      {"ORI R1,R2,-32768", Rri(ORI, 1, 2, 0x8000)},
      {"NOTI R6,H#7", Rri(NOTI, 6, 0, 7)},
      {"STOREI R2,'A'", Rri(STOREI, 0, 2, 'A')},
      {"STOREI R2,'\\n'", Rri(STOREI, 0, 2, 10)},
      {"BZEI R4,H#FFFE%", 0xB004FFFE},
      {"BZEI R4,H#FFFE", 0xB004FFFE},  // the '%' may be left out
      {"JUMPI H#0%", Rri(JUMPI, 0, 0, 0)},
      {"JUMPrI 0x7FFF%", Rri(JUMPrI, 0, 0, 0x7FFF)},
      {"PUSHI -1", Rri(PUSHI, 0, 0, 0xFFFF)},
      {"RANDOMSETI H#1%", Rri(RANDOMSETI, 0, 0, 1)},
      {"BITSETI R1,R1,H#5%", Rri(BITSETI, 1, 1, 5)},
      {"BITCLEARI R2,R3,31", Rri(BITCLEARI, 2, 3, 31)},
      {"MOVEL R1,H#1000%", Movei(MoveiSub::MOVEL, 1, 0x1000)},
      {"SETMASK H#FF%", 0xEC0200FF},
      {"MVSPL H#1F00%", Movei(MoveiSub::MVSPL, 0, 0x1F00)},
      {"MVNZCOU R5", Movei(MoveiSub::MVNZCOU, 5, 0)},
      {"MOVEH R3,H#1234%", 0xEC701234},
      {"MOVEH R3,-1%", Movei(MoveiSub::MOVEH, 3, 0xFFFF)},
      {"MVSPH H#8000%", Movei(MoveiSub::MVSPH, 0, 0x8000)},
      {"ADDI R1,R1,2+3-1", Rri(ADDI, 1, 1, 4)},
      {"ADDI R1,R1,'a'-'A'", Rri(ADDI, 1, 1, 32)},
      // The debugger's expression language: C's operators and precedence, HI and LO.
      {"ADDI R1,R1,(2+3)*4", Rri(ADDI, 1, 1, 20)},
      {"ADDI R1,R1,2+3*4", Rri(ADDI, 1, 1, 14)},
      {"ANDI R1,R1,0b1010", Rri(ANDI, 1, 1, 10)},
      {"ORI R1,R1,1<<4|1", Rri(ORI, 1, 1, 17)},
      {"XORI R1,R1,H#F0^H#FF", Rri(XORI, 1, 1, 0x0F)},
      {"ANDI R1,R1,H#F0&H#3C", Rri(ANDI, 1, 1, 0x30)},
      {"ADDI R1,R1,17>>2", Rri(ADDI, 1, 1, 4)},
      {"ADDI R1,R1,100/7%3", Rri(ADDI, 1, 1, 2)},
      {"ADDI R1,R1,-(3)", Rri(ADDI, 1, 1, 0xFFFD)},
      {"ADDI R1,R1,~0", Rri(ADDI, 1, 1, 0xFFFF)},
      {"ADDI R1,R1,-7/2", Rri(ADDI, 1, 1, 0xFFFD)},  // toward zero
      {"MOVEH R1,HI(H#12345678)%", Movei(MoveiSub::MOVEH, 1, 0x1234)},
      {"ORI R1,R1,lo(H#12345678)", Rri(ORI, 1, 1, 0x5678)},
      {"MOVEL R1,( H#10 )%", Movei(MoveiSub::MOVEL, 1, 0x10)},
      {"MOVEL R1, H#10 %", Movei(MoveiSub::MOVEL, 1, 0x10)},
      {"STOREI R2,','", Rri(STOREI, 0, 2, ',')},  // a comma in a character literal
      {"STOREI R2,';'", Rri(STOREI, 0, 2, ';')},  // not a comment
  };
  for (const EncodingCase& c : cases) {
    EXPECT_EQ(Words(c.text), std::vector<uint32_t>{c.word}) << c.text;
  }
}

TEST(Assembler, LabelsAreOffsetsForRelativeBranchesAndAddressesElsewhere) {
  const char* source =
      "        ORG   10\n"
      "back:   NOP\n"
      "        BZEI  R1,back%      ; at 11: offset -1\n"
      "        BrZEI R1,back%      ; absolute\n"
      "        JUMPI ahead         ; at 13: offset +2\n"
      "        MOVEL R2,ahead+2%\n"
      "ahead:  JUMPI ahead%        ; offset 0\n"
      "        LOADI R1,R0,ahead-1\n";
  EXPECT_EQ(Words(source), (std::vector<uint32_t>{
                               0,
                               Rri(BZEI, 0, 1, 0xFFFF),
                               Rri(BrZEI, 0, 1, 10),
                               Rri(JUMPI, 0, 0, 2),
                               Movei(MoveiSub::MOVEL, 2, 17),
                               Rri(JUMPI, 0, 0, 0),
                               Rri(LOADI, 1, 0, 14),
                           }));
}

// A value is an address (a label, plus or minus plain numbers) or a plain number (the
// difference of two labels, HI and LO of anything, the result of any other operator).
TEST(Assembler, ExpressionsTellAddressesFromNumbers) {
  const char* source =
      "        ORG   H#10\n"
      "start:  MOVEH R1,HI(table)%\n"      // 0x10
      "        ORI   R1,R1,LO(table)\n"    // 0x11
      "        BZEI  R1,start+1%\n"        // 0x12: an address, so an offset: -1
      "        BZEI  R1,(end-table)/2%\n"  // 0x13: a plain number: the offset itself, 2
      "        LOADI R2,R0,table+2*2\n"    // 0x14
      "table:  DW    end-table, table, -table+end+table, 2*table\n"  // 0x15..0x18
      "end:    DW    HI(end) << 16 | LO(end)\n";                     // 0x19
  EXPECT_EQ(Words(source), (std::vector<uint32_t>{
                               Movei(MoveiSub::MOVEH, 1, 0),
                               Rri(ORI, 1, 1, 0x15),
                               Rri(BZEI, 0, 1, 0xFFFF),
                               Rri(BZEI, 0, 1, 2),
                               Rri(LOADI, 2, 0, 0x19),
                               4,
                               0x15,
                               0x19,
                               0x2A,
                               0x19,
                           }));
}

TEST(Assembler, DirectivesPlaceDataAndConstants) {
  const Result r = Assemble(
      "SIZE    EQU  3\n"
      "BASE    EQU  H#20+SIZE\n"
      "        ORG  BASE\n"
      "first:  DW   \"ab\", -1, first, end-first, 'c', H#FFFFFFFF\n"
      "end:    DW   SIZE\n"
      "        ORG  2\n"
      "        JUMPI first\n");
  ASSERT_TRUE(r.errors.empty()) << r.errors.front().message;
  const std::vector<assembler::Word> expected = {
      {0x23, 'a', 4},        {0x24, 'b', 4}, {0x25, 0xFFFFFFFF, 4},
      {0x26, 0x23, 4},       {0x27, 7, 4},   {0x28, 'c', 4},
      {0x29, 0xFFFFFFFF, 4}, {0x2A, 3, 5},   {2, Rri(JUMPI, 0, 0, 0x21), 7},
  };
  EXPECT_EQ(r.words, expected);
}

// Sources are UTF-8: a byte-order mark before the first line is skipped, and a string gives one
// word per Unicode character (its code point), as a character literal gives one.
TEST(Assembler, ReadsUtf8TextAsCharacters) {
  const struct {
    const char* source;
    std::vector<uint32_t> words;
  } cases[] = {
      {"\xEF\xBB\xBFNOP", {Op(NOP)}},
      {"\xEF\xBB\xBF; comment\r\n  DW 1", {1}},
      {"DW \"\xC3\xA9t\xC3\xA9\"", {0xE9, 't', 0xE9}},
      {"DW \"\xE2\x82\xAC\xF0\x9F\x98\x80\\n\"", {0x20AC, 0x1F600, '\n'}},
      {"DW 2 DUP \"\xC3\xBC\", '\xC3\xBC'", {0xFC, 0xFC, 0xFC}},
      {"DW H#10% + 1, H#10 % 3, 10%3", {17, 1, 1}},
  };
  for (const auto& c : cases) EXPECT_EQ(Words(c.source), c.words) << c.source;
  // A mark anywhere but at the start is an error, as any stray character.
  const Result r = Assemble("NOP \xEF\xBB\xBF");
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].column, 5u);
}

// The listing is what the loader reads: words at their addresses and the source comments.
TEST(Assembler, ListingLoadsIntoMemoryWithItsComments) {
  const char* source =
      "; a heading line, not a word\n"
      "start:  MOVEL R1,H#5%    ; five\n"
      "loop:   SUBBI R1,R1,1\r\n"
      "        BNZEI R1,loop%   ;  count down  \n"
      "        ORG   H#1000\n"
      "data:   DW    \"hi;\", 7 ; text\n";
  const Result r = Assemble(source);
  ASSERT_TRUE(r.errors.empty());
  ExpectGolden("listing.lst", r.listing);

  TempDir dir;
  Processor cpu;
  cpu.AddRegion(0, 0x2000, RegionType::RAM);
  ListingMap comments;
  RecordingConsole console;
  LoadListing(dir.Write("a.lst", r.listing), cpu, comments, console);
  EXPECT_TRUE(console.lines.empty());
  for (const assembler::Word& w : r.words) EXPECT_EQ(cpu.ReadMem(w.address), w.value);
  EXPECT_EQ(comments.Comment(0), "; five");
  EXPECT_EQ(comments.Comment(1), "");
  EXPECT_EQ(comments.Comment(2), ";  count down");
  // The loader takes the first ';' of the line, so the string's own ';' starts the comment.
  EXPECT_EQ(comments.Comment(0x1000), ";\", 7 ; text");
  EXPECT_EQ(comments.Comment(0x1001), "");  // later words of a DW line carry no source
  EXPECT_EQ(comments.size(), 3u);
}

// The symbol file records the words whose operand the source wrote with a symbol, and only
// those: each word of LI and CALLTO but not its CALL, neither data words nor numbers that happen
// to equal a label's address.
TEST(Assembler, SymbolFileRecordsTheWordsWrittenWithASymbol) {
  const char* source =
      "COUNT   EQU   H#1000\n"
      "start:  MOVEL R1,H#0%        ; 0: a number, though start is 0\n"
      "        MOVEL R9,fact%       ; 1: fact\n"
      "        MOVEL R2,7%          ; 2: a number, though fact is 7\n"
      "        CALLTO R8,fact       ; 3 MOVEH, 4 ADDI (fact lies below), 5 CALL\n"
      "        LI    R3,COUNT+2     ; 6: MOVEL of a constant\n"
      "fact:   BNZEI R1,fact%       ; 7: a branch\n"
      "        DW    fact, 7        ; 8, 9: data\n"
      "        ADDI  R4,R4,end-fact ; 10: the difference of two labels\n"
      "end:    JUMPI start          ; 11\n";
  const Result r = Assemble(source);
  ASSERT_TRUE(r.errors.empty()) << r.errors.front().message;
  ExpectGolden("symbols.sym", FormatSymbolFile(r.symbols, std::nullopt, r.uses));
  // Older readers' symbols are all there, and the uses read back as written.
  const SymbolFileResult back = ParseSymbolFile(FormatSymbolFile(r.symbols, std::nullopt, r.uses));
  EXPECT_EQ(back.table.Entries(), r.symbols);
  EXPECT_EQ(back.table.Uses(), r.uses);
  EXPECT_TRUE(back.errors.empty());
  for (uint32_t a = 0; a < 12; ++a) {
    const bool expected = a == 1 || a == 3 || a == 4 || a == 6 || a == 7 || a == 10 || a == 11;
    EXPECT_EQ(back.table.WrittenWithSymbol(a), expected) << a;
  }
}

struct ErrorCase {
  const char* source;
  unsigned line;
  unsigned column;
  const char* message;  // the start of the message
};

TEST(Assembler, ReportsCommonMistakesWithLineAndColumn) {
  const ErrorCase cases[] = {
      {"  FOO R1", 1, 3, "unknown mnemonic 'FOO'"},
      {"ADD R1,R2,R32", 1, 11, "bad register 'R32': expected R0 to R31"},
      {"ADD R1,R2,R100", 1, 11, "bad register 'R100'"},
      {"ADD R1,R2,5", 1, 11, "expected a register R0 to R31 as operand 3: ADD takes Rd,Ra,Rb"},
      {"ADDI R1,R2,R3", 1, 12, "expected an immediate as operand 3, found register R3"},
      {"ADD R1,R2", 1, 8, "missing operand: ADD takes Rd,Ra,Rb"},
      {"NOP R1", 1, 5, "too many operands: NOP takes no operands"},
      {"ADD R1,R2,R3 R4", 1, 14, "unexpected 'R': expected ',' or the end of the line"},
      {"ADD R1,,R3", 1, 8, "expected an immediate"},
      {"ADDI R1,R1,70000", 1, 12, "immediate 70000 out of range: expected -32768 to 65535"},
      {"ADDI R1,R1,-32769", 1, 12, "immediate -32769 out of range"},
      {"MOVEH R1,H#10000%", 1, 10, "immediate 65536 out of range"},
      {"BITSETI R1,R1,32%", 1, 15, "bit number 32 out of range: expected 0 to 31"},
      {"ADDI R1,R1,1%", 1, 13, "unexpected '%': ADDI has no '%' after its immediate"},
      {"JUMPI nowhere", 1, 7, "undefined label 'nowhere'"},
      {"a: NOP\n\na:  NOP", 3, 1, "duplicate label 'a': first defined on line 1"},
      {"BZEI R1,far%\n ORG H#9000\nfar: NOP", 1, 9, "branch target out of range: offset 36864"},
      {"BrZEI R1,far%\n ORG H#8000\nfar: NOP", 1, 10, "address 8000 out of range"},
      {"MOVEL R1,x+1%\nx EQU H#7FFF+0", 1, 10, ""},  // a plain number: 0x8000 is raw bits
      {"R5: NOP", 1, 1, "'R5' is a register name, not a label"},
      {"ORG H#100000", 1, 5, "address 100000 out of range: expected 0 to FFFFF"},
      {"ORG H#FFFFF\nDW 1,2", 2, 1, "address 100000 out of range"},
      {"NOP\nORG 0\nNOP", 3, 1, "address 0 already holds a word from line 1"},
      {"ORG later\nlater: NOP", 1, 5, "undefined label 'later': ORG and EQU use only labels"},
      {"DW \"abc", 1, 4, "unterminated string"},
      {"DW 'ab'", 1, 4, "a character literal holds exactly one character"},
      {"DW '\\q'", 1, 5, "unknown escape '\\q'"},
      {"DW \"a\\qb\"", 1, 6, "unknown escape '\\q'"},
      {"DW H#100000000", 1, 4, "value out of range: 100000000 does not fit 32 bits"},
      // The value of an expression is a 32-bit word (read signed or unsigned), reported at the
      // operator that made it; never a wrap. Partial results are exact (the debugger's rule).
      {"a EQU H#80000000\nb EQU a+a", 2, 8, "value out of range: 100000000 does not fit 32 bits"},
      {"DW H#FFFFFFFF+1", 1, 14, "value out of range: 100000000"},
      {"DW H#FFFFFFFF+1-1", 1, 1, ""},
      {"DW -H#80000000-1", 1, 15, "value out of range: -80000001"},
      {"DW 0-H#80000000-H#80000000", 1, 16, "value out of range: -100000000"},
      {"DW -x\nx EQU -H#80000000", 1, 1, ""},  // the lowest word negated is still a word
      {"DW -H#80000000, H#FFFFFFFF-H#FFFFFFFF+H#FFFFFFFF", 1, 1, ""},
      {"DW 12AB", 1, 6, "unexpected 'A' in a number"},
      {"DW H#", 1, 6, "expected hex digits after 'H#'"},
      {"DW R1", 1, 4, "expected a value or a string, found a register"},
      {"DW", 1, 3, "expected a value or a string after DW"},
      {"DW a+b\na: NOP\nb: NOP", 1, 4, "an expression may add one label"},
      {"ADDI R1,R1,\"x\"", 1, 12, "a string is only allowed after DW"},
      // Expressions: the debugger's errors at their columns in the line.
      {"ADDI R1,R1,(1+2", 1, 16, "expected ')'"},
      {"ADDI R1,R1,1+", 1, 14, "expected an expression"},
      {"ADDI R1,R1,2 3", 1, 14, "unexpected '3'"},
      {"DW 1/0", 1, 5, "division by zero"},
      {"DW 1<<64", 1, 5, "value out of range"},
      {"DW 0b102", 1, 8, "unexpected '2' in a number"},
      {"DW 0b", 1, 6, "expected binary digits after '0b'"},
      {"ADDI R1,R1,R2+1", 1, 12, "'R2' is a register, not a value"},
      {"MOVEL R1,1+sp%", 1, 12, "'sp' is a register, not a value"},
      {"DW M[0]", 1, 4, "M[...] reads memory"},
      {"DW R40+1", 1, 4, "bad register 'R40'"},
      {"a: NOP\nDW a+a", 2, 4, "an expression may add one label"},
      {"a: NOP\nDW 0-a", 2, 4, "an expression may add one label"},
      {"ORG 1+later\nlater: NOP", 1, 7, "undefined label 'later': ORG and EQU use only labels"},
      // Names the debugger reads as registers cannot be labels.
      {"SP: NOP", 1, 1, "'SP' is a register name, not a label: the debugger's expressions read"},
      {"lfsr EQU 1", 1, 1, "'lfsr' is a register name, not a constant"},
      {"sr.z: NOP", 1, 1, "'sr.z' is a register name, not a label"},
      {"R100: NOP", 1, 1, "'R100' is a register name, not a label"},
      {"N: NOP\nZ EQU 1\nM: DW N+Z+M-M\nHI: DW HI", 1, 1, ""},  // names unless [ or ( follows
      {"  , NOP", 1, 3, "expected a label, a mnemonic or a directive, found ','"},
      {"; 0001A 00000100001000100000000000000101", 1, 1, "this line would be read as a word"},
      // The lowest 64-bit value out of range (its magnitude once overflowed in the message).
      {"DW -9223372036854775807-1", 1, 24, "value out of range: -8000000000000000 does not fit"},
      {"ORG -9223372036854775807-1", 1, 25, "value out of range: -8000000000000000 does not"},
      {"DW -H#7FFFFFFFFFFFFFFF", 1, 4, "value out of range: -7FFFFFFFFFFFFFFF does not fit"},
      // '%' right after an H# number is its mark, never the remainder.
      {"ADDI R1,R1,H#10%3", 1, 16, "'%' right after an H# number is its mark"},
      // Strings and characters are UTF-8.
      {"DW \"a\xC3\"", 1, 6, "invalid UTF-8 in a string"},
      {"DW \"\xE9t\xE9\"", 1, 5, "invalid UTF-8 in a string"},
      {"DW '\xE9'", 1, 5, "invalid UTF-8 in a character literal"},
      {"INCLUDE \"\xE9.inc\"", 1, 9, "INCLUDE reads files"},  // a file name is bytes
  };
  for (const ErrorCase& c : cases) {
    const Result r = Assemble(c.source);
    if (*c.message == '\0') {
      EXPECT_TRUE(r.errors.empty()) << c.source;
      continue;
    }
    ASSERT_EQ(r.errors.size(), 1u) << c.source;
    const Diagnostic& d = r.errors.front();
    EXPECT_EQ(d.line, c.line) << c.source;
    EXPECT_EQ(d.column, c.column) << c.source << ": " << d.message;
    EXPECT_EQ(d.message.rfind(c.message, 0), 0u) << c.source << ": " << d.message;
    EXPECT_TRUE(r.listing.empty());
    EXPECT_TRUE(r.words.empty());
  }
}

TEST(Assembler, ReportsEveryBadLineInSourceOrder) {
  const Result r = Assemble("JUMPI later\nFOO\nlater: ADD R1\n\tBAR R1");
  ASSERT_EQ(r.errors.size(), 3u);
  EXPECT_EQ(r.errors[0], (Diagnostic{2, 1,
                                     "unknown mnemonic 'FOO': expected an instruction, a "
                                     "pseudo-instruction (LI, CALLTO, JUMPTO) or a directive "
                                     "(ORG, DW, EQU, REG, SPACE, ALIGN)",
                                     ""}));
  EXPECT_EQ(r.errors[1].line, 3u);
  EXPECT_EQ(r.errors[2].line, 4u);
  EXPECT_EQ(r.errors[2].column, 2u);
  EXPECT_EQ(assembler::FormatDiagnostic("demo.asm", r.errors[0]),
            "demo.asm:2:1: error: unknown mnemonic 'FOO': expected an instruction, a "
            "pseudo-instruction (LI, CALLTO, JUMPTO) or a directive (ORG, DW, EQU, REG, SPACE, "
            "ALIGN)");

  // EQUs doubling 80000000 forty times once wrapped the 64-bit sum round to 0, so "DW x40+5"
  // gave 5. The first doubling is the error; every later line names what it lacks.
  std::string chain = "x0 EQU H#80000000\n";
  for (int i = 1; i <= 40; ++i) {
    const std::string prev = std::to_string(i - 1);
    chain.append("x").append(std::to_string(i)).append(" EQU x").append(prev);
    chain.append("+x").append(prev).append("\n");
  }
  chain += "DW x40+5\n";
  const Result wrapped = Assemble(chain);
  ASSERT_EQ(wrapped.errors.size(), 41u);
  EXPECT_EQ(wrapped.errors[0],
            (Diagnostic{
                2, 10, "value out of range: 100000000 does not fit 32 bits (-80000000 to FFFFFFFF)",
                ""}));
  EXPECT_EQ(wrapped.errors[40].message.rfind("undefined label 'x40'", 0), 0u);
  EXPECT_TRUE(wrapped.words.empty());
}

// Included files from memory; records which paths were asked for.
struct FakeFiles {
  std::map<std::string, std::string> files;
  std::vector<std::string> asked;

  assembler::IncludeReader Reader() {
    return [this](const std::string& path, std::string& error) -> std::optional<std::string> {
      asked.push_back(path);
      const auto it = files.find(path);
      if (it == files.end()) {
        error = "No such file or directory";
        return std::nullopt;
      }
      return it->second;
    };
  }
};

TEST(Assembler, IncludedLinesTakeTheirPlaceInAddressesSymbolsAndListing) {
  FakeFiles fs;
  fs.files["src/lib/check.inc"] = "check:  ADDI R1,R1,1\n        INCLUDE \"ret.inc\"\n";
  fs.files["src/lib/ret.inc"] = "        RET             ; back\n";
  const Result r = Assemble(
      "        ORG H#10\n"
      "        CALL R2\n"
      "        INCLUDE \"lib/check.inc\" ; the shared routine\n"
      "        DW check\n",
      "src/main.asm", fs.Reader());
  ASSERT_TRUE(r.errors.empty()) << r.errors[0].message;
  EXPECT_EQ(fs.asked, (std::vector<std::string>{"src/lib/check.inc", "src/lib/ret.inc"}));
  // The words follow one another across the files, each with the line of its own file and
  // that file's index in the files read.
  const std::vector<assembler::Word> expected = {
      {0x10, Rrr(CALL, 0, 0, 2), 2, 0},
      {0x11, Rri(ADDI, 1, 1, 1), 1, 1},
      {0x12, Op(RET), 1, 2},
      {0x13, 0x11, 4, 0},
  };
  EXPECT_EQ(r.words, expected);
  EXPECT_EQ(r.files,
            (std::vector<std::string>{"src/main.asm", "src/lib/check.inc", "src/lib/ret.inc"}));
  const std::string listing = r.listing;
  const size_t include = listing.find("INCLUDE \"lib/check.inc\"");
  const size_t routine = listing.find("check:  ADDI");
  const size_t back = listing.find("RET             ; back");
  ASSERT_NE(include, std::string::npos);
  EXPECT_LT(include, routine);
  EXPECT_LT(routine, back);
  EXPECT_LT(back, listing.find("DW check"));
}

TEST(Assembler, IncludeMistakesNameTheFileAndLine) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> files;
    const char* source;
    Diagnostic expected;
  };
  const Case cases[] = {
      {"missing file",
       {},
       "NOP\nINCLUDE \"gone.inc\"",
       {2, 9, "cannot read 'gone.inc': No such", ""}},
      {"no quotes", {}, "INCLUDE gone.inc", {1, 9, "expected a file name in double quotes", ""}},
      {"empty name", {}, "INCLUDE \"\"", {1, 9, "expected a file name", ""}},
      {"after a label", {}, "here: INCLUDE \"a.inc\"", {1, 7, "INCLUDE stands on a line", ""}},
      {"more after the name", {}, "INCLUDE \"a.inc\" NOP", {1, 17, "unexpected 'N'", ""}},
      {"error inside",
       {{"a.inc", "NOP\n  FOO R1\n"}},
       "INCLUDE \"a.inc\"",
       {2, 3, "unknown mnemonic 'FOO'", "a.inc"}},
      {"includes itself",
       {{"a.inc", "NOP\nINCLUDE \"./a.inc\"\n"}},
       "INCLUDE \"a.inc\"",
       {2, 9, "'a.inc' is already being included", "a.inc"}},
      {"label defined twice",
       {{"a.inc", "NOP\nx: NOP\n"}},
       "INCLUDE \"a.inc\"\nx: NOP",
       {2, 1, "duplicate label 'x': first defined on a.inc:2", ""}},
      {"word placed twice",
       {{"a.inc", "NOP\n"}},
       "INCLUDE \"a.inc\"\nORG 0\nNOP",
       {3, 1, "address 0 already holds a word from a.inc:1", ""}},
  };
  for (const Case& c : cases) {
    FakeFiles fs;
    fs.files = c.files;
    const Result r = Assemble(c.source, "main.asm", fs.Reader());
    ASSERT_EQ(r.errors.size(), 1u) << c.name << ": " << r.errors.back().message;
    const Diagnostic& d = r.errors[0];
    EXPECT_EQ(d.file, c.expected.file) << c.name;
    EXPECT_EQ(d.line, c.expected.line) << c.name;
    EXPECT_EQ(d.column, c.expected.column) << c.name << ": " << d.message;
    EXPECT_EQ(d.message.rfind(c.expected.message, 0), 0u) << c.name << ": " << d.message;
    EXPECT_TRUE(r.listing.empty()) << c.name;
  }
}

// An error in an included file names the INCLUDE lines that brought it in, innermost first; a
// file that includes itself through another is refused there.
TEST(Assembler, IncludedErrorsShowTheirIncludeChain) {
  FakeFiles fs;
  fs.files["lib/a.inc"] = "NOP\n  INCLUDE \"b.inc\"\n";
  fs.files["lib/b.inc"] = "MOVL R1,2\nINCLUDE \"a.inc\"\n";
  const Result r = Assemble("NOP\n INCLUDE \"lib/a.inc\"", "main.asm", fs.Reader());
  ASSERT_EQ(r.errors.size(), 2u);
  const std::vector<assembler::SourcePlace> chain = {{"lib/a.inc", 2, 11}, {"", 2, 10}};
  EXPECT_EQ(r.errors[0], (Diagnostic{1, 1, "unknown mnemonic 'MOVL': did you mean MOVE or MOVEL?",
                                     "lib/b.inc", chain}));
  EXPECT_EQ(r.errors[1].message.rfind("'lib/a.inc' is already being included", 0), 0u);
  EXPECT_EQ(r.errors[1].includedFrom, chain);
  EXPECT_EQ(assembler::FormatDiagnostic("main.asm", r.errors[0]),
            "lib/b.inc:1:1: error: unknown mnemonic 'MOVL': did you mean MOVE or MOVEL?\n"
            "lib/a.inc:2:11: note: included from here\n"
            "main.asm:2:10: note: included from here");
}

// Files that include one another many times over (16 files, each including the next three
// times: 3^15 copies) end at the limit on included lines, each file read once.
TEST(Assembler, IncludeFanOutEndsAtTheLineLimit) {
  FakeFiles fs;
  for (int i = 0; i < 16; ++i) {
    const std::string next = "INCLUDE \"f" + std::to_string(i + 1) + ".inc\"\n";
    fs.files["f" + std::to_string(i) + ".inc"] = i == 15 ? "NOP\n" : next + next + next;
  }
  const Result r = Assemble("INCLUDE \"f0.inc\"", "main.asm", fs.Reader());
  ASSERT_EQ(r.errors.size(), 1u);
  const Diagnostic& d = r.errors[0];
  EXPECT_EQ(d.message,
            "INCLUDE adds more than 262144 lines in all (a file included again "
            "counts again)");
  EXPECT_EQ(d.column, 9u);
  ASSERT_FALSE(d.includedFrom.empty());
  EXPECT_EQ(d.includedFrom.back(), (assembler::SourcePlace{"", 1, 9}));
  // The INCLUDE line in fN.inc, which f0.inc ... f(N-1).inc and main.asm brought in.
  EXPECT_EQ(d.includedFrom.size(), std::stoul(d.file.substr(1)) + 1);
  EXPECT_EQ(fs.asked.size(), 16u);
  EXPECT_TRUE(r.listing.empty());
}

// Lines whose words overlap are reported from their ranges, before any word is encoded: 1000
// lines of a million words each at address 0 once took 12 bytes a word.
TEST(Assembler, OverlapsAreFoundBeforeTheWordsAreMade) {
  std::string source;
  for (int i = 0; i < 1000; ++i) source += "ORG 0\nDW H#100000 DUP 0\n";
  source += "ORG H#100\nNOP\n";
  const Result r = Assemble(source);
  ASSERT_EQ(r.errors.size(), 1000u);
  for (size_t i = 0; i + 1 < r.errors.size(); ++i) {
    EXPECT_EQ(r.errors[i], (Diagnostic{static_cast<unsigned>(2 * i + 4), 1,
                                       "address 0 already holds a word from line 2", ""}));
  }
  EXPECT_EQ(r.errors.back(),
            (Diagnostic{2002, 1, "address 100 already holds a word from line 2", ""}));
  // A line that overlaps keeps reporting its own mistakes.
  const Result both = Assemble("DW 2 DUP 0\nORG 1\nDW 3 DUP x");
  ASSERT_EQ(both.errors.size(), 1u);
  EXPECT_EQ(both.errors[0].message, "undefined label 'x'");
}

#if defined(__GNUC__) && !defined(__clang__)
// GCC 12 at -O3 reports a false -Wrestrict inside the inlined std::string insert behind
// "literal" + std::string (GCC bug 105329); the strings here never overlap.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
TEST(Assembler, IncludeChainsEndAtTheirDepthLimitAndNeedAReader) {
  FakeFiles fs;
  for (int i = 0; i < 40; ++i) {
    fs.files["f" + std::to_string(i) + ".inc"] = "INCLUDE \"f" + std::to_string(i + 1) + ".inc\"";
  }
  const Result deep = Assemble("INCLUDE \"f0.inc\"", "main.asm", fs.Reader());
  ASSERT_EQ(deep.errors.size(), 1u);
  EXPECT_NE(deep.errors[0].message.find("nested more than"), std::string::npos);
  EXPECT_EQ(fs.asked.size(), static_cast<size_t>(assembler::kMaxIncludeDepth));

  const Result none = Assemble("INCLUDE \"a.inc\"");
  ASSERT_EQ(none.errors.size(), 1u);
  EXPECT_EQ(none.errors[0].line, 1u);

  // A label may still be called "include".
  EXPECT_EQ(Words("include: JUMPI include%"), (std::vector<uint32_t>{Rri(JUMPI, 0, 0, 0)}));
  EXPECT_EQ(assembler::FormatDiagnostic("main.asm", {3, 4, "bad", "lib/a.inc"}),
            "lib/a.inc:3:4: error: bad");
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace
}  // namespace tervik::test
