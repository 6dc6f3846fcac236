// The expression language and the number parser: values of every number form, operator,
// operand and boundary against a small machine, and the error text with its column for every
// kind of mistake, at parse time and at evaluation time.
#include "Expression.h"
#include "ProcessorContext.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <string>

#include "Processor.h"

namespace tervik::debug {
namespace {

constexpr int64_t kMin64 = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max();

const std::map<std::string, int64_t, std::less<>>& Symbols() {
  static const std::map<std::string, int64_t, std::less<>> symbols = {
      {"loop", 0x40}, {"count", 10}, {"start.end", 0x20},  {"neg", -5},     {"C", 7},
      {"M", 3},       {"HI", 9},     {"big", 0x100000000}, {"min", kMin64}, {"_x1", 0x1001},
  };
  return symbols;
}

std::optional<int64_t> LookUp(std::string_view name) {
  const auto it = Symbols().find(name);
  if (it == Symbols().end()) return std::nullopt;
  return it->second;
}

// A processor with RAM at 0x1000..0x10FF and known registers, and the symbols above.
class ExpressionTest : public ::testing::Test {
 protected:
  ExpressionTest() : machine(cpu, LookUp), noMachine(LookUp) {
    cpu.AddRegion(0x1000, 0x100, RegionType::RAM);
    cpu.WriteMem(0x1000, 0x12345678);
    cpu.WriteMem(0x1002, 0x1000);  // a pointer to 0x1000
    cpu.r[1] = 0x10;
    cpu.r[2] = 0xFFFFFFFF;
    cpu.r[3] = 0x7FFFFFFF;
    cpu.r[4] = 0x80000000;
    cpu.r[31] = 0x600D;
    cpu.pc = 0x100;
    cpu.sp = 0x1F00;
    cpu.sr = Processor::kFlagN | Processor::kFlagC;
    cpu.im = 1;
    cpu.lfsr = 0xACE1;
  }

  Processor cpu;
  ProcessorContext machine;
  SymbolContext noMachine;
};

struct ValueCase {
  const char* text;
  int64_t value;
  bool withMachine = true;
};

TEST_F(ExpressionTest, Values) {
  const ValueCase cases[] = {
      // Number forms.
      {"0", 0},
      {"1", 1},
      {"007", 7},
      {"2147483647", 0x7FFFFFFF},
      {"0x80000000", 0x80000000},
      {"0XfFfFfFfF", 0xFFFFFFFF},
      {"H#FFF8", 0xFFF8},
      {"h#ff", 0xFF},
      {"H#FFF8%", 0xFFF8},
      {"0b1011", 11},
      {"0B0", 0},
      {"'A'", 65},
      {"' '", 32},
      {"'\\n'", 10},
      {"'\\\\'", '\\'},
      {"'\\''", '\''},
      {"'\\0'", 0},
      // Characters are Unicode code points of the UTF-8 text.
      {"'\xC3\xA9'", 0xE9},
      {"'\xE2\x82\xAC'", 0x20AC},
      {"'\xF0\x9F\x98\x80'", 0x1F600},
      {"'\xF4\x8F\xBF\xBF'", 0x10FFFF},
      {"9223372036854775807", kMax64},
      {"0x7FFFFFFFFFFFFFFF", kMax64},
      {" \t1\t+ 2 ", 3},
      // '%' right after an H# number is its mark; after other numbers a suffix unless an
      // operand follows.
      {"H#10% + 1", 17},
      {"h#10%+1", 17},
      {"H#10% - 1", 15},
      {"-H#10% * 2", -32},
      {"H#10 % 3", 1},
      {"H#10\t% 3", 1},
      {"0x10%3", 1},
      {"0x10% + 1", 0},
      {"10%3", 1},
      {"10 % 3", 1},
      {"1%", 1},
      {"(H#10%) + 1", 17},
      {"H#10%*2", 32},
      {"H#10% == 16", 1},
      {"10%!=10", 0},
      {"'A'%", 65},
      // Precedence and associativity.
      {"1 + 2 * 3", 7},
      {"(1 + 2) * 3", 9},
      {"10 - 4 - 3", 3},
      {"100 / 10 / 5", 2},
      {"1 << 2 + 1", 8},
      {"1 + 2 << 1", 6},
      {"0 == 1 < 2", 0},
      {"3 & 5 == 5", 1},
      {"6 ^ 3 & 5", 7},
      {"4 | 1 ^ 5", 4},
      {"1 || 0 && 0", 1},
      {"2 | 1 && 0", 0},
      {"-2 * 3", -6},
      {"~1 + 1", -1},
      {"-(2 - 3)", 1},
      {"2 - -3", 5},
      {"--5", 5},
      {"+5", 5},
      {"~0", -1},
      {"~-1", 0},
      {"-~0", 1},
      {"!5", 0},
      {"!0", 1},
      {"!!7", 1},
      {"!1 + 1", 1},
      {"7 / 2", 3},
      {"-7 / 2", -3},
      {"-7 % 2", -1},
      {"7 % -2", 1},
      // Shifts.
      {"1 << 31", 0x80000000},
      {"1 << 62", int64_t{1} << 62},
      {"-1 << 63", kMin64},
      {"5 << 0", 5},
      {"-16 >> 2", -4},
      {"0xFFFFFFFF >> 28", 15},
      {"1 >> 63", 0},
      // Registers, in any case; flags.
      {"R0", 0},
      {"R1", 0x10},
      {"r1", 0x10},
      {"R01", 0x10},
      {"R2", 0xFFFFFFFF},
      {"R31", 0x600D},
      {"PC", 0x100},
      {"pc", 0x100},
      {"Sp", 0x1F00},
      {"SR", 5},
      {"IM", 1},
      {"lfsr", 0xACE1},
      {"SR.N", 1},
      {"sr.z", 0},
      {"SR.C", 1},
      {"SR.O", 0},
      {"N", 1},
      {"Z", 0},
      {"O", 0},
      {"C", 7},  // the symbol C hides the flag
      {"N + Z * 2 + SR.C * 4", 5},
      // Memory.
      {"M[0x1000]", 0x12345678},
      {"m[0x1000 + 1]", 0},
      {"M [ R1 + 0xFF0 ]", 0x12345678},
      {"M[M[0x1002]]", 0x12345678},
      {"M[0]", 0xFFFFFFFF},
      {"M[-1]", 0xFFFFFFFF},
      {"M[0x1100]", 0xFFFFFFFF},
      // HI and LO.
      {"HI(0x12345678)", 0x1234},
      {"LO(0x12345678)", 0x5678},
      {"hi(-1)", 0xFFFF},
      {"LO(-2)", 0xFFFE},
      {"HI(0x80000000)", 0x8000},
      {"Lo (R4)", 0},
      {"HI(M[0x1000]) + LO(0x10000)", 0x1234},
      // Symbols: case-sensitive, dotted, and M / HI only as functions before [ or (.
      {"loop + 2", 0x42},
      {"count * count", 100},
      {"start.end", 0x20},
      {"_x1", 0x1001},
      {"neg", -5},
      {"M + HI", 12},
      {"M[_x1 + 1]", 0x1000},
      {"min", kMin64},
      // Comparisons on 32-bit words in unsigned order.
      {"R2 == -1", 1},
      {"R2 == 0xFFFFFFFF", 1},
      {"-1 == 0xFFFFFFFF", 1},
      {"-1 > 0", 1},
      {"R4 == -0x80000000", 1},
      {"R4 > R3", 1},
      {"R3 < R4", 1},
      {"R3 >= R4", 0},
      {"0 <= 0", 1},
      {"0 >= 1", 0},
      {"R1 != 0x10", 0},
      {"neg < 0", 0},
      // && and || stop early.
      {"R0 != 0 && 100 / R0 > 2", 0},
      {"R0 == 0 || 1 / R0", 1},
      {"0 && nowhere", 0},
      {"1 || M[big]", 1},
      {"R1 && R2", 1},
      {"5 && 7", 1},
      {"0 || 0", 0},
      {"0 || 9", 1},
      {"R1 == 0x10 && M[0x1000] != 0", 1},
      {"R31 == 0x600D", 1},
      // The ends of the 64-bit range.
      {"-9223372036854775807 - 1", kMin64},
      {"0x7FFFFFFFFFFFFFFF / -1", -kMax64},
      {"min % -1", 0},
      {"min >> 63", -1},
      {"min / 2 * 2", kMin64},
      // Without a machine: symbols (also C), no registers.
      {"C + loop", 0x47, false},
      {"count - 11", -1, false},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.text);
    EvalContext& context = c.withMachine ? static_cast<EvalContext&>(machine) : noMachine;
    const Result<Expression> e = Expression::Parse(c.text);
    ASSERT_TRUE(e.ok()) << e.error().Text();
    EXPECT_EQ(e.value().Text(), c.text);
    const Result<int64_t> v = e.value().Evaluate(context);
    ASSERT_TRUE(v.ok()) << v.error().Text();
    EXPECT_EQ(v.value(), c.value);
    const Result<bool> condition = e.value().EvaluateCondition(context);
    ASSERT_TRUE(condition.ok());
    EXPECT_EQ(condition.value(), c.value != 0);
  }
}

struct WordCase {
  const char* text;
  uint32_t word;
};

TEST_F(ExpressionTest, Words) {
  const WordCase cases[] = {
      {"0", 0},
      {"0xFFFFFFFF", 0xFFFFFFFF},
      {"-1", 0xFFFFFFFF},
      {"0x7FFFFFFF", 0x7FFFFFFF},
      {"-0x80000000", 0x80000000},
      {"0x80000000", 0x80000000},
      {"~0", 0xFFFFFFFF},
      {"-R1", 0xFFFFFFF0},
      {"neg", 0xFFFFFFFB},
      {"R2 + 0", 0xFFFFFFFF},
      {"0x100000000 - 1", 0xFFFFFFFF},
      {"1 << 31", 0x80000000},
  };
  for (const WordCase& c : cases) {
    SCOPED_TRACE(c.text);
    const Result<uint32_t> w = EvaluateWord(c.text, machine);
    ASSERT_TRUE(w.ok()) << w.error().Text();
    EXPECT_EQ(w.value(), c.word);
  }
}

enum class Mode { Value, Word, NoMachine, Bare };

struct ErrorCase {
  std::string text;
  const char* error;
  Mode mode = Mode::Value;
};

TEST_F(ExpressionTest, Errors) {
  EvalContext bare;  // neither machine nor symbols
  const ErrorCase cases[] = {
      // Syntax.
      {"", "col 1: expected an expression"},
      {"   ", "col 4: expected an expression"},
      {"1 +", "col 4: expected an expression"},
      {"1 + * 2", "col 5: expected an expression"},
      {"()", "col 2: expected an expression"},
      {"!= 1", "col 2: expected an expression"},
      {"1 % % 2", "col 5: expected an expression"},
      {"(1 + 2", "col 7: expected ')'"},
      {"HI(1", "col 5: expected ')'"},
      {"(1]", "col 3: expected ')'"},
      {"M[1", "col 4: expected ']'"},
      {"M[1)", "col 4: expected ']'"},
      {"1)", "col 2: unexpected ')'"},
      {"1]", "col 2: unexpected ']'"},
      {"1 2", "col 3: unexpected '2'"},
      {"R1 R2", "col 4: unexpected 'R2'"},
      {"(1) (2)", "col 5: unexpected '('"},
      {"1 !", "col 3: unexpected '!'"},
      {"R1 = 5", "col 4: '=' is not an operator: use '=='"},
      {"1 + $", "col 5: unexpected character '$'"},
      {"1 $", "col 3: unexpected character '$'"},
      {"1 + \x01", "col 5: unexpected character '\\x01'"},
      {"1 +\n2", "col 4: unexpected character '\\x0A'"},
      {"R32", "col 1: unknown register R32"},
      {"1 + r100", "col 5: unknown register r100"},
      {"R1 + R007", "col 6: unknown register R007"},
      // Numbers.
      {"0x", "col 3: expected hex digits after '0x'"},
      {"1 + H#", "col 7: expected hex digits after 'H#'"},
      {"0b2", "col 3: expected binary digits after '0b'"},
      {"0b102", "col 5: unexpected '2' in a number"},
      {"12abc", "col 3: unexpected 'a' in a number"},
      {"0x1G", "col 4: unexpected 'G' in a number"},
      {"1.5", "col 2: unexpected '.' in a number"},
      {"''", "col 1: a character literal holds exactly one character"},
      {"'\xC3\xA9\xA9'", "col 4: invalid UTF-8 in a character literal"},
      {"'\xC3'", "col 2: invalid UTF-8 in a character literal"},
      {"'\xE9'", "col 2: invalid UTF-8 in a character literal"},
      {"'\xC0\x80'", "col 2: invalid UTF-8 in a character literal"},      // overlong
      {"'\xED\xA0\x80'", "col 2: invalid UTF-8 in a character literal"},  // a surrogate
      {"'\xF4\x90\x80\x80'", "col 2: invalid UTF-8 in a character literal"},
      {"'\xE2\x82'", "col 2: invalid UTF-8 in a character literal"},
      {"'\xC3\xA9\xC3\xA9'", "col 1: a character literal holds exactly one character"},
      {"H#10%3",
       "col 5: '%' right after an H# number is its mark: write a blank before '%' for the "
       "remainder"},
      {"h#10% (2)",
       "col 5: '%' right after an H# number is its mark: write a blank before '%' for the "
       "remainder"},
      {"1 + H#10% x",
       "col 9: '%' right after an H# number is its mark: write a blank before '%' for the "
       "remainder"},
      {"2 * 'ab'", "col 5: a character literal holds exactly one character"},
      {"'a", "col 1: unterminated character literal"},
      {"'\\", "col 1: unterminated character literal"},
      {"1 + '\\q'", "col 6: unknown escape '\\q'"},
      {"9223372036854775808", "col 1: value out of range"},
      {"1 + 0x8000000000000000", "col 5: value out of range"},
      // Arithmetic, at the operator.
      {"1 / 0", "col 3: division by zero"},
      {"R1 % R0", "col 4: division by zero"},
      {"0x7FFFFFFFFFFFFFFF + 1", "col 20: value out of range"},
      {"-9223372036854775807 - 2", "col 22: value out of range"},
      {"-min", "col 1: value out of range"},
      {"min - 1", "col 5: value out of range"},
      {"0x100000000 * 0x80000000", "col 13: value out of range"},
      {"-0x100000000 * 0x80000000 * 2", "col 27: value out of range"},
      {"min / -1", "col 5: value out of range"},
      {"1 << 63", "col 3: value out of range"},
      {"-2 << 63", "col 4: value out of range"},
      {"1 << 64", "col 3: value out of range"},
      {"1 >> 64", "col 3: value out of range"},
      {"1 << -1", "col 3: value out of range"},
      {"1 >> -1", "col 3: value out of range"},
      {"0x40000000 << 33", "col 12: value out of range"},
      // Words: comparison operands, addresses, HI and LO.
      {"big == 0", "col 5: value out of range"},
      {"0 < -0x80000001", "col 3: value out of range"},
      {"M[0x100000000]", "col 1: value out of range"},
      {"1 + m[-0x80000001]", "col 5: value out of range"},
      {"HI(-0x80000001)", "col 1: value out of range"},
      {"LO(big)", "col 1: value out of range"},
      {"0xFFFFFFFF + 1", "col 12: value out of range", Mode::Word},
      {"(R2 + 1)", "col 5: value out of range", Mode::Word},
      {"0x100000000", "col 1: value out of range", Mode::Word},
      {"-0x80000001", "col 1: value out of range", Mode::Word},
      {"big", "col 1: value out of range", Mode::Word},
      {"-0x80000000 - 1", "col 13: value out of range", Mode::Word},
      // Symbols and what a context lacks.
      {"R1 + loop2", "col 6: undefined symbol 'loop2'"},
      {"Loop", "col 1: undefined symbol 'Loop'"},
      {"c", "col 1: undefined symbol 'c'"},
      {"1 && SR.x", "col 6: undefined symbol 'SR.x'"},
      {"count + R1", "col 9: registers are not available here", Mode::NoMachine},
      {"PC", "col 1: registers are not available here", Mode::NoMachine},
      {"SR.Z", "col 1: registers are not available here", Mode::NoMachine},
      {"Z", "col 1: undefined symbol 'Z'", Mode::NoMachine},
      {"2 * M[0]", "col 5: memory is not available here", Mode::NoMachine},
      {"loop", "col 1: undefined symbol 'loop'", Mode::Bare},
      {"N", "col 1: undefined symbol 'N'", Mode::Bare},
      // Nesting.
      {std::string(257, '(') + "1" + std::string(257, ')'),
       "col 257: expression nested too deeply"},
      {"1 + " + std::string(256, '-') + std::string(256, '(') + "M[0" + std::string(256, ')'),
       "col 517: expression nested too deeply"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.text.size() > 60 ? c.text.substr(0, 60) + "..." : c.text);
    EvalContext& context = c.mode == Mode::NoMachine ? static_cast<EvalContext&>(noMachine)
                           : c.mode == Mode::Bare    ? bare
                                                     : machine;
    Result<Expression> e = Expression::Parse(c.text);
    std::string text;
    if (!e.ok()) {
      text = e.error().Text();
    } else if (c.mode == Mode::Word) {
      const Result<uint32_t> w = e.value().EvaluateWord(context);
      text = w.ok() ? "word " + std::to_string(w.value()) : w.error().Text();
    } else {
      const Result<int64_t> v = e.value().Evaluate(context);
      text = v.ok() ? "value " + std::to_string(v.value()) : v.error().Text();
    }
    EXPECT_EQ(text, c.error);
  }
}

// Brackets up to the limit, unary chains and operator chains of any length are fine; more
// pending values than the evaluator's stack holds are refused at the value that would overflow.
TEST_F(ExpressionTest, NestingAndLength) {
  struct Case {
    std::string text;
    int64_t value;
  };
  std::string sum = "1";
  for (int i = 1; i < 100000; ++i) sum += "+1";
  std::string memory;
  for (int i = 0; i < 256; ++i) memory += "M[";
  memory += "0x1002" + std::string(256, ']');  // 0x1000, 0x12345678, then unmapped
  const Case cases[] = {
      {std::string(256, '(') + "R1" + std::string(256, ')'), 0x10},
      {memory, 0xFFFFFFFF},
      {"M[M[0x1002]]", 0x12345678},
      {std::string(100001, '-') + "5", -5},
      {std::string(100000, '!') + "5", 1},
      {sum, 100000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    const Result<int64_t> v = Evaluate(c.text, machine);
    ASSERT_TRUE(v.ok()) << v.error().Text();
    EXPECT_EQ(v.value(), c.value);
  }

  // Eight values wait at every level: 128 levels fill the stack, the next value overflows it.
  const std::string level = "1|1^1&1==1<1<<1+1*(";
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += level;
  const Result<Expression> e = Expression::Parse(deep);
  ASSERT_FALSE(e.ok());
  EXPECT_EQ(e.error().column, 128 * level.size() + 1);
  EXPECT_EQ(e.error().message, "expression nested too deeply");
}

// Parsed once, evaluated against the machine as it is at each evaluation.
TEST_F(ExpressionTest, EvaluatesCurrentState) {
  const Result<Expression> e = Expression::Parse("R5 == 3 && M[0x1010] == SR.Z");
  ASSERT_TRUE(e.ok());
  const std::pair<uint32_t, uint32_t> steps[] = {{3, 0}, {3, 1}, {4, 0}};
  const bool expected[] = {true, false, false};
  for (size_t i = 0; i < std::size(steps); ++i) {
    cpu.r[5] = steps[i].first;
    cpu.WriteMem(0x1010, steps[i].second);
    const Result<bool> hit = e.value().EvaluateCondition(machine);
    ASSERT_TRUE(hit.ok());
    EXPECT_EQ(hit.value(), expected[i]) << i;
  }
}

// The assembler's question: how many addresses a value holds. loop and start.end are addresses
// here; + and - add and subtract the counts, unary - negates them, every other operator gives a
// plain number; the values are Evaluate's.
TEST(Expression, CountsTheAddressesAValueHolds) {
  class Labels : public SymbolContext {
   public:
    Labels() : SymbolContext(LookUp) {}
    bool IsAddress(std::string_view name) override { return name == "loop" || name == "start.end"; }
  } labels;
  struct Case {
    const char* text;
    int64_t value;
    int64_t addresses;
  };
  const Case cases[] = {
      {"5", 5, 0},
      {"count", 10, 0},
      {"loop", 0x40, 1},
      {"loop + 4", 0x44, 1},
      {"+loop - count", 0x36, 1},
      {"4 + (loop)", 0x44, 1},
      {"loop - start.end", 0x20, 0},
      {"-loop", -0x40, -1},
      {"loop + start.end", 0x60, 2},
      {"-(loop - start.end - loop)", 0x20, 1},
      {"loop * 2", 0x80, 0},
      {"loop / 2 + loop", 0x60, 1},
      {"HI(loop) + LO(loop)", 0x40, 0},
      {"~loop + loop", -1, 1},
      {"loop << 1", 0x80, 0},
      {"loop & 0xFF", 0x40, 0},
      {"loop == 0x40", 1, 0},
      {"loop && loop", 1, 0},
      {"0 || loop", 1, 0},
      {"loop || loop + 1", 1, 0},
      {"!loop + loop", 0x40, 1},
      {"C + loop", 0x47, 1},  // a bare flag letter defined as a symbol
  };
  for (const Case& c : cases) {
    const Result<Expression> e = Expression::Parse(c.text);
    ASSERT_TRUE(e.ok()) << c.text;
    const Result<AddressValue> v = e.value().EvaluateAddress(labels);
    ASSERT_TRUE(v.ok()) << c.text << ": " << v.error().Text();
    EXPECT_EQ(v.value().value, c.value) << c.text;
    EXPECT_EQ(v.value().addresses, c.addresses) << c.text;
    const Result<int64_t> plain = e.value().Evaluate(labels);
    ASSERT_TRUE(plain.ok());
    EXPECT_EQ(plain.value(), c.value) << c.text;
  }
  // Without IsAddress every symbol is a plain number; errors are Evaluate's.
  SymbolContext numbers(LookUp);
  const Result<AddressValue> plain = Expression::Parse("loop + 1").value().EvaluateAddress(numbers);
  ASSERT_TRUE(plain.ok());
  EXPECT_EQ(plain.value().addresses, 0);
  const Result<AddressValue> bad = Expression::Parse("loop / 0").value().EvaluateAddress(labels);
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(bad.error(), (Error{6, "division by zero"}));
  EXPECT_EQ(Expression::Parse("1 + 2 * 3").value().ResultColumn(), 3u);
  EXPECT_EQ(Expression::Parse(" 7").value().ResultColumn(), 2u);
}

TEST(Expression, ListsItsSymbolsWithColumns) {
  const Result<Expression> e = Expression::Parse("loop + N*M - SR.N + R1 + HI(x.y)");
  ASSERT_TRUE(e.ok());
  std::string listed;
  for (const Expression::SymbolUse& s : e.value().Symbols()) {
    listed += s.name + "@" + std::to_string(s.column) + " ";
  }
  EXPECT_EQ(listed, "loop@1 N@8 M@10 x.y@29 ");
}

TEST(Expression, WordConversionAndReservedNames) {
  EXPECT_EQ(ToWord(-0x80000001ll), std::nullopt);
  EXPECT_EQ(ToWord(-0x80000000ll), 0x80000000u);
  EXPECT_EQ(ToWord(-1), 0xFFFFFFFFu);
  EXPECT_EQ(ToWord(0xFFFFFFFFll), 0xFFFFFFFFu);
  EXPECT_EQ(ToWord(0x100000000ll), std::nullopt);

  for (const char* name :
       {"R0", "r31", "R99", "R007", "PC", "sp", "Sr", "IM", "lfsr", "SR.N", "sr.o"}) {
    EXPECT_TRUE(IsReservedName(name)) << name;
  }
  for (const char* name : {"R", "R1x", "RX", "PCX", "SR.X", "SR.NZ", "N", "M", "HI", "loop"}) {
    EXPECT_FALSE(IsReservedName(name)) << name;
  }
}

struct NumberCase {
  const char* text;
  const char* expected;  // the value in decimal, or the error's text
};

TEST(Number, ParsesWholeText) {
  const NumberCase cases[] = {
      {"12", "12"},
      {" 0x10 ", "16"},
      {"H#FFF8%", "65528"},
      {"\th#fff8 % ", "col 9: unexpected '%'"},
      {"0b11", "3"},
      {"'\\t'", "9"},
      {"'\"'", "34"},
      {"'\\\"'", "34"},
      {"0x7FFFFFFFFFFFFFFF", "9223372036854775807"},
      {"0x8000000000000000", "col 1: value out of range"},
      {"", "col 1: expected a number"},
      {"  ", "col 3: expected a number"},
      {"-1", "col 1: expected a number"},
      {"R1", "col 1: expected a number"},
      {"1 2", "col 3: unexpected '2'"},
      {"0x10%%", "col 6: unexpected '%'"},
      {"H#", "col 3: expected hex digits after 'H#'"},
      {"0xFFg", "col 5: unexpected 'g' in a number"},
  };
  for (const NumberCase& c : cases) {
    const Result<int64_t> n = ParseNumber(c.text);
    EXPECT_EQ(n.ok() ? std::to_string(n.value()) : n.error().Text(), c.expected) << c.text;
  }
}

}  // namespace
}  // namespace tervik::debug
