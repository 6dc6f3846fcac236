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

#include "InstructionSet.h"
#include "LineScanner.h"
#include "SourceReader.h"

namespace tervik::assembler {
namespace {

// ---- The two passes ----

struct Symbol {
  int64_t value = 0;
  int labels = 0;    // 1 when the value is an address, 0 for a plain number
  size_t line = 0;   // where it was defined: an index into the source lines
  size_t order = 0;  // how many symbols were defined before it
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

class Assembly {
 public:
  Assembly(std::string_view source, std::string_view file, const IncludeReader& read)
      : source_(source, file, read), lines_(source_.Lines()), files_(source_.Files()) {
    for (const SourceError& e : source_.Errors()) AddError(e.line, e.column, e.message);
  }

  Result Run() {
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
    result.symbols = SymbolsInOrder();
    return result;
  }

 private:
  // An error at an index into the source lines.
  struct Error {
    size_t line;
    unsigned column;
    std::string message;
  };

  // "line 12" in the source itself, "check.inc:12" in an included file.
  std::string Where(size_t index) const {
    const SourceLine& at = lines_[index];
    if (at.file == 0) return "line " + std::to_string(at.line);
    return files_[at.file] + ":" + std::to_string(at.line);
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
      const Symbol& symbol = symbols_.at(*name);
      entries.push_back({*name, static_cast<uint32_t>(symbol.value), symbol.labels == 1});
    }
    return entries;
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
    symbol.order = symbols_.size();
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

  SourceReader source_;
  const std::vector<SourceLine>& lines_;
  const std::vector<std::string>& files_;  // names; 0 is the source itself
  std::vector<Error> errors_;
  std::vector<Statement> statements_;
  std::unordered_map<std::string, Symbol> symbols_;
  std::map<uint32_t, size_t> used_;  // address -> index of the line that placed a word there
  uint32_t address_ = 0;
};

}  // namespace

Result Assemble(std::string_view source, std::string_view file, const IncludeReader& read) {
  return Assembly(source, file, read).Run();
}

std::string FormatDiagnostic(std::string_view file, const Diagnostic& d) {
  return (d.file.empty() ? std::string(file) : d.file) + ":" + std::to_string(d.line) + ":" +
         std::to_string(d.column) + ": error: " + d.message;
}

}  // namespace tervik::assembler
