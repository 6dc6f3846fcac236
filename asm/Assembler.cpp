// The assembler: a first pass parses every line, places it at its address and collects the
// symbols and register aliases; the lines whose addresses overlap are found from those ranges; a
// second pass evaluates the operands and encodes the words (keeping them only for lines that
// overlap no other, so that at most one word per address is ever made); then the overlaps are
// reported and the listing is written. The instruction
// set comes from the core's opcode tables, so the assembler accepts exactly the text the
// disassembler prints; operands are the debugger's expression language (lang/Expression.h).
#include "Assembler.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>

#include "Expression.h"
#include "InstructionSet.h"
#include "LineScanner.h"
#include "SourceReader.h"
#include "Suggestion.h"

namespace tervik::assembler {
namespace {

// ---- The two passes ----

struct SymbolDef {
  int64_t value = 0;
  int labels = 0;    // 1 when the value is an address, 0 for a plain number
  size_t line = 0;   // where it was defined: an index into the source lines
  size_t order = 0;  // how many symbols were defined before it
};

// A register alias: `name REG R1`.
struct Alias {
  unsigned reg = 0;
  size_t line = 0;
};

struct Value {
  int64_t value = 0;  // kWordMin to kWordMax
  int labels = 0;
};

// The values an expression may take: a 32-bit word read signed or unsigned.
constexpr int64_t kWordMin = -0x80000000ll;
constexpr int64_t kWordMax = 0xFFFFFFFFll;
// The most words one count (SPACE, ALIGN, a DW repeat) may stand for: every address.
constexpr int64_t kMaxCount = int64_t{kMaxAddress} + 1;
// How many misspelt names get a suggestion.
constexpr size_t kMaxNameSuggestions = 100;

// The pseudo-instructions, which expand to instructions (Assembler.h's header comment).
enum class Pseudo : uint8_t { None, Load, Call, Jump };

struct PseudoOp {
  std::string_view name;
  Pseudo kind;
  std::string_view usage;
};
constexpr PseudoOp kPseudoOps[] = {
    {"LI", Pseudo::Load, "LI takes Rd,value"},
    {"CALLTO", Pseudo::Call, "CALLTO takes Rt,target"},
    {"JUMPTO", Pseudo::Jump, "JUMPTO takes Rt,target"},
};
// The words that may start a statement besides the instructions and pseudo-instructions (EQU and
// REG follow a name).
constexpr std::string_view kDirectives[] = {"ORG", "DW", "SPACE", "ALIGN", "INCLUDE"};

const PseudoOp* FindPseudo(std::string_view name) {
  for (const PseudoOp& p : kPseudoOps) {
    if (EqualsNoCase(p.name, name)) return &p;
  }
  return nullptr;
}

bool IsDirective(std::string_view name) {
  return std::any_of(std::begin(kDirectives), std::end(kDirectives),
                     [&](std::string_view d) { return EqualsNoCase(d, name); });
}

// Whether a word may start a statement: an instruction, a pseudo-instruction or a directive.
bool StartsStatement(std::string_view name) {
  return FindMnemonic(name) || FindPseudo(name) || IsDirective(name);
}

std::string Upper(std::string_view text) {
  std::string u(text);
  for (char& c : u) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return u;
}

// "did you mean MOVEL?" for a word that is almost a mnemonic, a pseudo-instruction or a
// directive.
std::string Suggestion(std::string_view name) {
  std::vector<std::string_view> all = MnemonicNames();
  for (const PseudoOp& p : kPseudoOps) all.push_back(p.name);
  for (std::string_view d : kDirectives) all.push_back(d);
  return DidYouMean(name, all);
}

// "R" or "r" followed by digits only: a general register's name, valid or not.
bool LooksLikeRegister(std::string_view name) {
  return name.size() >= 2 && (name[0] == 'R' || name[0] == 'r') &&
         std::all_of(name.begin() + 1, name.end(), IsDigit);
}

struct Operand {
  enum class Kind : uint8_t { Register, Expression, String };
  Kind kind = Kind::Expression;
  unsigned reg = 0;
  std::optional<debug::Expression> expr;
  std::string_view text;  // the expression's text, without the '%' after it
  std::u32string chars;   // of a string: its Unicode characters
  bool percent = false;
  unsigned column = 0;  // where the operand starts, which is where its expression starts
  unsigned percentColumn = 0;
  uint32_t repeat = 1;  // DW: the count of `count DUP item`
};

struct Statement {
  enum class Kind : uint8_t { Instruction, Data, Pseudo };
  Kind kind = Kind::Instruction;
  size_t line = 0;  // an index into the source lines
  uint32_t address = 0;
  uint32_t size = 0;  // words
  Mnemonic mnemonic;
  Pseudo pseudo = Pseudo::None;
  std::vector<Operand> operands;
};

// Words placed, or addresses reserved, by one line: checked for overlaps once every line is
// known, so that a line that failed never causes an error on another.
struct Placement {
  size_t line = 0;
  unsigned column = 0;
  uint32_t first = 0;
  uint32_t count = 0;
  bool reserved = false;  // SPACE or ALIGN: addresses kept free, no words
};

// The symbols as an expression's context: labels are addresses.
class SymbolView : public debug::EvalContext {
 public:
  explicit SymbolView(const std::unordered_map<std::string, SymbolDef>& symbols)
      : symbols_(symbols) {}
  std::optional<int64_t> Symbol(std::string_view name) override {
    const auto it = symbols_.find(std::string(name));
    if (it == symbols_.end()) return std::nullopt;
    return it->second.value;
  }
  bool IsAddress(std::string_view name) override {
    const auto it = symbols_.find(std::string(name));
    return it != symbols_.end() && it->second.labels == 1;
  }

 private:
  const std::unordered_map<std::string, SymbolDef>& symbols_;
};

class Assembly {
 public:
  Assembly(std::string_view source, std::string_view file, const IncludeReader& read)
      : source_(source, file, read), lines_(source_.Lines()), files_(source_.Files()) {
    for (const SourceError& e : source_.Errors()) AddError(e.line, e.column, e.message);
  }

  Result Run() {
    // Lines cut short at the limit on included lines: their error alone says what went wrong.
    const size_t passed = source_.Stopped() ? 0 : lines_.size();
    for (size_t i = 0; i < passed; ++i) {
      if (lines_[i].include) continue;
      guess_ = 0;
      try {
        FirstPass(lines_[i].text, i);
      } catch (const LineError& e) {
        AddError(i, e.column, e.message);
        // A statement that failed still takes the words it would most likely have taken, so
        // that the labels after it keep their addresses.
        if (guess_ > 0 && address_ + guess_ - 1 <= kMaxAddress) address_ += guess_;
      }
    }
    // Words are kept only for lines that share no address with another: those are at most one
    // per address, however many words overlapping lines would repeat. The others are checked for
    // errors without their repeats spelled out.
    const std::set<size_t> overlapping = OverlappingLines();
    std::vector<std::vector<Word>> wordsByLine(passed);
    std::vector<SymbolUse> uses;
    for (const Statement& s : statements_) {
      try {
        const bool keep = !overlapping.contains(s.line);
        const std::vector<Word> encoded = Encode(s, keep);
        if (keep) {
          wordsByLine[s.line].insert(wordsByLine[s.line].end(), encoded.begin(), encoded.end());
          RecordUses(s, encoded, uses);
        }
      } catch (const LineError& e) {
        AddError(s.line, e.column, e.message);
      }
    }
    CheckOverlaps();
    for (size_t i = 0; i < passed; ++i) {
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
        Diagnostic d{at.line, e.column, std::move(e.message), FileName(at.file), {}};
        for (size_t file = at.file; file != 0;) {
          const IncludeSite& site = source_.Sites()[file];
          file = lines_[site.line].file;
          d.includedFrom.push_back({FileName(file), lines_[site.line].line, site.column});
        }
        result.errors.push_back(std::move(d));
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
    result.symbols = SymbolsInOrder();
    result.uses = std::move(uses);
    result.files = files_;
    return result;
  }

 private:
  // An error at an index into the source lines.
  struct Error {
    size_t line;
    unsigned column;
    std::string message;
  };

  // The name of an inclusion's file for a diagnostic: empty for the source itself.
  std::string FileName(size_t file) const { return file == 0 ? std::string() : files_[file]; }

  // "line 12" in the source itself, "check.inc:12" in an included file.
  std::string Where(size_t index) const {
    const SourceLine& at = lines_[index];
    if (at.file == 0) return "line " + std::to_string(at.line);
    return files_[at.file] + ":" + std::to_string(at.line);
  }

  // The words of an instruction or pseudo-instruction whose operand names a symbol (data words
  // are no instructions, and the CALL or JUMPr that ends CALLTO and JUMPTO takes a register).
  static void RecordUses(const Statement& st, const std::vector<Word>& words,
                         std::vector<SymbolUse>& uses) {
    if (st.kind == Statement::Kind::Data) return;
    for (const Operand& op : st.operands) {
      if (!op.expr || op.expr->Symbols().empty()) continue;
      const bool endsInJump = st.pseudo == Pseudo::Call || st.pseudo == Pseudo::Jump;
      const size_t count = words.size() - (endsInJump ? 1 : 0);
      for (size_t k = 0; k < count; ++k) {
        uses.push_back({words[k].address, op.expr->Symbols().front().name});
      }
      return;
    }
  }

  // The symbols in the order the source defines them; a value that is an address (a label, or an
  // EQU of a label's address) is a label.
  std::vector<SymbolEntry> SymbolsInOrder() const {
    std::vector<std::pair<size_t, const std::string*>> order;
    for (const auto& [name, symbol] : symbols_) order.emplace_back(symbol.order, &name);
    std::sort(order.begin(), order.end());
    std::vector<SymbolEntry> entries;
    entries.reserve(order.size());
    for (const auto& [index, name] : order) {
      const SymbolDef& symbol = symbols_.at(*name);
      entries.push_back({*name, static_cast<uint32_t>(symbol.value), symbol.labels == 1});
    }
    return entries;
  }

  void AddError(size_t line, unsigned column, std::string message) {
    errors_.push_back({line, column, std::move(message)});
    failed_.insert(line);
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
        Define(name, {address_, 1, line}, column, "label");
        s.Advance();
        continue;
      }
      s.SkipBlanks();
      const size_t afterName = s.Position();
      const std::string_view second = IsSymbolStart(s.Peek()) ? s.ReadSymbol() : "";
      if (EqualsNoCase(second, "EQU")) {
        const Operand op = OneValue(s, text, "EQU");
        const Value v = Evaluate(op, ": ORG and EQU use only labels defined above");
        Define(name, {v.value, v.labels, line}, column, "constant");
        return;
      }
      if (EqualsNoCase(second, "REG")) {
        const std::vector<Operand> ops = ReadOperands(s, text, false);
        if (ops.size() != 1 || ops[0].kind != Operand::Kind::Register) {
          throw LineError{ops.empty() ? s.Column() : ops[0].column,
                          "expected a register R0 to R31 (or an alias defined above) after REG"};
        }
        DefineAlias(name, ops[0].reg, line, column);
        return;
      }
      if (!second.empty() && !StartsStatement(name) && StartsStatement(second) && s.Peek() != ':') {
        // `loop ADD R1,R2,R3`: take the label as meant, so that no other line misses it.
        if (!debug::IsReservedName(name) && !symbols_.contains(std::string(name)) &&
            !aliases_.contains(std::string(name))) {
          Define(name, {address_, 1, line}, column, "label");
        }
        guess_ = 1;
        throw LineError{column, "'" + std::string(name) + "' is no mnemonic, and labels need a " +
                                    "colon: write '" + std::string(name) + ":' before " +
                                    Upper(second)};
      }
      s.Rewind(afterName);
      if (EqualsNoCase(name, "ORG")) {
        const Operand op = OneValue(s, text, "ORG");
        const Value v = Evaluate(op, ": ORG and EQU use only labels defined above");
        if (v.value < 0 || v.value > kMaxAddress) {
          throw LineError{op.column, "address " + Hex(v.value) + " out of range: expected 0 to " +
                                         Hex(kMaxAddress) + ", the addresses a listing can hold"};
        }
        address_ = static_cast<uint32_t>(v.value);
        return;
      }
      if (EqualsNoCase(name, "SPACE") || EqualsNoCase(name, "ALIGN")) {
        const bool space = EqualsNoCase(name, "SPACE");
        const std::string directive = space ? "SPACE" : "ALIGN";
        const Operand op = OneValue(s, text, directive);
        const int64_t n = Count(op, directive, space ? 0 : 1);
        const int64_t next = space ? address_ + n : (address_ + n - 1) / n * n;
        Reserve(line, column, next - address_);
        return;
      }
      Statement st;
      st.line = line;
      st.address = address_;
      st.size = 1;
      if (EqualsNoCase(name, "DW")) {
        st.kind = Statement::Kind::Data;
        st.operands = ReadOperands(s, text, true);
        if (st.operands.empty()) s.Fail("expected a value or a string after DW");
        int64_t count = 0;
        for (const Operand& op : st.operands) {
          count += static_cast<int64_t>(op.repeat) *
                   static_cast<int64_t>(op.kind == Operand::Kind::String ? op.chars.size() : 1);
          if (count > kMaxCount) break;
        }
        if (count > kMaxCount) {
          throw LineError{column, "DW of more than " + std::to_string(kMaxCount) +
                                      " words: a listing holds no more"};
        }
        st.size = static_cast<uint32_t>(count);
      } else if (const PseudoOp* p = FindPseudo(name)) {
        st.kind = Statement::Kind::Pseudo;
        st.pseudo = p->kind;
        guess_ = p->kind == Pseudo::Load ? 2 : 3;
        st.mnemonic = Mnemonic{p->name, 0, Shape{{Slot::Rd, Slot::Imm}, 2, false}, ImmKind::Value};
        const unsigned end = s.Column();
        st.operands = ReadOperands(s, text, false);
        CheckShape(st.mnemonic, std::string(p->usage), st.operands, end);
        st.size = LoadSize(st.operands[1]) + (p->kind == Pseudo::Load ? 0 : 1);
      } else {
        const std::optional<Mnemonic> m = FindMnemonic(name);
        if (!m && EqualsNoCase(name, "INCLUDE")) {
          throw LineError{column, "INCLUDE stands on a line of its own, without a label"};
        }
        guess_ = 1;
        if (!m) {
          const std::string hint = Suggestion(name);
          throw LineError{column, "unknown mnemonic '" + std::string(name) + "': " +
                                      (hint.empty() ? "expected an instruction, a pseudo-"
                                                      "instruction (LI, CALLTO, JUMPTO) or a "
                                                      "directive (ORG, DW, EQU, REG, SPACE, ALIGN)"
                                                    : hint)};
        }
        st.mnemonic = *m;
        const unsigned end = s.Column();
        st.operands = ReadOperands(s, text, false);
        CheckShape(st.mnemonic, Describe(st.mnemonic), st.operands, end);
      }
      Place(st.address, st.size, line, column, false);
      address_ = st.address + st.size;
      statements_.push_back(std::move(st));
      return;
    }
  }

  // The operands of the rest of the statement. With `data` (DW), an item may be a string and
  // `count DUP item` repeats an item.
  std::vector<Operand> ReadOperands(LineScanner& s, std::string_view text, bool data) const {
    std::vector<Operand> ops;
    for (const Field& f : s.ReadFields()) {
      if (!data) {
        ops.push_back(ReadOperand(text, f));
        continue;
      }
      Field item = f;
      uint32_t repeat = 1;
      if (const std::optional<size_t> dup = FindDup(f.text)) {
        const Field count = {Trimmed(f.text.substr(0, *dup)), f.column};
        size_t after = *dup + 3;
        while (after < f.text.size() && IsBlank(f.text[after])) ++after;
        item = {f.text.substr(after), f.column + static_cast<unsigned>(after)};
        if (item.text.empty()) {
          throw LineError{item.column, "expected a value or a string after DUP"};
        }
        const Operand op = ReadOperand(text, count);
        if (op.kind != Operand::Kind::Expression || op.percent) {
          throw LineError{op.column, "expected a repeat count before DUP"};
        }
        repeat = static_cast<uint32_t>(Count(op, "a repeat count", 1));
      }
      Operand op = ReadOperand(text, item);
      if (op.kind == Operand::Kind::Register) {
        throw LineError{op.column, "expected a value or a string, found a register"};
      }
      if (op.percent) throw LineError{op.percentColumn, "unexpected '%' in DW"};
      op.repeat = repeat;
      ops.push_back(std::move(op));
    }
    return ops;
  }

  static std::string_view Trimmed(std::string_view t) {
    while (!t.empty() && IsBlank(t.back())) t.remove_suffix(1);
    return t;
  }

  // Where the word DUP stands in a DW item, outside brackets and quotes, with text before it.
  static std::optional<size_t> FindDup(std::string_view t) {
    int depth = 0;
    for (size_t i = 0; i < t.size();) {
      const char c = t[i];
      if (c == '"' || c == '\'') {
        ++i;
        while (i < t.size() && t[i] != c) i += t[i] == '\\' ? 2 : 1;
        ++i;
        continue;
      }
      if (c == '(' || c == '[') ++depth;
      if (c == ')' || c == ']') --depth;
      if (IsSymbolStart(c) && (i == 0 || !IsSymbolChar(t[i - 1]))) {
        size_t end = i;
        while (end < t.size() && IsSymbolChar(t[end])) ++end;
        if (depth == 0 && i > 0 && EqualsNoCase(t.substr(i, end - i), "DUP")) return i;
        i = end;
        continue;
      }
      ++i;
    }
    return std::nullopt;
  }

  // One operand: a register (or an alias), a string, or an expression with an optional '%'.
  Operand ReadOperand(std::string_view line, const Field& f) const {
    Operand op;
    op.column = f.column;
    const std::string_view t = f.text;
    if (t.empty()) throw LineError{f.column, "expected an immediate or a register"};
    if (t[0] == '"') {
      op.kind = Operand::Kind::String;
      LineScanner s(line);
      s.Rewind(f.column - 1);
      op.chars = s.ParseText();
      s.SkipBlanks();
      if (s.Position() < f.column - 1 + t.size()) {
        s.Fail("unexpected " + s.Found() + ": expected ',' or the end of the line");
      }
      return op;
    }
    if (IsSymbolStart(t[0])) {
      size_t n = 0;
      while (n < t.size() && IsSymbolChar(t[n])) ++n;
      const std::string_view name = t.substr(0, n);
      std::optional<unsigned> reg;
      if (LooksLikeRegister(name)) {
        const std::optional<unsigned> r = RegisterNumber(name);
        if (!r || *r > 31) {
          throw LineError{f.column, "bad register '" + std::string(name) + "': expected R0 to R31"};
        }
        reg = r;
      } else if (const auto it = aliases_.find(std::string(name)); it != aliases_.end()) {
        reg = it->second.reg;
      }
      if (reg) {
        size_t m = n;
        while (m < t.size() && IsBlank(t[m])) ++m;
        if (m < t.size() && std::string_view("+-*/%<>=!&|^").find(t[m]) != std::string_view::npos) {
          throw LineError{f.column, "'" + std::string(name) + "' is a register, not a value: " +
                                        "an expression takes no registers"};
        }
        if (m < t.size()) {
          throw LineError{
              f.column + static_cast<unsigned>(m),
              "unexpected '" + debug::ShowChar(t[m]) + "': expected ',' or the end of the line"};
        }
        op.kind = Operand::Kind::Register;
        op.reg = *reg;
        return op;
      }
    }
    size_t end = t.size();
    if (t[end - 1] == '%') {
      op.percent = true;
      op.percentColumn = f.column + static_cast<unsigned>(end - 1);
      --end;
      while (end > 0 && IsBlank(t[end - 1])) --end;
    }
    op.text = t.substr(0, end);
    debug::Result<debug::Expression> parsed = debug::Expression::Parse(op.text);
    if (!parsed.ok()) {
      throw LineError{f.column - 1 + static_cast<unsigned>(parsed.error().column),
                      parsed.error().message};
    }
    op.expr.emplace(std::move(parsed).value());
    return op;
  }

  // The one value after a directive.
  Operand OneValue(LineScanner& s, std::string_view text, const std::string& directive) const {
    const unsigned end = s.Column();
    std::vector<Operand> ops = ReadOperands(s, text, false);
    if (ops.empty()) throw LineError{end, "expected a value after " + directive};
    if (ops.size() > 1) throw LineError{ops[1].column, directive + " takes one value"};
    if (ops[0].kind != Operand::Kind::Expression) {
      throw LineError{ops[0].column,
                      "expected a value after " + directive + ", found " +
                          (ops[0].kind == Operand::Kind::String ? "a string" : "a register")};
    }
    if (ops[0].percent) {
      throw LineError{ops[0].percentColumn, "unexpected '%': " + directive + " takes a value"};
    }
    return std::move(ops[0]);
  }

  // A count known in the first pass: SPACE's (from 0), ALIGN's or a repeat count (from 1).
  int64_t Count(const Operand& op, const std::string& what, int64_t least) const {
    const std::string above = what == "a repeat count" ? ": a repeat count uses only labels "
                                                         "defined above"
                                                       : ": " + what +
                                                             " uses only labels "
                                                             "defined above";
    const Value v = Evaluate(op, above);
    if (v.value < least || v.value > kMaxCount) {
      std::string name = what;
      if (name == "a repeat count") name = "repeat count";
      throw LineError{op.column, name + " " + std::to_string(v.value) + " out of range: expected " +
                                     std::to_string(least) + " to " + std::to_string(kMaxCount)};
    }
    return v.value;
  }

  // Operand count and kinds against the mnemonic's text form.
  void CheckShape(const Mnemonic& m, const std::string& usage, const std::vector<Operand>& ops,
                  unsigned endColumn) const {
    if (ops.size() > m.shape.count) {
      throw LineError{ops[m.shape.count].column, "too many operands: " + usage};
    }
    for (size_t i = 0; i < ops.size(); ++i) {
      const Operand& op = ops[i];
      if (op.kind == Operand::Kind::String) {
        throw LineError{op.column, "a string is only allowed after DW"};
      }
      const bool wantsRegister = m.shape.slots[i] != Slot::Imm;
      if (wantsRegister && op.kind != Operand::Kind::Register) {
        std::string message =
            "expected a register R0 to R31 as operand " + std::to_string(i + 1) + ": " + usage;
        const std::string hint = NameSuggestion(op.text, aliases_);
        if (!hint.empty()) message += "; " + hint;
        throw LineError{op.column, message};
      }
      if (!wantsRegister && op.kind == Operand::Kind::Register) {
        throw LineError{op.column, "expected an immediate as operand " + std::to_string(i + 1) +
                                       ", found register R" + std::to_string(op.reg) + ": " +
                                       usage};
      }
      if (op.percent && !m.shape.percent) {
        throw LineError{op.percentColumn, "unexpected '%': " + std::string(m.name) +
                                              " has no '%' after its immediate"};
      }
    }
    if (ops.size() < m.shape.count) {
      throw LineError{ops.empty() ? endColumn : ops.back().column, "missing operand: " + usage};
    }
  }

  // How many words LI takes for a value: one when the value is known here (only symbols defined
  // above) and MOVEL or MOVEH alone can load it, else two.
  uint32_t LoadSize(const Operand& op) const {
    try {
      const Value v = Evaluate(op, "");
      return OneWordLoad(static_cast<uint32_t>(v.value)) ? 1 : 2;
    } catch (const LineError&) {
      return 2;
    }
  }

  // MOVEL sign-extends its 16 bits; MOVEH sets the upper half and clears the lower.
  static bool OneWordLoad(uint32_t w) {
    return w <= 0x7FFFu || w >= 0xFFFF8000u || (w & 0xFFFFu) == 0;
  }

  // Checks that a statement fits the listing's addresses; overlaps are checked at the end.
  void Place(uint32_t first, int64_t count, size_t line, unsigned column, bool reserved) {
    if (count == 0) return;
    if (first + count - 1 > kMaxAddress) {
      throw LineError{column, "address " + Hex(first + count - 1) +
                                  " out of range: a listing holds addresses up to " +
                                  Hex(kMaxAddress)};
    }
    placements_.push_back({line, column, first, static_cast<uint32_t>(count), reserved});
  }

  void Reserve(size_t line, unsigned column, int64_t count) {
    Place(address_, count, line, column, true);
    address_ += static_cast<uint32_t>(count);
  }

  // The lines whose words (or reservations) share an address with another line's, found from
  // the placements alone: sorted by first address, a placement overlaps an earlier one exactly
  // when it starts at or before the furthest last address so far, which is the placement
  // reaching there.
  std::set<size_t> OverlappingLines() const {
    std::vector<const Placement*> sorted;
    for (const Placement& p : placements_) {
      if (!failed_.contains(p.line)) sorted.push_back(&p);
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const Placement* a, const Placement* b) { return a->first < b->first; });
    std::set<size_t> lines;
    const Placement* reach = nullptr;  // the placement with the furthest last address so far
    for (const Placement* p : sorted) {
      const uint32_t last = p->first + (p->count - 1);
      if (reach && p->first <= reach->first + (reach->count - 1)) {
        lines.insert(p->line);
        lines.insert(reach->line);
      }
      if (!reach || last > reach->first + (reach->count - 1)) reach = p;
    }
    return lines;
  }

  // Two lines' words (or reservations) at one address: an error on the later line, unless one of
  // the two lines failed already.
  void CheckOverlaps() {
    std::map<uint32_t, const Placement*> taken;  // first address -> placement; never overlapping
    for (const Placement& p : placements_) {
      if (failed_.contains(p.line)) continue;
      const uint32_t last = p.first + (p.count - 1);
      const Placement* other = nullptr;
      uint32_t at = p.first;
      auto next = taken.upper_bound(p.first);
      if (next != taken.begin()) {
        const Placement* before = std::prev(next)->second;
        if (before->first + (before->count - 1) >= p.first) other = before;
      }
      if (!other && next != taken.end() && next->first <= last) {
        other = next->second;
        at = next->first;
      }
      if (!other) {
        taken.emplace(p.first, &p);
        continue;
      }
      if (failed_.contains(other->line)) continue;
      std::string message = "address " + Hex(at);
      message += other->reserved ? " is reserved by " : " already holds a word from ";
      AddError(p.line, p.column, message + Where(other->line));
    }
  }

  void CheckName(std::string_view name, unsigned column, const std::string& what) const {
    if (debug::IsReservedName(name)) {
      std::string message = "'" + std::string(name) + "' is a register name, not a " + what;
      if (!LooksLikeRegister(name)) {
        message += ": the debugger's expressions read " + std::string(name) + " as the register";
      }
      throw LineError{column, message};
    }
  }

  void Define(std::string_view name, SymbolDef symbol, unsigned column, const std::string& what) {
    CheckName(name, column, what);
    if (const auto it = aliases_.find(std::string(name)); it != aliases_.end()) {
      throw LineError{column, "duplicate label '" + std::string(name) + "': first defined on " +
                                  Where(it->second.line) + " as a register alias"};
    }
    symbol.order = symbols_.size();
    const auto [it, fresh] = symbols_.emplace(std::string(name), symbol);
    if (!fresh) {
      throw LineError{column, "duplicate label '" + std::string(name) + "': first defined on " +
                                  Where(it->second.line)};
    }
  }

  void DefineAlias(std::string_view name, unsigned reg, size_t line, unsigned column) {
    CheckName(name, column, "register alias");
    if (const auto it = symbols_.find(std::string(name)); it != symbols_.end()) {
      throw LineError{column, "duplicate name '" + std::string(name) + "': first defined on " +
                                  Where(it->second.line)};
    }
    const auto [it, fresh] = aliases_.emplace(std::string(name), Alias{reg, line});
    if (!fresh) {
      throw LineError{column, "duplicate name '" + std::string(name) + "': first defined on " +
                                  Where(it->second.line)};
    }
  }

  // "did you mean loop?" for a name close to one of `names` (labels and constants, or register
  // aliases), for the first kMaxNameSuggestions names asked about: each costs a look at every
  // name.
  template <typename Names>
  std::string NameSuggestion(std::string_view name, const Names& names) const {
    if (name.empty() || names.empty() || nameSuggestions_ >= kMaxNameSuggestions) return {};
    ++nameSuggestions_;
    std::vector<std::string_view> candidates;
    candidates.reserve(names.size());
    for (const auto& entry : names) candidates.push_back(entry.first);
    // Sorted, so that the suggestion does not depend on the hash table's order.
    std::sort(candidates.begin(), candidates.end());
    return DidYouMean(name, candidates, false);
  }

  // The value of an operand's expression with the symbols defined so far. `above` is added to
  // the message for an undefined name: in the first pass, why the name must be defined above.
  // The value must be a 32-bit word (read signed or unsigned), and an address (one label, or a
  // label plus or minus numbers) or a plain number (the difference of two labels is one).
  Value Evaluate(const Operand& op, std::string_view above) const {
    const debug::Expression& e = *op.expr;
    const unsigned base = op.column - 1;
    for (const debug::Expression::SymbolUse& use : e.Symbols()) {
      const unsigned column = base + static_cast<unsigned>(use.column);
      if (const auto it = aliases_.find(use.name); it != aliases_.end()) {
        throw LineError{column, "'" + use.name + "' is register R" +
                                    std::to_string(it->second.reg) +
                                    " (REG), not a value: an expression takes no registers"};
      }
      if (!symbols_.contains(use.name)) {
        std::string message = "undefined label '" + use.name + "'" + std::string(above);
        const std::string hint = NameSuggestion(use.name, symbols_);
        if (!hint.empty()) message += (above.empty() ? ": " : "; ") + hint;
        throw LineError{column, message};
      }
    }
    SymbolView context(symbols_);
    const debug::Result<debug::AddressValue> r = e.EvaluateAddress(context);
    if (!r.ok()) {
      const size_t at = r.error().column;
      std::string message = r.error().message;
      if (message == "registers are not available here") {
        size_t end = at - 1;
        while (end < op.text.size() && IsSymbolChar(op.text[end])) ++end;
        message = "'" + std::string(op.text.substr(at - 1, end - (at - 1))) +
                  "' is a register, not a value: an expression takes no registers";
      } else if (message == "memory is not available here") {
        message = "M[...] reads memory, which an expression in the source cannot";
      }
      throw LineError{base + static_cast<unsigned>(at), message};
    }
    const debug::AddressValue v = r.value();
    if (v.value < kWordMin || v.value > kWordMax) {
      throw LineError{
          base + static_cast<unsigned>(e.ResultColumn()),
          "value out of range: " + Hex(v.value) + " does not fit 32 bits (-80000000 to FFFFFFFF)"};
    }
    if (v.addresses < 0 || v.addresses > 1) {
      throw LineError{op.column,
                      "an expression may add one label (or the difference of two labels)"};
    }
    return {v.value, static_cast<int>(v.addresses)};
  }

  uint32_t Immediate(const Operand& op, const Mnemonic& m, uint32_t address) const {
    const Value v = Evaluate(op, "");
    const unsigned column = op.column;
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

  static uint32_t Encoded(std::string_view mnemonic, unsigned rd, unsigned ra, uint32_t imm) {
    const Mnemonic m = *FindMnemonic(mnemonic);
    uint32_t word = m.base | (imm & 0xFFFFu);
    if (m.shape.count > 0 && m.shape.slots[0] != Slot::Imm) {
      word |= PlaceRegister(m.shape.slots[0], rd);
    }
    if (m.shape.count > 1 && m.shape.slots[1] == Slot::Ra) word |= PlaceRegister(Slot::Ra, ra);
    return word;
  }

  // The words of a pseudo-instruction (Assembler.h's header comment).
  std::vector<uint32_t> Expand(const Statement& st) const {
    const unsigned rd = st.operands[0].reg;
    const auto w = static_cast<uint32_t>(Evaluate(st.operands[1], "").value);
    const uint32_t loadWords = st.size - (st.pseudo == Pseudo::Load ? 0 : 1);
    std::vector<uint32_t> words;
    if (loadWords == 1 && (w <= 0x7FFFu || w >= 0xFFFF8000u)) {
      words.push_back(Encoded("MOVEL", rd, 0, w));
    } else if (loadWords == 1) {
      words.push_back(Encoded("MOVEH", rd, 0, w >> 16));
    } else {
      // ADDI adds its immediate sign-extended: the upper half is rounded for it.
      words.push_back(Encoded("MOVEH", rd, 0, (w + 0x8000u) >> 16));
      words.push_back(Encoded("ADDI", rd, rd, w));
    }
    if (st.pseudo == Pseudo::Call) words.push_back(Encoded("CALL", rd, 0, 0));
    if (st.pseudo == Pseudo::Jump) words.push_back(Encoded("JUMPr", rd, 0, 0));
    return words;
  }

  // The words of a statement. Without `repeat`, a DW item repeated by DUP gives one word: the
  // statement is checked, not placed.
  std::vector<Word> Encode(const Statement& st, bool repeat = true) const {
    std::vector<Word> words;
    uint32_t address = st.address;
    const unsigned line = lines_[st.line].line;
    const size_t file = lines_[st.line].file;
    if (st.kind == Statement::Kind::Data) {
      for (const Operand& op : st.operands) {
        if (op.kind == Operand::Kind::String) {
          for (uint32_t k = 0; k < (repeat ? op.repeat : 1); ++k) {
            for (char32_t c : op.chars) words.push_back({address++, c, line, file});
          }
          continue;
        }
        // Evaluate keeps every value within a word: negative ones are stored as their 32 bits.
        const Value v = Evaluate(op, "");
        for (uint32_t k = 0; k < (repeat ? op.repeat : 1); ++k) {
          words.push_back({address++, static_cast<uint32_t>(v.value), line, file});
        }
      }
      return words;
    }
    if (st.kind == Statement::Kind::Pseudo) {
      for (uint32_t w : Expand(st)) words.push_back({address++, w, line, file});
      return words;
    }
    uint32_t word = st.mnemonic.base;
    for (size_t i = 0; i < st.operands.size(); ++i) {
      const Slot slot = st.mnemonic.shape.slots[i];
      word |= slot == Slot::Imm ? Immediate(st.operands[i], st.mnemonic, address)
                                : PlaceRegister(slot, st.operands[i].reg);
    }
    words.push_back({address, word, line, file});
    return words;
  }

  SourceReader source_;
  const std::vector<SourceLine>& lines_;
  const std::vector<std::string>& files_;  // names; 0 is the source itself
  std::vector<Error> errors_;
  std::set<size_t> failed_;  // lines with an error
  std::vector<Statement> statements_;
  std::vector<Placement> placements_;
  std::unordered_map<std::string, SymbolDef> symbols_;
  std::map<std::string, Alias, std::less<>> aliases_;
  uint32_t address_ = 0;
  uint32_t guess_ = 0;  // the words the line being read takes if it fails
  mutable size_t nameSuggestions_ = 0;
};

}  // namespace

Result Assemble(std::string_view source, std::string_view file, const IncludeReader& read) {
  return Assembly(source, file, read).Run();
}

std::vector<std::string> DiagnosticLines(std::string_view file, const Diagnostic& d) {
  auto place = [&](const std::string& in, unsigned line, unsigned column) {
    return (in.empty() ? std::string(file) : in) + ":" + std::to_string(line) + ":" +
           std::to_string(column);
  };
  std::vector<std::string> lines = {place(d.file, d.line, d.column) + ": error: " + d.message};
  for (const SourcePlace& p : d.includedFrom) {
    lines.push_back(place(p.file, p.line, p.column) + ": note: included from here");
  }
  return lines;
}

bool IsPseudoName(std::string_view name) {
  return FindPseudo(name) != nullptr;
}

bool IsDirectiveName(std::string_view name) {
  return IsDirective(name) || EqualsNoCase(name, "EQU") || EqualsNoCase(name, "REG");
}

LineTable MakeLineTable(const Result& result) {
  std::vector<LineRange> ranges;
  for (const Word& w : result.words) {
    if (!ranges.empty()) {
      LineRange& last = ranges.back();
      if (last.file == w.file && last.line == w.line &&
          static_cast<uint64_t>(last.first) + last.count == w.address) {
        ++last.count;
        continue;
      }
    }
    ranges.push_back({w.address, 1, static_cast<uint32_t>(w.file), w.line});
  }
  return LineTable(result.files, std::move(ranges));
}

std::string FormatDiagnostic(std::string_view file, const Diagnostic& d) {
  std::string text;
  for (const std::string& line : DiagnosticLines(file, d)) {
    if (!text.empty()) text += '\n';
    text += line;
  }
  return text;
}

}  // namespace tervik::assembler
