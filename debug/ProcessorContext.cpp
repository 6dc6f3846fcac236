// An expression's view of a processor.
#include "ProcessorContext.h"

#include "Processor.h"

namespace tervik::debug {

// The expression language names the flags by their bits in SR; they are the processor's.
static_assert(1u << kSrBitN == Processor::kFlagN && 1u << kSrBitZ == Processor::kFlagZ &&
              1u << kSrBitC == Processor::kFlagC && 1u << kSrBitO == Processor::kFlagO);

std::optional<uint32_t> ProcessorContext::Register(RegisterId id) {
  switch (id) {
    case RegisterId::PC: return cpu_.pc;
    case RegisterId::SP: return cpu_.sp;
    case RegisterId::SR: return cpu_.sr;
    case RegisterId::IM: return cpu_.im;
    case RegisterId::LFSR: return cpu_.lfsr;
  }
  const auto n = static_cast<size_t>(id);
  if (n < cpu_.r.size()) return cpu_.r[n];
  return std::nullopt;
}

std::optional<uint32_t> ProcessorContext::ReadWord(uint32_t address) {
  return cpu_.ReadMem(address);
}

std::optional<int64_t> ProcessorContext::Symbol(std::string_view name) {
  return symbols_ ? symbols_(name) : std::nullopt;
}

}  // namespace tervik::debug
