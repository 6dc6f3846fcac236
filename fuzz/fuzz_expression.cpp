// Fuzzes the expression language and the number parser with text of any length and content,
// and checks what must hold for every input: errors point inside the text (or just past it),
// evaluation is repeatable, the word and condition forms agree with the value, parentheses
// around a valid expression change nothing, and a valid number literal is a valid expression of
// the same value.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "Expression.h"
#include "FuzzSupport.h"

using namespace tervik;
using namespace tervik::debug;

namespace {

// Registers with the boundary values, RAM at 0x1000..0x1FFF with a word derived from its
// address, and a few symbols at the ends of the 64-bit range.
class FuzzContext final : public EvalContext {
 public:
  std::optional<uint32_t> Register(RegisterId id) override {
    static constexpr uint32_t kEdges[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    const auto n = static_cast<uint32_t>(id);
    return n < std::size(kEdges) ? kEdges[n] : 0x9E3779B9u * (n + 1);
  }
  std::optional<uint32_t> ReadWord(uint32_t address) override {
    return address >= 0x1000 && address < 0x2000 ? address * 2654435761u : 0xFFFFFFFFu;
  }
  std::optional<int64_t> Symbol(std::string_view name) override {
    if (name == "loop") return 0x40;
    if (name == "C") return 7;
    if (name == "big") return int64_t{1} << 40;
    if (name == "min") return std::numeric_limits<int64_t>::min();
    if (name == "max") return std::numeric_limits<int64_t>::max();
    if (name == "neg") return -1;
    return std::nullopt;
  }
};

void CheckError(const Error& e, size_t size) {
  if (e.column < 1 || e.column > size + 1) fuzz::Broken("error column outside the text");
  if (e.message.empty()) fuzz::Broken("error without a message");
  if (e.Text() != "col " + std::to_string(e.column) + ": " + e.message) {
    fuzz::Broken("error text");
  }
}

bool Same(const Result<int64_t>& a, const Result<int64_t>& b, size_t columnShift) {
  if (a.ok() != b.ok()) return false;
  if (a.ok()) return a.value() == b.value();
  return a.error().message == b.error().message &&
         a.error().column + columnShift == b.error().column;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  FuzzContext machine;
  SymbolContext noMachine;

  const Result<int64_t> number = ParseNumber(text);
  if (!number.ok()) CheckError(number.error(), size);

  const Result<Expression> e = Expression::Parse(text);
  if (!e.ok()) {
    CheckError(e.error(), size);
    if (number.ok()) fuzz::Broken("a number literal that is no expression");
    return 0;
  }
  const Expression& x = e.value();
  if (x.Text() != text) fuzz::Broken("text not kept");

  const Result<int64_t> v = x.Evaluate(machine);
  if (!v.ok()) CheckError(v.error(), size);
  if (!Same(v, x.Evaluate(machine), 0)) fuzz::Broken("evaluation not repeatable");
  if (number.ok() && !(v.ok() && v.value() == number.value())) {
    fuzz::Broken("a number literal evaluates to another value");
  }

  const Result<uint32_t> w = x.EvaluateWord(machine);
  const Result<bool> c = x.EvaluateCondition(machine);
  if (v.ok()) {
    const std::optional<uint32_t> word = ToWord(v.value());
    if (word ? !(w.ok() && w.value() == *word)
             : (w.ok() || w.error().message != "value out of range")) {
      fuzz::Broken("word form disagrees with the value");
    }
    if (!c.ok() || c.value() != (v.value() != 0)) fuzz::Broken("condition disagrees");
  } else if (w.ok() || !(w.error() == v.error()) || c.ok() || !(c.error() == v.error())) {
    fuzz::Broken("word or condition form fails differently");
  }
  if (!w.ok()) CheckError(w.error(), size);

  const Result<int64_t> bare = x.Evaluate(noMachine);
  if (!bare.ok()) CheckError(bare.error(), size);

  const Result<Expression> wrapped = Expression::Parse("(" + std::string(text) + ")");
  if (!wrapped.ok()) {
    if (wrapped.error().message != "expression nested too deeply") {
      fuzz::Broken("parentheses make a valid expression invalid");
    }
  } else if (!Same(v, wrapped.value().Evaluate(machine), 1)) {
    fuzz::Broken("parentheses change the value");
  }
  return 0;
}
