// The expression language: a parser without recursion (operator precedence with explicit stacks,
// so no input can exhaust the native stack) that compiles to reverse Polish steps, and the
// evaluator that runs them on a fixed stack.
#include "Expression.h"

#include <limits>

#include "Text.h"

namespace tervik::debug {

enum class Expression::Code : uint8_t {
  // Operands: push one value.
  Number,        // value
  Register,      // arg: register number
  Flag,          // arg: bit of sr
  FlagOrSymbol,  // value: symbol index, arg: the flag's bit when no such symbol exists
  Symbol,        // value: symbol index
  // Replace the top value.
  Memory,
  Negate,
  Complement,
  Not,
  High,
  Low,
  ToBool,
  // Replace the two top values by one.
  Multiply,
  Divide,
  Remainder,
  Add,
  Subtract,
  ShiftLeft,
  ShiftRight,
  Less,
  LessEqual,
  Greater,
  GreaterEqual,
  Equal,
  NotEqual,
  BitAnd,
  BitXor,
  BitOr,
  // Pop the top value; when it decides the result (0 for &&, not 0 for ||), push 0 or 1 and
  // continue at step `value`, past the right operand.
  AndJump,
  OrJump,
};

namespace {

using lang::EqualsNoCase;

constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();
constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();

constexpr const char* kOutOfRange = "value out of range";
constexpr const char* kTooDeep = "expression nested too deeply";
constexpr const char* kNoRegisters = "registers are not available here";
constexpr const char* kNoMemory = "memory is not available here";

// "R" or "r" followed by digits only: a general register's name, valid or not.
bool LooksLikeGeneralRegister(std::string_view name) {
  if (name.size() < 2 || (name[0] != 'R' && name[0] != 'r')) return false;
  for (char c : name.substr(1)) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

// R0..R31 with one or two digits (R07 included).
std::optional<unsigned> GeneralRegisterNumber(std::string_view name) {
  if (!LooksLikeGeneralRegister(name) || name.size() > 3) return std::nullopt;
  unsigned n = 0;
  for (char c : name.substr(1)) n = n * 10 + static_cast<unsigned>(c - '0');
  if (n > 31) return std::nullopt;
  return n;
}

std::optional<RegisterId> SpecialRegister(std::string_view name) {
  if (EqualsNoCase(name, "PC")) return RegisterId::PC;
  if (EqualsNoCase(name, "SP")) return RegisterId::SP;
  if (EqualsNoCase(name, "SR")) return RegisterId::SR;
  if (EqualsNoCase(name, "IM")) return RegisterId::IM;
  if (EqualsNoCase(name, "LFSR")) return RegisterId::LFSR;
  return std::nullopt;
}

// The bit of sr a flag letter names.
std::optional<uint8_t> FlagBit(char letter) {
  switch (letter) {
    case 'N': return kSrBitN;
    case 'Z': return kSrBitZ;
    case 'C': return kSrBitC;
    case 'O': return kSrBitO;
    default: return std::nullopt;
  }
}

// SR.N, SR.Z, SR.C, SR.O in any case.
std::optional<uint8_t> DottedFlag(std::string_view name) {
  if (name.size() != 4 || !EqualsNoCase(name.substr(0, 3), "SR.")) return std::nullopt;
  const char letter = name[3] >= 'a' ? static_cast<char>(name[3] - 'a' + 'A') : name[3];
  return FlagBit(letter);
}

}  // namespace

// ---- Parser ----

class Parser {
 public:
  using Code = Expression::Code;

  explicit Parser(std::string_view text) : text_(text) {}

  Result<Expression> Run();

 private:
  enum class Kind : uint8_t { Unary, Binary, Paren, Memory, High, Low };
  // An operator or bracket waiting for its right operand or its closing bracket.
  struct Pending {
    Kind kind;
    Code code;
    uint8_t precedence;
    uint32_t column;
    size_t jump;  // the AndJump / OrJump step of && and ||
  };
  struct BinaryOperator {
    Code code;
    uint8_t precedence;
    size_t length;
  };
  static constexpr uint8_t kUnaryPrecedence = 11;

  uint32_t Column() const { return static_cast<uint32_t>(pos_ + 1); }
  char At(size_t i) const { return i < text_.size() ? text_[i] : '\0'; }
  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }
  std::string_view ReadName() {
    const size_t start = pos_;
    while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }
  // The first character after blanks from position i.
  char NextAfterBlanks(size_t i) const {
    while (i < text_.size() && IsBlank(text_[i])) ++i;
    return At(i);
  }
  // Whether an operand can start at position i (a unary operator included).
  bool OperandStartsAt(size_t i) const {
    const char c = At(i);
    return IsNameStart(c) || IsDigit(c) || c == '\'' || c == '(' || c == '-' || c == '+' ||
           c == '~' || (c == '!' && At(i + 1) != '=');
  }

  std::optional<BinaryOperator> PeekBinary() const;
  std::optional<Error> ParseOperand(bool& haveOperand);
  std::optional<Error> ParseOperator(bool& haveOperand);
  std::optional<Error> Push(Code code, uint32_t column, int64_t value = 0, uint8_t arg = 0);
  std::optional<Error> Open(Kind kind, uint32_t column);
  std::optional<Error> Close(Kind kind, uint32_t column);
  void Reduce(const Pending& p);
  void ReduceWhile(uint8_t precedence);
  void Emit(Code code, uint32_t column, int64_t value = 0, uint8_t arg = 0) {
    expr_.steps_.push_back({code, arg, column, value});
  }
  size_t AddSymbol(std::string_view name, uint32_t column) {
    expr_.symbols_.push_back({std::string(name), column});
    return expr_.symbols_.size() - 1;
  }

  std::string_view text_;
  size_t pos_ = 0;
  Expression expr_;
  std::vector<Pending> pending_;
  size_t brackets_ = 0;  // open brackets among pending_
  size_t values_ = 0;    // values the evaluator's stack holds after the steps so far
};

Result<Expression> Expression::Parse(std::string_view text) {
  return Parser(text).Run();
}

Result<Expression> Parser::Run() {
  if (text_.size() >= std::numeric_limits<uint32_t>::max()) {
    return Error{1, "expression too long"};
  }
  expr_.text_ = std::string(text_);
  bool haveOperand = false;  // false: an operand must come next; true: an operator or the end
  for (;;) {
    SkipBlanks();
    if (!haveOperand) {
      if (std::optional<Error> e = ParseOperand(haveOperand)) return *std::move(e);
      continue;
    }
    if (pos_ >= text_.size()) break;
    if (std::optional<Error> e = ParseOperator(haveOperand)) return *std::move(e);
  }
  ReduceWhile(0);
  if (!pending_.empty()) {
    return Error{Column(), pending_.back().kind == Kind::Memory ? "expected ']'" : "expected ')'"};
  }
  return std::move(expr_);
}

std::optional<Parser::BinaryOperator> Parser::PeekBinary() const {
  const char c = At(pos_);
  const char d = At(pos_ + 1);
  switch (c) {
    case '*': return BinaryOperator{Code::Multiply, 10, 1};
    case '/': return BinaryOperator{Code::Divide, 10, 1};
    case '%': return BinaryOperator{Code::Remainder, 10, 1};
    case '+': return BinaryOperator{Code::Add, 9, 1};
    case '-': return BinaryOperator{Code::Subtract, 9, 1};
    case '<':
      if (d == '<') return BinaryOperator{Code::ShiftLeft, 8, 2};
      if (d == '=') return BinaryOperator{Code::LessEqual, 7, 2};
      return BinaryOperator{Code::Less, 7, 1};
    case '>':
      if (d == '>') return BinaryOperator{Code::ShiftRight, 8, 2};
      if (d == '=') return BinaryOperator{Code::GreaterEqual, 7, 2};
      return BinaryOperator{Code::Greater, 7, 1};
    case '=':
      if (d == '=') return BinaryOperator{Code::Equal, 6, 2};
      return std::nullopt;
    case '!':
      if (d == '=') return BinaryOperator{Code::NotEqual, 6, 2};
      return std::nullopt;
    case '&':
      if (d == '&') return BinaryOperator{Code::AndJump, 2, 2};
      return BinaryOperator{Code::BitAnd, 5, 1};
    case '^': return BinaryOperator{Code::BitXor, 4, 1};
    case '|':
      if (d == '|') return BinaryOperator{Code::OrJump, 1, 2};
      return BinaryOperator{Code::BitOr, 3, 1};
    default: return std::nullopt;
  }
}

std::optional<Error> Parser::ParseOperand(bool& haveOperand) {
  const uint32_t column = Column();
  if (pos_ >= text_.size()) return Error{column, "expected an expression"};
  const char c = text_[pos_];
  switch (c) {
    case '+': ++pos_; return std::nullopt;  // changes nothing
    case '-':
    case '~':
    case '!':
      ++pos_;
      pending_.push_back({Kind::Unary,
                          c == '-'   ? Code::Negate
                          : c == '~' ? Code::Complement
                                     : Code::Not,
                          kUnaryPrecedence, column, 0});
      return std::nullopt;
    case '(': ++pos_; return Open(Kind::Paren, column);
    default: break;
  }

  if (StartsNumber(text_, pos_)) {
    Result<ScannedNumber> n = ScanNumber(text_, pos_);
    if (!n.ok()) return n.error();
    pos_ += n.value().length;
    // The '%' some immediates carry. Right after an H# number, the form the disassembler
    // prints, it is always that number's mark (H#10% + 1 is 17); a remainder needs a blank
    // before the '%' there. After other numbers it is a suffix unless an operand follows, when
    // it is the remainder operator.
    if (At(pos_) == '%' && n.value().hashHex) {
      size_t next = pos_ + 1;
      while (next < text_.size() && IsBlank(text_[next])) ++next;
      const char after = At(next);
      if (IsNameStart(after) || IsDigit(after) || after == '\'' || after == '(') {
        return Error{pos_ + 1,
                     "'%' right after an H# number is its mark: write a blank before "
                     "'%' for the remainder"};
      }
      ++pos_;
    } else if (At(pos_) == '%') {
      size_t next = pos_ + 1;
      while (next < text_.size() && IsBlank(text_[next])) ++next;
      if (!OperandStartsAt(next)) ++pos_;
    }
    haveOperand = true;
    return Push(Code::Number, column, n.value().value);
  }

  if (IsNameStart(c)) {
    const std::string_view name = ReadName();
    const char after = NextAfterBlanks(pos_);
    if (after == '[' && EqualsNoCase(name, "M")) {
      SkipBlanks();
      ++pos_;
      return Open(Kind::Memory, column);
    }
    if (after == '(' && (EqualsNoCase(name, "HI") || EqualsNoCase(name, "LO"))) {
      SkipBlanks();
      ++pos_;
      return Open(EqualsNoCase(name, "HI") ? Kind::High : Kind::Low, column);
    }
    haveOperand = true;
    if (const std::optional<unsigned> r = GeneralRegisterNumber(name)) {
      return Push(Code::Register, column, 0, static_cast<uint8_t>(*r));
    }
    if (LooksLikeGeneralRegister(name)) {
      return Error{column, "unknown register " + std::string(name)};
    }
    if (const std::optional<RegisterId> r = SpecialRegister(name)) {
      return Push(Code::Register, column, 0, static_cast<uint8_t>(*r));
    }
    if (const std::optional<uint8_t> bit = DottedFlag(name)) {
      return Push(Code::Flag, column, 0, *bit);
    }
    if (name.size() == 1) {
      if (const std::optional<uint8_t> bit = FlagBit(name[0])) {
        const size_t symbol = AddSymbol(name, column);
        return Push(Code::FlagOrSymbol, column, static_cast<int64_t>(symbol), *bit);
      }
    }
    const size_t symbol = AddSymbol(name, column);
    return Push(Code::Symbol, column, static_cast<int64_t>(symbol));
  }

  static constexpr std::string_view kOperatorChars = "*/%<>=&^|)]";
  if (kOperatorChars.find(c) != std::string_view::npos) {
    return Error{column, "expected an expression"};
  }
  return Error{column, "unexpected character '" + ShowChar(c) + "'"};
}

std::optional<Error> Parser::ParseOperator(bool& haveOperand) {
  const uint32_t column = Column();
  const char c = text_[pos_];
  if (const std::optional<BinaryOperator> op = PeekBinary()) {
    pos_ += op->length;
    ReduceWhile(op->precedence);
    size_t jump = 0;
    if (op->code == Code::AndJump || op->code == Code::OrJump) {
      jump = expr_.steps_.size();
      Emit(op->code, column);
      --values_;
    }
    pending_.push_back({Kind::Binary, op->code, op->precedence, column, jump});
    haveOperand = false;
    return std::nullopt;
  }
  if (c == ')' || c == ']') {
    ++pos_;
    return Close(c == ')' ? Kind::Paren : Kind::Memory, column);
  }
  if (c == '=') return Error{column, "'=' is not an operator: use '=='"};
  if (IsNameChar(c)) {
    std::string_view word = ReadName();
    std::string shown(word.substr(0, 32));
    if (word.size() > 32) shown += "...";
    return Error{column, "unexpected '" + shown + "'"};
  }
  static constexpr std::string_view kLanguageChars = "([!~'";
  if (kLanguageChars.find(c) != std::string_view::npos) {
    return Error{column, "unexpected '" + std::string(1, c) + "'"};
  }
  return Error{column, "unexpected character '" + ShowChar(c) + "'"};
}

std::optional<Error> Parser::Push(Code code, uint32_t column, int64_t value, uint8_t arg) {
  if (++values_ > kMaxPendingValues) return Error{column, kTooDeep};
  Emit(code, column, value, arg);
  return std::nullopt;
}

std::optional<Error> Parser::Open(Kind kind, uint32_t column) {
  if (++brackets_ > kMaxNesting) return Error{column, kTooDeep};
  pending_.push_back({kind, Code::Number, 0, column, 0});
  return std::nullopt;
}

// A closing bracket: ')' closes ( HI( LO(, ']' closes M[.
std::optional<Error> Parser::Close(Kind kind, uint32_t column) {
  ReduceWhile(0);
  if (pending_.empty())
    return Error{column, kind == Kind::Memory ? "unexpected ']'" : "unexpected ')'"};
  const Pending open = pending_.back();
  if ((open.kind == Kind::Memory) != (kind == Kind::Memory)) {
    return Error{column, open.kind == Kind::Memory ? "expected ']'" : "expected ')'"};
  }
  pending_.pop_back();
  --brackets_;
  Reduce(open);
  return std::nullopt;
}

// Emits the steps of every pending operator that binds at least as tightly as `precedence`
// (all operators associate to the left; unary ones bind tightest), stopping at a bracket.
void Parser::ReduceWhile(uint8_t precedence) {
  while (!pending_.empty()) {
    const Pending p = pending_.back();
    if ((p.kind != Kind::Unary && p.kind != Kind::Binary) || p.precedence < precedence) return;
    pending_.pop_back();
    Reduce(p);
  }
}

void Parser::Reduce(const Pending& p) {
  switch (p.kind) {
    case Kind::Unary: Emit(p.code, p.column); break;
    case Kind::Binary:
      if (p.code == Code::AndJump || p.code == Code::OrJump) {
        Emit(Code::ToBool, p.column);
        expr_.steps_[p.jump].value = static_cast<int64_t>(expr_.steps_.size());
      } else {
        Emit(p.code, p.column);
        --values_;
      }
      break;
    case Kind::Paren: break;
    case Kind::Memory: Emit(Code::Memory, p.column); break;
    case Kind::High: Emit(Code::High, p.column); break;
    case Kind::Low: Emit(Code::Low, p.column); break;
  }
}

// ---- Evaluation ----

std::optional<uint32_t> ToWord(int64_t v) {
  if (v < -0x80000000ll || v > 0xFFFFFFFFll) return std::nullopt;
  return static_cast<uint32_t>(v);
}

bool IsReservedName(std::string_view name) {
  return LooksLikeGeneralRegister(name) || SpecialRegister(name) || DottedFlag(name);
}

Result<int64_t> Expression::Evaluate(EvalContext& context) const {
  return Run<false>(context, nullptr);
}

Result<AddressValue> Expression::EvaluateAddress(EvalContext& context) const {
  int64_t count = 0;
  Result<int64_t> v = Run<true>(context, &count);
  if (!v.ok()) return v.error();
  return AddressValue{v.value(), count};
}

template <bool kCount>
Result<int64_t> Expression::Run(EvalContext& context, [[maybe_unused]] int64_t* addresses) const {
  // Parse proved that no point of the program holds more values than this.
  int64_t stack[kMaxPendingValues];
  // The address count of each value on the stack, kept only when asked for. Every count is at
  // most the number of symbols in the text in size, so it cannot overflow.
  [[maybe_unused]] int64_t counts[kCount ? kMaxPendingValues : 1];
  size_t n = 0;
  const size_t count = steps_.size();
  for (size_t i = 0; i < count; ++i) {
    const Step& s = steps_[i];
    if constexpr (kCount) {
      // Every operand starts as a plain number; the cases below correct what differs.
      switch (s.code) {
        case Code::Number:
        case Code::Register:
        case Code::Flag:
        case Code::FlagOrSymbol:
        case Code::Symbol: counts[n] = 0; break;
        case Code::Negate: counts[n - 1] = -counts[n - 1]; break;
        case Code::Add: counts[n - 2] += counts[n - 1]; break;
        case Code::Subtract: counts[n - 2] -= counts[n - 1]; break;
        case Code::AndJump:
        case Code::OrJump: counts[n - 1] = 0; break;  // 0 or 1 if it jumps, else popped
        case Code::Memory:
        case Code::Complement:
        case Code::Not:
        case Code::ToBool:
        case Code::High:
        case Code::Low: counts[n - 1] = 0; break;
        default: counts[n - 2] = 0; break;  // the other binary operators: a plain number
      }
    }
    switch (s.code) {
      case Code::Number: stack[n++] = s.value; break;
      case Code::Register: {
        const std::optional<uint32_t> v = context.Register(static_cast<RegisterId>(s.arg));
        if (!v) return Error{s.column, kNoRegisters};
        stack[n++] = *v;
        break;
      }
      case Code::Flag: {
        const std::optional<uint32_t> sr = context.Register(RegisterId::SR);
        if (!sr) return Error{s.column, kNoRegisters};
        stack[n++] = (*sr >> s.arg) & 1u;
        break;
      }
      case Code::FlagOrSymbol:
      case Code::Symbol: {
        const std::string& name = symbols_[static_cast<size_t>(s.value)].name;
        if (const std::optional<int64_t> v = context.Symbol(name)) {
          if constexpr (kCount) counts[n] = context.IsAddress(name) ? 1 : 0;
          stack[n++] = *v;
          break;
        }
        const std::optional<uint32_t> sr =
            s.code == Code::FlagOrSymbol ? context.Register(RegisterId::SR) : std::nullopt;
        if (!sr) return Error{s.column, "undefined symbol '" + name + "'"};
        stack[n++] = (*sr >> s.arg) & 1u;
        break;
      }
      case Code::Memory: {
        const std::optional<uint32_t> address = ToWord(stack[n - 1]);
        if (!address) return Error{s.column, kOutOfRange};
        const std::optional<uint32_t> word = context.ReadWord(*address);
        if (!word) return Error{s.column, kNoMemory};
        stack[n - 1] = *word;
        break;
      }
      case Code::Negate:
        if (stack[n - 1] == kInt64Min) return Error{s.column, kOutOfRange};
        stack[n - 1] = -stack[n - 1];
        break;
      case Code::Complement: stack[n - 1] = ~stack[n - 1]; break;
      case Code::Not: stack[n - 1] = stack[n - 1] == 0; break;
      case Code::ToBool: stack[n - 1] = stack[n - 1] != 0; break;
      case Code::High:
      case Code::Low: {
        const std::optional<uint32_t> w = ToWord(stack[n - 1]);
        if (!w) return Error{s.column, kOutOfRange};
        stack[n - 1] = s.code == Code::High ? *w >> 16 : *w & 0xFFFFu;
        break;
      }
      case Code::AndJump:
      case Code::OrJump: {
        const bool value = stack[--n] != 0;
        if (value == (s.code == Code::OrJump)) {
          stack[n++] = value;
          i = static_cast<size_t>(s.value) - 1;
        }
        break;
      }
      default: {
        // The binary operators.
        const int64_t b = stack[--n];
        int64_t& a = stack[n - 1];
        switch (s.code) {
          case Code::Multiply:
            if (__builtin_mul_overflow(a, b, &a)) return Error{s.column, kOutOfRange};
            break;
          case Code::Add:
            if (__builtin_add_overflow(a, b, &a)) return Error{s.column, kOutOfRange};
            break;
          case Code::Subtract:
            if (__builtin_sub_overflow(a, b, &a)) return Error{s.column, kOutOfRange};
            break;
          case Code::Divide:
          case Code::Remainder:
            if (b == 0) return Error{s.column, "division by zero"};
            if (b == -1) {
              // Spelled out: kInt64Min / -1 overflows and kInt64Min % -1 is undefined in C++.
              if (s.code == Code::Remainder) {
                a = 0;
              } else if (a == kInt64Min) {
                return Error{s.column, kOutOfRange};
              } else {
                a = -a;
              }
            } else {
              a = s.code == Code::Divide ? a / b : a % b;
            }
            break;
          case Code::ShiftLeft:
          case Code::ShiftRight:
            if (b < 0 || b >= 64) return Error{s.column, kOutOfRange};
            if (s.code == Code::ShiftRight) {
              a >>= b;
            } else if (a < (kInt64Min >> b) || a > (kInt64Max >> b)) {
              return Error{s.column, kOutOfRange};
            } else {
              a = static_cast<int64_t>(static_cast<uint64_t>(a) << b);
            }
            break;
          case Code::BitAnd: a &= b; break;
          case Code::BitXor: a ^= b; break;
          case Code::BitOr: a |= b; break;
          default: {
            // The comparisons, on 32-bit words in unsigned order.
            const std::optional<uint32_t> x = ToWord(a);
            const std::optional<uint32_t> y = ToWord(b);
            if (!x || !y) return Error{s.column, kOutOfRange};
            switch (s.code) {
              case Code::Less: a = *x < *y; break;
              case Code::LessEqual: a = *x <= *y; break;
              case Code::Greater: a = *x > *y; break;
              case Code::GreaterEqual: a = *x >= *y; break;
              case Code::Equal: a = *x == *y; break;
              case Code::NotEqual: a = *x != *y; break;
              default: break;  // not a comparison: the outer cases took every other code
            }
          }
        }
      }
    }
  }
  if constexpr (kCount) *addresses = counts[0];
  return stack[0];
}

Result<uint32_t> Expression::EvaluateWord(EvalContext& context) const {
  Result<int64_t> v = Evaluate(context);
  if (!v.ok()) return v.error();
  const std::optional<uint32_t> w = ToWord(v.value());
  if (!w) return Error{steps_.back().column, kOutOfRange};
  return *w;
}

Result<bool> Expression::EvaluateCondition(EvalContext& context) const {
  Result<int64_t> v = Evaluate(context);
  if (!v.ok()) return v.error();
  return v.value() != 0;
}

Result<int64_t> Evaluate(std::string_view text, EvalContext& context) {
  Result<Expression> e = Expression::Parse(text);
  if (!e.ok()) return e.error();
  return e.value().Evaluate(context);
}

Result<uint32_t> EvaluateWord(std::string_view text, EvalContext& context) {
  Result<Expression> e = Expression::Parse(text);
  if (!e.ok()) return e.error();
  return e.value().EvaluateWord(context);
}

// ---- Contexts ----

std::optional<uint32_t> EvalContext::Register(RegisterId) {
  return std::nullopt;
}
std::optional<uint32_t> EvalContext::ReadWord(uint32_t) {
  return std::nullopt;
}
std::optional<int64_t> EvalContext::Symbol(std::string_view) {
  return std::nullopt;
}
bool EvalContext::IsAddress(std::string_view) {
  return false;
}

std::optional<int64_t> SymbolContext::Symbol(std::string_view name) {
  return symbols_ ? symbols_(name) : std::nullopt;
}

}  // namespace tervik::debug
