// An expression's view of a processor: its registers and memory, and optionally a symbol table.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "Expression.h"

namespace tervik {
class Processor;
}

namespace tervik::debug {

// A processor's registers and memory, and optionally a symbol table. Memory is read through
// Processor::ReadMem, so an unmapped word reads 0xFFFFFFFF and a word of a peripheral region
// calls that module's ReadMem, as a load instruction would: a module whose reads have side
// effects sees them from a condition or a typed address too.
class ProcessorContext : public EvalContext {
 public:
  explicit ProcessorContext(Processor& cpu, SymbolLookup symbols = {})
      : cpu_(cpu), symbols_(std::move(symbols)) {}
  std::optional<uint32_t> Register(RegisterId id) override;
  std::optional<uint32_t> ReadWord(uint32_t address) override;
  std::optional<int64_t> Symbol(std::string_view name) override;

 private:
  Processor& cpu_;
  SymbolLookup symbols_;
};

}  // namespace tervik::debug
