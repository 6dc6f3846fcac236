// The debugger's one expression language: breakpoint conditions, typed addresses and values,
// watchpoint ranges, the runner's options and the assembler's immediates. A text is parsed once
// into a compact program and evaluated as often as needed against machine state and symbols.
//
// Language
//   numbers      as ParseNumber (Number.h): 12, 0x1F, H#1F, 0b101, 'A', 'é', '\n'. A '%' right
//                after an H# number is always that number's mark, as the disassembler prints
//                it (H#FFF8%): H#10% + 1 is 17, H#10%*2 is 32, and H#10%3 is an error (the
//                remainder needs a blank: H#10 % 3 is 1). A '%' right after any other number is
//                its suffix unless an operand follows, when it is the remainder operator:
//                10%3 is 1, 10% is 10.
//   registers    R0..R31, PC, SP, SR, IM, LFSR, any case. R32 and the like: "unknown register".
//   flags        SR.N, SR.Z, SR.C, SR.O (any case) are always the flag, 0 or 1. The bare
//                capitals N, Z, C, O are the symbol of that name when the context defines one,
//                else the flag; lower-case n, z, c, o are only ever symbols.
//   memory       M[expr] or m[expr]: the 32-bit word at that word address.
//   functions    HI(x) and LO(x) (any case): the upper and the lower 16 bits of x as a word.
//   symbols      any other name, [A-Za-z_.][A-Za-z0-9_.]*, matched case-sensitively as the
//                assembler matches labels and EQU names. The register names above always mean
//                the register (IsReservedName); M, HI and LO are names unless '[' or '(' follows.
//   operators    with C's precedence and associativity, tightest first:
//                unary - + ~ !;  * / %;  + -;  << >>;  < <= > >=;  == !=;  &;  ^;  |;  &&;  ||
//                and parentheses. && and || stop early as in C: R1 != 0 && 100 / R1 > 2 never
//                divides by zero.
//
// Values
//   Every value is a signed 64-bit integer. Numbers are 0..2^63-1; registers, flags and memory
//   words are unsigned 32-bit values 0..0xFFFFFFFF; a symbol is whatever the context gives.
//   Arithmetic is exact or fails: an overflow of + - * / unary minus and <<, a shift by a negative
//   amount or by 64 or more are "value out of range" at the operator's column; / and % by zero
//   are "division by zero". / and % truncate toward zero, >> is arithmetic, & | ^ ~ act on the
//   64-bit two's complement, ! && || give 0 or 1 from "not zero".
//
//   A value becomes a 32-bit word (ToWord) when it lies in -2^31..2^32-1, taken modulo 2^32:
//   -1 is 0xFFFFFFFF, 0x80000000 and -0x80000000 are the same word; anything outside is "value
//   out of range". This happens to the operands of comparisons, to a memory address, to the
//   argument of HI and LO, and to the result of EvaluateWord.
//
//   == != < <= > >= compare the two operands as 32-bit words, in unsigned order, so R1 == -1 is
//   true when R1 holds 0xFFFFFFFF, -1 > 0 is true and PC < 0x80000000 means the lower half of
//   the address space. (For a signed order, flip the sign bits: (R1 ^ 0x80000000) < 0x80000005
//   is R1 < 5 read as signed.)
//
// Columns are 1-based and count bytes of the text given to Parse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Number.h"
#include "Registers.h"

namespace tervik::debug {

// At most this many brackets ( [ HI( LO( may be open at once. An expression whose evaluation
// would hold more than kMaxPendingValues intermediate values at once is refused alike
// ("expression nested too deeply").
constexpr size_t kMaxNesting = 256;
constexpr size_t kMaxPendingValues = 1024;

// Whether a name always means a register: R or r followed by digits only (R0..R31, the others
// being "unknown register"), PC, SP, SR, IM, LFSR and SR.N, SR.Z, SR.C, SR.O, in any case. A
// label of such a name could never be reached from an expression.
bool IsReservedName(std::string_view name);

// Value of a 32-bit word: v taken modulo 2^32 when it lies in -2^31..2^32-1, else nothing.
std::optional<uint32_t> ToWord(int64_t v);

// Where an evaluation reads the machine and the symbols. Every read may answer "not here"
// (nullopt), which becomes an error at the operand's column: "registers are not available here",
// "memory is not available here", "undefined symbol 'name'". The defaults answer so; a context
// overrides what it has. Evaluations call these on the caller's thread.
class EvalContext {
 public:
  virtual ~EvalContext() = default;
  virtual std::optional<uint32_t> Register(RegisterId id);
  virtual std::optional<uint32_t> ReadWord(uint32_t address);
  virtual std::optional<int64_t> Symbol(std::string_view name);
  // Whether a defined symbol's value is an address (a label), for EvaluateAddress only. The
  // default: no symbol is.
  virtual bool IsAddress(std::string_view name);
};

// A value with the number of addresses it holds (Expression::EvaluateAddress).
struct AddressValue {
  int64_t value = 0;
  int64_t addresses = 0;  // 1: an address; 0: a plain number; others: a sum the caller refuses
};

// A symbol table as a function: the value of a name, or nullopt when it is not defined.
using SymbolLookup = std::function<std::optional<int64_t>(std::string_view name)>;

// Symbols only, no machine: the assembler's immediates, the runner's options before a run.
class SymbolContext : public EvalContext {
 public:
  explicit SymbolContext(SymbolLookup symbols = {}) : symbols_(std::move(symbols)) {}
  std::optional<int64_t> Symbol(std::string_view name) override;

 private:
  SymbolLookup symbols_;
};

// A parsed expression. Evaluating it allocates nothing unless it fails (the error's text), and
// it keeps no state between evaluations: one Expression may be evaluated from several threads,
// each with its own context.
class Expression {
 public:
  // Parses the whole text; anything left after the expression is an error.
  static Result<Expression> Parse(std::string_view text);

  // The value as a signed 64-bit integer (see the header comment).
  Result<int64_t> Evaluate(EvalContext& context) const;
  // The value as a 32-bit word; a value outside -2^31..2^32-1 is "value out of range" at the
  // column of the operator (or operand) that produced it.
  Result<uint32_t> EvaluateWord(EvalContext& context) const;
  // Whether the value is not zero: a breakpoint's condition.
  Result<bool> EvaluateCondition(EvalContext& context) const;
  // The value as Evaluate gives it, with how many addresses it holds, so that the assembler can
  // tell an address from a plain number: a symbol for which the context's IsAddress is true
  // counts 1; binary + adds and binary - subtracts the counts, unary - negates and unary +
  // keeps it; every other operator, HI, LO, M[] and every other operand give 0. So label + 4 is
  // an address (1), end - start a plain number (0), a + b counts 2 and HI(label) is a number.
  Result<AddressValue> EvaluateAddress(EvalContext& context) const;
  // The column of the operator or operand that produces the value: where EvaluateWord reports
  // a value that is no word.
  size_t ResultColumn() const { return steps_.empty() ? 1 : steps_.back().column; }

  // The text as given to Parse.
  const std::string& Text() const { return text_; }

  // Every name the expression looks up as a symbol, in order of appearance (bare N, Z, C, O
  // included), so that a caller can check them before the first evaluation.
  struct SymbolUse {
    std::string name;
    size_t column = 0;
  };
  const std::vector<SymbolUse>& Symbols() const { return symbols_; }

 private:
  // One step of the compiled program: reverse Polish, with jumps for && and ||.
  enum class Code : uint8_t;
  struct Step {
    Code code;
    uint8_t arg;      // register number or flag bit
    uint32_t column;  // where errors of this step point
    int64_t value;    // number, symbol index or jump target
  };

  Expression() = default;
  friend class Parser;
  // Evaluate, with the address count of EvaluateAddress when kCount (into *addresses).
  template <bool kCount>
  Result<int64_t> Run(EvalContext& context, int64_t* addresses) const;

  std::string text_;
  std::vector<Step> steps_;
  std::vector<SymbolUse> symbols_;
};

// Parse and evaluate once, for a text typed a single time (go to address, a register edit).
Result<int64_t> Evaluate(std::string_view text, EvalContext& context);
Result<uint32_t> EvaluateWord(std::string_view text, EvalContext& context);

}  // namespace tervik::debug
