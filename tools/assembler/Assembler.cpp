// The assembler: a first pass parses every line, places it at its address and collects the
// symbols; a second pass evaluates the operands and encodes the words; then the listing is
// written. The instruction set comes from the core's opcode tables, so the assembler accepts
// exactly the text the disassembler prints.
#include "Assembler.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "Instruction.h"

namespace tervik::assembler {
namespace {

// ---- The instruction set ----

// What an instruction's immediate means, which decides how a value is checked and encoded.
enum class ImmKind : uint8_t {
  Value,     // sign-extended 16-bit value or absolute address
  Relative,  // offset from the instruction's own address; a label gives label - address
  High,      // the upper half of a register (MOVEH, MVSPH): the raw 16 bits
  Bit,       // a bit number 0..31
};

enum class Slot : uint8_t { Rd, Ra, Rb, Imm };

// The operands of a text form, in the order the disassembler prints them.
struct Shape {
  std::array<Slot, 3> slots{};
  size_t count = 0;
  bool percent = false;  // the disassembler prints '%' after the immediate
};

Shape ShapeOf(OperandFormat f) {
  using enum Slot;
  switch (f) {
    case OperandFormat::None: return {};
    case OperandFormat::RdRaRb: return {{Rd, Ra, Rb}, 3, false};
    case OperandFormat::RdRb: return {{Rd, Rb}, 2, false};
    case OperandFormat::RaRb: return {{Ra, Rb}, 2, false};
    case OperandFormat::Rb: return {{Rb}, 1, false};
    case OperandFormat::Rd: return {{Rd}, 1, false};
    case OperandFormat::RdRaImm: return {{Rd, Ra, Imm}, 3, false};
    case OperandFormat::RdImm: return {{Rd, Imm}, 2, false};
    case OperandFormat::RaImm: return {{Ra, Imm}, 2, false};
    case OperandFormat::RaImmPct: return {{Ra, Imm}, 2, true};
    case OperandFormat::ImmPct: return {{Imm}, 1, true};
    case OperandFormat::RdImmPct: return {{Rd, Imm}, 2, true};
    case OperandFormat::RdRaBitPct: return {{Rd, Ra, Imm}, 3, true};
    case OperandFormat::Undefined:
    case OperandFormat::MoveiGroup:
    case OperandFormat::InvalidMovei: return {};  // never an assembler mnemonic
  }
  return {};
}

struct Mnemonic {
  std::string_view name;
  uint32_t base = 0;  // opcode (and sub-operation) bits
  Shape shape;
  ImmKind imm = ImmKind::Value;
};

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return (x >= 'a' && x <= 'z' ? x - 32 : x) == (y >= 'a' && y <= 'z' ? y - 32 : y);
  });
}

ImmKind ImmKindOf(OperandFormat format, Opcode op, MoveiSub sub) {
  if (format == OperandFormat::RdRaBitPct) return ImmKind::Bit;
  if (op == Opcode::BZEI || op == Opcode::BNZEI || op == Opcode::BNEI || op == Opcode::JUMPI) {
    return ImmKind::Relative;
  }
  if (op == Opcode::MOVEI && (sub == MoveiSub::MOVEH || sub == MoveiSub::MVSPH)) {
    return ImmKind::High;
  }
  return ImmKind::Value;
}

// Mnemonics are matched without regard to case; no two differ only in case.
std::optional<Mnemonic> FindMnemonic(std::string_view name) {
  for (uint32_t op = 0; op < kOpcodeTable.size(); ++op) {
    const OpcodeInfo& info = kOpcodeTable[op];
    if (info.format == OperandFormat::Undefined || info.format == OperandFormat::MoveiGroup) {
      continue;
    }
    if (EqualsNoCase(info.mnemonic, name)) {
      return Mnemonic{info.mnemonic, op << 26, ShapeOf(info.format),
                      ImmKindOf(info.format, static_cast<Opcode>(op), MoveiSub::MOVEL)};
    }
  }
  for (uint32_t sub = 0; sub < kMoveiTable.size(); ++sub) {
    const OpcodeInfo& info = kMoveiTable[sub];
    if (info.format == OperandFormat::InvalidMovei || !EqualsNoCase(info.mnemonic, name)) continue;
    return Mnemonic{info.mnemonic, static_cast<uint32_t>(Opcode::MOVEI) << 26 | sub << 17,
                    ShapeOf(info.format),
                    ImmKindOf(info.format, Opcode::MOVEI, static_cast<MoveiSub>(sub))};
  }
  return std::nullopt;
}

// "Rd,Ra,imm" for the messages.
std::string Describe(const Mnemonic& m) {
  if (m.shape.count == 0) return std::string(m.name) + " takes no operands";
  std::string text = std::string(m.name) + " takes ";
  for (size_t i = 0; i < m.shape.count; ++i) {
    if (i > 0) text += ',';
    switch (m.shape.slots[i]) {
      case Slot::Rd: text += "Rd"; break;
      case Slot::Ra: text += "Ra"; break;
      case Slot::Rb: text += "Rb"; break;
      case Slot::Imm: text += m.imm == ImmKind::Bit ? "bit" : "imm"; break;
    }
  }
  return text;
}

uint32_t PlaceRegister(Slot slot, unsigned reg) {
  switch (slot) {
    case Slot::Rd: return reg << 21;
    case Slot::Ra: return reg << 16;
    case Slot::Rb: return reg;
    case Slot::Imm: break;
  }
  return 0;
}

// ---- Source text ----

// An error that ends the handling of one line.
struct LineError {
  unsigned column;
  std::string message;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsSymbolStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '.';
}
bool IsSymbolChar(char c) {
  return IsSymbolStart(c) || IsDigit(c);
}
int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "R7" and "r31": a register name, which a symbol may not be.
std::optional<unsigned> RegisterNumber(std::string_view name) {
  if (name.size() < 2 || name.size() > 3 || (name[0] != 'R' && name[0] != 'r')) {
    return std::nullopt;
  }
  unsigned n = 0;
  for (char c : name.substr(1)) {
    if (!IsDigit(c)) return std::nullopt;
    n = n * 10 + static_cast<unsigned>(c - '0');
  }
  return n;
}

std::string Shown(char c) {
  if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(c));
    return buf;
  }
  return std::string(1, c);
}

std::string Hex(int64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%s%llX", v < 0 ? "-" : "",
                static_cast<unsigned long long>(v < 0 ? -v : v));
  return buf;
}

// One term of an expression: a number or a symbol, added or subtracted.
struct Term {
  int sign = 1;
  std::string_view symbol;  // empty for a number
  int64_t number = 0;
  unsigned column = 0;
};

struct Expr {
  std::vector<Term> terms;
  unsigned column = 0;
};

struct Operand {
  enum class Kind : uint8_t { Register, Expression, String };
  Kind kind = Kind::Expression;
  unsigned reg = 0;
  Expr expr;
  std::string chars;  // of a string
  bool percent = false;
  unsigned column = 0;
  unsigned percentColumn = 0;
};

// Reads one line. The line's text outlives the scanner.
class LineScanner {
 public:
  explicit LineScanner(std::string_view text) : text_(text) {}

  char Peek(size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }
  // The end of the statement: the end of the line or the start of a comment.
  bool AtEnd() const { return pos_ >= text_.size() || text_[pos_] == ';'; }
  unsigned Column() const { return static_cast<unsigned>(pos_ + 1); }
  void Advance(size_t n = 1) { pos_ += n; }
  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }
  size_t Position() const { return pos_; }
  void Rewind(size_t pos) { pos_ = pos; }

  std::string_view ReadSymbol() {
    const size_t start = pos_;
    while (pos_ < text_.size() && IsSymbolChar(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }

  [[noreturn]] void Fail(std::string message) const {
    throw LineError{Column(), std::move(message)};
  }

  // What stands at the current position, for messages.
  std::string Found() const {
    if (pos_ >= text_.size()) return "the end of the line";
    if (text_[pos_] == ';') return "a comment";
    return "'" + Shown(text_[pos_]) + "'";
  }

  // Requires the end of the statement after optional blanks.
  void ExpectEnd() {
    SkipBlanks();
    if (!AtEnd()) Fail("unexpected " + Found() + ": expected the end of the line or a comment");
  }

  Operand ParseOperand() {
    SkipBlanks();
    Operand op;
    op.column = Column();
    if (AtEnd()) Fail("expected an operand, found " + Found());
    if ((Peek() == 'R' || Peek() == 'r') && IsDigit(Peek(1))) {
      const size_t start = pos_;
      const std::string_view name = ReadSymbol();
      const std::optional<unsigned> n = RegisterNumber(name);
      if (name.size() <= 3 && n.has_value() && *n <= 31) {
        op.kind = Operand::Kind::Register;
        op.reg = *n;
        return op;
      }
      if (std::all_of(name.begin() + 1, name.end(), IsDigit)) {
        pos_ = start;
        Fail("bad register '" + std::string(name) + "': expected R0 to R31");
      }
      pos_ = start;  // a symbol that merely begins like a register
    }
    if (Peek() == '"') {
      op.kind = Operand::Kind::String;
      op.chars = ParseQuoted('"');
      return op;
    }
    op.expr = ParseExpr();
    if (Peek() == '%') {
      op.percent = true;
      op.percentColumn = Column();
      Advance();
    }
    return op;
  }

  // Operands separated by commas up to the end of the statement.
  std::vector<Operand> ParseOperands() {
    std::vector<Operand> ops;
    SkipBlanks();
    if (AtEnd()) return ops;
    for (;;) {
      ops.push_back(ParseOperand());
      SkipBlanks();
      if (AtEnd()) return ops;
      if (Peek() != ',') Fail("unexpected " + Found() + ": expected ',' or the end of the line");
      Advance();
    }
  }

  Expr ParseExpr() {
    SkipBlanks();
    Expr e;
    e.column = Column();
    int sign = 1;
    if (Peek() == '+' || Peek() == '-') {
      sign = Peek() == '-' ? -1 : 1;
      Advance();
      SkipBlanks();
    }
    for (;;) {
      e.terms.push_back(ParseTerm(sign));
      SkipBlanks();
      if (Peek() != '+' && Peek() != '-') return e;
      sign = Peek() == '-' ? -1 : 1;
      Advance();
      SkipBlanks();
    }
  }

 private:
  Term ParseTerm(int sign) {
    Term t;
    t.sign = sign;
    t.column = Column();
    const char c = Peek();
    if ((c == 'H' || c == 'h') && Peek(1) == '#') {
      Advance(2);
      t.number = ParseDigits(16, "H#", t.column);
    } else if (c == '0' && (Peek(1) == 'x' || Peek(1) == 'X')) {
      Advance(2);
      t.number = ParseDigits(16, "0x", t.column);
    } else if (IsDigit(c)) {
      t.number = ParseDigits(10, "", t.column);
    } else if (c == '\'') {
      const std::string chars = ParseQuoted('\'');
      if (chars.size() != 1) {
        pos_ = t.column - 1;
        Fail("a character literal holds exactly one character");
      }
      t.number = static_cast<unsigned char>(chars[0]);
    } else if (IsSymbolStart(c)) {
      t.symbol = ReadSymbol();
    } else {
      Fail("expected an immediate (H#hex, a number, a character or a label), found " + Found());
    }
    return t;
  }

  // Digits of a number whose first character (its prefix, if any) is at `column`.
  int64_t ParseDigits(int base, std::string_view prefix, unsigned column) {
    int64_t v = 0;
    size_t n = 0;
    for (;; ++n) {
      const int d = HexValue(Peek());
      if (d < 0 || d >= base) break;
      v = v * base + d;
      if (v > 0xFFFFFFFFll) {
        pos_ = column - 1;
        Fail("number too large: expected at most 32 bits");
      }
      Advance();
    }
    if (n == 0) Fail("expected hex digits after '" + std::string(prefix) + "'");
    if (IsSymbolChar(Peek())) {
      Fail("unexpected " + Found() + " in a number: expected " +
           (base == 16 ? "hex digits" : "decimal digits"));
    }
    return v;
  }

  // A character literal or a string, with the escapes \n \r \t \0 \\ \' \".
  std::string ParseQuoted(char quote) {
    const unsigned column = Column();
    Advance();
    std::string chars;
    for (;;) {
      if (pos_ >= text_.size()) {
        pos_ = column - 1;
        Fail(quote == '"' ? "unterminated string" : "unterminated character literal");
      }
      char c = text_[pos_];
      if (c == quote) {
        Advance();
        return chars;
      }
      if (c == '\\') {
        Advance();
        switch (Peek()) {
          case 'n': c = '\n'; break;
          case 'r': c = '\r'; break;
          case 't': c = '\t'; break;
          case '0': c = '\0'; break;
          case '\\':
          case '\'':
          case '"': c = Peek(); break;
          default: Fail("unknown escape: expected \\n, \\r, \\t, \\0, \\\\, \\' or \\\"");
        }
      }
      chars.push_back(c);
      Advance();
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
};

// Five characters each a decimal digit or A-F, one white-space character, 32 binary digits:
// what the listing loader takes for a word wherever it stands in a line.
bool ContainsListingWord(std::string_view line) {
  auto isSpace = [](char c) { return IsBlank(c) || c == '\n'; };
  auto isUpperHex = [](char c) { return IsDigit(c) || (c >= 'A' && c <= 'F'); };
  for (size_t i = 0; i + 38 <= line.size(); ++i) {
    if (std::all_of(line.begin() + i, line.begin() + i + 5, isUpperHex) && isSpace(line[i + 5]) &&
        std::all_of(line.begin() + i + 6, line.begin() + i + 38,
                    [](char c) { return c == '0' || c == '1'; })) {
      return true;
    }
  }
  return false;
}

// ---- The two passes ----

struct Symbol {
  int64_t value = 0;
  int labels = 0;   // 1 when the value is an address, 0 for a plain number
  size_t line = 0;  // where it was defined: an index into the source lines
};

struct Value {
  int64_t value = 0;  // kWordMin to kWordMax
  int labels = 0;
};

// The values an expression may take: a 32-bit word read signed or unsigned.
constexpr int64_t kWordMin = -0x80000000ll;
constexpr int64_t kWordMax = 0xFFFFFFFFll;

struct Statement {
  enum class Kind : uint8_t { Instruction, Data };
  Kind kind = Kind::Instruction;
  size_t line = 0;  // an index into the source lines
  uint32_t address = 0;
  Mnemonic mnemonic;
  std::vector<Operand> operands;
};

// One line of the source with the included files' lines in place.
struct SourceLine {
  std::string_view text;
  size_t file = 0;       // index into the file names; 0 is the source itself
  unsigned line = 0;     // in its file, from 1
  bool include = false;  // an INCLUDE line, handled while the lines were read
};

class Assembly {
 public:
  Result Run(std::string_view source, std::string_view file, const IncludeReader& read) {
    read_ = &read;
    files_.emplace_back(file);
    ReadLines(source, 0, {});
    for (size_t i = 0; i < lines_.size(); ++i) {
      if (lines_[i].include) continue;
      try {
        FirstPass(lines_[i].text, i);
      } catch (const LineError& e) {
        AddError(i, e.column, e.message);
      }
    }
    std::vector<std::vector<Word>> wordsByLine(lines_.size());
    for (const Statement& s : statements_) {
      try {
        for (Word w : Encode(s)) wordsByLine[s.line].push_back(w);
      } catch (const LineError& e) {
        AddError(s.line, e.column, e.message);
      }
    }
    for (size_t i = 0; i < lines_.size(); ++i) {
      if (wordsByLine[i].empty() && ContainsListingWord(lines_[i].text)) {
        AddError(i, 1,
                 "this line would be read as a word by the listing loader (five hex digits, a "
                 "blank and 32 binary digits); change the text");
      }
    }

    Result result;
    if (!errors_.empty()) {
      std::stable_sort(errors_.begin(), errors_.end(), [](const Error& a, const Error& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
      });
      for (Error& e : errors_) {
        const SourceLine& at = lines_[e.line];
        result.errors.push_back(
            {at.line, e.column, std::move(e.message), at.file == 0 ? "" : files_[at.file]});
      }
      return result;
    }
    for (size_t i = 0; i < lines_.size(); ++i) {
      const std::vector<Word>& words = wordsByLine[i];
      const std::string_view text = lines_[i].text;
      if (words.empty()) {
        if (!text.empty()) result.listing.append(40, ' ').append(text);
      }
      for (size_t k = 0; k < words.size(); ++k) {
        AppendWord(result.listing, words[k]);
        if (k == 0 && !text.empty()) result.listing.append("  ").append(text);
        if (k + 1 < words.size()) result.listing += '\n';
      }
      result.listing += '\n';
      result.words.insert(result.words.end(), words.begin(), words.end());
    }
    return result;
  }

 private:
  // An error at an index into the source lines.
  struct Error {
    size_t line;
    unsigned column;
    std::string message;
  };

  // Appends the lines of `text`, from file `file`, each INCLUDE line followed by the included
  // file's lines; `open` holds the files being included around this one.
  void ReadLines(std::string_view text, size_t file, std::vector<std::string> open) {
    open.push_back(std::filesystem::path(files_[file]).lexically_normal().string());
    unsigned number = 0;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      start = end + 1;
      lines_.push_back({line, file, ++number, false});
      const size_t index = lines_.size() - 1;
      if (!IsIncludeLine(line)) continue;
      lines_[index].include = true;
      try {
        const auto [path, column] = IncludedPath(line);
        Include(path, column, file, open);
      } catch (const LineError& e) {
        AddError(index, e.column, e.message);
      }
    }
  }

  // Whether a line is an INCLUDE line: the word INCLUDE first, and not as a label.
  static bool IsIncludeLine(std::string_view text) {
    LineScanner s(text);
    s.SkipBlanks();
    return IsSymbolStart(s.Peek()) && EqualsNoCase(s.ReadSymbol(), "INCLUDE") && s.Peek() != ':';
  }

  // The file an INCLUDE line names, and the column of its name.
  static std::pair<std::string, unsigned> IncludedPath(std::string_view text) {
    LineScanner s(text);
    s.SkipBlanks();
    s.ReadSymbol();
    s.SkipBlanks();
    if (s.Peek() != '"') s.Fail("expected a file name in double quotes after INCLUDE");
    const Operand op = s.ParseOperand();
    s.ExpectEnd();
    if (op.chars.empty()) throw LineError{op.column, "expected a file name, found \"\""};
    return {op.chars, op.column};
  }

  void Include(const std::string& name, unsigned column, size_t from,
               const std::vector<std::string>& open) {
    std::filesystem::path path(name);
    if (path.is_relative()) path = std::filesystem::path(files_[from]).parent_path() / path;
    const std::string shown = path.lexically_normal().string();
    if (std::find(open.begin(), open.end(), shown) != open.end()) {
      throw LineError{column, "'" + shown + "' is already being included: INCLUDE would never end"};
    }
    if (static_cast<int>(open.size()) > kMaxIncludeDepth) {
      throw LineError{column,
                      "INCLUDE nested more than " + std::to_string(kMaxIncludeDepth) + " deep"};
    }
    if (!*read_) throw LineError{column, "INCLUDE reads files, and none can be read here"};
    std::string why;
    std::optional<std::string> text = (*read_)(shown, why);
    if (!text) throw LineError{column, "cannot read '" + shown + "': " + why};
    files_.push_back(shown);
    texts_.push_back(std::move(*text));
    ReadLines(texts_.back(), files_.size() - 1, open);
  }

  // "line 12" in the source itself, "check.inc:12" in an included file.
  std::string Where(size_t index) const {
    const SourceLine& at = lines_[index];
    if (at.file == 0) return "line " + std::to_string(at.line);
    return files_[at.file] + ":" + std::to_string(at.line);
  }

  void AddError(size_t line, unsigned column, std::string message) {
    errors_.push_back({line, column, std::move(message)});
  }

  static void AppendWord(std::string& out, const Word& w) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%05X ", w.address);
    out += buf;
    for (int bit = 31; bit >= 0; --bit) out += (w.value >> bit & 1u) ? '1' : '0';
  }

  void FirstPass(std::string_view text, size_t line) {
    LineScanner s(text);
    for (;;) {
      s.SkipBlanks();
      if (s.AtEnd()) return;
      const unsigned column = s.Column();
      if (!IsSymbolStart(s.Peek())) {
        s.Fail("expected a label, a mnemonic or a directive, found " + s.Found());
      }
      const std::string_view name = s.ReadSymbol();
      if (s.Peek() == ':') {
        Define(name, {address_, 1, line}, column);
        s.Advance();
        continue;
      }
      s.SkipBlanks();
      const size_t afterName = s.Position();
      if (IsSymbolStart(s.Peek()) && EqualsNoCase(s.ReadSymbol(), "EQU")) {
        const Value v = EvaluateNow(s.ParseExpr());
        s.ExpectEnd();
        Define(name, {v.value, v.labels, line}, column);
        return;
      }
      s.Rewind(afterName);
      if (EqualsNoCase(name, "ORG")) {
        const unsigned at = s.Column();
        const Value v = EvaluateNow(s.ParseExpr());
        s.ExpectEnd();
        if (v.value < 0 || v.value > kMaxAddress) {
          throw LineError{at, "address " + Hex(v.value) + " out of range: expected 0 to " +
                                  Hex(kMaxAddress) + ", the addresses a listing can hold"};
        }
        address_ = static_cast<uint32_t>(v.value);
        return;
      }
      Statement st;
      st.line = line;
      st.address = address_;
      size_t count = 1;
      if (EqualsNoCase(name, "DW")) {
        st.kind = Statement::Kind::Data;
        st.operands = s.ParseOperands();
        if (st.operands.empty()) s.Fail("expected a value or a string after DW");
        count = 0;
        for (const Operand& op : st.operands) {
          if (op.kind == Operand::Kind::Register) {
            throw LineError{op.column, "expected a value or a string, found a register"};
          }
          if (op.percent) throw LineError{op.percentColumn, "unexpected '%' in DW"};
          count += op.kind == Operand::Kind::String ? op.chars.size() : 1;
        }
      } else {
        const std::optional<Mnemonic> m = FindMnemonic(name);
        if (!m && EqualsNoCase(name, "INCLUDE")) {
          throw LineError{column, "INCLUDE stands on a line of its own, without a label"};
        }
        if (!m) {
          throw LineError{column, "unknown mnemonic '" + std::string(name) +
                                      "': expected an instruction, ORG, DW or EQU"};
        }
        st.mnemonic = *m;
        const unsigned end = s.Column();
        st.operands = s.ParseOperands();
        CheckShape(st, end);
      }
      Place(st, count, column);
      statements_.push_back(std::move(st));
      return;
    }
  }

  // Operand count and kinds against the mnemonic's text form.
  static void CheckShape(const Statement& st, unsigned endColumn) {
    const Mnemonic& m = st.mnemonic;
    const std::vector<Operand>& ops = st.operands;
    if (ops.size() > m.shape.count) {
      throw LineError{ops[m.shape.count].column, "too many operands: " + Describe(m)};
    }
    for (size_t i = 0; i < ops.size(); ++i) {
      const Operand& op = ops[i];
      if (op.kind == Operand::Kind::String) {
        throw LineError{op.column, "a string is only allowed after DW"};
      }
      const bool wantsRegister = m.shape.slots[i] != Slot::Imm;
      if (wantsRegister && op.kind != Operand::Kind::Register) {
        throw LineError{op.column, "expected a register R0 to R31 as operand " +
                                       std::to_string(i + 1) + ": " + Describe(m)};
      }
      if (!wantsRegister && op.kind == Operand::Kind::Register) {
        throw LineError{op.column, "expected an immediate as operand " + std::to_string(i + 1) +
                                       ", found register R" + std::to_string(op.reg) + ": " +
                                       Describe(m)};
      }
      if (op.percent && !m.shape.percent) {
        throw LineError{op.percentColumn, "unexpected '%': " + std::string(m.name) +
                                              " has no '%' after its immediate"};
      }
    }
    if (ops.size() < m.shape.count) {
      throw LineError{ops.empty() ? endColumn : ops.back().column,
                      "missing operand: " + Describe(m)};
    }
  }

  void Place(const Statement& st, size_t count, unsigned column) {
    if (count == 0) return;
    if (st.address + (count - 1) > kMaxAddress) {
      throw LineError{column,
                      "address " +
                          Hex(static_cast<int64_t>(st.address) + static_cast<int64_t>(count) - 1) +
                          " out of range: a listing holds addresses up to " + Hex(kMaxAddress)};
    }
    for (size_t k = 0; k < count; ++k) {
      const auto [it, fresh] = used_.emplace(st.address + static_cast<uint32_t>(k), st.line);
      if (!fresh) {
        throw LineError{column, "address " + Hex(it->first) + " already holds a word from " +
                                    Where(it->second)};
      }
    }
    address_ = st.address + static_cast<uint32_t>(count);
  }

  void Define(std::string_view name, Symbol symbol, unsigned column) {
    if (RegisterNumber(name).has_value()) {
      throw LineError{column, "'" + std::string(name) + "' is a register name, not a label"};
    }
    const auto [it, fresh] = symbols_.emplace(std::string(name), symbol);
    if (!fresh) {
      throw LineError{column, "duplicate label '" + std::string(name) + "': first defined on " +
                                  Where(it->second.line)};
    }
  }

  // Evaluates with the symbols known so far (ORG and EQU, during the first pass).
  Value EvaluateNow(const Expr& e) const { return Evaluate(e, true); }

  // Every value an expression passes through, each partial sum included, must be a 32-bit word
  // (read signed or unsigned); one outside is an error at the term that made it, never a wrap.
  // Numbers, labels and EQU constants lie inside that range, so the int64_t sum or difference
  // of two of them cannot overflow before the check.
  Value Evaluate(const Expr& e, bool firstPass) const {
    Value v;
    for (const Term& t : e.terms) {
      int64_t x = t.number;
      if (!t.symbol.empty()) {
        const auto it = symbols_.find(std::string(t.symbol));
        if (it == symbols_.end()) {
          throw LineError{t.column,
                          "undefined label '" + std::string(t.symbol) + "'" +
                              (firstPass ? ": ORG and EQU use only labels defined above" : "")};
        }
        x = it->second.value;
        v.labels += t.sign * it->second.labels;
      }
      const int64_t result = t.sign < 0 ? v.value - x : v.value + x;
      if (result < kWordMin || result > kWordMax) {
        throw LineError{t.column, "value out of range: " + Hex(result) +
                                      " does not fit 32 bits (-80000000 to FFFFFFFF)"};
      }
      v.value = result;
    }
    if (v.labels < 0 || v.labels > 1) {
      throw LineError{e.column,
                      "an expression may add one label (or the difference of two labels)"};
    }
    return v;
  }

  uint32_t Immediate(const Operand& op, const Mnemonic& m, uint32_t address) const {
    const Value v = Evaluate(op.expr, false);
    const unsigned column = op.expr.column;
    switch (m.imm) {
      case ImmKind::Bit:
        if (v.value < 0 || v.value > 31) {
          throw LineError{
              column, "bit number " + std::to_string(v.value) + " out of range: expected 0 to 31"};
        }
        return static_cast<uint32_t>(v.value);
      case ImmKind::Relative:
        if (v.labels == 1) {
          const int64_t offset = v.value - address;
          if (offset < -32768 || offset > 32767) {
            throw LineError{column, "branch target out of range: offset " + std::to_string(offset) +
                                        " from " + Hex(address) + " does not fit -32768 to 32767"};
          }
          return static_cast<uint32_t>(offset) & 0xFFFFu;
        }
        break;
      case ImmKind::Value:
        // An address must survive the sign extension the processor applies.
        if (v.labels == 1 && !(v.value >= -32768 && v.value <= 32767) &&
            !(v.value >= 0xFFFF8000ll && v.value <= 0xFFFFFFFFll)) {
          throw LineError{column, "address " + Hex(v.value) +
                                      " out of range: a 16-bit immediate reaches 0 to 7FFF and "
                                      "FFFF8000 to FFFFFFFF"};
        }
        if (v.labels == 1) return static_cast<uint32_t>(v.value) & 0xFFFFu;
        break;
      case ImmKind::High: break;
    }
    if (v.value < -32768 || v.value > 0xFFFF) {
      throw LineError{column, "immediate " + std::to_string(v.value) +
                                  " out of range: expected -32768 to 65535 (16 bits)"};
    }
    return static_cast<uint32_t>(v.value) & 0xFFFFu;
  }

  std::vector<Word> Encode(const Statement& st) const {
    std::vector<Word> words;
    uint32_t address = st.address;
    if (st.kind == Statement::Kind::Data) {
      for (const Operand& op : st.operands) {
        if (op.kind == Operand::Kind::String) {
          for (char c : op.chars)
            words.push_back({address++, static_cast<unsigned char>(c), lines_[st.line].line});
          continue;
        }
        // Evaluate keeps every value within a word: negative ones are stored as their 32 bits.
        const Value v = Evaluate(op.expr, false);
        words.push_back({address++, static_cast<uint32_t>(v.value), lines_[st.line].line});
      }
      return words;
    }
    uint32_t word = st.mnemonic.base;
    for (size_t i = 0; i < st.operands.size(); ++i) {
      const Slot slot = st.mnemonic.shape.slots[i];
      word |= slot == Slot::Imm ? Immediate(st.operands[i], st.mnemonic, address)
                                : PlaceRegister(slot, st.operands[i].reg);
    }
    words.push_back({address, word, lines_[st.line].line});
    return words;
  }

  const IncludeReader* read_ = nullptr;
  std::vector<std::string> files_;  // names; 0 is the source itself
  std::deque<std::string> texts_;   // the included files' texts, which lines_ points into
  std::vector<SourceLine> lines_;
  std::vector<Error> errors_;
  std::vector<Statement> statements_;
  std::unordered_map<std::string, Symbol> symbols_;
  std::map<uint32_t, size_t> used_;  // address -> index of the line that placed a word there
  uint32_t address_ = 0;
};

}  // namespace

Result Assemble(std::string_view source, std::string_view file, const IncludeReader& read) {
  return Assembly().Run(source, file, read);
}

std::string FormatDiagnostic(std::string_view file, const Diagnostic& d) {
  return (d.file.empty() ? std::string(file) : d.file) + ":" + std::to_string(d.line) + ":" +
         std::to_string(d.column) + ": error: " + d.message;
}

}  // namespace tervik::assembler
